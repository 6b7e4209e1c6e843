// The font-file reader: name lookups by language and encoding, collections,
// OS/2, the file kinds skipped, and damaged files of every length.
#include "fonts/sfnt_names.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "sfnt_builder.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

using namespace Halvex::Tessaran::PAL::detail;
using namespace fonttest;

namespace {

constexpr std::uint16_t kEn = 0x0409, kJa = 0x0411, kDe = 0x0407;

std::optional<std::wstring> name(const Bytes& file, std::uint32_t face, std::uint16_t language) {
  return familyName(MemoryFontBytes(file), face, language);
}

TEST(SfntNames, FamilyNameByLanguageEncodingAndNameId) {
  const Bytes file = face({{"name", nameTable({
                                        {1, 0, 0, 1, {'M', 'a', 'c'}},       // not platform 3
                                        {3, 1, kEn, 4, utf16be(L"Full")},    // not the family
                                        {3, 10, kDe, 1, utf16be(L"Wrong")},  // encoding 10
                                        family(kEn, L"English"),
                                        family(kEn, L"Second"),  // first match wins
                                        family(kJa, L"\u65E5\u672C"),
                                        family(0x0804, L"\U00020000x"),    // surrogate pair
                                        {3, 4, kDe, 1, {'G', 0xE9, 'n'}},  // bytes of cp 1252
                                        {3, 1, 0x0412, 1, {}},             // empty but present
                                    })}});
  const struct {
    std::uint16_t language;
    std::optional<std::wstring> expected;
  } cases[] = {
      {kEn, L"English"},  {kJa, L"\u65E5\u672C"}, {0x0804, L"\U00020000x"},
      {kDe, L"G\u00E9n"}, {0x0412, L""},          {0x040C, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(name(file, 0, c.language), c.expected) << std::hex << c.language;
}

TEST(SfntNames, CollectionFacesAreNumberedFromOne) {
  const Bytes file = collection({{{"name", nameTable({family(kEn, L"A"), family(kJa, L"\u30A2")})}},
                                 {{"name", nameTable({family(kEn, L"B")})}}});
  MemoryFontBytes bytes(file);
  const std::optional<FontFileFaces> faces = fontFileFaces(bytes);
  ASSERT_TRUE(faces);
  EXPECT_TRUE(faces->collection);
  EXPECT_EQ(faces->count, 2u);
  EXPECT_EQ(name(file, 1, kEn), L"A");
  EXPECT_EQ(name(file, 2, kEn), L"B");
  EXPECT_EQ(name(file, 2, kJa), std::nullopt);
  EXPECT_EQ(name(file, 3, kEn), std::nullopt);  // its offset entry is the first face's bytes
  EXPECT_EQ(name(file, 0, kEn), std::nullopt);  // the collection header has no tables

  const Bytes plain = face({{"name", nameTable({family(kEn, L"P")})}});
  const std::optional<FontFileFaces> single = fontFileFaces(MemoryFontBytes(plain));
  ASSERT_TRUE(single);
  EXPECT_FALSE(single->collection);
  EXPECT_EQ(single->count, 0u);
  EXPECT_FALSE(fontFileFaces(MemoryFontBytes(Bytes{'t', 't', 'c'})));
}

TEST(SfntNames, ForgedFaceCountIsCutToTheOffsetsTheFileHolds) {
  Bytes file = collection({{{"name", nameTable({family(kEn, L"A")})}}});
  set32(file, 8, 0xFFFFFFFF);
  const std::optional<FontFileFaces> faces = fontFileFaces(MemoryFontBytes(file));
  ASSERT_TRUE(faces);
  EXPECT_EQ(faces->count, (file.size() - 12) / 4);
  // A header cut short of its count gives no faces at all.
  const std::optional<FontFileFaces> cut = fontFileFaces(MemoryFontBytes(Bytes{'t', 't', 'c', 'f', 0, 1}));
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->count, 0u);
}

// Reads as MemoryFontBytes does, adding up the bytes asked for.
class CountingBytes final : public FontBytes {
 public:
  explicit CountingBytes(const Bytes& bytes) : inner_(bytes) {}
  std::uint64_t size() const override { return inner_.size(); }
  bool read(std::uint64_t offset, void* out, std::size_t count) const override {
    bytesRead += count;
    return inner_.read(offset, out, count);
  }
  mutable std::uint64_t bytesRead = 0;

 private:
  MemoryFontBytes inner_;
};

// A forged collection whose faces all use table directories of 65,535
// records: one directory shared by every face, or directories overlapping
// one another 16 bytes apart. Looking up every face reads no more than a
// small multiple of the file.
TEST(SfntNames, ForgedDirectoriesCostNoMoreThanTheFile) {
  constexpr std::uint32_t kFaces = 2000, kTables = 65535;
  for (const bool overlapping : {false, true}) {
    SCOPED_TRACE(overlapping ? "overlapping directories" : "one shared directory");
    Bytes file{'t', 't', 'c', 'f'};
    put32(file, 0x00010000);
    put32(file, kFaces);
    const std::uint32_t directory = 12 + 4 * kFaces;
    for (std::uint32_t i = 0; i < kFaces; ++i) put32(file, directory + (overlapping ? 16 * i : 0));
    put32(file, 0x00010000);
    put16(file, kTables);
    for (int i = 0; i < 3; ++i) put16(file, 0);
    const std::uint32_t nameAt = directory + 12 + 16 * kTables;
    for (std::uint32_t i = 0; i + 1 < kTables; ++i) {
      file.insert(file.end(), {'j', 'u', 'n', 'k'});
      for (int k = 0; k < 3; ++k) put32(file, 0);
    }
    file.insert(file.end(), {'n', 'a', 'm', 'e'});
    put32(file, 0);
    put32(file, nameAt);
    put32(file, 0);
    const Bytes names = nameTable({family(kEn, L"Forged")});
    file.insert(file.end(), names.begin(), names.end());

    const CountingBytes bytes(file);
    const std::optional<FontFileFaces> faces = fontFileFaces(bytes);
    ASSERT_TRUE(faces);
    ASSERT_EQ(faces->count, kFaces);
    std::uint32_t named = 0;
    for (std::uint32_t face = 1; face <= faces->count; ++face) {
      if (familyName(bytes, face, kEn) == L"Forged") ++named;
      familyName(bytes, face, kJa);
      firstLocalLanguage(bytes, face);
      os2Info(bytes, face);
      legacyNames(bytes, face, kJa);
    }
    if (!overlapping) {
      EXPECT_EQ(named, kFaces);
    }
    EXPECT_LE(bytes.bytesRead, 2 * file.size()) << "read " << bytes.bytesRead << " of " << file.size();
  }
}

// The names a face is listed under: its legacy Windows names in the system's
// language, else US English, else the first of each; typographic and
// Macintosh names never.
TEST(SfntNames, LegacyNamesByLanguage) {
  auto windows = [](unsigned language, unsigned id, const std::wstring& text) {
    return NameRecord{3, 1, language, id, utf16be(text)};
  };
  const NameRecord typographic[] = {windows(kJa, 16, L"Typo"), windows(kJa, 17, L"TypoStyle")};
  const NameRecord mac[] = {
      {1, 0, 0, 1, {'M', 'a', 'c'}}, {1, 0, 0, 2, {'M', 'S'}}, {1, 0, 0, 4, {'M', 'F'}}};
  struct Case {
    const char* name;
    std::vector<NameRecord> records;
    std::optional<std::wstring> family, style, fullName;
  } cases[] = {
      {"system language first",
       {typographic[0], mac[0], windows(kEn, 1, L"Fam"), windows(kJa, 1, L"JFam"), windows(kJa, 2, L"JSty"),
        windows(kEn, 2, L"Sty"), windows(kJa, 4, L"JFull")},
       L"JFam",
       L"JSty",
       L"JFull"},
      {"else US English",
       {typographic[0], typographic[1], mac[0], mac[1], mac[2], windows(kDe, 1, L"DFam"),
        windows(kEn, 1, L"Fam"), windows(kEn, 2, L"Sty"), windows(kEn, 4, L"Full")},
       L"Fam",
       L"Sty",
       L"Full"},
      {"else the first of each",
       {mac[0], windows(kDe, 1, L"DFam"), windows(0x040C, 1, L"FFam")},
       L"DFam",
       std::nullopt,
       std::nullopt},
      {"Macintosh and typographic names only",
       {mac[0], mac[1], mac[2], typographic[0], typographic[1]},
       std::nullopt,
       std::nullopt,
       std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const LegacyNames names = legacyNames(MemoryFontBytes(face({{"name", nameTable(c.records)}})), 0, kJa);
    EXPECT_EQ(names.family, c.family);
    EXPECT_EQ(names.style, c.style);
    EXPECT_EQ(names.fullName, c.fullName);
  }
}

TEST(SfntNames, FirstLocalLanguageSkipsNeutralAndUsEnglish) {
  const struct {
    std::vector<NameRecord> records;
    std::optional<std::uint16_t> expected;
  } cases[] = {
      {{{1, 0, 0, 1, {'x'}}, family(kEn, L"E"), family(kJa, L"J"), family(kDe, L"D")}, kJa},
      {{{1, 0, 11, 1, {'x'}}, family(kJa, L"J")}, 11},  // any platform counts
      {{{1, 0, 0, 1, {'x'}}, family(kEn, L"E")}, std::nullopt},
      {{}, std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(firstLocalLanguage(MemoryFontBytes(face({{"name", nameTable(c.records)}})), 0), c.expected);
}

TEST(SfntNames, Os2ClassAndCodePages) {
  const Bytes v1 = face({{"OS/2", os2Table(1, 0x0801, {2, 11, 0, 9}, 0x00020001, 0x80000000)}});
  std::optional<Os2Info> info = os2Info(MemoryFontBytes(v1), 0);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->familyClass, 0x0801);
  EXPECT_EQ(info->panose[0], 2);
  EXPECT_EQ(info->panose[1], 11);
  EXPECT_EQ(info->panose[3], 9);
  EXPECT_EQ(info->codePages[0], 0x00020001u);
  EXPECT_EQ(info->codePages[1], 0x80000000u);

  info = os2Info(MemoryFontBytes(face({{"OS/2", os2Table(0, 0x0100, {3}, 0)}})), 0);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->familyClass, 0x0100);
  EXPECT_EQ(info->codePages[0], 0u);

  // A version 1 table cut before its code pages keeps the version 0 fields.
  Bytes cut = os2Table(1, 0x0200, {}, 0xFFFF);
  cut.resize(78);
  info = os2Info(MemoryFontBytes(face({{"OS/2", cut}})), 0);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->familyClass, 0x0200);
  EXPECT_EQ(info->codePages[0], 0u);

  EXPECT_FALSE(os2Info(MemoryFontBytes(face({{"name", nameTable({})}})), 0));
}

// Every prefix of a valid file, and offsets pointing out of it, end a lookup
// as not found instead of reading past the end.
TEST(SfntNames, DamagedFilesGiveNotFound) {
  const Bytes file =
      collection({{{"OS/2", os2Table(1, 0, {}, 1)}, {"name", nameTable({family(kJa, L"J")})}}});
  ASSERT_EQ(name(file, 1, kJa), L"J");
  auto be32At = [&](size_t at) {
    return std::uint32_t{file[at]} << 24 | std::uint32_t{file[at + 1]} << 16 |
           std::uint32_t{file[at + 2]} << 8 | file[at + 3];
  };
  // OS/2 sorts first in the directory; its version 0 part is 78 bytes. The
  // language needs only the name table's first record, the name its string.
  const size_t face1 = be32At(12);
  const size_t os2End = be32At(face1 + 12 + 8) + 78;
  const size_t firstRecordEnd = be32At(face1 + 12 + 16 + 8) + 6 + 12;
  for (size_t size = 0; size < file.size(); ++size) {
    const Bytes prefix(file.begin(), file.begin() + size);
    MemoryFontBytes bytes(prefix);
    EXPECT_EQ(familyName(bytes, 1, kJa), std::nullopt) << size;
    EXPECT_EQ(firstLocalLanguage(bytes, 1).has_value(), size >= firstRecordEnd) << size;
    EXPECT_EQ(os2Info(bytes, 1).has_value(), size >= os2End) << size;
  }

  // Counts and offsets pointing out of the file. A lookup for a language the
  // file lacks has to scan every record a forged count claims.
  const Bytes plain = face({{"name", nameTable({family(kJa, L"J")})}});
  ASSERT_EQ(name(plain, 0, kJa), L"J");
  const size_t table = 12;  // the only table record
  const size_t names = 12 + 16;
  const struct Damage {
    const char* what;
    size_t at;
    std::uint32_t value;
    bool wide;
    std::uint16_t language;
  } damages[] = {
      {"table offset past the end", table + 8, 0xFFFFFFF0, true, kJa},
      {"table count larger than the directory", 4, 0xFFFF0000, true, kDe},
      {"record count larger than the table", names + 2, 0xFFFF, false, kDe},
      {"string storage past the end", names + 4, 0xFFFF, false, kJa},
      {"string offset past the end", names + 6 + 10, 0xFFF0, false, kJa},
      {"string length past the end", names + 6 + 8, 0xFFFF, false, kJa},
  };
  for (const Damage& d : damages) {
    Bytes broken = plain;
    if (d.wide) {
      set32(broken, d.at, d.value);
    } else {
      broken[d.at] = static_cast<std::uint8_t>(d.value >> 8);
      broken[d.at + 1] = static_cast<std::uint8_t>(d.value);
    }
    EXPECT_EQ(name(broken, 0, d.language), std::nullopt) << d.what;
  }
  EXPECT_FALSE(os2Info(MemoryFontBytes([&] {
                         Bytes b = plain;
                         set32(b, 4, 0xFFFF0000);
                         return b;
                       }()),
                       0));
}

TEST(SfntNames, SkippedFileKinds) {
  const struct {
    std::uint8_t head[4];
    bool skipped;
  } cases[] = {
      {{'M', 'Z', 0x90, 0}, true},   {{0xEF, 0xBB, 0xBF, '<'}, true},
      {{0xFF, 0xFE, '<', 0}, true},  {{0xFE, 0xFF, 0, '<'}, true},
      {{'<', 'F', 'o', 'n'}, true},  {{'t', 't', 'c', 'f'}, false},
      {{0, 1, 0, 0}, false},         {{'O', 'T', 'T', 'O'}, false},
      {{'<', 'f', 'o', 'n'}, false}, {{0xEF, 0xBB, 0xBF, 'x'}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(isSkippedFontFile(c.head), c.skipped) << c.head[0] << c.head[1];
}

TEST(SfntNames, OpenFontFileReadsRegularFilesOnly) {
  const kvpal::test::TempDir temp("kvpal-sfnt");
  const std::filesystem::path dir = temp.path();
  const Bytes file = face({{"name", nameTable({family(kEn, L"On disk")})}});
  std::ofstream(dir / "a.ttf", std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), file.size());

  std::unique_ptr<FontBytes> bytes = openFontFile((dir / "a.ttf").wstring());
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bytes->size(), file.size());
  EXPECT_EQ(familyName(*bytes, 0, kEn), L"On disk");
  std::uint8_t b;
  EXPECT_FALSE(bytes->read(file.size(), &b, 1));
  EXPECT_FALSE(openFontFile((dir / "missing.ttf").wstring()));
  EXPECT_FALSE(openFontFile(dir.wstring()));
  // A FIFO (an alternate font file name, or a font replaced by a pipe) is
  // refused at once; the child's time limit turns a hang into a failure.
  ASSERT_EQ(mkfifo((dir / "pipe.ttf").c_str(), 0600), 0);
  const auto outcome =
      kvpal::test::runInChild([&] { return openFontFile((dir / "pipe.ttf").wstring()) ? 1 : 0; });
  EXPECT_EQ(outcome.signal, 0) << "the open waited on the FIFO";
  EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
}

}  // namespace
