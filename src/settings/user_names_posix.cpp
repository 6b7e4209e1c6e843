// Account and display names of the effective user from the password
// database.
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <vector>

#include "pal/settings_environment.h"
#include "pal/unicode_convert.h"
#include "settings/user_names.h"

namespace Halvex::Tessaran::PAL {

namespace {

struct Account {
  std::string name;
  std::string gecos;
};

std::optional<Account> effectiveAccount() {
  long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(hint > 0 ? static_cast<size_t>(hint) : 1024);
  passwd entry{};
  passwd* found = nullptr;
  int rc;
  // Entries from a directory service can outgrow the hint.
  while ((rc = getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
         buffer.size() < (1u << 20))
    buffer.resize(buffer.size() * 2);
  if (rc != 0 || !found) return std::nullopt;
  return Account{entry.pw_name ? entry.pw_name : "", entry.pw_gecos ? entry.pw_gecos : ""};
}

std::wstring widen(const std::string& text) {
  std::wstring out;
  return UnicodeConvert::utf8ToWideChar(text.c_str(), out) ? out : std::wstring();
}

}  // namespace

std::string_view detail::fullNameFromGecos(std::string_view gecos) {
  return gecos.substr(0, gecos.find(','));
}

namespace Settings {

std::wstring getUserDisplayName() {
  auto account = effectiveAccount();
  return account ? widen(account->name) : std::wstring();
}

std::wstring getUserLoginName(bool& domainMissing) {
  domainMissing = false;
  auto account = effectiveAccount();
  if (!account) return getUserDisplayName();
  std::wstring fullName = widen(std::string(detail::fullNameFromGecos(account->gecos)));
  if (!fullName.empty()) return fullName;
  domainMissing = true;
  return widen(account->name);
}

}  // namespace Settings
}  // namespace Halvex::Tessaran::PAL
