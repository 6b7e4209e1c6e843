// Reader of the Windows resource directory (types, names, languages and their
// data) as a module file carries it: a Windows module's resource section, or
// the .rsrc section that kvpal_add_resources puts into an ELF module. The
// bytes are untrusted: every offset is checked against the section, and a
// walk reads exactly three levels, so that no file can make it loop.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "modules/byte_view.h"

namespace Halvex::Tessaran::PAL::detail {

class MappedFile;

// Predefined resource types.
enum : std::uint16_t { kRtBitmap = 2, kRtString = 6, kRtRcData = 10, kRtVersion = 16 };

// A resource type or name: a 16-bit identifier, or a name. The resource
// compiler stores names upper-cased and look-ups compare them without regard
// to case, as on Windows.
struct ResourceKey {
  std::uint16_t id = 0;
  std::wstring name;  // not empty: a named key

  static ResourceKey number(std::uint16_t id) { return ResourceKey{id, {}}; }
  // What a Windows caller passes: an identifier in a pointer below 0x10000
  // (MAKEINTRESOURCE), "#123" for identifier 123, else a name. Null and ""
  // give identifier 0, which no resource has.
  static ResourceKey fromText(const wchar_t* text);
  bool isNamed() const { return !name.empty(); }
  // "#123" for an identifier, else the name.
  std::wstring text() const;
};

struct ResourceEntry {
  ResourceKey type, name;
  std::uint16_t language = 0;
  ByteView data;
};

class ResourceDirectory {
 public:
  // Holds nothing: every look-up misses.
  ResourceDirectory() = default;
  // `bytes` start at the root directory; `address` is the address of that
  // root, against which data entries give their data (0 in an ELF section).
  ResourceDirectory(ByteView bytes, std::uint64_t address) : bytes_(bytes), address_(address) {}
  // The resource directory of a module file's bytes, empty when it has none.
  static ResourceDirectory ofImage(ByteView file);

  bool empty() const { return bytes_.size() == 0; }

  // The data of a resource in `language` when one is given; else the
  // language-neutral one, then US English, then the first listed. Nothing
  // when missing or when its data lies outside the section.
  std::optional<ByteView> find(const ResourceKey& type, const ResourceKey& name,
                               std::optional<std::uint16_t> language = std::nullopt) const;

  // String `id` of the string tables (block id / 16 + 1, entry id % 16),
  // chosen among languages as find does; nothing when missing. An entry of
  // length 0 is an empty string, which Windows does not tell from a missing
  // one either.
  std::optional<std::wstring> string(unsigned id, std::optional<std::uint16_t> language = std::nullopt) const;

  // Every resource with readable data, in directory order. A subdirectory
  // reached a second time is left out, which bounds the walk by the size of
  // the section.
  std::vector<ResourceEntry> entries() const;

 private:
  // The data a data entry describes, when the section holds all of it.
  std::optional<ByteView> data(std::uint32_t target) const;

  ByteView bytes_;
  std::uint64_t address_ = 0;
};

// The non-empty strings of one string-table block, with their identifiers.
std::vector<std::pair<unsigned, std::wstring>> stringTableStrings(const ResourceEntry& block);

// The text value at `path` in the module's version resource, such as
// L"\\StringFileInfo\\040904b0\\ModuleType" (components compare without regard
// to case); nothing when the resource or the value is missing or not text.
std::optional<std::wstring> versionString(const ResourceDirectory& directory, std::wstring_view path);

// A module file mapped read-only, with its resource directory.
class ResourceModule {
 public:
  // Null when the file cannot be mapped or is neither a Windows module nor
  // an ELF one (the Windows error code in `error`); a module without
  // resources gives an empty directory.
  static std::unique_ptr<ResourceModule> open(const char* path, unsigned& error);
  ~ResourceModule();

  const ResourceDirectory& directory() const { return directory_; }

  ResourceModule(const ResourceModule&) = delete;
  ResourceModule& operator=(const ResourceModule&) = delete;

 private:
  ResourceModule(std::unique_ptr<MappedFile> file, ResourceDirectory directory);
  std::unique_ptr<MappedFile> file_;
  ResourceDirectory directory_;
};

}  // namespace Halvex::Tessaran::PAL::detail
