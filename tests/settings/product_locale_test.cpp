// The product locale and the roots at load, each case in a fresh child of a
// process that never touched them (its system locale is de_DE).
#include <gtest/gtest.h>

#include "hive_fixture.h"
#include "pal/settings_roots.h"
#include "settings/roots_state.h"

using namespace Halvex::Tessaran::PAL;
using Settings::Roots;

namespace {

class ProductLocaleTest : public HiveFixture {};

std::wstring names(const KvLocale& l) {
  return std::wstring(l.iso2LangName()) + L"/" + l.iso2CountryName();
}

TEST_F(ProductLocaleTest, FollowsTheLanguageOfTheFirstInitializer) {
  struct Case {
    const wchar_t* language;
    const wchar_t* country;
    int lcid;
    const wchar_t* names;
  } cases[] = {
      {L"es", L"ES", 1034, L"es/ES"},  // not the 3082 of the name
      {L"ES", L"es", 1034, L"es/ES"},
      {L"es", L"MX", 2058, L"es/MX"},
      {L"fr", L"FR", 1036, L"fr/FR"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.lcid);
    EXPECT_EQ(runInChild([&] {
                Roots::initializeFromRoots(L"R", L"G:409", KvLocale(c.language, c.country));
                const KvLocale& product = Locale::getProductLocale();
                if (KvLocaleService::getWinLCIDFromLocaleClass(product) != c.lcid) return 1;
                if (names(product) != c.names) return 2;
                // Fixed at the first call, whatever the language becomes.
                Halvex::Tessaran::PAL::detail::rootsState().currentLanguageName = L"it-IT";
                if (KvLocaleService::getWinLCIDFromLocaleClass(Locale::getProductLocale()) != c.lcid)
                  return 3;
                return 0;
              }),
              0);
  }
}

TEST_F(ProductLocaleTest, FirstCallBeforeAnyInitializerFixesTheSystemLocale) {
  EXPECT_EQ(
      runInChild([] {
        if (*Roots::currentLanguageName() || *Roots::roamingRootName() || *Roots::productGlobalRootName())
          return 1;
        if (std::wstring(Roots::currentProfileName()) != L"Current") return 2;
        if (!Halvex::Tessaran::PAL::detail::rootsState().rootList.empty()) return 3;
        if (names(Locale::getProductLocale()) != L"de/DE") return 4;
        Roots::initializeFromRoots(L"R", L"G", KvLocale(L"es", L"ES"));
        if (std::wstring(Roots::currentLanguageName()) != L"es-ES") return 5;
        if (names(Locale::getProductLocale()) != L"de/DE") return 6;
        return 0;
      }),
      0);
}

}  // namespace
