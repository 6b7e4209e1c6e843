// The low-memory reserve: address space set aside at start-up that the host
// hands back when the process runs short.
#include "memory/low_memory_reserve.h"

#include <atomic>
#include <cstdint>
#include <mutex>

#include "memory/address_space.h"
#include "pal/memory.h"

namespace Halvex::Tessaran::PAL {
namespace {
void* const kDisabled = reinterpret_cast<void*>(~uintptr_t{0});

std::mutex g_mutex;  // guards g_entries; constant-initialised, so ready at load
std::array<void*, detail::kReserveEntries> g_entries{};
size_t g_blockSize = 0;  // munmap needs the size VirtualFree did not
std::atomic<bool> g_initialized{false};
}  // namespace

// The reserve has always computed in signed 32 bits; requests of 2048
// megabytes and more wrap and disable it, and callers rely on that.
int detail::reserveBlockSize(unsigned long long megabytes) {
  const uint32_t mb = megabytes == 0 ? 60u : static_cast<uint32_t>(megabytes);
  return static_cast<int32_t>(mb * 1048576u) / kReserveEntries;
}

std::array<void*, detail::kReserveEntries> detail::reserveEntries() {
  std::lock_guard<std::mutex> g(g_mutex);
  return g_entries;
}

bool LowMemoryReserves::initializeReserve(unsigned long long megabytes) {
  const int blockSize = detail::reserveBlockSize(megabytes);
  std::lock_guard<std::mutex> g(g_mutex);
  if (g_initialized.load() || g_entries[0]) return false;
  if (blockSize <= 0) {
    g_entries[0] = kDisabled;
    return false;
  }
  g_initialized.store(true);
  g_blockSize = static_cast<size_t>(blockSize);
  for (void*& entry : g_entries) {
    entry = detail::reserveAddressSpace(g_blockSize);
    if (!entry) g_initialized.store(false);
  }
  return g_initialized.load();
}

void LowMemoryReserves::terminateReserve() {
  g_initialized.store(false);
  std::lock_guard<std::mutex> g(g_mutex);
  if (!g_entries[0] || g_entries[0] == kDisabled) return;
  for (void*& entry : g_entries) {
    if (entry) detail::releaseAddressSpace(entry, g_blockSize);
    entry = nullptr;
  }
}

bool LowMemoryReserves::isReserveAvailable() {
  if (!g_initialized.load()) return false;
  std::lock_guard<std::mutex> g(g_mutex);
  return g_entries[0] != nullptr;
}

}  // namespace Halvex::Tessaran::PAL
