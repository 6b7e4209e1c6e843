// Code page 0 converts with the code page of the locale environment. The
// code page is fixed at first use, so each case runs in a fresh process (this
// program again, running only the disabled child test).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "pal/unicode_convert.h"
#include "support/child_process.h"
#include "support/environment.h"

using namespace Halvex::Tessaran::PAL::UnicodeConvert;

namespace {

// Whether code page 0 and id 1 (whose table entry is 0) convert U+4E2D as
// `expected` does; U+4E2D has different bytes in each code page used here
// and none in 1252.
bool convertsLike(unsigned expected) {
  std::string want, got;
  std::wstring back;
  ToMultiByteStat stat = wideToMultibyte(code_page_id_ex(expected), L"\u4e2d", want, ToMultibyteDefault);
  for (code_page_id_ex zero : {code_page_id_ex(0u), code_page_id_ex(static_cast<code_page_id>(1))}) {
    if (wideToMultibyte(zero, L"\u4e2d", got, ToMultibyteDefault) != stat || got != want) return false;
    if (multibyteToWide(zero, want, back, 1) != ToWideCharOk) return false;
    if (back != (stat == ToMultiByteOk ? L"\u4e2d" : L"?")) return false;
  }
  return true;
}

}  // namespace

TEST(SystemCodePageEnvironment, DISABLED_Child) {
  const char* expected = std::getenv("KVPAL_EXPECTED_ANSI_CODE_PAGE");
  if (expected == nullptr) GTEST_SKIP() << "runs only as the child of CodePageZeroFollowsTheLocaleVariables";
  EXPECT_TRUE(convertsLike(static_cast<unsigned>(std::stoul(expected))));
}

TEST(SystemCodePageEnvironment, CodePageZeroFollowsTheLocaleVariables) {
  struct Case {
    const char* lcAll;  // null: unset
    const char* lcCtype;
    const char* lang;
    unsigned codePage;
  } cases[] = {
      {"ja_JP.UTF-8", "ko_KR.UTF-8", "zh_CN.UTF-8", 932},
      {nullptr, "ko_KR.UTF-8", "zh_CN.UTF-8", 949},
      {"", "", "zh_TW.UTF-8", 950},  // empty counts as unset
      {nullptr, nullptr, "zh_CN.GB18030", 936},
      {nullptr, nullptr, "C", 1252},
      {nullptr, nullptr, nullptr, 1252},
      {"POSIX", nullptr, "ja_JP.UTF-8", 1252},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.lcAll ? c.lcAll : "-") << " " << (c.lcCtype ? c.lcCtype : "-")
                                    << " " << (c.lang ? c.lang : "-"));
    const kvpal::test::ChildOutcome child = kvpal::test::runInChild([&] {
      const std::pair<const char*, const char*> vars[] = {
          {"LC_ALL", c.lcAll}, {"LC_CTYPE", c.lcCtype}, {"LANG", c.lang}};
      for (auto [name, value] : vars) kvpal::test::setVariable(name, value);
      setenv("KVPAL_EXPECTED_ANSI_CODE_PAGE", std::to_string(c.codePage).c_str(), 1);
      execl("/proc/self/exe", "text_test", "--gtest_filter=SystemCodePageEnvironment.DISABLED_Child",
            "--gtest_also_run_disabled_tests", static_cast<char*>(nullptr));
      return 127;
    });
    EXPECT_EQ(child.exitCode, 0) << child.output;
  }
}
