#include <pal/pal.h>

#include <cstdio>
#include <cstring>
#include <string>

int main() {
  const char* v = Halvex::Tessaran::PAL::libraryVersion();
  std::printf("%s\n", v);
  // Uses boost::filesystem::path from the public interface, so the package
  // must bring Boost.Filesystem along.
  const bool pathsWork = Halvex::Tessaran::PAL::FileSystem::normalized("/a/../b") == "/b";
  bool resourcesWork = true;
#ifdef KVPAL_CONSUMER_RESOURCES
  // The package's kvpal_add_resources gave the program its own resources.
  unsigned int size = 0;
  const char* data = Halvex::Tessaran::PAL::LoadResource(reinterpret_cast<const wchar_t*>(1),
                                                         reinterpret_cast<const wchar_t*>(10), nullptr, size,
                                                         nullptr, false);
  resourcesWork = data && std::string(data, size) == "installed";
#endif
  return std::strlen(v) > 0 && pathsWork && resourcesWork ? 0 : 1;
}
