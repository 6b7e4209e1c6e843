#include <pal/pal.h>

#include <cstdio>
#include <cstring>

int main() {
  const char* v = Halvex::Tessaran::PAL::libraryVersion();
  std::printf("%s\n", v);
  return std::strlen(v) > 0 ? 0 : 1;
}
