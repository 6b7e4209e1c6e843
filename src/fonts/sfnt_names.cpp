// Bounds-checked reading of sfnt table directories, name tables and OS/2,
// each parsed once per file.
#include "fonts/sfnt_names.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string_view>
#include <vector>

#include "base/utf16.h"
#include "pal/unicode_convert.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

constexpr std::uint16_t kWindowsPlatform = 3;
constexpr std::uint16_t kUnicodeBmpEncoding = 1;
constexpr std::uint16_t kBig5Encoding = 4;
constexpr std::uint16_t kFamilyNameId = 1;
constexpr std::uint16_t kStyleNameId = 2;
constexpr std::uint16_t kFullNameId = 4;
constexpr std::uint16_t kEnglishUs = 0x0409;

std::uint16_t be16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}
std::uint32_t be32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

bool read16(const FontBytes& file, std::uint64_t offset, std::uint16_t& value) {
  std::uint8_t b[2];
  if (!file.read(offset, b, sizeof b)) return false;
  value = be16(b);
  return true;
}

bool read32(const FontBytes& file, std::uint64_t offset, std::uint32_t& value) {
  std::uint8_t b[4];
  if (!file.read(offset, b, sizeof b)) return false;
  value = be32(b);
  return true;
}

// Offset of the face's table directory: the file start for face 0, the
// collection header's entry for faces 1 and up.
std::optional<std::uint64_t> faceDirectory(const FontBytes& file, std::uint32_t face) {
  if (face == 0) return 0;
  std::uint32_t offset;
  if (!read32(file, 8 + 4 * std::uint64_t{face}, offset)) return std::nullopt;
  return offset;
}

struct NameRecord {
  std::uint16_t platform, encoding, language, nameId, length, offset;
};

bool isWindowsName(const NameRecord& r) {
  return r.platform == kWindowsPlatform && (r.encoding == kUnicodeBmpEncoding || r.encoding == kBig5Encoding);
}

// The first "name" and "OS/2" records of a table directory.
struct TableDirectory {
  std::optional<std::uint32_t> name, os2;
};

// What the lookups need of a name table: the first Windows record of each
// name ID the list reads, per language and of any language, and the first
// localised language.
struct NameIndex {
  std::uint64_t storage = 0;
  std::map<std::pair<std::uint16_t, std::uint16_t>, NameRecord> windows;  // (name ID, language)
  std::map<std::uint16_t, NameRecord> firstWindows;                       // name ID
  std::optional<std::uint16_t> firstLocalLanguage;
};

}  // namespace

// Parsed parts by their offset in the file, the failures too, and the bytes
// still allowed to be parsed.
struct SfntCache {
  explicit SfntCache(std::uint64_t size) : budget(size) {}

  // Takes `bytes` from the budget; false when it is spent.
  bool spend(std::uint64_t bytes) {
    if (bytes > budget) return false;
    budget -= bytes;
    return true;
  }

  std::uint64_t budget;
  std::map<std::uint64_t, std::optional<TableDirectory>> directories;
  std::map<std::uint64_t, std::optional<NameIndex>> nameTables;
};

namespace {

// `count` records of `recordSize` bytes at `offset`, cut to the records the
// file holds, as a scan stops at the first record it cannot read.
std::optional<std::vector<std::uint8_t>> readRecords(const FontBytes& file, std::uint64_t offset,
                                                     std::uint32_t count, std::size_t recordSize) {
  const std::uint64_t room = offset < file.size() ? (file.size() - offset) / recordSize : 0;
  const std::uint64_t held = std::min<std::uint64_t>(count, room);
  if (!file.cache().spend(held * recordSize)) return std::nullopt;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(held * recordSize));
  if (!bytes.empty() && !file.read(offset, bytes.data(), bytes.size())) return std::nullopt;
  return bytes;
}

std::optional<TableDirectory> parseDirectory(const FontBytes& file, std::uint64_t dir) {
  std::uint16_t tables;
  if (!read16(file, dir + 4, tables)) return std::nullopt;
  const auto records = readRecords(file, dir + 12, tables, 16);
  if (!records) return std::nullopt;
  TableDirectory found;
  for (std::size_t at = 0; at < records->size(); at += 16) {
    const std::uint8_t* record = records->data() + at;
    if (!found.name && std::memcmp(record, "name", 4) == 0) found.name = be32(record + 8);
    if (!found.os2 && std::memcmp(record, "OS/2", 4) == 0) found.os2 = be32(record + 8);
  }
  return found;
}

const std::optional<TableDirectory>& directoryOf(const FontBytes& file, std::uint32_t face) {
  static const std::optional<TableDirectory> none;
  const std::optional<std::uint64_t> dir = faceDirectory(file, face);
  if (!dir) return none;
  auto& directories = file.cache().directories;
  auto it = directories.find(*dir);
  if (it == directories.end()) it = directories.emplace(*dir, parseDirectory(file, *dir)).first;
  return it->second;
}

std::optional<NameIndex> parseNameTable(const FontBytes& file, std::uint64_t table) {
  std::uint8_t header[6];
  if (!file.read(table, header, sizeof header)) return std::nullopt;
  NameIndex index;
  index.storage = table + be16(header + 4);
  const auto records = readRecords(file, table + 6, be16(header + 2), 12);
  if (!records) return std::nullopt;
  for (std::size_t at = 0; at < records->size(); at += 12) {
    const std::uint8_t* b = records->data() + at;
    const NameRecord r{be16(b), be16(b + 2), be16(b + 4), be16(b + 6), be16(b + 8), be16(b + 10)};
    if (!index.firstLocalLanguage && r.language != 0 && r.language != kEnglishUs)
      index.firstLocalLanguage = r.language;
    if (isWindowsName(r) &&
        (r.nameId == kFamilyNameId || r.nameId == kStyleNameId || r.nameId == kFullNameId)) {
      index.windows.try_emplace({r.nameId, r.language}, r);
      index.firstWindows.try_emplace(r.nameId, r);
    }
  }
  return index;
}

const NameIndex* nameIndexOf(const FontBytes& file, std::uint32_t face) {
  const std::optional<TableDirectory>& dir = directoryOf(file, face);
  if (!dir || !dir->name) return nullptr;
  auto& tables = file.cache().nameTables;
  auto it = tables.find(*dir->name);
  if (it == tables.end()) it = tables.emplace(*dir->name, parseNameTable(file, *dir->name)).first;
  return it->second ? &*it->second : nullptr;
}

std::optional<std::wstring> nameText(const FontBytes& file, const NameIndex& index,
                                     const NameRecord& record) {
  std::string bytes(record.length, '\0');
  if (!file.read(index.storage + record.offset, bytes.data(), bytes.size())) return std::nullopt;
  if (record.encoding == kUnicodeBmpEncoding) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
      units[i] = be16(reinterpret_cast<const std::uint8_t*>(bytes.data()) + 2 * i);
    return utf16ToWide(units);
  }
  std::wstring text;
  if (UnicodeConvert::multibyteToWide(code_page_id_ex(0u), bytes, text, 0) != UnicodeConvert::ToWideCharOk)
    return std::nullopt;
  return text;
}

std::optional<std::wstring> windowsName(const FontBytes& file, const NameIndex& index, std::uint16_t nameId,
                                        std::uint16_t language) {
  const auto it = index.windows.find({nameId, language});
  if (it == index.windows.end()) return std::nullopt;
  return nameText(file, index, it->second);
}

}  // namespace

FontBytes::FontBytes() = default;
FontBytes::~FontBytes() = default;

SfntCache& FontBytes::cache() const {
  if (!cache_) cache_ = std::make_unique<SfntCache>(size());
  return *cache_;
}

bool MemoryFontBytes::read(std::uint64_t offset, void* out, std::size_t count) const {
  if (offset > bytes_.size() || count > bytes_.size() - offset) return false;
  std::memcpy(out, bytes_.data() + offset, count);
  return true;
}

std::optional<FontFileFaces> fontFileFaces(const FontBytes& file) {
  std::uint8_t head[12];
  if (!file.read(0, head, 4)) return std::nullopt;
  FontFileFaces faces;
  faces.collection = std::memcmp(head, "ttcf", 4) == 0;
  if (faces.collection && file.read(0, head, sizeof head)) {
    // A face whose offset entry lies past the end can never be read, so the
    // count is cut to the entries the file holds: a forged count cannot make
    // the callers loop billions of times.
    const std::uint64_t entries = file.size() < 12 ? 0 : (file.size() - 12) / 4;
    faces.count = static_cast<std::uint32_t>(std::min<std::uint64_t>(be32(head + 8), entries));
  }
  return faces;
}

bool isSkippedFontFile(const std::uint8_t head[4]) {
  static constexpr std::uint8_t kText[][4] = {
      {0xEF, 0xBB, 0xBF, 0x3C}, {0xFF, 0xFE, 0x3C, 0x00}, {0xFE, 0xFF, 0x00, 0x3C}, {'<', 'F', 'o', 'n'}};
  if (head[0] == 0x4D && head[1] == 0x5A) return true;
  return std::any_of(std::begin(kText), std::end(kText),
                     [&](const std::uint8_t(&t)[4]) { return std::memcmp(head, t, 4) == 0; });
}

std::optional<std::wstring> familyName(const FontBytes& file, std::uint32_t face, std::uint16_t language) {
  const NameIndex* index = nameIndexOf(file, face);
  return index ? windowsName(file, *index, kFamilyNameId, language) : std::nullopt;
}

LegacyNames legacyNames(const FontBytes& file, std::uint32_t face, std::uint16_t language) {
  LegacyNames names;
  const NameIndex* index = nameIndexOf(file, face);
  if (!index) return names;
  auto pick = [&](std::uint16_t nameId) -> std::optional<std::wstring> {
    for (const std::uint16_t lang : {language, kEnglishUs})
      if (auto text = windowsName(file, *index, nameId, lang)) return text;
    const auto first = index->firstWindows.find(nameId);
    return first == index->firstWindows.end() ? std::nullopt : nameText(file, *index, first->second);
  };
  names.family = pick(kFamilyNameId);
  names.style = pick(kStyleNameId);
  names.fullName = pick(kFullNameId);
  return names;
}

std::optional<std::uint16_t> firstLocalLanguage(const FontBytes& file, std::uint32_t face) {
  const NameIndex* index = nameIndexOf(file, face);
  return index ? index->firstLocalLanguage : std::nullopt;
}

std::optional<Os2Info> os2Info(const FontBytes& file, std::uint32_t face) {
  const std::optional<TableDirectory>& dir = directoryOf(file, face);
  const std::optional<std::uint64_t> table = dir ? dir->os2 : std::nullopt;
  // Version 0 ends with the fields up to usWinDescent; version 1 adds the
  // two code-page words at 78.
  std::uint8_t b[86];
  if (!table || !file.read(*table, b, 78)) return std::nullopt;
  Os2Info info;
  info.familyClass = static_cast<std::int16_t>(be16(b + 30));
  std::memcpy(info.panose, b + 32, sizeof info.panose);
  if (be16(b) >= 1 && file.read(*table + 78, b + 78, 8)) {
    info.codePages[0] = be32(b + 78);
    info.codePages[1] = be32(b + 82);
  }
  return info;
}

}  // namespace Halvex::Tessaran::PAL::detail
