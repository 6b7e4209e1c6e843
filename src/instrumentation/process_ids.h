// The calling process's and thread's ids for event records, cheap enough to
// ask on every event.
#pragma once

#include <cstdint>

namespace Halvex::Tessaran::PAL::detail {

std::uint32_t currentProcessId();
std::uint32_t currentThreadId();

}  // namespace Halvex::Tessaran::PAL::detail
