// The low-memory reserve. Its state is process-wide and a disabled reserve
// stays disabled, so each scenario runs in a freshly started child process
// (threadsafe death tests re-execute the binary instead of forking it).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "memory/address_space.h"
#include "memory/low_memory_reserve.h"
#include "pal/memory.h"

namespace PAL = Halvex::Tessaran::PAL;
namespace LMR = PAL::LowMemoryReserves;

namespace {

// Ends the child with a message naming the first failed check.
#define CHILD_CHECK(cond)                                      \
  do {                                                         \
    if (!(cond)) {                                             \
      std::fprintf(stderr, "child check failed: %s\n", #cond); \
      std::_Exit(1);                                           \
    }                                                          \
  } while (0)

void* const kDisabled = reinterpret_cast<void*>(~uintptr_t{0});

bool reservedNoAccess(void* entry, size_t size) {
  auto r = PAL::detail::queryRegion(entry);
  auto last = PAL::detail::queryRegion(static_cast<char*>(entry) + size - 1);
  return r && last && !r->read && !r->write && !last->read && !last->write;
}

TEST(LowMemoryReserve, BlockSizeArithmetic) {
  struct Case {
    unsigned long long megabytes;
    int blockSize;
  };
  const Case cases[] = {
      {0, 6291456},      {60, 6291456},          {10, 1048576}, {1, 104857},
      {2047, 214643507}, {2048, INT32_MIN / 10}, {4096, 0},     {(1ull << 32) + 10, 1048576}};
  for (const auto& c : cases)
    EXPECT_EQ(PAL::detail::reserveBlockSize(c.megabytes), c.blockSize) << c.megabytes;
}

TEST(LowMemoryReserve, FillTerminateRefill) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        CHILD_CHECK(!LMR::isReserveAvailable());
        CHILD_CHECK(LMR::initializeReserve(0));
        CHILD_CHECK(LMR::isReserveAvailable());
        auto entries = PAL::detail::reserveEntries();
        for (void* e : entries) CHILD_CHECK(e && e != kDisabled && reservedNoAccess(e, 6291456));
        CHILD_CHECK(!LMR::initializeReserve(0));
        CHILD_CHECK(!LMR::initializeReserve(10));
        LMR::terminateReserve();
        CHILD_CHECK(!LMR::isReserveAvailable());
        for (void* e : PAL::detail::reserveEntries()) CHILD_CHECK(e == nullptr);
        for (void* e : entries) CHILD_CHECK(!PAL::detail::queryRegion(e));
        CHILD_CHECK(LMR::initializeReserve(10));
        for (void* e : PAL::detail::reserveEntries()) CHILD_CHECK(reservedNoAccess(e, 1048576));
        LMR::terminateReserve();
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(LowMemoryReserve, TooLargeRequestDisablesForGood) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (unsigned long long megabytes : {2048ull, 4096ull}) {
    EXPECT_EXIT(
        {
          CHILD_CHECK(!LMR::initializeReserve(megabytes));
          CHILD_CHECK(PAL::detail::reserveEntries()[0] == kDisabled);
          CHILD_CHECK(!LMR::isReserveAvailable());
          CHILD_CHECK(!LMR::initializeReserve(0));
          LMR::terminateReserve();
          CHILD_CHECK(PAL::detail::reserveEntries()[0] == kDisabled);
          CHILD_CHECK(!LMR::initializeReserve(0));
          CHILD_CHECK(!LMR::isReserveAvailable());
          std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "")
        << megabytes;
  }
}

}  // namespace
