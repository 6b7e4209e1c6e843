// The initialisation-file reader: matching, trimming, quotes, the buffer
// cut and the file encodings.
#include "settings/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "hive_fixture.h"
#include "support/child_process.h"

using namespace Halvex::Tessaran::PAL::detail;

namespace {

TEST(IniFile, ReadsWithTheProfileStringRules) {
  struct Case {
    const char* name;
    std::string file;
    std::wstring expected;
  };
  const Case cases[] = {
      {"plain", "[S]\nK=v\n", L"v"},
      {"names ignore case", "[s]\nk=v\n", L"v"},
      {"non-ASCII names ignore case", "[\xC3\xA9t\xC3\xA9]\n\xC3\xA9=v\n", L"v"},  // [été] é= asked as ÉTÉ/É
      {"blanks trimmed", "  [ S ]  \n\t K \t=  v w \t\r\n", L"v w"},
      {"CRLF and CR lines", "[S]\r\nA=1\rK=v\r\n", L"v"},
      {"first key wins", "[S]\nK=first\nK=second\n", L"first"},
      {"only the first section is searched", "[S]\nA=1\n[T]\nK=t\n[S]\nK=late\n", L""},
      {"key in another section", "[T]\nK=t\n", L""},
      {"key before any section", "K=v\n[S]\n", L""},
      {"comment line", "[S]\n;K=c\n  ;K=d\nK=v\n", L"v"},
      {"inline semicolon is data", "[S]\nK=v ; note\n", L"v ; note"},
      {"double quotes removed", "[S]\nK=\" v \"\n", L" v "},
      {"single quotes removed", "[S]\nK='v'\n", L"v"},
      {"one pair only", "[S]\nK=\"\"v\"\"\n", L"\"v\""},
      {"unmatched quotes kept", "[S]\nK=\"v'\n", L"\"v'"},
      {"lone quote kept", "[S]\nK=\"\n", L"\""},
      {"empty value", "[S]\nK=\n", L""},
      {"line without = holds no value", "[S]\nK\nK=v\n", L"v"},
      {"value holds =", "[S]\nK=a=b\n", L"a=b"},
      {"unterminated header is no section", "[S]\n[T\nK=v\n", L"v"},
      {"text after ] ignored", "[S] x\nK=v\n", L"v"},
      {"UTF-8 byte-order mark", "\xEF\xBB\xBF[S]\nK=v\n", L"v"},
      {"UTF-8 value",
       "[S]\nK=Gr\xC3\xBC\xC3\x9F"
       "e\n",
       L"Gr\u00FC\u00DFe"},
      {"bad UTF-8 reads as U+FFFD",
       "[S]\nK=a\xFF"
       "b\n",
       L"a\uFFFDb"},
      {"NUL ends the value", std::string("[S]\nK=ab\0cd\n", 12), L"ab"},
      {"no file content", "", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::wstring section = std::string(c.name).starts_with("non-ASCII") ? L"\u00C9T\u00C9" : L"S";
    const std::wstring key = std::string(c.name).starts_with("non-ASCII") ? L"\u00C9" : L"K";
    EXPECT_EQ(profileStringFromBytes(c.file, section, key, 260), c.expected);
  }
}

TEST(IniFile, CutsTheValueToTheBuffer) {
  const std::string long300(300, 'x');
  EXPECT_EQ(profileStringFromBytes("[S]\nK=" + long300 + "\n", L"S", L"K", 260), std::wstring(259, L'x'));
  // Quotes go before the cut, so a quoted value keeps 259 characters.
  EXPECT_EQ(profileStringFromBytes("[S]\nK=\"" + long300 + "\"\n", L"S", L"K", 260), std::wstring(259, L'x'));
  // A character outside the BMP takes two units and is never split.
  const std::string emoji = "\xF0\x9F\x98\x80";
  EXPECT_EQ(profileStringFromBytes("[S]\nK=ab" + emoji + "\n", L"S", L"K", 4), L"ab");
  EXPECT_EQ(profileStringFromBytes("[S]\nK=ab" + emoji + "\n", L"S", L"K", 5), L"ab\U0001F600");
  EXPECT_EQ(profileStringFromBytes("[S]\nK=v\n", L"S", L"K", 1), L"");
}

class IniFileOnDisk : public HiveFixture {};

TEST_F(IniFileOnDisk, ReadsUtf16FilesWithByteOrderMarkAndMissingFilesAsEmpty) {
  auto utf16 = [](const std::u16string& text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t u : text) {
      const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
      bytes += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return bytes;
  };
  const std::u16string text = u"[ProductIdentity]\r\nProductVersionKey=SOFTWARE\\H\u00E4lvex\r\n";
  for (bool bigEndian : {false, true}) {
    const std::string path = dir_ + (bigEndian ? "/be.ini" : "/le.ini");
    writeFile(path, utf16(text, bigEndian));
    EXPECT_EQ(readProfileString(std::wstring(path.begin(), path.end()), L"productidentity",
                                L"PRODUCTVERSIONKEY", 260),
              L"SOFTWARE\\H\u00E4lvex");
  }
  const std::string missing = dir_ + "/missing.ini";
  EXPECT_EQ(readProfileString(std::wstring(missing.begin(), missing.end()), L"S", L"K", 260), L"");
  EXPECT_EQ(readProfileString(std::wstring(dir_.begin(), dir_.end()), L"S", L"K", 260), L"");
}

// An identity file replaced by a FIFO reads as empty at once; the child's
// time limit turns a hang into a failure.
TEST_F(IniFileOnDisk, PipeReadsAsEmptyWithoutWaiting) {
  const std::string pipe = dir_ + "/identityver.ini";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const auto outcome = kvpal::test::runInChild([&] {
    return readProfileString(std::wstring(pipe.begin(), pipe.end()), L"S", L"K", 260).empty() ? 0 : 1;
  });
  EXPECT_EQ(outcome.signal, 0) << "the reader waited on the FIFO";
  EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
}

}  // namespace
