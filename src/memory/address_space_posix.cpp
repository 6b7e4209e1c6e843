// Address-space reservations on mmap/mprotect, and the page protection
// switches built on them.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include "memory/address_space.h"
#include "pal/memory.h"

namespace Halvex::Tessaran::PAL {
namespace detail {
namespace {
// Linux hands out new mappings top-down, each right below the last, so a
// fresh reservation usually has a neighbour directly behind it. Reserving
// this much more and giving the tail back leaves a free window to grow into;
// later mappings fill such windows from their far end.
constexpr size_t kGrowthWindow = size_t{1} << 30;

void* mapNone(void* hint, size_t size, int extraFlags) {
  void* p = mmap(hint, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | extraFlags, -1, 0);
  return p == MAP_FAILED ? nullptr : p;
}

bool protect(void* address, int prot) {
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t a = reinterpret_cast<uintptr_t>(address);
  const uintptr_t begin = a & ~(page - 1);
  const uintptr_t end = (a + 4096 + page - 1) & ~(page - 1);
  // mprotect changes the mappings before a hole and then fails on it: make
  // sure first that every page is mapped (mincore fails on a hole), so that a
  // failure changes nothing. The range touches at most two pages.
  unsigned char resident[2];
  if (end - begin > sizeof resident * page) return false;
  if (mincore(reinterpret_cast<void*>(begin), end - begin, resident) != 0) return false;
  return mprotect(reinterpret_cast<void*>(begin), end - begin, prot) == 0;
}
}  // namespace

void* reserveAddressSpace(size_t size) {
  return mapNone(nullptr, size, 0);
}

void* reserveGrowableAddressSpace(size_t size) {
  if (size > SIZE_MAX - kGrowthWindow) return nullptr;
  void* p = mapNone(nullptr, size + kGrowthWindow, 0);
  if (!p) return reserveAddressSpace(size);
  munmap(static_cast<char*>(p) + size, kGrowthWindow);
  return p;
}

bool reserveAddressSpaceAt(void* address, size_t size) {
  void* p = mapNone(address, size, MAP_FIXED_NOREPLACE);
  if (!p) return false;
  if (p != address) {  // kernels before 4.17 take the flag as a mere hint
    munmap(p, size);
    return false;
  }
  return true;
}

bool commitReadWrite(void* address, size_t size) {
  return mprotect(address, size, PROT_READ | PROT_WRITE) == 0;
}

void releaseAddressSpace(void* address, size_t size) {
  munmap(address, size);
}
}  // namespace detail

bool MemLocker::makePageReadOnly(void* address) {
  return detail::protect(address, PROT_READ);
}

bool MemLocker::makePageWritable(void* address) {
  return detail::protect(address, PROT_READ | PROT_WRITE);
}

}  // namespace Halvex::Tessaran::PAL
