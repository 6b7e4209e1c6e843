// What linking libKvPal.so adds to every process start: a program that links
// it and makes one call, against an empty program, each started and waited
// for. Measured twice: wall time, and the CPU time the child spent (its
// start-up work, which other load on the machine does not inflate).
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>

#include "ratio_reporter.h"

extern char** environ;

namespace {

enum class Clock { Wall, ChildCpu };

void runProgram(benchmark::State& state, const char* path, Clock clock) {
  char* argv[] = {const_cast<char*>(path), nullptr};
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int status = 0;
    rusage usage{};
    if (posix_spawn(&pid, path, nullptr, nullptr, argv, environ) != 0 ||
        wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("the program did not run");
      return;
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    state.SetIterationTime(clock == Clock::Wall ? wall : cpu);
  }
}

void BM_EmptyProgram(benchmark::State& state) {
  runProgram(state, STARTUP_EMPTY, static_cast<Clock>(state.range(0)));
}
void BM_LinkingProgram(benchmark::State& state) {
  runProgram(state, STARTUP_LINKED, static_cast<Clock>(state.range(0)));
}
BENCHMARK(BM_EmptyProgram)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_LinkingProgram)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
  return kvpal::bench::runWithRatios(argc, argv,
                                     {{"start linking libKvPal.so, wall time (0)",
                                       "BM_LinkingProgram/0/manual_time", "BM_EmptyProgram/0/manual_time"},
                                      {"start linking libKvPal.so, child CPU time (1)",
                                       "BM_LinkingProgram/1/manual_time", "BM_EmptyProgram/1/manual_time"}});
}
