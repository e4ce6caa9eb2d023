// Commands issued: fork_exec of the caller's argv; waitpid(pid, WNOHANG);
// reads "/proc" and "/proc/<n>/cmdline".
#include "systemservice/syssrvProcess.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

#include "OS/logmsg.h"
#include "platform/sysio/sysio.h"

namespace {

// A command line is read as one line of at most this many bytes (with the
// terminator); its arguments are NUL-separated, so the search sees argv[0].
constexpr int kCmdlineLen = 128;

bool cmdline_contains(const std::string& pidDir, const char* procname) {
  FILE* f = sysio().fopen(pidDir + "/cmdline", "r");
  if (f == nullptr) return false;
  char line[kCmdlineLen] = "";
  const bool got = std::fgets(line, sizeof line, f) != nullptr;
  std::fclose(f);
  return got && std::strstr(line, procname) != nullptr;
}

}  // namespace

eErrorT forkExec(const char** argv, pid_t* pid) {
  if (argv == nullptr || argv[0] == nullptr || pid == nullptr) {
    logerr(nullptr, "forkExec: no program to start\n");
    return kBadParameter;
  }
  std::vector<std::string> args;
  for (const char** a = argv; *a != nullptr; ++a) args.push_back(*a);
  // The seam's child resets its signals and closes inherited descriptors
  // before the exec, and reports a failed exec with "execve() failed" and
  // exit status 1.
  const pid_t child = sysio().fork_exec(args);
  if (child < 0) {
    logdebug(nullptr, "Error forking child\n");
    *pid = 0;
    return kSystemCallFailed;
  }
  *pid = child;
  return kNoError;
}

eErrorT waitOnChild(pid_t pid, int* exitstatus) {
  if (pid <= 0) {
    logerr(nullptr, "waitOnChild: refusing pid %d\n", static_cast<int>(pid));
    return kBadParameter;
  }
  int status = 0;
  const pid_t rc = sysio().waitpid(pid, &status, WNOHANG);
  if (rc == 0) return kTimeOut;
  if (rc < 0) return kBadParameter;
  if (rc != pid) return kBadState;
  if (WIFEXITED(status)) {
    if (exitstatus) *exitstatus = WEXITSTATUS(status);
    return kNoError;
  }
  if (WIFSIGNALED(status)) {
    if (exitstatus) *exitstatus = WTERMSIG(status);
    return kRejected;
  }
  if (WIFSTOPPED(status)) return kAlreadyInUse;
  return kBadState;
}

pid_t findPid(const char* procname) {
  if (procname == nullptr || procname[0] == '\0') {
    logerr("findPid", "no process name given\n");  // "" would match every process
    return 0;
  }
  std::vector<std::string> names;
  if (!sysio().list_dir("/proc", &names)) {
    logerr("findPid", "opendir /proc failed %d\n", errno);
    return 0;
  }
  std::vector<pid_t> pids;
  for (const std::string& n : names) {
    if (std::isdigit(static_cast<unsigned char>(n[0]))) pids.push_back(static_cast<pid_t>(std::atoi(n.c_str())));
  }
  // Directory order is the file system's; the lowest pid wins everywhere.
  std::sort(pids.begin(), pids.end());
  for (pid_t p : pids) {
    const std::string dir = "/proc/" + std::to_string(p);
    struct stat st;
    if (sysio().stat(dir, &st) != 0) continue;  // ended since the listing
    if (cmdline_contains(dir, procname)) return p;
  }
  return 0;
}
