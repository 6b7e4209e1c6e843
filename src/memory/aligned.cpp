// Aligned blocks from the C library's heap, remembering the size asked for
// as the Windows runtime's aligned allocator does.
#include <cstdint>
#include <cstdlib>

#include "memory/out_of_memory.h"
#include "pal/memory.h"

namespace {
struct AlignedHeader {
  void* raw;    // what malloc returned
  size_t size;  // what the caller asked for
};

AlignedHeader* headerOf(void* block) {
  return static_cast<AlignedHeader*>(block) - 1;
}
}  // namespace

void* kvAllocAligned(size_t alignment, size_t size) {
  if (alignment == 0 || (alignment & (alignment - 1)) != 0) return nullptr;
  if (alignment < sizeof(void*)) alignment = sizeof(void*);
  const size_t extra = alignment - 1 + sizeof(AlignedHeader);
  if (size > SIZE_MAX - extra) return nullptr;
  void* raw = Halvex::Tessaran::PAL::detail::crtMalloc(size + extra);
  if (!raw) return nullptr;
  const uintptr_t block =
      (reinterpret_cast<uintptr_t>(raw) + sizeof(AlignedHeader) + alignment - 1) & ~(alignment - 1);
  AlignedHeader* h = headerOf(reinterpret_cast<void*>(block));
  h->raw = raw;
  h->size = size;
  return reinterpret_cast<void*>(block);
}

void kvFreeAligned(void* block) {
  if (block) std::free(headerOf(block)->raw);
}

size_t kvMsizeAligned(void* block, size_t) {
  return block ? headerOf(block)->size : static_cast<size_t>(-1);
}
