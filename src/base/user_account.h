// The password database entry of an account, and the home folder: one lookup
// for every subsystem that needs either.
#pragma once

#include <optional>
#include <string>

namespace Halvex::Tessaran::PAL::detail {

struct UserAccount {
  std::string name;
  std::string gecos;
  std::string home;
};

// The entry for `uid`; nothing when the database has none.
std::optional<UserAccount> userAccount(unsigned uid);

// $HOME when set and not empty, else the real user's home folder from the
// password database; nothing when neither names one.
std::optional<std::string> homeFolder();

}  // namespace Halvex::Tessaran::PAL::detail
