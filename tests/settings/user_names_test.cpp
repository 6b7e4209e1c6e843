// User names from the password database, checked against id(1) and
// getent(1), and for other users in children that change their user id.
#include "settings/user_names.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "hive_fixture.h"
#include "pal/settings_environment.h"
#include "support/child_process.h"

using namespace Halvex::Tessaran::PAL;

namespace {

std::string commandOutput(const std::string& command) {
  std::string out = kvpal::test::runChild({"/bin/sh", "-c", command}).output;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

std::wstring wide(const std::string& ascii) {
  return std::wstring(ascii.begin(), ascii.end());
}

TEST(UserNames, FullNameIsTheFirstGecosItem) {
  struct Case {
    const char* gecos;
    const char* fullName;
  } cases[] = {
      {"Ann Smith,Room 12,555-0100,", "Ann Smith"},
      {"PostgreSQL administrator,,,", "PostgreSQL administrator"},
      {"Solo", "Solo"},
      {",Room 12", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(detail::fullNameFromGecos(c.gecos), c.fullName) << c.gecos;
}

TEST(UserNames, EffectiveUserAgreesWithTheSystemTools) {
  const std::string account = commandOutput("id -un");
  const std::string gecos = commandOutput("getent passwd \"$(id -u)\" | cut -d: -f5 | cut -d, -f1");
  ASSERT_FALSE(account.empty()) << "id -un gave nothing";
  EXPECT_EQ(Settings::getUserDisplayName(), wide(account));
  bool domainMissing = !gecos.empty();
  EXPECT_EQ(Settings::getUserLoginName(domainMissing), wide(gecos.empty() ? account : gecos));
  EXPECT_EQ(domainMissing, gecos.empty());
}

// Switches the child to `uid` and reports what the name functions give.
int namesAs(uid_t uid, const std::wstring& account, const std::wstring& login, bool missing) {
  if (setresuid(uid, uid, uid) != 0) return 10;
  if (Settings::getUserDisplayName() != account) return 11;
  bool domainMissing = !missing;
  if (Settings::getUserLoginName(domainMissing) != login) return 12;
  return domainMissing == missing ? 0 : 13;
}

// The fixture lends its child-process runner.
class UserNamesOfOthers : public HiveFixture {};

TEST_F(UserNamesOfOthers, NoEntryAndNoFullName) {
  if (geteuid() != 0) GTEST_SKIP() << "changing the user id needs root";
  uid_t unknown = 54321;
  while (getpwuid(unknown)) ++unknown;
  EXPECT_EQ(runInChild([&] { return namesAs(unknown, L"", L"", false); }), 0)
      << "a user without an entry has no names";

  const passwd* noGecos = nullptr;
  setpwent();
  while (const passwd* p = getpwent())
    if (p->pw_uid != 0 && (!p->pw_gecos || !*p->pw_gecos)) {
      noGecos = p;
      break;
    }
  if (!noGecos) {
    endpwent();
    GTEST_SKIP() << "no account without a full name to switch to";
  }
  const uid_t uid = noGecos->pw_uid;
  const std::wstring name = wide(noGecos->pw_name);
  endpwent();
  EXPECT_EQ(runInChild([&] { return namesAs(uid, name, name, true); }), 0);
}

}  // namespace
