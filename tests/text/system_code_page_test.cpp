// The system's ANSI code page from POSIX locale names.
#include "text/system_code_page.h"

#include <gtest/gtest.h>

using Halvex::Tessaran::PAL::detail::ansiCodePageForLocaleName;

TEST(SystemCodePage, FromLocaleName) {
  struct Case {
    const char* name;
    unsigned codePage;
  } cases[] = {
      {"ja_JP.UTF-8", 932},   {"ja_JP", 932},       {"ja", 932},           {"zh_CN.UTF-8", 936},
      {"zh_SG", 936},         {"zh_TW.UTF-8", 950}, {"zh_HK", 950},        {"ko_KR.eucKR", 949},
      {"th_TH", 874},         {"vi_VN", 1258},      {"pl_PL.UTF-8", 1250}, {"cs_CZ", 1250},
      {"ru_RU.KOI8-R", 1251}, {"uk_UA@euro", 1251}, {"el_GR", 1253},       {"tr_TR", 1254},
      {"he_IL", 1255},        {"ar_EG", 1256},      {"fa_IR", 1256},       {"lt_LT", 1257},
      {"de_DE.UTF-8", 1252},  {"en_US", 1252},      {"C", 1252},           {"POSIX", 1252},
      {"C.UTF-8", 1252},      {"", 1252},           {nullptr, 1252},       {"klingon", 1252},
      {"jav_ID", 1252},  // a longer language code is not Japanese
      {"hi_IN", 1252},   // Unicode-only on Windows
  };
  for (const auto& c : cases)
    EXPECT_EQ(ansiCodePageForLocaleName(c.name), c.codePage) << (c.name ? c.name : "null");
}
