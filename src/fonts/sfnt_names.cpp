// Bounds-checked reading of sfnt table directories, name tables and OS/2.
#include "fonts/sfnt_names.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "pal/unicode_convert.h"
#include "base/utf16.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

constexpr std::uint16_t kWindowsPlatform = 3;
constexpr std::uint16_t kUnicodeBmpEncoding = 1;
constexpr std::uint16_t kBig5Encoding = 4;
constexpr std::uint16_t kFamilyNameId = 1;
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

std::optional<std::uint64_t> tableOffset(const FontBytes& file, std::uint32_t face, std::string_view tag) {
  std::optional<std::uint64_t> dir = faceDirectory(file, face);
  std::uint16_t tables;
  if (!dir || !read16(file, *dir + 4, tables)) return std::nullopt;
  for (std::uint32_t i = 0; i < tables; ++i) {
    std::uint8_t record[16];
    if (!file.read(*dir + 12 + 16 * std::uint64_t{i}, record, sizeof record)) return std::nullopt;
    if (std::memcmp(record, tag.data(), 4) == 0) return be32(record + 8);
  }
  return std::nullopt;
}

struct NameRecord {
  std::uint16_t platform, encoding, language, nameId, length, offset;
};

// Calls `match` for each name record in order until it returns true; gives
// that record and the start of the string storage.
template <typename Match>
std::optional<std::pair<NameRecord, std::uint64_t>> findNameRecord(const FontBytes& file, std::uint32_t face,
                                                                   Match match) {
  std::optional<std::uint64_t> table = tableOffset(file, face, "name");
  std::uint8_t header[6];
  if (!table || !file.read(*table, header, sizeof header)) return std::nullopt;
  const std::uint16_t count = be16(header + 2);
  const std::uint64_t storage = *table + be16(header + 4);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint8_t b[12];
    if (!file.read(*table + 6 + 12 * std::uint64_t{i}, b, sizeof b)) return std::nullopt;
    NameRecord r{be16(b), be16(b + 2), be16(b + 4), be16(b + 6), be16(b + 8), be16(b + 10)};
    if (match(r)) return std::pair{r, storage};
  }
  return std::nullopt;
}

}  // namespace

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
  auto found = findNameRecord(file, face, [&](const NameRecord& r) {
    return r.platform == kWindowsPlatform &&
           (r.encoding == kUnicodeBmpEncoding || r.encoding == kBig5Encoding) && r.language == language &&
           r.nameId == kFamilyNameId;
  });
  if (!found) return std::nullopt;
  const auto& [record, storage] = *found;
  std::string bytes(record.length, '\0');
  if (!file.read(storage + record.offset, bytes.data(), bytes.size())) return std::nullopt;
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

std::optional<std::uint16_t> firstLocalLanguage(const FontBytes& file, std::uint32_t face) {
  auto found = findNameRecord(
      file, face, [](const NameRecord& r) { return r.language != 0 && r.language != kEnglishUs; });
  if (!found) return std::nullopt;
  return found->first.language;
}

std::optional<Os2Info> os2Info(const FontBytes& file, std::uint32_t face) {
  std::optional<std::uint64_t> table = tableOffset(file, face, "OS/2");
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
