// The logging facade over a host back end.
#include "pal/log.h"

#include <gtest/gtest.h>

namespace Log = Halvex::Tessaran::PAL::Log;

namespace {

struct Line {
  std::string first, second;
  Log::LogLevel level;
};

class RecordingHost : public Log::ILoggerHost {
 public:
  RecordingHost(std::vector<Line>& lines, int& destroyed) : lines_(lines), destroyed_(destroyed) {}
  ~RecordingHost() override { ++destroyed_; }
  void log(const std::string& a, const std::string& b, Log::LogLevel level) override {
    lines_.push_back({a, b, level});
  }

 private:
  std::vector<Line>& lines_;
  int& destroyed_;
};

TEST(Log, ForwardsToTheInstalledHostOnly) {
  EXPECT_FALSE(Log::isLogEnabled());
  Log::log("dropped", "no host", Log::LevelError);

  std::vector<Line> first, second;
  int firstGone = 0, secondGone = 0;
  Log::setLoggerHost(std::make_unique<RecordingHost>(first, firstGone));
  EXPECT_TRUE(Log::isLogEnabled());
  Log::log("module", "text", Log::LevelWarn);
  Log::log("", std::string("a\0b", 3), static_cast<Log::LogLevel>(9));  // passed on unchanged

  Log::setLoggerHost(std::make_unique<RecordingHost>(second, secondGone));
  EXPECT_EQ(firstGone, 1);
  Log::log("m2", "t2", Log::LevelDebug);
  Log::setLoggerHost(nullptr);
  EXPECT_EQ(secondGone, 1);
  EXPECT_FALSE(Log::isLogEnabled());
  Log::log("dropped", "off again", Log::LevelInfo);

  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first[0].first, "module");
  EXPECT_EQ(first[0].second, "text");
  EXPECT_EQ(first[0].level, Log::LevelWarn);
  EXPECT_EQ(first[1].second, std::string("a\0b", 3));
  EXPECT_EQ(first[1].level, 9);
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0].first, "m2");
}

TEST(Log, LevelNames) {
  const std::pair<int, const char*> cases[] = {{0, ""},      {1, "DEBUG"}, {2, "INFO"}, {3, "WARN"},
                                               {4, "ERROR"}, {5, ""},      {-1, ""}};
  for (const auto& [level, name] : cases)
    EXPECT_EQ(Log::logLevelToString(static_cast<Log::LogLevel>(level)), name);
}

}  // namespace
