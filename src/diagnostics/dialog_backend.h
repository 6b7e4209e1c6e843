// The table of the dialog backend module (Xlib), loaded when an assertion
// box or the display's root window is first asked for.
#pragma once

#include <string>

#include "diagnostics/assert_choice.h"

namespace Halvex::Tessaran::PAL::detail {

struct DialogBackend {
  static constexpr unsigned kVersion = 1;
  AssertChoice (*askInWindow)(const std::wstring& caption, const std::wstring& message);
  void* (*desktopWindow)();
};

inline constexpr const char* kDialogModule = "libKvPalDialog.so";
inline constexpr const char* kDialogEntry = "kvpal_dialog_backend";

// In the module: the display's root window, null without a display.
void* desktopWindow();

}  // namespace Halvex::Tessaran::PAL::detail
