// The resource directory walk, string tables and version resource queries.
#include "modules/resource_directory.h"

#include <algorithm>
#include <cwchar>
#include <unordered_set>

#include "base/case_fold.h"
#include "base/utf16.h"
#include "modules/image_parser.h"
#include "modules/mapped_file.h"
#include "platform/win_error.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::uint64_t kTableHeaderSize = 16;
constexpr std::uint64_t kEntrySize = 8;
constexpr std::uint64_t kDataEntrySize = 16;
constexpr std::uint16_t kNeutralLanguage = 0x0000;
constexpr std::uint16_t kUsEnglish = 0x0409;

// `count` UTF-16 units at `offset`, read one by one: the file gives them no
// particular alignment.
std::optional<std::wstring> utf16At(const ByteView& bytes, std::uint64_t offset, std::uint64_t count) {
  if (!bytes.has(offset, count * 2)) return std::nullopt;
  std::u16string text(count, u'\0');
  for (std::uint64_t i = 0; i < count; ++i)
    text[i] = static_cast<char16_t>(*bytes.read<std::uint16_t>(offset + 2 * i));
  return utf16ToWide(text);
}

struct RawEntry {
  std::uint32_t name;    // identifier, or the offset of the name with the high bit
  std::uint32_t target;  // data entry offset, or subdirectory offset with the high bit
};

// The entries of the directory table at `offset`; those that run past the
// section are dropped.
std::vector<RawEntry> tableEntries(const ByteView& bytes, std::uint64_t offset) {
  std::vector<RawEntry> result;
  auto named = bytes.read<std::uint16_t>(offset + 12), numbered = bytes.read<std::uint16_t>(offset + 14);
  if (!named || !numbered) return result;
  std::uint64_t count = std::uint64_t{*named} + *numbered;
  for (std::uint64_t i = 0; i < count; ++i) {
    std::uint64_t at = offset + kTableHeaderSize + i * kEntrySize;
    auto name = bytes.read<std::uint32_t>(at), target = bytes.read<std::uint32_t>(at + 4);
    if (!name || !target) break;
    result.push_back({*name, *target});
  }
  return result;
}

std::optional<ResourceKey> keyOf(const ByteView& bytes, std::uint32_t name) {
  if (!(name & kHighBit)) return ResourceKey::number(static_cast<std::uint16_t>(name));
  std::uint64_t at = name & ~kHighBit;
  auto length = bytes.read<std::uint16_t>(at);
  if (!length) return std::nullopt;
  auto text = utf16At(bytes, at + 2, *length);
  if (!text || text->empty()) return std::nullopt;
  return ResourceKey{0, std::move(*text)};
}

bool keyMatches(const ByteView& bytes, std::uint32_t name, const ResourceKey& key) {
  if (!key.isNamed()) return !(name & kHighBit) && (name & 0xFFFF) == key.id && (name >> 16) == 0;
  if (!(name & kHighBit)) return false;
  std::uint64_t at = name & ~kHighBit;
  if (bytes.read<std::uint16_t>(at) != key.name.size()) return false;
  auto text = utf16At(bytes, at + 2, key.name.size());
  return text && equalsIgnoringCase(*text, key.name);
}

std::optional<std::uint64_t> subdirectory(const ByteView& bytes, std::uint32_t target) {
  if (!(target & kHighBit)) return std::nullopt;
  std::uint64_t offset = target & ~kHighBit;
  if (!bytes.has(offset, kTableHeaderSize)) return std::nullopt;
  return offset;
}

std::uint64_t alignTo4(std::uint64_t offset) {
  return (offset + 3) & ~std::uint64_t{3};
}

}  // namespace

ResourceKey ResourceKey::fromText(const wchar_t* text) {
  auto value = reinterpret_cast<std::uintptr_t>(text);
  if (value < 0x10000) return number(static_cast<std::uint16_t>(value));
  if (text[0] != L'#') return ResourceKey{0, text};
  // Windows reads the digits after '#' as a decimal identifier and stops at
  // the first other character.
  std::uint32_t id = 0;
  for (const wchar_t* p = text + 1; *p >= L'0' && *p <= L'9'; ++p)
    id = (id * 10 + static_cast<std::uint32_t>(*p - L'0')) & 0xFFFF;
  return number(static_cast<std::uint16_t>(id));
}

std::wstring ResourceKey::text() const {
  return isNamed() ? name : L"#" + std::to_wstring(id);
}

ResourceDirectory ResourceDirectory::ofImage(ByteView file) {
  auto parser = parseImage(file);
  auto section = parser->resourceSection();
  if (!section) return {};
  return ResourceDirectory(section->bytes, section->address);
}

std::optional<ByteView> ResourceDirectory::find(const ResourceKey& type, const ResourceKey& name,
                                                std::optional<std::uint16_t> language) const {
  // Fixed three levels: a directory that points back at an ancestor is only
  // ever read as the next level, never followed further.
  auto child = [&](std::uint64_t table, const ResourceKey& key) -> std::optional<std::uint64_t> {
    for (const RawEntry& e : tableEntries(bytes_, table))
      if (keyMatches(bytes_, e.name, key)) return subdirectory(bytes_, e.target);
    return std::nullopt;
  };
  if (empty() || !bytes_.has(0, kTableHeaderSize)) return std::nullopt;
  auto names = child(0, type);
  auto languages = names ? child(*names, name) : std::nullopt;
  if (!languages) return std::nullopt;
  std::vector<RawEntry> candidates = tableEntries(bytes_, *languages);
  auto pick = [&](std::uint16_t wanted) {
    return std::find_if(candidates.begin(), candidates.end(),
                        [&](const RawEntry& e) { return e.name == wanted; });
  };
  auto chosen = candidates.end();
  if (language) {
    chosen = pick(*language);
  } else {
    chosen = pick(kNeutralLanguage);
    if (chosen == candidates.end()) chosen = pick(kUsEnglish);
    if (chosen == candidates.end()) chosen = candidates.begin();
  }
  if (chosen == candidates.end()) return std::nullopt;
  return data(chosen->target);
}

std::optional<ByteView> ResourceDirectory::data(std::uint32_t target) const {
  if ((target & kHighBit) || !bytes_.has(target, kDataEntrySize)) return std::nullopt;
  std::uint64_t address = *bytes_.read<std::uint32_t>(target), size = *bytes_.read<std::uint32_t>(target + 4);
  if (address < address_ || !bytes_.has(address - address_, size)) return std::nullopt;
  return ByteView(bytes_.data() + (address - address_), size);
}

std::optional<std::wstring> ResourceDirectory::string(unsigned id,
                                                      std::optional<std::uint16_t> language) const {
  if (id > 0xFFFF) return std::nullopt;
  auto block = find(ResourceKey::number(kRtString),
                    ResourceKey::number(static_cast<std::uint16_t>(id / 16 + 1)), language);
  if (!block) return std::nullopt;
  std::uint64_t at = 0;
  for (unsigned i = 0;; ++i) {
    auto length = block->read<std::uint16_t>(at);
    if (!length) return std::nullopt;
    if (i == id % 16) return utf16At(*block, at + 2, *length);
    at += 2 + 2ull * *length;
  }
}

std::vector<ResourceEntry> ResourceDirectory::entries() const {
  std::vector<ResourceEntry> result;
  if (empty() || !bytes_.has(0, kTableHeaderSize)) return result;
  std::unordered_set<std::uint64_t> visited{0};
  auto enter = [&](std::uint32_t target) -> std::optional<std::uint64_t> {
    auto table = subdirectory(bytes_, target);
    if (!table || !visited.insert(*table).second) return std::nullopt;
    return table;
  };
  for (const RawEntry& t : tableEntries(bytes_, 0)) {
    auto type = keyOf(bytes_, t.name);
    auto names = enter(t.target);
    if (!type || !names) continue;
    for (const RawEntry& n : tableEntries(bytes_, *names)) {
      auto name = keyOf(bytes_, n.name);
      auto languages = enter(n.target);
      if (!name || !languages) continue;
      for (const RawEntry& l : tableEntries(bytes_, *languages)) {
        if (l.name > 0xFFFF) continue;
        auto language = static_cast<std::uint16_t>(l.name);
        if (auto bytes = data(l.target)) result.push_back(ResourceEntry{*type, *name, language, *bytes});
      }
    }
  }
  return result;
}

std::vector<std::pair<unsigned, std::wstring>> stringTableStrings(const ResourceEntry& block) {
  std::vector<std::pair<unsigned, std::wstring>> result;
  if (block.name.isNamed() || block.name.id == 0) return result;
  std::uint64_t at = 0;
  for (unsigned i = 0; i < 16; ++i) {
    auto length = block.data.read<std::uint16_t>(at);
    if (!length) break;
    auto text = utf16At(block.data, at + 2, *length);
    if (!text) break;
    if (!text->empty()) result.emplace_back((block.name.id - 1u) * 16 + i, std::move(*text));
    at += 2 + 2ull * *length;
  }
  return result;
}

std::optional<std::wstring> versionString(const ResourceDirectory& directory, std::wstring_view path) {
  auto data = directory.find(ResourceKey::number(kRtVersion), ResourceKey::number(1));
  if (!data) return std::nullopt;
  // Each block: its length, the length of its value (in characters for
  // text), its type (1: text), its key, its value, then its children, each
  // part aligned to 4 bytes. A child may not reach past its parent, so the
  // walk along the path only ever narrows.
  struct Block {
    std::uint64_t start, end, valueStart, valueLength, childrenStart;
    bool isText;
    std::wstring key;
  };
  auto block = [&](std::uint64_t start, std::uint64_t limit) -> std::optional<Block> {
    auto length = data->read<std::uint16_t>(start);
    auto valueLength = data->read<std::uint16_t>(start + 2);
    auto type = data->read<std::uint16_t>(start + 4);
    if (!length || !valueLength || !type || *length < 6 || start + *length > limit) return std::nullopt;
    Block b{start, start + *length, 0, 0, 0, *type == 1, {}};
    std::uint64_t at = start + 6;
    for (;; at += 2) {
      auto unit = at + 2 <= b.end ? data->read<std::uint16_t>(at) : std::nullopt;
      if (!unit) return std::nullopt;
      if (*unit == 0) break;
    }
    b.key = *utf16At(*data, start + 6, (at - start - 6) / 2);
    b.valueStart = std::min(alignTo4(at + 2), b.end);
    std::uint64_t valueBytes = b.isText ? 2ull * *valueLength : *valueLength;
    b.valueLength = std::min(valueBytes, b.end - b.valueStart);
    b.childrenStart = std::min(alignTo4(b.valueStart + valueBytes), b.end);
    return b;
  };
  auto current = block(0, data->size());
  for (std::size_t from = 0; current && from <= path.size();) {
    std::size_t to = std::min(path.find(L'\\', from), path.size());
    std::wstring_view component = path.substr(from, to - from);
    from = to + 1;
    if (component.empty()) continue;
    std::optional<Block> found;
    for (std::uint64_t at = current->childrenStart; at < current->end && !found;) {
      auto child = block(at, current->end);
      if (!child) break;
      if (equalsIgnoringCase(child->key, component)) found = child;
      at = alignTo4(child->end);
    }
    current = found;
  }
  if (!current || !current->isText || current->start == 0 || current->valueLength == 0) return std::nullopt;
  auto text = utf16At(*data, current->valueStart, current->valueLength / 2);
  if (!text) return std::nullopt;
  text->resize(std::wcslen(text->c_str()));
  return text;
}

ResourceModule::ResourceModule(std::unique_ptr<MappedFile> file, ResourceDirectory directory)
    : file_(std::move(file)), directory_(directory) {}

ResourceModule::~ResourceModule() = default;

std::unique_ptr<ResourceModule> ResourceModule::open(const char* path, unsigned& error) {
  auto file = MappedFile::map(path, error);
  if (!file) return nullptr;
  auto parser = parseImage(ByteView(file->data(), file->size()));
  if (parser->status() != ModuleImage::ValidImage) {
    error = ERROR_BAD_EXE_FORMAT;
    return nullptr;
  }
  auto section = parser->resourceSection();
  ResourceDirectory directory =
      section ? ResourceDirectory(section->bytes, section->address) : ResourceDirectory();
  return std::unique_ptr<ResourceModule>(new ResourceModule(std::move(file), directory));
}

}  // namespace Halvex::Tessaran::PAL::detail
