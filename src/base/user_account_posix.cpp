// Password database lookups through getpwuid_r.
#include <errno.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "base/user_account.h"

namespace Halvex::Tessaran::PAL::detail {

std::optional<UserAccount> userAccount(unsigned uid) {
  long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(hint > 0 ? static_cast<size_t>(hint) : 1024);
  passwd entry{};
  passwd* found = nullptr;
  int rc;
  // Entries from a directory service can outgrow the hint.
  while ((rc = getpwuid_r(static_cast<uid_t>(uid), &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
         buffer.size() < (1u << 20))
    buffer.resize(buffer.size() * 2);
  if (rc != 0 || !found) return std::nullopt;
  return UserAccount{entry.pw_name ? entry.pw_name : "", entry.pw_gecos ? entry.pw_gecos : "",
                     entry.pw_dir ? entry.pw_dir : ""};
}

std::optional<std::string> homeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return std::string(home);
  std::optional<UserAccount> account = userAccount(getuid());
  if (!account || account->home.empty()) return std::nullopt;
  return account->home;
}

}  // namespace Halvex::Tessaran::PAL::detail
