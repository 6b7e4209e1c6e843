// Name comparisons stay case-insensitive after the process switches LC_CTYPE
// to a Turkish locale, where towupper maps 'i' to U+0130 (the .reg root names
// are checked beside the .reg parser's tests).
#include "base/case_fold.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cwctype>
#include <string>

#include "base/utf8.h"
#include "pal/locale.h"

namespace {

using namespace Halvex::Tessaran::PAL;
using namespace Halvex::Tessaran::PAL::detail;

// The switch goes through the library itself, as a host's would.
class TurkishCharacterType : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = std::setlocale(LC_ALL, nullptr);
    Locale::setCharAndNumericFormat(KvLocale(L"tr", L"TR"));
    ASSERT_STREQ(std::setlocale(LC_CTYPE, nullptr), "tr_TR.UTF-8") << "package locales-all provides it";
    // Without this mapping the cases below could not show the fault.
    ASSERT_EQ(std::towupper(L'i'), 0x130u);
  }
  void TearDown() override { std::setlocale(LC_ALL, saved_.c_str()); }

  std::string saved_;
};

TEST_F(TurkishCharacterType, FoldMatchesAsciiAndAccentedLetters) {
  struct Case {
    const wchar_t* a;
    const wchar_t* b;
    bool equal;
  } cases[] = {
      {L"hkey_local_machine", L"HKEY_LOCAL_MACHINE", true},
      {L"i", L"I", true},
      {L"\u00e9t\u00e9", L"\u00c9T\u00c9", true},
      {L"\u00e7", L"\u00c7", true},
      {L"i", L"j", false},
      {L"ab", L"a", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(equalsIgnoringCase(c.a, c.b), c.equal) << wideToUtf8(c.a) << " / " << wideToUtf8(c.b);
}

TEST_F(TurkishCharacterType, LowerCaseMapsDotlessNeither) {
  EXPECT_EQ(lowerCase(L'I'), L'i');
  EXPECT_EQ(lowerCase(L'\u00c9'), L'\u00e9');
  EXPECT_EQ(lowerCase(L'\u0130'), L'i');
  EXPECT_EQ(foldCase(L'i'), L'I');
}

TEST_F(TurkishCharacterType, LocaleNamesStillMatch) {
  EXPECT_TRUE(KvLocale(L"it", L"IT") == KvLocale(L"IT", L"it"));
  EXPECT_TRUE(KvLocale(L"fi", L"FI") == KvLocaleService::createLocaleFromWinLCID(0x040B));
}

}  // namespace
