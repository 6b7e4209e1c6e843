// Cost of the event writers: with nobody listening (against an empty call),
// with an in-process session, and through LTTng-UST against the raw
// tracepoint. The LTTng cases run a private session daemon in snapshot mode
// (nothing reaches the disk) and are skipped when one cannot start.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "base/backend_module.h"
#include "instrumentation/event_provider.h"
#include "instrumentation/lttng_backend.h"
#include "pal/perf_log.h"
#include "pal/trace_session.h"
#include "ratio_reporter.h"

namespace {

namespace detail = Halvex::Tessaran::PAL::detail;

__attribute__((noinline)) void emptyCall(const wchar_t* text) {
  asm volatile("" : : "r"(text) : "memory");
}

void BM_EmptyCall(benchmark::State& state) {
  for (auto _ : state) emptyCall(L"LINE");
}
BENCHMARK(BM_EmptyCall);

void BM_WriterNobodyListening(benchmark::State& state) {
  for (auto _ : state) PerfLog_WriteStartCommandEvent(L"LINE");
}
BENCHMARK(BM_WriterNobodyListening);

void BM_WriterInProcessSession(benchmark::State& state) {
  std::size_t bytes = 0;
  Halvex::Tessaran::PAL::Trace::Session session(0, 0, [&](const auto& r) { bytes += r.payloadSize; });
  for (auto _ : state) PerfLog_WriteStartCommandEvent(L"LINE");
  benchmark::DoNotOptimize(bytes);
}
BENCHMARK(BM_WriterInProcessSession);

// A private LTTng session; empty when it could not be set up.
std::string g_lttngProblem = "not set up";
// The provider module's tracepoint, called directly.
const detail::LttngBackend* g_tracepoint = nullptr;

bool lttng(const std::string& args) {
  return std::system(("lttng " + args + " >/dev/null 2>&1").c_str()) == 0;
}

bool waitForTracepoint(bool on) {
  for (int i = 0; i < 500; ++i) {
    if (detail::systemTracing() == on) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

void setUpLttng() {
  if (geteuid() == 0) {
    g_lttngProblem = "run as an ordinary user (a root session daemon would be the machine's)";
    return;
  }
  std::string home =
      (std::filesystem::temp_directory_path() / ("kvpal-bench-" + std::to_string(getpid()))).string();
  std::filesystem::create_directories(home);
  setenv("LTTNG_HOME", home.c_str(), 1);
  if (std::system("lttng-sessiond --daemonize --no-kernel >/dev/null 2>&1") != 0 ||
      !lttng("create kvpal-bench --snapshot") || !lttng("enable-channel --userspace bench") ||
      !lttng("start")) {
    g_lttngProblem = "no LTTng session daemon could be started";
    return;
  }
  setenv("KVPAL_TRACE_LTTNG", "1", 1);
  detail::loadSystemTracer();
  g_tracepoint = detail::loadBackend<detail::LttngBackend>(detail::kLttngModule, detail::kLttngEntry);
  if (!g_tracepoint) {
    g_lttngProblem = "cannot load the LTTng provider module";
    return;
  }
  g_lttngProblem.clear();
}

void tearDownLttng() {
  if (const char* home = std::getenv("LTTNG_HOME")) {
    lttng("destroy kvpal-bench");
    std::ifstream pidFile(std::string(home) + "/.lttng/lttng-sessiond.pid");
    pid_t pid = 0;
    if (pidFile >> pid && pid > 0) kill(pid, SIGTERM);
    std::filesystem::remove_all(home);
  }
}

void enableLttng(const benchmark::State&) {
  if (g_lttngProblem.empty() &&
      !(lttng("enable-event --userspace --channel=bench halvex_tessaran:event") && waitForTracepoint(true)))
    g_lttngProblem = "the tracepoint did not become enabled";
}
void disableLttng(const benchmark::State&) {
  if (g_lttngProblem.empty()) {
    lttng("disable-event --userspace --channel=bench halvex_tessaran:event");
    waitForTracepoint(false);
  }
}

void BM_WriterLttng(benchmark::State& state) {
  if (!g_lttngProblem.empty()) return state.SkipWithError(g_lttngProblem.c_str());
  for (auto _ : state) PerfLog_WriteStartCommandEvent(L"LINE");
}
BENCHMARK(BM_WriterLttng)->Setup(enableLttng)->Teardown(disableLttng);

void BM_RawLttngTracepoint(benchmark::State& state) {
  if (!g_lttngProblem.empty()) return state.SkipWithError(g_lttngProblem.c_str());
  static const std::uint8_t payload[] = {'L', 0, 'I', 0, 'N', 0, 'E', 0, 0, 0};
  for (auto _ : state)
    g_tracepoint->write(15, 0, 16, 16, 10, 8, 0x8000000000000003ull, payload, sizeof payload);
}
BENCHMARK(BM_RawLttngTracepoint)->Setup(enableLttng)->Teardown(disableLttng);

}  // namespace

int main(int argc, char** argv) {
  setUpLttng();
  int rc = kvpal::bench::runWithRatios(
      argc, argv,
      {{"writer, nobody listening / empty call", "BM_WriterNobodyListening", "BM_EmptyCall"},
       {"writer, in-process session / raw LTTng tracepoint", "BM_WriterInProcessSession",
        "BM_RawLttngTracepoint"},
       {"writer through LTTng / raw LTTng tracepoint", "BM_WriterLttng", "BM_RawLttngTracepoint"}});
  tearDownLttng();
  return rc;
}
