// Private heaps, aligned blocks, the big-array storage base, the low-memory
// reserve, page protection switches and pointer plausibility tests.
//
// Differences from Windows:
// - Private heaps are jemalloc arenas (one arena per heap, with its own
//   per-thread caches); destroying a heap gives back every block in it at once.
//   The low-fragmentation option has no counterpart and is implied.
//   jemalloc holds at most 4,095 arenas, its automatic ones (four per
//   processor) included, which bounds the private heaps alive at once;
//   kvHeapCreate beyond that returns null at once, without asking the new
//   handler.
//   libjemalloc.so.2 uses static TLS, so a process that loads libKvPal.so
//   late with dlopen (rather than linking it) must start with spare static
//   TLS, for example GLIBC_TUNABLES=glibc.rtld.optional_static_tls=16384.
// - The null heap is the C library's heap: malloc, realloc, free, and
//   malloc_usable_size in place of _msize (it may exceed the size asked for).
//   kvTryHeapAlloc(nullptr, n) is one plain malloc(n).
// - The runtime has no size-taking new handler (_set_new_handler,
//   _query_new_handler); the library keeps its own, installed by the host with
//   Malloc::kvSetNewHandler. It drives the out-of-memory retry of the heaps and,
//   while Malloc::kvUseNewHandler(true) is in force, of the library's own
//   malloc-backed calls (null-heap kvHeapAlloc/kvHeapReAlloc, kvAllocAligned).
//   The C library's malloc itself never calls it.
// - Address-space storage is mmap'ed with no access and made read-write with
//   mprotect; in-place growth reserves the next 64 KiB with
//   MAP_FIXED_NOREPLACE. Because Linux places new mappings top-down, right
//   below the previous ones, each new reservation is put at the bottom of a
//   free window of address space so that it has room to grow behind its end.
// - Linux has no guard-page bit: a no-access page stands in for a guard page
//   in the BoundsChecks tests, which read the mapping table of /proc/self/maps.
//   A private writable mapping counts as both read-write and write-copy.
#pragma once

#include <cstddef>

#include "pal/export.h"
#include "pal/win_types.h"

PAL_EXPORT void* kvHeapCreate(unsigned int);
PAL_EXPORT void kvHeapDestroy(void* heap);
PAL_EXPORT void* kvHeapAlloc(void* heap, size_t size);
PAL_EXPORT void* kvTryHeapAlloc(void* heap, size_t size);
PAL_EXPORT void kvHeapFree(void* heap, void* block);
PAL_EXPORT void* kvHeapReAlloc(void* heap, void* block, size_t size);
// The size the caller asked for; (size_t)-1 for a null block.
PAL_EXPORT size_t kvHeapSize(void* heap, const void* block);
// Whether `block` is a live block of `heap`; never faults on a foreign
// pointer. A null block (the whole heap) and the null heap are always valid.
PAL_EXPORT bool kvHeapValidate(void* heap, const void* block);

// Alignment first. A power of two is required (null otherwise); alignments
// below the pointer size are raised to it.
PAL_EXPORT void* kvAllocAligned(size_t alignment, size_t size);
PAL_EXPORT void kvFreeAligned(void* block);
// The size asked for at allocation; (size_t)-1 for a null block.
PAL_EXPORT size_t kvMsizeAligned(void* block, size_t alignment);

// Storage base of the callers' growable array templates. Storage up to 4096
// bytes comes from malloc, larger storage straight from the address space, so
// that large arrays grow in place.
class PAL_EXPORT KvBigArrayBase {
 public:
  unsigned long long count;          // elements in use, kept by the derived array
  unsigned long long capacityBytes;  // bytes of storage held (0: none)
  unsigned long long elementSize;
  void** dataRef;  // the derived array's data pointer

  KvBigArrayBase(const KvBigArrayBase&) = delete;
  KvBigArrayBase& operator=(const KvBigArrayBase&) = delete;

 protected:
  KvBigArrayBase(size_t elementSize, void* dataRef);
  ~KvBigArrayBase();
  void grow();
  void baseCopy(const KvBigArrayBase& other);

 private:
  void release();
};

namespace Halvex::Tessaran::PAL {

namespace LowMemoryReserves {
PAL_EXPORT bool initializeReserve(unsigned __int64 megabytes);
PAL_EXPORT void terminateReserve();
PAL_EXPORT bool isReserveAvailable();
}  // namespace LowMemoryReserves

namespace MemLocker {
PAL_EXPORT bool makePageReadOnly(void* address);
PAL_EXPORT bool makePageWritable(void* address);
}  // namespace MemLocker

namespace BoundsChecks {
PAL_EXPORT bool kvIsBadReadPtr(const void* p, size_t size);
PAL_EXPORT bool kvIsBadWritePtr(const void* p, size_t size);
PAL_EXPORT bool kvIsBadCodePtr(const void* p);
}  // namespace BoundsChecks

namespace Malloc {
// Called with the size of a failed allocation; non-zero asks for another
// attempt, 0 gives up.
typedef int (*NewHandler)(size_t size);

// Installs the out-of-memory handler (null removes it); returns the previous.
PAL_EXPORT NewHandler kvSetNewHandler(NewHandler handler);
PAL_EXPORT NewHandler kvQueryNewHandler();
// Turns the retry of the library's malloc-backed calls on or off; true when
// it was on before.
PAL_EXPORT bool kvUseNewHandler(bool on);
}  // namespace Malloc

}  // namespace Halvex::Tessaran::PAL
