// The LTTng-UST transport: loaded only on demand, and recorded end to end
// by a private session daemon and read back with babeltrace2.
#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "support/child_process.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using kvpal::test::runChild;

TEST(LttngTransport, LoadedOnlyWhenTheProcessTraces) {
  EXPECT_EQ(runChild({KVPAL_TRACE_HELPER, "lttng-loaded"}).output, "no\n");
  EXPECT_EQ(runChild({KVPAL_TRACE_HELPER, "lttng-loaded"}, {{"KVPAL_TRACE_LTTNG", "1"}}).output, "yes\n");
}

// A session daemon of our own: its sockets live under a temporary
// LTTNG_HOME. A root daemon would use the machine-wide run directory, so
// as root everything runs as "nobody".
class PrivateSessionDaemon {
 public:
  PrivateSessionDaemon() {
    home_ = temp_.path();
    if (geteuid() == 0) {
      (void)!chown(home_.c_str(), 65534, 65534);
      prefix_ = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
    }
    env_ = {{"LTTNG_HOME", home_.string()}, {"HOME", home_.string()}};
  }
  ~PrivateSessionDaemon() {
    std::ifstream pidFile(home_ / ".lttng" / "lttng-sessiond.pid");
    pid_t pid = 0;
    if (pidFile >> pid && pid > 0) {
      kill(pid, SIGTERM);
      for (int i = 0; i < 100 && kill(pid, 0) == 0; ++i) usleep(50 * 1000);  // bounded wait for exit
      if (kill(pid, 0) == 0) kill(pid, SIGKILL);
    }
  }

  kvpal::test::ChildOutcome run(std::vector<std::string> argv,
                                std::vector<std::pair<std::string, std::string>> extraEnv = {}) {
    std::vector<std::string> full = prefix_;
    full.insert(full.end(), argv.begin(), argv.end());
    auto env = env_;
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    return runChild(full, env, 30);
  }

  const fs::path& home() const { return home_; }

 private:
  kvpal::test::TempDir temp_{"kvpal-lttng"};
  fs::path home_;
  std::vector<std::string> prefix_;
  std::vector<std::pair<std::string, std::string>> env_;
};

bool onPath(const char* tool) {
  return runChild({"/bin/sh", "-c", std::string("command -v ") + tool}).exitCode == 0;
}

std::vector<int> payloadBytes(const std::string& line) {
  std::vector<int> bytes;
  auto start = line.find("payload = [");
  if (start == std::string::npos) return bytes;
  std::regex item(R"(\[\d+\] = 0x([0-9A-Fa-f]+))");
  for (std::sregex_iterator it(line.begin() + start, line.end(), item), end; it != end; ++it)
    bytes.push_back(std::stoi((*it)[1].str(), nullptr, 16));
  return bytes;
}

TEST(LttngTransport, SessionDaemonRecordsTheEvents) {
  for (const char* tool : {"lttng-sessiond", "lttng", "babeltrace2"})
    if (!onPath(tool)) GTEST_SKIP() << tool << " is not installed (Debian packages lttng-tools, babeltrace2)";

  PrivateSessionDaemon daemon;
  auto started = daemon.run({"lttng-sessiond", "--daemonize", "--no-kernel"});
  if (started.exitCode != 0)
    GTEST_SKIP() << "this machine cannot run an LTTng session daemon (lttng-sessiond exited with "
                 << started.exitCode << ")";

  // The traced process runs from a copy inside the daemon's home, so an
  // unprivileged user can reach it wherever the build tree lives.
  fs::path bin = daemon.home() / "bin";
  fs::create_directories(bin);
  for (const char* file : {KVPAL_TRACE_HELPER, KVPAL_LIBRARY, KVPAL_LTTNG_PROVIDER})
    fs::copy_file(file, bin / fs::path(file).filename());
  fs::rename(bin / fs::path(KVPAL_LIBRARY).filename(), bin / KVPAL_LIBRARY_SONAME);
  if (geteuid() == 0)
    for (const auto& entry : fs::recursive_directory_iterator(daemon.home()))
      (void)!chown(entry.path().c_str(), 65534, 65534);
  std::string helper = (bin / fs::path(KVPAL_TRACE_HELPER).filename()).string();

  std::string traceDir = (daemon.home() / "trace").string();
  ASSERT_EQ(daemon.run({"lttng", "create", "kvpal", "--output=" + traceDir}).exitCode, 0);
  ASSERT_EQ(daemon.run({"lttng", "enable-event", "--userspace", "halvex_tessaran:event"}).exitCode, 0);
  ASSERT_EQ(daemon.run({"lttng", "start"}).exitCode, 0);
  // ASan's leak check would count the tracer's process-lifetime allocations.
  auto traced = daemon.run(
      {helper, "lttng"},
      {{"KVPAL_TRACE_LTTNG", "1"}, {"LD_LIBRARY_PATH", bin.string()}, {"ASAN_OPTIONS", "detect_leaks=0"}});
  EXPECT_EQ(traced.exitCode, 0);
  ASSERT_EQ(daemon.run({"lttng", "stop"}).exitCode, 0);
  ASSERT_EQ(daemon.run({"lttng", "destroy"}).exitCode, 0);

  auto read = runChild({"babeltrace2", traceDir}, {}, 30);
  ASSERT_EQ(read.exitCode, 0);
  std::vector<std::string> events;
  std::istringstream lines(read.output);
  for (std::string line; std::getline(lines, line);)
    if (line.find("halvex_tessaran:event") != std::string::npos) events.push_back(line);

  std::regex descriptor(
      R"(id = (\d+), version = 0, channel = (\d+), level = (\d+), opcode = (\d+), task = (\d+), keywords = (0x[0-9A-F]+))");
  const char* const expected[] = {"15 16 16 10 8 0x8000000000000003", "42 16 17 15 22 0x8000000000000082",
                                  "45 16 2 12 23 0x8000000000000003", "16 0 16 11 8 0x3",
                                  "225 16 19 49 64 0x8000000000000800"};
  ASSERT_EQ(events.size(), std::size(expected)) << read.output;
  for (std::size_t i = 0; i < events.size(); ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_search(events[i], m, descriptor)) << events[i];
    EXPECT_EQ(m[1].str() + " " + m[2].str() + " " + m[3].str() + " " + m[4].str() + " " + m[5].str() + " " +
                  m[6].str(),
              expected[i]);
  }
  EXPECT_EQ(payloadBytes(events[0]), (std::vector<int>{'L', 0, 'I', 0, 'N', 0, 'E', 0, 0, 0}));
  std::vector<int> lock = payloadBytes(events[1]);
  EXPECT_EQ(lock, (std::vector<int>{0x34, 0x12, 0,   0, 0,   0, 0,   0, 4, 0, 0, 0,
                                    'L',  0,    'I', 0, 'N', 0, 'E', 0, 0, 0, 1}));
}

}  // namespace
