// Start-up defaults, the alternate-host test and the host's flags.
#include "pal/process.h"

#include <atomic>

#include "base/path_text.h"
#include "base/utf8.h"
#include "modules/module_names.h"
#include "pal/settings_environment.h"
#include "process/search_path.h"

namespace Halvex::Tessaran::PAL {

namespace {

std::atomic<bool> g_foreground{true};

bool isSet(const wchar_t* name) {
  return !Settings::envVars().getString(name, L"").empty();
}

// Graphics-driver folders on PATH would let a driver's own copies of the
// host's modules shadow the product's.
void removeGraphicsFoldersFromPath() {
  Settings::Container& env = Settings::envVars();
  if (!env.exists(L"PATH")) return;
  const std::wstring path = env.getString(L"PATH", L"");
  const std::wstring kept = detail::withoutEntries(path, [](const std::wstring& folder) {
    return !detail::findModuleInFolder(detail::wideToUtf8(folder), "kvgs.dll").empty();
  });
  if (kept != path) env.setString(L"PATH", kept.c_str(), false);
}

}  // namespace

void Process::initializeProcessDefaults() {
  if (!detail::loadedModuleExports("KvCore.dll", {"thisProduct", "thisProgram"})) return;
  if (isSet(L"CBIN")) return;
  if (!isSet(L"GBIN")) removeGraphicsFoldersFromPath();
}

bool Process::isTrellis() {
  static const bool trellis = !detail::isModuleLoaded("kvdb23.dll");
  return trellis;
}

bool Process::isForegroundApplication() {
  return g_foreground.load(std::memory_order_relaxed);
}

void Process::setIsForegroundApplication(bool foreground) {
  g_foreground.store(foreground, std::memory_order_relaxed);
}

bool Blob::downloadToFile(const wchar_t*, const boost::filesystem::path&) {
  return true;
}

std::wstring Blob::createUrl(const boost::filesystem::path& file) {
  return detail::wideFromPath(file).value_or(std::wstring());
}

}  // namespace Halvex::Tessaran::PAL
