// Starting programs of this build from a test.
//
// On the armhf run (scripts/test-armhf) the test programs are ARM code and
// the machine has no binfmt handler: ctest starts them through the emulator,
// but a test that execs another program it built (a helper, the daemon
// itself) must put the emulator in front of that program's command line.
// The script names it in SYSSRV_EXEC_WRAPPER as space-separated words
// ("/usr/bin/qemu-arm -L <sysroot>"); the native run leaves it unset, and
// these helpers then return the command line unchanged. Shell scripts and
// host tools need no wrapper: the kernel runs them natively.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

// The words of `wrapper` (may be null) followed by `argv`.
inline std::vector<std::string> archExecArgvWith(const char* wrapper,
                                                 const std::vector<std::string>& argv) {
  std::vector<std::string> out;
  if (wrapper != nullptr) {
    std::istringstream words(wrapper);
    std::string w;
    while (words >> w) out.push_back(w);
  }
  out.insert(out.end(), argv.begin(), argv.end());
  return out;
}

// `argv` as it has to be exec'd in this run.
inline std::vector<std::string> archExecArgv(const std::vector<std::string>& argv) {
  return archExecArgvWith(std::getenv("SYSSRV_EXEC_WRAPPER"), argv);
}

// True on the armhf run, where every test program runs under qemu-arm.
// Only for what the emulator itself cannot do, and a test that skips or
// adapts for it must say which: qemu-arm cannot deliver real-time signals
// 63 and 64 (timer_create with them fails with EINVAL, sigaction claims
// success), and a process's own /proc/<pid>/stat shows the program's file
// name, not a name set with prctl(PR_SET_NAME).
inline bool archUnderEmulation() { return !archExecArgv({}).empty(); }

// Text to put before a program of this build in a shell command line:
// empty, or the wrapper followed by one space.
inline std::string archExecShellPrefix() {
  const char* w = std::getenv("SYSSRV_EXEC_WRAPPER");
  return (w != nullptr && *w != '\0') ? std::string(w) + " " : std::string();
}

// archExecArgv(argv) as execv wants it, made before a fork: the child of a
// threaded test program must not allocate, it only execs. Not copyable, as
// the pointers point into its own strings.
class ArchExecLine {
 public:
  explicit ArchExecLine(const std::vector<std::string>& argv) : m_words(archExecArgv(argv)) {
    for (auto& w : m_words) m_ptrs.push_back(&w[0]);
    m_ptrs.push_back(nullptr);
  }
  ArchExecLine(const ArchExecLine&) = delete;
  ArchExecLine& operator=(const ArchExecLine&) = delete;

  // execv; returns only when the exec failed.
  int exec() const { return m_words.empty() ? -1 : execv(m_ptrs[0], m_ptrs.data()); }

 private:
  std::vector<std::string> m_words;
  std::vector<char*> m_ptrs;
};
