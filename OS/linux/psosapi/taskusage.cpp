// CPU-usage reports from procfs: each task's share of one processor over
// the sampling interval, the machine's idle share and the share of the
// process's threads that are not tasks. All files are read through the
// side-effect seam.
#include "OS/linux/psosapi/taskusage.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "OS/linux/psosapi/psos_internal.h"
#include "OS/linux/psosapi/ptimer.h"
#include "platform/sysio/sysio.h"

namespace {

const long kJiffiesPerSecond = 100;
const UInt32 kDefaultTicks = 100;

std::string readText(const std::string& path) {
  std::string text;
  sysio_read_file(path, &text, 4096);
  return text;
}

bool statOf(const std::string& path, ProcStat* st) { return usage_parse_stat(readText(path), st); }

std::string procPath(int pid) { return "/proc/" + std::to_string(pid) + "/stat"; }
std::string threadPath(int pid, int tid) { return "/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) + "/stat"; }

// Tenths of a percent of `part` in `whole`, never below 0.
long permille(long part, long whole) {
  if (whole <= 0 || part <= 0) return 0;
  return part * 1000 / whole;
}

const TaskUsage* findTask(const UsageSample& s, int tid) {
  for (const TaskUsage& t : s.tasks)
    if (t.tid == tid) return &t;
  return nullptr;
}

// The started task whose kernel thread id is `tid`, copied out.
bool taskByTid(int tid, char* name, int* pri) {
  psos_ensure_init();
  PsosLock lock(&tcblistmutex);
  for (TCB* p = tcblist; p; p = p->next) {
    if (p->tid == tid && tid != 0) {
      memcpy(name, p->taskname, 4);
      name[4] = '\0';
      if (pri) *pri = p->priority;
      return true;
    }
  }
  return false;
}

}  // namespace

bool usage_parse_stat(const std::string& text, ProcStat* out) {
  // The command name may itself hold blanks and parentheses: it runs from
  // the first "(" to the last ")".
  size_t open = text.find('(');
  size_t close = text.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open) return false;
  out->comm = text.substr(open + 1, close - open - 1);
  std::istringstream rest(text.substr(close + 1));
  std::vector<std::string> f;  // f[0] is field 3 (state)
  std::string tok;
  while (rest >> tok) f.push_back(tok);
  if (f.size() < 13) return false;
  out->utime = strtol(f[11].c_str(), nullptr, 10);  // field 14
  out->stime = strtol(f[12].c_str(), nullptr, 10);  // field 15
  out->rtPriority = f.size() > 37 ? atoi(f[37].c_str()) : 0;  // field 40
  return true;
}

void usage_sample(UsageSample* s) {
  psos_ensure_init();
  *s = UsageSample();
  int pid = getpid();
  {
    PsosLock lock(&tcblistmutex);
    for (TCB* p = tcblist; p; p = p->next) {
      if (p->tid == 0) continue;  // not started
      TaskUsage t;
      t.tid = p->tid;
      memcpy(t.name, p->taskname, 4);
      t.priority = p->priority;
      s->tasks.push_back(t);
    }
  }
  for (TaskUsage& t : s->tasks) {
    ProcStat st;
    if (statOf(threadPath(pid, t.tid), &st)) t.jiffies = st.utime + st.stime;
  }
  ProcStat st;
  if (statOf(procPath(pid), &st)) s->process = st.utime + st.stime;
  std::istringstream cpu(readText("/proc/stat"));
  std::string label;
  cpu >> label;
  if (label == "cpu") {
    long v;
    for (int i = 0; i < 8 && cpu >> v; ++i) {
      s->cpuTotal += v;
      if (i == 3 || i == 4) s->cpuIdle += v;  // idle and waiting for I/O
    }
  }
}

void usage_print(const UsageSample& before, const UsageSample& after, UInt32 elapsedMs) {
  long elapsed = static_cast<long>(elapsedMs) * kJiffiesPerSecond / 1000;
  if (elapsed <= 0) elapsed = 1;
  printf("TaskID     Name  Pri Usage\n");
  long taskSum = 0;
  for (const TaskUsage& t : after.tasks) {
    const TaskUsage* b = findTask(before, t.tid);
    long used = b ? t.jiffies - b->jiffies : 0;
    if (used > 0) taskSum += used;
    long pm = permille(used, elapsed);
    printf("%10d %4s %3d %3ld.%ld\n", t.tid, t.name, t.priority, pm / 10, pm % 10);
  }
  long idle = permille(after.cpuIdle - before.cpuIdle, after.cpuTotal - before.cpuTotal);
  printf("           idle     %3ld.%ld\n", idle / 10, idle % 10);
  long other = permille(after.process - before.process - taskSum, elapsed);
  printf("          other     %3ld.%ld\n", other / 10, other % 10);
}

extern "C" {

void osTaskUsage(UInt32 ticks) {
  if (ticks == 0) ticks = kDefaultTicks;
  UsageSample before, after;
  usage_sample(&before);
  UInt32 t0 = RealTimeMilliSeconds();
  sysio().sleep_us(static_cast<uint64_t>(ticks) * GetMillisecondsPerTick() * 1000);
  usage_sample(&after);
  usage_print(before, after, RealTimeMilliSeconds() - t0);
}

long cpu_usage_other(int pid) {
  ProcStat st;
  if (!statOf(procPath(pid), &st)) return -1;
  return st.utime + st.stime;
}

char* t_name_from_pid(int pid, char* buf, size_t size) {
  return t_name_and_pri_from_pid(pid, buf, size, nullptr) == kOsOk ? buf : nullptr;
}

UInt32 t_name_and_pri_from_pid(int pid, char* buf, size_t size, int* pri) {
  if (!buf || size == 0) return kOsTaskNotFound;
  char name[5];
  if (taskByTid(pid, name, pri)) {
    snprintf(buf, size, "%s", name);
    return kOsOk;
  }
  // Not a task: a thread of this process, or any process.
  ProcStat st;
  if (!statOf(threadPath(getpid(), pid), &st) && !statOf(procPath(pid), &st)) return kOsTaskNotFound;
  snprintf(buf, size, "%s", st.comm.c_str());
  if (pri) *pri = st.rtPriority;
  return kOsOk;
}

}  // extern "C"
