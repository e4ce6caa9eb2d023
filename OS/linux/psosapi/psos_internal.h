// What the task, event, usage and tick-timer files share; not for callers.
#pragma once

#include <pthread.h>

#include "OS/linux/psosapi/pthreadapi.h"

extern const char kPsosComponent[];  // log component of the library

extern pthread_mutex_t tcblistmutex;
extern pthread_mutex_t tmcblistmutex;
extern pthread_key_t tlsKey;
extern TCB* tcblist;

// os_init() once per process; every entry point calls it, so a caller that
// forgot os_init still gets working locks.
void psos_ensure_init();

// The block of task `tid` when it is in the task list; 0 means the calling
// thread's own block. tcblistmutex must be held.
TCB* tcb_find_locked(UInt32 tid);
// The calling thread's own block, null when it is not a task.
TCB* FindTcbThread();

// Kernel thread id of the calling thread.
pid_t psos_gettid();

// Sleeps until the event mutex of `tcb` is ours: trylock, one tick between
// attempts, so that a sender never blocks inside the lock's wait queue.
int psos_lock_events(TCB* tcb);

// Cancels the tick timers that send events to `taskID` (its task is going).
void tm_cancel_task(UInt32 taskID);

// Holds a mutex with cancellation disabled, so a task deleted by another
// never dies holding a library lock.
class PsosLock {
 public:
  explicit PsosLock(pthread_mutex_t* m) : m_mutex(m) {
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &m_oldState);
    pthread_mutex_lock(m_mutex);
  }
  ~PsosLock() {
    pthread_mutex_unlock(m_mutex);
    pthread_setcancelstate(m_oldState, nullptr);
  }
  PsosLock(const PsosLock&) = delete;
  PsosLock& operator=(const PsosLock&) = delete;

 private:
  pthread_mutex_t* m_mutex;
  int m_oldState = 0;
};

// Task blocks are freed only under tcblifelock held exclusively; holding it
// shared keeps a block that was found in the list usable after the list lock
// is gone. Readers are preferred, so a sender never waits behind a deleter.
extern pthread_rwlock_t tcblifelock;
class PsosTcbHold {
 public:
  PsosTcbHold() {
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &m_oldState);
    pthread_rwlock_rdlock(&tcblifelock);
  }
  ~PsosTcbHold() {
    pthread_rwlock_unlock(&tcblifelock);
    pthread_setcancelstate(m_oldState, nullptr);
  }
  PsosTcbHold(const PsosTcbHold&) = delete;
  PsosTcbHold& operator=(const PsosTcbHold&) = delete;

 private:
  int m_oldState = 0;
};

// Cancellation off for a scope without a lock.
class PsosNoCancel {
 public:
  PsosNoCancel() { pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &m_oldState); }
  ~PsosNoCancel() { pthread_setcancelstate(m_oldState, nullptr); }
  PsosNoCancel(const PsosNoCancel&) = delete;
  PsosNoCancel& operator=(const PsosNoCancel&) = delete;

 private:
  int m_oldState = 0;
};
