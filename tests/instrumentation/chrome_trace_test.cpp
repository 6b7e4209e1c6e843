// Chrome trace-event records of single events, and the completion of trace
// files that their writers left in any state.
#include "instrumentation/chrome_trace.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "instrumentation/session_recorder.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Halvex::Tessaran::PAL::detail::chromeTraceEvent;
using Halvex::Tessaran::PAL::detail::finishChromeTrace;
using Halvex::Tessaran::PAL::Trace::EventRecord;
using kvpal::test::cat;
using kvpal::test::le;
using kvpal::test::utf16z;

Json::Value parse(const std::string& text) {
  Json::Value v;
  Json::Reader reader;
  EXPECT_TRUE(reader.parse(text, v, false)) << reader.getFormattedErrorMessages() << text;
  return v;
}

EventRecord record(std::uint16_t id, std::uint8_t opcode, std::uint16_t task,
                   const std::vector<std::uint8_t>& payload) {
  return EventRecord{
      id,         0,  16, 18, opcode, task, 0x8000000000000000ull | 0x6, payload.data(), payload.size(),
      1234567891, 42, 43};
}

TEST(ChromeTraceEvent, DecodesTheTemplateFields) {
  // Event 204: Lisp SetContextState with a pointer and a mapped state.
  auto payload = cat({le(0xABCDEFull, 8), le(8, 4)});
  Json::Value v = parse(chromeTraceEvent(record(204, 43, 61, payload)));
  EXPECT_EQ(v["name"].asString(), "Lisp SetContextState");
  EXPECT_EQ(v["ph"].asString(), "i");
  EXPECT_EQ(v["s"].asString(), "t");
  EXPECT_EQ(v["cat"].asString(), "Commands,Lisp");
  EXPECT_EQ(v["ts"].asDouble(), 1234567.891);
  EXPECT_EQ(v["pid"].asInt(), 42);
  EXPECT_EQ(v["tid"].asInt(), 43);
  EXPECT_EQ(v["args"]["ContextId"].asString(), "0xabcdef");
  EXPECT_EQ(v["args"]["State"].asString(), "kKvVlPending");
  EXPECT_EQ(v["args"]["level"].asString(), "detailed");
}

TEST(ChromeTraceEvent, FieldKinds) {
  struct Case {
    const char* what;
    std::uint16_t id;
    std::uint8_t opcode;
    std::vector<std::uint8_t> payload;
    const char* field;
    Json::Value expected;
  };
  const Case cases[] = {
      {"non-BMP and control text", 1, 10, utf16z(u"\U0001F600\u00e9\n\"\\"), "data",
       Json::Value("\U0001F600\u00e9\n\"\\")},
      {"lone surrogates become U+FFFD", 1, 10, cat({le(0xDBDB, 2), le('a', 2), le(0xDC00, 2), le(0, 2)}),
       "data", Json::Value("\uFFFDa\uFFFD")},
      {"unmapped value stays a number", 200, 23, cat({utf16z(u"p"), le(7, 4)}), "Ilk", Json::Value(7)},
      {"hex integer", 201, 24, cat({le(0x1388, 4), utf16z(u"t")}), "Restype", Json::Value("0x1388")},
      {"signed integer", 209, 46, cat({le(1, 8), le(0xFFFFFFFF, 4), utf16z(u"r")}), "Flags", Json::Value(-1)},
      {"bool", 42, 15, cat({le(1, 8), le(4, 4), utf16z(u"c"), {0}}), "Force", Json::Value(false)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Json::Value v = parse(chromeTraceEvent(record(c.id, c.opcode, 8, c.payload)));
    EXPECT_EQ(v["args"][c.field], c.expected);
  }
}

TEST(ChromeTraceEvent, StartAndEndMakeASlice) {
  auto payload = utf16z(u"LINE");
  EXPECT_EQ(parse(chromeTraceEvent(record(15, 10, 8, payload)))["ph"].asString(), "B");
  Json::Value end = parse(chromeTraceEvent(record(16, 11, 8, payload)));
  EXPECT_EQ(end["ph"].asString(), "E");
  EXPECT_EQ(end["name"].asString(), "Command");
}

TEST(ChromeTraceEvent, ShortPayloadEndsTheFields) {
  // Cut inside the string: the record stays valid JSON and omits the field.
  std::vector<std::uint8_t> cut = {'a', 0, 'b'};
  Json::Value v = parse(chromeTraceEvent(record(1, 10, 1, cut)));
  EXPECT_FALSE(v["args"].isMember("data"));
  EXPECT_EQ(v["args"]["id"].asInt(), 1);
}

class FinishChromeTraceTest : public ::testing::Test {
 protected:
  kvpal::test::TempDir temp_{"kvpal-finish"};
  std::string path_ = temp_.path() + "/trace.json";
};

TEST_F(FinishChromeTraceTest, ClosesWhateverTheWritersLeft) {
  const std::string rec = "{\"name\":\"a\",\"ph\":\"i\",\"ts\":1,\"pid\":1,\"tid\":1},\n";
  struct Case {
    const char* what;
    std::string content;
    unsigned records;  // complete records before the closing one
  };
  const Case cases[] = {
      {"empty file", "", 0},
      {"opening only", "[\n", 0},
      {"opening torn", "[", 0},
      {"complete records", "[\n" + rec + rec, 2},
      {"torn last record", "[\n" + rec + rec.substr(0, 20), 1},
      {"long torn tail", "[\n" + rec + std::string(10000, 'x'), 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << c.content;
    std::string error;
    ASSERT_TRUE(finishChromeTrace(path_, "{\"ph\":\"M\",\"name\":\"x\"}", &error)) << error;
    std::stringstream text;
    text << std::ifstream(path_).rdbuf();
    Json::Value v = parse(text.str());
    ASSERT_TRUE(v.isArray());
    ASSERT_EQ(v.size(), c.records + 1);
    EXPECT_EQ(v[c.records]["ph"].asString(), "M");
  }
}

TEST_F(FinishChromeTraceTest, MissingFileIsReported) {
  std::string error;
  EXPECT_FALSE(finishChromeTrace(path_ + ".absent", "{}", &error));
  EXPECT_NE(error.find(".absent"), std::string::npos);
}

}  // namespace
