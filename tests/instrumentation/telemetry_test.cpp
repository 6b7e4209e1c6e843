// Telemetry: the engine holder, the default and base engines, the JSON form
// of events and the attribute formatting of numbers.
#include "pal/telemetry.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace Halvex::Tessaran::PAL::Telemetry;

class CountingEngine : public TrellisTelemetryEngineBase {
 public:
  explicit CountingEngine(bool active = true) : active_(active) {}
  bool isActive() const override { return active_; }
  void postEvent(const TelemetryEvent& e) const override { posted.push_back(e.name); }
  mutable std::vector<std::wstring> posted;

 private:
  bool active_;
};

class TelemetryTest : public ::testing::Test {
 protected:
  void TearDown() override {
    setTelemetryEngine(nullptr);
    setSendEventCallback(nullptr);
  }
};

TEST_F(TelemetryTest, HolderInstallsAndHandsBackEngines) {
  EXPECT_TRUE(isDefaultEngine());
  ITelemetryEngine* fallback = getTelemetryEngine();
  ASSERT_NE(fallback, nullptr);
  EXPECT_TRUE(fallback->initialize(nullptr));
  EXPECT_TRUE(fallback->isActive());

  auto engine = std::make_unique<CountingEngine>();
  CountingEngine* raw = engine.get();
  EXPECT_EQ(setTelemetryEngine(std::move(engine)), nullptr);
  EXPECT_FALSE(isDefaultEngine());
  EXPECT_EQ(getTelemetryEngine(), raw);

  auto second = std::make_unique<CountingEngine>();
  CountingEngine* rawSecond = second.get();
  EXPECT_EQ(setTelemetryEngine(std::move(second)).get(), raw) << "the replaced engine comes back";
  EXPECT_EQ(getTelemetryEngine(), rawSecond);

  auto back = setTelemetryEngine(nullptr);
  EXPECT_EQ(back.get(), rawSecond);
  EXPECT_TRUE(isDefaultEngine());
  EXPECT_EQ(getTelemetryEngine(), fallback);
}

TEST_F(TelemetryTest, DefaultEngineWarnsOnStandardOutput) {
  TelemetryEvent e{L"Open", L"Usage", {{L"Size", L"12"}}};
  testing::internal::CaptureStdout();
  getTelemetryEngine()->sendEvent(e);
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "WARNING - calling DefaultTelemetryEngineImpl::sendEvent() is this intentional?:\n"
            "{\"attributes\":{\"Size\":\"12\"},\"name\":\"Open\",\"type\":\"Usage\"}\n\n");
}

bool g_accept = true;
std::vector<std::wstring> g_seenByCallback;
bool filter(const TelemetryEvent& e) {
  g_seenByCallback.push_back(e.name);
  return g_accept;
}

TEST_F(TelemetryTest, BaseEngineFiltersThroughActivityAndCallback) {
  struct Case {
    const char* what;
    bool active;
    bool withCallback;
    bool accept;
    bool posted;
    bool callbackAsked;
  };
  const Case cases[] = {
      {"no callback", true, false, false, true, false},
      {"callback accepts", true, true, true, true, true},
      {"callback refuses", true, true, false, false, true},
      {"inactive engine never asks the callback", false, true, true, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    g_seenByCallback.clear();
    g_accept = c.accept;
    setSendEventCallback(c.withCallback ? filter : nullptr);
    CountingEngine engine(c.active);
    const ITelemetryEngine& asInterface = engine;
    asInterface.sendEvent(TelemetryEvent{L"evt", L"t", {}});
    EXPECT_EQ(engine.posted.size(), c.posted ? 1u : 0u);
    EXPECT_EQ(g_seenByCallback.size(), c.callbackAsked ? 1u : 0u);
  }
  CountingEngine base;
  EXPECT_TRUE(base.TrellisTelemetryEngineBase::initialize(nullptr));
  EXPECT_TRUE(base.TrellisTelemetryEngineBase::isActive());
}

TEST_F(TelemetryTest, JsonFormOfEvents) {
  struct Case {
    const char* what;
    TelemetryEvent event;
    std::string json;
  };
  const Case cases[] = {
      {"one attribute", {L"Open", L"Usage", {{L"Size", L"12"}}},
       "{\"attributes\":{\"Size\":\"12\"},\"name\":\"Open\",\"type\":\"Usage\"}\n"},
      {"no attributes", {L"Close", L"Usage", {}}, "{\"attributes\":{},\"name\":\"Close\",\"type\":\"Usage\"}\n"},
      {"attributes sorted by name", {L"e", L"t", {{L"b", L"2"}, {L"a", L"1"}, {L"C", L"3"}}},
       "{\"attributes\":{\"C\":\"3\",\"a\":\"1\",\"b\":\"2\"},\"name\":\"e\",\"type\":\"t\"}\n"},
      {"escapes", {L"q\"\\\n", L"", {}}, "{\"attributes\":{},\"name\":\"q\\\"\\\\\\n\",\"type\":\"\"}\n"},
      {"non-ASCII text", {L"caf\u00e9", L"\U0001F600", {{L"\u00fc", L"\u4e2d"}}},
       "{\"attributes\":{\"\\u00fc\":\"\\u4e2d\"},\"name\":\"caf\\u00e9\",\"type\":\"\\ud83d\\ude00\"}\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(toJson(c.event), c.json);
  }
}

TEST_F(TelemetryTest, DoubleAttributesInScientificNotation) {
  const std::pair<double, const wchar_t*> cases[] = {
      {1.5, L"1.500000e+00"},  {0.1, L"1.000000e-01"},      {0.0, L"0.000000e+00"},
      {-2.5e10, L"-2.500000e+10"}, {1e-300, L"1.000000e-300"}, {123456789.0, L"1.234568e+08"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(double_att_to_wstring(value), text) << value;
}

}  // namespace
