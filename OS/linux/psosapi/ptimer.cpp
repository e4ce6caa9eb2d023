// Clock, delays and the tick timers.
//
// The armed timers sit in gTimerList in arming order; the task "tmtk" walks
// the list once per tick under tmcblistmutex, counts each timer down and
// fires it at zero. Blocks come from a fixed pool of 50, so a program that
// forgets to cancel its timers runs out of timers rather than memory.
#include "OS/linux/psosapi/ptimer.h"

#include <errno.h>
#include <sys/select.h>
#include <time.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "OS/linux/psosapi/eErrorT.h"
#include "OS/linux/psosapi/lowmem.h"
#include "OS/linux/psosapi/psos_internal.h"
#include "OS/logmsg.h"
#include "platform/sysio/sysio.h"

namespace {

const UInt32 kMsPerTick = 10;
const long kUsPerTick = 10000;

TMCB* TimerContBlocks = nullptr;  // the pool, below 4 GiB (ids are addresses)
TMCB* gFreeList = nullptr;
TMCB* gTimerList = nullptr;
std::atomic<UInt32> gEpochMillisecs{0};

pthread_mutex_t gStartMutex = PTHREAD_MUTEX_INITIALIZER;
bool gTimerTaskStarted = false;

// Set on the timer task while it walks the list with the lock held: a
// callback that arms or cancels would deadlock on that lock.
thread_local bool tlInTimerWalk = false;

uint64_t monotonicNs() {
  struct timespec ts;
  sysio().clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

// select() sleeps that resume after a signal with the time still left
// (Linux updates the timeval).
void selectSleep(long sec, long usec) {
  struct timeval tv;
  tv.tv_sec = sec;
  tv.tv_usec = usec;
  while (select(0, nullptr, nullptr, nullptr, &tv) != 0 && errno == EINTR) {
  }
}

// Pool set-up on first use; tmcblistmutex held.
void initPoolLocked() {
  if (TimerContBlocks) return;
  TimerContBlocks = static_cast<TMCB*>(lowmem_alloc(sizeof(TMCB) * kTimerPoolSize));
  if (!TimerContBlocks) return;
  for (int i = 0; i < kTimerPoolSize; ++i) TimerContBlocks[i].next = i + 1 < kTimerPoolSize ? &TimerContBlocks[i + 1] : nullptr;
  gFreeList = &TimerContBlocks[0];
}

bool onListLocked(TMCB* list, const TMCB* p) {
  for (; list; list = list->next)
    if (list == p) return true;
  return false;
}

bool unlinkLocked(TMCB* p) {
  for (TMCB** pp = &gTimerList; *pp; pp = &(*pp)->next) {
    if (*pp == p) {
      *pp = p->next;
      p->next = nullptr;
      return true;
    }
  }
  return false;
}

void TimerTask(UInt32, UInt32, UInt32, UInt32) {
  for (;;) {
    gEpochMillisecs += kMsPerTick;
    TMCB* finished[kTimerPoolSize];
    int nFinished = 0;
    {
      PsosLock lock(&tmcblistmutex);
      tlInTimerWalk = true;
      TMCB** pp = &gTimerList;
      while (*pp) {
        TMCB* p = *pp;
        bool keep = true;
        if (--p->ticks == 0) {
          if (p->cbptr) {
            keep = p->cbptr(p->pArgs) != 0;
          } else {
            ev_send(p->taskID, p->events);
            keep = p->origTicks != 0;
          }
          if (keep) p->ticks = p->origTicks;
        }
        if (keep) {
          pp = &p->next;
        } else {
          *pp = p->next;
          p->next = nullptr;
          finished[nFinished++] = p;
        }
      }
      tlInTimerWalk = false;
    }
    for (int i = 0; i < nFinished; ++i) FreeTimer(finished[i]);
    // Drifts by the time each pass takes, as the callers expect.
    selectSleep(0, kUsPerTick);
  }
}

int arm(UInt32 ticks, UInt32 reload, UInt32 events, TimerCallbackT cb, void* args, UInt32* tmid) {
  psos_ensure_init();
  // Refused rather than armed: there is nowhere to store the id.
  if (!tmid) {
    logwarn(kPsosComponent, "tm arm: no timer id pointer\n");
    return kBadParameter;
  }
  *tmid = 0;
  // Refused: the walk holds the list lock, so arming here would deadlock the timer task.
  if (tlInTimerWalk) {
    logerr(kPsosComponent, "tm arm: called from a timer callback\n");
    return kBadState;
  }
  // A caller that is not a task leaves the id 0; its events are refused by ev_send.
  UInt32 task = 0;
  t_ident(nullptr, 0, &task);
  if (StartSystemTimer() != 0) return kSystemCallFailed;
  TMCB* p = AllocTimer();
  if (!p) return kOutOfResources;
  p->taskID = task;
  p->ticks = ticks;
  p->origTicks = reload;
  p->events = events;
  p->cbptr = cb;
  p->pArgs = args;
  {
    PsosLock lock(&tmcblistmutex);
    TMCB** pp = &gTimerList;
    while (*pp) pp = &(*pp)->next;
    *pp = p;
  }
  *tmid = lowmem_id(p);
  return kNoError;
}

}  // namespace

void tm_cancel_task(UInt32 taskID) {
  psos_ensure_init();
  if (tlInTimerWalk) return;  // the walk holds the lock; its sends just fail
  TMCB* dropped[kTimerPoolSize];
  int n = 0;
  {
    PsosLock lock(&tmcblistmutex);
    TMCB** pp = &gTimerList;
    while (*pp) {
      TMCB* p = *pp;
      if (!p->cbptr && p->taskID == taskID) {
        *pp = p->next;
        p->next = nullptr;
        dropped[n++] = p;
      } else {
        pp = &p->next;
      }
    }
  }
  for (int i = 0; i < n; ++i) FreeTimer(dropped[i]);
}

extern "C" {

UInt32 RealTimeMilliSeconds(void) { return static_cast<UInt32>(monotonicNs() / 1000000ull); }

UInt32 millitime(UInt32* out) {
  UInt32 ms = RealTimeMilliSeconds();
  if (out) *out = ms;
  return ms;
}

UInt32 CYCLES(void) { return static_cast<UInt32>(monotonicNs() / 1000ull); }

UInt32 tm_wkafter(UInt32 ticks) {
  selectSleep(static_cast<long>(ticks / 100), static_cast<long>(ticks % 100) * kUsPerTick);
  return 0;
}

void udelay(UInt32 us) { selectSleep(static_cast<long>(us / 1000000), static_cast<long>(us % 1000000)); }

UInt32 GetMillisecondsPerTick(void) { return kMsPerTick; }

double GetProcessorFrequency(void) { return 1000000.0; }

UInt32 GetEpochMillisecs(void) { return gEpochMillisecs.load(); }

int StartSystemTimer(void) {
  psos_ensure_init();
  PsosLock lock(&gStartMutex);
  if (gTimerTaskStarted) return 0;
  UInt32 tid = 0;
  if (t_create("tmtk", kTimerTaskPriority, 0, 0, 0, &tid) != 0) {
    logcrit(kPsosComponent, "StartSystemTimer: t_create failed\n");
    return kSystemCallFailed;
  }
  UInt32 args[4] = {0, 0, 0, 0};
  if (t_start(tid, 0, TimerTask, args) != 0) {
    logcrit(kPsosComponent, "StartSystemTimer: t_start failed\n");
    t_delete(tid);
    return kSystemCallFailed;
  }
  gTimerTaskStarted = true;
  return 0;
}

TMCB* AllocTimer(void) {
  psos_ensure_init();
  if (StartSystemTimer() != 0) return nullptr;
  TMCB* p = nullptr;
  {
    PsosLock lock(&tmcblistmutex);
    initPoolLocked();
    if (gFreeList) {
      p = gFreeList;
      gFreeList = p->next;
      memset(p, 0, sizeof *p);
    }
  }
  if (!p) logcrit(kPsosComponent, "AllocTimer failed\n");
  return p;
}

void FreeTimer(TMCB* pTimer) {
  psos_ensure_init();
  if (!pTimer) {
    logwarn(kPsosComponent, "FreeTimer called with NULL pTimer\n");
    return;
  }
  PsosLock lock(&tmcblistmutex);
  if (pTimer->next) {
    logerr(kPsosComponent, "FreeTimer pTimer is not consistent pTimer: %p pTimer->next: %p\n", static_cast<void*>(pTimer),
           static_cast<void*>(pTimer->next));
  }
  // Still armed: take it off the armed list before reusing its link.
  unlinkLocked(pTimer);
  if (onListLocked(gFreeList, pTimer)) {
    // Not pushed again: a looping free list would hand the same block to two timers.
    logerr(kPsosComponent, "FreeTimer pList is not consistent pList: %p\n", static_cast<void*>(pTimer));
    return;
  }
  pTimer->next = gFreeList;
  gFreeList = pTimer;
}

int tm_evafter(UInt32 ticks, UInt32 events, UInt32* tmid) { return arm(ticks, 0, events, nullptr, nullptr, tmid); }

int tm_evevery(UInt32 ticks, UInt32 events, UInt32* tmid) { return arm(ticks, ticks, events, nullptr, nullptr, tmid); }

int tm_callback_after(UInt32 ticks, UInt32* tmid, TimerCallbackT callback, void* args) {
  return arm(ticks, ticks, 0, callback, args, tmid);
}

int tm_cancel(UInt32 tmid) {
  psos_ensure_init();
  if (tlInTimerWalk) {
    logerr(kPsosComponent, "tm_cancel: called from a timer callback\n");
    return kBadState;
  }
  TMCB* p = lowmem_ptr<TMCB>(tmid);
  bool found;
  {
    PsosLock lock(&tmcblistmutex);
    found = tmid != 0 && unlinkLocked(p);
  }
  if (!found) {
    printf("RemoveTimer: %p not found\n", static_cast<void*>(p));
    return 0;
  }
  FreeTimer(p);
  return 0;
}

}  // extern "C"
