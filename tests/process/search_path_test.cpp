// Dropping entries from a ':'-separated search path.
#include "process/search_path.h"

#include <gtest/gtest.h>

namespace {

using Halvex::Tessaran::PAL::detail::withoutEntries;

struct Case {
  const wchar_t* value;
  const wchar_t* expected;
};

TEST(SearchPath, DropsMarkedEntriesAndTheirSeparators) {
  const Case cases[] = {
      {L"/a:/gfx:/b", L"/a:/b"},
      {L"/gfx:/a", L"/a"},
      {L"/a:/gfx", L"/a"},
      {L"/gfx", L""},
      {L"/a::/gfx::/b", L"/a::/b"},
      {L":/a:/gfx:", L":/a"},
      {L"/a:/gfx:/gfx:/b", L"/a:/b"},
      {L"/a:/gfx:/gfx", L"/a"},
      {L"/gfx:/gfx", L""},
      {L"/a:\"/gfx\":/b", L"/a:/b"},
      {L"/a:/g\"f\"x:/b", L"/a:/b"},
      {L"/a:\"/g:x\":/b", L"/a:/b"},
      {L"/a:\"/gfx:/b", L"/a:\"/gfx:/b"},  // the quote runs to the end: one entry
      {L"\"\":/gfx", L"\"\""},
      {L"/a:/b", L"/a:/b"},
      {L"/gfx/:/gfxx", L"/gfx/:/gfxx"},
      {L"", L""},
      {L":::", L":::"},
  };
  auto drop = [](const std::wstring& entry) { return entry == L"/gfx" || entry == L"/g:x"; };
  for (const Case& c : cases) EXPECT_EQ(withoutEntries(c.value, drop), c.expected) << c.value;
}

TEST(SearchPath, SeesEachEntryUnquoted) {
  std::vector<std::wstring> seen;
  withoutEntries(L"::/a:\"/b:c\"::d\"\":\"\"", [&](const std::wstring& e) {
    seen.push_back(e);
    return false;
  });
  EXPECT_EQ(seen, (std::vector<std::wstring>{L"/a", L"/b:c", L"d"}));
}

}  // namespace
