// The telemetry engine holder, the default and base engines, and the JSON
// form of telemetry events.
#include "pal/telemetry.h"

#include <json/json.h>

#include <cstdio>
#include <sstream>

#include "pal/unicode_convert.h"

namespace Halvex::Tessaran::PAL::Telemetry {

namespace {

std::string utf8(const std::wstring& text) {
  std::string out;
  UnicodeConvert::wideCharToUtf8(text.c_str(), out);
  return out;
}

class DefaultTelemetryEngineImpl final : public ITelemetryEngine {
 public:
  constexpr DefaultTelemetryEngineImpl() = default;
  bool initialize(KvCipUtil*) override { return true; }
  void unInitialize() override {}
  bool isActive() const override { return true; }
  void sendEvent(const TelemetryEvent& event) const override {
    std::printf("WARNING - calling DefaultTelemetryEngineImpl::sendEvent() is this intentional?:\n%s\n",
                toJson(event).c_str());
  }
};

// Constant-initialised, so other modules' static initialisers may already
// ask for the engine.
constinit DefaultTelemetryEngineImpl g_defaultEngine;
constinit std::unique_ptr<ITelemetryEngine> g_installedEngine;
using SendEventCallback = bool (*)(const TelemetryEvent&);
constinit SendEventCallback g_sendEventCallback = nullptr;

}  // namespace

ITelemetryEngine::~ITelemetryEngine() = default;

bool TrellisTelemetryEngineBase::initialize(KvCipUtil*) { return true; }
void TrellisTelemetryEngineBase::unInitialize() {}
bool TrellisTelemetryEngineBase::isActive() const { return true; }

void TrellisTelemetryEngineBase::sendEvent(const TelemetryEvent& event) const {
  if (!isActive()) return;
  if (g_sendEventCallback && !g_sendEventCallback(event)) return;
  postEvent(event);
}

ITelemetryEngine* getTelemetryEngine() {
  return g_installedEngine ? g_installedEngine.get() : &g_defaultEngine;
}

bool isDefaultEngine() { return !g_installedEngine; }

std::unique_ptr<ITelemetryEngine> setTelemetryEngine(std::unique_ptr<ITelemetryEngine> engine) {
  std::swap(engine, g_installedEngine);
  return engine;
}

void setSendEventCallback(bool (*callback)(const TelemetryEvent&)) { g_sendEventCallback = callback; }

std::string toJson(const TelemetryEvent& event) {
  Json::Value attributes(Json::objectValue);
  for (const auto& [name, value] : event.attributes) attributes[utf8(name)] = utf8(value);
  Json::Value root(Json::objectValue);
  root["name"] = utf8(event.name);
  root["type"] = utf8(event.type);
  root["attributes"] = attributes;
  // The compact writer's exact text (sorted members, trailing line feed) is
  // the published form, so the deprecated writer stays.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  Json::FastWriter writer;
  return writer.write(root);
#pragma GCC diagnostic pop
}

std::wstring double_att_to_wstring(double value) {
  std::wostringstream out;
  out << std::scientific << value;
  return out.str();
}

}  // namespace Halvex::Tessaran::PAL::Telemetry
