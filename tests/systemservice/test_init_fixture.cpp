#include "tests/systemservice/test_init_fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "platform/msg/MSG.h"
#include "systemservice/syssrvCallTrace.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvMessageTable.h"
#include "tests/arch/exec_wrapper.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

long msSince(Clock::time_point t0) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count());
}

}  // namespace

// ---- peer process ----

::testing::AssertionResult PeerProcess::start(const std::string& endpoint, const std::string& mode) {
  kill();
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return ::testing::AssertionFailure() << "pipe: " << strerror(errno);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // dup2 clears close-on-exec on the copy the child keeps.
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  std::string bin = INIT_PEER_BIN;
  const ArchExecLine line({bin, endpoint, mode});
  // The child inherits MSG_SOCKET_DIR, so it opens its endpoint beside ours.
  int rc = posix_spawn(&m_pid, line.argv()[0], &actions, nullptr, line.argv(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    m_pid = -1;
    return ::testing::AssertionFailure() << "posix_spawn " << bin << ": " << strerror(rc);
  }
  m_out = fds[0];
  std::string said;
  Clock::time_point t0 = Clock::now();
  while (said.find('\n') == std::string::npos && msSince(t0) < 10000) {
    struct pollfd p = {m_out, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buf[64];
    ssize_t n = read(m_out, buf, sizeof buf);
    if (n <= 0) break;
    said.append(buf, static_cast<size_t>(n));
  }
  if (said != "ready\n") {
    kill();
    return ::testing::AssertionFailure() << "peer " << endpoint << " said \"" << said << "\"";
  }
  return ::testing::AssertionSuccess();
}

void PeerProcess::kill() {
  if (m_pid > 0) {
    ::kill(m_pid, SIGKILL);
    int status = 0;
    waitpid(m_pid, &status, 0);
  }
  m_pid = -1;
  if (m_out >= 0) close(m_out);
  m_out = -1;
}

// ---- fixture ----

void InitTest::SetUp() {
  StartupTest::SetUp();
  // syssrvMessageInit opens the daemon's endpoint itself; a fresh one has
  // no handlers and no watches from before.
  MSG_CloseLocal(kSyssrvEndpoint);
  // On the host the key-press device is a plain file the platform provides.
  rec().put_file("/dev/uinput", "");
  fdVirtKeyPressDev = -1;
  forget();
}

void InitTest::TearDown() {
  initTimeline_stop();
  for (const std::string& p : m_peers) MSG_CloseLocal(p.c_str());
  m_peers.clear();
  if (fdVirtKeyPressDev >= 0) close(fdVirtKeyPressDev);
  fdVirtKeyPressDev = -1;
  discoverProvisioningTimeout = 0;
  StartupTest::TearDown();
}

void InitTest::openPeer(const std::string& name) {
  ASSERT_EQ(MSG_OpenLocal(name.c_str()), 0) << name;
  m_peers.push_back(name);
}

void InitTest::closePeer(const std::string& name) {
  for (auto it = m_peers.begin(); it != m_peers.end(); ++it) {
    if (*it == name) {
      m_peers.erase(it);
      break;
    }
  }
  EXPECT_EQ(MSG_CloseLocal(name.c_str()), 0) << name;
}

bool InitTest::loopUntil(const std::function<bool()>& done, int limitMs) {
  Clock::time_point t0 = Clock::now();
  while (!done()) {
    if (msSince(t0) > limitMs) return false;
    syssrvMessageLoop(100);
  }
  return true;
}

void InitTest::loopUntilQuiet() {
  Clock::time_point t0 = Clock::now();
  while (msSince(t0) < 10000) {
    size_t before = syssrvCallTrace().size() + initTimeline().size();
    Clock::time_point t1 = Clock::now();
    syssrvMessageLoop(300);
    // Most of the wait passed (a clock may round it just under): nothing came.
    if (msSince(t1) >= 250 && syssrvCallTrace().size() + initTimeline().size() == before) return;
  }
  ADD_FAILURE() << "the daemon's endpoint never went quiet";
}

int InitTest::traced(const std::string& entry) {
  int n = 0;
  for (const std::string& e : syssrvCallTrace()) n += e == entry ? 1 : 0;
  return n;
}

int InitTest::inTimeline(const std::string& line) {
  int n = 0;
  for (const std::string& l : initTimeline()) n += l == line ? 1 : 0;
  return n;
}
