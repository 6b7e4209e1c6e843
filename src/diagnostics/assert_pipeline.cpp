// The assertion pipeline: formatting, the event, silenced lines, the
// installed handler, and the default handler's dialog, log and choices.
#include <atomic>
#include <cwchar>
#include <exception>
#include <string>

#include "diagnostics/assert_choice.h"
#include "diagnostics/assert_log.h"
#include "pal/diagnostics.h"
#include "pal/perf_log.h"
#include "pal/settings_environment.h"

namespace Halvex::Tessaran::PAL::Diagnostics {

namespace {

void defaultAssertHandler(const wchar_t*, const wchar_t*, int line, const wchar_t*, const wchar_t* message);

AssertHandler gHandler = defaultAssertHandler;
bool gDialog = !Settings::envVars().exists(L"VORLITH_LOG_ASSERT");
// Process-wide, not per thread: a report raised while another is shown is
// dropped, whichever thread raises it.
std::atomic<bool> gInProgress{false};

constexpr int kMaxSilenced = 50;
int gSilenced[kMaxSilenced];
int gSilencedCount = 0;

bool silenced(int line) {
  for (int i = 0; i < gSilencedCount; ++i)
    if (gSilenced[i] == line) return true;
  return false;
}

void silence(int line) {
  if (gSilencedCount < kMaxSilenced && !silenced(line)) gSilenced[gSilencedCount++] = line;
}

void defaultAssertHandler(const wchar_t*, const wchar_t*, int line, const wchar_t*, const wchar_t* message) {
  auto flags = static_cast<AssertFlags>(gDialog ? ShowDialog | LogToFile : LogToFile);
  if (assertMessage(message, flags) == IgnoreAlways) silence(line);
}

detail::AssertChoice ask(const wchar_t* message, bool fatal) {
  std::wstring caption = fatal ? L"FATAL ERROR" : L"ASSERT Error.  Shift-Ignore to suppress";
  std::wstring text = message ? message : L"";
  detail::AssertChoice choice = detail::askInWindow(caption, text);
  if (choice == detail::AssertChoice::Unavailable) choice = detail::askOnTerminal(caption, text);
  return choice;
}

}  // namespace

AssertResult assertMessage(const wchar_t* message, AssertFlags flags) {
  using detail::AssertChoice;
  bool fatal = flags & Fatal;
  if (flags & LogToFile) detail::logAssertion(message);
  AssertChoice choice = flags & ShowDialog ? ask(message, fatal) : AssertChoice::Unavailable;
  if (choice == AssertChoice::Unavailable) choice = fatal ? AssertChoice::Abort : AssertChoice::Ignore;
  if (fatal && (choice == AssertChoice::Ignore || choice == AssertChoice::IgnoreWithShift))
    choice = AssertChoice::Abort;
  switch (choice) {
    case AssertChoice::Retry:
      debugBreak();
      return Continue;
    case AssertChoice::Abort:
      std::terminate();
    case AssertChoice::IgnoreWithShift:
      return IgnoreAlways;
    default:
      return Continue;
  }
}

}  // namespace Halvex::Tessaran::PAL::Diagnostics

using namespace Halvex::Tessaran::PAL::Diagnostics;

void kvutAssertMessage(const wchar_t* expression, const wchar_t* file, int line, const wchar_t* status) {
  if (gInProgress.exchange(true)) return;
  struct Clear {
    ~Clear() { gInProgress = false; }
  } clear;
  if (!expression) expression = L"(null)";
  if (!file) file = L"(null)";
  wchar_t statusLine[235] = L"";
  if (status) std::swprintf(statusLine, std::size(statusLine), L"Status:  %.*ls.\n", 200, status);
  wchar_t message[1503];
  std::swprintf(message, std::size(message), L"Failed:  %.*ls.\n%ls\nFile: \"%.*ls\".  Line: %d.", 400,
                expression, statusLine, 260, file, line);
  PerfLog_WriteAssertEvent(message);
  if (silenced(line)) return;
  gHandler(expression, file, line, status, message);
}

void kvutSetAssertHandler(AssertHandler handler) {
  gHandler = handler;
}

bool kvutGetAssertDia() {
  return gDialog;
}

bool kvutSetAssertDia(bool on) {
  bool previous = gDialog;
  gDialog = on;
  return previous;
}

bool kvutAssertActive() {
  return gInProgress;
}
