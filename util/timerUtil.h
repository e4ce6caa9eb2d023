// Interval timer: runs a function once or periodically after a delay in
// milliseconds, always on the one shared timer thread of the process.
//
// Each Timer owns a POSIX timer whose expiry is a real-time signal aimed at
// that thread; the expiry goes into TimerQueue and the thread calls the
// function outside any signal context, one call at a time in expiry order.
#pragma once

#include <signal.h>

#include <cstdint>

#include "util/queueT.h"

typedef void (*TimerFuncPtrT)(void*);

// The real-time signal that carries expiries (the value is the Timer*).
constexpr int kTimerSignal = 64;

class Timer {
 public:
  Timer();
  virtual ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  // 0, or -1 when the signal handler or the POSIX timer could not be set up.
  virtual int TimerInit(TimerFuncPtrT func, void* userDefined, int64_t ms, bool periodic);
  // Arm with the stored delay and mode: 0, or -3 when the kernel refused.
  virtual int TimerStart();
  virtual int TimerStart(int ms);
  virtual int TimerStart(int ms, bool periodic);
  // Disarm: 0, or -3 (the timer then stays marked running).
  virtual int TimerStop();
  virtual bool TimerRunning();
  // Creates the shared timer thread on first use: 0, or -1.
  virtual int TimerStartThread();

 protected:
  TimerFuncPtrT m_pFunc = nullptr;
  void* m_userDefined = nullptr;
  bool m_periodic = false;
  bool m_running;
  int64_t m_time = 0;
  uint32_t m_timerID = UINT32_MAX;
  int m_ticks = 0;
  unsigned m_rtms = 0;
  unsigned m_taskID = 0;

  friend void timerThreadRun(Timer* t);
  friend bool timerExpiryIsLive(const siginfo_t& info);
};

// Expiry signal handler: queues the timer carried in the signal value.
void timerHandler(int sig, siginfo_t* info, void* context);

// Kernel thread id of the shared timer thread, 0 before it exists.
int timerThreadTid();

extern QueueT<Timer>& TimerQueue;
