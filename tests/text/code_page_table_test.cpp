// Every mapping of every published Windows code page table, both ways and
// best fit included, against the library's conversions.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
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
  unsigned defaultWide = '?';
  // Listed codes the code page leaves undefined: the best-fit files give an
  // undefined single byte a private-use character and an unassigned pair
  // the default character (the private-use pairs are user-defined
  // characters, which are valid).
  std::set<unsigned> undefined;
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

unsigned num(const std::string& s) {
  return static_cast<unsigned>(std::stoul(s, nullptr, 0));
}

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
    } else if (f[0] == "CPINFO") {
      t.defaultWide = num(f[3]);
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
  for (auto [code, c] : t.toWide) {
    bool privateUse = code < 0x100 && !t.lead[code] && c >= 0xE000 && c <= 0xF8FF;
    auto own = t.toBytes.find(c);
    bool unassignedPair =
        code > 0xFF && c == t.defaultWide && (own == t.toBytes.end() || own->second != code);
    if (privateUse || unassignedPair) t.undefined.insert(code);
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
  // The lenient reading gives every listed mapping, undefined codes too; the
  // strict one accepts the defined ones.
  std::string bytes, definedBytes;
  std::wstring chars, definedChars, text;
  for (auto [code, c] : t.toWide) {
    if (code == 0) continue;
    bytes += bytesOf(code), chars += wchar_t(c);
    if (!t.undefined.count(code)) definedBytes += bytesOf(code), definedChars += wchar_t(c);
  }
  EXPECT_EQ(multibyteToWide(cp, bytes, text, 0), ToWideCharOk);
  EXPECT_TRUE(text == chars) << "differs at character " << firstDifference(text, chars);
  EXPECT_EQ(multibyteToWide(cp, definedBytes, text, 1), ToWideCharOk);
  EXPECT_TRUE(text == definedChars) << "differs at character " << firstDifference(text, definedChars);

  // Each undefined code fails the strict reading, alone and amid text.
  for (unsigned code : t.undefined) {
    for (const std::string& in : {bytesOf(code), "A" + bytesOf(code) + "B"}) {
      text = L"x";
      EXPECT_EQ(multibyteToWide(cp, in, text, 1), ToWideCharFailed)
          << "undefined code 0x" << std::hex << code;
      EXPECT_TRUE(text.empty());
    }
  }

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

// Sequences Windows refuses under the strict flag although the best-fit
// files map them; the reader above must find each of them undefined.
TEST(PublishedCodePageTables, KnownUndefinedCodesAreFoundAndRefused) {
  KVPAL_REQUIRE_REFERENCE_DATA(fs::is_directory(kDataDir));
  const std::map<unsigned, std::vector<unsigned>> known = {
      {874, {0xDB, 0xDC, 0xDD, 0xDE, 0xFC, 0xFD, 0xFE, 0xFF}},
      {932, {0xA0, 0xFD, 0xFE, 0xFF, 0x8540, 0x8640, 0xEB40, 0xEC40, 0xEF40}},
      {936, {0xFF}},
      {949, {0xFF}},
      {950, {0xFF}},
      {1253, {0xAA}},
      {1255, {0xD9, 0xDA, 0xDB, 0xDC, 0xDD, 0xDE, 0xDF, 0xFB, 0xFC, 0xFF}},
      {1257, {0xA5}},
      {1361, {0xD4, 0xD5, 0xD6, 0xD7, 0xDF, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF}},
  };
  std::map<unsigned, PublishedTable> tables;
  for (auto& t : publishedTables()) tables[t.codePage] = t;
  for (const auto& [codePage, codes] : known) {
    const PublishedTable& t = tables[codePage];
    for (unsigned code : codes) {
      SCOPED_TRACE(testing::Message() << "code page " << codePage << ", code 0x" << std::hex << code);
      EXPECT_TRUE(t.undefined.count(code));
      std::wstring text;
      EXPECT_EQ(multibyteToWide(code_page_id_ex(codePage), bytesOf(code), text, 1), ToWideCharFailed);
      EXPECT_EQ(multibyteToWide(code_page_id_ex(codePage), bytesOf(code), text, 0), ToWideCharOk);
      EXPECT_EQ(text, std::wstring(1, wchar_t(t.toWide.at(code))));
    }
  }
}
