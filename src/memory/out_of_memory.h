// The out-of-memory policy shared by the allocation entry points: ask the
// installed handler, try again while it says so.
#pragma once

#include <cstddef>

namespace Halvex::Tessaran::PAL::detail {

// True when the installed handler, given the size of the failed request,
// asks for another attempt; false when there is none or it declines.
bool retryAfterOutOfMemory(size_t size);

// Repeats `attempt` until it yields non-null or the handler gives up.
template <typename F>
auto allocateWithRetry(size_t size, F&& attempt) {
  for (;;) {
    auto* p = attempt();
    if (p || !retryAfterOutOfMemory(size)) return p;
  }
}

// malloc and realloc as the library's malloc-backed calls use them: with the
// handler retry while the new-handler mode is on.
void* crtMalloc(size_t size);
void* crtRealloc(void* block, size_t size);

}  // namespace Halvex::Tessaran::PAL::detail
