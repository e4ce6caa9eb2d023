// Tasks on POSIX threads: control blocks, creation, start, attach, delete,
// lookup, priorities, names and reference values, and the task listing.
//
// Every block lives in `tcblist` from creation until deletion. A task id is
// only trusted after it has been found in that list, so a stale or made-up
// id gives "task not found" instead of a wild pointer.
#include <errno.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "OS/linux/psosapi/lowmem.h"
#include "OS/linux/psosapi/psos_internal.h"
#include "OS/logmsg.h"
#include "OS/oslinux.h"

const char kPsosComponent[] = "os";

pthread_mutex_t tcblistmutex;
pthread_mutex_t tmcblistmutex;
pthread_key_t tlsKey;
TCB* tcblist = nullptr;
pthread_rwlock_t tcblifelock = PTHREAD_RWLOCK_INITIALIZER;

namespace {

const int kMaxPriority = 99;
const int kMaxDumpTasks = 200;

pthread_once_t gInitOnce = PTHREAD_ONCE_INIT;
std::atomic<int> sched_policy{0};

// Priority inheritance where the kernel offers it; a plain mutex otherwise
// (some emulators lack the priority-inheritance futex calls).
int initPiMutex(pthread_mutex_t* m) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_setprotocol(&attr, PTHREAD_PRIO_INHERIT);
  int rc = pthread_mutex_init(m, &attr);
  pthread_mutexattr_destroy(&attr);
  if (rc != 0) rc = pthread_mutex_init(m, nullptr);
  return rc;
}

void initOnce() {
  oslinux_intsoff_init();
  initPiMutex(&tmcblistmutex);
  initPiMutex(&tcblistmutex);
  pthread_key_create(&tlsKey, nullptr);
}

bool isRealtimePolicy(int policy) { return policy == SCHED_FIFO || policy == SCHED_RR; }

UInt32 idOf(const TCB* t) { return lowmem_id(t); }

bool inListLocked(const TCB* t) {
  for (TCB* p = tcblist; p; p = p->next)
    if (p == t) return true;
  return false;
}

void appendLocked(TCB* t) {
  TCB** pp = &tcblist;
  while (*pp) pp = &(*pp)->next;
  t->next = nullptr;
  *pp = t;
}

bool unlinkLocked(TCB* t) {
  for (TCB** pp = &tcblist; *pp; pp = &(*pp)->next) {
    if (*pp == t) {
      *pp = t->next;
      t->next = nullptr;
      return true;
    }
  }
  return false;
}

void copyName(TCB* t, const char* name) {
  for (int i = 0; i < 4 && name && name[i]; ++i) t->taskname[i] = name[i];
  t->nameterm = 0;
}

// A zeroed block with its event lock and condition; null on failure.
TCB* newTcb(const char* name) {
  TCB* t = static_cast<TCB*>(lowmem_alloc(sizeof(TCB)));
  if (!t) return nullptr;
  copyName(t, name);
  if (initPiMutex(&t->event_mutex) != 0) {
    lowmem_free(t, sizeof(TCB));
    return nullptr;
  }
  // Timed event waits measure against the monotonic clock, so setting the
  // wall clock neither shortens nor stretches them.
  pthread_condattr_t ca;
  pthread_condattr_init(&ca);
  pthread_condattr_setclock(&ca, CLOCK_MONOTONIC);
  int rc = pthread_cond_init(&t->event_cond, &ca);
  pthread_condattr_destroy(&ca);
  if (rc != 0) {
    pthread_mutex_destroy(&t->event_mutex);
    lowmem_free(t, sizeof(TCB));
    return nullptr;
  }
  return t;
}

void freeTcb(TCB* t) {
  PsosNoCancel noCancel;
  pthread_rwlock_wrlock(&tcblifelock);
  pthread_cond_destroy(&t->event_cond);
  pthread_mutex_destroy(&t->event_mutex);
  if (t->task_start) pthread_attr_destroy(&t->attr);
  lowmem_free(t, sizeof(TCB));
  pthread_rwlock_unlock(&tcblifelock);
}

void nameThread(const TCB* t) {
  char name[5] = {0};
  memcpy(name, t->taskname, 4);
  pthread_setname_np(pthread_self(), name);
}

// Records the calling thread in its block and binds the block to it.
void bindSelf(TCB* t) {
  {
    PsosLock lock(&tcblistmutex);
    t->thread = pthread_self();
    t->pid = getpid();
    t->tid = psos_gettid();
  }
  logdebug(kPsosComponent, "task:%4.4s pid:%u thread %08lx %d %p\n", t->taskname, static_cast<unsigned>(t->pid),
           static_cast<unsigned long>(t->thread), static_cast<int>(t->tid), static_cast<void*>(t));
  int rc = pthread_setspecific(tlsKey, t);
  if (rc != 0) logwarn(kPsosComponent, "pthread_entry pthread_setspecific error %d\n", rc);
  nameThread(t);
}

void* pthread_entry(void* arg) {
  TCB* t = static_cast<TCB*>(arg);
  bindSelf(t);
  TaskEntryT entry;
  UInt32 a[4];
  {
    PsosLock lock(&tcblistmutex);
    entry = t->task_start;
    memcpy(a, t->args, sizeof a);
  }
  entry(a[0], a[1], a[2], a[3]);
  t_delete(0);
  return nullptr;
}

void warnNoTcb() { logwarn(kPsosComponent, "pthread_entry FindTcbThread NULL %08lx\n", static_cast<unsigned long>(pthread_self())); }

}  // namespace

void psos_ensure_init() { pthread_once(&gInitOnce, initOnce); }

pid_t psos_gettid() { return static_cast<pid_t>(syscall(SYS_gettid)); }

TCB* tcb_find_locked(UInt32 tid) {
  TCB* t = tid == 0 ? static_cast<TCB*>(pthread_getspecific(tlsKey)) : lowmem_ptr<TCB>(tid);
  return t && inListLocked(t) ? t : nullptr;
}

TCB* FindTcbThread() {
  psos_ensure_init();
  PsosLock lock(&tcblistmutex);
  return tcb_find_locked(0);
}

extern "C" {

void os_init(void) { psos_ensure_init(); }

int get_sched_policy(void) { return sched_policy.load(); }
void set_sched_policy(int policy) { sched_policy = policy; }

UInt32 t_create(const char* name, int priority, UInt32 /*sysstack*/, UInt32 /*userstack*/, UInt32 /*mode*/,
                UInt32* tid) {
  psos_ensure_init();
  TCB* t = newTcb(name);
  if (!t) return kOsNoMemory;
  t->priority = priority;
  {
    PsosLock lock(&tcblistmutex);
    appendLocked(t);
  }
  if (tid) *tid = idOf(t);
  return kOsOk;
}

UInt32 t_start(UInt32 tid, UInt32 mode, TaskEntryT entry, UInt32 args[4]) {
  psos_ensure_init();
  PsosLock lock(&tcblistmutex);
  TCB* t = tid ? tcb_find_locked(tid) : nullptr;
  if (!t) return kOsTaskNotFound;
  if (t->thread != 0 || !entry) {
    logwarn(kPsosComponent, "t_start task %4.4s: already started or no entry\n", t->taskname);
    return 1;
  }
  t->mode = mode;
  t->task_start = entry;
  if (t->priority > kMaxPriority) {
    logwarn(kPsosComponent, "t_start priority %d out of range, setting to 0\n", t->priority);
    t->priority = 0;
  }
  for (int i = 0; i < 4; ++i) t->args[i] = args ? args[i] : 0;
  pthread_attr_init(&t->attr);
  // Under the default policy the kernel takes no priority but 0, so a non-zero one is recorded, not applied.
  int policy = sched_policy.load();
  if (t->priority != 0 && isRealtimePolicy(policy)) {
    pthread_attr_setinheritsched(&t->attr, PTHREAD_EXPLICIT_SCHED);
    pthread_attr_setschedpolicy(&t->attr, policy);
    t->prv_pri.sched_priority = t->priority;
    pthread_attr_setschedparam(&t->attr, &t->prv_pri);
  }
  pthread_t th;
  int rc = pthread_create(&th, &t->attr, pthread_entry, t);
  if (rc != 0) {
    errno = rc;
    perror("pthread_create failed");
    pthread_attr_destroy(&t->attr);
    t->task_start = nullptr;
    return 1;
  }
  t->thread = th;
  return kOsOk;
}

UInt32 t_attach(const char* name, int priority, UInt32* tid) {
  psos_ensure_init();
  TCB* existing = FindTcbThread();
  if (existing) {
    if (tid) *tid = idOf(existing);
    return kOsOk;
  }
  TCB* t = newTcb(name);
  if (!t) return kOsNoMemory;
  pthread_t self = pthread_self();
  if (priority < 0) {
    int policy;
    struct sched_param sp;
    if (pthread_getschedparam(self, &policy, &sp) == 0) priority = sp.sched_priority;
    else priority = 0;
  } else {
    if (priority > kMaxPriority) {
      logwarn(kPsosComponent, "t_attach priority %d out of range, setting to 0\n", priority);
      priority = 0;
    }
    struct sched_param sp;
    sp.sched_priority = priority;
    int rc = pthread_setschedparam(self, priority ? sched_policy.load() : SCHED_OTHER, &sp);
    if (rc != 0) logwarn(kPsosComponent, "t_attach pthread_setschedparam failed %d\n", rc);
  }
  t->priority = priority;
  {
    PsosLock lock(&tcblistmutex);
    appendLocked(t);
  }
  bindSelf(t);
  if (tid) *tid = idOf(t);
  return kOsOk;
}

UInt32 t_delete(UInt32 tid) {
  psos_ensure_init();
  TCB* self = FindTcbThread();
  TCB* target;
  pthread_t thread = 0;
  pid_t targetTid = 0;
  {
    PsosLock lock(&tcblistmutex);
    target = tcb_find_locked(tid);
    // Unlinked here, so that exactly one caller frees it. A task that is
    // just starting writes its ids under this lock, so they are read here.
    if (target) {
      unlinkLocked(target);
      thread = target->thread;
      targetTid = target->tid;
    }
  }
  if (!target) {
    // Our own block already unlinked means another task is deleting us:
    // just end, it joins and frees.
    if (tid == 0 && pthread_getspecific(tlsKey)) pthread_exit(nullptr);
    return tid == 0 ? kOsNoTcb : kOsTaskNotFound;
  }
  // Event timers aimed at the task would otherwise go on firing at nothing.
  tm_cancel_task(idOf(target));
  // The per-thread "pid" of the listing is the kernel thread id.
  logwarn(kPsosComponent, "task %4.4s deleted task:%4.4s, pid %d\n", self ? self->taskname : "????",
          target->taskname, static_cast<int>(targetTid));
  if (target == self) {
    pthread_setspecific(tlsKey, nullptr);
    // Nobody joins a task thread we created; an attached thread belongs to
    // whoever made it, who may still join it.
    if (target->task_start) pthread_detach(pthread_self());
    freeTcb(target);
    pthread_exit(nullptr);
  }
  logwarn(kPsosComponent, "deleted task:%4.4s\n", target->taskname);
  if (thread != 0) {
    pthread_cancel(thread);
    int rc = pthread_join(thread, nullptr);
    if (rc != 0) logwarn(kPsosComponent, "deleted task failed to join: %d\n", rc);
  }
  freeTcb(target);
  return kOsOk;
}

UInt32 t_ident(const char* name, UInt32 /*node*/, UInt32* tid) {
  psos_ensure_init();
  PsosLock lock(&tcblistmutex);
  TCB* found = nullptr;
  if (!name) {
    found = tcb_find_locked(0);
  } else {
    for (TCB* p = tcblist; p && !found; p = p->next)
      if (strncmp(p->taskname, name, 4) == 0) found = p;
  }
  if (!found) return kOsTaskNotFound;
  if (tid) *tid = idOf(found);
  return kOsOk;
}

UInt32 t_setpri(UInt32 tid, int newpri, UInt32* oldpri) {
  psos_ensure_init();
  PsosLock lock(&tcblistmutex);
  TCB* t = tcb_find_locked(tid);
  if (!t) return tid == 0 ? kOsNoTcb : kOsTaskNotFound;
  int old = t->priority;
  if (oldpri) *oldpri = static_cast<UInt32>(old);
  if (newpri == old) return kOsOk;
  if (newpri > kMaxPriority || newpri < 0) {
    logwarn(kPsosComponent, "t_setpri priority %d out of range, setting to 0\n", newpri);
    newpri = 0;
  }
  // A task not started yet gets the priority when it starts.
  if (t->thread != 0) {
    struct sched_param sp;
    sp.sched_priority = newpri;
    int rc = pthread_setschedparam(t->thread, newpri ? sched_policy.load() : SCHED_OTHER, &sp);
    if (rc != 0) {
      printf("t_setpri error %d %d %d %d\n", rc, static_cast<int>(t->tid), old, newpri);
      return static_cast<UInt32>(rc);
    }
  }
  t->priority = newpri;
  printf("t_setpri %d %d %d\n", static_cast<int>(t->tid), old, newpri);
  return kOsOk;
}

char* t_name(UInt32 tid) {
  psos_ensure_init();
  PsosLock lock(&tcblistmutex);
  TCB* t = tcb_find_locked(tid);
  if (!t) {
    if (tid == 0) warnNoTcb();
    return nullptr;
  }
  return t->taskname;
}

UInt32 t_getRefCon(UInt32 tid) {
  psos_ensure_init();
  PsosLock lock(&tcblistmutex);
  TCB* t = tcb_find_locked(tid);
  if (!t) {
    if (tid == 0) warnNoTcb();
    return 0;
  }
  return t->refcon;
}

UInt32 t_setRefCon(UInt32 tid, UInt32 value) {
  psos_ensure_init();
  PsosLock lock(&tcblistmutex);
  TCB* t = tcb_find_locked(tid);
  if (!t) {
    if (tid == 0) warnNoTcb();
    return tid == 0 ? kOsNoTcb : kOsTaskNotFound;
  }
  t->refcon = value;
  return kOsOk;
}

void osTaskDump(void) {
  psos_ensure_init();
  int proc = GetProcessorNum();
  printf("T[%d] Task:  ID    Name  Priority PID\n", proc);
  PsosLock lock(&tcblistmutex);
  int n = 0;
  for (TCB* p = tcblist; p && n < kMaxDumpTasks; p = p->next, ++n)
    printf("T[%d]    %08x  %4s    %3d    %3d\n", proc, idOf(p), p->taskname, p->priority, static_cast<int>(p->tid));
}

}  // extern "C"
