// Exception guards over signal handlers: faults inside a guarded callable
// come back to the guard through a per-thread jump point.
#include <cxxabi.h>
#include <pthread.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "pal/seh.h"

namespace Halvex::Tessaran::PAL::SEH {

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP};
constexpr DWORD kCppExceptionCode = 0xE06D7363;

struct GuardFrame {
  sigjmp_buf jump;
  GuardFrame* outer = nullptr;
  // Below every live frame of the guard: the trampoline runs there after a
  // fault, over the dead frames of the callable.
  std::uintptr_t resumeStack = 0;
  bool faulted = false;
  EXCEPTION_RECORD record{};
  CONTEXT context{};
};

thread_local GuardFrame* tInnermost = nullptr;

// The thread's alternate signal stack (when the library made it) and the
// lowest address of its normal stack, for telling a stack overflow apart.
class ThreadStacks {
 public:
  void prepare() {
    if (prepared_) return;
    prepared_ = true;
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
      void* addr = nullptr;
      size_t size = 0;
      pthread_attr_getstack(&attr, &addr, &size);
      pthread_attr_getguardsize(&attr, &guard_);
      low_ = reinterpret_cast<std::uintptr_t>(addr);
      pthread_attr_destroy(&attr);
    }
    stack_t current;
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)) return;
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    altSize_ = std::max<size_t>(64 * 1024, 4 * static_cast<size_t>(sysconf(_SC_MINSIGSTKSZ)));
    // One inaccessible page below catches an overflow of the handler itself.
    void* block = mmap(nullptr, altSize_ + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) return;
    mprotect(block, page, PROT_NONE);
    stack_t ss{};
    ss.ss_sp = static_cast<char*>(block) + page;
    ss.ss_size = altSize_;
    if (sigaltstack(&ss, nullptr) != 0) {
      munmap(block, altSize_ + page);
      return;
    }
    alt_ = block;
  }

  ~ThreadStacks() {
    if (!alt_) return;
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    stack_t current;
    if (sigaltstack(nullptr, &current) == 0 && current.ss_sp == static_cast<char*>(alt_) + page) {
      stack_t off{};
      off.ss_flags = SS_DISABLE;
      sigaltstack(&off, nullptr);
    }
    munmap(alt_, altSize_ + page);
  }

  // The kernel's guard gap below a growing main-thread stack is 1 MiB; a
  // thread's guard pages lie in the same place.
  bool inGuardZone(std::uintptr_t addr) const {
    if (!low_) return false;
    std::uintptr_t zone = std::max<std::uintptr_t>(guard_, 1 << 20);
    std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    return addr < low_ + page && addr + zone >= low_;
  }

 private:
  bool prepared_ = false;
  std::uintptr_t low_ = 0;
  size_t guard_ = 0;
  void* alt_ = nullptr;
  size_t altSize_ = 0;
};

thread_local ThreadStacks tStacks;

// Handlers are in place while any guard runs; the previous ones are kept
// for the threads that fault outside a guard, and put back afterwards.
std::mutex gInstallMutex;
int gRunningGuards = 0;
struct sigaction gPrevious[std::size(kSignals)];

int signalIndex(int sig) {
  for (size_t i = 0; i < std::size(kSignals); ++i)
    if (kSignals[i] == sig) return static_cast<int>(i);
  return 0;
}

// Behaves as if the library's handler had never been installed.
void forwardToPrevious(int sig, siginfo_t* si, void* uc) {
  const struct sigaction& prev = gPrevious[signalIndex(sig)];
  bool refaults = si->si_code > 0 && sig != SIGTRAP;
  if (prev.sa_flags & SA_SIGINFO) {
    prev.sa_sigaction(sig, si, uc);
  } else if (prev.sa_handler == SIG_DFL || prev.sa_handler == SIG_IGN) {
    // A fault re-executes its instruction on return and meets the restored
    // disposition; anything else has to be raised again.
    sigaction(sig, &prev, nullptr);
    if (!refaults && prev.sa_handler == SIG_DFL) raise(sig);
  } else {
    prev.sa_handler(sig);
  }
}

// The kernel reports a denormal operand as an underflow. The unit that
// trapped (x87: #MF, trap 16; SSE: #XM, trap 19) holds the exception flags,
// and an unmasked denormal flag among them tells the two apart.
bool denormalOperand(const ucontext_t* uc) {
  const auto* fp = uc->uc_mcontext.fpregs;
  if (!fp) return false;
  constexpr unsigned kDenormal = 0x02;
  unsigned pending =
      uc->uc_mcontext.gregs[REG_TRAPNO] == 16 ? fp->swd & ~fp->cwd : fp->mxcsr & ~(fp->mxcsr >> 7);
  return (pending & kDenormal) != 0;
}

DWORD faultCode(int sig, const siginfo_t* si, const ucontext_t* uc, std::uintptr_t addr) {
  switch (sig) {
    case SIGSEGV:
      return tStacks.inGuardZone(addr) ? 0xC00000FD : 0xC0000005;
    case SIGBUS:
      return si->si_code == BUS_ADRALN ? 0x80000002 : 0xC0000006;
    case SIGFPE:
      switch (si->si_code) {
        case FPE_INTDIV:
          return 0xC0000094;
        case FPE_INTOVF:
          return 0xC0000095;
        case FPE_FLTDIV:
          return 0xC000008E;
        case FPE_FLTOVF:
          return 0xC0000091;
        case FPE_FLTUND:
          return denormalOperand(uc) ? 0xC000008D : 0xC0000093;
        case FPE_FLTRES:
          return 0xC000008F;
        case FPE_FLTSUB:
          return 0xC000008C;
        default:
          // The kernel reports an x87 stack fault as an invalid operation
          // with the stack-fault bit set in the status word.
          return uc->uc_mcontext.fpregs && (uc->uc_mcontext.fpregs->swd & 0x40) ? 0xC0000092 : 0xC0000090;
      }
    case SIGILL:
      return 0xC000001D;
    default:
      return 0x80000003;
  }
}

// Parameter 0 of an access fault: 0 read, 1 write, 8 execute, from the
// page-fault error code.
ULONG_PTR accessKind(const ucontext_t* uc) {
  auto err = static_cast<std::uint64_t>(uc->uc_mcontext.gregs[REG_ERR]);
  return err & 0x10 ? 8 : (err & 0x2 ? 1 : 0);
}

[[noreturn]] void resumeAtGuard(GuardFrame* frame) {
  siglongjmp(frame->jump, 1);
}

void onFault(int sig, siginfo_t* si, void* ucv) {
  GuardFrame* frame = tInnermost;
  if (!frame || frame->faulted || !frame->resumeStack) {
    forwardToPrevious(sig, si, ucv);
    return;
  }
  frame->faulted = true;
  auto* uc = static_cast<ucontext_t*>(ucv);
  mcontext_t& mc = uc->uc_mcontext;
  bool fromKernel = si->si_code > 0;
  auto addr = fromKernel ? reinterpret_cast<std::uintptr_t>(si->si_addr) : 0;
  auto rip = static_cast<std::uintptr_t>(mc.gregs[REG_RIP]);

  EXCEPTION_RECORD& rec = frame->record;
  rec.ExceptionCode = faultCode(sig, si, uc, addr);
  // int3 leaves the instruction pointer after itself.
  rec.ExceptionAddress = reinterpret_cast<void*>(sig == SIGTRAP && si->si_code == SI_KERNEL ? rip - 1 : rip);
  if (sig == SIGSEGV || (sig == SIGBUS && rec.ExceptionCode == 0xC0000006)) {
    rec.ExceptionInformation[0] = fromKernel ? accessKind(uc) : 0;
    rec.ExceptionInformation[1] = addr;
    rec.NumberParameters = 2;
    if (sig == SIGBUS) {
      rec.ExceptionInformation[2] = 0xC0000011;  // the mapped file ends before the page
      rec.NumberParameters = 3;
    }
  }
  CONTEXT& ctx = frame->context;
  ctx.Rip = rip;
  ctx.Rsp = static_cast<std::uint64_t>(mc.gregs[REG_RSP]);
  if (mc.fpregs) {
    static_assert(sizeof(*mc.fpregs) == sizeof(ctx.FltSave));
    std::memcpy(&ctx.FltSave, mc.fpregs, sizeof ctx.FltSave);
    ctx.MxCsr = mc.fpregs->mxcsr;
    if (sig == SIGFPE) {
      // A pending x87 exception would fire again at the next x87
      // instruction once the context is restored.
      mc.fpregs->swd &= static_cast<unsigned short>(~0x80ffu);
      mc.fpregs->mxcsr &= ~0x3fu;
    }
  }

  // Return from the handler into a trampoline on the thread's own stack:
  // leaving the alternate stack by a normal return keeps the sanitizers'
  // view of the stacks consistent, and the kernel restores the signal mask.
  std::uintptr_t sp = ((frame->resumeStack - 256) & ~std::uintptr_t{15}) - sizeof(void*);
  *reinterpret_cast<std::uintptr_t*>(sp) = 0;  // no return address
  mc.gregs[REG_RSP] = static_cast<greg_t>(sp);
  mc.gregs[REG_RIP] = static_cast<greg_t>(reinterpret_cast<std::uintptr_t>(&resumeAtGuard));
  mc.gregs[REG_RDI] = static_cast<greg_t>(reinterpret_cast<std::uintptr_t>(frame));
}

class InstalledHandlers {
 public:
  InstalledHandlers() {
    std::lock_guard lock(gInstallMutex);
    if (gRunningGuards++ > 0) return;
    struct sigaction sa {};
    sa.sa_sigaction = onFault;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    for (int sig : kSignals) sigaddset(&sa.sa_mask, sig);
    for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &sa, &gPrevious[i]);
  }
  ~InstalledHandlers() {
    std::lock_guard lock(gInstallMutex);
    if (--gRunningGuards > 0) return;
    for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &gPrevious[i], nullptr);
  }
  InstalledHandlers(const InstalledHandlers&) = delete;
  InstalledHandlers& operator=(const InstalledHandlers&) = delete;
};

void fill(ExceptionInformation* info, EXCEPTION_RECORD& rec, CONTEXT& ctx) {
  if (!info) return;
  EXCEPTION_POINTERS pointers{&rec, &ctx};
  info->code = rec.ExceptionCode;
  info->address = rec.ExceptionAddress;
  info->name = getExceptionName(&pointers);
}

// Not inlined, so that its frame lies below the guard's jump buffer.
__attribute__((noinline)) bool runInside(GuardFrame& frame, const std::function<void()>& fn,
                                         ExceptionInformation* info) {
  frame.resumeStack = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
  try {
    fn();
    return true;
  } catch (abi::__forced_unwind&) {
    throw;  // thread cancellation must finish unwinding
  } catch (...) {
    EXCEPTION_RECORD rec{};
    rec.ExceptionCode = kCppExceptionCode;
    CONTEXT ctx{};
    fill(info, rec, ctx);
    return false;
  }
}

bool guarded(const std::function<void()>& fn, ExceptionInformation* info) {
  tStacks.prepare();
  InstalledHandlers handlers;
  GuardFrame frame;
  frame.outer = tInnermost;
  struct Pop {
    GuardFrame& frame;
    ~Pop() { tInnermost = frame.outer; }
  } pop{frame};
  if (sigsetjmp(frame.jump, 0) == 0) {
    tInnermost = &frame;
    return runInside(frame, fn, info);
  }
  // Faults while naming belong to the outer guard.
  tInnermost = frame.outer;
  fill(info, frame.record, frame.context);
  return false;
}

}  // namespace

bool callWithSEH(const std::function<void()>& fn) {
  return guarded(fn, nullptr);
}

bool callWithSEH(const std::function<void()>& fn, ExceptionInformation& info) {
  return guarded(fn, &info);
}

bool callWithSEH(const std::function<void()>& fn, const std::function<void()>& onException) {
  if (guarded(fn, nullptr)) return true;
  onException();
  return false;
}

}  // namespace Halvex::Tessaran::PAL::SEH
