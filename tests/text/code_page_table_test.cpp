// Every mapping of every published Windows code page table, both ways and
// best fit included, against the library's conversions.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "pal/unicode_convert.h"
#include "support/reference_data.h"

using namespace Halvex::Tessaran::PAL::UnicodeConvert;
namespace fs = std::filesystem;

namespace {

const fs::path kDataDir = fs::path(KVPAL_SHARED_DATA_DIR) / "windows-codepages";

struct PublishedTable {
  unsigned codePage = 0;
  std::map<unsigned, unsigned> toWide;   // byte code (lead << 8 | trail) -> UTF-16
  std::map<unsigned, unsigned> toBytes;  // UTF-16 -> byte code
  std::vector<bool> lead = std::vector<bool>(256);
};

std::vector<std::vector<std::string>> records(const fs::path& path, char comment) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::vector<std::string>> out;
  std::string line;
  // Comments carry raw bytes of the code page; only '\n' ends a line.
  while (std::getline(in, line)) {
    std::istringstream fields(line.substr(0, line.find(comment)));
    std::vector<std::string> f;
    for (std::string w; fields >> w;) f.push_back(w);
    if (!f.empty()) out.push_back(f);
  }
  return out;
}

unsigned num(const std::string& s) { return static_cast<unsigned>(std::stoul(s, nullptr, 0)); }

PublishedTable readBestFit(const fs::path& path) {
  PublishedTable t;
  auto recs = records(path, ';');
  for (size_t i = 0; i < recs.size();) {
    const auto& f = recs[i++];
    auto take = [&](size_t n, std::map<unsigned, unsigned>& into, unsigned keyBase) {
      for (size_t k = 0; k < n; ++k, ++i) into[keyBase | num(recs[i][0])] = num(recs[i][1]);
    };
    if (f[0] == "CODEPAGE") {
      t.codePage = num(f[1]);
    } else if (f[0] == "MBTABLE") {
      take(num(f[1]), t.toWide, 0);
    } else if (f[0] == "WCTABLE") {
      take(num(f[1]), t.toBytes, 0);
    } else if (f[0] == "DBCSRANGE") {
      for (unsigned r = num(f[1]); r > 0; --r) {
        unsigned first = num(recs[i][0]), last = num(recs[i][1]);
        ++i;
        for (unsigned lead = first; lead <= last; ++lead) {
          t.lead[lead] = true;
          EXPECT_EQ(recs[i][0], "DBCSTABLE") << path;
          size_t n = num(recs[i++][1]);
          take(n, t.toWide, lead << 8);
        }
      }
    } else if (f[0] == "ENDCODEPAGE") {
      break;
    }
  }
  return t;
}

PublishedTable readOem(const fs::path& path) {
  PublishedTable t;
  t.codePage = num(path.stem().string().substr(2));
  for (const auto& f : records(path, '#'))
    if (f.size() == 2) t.toWide[num(f[0])] = num(f[1]);
  for (auto [code, c] : t.toWide) t.toBytes.emplace(c, code);  // lowest code wins
  return t;
}

std::string bytesOf(unsigned code) {
  if (code > 0xFF) return {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
  return std::string(1, static_cast<char>(code));
}

// Index of the first difference, for the failure message.
template <typename S>
size_t firstDifference(const S& a, const S& b) {
  size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  return i;
}

// Characters are converted in batches (one call per kind of expectation) to
// keep the run short; a batch's status still tells whether any of its
// characters used the default character.
void expectBytes(code_page_id_ex cp, const std::wstring& in, ToMultibyteFlag flag, ToMultiByteStat stat,
                 const std::string& bytes, const char* what) {
  std::string out;
  EXPECT_EQ(wideToMultibyte(cp, in, out, flag), stat) << what;
  size_t at = firstDifference(out, bytes);
  EXPECT_TRUE(out == bytes) << what << ": differs at byte " << at << " of " << bytes.size();
}

void checkTable(const PublishedTable& t) {
  SCOPED_TRACE(testing::Message() << "code page " << t.codePage);
  code_page_id_ex cp(t.codePage);
  ASSERT_TRUE(cp.isValid());

  // Bytes to Unicode, all listed sequences in one text (code 0 would end
  // it); single bytes are never lead bytes, so the text splits unambiguously.
  std::string bytes;
  std::wstring chars, text;
  for (auto [code, c] : t.toWide)
    if (code != 0) bytes += bytesOf(code), chars += wchar_t(c);
  EXPECT_EQ(multibyteToWide(cp, bytes, text, 1), ToWideCharOk);
  EXPECT_TRUE(text == chars) << "differs at character " << firstDifference(text, chars);

  // Byte sequences absent from the table are invalid (lead bytes need a
  // trail that the table lists).
  std::vector<unsigned> codes;
  for (unsigned b = 1; b < 256; ++b) {
    if (!t.lead[b]) codes.push_back(b);
    for (unsigned trail = 1; t.lead[b] && trail < 256; ++trail) codes.push_back(b << 8 | trail);
  }
  int unlistedAccepted = 0;
  for (unsigned code : codes)
    if (!t.toWide.count(code) && multibyteToWide(cp, bytesOf(code), text, 1) != ToWideCharFailed &&
        ++unlistedAccepted < 10)
      ADD_FAILURE() << "unlisted bytes accepted: 0x" << std::hex << code;

  // Unicode to bytes over the whole BMP: listed characters give their bytes
  // without a default character (best fit too), the rest give '?'. Without
  // best fit only mappings that decode back to the character stay.
  std::wstring listed, unlisted, exact, inexact;
  std::string listedBytes, exactBytes;
  for (unsigned c = 1; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    auto it = t.toBytes.find(c);
    if (it == t.toBytes.end()) {
      unlisted += wchar_t(c);
      inexact += wchar_t(c);
      continue;
    }
    listed += wchar_t(c);
    listedBytes += bytesOf(it->second);
    auto back = t.toWide.find(it->second);
    if (back != t.toWide.end() && back->second == c) {
      exact += wchar_t(c);
      exactBytes += bytesOf(it->second);
    } else {
      inexact += wchar_t(c);
    }
  }
  expectBytes(cp, listed, ToMultibyteDefault, ToMultiByteOk, listedBytes, "listed characters");
  expectBytes(cp, unlisted, ToMultibyteDefault, ToMultiByteLossy, std::string(unlisted.size(), '?'),
              "unlisted characters");
  expectBytes(cp, exact, ToMultibyteNoBestFit, ToMultiByteOk, exactBytes, "exact mappings without best fit");
  expectBytes(cp, inexact, ToMultibyteNoBestFit, ToMultiByteLossy, std::string(inexact.size(), '?'),
              "best-fit and unlisted characters without best fit");
}

std::vector<PublishedTable> publishedTables() {
  std::vector<PublishedTable> tables;
  for (const auto& e : fs::directory_iterator(kDataDir / "bestfit"))
    if (e.path().filename().string().rfind("bestfit", 0) == 0) tables.push_back(readBestFit(e.path()));
  for (const auto& e : fs::directory_iterator(kDataDir / "oem")) tables.push_back(readOem(e.path()));
  return tables;
}

}  // namespace

TEST(PublishedCodePageTables, EveryMappingMatches) {
  KVPAL_REQUIRE_REFERENCE_DATA(fs::is_directory(kDataDir));
  std::vector<PublishedTable> tables = publishedTables();
  // 15 ANSI tables with best fit and 12 OEM tables.
  ASSERT_EQ(tables.size(), 27u);
  for (const auto& t : tables) {
    // A reader that lost its records would make the comparison vacuous.
    ASSERT_GE(t.toWide.size(), 128u) << t.codePage;
    ASSERT_GE(t.toBytes.size(), 128u) << t.codePage;
    checkTable(t);
  }
}
