// An application executable's start-up on KvPal, in the order the library
// expects. Read this first when porting a module's host to Linux.
//
// The library starts no threads and keeps process-wide state (settings
// roots, product identity, caches, hooks) that the host sets once, on its
// main thread, before any other thread uses the library. Each step below
// prints one line, so a run shows what the library found.
//
// Run it from an installation folder: the host finds libKvPal.so beside
// itself (run path $ORIGIN), and the product identity files
// (identityver.ini, <language>/identity.ini) are read from the library's
// folder. examples/host/run.sh builds such a folder, with the example
// plug-in (example_plugin.cpp) beside the host, and runs this program under
// `kvpal trace record`.
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "pal/pal.h"

namespace PAL = Halvex::Tessaran::PAL;

namespace {

std::string utf8(const std::wstring& text) {
  std::string out;
  PAL::UnicodeConvert::wideCharToUtf8(text.c_str(), out);
  return out;
}

// The library logs nothing until the host hands it a logger; on Windows the
// application's logger wrote to its log window, here we print.
class PrintingLogger : public PAL::Log::ILoggerHost {
 public:
  void log(const std::string& first, const std::string& second, PAL::Log::LogLevel level) override {
    std::printf("log %s: %s %s\n", PAL::Log::logLevelToString(level).c_str(), first.c_str(), second.c_str());
  }
};

// Without a handler a failed assertion shows the assertion box (X11, or a
// prompt on the terminal) and writes the ".err" log beside the executable.
// A host that reports assertions its own way installs a handler.
void onAssertion(const wchar_t* expression, const wchar_t*, int line, const wchar_t*, const wchar_t*) {
  std::printf("assertion: %s (line %d)\n", utf8(expression).c_str(), line);
}

// The plug-in loader consults the host at each step of a file load: may
// this file load, is a module built by another toolset trusted, what the
// host checks before the module is mapped, the last consent; and it reports
// each refusal as a numbered message. An application's host answers from
// its own policy and message texts; this one consents and prints each call.
class PrintingPluginHost final : public PAL::IPluginLoaderHost {
 public:
  void reportMessage(int messageId, ...) override {
    // The arguments follow the number as the message's table lists them
    // (numbers as DWORD, texts as wide or narrow strings); a host reads them
    // by that table to fill in its own text.
    std::printf("plugin host: reportMessage %d\n", messageId);
  }
  bool allowLoad(const wchar_t* path) override {
    std::printf("plugin host: allowLoad %s\n", utf8(path).c_str());
    return true;
  }
  bool approveToolset(const wchar_t* path) override {
    std::printf("plugin host: approveToolset %s\n", utf8(path).c_str());
    return true;
  }
  void beforeLoadLibrary() override { std::printf("plugin host: beforeLoadLibrary\n"); }
  // The status may be changed through the pointer; answering true marks a
  // database module (.zvx) as checked by the host.
  bool preLoadCheck(const PAL::ModuleImage*, const wchar_t* path, void*, bool isDatabaseModule,
                    const wchar_t*, bool, bool, DWORD* status, DWORD, DWORD) override {
    std::printf("plugin host: preLoadCheck %s database %d status %#x\n", utf8(path).c_str(),
                isDatabaseModule ? 1 : 0, static_cast<unsigned>(*status));
    return false;
  }
  // 0 refuses; 2 loads without the beforeLoadLibrary call.
  int confirmLoad(const wchar_t* path, int kind, const PAL::ModuleImage*, void*) override {
    std::printf("plugin host: confirmLoad %s kind %d\n", utf8(path).c_str(), kind);
    return 1;
  }
  // Asked once per process. 1 and 3 are the executables plug-ins may link
  // against, 4 a host of database modules only; other values are the
  // application's own.
  int hostKind() override {
    std::printf("plugin host: hostKind\n");
    return 0;
  }
  // Named in the messages about incompatible plug-ins.
  const wchar_t* hostVersionText() override {
    std::printf("plugin host: hostVersionText\n");
    return L"Example host 1.0";
  }
};

}  // namespace

int main() {
  // 1. Threads: the main thread, and the user-interface thread (here the
  //    same one, as in most of the application's executables). Fonts,
  //    windows and timers are used from the UI thread only.
  PAL::Thread::initializeMainThread();
  PAL::Thread::initializeUiThread();

  // 2. Process defaults: the C runtime's settings and the search-path
  //    clean-up every executable of the application starts with.
  PAL::Process::initializeProcessDefaults();

  // 3. The product identity: which product and language this installation
  //    runs, and from that the settings roots that every settings read walks.
  //    Empty product and language mean "the last launched, else the first
  //    installed"; the roaming root defaults to the product's culture root.
  if (!PAL::Settings::Roots::initializeByConvention(L"", L"", nullptr, false)) {
    std::printf("identity: the start-up failed\n");
    return 1;
  }
  std::printf("identity: product %s, language %s\n", utf8(PAL::Settings::getCurrentProduct()).c_str(),
              utf8(PAL::Settings::Roots::currentLanguageName()).c_str());
  std::printf("roots: culture %s, roaming %s\n",
              utf8(PAL::Settings::Roots::productCultureSpecificRootName()).c_str(),
              utf8(PAL::Settings::Roots::roamingRootName()).c_str());

  // 4. The host's hooks: the logger (the library owns it from here on), the
  //    assertion handler, and the plug-in loader's host, shared by every
  //    plug-in loader of the process. The library does not own that host: it
  //    must outlive every load, and without it file loads return null.
  PAL::Log::setLoggerHost(std::make_unique<PrintingLogger>());
  PAL::Log::log("host", "logger installed", PAL::Log::LevelInfo);
  kvutSetAssertHandler(onAssertion);
  kvutAssertMessage(L"startupChecked", L"host.cpp", __LINE__, nullptr);
  static PrintingPluginHost pluginHost;
  PAL::PluginLoader::setHost(&pluginHost);

  // The application's own start-up shows in a trace as this event pair.
  PerfLog_WriteKvApAppInitEvent(true);

  // 5. Plug-ins. The PluginLoader facade loads files through the host only
  //    in a process where the application's database module (kvdb23: a
  //    libkvdb23.so or kvdb23.so) is loaded when first asked
  //    (Process::isTrellis); elsewhere it loads shared objects as they are,
  //    unvetted and unseen by the host. This host has no database module, so
  //    it uses the file loader, Win32PluginLoader, itself.
  //
  //    A bare name is looked for as NAME.so in the executable's folder, then
  //    along LD_LIBRARY_PATH and the dynamic loader's folders. The file is
  //    vetted before it is mapped, so a module that would not work here
  //    never runs its initialisers. A refusal reaches the host as a message
  //    and the load returns null: an optional plug-in that is not installed
  //    is no error. Loads happen on the main thread, one at a time, and a
  //    module stays loaded until unloadPlugin().
  Win32PluginLoader plugins;
  void* plugin = plugins.loadPlugin(L"example_plugin", true, nullptr);
  if (!plugin) {
    std::printf("plugin: example_plugin refused\n");
    return 1;
  }
  std::printf("plugin: loaded example_plugin\n");
  // The loader only checks that the entry point exists; calling it is the
  // host's part.
  using EntryPoint = int (*)(void*);
  auto entryPoint = reinterpret_cast<EntryPoint>(
      plugins.getPluginSymbol(plugin, PAL::PluginLoaderImp::entryPointSymbolName()));
  std::printf("plugin: entry point returned %d\n", entryPoint(nullptr));
  if (!plugins.loadPlugin(L"absent_plugin", true, nullptr))
    std::printf("plugin: absent_plugin not installed\n");

  // 6. Fonts: the installed-font list (fontconfig's TrueType and OpenType
  //    faces), built on first use and kept.
  const auto& fonts = PAL::FontUtils::getAllInstalledFonts();
  std::printf("fonts: %zu installed\n", fonts.size());
  for (std::size_t i = 0; i < fonts.size() && i < 3; ++i)
    std::printf("font: %s %s\n", utf8(fonts[i].faceName).c_str(), utf8(fonts[i].styleName).c_str());

  // 7. Settings: a value written to and read back from the roaming root in
  //    the user hive ($XDG_CONFIG_HOME/halvex/settings.db, or
  //    $KVPAL_USER_HIVE).
  {
    PAL::Settings::Container options = PAL::Settings::write().roaming(L"Options");
    const unsigned runs = options.getUInt32(L"Runs", 0) + 1;
    options.setUInt32(L"Runs", runs);
    std::printf("settings: Runs = %u\n", PAL::Settings::read().roaming(L"Options").getUInt32(L"Runs", 0));
  }

  // Work may now move to other threads; the library's identity answers
  // tell them apart.
  std::thread worker([] { std::printf("worker: main thread %d\n", PAL::Thread::isMainThread() ? 1 : 0); });
  worker.join();

  PerfLog_WriteKvApAppInitEvent(false);
  std::printf("done\n");
  return 0;
}
