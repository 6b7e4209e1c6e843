// The platform's identity: the target it was built for and the names of
// operating systems and instruction sets.
#include <iterator>

#include "pal/windowing.h"

namespace Halvex::Tessaran::PAL::Platform {

namespace {

constexpr const char* kOperatingSystems[] = {"Unknown", "Win32", "Win64",   "macOS", "iOS",
                                             "Web",     "UWP",   "Android", "Linux"};
constexpr const char* kInstructionSets[] = {"Unknown", "Intel32", "Intel64",  "Arm32",
                                            "Arm64",   "Asmjs",   "IntelIA64"};

template <std::size_t N>
const char* nameOf(const char* const (&names)[N], int value) {
  return value >= 0 && static_cast<std::size_t>(value) < N ? names[value] : names[0];
}

}  // namespace

OperatingSystem getTargetOS() {
  return OperatingSystem::Linux;
}

InstructionSet getTargetInstructionSet() {
#if defined(__aarch64__)
  return InstructionSet::Arm64;
#else
  return InstructionSet::Intel64;
#endif
}

const char* getOperatingSystemAsString(OperatingSystem os) {
  return nameOf(kOperatingSystems, static_cast<int>(os));
}

const char* getInstructionSetAsString(InstructionSet set) {
  return nameOf(kInstructionSets, static_cast<int>(set));
}

}  // namespace Halvex::Tessaran::PAL::Platform
