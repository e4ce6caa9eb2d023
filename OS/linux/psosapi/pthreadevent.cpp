// The per-task event word: ev_send ORs bits in, ev_receive waits for and
// consumes them.
//
// The word itself is changed only inside interruptsOff/interruptsRestore
// (a sender may be any thread); the wait happens under the task's own event
// mutex. A sender updates the word first and then takes the event mutex to
// signal, and a receiver checks the word while holding that mutex before it
// waits, so a wake-up can never fall between the check and the wait.
#include <errno.h>
#include <time.h>

#include "OS/linux/psosapi/lowmem.h"
#include "OS/linux/psosapi/psos_internal.h"
#include "OS/linux/psosapi/ptimer.h"
#include "OS/logmsg.h"
#include "OS/oslinux.h"

namespace {

const long kNsPerTick = 10L * 1000 * 1000;

// The events of `events` that satisfy the request, consumed; 0 when the
// request is not met (all bits required unless kEvAny).
UInt32 takeMatched(TCB* t, UInt32 events, UInt32 flags) {
  int ie = interruptsOff();
  UInt32 captured = t->events_captured;
  UInt32 matched = (flags & kEvAny) ? (events & captured) : ((events & captured) == events ? events : 0);
  t->events_captured = captured & ~matched;
  interruptsRestore(ie);
  return matched;
}

UInt32 readCaptured(TCB* t) {
  int ie = interruptsOff();
  UInt32 captured = t->events_captured;
  interruptsRestore(ie);
  return captured;
}

// Deadlines are on the kernel's own monotonic clock, the clock the
// condition waits against (not the clock of the side-effect seam, which a
// test may have stopped).
struct timespec deadlineAfterTicks(UInt32 ticks) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  long long ns = static_cast<long long>(ts.tv_nsec) + static_cast<long long>(ticks) * kNsPerTick;
  ts.tv_sec += static_cast<time_t>(ns / 1000000000LL);
  ts.tv_nsec = static_cast<long>(ns % 1000000000LL);
  return ts;
}

bool passed(const struct timespec& deadline) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec > deadline.tv_sec || (now.tv_sec == deadline.tv_sec && now.tv_nsec >= deadline.tv_nsec);
}

// A task deleted while it waits leaves the wait through here.
void waitCleanup(void* arg) {
  TCB* t = static_cast<TCB*>(arg);
  t->taskWaiting = 0;
  t->timedwait = 0;
  pthread_mutex_unlock(&t->event_mutex);
}

// The waiting part of ev_receive; the event mutex is held.
UInt32 waitForEvents(TCB* t, UInt32 events, UInt32 flags, UInt32 ticks, UInt32* got) {
  t->taskWaiting = 1;
  t->event_mask = events;
  t->timedwait = ticks != 0;
  t->timedout = 0;
  struct timespec deadline = deadlineAfterTicks(ticks);
  UInt32 rc = kOsOk;
  for (;;) {
    UInt32 matched = takeMatched(t, events, flags);
    if (matched) {
      if (got) *got = matched;
      break;
    }
    if (ticks != 0 && (t->timedout || passed(deadline))) {
      rc = kOsTimedOut;
      break;
    }
    int w;
    // Deleting the task cancels it here and only here.
    pthread_cleanup_push(waitCleanup, t);
    pthread_setcancelstate(PTHREAD_CANCEL_ENABLE, nullptr);
    if (ticks != 0) w = pthread_cond_timedwait(&t->event_cond, &t->event_mutex, &deadline);
    else w = pthread_cond_wait(&t->event_cond, &t->event_mutex);
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
    pthread_cleanup_pop(0);
    if (w == ETIMEDOUT) {
      rc = kOsTimedOut;
      break;
    }
    if (w != 0) logcrit(kPsosComponent, "ev_receive cond_wait error %d\n", w);
  }
  t->taskWaiting = 0;
  t->timedwait = 0;
  return rc;
}

}  // namespace

int psos_lock_events(TCB* t) {
  int rc;
  while ((rc = pthread_mutex_trylock(&t->event_mutex)) == EBUSY) tm_wkafter(1);
  return rc;
}

extern "C" {

int ev_send(UInt32 tid, UInt32 events) {
  psos_ensure_init();
  if (tid == 0) {
    TCB* me = FindTcbThread();
    logerr(kPsosComponent, "in pthreadapi.c: ev_send task ID is 0: event %08x, from %4.4s\n", events,
           me ? me->taskname : "????");
    return -1;
  }
  PsosTcbHold hold;
  TCB* t;
  {
    PsosLock lock(&tcblistmutex);
    t = tcb_find_locked(tid);
  }
  if (!t) {
    logerr(kPsosComponent, "ev_send task %08x not found: event %08x\n", tid, events);
    return -1;
  }
  int ie = interruptsOff();
  t->events_captured |= events;
  interruptsRestore(ie);
  int rc = psos_lock_events(t);
  if (rc != 0) {
    logerr(kPsosComponent, "ev_send mutex_lock error %d\n", rc);
    return -1;
  }
  if (t->taskWaiting) pthread_cond_signal(&t->event_cond);
  pthread_mutex_unlock(&t->event_mutex);
  return 0;
}

UInt32 ev_receive(UInt32 events, UInt32 flags, UInt32 ticks, UInt32* got) {
  TCB* t = FindTcbThread();
  if (!t) return kOsNoTcb;
  PsosNoCancel noCancel;
  int lrc = psos_lock_events(t);
  if (lrc != 0) {
    logcrit(kPsosComponent, "ev_receive mutex_lock error %d\n", lrc);
    return kOsNoMemory;
  }
  UInt32 rc;
  if (events == 0) {
    if (got) *got = readCaptured(t);
    rc = kOsOk;
  } else if (flags & kEvNoWait) {
    UInt32 matched = takeMatched(t, events, flags);
    if (matched && got) *got = matched;
    rc = matched ? kOsOk : kOsNoEvents;
  } else {
    rc = waitForEvents(t, events, flags, ticks, got);
  }
  int urc = pthread_mutex_unlock(&t->event_mutex);
  if (urc != 0) logwarn(kPsosComponent, "ev_receive mutex_unlock error %d\n", urc);
  return rc;
}

UInt32 ev_receive_timeout(TCB* tcb) {
  psos_ensure_init();
  PsosTcbHold hold;
  TCB* t;
  {
    PsosLock lock(&tcblistmutex);
    t = tcb ? tcb_find_locked(lowmem_id(tcb)) : nullptr;
  }
  if (!t) return kOsTaskNotFound;
  if (psos_lock_events(t) != 0) return kOsNoMemory;
  if (t->timedwait) {
    t->timedout = 1;
    pthread_cond_signal(&t->event_cond);
  }
  pthread_mutex_unlock(&t->event_mutex);
  return kOsOk;
}

}  // extern "C"
