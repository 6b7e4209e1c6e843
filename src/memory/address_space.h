// Address-space primitives: the stand-in for VirtualAlloc/VirtualFree/
// VirtualProtect/VirtualQuery. Reservations have no access until committed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace Halvex::Tessaran::PAL::detail {

// Reserves `size` bytes anywhere; null on failure.
void* reserveAddressSpace(size_t size);
// Reserves `size` bytes where nothing else is mapped in the window behind
// them, so that reserveAddressSpaceAt can extend them; null on failure.
void* reserveGrowableAddressSpace(size_t size);
// Reserves exactly [address, address + size); false when any of it is in use.
bool reserveAddressSpaceAt(void* address, size_t size);
// Makes reserved pages read-write.
bool commitReadWrite(void* address, size_t size);
void releaseAddressSpace(void* address, size_t size);

// The mapping that holds an address, as the system's mapping table has it.
struct Region {
  uintptr_t begin;
  uintptr_t end;
  bool read, write, execute;
};
// Empty when nothing is mapped at `p` or the table cannot be read.
std::optional<Region> queryRegion(const void* p);

}  // namespace Halvex::Tessaran::PAL::detail
