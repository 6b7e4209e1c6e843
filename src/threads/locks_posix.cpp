// KvCritRecurse on a recursive POSIX mutex.
#include <pthread.h>

#include "pal/thread.h"
#include "threads/opaque_object.h"

namespace Halvex::Tessaran::PAL::Thread {
namespace {
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

pthread_mutex_t* mx(KvCritRecurse* c) {
  return &detail::stateOf<RecurseState>(c).m;
}
}  // namespace

KvCritRecurse* KvCritRecurse::newClass() {
  return detail::newOpaque<KvCritRecurse, RecurseState>();
}
void KvCritRecurse::deleteClass(KvCritRecurse* crit) {
  detail::deleteOpaque<RecurseState>(crit);
}
void KvCritRecurse::lock() {
  pthread_mutex_lock(mx(this));
}
void KvCritRecurse::unlock() {
  pthread_mutex_unlock(mx(this));
}
void KvCritRecurse::lockRead() {
  pthread_mutex_lock(mx(this));
}
void KvCritRecurse::unlockRead() {
  pthread_mutex_unlock(mx(this));
}

}  // namespace Halvex::Tessaran::PAL::Thread
