// Private heaps: the stand-in for the Windows heap manager's private heaps
// (HeapCreate/HeapAlloc/HeapDestroy). Thread-safe; destroying a heap frees
// every block in it at once. Blocks are raw: sizes and validation live above.
#pragma once

#include <cstddef>

namespace Halvex::Tessaran::PAL::detail {

struct PrivateHeap;

// Null when the allocator cannot make another heap.
PrivateHeap* createPrivateHeap();
// Whether the allocator's table of heaps is full, so that creating another
// fails whatever memory is free.
bool privateHeapLimitReached();
void destroyPrivateHeap(PrivateHeap* heap);

// One attempt each; null on exhaustion. `size` must not be 0. Blocks are
// 16-byte aligned.
void* privateHeapAlloc(PrivateHeap* heap, size_t size);
void* privateHeapRealloc(PrivateHeap* heap, void* block, size_t size);
// `size` is the size the block was allocated or last resized with.
void privateHeapFree(PrivateHeap* heap, void* block, size_t size);

// Whether [p, p + size) lies in memory the heap holds; safe for any pointer.
bool privateHeapHolds(PrivateHeap* heap, const void* p, size_t size);

}  // namespace Halvex::Tessaran::PAL::detail
