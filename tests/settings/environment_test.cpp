// The environment container, expandEnvVars and AppendEnvironmentPath over
// the real process environment.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "pal/settings_environment.h"

using namespace Halvex::Tessaran::PAL;
using Settings::Container;
using Settings::envVars;

namespace {

std::optional<std::string> env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::optional<std::string>(v) : std::nullopt;
}

TEST(EnvironmentContainer, Reads) {
  setenv("KVPAL_T_SET", "value", 1);
  setenv("KVPAL_T_EMPTY", "", 1);  // set by other means than the container
  setenv("KVPAL_T_EQ", "a=b", 1);
  setenv("KVPAL_T_UTF8", "\xC3\xA9t\xC3\xA9", 1);
  unsetenv("KVPAL_T_UNSET");
  struct Case {
    const wchar_t* name;
    bool exists;
    const wchar_t* value;
  } cases[] = {
      {L"KVPAL_T_SET", true, L"value"},
      {L"KVPAL_T_EMPTY", true, L""},
      {L"KVPAL_T_UTF8", true, L"\u00e9t\u00e9"},
      {L"KVPAL_T_UNSET", false, L"def"},
      {L"kvpal_t_set", false, L"def"},
      {nullptr, false, L"def"},
      {L"", false, L"def"},
      // The C library would find KVPAL_T_EQ's value after "a=" under this name.
      {L"KVPAL_T_EQ=a", false, L"def"},
  };
  const Container& e = envVars();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name ? std::wstring(c.name).size() : 0);
    EXPECT_EQ(e.exists(c.name), c.exists);
    EXPECT_EQ(e.getString(c.name, L"def"), c.value);
  }

  // Only strings come from the environment.
  setenv("KVPAL_T_NUM", "7", 1);
  EXPECT_EQ(e.getDouble(L"KVPAL_T_NUM", 2.5), 2.5);
  EXPECT_EQ(e.getUInt32(L"KVPAL_T_NUM", 9u), 9u);
  EXPECT_EQ(e.getBinary(L"KVPAL_T_NUM", {1, 2}), (std::vector<unsigned char>{1, 2}));
  EXPECT_TRUE(e.getAllStringValues({{L"a", L"b"}}).empty());
  bool visited = false;
  e.enumerate([&](const Container&) { return visited = true; });
  EXPECT_FALSE(visited);
  EXPECT_EQ(e.name(), L"Environment");
  EXPECT_TRUE(e.good());
  EXPECT_EQ(&envVars(), &e) << "one container per process";
}

TEST(EnvironmentContainer, Writes) {
  Container& e = envVars();
  EXPECT_TRUE(e.setString(L"KVPAL_T_W", L"wert \u20ac", false));
  EXPECT_EQ(env("KVPAL_T_W"), "wert \xE2\x82\xAC");
  EXPECT_TRUE(e.setString(L"KVPAL_T_W", L"", false));
  EXPECT_EQ(env("KVPAL_T_W"), std::nullopt) << "an empty value removes the variable";
  EXPECT_FALSE(e.exists(L"KVPAL_T_W"));
  setenv("KVPAL_T_W", "kept", 1);
  EXPECT_FALSE(e.setString(L"KVPAL_T_W", nullptr, false)) << "a null value is refused";
  EXPECT_FALSE(e.setString(L"KVPAL_T_W", nullptr, true));
  EXPECT_EQ(env("KVPAL_T_W"), "kept");

  EXPECT_TRUE(e.setString(L"KVPAL_T_W", L"%HOME%", true)) << "expandable strings are stored as written";
  EXPECT_EQ(env("KVPAL_T_W"), "%HOME%");
  EXPECT_TRUE(e.removeValue(L"KVPAL_T_W"));
  EXPECT_EQ(env("KVPAL_T_W"), std::nullopt);
  EXPECT_TRUE(e.removeValue(L"KVPAL_T_W")) << "removing an unset variable";

  setenv("KVPAL_T_A", "keep", 1);
  EXPECT_FALSE(e.setString(nullptr, L"v", false));
  EXPECT_FALSE(e.setString(L"", L"v", false));
  EXPECT_FALSE(e.setString(L"KVPAL_T_A=x", L"v", false));
  EXPECT_FALSE(e.setUInt32(L"KVPAL_T_A", 1));
  EXPECT_FALSE(e.setDouble(L"KVPAL_T_A", 1.0));
  EXPECT_FALSE(e.remove());
  EXPECT_EQ(env("KVPAL_T_A"), "keep");
}

TEST(ExpandEnvVars, WholeResultAndExactNames) {
  setenv("KVPAL_T_LONG", std::string(140, 'y').c_str(), 1);
  const std::wstring expanded = Settings::expandEnvVars(L"<%KVPAL_T_LONG%>12345678");
  EXPECT_EQ(expanded.size(), 150u);
  EXPECT_EQ(expanded, L"<" + std::wstring(140, L'y') + L">12345678");
  EXPECT_EQ(Settings::expandEnvVars(L"%kvpal_t_long%"), L"%kvpal_t_long%");
  EXPECT_EQ(Settings::expandEnvVars(nullptr), L"");
}

class AppendEnvironmentPathTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = env("PATH"); }
  void TearDown() override {
    if (saved_)
      setenv("PATH", saved_->c_str(), 1);
    else
      unsetenv("PATH");
  }
  std::optional<std::string> saved_;
};

TEST_F(AppendEnvironmentPathTest, PutsTheFolderInFront) {
  struct Case {
    std::optional<std::string> path;
    const wchar_t* folder;
    BOOL result;
    std::optional<std::string> after;
  } cases[] = {
      {"B", L"/opt/a", TRUE, "/opt/a:B"},
      {"/usr/bin:/bin", L"/opt/\u00e4", TRUE, "/opt/\xC3\xA4:/usr/bin:/bin"},
      {std::nullopt, L"/opt/a", FALSE, std::nullopt},
      // No empty entry: Linux would search the current folder for it.
      {"", L"/opt/a", TRUE, "/opt/a"},
      {"B", nullptr, TRUE, "B"},
      {"B", L"", TRUE, "B"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.value_or("<unset>"));
    if (c.path)
      setenv("PATH", c.path->c_str(), 1);
    else
      unsetenv("PATH");
    EXPECT_EQ(AppendEnvironmentPath(c.folder), c.result);
    EXPECT_EQ(env("PATH"), c.after);
  }
}

}  // namespace
