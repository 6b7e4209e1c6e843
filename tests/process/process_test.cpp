// Process services: start-up defaults, the alternate-host test, other
// instances, termination by name, image path, CPU times and the tick count.
#include "pal/process.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace {

namespace P = Halvex::Tessaran::PAL::Process;
namespace fs = std::filesystem;
using kvpal::test::runChild;
using kvpal::test::runInChild;
using kvpal::test::TempDir;

// A copy of the helper program under a name of the test's own, so that
// no other test's processes share its executable or its name.
std::string copyHelper(const TempDir& dir, const std::string& name) {
  std::string path = dir.path() + "/" + name;
  fs::copy_file(KVPAL_PROCESS_CHILD, path);
  return path;
}

// A helper instance waiting until its standard input closes.
class Waiter {
 public:
  explicit Waiter(const std::string& program) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      execl(program.c_str(), program.c_str(), "wait", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];
    ready_ = kvpal::test::readFrom(out[0], "ready\n") == "ready\n";
    close(out[0]);
  }
  ~Waiter() {
    if (pid_ > 0 && !status_) finish();
  }
  bool ready() const { return ready_; }
  // Closes its input and returns the wait status.
  int finish() {
    close(stdin_);
    int status = 0;
    waitpid(pid_, &status, 0);
    status_ = status;
    return status;
  }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1;
  bool ready_ = false;
  std::optional<int> status_;
};

TEST(ProcessSessions, CountsOtherInstancesOfTheSameExecutable) {
  TempDir dir;
  std::string helper = copyHelper(dir, "kvsession");
  std::string other = copyHelper(dir, "kvsession-other");
  EXPECT_EQ(runChild({helper, "sessions"}).output, "0\n");
  {
    // A copy elsewhere is another executable.
    Waiter elsewhere(other);
    ASSERT_TRUE(elsewhere.ready());
    EXPECT_EQ(runChild({helper, "sessions"}).output, "0\n");
  }
  Waiter second(helper);
  ASSERT_TRUE(second.ready());
  EXPECT_EQ(runChild({helper, "sessions"}).output, "1\n");
  EXPECT_EQ(second.finish(), 0);
  // A process that has the executable mapped without running it counts too.
  int fd = open(helper.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  void* mapped = mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE, fd, 0);
  close(fd);
  ASSERT_NE(mapped, MAP_FAILED);
  EXPECT_EQ(runChild({helper, "sessions"}).output, "1\n");
  munmap(mapped, 4096);
  EXPECT_EQ(runChild({helper, "sessions"}).output, "0\n");
}

TEST(ProcessImagePath, IsTheRunningExecutable) {
  TempDir dir;
  std::string helper = copyHelper(dir, "kv-bild-\xc3\xbc");
  EXPECT_EQ(runChild({helper, "image"}).output, helper + "\n");
}

TEST(ProcessTerminate, KillsEveryOtherProcessOfThatName) {
  TempDir dir;
  std::string victim = copyHelper(dir, "kvvictim");
  std::string bystander = copyHelper(dir, "kvvictim2");
  Waiter first(victim), second(victim), third(bystander);
  ASSERT_TRUE(first.ready() && second.ready() && third.ready());
  P::terminateProcess("kvvictim.EXE");
  for (Waiter* w : {&first, &second}) {
    int status = w->finish();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
  }
  int status = third.finish();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(ProcessTerminate, NameIsNeverRunAsACommand) {
  TempDir dir;
  std::string marker = dir.path() + "/ran";
  for (std::string name : {"x & touch " + marker, "x; touch " + marker, "$(touch " + marker + ")"})
    P::terminateProcess(name.c_str());
  EXPECT_FALSE(fs::exists(marker));
}

TEST(ProcessTerminate, NullEndsTheCallerWithCodeOne) {
  auto outcome = runInChild([] {
    std::atexit([] { std::printf("exit handler ran\n"); });
    std::printf("before\n");
    std::fflush(stdout);
    P::terminateProcess(nullptr);
    return 0;
  });
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_EQ(outcome.output, "before\n");
}

struct DefaultsCase {
  const char* name;
  const char* module;  // loaded before the call, or null
  std::vector<std::pair<const char*, const char*>> env;
  bool pruned;
};

TEST(ProcessDefaults, RemovesGraphicsFoldersFromPathOnlyForTheCoreModule) {
  TempDir dir;
  const std::string a = dir.path() + "/a", gfx = dir.path() + "/gfx", b = dir.path() + "/b",
                    gfx2 = dir.path() + "/g:2";
  for (const auto& d : {a, gfx, b, gfx2}) fs::create_directory(d);
  std::ofstream(gfx + "/libkvgs.so") << "x";
  std::ofstream(gfx2 + "/kvgs.so.1") << "x";
  const std::string path = a + ":" + gfx + ":\"" + gfx2 + "\":" + b;
  const std::string pruned = a + ":" + b;
  const DefaultsCase cases[] = {
      {"core loaded", KVPAL_KVCORE, {}, true},
      {"GBIN empty", KVPAL_KVCORE, {{"GBIN", ""}}, true},
      {"CBIN empty", KVPAL_KVCORE, {{"CBIN", ""}}, true},
      {"CBIN set", KVPAL_KVCORE, {{"CBIN", "1"}}, false},
      {"GBIN set", KVPAL_KVCORE, {{"GBIN", "/g"}}, false},
      {"core lacks an export", KVPAL_KVCORE_HALF, {}, false},
      {"no core module", nullptr, {}, false},
  };
  for (const DefaultsCase& c : cases) {
    auto outcome = runInChild([&] {
      setenv("PATH", path.c_str(), 1);
      unsetenv("CBIN");
      unsetenv("GBIN");
      for (const auto& [k, v] : c.env) setenv(k, v, 1);
      if (c.module && !dlopen(c.module, RTLD_NOW)) return 3;
      P::initializeProcessDefaults();
      std::printf("%s", getenv("PATH"));
      std::fflush(stdout);
      return 0;
    });
    EXPECT_EQ(outcome.exitCode, 0) << c.name;
    EXPECT_EQ(outcome.output, c.pruned ? pruned : path) << c.name;
  }
}

TEST(ProcessDefaults, UnsetPathStaysUnset) {
  auto outcome = runInChild([] {
    unsetenv("PATH");
    unsetenv("CBIN");
    unsetenv("GBIN");
    if (!dlopen(KVPAL_KVCORE, RTLD_NOW)) return 3;
    P::initializeProcessDefaults();
    return getenv("PATH") ? 4 : 0;
  });
  EXPECT_EQ(outcome.exitCode, 0);
}

TEST(ProcessTrellis, KeepsTheAnswerOfTheFirstCall) {
  auto loadedLater = runInChild([] {
    if (!P::isTrellis()) return 3;
    if (!dlopen(KVPAL_KVDB23, RTLD_NOW)) return 4;
    return P::isTrellis() ? 0 : 5;
  });
  EXPECT_EQ(loadedLater.exitCode, 0);
  auto loadedFirst = runInChild([] {
    if (!dlopen(KVPAL_KVDB23, RTLD_NOW)) return 4;
    if (P::isTrellis()) return 3;
    dlclose(dlopen(KVPAL_KVDB23, RTLD_NOW | RTLD_NOLOAD));
    return P::isTrellis() ? 5 : 0;
  });
  EXPECT_EQ(loadedFirst.exitCode, 0);
}

TEST(ProcessFlags, ForegroundUntilTheHostSaysOtherwise) {
  auto outcome = runInChild([] {
    if (!P::isForegroundApplication()) return 3;
    P::setIsForegroundApplication(false);
    if (P::isForegroundApplication()) return 4;
    P::setIsForegroundApplication(true);
    return P::isForegroundApplication() ? 0 : 5;
  });
  EXPECT_EQ(outcome.exitCode, 0);
}

TEST(ProcessBlob, PlaceholdersKeepThePath) {
  namespace B = Halvex::Tessaran::PAL::Blob;
  EXPECT_EQ(B::createUrl(boost::filesystem::path("/x/y.txt")), L"/x/y.txt");
  EXPECT_EQ(B::createUrl(boost::filesystem::path("/x/\xc3\xbc.txt")), L"/x/\u00fc.txt");
  EXPECT_TRUE(B::downloadToFile(L"https://example.invalid/a", "/nonexistent/dir/a"));
}

double processCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

TEST(ProcessTimes, WholeSecondsOfKernelAndUserTime) {
  auto outcome = runInChild([] {
    volatile unsigned long sink = 0;
    while (processCpuSeconds() < 1.1)
      for (int i = 0; i < 100000; ++i) sink = sink + static_cast<unsigned long>(i);
    __int64 kernel = -1, user = -1;
    if (!P::getKernelUserTimes(kernel, user)) return 3;
    double cpu = processCpuSeconds();
    if (kernel < 0 || user < 0 || kernel + user < 1) return 4;
    return kernel + user <= static_cast<__int64>(cpu) ? 0 : 5;
  });
  EXPECT_EQ(outcome.exitCode, 0);
}

// /proc/uptime counts from boot including suspended time, in hundredths.
double uptimeSeconds() {
  double up = 0;
  std::ifstream("/proc/uptime") >> up;
  return up;
}

TEST(ProcessTickCount, MillisecondsSinceBoot) {
  double before = uptimeSeconds();
  unsigned __int64 tick = Halvex::Tessaran::PAL::TickCount::getTickCount();
  double after = uptimeSeconds();
  ASSERT_GT(before, 0);
  EXPECT_GE(static_cast<double>(tick), before * 1000 - 20);
  EXPECT_LE(static_cast<double>(tick), after * 1000 + 20);
}

}  // namespace
