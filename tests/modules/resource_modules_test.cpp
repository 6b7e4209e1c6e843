// Resource instances over the resource-only modules and the ELF module built
// from one resource script, localised folders, the current resource module
// and LoadResource on loader handles.
#include "pal/resource_modules.h"

#include <dlfcn.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/child_process.h"
#include "support/temp_dir.h"

namespace {

using namespace Halvex::Tessaran::PAL;
namespace fs = std::filesystem;

const wchar_t* MAKE_ID(std::uintptr_t id) {
  return reinterpret_cast<const wchar_t*>(id);
}

std::wstring wide(const std::string& s) {
  return std::wstring(s.begin(), s.end());
}

std::wstring stringOf(const KvRxResourceInstanceImp& r, int id) {
  const wchar_t* text = nullptr;
  std::wstring unused;
  int length = r.tryLoadString(id, text, unused);
  return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : L"";
}

// How many mappings of `file` the process holds.
int mappingsOf(const std::string& file) {
  std::ifstream maps("/proc/self/maps");
  int count = 0;
  for (std::string line; std::getline(maps, line);)
    if (line.size() >= file.size() && line.compare(line.size() - file.size(), file.size(), file) == 0)
      ++count;
  return count;
}

class ResourceInstanceTest : public ::testing::TestWithParam<const char*> {
 protected:
  KvRxResourceInstanceImp open() const { return KvRxResourceInstanceImp(wide(GetParam()).c_str()); }
};

TEST_P(ResourceInstanceTest, Strings) {
  KvRxResourceInstanceImp r = open();
  ASSERT_TRUE(r.isLoaded());
  const wchar_t* text = nullptr;
  std::wstring str = L"untouched";
  ASSERT_EQ(r.tryLoadString(1, text, str), 5);
  EXPECT_EQ(std::wstring(text, 5), L"Hello");
  EXPECT_EQ(str, L"untouched");
  const wchar_t* again = nullptr;
  r.tryLoadString(1, again, str);
  EXPECT_EQ(again, text);  // the same characters while the module is loaded
  EXPECT_EQ(stringOf(r, 40), L"Caf\u00e9 \u4e16\u754c");
  for (int missing : {2, 48, -1, 0x10001}) EXPECT_EQ(r.tryLoadString(missing, text, str), 0) << missing;
}

TEST_P(ResourceInstanceTest, DataResources) {
  KvRxResourceInstanceImp r = open();
  struct Case {
    int id;
    std::string expected;  // empty: not found
  } cases[] = {{100, "abcCD"}, {0x50064, "abcCD"}, {300, "nur deutsch"}, {101, ""}, {102, ""}, {200, ""}};
  for (const Case& c : cases) {
    unsigned long size = 99;
    const void* data = &size;
    bool found = r.loadDataResource(c.id, size, data);
    EXPECT_EQ(found, !c.expected.empty()) << c.id;
    if (found) {
      EXPECT_EQ(std::string(static_cast<const char*>(data), size), c.expected);
      r.freeDataResource(data);
    } else {
      EXPECT_EQ(size, 0u) << c.id;
      EXPECT_EQ(data, nullptr) << c.id;
    }
  }
}

TEST_P(ResourceInstanceTest, Bitmaps) {
  KvRxResourceInstanceImp r = open();
  void* bitmap = r.loadBitmap(0x100C8);  // 200 in the low 16 bits
  ASSERT_NE(bitmap, nullptr);
  auto* pixbuf = static_cast<GdkPixbuf*>(bitmap);
  EXPECT_EQ(gdk_pixbuf_get_width(pixbuf), 3);
  EXPECT_EQ(gdk_pixbuf_get_height(pixbuf), 2);
  // The resource stores rows bottom-up; the top-left pixel is red.
  const guchar* p = gdk_pixbuf_read_pixels(pixbuf);
  EXPECT_EQ(p[0], 255);
  EXPECT_EQ(p[1], 0);
  EXPECT_EQ(p[2], 0);
  r.freeBitmap(bitmap);
  EXPECT_EQ(r.loadBitmap(100), nullptr);
  EXPECT_EQ(r.loadBitmap(201), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Modules, ResourceInstanceTest,
                         ::testing::Values(KVPAL_MODULE_FIXTURES "/resources_pe64.dll",
                                           KVPAL_MODULE_FIXTURES "/resources_pe32.dll", KVPAL_RESMODULE));

TEST(ResourceInstance, AbsentModulesGiveNothing) {
  KvRxResourceInstanceImp missing(L"/nonexistent/strings.dll");
  KvRxResourceInstanceImp notAModule(wide(KVPAL_SOURCE_DIR "/tests/modules/fixtures/resources.rc").c_str());
  KvRxResourceInstanceImp empty(L"");
  KvRxResourceInstanceImp null(static_cast<void*>(nullptr));
  KvRxResourceInstanceImp allBits(reinterpret_cast<void*>(~std::uintptr_t{0}));
  for (const KvRxResourceInstanceImp* r : {&missing, &notAModule, &empty, &null, &allBits}) {
    const wchar_t* text = nullptr;
    std::wstring str;
    EXPECT_EQ(r->tryLoadString(1, text, str), 0);
    unsigned long size = 1;
    const void* data = &size;
    EXPECT_FALSE(r->loadDataResource(100, size, data));
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(r->loadBitmap(200), nullptr);
  }
  EXPECT_FALSE(missing.isLoaded());
  EXPECT_FALSE(notAModule.isLoaded());
  EXPECT_FALSE(null.isLoaded());
  EXPECT_TRUE(allBits.isLoaded());  // not null, though it stands for no module
}

TEST(ResourceInstance, TheLastCopyReleasesTheModule) {
  const std::string file = KVPAL_MODULE_FIXTURES "/resources_pe64.dll";
  ASSERT_EQ(mappingsOf(file), 0);
  {
    auto first = std::make_unique<KvRxResourceInstanceImp>(wide(file).c_str());
    KvRxResourceInstanceImp second(static_cast<void*>(nullptr));
    second = *first;
    KvRxResourceInstanceImp third(second);
    EXPECT_EQ(mappingsOf(file), 1);
    first.reset();
    second = KvRxResourceInstanceImp(static_cast<void*>(nullptr));
    EXPECT_EQ(mappingsOf(file), 1);
    EXPECT_EQ(stringOf(third, 16), L"First of the second block");
  }
  EXPECT_EQ(mappingsOf(file), 0);
}

TEST(ResourceInstance, LocalisedFoldersWithoutFallback) {
  kvpal::test::TempDir dir;
  for (const char* folder : {"en-US", "de-DE"}) fs::create_directory(fs::path(dir.path()) / folder);
  fs::copy_file(KVPAL_MODULE_FIXTURES "/resources_pe64.dll", fs::path(dir.path()) / "en-US" / "strings.dll");
  fs::copy_file(KVPAL_RESMODULE, fs::path(dir.path()) / "de-DE" / "other.dll");
  fs::path before = fs::current_path();
  fs::current_path(dir.path());
  struct Case {
    const wchar_t* language;
    const wchar_t* country;
    const wchar_t* file;
    bool loaded;
  } cases[] = {
      {L"en", L"US", L"strings.dll", true},
      {L"de", L"DE", L"strings.dll", false},  // only en-US has it: no fallback
      {L"de", L"DE", L"\\other.dll", true},
      {L"de", L"DE", L"/other.dll", true},
      {L"en", L"", L"strings.dll", false},  // no country: no folder
      {L"en", L"US", L"", false},           // the folder itself
  };
  for (const Case& c : cases) {
    KvRxResourceInstanceImp r(KvLocale(c.language, c.country), c.file);
    EXPECT_EQ(r.isLoaded(), c.loaded) << c.language << L"-" << c.country << L" " << c.file;
    if (c.loaded) {
      EXPECT_EQ(stringOf(r, 1), L"Hello");
    }
  }
  fs::current_path(before);
}

TEST(ResourceInstance, CurrentResourceModule) {
  EXPECT_FALSE(KvRxResourceInstanceImp::globalResource().isLoaded());
  KvRxResourceInstanceImp null(static_cast<void*>(nullptr));
  EXPECT_FALSE(null.setAsGlobalResource());
  EXPECT_FALSE(KvRxResourceInstanceImp::globalResource().isLoaded());

  KvRxResourceInstanceImp r(wide(KVPAL_MODULE_FIXTURES "/resources_pe64.dll").c_str());
  ASSERT_TRUE(r.isLoaded());
  EXPECT_FALSE(r.setAsGlobalResource());  // made current
  EXPECT_TRUE(r.setAsGlobalResource());   // already current
  KvRxResourceInstanceImp global = KvRxResourceInstanceImp::globalResource();
  EXPECT_EQ(stringOf(global, 15), L"Last of the first block");
  EXPECT_TRUE(global.setAsGlobalResource());
  EXPECT_FALSE(null.setAsGlobalResource());
  EXPECT_EQ(stringOf(KvRxResourceInstanceImp::globalResource(), 1), L"Hello");
}

TEST(LoadResource, ResourcesOfLoaderModules) {
  void* module = dlopen(KVPAL_RESMODULE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  struct Case {
    const wchar_t* name;
    const wchar_t* type;
    const wchar_t* suffix;
    void* module;
    std::string expected;
  } cases[] = {
      {L"LO", MAKE_ID(10), L"GO", module, "named name"},
      {L"logo", MAKE_ID(10), nullptr, module, "named name"},
      {L"GREETING", L"MESSAGE", L"", module, "named type"},
      {L"#100", L"#10", nullptr, module, "abcCD"},
      {MAKE_ID(100), MAKE_ID(10), L"ignored", module, "abcCD"},
      {L"LOGO", MAKE_ID(10), nullptr, nullptr, "named name"},  // the executable's own
  };
  for (const Case& c : cases) {
    unsigned int size = 0;
    const char* data = LoadResource(c.name, c.type, c.suffix, size, c.module, false);
    ASSERT_NE(data, nullptr) << c.expected;
    EXPECT_EQ(std::string(data, size), c.expected);
  }
  KvRxResourceInstanceImp wrapped(module);
  EXPECT_EQ(stringOf(wrapped, 1), L"Hello");
  dlclose(module);
}

TEST(LoadResource, MissingResourceAssertsAndGivesNull) {
  void* module = dlopen(KVPAL_RESMODULE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  for (void* handle : {module, reinterpret_cast<void*>(~std::uintptr_t{0})}) {
    auto r = kvpal::test::runOnTerminal(
        [&] {
          unsigned int size = 7;
          const char* data = LoadResource(L"LOGO", L"MISSING", nullptr, size, handle, false);
          return data == nullptr && size == 7 ? 0 : 1;
        },
        [](int master) {
          std::string shown = kvpal::test::readFrom(master, "always? ");
          if (write(master, "i\n", 2) != 2) return std::string();
          return shown;
        });
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("Resource not found."), std::string::npos) << r.output;
  }
  dlclose(module);
}

}  // namespace
