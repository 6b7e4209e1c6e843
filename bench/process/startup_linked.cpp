// A program of the application at its smallest: it links libKvPal.so and
// makes one call.
#include <cstring>

#include "pal/version.h"

int main() {
  return std::strlen(Halvex::Tessaran::PAL::libraryVersion()) > 0 ? 0 : 1;
}
