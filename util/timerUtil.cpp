// Interval timer on POSIX timers and one shared timer thread.
//
// Why expiries are taken with sigwaitinfo rather than by an asynchronous
// handler: the expiry handler takes the queue lock and appends a list node
// (which allocates). Run asynchronously on the timer thread, it could
// interrupt that same thread while it holds the queue lock (self-deadlock)
// or while it is inside malloc in a user function (heap corruption). So the
// timer thread keeps signal 64 blocked at all times and waits for it with
// sigwaitinfo only when its queue is empty and it holds no lock; it then
// runs timerHandler itself, in ordinary thread context. The thread is born
// with the signal blocked (the starter blocks it around pthread_create and
// then restores its own mask), so no expiry can reach it unblocked, and
// every POSIX timer aims its signal at the timer thread alone
// (SIGEV_THREAD_ID): no other thread ever needs the block. That matters
// because a blocked signal mask is inherited across fork and exec, so every
// command the service starts with system() would otherwise run with signal
// 64 blocked. The handler stays installed with sigaction for a stray
// process-directed signal 64, which would otherwise end the process. Real-
// time signals queue in order and a timer never has more than one expiry
// pending, so order and one call per expiry are kept.
//
// The timer thread may still hold a pointer to a Timer that its owner is
// destroying (a queued expiry, or a signal the kernel delivers after
// timer_delete). Live timers are therefore registered, and the thread only
// touches a timer that is registered under the same POSIX timer id; the
// destructor waits while the timer's function is running on the timer thread.
#include "util/timerUtil.h"

#include <errno.h>
#include <pthread.h>
#include <semaphore.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <unordered_set>

// Heap-held and never destroyed: the timer thread is never joined, so it
// may still take from the queue while the process runs its exit-time
// destructors, and static Timers of other files may be destroyed after this
// file's statics.
QueueT<Timer>& TimerQueue = *new QueueT<Timer>;

namespace {

std::atomic<int> gTimerThreadFlag{0};
std::atomic<int> gTimerThreadTid{0};
pthread_t gTimerThread;
sem_t gTimerStartSem;
pthread_mutex_t gStartMutex = PTHREAD_MUTEX_INITIALIZER;

// Guards the registry and every Timer field the timer thread reads or writes.
pthread_mutex_t gLiveMutex = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t gLiveCond = PTHREAD_COND_INITIALIZER;
// Heap-held and never freed: static Timers of other files may be destroyed
// after this file's statics at exit.
std::unordered_set<const Timer*>* gLive = nullptr;
const Timer* gCurrent = nullptr;  // timer whose function runs right now

int currentTid() { return static_cast<int>(syscall(SYS_gettid)); }

timer_t toTimerT(uint32_t id) { return reinterpret_cast<timer_t>(static_cast<intptr_t>(static_cast<int32_t>(id))); }

void signalSet(sigset_t* set) {
  sigemptyset(set);
  sigaddset(set, kTimerSignal);
}

bool isLiveLocked(const Timer* t) { return gLive && gLive->count(t) != 0; }

// Arms or disarms through the kernel. A Timer without a POSIX timer must not
// reach timer_settime: libc would read the all-ones id as an encoded pointer.
int settime(uint32_t id, const struct itimerspec* its) {
  if (id == UINT32_MAX) {
    errno = EINVAL;
    return -1;
  }
  return timer_settime(toTimerT(id), 0, its, nullptr);
}

}  // namespace

// Called on the timer thread for a dequeued expiry.
void timerThreadRun(Timer* t) {
  pthread_mutex_lock(&gLiveMutex);
  if (!isLiveLocked(t)) {
    pthread_mutex_unlock(&gLiveMutex);
    return;
  }
  if (!t->m_periodic) t->m_running = false;
  TimerFuncPtrT func = t->m_pFunc;
  void* arg = t->m_userDefined;
  gCurrent = t;
  pthread_mutex_unlock(&gLiveMutex);

  // Without any lock: the function may start, stop or destroy timers.
  if (func) func(arg);

  pthread_mutex_lock(&gLiveMutex);
  gCurrent = nullptr;
  pthread_cond_broadcast(&gLiveCond);
  pthread_mutex_unlock(&gLiveMutex);
}

// A signal whose timer is still registered under the id that sent it; drops
// expiries of destroyed timers (and of a new Timer built at the same address).
bool timerExpiryIsLive(const siginfo_t& info) {
  if (info.si_code != SI_TIMER) return false;
  const Timer* t = static_cast<const Timer*>(info.si_value.sival_ptr);
  pthread_mutex_lock(&gLiveMutex);
  bool live = isLiveLocked(t) && t->m_timerID == static_cast<uint32_t>(info.si_timerid);
  pthread_mutex_unlock(&gLiveMutex);
  return live;
}

namespace {

void* timerTask(void*) {
  printf("timerTask: Thread started\n");
  gTimerThreadTid = currentTid();
  sem_post(&gTimerStartSem);

  sigset_t set;
  signalSet(&set);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  for (;;) {
    Timer* t = nullptr;
    if (!TimerQueue.dequeue_no_block(&t)) {
      siginfo_t info;
      int sig = sigwaitinfo(&set, &info);
      if (sig == kTimerSignal && timerExpiryIsLive(info)) timerHandler(sig, &info, nullptr);
      continue;  // also a plain wake-up from another thread's enqueue
    }
    if (t) timerThreadRun(t);
  }
  return nullptr;
}

}  // namespace

void timerHandler(int /*sig*/, siginfo_t* info, void* /*context*/) {
  if (!info || info->si_code != SI_TIMER) return;  // not one of our expiries
  TimerQueue.enqueue(static_cast<Timer*>(info->si_value.sival_ptr));
  // The timer thread sleeps in sigwaitinfo, not on the queue's condition;
  // an expiry queued from any other thread has to nudge it.
  // The flag is set only after gTimerThread has been written.
  if (gTimerThreadFlag.load() != 0 && gTimerThreadTid.load() != currentTid()) {
    union sigval none;
    none.sival_ptr = nullptr;
    pthread_sigqueue(gTimerThread, kTimerSignal, none);
  }
}

int timerThreadTid() { return gTimerThreadTid.load(); }

Timer::Timer() { m_running = false; }

Timer::~Timer() {
  if (m_timerID != UINT32_MAX) timer_delete(toTimerT(m_timerID));
  pthread_mutex_lock(&gLiveMutex);
  if (gLive) gLive->erase(this);
  // Freeing the object under a running function would pull it from under
  // the timer thread; a function that destroys its own timer must not wait.
  while (gCurrent == this && currentTid() != gTimerThreadTid.load())
    pthread_cond_wait(&gLiveCond, &gLiveMutex);
  m_timerID = UINT32_MAX;
  m_running = false;
  pthread_mutex_unlock(&gLiveMutex);
  TimerQueue.remove(this);
}

int Timer::TimerInit(TimerFuncPtrT func, void* userDefined, int64_t ms, bool periodic) {
  int result = 0;
  if (gTimerThreadFlag.load() == 0) TimerStartThread();

  // A second TimerInit replaces the POSIX timer instead of leaking it.
  pthread_mutex_lock(&gLiveMutex);
  uint32_t oldId = m_timerID;
  if (gLive) gLive->erase(this);
  m_time = ms;
  m_pFunc = func;
  m_userDefined = userDefined;
  m_periodic = periodic;
  m_running = false;
  m_timerID = UINT32_MAX;
  pthread_mutex_unlock(&gLiveMutex);
  if (oldId != UINT32_MAX) timer_delete(toTimerT(oldId));

  struct sigaction sa = {};
  sa.sa_sigaction = timerHandler;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_SIGINFO;
  if (sigaction(kTimerSignal, &sa, nullptr) != 0) result = -1;

  struct sigevent sev = {};
  sev.sigev_notify = SIGEV_THREAD_ID;
  sev.sigev_signo = kTimerSignal;
  sev.sigev_value.sival_ptr = this;
  sev._sigev_un._tid = gTimerThreadTid.load();
  timer_t id;
  if (timer_create(CLOCK_REALTIME, &sev, &id) != 0) {
    printf("%s: timer_create failed, errno %d\n", "TimerInit", errno);
    return -1;
  }
  pthread_mutex_lock(&gLiveMutex);
  m_timerID = static_cast<uint32_t>(reinterpret_cast<intptr_t>(id));
  if (!gLive) gLive = new std::unordered_set<const Timer*>();
  gLive->insert(this);
  pthread_mutex_unlock(&gLiveMutex);
  return result;
}

int Timer::TimerStart() {
  pthread_mutex_lock(&gLiveMutex);
  struct itimerspec its = {};
  its.it_value.tv_sec = static_cast<time_t>(m_time / 1000);
  its.it_value.tv_nsec = static_cast<long>((m_time % 1000) * 1000000);
  if (m_periodic) its.it_interval = its.it_value;
  uint32_t id = m_timerID;
  pthread_mutex_unlock(&gLiveMutex);

  int rc = settime(id, &its);
  int err = errno;
  pthread_mutex_lock(&gLiveMutex);
  m_running = (rc == 0);
  pthread_mutex_unlock(&gLiveMutex);
  if (rc != 0) {
    printf("TimerStart: time_settime error! %d\n", err);
    return -3;
  }
  return 0;
}

int Timer::TimerStart(int ms) {
  pthread_mutex_lock(&gLiveMutex);
  m_time = ms;
  pthread_mutex_unlock(&gLiveMutex);
  return TimerStart();
}

int Timer::TimerStart(int ms, bool periodic) {
  pthread_mutex_lock(&gLiveMutex);
  m_periodic = periodic;
  m_time = ms;
  pthread_mutex_unlock(&gLiveMutex);
  return TimerStart();
}

int Timer::TimerStop() {
  struct itimerspec its = {};
  pthread_mutex_lock(&gLiveMutex);
  uint32_t id = m_timerID;
  pthread_mutex_unlock(&gLiveMutex);
  if (settime(id, &its) != 0) {
    printf("TimerStop: time_settime error %d!\n", errno);
    return -3;
  }
  pthread_mutex_lock(&gLiveMutex);
  m_running = false;
  pthread_mutex_unlock(&gLiveMutex);
  return 0;
}

bool Timer::TimerRunning() {
  pthread_mutex_lock(&gLiveMutex);
  bool running = m_running;
  pthread_mutex_unlock(&gLiveMutex);
  return running;
}

int Timer::TimerStartThread() {
  pthread_mutex_lock(&gStartMutex);
  sem_init(&gTimerStartSem, 0, 0);
  if (gTimerThreadFlag.load() != 0) {
    pthread_mutex_unlock(&gStartMutex);
    return 0;
  }
  // The new thread inherits the block from its first instruction; the
  // caller gets its own mask back (see the top of this file).
  sigset_t set, callerMask;
  signalSet(&set);
  pthread_sigmask(SIG_BLOCK, &set, &callerMask);
  int rc = pthread_create(&gTimerThread, nullptr, timerTask, nullptr);
  pthread_sigmask(SIG_SETMASK, &callerMask, nullptr);
  if (rc != 0) {
    pthread_mutex_unlock(&gStartMutex);
    return -1;
  }
  pthread_detach(gTimerThread);
  gTimerThreadFlag = 1;
  while (sem_wait(&gTimerStartSem) != 0 && errno == EINTR) {
  }
  pthread_mutex_unlock(&gStartMutex);
  return 0;
}
