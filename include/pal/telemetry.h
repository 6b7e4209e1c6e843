// Usage telemetry: the event record, the engine interface, a filtering base
// class for real engines, the holder of the installed engine and the JSON
// form of an event. The library never transmits anything itself.
//
// Differences from Windows: wide strings are UTF-32 here; toJson converts
// them from UTF-32 (not UTF-16) to UTF-8 before the JSON writer escapes them.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>

#include "pal/export.h"

class KvCipUtil;

namespace Halvex::Tessaran::PAL::Telemetry {

struct TelemetryEvent {
  std::wstring name;
  std::wstring type;
  std::unordered_map<std::wstring, std::wstring> attributes;
};

class PAL_EXPORT ITelemetryEngine {
 public:
  virtual ~ITelemetryEngine();
  virtual bool initialize(KvCipUtil* cipUtil) = 0;
  virtual void unInitialize() = 0;
  virtual bool isActive() const = 0;
  virtual void sendEvent(const TelemetryEvent& event) const = 0;
};

// Delivers through postEvent every event that it is active for and that the
// send-event callback (when one is set) accepts.
class PAL_EXPORT TrellisTelemetryEngineBase : public ITelemetryEngine {
 public:
  bool initialize(KvCipUtil* cipUtil) override;
  void unInitialize() override;
  bool isActive() const override;
  void sendEvent(const TelemetryEvent& event) const override;
  virtual void postEvent(const TelemetryEvent& event) const = 0;
};

// The installed engine, or the library's default engine (which only warns on
// standard output) when none is installed. Never null; not owned.
PAL_EXPORT ITelemetryEngine* getTelemetryEngine();
PAL_EXPORT bool isDefaultEngine();
// Installs engine (empty uninstalls) and hands back the previous one.
PAL_EXPORT std::unique_ptr<ITelemetryEngine> setTelemetryEngine(std::unique_ptr<ITelemetryEngine> engine);
// Null removes the filter.
PAL_EXPORT void setSendEventCallback(bool (*callback)(const TelemetryEvent&));

// One line of compact JSON: {"attributes":{...},"name":...,"type":...} and a
// line feed, members in ascending order, non-ASCII as \u escapes.
PAL_EXPORT std::string toJson(const TelemetryEvent& event);
// Scientific notation with six decimals: 1.5 gives "1.500000e+00".
PAL_EXPORT std::wstring double_att_to_wstring(double value);

}  // namespace Halvex::Tessaran::PAL::Telemetry
