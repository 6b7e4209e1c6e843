// The environment container over setenv/getenv, %NAME% expansion and PATH
// insertion.
#include <cstdlib>
#include <filesystem>
#include <string>

#include "pal/settings_environment.h"
#include "pal/unicode_convert.h"
#include "settings/env_expand.h"

namespace Halvex::Tessaran::PAL::Settings {

namespace {

// The variable's name in the environment's encoding; false for a name that
// cannot name a variable.
bool variableName(const wchar_t* name, std::string& out) {
  return name && *name && UnicodeConvert::wideCharToUtf8(name, out) && out.find('=') == std::string::npos;
}

const char* lookup(const wchar_t* name) {
  std::string n;
  return variableName(name, n) ? std::getenv(n.c_str()) : nullptr;
}

class Environment : public ContainerImp {
 public:
  bool good() const override { return true; }
  bool exists(const wchar_t* name) const override { return lookup(name) != nullptr; }
  std::wstring getString(const wchar_t* name, const std::wstring& def) const override {
    const char* value = lookup(name);
    std::wstring out;
    return value && UnicodeConvert::utf8ToWideChar(value, out) ? out : def;
  }
  std::map<std::wstring, std::wstring> getAllStringValues(
      const std::map<std::wstring, std::wstring>&) const override {
    return {};
  }
  std::vector<unsigned char> getBinary(const wchar_t*, const std::vector<unsigned char>& def) const override {
    return def;
  }
  double getDouble(const wchar_t*, const double& def) const override { return def; }
  unsigned getUInt32(const wchar_t*, const unsigned& def) const override { return def; }
  void enumerate(std::function<bool(const Container&)>) const override {}
  std::wstring name() const override { return L"Environment"; }
  bool removeValue(const wchar_t* name) override { return setString(name, L""); }
  bool setString(const wchar_t* name, const wchar_t* value) override {
    std::string n, v;
    if (!variableName(name, n) || !value) return false;
    if (!*value) return unsetenv(n.c_str()) == 0;
    return UnicodeConvert::wideCharToUtf8(value, v) && setenv(n.c_str(), v.c_str(), 1) == 0;
  }
  bool setUInt32(const wchar_t*, unsigned) override { return false; }
  bool setDouble(const wchar_t*, double) override { return false; }
  bool remove() override { return false; }
};

void setTempWhenMissing() {
  const char* temp = std::getenv("TEMP");
  if (temp && *temp) return;
  // The C++ library would take the empty TEMP as the temporary folder.
  unsetenv("TEMP");
  std::error_code ec;
  const std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
  if (!ec) setenv("TEMP", dir.c_str(), 1);
}

}  // namespace

Container& envVars() {
  static Container environment = [] {
    Container c(new Environment);
    setTempWhenMissing();
    return c;
  }();
  return environment;
}

std::wstring expandEnvVars(const wchar_t* text) {
  return text ? detail::expandEnvironmentReferences(text) : std::wstring();
}

}  // namespace Halvex::Tessaran::PAL::Settings

extern "C" BOOL AppendEnvironmentPath(const wchar_t* folder) {
  namespace UnicodeConvert = Halvex::Tessaran::PAL::UnicodeConvert;
  const char* old = std::getenv("PATH");
  if (!old) return FALSE;
  if (!folder || !*folder) return TRUE;
  std::string front;
  if (!UnicodeConvert::wideCharToUtf8(folder, front)) return FALSE;
  if (*old) front = front + ":" + old;
  return setenv("PATH", front.c_str(), 1) == 0 ? TRUE : FALSE;
}
