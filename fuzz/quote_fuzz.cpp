// The shell-quoting helpers against the shell itself: for any value, the
// word from shell_word and the text from shell_dquoted between double
// quotes both reach printf as exactly the value (up to its first NUL, where
// the helpers cut a C string).
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "systemservice/syssrvQuote.h"

extern char** environ;

namespace {

// What `sh -c script` writes on its standard output.
std::string shellOutput(const std::string& script) {
  int fds[2];
  if (pipe(fds) != 0) abort();
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
  posix_spawn_file_actions_addclose(&fa, fds[0]);
  const char* argv[] = {"sh", "-c", script.c_str(), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, "/bin/sh", &fa, nullptr, const_cast<char**>(argv), environ) != 0) abort();
  posix_spawn_file_actions_destroy(&fa);
  close(fds[1]);
  std::string out;
  char buf[4096];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    fprintf(stderr, "quote: sh failed (status %d) on: %s\n", status, script.c_str());
    abort();
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string value(reinterpret_cast<const char*>(data), size);
  const std::string cut(value.c_str());
  const std::string out = shellOutput("printf '%s\\000' " + shell_word(value) + " \"" + shell_dquoted(value) + "\"");
  if (out != cut + '\0' + cut + '\0') {
    fprintf(stderr, "quote: the shell read back something else for %zu bytes\n", cut.size());
    abort();
  }
  return 0;
}
