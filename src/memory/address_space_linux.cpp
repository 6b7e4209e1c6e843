// Region queries from /proc/self/maps, and the pointer plausibility tests
// that read them.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "memory/address_space.h"
#include "pal/memory.h"

namespace Halvex::Tessaran::PAL {

std::optional<detail::Region> detail::queryRegion(const void* p) {
  const uintptr_t a = reinterpret_cast<uintptr_t>(p);
  FILE* f = std::fopen("/proc/self/maps", "re");
  if (!f) return std::nullopt;
  std::optional<Region> found;
  char line[512];
  bool lineStart = true;
  while (!found && std::fgets(line, sizeof line, f)) {
    // A long path may split a line over several reads; only its first part
    // carries the addresses and permissions.
    const bool start = lineStart;
    lineStart = std::strchr(line, '\n') != nullptr;
    uintptr_t b, e;
    char perms[5];
    if (!start || std::sscanf(line, "%" SCNxPTR "-%" SCNxPTR " %4s", &b, &e, perms) != 3) continue;
    if (a >= b && a < e) found = Region{b, e, perms[0] == 'r', perms[1] == 'w', perms[2] == 'x'};
  }
  std::fclose(f);
  return found;
}

namespace {
// A page with no access is what Linux has for a guard page; both are bad.
template <bool detail::Region::*Wanted>
bool isBad(const void* p) {
  auto r = detail::queryRegion(p);
  return !r || !((*r).*Wanted);
}
}  // namespace

bool BoundsChecks::kvIsBadReadPtr(const void* p, size_t) {
  return isBad<&detail::Region::read>(p);
}

bool BoundsChecks::kvIsBadWritePtr(const void* p, size_t) {
  return isBad<&detail::Region::write>(p);
}

bool BoundsChecks::kvIsBadCodePtr(const void* p) {
  return isBad<&detail::Region::execute>(p);
}

}  // namespace Halvex::Tessaran::PAL
