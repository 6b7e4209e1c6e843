// KvCrit and KvCritRecurse on POSIX reader/writer locks and mutexes.
#include <pthread.h>

#include "pal/thread.h"
#include "threads/opaque_object.h"

namespace Halvex::Tessaran::PAL::Thread {
namespace {
// Writers first, as the Windows slim lock keeps a stream of readers from
// starving a writer.
struct CritState {
  pthread_rwlock_t rw;
  CritState() {
    pthread_rwlockattr_t a;
    pthread_rwlockattr_init(&a);
    pthread_rwlockattr_setkind_np(&a, PTHREAD_RWLOCK_PREFER_WRITER_NONRECURSIVE_NP);
    pthread_rwlock_init(&rw, &a);
    pthread_rwlockattr_destroy(&a);
  }
  ~CritState() { pthread_rwlock_destroy(&rw); }
};

struct RecurseState {
  pthread_mutex_t m;
  RecurseState() {
    pthread_mutexattr_t a;
    pthread_mutexattr_init(&a);
    pthread_mutexattr_settype(&a, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&m, &a);
    pthread_mutexattr_destroy(&a);
  }
  ~RecurseState() { pthread_mutex_destroy(&m); }
};

pthread_rwlock_t* rw(KvCrit* c) { return &detail::stateOf<CritState>(c).rw; }
pthread_mutex_t* mx(KvCritRecurse* c) { return &detail::stateOf<RecurseState>(c).m; }
}  // namespace

KvCrit* KvCrit::newClass() { return detail::newOpaque<KvCrit, CritState>(); }
void KvCrit::deleteClass(KvCrit* crit) { detail::deleteOpaque<CritState>(crit); }
void KvCrit::lock() { pthread_rwlock_wrlock(rw(this)); }
void KvCrit::unlock() { pthread_rwlock_unlock(rw(this)); }
void KvCrit::lockRead() { pthread_rwlock_rdlock(rw(this)); }
void KvCrit::unlockRead() { pthread_rwlock_unlock(rw(this)); }

KvCritRecurse* KvCritRecurse::newClass() { return detail::newOpaque<KvCritRecurse, RecurseState>(); }
void KvCritRecurse::deleteClass(KvCritRecurse* crit) { detail::deleteOpaque<RecurseState>(crit); }
void KvCritRecurse::lock() { pthread_mutex_lock(mx(this)); }
void KvCritRecurse::unlock() { pthread_mutex_unlock(mx(this)); }
void KvCritRecurse::lockRead() { pthread_mutex_lock(mx(this)); }
void KvCritRecurse::unlockRead() { pthread_mutex_unlock(mx(this)); }

}  // namespace Halvex::Tessaran::PAL::Thread
