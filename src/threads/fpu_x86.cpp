// initFPU for x86-64: masks every floating-point exception in the x87 unit and
// in SSE, where 64-bit code does its arithmetic.
#include <xmmintrin.h>

#include <cstdint>

#include "pal/thread.h"

#if !defined(__x86_64__)
#error "fpu_x86.cpp is for x86-64"
#endif

namespace Halvex::Tessaran::PAL::Thread {
namespace {
// Invalid, denormal, divide-by-zero, overflow, underflow, inexact.
constexpr uint16_t kX87Masks = 0x3F;
constexpr uint32_t kMxcsrMasks = 0x1F80;
}  // namespace

void initFPU() {
  uint16_t cw;
  __asm__ volatile("fnstcw %0" : "=m"(cw));
  cw |= kX87Masks;
  __asm__ volatile("fldcw %0" : : "m"(cw));
  _mm_setcsr(_mm_getcsr() | kMxcsrMasks);
}

}  // namespace Halvex::Tessaran::PAL::Thread
