// The library's size-taking new handler and its mode flag, in place of the
// runtime's _set_new_handler/_set_new_mode that Linux lacks.
#include <atomic>
#include <cstdlib>

#include "memory/out_of_memory.h"
#include "pal/memory.h"

namespace Halvex::Tessaran::PAL {
namespace {
std::atomic<Malloc::NewHandler> g_handler{nullptr};
std::atomic<bool> g_newMode{false};
}  // namespace

Malloc::NewHandler Malloc::kvSetNewHandler(NewHandler handler) {
  return g_handler.exchange(handler);
}

Malloc::NewHandler Malloc::kvQueryNewHandler() {
  return g_handler.load();
}

bool Malloc::kvUseNewHandler(bool on) {
  return g_newMode.exchange(on);
}

bool detail::retryAfterOutOfMemory(size_t size) {
  Malloc::NewHandler h = g_handler.load();
  return h && h(size) != 0;
}

void* detail::crtMalloc(size_t size) {
  if (!g_newMode.load(std::memory_order_relaxed)) return std::malloc(size);
  return allocateWithRetry(size, [&] { return std::malloc(size); });
}

void* detail::crtRealloc(void* block, size_t size) {
  // realloc(p, 0) frees and answers null: that is no failure to retry.
  if (size == 0 || !g_newMode.load(std::memory_order_relaxed)) return std::realloc(block, size);
  return allocateWithRetry(size, [&] { return std::realloc(block, size); });
}

}  // namespace Halvex::Tessaran::PAL
