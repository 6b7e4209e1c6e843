// Tests of the module image reader on modules built by real toolchains, on the
// runtime DLLs the cross toolchains ship, and on small hand-made files. The
// binutils readers (objdump, readelf) are the oracle for real-world files.
#include "pal/module_image.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "modules/image_parser.h"
#include "modules/plugin_contract.h"
#include "platform/win_error.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
namespace detail = Halvex::Tessaran::PAL::detail;
using Halvex::Tessaran::PAL::ModuleImage;

constexpr DWORD kNone = 0xFFFFFFFFu;

struct CloseImage {
  void operator()(ModuleImage* image) const { image->close(); }
};
using Image = std::unique_ptr<ModuleImage, CloseImage>;

Image openImage(const fs::path& path) {
  return Image(ModuleImage::open(path.c_str()));
}

fs::path fixture(const std::string& name) {
  return fs::path(KVPAL_MODULE_FIXTURES) / name;
}

std::vector<std::uint8_t> readBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t{b[at + 3]} << 24;
}
void putLe32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Output of a command that must succeed.
std::string run(const std::string& command, int* exitCode = nullptr) {
  const kvpal::test::ChildOutcome r = kvpal::test::runChild({"/bin/sh", "-c", command});
  if (exitCode)
    *exitCode = r.exitCode;
  else
    EXPECT_EQ(r.exitCode, 0) << command;
  return r.output;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

std::string upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

class ModuleFiles : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = tmp_.path(); }
  fs::path write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    writeBytes(dir_ / name, bytes);
    return dir_ / name;
  }
  kvpal::test::TempDir tmp_{"kvpal-module"};
  fs::path dir_;
};

// ---------------------------------------------------------------------------
// What objdump reports about a Windows module.

struct PeFacts {
  std::uint64_t imageBase = 0;
  std::uint32_t exportDirectory = 0;
  int linkerMajor = -1, linkerMinor = -1;
  struct Section {
    std::uint64_t rva, size, fileOffset;
  };
  std::vector<Section> sections;
  struct Export {
    int ordinal;
    std::uint32_t rva;
    bool forwarder;
    std::string target;
  };
  std::vector<Export> addressTable;
  std::vector<std::pair<int, std::string>> names;  // function index, name
  struct Import {
    std::string module;
    std::uint32_t descriptor, nameTable, addressTable;
    std::vector<std::string> members;
  };
  std::vector<Import> imports;

  std::optional<std::uint64_t> fileOffset(std::uint64_t rva) const {
    for (const auto& s : sections)
      if (rva >= s.rva && rva < s.rva + s.size) return rva - s.rva + s.fileOffset;
    return std::nullopt;
  }
};

PeFacts readObjdump(const fs::path& file) {
  PeFacts facts;
  std::smatch m;
  static const std::regex imageBase(R"(^ImageBase\s+([0-9a-f]+)$)"), major(R"(^MajorLinkerVersion\s+(\d+)$)"),
      minor(R"(^MinorLinkerVersion\s+(\d+)$)"),
      descriptor(R"(^ ([0-9a-f]{8})\t([0-9a-f]{8}) [0-9a-f]{8} [0-9a-f]{8} ([0-9a-f]{8}) ([0-9a-f]{8})$)"),
      dllName(R"(^\tDLL Name: (.*)$)"), member(R"(^\t[0-9a-f]+\t\s*\d+\s+(\S+))"),
      directory0(R"(^Entry 0 ([0-9a-f]+) [0-9a-f]+ Export Directory)"),
      section(R"(^\s*\d+ \S+\s+([0-9a-f]+)\s+([0-9a-f]+)\s+[0-9a-f]+\s+([0-9a-f]+)\s+2\*\*\d+$)");
  // std::regex is slow: each line is matched only against the pattern its
  // first characters call for.
  bool inNames = false, inMembers = false;
  for (const auto& line : lines(run(std::string(KVPAL_PE_OBJDUMP) + " -p '" + file.string() + "'"))) {
    auto starts = [&](const char* prefix) { return line.rfind(prefix, 0) == 0; };
    if (line.empty()) inNames = inMembers = false;
    if (starts("[Ordinal/Name Pointer] Table")) inNames = true;
    if (starts("\tvma:  Hint/Ord")) {
      inMembers = true;
      continue;
    }
    if (starts("ImageBase") && std::regex_match(line, m, imageBase))
      facts.imageBase = std::stoull(m[1], nullptr, 16);
    if (starts("Entry 0 ") && std::regex_search(line, m, directory0))
      facts.exportDirectory = static_cast<std::uint32_t>(std::stoull(m[1], nullptr, 16));
    if (starts("MajorLinkerVersion") && std::regex_match(line, m, major)) facts.linkerMajor = std::stoi(m[1]);
    if (starts("MinorLinkerVersion") && std::regex_match(line, m, minor)) facts.linkerMinor = std::stoi(m[1]);
    if (starts(" 0") && line.size() > 9 && line[9] == '\t' && std::regex_match(line, m, descriptor)) {
      facts.imports.push_back({"",
                               static_cast<std::uint32_t>(std::stoul(m[1], nullptr, 16)),
                               static_cast<std::uint32_t>(std::stoul(m[2], nullptr, 16)),
                               static_cast<std::uint32_t>(std::stoul(m[4], nullptr, 16)),
                               {}});
    }
    if (starts("\tDLL Name: ") && std::regex_match(line, m, dllName) && !facts.imports.empty())
      facts.imports.back().module = m[1];
    if (inMembers && std::regex_search(line, m, member) && !facts.imports.empty())
      facts.imports.back().members.push_back(m[1]);
    // Thousands of these in the runtime DLLs: scanned without regex.
    if (!starts("\t[")) continue;
    int index = 0, ordinal = 0, end = 0;
    unsigned rva = 0;
    char kind[16] = {};
    if (std::sscanf(line.c_str(), "\t[%d] +base[%d] %x %15s RVA%n", &index, &ordinal, &rva, kind, &end) ==
            4 &&
        end > 0) {
      std::size_t arrow = line.find(" -- ");
      facts.addressTable.push_back({ordinal, rva, std::strcmp(kind, "Forwarder") == 0,
                                    arrow == std::string::npos ? "" : line.substr(arrow + 4)});
    } else if (inNames && std::sscanf(line.c_str(), "\t[%d] %n", &index, &end) == 1 && end > 0) {
      facts.names.emplace_back(index, line.substr(end));
    }
  }
  // The last descriptor objdump lists is the all-zero terminator.
  facts.imports.erase(std::remove_if(facts.imports.begin(), facts.imports.end(),
                                     [](const PeFacts::Import& i) { return i.module.empty(); }),
                      facts.imports.end());
  for (const auto& line : lines(run(std::string(KVPAL_PE_OBJDUMP) + " -h '" + file.string() + "'")))
    if (std::regex_match(line, m, section))
      facts.sections.push_back({std::stoull(m[2], nullptr, 16) - facts.imageBase,
                                std::stoull(m[1], nullptr, 16), std::stoull(m[3], nullptr, 16)});
  return facts;
}

// Several tests ask about the same files.
const PeFacts& objdump(const fs::path& file) {
  static std::map<fs::path, PeFacts> cache;
  auto it = cache.find(file);
  if (it == cache.end()) it = cache.emplace(file, readObjdump(file)).first;
  return it->second;
}

std::vector<fs::path> windowsModules() {
  std::vector<fs::path> files;
  for (const char* tag : {"pe64", "pe32"})
    for (const char* base :
         {"plugin", "plugin_jump", "plugin_old", "forward", "delay", "crtdebug", "crtboth"})
      files.push_back(fixture(std::string(base) + "_" + tag + ".dll"));
  // The DLLs Debian's mingw-w64 runtime packages ship.
  std::vector<fs::path> dirs = {"/usr/x86_64-w64-mingw32/lib", "/usr/i686-w64-mingw32/lib"};
  std::error_code ec;
  for (const char* gcc : {"/usr/lib/gcc/x86_64-w64-mingw32", "/usr/lib/gcc/i686-w64-mingw32"})
    for (const auto& version : fs::directory_iterator(gcc, ec)) dirs.push_back(version.path());
  for (const auto& dir : dirs)
    for (const auto& entry : fs::directory_iterator(dir, ec))
      if (entry.path().extension() == ".dll") files.push_back(entry.path());
  return files;
}

// ---------------------------------------------------------------------------
// Opening and the parse status.

TEST_F(ModuleFiles, OpenFailuresCarryTheSystemErrorAndAnswerNothing) {
  fs::create_directory(dir_ / "folder");
  fs::path empty = write("empty.dll", {});
  struct Case {
    std::string path;
    DWORD error;
  } cases[] = {
      {(dir_ / "missing.dll").string(), detail::ERROR_FILE_NOT_FOUND},
      {"", detail::ERROR_PATH_NOT_FOUND},
      {(dir_ / "folder").string(), detail::ERROR_ACCESS_DENIED},
      {empty.string(), detail::ERROR_FILE_INVALID},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    Image image(ModuleImage::open(c.path.c_str()));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->openError(), c.error);
    EXPECT_EQ(image->parseStatus(), ModuleImage::NotAnImage);
    EXPECT_EQ(image->addressOf(0, false), nullptr);
    EXPECT_FALSE(image->importsModule("KERNEL32.dll"));
    EXPECT_EQ(image->exportIndex("kvrxEntryPoint"), -1);
    EXPECT_EQ(image->exportFunction(1, false), kNone);
    EXPECT_EQ(image->exportCode("kvrxEntryPoint"), nullptr);
  }
}

TEST_F(ModuleFiles, ParseStatusFormatAndLayoutByKindOfFile) {
  auto dll = readBytes(fixture("plugin_pe64.dll"));
  std::uint32_t moduleHeader = le32(dll, 0x3C);
  auto brokenSignature = dll;
  brokenSignature[moduleHeader + 1] = 'X';
  auto headerCutShort = std::vector<std::uint8_t>(dll.begin(), dll.begin() + moduleHeader + 12);
  auto moduleHeaderOutside = std::vector<std::uint8_t>(dll.begin(), dll.begin() + 0x80);
  putLe32(moduleHeaderOutside, 0x3C, 0x7FFFFFF0);
  auto elf = readBytes(fixture("libplugin_gnu_x64.so"));
  auto elfBadClass = elf;
  elfBadClass[4] = 3;
  auto elfCutShort = std::vector<std::uint8_t>(elf.begin(), elf.begin() + 40);
  auto elfCore = elf;
  elfCore[16] = 4;  // ET_CORE

  struct Case {
    fs::path file;
    ModuleImage::ParseStatus status;
    ModuleImage::Format format;
    bool is32, bigEndian;
    unsigned machine;
  } cases[] = {
      {fixture("plugin_pe64.dll"), ModuleImage::ValidImage, ModuleImage::WindowsModule, false, false, 0x8664},
      {fixture("plugin_pe32.dll"), ModuleImage::ValidImage, ModuleImage::WindowsModule, true, false, 0x014C},
      {write("readme.txt", {'h', 'e', 'l', 'l', 'o', '\n'}), ModuleImage::NotAnImage,
       ModuleImage::UnknownFormat, false, false, 0},
      {write("one.bin", {'M'}), ModuleImage::NotAnImage, ModuleImage::UnknownFormat, false, false, 0},
      // An x86 COFF object starts with its machine 0x014C; the x64 machine
      // code is not among the object-file codes.
      {fixture("object_pe32.obj"), ModuleImage::ObjectFile, ModuleImage::UnknownFormat, false, false, 0},
      {fixture("object_pe64.obj"), ModuleImage::NotAnImage, ModuleImage::UnknownFormat, false, false, 0},
      {write("mz.dll", {'M', 'Z'}), ModuleImage::BadModuleHeader, ModuleImage::UnknownFormat, false, false,
       0},
      {write("signature.dll", brokenSignature), ModuleImage::BadModuleHeader, ModuleImage::UnknownFormat,
       false, false, 0},
      {write("cut.dll", headerCutShort), ModuleImage::BadModuleHeader, ModuleImage::UnknownFormat, false,
       false, 0},
      {write("outside.dll", moduleHeaderOutside), ModuleImage::BadModuleHeader, ModuleImage::UnknownFormat,
       false, false, 0},
      {fixture("libplugin_gnu_x64.so"), ModuleImage::ValidImage, ModuleImage::ElfModule, false, false, 62},
      {fixture("libplugin_i386.so"), ModuleImage::ValidImage, ModuleImage::ElfModule, true, false, 3},
      {fixture("libplugin_s390x.so"), ModuleImage::ValidImage, ModuleImage::ElfModule, false, true, 22},
      {fixture("libplugin_s390.so"), ModuleImage::ValidImage, ModuleImage::ElfModule, true, true, 22},
      {fixture("plugin_s390x.o"), ModuleImage::ObjectFile, ModuleImage::ElfModule, false, true, 22},
      {write("badclass.so", elfBadClass), ModuleImage::BadModuleHeader, ModuleImage::ElfModule, false, false,
       0},
      {write("elfcut.so", elfCutShort), ModuleImage::BadModuleHeader, ModuleImage::ElfModule, false, false,
       0},
      {write("core", elfCore), ModuleImage::NotAnImage, ModuleImage::ElfModule, false, false, 62},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file.filename().string());
    Image image = openImage(c.file);
    EXPECT_EQ(image->openError(), 0u);
    EXPECT_EQ(image->parseStatus(), c.status);
    EXPECT_EQ(image->format(), c.format);
    EXPECT_EQ(image->is32Bit(), c.is32);
    EXPECT_EQ(image->isBigEndian(), c.bigEndian);
    EXPECT_EQ(image->machine(), c.machine);
    if (c.status != ModuleImage::ValidImage) {
      EXPECT_FALSE(image->importsModule("KERNEL32.dll"));
      EXPECT_EQ(image->exportIndex("kvrxEntryPoint"), -1);
    }
  }
}

// ---------------------------------------------------------------------------
// Windows modules against objdump.

TEST(PeImage, HeadersAndAddressTranslationFollowTheLayout) {
  for (const char* name : {"plugin_pe64.dll", "plugin_pe32.dll"}) {
    SCOPED_TRACE(name);
    const PeFacts& facts = objdump(fixture(name));
    Image image = openImage(fixture(name));
    const auto* view = static_cast<const std::uint8_t*>(image->addressOf(0, false));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view[0], 'M');

    // The linker version and image base sit at different offsets in the two
    // layouts.
    int major = -1, minor = -1;
    ASSERT_TRUE(image->linkerVersion(major, minor));
    EXPECT_EQ(major, facts.linkerMajor);
    EXPECT_EQ(minor, facts.linkerMinor);

    ASSERT_FALSE(facts.addressTable.empty());
    for (const auto& e : facts.addressTable) {
      auto expected = facts.fileOffset(e.rva);
      ASSERT_TRUE(expected.has_value());
      EXPECT_EQ(image->addressOf(e.rva, false), view + *expected);
      EXPECT_EQ(image->addressOf(facts.imageBase + e.rva, true), view + *expected);
    }
    EXPECT_EQ(image->addressOf(facts.addressTable[0].rva, true), nullptr) << "below the image base";
    EXPECT_EQ(image->addressOf(0x7FFFFFF0, false), nullptr) << "beyond every section";
  }
}

TEST(PeImage, ExportsMatchObjdumpOnEveryModule) {
  for (const auto& file : windowsModules()) {
    SCOPED_TRACE(file.string());
    const PeFacts& facts = objdump(file);
    Image image = openImage(file);
    ASSERT_EQ(image->parseStatus(), ModuleImage::ValidImage);
    ASSERT_FALSE(facts.addressTable.empty());
    int base = facts.addressTable[0].ordinal;

    std::map<int, const PeFacts::Export*> byOrdinal;
    for (const auto& e : facts.addressTable) byOrdinal[e.ordinal] = &e;
    for (const auto& [functionIndex, name] : facts.names) {
      int index = image->exportIndex(name.c_str());
      ASSERT_GE(index, 0) << name;
      EXPECT_EQ(image->exportOrdinal(index), base + functionIndex) << name;
    }
    EXPECT_EQ(image->exportOrdinal(static_cast<int>(facts.names.size())), -1);

    for (const auto& e : facts.addressTable) {
      if (e.rva == 0) continue;
      if (e.forwarder) {
        EXPECT_EQ(image->exportFunction(e.ordinal, false), kNone);
        EXPECT_EQ(image->exportFunction(e.ordinal, true), e.rva - facts.exportDirectory);
      } else {
        EXPECT_EQ(image->exportFunction(e.ordinal, false), e.rva);
        EXPECT_EQ(image->exportFunction(e.ordinal, true), kNone);
      }
    }
    EXPECT_EQ(image->exportFunction(base - 1, false), kNone);
    EXPECT_EQ(image->exportFunction(base + static_cast<int>(facts.addressTable.size()), false), kNone);

    // The listing the kvpal tool prints has the same ordinals and targets.
    auto listed = detail::ModuleImageAccess::parser(*image).exports();
    std::size_t real = std::count_if(facts.addressTable.begin(), facts.addressTable.end(),
                                     [](const PeFacts::Export& e) { return e.rva != 0; });
    EXPECT_EQ(listed.size(), real);
    for (const auto& s : listed) {
      ASSERT_TRUE(byOrdinal.count(s.ordinal)) << s.ordinal;
      EXPECT_EQ(s.forwarder, byOrdinal[s.ordinal]->forwarder);
      if (s.forwarder)
        EXPECT_EQ(s.forwardedTo, byOrdinal[s.ordinal]->target);
      else
        EXPECT_EQ(s.address, byOrdinal[s.ordinal]->rva);
    }
  }
}

TEST(PeImage, ExportNameSearch) {
  struct Case {
    const char* name;
    bool found;
  } cases[] = {
      {"kvrxEntryPoint", true},
      {"kvrxGetApiVersion", true},
      {"kvrx", true},
      {"Aardvark", true},
      {"zebra", true},
      {"\xC3\xA9"
       "clair",
       true},  // sorts last: names compare as unsigned bytes
      {"exportedData", true},
      {"kvrxEntry", false},
      {"kvrxEntryPoint2", false},
      {"KVRXENTRYPOINT", false},
      {"notExported", false},
      {"", false},
      {"\x01", false},
      {"\xFF", false},
  };
  for (const char* file : {"plugin_pe64.dll", "plugin_pe32.dll"}) {
    Image image = openImage(fixture(file));
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(file) + " " + c.name);
      EXPECT_EQ(image->exportIndex(c.name) >= 0, c.found);
      EXPECT_EQ(image->exportCode(c.name) != nullptr, c.found);
    }
    EXPECT_EQ(image->exportIndex(nullptr), -1);
  }
}

TEST(PeImage, ExportCodeIsTheFunctionInTheFile) {
  for (const char* file : {"plugin_pe64.dll", "plugin_pe32.dll"}) {
    SCOPED_TRACE(file);
    Image image = openImage(fixture(file));
    auto code = static_cast<const std::uint8_t*>(image->exportCode("kvrxGetApiVersion"));
    ASSERT_NE(code, nullptr);
    ASSERT_GE(image->availableBytes(code), 6u);
    EXPECT_EQ(std::memcmp(code, detail::kVersionMarker, 6), 0);
    int ordinal = image->exportOrdinal(image->exportIndex("kvrxGetApiVersion"));
    EXPECT_EQ(code, image->addressOf(image->exportFunction(ordinal, false), false));
    EXPECT_EQ(
        image->availableBytes(code) + (code - static_cast<const std::uint8_t*>(image->addressOf(0, false))),
        fs::file_size(fixture(file)));
    EXPECT_EQ(image->availableBytes(&ordinal), 0u);
  }
  Image forward = openImage(fixture("forward_pe64.dll"));
  EXPECT_EQ(forward->exportCode("forwardedTick"), nullptr);
  EXPECT_NE(forward->exportCode("realFunction"), nullptr);
}

TEST(PeImage, ForwardedExportIsNotAFunction) {
  for (const char* file : {"forward_pe64.dll", "forward_pe32.dll"}) {
    SCOPED_TRACE(file);
    Image image = openImage(fixture(file));
    int ordinal = image->exportOrdinal(image->exportIndex("forwardedTick"));
    ASSERT_GE(ordinal, 0);
    EXPECT_EQ(image->exportFunction(ordinal, false), kNone);
    const PeFacts& facts = objdump(fixture(file));
    auto e = std::find_if(facts.addressTable.begin(), facts.addressTable.end(),
                          [&](const PeFacts::Export& x) { return x.ordinal == ordinal; });
    ASSERT_NE(e, facts.addressTable.end());
    // The forwarder's offset from the export directory leads to its text.
    DWORD offset = image->exportFunction(ordinal, true);
    EXPECT_EQ(offset, e->rva - facts.exportDirectory);
    auto text = static_cast<const char*>(image->addressOf(facts.exportDirectory + offset, false));
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "KERNEL32.GetTickCount");
    int real = image->exportOrdinal(image->exportIndex("realFunction"));
    EXPECT_NE(image->exportFunction(real, false), kNone);
    EXPECT_EQ(image->exportFunction(real, true), kNone);
  }
}

TEST(PeImage, ImportsMatchObjdumpOnEveryModule) {
  for (const auto& file : windowsModules()) {
    SCOPED_TRACE(file.string());
    const PeFacts& facts = objdump(file);
    Image image = openImage(file);
    auto listed = detail::ModuleImageAccess::parser(*image).imports(1000);
    ASSERT_EQ(listed.size(), facts.imports.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
      EXPECT_EQ(listed[i].name, facts.imports[i].module);
      EXPECT_EQ(listed[i].firstEntries, facts.imports[i].members);
      EXPECT_EQ(image->importsModule(facts.imports[i].module.c_str()), !facts.imports[i].members.empty());
      EXPECT_EQ(image->importsModule(upper(facts.imports[i].module).c_str()),
                !facts.imports[i].members.empty());
    }
  }
}

TEST(PeImage, ImportsByModuleNameIgnoringCase) {
  struct Case {
    const char* file;
    const char* module;
    bool imported;
  } cases[] = {
      {"crtdebug", "MSVCR140D.DLL", true},
      {"crtdebug", "msvcr140d.dll", true},
      {"crtdebug", "MSVCR140.DLL", false},
      {"crtboth", "MSVCR140D.DLL", true},
      {"crtboth", "MsVcR140.dLl", true},
      {"plugin", "kernel32.dll", true},
      {"plugin", "KERNEL32", false},
      {"plugin", "MSVCR140D.DLL", false},
      {"plugin", "", false},
      // GNU ld leaves the delay-import directory entry empty, so the
      // descriptors it wrote are not seen (see DelayImports below).
      {"delay", "DelayHelper.dll", false},
  };
  for (const char* tag : {"_pe64.dll", "_pe32.dll"}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.file) + tag + " " + c.module);
      EXPECT_EQ(openImage(fixture(c.file + std::string(tag)))->importsModule(c.module), c.imported);
    }
  }
  EXPECT_FALSE(openImage(fixture("plugin_pe64.dll"))->importsModule(nullptr));
}

// Copies of a toolchain-built module with one import descriptor edited.
TEST_F(ModuleFiles, ImportListsFromNameTableOrAddressTable) {
  for (const char* tag : {"pe64", "pe32"}) {
    SCOPED_TRACE(tag);
    fs::path file = fixture(std::string("crtdebug_") + tag + ".dll");
    const PeFacts& facts = objdump(file);
    auto crt = std::find_if(facts.imports.begin(), facts.imports.end(),
                            [](const PeFacts::Import& i) { return i.module == "MSVCR140D.DLL"; });
    ASSERT_NE(crt, facts.imports.end());
    std::uint64_t descriptor = *facts.fileOffset(crt->descriptor);
    auto bytes = readBytes(file);

    auto noNameTable = bytes;  // the address table stands in for it
    putLe32(noNameTable, descriptor, 0);
    EXPECT_TRUE(openImage(write("nont.dll", noNameTable))->importsModule("MSVCR140D.DLL"));

    auto emptyList = bytes;  // an empty list does not count as importing
    putLe32(emptyList, *facts.fileOffset(crt->nameTable), 0);
    if (std::string(tag) == "pe64") putLe32(emptyList, *facts.fileOffset(crt->nameTable) + 4, 0);
    EXPECT_FALSE(openImage(write("empty.dll", emptyList))->importsModule("MSVCR140D.DLL"));

    auto nameOutside = bytes;  // a name beyond every section
    putLe32(nameOutside, descriptor + 12, 0x7FFFFF00);
    EXPECT_FALSE(openImage(write("name.dll", nameOutside))->importsModule("MSVCR140D.DLL"));
  }
}

// The delay-import fixture with its data directory entry filled in, as the
// Windows linker writes it, from the descriptor's exported symbol.
TEST_F(ModuleFiles, DelayImports) {
  for (const char* tag : {"pe64", "pe32"}) {
    SCOPED_TRACE(tag);
    fs::path file = fixture(std::string("delay_") + tag + ".dll");
    const PeFacts& facts = objdump(file);
    auto symbol = std::find_if(facts.names.begin(), facts.names.end(), [](const auto& n) {
      return n.second.find("DELAY_IMPORT_DESCRIPTOR") != std::string::npos;
    });
    ASSERT_NE(symbol, facts.names.end());
    std::uint32_t descriptorRva = 0;
    for (const auto& e : facts.addressTable)
      if (e.ordinal == facts.addressTable[0].ordinal + symbol->first) descriptorRva = e.rva;
    ASSERT_NE(descriptorRva, 0u);

    auto bytes = readBytes(file);
    bool is32 = std::string(tag) == "pe32";
    std::size_t directory13 = le32(bytes, 0x3C) + 4 + 20 + (is32 ? 96 : 112) + 13 * 8;
    putLe32(bytes, directory13, descriptorRva);
    putLe32(bytes, directory13 + 4, 32);
    std::uint64_t descriptor = *facts.fileOffset(descriptorRva);
    ASSERT_EQ(le32(bytes, descriptor) & 1, 1u) << "binutils writes relative descriptors";

    Image relative = openImage(write("delay.dll", bytes));
    EXPECT_TRUE(relative->importsModule("DelayHelper.dll"));
    EXPECT_TRUE(relative->importsModule("DELAYHELPER.DLL"));
    EXPECT_FALSE(relative->importsModule("DelayHelper"));
    auto listed = detail::ModuleImageAccess::parser(*relative).imports(5);
    auto delayed = std::find_if(listed.begin(), listed.end(), [](const auto& m) { return m.delayLoaded; });
    ASSERT_NE(delayed, listed.end());
    EXPECT_EQ(delayed->name, "DelayHelper.dll");
    EXPECT_EQ(delayed->firstEntries, std::vector<std::string>{"helperFunction"});

    // Old-style descriptor: attributes bit 0 clear and absolute addresses.
    auto absolute = bytes;
    putLe32(absolute, descriptor, 0);
    for (int field = 1; field < 7; ++field) {
      std::uint32_t value = le32(absolute, descriptor + 4 * field);
      if (value)
        putLe32(absolute, descriptor + 4 * field, value + static_cast<std::uint32_t>(facts.imageBase));
    }
    // Absolute fields are 32-bit: only the 32-bit image base fits in them.
    if (is32) {
      EXPECT_TRUE(openImage(write("old.dll", absolute))->importsModule("delayhelper.dll"));
    }
    // Relative fields read as absolute fall below the image base.
    auto mixed = bytes;
    putLe32(mixed, descriptor, 0);
    EXPECT_FALSE(openImage(write("mixed.dll", mixed))->importsModule("DelayHelper.dll"));
  }
}

TEST_F(ModuleFiles, DataDirectoryRule) {
  auto bytes = readBytes(fixture("crtdebug_pe64.dll"));
  const std::size_t fileHeader = le32(bytes, 0x3C) + 4, optional = fileHeader + 20;
  const std::size_t count = optional + 108, directories = optional + 112;
  // Shrinks the optional header to end after n directory entries, moving the
  // section table that follows it.
  auto shrinkTo = [&](std::vector<std::uint8_t>& b, unsigned entries) {
    std::size_t oldSize = b[fileHeader + 16] | b[fileHeader + 17] << 8, newSize = 112 + 8 * entries;
    std::size_t sections = b[fileHeader + 2] | b[fileHeader + 3] << 8;
    std::memmove(&b[optional + newSize], &b[optional + oldSize], sections * 40);
    b[fileHeader + 16] = static_cast<std::uint8_t>(newSize);
    b[fileHeader + 17] = 0;
  };
  struct Case {
    const char* what;
    std::function<void(std::vector<std::uint8_t>&)> edit;
    bool exports, imports;
  } cases[] = {
      {"as built", [](auto&) {}, true, true},
      {"one entry counted", [&](auto& b) { putLe32(b, count, 1); }, true, false},
      {"no entry counted", [&](auto& b) { putLe32(b, count, 0); }, false, false},
      {"import entry outside the optional header", [&](auto& b) { shrinkTo(b, 1); }, true, false},
      {"export address 0", [&](auto& b) { putLe32(b, directories, 0); }, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto edited = bytes;
    c.edit(edited);
    Image image = openImage(write("dd.dll", edited));
    EXPECT_EQ(image->exportIndex("report") >= 0, c.exports);
    EXPECT_EQ(image->importsModule("MSVCR140D.DLL"), c.imports);
  }
}

// A name table or name-ordinal table at address 0 is no table: translated,
// the address would land in the headers and find the wrong function.
TEST_F(ModuleFiles, ExportNameTablesAtAddressZero) {
  struct Case {
    const char* what;
    std::size_t field;  // in the export directory
  } cases[] = {{"names", 32}, {"name ordinals", 36}};
  for (const char* file : {"plugin_pe64.dll", "plugin_pe32.dll"}) {
    auto bytes = readBytes(fixture(file));
    const std::size_t fileHeader = le32(bytes, 0x3C) + 4, optional = fileHeader + 20;
    const bool is32 = !(bytes[fileHeader] == 0x64 && bytes[fileHeader + 1] == 0x86);
    Image original = openImage(fixture(file));
    auto directory = detail::ModuleImageAccess::parser(*original).fileOffset(
        le32(bytes, optional + (is32 ? 96 : 112)), false);
    ASSERT_TRUE(directory);
    ASSERT_GE(original->exportIndex("kvrxEntryPoint"), 0);
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(file) + " " + c.what);
      auto edited = bytes;
      putLe32(edited, *directory + c.field, 0);
      Image image = openImage(write("zero.dll", edited));
      for (const char* name : {"kvrxEntryPoint", "kvrxGetApiVersion", "zebra"}) {
        EXPECT_EQ(image->exportIndex(name), -1) << name;
        EXPECT_EQ(image->exportCode(name), nullptr) << name;
      }
      for (const auto& symbol : detail::ModuleImageAccess::parser(*image).exports())
        EXPECT_EQ(symbol.name, "") << symbol.ordinal;
    }
  }
}

// ---------------------------------------------------------------------------
// ELF shared objects against readelf.

struct ElfSymbol {
  std::uint64_t index, value;
  std::string name;
  bool exported;
};

std::vector<ElfSymbol> readelfSymbols(const fs::path& file) {
  std::vector<ElfSymbol> symbols;
  for (const auto& line : lines(run(std::string(KVPAL_READELF) + " --dyn-syms -W '" + file.string() + "'"))) {
    unsigned long long index = 0, value = 0;
    char type[16] = {}, bind[16] = {}, visibility[16] = {}, section[16] = {};
    int nameAt = 0;
    if (std::sscanf(line.c_str(), " %llu: %llx %*s %15s %15s %15s %15s %n", &index, &value, type, bind,
                    visibility, section, &nameAt) != 6 ||
        nameAt == 0)
      continue;
    // Version suffixes ("@GLIBC_2.2.5 (2)") are not part of the name.
    std::string name = line.substr(nameAt);
    name = name.substr(0, name.find('@'));
    auto is = [](const char* a, const char* b) { return std::strcmp(a, b) == 0; };
    bool exported = !is(section, "UND") && (is(bind, "GLOBAL") || is(bind, "WEAK") || is(bind, "UNIQUE")) &&
                    !is(type, "SECTION") && !is(type, "FILE") &&
                    (is(visibility, "DEFAULT") || is(visibility, "PROTECTED"));
    symbols.push_back({index, value, name, exported});
  }
  return symbols;
}

std::vector<std::string> readelfNeeded(const fs::path& file) {
  static const std::regex needed(R"(\(NEEDED\)\s+Shared library: \[(.*)\])");
  std::vector<std::string> result;
  std::smatch m;
  for (const auto& line : lines(run(std::string(KVPAL_READELF) + " -d -W '" + file.string() + "'")))
    if (std::regex_search(line, m, needed)) result.push_back(m[1]);
  return result;
}

std::vector<fs::path> elfModules() {
  std::vector<fs::path> files;
  for (const char* name : {"libplugin_gnu_x64.so", "libplugin_sysv_x64.so", "libplugin_i386.so",
                           "libplugin_s390x.so", "libplugin_s390.so", "libhelper_s390.so"})
    files.push_back(fixture(name));
  // Real-world shared objects of this system: the C and C++ runtimes.
  for (const char* name : {"/lib/x86_64-linux-gnu/libc.so.6", "/usr/lib/x86_64-linux-gnu/libstdc++.so.6"})
    if (fs::exists(name)) files.push_back(name);
  return files;
}

TEST(ElfImage, ImportsAndExportsMatchReadelf) {
  for (const auto& file : elfModules()) {
    SCOPED_TRACE(file.string());
    Image image = openImage(file);
    ASSERT_EQ(image->parseStatus(), ModuleImage::ValidImage);
    auto needed = readelfNeeded(file);
    for (const auto& n : needed) {
      EXPECT_TRUE(image->importsModule(n.c_str())) << n;
      if (upper(n) != n) {
        EXPECT_FALSE(image->importsModule(upper(n).c_str())) << "names compare exactly";
      }
    }
    auto listedImports = detail::ModuleImageAccess::parser(*image).imports(5);
    ASSERT_EQ(listedImports.size(), needed.size());
    for (std::size_t i = 0; i < needed.size(); ++i) EXPECT_EQ(listedImports[i].name, needed[i]);

    auto symbols = readelfSymbols(file);
    ASSERT_FALSE(symbols.empty());
    std::map<std::string, std::set<std::uint64_t>> exportedAt;
    for (const auto& s : symbols)
      if (s.exported) exportedAt[s.name].insert(s.index);
    for (const auto& s : symbols) {
      // readelf prints names with bytes above 0x7F mangled; those are
      // checked by SymbolsInEveryClassAndByteOrder.
      if (s.name.empty() || std::any_of(s.name.begin(), s.name.end(), [](char c) { return c & 0x80; }))
        continue;
      int index = image->exportIndex(s.name.c_str());
      if (!exportedAt.count(s.name)) {
        EXPECT_EQ(index, -1) << s.name;
        continue;
      }
      // Versioned names may stand at several indexes; any of them will do.
      ASSERT_TRUE(exportedAt[s.name].count(static_cast<std::uint64_t>(index))) << s.name << " at " << index;
      EXPECT_EQ(image->exportOrdinal(index), index);
      if (!s.exported || static_cast<std::uint64_t>(index) != s.index) continue;
      DWORD expected = s.value == 0 || s.value >= kNone ? kNone : static_cast<DWORD>(s.value);
      EXPECT_EQ(image->exportFunction(index, false), expected) << s.name;
      EXPECT_EQ(image->exportFunction(index, true), kNone) << "ELF has no forwarders";
    }
    auto listed = detail::ModuleImageAccess::parser(*image).exports();
    EXPECT_EQ(listed.size(),
              static_cast<std::size_t>(std::count_if(symbols.begin(), symbols.end(),
                                                     [](const ElfSymbol& s) { return s.exported; })));
  }
}

TEST(ElfImage, SymbolsInEveryClassAndByteOrder) {
  for (const char* name :
       {"libplugin_gnu_x64.so", "libplugin_i386.so", "libplugin_s390x.so", "libplugin_s390.so"}) {
    SCOPED_TRACE(name);
    Image image = openImage(fixture(name));
    EXPECT_GE(image->exportIndex("kvrxEntryPoint"), 0);
    EXPECT_EQ(image->exportIndex("notExported"), -1);
    EXPECT_EQ(image->exportIndex("kvrxentrypoint"), -1);
    int major = 0, minor = 0;
    EXPECT_FALSE(image->linkerVersion(major, minor));
    if (std::string(name) == "libplugin_gnu_x64.so") {
      EXPECT_GE(image->exportIndex("\xC3\xA9"
                                   "clair"),
                0);
      EXPECT_EQ(image->exportIndex("\xC3"
                                   "clair"),
                -1);
      continue;
    }
    EXPECT_GE(image->exportIndex("weakFunction"), 0);
    EXPECT_EQ(image->exportIndex("hiddenFunction"), -1);
    EXPECT_EQ(image->exportIndex("externalObject"), -1) << "undefined here";
    EXPECT_TRUE(image->importsModule("libelfhelper.so.1"));
    // Bytes in the file, read in the file's byte order.
    auto data = static_cast<const std::uint8_t*>(image->exportCode("dataObject"));
    ASSERT_NE(data, nullptr);
    std::vector<std::uint8_t> expected = image->isBigEndian()
                                             ? std::vector<std::uint8_t>{0x12, 0x34, 0x56, 0x78}
                                             : std::vector<std::uint8_t>{0x78, 0x56, 0x34, 0x12};
    EXPECT_EQ(std::vector<std::uint8_t>(data, data + 4), expected);
    EXPECT_GE(image->exportIndex("bssObject"), 0);
    EXPECT_EQ(image->exportCode("bssObject"), nullptr) << "no bytes in the file";
  }
}

// Without a hash table the section header of the dynamic symbol table gives
// its size.
TEST_F(ModuleFiles, ElfWithoutHashTable) {
  fs::path file = fixture("libplugin_gnu_x64.so");
  static const std::regex dynamic(R"(\.dynamic\s+DYNAMIC\s+[0-9a-f]+\s+([0-9a-f]+)\s+([0-9a-f]+))");
  std::smatch m;
  std::uint64_t offset = 0, size = 0;
  for (const auto& line : lines(run(std::string(KVPAL_READELF) + " -S -W '" + file.string() + "'")))
    if (std::regex_search(line, m, dynamic)) {
      offset = std::stoull(m[1], nullptr, 16);
      size = std::stoull(m[2], nullptr, 16);
    }
  ASSERT_NE(offset, 0u);
  auto bytes = readBytes(file);
  int renamed = 0;
  for (std::uint64_t at = offset; at + 16 <= offset + size; at += 16) {
    if (le32(bytes, at) == 0x6FFFFEF5 || le32(bytes, at) == 4) {  // DT_GNU_HASH, DT_HASH
      putLe32(bytes, at, 21);                                     // DT_DEBUG
      ++renamed;
    }
  }
  ASSERT_GT(renamed, 0);
  Image image = openImage(write("nohash.so", bytes));
  Image original = openImage(file);
  for (const char* name : {"kvrxEntryPoint", "kvrxGetApiVersion", "zebra", "exportedData"}) {
    EXPECT_GE(image->exportIndex(name), 0) << name;
    EXPECT_EQ(image->exportIndex(name), original->exportIndex(name)) << name;
  }
  EXPECT_EQ(image->exportIndex("notExported"), -1);
}

// ---------------------------------------------------------------------------
// The plug-in version marker.

TEST(VersionMarker, FoundInTheExportedVersionFunction) {
  struct Case {
    const char* file;
    detail::VersionMarker::Result result;
    int offset;
    bool jump;
  } cases[] = {
      {"plugin_pe64.dll", detail::VersionMarker::Present, 0, false},
      {"plugin_pe32.dll", detail::VersionMarker::Present, 0, false},
      {"plugin_jump_pe64.dll", detail::VersionMarker::Present, 2, true},
      {"plugin_jump_pe32.dll", detail::VersionMarker::Present, 2, true},
      {"plugin_old_pe64.dll", detail::VersionMarker::Absent, -1, false},
      {"plugin_old_pe32.dll", detail::VersionMarker::Absent, -1, false},
      {"forward_pe64.dll", detail::VersionMarker::NotLocatable, -1, false},
      {"libplugin_gnu_x64.so", detail::VersionMarker::Present, 0, false},
      {"libplugin_s390.so", detail::VersionMarker::Present, 1, false},
      {"libplugin_s390x.so", detail::VersionMarker::Present, 1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    auto marker = detail::findVersionMarker(*openImage(fixture(c.file)));
    EXPECT_EQ(marker.result, c.result);
    EXPECT_EQ(marker.offset, c.offset);
    EXPECT_EQ(marker.followedJump, c.jump);
  }
}

// ---------------------------------------------------------------------------
// Hostile input: every prefix of a real module. Each answer must be the full
// file's answer or "nothing", and every pointer must lie inside the bytes.

TEST(ModuleImageHostile, TruncatedModulesAnswerLessNeverWrong) {
  const char* names[] = {"kvrxEntryPoint", "kvrxGetApiVersion", "forwardedTick", "realFunction",
                         "zebra",          "dataObject"};
  const char* modules[] = {"KERNEL32.dll", "msvcrt.dll", "MSVCR140D.DLL", "libhelper_x64.so",
                           "libelfhelper.so.1"};
  for (const char* file : {"plugin_pe64.dll", "forward_pe32.dll", "crtdebug_pe64.dll", "libplugin_gnu_x64.so",
                           "libplugin_s390.so"}) {
    SCOPED_TRACE(file);
    auto bytes = readBytes(fixture(file));
    Image full(detail::ModuleImageAccess::fromBytes(bytes.data(), bytes.size()));
    std::size_t step = std::max<std::size_t>(1, bytes.size() / 300);
    for (std::size_t length = 0; length < bytes.size(); length += step) {
      // Exactly sized, so that the sanitizers catch a read past the end.
      std::vector<std::uint8_t> prefix(bytes.begin(), bytes.begin() + length);
      Image cut(detail::ModuleImageAccess::fromBytes(prefix.data(), prefix.size()));
      auto inside = [&](const void* p) { return p == nullptr || cut->availableBytes(p) > 0; };
      for (const char* name : names) {
        int index = cut->exportIndex(name);
        ASSERT_TRUE(index == -1 || index == full->exportIndex(name)) << name << " at length " << length;
        int ordinal = cut->exportOrdinal(index);
        ASSERT_TRUE(ordinal == -1 || ordinal == full->exportOrdinal(index));
        for (bool forwarder : {false, true}) {
          DWORD address = cut->exportFunction(ordinal, forwarder);
          ASSERT_TRUE(address == kNone || address == full->exportFunction(ordinal, forwarder));
        }
        ASSERT_TRUE(inside(cut->exportCode(name)));
      }
      for (const char* module : modules)
        ASSERT_TRUE(!cut->importsModule(module) || full->importsModule(module)) << module;
      ASSERT_TRUE(inside(cut->addressOf(0x1000, false)));
      auto marker = detail::findVersionMarker(*cut).result;
      ASSERT_TRUE(marker != detail::VersionMarker::Present ||
                  detail::findVersionMarker(*full).result == detail::VersionMarker::Present);
      detail::ModuleImageAccess::parser(*cut).imports(5);
      detail::ModuleImageAccess::parser(*cut).exports();
    }
  }
}

// Hand-made hostile files, also seeds of the module image fuzz target.
std::vector<std::uint8_t> hostileFile(const std::string& name) {
  return readBytes(fs::path(KVPAL_SOURCE_DIR) / "tests/fuzz/corpus/module_image_fuzz" / name);
}

// A file's bytes in memory where every page after the first `readable` bytes
// (rounded up to a page) faults when read.
class GuardedBytes {
 public:
  GuardedBytes(const std::vector<std::uint8_t>& bytes, std::size_t readable) : size_(bytes.size()) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    mapped_ = (size_ + page - 1) / page * page;
    void* p = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return;
    data_ = static_cast<std::uint8_t*>(p);
    std::memcpy(data_, bytes.data(), size_);
    const std::size_t guard = (readable + page - 1) / page * page;
    if (guard >= mapped_ || mprotect(data_ + guard, mapped_ - guard, PROT_NONE) != 0) {
      munmap(data_, mapped_);
      data_ = nullptr;
    }
  }
  ~GuardedBytes() {
    if (data_) munmap(data_, mapped_);
  }
  const std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  std::uint8_t* data_ = nullptr;
  std::size_t size_, mapped_ = 0;
};

// Many import descriptors, DT_NEEDED entries or symbols name one string that
// runs unterminated to the end of the file. Each name must be compared only
// up to its first difference: scanning each to its end first made a lookup
// quadratic in the file. Here the string's tail cannot be read at all.
TEST(ModuleImageHostile, NamesAreComparedOnlyUpToTheFirstDifference) {
  struct Case {
    const char* file;
    const char* module;  // imported after the hostile entries
    const char* symbol;  // exported after them; null: no exports
  } cases[] = {
      {"pe_imports_one_long_string.dll", "kernel32.DLL", nullptr},
      {"elf_names_one_long_string.so", "libc.so.6", "real"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    auto bytes = hostileFile(c.file);
    ASSERT_FALSE(bytes.empty());
    std::size_t run = bytes.size();
    while (run > 0 && bytes[run - 1] == 'x') --run;
    ASSERT_GT(bytes.size() - run, 8192u);
    GuardedBytes guarded(bytes, run + 1);
    ASSERT_NE(guarded.data(), nullptr);
    Image image(detail::ModuleImageAccess::fromBytes(guarded.data(), guarded.size()));
    EXPECT_TRUE(image->importsModule(c.module));
    EXPECT_FALSE(image->importsModule("missing.dll"));
    if (c.symbol) {
      EXPECT_GT(image->exportIndex(c.symbol), 0);
      EXPECT_EQ(image->exportIndex("missing"), -1);
    }
  }
}

// A SysV hash table claiming 2^32 - 1 chain entries in a file of a few
// hundred bytes, whose chain loops: the walk is bounded by the symbols the
// file holds and stops at the loop. Run in a child under an alarm: a walk
// bounded by the claimed count takes minutes.
TEST(ModuleImageHostile, LoopingHashChainEnds) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto bytes = hostileFile("elf_sysv_hash_loop.so");
  ASSERT_FALSE(bytes.empty());
  EXPECT_EXIT(
      {
        alarm(30);
        Image image(detail::ModuleImageAccess::fromBytes(bytes.data(), bytes.size()));
        const int first = image->exportIndex("first");
        const int second = image->exportIndex("second");
        const int missing = image->exportIndex("missing");
        const bool ok = first == 1 && second == 2 && missing == -1;
        if (!ok) std::fprintf(stderr, "first %d, second %d, missing %d\n", first, second, missing);
        std::_Exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// ---------------------------------------------------------------------------
// kvpal module.

TEST(KvpalModule, ShowsWhatAPersonInspectingAPluginWants) {
  struct Case {
    std::string args;
    int exitCode;
    std::vector<std::string> shown;
  } cases[] = {
      {fixture("plugin_pe64.dll").string(),
       0,
       {"format:  PE32+ (machine 0x8664)", "status:  0 (valid image)", "linker:  2.", "KERNEL32.dll (",
        "delay-load imports:", "kvrxGetApiVersion", "kvrxEntryPoint: present",
        "version marker: present at offset 0"}},
      {fixture("forward_pe32.dll").string(),
       0,
       {"format:  PE32 (machine 0x014c)", "forwarder   forwardedTick -> KERNEL32.GetTickCount",
        "kvrxEntryPoint: missing", "version marker: not locatable"}},
      {fixture("plugin_jump_pe32.dll").string(), 0, {"present at offset 2 (after a leading jump)"}},
      {fixture("libplugin_s390x.so").string(),
       0,
       {"format:  ELF64 big-endian (machine 0x0016)", "imports:\n  libelfhelper.so.1\n",
        "kvrxGetApiVersion: present"}},
      {fixture("object_pe32.obj").string(), 0, {"status:  1 (object file)"}},
      {fixture("plugin_pe64.dll").string() + " --json",
       0,
       {"\"format\": \"PE32+\"", "\"parseStatus\": 0", "\"module\": \"KERNEL32.dll\", \"delayLoaded\": false",
        "\"name\": \"\xC3\xA9"
        "clair\"",
        "\"versionMarker\": \"present\", \"versionMarkerOffset\": 0"}},
      {fixture("forward_pe64.dll").string() + " --json",
       0,
       {"\"forwarder\": \"KERNEL32.GetTickCount\"", "\"kvrxEntryPoint\": false"}},
      {"/nonexistent/x.dll", 1, {}},
      {"", 2, {}},
      {"a.dll b.dll", 2, {}},
      {"--bogus a.dll", 2, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    int exitCode = -1;
    std::string output = run(std::string(KVPAL_TOOL) + " module " + c.args + " 2>/dev/null", &exitCode);
    EXPECT_EQ(exitCode, c.exitCode);
    for (const auto& text : c.shown)
      EXPECT_NE(output.find(text), std::string::npos) << text << "\n" << output;
  }
}

}  // namespace
