// Device events to the host's pointer and gesture records.
#include "windowing/pointer_input.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <numbers>

namespace Halvex::Tessaran::PAL::Input::detail {
namespace {

using AsyncApi::Input::GestureEventData;
using AsyncApi::Input::PointerEventData;

constexpr int kTouch = 2, kPen = 3, kTouchpad = 5;

// Whether `word` stands in `text` as a word of its own, in any case, so
// that "Pen (0)" names a pen and "OpenBoard Mouse" does not.
bool hasWord(const std::string& text, const std::string& word) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (auto at = lower.find(word); at != std::string::npos; at = lower.find(word, at + 1)) {
    bool before = at == 0 || !std::isalpha(static_cast<unsigned char>(lower[at - 1]));
    std::size_t end = at + word.size();
    bool after = end == lower.size() || !std::isalpha(static_cast<unsigned char>(lower[end]));
    if (before && after) return true;
  }
  return false;
}

// The Windows button bits of the pointer path: the fourth button is 16 and
// the fifth 8.
std::uint32_t windowsButton(int xButton) {
  switch (xButton) {
    case 1:
      return 1;
    case 3:
      return 2;
    case 2:
      return 4;
    case 8:
      return 16;
    case 9:
      return 8;
    default:
      return 0;  // wheel "buttons" and beyond
  }
}

// Where `value` lies in the axis's range, 0 to 1.
double fraction(const Axis& axis, double value) {
  if (axis.max <= axis.min) return 0;
  return std::clamp((value - axis.min) / (axis.max - axis.min), 0.0, 1.0);
}

}  // namespace

DeviceTraits classifyDevice(const std::string& name, const std::string& toolType, TouchMode touch,
                            const std::vector<Axis>& axes) {
  DeviceTraits t;
  auto axis = [&](const char* label) {
    auto it = std::find_if(axes.begin(), axes.end(), [&](const Axis& a) { return a.label == label; });
    return it == axes.end() ? Axis{-1, {}, 0, 0} : *it;
  };
  if (toolType == "STYLUS" || toolType == "ERASER") {
    t.pointerType = kPen;
    t.eraser = toolType == "ERASER";
  } else if (toolType == "TOUCH" || touch == TouchMode::Direct) {
    t.pointerType = kTouch;
  } else if (touch == TouchMode::Dependent) {
    t.pointerType = kTouchpad;
  } else if (toolType.empty() && (hasWord(name, "eraser") || hasWord(name, "stylus") ||
                                  hasWord(name, "pen") || axis("Abs Pressure").number >= 0)) {
    t.pointerType = kPen;
    t.eraser = hasWord(name, "eraser");
  }
  if (t.pointerType == kPen) {
    t.pressure = axis("Abs Pressure");
    t.tiltX = axis("Abs Tilt X");
    t.tiltY = axis("Abs Tilt Y");
    t.rotation = axis("Abs Rotary Z");
    if (t.rotation.number < 0) t.rotation = axis("Abs Wheel");
  }
  return t;
}

void fillPointerRecord(const PointerSample& s, const DeviceTraits& traits, PointerEventData& r) {
  r.pointerId = static_cast<unsigned int>(s.sourceId);
  r.pointerType = traits.pointerType;
  r.x = static_cast<float>(s.x);
  r.y = static_cast<float>(s.y);

  // The event carries the state before it; the record wants the state after.
  std::uint32_t held = s.buttonsHeld;
  bool touching = false;
  switch (s.phase) {
    case PointerPhase::Press:
      if (s.detail > 0 && s.detail < 32) held |= 1u << s.detail;
      r.changedButtons = windowsButton(s.detail);
      break;
    case PointerPhase::Release:
      if (s.detail > 0 && s.detail < 32) held &= ~(1u << s.detail);
      r.changedButtons = windowsButton(s.detail);
      break;
    case PointerPhase::TouchBegin:
      touching = true;
      r.changedButtons = 1;
      break;
    case PointerPhase::TouchUpdate:
      touching = true;
      break;
    case PointerPhase::TouchEnd:
      r.changedButtons = 1;
      break;
    case PointerPhase::Move:
      break;
  }
  for (int b = 1; b < 32; ++b)
    if (held & (1u << b)) r.buttons |= windowsButton(b);
  if (touching) r.buttons |= 1;
  r.modifiers = (s.shift ? 4u : 0u) | (s.control ? 2u : 0u);
  // A mouse is in contact while a button is down, a pen while its tip is.
  r.inContact = touching || (traits.pointerType == kPen ? (r.buttons & 1) != 0 : r.buttons != 0);

  if (traits.pointerType != kPen) return;
  r.inverted = traits.eraser;
  for (const auto& v : s.valuators) {
    if (v.number == traits.pressure.number) {
      r.pressure = static_cast<unsigned int>(std::lround(fraction(traits.pressure, v.value) * 1024));
      r.penMask |= 1;
    } else if (v.number == traits.rotation.number) {
      r.rotation = static_cast<unsigned int>(std::lround(fraction(traits.rotation, v.value) * 360)) % 360;
      r.penMask |= 2;
    } else if (v.number == traits.tiltX.number) {
      r.tiltX = static_cast<int>(std::lround(fraction(traits.tiltX, v.value) * 180 - 90));
      r.penMask |= 4;
    } else if (v.number == traits.tiltY.number) {
      r.tiltY = static_cast<int>(std::lround(fraction(traits.tiltY, v.value) * 180 - 90));
      r.penMask |= 8;
    }
  }
}

bool fillGestureRecord(const GestureSample& s, GestureEventData& r) {
  if (s.phase == GesturePhase::Begin) return false;
  r.gestureType = 1;
  r.x = static_cast<float>(s.x);
  r.y = static_cast<float>(s.y);
  r.scale = static_cast<float>(s.scale);
  r.angle = static_cast<float>(-s.angleDegrees * std::numbers::pi / 180);
  r.gestureFlags = s.phase == GesturePhase::End ? 4 : 0;
  return true;
}

long long GestureLog::add(GesturePhase phase, double x, double y, double scale, double deltaAngleDegrees) {
  if (phase == GesturePhase::Begin) angle_ = 0;
  angle_ += deltaAngleDegrees;
  if (kept_.size() == kKept) kept_.erase(kept_.begin());
  kept_.push_back({++lastHandle_, phase, x, y, scale, angle_});
  return lastHandle_;
}

bool GestureLog::take(long long handle, GestureSample& sample) {
  auto it = std::find_if(kept_.begin(), kept_.end(), [&](const auto& s) { return s.handle == handle; });
  if (it == kept_.end()) return false;
  sample = *it;
  kept_.erase(it);
  return true;
}

bool readGesture(GestureLog& log, long long handle, long long& lastRead, GestureEventData& record,
                 const GestureEventData*& data) {
  if (handle == lastRead) {
    if (record.gestureType == 0) return false;
    data = &record;
    return true;
  }
  lastRead = handle;
  record = {};
  GestureSample sample;
  if (!log.take(handle, sample)) return false;
  // A begin succeeds with the cleared record, which the caller may read.
  data = &record;
  fillGestureRecord(sample, record);
  return true;
}

}  // namespace Halvex::Tessaran::PAL::Input::detail
