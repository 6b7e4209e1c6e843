// What the windowing code asks of the screen, kept apart from the value
// types so that those need no X11 headers.
#pragma once

#include <optional>

namespace Halvex::Tessaran::PAL::X11 {

// Logical pixels per inch and the resolution in pixels; the members'
// initial values are those assumed before anything was read.
struct ScreenCaps {
  float logicalPixelsX = 96;
  float logicalPixelsY = 96;
  float horizontalRes = 1920;
  float verticalRes = 1080;
};

// Empty without a display.
std::optional<ScreenCaps> readScreenCaps();

}  // namespace Halvex::Tessaran::PAL::X11
