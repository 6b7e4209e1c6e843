// Storage of KvBigArrayBase: small arrays on the C library's heap, large ones
// in address-space reservations that grow in place 64 KiB at a time.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

#include "memory/address_space.h"
#include "pal/memory.h"

namespace detail = Halvex::Tessaran::PAL::detail;

namespace {
constexpr size_t kHeapLimit = 4096;
constexpr size_t kStep = 65536;
constexpr int kAttempts = 4;

size_t roundUpToStep(size_t n) {
  return (n + kStep - 1) / kStep * kStep;
}

// Arrays have no failure result to give, so running out of address space is
// the operator-new handler's to resolve, or the end of the process.
void newHandlerOrTerminate() {
  std::new_handler h = std::get_new_handler();
  if (!h) std::terminate();
  h();
}

void* allocateStorage(size_t size) {
  if (size <= kHeapLimit) return std::malloc(size);
  const size_t reserved = roundUpToStep(size);
  void* base = nullptr;
  for (int i = 0; i < kAttempts && !base; ++i) {
    base = detail::reserveGrowableAddressSpace(reserved);
    if (!base) newHandlerOrTerminate();
  }
  if (!base) return nullptr;
  for (int i = 0; i < kAttempts; ++i) {
    if (detail::commitReadWrite(base, size)) return base;
    newHandlerOrTerminate();
  }
  detail::releaseAddressSpace(base, reserved);
  return nullptr;
}
}  // namespace

KvBigArrayBase::KvBigArrayBase(size_t elementSize, void* dataRef)
    : count(0), capacityBytes(0), elementSize(elementSize), dataRef(static_cast<void**>(dataRef)) {
  *this->dataRef = nullptr;
}

KvBigArrayBase::~KvBigArrayBase() {
  release();
}

// Regions reserved behind the first one by in-place growth are separate
// reservations, so the storage goes back one 64 KiB step at a time.
void KvBigArrayBase::release() {
  if (capacityBytes == 0) return;
  char* data = static_cast<char*>(*dataRef);
  if (capacityBytes <= kHeapLimit) {
    std::free(data);
  } else if (data) {
    for (size_t offset = 0; offset < capacityBytes; offset += kStep)
      detail::releaseAddressSpace(data + offset, kStep);
  }
  *dataRef = nullptr;
  capacityBytes = 0;
}

void KvBigArrayBase::grow() {
  size_t capacity;
  if (capacityBytes == 0) {
    capacity = 32;
    while (capacity < 4 * elementSize) capacity *= 2;
  } else {
    capacity = capacityBytes * 2;
    if (capacity > 16384) capacity = capacityBytes + 16384;
  }
  char* data = static_cast<char*>(*dataRef);
  const bool inPlace =
      capacityBytes > kHeapLimit && data &&
      (capacityBytes % kStep != 0 || detail::reserveAddressSpaceAt(data + capacityBytes, kStep));
  if (inPlace) {
    const size_t from = capacityBytes / kStep * kStep;
    while (!detail::commitReadWrite(data + from, capacity - from)) newHandlerOrTerminate();
  } else {
    void* fresh = allocateStorage(capacity);
    if (fresh && count) std::memcpy(fresh, data, count * elementSize);
    release();
    *dataRef = fresh;
  }
  capacityBytes = capacity;
}

void KvBigArrayBase::baseCopy(const KvBigArrayBase& other) {
  if (&other == this) return;
  if (capacityBytes != other.capacityBytes) {
    release();
    if (other.capacityBytes) {
      *dataRef = allocateStorage(other.capacityBytes);
      capacityBytes = other.capacityBytes;
    }
  }
  count = other.count;
  if (count && *dataRef) std::memcpy(*dataRef, *other.dataRef, count * elementSize);
}
