#include "platform/sysio/sysio_spawn.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Everything here runs between fork and exec: async-signal-safe calls only.
void sysio_child_reset() {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction dfl;
  std::memset(&dfl, 0, sizeof dfl);
  dfl.sa_handler = SIG_DFL;
  for (int s = 1; s < NSIG; ++s) sigaction(s, &dfl, nullptr);  // SIGKILL/SIGSTOP just fail
#ifdef SYS_close_range
  if (syscall(SYS_close_range, 3u, ~0u, 0u) == 0) return;
#endif
  struct rlimit rl;
  long maxfd = (getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY)
                   ? static_cast<long>(rl.rlim_cur)
                   : 65536;
  for (long fd = 3; fd < maxfd; ++fd) close(static_cast<int>(fd));
}

void sysio_child_fail(const char* what) {
  const char* why = strerror(errno);
  // One write so the line is not torn by other writers of stderr.
  char line[256];
  size_t n = 0;
  for (const char* p = what; *p && n < sizeof line - 2; ++p) line[n++] = *p;
  for (const char* p = ": "; *p && n < sizeof line - 2; ++p) line[n++] = *p;
  for (const char* p = why; *p && n < sizeof line - 2; ++p) line[n++] = *p;
  line[n++] = '\n';
  ssize_t ignored = write(2, line, n);
  (void)ignored;
  _exit(1);
}

// The vectors of pointers are built before fork: no allocation in the child.
std::vector<char*> sysio_cvec(const std::vector<std::string>& v) {
  std::vector<char*> out;
  out.reserve(v.size() + 1);
  for (const std::string& s : v) out.push_back(const_cast<char*>(s.c_str()));
  out.push_back(nullptr);
  return out;
}

}  // namespace

pid_t sysio_spawn(const std::string& prog, const std::vector<std::string>& argv,
                  const std::vector<std::string>* envp) {
  if (argv.empty() || prog.empty()) {
    errno = EINVAL;
    return -1;
  }
  std::vector<char*> cargv = sysio_cvec(argv);
  std::vector<char*> cenv;
  if (envp) cenv = sysio_cvec(*envp);
  char* const* env = envp ? cenv.data() : environ;
  pid_t pid = fork();
  if (pid != 0) return pid;  // parent, or -1
  sysio_child_reset();
  execve(prog.c_str(), cargv.data(), env);
  sysio_child_fail("execve() failed");
  return -1;
}

pid_t sysio_spawn_shell(const std::string& cmd, const std::vector<std::string>* envp,
                        int* pipe_fd, bool read_side) {
  int fds[2] = {-1, -1};
  if (pipe_fd && pipe2(fds, O_CLOEXEC) != 0) return -1;
  const std::vector<std::string> argv = {"sh", "-c", cmd};
  std::vector<char*> cargv = sysio_cvec(argv);
  std::vector<char*> cenv;
  if (envp) cenv = sysio_cvec(*envp);
  char* const* env = envp ? cenv.data() : environ;
  pid_t pid = fork();
  if (pid < 0) {
    if (pipe_fd) {
      close(fds[0]);
      close(fds[1]);
    }
    return -1;
  }
  if (pid == 0) {
    if (pipe_fd) {
      int child_end = read_side ? fds[1] : fds[0];
      int target = read_side ? 1 : 0;
      if (dup2(child_end, target) < 0) sysio_child_fail("dup2() failed");
    }
    sysio_child_reset();
    execve("/bin/sh", cargv.data(), env);
    _exit(127);  // what system(3) reports when the shell cannot run
  }
  if (pipe_fd) {
    close(read_side ? fds[1] : fds[0]);
    *pipe_fd = read_side ? fds[0] : fds[1];
  }
  return pid;
}

int sysio_system_wait(const std::string& cmd, const std::vector<std::string>* envp) {
  struct sigaction ign, old_int, old_quit;
  std::memset(&ign, 0, sizeof ign);
  ign.sa_handler = SIG_IGN;
  sigaction(SIGINT, &ign, &old_int);
  sigaction(SIGQUIT, &ign, &old_quit);
  sigset_t chld, old_mask;
  sigemptyset(&chld);
  sigaddset(&chld, SIGCHLD);
  sigprocmask(SIG_BLOCK, &chld, &old_mask);

  int status = -1;
  pid_t pid = sysio_spawn_shell(cmd, envp, nullptr, false);
  if (pid > 0) {
    while (::waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) {
        status = -1;
        break;
      }
    }
  }

  sigaction(SIGINT, &old_int, nullptr);
  sigaction(SIGQUIT, &old_quit, nullptr);
  sigprocmask(SIG_SETMASK, &old_mask, nullptr);
  return status;
}
