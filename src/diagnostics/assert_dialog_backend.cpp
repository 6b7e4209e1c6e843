// The assertion box and the root window as the library sees them: calls into
// the dialog backend module, loaded on first use. Without a display named
// the module is not loaded at all, as no window could open.
#include <cstdlib>

#include "base/backend_module.h"
#include "diagnostics/assert_choice.h"
#include "diagnostics/dialog_backend.h"
#include "pal/diagnostics.h"

namespace Halvex::Tessaran::PAL {

namespace detail {

namespace {
const DialogBackend* backend() {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return nullptr;
  static const DialogBackend* const table = loadBackend<DialogBackend>(kDialogModule, kDialogEntry);
  return table;
}
}  // namespace

AssertChoice askInWindow(const std::wstring& caption, const std::wstring& message) {
  const DialogBackend* b = backend();
  return b ? b->askInWindow(caption, message) : AssertChoice::Unavailable;
}

}  // namespace detail

void* Win32Interop::getDesktopWindow() {
  const detail::DialogBackend* b = detail::backend();
  return b ? b->desktopWindow() : nullptr;
}

}  // namespace Halvex::Tessaran::PAL
