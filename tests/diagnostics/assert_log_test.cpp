// The assertion log and the switches read from the environment, seen
// through a copy of a helper executable in a temporary folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "support/child_process.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using kvpal::test::runInChild;

namespace {

class AssertLog : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.path();
    fs::create_directories(dir_ / "bin");
    fs::create_directories(dir_ / "cwd");
    exe_ = dir_ / "bin" / "assert_child";
    fs::copy_file(ASSERT_CHILD_PATH, exe_);
  }

  // Runs the copy without terminal or display, in dir_/cwd, with only the
  // given environment.
  kvpal::test::ChildOutcome run(std::vector<std::string> env, std::vector<std::string> args) {
    return runInChild([&] {
      if (chdir((dir_ / "cwd").c_str()) != 0) return 126;
      std::vector<std::string> argv{exe_.string()};
      argv.insert(argv.end(), args.begin(), args.end());
      std::vector<char*> a, e;
      for (auto& s : argv) a.push_back(s.data());
      for (auto& s : env) e.push_back(s.data());
      a.push_back(nullptr);
      e.push_back(nullptr);
      execve(a[0], a.data(), e.data());
      return 127;
    });
  }

  static std::string read(const fs::path& p) {
    std::ifstream f(p);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }

  kvpal::test::TempDir temp_{"kvpal-assert-log"};
  fs::path dir_, exe_;
};

TEST_F(AssertLog, DialogOffAndNoLogWritesOnlyTheEvent) {
  auto r = run({"VORLITH_LOG_ASSERT="}, {"x > 0"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output, "dialog=0 events=1\n");
  EXPECT_FALSE(fs::exists(dir_ / "bin" / "assert_child.err"));
  EXPECT_TRUE(fs::is_empty(dir_ / "cwd"));
  // Without the variable the dialog switch is on; with no way to ask, the
  // report is ignored.
  r = run({}, {"x > 0"});
  EXPECT_EQ(r.output, "dialog=1 events=1\n");
}

TEST_F(AssertLog, AppendsStampedMessagesBesideTheExecutable) {
  auto r = run({"VORLITH_LOG_ASSERT=1", "PAL_LOG_ASSERTS="}, {"first %s%n", "second"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  std::string log = read(dir_ / "bin" / "assert_child.err");
  const std::string stamp = R"(Assert failure at \d{1,2}:\d\d:\d\d on \d{1,2}/\d\d/\d{4}\n)";
  std::regex expected(stamp + R"(Failed:  first %s%n\.\n\nFile: "child\.cpp"\.  Line: 1\.\n-------------\n)" +
                      stamp + R"(Failed:  second\.\n\nFile: "child\.cpp"\.  Line: 2\.\n-------------\n)");
  EXPECT_TRUE(std::regex_match(log, expected)) << log;
  // A second run appends.
  run({"VORLITH_LOG_ASSERT=1", "PAL_LOG_ASSERTS=1"}, {"third"});
  EXPECT_NE(read(dir_ / "bin" / "assert_child.err").find("third"), std::string::npos);
}

// An executable removed while it runs reads as "PATH (deleted)" to itself;
// the log keeps the executable's own name.
TEST_F(AssertLog, RemovedExecutableKeepsItsLogName) {
  auto r = runInChild([&] {
    int fd = open(exe_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || unlink(exe_.c_str()) != 0 || chdir((dir_ / "cwd").c_str()) != 0) return 126;
    std::string path = exe_.string(), arg = "gone";
    std::string env[] = {"VORLITH_LOG_ASSERT=1", "PAL_LOG_ASSERTS=1"};
    char* argv[] = {path.data(), arg.data(), nullptr};
    char* envp[] = {env[0].data(), env[1].data(), nullptr};
    fexecve(fd, argv, envp);
    return 127;
  });
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(read(dir_ / "bin" / "assert_child.err").find("Failed:  gone."), std::string::npos);
  EXPECT_FALSE(fs::exists(dir_ / "bin" / "assert_child (deleted).err"));
}

TEST_F(AssertLog, FallsBackToTheCurrentDirectory) {
  fs::create_directory(dir_ / "bin" / "assert_child.err");  // cannot be opened as a file
  auto r = run({"VORLITH_LOG_ASSERT=1", "PAL_LOG_ASSERTS=1"}, {"here"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(read(dir_ / "cwd" / "assert_child.err").find("Failed:  here."), std::string::npos);
}

}  // namespace
