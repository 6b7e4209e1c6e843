// Where the synchronisation clients keep their files on this system.
#include <boost/filesystem/operations.hpp>
#include <fstream>

#include "base/path_text.h"
#include "filesystem/cloud/cloud_files.h"
#include "pal/settings_environment.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

std::wstring absoluteVariable(const wchar_t* name) {
  std::wstring value = Settings::envVars().getString(name, L"");
  return !value.empty() && value[0] == L'/' ? value : std::wstring();
}

std::optional<std::wstring> xdgFolder(const wchar_t* variable, const wchar_t* underHome) {
  const std::wstring xdg = absoluteVariable(variable);
  if (!xdg.empty()) return xdg;
  const std::wstring home = homeVariable();
  if (home.empty()) return std::nullopt;
  return joinedPath(home, underHome);
}

}  // namespace

std::optional<std::wstring> clientDataFolder(bool local) {
  const std::wstring set = Settings::envVars().getString(local ? L"LocalAppData" : L"AppData", L"");
  if (!set.empty()) return set;
  return local ? xdgFolder(L"XDG_DATA_HOME", L".local/share") : linuxConfigFolder();
}

std::optional<std::wstring> linuxConfigFolder() {
  return xdgFolder(L"XDG_CONFIG_HOME", L".config");
}

std::wstring homeVariable() {
  return absoluteVariable(L"HOME");
}

std::optional<std::wstring> homeFile(const wchar_t* name) {
  const std::wstring home = homeVariable();
  if (home.empty()) return std::nullopt;
  std::wstring file = joinedPath(home, name);
  return pathExists(file) ? std::optional<std::wstring>(file) : std::nullopt;
}

std::wstring joinedPath(const std::wstring& base, const wchar_t* name) {
  std::wstring out = base;
  if (out.empty() || out.back() != L'/') out += L'/';
  return out + name;
}

bool pathExists(const std::wstring& path) {
  const std::optional<boost::filesystem::path> p = pathFromWide(path.c_str());
  boost::system::error_code ec;
  return p && boost::filesystem::exists(*p, ec);
}

std::optional<std::string> fileStart(const std::wstring& path, std::size_t maxBytes) {
  const std::optional<boost::filesystem::path> p = pathFromWide(path.c_str());
  if (!p) return std::nullopt;
  std::ifstream in(p->string(), std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes(maxBytes, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(maxBytes));
  if (in.bad()) return std::nullopt;
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

}  // namespace Halvex::Tessaran::PAL::detail
