// %NAME% expansion from the process environment.
#include "settings/env_expand.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace Halvex::Tessaran::PAL::detail;

TEST(EnvExpand, ReferencesAndWhatStaysAsWritten) {
  setenv("KVPAL_X", "ex", 1);
  setenv("KVPAL_EMPTY", "", 1);
  setenv("KVPAL_U", "\xC3\xA9\xF0\x9F\x98\x80", 1);
  unsetenv("KVPAL_UNSET");
  setenv("KVPAL_EQ", "B=C", 1);
  struct Case {
    const wchar_t* in;
    const wchar_t* out;
  } cases[] = {
      {L"", L""},
      {L"plain", L"plain"},
      {L"%KVPAL_X%", L"ex"},
      {L"a%KVPAL_X%b%KVPAL_X%c", L"aexbexc"},
      {L"[%KVPAL_EMPTY%]", L"[]"},
      {L"%KVPAL_U%", L"\u00e9\U0001F600"},
      {L"%KVPAL_UNSET%", L"%KVPAL_UNSET%"},
      // The closing % of an unknown name can open the next reference.
      {L"%KVPAL_UNSET%KVPAL_X%", L"%KVPAL_UNSETex"},
      {L"%%", L"%%"},
      {L"100%", L"100%"},
      {L"%KVPAL_X", L"%KVPAL_X"},
      {L"%%KVPAL_X%", L"%ex"},
      // A name holding '=' names no variable, although the C library's
      // lookup would match KVPAL_EQ=B against the variable KVPAL_EQ.
      {L"%KVPAL_EQ=B%", L"%KVPAL_EQ=B%"},
      {L"%KVPAL_EQ%", L"B=C"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(expandEnvironmentReferences(c.in), c.out) << "input size " << wcslen(c.in);
  std::wstring longText = std::wstring(140, L'x') + L"%KVPAL_X%";
  EXPECT_EQ(expandEnvironmentReferences(longText), std::wstring(140, L'x') + L"ex");
}
