// The shell-quoting helpers against the shell itself: for any value, the
// word from shell_word and the text from shell_dquoted between double
// quotes both reach printf as exactly the value (up to its first NUL, where
// the helpers cut a C string).
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "fuzz/fuzzFail.h"
#include "systemservice/syssrvQuote.h"

extern char** environ;

namespace {

// What `sh -c script` writes on its standard output.
std::string shellOutput(const std::string& script) {
  // -close_fd_mask leaves descriptors 1 and 2 free; a pipe end there would
  // be closed in the child by the dup2 below. The shell gets /dev/null as
  // its standard error.
  static const bool lowFdsTaken = [] {
    for (int fd = 0; fd <= 2; ++fd) {
      if (fcntl(fd, F_GETFD) == -1 && open("/dev/null", O_RDWR) != fd) return false;
    }
    return true;
  }();
  int fds[2];
  if (!lowFdsTaken || pipe2(fds, O_CLOEXEC) != 0) fuzzFail("quote: no pipe");
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
  const char* argv[] = {"sh", "-c", script.c_str(), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, "/bin/sh", &fa, nullptr, const_cast<char**>(argv), environ) != 0) fuzzFail("quote: spawn");
  posix_spawn_file_actions_destroy(&fa);
  close(fds[1]);
  std::string out;
  char buf[4096];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) != 0;) {
    if (n > 0) {
      out.append(buf, static_cast<size_t>(n));
    } else if (errno != EINTR) {
      fuzzFail("quote: read");
    }
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) fuzzFail("quote: waitpid");
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    fuzzFail("quote: sh failed with status " + std::to_string(status) + " on: " + script);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string value(reinterpret_cast<const char*>(data), size);
  const std::string cut(value.c_str());
  const std::string out = shellOutput("printf '%s\\000' " + shell_word(value) + " \"" + shell_dquoted(value) + "\"");
  if (out != cut + '\0' + cut + '\0') {
    fuzzFail("quote: the shell read back something else for " + std::to_string(cut.size()) + " bytes");
  }
  return 0;
}
