// Helper program for the process tests: answers one process query, or waits
// as a running instance until its standard input closes.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "base/utf8.h"
#include "pal/process.h"

int main(int argc, char** argv) {
  namespace P = Halvex::Tessaran::PAL::Process;
  if (argc != 2) return 2;
  if (std::strcmp(argv[1], "sessions") == 0) {
    std::printf("%d\n", P::getMultipleSessions() ? 1 : 0);
  } else if (std::strcmp(argv[1], "image") == 0) {
    std::printf("%s\n", Halvex::Tessaran::PAL::detail::wideToUtf8(P::getImagePath()).c_str());
  } else if (std::strcmp(argv[1], "wait") == 0) {
    std::printf("ready\n");
    std::fflush(stdout);
    char c;
    while (read(0, &c, 1) > 0) {
    }
  } else {
    return 2;
  }
  return 0;
}
