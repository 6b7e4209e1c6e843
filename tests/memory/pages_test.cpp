// Page protection switches and pointer plausibility tests on real mappings.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>

#include "pal/memory.h"

namespace PAL = Halvex::Tessaran::PAL;
using PAL::BoundsChecks::kvIsBadCodePtr;
using PAL::BoundsChecks::kvIsBadReadPtr;
using PAL::BoundsChecks::kvIsBadWritePtr;

namespace {

// Three fresh read-write pages, unmapped at scope end.
struct Pages {
  static constexpr size_t kSize = 3 * 4096;
  char* p =
      static_cast<char*>(mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ~Pages() { munmap(p, kSize); }
};

struct Verdict {
  bool badRead, badWrite, badCode;
};

void expectVerdict(const void* p, Verdict v) {
  for (size_t size : {size_t{0}, size_t{1}, size_t{1} << 30}) {
    EXPECT_EQ(kvIsBadReadPtr(p, size), v.badRead) << p << " size " << size;
    EXPECT_EQ(kvIsBadWritePtr(p, size), v.badWrite) << p << " size " << size;
  }
  EXPECT_EQ(kvIsBadCodePtr(p), v.badCode) << p;
}

TEST(BoundsChecks, ProtectionDecidesTheVerdict) {
  Pages pages;
  ASSERT_NE(pages.p, MAP_FAILED);
  ASSERT_EQ(mprotect(pages.p + 4096, 4096, PROT_READ), 0);
  ASSERT_EQ(mprotect(pages.p + 8192, 4096, PROT_NONE), 0);  // stands in for a guard page
  int local = 0;
  void* heap = std::malloc(16);
  void* gone = mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  munmap(gone, 4096);

  expectVerdict(pages.p + 100, {false, false, true});
  expectVerdict(pages.p + 4096 + 100, {false, true, true});
  expectVerdict(pages.p + 8192 + 100, {true, true, true});
  expectVerdict(&local, {false, false, true});
  expectVerdict(heap, {false, false, true});
  expectVerdict(reinterpret_cast<const void*>(&expectVerdict), {false, true, false});
  expectVerdict(gone, {true, true, true});
  expectVerdict(nullptr, {true, true, true});
  std::free(heap);
}

TEST(MemLocker, SwitchesEveryPageTheRangeTouches) {
  Pages pages;
  ASSERT_NE(pages.p, MAP_FAILED);
  EXPECT_TRUE(PAL::MemLocker::makePageReadOnly(pages.p + 2048));  // touches pages 0 and 1
  EXPECT_TRUE(kvIsBadWritePtr(pages.p, 1));
  EXPECT_TRUE(kvIsBadWritePtr(pages.p + 4096 + 2047, 1));
  EXPECT_FALSE(kvIsBadReadPtr(pages.p + 4096, 1));
  EXPECT_FALSE(kvIsBadWritePtr(pages.p + 8192, 1));

  EXPECT_TRUE(PAL::MemLocker::makePageWritable(pages.p + 2048));
  EXPECT_FALSE(kvIsBadWritePtr(pages.p, 1));
  EXPECT_FALSE(kvIsBadWritePtr(pages.p + 4096, 1));
  pages.p[4096] = 1;  // writable again for real

  EXPECT_TRUE(PAL::MemLocker::makePageReadOnly(pages.p + 8192));
  EXPECT_TRUE(kvIsBadWritePtr(pages.p + 8192, 1));
  EXPECT_FALSE(kvIsBadWritePtr(pages.p + 4096, 1));
}

// A range that runs into a hole fails and leaves the mapped page as it was.
TEST(MemLocker, RangeWithAHoleChangesNothing) {
  struct Case {
    const char* what;
    size_t hole;    // offset of the unmapped page
    size_t mapped;  // offset of the page that stays
  };
  const Case cases[] = {{"hole after", 4096, 0}, {"hole before", 0, 4096}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    char* p = static_cast<char*>(mmap(nullptr, 8192, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(p, MAP_FAILED);
    ASSERT_EQ(munmap(p + c.hole, 4096), 0);
    EXPECT_FALSE(PAL::MemLocker::makePageWritable(p + 2048));
    EXPECT_TRUE(kvIsBadWritePtr(p + c.mapped, 1));
    ASSERT_EQ(mprotect(p + c.mapped, 4096, PROT_READ | PROT_WRITE), 0);
    EXPECT_FALSE(PAL::MemLocker::makePageReadOnly(p + 2048));
    EXPECT_FALSE(kvIsBadWritePtr(p + c.mapped, 1));
    munmap(p + c.mapped, 4096);
  }
}

TEST(MemLocker, UnmappedAddressFails) {
  void* gone = mmap(nullptr, 8192, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(gone, MAP_FAILED);
  munmap(gone, 8192);
  EXPECT_FALSE(PAL::MemLocker::makePageReadOnly(gone));
  EXPECT_FALSE(PAL::MemLocker::makePageWritable(gone));
}

}  // namespace
