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

void checkTable(const PublishedTable& t) {
  SCOPED_TRACE(testing::Message() << "code page " << t.codePage);
  code_page_id_ex cp(t.codePage);
  ASSERT_TRUE(cp.isValid());
  std::wstring text;
  std::string bytes;
  int failures = 0;
  auto fail = [&](const char* what, unsigned key) {
    ADD_FAILURE() << what << " 0x" << std::hex << key;
    return ++failures < 10;
  };

  // Bytes to Unicode; code 0 is the terminator and cannot be passed.
  for (auto [code, c] : t.toWide) {
    if (code == 0) continue;
    if (multibyteToWide(cp, bytesOf(code), text, 1) != ToWideCharOk || text != std::wstring(1, wchar_t(c)))
      if (!fail("bytes", code)) return;
  }
  // Byte sequences absent from the table are invalid (lead bytes need a
  // trail that the table lists).
  for (unsigned b = 1; b < 256; ++b) {
    std::vector<unsigned> codes;
    if (t.lead[b])
      for (unsigned trail = 1; trail < 256; ++trail) codes.push_back(b << 8 | trail);
    else
      codes.push_back(b);
    for (unsigned code : codes)
      if (!t.toWide.count(code) && multibyteToWide(cp, bytesOf(code), text, 1) != ToWideCharFailed)
        if (!fail("unlisted bytes accepted", code)) return;
  }

  // Unicode to bytes over the whole BMP: listed characters give their
  // bytes without a default character (best fit too); the rest give '?'.
  for (unsigned c = 1; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    const std::wstring in(1, wchar_t(c));
    auto it = t.toBytes.find(c);
    ToMultiByteStat stat = wideToMultibyte(cp, in, bytes, ToMultibyteDefault);
    bool ok = it == t.toBytes.end() ? stat == ToMultiByteLossy && bytes == "?"
                                    : stat == ToMultiByteOk && bytes == bytesOf(it->second);
    if (!ok && !fail("character", c)) return;

    // Without best fit only mappings that decode back to the character stay.
    auto back = it == t.toBytes.end() ? t.toWide.end() : t.toWide.find(it->second);
    bool exact = back != t.toWide.end() && back->second == c;
    stat = wideToMultibyte(cp, in, bytes, ToMultibyteNoBestFit);
    ok = exact ? stat == ToMultiByteOk && bytes == bytesOf(it->second) : stat == ToMultiByteLossy && bytes == "?";
    if (!ok && !fail("character without best fit", c)) return;
  }
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
  if (!fs::is_directory(kDataDir))
    GTEST_SKIP() << "published code page tables not found at " << kDataDir << "; nothing to compare with";
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
