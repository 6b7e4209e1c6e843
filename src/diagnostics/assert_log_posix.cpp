// Writing the assertion log: the executable from /proc/self/exe, local time
// stamps, the current directory as the fallback.
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>

#include "base/utf8.h"
#include "diagnostics/assert_log.h"
#include "pal/settings_environment.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

std::wstring executablePath() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf);
  if (n <= 0) return std::wstring();
  std::string path(buf, static_cast<size_t>(n));
  // An executable replaced or removed while running reads "PATH (deleted)";
  // the log keeps the name it was started under.
  constexpr std::string_view kDeleted = " (deleted)";
  if (path.ends_with(kDeleted) && access(path.c_str(), F_OK) != 0) path.resize(path.size() - kDeleted.size());
  return utf8ToWide(path);
}

std::FILE* openLog(const std::wstring& name) {
  if (std::FILE* f = std::fopen(wideToUtf8(name).c_str(), "a")) return f;
  size_t slash = name.rfind(L'/');
  if (slash == std::wstring::npos) return nullptr;
  return std::fopen(wideToUtf8(name.substr(slash + 1)).c_str(), "a");
}

}  // namespace

void logAssertion(const wchar_t* message) {
  static const bool on = Settings::envVars().exists(L"PAL_LOG_ASSERTS");
  if (!on) return;
  std::FILE* f = openLog(assertLogFileName(executablePath()));
  if (!f) return;
  std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  std::fprintf(f, "Assert failure at %d:%02d:%02d on %d/%02d/%04d\n", t.tm_hour, t.tm_min, t.tm_sec,
               t.tm_mon + 1, t.tm_mday, t.tm_year + 1900);
  std::fputs(wideToUtf8(message ? message : L"").c_str(), f);
  std::fputs("\n-------------\n", f);
  std::fclose(f);
}

}  // namespace Halvex::Tessaran::PAL::detail
