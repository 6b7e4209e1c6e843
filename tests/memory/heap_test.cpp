// Private heaps and the null heap: sizes, contents, ownership, destruction,
// threads, and the out-of-memory retry through the library's handler.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/mman.h>
#include <sys/resource.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "memory/address_space.h"
#include "pal/memory.h"

namespace PAL = Halvex::Tessaran::PAL;

namespace {

// Heap handle released at scope end, so that a failing check leaks nothing.
struct Heap {
  void* h = kvHeapCreate(0);
  ~Heap() { kvHeapDestroy(h); }
};

void fill(void* p, size_t n, unsigned char seed) {
  auto* b = static_cast<unsigned char*>(p);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>(seed + i * 7);
}

bool holds(const void* p, size_t n, unsigned char seed) {
  auto* b = static_cast<const unsigned char*>(p);
  for (size_t i = 0; i < n; ++i)
    if (b[i] != static_cast<unsigned char>(seed + i * 7)) return false;
  return true;
}

TEST(AllocatorIsolation, ProcessKeepsTheCLibraryAllocator) {
  // jemalloc exports these names too; the library must not have taken them over.
  for (const char* name : {"malloc", "free", "realloc", "calloc", "_Znwm", "_ZdlPv", "_ZdlPvm"}) {
    void* sym = dlsym(RTLD_DEFAULT, name);
    ASSERT_NE(sym, nullptr) << name;
    Dl_info info{};
    ASSERT_NE(dladdr(sym, &info), 0) << name;
    EXPECT_EQ(std::string(info.dli_fname).find("jemalloc"), std::string::npos)
        << name << " from " << info.dli_fname;
  }
}

TEST(NullHeap, BehavesAsTheCLibraryHeap) {
  void* p = kvHeapAlloc(nullptr, 100);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(kvHeapSize(nullptr, p), malloc_usable_size(p));
  fill(p, 100, 3);
  p = kvHeapReAlloc(nullptr, p, 100000);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(holds(p, 100, 3));
  free(p);  // blocks cross freely between the two spellings

  void* q = malloc(40);
  EXPECT_EQ(kvHeapSize(nullptr, q), malloc_usable_size(q));
  kvHeapFree(nullptr, q);

  void* t = kvTryHeapAlloc(nullptr, 64);
  ASSERT_NE(t, nullptr);
  free(t);

  int local = 0;
  EXPECT_TRUE(kvHeapValidate(nullptr, &local));
  EXPECT_TRUE(kvHeapValidate(nullptr, reinterpret_cast<void*>(uintptr_t{8})));
  kvHeapDestroy(nullptr);
  kvHeapFree(nullptr, nullptr);
  EXPECT_EQ(kvHeapSize(nullptr, nullptr), static_cast<size_t>(-1));
}

TEST(PrivateHeap, BlocksOfEverySizeClass) {
  Heap heap;
  ASSERT_NE(heap.h, nullptr);
  struct Case {
    size_t size, resized;
  };
  const Case cases[] = {
      {0, 1}, {1, 0}, {16, 17}, {255, 4096}, {4096, 100}, {100000, 3 << 20}, {5 << 20, 1 << 20}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    void* p = kvHeapAlloc(heap.h, c.size);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
    EXPECT_EQ(kvHeapSize(heap.h, p), c.size);
    EXPECT_TRUE(kvHeapValidate(heap.h, p));
    fill(p, c.size, 11);
    void* q = kvHeapReAlloc(heap.h, p, c.resized);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(kvHeapSize(heap.h, q), c.resized);
    EXPECT_TRUE(holds(q, std::min(c.size, c.resized), 11));
    EXPECT_TRUE(kvHeapValidate(heap.h, q));
    kvHeapFree(heap.h, q);
    EXPECT_FALSE(kvHeapValidate(heap.h, q));
  }
  void* fresh = kvHeapReAlloc(heap.h, nullptr, 48);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(kvHeapSize(heap.h, fresh), 48u);
  void* tried = kvTryHeapAlloc(heap.h, 48);
  ASSERT_NE(tried, nullptr);
  EXPECT_NE(tried, fresh);
  kvHeapFree(heap.h, fresh);
  kvHeapFree(heap.h, tried);
  kvHeapFree(heap.h, nullptr);
  EXPECT_TRUE(kvHeapValidate(heap.h, nullptr));
}

TEST(PrivateHeap, ValidateRejectsTheBlockAMovingReallocFreed) {
  Heap heap;
  void* p = kvHeapAlloc(heap.h, 16);
  ASSERT_NE(p, nullptr);
  void* q = kvHeapReAlloc(heap.h, p, 1 << 20);  // another size class: the block moves
  ASSERT_NE(q, nullptr);
  ASSERT_NE(q, p);
  EXPECT_FALSE(kvHeapValidate(heap.h, p));
  EXPECT_TRUE(kvHeapValidate(heap.h, q));
  kvHeapFree(heap.h, q);
}

TEST(PrivateHeap, ValidateRejectsForeignPointersWithoutFaulting) {
  Heap heap, other;
  void* mine = kvHeapAlloc(heap.h, 64);
  void* theirs = kvHeapAlloc(other.h, 64);
  void* cHeap = malloc(64);
  int local = 0;
  static int global = 0;
  void* gone = mmap(nullptr, 65536, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(gone, MAP_FAILED);
  munmap(gone, 65536);
  void* noAccess = mmap(nullptr, 65536, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(noAccess, MAP_FAILED);

  EXPECT_TRUE(kvHeapValidate(heap.h, mine));
  const void* foreign[] = {theirs,
                           cHeap,
                           &local,
                           &global,
                           static_cast<char*>(gone) + 16,
                           static_cast<char*>(noAccess) + 16,
                           static_cast<char*>(mine) + 1,
                           static_cast<char*>(mine) + 16,
                           reinterpret_cast<void*>(uintptr_t{16})};
  for (const void* p : foreign) EXPECT_FALSE(kvHeapValidate(heap.h, p)) << p;
  munmap(noAccess, 65536);
  free(cHeap);
  kvHeapFree(heap.h, mine);
  kvHeapFree(other.h, theirs);
}

TEST(PrivateHeap, DestroyGivesBackEveryBlockAtOnce) {
  void* heap = kvHeapCreate(0);
  ASSERT_NE(heap, nullptr);
  std::vector<void*> blocks;
  for (int i = 0; i < 64; ++i) {
    blocks.push_back(kvHeapAlloc(heap, 1 << 20));
    ASSERT_NE(blocks.back(), nullptr);
    fill(blocks.back(), 1 << 20, 5);
  }
  kvHeapDestroy(heap);
  for (void* b : blocks) EXPECT_FALSE(PAL::detail::queryRegion(b)) << b;
}

TEST(PrivateHeap, SharedAcrossThreads) {
  Heap heap;
  constexpr int kThreads = 4, kRounds = 2000;
  std::vector<std::vector<void*>> made(kThreads);
  std::atomic<int> bad{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < kThreads; ++t)
    workers.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        size_t n = 8 + (i % 50) * 24;
        void* p = kvHeapAlloc(heap.h, n);
        fill(p, n, static_cast<unsigned char>(t));
        if (i % 3 == 0) {
          made[t].push_back(p);  // outlives this thread
        } else {
          if (!holds(p, n, static_cast<unsigned char>(t)) || !kvHeapValidate(heap.h, p)) ++bad;
          kvHeapFree(heap.h, p);
        }
      }
    });
  for (auto& w : workers) w.join();
  EXPECT_EQ(bad.load(), 0);
  // Blocks made by threads that have ended are freed here, on another thread.
  for (auto& list : made)
    for (void* p : list) {
      EXPECT_TRUE(kvHeapValidate(heap.h, p));
      kvHeapFree(heap.h, p);
    }
}

TEST(PrivateHeap, ThreadOutlivesTheHeapItUsed) {
  void* heap = kvHeapCreate(0);
  std::atomic<int> phase{0};
  std::thread user([&] {
    kvHeapFree(heap, kvHeapAlloc(heap, 32));
    phase = 1;
    while (phase.load() != 2) std::this_thread::yield();
    // A new heap may reuse the old one's arena; this thread's cache for the
    // old heap must not be mistaken for the new one's.
    void* again = kvHeapCreate(0);
    void* p = kvHeapAlloc(again, 32);
    EXPECT_TRUE(kvHeapValidate(again, p));
    kvHeapFree(again, p);
    kvHeapDestroy(again);
  });
  while (phase.load() != 1) std::this_thread::yield();
  kvHeapDestroy(heap);
  phase = 2;
  user.join();
}

// Counts its calls and asks for as many retries as it was told to.
struct HandlerScript {
  static inline std::atomic<int> calls{0};
  static inline std::atomic<int> retries{0};
  static inline std::atomic<size_t> lastSize{0};
  static int handler(size_t size) {
    ++calls;
    lastSize = size;
    return retries.fetch_sub(1) > 0 ? 1 : 0;
  }
};

class OutOfMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    HandlerScript::calls = 0;
    HandlerScript::retries = 0;
    previous_ = PAL::Malloc::kvSetNewHandler(&HandlerScript::handler);
  }
  void TearDown() override {
    PAL::Malloc::kvSetNewHandler(previous_);
    PAL::Malloc::kvUseNewHandler(false);
  }
  static constexpr size_t kHuge = size_t{1} << 62;  // no allocator can satisfy it
  Heap heap_;
  PAL::Malloc::NewHandler previous_ = nullptr;
};

TEST_F(OutOfMemory, HeapRetriesWhileTheHandlerAsks) {
  struct Case {
    const char* what;
    int retries;
    bool handlerInstalled;
    int expectedCalls;
  };
  const Case cases[] = {
      {"declines at once", 0, true, 1}, {"two retries", 2, true, 3}, {"no handler", 0, false, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    PAL::Malloc::kvSetNewHandler(c.handlerInstalled ? &HandlerScript::handler : nullptr);
    HandlerScript::calls = 0;
    HandlerScript::retries = c.retries;
    EXPECT_EQ(kvHeapAlloc(heap_.h, kHuge), nullptr);
    EXPECT_EQ(HandlerScript::calls.load(), c.expectedCalls);
    if (c.expectedCalls) {
      EXPECT_EQ(HandlerScript::lastSize.load(), kHuge);
    }
  }
}

TEST_F(OutOfMemory, ReallocFailureKeepsTheBlock) {
  void* p = kvHeapAlloc(heap_.h, 64);
  fill(p, 64, 9);
  EXPECT_EQ(kvHeapReAlloc(heap_.h, p, kHuge), nullptr);
  EXPECT_EQ(HandlerScript::calls.load(), 1);
  EXPECT_TRUE(holds(p, 64, 9));
  EXPECT_EQ(kvHeapSize(heap_.h, p), 64u);
  EXPECT_TRUE(kvHeapValidate(heap_.h, p));
  kvHeapFree(heap_.h, p);
}

TEST_F(OutOfMemory, TryAllocNeverAsksTheHandler) {
  EXPECT_EQ(kvTryHeapAlloc(heap_.h, kHuge), nullptr);
  EXPECT_EQ(kvTryHeapAlloc(nullptr, kHuge), nullptr);
  EXPECT_EQ(HandlerScript::calls.load(), 0);
}

TEST_F(OutOfMemory, NewModeGovernsTheCLibraryPaths) {
  EXPECT_FALSE(PAL::Malloc::kvUseNewHandler(false));  // off by default
  EXPECT_EQ(kvHeapAlloc(nullptr, kHuge), nullptr);
  EXPECT_EQ(kvAllocAligned(64, kHuge), nullptr);
  EXPECT_EQ(HandlerScript::calls.load(), 0);

  EXPECT_FALSE(PAL::Malloc::kvUseNewHandler(true));
  EXPECT_TRUE(PAL::Malloc::kvUseNewHandler(true));
  EXPECT_EQ(kvHeapAlloc(nullptr, kHuge), nullptr);
  EXPECT_EQ(HandlerScript::calls.load(), 1);
  void* p = malloc(8);
  EXPECT_EQ(kvHeapReAlloc(nullptr, p, kHuge), nullptr);
  EXPECT_EQ(HandlerScript::calls.load(), 2);
  free(p);
  EXPECT_EQ(kvAllocAligned(64, kHuge), nullptr);
  EXPECT_EQ(HandlerScript::calls.load(), 3);
  EXPECT_EQ(PAL::Malloc::kvQueryNewHandler(), &HandlerScript::handler);
}

// Address-space limit that the handler lifts: the retry then succeeds.
struct AddressSpaceLimit {
  static inline rlimit original{};
  static inline std::atomic<int> calls{0};
  static int lift(size_t) {
    ++calls;
    setrlimit(RLIMIT_AS, &original);
    return 1;
  }
  // Leaves room for small allocations but none for `headroom` more bytes.
  static bool impose(size_t headroom) {
    std::ifstream status("/proc/self/status");
    std::string key;
    size_t kib = 0;
    while (status >> key)
      if (key == "VmSize:" && status >> kib) break;
    if (!kib || getrlimit(RLIMIT_AS, &original) != 0) return false;
    rlimit tight = original;
    tight.rlim_cur = kib * 1024 + headroom / 2;
    return setrlimit(RLIMIT_AS, &tight) == 0;
  }
};

TEST(OutOfMemoryRecovery, RetrySucceedsOnceTheHandlerFreesAddressSpace) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's shadow memory cannot live under an address-space limit";
#else
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  constexpr size_t kBig = size_t{256} << 20;
  for (bool privateHeap : {true, false}) {
    EXPECT_EXIT(
        {
          void* heap = privateHeap ? kvHeapCreate(0) : nullptr;
          PAL::Malloc::kvUseNewHandler(true);
          PAL::Malloc::kvSetNewHandler(&AddressSpaceLimit::lift);
          if (!AddressSpaceLimit::impose(kBig)) std::_Exit(2);
          void* p = kvHeapAlloc(heap, kBig);
          const bool ok = p && AddressSpaceLimit::calls.load() == 1 && kvHeapSize(heap, p) >= kBig;
          if (!ok)
            std::fprintf(stderr, "block %p after %d handler calls\n", p, AddressSpaceLimit::calls.load());
          std::_Exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "")
        << (privateHeap ? "private heap" : "null heap");
  }
#endif
}

// The heap table fills long before memory runs out; asking the new handler
// then is no use, and one that answers "retry" would loop for ever.
TEST(OutOfMemoryRecovery, FullHeapTableFailsWithoutAskingTheHandler) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        HandlerScript::retries = 2;  // bounded, so that a faulty build still ends
        PAL::Malloc::kvSetNewHandler(&HandlerScript::handler);
        constexpr size_t kTries = 5000;  // more than the table holds
        std::vector<void*> heaps;
        heaps.reserve(kTries);
        while (heaps.size() < kTries) {
          void* h = kvHeapCreate(0);
          if (!h) break;
          heaps.push_back(h);
        }
        const size_t made = heaps.size();
        const int asked = HandlerScript::calls.load();
        bool reused = false;
        if (made > 0 && made < kTries) {
          kvHeapDestroy(heaps.back());  // its place serves the next heap
          heaps.back() = kvHeapCreate(0);
          void* p = heaps.back() ? kvHeapAlloc(heaps.back(), 64) : nullptr;
          reused = p && kvHeapValidate(heaps.back(), p);
        }
        for (void* h : heaps) kvHeapDestroy(h);
        const bool ok = made > 0 && made < kTries && asked == 0 && reused;
        if (!ok) std::fprintf(stderr, "%zu heaps, handler asked %d times, reused %d\n", made, asked, reused);
        std::_Exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
