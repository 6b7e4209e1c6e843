// Reader for ELF executables and shared objects (32- and 64-bit, either byte
// order) as stored in a file: DT_NEEDED imports and the exports of the
// dynamic symbol table.
#include <algorithm>

#include "modules/image_parser.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

enum : std::uint16_t { ET_REL = 1, ET_EXEC = 2, ET_DYN = 3 };
enum : std::uint32_t { PT_LOAD = 1, PT_DYNAMIC = 2, PT_NOTE = 4, SHT_NOBITS = 8, SHT_DYNSYM = 11 };
enum : std::uint64_t {
  DT_NULL = 0,
  DT_NEEDED = 1,
  DT_HASH = 4,
  DT_STRTAB = 5,
  DT_SYMTAB = 6,
  DT_STRSZ = 10,
  DT_SYMENT = 11,
  DT_GNU_HASH = 0x6FFFFEF5,
};
enum : std::uint8_t { STB_GLOBAL = 1, STB_WEAK = 2, STB_GNU_UNIQUE = 10, STT_SECTION = 3, STT_FILE = 4 };
enum : std::uint8_t { STV_INTERNAL = 1, STV_HIDDEN = 2 };

std::uint32_t sysvHash(const char* name) {
  std::uint32_t h = 0;
  for (auto p = reinterpret_cast<const unsigned char*>(name); *p; ++p) {
    h = (h << 4) + *p;
    std::uint32_t g = h & 0xF0000000u;
    if (g) h ^= g >> 24;
    h &= ~g;
  }
  return h;
}

std::uint32_t gnuHash(const char* name) {
  std::uint32_t h = 5381;
  for (auto p = reinterpret_cast<const unsigned char*>(name); *p; ++p) h = h * 33 + *p;
  return h;
}

struct Segment {
  std::uint64_t offset, address, fileSize;
};

struct NoteSegment {
  std::uint64_t offset, fileSize, alignment;
};

struct Symbol {
  const char* name = nullptr;
  std::uint64_t value = 0;
  bool exported = false;
};

class ElfImage : public ImageParser {
 public:
  explicit ElfImage(ByteView view) : ImageParser(view, ModuleImage::ValidImage) {}

  // Reads the headers and settles the parse status.
  void parse() {
    is32_ = view_.read<std::uint8_t>(4) == 1;
    const bool is64 = view_.read<std::uint8_t>(4) == 2;
    const auto data = view_.read<std::uint8_t>(5);
    if ((!is32_ && !is64) || (data != 1 && data != 2) || view_.read<std::uint8_t>(6) != 1 ||
        !view_.has(0, is32_ ? 52 : 64)) {
      status_ = ModuleImage::BadModuleHeader;
      return;
    }
    view_ = view_.withByteOrder(data == 2);
    auto type = view_.read<std::uint16_t>(16).value_or(0);
    machine_ = view_.read<std::uint16_t>(18).value_or(0);
    if (type == ET_REL) status_ = ModuleImage::ObjectFile;
    if (type != ET_EXEC && type != ET_DYN && type != ET_REL) status_ = ModuleImage::NotAnImage;
    if (status_ != ModuleImage::ValidImage) return;
    readProgramHeaders();
    readDynamicSection();
    symbolCount_ = countSymbols();
  }

  ModuleImage::Format format() const override { return ModuleImage::ElfModule; }
  bool is32Bit() const override { return is32_; }
  unsigned machine() const override { return machine_; }

  std::optional<std::uint64_t> fileOffset(std::uint64_t address, bool) const override {
    for (const auto& s : segments_)
      if (address >= s.address && address - s.address < s.fileSize) {
        std::uint64_t offset = address - s.address + s.offset;
        if (offset < view_.size()) return offset;
      }
    return std::nullopt;
  }

  bool importsModule(const char* name) const override {
    for (std::uint64_t n : needed_)
      if (dynamicStringIs(n, name)) return true;
    return false;
  }

  int exportIndex(const char* name) const override {
    std::uint64_t index = 0;
    if (gnuHash_)
      index = lookUpGnuHash(name);
    else if (sysvHash_)
      index = lookUpSysvHash(name);
    else
      for (std::uint64_t i = 1; i < symbolCount_ && index == 0; ++i) index = matches(i, name) ? i : 0;
    return index > 0 && index <= INT32_MAX ? static_cast<int>(index) : -1;
  }

  // An export's ordinal is its symbol index.
  int exportOrdinal(int index) const override { return index > 0 && symbol(index).exported ? index : -1; }

  std::uint32_t exportFunction(int ordinal, bool wantForwarder) const override {
    if (wantForwarder || ordinal <= 0) return kNoExport;
    Symbol s = symbol(static_cast<std::uint64_t>(ordinal));
    if (!s.exported || s.value == 0 || s.value >= kNoExport) return kNoExport;
    return static_cast<std::uint32_t>(s.value);
  }

  // The section named ".rsrc", found through the section headers.
  std::optional<ResourceSection> resourceSection() const override {
    std::optional<ResourceSection> found;
    std::uint64_t names = 0, namesSize = 0;
    if (auto strings = sectionHeader(view_.read<std::uint16_t>(is32_ ? 50 : 62).value_or(0))) {
      names = sectionField(*strings, 16, 24);
      namesSize = sectionField(*strings, 20, 32);
    }
    forEachSectionHeader([&](std::uint64_t at) {
      std::uint64_t name = u32(at);
      if (u32(at + 4) == SHT_NOBITS || name >= namesSize ||
          view_.compare(names + name, ".rsrc", false, names + namesSize) != 0)
        return true;
      std::uint64_t offset = sectionField(at, 16, 24), size = sectionField(at, 20, 32);
      if (offset >= view_.size()) return false;
      size = std::min<std::uint64_t>(size, view_.size() - offset);
      found = ResourceSection{ByteView(view_.data() + offset, size), 0};
      return false;
    });
    return found;
  }

  std::vector<ImportedModule> imports(std::size_t) const override {
    std::vector<ImportedModule> result;
    for (std::uint64_t n : needed_) {
      const char* name = dynamicString(n);
      result.push_back(ImportedModule{name ? name : "?", false, {}, 0});
    }
    return result;
  }

  // Each note is three words (name size, descriptor size, type), then the
  // name and the descriptor, each padded to the segment's alignment (4, or 8
  // for the 8-aligned property notes).
  std::vector<ImageNote> notes() const override {
    std::vector<ImageNote> result;
    for (const auto& segment : noteSegments_) {
      const std::uint64_t pad = segment.alignment == 8 ? 8 : 4;
      auto padded = [pad](std::uint64_t n) { return (n + pad - 1) / pad * pad; };
      std::uint64_t at = segment.offset, end = segment.offset + segment.fileSize;
      while (at < end && end - at >= 12 && view_.has(at, 12)) {
        std::uint64_t nameSize = u32(at), descriptorSize = u32(at + 4);
        std::uint64_t name = at + 12, descriptor = name + padded(nameSize);
        std::uint64_t next = descriptor + padded(descriptorSize);
        if (next > end || !view_.has(descriptor, descriptorSize)) break;
        ImageNote note;
        // The name's size counts its terminating zero.
        if (nameSize > 0) note.owner.assign(reinterpret_cast<const char*>(view_.data() + name), nameSize - 1);
        note.type = u32(at + 8);
        note.descriptor = view_.data() + descriptor;
        note.size = descriptorSize;
        result.push_back(std::move(note));
        at = next;
      }
    }
    return result;
  }

  std::vector<ExportedSymbol> exports() const override {
    std::vector<ExportedSymbol> result;
    for (std::uint64_t i = 1; i < symbolCount_ && i <= INT32_MAX; ++i) {
      Symbol s = symbol(i);
      if (s.exported) result.push_back(ExportedSymbol{static_cast<int>(i), s.name, s.value, false, {}});
    }
    return result;
  }

 private:
  std::uint64_t word(std::uint64_t offset) const { return view_.readWord(offset, is32_).value_or(0); }
  std::uint32_t u32(std::uint64_t offset) const { return view_.read<std::uint32_t>(offset).value_or(0); }

  void readProgramHeaders() {
    std::uint64_t table = word(is32_ ? 28 : 32);
    std::uint64_t entrySize = view_.read<std::uint16_t>(is32_ ? 42 : 54).value_or(0);
    std::uint64_t count = view_.read<std::uint16_t>(is32_ ? 44 : 56).value_or(0);
    if (entrySize < (is32_ ? 32u : 56u)) return;
    for (std::uint64_t i = 0; i < count; ++i) {
      std::uint64_t at = table + i * entrySize;
      if (!view_.has(at, entrySize)) break;
      std::uint32_t type = u32(at);
      // The 64-bit layout moves p_flags in front of p_offset.
      std::uint64_t offset = is32_ ? word(at + 4) : word(at + 8);
      std::uint64_t address = is32_ ? word(at + 8) : word(at + 16);
      std::uint64_t fileSize = is32_ ? word(at + 16) : word(at + 32);
      if (type == PT_LOAD) segments_.push_back({offset, address, fileSize});
      if (type == PT_DYNAMIC) dynamic_ = {offset, address, fileSize};
      if (type == PT_NOTE && view_.has(offset, fileSize))
        noteSegments_.push_back({offset, fileSize, is32_ ? word(at + 28) : word(at + 48)});
    }
  }

  void readDynamicSection() {
    std::uint64_t entrySize = is32_ ? 8 : 16;
    for (std::uint64_t i = 0; i < dynamic_.fileSize / entrySize; ++i) {
      std::uint64_t at = dynamic_.offset + i * entrySize;
      if (!view_.has(at, entrySize)) break;
      std::uint64_t tag = word(at), value = word(at + entrySize / 2);
      if (tag == DT_NULL) break;
      switch (tag) {
        case DT_NEEDED:
          needed_.push_back(value);
          break;
        case DT_HASH:
          sysvHash_ = fileOffset(value, false).value_or(0);
          break;
        case DT_GNU_HASH:
          gnuHash_ = fileOffset(value, false).value_or(0);
          break;
        case DT_STRTAB:
          strings_ = fileOffset(value, false).value_or(0);
          break;
        case DT_STRSZ:
          stringsSize_ = value;
          break;
        case DT_SYMTAB:
          symbols_ = fileOffset(value, false).value_or(0);
          break;
        case DT_SYMENT:
          symbolSize_ = value;
          break;
        default:
          break;
      }
    }
    // Offset 0 is the ELF header, never a table: it stands for "absent".
    if (symbolSize_ < (is32_ ? 16u : 24u)) symbols_ = 0;
    if (gnuHash_ && !view_.has(gnuHash_, 16)) gnuHash_ = 0;
    if (sysvHash_ && !view_.has(sysvHash_, 8)) sysvHash_ = 0;
  }

  const char* dynamicString(std::uint64_t index) const {
    if (!strings_ || index >= stringsSize_) return nullptr;
    return view_.cstr(strings_ + index, strings_ + stringsSize_);
  }

  // A string of the dynamic string table compared in place with `name`.
  bool dynamicStringIs(std::uint64_t index, const char* name) const {
    if (!strings_ || index >= stringsSize_) return false;
    return view_.compare(strings_ + index, name, false, strings_ + stringsSize_) == 0;
  }

  // File offset of a symbol table entry; nothing past the table or the file.
  std::optional<std::uint64_t> entry(std::uint64_t index) const {
    if (!symbols_ || index >= symbolCount_) return std::nullopt;
    std::uint64_t at = symbols_ + index * symbolSize_;
    if (!view_.has(at, is32_ ? 16 : 24)) return std::nullopt;
    return at;
  }

  // Whether the entry's binding, type, visibility and section make it an
  // export, its name aside.
  bool exportable(std::uint64_t at) const {
    std::uint8_t info = view_.read<std::uint8_t>(at + (is32_ ? 12 : 4)).value_or(0);
    std::uint8_t other = view_.read<std::uint8_t>(at + (is32_ ? 13 : 5)).value_or(0);
    std::uint16_t section = view_.read<std::uint16_t>(at + (is32_ ? 14 : 6)).value_or(0);
    std::uint8_t binding = info >> 4, type = info & 0xF, visibility = other & 3;
    return section != 0 && (binding == STB_GLOBAL || binding == STB_WEAK || binding == STB_GNU_UNIQUE) &&
           type != STT_SECTION && type != STT_FILE && visibility != STV_INTERNAL && visibility != STV_HIDDEN;
  }

  Symbol symbol(std::uint64_t index) const {
    Symbol s;
    auto at = entry(index);
    if (!at) return s;
    s.name = dynamicString(u32(*at));
    s.value = is32_ ? u32(*at + 4) : word(*at + 8);
    s.exported = s.name && *s.name && exportable(*at);
    return s;
  }

  bool matches(std::uint64_t index, const char* name) const {
    auto at = entry(index);
    return at && *name && exportable(*at) && dynamicStringIs(u32(*at), name);
  }

  // The GNU hash table: bucket and bloom counts, the index of the first
  // hashed symbol, the bloom words, the buckets, then one chain word per
  // hashed symbol whose low bit ends the chain.
  struct GnuTable {
    std::uint64_t bucketCount, firstSymbol, buckets, chains;
  };
  std::optional<GnuTable> gnuTable() const {
    std::uint64_t bucketCount = u32(gnuHash_), firstSymbol = u32(gnuHash_ + 4),
                  bloomCount = u32(gnuHash_ + 8);
    if (bucketCount == 0) return std::nullopt;
    std::uint64_t buckets = gnuHash_ + 16 + bloomCount * (is32_ ? 4 : 8);
    return GnuTable{bucketCount, firstSymbol, buckets, buckets + bucketCount * 4};
  }

  std::uint64_t lookUpGnuHash(const char* name) const {
    auto table = gnuTable();
    if (!table) return 0;
    std::uint32_t hash = gnuHash(name);
    std::uint64_t index = u32(table->buckets + 4ull * (hash % table->bucketCount));
    if (index < table->firstSymbol) return 0;
    for (; index < symbolCount_; ++index) {
      auto chain = view_.read<std::uint32_t>(table->chains + 4 * (index - table->firstSymbol));
      if (!chain) return 0;
      if ((*chain | 1) == (hash | 1) && matches(index, name)) return index;
      if (*chain & 1) return 0;
    }
    return 0;
  }

  std::uint64_t lookUpSysvHash(const char* name) const {
    std::uint64_t bucketCount = u32(sysvHash_);
    if (bucketCount == 0) return 0;
    std::uint64_t buckets = sysvHash_ + 8, chains = buckets + 4 * bucketCount;
    std::uint64_t index = u32(buckets + 4 * (sysvHash(name) % bucketCount));
    // Indices stay below the symbols the file really holds (the table's chain
    // count is only a claim), and a chain that comes back to an index it
    // passed is a loop: Brent's check, against the index at the last power of
    // two steps.
    std::uint64_t mark = index, lap = 1, run = 0;
    while (index != 0 && index < symbolCount_) {
      if (matches(index, name)) return index;
      index = u32(chains + 4 * index);
      if (index == mark) return 0;
      if (++run == lap) {
        mark = index;
        lap *= 2;
        run = 0;
      }
    }
    return 0;
  }

  // The dynamic symbol table carries no count: the SysV hash table's chain
  // count gives it, else the end of the last GNU hash chain, else the
  // section header of the table. Never more than the file could hold.
  std::uint64_t countSymbols() const {
    if (!symbols_) return 0;
    std::uint64_t count = 0;
    if (sysvHash_) {
      count = u32(sysvHash_ + 4);
    } else if (auto table = gnuHash_ ? gnuTable() : std::nullopt) {
      std::uint64_t last = 0;
      for (std::uint64_t b = 0; b < table->bucketCount && view_.has(table->buckets + 4 * b, 4); ++b)
        last = std::max<std::uint64_t>(last, u32(table->buckets + 4 * b));
      count = table->firstSymbol;
      if (last >= table->firstSymbol) {
        for (; view_.has(table->chains + 4 * (last - table->firstSymbol), 4); ++last)
          if (u32(table->chains + 4 * (last - table->firstSymbol)) & 1) break;
        count = last + 1;
      }
    } else {
      count = dynsymSectionCount();
    }
    return std::min<std::uint64_t>(count, (view_.size() - symbols_) / symbolSize_);
  }

  std::uint64_t dynsymSectionCount() const {
    std::uint64_t count = 0;
    forEachSectionHeader([&](std::uint64_t at) {
      if (u32(at + 4) != SHT_DYNSYM) return true;
      count = sectionField(at, 16, 24) == symbols_ ? sectionField(at, 20, 32) / symbolSize_ : 0;
      return false;
    });
    return count;
  }

  // A section header's word field at its offset in the 32- or 64-bit layout.
  std::uint64_t sectionField(std::uint64_t header, std::uint64_t at32, std::uint64_t at64) const {
    return word(header + (is32_ ? at32 : at64));
  }

  std::uint64_t sectionHeaderSize() const {
    std::uint64_t size = view_.read<std::uint16_t>(is32_ ? 46 : 58).value_or(0);
    return size < (is32_ ? 40u : 64u) ? 0 : size;
  }

  // File offset of section header `index`, when the file holds all of it.
  std::optional<std::uint64_t> sectionHeader(std::uint64_t index) const {
    std::uint64_t size = sectionHeaderSize();
    std::uint64_t at = word(is32_ ? 32 : 40) + index * size;
    if (size == 0 || index >= view_.read<std::uint16_t>(is32_ ? 48 : 60).value_or(0) || !view_.has(at, size))
      return std::nullopt;
    return at;
  }

  // Calls visit with each section header's offset until it answers false.
  template <typename Visit>
  void forEachSectionHeader(Visit visit) const {
    for (std::uint64_t i = 0;; ++i) {
      auto at = sectionHeader(i);
      if (!at || !visit(*at)) return;
    }
  }

  bool is32_ = false;
  unsigned machine_ = 0;
  std::vector<Segment> segments_;
  Segment dynamic_{0, 0, 0};
  std::vector<NoteSegment> noteSegments_;
  std::vector<std::uint64_t> needed_;
  // File offsets of the tables; 0 when absent.
  std::uint64_t strings_ = 0, stringsSize_ = 0, symbols_ = 0, symbolSize_ = 0, sysvHash_ = 0, gnuHash_ = 0;
  std::uint64_t symbolCount_ = 0;
};

}  // namespace

std::unique_ptr<ImageParser> parseElfImage(ByteView view) {
  auto image = std::make_unique<ElfImage>(view);
  image->parse();
  return image;
}

}  // namespace Halvex::Tessaran::PAL::detail
