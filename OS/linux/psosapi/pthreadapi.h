// Task and event API on POSIX threads, shared with the appliance's other
// programs: tasks with four-character names and priorities 0..99, a 32-bit
// event word per task, a free per-task value, lookup by name, listings and
// CPU-usage reports.
//
// A task id is the address of the task's control block. Call os_init()
// once before anything else of this API or of the tick timers.
#pragma once

#include <pthread.h>
#include <sched.h>
#include <sys/types.h>

#include "OS/ostypes.h"

typedef void (*TaskEntryT)(UInt32, UInt32, UInt32, UInt32);

typedef struct _TCB {
  char taskname[4];  // not terminated; nameterm does that
  int nameterm;
  UInt32 args[4];
  int priority;  // 0..99, 0 = the default time-sharing policy
  TaskEntryT task_start;
  UInt32 mode;
  UInt32 refcon;
  UInt32 event_mask;
  volatile UInt32 events_captured;  // received and not yet consumed
  UInt32 events_pending;
  pthread_t thread;
  pthread_attr_t attr;
  struct sched_param prv_pri;
  int timedwait, timedout;
  UInt32 tmid;
  pthread_mutex_t event_mutex;
  pthread_cond_t event_cond;
  int taskWaiting;  // blocked in ev_receive
  pid_t pid, tid;
  int systime, usrtime;
  struct _TCB* next;
} TCB;

// Return codes of the task and event calls.
enum {
  kOsOk = 0,
  kOsTimedOut = 1,
  kOsNoTcb = 6,        // the calling thread is not a task
  kOsTaskNotFound = 9,
  kOsNoMemory = 14,    // no memory, or a lock could not be made
  kOsNoEvents = 60,    // kEvNoWait and the events are not there
};

// ev_receive flags.
enum {
  kEvWaitAll = 0x0,
  kEvNoWait = 0x1,
  kEvAny = 0x2,
};

extern "C" {

void os_init(void);
int get_sched_policy(void);
void set_sched_policy(int policy);

UInt32 t_create(const char* name, int priority, UInt32 sysstack, UInt32 userstack, UInt32 mode, UInt32* tid);
UInt32 t_start(UInt32 tid, UInt32 mode, TaskEntryT entry, UInt32 args[4]);
UInt32 t_attach(const char* name, int priority, UInt32* tid);
UInt32 t_delete(UInt32 tid);
UInt32 t_ident(const char* name, UInt32 node, UInt32* tid);
UInt32 t_setpri(UInt32 tid, int newpri, UInt32* oldpri);
// The task's name (four characters, terminated), null when there is none.
char* t_name(UInt32 tid);
UInt32 t_getRefCon(UInt32 tid);
UInt32 t_setRefCon(UInt32 tid, UInt32 value);

int ev_send(UInt32 tid, UInt32 events);
UInt32 ev_receive(UInt32 events, UInt32 flags, UInt32 ticks, UInt32* captured);
UInt32 ev_receive_timeout(TCB* tcb);

void osTaskDump(void);
// Samples every task's CPU time over `ticks` ticks (100 when 0) and prints
// the usage table with the idle and the other (non-task) share.
void osTaskUsage(UInt32 ticks);
// Cumulative CPU time (user + system, in 100 Hz ticks) of process `pid`,
// -1 when its stat file cannot be read.
long cpu_usage_other(int pid);
// Name of the task or, failing that, of the kernel thread/process `pid`
// (kernel thread id); null when there is neither.
char* t_name_from_pid(int pid, char* buf, size_t size);
// As t_name_from_pid, with the task's priority (or the kernel's) in *pri;
// kOsOk or kOsTaskNotFound.
UInt32 t_name_and_pri_from_pid(int pid, char* buf, size_t size, int* pri);

}  // extern "C"
