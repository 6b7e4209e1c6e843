// The resource directory reader over modules built from one resource script
// (Windows resource-only modules of both layouts, an ELF module with a .rsrc
// section) and over damaged directories.
#include "modules/resource_directory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <tuple>

namespace {

using namespace Halvex::Tessaran::PAL::detail;

// MAKEINTRESOURCE.
const wchar_t* MAKE_ID(std::uintptr_t id) {
  return reinterpret_cast<const wchar_t*>(id);
}

std::string text(const ByteView& bytes) {
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

class ResourceModuleTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    unsigned error = 0;
    module_ = ResourceModule::open(GetParam(), error);
    ASSERT_TRUE(module_) << GetParam() << ": error " << error;
    ASSERT_FALSE(module_->directory().empty());
  }
  const ResourceDirectory& directory() const { return module_->directory(); }
  std::unique_ptr<ResourceModule> module_;
};

TEST_P(ResourceModuleTest, StringTables) {
  struct Case {
    unsigned id;
    std::optional<std::uint16_t> language;
    std::optional<std::wstring> expected;
  } cases[] = {
      {1, std::nullopt, L"Hello"},  // US English before German
      {1, 0x0407, L"Hallo"},
      {1, 0x040C, std::nullopt},  // no French block, and no fallback
      {15, std::nullopt, L"Last of the first block"},
      {16, std::nullopt, L"First of the second block"},
      {40, std::nullopt, L"Caf\u00e9 \u4e16\u754c"},
      {2, std::nullopt, L""},  // a hole in a block that exists
      {48, std::nullopt, std::nullopt},
      {0xFFFF, std::nullopt, std::nullopt},
      {0x10001, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(directory().string(c.id, c.language), c.expected) << c.id;
}

TEST_P(ResourceModuleTest, DataByTypeNameAndLanguage) {
  struct Case {
    const wchar_t* type;
    const wchar_t* name;
    std::optional<std::uint16_t> language;
    std::optional<std::string> expected;
  } cases[] = {
      {MAKE_ID(10), MAKE_ID(100), std::nullopt, "abcCD"},
      {L"#10", L"#100", std::nullopt, "abcCD"},
      {MAKE_ID(10), MAKE_ID(100), 0x0409, "abcCD"},
      {MAKE_ID(10), MAKE_ID(100), 0x0407, std::nullopt},
      {MAKE_ID(10), MAKE_ID(101), std::nullopt, ""},
      {MAKE_ID(10), L"logo", std::nullopt, "named name"},
      {MAKE_ID(10), L"LOGOS", std::nullopt, std::nullopt},
      {L"Message", L"GREETING", std::nullopt, "named type"},
      {MAKE_ID(10), MAKE_ID(300), std::nullopt, "nur deutsch"},  // the only language there is
      {MAKE_ID(10), MAKE_ID(102), std::nullopt, std::nullopt},
      {MAKE_ID(11), MAKE_ID(100), std::nullopt, std::nullopt},
      {nullptr, nullptr, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    auto data = directory().find(ResourceKey::fromText(c.type), ResourceKey::fromText(c.name), c.language);
    EXPECT_EQ(data ? std::optional<std::string>(text(*data)) : std::nullopt, c.expected)
        << ResourceKey::fromText(c.name).text();
  }
}

TEST_P(ResourceModuleTest, BitmapIsTheDibWithoutFileHeader) {
  auto bitmap = directory().find(ResourceKey::number(kRtBitmap), ResourceKey::number(200));
  ASSERT_TRUE(bitmap);
  EXPECT_EQ(bitmap->size(), 78u - 14u);
  EXPECT_EQ(bitmap->read<std::uint32_t>(0), 40u);  // BITMAPINFOHEADER
  EXPECT_EQ(bitmap->read<std::uint32_t>(4), 3u);
}

TEST_P(ResourceModuleTest, ListsEveryResource) {
  std::set<std::tuple<std::wstring, std::wstring, int>> listed;
  for (const ResourceEntry& e : directory().entries())
    listed.emplace(e.type.text(), e.name.text(), e.language);
  std::set<std::tuple<std::wstring, std::wstring, int>> expected{
      {L"#6", L"#1", 0x0409},    {L"#6", L"#1", 0x0407},    {L"#6", L"#2", 0x0409},
      {L"#6", L"#3", 0x0409},    {L"#10", L"#100", 0x0409}, {L"#10", L"#101", 0x0409},
      {L"#10", L"LOGO", 0x0409}, {L"#10", L"#300", 0x0407}, {L"MESSAGE", L"GREETING", 0x0409},
      {L"#2", L"#200", 0x0409},  {L"#16", L"#1", 0x0409},
  };
  EXPECT_EQ(listed, expected);

  std::vector<std::pair<unsigned, std::wstring>> strings;
  for (const ResourceEntry& e : directory().entries())
    if (e.type.id == kRtString && e.language == 0x0409)
      for (auto& s : stringTableStrings(e)) strings.push_back(s);
  std::vector<std::pair<unsigned, std::wstring>> expectedStrings{{1, L"Hello"},
                                                                 {15, L"Last of the first block"},
                                                                 {16, L"First of the second block"},
                                                                 {40, L"Caf\u00e9 \u4e16\u754c"}};
  EXPECT_EQ(strings, expectedStrings);
}

TEST_P(ResourceModuleTest, VersionStrings) {
  struct Case {
    const wchar_t* path;
    std::optional<std::wstring> expected;
  } cases[] = {
      {L"\\StringFileInfo\\040904b0\\ModuleType", L"GraphicsDriver"},
      {L"\\stringfileinfo\\040904B0\\moduletype", L"GraphicsDriver"},
      {L"StringFileInfo\\040904b0\\FileDescription", L"Resource test module"},
      {L"\\StringFileInfo\\040904b0\\Missing", std::nullopt},
      {L"\\StringFileInfo\\040704b0\\ModuleType", std::nullopt},
      {L"\\StringFileInfo", std::nullopt},            // a block, no value
      {L"\\VarFileInfo\\Translation", std::nullopt},  // binary
      {L"\\", std::nullopt},                          // the fixed part
  };
  for (const Case& c : cases) EXPECT_EQ(versionString(directory(), c.path), c.expected) << c.path;
}

INSTANTIATE_TEST_SUITE_P(Modules, ResourceModuleTest,
                         ::testing::Values(KVPAL_MODULE_FIXTURES "/resources_pe64.dll",
                                           KVPAL_MODULE_FIXTURES "/resources_pe32.dll", KVPAL_RESMODULE));

TEST(ResourceDirectoryTest, ModulesWithoutResources) {
  for (const char* path :
       {KVPAL_MODULE_FIXTURES "/plugin_pe64.dll", KVPAL_MODULE_FIXTURES "/libhelper_x64.so"}) {
    unsigned error = 0;
    auto module = ResourceModule::open(path, error);
    ASSERT_TRUE(module) << path;
    EXPECT_TRUE(module->directory().empty()) << path;
    EXPECT_FALSE(versionString(module->directory(), L"\\StringFileInfo\\040904b0\\ModuleType")) << path;
  }
  unsigned error = 0;
  EXPECT_FALSE(ResourceModule::open(KVPAL_MODULE_FIXTURES "/missing.dll", error));
  EXPECT_EQ(error, 2u);  // ERROR_FILE_NOT_FOUND
  EXPECT_FALSE(ResourceModule::open(KVPAL_SOURCE_DIR "/tests/modules/fixtures/resources.rc", error));
  EXPECT_EQ(error, 193u);  // ERROR_BAD_EXE_FORMAT
}

// A directory of one resource, type 10, name 1, language 0x409, laid out as
// the resource compiler does (the root has room for a second type); each
// case damages one field.
struct Layout {
  std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(0x80, 0);
  void put32(std::size_t at, std::uint32_t v) { std::memcpy(&bytes[at], &v, 4); }
  void put16(std::size_t at, std::uint16_t v) { std::memcpy(&bytes[at], &v, 2); }
  Layout() {
    for (std::uint32_t table : {0x00u, 0x20u, 0x38u}) put16(table + 14, 1);
    put32(0x10, 10), put32(0x14, 0x80000020);
    put32(0x30, 1), put32(0x34, 0x80000038);
    put32(0x48, 0x409), put32(0x4C, 0x50);
    put32(0x50, 0x1000 + 0x60), put32(0x54, 4);  // address, size
    std::memcpy(&bytes[0x60], "data", 4);
  }
  ResourceDirectory directory() const {
    return ResourceDirectory(ByteView(bytes.data(), bytes.size()), 0x1000);
  }
};

TEST(ResourceDirectoryTest, DamagedDirectories) {
  struct Case {
    const char* what;
    void (*damage)(Layout&);
    bool found;
  } cases[] = {
      {"intact", [](Layout&) {}, true},
      {"type table points back at the root", [](Layout& l) { l.put32(0x14, 0x80000000); }, false},
      {"language table points back at the root", [](Layout& l) { l.put32(0x34, 0x80000000); }, false},
      {"language entry is a subdirectory", [](Layout& l) { l.put32(0x4C, 0x80000038); }, false},
      {"subdirectory beyond the section", [](Layout& l) { l.put32(0x14, 0xFFFFFFF0); }, false},
      {"data entry beyond the section", [](Layout& l) { l.put32(0x4C, 0x7C); }, false},
      {"data before the section", [](Layout& l) { l.put32(0x50, 0x60); }, false},
      {"data past the section's end", [](Layout& l) { l.put32(0x54, 0x21); }, false},
      {"size that wraps", [](Layout& l) { l.put32(0x54, 0xFFFFFFFF); }, false},
      {"entry count beyond the section", [](Layout& l) { l.put16(0x2E, 0xFFFF); }, true},
      {"name offset beyond the section", [](Layout& l) { l.put32(0x10, 0x8000FFFF); }, false},
      {"name longer than the section", [](Layout& l) { l.put32(0x10, 0x80000078), l.put16(0x78, 0xFFFF); },
       false},
  };
  for (const Case& c : cases) {
    Layout layout;
    c.damage(layout);
    ResourceDirectory directory = layout.directory();
    auto data = directory.find(ResourceKey::number(10), ResourceKey::number(1));
    EXPECT_EQ(data.has_value(), c.found) << c.what;
    if (data) {
      EXPECT_EQ(text(*data), "data") << c.what;
    }
    EXPECT_EQ(directory.entries().size(), c.found ? 1u : 0u) << c.what;
  }
}

TEST(ResourceDirectoryTest, SharedSubdirectoryIsListedOnce) {
  // A second type whose names table is the first type's: reaching one table
  // twice is how a crafted file would multiply the listing.
  Layout layout;
  layout.put16(0x0E, 2);
  layout.put32(0x18, 11), layout.put32(0x1C, 0x80000020);
  ResourceDirectory directory = layout.directory();
  EXPECT_TRUE(directory.find(ResourceKey::number(11), ResourceKey::number(1)));
  ASSERT_EQ(directory.entries().size(), 1u);
  EXPECT_EQ(directory.entries()[0].type.id, 10);
}

}  // namespace
