#include <pal/pal.h>

#include <cstdio>
#include <cstring>

int main() {
  const char* v = Halvex::Tessaran::PAL::libraryVersion();
  std::printf("%s\n", v);
  // Uses boost::filesystem::path from the public interface, so the package
  // must bring Boost.Filesystem along.
  const bool pathsWork = Halvex::Tessaran::PAL::FileSystem::normalized("/a/../b") == "/b";
  return std::strlen(v) > 0 && pathsWork ? 0 : 1;
}
