// KvBigArrayBase through a small derived array template, as the callers'
// arrays use it: growth sequence, storage kinds, in-place growth, copies.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "memory/address_space.h"
#include "pal/memory.h"

namespace PAL = Halvex::Tessaran::PAL;

namespace {

template <typename T>
class BigArray : public KvBigArrayBase {
 public:
  BigArray() : KvBigArrayBase(sizeof(T), &data_) {}
  void push(const T& v) {
    if ((count + 1) * sizeof(T) > capacityBytes) grow();
    data_[count++] = v;
  }
  void growOnce() { grow(); }
  void copyFrom(const BigArray& other) { baseCopy(other); }
  T* data() const { return data_; }
  const T& operator[](size_t i) const { return data_[i]; }

 private:
  T* data_;  // no initialiser: the base sets it before this class's members start
};

template <size_t N>
struct Blob {
  unsigned char b[N];
};

bool readable(const void* p) {
  return !PAL::BoundsChecks::kvIsBadReadPtr(p, 1);
}

TEST(BigArray, FirstCapacityCoversFourElements) {
  struct Case {
    size_t elementSize, first;
  };
  BigArray<Blob<24>> a24;
  BigArray<Blob<4>> a4;
  BigArray<Blob<1>> a1;
  BigArray<Blob<100>> a100;
  BigArray<Blob<3000>> a3000;
  EXPECT_EQ(a24.data(), nullptr);
  EXPECT_EQ(a24.capacityBytes, 0u);
  KvBigArrayBase* arrays[] = {&a24, &a4, &a1, &a100, &a3000};
  const Case cases[] = {{24, 128}, {4, 32}, {1, 32}, {100, 512}, {3000, 16384}};
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].elementSize);
    EXPECT_EQ(arrays[i]->elementSize, cases[i].elementSize);
  }
  a24.growOnce();
  a4.growOnce();
  a1.growOnce();
  a100.growOnce();
  a3000.growOnce();
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].elementSize);
    EXPECT_EQ(arrays[i]->capacityBytes, cases[i].first);
  }
}

TEST(BigArray, GrowthDoublesThenAddsSixteenKiB) {
  BigArray<unsigned char> a;
  std::vector<uint64_t> seen;
  for (int i = 0; i < 14; ++i) {
    a.growOnce();
    seen.push_back(a.capacityBytes);
  }
  const std::vector<uint64_t> expected = {32,   64,   128,   256,   512,   1024,  2048,
                                          4096, 8192, 16384, 32768, 49152, 65536, 81920};
  EXPECT_EQ(seen, expected);
}

TEST(BigArray, ContentSurvivesEveryKindOfGrowth) {
  BigArray<uint32_t> a;
  for (uint32_t i = 0; i < 300000; ++i) a.push(i * 2654435761u);
  for (uint32_t i = 0; i < 300000; ++i) ASSERT_EQ(a[i], i * 2654435761u) << i;
}

TEST(BigArray, OnlyTheCapacityIsCommitted) {
  BigArray<unsigned char> a;
  while (a.capacityBytes < 81920) a.growOnce();
  const char* d = reinterpret_cast<const char*>(a.data());
  EXPECT_TRUE(readable(d));
  EXPECT_TRUE(readable(d + 81919));
  EXPECT_FALSE(readable(d + 81920));  // reserved up to 131072, not committed
  EXPECT_FALSE(readable(d + 131071));
}

TEST(BigArray, MultiMegabyteArrayGrowsInPlace) {
  BigArray<uint64_t> a;
  a.push(1);
  while (a.capacityBytes <= 4096) a.push(a.count);
  const uint64_t* first = a.data();
  while (a.capacityBytes < (uint64_t{8} << 20)) a.push(a.count);
  EXPECT_EQ(a.data(), first);
  for (uint64_t i = 1; i < a.count; ++i) ASSERT_EQ(a[i], i);
}

TEST(BigArray, ReleaseGivesBackEveryStep) {
  const void* data;
  {
    BigArray<uint64_t> a;
    while (a.capacityBytes < (uint64_t{1} << 20)) a.push(a.count);
    data = a.data();
    ASSERT_TRUE(readable(data));
  }
  for (size_t off = 0; off < (size_t{1} << 20); off += 65536)
    EXPECT_FALSE(PAL::detail::queryRegion(static_cast<const char*>(data) + off)) << off;
}

TEST(BigArray, BaseCopy) {
  struct Case {
    const char* what;
    size_t sourceCount, targetCount;
  };
  const Case cases[] = {{"small into empty", 5, 0},
                        {"large into small", 20000, 3},
                        {"small into large", 7, 20000},
                        {"same capacity", 9, 10},
                        {"empty into large", 0, 20000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    BigArray<uint32_t> source, target;
    for (size_t i = 0; i < c.sourceCount; ++i) source.push(static_cast<uint32_t>(i + 1));
    for (size_t i = 0; i < c.targetCount; ++i) target.push(0xDEAD);
    target.copyFrom(source);
    EXPECT_EQ(target.capacityBytes, source.capacityBytes);
    EXPECT_EQ(target.count, source.count);
    if (source.capacityBytes == 0) {
      EXPECT_EQ(target.data(), nullptr);
    }
    for (size_t i = 0; i < c.sourceCount; ++i) ASSERT_EQ(target[i], i + 1) << i;
  }
  BigArray<uint32_t> self;
  for (uint32_t i = 0; i < 50; ++i) self.push(i);
  const uint32_t* before = self.data();
  self.copyFrom(self);
  EXPECT_EQ(self.data(), before);
  EXPECT_EQ(self.count, 50u);
  EXPECT_EQ(self[49], 49u);
}

}  // namespace
