// Reads the few things the installed-font list needs from OpenType/TrueType
// files and collections: family names by language, the first localised
// language and the OS/2 classification. The files are untrusted: every read
// is bounds-checked, and a failed read ends a lookup as not found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace Halvex::Tessaran::PAL::detail {

// What the lookups have taken from one file; see FontBytes.
struct SfntCache;

// Random access to the bytes of one font file. The lookups below keep what
// they parse with it (table directories, name tables), each part once, and
// parse no more than the file's size in all: a forged collection whose many
// faces share or overlap one huge directory costs no more than its bytes.
// Not for use from several threads at once.
class FontBytes {
 public:
  FontBytes();
  virtual ~FontBytes();
  FontBytes(const FontBytes&) = delete;
  FontBytes& operator=(const FontBytes&) = delete;

  virtual std::uint64_t size() const = 0;
  // False unless all `count` bytes at `offset` were read.
  virtual bool read(std::uint64_t offset, void* out, std::size_t count) const = 0;

  SfntCache& cache() const;

 private:
  mutable std::unique_ptr<SfntCache> cache_;
};

class MemoryFontBytes final : public FontBytes {
 public:
  explicit MemoryFontBytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint64_t size() const override { return bytes_.size(); }
  bool read(std::uint64_t offset, void* out, std::size_t count) const override;

 private:
  std::span<const std::uint8_t> bytes_;
};

// Null when the file cannot be opened for reading.
std::unique_ptr<FontBytes> openFontFile(const std::wstring& path);

// Faces are numbered as the lookups expect them: 0 is the only face of a
// plain file, 1 to the face count those of a collection.
struct FontFileFaces {
  bool collection = false;
  std::uint32_t count = 0;  // faces of a collection; 0 for a plain file
};

// From the first four bytes: a collection ("ttcf") and its face count from
// the 12-byte header (no faces when that cannot be read). Nothing when the
// file is shorter than four bytes.
std::optional<FontFileFaces> fontFileFaces(const FontBytes& file);

// A file the alternate family-name table skips: an executable font
// resource (MZ) or a text or XML file.
bool isSkippedFontFile(const std::uint8_t head[4]);

// The platform 3, encoding 1 (UTF-16) or 4 (system ANSI code page) family
// name (name ID 1) of `face` in `language`.
std::optional<std::wstring> familyName(const FontBytes& file, std::uint32_t face, std::uint16_t language);

// The legacy names of `face` a Windows enumeration reports: family, style
// and full name (name IDs 1, 2 and 4, platform 3, encoding 1 or 4), each in
// `language`, else in US English, else the first record of that ID.
struct LegacyNames {
  std::optional<std::wstring> family, style, fullName;
};
LegacyNames legacyNames(const FontBytes& file, std::uint32_t face, std::uint16_t language);

// The language of the first name record, of any platform, whose language is
// neither 0 nor 0x0409.
std::optional<std::uint16_t> firstLocalLanguage(const FontBytes& file, std::uint32_t face);

struct Os2Info {
  std::int16_t familyClass = 0;
  std::uint8_t panose[10] = {};
  // ulCodePageRange1 and 2; zero before OS/2 version 1.
  std::uint32_t codePages[2] = {0, 0};
};

std::optional<Os2Info> os2Info(const FontBytes& file, std::uint32_t face);

}  // namespace Halvex::Tessaran::PAL::detail
