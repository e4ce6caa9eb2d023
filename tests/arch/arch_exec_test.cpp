// A test that starts another program of this build must work in both runs:
// natively, and on the armhf run where the program is ARM code that only
// the emulator named in SYSSRV_EXEC_WRAPPER can start.
#include "tests/arch/exec_wrapper.h"

#include <linux/input.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace {

using Argv = std::vector<std::string>;

struct RunResult {
  int status = -1;  // raw waitpid status
  std::string out;
};

// Runs argv through the wrapper with its standard output captured, by
// archExecvp in the child or, with `prepared`, by an ArchExecLine made
// before the fork.
RunResult runCaptured(const Argv& argv, bool prepared = false) {
  RunResult r;
  const ArchExecLine line(argv);
  int fds[2];
  if (pipe(fds) != 0) return r;
  const pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return r;
  }
  if (pid == 0) {
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
    if (prepared) {
      line.exec();
    } else {
      archExecvp(argv);
    }
    _exit(127);
  }
  close(fds[1]);
  char buf[256];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) r.out.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  waitpid(pid, &r.status, 0);
  return r;
}

TEST(ArchExec, WrapperWordsGoInFrontOfTheCommandLine) {
  EXPECT_EQ(archExecArgvWith("/usr/bin/qemu-arm -L /b/sysroot", {"/b/prog", "--x", "a b"}),
            (Argv{"/usr/bin/qemu-arm", "-L", "/b/sysroot", "/b/prog", "--x", "a b"}));
  EXPECT_EQ(archExecArgvWith("  emu   -L\t/s  ", {"p"}), (Argv{"emu", "-L", "/s", "p"}));
}

TEST(ArchExec, NoWrapperLeavesTheCommandLineAlone) {
  EXPECT_EQ(archExecArgvWith(nullptr, {"/b/prog", "-v"}), (Argv{"/b/prog", "-v"}));
  EXPECT_EQ(archExecArgvWith("", {"/b/prog"}), (Argv{"/b/prog"}));
  EXPECT_EQ(archExecArgvWith("   ", {"/b/prog"}), (Argv{"/b/prog"}));
}

TEST(ArchExec, EmulationIsWhatTheWrapperSays) {
  EXPECT_TRUE(archUnderEmulationWith("/usr/bin/qemu-arm -L /s"));
  EXPECT_FALSE(archUnderEmulationWith(nullptr));
  EXPECT_FALSE(archUnderEmulationWith(""));
  EXPECT_FALSE(archUnderEmulationWith(" \t "));
#if defined(__x86_64__)
  // This machine runs its own programs natively.
  EXPECT_FALSE(archUnderEmulation());
#endif
}

TEST(ArchExec, SiblingProgramRunsWithTheSameArchitecture) {
  char want[128];
  std::snprintf(want, sizeof want, "long=%zu ptr=%zu char=%s time_t=%zu input_event=%zu\n",
                sizeof(long), sizeof(void*), CHAR_MIN < 0 ? "signed" : "unsigned",
                sizeof(time_t), sizeof(struct input_event));
  const RunResult r = runCaptured({ARCH_PROBE_PATH});
  ASSERT_TRUE(WIFEXITED(r.status)) << "status " << r.status;
  EXPECT_EQ(WEXITSTATUS(r.status), 0);
  EXPECT_EQ(r.out, want);
}

TEST(ArchExec, MissingProgramFailsInsteadOfHanging) {
  for (bool prepared : {false, true}) {
    const RunResult r = runCaptured({std::string(ARCH_PROBE_PATH) + ".missing"}, prepared);
    ASSERT_TRUE(WIFEXITED(r.status)) << "status " << r.status << (prepared ? " (prepared)" : "");
    EXPECT_NE(WEXITSTATUS(r.status), 0);
    EXPECT_EQ(r.out, "");
  }
}

TEST(ArchExec, PreparedLineHoldsTheWrappedWordsAndRunsTheSibling) {
  const Argv argv = {ARCH_PROBE_PATH, "a b", ""};
  const ArchExecLine line(argv);
  Argv words;
  for (char* const* p = line.argv(); *p != nullptr; ++p) words.push_back(*p);
  EXPECT_EQ(words, archExecArgv(argv));

  const RunResult plain = runCaptured({ARCH_PROBE_PATH});
  const RunResult prepared = runCaptured({ARCH_PROBE_PATH}, true);
  ASSERT_TRUE(WIFEXITED(prepared.status)) << "status " << prepared.status;
  EXPECT_EQ(WEXITSTATUS(prepared.status), 0);
  EXPECT_EQ(prepared.out, plain.out);
  EXPECT_NE(prepared.out, "");
}

}  // namespace
