// Device events to pointer and gesture records: the kinds of device, the
// button and contact states, pen values from labelled valuators, and pinch
// gestures, none of which a virtual server can produce.
#include "windowing/pointer_input.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>

namespace {

namespace D = Halvex::Tessaran::PAL::Input::detail;
using Halvex::Tessaran::AsyncApi::Input::GestureEventData;
using Halvex::Tessaran::AsyncApi::Input::PointerEventData;

TEST(PointerRecords, KeepTheirLayout) {
  EXPECT_EQ(sizeof(PointerEventData), 56u);
  EXPECT_EQ(offsetof(PointerEventData, inContact), 28u);
  EXPECT_EQ(offsetof(PointerEventData, inverted), 48u);
  EXPECT_EQ(offsetof(PointerEventData, penMask), 52u);
  EXPECT_EQ(sizeof(GestureEventData), 24u);
  EXPECT_EQ(offsetof(GestureEventData, gestureFlags), 20u);
}

const std::vector<D::Axis> kPenAxes = {{0, "Abs X", 0, 20000},       {1, "Abs Y", 0, 12000},
                                       {2, "Abs Pressure", 0, 2047}, {3, "Abs Tilt X", -64, 63},
                                       {4, "Abs Tilt Y", -64, 63},   {5, "Abs Wheel", 0, 720}};

TEST(PointerDevices, KindFromToolTypeTouchModeNameOrPressure) {
  struct Case {
    const char* name;
    const char* tool;
    D::TouchMode touch;
    bool penAxes;
    int type;
    bool eraser;
  } cases[] = {
      {"Virtual core XTEST pointer", "", D::TouchMode::Absent, false, 4, false},
      {"Wacom Intuos Pen stylus", "STYLUS", D::TouchMode::Absent, true, 3, false},
      {"Wacom Intuos Pen eraser", "ERASER", D::TouchMode::Absent, true, 3, true},
      {"Wacom Intuos Pad pad", "PAD", D::TouchMode::Absent, false, 4, false},
      {"Wacom Intuos Finger touch", "TOUCH", D::TouchMode::Dependent, false, 2, false},
      {"xwayland-tablet eraser:22", "", D::TouchMode::Absent, true, 3, true},
      {"xwayland-tablet stylus:22", "", D::TouchMode::Absent, true, 3, false},
      {"HID 256c:006d Pen (0)", "", D::TouchMode::Absent, false, 3, false},
      {"OpenBoard Mouse", "", D::TouchMode::Absent, false, 4, false},
      {"Generic Digitizer", "", D::TouchMode::Absent, true, 3, false},
      {"ELAN Touchscreen", "", D::TouchMode::Direct, false, 2, false},
      {"SynPS/2 Synaptics TouchPad", "", D::TouchMode::Dependent, false, 5, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto t = D::classifyDevice(c.name, c.tool, c.touch, c.penAxes ? kPenAxes : std::vector<D::Axis>{});
    EXPECT_EQ(t.pointerType, c.type);
    EXPECT_EQ(t.eraser, c.eraser);
    EXPECT_EQ(t.pressure.number, c.type == 3 && c.penAxes ? 2 : -1);
  }
}

TEST(PointerDevices, PenRotationFromRotaryZBeforeWheel) {
  auto axes = kPenAxes;
  EXPECT_EQ(D::classifyDevice("stylus", "", D::TouchMode::Absent, axes).rotation.number, 5);
  axes.push_back({6, "Abs Rotary Z", 0, 359});
  EXPECT_EQ(D::classifyDevice("stylus", "", D::TouchMode::Absent, axes).rotation.number, 6);
}

TEST(PointerRecords, ButtonsChangesAndContact) {
  using P = D::PointerPhase;
  const auto mouse = D::classifyDevice("mouse", "", D::TouchMode::Absent, {});
  const auto pen = D::classifyDevice("stylus", "STYLUS", D::TouchMode::Absent, kPenAxes);
  const auto touch = D::classifyDevice("screen", "", D::TouchMode::Direct, {});
  constexpr std::uint32_t L = 1u << 1, M = 1u << 2, R = 1u << 3;
  struct Case {
    const char* what;
    const D::DeviceTraits& traits;
    P phase;
    int detail;
    std::uint32_t heldBefore;
    unsigned buttons, changed;
    bool contact;
  } cases[] = {
      {"left press", mouse, P::Press, 1, 0, 1, 1, true},
      {"left release", mouse, P::Release, 1, L, 0, 1, false},
      {"right press, left held", mouse, P::Press, 3, L, 3, 2, true},
      {"middle press", mouse, P::Press, 2, 0, 4, 4, true},
      {"back press", mouse, P::Press, 8, 0, 16, 16, true},
      {"forward press", mouse, P::Press, 9, 0, 8, 8, true},
      {"wheel step", mouse, P::Press, 4, 0, 0, 0, false},
      {"motion, all three held", mouse, P::Move, 0, L | M | R, 7, 0, true},
      {"hovering pen", pen, P::Move, 0, 0, 0, 0, false},
      {"pen barrel button while hovering", pen, P::Press, 2, 0, 4, 4, false},
      {"pen tip down", pen, P::Press, 1, 0, 1, 1, true},
      {"touch begins", touch, P::TouchBegin, 5, 0, 1, 1, true},
      {"touch moves", touch, P::TouchUpdate, 5, 0, 1, 0, true},
      {"touch ends", touch, P::TouchEnd, 5, 0, 0, 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    D::PointerSample s;
    s.phase = c.phase;
    s.sourceId = 11;
    s.detail = c.detail;
    s.buttonsHeld = c.heldBefore;
    s.x = 10.5;
    s.y = -3;
    PointerEventData r{};
    D::fillPointerRecord(s, c.traits, r);
    EXPECT_EQ(r.pointerId, 11u);
    EXPECT_EQ(r.pointerType, c.traits.pointerType);
    EXPECT_EQ(r.buttons, c.buttons);
    EXPECT_EQ(r.changedButtons, c.changed);
    EXPECT_EQ(r.inContact, c.contact);
    EXPECT_EQ(r.x, 10.5f);
    EXPECT_EQ(r.y, -3.0f);
  }
}

TEST(PointerRecords, ModifiersAreShiftAndCtrl) {
  const struct {
    bool shift, control;
    unsigned modifiers;
  } cases[] = {{false, false, 0}, {true, false, 4}, {false, true, 2}, {true, true, 6}};
  for (const auto& c : cases) {
    D::PointerSample s;
    s.shift = c.shift;
    s.control = c.control;
    PointerEventData r{};
    D::fillPointerRecord(s, D::DeviceTraits{}, r);
    EXPECT_EQ(r.modifiers, c.modifiers) << c.shift << c.control;
  }
}

TEST(PointerRecords, PenValuesOnlyWhenTheEventCarriesThem) {
  D::PointerSample s;
  s.valuators = {{0, 5000}, {1, 4000}, {2, 2047}, {3, -64}, {5, 360}};
  PointerEventData r{};
  D::fillPointerRecord(s, D::classifyDevice("tablet", "STYLUS", D::TouchMode::Absent, kPenAxes), r);
  EXPECT_EQ(r.pointerType, 3);
  EXPECT_EQ(r.pressure, 1024u);
  EXPECT_EQ(r.tiltX, -90);
  EXPECT_EQ(r.tiltY, 0);
  EXPECT_EQ(r.rotation, 180u);
  EXPECT_EQ(r.penMask, 1u | 2u | 4u);
  EXPECT_FALSE(r.inverted);

  // Half pressure, full tilt the other way, rotation wrapping to 0, eraser.
  s.valuators = {{2, 1023.5}, {4, 63}, {5, 720}};
  r = {};
  D::fillPointerRecord(s, D::classifyDevice("tablet", "ERASER", D::TouchMode::Absent, kPenAxes), r);
  EXPECT_EQ(r.pressure, 512u);
  EXPECT_EQ(r.tiltY, 90);
  EXPECT_EQ(r.rotation, 0u);
  EXPECT_EQ(r.penMask, 1u | 2u | 8u);
  EXPECT_TRUE(r.inverted);

  // A mouse's valuators are not pen values.
  s.valuators = {{2, 2047}};
  r = {};
  D::fillPointerRecord(s, D::DeviceTraits{}, r);
  EXPECT_EQ(r.pressure, 0u);
  EXPECT_EQ(r.penMask, 0u);
}

bool sameBytes(const GestureEventData& a, const GestureEventData& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(Gestures, BeginUpdateEndOfAPinch) {
  D::GestureLog log;
  long long begin = log.add(D::GesturePhase::Begin, 100, 50, 1.0, 0);
  long long update = log.add(D::GesturePhase::Update, 101, 51, 1.5, 30);
  long long update2 = log.add(D::GesturePhase::Update, 102, 52, 1.75, 15);
  long long end = log.add(D::GesturePhase::End, 103, 53, 2.0, 0);
  EXPECT_EQ(log.lastHandle(), end);
  EXPECT_TRUE(begin != update && update != update2 && update2 != end);

  long long lastRead = 0;
  GestureEventData record{};
  const GestureEventData* data = nullptr;
  ASSERT_TRUE(D::readGesture(log, begin, lastRead, record, data));
  EXPECT_TRUE(sameBytes(record, GestureEventData{}));
  EXPECT_FALSE(D::readGesture(log, begin, lastRead, record, data)) << "a begin read twice";

  ASSERT_TRUE(D::readGesture(log, update2, lastRead, record, data));
  EXPECT_EQ(data, &record);
  EXPECT_EQ(record.gestureType, 1);
  EXPECT_EQ(record.x, 102.0f);
  EXPECT_EQ(record.y, 52.0f);
  EXPECT_EQ(record.scale, 1.75f);
  // 45 degrees clockwise since the begin: counter-clockwise positive.
  EXPECT_FLOAT_EQ(record.angle, static_cast<float>(-std::numbers::pi / 4));
  EXPECT_EQ(record.gestureFlags, 0u);
  GestureEventData copy = record;
  data = nullptr;
  ASSERT_TRUE(D::readGesture(log, update2, lastRead, record, data)) << "the same handle again";
  EXPECT_EQ(data, &record);
  EXPECT_TRUE(sameBytes(record, copy));

  ASSERT_TRUE(D::readGesture(log, end, lastRead, record, data));
  EXPECT_EQ(record.gestureFlags, 4u);
  EXPECT_EQ(record.scale, 2.0f);
}

TEST(Gestures, UnknownOrForgottenHandlesLeaveTheRecordCleared) {
  D::GestureLog log;
  long long first = log.add(D::GesturePhase::Update, 1, 1, 1.5, 0);
  for (std::size_t i = 0; i < D::GestureLog::kKept; ++i) log.add(D::GesturePhase::Update, 1, 1, 1, 0);
  long long lastRead = 0;
  GestureEventData record{};
  record.gestureType = 1;
  const GestureEventData* data = nullptr;
  EXPECT_FALSE(D::readGesture(log, first, lastRead, record, data));
  EXPECT_TRUE(sameBytes(record, GestureEventData{}));
  EXPECT_FALSE(D::readGesture(log, log.lastHandle() + 1, lastRead, record, data));
  EXPECT_TRUE(D::readGesture(log, log.lastHandle(), lastRead, record, data));
  EXPECT_EQ(data, &record);
}

}  // namespace
