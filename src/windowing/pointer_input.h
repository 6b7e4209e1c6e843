// Pointer and gesture records made from the window system's device events:
// the translation is kept apart from the connection so that pens, touch and
// gestures, which a virtual server cannot produce, can be tested.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pal/input.h"

namespace Halvex::Tessaran::PAL::Input::detail {

enum class PointerPhase { Move, Press, Release, TouchBegin, TouchUpdate, TouchEnd };

// One device event as the connection delivered it. Buttons use the window
// system's numbering (1 left, 2 middle, 3 right, 8 back, 9 forward), and
// `buttonsHeld` the state before the event, bit n for button n.
struct PointerSample {
  PointerPhase phase = PointerPhase::Move;
  int sourceId = 0;
  int detail = 0;  // the button pressed or released
  double x = 0, y = 0;
  std::uint32_t buttonsHeld = 0;
  bool shift = false, control = false;
  struct Valuator {
    int number;
    double value;
  };
  std::vector<Valuator> valuators;  // only those the event carries
};

struct Axis {
  int number;
  std::string label;
  double min, max;
};

enum class TouchMode { Absent, Direct, Dependent };

// What a source device is, from what the server says about it.
struct DeviceTraits {
  int pointerType = 4;
  bool eraser = false;
  // Valuator numbers of the pen values, -1 when absent; ranges alongside.
  Axis pressure{-1, {}, 0, 0}, rotation{-1, {}, 0, 0}, tiltX{-1, {}, 0, 0}, tiltY{-1, {}, 0, 0};
};

// `toolType` is the driver's tool property ("STYLUS", "ERASER", "TOUCH",
// "CURSOR", "PAD"), empty when the device has none.
DeviceTraits classifyDevice(const std::string& name, const std::string& toolType, TouchMode touch,
                            const std::vector<Axis>& axes);

void fillPointerRecord(const PointerSample& sample, const DeviceTraits& traits,
                       AsyncApi::Input::PointerEventData& record);

enum class GesturePhase { Begin, Update, End };

// One pinch event; `angleDegrees` is the rotation since the gesture's
// begin, clockwise positive as the server counts.
struct GestureSample {
  long long handle = 0;
  GesturePhase phase = GesturePhase::Begin;
  double x = 0, y = 0;
  double scale = 1;
  double angleDegrees = 0;
};

// The record of a gesture event: false for a begin (the record stays
// cleared).
bool fillGestureRecord(const GestureSample& sample, AsyncApi::Input::GestureEventData& record);

// The recent gesture events by handle, and the accumulated rotation of the
// gesture in progress.
class GestureLog {
 public:
  static constexpr std::size_t kKept = 32;
  // Gives the event its handle.
  long long add(GesturePhase phase, double x, double y, double scale, double deltaAngleDegrees);
  // Removes and returns the event; false when unknown or no longer kept.
  bool take(long long handle, GestureSample& sample);
  long long lastHandle() const { return lastHandle_; }

 private:
  std::vector<GestureSample> kept_;
  long long lastHandle_ = 0;
  double angle_ = 0;
};

// getGestureEventData on a log: reading the handle read last answers from
// `record` again without touching the log.
bool readGesture(GestureLog& log, long long handle, long long& lastRead,
                 AsyncApi::Input::GestureEventData& record, const AsyncApi::Input::GestureEventData*& data);

}  // namespace Halvex::Tessaran::PAL::Input::detail
