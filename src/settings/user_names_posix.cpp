// Account and display names of the effective user from the password
// database.
#include <unistd.h>

#include <optional>

#include "base/user_account.h"
#include "pal/settings_environment.h"
#include "pal/unicode_convert.h"
#include "settings/user_names.h"

namespace Halvex::Tessaran::PAL {

namespace {

std::optional<detail::UserAccount> effectiveAccount() {
  return detail::userAccount(geteuid());
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
