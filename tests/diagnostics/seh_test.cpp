// Exception guards: real faults caught, names of synthetic records.
#include "pal/seh.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>
#include <xmmintrin.h>

#include <atomic>
#include <cfenv>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/temp_dir.h"

namespace SEH = Halvex::Tessaran::PAL::SEH;
using kvpal::test::runInChild;

namespace {

// The sanitizers must not see these faults coming: they are the point.
#define FAULTING __attribute__((noinline, no_sanitize("address", "undefined")))

// In assembly: the compiler may turn a division by a variable into
// comparisons.
FAULTING void divideByZero() {
  int dividend = 7, zero = 0;
  asm volatile("cltd; idivl %1" : "+a"(dividend) : "r"(zero) : "edx");
}
// Through a volatile pointer: a literal null store is undefined behaviour
// the compiler may drop.
FAULTING void writeThroughNull() {
  volatile int* volatile null = nullptr;
  *null = 1;
}
FAULTING void readAt(std::uintptr_t addr) {
  volatile int r = *reinterpret_cast<volatile int*>(addr);
  (void)r;
}
FAULTING void illegalInstruction() {
  asm volatile("ud2");
}
FAULTING void breakpoint() {
  asm volatile("int3");
}
// Recurses until the stack runs out; the bound only keeps the compiler from
// calling it infinite.
FAULTING int recurse(int depth) {
  volatile char pad[512];
  pad[0] = static_cast<char>(depth);
  if (depth == INT32_MAX) return pad[0];
  return recurse(depth + 1) + pad[0];
}
FAULTING void floatDivideByZero() {
  feenableexcept(FE_DIVBYZERO);
  volatile double zero = 0.0;
  volatile double r = 1.0 / zero;
  (void)r;
}
FAULTING void floatUnderflow() {
  feenableexcept(FE_UNDERFLOW);
  volatile double small = 1e-300;
  volatile double r = small * small;
  (void)r;
}
// The denormal-operand exception unmasked (MXCSR bit 8), denormals not read
// as zero (bit 6).
FAULTING void denormalOperand() {
  _mm_setcsr(_mm_getcsr() & ~0x0140u);
  volatile double tiny = 1e-310;
  volatile double r = tiny * 2.0;
  (void)r;
}

struct FaultCase {
  const char* what;
  std::function<void()> fn;
  std::uint32_t code;
  std::wstring name;
};

TEST(CallWithSEH, CatchesRealFaultsWithTheirCodesAndNames) {
  const FaultCase cases[] = {
      {"integer division", divideByZero, 0xC0000094, L"Integer Divide By Zero"},
      {"null write", writeThroughNull, 0xC0000005, L"Access Violation Writing 0x0000"},
      {"read of an unmapped address", [] { readAt(0x12345678); }, 0xC0000005,
       L"Access Violation Reading 0x12345678"},
      {"illegal instruction", illegalInstruction, 0xC000001D, L"Illegal Instruction"},
      {"breakpoint", breakpoint, 0x80000003, L"BreakPoint"},
      {"stack overflow", [] { recurse(0); }, 0xC00000FD, L"Stack Overflow"},
      {"float division", floatDivideByZero, 0xC000008E, L"Float Divide by Zero"},
      {"float underflow", floatUnderflow, 0xC0000093, L"Float Underflow"},
      {"denormal operand", denormalOperand, 0xC000008D, L"Float Denormal"},
      {"C++ exception", [] { throw std::runtime_error("x"); }, 0xE06D7363, L"e06d7363h"},
      {"empty callable", std::function<void()>(), 0xE06D7363, L"e06d7363h"},
  };
  const unsigned csr = _mm_getcsr();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SEH::ExceptionInformation info{L"untouched", 0, nullptr};
    EXPECT_FALSE(SEH::callWithSEH(c.fn, info));
    fedisableexcept(FE_ALL_EXCEPT);
    _mm_setcsr(csr);
    EXPECT_EQ(info.code, c.code);
    EXPECT_EQ(info.name, c.name);
    if (c.code != 0xE06D7363) {
      EXPECT_NE(info.address, nullptr);
    }
  }
}

TEST(CallWithSEH, ReportsTheAddressOfTheFaultingInstruction) {
  SEH::ExceptionInformation info{};
  ASSERT_FALSE(SEH::callWithSEH(breakpoint, info));
  auto at = reinterpret_cast<const unsigned char*>(info.address);
  EXPECT_EQ(*at, 0xCC);  // the int3 itself, not the instruction after it
}

TEST(CallWithSEH, ReadingAMappedFileBeyondItsEnd) {
  const kvpal::test::TempDir temp("kvpal-seh");
  const std::filesystem::path path = std::filesystem::path(temp.path()) / "mapped";
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  long page = sysconf(_SC_PAGESIZE);
  ASSERT_EQ(ftruncate(fd, page * 2), 0);
  void* map = mmap(nullptr, static_cast<size_t>(page * 2), PROT_READ, MAP_SHARED, fd, 0);
  ASSERT_NE(map, MAP_FAILED);
  ASSERT_EQ(ftruncate(fd, page), 0);
  SEH::ExceptionInformation info{};
  EXPECT_FALSE(SEH::callWithSEH([&] { readAt(reinterpret_cast<std::uintptr_t>(map) + page); }, info));
  EXPECT_EQ(info.code, 0xC0000006u);
  EXPECT_EQ(info.name, L"c0000006h");
  munmap(map, static_cast<size_t>(page * 2));
  close(fd);
}

TEST(CallWithSEH, NormalReturnLeavesInfoUntouched) {
  int calls = 0;
  SEH::ExceptionInformation info{L"before", 7, &calls};
  EXPECT_TRUE(SEH::callWithSEH([&] { ++calls; }, info));
  EXPECT_TRUE(SEH::callWithSEH([&] { ++calls; }));
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(info.name, L"before");
  EXPECT_EQ(info.code, 7u);
  EXPECT_EQ(info.address, &calls);
}

TEST(CallWithSEH, OnExceptionRunsOnlyAfterAFault) {
  int handled = 0;
  EXPECT_TRUE(SEH::callWithSEH([] {}, [&] { ++handled; }));
  EXPECT_EQ(handled, 0);
  EXPECT_FALSE(SEH::callWithSEH(writeThroughNull, [&] { ++handled; }));
  EXPECT_EQ(handled, 1);
  // onException runs outside the guard: its own exception reaches the caller.
  EXPECT_THROW(SEH::callWithSEH(divideByZero, std::function<void()>()), std::bad_function_call);
  EXPECT_THROW(SEH::callWithSEH(divideByZero, [] { throw std::logic_error("y"); }), std::logic_error);
  EXPECT_TRUE(SEH::callWithSEH([] {}, std::function<void()>()));
}

TEST(CallWithSEH, GuardsNest) {
  SEH::ExceptionInformation inner{}, outer{};
  bool innerResult = true;
  bool outerResult = SEH::callWithSEH(
      [&] {
        innerResult = SEH::callWithSEH(divideByZero, inner);
        writeThroughNull();  // after the inner guard is gone: the outer one's
      },
      outer);
  EXPECT_FALSE(innerResult);
  EXPECT_EQ(inner.code, 0xC0000094u);
  EXPECT_FALSE(outerResult);
  EXPECT_EQ(outer.code, 0xC0000005u);
  // A fault in the inner guard leaves the outer one to finish normally.
  EXPECT_TRUE(SEH::callWithSEH([] { EXPECT_FALSE(SEH::callWithSEH(illegalInstruction)); }));
}

TEST(CallWithSEH, ThreadsFaultingAtOnceEachGetTheirOwn) {
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        SEH::ExceptionInformation info{};
        bool faults = (i + t) % 2 == 0;
        bool ok = SEH::callWithSEH(
            faults ? std::function<void()>(divideByZero) : [] {}, info);
        if (ok == faults || (faults && info.code != 0xC0000094)) ++wrong;
      }
      SEH::ExceptionInformation info{};
      if (SEH::callWithSEH([] { recurse(0); }, info) || info.code != 0xC00000FD) ++wrong;
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong, 0);
}

// Outside every guard the process behaves as without the library.
TEST(CallWithSEH, FaultsOutsideAGuardStillEndTheProcess) {
  auto afterGuard = runInChild([] {
    SEH::callWithSEH(divideByZero);
    writeThroughNull();
    return 0;
  });
  EXPECT_EQ(afterGuard.signal, SIGSEGV);

  auto otherThread = runInChild([] {
    // One thread waits inside a guard while another faults without one.
    std::atomic<bool> inside{false}, done{false};
    std::thread guarded([&] {
      SEH::callWithSEH([&] {
        inside = true;
        while (!done) std::this_thread::yield();
      });
    });
    while (!inside) std::this_thread::yield();
    divideByZero();
    done = true;
    guarded.join();
    return 0;
  });
  EXPECT_EQ(otherThread.signal, SIGFPE);

  auto hostHandler = runInChild([] {
    struct sigaction sa {};
    sa.sa_handler = [](int) { _exit(42); };
    sigaction(SIGSEGV, &sa, nullptr);
    if (SEH::callWithSEH(writeThroughNull)) return 1;  // the guard wins inside
    writeThroughNull();
    return 2;
  });
  EXPECT_EQ(hostHandler.exitCode, 42);
}

struct NameCase {
  DWORD code;
  std::vector<ULONG_PTR> params;
  WORD controlWord;
  std::wstring name;
};

TEST(GetExceptionName, FollowsTheNamingRules) {
  DelayLoadInfo module{};
  module.szDll = "missing.dll";
  DelayLoadInfo procedure{};
  procedure.szDll = "user32.dll";
  const NameCase cases[] = {
      {0xC0000005, {0, 0x1234}, 0, L"Access Violation Reading 0x1234"},
      {0xC0000005, {1, 0x10}, 0, L"Access Violation Writing 0x0010"},
      {0xC0000005, {8, 0xDEADBEEFCAFEull}, 0, L"Access Violation Writing 0xbeefcafe"},
      {0xC06D007E, {reinterpret_cast<ULONG_PTR>(&module)}, 0, L"Delayload \"missing.dll\" Module Not Found"},
      {0xC06D007F,
       {reinterpret_cast<ULONG_PTR>(&procedure)},
       0,
       L"Delayload \"user32.dll\" Procedure Not Found"},
      {0xC0000092, {}, 0x027F, L"Floating Point Stack Overflow"},
      {0xC0000092, {}, 0x007F, L"Floating Point Stack Underflow"},
      {0x80000003, {}, 0, L"BreakPoint"},
      {0xC000008D, {}, 0, L"Float Denormal"},
      {0xC000008E, {}, 0, L"Float Divide by Zero"},
      {0xC0000090, {}, 0, L"Float Invalid Operation"},
      {0xC0000093, {}, 0, L"Float Underflow"},
      {0xC0000091, {}, 0, L"Float Overflow"},
      {0xC0000094, {}, 0, L"Integer Divide By Zero"},
      {0xC000001D, {}, 0, L"Illegal Instruction"},
      {0xC00000FD, {}, 0, L"Stack Overflow"},
      {0xC06D0001, {}, 0, L"c06d0001h"},
      {0x0000000A, {}, 0, L"ah"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.code);
    EXCEPTION_RECORD rec{};
    rec.ExceptionCode = c.code;
    rec.NumberParameters = static_cast<DWORD>(c.params.size());
    std::copy(c.params.begin(), c.params.end(), rec.ExceptionInformation);
    CONTEXT ctx{};
    ctx.FltSave.ControlWord = c.controlWord;
    EXCEPTION_POINTERS pointers{&rec, &ctx};
    EXPECT_EQ(SEH::getExceptionName(&pointers), c.name);
  }
}

TEST(GetExceptionName, FloatingPointEntriesClearTheStatus) {
  for (DWORD code : {0xC000008E, 0xC0000092}) {
    std::feraiseexcept(FE_DIVBYZERO | FE_INEXACT);
    EXCEPTION_RECORD rec{};
    rec.ExceptionCode = code;
    CONTEXT ctx{};
    EXCEPTION_POINTERS pointers{&rec, &ctx};
    SEH::getExceptionName(&pointers);
    EXPECT_EQ(std::fetestexcept(FE_ALL_EXCEPT), 0) << std::hex << code;
  }
  std::feraiseexcept(FE_DIVBYZERO);
  EXCEPTION_RECORD rec{};
  rec.ExceptionCode = 0xC0000094;  // an integer fault leaves it alone
  CONTEXT ctx{};
  EXCEPTION_POINTERS pointers{&rec, &ctx};
  SEH::getExceptionName(&pointers);
  EXPECT_NE(std::fetestexcept(FE_DIVBYZERO), 0);
  std::feclearexcept(FE_ALL_EXCEPT);
}

TEST(GetExceptionMessage, FormatsCodeNameAndAddress) {
  SEH::ExceptionInformation info{L"Integer Divide By Zero", 0xC0000094, reinterpret_cast<void*>(0x1234)};
  EXPECT_EQ(SEH::getExceptionMessage(info),
            L"Unhandled Exception c0000094 (Integer Divide By Zero) at address 1234h");
  info = {L"x", 0xE06D7363, reinterpret_cast<void*>(0x7ffd12345678)};
  EXPECT_EQ(SEH::getExceptionMessage(info), L"Unhandled Exception e06d7363 (x) at address 7ffd12345678h");
  // All 64 bits, the top one included.
  info = {L"x", 0xC0000005, reinterpret_cast<void*>(0xfedcba9876543210)};
  EXPECT_EQ(SEH::getExceptionMessage(info), L"Unhandled Exception c0000005 (x) at address fedcba9876543210h");
  info = {std::wstring(600, L'n'), 1, nullptr};
  EXPECT_EQ(SEH::getExceptionMessage(info),
            L"Unhandled Exception 1 (" + std::wstring(600, L'n') + L") at address 0h");
}

}  // namespace
