// Clock and delay primitives and the pool of tick-driven software timers.
//
// One tick is 10 ms. The timers are counted down by the task "tmtk"; at
// expiry a timer either sends events to the task that armed it or calls a
// function. A timer id is the address of its control block.
#pragma once

#include "OS/ostypes.h"

// Re-arms the callback timer while it returns non-zero.
typedef int (*TimerCallbackT)(void* pArgs);

typedef struct _TMCB {
  UInt32 taskID;     // task to notify
  UInt32 ticks;      // ticks left
  UInt32 origTicks;  // reload value, 0 = one-shot
  UInt32 events;     // events to send
  TimerCallbackT cbptr;
  void* pArgs;
  struct _TMCB* next;
} TMCB;

// Hardware clock registers of the boards that have that clock.
typedef struct {
  volatile UInt32 cnr, ldr, psr, ctr, evr, alr;
} rtclk8349;

const int kTimerPoolSize = 50;
const int kTimerTaskPriority = 66;

extern "C" {

// Milliseconds of the monotonic clock, wrapping at 2^32.
UInt32 RealTimeMilliSeconds(void);
UInt32 millitime(UInt32* out);
// Microseconds of the monotonic clock, wrapping at 2^32.
UInt32 CYCLES(void);
UInt32 tm_wkafter(UInt32 ticks);
void udelay(UInt32 us);
UInt32 GetMillisecondsPerTick(void);
double GetProcessorFrequency(void);

// The arming calls return 0, or a negative eErrorT without arming:
// kBadParameter (no id pointer), kBadState (arming from inside a timer
// callback), kOutOfResources (all 50 blocks in use), kSystemCallFailed (the
// timer task could not be started). 0 ticks counts down through 2^32 ticks;
// a callback timer given no callback acts as a periodic event timer with no
// events.
int tm_evafter(UInt32 ticks, UInt32 events, UInt32* tmid);
int tm_evevery(UInt32 ticks, UInt32 events, UInt32* tmid);
int tm_callback_after(UInt32 ticks, UInt32* tmid, TimerCallbackT callback, void* args);
// 0; an id that is not armed prints "RemoveTimer: %p not found".
int tm_cancel(UInt32 tmid);

// Pool primitives (the arming calls use them).
TMCB* AllocTimer(void);
void FreeTimer(TMCB* pTimer);
int StartSystemTimer(void);
// Advanced by 10 at every processed tick.
UInt32 GetEpochMillisecs(void);

// Maps the hardware clock through "/dev/mem" and loads its counter: 0 or -1.
int init_rtcp(void);
// First line of "/opt/corvale/dat/clocktestval.dat" in decimal, 0 if missing.
UInt32 GetInitialClockValue(void);

}  // extern "C"

extern volatile rtclk8349* gRtclk;
