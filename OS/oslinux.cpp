// String and process utilities of the OS support library. Reads
// "/proc" and "/proc/<pid>/stat" (find_pid); writes nothing.
#include "OS/oslinux.h"

#include <pthread.h>
#include <strings.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "OS/logmsg.h"
#include "platform/sysio/sysio.h"

namespace {

const char kOsComponent[] = "os";

int ProcessorNum = 0;
int ProcessorCnt = 0;

pthread_mutex_t intsoffmutex;
pthread_once_t intsoffonce = PTHREAD_ONCE_INIT;
// Owner and count are changed only by the holder of intsoffmutex, but a
// misbehaving thread that does not hold it reads them to report itself.
std::atomic<unsigned long> intsoffthread{0};  // pthread_t as printed, 0 = none
std::atomic<int> intsoffcount{0};

void make_intsoff_mutex() {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  // The holders are the short event-word updates of every task; priority
  // inheritance keeps a low-priority holder from stalling a high one.
  pthread_mutexattr_setprotocol(&attr, PTHREAD_PRIO_INHERIT);
  if (pthread_mutex_init(&intsoffmutex, &attr) != 0) {
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutexattr_setprotocol(&attr, PTHREAD_PRIO_NONE);
    pthread_mutex_init(&intsoffmutex, &attr);
  }
  pthread_mutexattr_destroy(&attr);
}

unsigned long self_word() { return (unsigned long)pthread_self(); }

bool is_blank_or_control(char c) { return static_cast<unsigned char>(c) <= 32; }

}  // namespace

extern "C" {

size_t strlcpy_substr(char* dst, const char* src, size_t dstBufSize, size_t srcSubLen) {
  size_t srclen = strnlen(src, srcSubLen);
  if (dstBufSize > 0) {
    size_t n = srclen < dstBufSize - 1 ? srclen : dstBufSize - 1;
    memcpy(dst, src, n);
    dst[n] = '\0';
  }
  return srclen;
}

char* trim_trailing(char* s) {
  size_t len = strlen(s);
  while (len > 0 && is_blank_or_control(s[len - 1])) --len;
  s[len] = '\0';
  return s;
}

char* trim_leading(char* s) {
  size_t skip = 0;
  while (s[skip] != '\0' && is_blank_or_control(s[skip])) ++skip;
  if (skip > 0) memmove(s, s + skip, strlen(s + skip) + 1);
  return s;
}

char* trim_str(char* s) { return trim_leading(trim_trailing(s)); }

char* strupr(char* s) {
  for (char* p = s; *p != '\0'; ++p) *p = static_cast<char>(toupper(static_cast<unsigned char>(*p)));
  return s;
}

char* strlwr(char* s) {
  for (char* p = s; *p != '\0'; ++p) *p = static_cast<char>(tolower(static_cast<unsigned char>(*p)));
  return s;
}

int stricmp(const char* a, const char* b) { return strcasecmp(a, b); }

char* itoa(int value, char* buf, int radix) {
  // Any int takes at most 11 characters in these radixes.
  const int kItoaBufSize = 12;
  switch (radix) {
    case 10:
      snprintf(buf, kItoaBufSize, "%d", value);
      return buf;
    case 16:
      snprintf(buf, kItoaBufSize, "%x", static_cast<unsigned>(value));
      return buf;
    default:
      return nullptr;
  }
}

int find_pid(const char* name) {
  if (name == nullptr) return -1;
  std::vector<std::string> entries;
  if (!sysio().list_dir("/proc", &entries)) {
    fputs("could not open /proc\n", stdout);
    return -1;
  }
  for (const std::string& entry : entries) {
    if (entry.empty() || !isdigit(static_cast<unsigned char>(entry[0]))) continue;
    FILE* f = sysio().fopen("/proc/" + entry + "/stat", "re");
    if (f == nullptr) continue;  // the process may have ended meanwhile
    char stat[128];
    size_t got = fread(stat, 1, sizeof stat - 1, f);
    fclose(f);
    stat[got] = '\0';
    // The command name may itself hold ')'; the fields after it hold none.
    char* open = strchr(stat, '(');
    char* close = strrchr(stat, ')');
    if (open == nullptr || close == nullptr || close < open) continue;
    *close = '\0';
    if (strcmp(open + 1, name) == 0) return atoi(entry.c_str());
  }
  return -1;
}

void oslinux_intsoff_init() { pthread_once(&intsoffonce, make_intsoff_mutex); }

int interruptsOff() {
  oslinux_intsoff_init();
  int rc = pthread_mutex_lock(&intsoffmutex);
  if (rc != 0) logwarn(kOsComponent, "interruptsOff mutex_lock error %d\n", rc);
  unsigned long self = self_word();
  if (intsoffcount == 0) {
    intsoffthread = self;
  } else if (intsoffthread != self) {
    logwarn(kOsComponent, "interruptsOff re-entered intsoffthread: %08lx curthread: %08lx\n",
            intsoffthread.load(), self);
  }
  return ++intsoffcount;
}

void interruptsRestore(int count) {
  oslinux_intsoff_init();
  unsigned long self = self_word();
  // Warn and return, without decrement or unlock: a caller holding no lock would unbalance the owner's.
  if (intsoffcount == 0) {
    logwarn(kOsComponent, "interruptsRestore called without interruptsOff curthread: %08lx\n", self);
    return;
  }
  unsigned long owner = intsoffthread;
  if (owner != self) {
    logwarn(kOsComponent, "interruptsRestore call re-entered intsoffthread: %08lx curthread: %08lx\n", owner, self);
    return;
  }
  if (intsoffcount != count) {
    logwarn(kOsComponent, "interruptsRestore call inconsistent intsoffcount: %d oldie: %d\n", intsoffcount.load(),
            count);
  }
  if (--intsoffcount == 0) intsoffthread = 0;
  pthread_mutex_unlock(&intsoffmutex);
}

void SetProcessorNum(int num) { ProcessorNum = num; }
int GetProcessorNum() { return ProcessorNum; }
void SetNumProcessors(int count) { ProcessorCnt = count; }
int GetNumProcessors() { return ProcessorCnt; }
int ExecutionLevel() { return 0; }
UInt32 GetCyclesPerTick() { return 10000; }

void sstackBackTrace(UInt32 taskID) {
  (void)taskID;
  fputs("sstackBackTrace(UInt32 taskID) not implemented.\n", stdout);
}

void stackBackTrace(UInt32 taskID) {
  (void)taskID;
  fputs("stackBackTrace(UInt32 taskID) not implemented.\n", stdout);
}

}  // extern "C"
