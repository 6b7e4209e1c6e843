// The plug-in loader with real modules and a scripted host: each vetting
// outcome with the host calls in order and the messages with their
// arguments, the search, the host kinds (each in a process of its own),
// the registration tables and the alternate host environment's loader.
#include "pal/plugin_loader.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "pal/process.h"
#include "pal/shared_objects.h"
#include "scripted_host.h"
#include "support/child_process.h"
#include "support/environment.h"
#include "support/temp_dir.h"

namespace {

using namespace Halvex::Tessaran::PAL;
using kvpal::test::HostScript;
using kvpal::test::ScriptedHost;
namespace fs = std::filesystem;

const std::string kFixtures = KVPAL_PLUGIN_FIXTURES;
const std::string kModuleFixtures = KVPAL_MODULE_FIXTURES;

std::wstring wide(const std::string& text) {
  return detail::utf8ToWide(text);
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

bool mapped(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (handle) dlclose(handle);
  return handle != nullptr;
}

class PluginLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override { PluginLoader::setHost(&host_); }
  void TearDown() override { PluginLoader::setHost(nullptr); }
  ScriptedHost host_;
};

// What one load through the file loader must give. In calls and messages,
// $P stands for the found path, $F for its file name.
struct LoadCase {
  const char* label;
  std::string name;  // what the caller passes
  std::string path;  // the file it must find ("" when the same as name)
  HostScript script;
  bool report;
  bool loads;
  int kind;
  std::vector<std::string> calls;
  std::vector<std::string> messages;
};

HostScript with(void (*change)(HostScript&)) {
  HostScript script;
  change(script);
  return script;
}

const std::vector<std::string> kLoadCalls = {"allowLoad $P", "preLoadCheck $P status 0",
                                             "confirmLoad $P kind 0", "beforeLoadLibrary"};
const std::vector<std::string> kNoBeforeLoad = {"allowLoad $P", "preLoadCheck $P status 0",
                                                "confirmLoad $P kind 0"};
const std::vector<std::string> kToolsetCalls = {"allowLoad $P", "approveToolset $P",
                                                "preLoadCheck $P status 0", "confirmLoad $P kind 0",
                                                "beforeLoadLibrary"};

// The calls of a load that the vetting (or the host's status) stops before
// the host's consent is asked.
std::vector<std::string> vetoed(DWORD status) {
  return {"allowLoad $P", "preLoadCheck $P status " + std::to_string(status)};
}

std::vector<std::string> databaseCalls(int kind, bool before) {
  std::vector<std::string> calls = {"allowLoad $P", "preLoadCheck $P status 0",
                                    "confirmLoad $P kind " + std::to_string(kind)};
  if (before) calls.push_back("beforeLoadLibrary");
  return calls;
}

std::vector<LoadCase> loadCases(const std::string& textFile) {
  const std::string f = kFixtures + "/", m = kModuleFixtures + "/";
  const std::string good = f + "libgood.so", db = f + "good.zvx";
  const std::string exeFolder = fs::read_symlink("/proc/self/exe").parent_path().string();
  const std::string incompatible = "7637|$F|21|KvHost 23.0";
  const std::string noVersion = "7644|kvrxGetApiVersion|$P";
  const std::string debugCrt = "7643|$P|MSVCR140D.DLL|KvHost 23.0|MSVCR140.DLL";
  const HostScript plain;
  const HostScript confirm2 = with([](HostScript& s) { s.confirmLoad = 2; });
  const HostScript zeroOne = with([](HostScript& s) { s.versionTextToZeroOne = true; });
  const HostScript disallow = with([](HostScript& s) { s.allowLoad = false; });
  const HostScript noToolset = with([](HostScript& s) { s.approveToolset = false; });
  const HostScript checked = with([](HostScript& s) { s.preLoadCheck = true; });
  const HostScript refuse = with([](HostScript& s) { s.confirmLoad = 0; });
  const HostScript checkedRefuse = with([](HostScript& s) {
    s.preLoadCheck = true;
    s.confirmLoad = 0;
  });
  const HostScript reported = with([](HostScript& s) { s.statusFromPreLoadCheck = HostReported; });
  // clang-format off
  return {
      {"good", good, "", plain, true, true, 0, kLoadCalls, {}},
      {"confirm 2 skips beforeLoadLibrary", good, "", confirm2, true, true, 0, kNoBeforeLoad, {}},
      {"version text 0,1 skips beforeLoadLibrary", good, "", zeroOne, true, true, 0, kNoBeforeLoad, {}},
      {"relative path", fs::relative(good).string(), good, plain, true, true, 0, kLoadCalls, {}},
      {"bare name, executable's folder", "libexedir_plugin", exeFolder + "/libexedir_plugin.so", plain, true, true,
       0, kLoadCalls, {}},
      {"not found", "libnothere_plugin", "", plain, true, false, 0, {}, {"7635|2|No such file or directory"}},
      {"not found, quiet", "libnothere_plugin", "", plain, false, false, 0, {}, {}},
      {"allowLoad refuses", good, "", disallow, true, false, 2, {"allowLoad $P"}, {}},
      {"no entry point", f + "libno_entry.so", "", plain, true, false, 0, vetoed(EntryPointMissing),
       {"7638|kvrxEntryPoint|$F"}},
      {"no entry point, quiet", f + "libno_entry.so", "", plain, false, false, 0, vetoed(EntryPointMissing), {}},
      {"no version function", f + "libno_version.so", "", plain, true, false, 0, vetoed(VersionFunctionMissing),
       {noVersion}},
      {"version function without marker", f + "libno_marker.so", "", plain, true, false, 0,
       vetoed(IncompatibleVersion), {incompatible}},
      {"version function answers 0x160000", f + "libold.so", "", plain, true, false, 0, kToolsetCalls,
       {incompatible}},
      {"no toolset note, approved", f + "libplain.so", "", plain, true, true, 0, kToolsetCalls, {}},
      {"no toolset note, refused", f + "libplain.so", "", noToolset, true, false, 0,
       {"allowLoad $P", "approveToolset $P", "preLoadCheck $P status 536870915"}, {}},
      {"missing dependency", f + "libmissing_dep.so", "", plain, false, false, 0, kLoadCalls, {"7641|$P"}},
      {"unresolved symbol", f + "libunresolved.so", "", plain, false, false, 0, kLoadCalls, {"7640|$P"}},
      {"pyra.exe needed", f + "libpyra_user.so", "", plain, true, false, 0, vetoed(IncompatibleVersion),
       {incompatible}},
      {"moxa.exe needed", f + "libmoxa_user.so", "", plain, true, false, 0, vetoed(IncompatibleVersion),
       {incompatible}},
      {"database module", db, "", plain, true, true, 1, databaseCalls(1, true), {}},
      {"database module, preLoadCheck true", db, "", checked, true, true, 1, databaseCalls(3, true), {}},
      {"database module declined", db, "", refuse, true, false, 1, databaseCalls(1, false), {incompatible}},
      {"database module refused after preLoadCheck", db, "", checkedRefuse, true, false, 1, databaseCalls(3, false),
       {"7645|$P"}},
      {"database module refused, quiet", db, "", checkedRefuse, false, false, 1, databaseCalls(3, false), {}},
      {"host refuses", good, "", refuse, true, false, 0, databaseCalls(0, false), {"7639|$P"}},
      {"host refuses, quiet", good, "", refuse, false, false, 0, databaseCalls(0, false), {}},
      {"host reported", good, "", reported, true, false, 0, vetoed(0), {"7645|$P"}},
      {"not a module", textFile, "", plain, true, false, 0, vetoed(VersionFunctionMissing), {noVersion}},
      {"debug runtime library", m + "crtdebug_pe64.dll", "", plain, true, false, 0, vetoed(VersionFunctionMissing),
       {debugCrt, noVersion}},
      {"debug runtime library, quiet", m + "crtdebug_pe64.dll", "", plain, false, false, 0,
       vetoed(VersionFunctionMissing), {debugCrt}},
      {"both runtime libraries", m + "crtboth_pe64.dll", "", plain, true, false, 0, vetoed(VersionFunctionMissing),
       {"7642|$P|MSVCR140.DLL|MSVCR140D.DLL", noVersion}},
      {"forwarded version function", f + "forward_version.dll", "", plain, true, false, 0,
       vetoed(VersionFunctionMissing), {noVersion}},
      {"Windows plug-in: vetted, then refused by the loader", m + "plugin_pe64.dll", "", plain, true, false, 0,
       kToolsetCalls, {"7635|193|$P: invalid ELF header"}},
  };
  // clang-format on
}

TEST_F(PluginLoaderTest, FileLoadsFollowTheTableOfStatusesAndMessages) {
  kvpal::test::TempDir temp;
  const std::string textFile = temp.path() + "/notamodule.so";
  std::ofstream(textFile) << "not a module\n";
  Win32PluginLoader loader;
  for (const LoadCase& c : loadCases(textFile)) {
    SCOPED_TRACE(c.label);
    host_.clear();
    host_.setScript(c.script);
    const std::string path = c.path.empty() ? c.name : c.path;
    const std::string file = fs::path(path).filename().string();
    auto expand = [&](std::vector<std::string> lines) {
      for (auto& line : lines) line = replaceAll(replaceAll(line, "$P", path), "$F", file);
      return lines;
    };
    char kind = -1;
    void* handle = loader.loadPlugin(wide(c.name).c_str(), c.report, &kind);
    EXPECT_EQ(handle != nullptr, c.loads);
    EXPECT_EQ(kind, c.kind);
    EXPECT_EQ(host_.calls, expand(c.calls));
    EXPECT_EQ(host_.messages, expand(c.messages));
    if (host_.calls.size() > 1) {
      EXPECT_EQ(host_.preLoad.versionText, L"KvHost 23.0");
      EXPECT_EQ(host_.preLoad.declined, 0x2000000Au);
      EXPECT_EQ(host_.preLoad.terminate, 0x20000002u);
      EXPECT_FALSE(host_.preLoad.alwaysFalse);
      EXPECT_FALSE(host_.preLoad.hostKindIs3);
      EXPECT_EQ(host_.preLoad.database, c.kind == 1);
      EXPECT_EQ(host_.preLoad.hadImage, path != textFile);
      EXPECT_EQ(host_.preLoad.present, nullptr);
    }
    if (handle) {
      EXPECT_NE(loader.getPluginSymbol(handle, "kvrxEntryPoint"), nullptr);
      EXPECT_TRUE(loader.unloadPlugin(handle));
    }
    // A refused module never stays mapped.
    EXPECT_FALSE(mapped(path));
  }
  EXPECT_EQ(host_.hostKindCalls, 1) << "the host kind is asked once per process";
}

TEST_F(PluginLoaderTest, SearchFollowsLdLibraryPathAndTheLoaderFolders) {
  Win32PluginLoader loader;
  const char* saved = std::getenv("LD_LIBRARY_PATH");
  const std::string savedValue = saved ? saved : "";
  kvpal::test::setVariable("LD_LIBRARY_PATH",
                           ("/nonexistent::" + kFixtures + "/drivers:" + kFixtures).c_str());
  char kind = -1;
  void* handle = loader.loadPlugin(L"libgood", true, &kind);
  kvpal::test::setVariable("LD_LIBRARY_PATH", saved ? savedValue.c_str() : nullptr);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(host_.calls.front(), "allowLoad " + kFixtures + "/libgood.so");
  EXPECT_TRUE(loader.unloadPlugin(handle));

  // A library of the system is found where the dynamic loader keeps it, and
  // refused for what it lacks.
  host_.clear();
  EXPECT_EQ(loader.loadPlugin(L"libm.so.6", true, &kind), nullptr);
  ASSERT_EQ(host_.messages.size(), 1u);
  const std::string found = host_.messages[0].substr(host_.messages[0].rfind('|') + 1);
  EXPECT_EQ(host_.messages[0], "7644|kvrxGetApiVersion|" + found);
  EXPECT_TRUE(found == "/lib/x86_64-linux-gnu/libm.so.6" || found == "/usr/lib/x86_64-linux-gnu/libm.so.6")
      << found;
}

TEST_F(PluginLoaderTest, PathsBeyond260CharactersAreRefused) {
  kvpal::test::TempDir temp;
  fs::path folder = temp.path();
  while (folder.string().size() <= 260) folder /= std::string(40, 'd');
  fs::create_directories(folder);
  fs::copy_file(kFixtures + "/libgood.so", folder / "libgood.so");
  Win32PluginLoader loader;
  char kind = -1;
  EXPECT_EQ(loader.loadPlugin(wide((folder / "libgood.so").string()).c_str(), true, &kind), nullptr);
  EXPECT_EQ(kind, 0);
  EXPECT_EQ(host_.calls, std::vector<std::string>{"allowLoad " + (folder / "libgood.so").string()});
  EXPECT_EQ(host_.messages, std::vector<std::string>{"7635|161|File name too long"});
}

// A module of the same file name loaded earlier from elsewhere is the one
// the load takes a reference on; it is not the module of the path.
TEST_F(PluginLoaderTest, AnotherModuleOfTheSameFileNameIsRefused) {
  const std::string copy = kFixtures + "/copy/libgood.so", good = kFixtures + "/libgood.so";
  void* first = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
  void* second = dlopen(good.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_TRUE(first && second);
  Win32PluginLoader loader;
  char kind = -1;
  EXPECT_EQ(loader.loadPlugin(wide(good).c_str(), false, &kind), nullptr);
  EXPECT_EQ(host_.messages, std::vector<std::string>{"7639|" + copy});
  EXPECT_EQ(host_.preLoad.present, second);
  dlclose(second);
  dlclose(first);
  EXPECT_FALSE(mapped(copy));
  EXPECT_FALSE(mapped(good));
}

TEST_F(PluginLoaderTest, AModuleAlreadyLoadedUnderThePathIsVettedThroughItsExports) {
  const std::string good = kFixtures + "/libgood.so";
  void* present = dlopen(good.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(present, nullptr);
  Win32PluginLoader loader;
  char kind = -1;
  void* handle = loader.loadPlugin(wide(good).c_str(), true, &kind);
  EXPECT_EQ(handle, present);
  EXPECT_EQ(host_.preLoad.present, present);
  EXPECT_TRUE(host_.messages.empty());
  EXPECT_TRUE(loader.unloadPlugin(handle));
  EXPECT_TRUE(mapped(good)) << "the load took a reference of its own";
  dlclose(present);
  EXPECT_FALSE(mapped(good));
}

struct ChildCase {
  int hostKind;
  std::vector<std::string> files;
  std::vector<std::string> lines;  // $X stands for the fixtures folder
};

// The host kind is fixed at a process's first load: each kind runs in a
// process of its own.
TEST(PluginLoaderHostKinds, DecideDatabaseModulesAndProductExecutables) {
  const std::string incompatiblePyra = "message 7637|libpyra_user.so|21|KvHost 23.0";
  const std::string incompatibleMoxa = "message 7637|libmoxa_user.so|21|KvHost 23.0";
  const ChildCase cases[] = {
      {4,
       {"$X/libgood.so", "$X/good.zvx", "$X/good_db.dll"},
       {"message 7639|$X/libgood.so", "$X/libgood.so null kind 0 hostKind3 0",
        "$X/good.zvx loaded kind 1 hostKind3 0", "$X/good_db.dll loaded kind 1 hostKind3 0"}},
      {1,
       {"$X/libpyra_user.so", "$X/libmoxa_user.so"},
       {"message 7641|$X/libpyra_user.so", "$X/libpyra_user.so null kind 0 hostKind3 0", incompatibleMoxa,
        "$X/libmoxa_user.so null kind 0 hostKind3 0"}},
      {3,
       {"$X/libpyra_user.so", "$X/libmoxa_user.so"},
       {incompatiblePyra, "$X/libpyra_user.so null kind 0 hostKind3 1", "message 7641|$X/libmoxa_user.so",
        "$X/libmoxa_user.so null kind 0 hostKind3 1"}},
  };
  for (const ChildCase& c : cases) {
    SCOPED_TRACE("host kind " + std::to_string(c.hostKind));
    std::vector<std::string> argv = {KVPAL_PLUGIN_CHILD, std::to_string(c.hostKind)};
    for (const auto& file : c.files) argv.push_back(replaceAll(file, "$X", kFixtures));
    kvpal::test::ChildOutcome outcome = kvpal::test::runChild(argv);
    ASSERT_EQ(outcome.exitCode, 0) << outcome.output;
    std::string expected;
    for (const auto& line : c.lines) expected += replaceAll(line, "$X", kFixtures) + "\n";
    EXPECT_EQ(outcome.output, expected);
  }
}

TEST(PluginLoaderHostKinds, TerminationDemandedByTheHostEndsTheProcess) {
  const std::string good = kFixtures + "/libgood.so";
  kvpal::test::ChildOutcome outcome =
      kvpal::test::runChild({KVPAL_PLUGIN_CHILD, "0", "--terminate", good, good});
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_EQ(outcome.output, "message 7647|" + good + "\n");
}

TEST_F(PluginLoaderTest, SdkVersionQueryTestsTheMarkerOnly) {
  Win32PluginLoader loader;
  const std::string noMarker = kFixtures + "/libno_marker.so";
  EXPECT_FALSE(loader.isBuiltWithCompatibleSDKVersion(wide(noMarker).c_str()));
  EXPECT_EQ(host_.messages, std::vector<std::string>{"7637|" + noMarker + "|21|KvHost 23.0"});
  host_.clear();
  for (const std::string& file :
       {kFixtures + "/libgood.so", kFixtures + "/libplain.so", kFixtures + "/libno_version.so",
        kFixtures + "/forward_version.dll", kFixtures + "/nothere.so"})
    EXPECT_TRUE(loader.isBuiltWithCompatibleSDKVersion(wide(file).c_str())) << file;
  EXPECT_TRUE(host_.messages.empty());
  EXPECT_TRUE(host_.calls.empty()) << "nothing is loaded";
  EXPECT_FALSE(mapped(kFixtures + "/libgood.so"));
}

TEST_F(PluginLoaderTest, FileLoaderHandlesAreDlopenHandles) {
  Win32PluginLoader loader;
  void* self = dlopen(nullptr, RTLD_LAZY);
  EXPECT_EQ(loader.mainModuleId(), self);
  EXPECT_EQ(loader.getPluginSymbol(nullptr, "malloc"), nullptr);
  EXPECT_FALSE(loader.unloadPlugin(nullptr));
  // Registrations are kept but the file loader never consults them.
  loader.registerPlugin(L"libgood", reinterpret_cast<void*>(&replaceAll));
  EXPECT_FALSE(loader.isPluginLoaded(L"libgood"));
  char kind = -1;
  void* handle = loader.loadPlugin(wide(kFixtures + "/libgood.so").c_str(), false, &kind);
  ASSERT_NE(handle, nullptr);
  EXPECT_NE(loader.getPluginSymbol(handle, "kvrxEntryPoint"), reinterpret_cast<void*>(&replaceAll));
  EXPECT_FALSE(loader.isPluginLoaded(L"libgood"));
  EXPECT_TRUE(loader.unloadPlugin(handle));
}

int entryA(void*) {
  return 1;
}
int entryB(void*) {
  return 2;
}
int symbolC() {
  return 3;
}

TEST(PluginRegistrations, TablesKeyedByNamesWithAToZFolded) {
  PluginLoaderImp loader;
  void* a = reinterpret_cast<void*>(&entryA);
  void* b = reinterpret_cast<void*>(&entryB);
  void* c = reinterpret_cast<void*>(&symbolC);
  loader.registerPlugin(L"Plug", a);
  loader.registerPluginSymbol(L"PLUG", "extra", c);
  loader.registerPluginSymbol(L"plug", "ignored", nullptr);
  loader.registerPluginSymbol(L"unregistered", "extra", c);
  char kind = -1;
  void* first = loader.loadPlugin(L"pLuG", true, &kind);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(kind, 0);
  EXPECT_EQ(loader.getPluginSymbol(first, "kvrxEntryPoint"), a);
  EXPECT_EQ(loader.getPluginSymbol(first, "extra"), c);
  EXPECT_EQ(loader.getPluginSymbol(first, "ignored"), nullptr);
  EXPECT_EQ(loader.getPluginSymbol(nullptr, "extra"), nullptr);
  EXPECT_TRUE(loader.isPluginLoaded(L"PLUG"));
  EXPECT_EQ(loader.loadPlugin(L"unregistered", true, &kind), nullptr);

  // Only A to Z fold: other letters are different names.
  loader.registerPlugin(L"\u00c9t\u00e9", a);
  EXPECT_EQ(loader.loadPlugin(L"\u00e9t\u00e9", true, &kind), nullptr);
  EXPECT_NE(loader.loadPlugin(L"\u00c9T\u00e9", true, &kind), nullptr);

  // A second registration replaces the first; a loaded plug-in keeps its
  // table, and unregistering leaves it loaded.
  loader.registerPlugin(L"plug", b);
  void* second = loader.loadPlugin(L"plug", true, &kind);
  EXPECT_NE(second, first);
  EXPECT_EQ(loader.getPluginSymbol(second, "kvrxEntryPoint"), b);
  EXPECT_EQ(loader.getPluginSymbol(second, "extra"), nullptr);
  loader.registerPlugin(L"plug", nullptr);
  loader.unregisterPlugin(L"plug");
  EXPECT_EQ(loader.loadPlugin(L"plug", true, &kind), nullptr);
  EXPECT_TRUE(loader.isPluginLoaded(L"plug"));
  EXPECT_TRUE(loader.unloadPlugin(second));
  EXPECT_FALSE(loader.unloadPlugin(second));
  EXPECT_FALSE(loader.isPluginLoaded(L"plug"));

  EXPECT_TRUE(loader.isBuiltWithCompatibleSDKVersion(L"/nonexistent"));
  EXPECT_EQ(loader.mainModuleId(), reinterpret_cast<void*>(~std::uintptr_t{0}));
  EXPECT_STREQ(PluginLoaderImp::entryPointSymbolName(), "kvrxEntryPoint");
}

TEST(PluginRegistrations, AlternateHostLoaderPrefersRegistrationsThenLoadsSharedObjects) {
  const std::string good = kFixtures + "/libgood.so";
  TrellisPluginLoader loader;
  void* a = reinterpret_cast<void*>(&entryA);
  loader.registerPlugin(L"libgood", a);
  char kind = -1;
  void* registered = loader.loadPlugin(L"LIBGOOD", true, &kind);
  EXPECT_EQ(kind, 0);
  EXPECT_EQ(loader.getPluginSymbol(registered, "kvrxEntryPoint"), a);
  loader.unregisterPlugin(L"libgood");

  void* shared = loader.loadPlugin(wide(good).c_str(), true, &kind);
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(kind, 1);
  EXPECT_TRUE(mapped(good));
  auto* object = static_cast<KvRxSharedObjImp*>(shared);
  EXPECT_EQ(loader.getPluginSymbol(shared, "kvrxEntryPoint"), object->getSymbol("kvrxEntryPoint"));
  EXPECT_NE(loader.getPluginSymbol(shared, "kvrxEntryPoint"), nullptr);
  kind = -1;
  EXPECT_EQ(loader.loadPlugin(wide(good).c_str(), true, &kind), shared) << "one object per name";
  EXPECT_EQ(kind, 1);
  EXPECT_TRUE(loader.isPluginLoaded(wide(good).c_str()));
  EXPECT_TRUE(loader.isPluginLoaded(L"libgood")) << "the registered plug-in stays loaded";

  EXPECT_TRUE(loader.unloadPlugin(shared));
  EXPECT_FALSE(mapped(good));
  EXPECT_FALSE(loader.isPluginLoaded(wide(good).c_str()));
  EXPECT_TRUE(loader.unloadPlugin(registered));
  EXPECT_FALSE(loader.unloadPlugin(registered));

  kind = -1;
  EXPECT_EQ(loader.loadPlugin(L"/nonexistent/libnothere.so", true, &kind), nullptr);
  EXPECT_EQ(kind, 2);
}

// Without the host's database module the process is the alternate host
// environment, so the facade forwards to the alternate host loader.
TEST(PluginRegistrations, FacadeUsesTheLoaderOfTheEnvironment) {
  ASSERT_TRUE(Process::isTrellis());
  PluginLoader loader;
  void* a = reinterpret_cast<void*>(&entryA);
  loader.registerPlugin(L"Facade", a);
  char kind = -1;
  void* handle = loader.load(L"facade", true, &kind);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(loader.getSymbol(handle, "kvrxEntryPoint"), a);
  EXPECT_TRUE(loader.unload(handle));
  loader.unregisterPlugin(L"Facade");
  EXPECT_EQ(loader.load(L"facade", true, &kind), nullptr);
  EXPECT_EQ(PluginLoader::mainModuleId(), reinterpret_cast<void*>(~std::uintptr_t{0}));
  EXPECT_TRUE(PluginLoader::isBuiltWithCompatibleSDKVersion(wide(kFixtures + "/libno_marker.so").c_str()));
}

}  // namespace
