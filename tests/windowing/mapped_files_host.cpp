// A program of the application, linked to libKvPal.so: after one call that
// needs no system library ("start"), or after listing the installed fonts
// ("fonts"), prints the files the process has mapped, one per line.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <string>

#include "pal/font_utils.h"
#include "pal/version.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  if (std::strcmp(argv[1], "fonts") == 0)
    std::printf("fonts %zu\n", Halvex::Tessaran::PAL::FontUtils::getAllInstalledFonts().size());
  else if (std::strcmp(argv[1], "start") == 0)
    std::printf("version %s\n", Halvex::Tessaran::PAL::libraryVersion());
  else
    return 2;
  std::ifstream maps("/proc/self/maps");
  std::set<std::string> files;
  for (std::string line; std::getline(maps, line);)
    if (const auto slash = line.find('/'); slash != std::string::npos) files.insert(line.substr(slash));
  for (const auto& file : files) std::printf("%s\n", file.c_str());
  return 0;
}
