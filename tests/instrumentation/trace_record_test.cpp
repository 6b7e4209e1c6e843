// `kvpal trace record` and the trace file session, run against a helper
// process that links libKvPal.so.
#include <gtest/gtest.h>
#include <json/json.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "instrumentation/chrome_trace.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using kvpal::test::runChild;

class TraceRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.path();
    file_ = (dir_ / "trace.json").string();
  }

  kvpal::test::ChildOutcome record(std::vector<std::string> options, std::vector<std::string> command) {
    std::vector<std::string> argv = {KVPAL_TOOL, "trace", "record", "--output", file_};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back("--");
    argv.insert(argv.end(), command.begin(), command.end());
    return runChild(argv);
  }

  // The file must be one valid JSON array.
  Json::Value readTrace() {
    std::ifstream in(file_);
    std::stringstream text;
    text << in.rdbuf();
    Json::Value v;
    Json::Reader reader;
    EXPECT_TRUE(reader.parse(text.str(), v, false)) << reader.getFormattedErrorMessages() << text.str();
    EXPECT_TRUE(v.isArray());
    return v;
  }

  struct Running {
    pid_t recorder = -1;
    pid_t command = -1;
  };

  // Records the helper's "wait" mode; returns once the command has written
  // its events and told its process id. A command the recorder leaves
  // behind is reparented to this process.
  Running recordWaiting() {
    if (prctl(PR_SET_CHILD_SUBREAPER, 1) != 0) return {};
    auto [pid, out] = kvpal::test::startChild(
        {KVPAL_TOOL, "trace", "record", "--output", file_, "--", KVPAL_TRACE_HELPER, "wait"});
    Running r{pid, -1};
    std::string line;
    for (char c; read(out, &c, 1) == 1 && c != '\n';) line += c;
    close(out);
    if (!line.empty()) r.command = std::stoi(line);
    return r;
  }

  static std::vector<std::string> names(const Json::Value& trace) {
    std::vector<std::string> out;
    for (const auto& e : trace) out.push_back(e["ph"].asString() + " " + e["name"].asString());
    return out;
  }

  kvpal::test::TempDir temp_{"kvpal-record"};
  fs::path dir_;
  std::string file_;
};

const std::vector<std::string> kAllEvents = {"B Command", "i Doc Lock",        "i Assert Info",
                                             "E Command", "i Generic Generic", "M process_name"};

TEST_F(TraceRecordTest, WritesTheEventsAsChromeTraceJson) {
  auto r = record({}, {KVPAL_TRACE_HELPER, "write"});
  EXPECT_EQ(r.exitCode, 0);
  Json::Value trace = readTrace();
  ASSERT_EQ(names(trace), kAllEvents);

  const Json::Value& start = trace[0];
  EXPECT_EQ(start["args"]["Command"].asString(), "LINE");
  EXPECT_EQ(start["args"]["id"].asInt(), 15);
  EXPECT_EQ(start["cat"].asString(), "Startup,Commands");
  EXPECT_EQ(start["pid"], trace[3]["pid"]);
  EXPECT_EQ(start["tid"], trace[3]["tid"]) << "a slice begins and ends on one thread";
  EXPECT_LE(start["ts"].asDouble(), trace[3]["ts"].asDouble());

  const Json::Value& lock = trace[1]["args"];
  EXPECT_EQ(lock["LockObject"].asString(), "0x1234");
  EXPECT_EQ(lock["Mode"].asString(), "kWrite");
  EXPECT_EQ(lock["Force"].asBool(), true);
  EXPECT_EQ(trace[2]["args"]["Message"].asString(), "caf\u00e9 \"quoted\"");
  EXPECT_EQ(trace[2]["args"]["level"].asString(), "win:Error");
  EXPECT_EQ(trace[4]["args"]["payload"].asString(), "a\\x9,b");
  EXPECT_EQ(trace[5]["pid"], start["pid"]);
}

TEST_F(TraceRecordTest, FileStaysValidWhenTheCommandAborts) {
  auto r = record({}, {KVPAL_TRACE_HELPER, "abort"});
  EXPECT_EQ(r.exitCode, 128 + SIGABRT);
  EXPECT_EQ(names(readTrace()), kAllEvents);
}

// Stopping the recorder stops the command, and the file is still complete.
TEST_F(TraceRecordTest, StopSignalsGoOnToTheCommand) {
  for (int sig : {SIGTERM, SIGHUP, SIGINT}) {
    SCOPED_TRACE(strsignal(sig));
    Running r = recordWaiting();
    ASSERT_GT(r.command, 0);
    ASSERT_EQ(kill(r.recorder, sig), 0);
    int status = 0;
    ASSERT_EQ(waitpid(r.recorder, &status, 0), r.recorder);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + sig);
    EXPECT_EQ(names(readTrace()), kAllEvents);
    // The recorder reaped the command; an orphan would be ours to wait for.
    if (waitpid(r.command, &status, WNOHANG) != -1) {
      ADD_FAILURE() << "the command outlived the recorder";
      kill(r.command, SIGKILL);
      waitpid(r.command, &status, 0);
    }
  }
}

TEST_F(TraceRecordTest, KilledRecorderTakesTheCommandWithIt) {
  Running r = recordWaiting();
  ASSERT_GT(r.command, 0);
  ASSERT_EQ(kill(r.recorder, SIGKILL), 0);
  int status = 0;
  ASSERT_EQ(waitpid(r.recorder, &status, 0), r.recorder);
  ASSERT_EQ(waitpid(r.command, &status, 0), r.command);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "status " << status;
}

TEST_F(TraceRecordTest, LevelAndKeywordsFilterTheSession) {
  struct Case {
    std::vector<std::string> options;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {{"--level", "16"}, {"B Command", "i Assert Info", "E Command", "M process_name"}},
      {{"--keywords", "0x800"}, {"i Generic Generic", "M process_name"}},
      {{"--level", "17", "--keywords", "0x80"}, {"i Doc Lock", "M process_name"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options[0]);
    EXPECT_EQ(record(c.options, {KVPAL_TRACE_HELPER, "write"}).exitCode, 0);
    EXPECT_EQ(names(readTrace()), c.expected);
  }
}

TEST_F(TraceRecordTest, ExitStatusIsTheCommands) {
  EXPECT_EQ(record({}, {KVPAL_TRACE_HELPER, "status", "out", "7"}).exitCode, 7);
  auto helpForTheCommand = record({}, {KVPAL_TRACE_HELPER, "status", "--help", "0"});
  EXPECT_EQ(helpForTheCommand.exitCode, 0);
  EXPECT_EQ(helpForTheCommand.output, "--help\n") << "arguments after -- are the command's";
  auto missing = record({}, {(dir_ / "no-such-program").string()});
  EXPECT_EQ(missing.exitCode, 127);
  EXPECT_EQ(names(readTrace()), std::vector<std::string>{"M process_name"});
}

TEST_F(TraceRecordTest, UsageErrors) {
  const std::vector<std::vector<std::string>> cases = {
      {"record", "--", KVPAL_TRACE_HELPER, "write"},
      {"record", "--output", "x.json"},
      {"record", "--output", "x.json", "--"},
      {"record", "--level", "300", "--output", "x.json", "--", "true"},
      {"record", "--keywords", "-1", "--output", "x.json", "--", "true"},
      {"record", "--bogus", "--output", "x.json", "--", "true"},
      {"manifest", "extra"},
      {"unknown"},
      {},
  };
  for (const auto& c : cases) {
    std::vector<std::string> argv = {KVPAL_TOOL, "trace"};
    argv.insert(argv.end(), c.begin(), c.end());
    SCOPED_TRACE(argv.size() > 2 ? argv[2] : "(none)");
    EXPECT_EQ(runChild(argv).exitCode, 2);
  }
}

TEST_F(TraceRecordTest, FileSessionWithoutTheRecorderStartsTheArray) {
  auto r = runChild({KVPAL_TRACE_HELPER, "write"}, {{"KVPAL_TRACE_FILE", file_}});
  EXPECT_EQ(r.exitCode, 0);
  // A second process appends to the same file.
  r = runChild({KVPAL_TRACE_HELPER, "write"},
               {{"KVPAL_TRACE_FILE", file_}, {"KVPAL_TRACE_KEYWORDS", "0x800"}});
  EXPECT_EQ(r.exitCode, 0);
  std::string error;
  ASSERT_TRUE(
      Halvex::Tessaran::PAL::detail::finishChromeTrace(file_, "{\"ph\":\"M\",\"name\":\"end\"}", &error))
      << error;
  auto expected = kAllEvents;
  expected.back() = "i Generic Generic";
  expected.push_back("M end");
  EXPECT_EQ(names(readTrace()), expected);
}

TEST_F(TraceRecordTest, ManifestGoesToStandardOutputOrAFile) {
  auto printed = runChild({KVPAL_TOOL, "trace", "manifest"});
  EXPECT_EQ(printed.exitCode, 0);
  EXPECT_NE(printed.output.find("<provider name=\"Halvex-Tessaran\""), std::string::npos);
  EXPECT_EQ(runChild({KVPAL_TOOL, "trace", "manifest", "--output", file_}).exitCode, 0);
  std::ifstream in(file_);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), printed.output);
  EXPECT_EQ(
      runChild({KVPAL_TOOL, "trace", "manifest", "--output", (dir_ / "no/dir/m.man").string()}).exitCode, 1);
}

}  // namespace
