// Locks, events and thread identity for the application's modules.
//
// Differences from Windows:
// - Thread identifiers are kernel thread ids (gettid), as ps and /proc show
//   them, not Windows thread ids.
// - KvCrit is a POSIX reader/writer lock that prefers writers, KvCritRecurse
//   a recursive POSIX mutex, KvEventObj an auto-reset event on a futex; none
//   of them is a kernel handle, and their blocks are larger than the Windows
//   ones (callers only ever hold pointers).
// - isStackAddress uses the stack bounds the threads library records for the
//   calling thread; for the main thread that is its stack mapping as the
//   kernel grows it.
// - initFPU masks the exceptions in both the x87 control word and MXCSR.
#pragma once

#include "pal/export.h"
#include "pal/win_types.h"

namespace Halvex::Tessaran::PAL::Thread {

PAL_EXPORT void initializeMainThread();
PAL_EXPORT bool isMainThread();
PAL_EXPORT bool isMainThreadId(unsigned __int64 id);
PAL_EXPORT void initializeUiThread();
PAL_EXPORT bool isUiThread();
PAL_EXPORT bool isStackAddress(const void* p);
PAL_EXPORT void initFPU();

// The objects below are opaque, 128-byte aligned and made and destroyed only
// through newClass/deleteClass.

// Reader/writer lock; not recursive: locking it again on the thread that
// holds it blocks for ever.
class PAL_EXPORT KvCrit {
 public:
  static KvCrit* newClass();
  static void deleteClass(KvCrit* crit);
  void lock();
  void unlock();
  void lockRead();
  void unlockRead();

  KvCrit() = delete;
  KvCrit(const KvCrit&) = delete;
  KvCrit& operator=(const KvCrit&) = delete;
};

// Recursive lock; lockRead excludes every other thread just as lock does.
class PAL_EXPORT KvCritRecurse {
 public:
  static KvCritRecurse* newClass();
  static void deleteClass(KvCritRecurse* crit);
  void lock();
  void unlock();
  void lockRead();
  void unlockRead();

  KvCritRecurse() = delete;
  KvCritRecurse(const KvCritRecurse&) = delete;
  KvCritRecurse& operator=(const KvCritRecurse&) = delete;
};

// Auto-reset event, created not signalled.
class PAL_EXPORT KvEventObj {
 public:
  static KvEventObj* newClass();
  static void deleteClass(KvEventObj* event);
  void signal();
  void waitForSignal();
  // 0 when signalled within the time, 1 on time-out.
  unsigned int waitForSignal(unsigned int milliseconds);

  KvEventObj() = delete;
  KvEventObj(const KvEventObj&) = delete;
  KvEventObj& operator=(const KvEventObj&) = delete;
};

}  // namespace Halvex::Tessaran::PAL::Thread
