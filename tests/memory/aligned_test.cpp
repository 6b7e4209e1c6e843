// Aligned blocks: alignment, remembered size, argument order, refusals.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "pal/memory.h"

namespace {

TEST(AlignedBlocks, AlignmentAndRequestedSize) {
  struct Case {
    size_t alignment, size, expectedAlignment;
  };
  const Case cases[] = {{64, 1000, 64}, {1, 10, sizeof(void*)}, {2, 3, sizeof(void*)}, {16, 0, 16},
                        {128, 40, 128}, {4096, 5000, 4096},     {1 << 20, 1, 1 << 20}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.alignment << "/" << c.size);
    void* p = kvAllocAligned(c.alignment, c.size);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % c.expectedAlignment, 0u);
    EXPECT_EQ(kvMsizeAligned(p, c.alignment), c.size);
    std::memset(p, 0xA5, c.size);  // the whole block is the caller's
    kvFreeAligned(p);
  }
}

TEST(AlignedBlocks, Refusals) {
  for (size_t bad : {size_t{0}, size_t{3}, size_t{48}, size_t{1000}})
    EXPECT_EQ(kvAllocAligned(bad, 16), nullptr) << bad;
  EXPECT_EQ(kvAllocAligned(64, SIZE_MAX - 8), nullptr);
  kvFreeAligned(nullptr);
  EXPECT_EQ(kvMsizeAligned(nullptr, 64), static_cast<size_t>(-1));
}

}  // namespace
