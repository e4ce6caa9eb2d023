// A test that starts another program of this build must work in both runs:
// natively, and on the armhf run where the program is ARM code that only
// the emulator named in SYSSRV_EXEC_WRAPPER can start.
#include "tests/arch/exec_wrapper.h"

#include <linux/input.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace {

using Argv = std::vector<std::string>;

TEST(ArchExec, WrapperWordsGoInFrontOfTheCommandLine) {
  const struct {
    const char* wrapper;
    Argv argv, expected;
  } cases[] = {
      {"/usr/bin/qemu-arm -L /b/sysroot", {"/b/prog", "--x", "a b"},
       {"/usr/bin/qemu-arm", "-L", "/b/sysroot", "/b/prog", "--x", "a b"}},
      {"  emu   -L\t/s  ", {"p"}, {"emu", "-L", "/s", "p"}},
      {nullptr, {"/b/prog", "-v"}, {"/b/prog", "-v"}},
      {" \t ", {"/b/prog"}, {"/b/prog"}},
  };
  for (const auto& c : cases) EXPECT_EQ(archExecArgvWith(c.wrapper, c.argv), c.expected) << c.wrapper;
#if defined(__x86_64__)
  EXPECT_FALSE(archUnderEmulation()) << "this machine runs its own programs natively";
#endif
}

// Runs the prepared line of `argv` in a child with its standard output
// captured; returns the raw wait status and the output.
std::pair<int, std::string> runCaptured(const Argv& argv) {
  const ArchExecLine line(argv);
  int fds[2];
  if (pipe(fds) != 0) return {-1, ""};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], STDOUT_FILENO);
    line.exec();
    _exit(127);
  }
  close(fds[1]);
  std::string out;
  char buf[256];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = -1;
  waitpid(pid, &status, 0);
  return {status, out};
}

TEST(ArchExec, SiblingProgramRunsWithTheSameArchitectureAndAMissingOneFails) {
  char want[128];
  std::snprintf(want, sizeof want, "long=%zu ptr=%zu char=%s time_t=%zu input_event=%zu\n",
                sizeof(long), sizeof(void*), CHAR_MIN < 0 ? "signed" : "unsigned",
                sizeof(time_t), sizeof(struct input_event));
  auto r = runCaptured({ARCH_PROBE_PATH});
  ASSERT_TRUE(WIFEXITED(r.first)) << "status " << r.first;
  EXPECT_EQ(WEXITSTATUS(r.first), 0);
  EXPECT_EQ(r.second, want);
  r = runCaptured({std::string(ARCH_PROBE_PATH) + ".missing"});
  ASSERT_TRUE(WIFEXITED(r.first)) << "status " << r.first;
  EXPECT_NE(WEXITSTATUS(r.first), 0);
  EXPECT_EQ(r.second, "");
}

}  // namespace
