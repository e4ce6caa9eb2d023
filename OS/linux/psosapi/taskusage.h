// The pieces of the CPU-usage report, apart so that a test can feed them
// known samples.
#pragma once

#include <string>
#include <vector>

#include "OS/ostypes.h"

struct TaskUsage {
  int tid = 0;
  char name[5] = {0};
  int priority = 0;
  long jiffies = 0;  // user + system time, 100 per second
};

struct UsageSample {
  std::vector<TaskUsage> tasks;
  long process = 0;   // the whole process
  long cpuTotal = 0;  // all processors, from "/proc/stat"
  long cpuIdle = 0;
};

// Fields of a "/proc/.../stat" line that the reports use.
struct ProcStat {
  std::string comm;
  long utime = 0, stime = 0;
  int rtPriority = 0;
};
bool usage_parse_stat(const std::string& text, ProcStat* out);

// Reads the stat files of every started task, of the process and of the
// machine.
void usage_sample(UsageSample* s);
// Prints the table for the time between two samples.
void usage_print(const UsageSample& before, const UsageSample& after, UInt32 elapsedMs);
