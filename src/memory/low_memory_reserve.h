// The low-memory reserve's process-wide entries, for inspection.
#pragma once

#include <array>

#include "pal/win_types.h"

namespace Halvex::Tessaran::PAL::detail {

constexpr int kReserveEntries = 10;

// Size of each reserved region for a request of `megabytes`; not positive
// when the request is too large for the reserve's 32-bit arithmetic.
int reserveBlockSize(unsigned long long megabytes);

// A copy of the entries: region addresses, null, or all-ones in the first
// when the reserve is disabled.
std::array<void*, kReserveEntries> reserveEntries();

}  // namespace Halvex::Tessaran::PAL::detail
