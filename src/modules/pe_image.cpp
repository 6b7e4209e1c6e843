// Reader for the Windows module format (PE32 and PE32+) as stored in a file.
#include <algorithm>
#include <map>

#include "modules/image_parser.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {

constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr std::uint64_t kFileHeaderSize = 20;
constexpr std::uint64_t kSectionHeaderSize = 40;
constexpr std::uint64_t kImportDescriptorSize = 20;
constexpr std::uint64_t kDelayDescriptorSize = 32;

enum Directory {
  kExportDirectory = 0,
  kImportDirectory = 1,
  kResourceDirectory = 2,
  kCertificateDirectory = 4,
  kDelayImportDirectory = 13
};
constexpr std::uint64_t kChecksumField = 64;

struct DataDirectory {
  std::uint32_t address = 0;  // 0: absent
  std::uint32_t size = 0;
};

struct Section {
  std::uint32_t virtualAddress, rawSize, rawPointer;
};

// The fields of the export directory this reader uses; the three tables are
// the bytes from their start to the end of the section holding them.
struct ExportTables {
  std::uint32_t base = 0;
  std::uint32_t functionCount = 0;
  std::uint32_t nameCount = 0;
  ByteView functions, names, nameOrdinals;
};

class PeImage : public ImageParser {
 public:
  PeImage(ByteView view, std::uint64_t fileHeader) : ImageParser(view, ModuleImage::ValidImage) {
    machine_ = view.read<std::uint16_t>(fileHeader).value_or(0);
    is32_ = machine_ != 0x8664;
    std::uint64_t sectionCount = view.read<std::uint16_t>(fileHeader + 2).value_or(0);
    optionalHeader_ = fileHeader + kFileHeaderSize;
    optionalSize_ = view.read<std::uint16_t>(fileHeader + 16).value_or(0);
    // The section table starts right after the optional header as sized by
    // the file header; entries past the end of the file are dropped.
    for (std::uint64_t i = 0; i < sectionCount; ++i) {
      std::uint64_t header = optionalHeader_ + optionalSize_ + i * kSectionHeaderSize;
      if (!view.has(header, kSectionHeaderSize)) break;
      sections_.push_back({*view.read<std::uint32_t>(header + 12), *view.read<std::uint32_t>(header + 16),
                           *view.read<std::uint32_t>(header + 20)});
    }
    imageBase_ = is32_ ? optional<std::uint32_t>(28).value_or(0) : optional<std::uint64_t>(24).value_or(0);
    headersSize_ = optional<std::uint32_t>(60).value_or(0);
    directories_ = is32_ ? 96 : 112;
    directoryCount_ = optional<std::uint32_t>(directories_ - 4).value_or(0);
    exports_ = directory(kExportDirectory);
    imports_ = directory(kImportDirectory);
    resources_ = directory(kResourceDirectory);
    delayImports_ = directory(kDelayImportDirectory);
  }

  ModuleImage::Format format() const override { return ModuleImage::WindowsModule; }
  bool is32Bit() const override { return is32_; }
  unsigned machine() const override { return machine_; }

  bool linkerVersion(int& major, int& minor) const override {
    auto ma = optional<std::uint8_t>(2), mi = optional<std::uint8_t>(3);
    if (!ma || !mi) return false;
    major = *ma;
    minor = *mi;
    return true;
  }

  std::optional<std::uint64_t> fileOffset(std::uint64_t address, bool isAbsolute) const override {
    ByteView bytes = region(address, isAbsolute);
    if (bytes.size() == 0) return std::nullopt;
    return static_cast<std::uint64_t>(bytes.data() - view_.data());
  }

  bool importsModule(const char* name) const override {
    bool found = false;
    forEachDescriptor([&](const Descriptor& d) {
      found =
          compareString(d.name, d.absolute, name, true) == 0 && firstThunk(d.lookupTable, d.absolute) != 0;
      return !found;
    });
    return found;
  }

  int exportIndex(const char* name) const override {
    auto tables = exportTables();
    if (!tables || tables->nameCount == 0 || tables->names.size() == 0 || tables->nameOrdinals.size() == 0)
      return -1;
    std::int64_t low = 0, high = std::int64_t{tables->nameCount} - 1;
    while (low <= high) {
      std::int64_t middle = low + (high - low) / 2;
      auto address = tables->names.read<std::uint32_t>(4ull * static_cast<std::uint64_t>(middle));
      // Bytes compare as unsigned values, the order the name table is sorted in.
      auto order = address ? compareString(*address, false, name) : std::nullopt;
      if (!order) return -1;
      if (*order == 0) return middle <= INT32_MAX ? static_cast<int>(middle) : -1;
      if (*order > 0)
        high = middle - 1;
      else
        low = middle + 1;
    }
    return -1;
  }

  int exportOrdinal(int index) const override {
    auto tables = exportTables();
    if (!tables || index < 0 || static_cast<std::uint32_t>(index) >= tables->nameCount) return -1;
    auto ordinal = tables->nameOrdinals.read<std::uint16_t>(2ull * index);
    if (!ordinal) return -1;
    std::int64_t value = std::int64_t{*ordinal} + tables->base;
    return value <= INT32_MAX ? static_cast<int>(value) : -1;
  }

  std::uint32_t exportFunction(int ordinal, bool wantForwarder) const override {
    auto tables = exportTables();
    if (!tables) return kNoExport;
    std::int64_t index = std::int64_t{ordinal} - tables->base;
    if (index < 0 || index >= tables->functionCount) return kNoExport;
    std::uint32_t address = tables->functions.read<std::uint32_t>(4ull * index).value_or(0);
    if (address == 0) return kNoExport;
    bool forwarder = isForwarder(address);
    if (wantForwarder) return forwarder ? address - exports_.address : kNoExport;
    return forwarder ? kNoExport : address;
  }

  std::optional<ResourceSection> resourceSection() const override {
    if (resources_.address == 0) return std::nullopt;
    ByteView bytes = region(resources_.address, false);
    if (bytes.size() == 0) return std::nullopt;
    return ResourceSection{bytes, resources_.address};
  }

  std::optional<CertificateTable> certificateTable() const override {
    const std::uint64_t entry = directories_ + 8ull * kCertificateDirectory;
    if (!optional<std::uint32_t>(kChecksumField) || !optional<std::uint64_t>(entry)) return std::nullopt;
    const DataDirectory table = directory(kCertificateDirectory);
    return CertificateTable{optionalHeader_ + kChecksumField, optionalHeader_ + entry, table.address,
                            table.size};
  }

  std::vector<ImportedModule> imports(std::size_t maxEntries) const override {
    std::vector<ImportedModule> result;
    forEachDescriptor([&](const Descriptor& d) {
      ImportedModule module;
      const char* name = string(d.name, d.absolute);
      module.name = name ? name : "?";
      module.delayLoaded = d.delayLoaded;
      std::uint64_t entrySize = is32_ ? 4 : 8;
      ByteView list = region(d.lookupTable, d.absolute);
      for (std::uint64_t i = 0; i < list.size() / entrySize; ++i) {
        std::uint64_t entry = list.readWord(i * entrySize, is32_).value_or(0);
        if (entry == 0) break;
        ++module.entryCount;
        if (module.firstEntries.size() < maxEntries)
          module.firstEntries.push_back(entryText(entry, d.absolute));
      }
      result.push_back(std::move(module));
      return true;
    });
    return result;
  }

  std::vector<ExportedSymbol> exports() const override {
    std::vector<ExportedSymbol> result;
    auto tables = exportTables();
    if (!tables) return result;
    std::map<std::uint32_t, std::string> names;  // function index -> first name
    std::uint64_t nameCount = std::min<std::uint64_t>(tables->nameCount, tables->names.size() / 4);
    for (std::uint32_t i = 0; i < nameCount; ++i) {
      const char* name = exportName(*tables, i);
      auto index = tables->nameOrdinals.read<std::uint16_t>(2ull * i);
      if (name && index) names.emplace(*index, name);
    }
    std::uint64_t count = std::min<std::uint64_t>(tables->functionCount, tables->functions.size() / 4);
    for (std::uint32_t i = 0; i < count; ++i) {
      std::uint32_t address = tables->functions.read<std::uint32_t>(4ull * i).value_or(0);
      if (address == 0) continue;
      ExportedSymbol symbol;
      std::int64_t ordinal = std::int64_t{tables->base} + i;
      symbol.ordinal = ordinal <= INT32_MAX ? static_cast<int>(ordinal) : -1;
      if (auto it = names.find(i); it != names.end()) symbol.name = it->second;
      symbol.forwarder = isForwarder(address);
      if (symbol.forwarder) {
        const char* target = string(address, false);
        symbol.forwardedTo = target ? target : "?";
      } else {
        symbol.address = address;
      }
      result.push_back(std::move(symbol));
    }
    return result;
  }

 private:
  // Field of the optional header, when it lies inside both the header's
  // declared size and the file.
  template <typename T>
  std::optional<T> optional(std::uint64_t offset) const {
    if (offset + sizeof(T) > optionalSize_) return std::nullopt;
    return view_.read<T>(optionalHeader_ + offset);
  }

  DataDirectory directory(unsigned index) const {
    DataDirectory d;
    std::uint64_t at = directories_ + 8ull * index;
    // Used only when counted, wholly inside the optional header, and not 0.
    if (index >= directoryCount_) return d;
    auto address = optional<std::uint32_t>(at);
    auto size = optional<std::uint32_t>(at + 4);
    if (address && size) d = {*address, *size};
    return d;
  }

  // The bytes from an address to the end of the headers or of the section
  // data holding it; empty when no part of the file holds it.
  ByteView region(std::uint64_t address, bool isAbsolute) const {
    if (isAbsolute) {
      if (address < imageBase_) return {};
      address -= imageBase_;
    }
    std::uint64_t offset = 0, end = 0;
    if (address < headersSize_) {
      offset = address;
      end = headersSize_;
    } else {
      auto s = std::find_if(sections_.begin(), sections_.end(), [&](const Section& s) {
        return address >= s.virtualAddress && address - s.virtualAddress < s.rawSize;
      });
      if (s == sections_.end()) return {};
      offset = address - s->virtualAddress + s->rawPointer;
      end = std::uint64_t{s->rawPointer} + s->rawSize;
    }
    end = std::min<std::uint64_t>(end, view_.size());
    if (offset >= end) return {};
    return ByteView(view_.data() + offset, end - offset);
  }

  const char* string(std::uint64_t address, bool isAbsolute) const {
    auto offset = fileOffset(address, isAbsolute);
    return offset ? view_.cstr(*offset) : nullptr;
  }

  // The string at an address compared in place with `s` (see ByteView::compare).
  std::optional<int> compareString(std::uint64_t address, bool isAbsolute, const char* s,
                                   bool ignoreCase = false) const {
    auto offset = fileOffset(address, isAbsolute);
    return offset ? view_.compare(*offset, s, ignoreCase) : std::nullopt;
  }

  std::uint64_t firstThunk(std::uint64_t table, bool isAbsolute) const {
    return table ? region(table, isAbsolute).readWord(0, is32_).value_or(0) : 0;
  }

  std::string entryText(std::uint64_t entry, bool isAbsolute) const {
    std::uint64_t ordinalFlag = is32_ ? 0x80000000ull : 0x8000000000000000ull;
    if (entry & ordinalFlag) return "#" + std::to_string(entry & 0xFFFF);
    // A hint/name entry: the 16-bit hint, then the name.
    const char* name = string((entry & 0x7FFFFFFF) + 2, isAbsolute);
    return name ? name : "?";
  }

  bool isForwarder(std::uint32_t address) const {
    return address >= exports_.address && address - exports_.address < exports_.size;
  }

  std::optional<ExportTables> exportTables() const {
    if (exports_.address == 0) return std::nullopt;
    ByteView directory = region(exports_.address, false);
    auto field = [&](std::uint64_t at) { return directory.read<std::uint32_t>(at); };
    auto base = field(16), functionCount = field(20), nameCount = field(24), functions = field(28),
         names = field(32), nameOrdinals = field(36);
    if (!nameOrdinals) return std::nullopt;  // the directory runs out of its section
    // Address 0 means no table; translated, it would land in the headers.
    auto table = [&](std::uint32_t address) { return address ? region(address, false) : ByteView(); };
    return ExportTables{*base,         *functionCount,      *nameCount, table(*functions),
                        table(*names), table(*nameOrdinals)};
  }

  const char* exportName(const ExportTables& tables, std::uint32_t index) const {
    auto address = tables.names.read<std::uint32_t>(4ull * index);
    return address ? string(*address, false) : nullptr;
  }

  struct Descriptor {
    std::uint64_t name;
    std::uint64_t lookupTable;  // name table, or the address table when that is 0
    bool absolute;
    bool delayLoaded;
  };

  // Calls visit for each import descriptor, then each delay-import
  // descriptor, until visit answers false. A walk stops at a descriptor whose
  // name field is 0 or that runs out of the section holding the table.
  template <typename Visit>
  void forEachDescriptor(Visit visit) const {
    if (imports_.address) {
      ByteView table = region(imports_.address, false);
      for (std::uint64_t at = 0; at < table.size(); at += kImportDescriptorSize) {
        auto nameTable = table.read<std::uint32_t>(at);
        auto name = table.read<std::uint32_t>(at + 12);
        auto addressTable = table.read<std::uint32_t>(at + 16);
        if (!name || *name == 0 || !addressTable) break;
        if (!visit(Descriptor{*name, *nameTable ? *nameTable : *addressTable, false, false})) return;
      }
    }
    if (delayImports_.address) {
      ByteView table = region(delayImports_.address, false);
      for (std::uint64_t at = 0; at < table.size(); at += kDelayDescriptorSize) {
        auto attributes = table.read<std::uint32_t>(at);
        auto name = table.read<std::uint32_t>(at + 4);
        auto nameTable = table.read<std::uint32_t>(at + 16);
        if (!name || *name == 0 || !nameTable) break;
        // Bit 0 clear: an old-style descriptor holding absolute addresses.
        bool absolute = (*attributes & 1) == 0;
        if (!visit(Descriptor{*name, *nameTable, absolute, true})) return;
      }
    }
  }

  unsigned machine_ = 0;
  bool is32_ = true;
  std::vector<Section> sections_;
  std::uint64_t optionalHeader_ = 0;
  std::uint64_t optionalSize_ = 0;
  std::uint64_t imageBase_ = 0;
  std::uint64_t headersSize_ = 0;
  std::uint64_t directories_ = 0;
  std::uint32_t directoryCount_ = 0;
  DataDirectory exports_, imports_, resources_, delayImports_;
};

}  // namespace

std::unique_ptr<ImageParser> parsePeImage(ByteView view) {
  view = view.withByteOrder(false);
  auto moduleHeader = view.read<std::uint32_t>(0x3C);
  // The signature and the whole file header must be in the file.
  if (!moduleHeader || view.read<std::uint32_t>(*moduleHeader) != kPeSignature ||
      !view.has(std::uint64_t{*moduleHeader} + 4, kFileHeaderSize))
    return std::make_unique<ImageParser>(view, ModuleImage::BadModuleHeader);
  return std::make_unique<PeImage>(view, std::uint64_t{*moduleHeader} + 4);
}

}  // namespace Halvex::Tessaran::PAL::detail
