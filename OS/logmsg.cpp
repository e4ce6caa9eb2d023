// Log facility: builds each line as
//   "<" level-digit ">" app ": hd[" processor-hex "]: " [component ": "] text
// and writes it, with the stripped newline, in one write(2) to the log
// device "/dev/crvllog". Standard output is the fallback, and the only
// output on units other than unit 0 of a multi-codec system.
//
// Callable from any thread. A message without a newline in its format is
// parked in the calling thread's pending buffer until a format with a
// newline completes it, so that lines of different threads never mix.
// Complete lines are built on the stack: logging allocates nothing except
// each thread's pending buffer, once.
#include "OS/logmsg.h"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "OS/logmsg_internal.h"
#include "OS/oslinux.h"
#include "OS/os_testing.h"
#include "OS/velar_idx.h"
#include "platform/sysio/sysio.h"

namespace {

const char kLogDevice[] = "/dev/crvllog";
const int kAppNameSize = 40;
// getAppName keeps at most this much of the program name.
const int kAppNameScratch = 80;

char gAppName[kAppNameSize];
int gProcessorNum = 0;
std::atomic<int> gEchoToSyslog{1};
std::atomic<int> gLogToStdout{0};
// The device descriptor is re-opened by whichever thread finds it missing,
// and replaced by logmsg_init: every use of it holds gDeviceMutex, so no
// thread writes to a descriptor that another has just closed (and that the
// kernel may have handed out again for something else).
std::mutex gDeviceMutex;
int g_fd = 0;
int gSpewFilter = 0;
int gLogFormat = 8;
pthread_key_t gIncompleteLine;
pthread_once_t gIncompleteLineOnce = PTHREAD_ONCE_INIT;
int gIncompleteLineError = 0;

// Names shown in front of a line on standard output, by level digit.
struct LevelName {
  char digit;
  const char* name;
};
const LevelName kLevelNames[] = {
    {'2', "CRIT  "},
    {'3', "ERROR "},
    {'4', "WARN  "},
    {'6', "INFO  "},
};
const char kDefaultLevelName[] = "DEBUG ";

const char* level_name(char digit) {
  for (const LevelName& l : kLevelNames) {
    if (l.digit == digit) return l.name;
  }
  return kDefaultLevelName;
}

// Close-on-exec: the shell commands the service runs must not inherit the
// log device.
int open_log_device() { return sysio().open(kLogDevice, O_WRONLY | O_CLOEXEC); }

void free_pending(void* p) { free(p); }

void create_pending_key() { gIncompleteLineError = pthread_key_create(&gIncompleteLine, free_pending); }

// The pending buffer of the calling thread, allocated on its first partial
// line when `create` is set; null when there is none.
char* pending_line(bool create) {
  char* pending = static_cast<char*>(pthread_getspecific(gIncompleteLine));
  if (pending == nullptr && create) {
    pending = static_cast<char*>(malloc(LOGMSG_LINE_MAX));
    if (pending == nullptr) return nullptr;
    pending[0] = '\0';
    if (pthread_setspecific(gIncompleteLine, pending) != 0) {
      free(pending);
      return nullptr;
    }
  }
  return pending;
}

// Writes the line prefix into `line` (empty, LOGMSG_LINE_MAX bytes); returns
// its length.
size_t put_prefix(char* line, int level, const char* component) {
  int n;
  if (component != nullptr) {
    n = snprintf(line, LOGMSG_LINE_MAX, "<%c>%s: hd[%x]: %s: ", '0' + level % 10, gAppName,
                 static_cast<unsigned>(gProcessorNum), component);
  } else {
    n = snprintf(line, LOGMSG_LINE_MAX, "<%c>%s: hd[%x]: ", '0' + level % 10, gAppName,
                 static_cast<unsigned>(gProcessorNum));
  }
  if (n < 0) {
    line[0] = '\0';
    return 0;
  }
  return strnlen(line, LOGMSG_LINE_MAX - 1);
}

}  // namespace

extern "C" {

char* getAppName(char* buf, size_t size) {
  if (buf == nullptr || size == 0) return buf;
  memset(buf, 0, size);
  char path[32];
  snprintf(path, sizeof path, "/proc/%d/cmdline", static_cast<int>(getpid()));
  FILE* f = sysio().fopen(path, "re");
  if (f == nullptr) return buf;
  size_t got = fread(buf, 1, size - 1, f);
  fclose(f);
  if (got == 0) return buf;
  // cmdline holds the arguments separated by NUL bytes, so the search stops
  // at the end of the program path.
  const char* slash = strrchr(buf, '/');
  if (slash == nullptr) return buf;
  char name[kAppNameScratch];
  strlcpy(name, slash + 1, sizeof name);
  strlcpy(buf, name, size);
  return buf;
}

int logmsg_init(int processorNum, const char* pAppName) {
  gProcessorNum = processorNum;
  if (pAppName != nullptr) strlcpy(gAppName, pAppName, sizeof gAppName);
  gLogToStdout = get_velar_idx() != 0 ? 1 : 0;
  if (gAppName[0] == '\0') {
    getAppName(gAppName, sizeof gAppName);
    if (gAppName[0] == '\0') fprintf(stderr, "shouldn't happen: could not get app name\n");
  }
  // A second initialisation must not orphan the pending lines of running
  // threads, so the key is made once per process.
  pthread_once(&gIncompleteLineOnce, create_pending_key);
  std::lock_guard<std::mutex> lock(gDeviceMutex);
  if (g_fd > 0) close(g_fd);
  g_fd = open_log_device();
  if (g_fd < 0) gLogToStdout = 1;
  return gIncompleteLineError == 0 ? 0 : -1;
}

void logmsg_shutdown() {}

void android_final_print(const char* msg, int len) {
  if (msg == nullptr || len < 0) return;
  // Decided with the device, under its lock: a thread that found the device
  // missing must not then read the "device back" of another and print nowhere.
  int to_stdout = gLogToStdout;
  if (gEchoToSyslog) {
    std::lock_guard<std::mutex> lock(gDeviceMutex);
    bool device_ok = true;
    if (g_fd < 0) {
      g_fd = open_log_device();
      if (g_fd < 0) {
        gLogToStdout = 1;
        device_ok = false;
      } else {
        gLogToStdout = 0;
      }
    }
    // One write per line: the device keeps records, and the byte after the
    // text (the newline that was cut from the length) ends the record.
    if (device_ok && g_fd > 0) {
      ssize_t w = write(g_fd, msg, static_cast<size_t>(len) + 1);
      (void)w;  // nowhere left to report a failing log device
    }
    to_stdout = gLogToStdout;
  }
  if (!to_stdout) return;
  if (msg[0] == '<' && msg[1] != '\0' && msg[2] == '>') {
    fprintf(stdout, "%s %s", level_name(msg[1]), msg + 3);
  } else {
    fputs(msg, stdout);
  }
}

int va_logmsg(va_list ap, int level, const char* component, const char* fmt) {
  if (gAppName[0] == '\0') {
    char name[kAppNameSize];
    fprintf(stderr, "%s: %s: You should call logmsg_init() before any logging functions (including printf())\n",
            getAppName(name, sizeof name), "va_logmsg");
    return 0;
  }
  if (fmt == nullptr) return 0;
  if (level != LOG_LEVEL_REMOTE && (level > 7 || level < 0)) level = LOG_LEVEL_DEBUG;

  const bool complete = strchr(fmt, '\n') != nullptr;
  char local[LOGMSG_LINE_MAX];
  char* line;
  char* pending = pending_line(!complete);
  if (complete) {
    if (pending != nullptr && pending[0] != '\0') {
      line = pending;
    } else {
      if (strcmp(fmt, "\n") == 0) return 0;
      line = local;
      line[0] = '\0';
    }
  } else {
    // Without a pending buffer a partial message has nowhere to wait; it is
    // lost rather than printed as a line of its own.
    if (pending == nullptr) return 0;
    line = pending;
  }

  size_t used = strnlen(line, LOGMSG_LINE_MAX - 1);
  if (used == 0 && level != LOG_LEVEL_REMOTE) used = put_prefix(line, level, component);
  int n = vsnprintf(line + used, LOGMSG_LINE_MAX - used, fmt, ap);
  size_t total = used + (n > 0 ? static_cast<size_t>(n) : 0);
  if (total > LOGMSG_LINE_MAX) total = LOGMSG_LINE_MAX;
  if (!complete) return static_cast<int>(total);

  // What is in the buffer may be shorter than `total` when the text was cut.
  size_t len = strnlen(line, LOGMSG_LINE_MAX - 1);
  if (len > 0 && !logmsg_filter_drops(line)) {
    if (line[len - 1] == '\n') {
      --len;
      if (len > 0 && line[len - 1] == '\r') --len;
    }
    android_final_print(line, static_cast<int>(len));
  }
  line[0] = '\0';
  return static_cast<int>(total);
}

int logmsg(int level, const char* component, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int n = va_logmsg(ap, level, component, fmt);
  va_end(ap);
  return n;
}

#define LOGMSG_LEVEL_ENTRY(fn, lvl)                    \
  int fn(const char* component, const char* fmt, ...) { \
    va_list ap;                                         \
    va_start(ap, fmt);                                  \
    int n = va_logmsg(ap, lvl, component, fmt);         \
    va_end(ap);                                         \
    return n;                                           \
  }
LOGMSG_LEVEL_ENTRY(logcrit, LOG_LEVEL_CRIT)
LOGMSG_LEVEL_ENTRY(logerr, LOG_LEVEL_ERR)
LOGMSG_LEVEL_ENTRY(logwarn, LOG_LEVEL_WARN)
LOGMSG_LEVEL_ENTRY(loginfo, LOG_LEVEL_INFO)
LOGMSG_LEVEL_ENTRY(logdebug, LOG_LEVEL_DEBUG)
#undef LOGMSG_LEVEL_ENTRY

int os_printf(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int n = va_logmsg(ap, LOG_LEVEL_DEBUG, nullptr, fmt);
  va_end(ap);
  return n;
}

int logmsg_remote(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int n = va_logmsg(ap, LOG_LEVEL_REMOTE, nullptr, fmt);
  va_end(ap);
  return n;
}

int logmsg_set_syslog_echo(int on) {
  gEchoToSyslog = on;
  return 0;
}
int logmsg_get_syslog_echo() { return gEchoToSyslog.load(); }
int logmsg_set_spewfilter(int v) {
  gSpewFilter = v;
  return 0;
}
int logmsg_get_spewfilter() { return gSpewFilter; }
int logmsg_set_format(int v) {
  gLogFormat = v;
  return 0;
}
int logmsg_get_format() { return gLogFormat; }
const char* logmsg_get_appname() { return gAppName; }

}  // extern "C"

void logmsg_testing_reset() {
  {
    std::lock_guard<std::mutex> lock(gDeviceMutex);
    if (g_fd > 0) close(g_fd);
    g_fd = 0;
  }
  gAppName[0] = '\0';
  gProcessorNum = 0;
  gEchoToSyslog = 1;
  gLogToStdout = 0;
  gSpewFilter = 0;
  gLogFormat = 8;
  logmsg_filter_clear_all();
  pthread_once(&gIncompleteLineOnce, create_pending_key);
  char* pending = static_cast<char*>(pthread_getspecific(gIncompleteLine));
  if (pending != nullptr) pending[0] = '\0';
}
