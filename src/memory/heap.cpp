// The kvHeap entry points: the null heap is the C library's, others are
// private heaps whose blocks carry a small header with the size asked for.
#include <malloc.h>

#include <cstdint>
#include <cstdlib>

#include "memory/out_of_memory.h"
#include "memory/private_heap.h"
#include "pal/memory.h"

namespace detail = Halvex::Tessaran::PAL::detail;

namespace {

// Sixteen bytes keep the caller's block 16-byte aligned, as Windows heaps do.
struct BlockHeader {
  size_t size;     // what the caller asked for: kvHeapSize answers it
  uintptr_t mark;  // liveMark(heap) while the block is allocated, else 0
};
static_assert(sizeof(BlockHeader) == 16);

uintptr_t liveMark(const detail::PrivateHeap* heap) {
  return reinterpret_cast<uintptr_t>(heap) ^ uintptr_t { 0x6b7648656170424bull };
}

detail::PrivateHeap* asHeap(void* heap) {
  return static_cast<detail::PrivateHeap*>(heap);
}

BlockHeader* headerOf(const void* block) {
  return reinterpret_cast<BlockHeader*>(const_cast<char*>(static_cast<const char*>(block))) - 1;
}

void* finishBlock(detail::PrivateHeap* heap, void* raw, size_t size) {
  if (!raw) return nullptr;
  auto* h = static_cast<BlockHeader*>(raw);
  h->size = size;
  h->mark = liveMark(heap);
  return h + 1;
}

void* allocateOnce(detail::PrivateHeap* heap, size_t size) {
  if (size > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
  return finishBlock(heap, detail::privateHeapAlloc(heap, size + sizeof(BlockHeader)), size);
}

void* reallocateOnce(detail::PrivateHeap* heap, void* block, size_t size) {
  if (size > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
  // A move frees the old block: it must not keep a live mark behind.
  BlockHeader* old = headerOf(block);
  old->mark = 0;
  void* raw = detail::privateHeapRealloc(heap, old, size + sizeof(BlockHeader));
  if (!raw) old->mark = liveMark(heap);
  return finishBlock(heap, raw, size);
}

}  // namespace

void* kvHeapCreate(unsigned int) {
  for (;;) {
    if (void* heap = detail::createPrivateHeap()) return heap;
    // A full heap table is no shortage of memory: a handler that frees some
    // and asks again would loop for ever.
    if (detail::privateHeapLimitReached() || !detail::retryAfterOutOfMemory(4096)) return nullptr;
  }
}

void kvHeapDestroy(void* heap) {
  if (heap) detail::destroyPrivateHeap(asHeap(heap));
}

void* kvHeapAlloc(void* heap, size_t size) {
  if (!heap) return detail::crtMalloc(size);
  return detail::allocateWithRetry(size, [&] { return allocateOnce(asHeap(heap), size); });
}

void* kvTryHeapAlloc(void* heap, size_t size) {
  return heap ? allocateOnce(asHeap(heap), size) : std::malloc(size);
}

void kvHeapFree(void* heap, void* block) {
  if (!heap) return std::free(block);
  if (!block) return;
  BlockHeader* h = headerOf(block);
  h->mark = 0;
  detail::privateHeapFree(asHeap(heap), h, h->size + sizeof(BlockHeader));
}

void* kvHeapReAlloc(void* heap, void* block, size_t size) {
  if (!heap) return detail::crtRealloc(block, size);
  if (!block) return kvHeapAlloc(heap, size);
  return detail::allocateWithRetry(size, [&] { return reallocateOnce(asHeap(heap), block, size); });
}

size_t kvHeapSize(void* heap, const void* block) {
  if (!block) return static_cast<size_t>(-1);
  if (!heap) return malloc_usable_size(const_cast<void*>(block));
  return headerOf(block)->size;
}

bool kvHeapValidate(void* heap, const void* block) {
  if (!heap || !block) return true;
  if (reinterpret_cast<uintptr_t>(block) % alignof(BlockHeader) != 0) return false;
  const BlockHeader* h = headerOf(block);
  return detail::privateHeapHolds(asHeap(heap), h, sizeof(BlockHeader)) && h->mark == liveMark(asHeap(heap));
}
