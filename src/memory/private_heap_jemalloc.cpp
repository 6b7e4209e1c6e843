// Private heaps on jemalloc arenas.
//
// Debian's libjemalloc2 carries no symbol prefix: beside mallocx, rallocx,
// sdallocx and mallctl it exports malloc, free and operator new. It is linked
// after libstdc++ and libc (src/memory/CMakeLists.txt), so the process's
// malloc and operator new keep resolving to those and only the names libc
// lacks bind to jemalloc. dlopen is no way out: the library uses more
// initial-exec TLS than glibc keeps spare for late loads (the same limit
// applies to a late dlopen of libKvPal.so itself).
//
// Each heap is an arena with its own extent hooks, so the heap knows exactly
// which address ranges it holds: validating a foreign pointer must not fault,
// and jemalloc's own lookup (arenas.lookup) faults on memory it never saw.
// Each thread gets an explicit tcache per heap: the automatic tcache hands out
// cached blocks of whatever arena freed them, and no cache at all costs a
// lock per call.
#include <jemalloc/jemalloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <map>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "memory/private_heap.h"

namespace Halvex::Tessaran::PAL::detail {

namespace {
struct HookTable {
  extent_hooks_t hooks;  // first: jemalloc hands this address back to the hooks
  PrivateHeap* owner;
};
}  // namespace

struct PrivateHeap {
  HookTable table;
  unsigned arena = 0;
  std::atomic<int> refs{1};  // the handle, and each thread holding a tcache for it
  std::atomic<bool> dead{false};
  std::mutex rangesMutex;                 // the only lock the extent hooks take
  std::map<uintptr_t, uintptr_t> ranges;  // start -> end of the mappings held, coalesced
  std::mutex cachesMutex;
  std::vector<unsigned> caches;  // explicit tcaches made for this heap, by any thread
};

namespace {

PrivateHeap* ownerOf(extent_hooks_t* hooks) {
  return reinterpret_cast<HookTable*>(hooks)->owner;
}

void addRange(PrivateHeap* h, uintptr_t b, uintptr_t e) {
  std::lock_guard<std::mutex> g(h->rangesMutex);
  auto& m = h->ranges;
  auto next = m.lower_bound(b);
  if (next != m.begin()) {
    auto prev = std::prev(next);
    if (prev->second == b) {
      b = prev->first;
      m.erase(prev);
    }
  }
  if (next != m.end() && next->first == e) {
    e = next->second;
    m.erase(next);
  }
  m.emplace(b, e);
}

void removeRange(PrivateHeap* h, uintptr_t b, uintptr_t e) {
  std::lock_guard<std::mutex> g(h->rangesMutex);
  auto& m = h->ranges;
  auto it = m.upper_bound(b);
  if (it != m.begin() && std::prev(it)->second > b) --it;
  while (it != m.end() && it->first < e) {
    uintptr_t s = it->first, t = it->second;
    it = m.erase(it);
    if (s < b) m.emplace(s, b);
    if (e < t) {
      m.emplace(e, t);
      break;
    }
  }
}

void* mapExact(void* addr, size_t size) {
  void* p =
      mmap(addr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  if (p != addr) {  // kernels before 4.17 take the flag as a mere hint
    munmap(p, size);
    return nullptr;
  }
  return p;
}

void* mapAligned(size_t size, size_t alignment) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t slack = alignment > page ? alignment - page : 0;
  if (size > SIZE_MAX - slack) return nullptr;
  void* raw = mmap(nullptr, size + slack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const uintptr_t r = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t a = (r + alignment - 1) & ~(uintptr_t{alignment} - 1);
  if (a > r) munmap(raw, a - r);
  if (r + size + slack > a + size) munmap(reinterpret_cast<void*>(a + size), r + size + slack - (a + size));
  return reinterpret_cast<void*>(a);
}

void* extentAlloc(extent_hooks_t* hooks, void* newAddr, size_t size, size_t alignment, bool* zero,
                  bool* commit, unsigned) {
  void* p = newAddr ? mapExact(newAddr, size) : mapAligned(size, alignment);
  if (!p) return nullptr;
  try {
    addRange(ownerOf(hooks), reinterpret_cast<uintptr_t>(p), reinterpret_cast<uintptr_t>(p) + size);
  } catch (const std::bad_alloc&) {
    munmap(p, size);
    return nullptr;
  }
  *zero = true;
  *commit = true;
  return p;
}

// Forgets the range before unmapping it, so that a validation never reads
// memory that is gone; false when the bookkeeping itself failed.
bool unmapRange(extent_hooks_t* hooks, void* addr, size_t size) {
  try {
    removeRange(ownerOf(hooks), reinterpret_cast<uintptr_t>(addr), reinterpret_cast<uintptr_t>(addr) + size);
  } catch (const std::bad_alloc&) {
    return false;
  }
  munmap(addr, size);
  return true;
}

bool extentDalloc(extent_hooks_t* hooks, void* addr, size_t size, bool, unsigned) {
  return !unmapRange(hooks, addr, size);  // true keeps the extent with jemalloc
}

void extentDestroy(extent_hooks_t* hooks, void* addr, size_t size, bool, unsigned) {
  unmapRange(hooks, addr, size);
}

bool extentPurge(void* addr, size_t offset, size_t length, int advice) {
  return madvise(static_cast<char*>(addr) + offset, length, advice) != 0;
}

bool extentPurgeLazy(extent_hooks_t*, void* addr, size_t, size_t offset, size_t length, unsigned) {
  return extentPurge(addr, offset, length, MADV_FREE);
}

bool extentPurgeForced(extent_hooks_t*, void* addr, size_t, size_t offset, size_t length, unsigned) {
  return extentPurge(addr, offset, length, MADV_DONTNEED);
}

// Any two adjacent extents may be split or merged: mappings on Linux have no
// identity that munmap would need.
bool extentSplit(extent_hooks_t*, void*, size_t, size_t, size_t, bool, unsigned) {
  return false;
}
bool extentMerge(extent_hooks_t*, void*, size_t, void*, size_t, bool, unsigned) {
  return false;
}

// No commit/decommit: every extent stays committed until unmapped.
constexpr extent_hooks_t kHooks = {extentAlloc,     extentDalloc,      extentDestroy, nullptr,    nullptr,
                                   extentPurgeLazy, extentPurgeForced, extentSplit,   extentMerge};

void unref(PrivateHeap* h) {
  if (h->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete h;
}

void destroyTcache(unsigned t) {
  mallctl("tcache.destroy", nullptr, nullptr, &t, sizeof t);
}

// The heap this thread used last and its tcache flag: plain initial-exec TLS,
// so the common case costs neither a TLS lookup call nor an init guard.
// (libjemalloc itself already needs static TLS, so this costs no dlopen-ability.)
#define KVPAL_FAST_TLS __attribute__((tls_model("initial-exec")))
thread_local PrivateHeap* t_lastHeap KVPAL_FAST_TLS = nullptr;
thread_local int t_lastFlag KVPAL_FAST_TLS = 0;

// The calling thread's explicit tcaches, one per heap it used; given back
// when the thread ends unless the heap went first.
struct ThreadCaches {
  std::vector<std::pair<PrivateHeap*, unsigned>> entries;

  ~ThreadCaches() {
    for (auto& [h, t] : entries) {
      {
        std::lock_guard<std::mutex> g(h->cachesMutex);
        if (!h->dead.load()) {
          destroyTcache(t);
          auto it = std::find(h->caches.begin(), h->caches.end(), t);
          if (it != h->caches.end()) h->caches.erase(it);
        }
      }
      unref(h);
    }
    entries.clear();
    // A later thread-exit hook allocating on this thread must not reach a
    // destroyed tcache through the shortcut.
    t_lastHeap = nullptr;
  }

  int addFor(PrivateHeap* h) {
    for (auto it = entries.begin(); it != entries.end();) {
      if (it->first->dead.load()) {
        unref(it->first);
        it = entries.erase(it);
      } else {
        ++it;
      }
    }
    unsigned t;
    size_t len = sizeof t;
    if (mallctl("tcache.create", &t, &len, nullptr, 0) != 0) return MALLOCX_TCACHE_NONE;
    try {
      entries.reserve(entries.size() + 1);
      std::lock_guard<std::mutex> g(h->cachesMutex);
      h->caches.push_back(t);
    } catch (const std::bad_alloc&) {
      destroyTcache(t);
      return MALLOCX_TCACHE_NONE;
    }
    h->refs.fetch_add(1, std::memory_order_relaxed);
    entries.emplace_back(h, t);
    return MALLOCX_TCACHE(t);
  }
};

thread_local ThreadCaches t_caches;

int tcacheFlag(PrivateHeap* h) {
  if (h == t_lastHeap) return t_lastFlag;
  int flag = -1;
  for (const auto& e : t_caches.entries)
    if (e.first == h) flag = MALLOCX_TCACHE(e.second);
  if (flag == -1) flag = t_caches.addFor(h);
  t_lastHeap = h;
  t_lastFlag = flag;
  return flag;
}

}  // namespace

PrivateHeap* createPrivateHeap() {
  auto* h = new (std::nothrow) PrivateHeap;
  if (!h) return nullptr;
  h->table = {kHooks, h};
  extent_hooks_t* hooks = &h->table.hooks;
  size_t len = sizeof h->arena;
  if (mallctl("arenas.create", &h->arena, &len, &hooks, sizeof hooks) != 0) {
    delete h;
    return nullptr;
  }
  return h;
}

bool privateHeapLimitReached() {
  // Arena indices run below the pseudo-indices that mallctl names start at.
  // Destroyed arenas are reused first, so the table is full only once it
  // holds every index.
  constexpr unsigned kArenaLimit = MALLCTL_ARENAS_ALL - 1;
  unsigned n = 0;
  size_t len = sizeof n;
  return mallctl("arenas.narenas", &n, &len, nullptr, 0) == 0 && n >= kArenaLimit;
}

void destroyPrivateHeap(PrivateHeap* h) {
  {
    // jemalloc requires every tcache that served the arena to be flushed
    // before the arena goes.
    std::lock_guard<std::mutex> g(h->cachesMutex);
    h->dead.store(true);
    for (unsigned t : h->caches) destroyTcache(t);
    h->caches.clear();
  }
  char name[32];
  std::snprintf(name, sizeof name, "arena.%u.destroy", h->arena);
  // Should jemalloc refuse, the arena lives on and its hooks still point
  // here: the heap record must outlive it.
  if (mallctl(name, nullptr, nullptr, nullptr, 0) == 0) unref(h);
}

void* privateHeapAlloc(PrivateHeap* h, size_t size) {
  return mallocx(size, MALLOCX_ARENA(h->arena) | tcacheFlag(h));
}

void* privateHeapRealloc(PrivateHeap* h, void* block, size_t size) {
  return rallocx(block, size, MALLOCX_ARENA(h->arena) | tcacheFlag(h));
}

void privateHeapFree(PrivateHeap* h, void* block, size_t size) {
  sdallocx(block, size, tcacheFlag(h));
}

bool privateHeapHolds(PrivateHeap* h, const void* p, size_t size) {
  const uintptr_t a = reinterpret_cast<uintptr_t>(p);
  std::lock_guard<std::mutex> g(h->rangesMutex);
  auto it = h->ranges.upper_bound(a);
  if (it == h->ranges.begin()) return false;
  --it;
  return a < it->second && size <= it->second - a;
}

}  // namespace Halvex::Tessaran::PAL::detail
