// Prints the first random_string of a freshly loaded library.
#include <cstdio>

#include "pal/input.h"

int main() {
  std::puts(Halvex::Tessaran::PAL::MessageUtilities::random_string().c_str());
}
