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
// folder. examples/host/run.sh builds such a folder and runs this program
// under `kvpal trace record`.
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

  // 4. The host's hooks: the logger (the library owns it from here on) and
  //    the assertion handler. The plug-in loader's host (PluginLoader::setHost)
  //    is installed here too, once the loader is part of the library.
  PAL::Log::setLoggerHost(std::make_unique<PrintingLogger>());
  PAL::Log::log("host", "logger installed", PAL::Log::LevelInfo);
  kvutSetAssertHandler(onAssertion);
  kvutAssertMessage(L"startupChecked", L"host.cpp", __LINE__, nullptr);

  // The application's own start-up shows in a trace as this event pair.
  PerfLog_WriteKvApAppInitEvent(true);

  // 5. Fonts: the installed-font list (fontconfig's TrueType and OpenType
  //    faces), built on first use and kept.
  const auto& fonts = PAL::FontUtils::getAllInstalledFonts();
  std::printf("fonts: %zu installed\n", fonts.size());
  for (std::size_t i = 0; i < fonts.size() && i < 3; ++i)
    std::printf("font: %s %s\n", utf8(fonts[i].faceName).c_str(), utf8(fonts[i].styleName).c_str());

  // 6. Settings: a value written to and read back from the roaming root in
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
