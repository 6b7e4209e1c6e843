// Vetting and loading a small plug-in against opening the same file with
// dlopen and looking up its version function, each unloaded again.
#include <dlfcn.h>

#include "pal/plugin_loader.h"
#include "ratio_reporter.h"

namespace {

using namespace Halvex::Tessaran::PAL;

// Consents to everything and ignores messages.
class ConsentingHost : public IPluginLoaderHost {
 public:
  void reportMessage(int, ...) override {}
  bool allowLoad(const wchar_t*) override { return true; }
  bool approveToolset(const wchar_t*) override { return true; }
  void beforeLoadLibrary() override {}
  bool preLoadCheck(const ModuleImage*, const wchar_t*, void*, bool, const wchar_t*, bool, bool, DWORD*,
                    DWORD, DWORD) override {
    return false;
  }
  int confirmLoad(const wchar_t*, int, const ModuleImage*, void*) override { return 1; }
  int hostKind() override { return 0; }
  const wchar_t* hostVersionText() override { return L"KvHost 23.0"; }
};

const wchar_t* const kPluginWide = L"" KVPAL_BENCH_PLUGIN;

void BM_DlopenAndDlsym(benchmark::State& state) {
  for (auto _ : state) {
    void* handle = dlopen(KVPAL_BENCH_PLUGIN, RTLD_NOW | RTLD_LOCAL);
    void* version = handle ? dlsym(handle, "kvrxGetApiVersion") : nullptr;
    if (!version) {
      state.SkipWithError("the plug-in does not open");
      break;
    }
    benchmark::DoNotOptimize(version);
    dlclose(handle);
  }
}
BENCHMARK(BM_DlopenAndDlsym);

void BM_VetAndLoad(benchmark::State& state) {
  ConsentingHost host;
  PluginLoader::setHost(&host);
  Win32PluginLoader loader;
  for (auto _ : state) {
    char kind = 0;
    void* handle = loader.loadPlugin(kPluginWide, false, &kind);
    if (!handle) {
      state.SkipWithError("the plug-in is refused");
      break;
    }
    loader.unloadPlugin(handle);
  }
  PluginLoader::setHost(nullptr);
}
BENCHMARK(BM_VetAndLoad);

}  // namespace

int main(int argc, char** argv) {
  return kvpal::bench::runWithRatios(
      argc, argv, {{"vet and load vs dlopen + dlsym", "BM_VetAndLoad", "BM_DlopenAndDlsym"}});
}
