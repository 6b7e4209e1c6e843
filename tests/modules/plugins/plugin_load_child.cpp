// Loads plug-in files through a scripted host of the host kind given, in a
// process of its own (the kind is fixed at the first load of a process),
// and prints each outcome and message.
//   plugin_load_child KIND [--terminate] FILE...
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "scripted_host.h"

int main(int argc, char** argv) {
  using namespace Halvex::Tessaran::PAL;
  if (argc < 3) return 2;
  kvpal::test::HostScript script;
  script.hostKind = std::atoi(argv[1]);
  int first = 2;
  if (std::strcmp(argv[2], "--terminate") == 0) {
    script.statusFromPreLoadCheck = TerminateRequested;
    ++first;
  }
  kvpal::test::ScriptedHost host(script);
  host.echo = true;
  PluginLoader::setHost(&host);
  Win32PluginLoader loader;
  for (int i = first; i < argc; ++i) {
    char kind = -1;
    void* handle = loader.loadPlugin(detail::utf8ToWide(argv[i]).c_str(), true, &kind);
    std::printf("%s %s kind %d hostKind3 %d\n", argv[i], handle ? "loaded" : "null", kind,
                host.preLoad.hostKindIs3 ? 1 : 0);
    if (handle) loader.unloadPlugin(handle);
  }
  return 0;
}
