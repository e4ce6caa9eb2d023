// Peers that misbehave: garbage, lies about sizes, stalls, strangers.
#include <cstring>
#include <grp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/msg/msgFrame.h"
#include "tests/msg/msgTestFixture.h"
#include "tests/msg/msgTestTypes.h"

namespace {

using Clock = std::chrono::steady_clock;

// Exit codes of a raw child.
constexpr int kRawDropped = 0;     // the receiver closed the connection
constexpr int kRawKeptOpen = 1;    // it did not within 5 s
constexpr int kRawNoConnect = 2;   // it could not connect at all

int rawConnect(const std::string& path) {
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  struct sockaddr_un sa;
  memset(&sa, 0, sizeof sa);
  sa.sun_family = AF_UNIX;
  strncpy(sa.sun_path, path.c_str(), sizeof sa.sun_path - 1);
  if (fd < 0 || connect(fd, reinterpret_cast<struct sockaddr*>(&sa), sizeof sa) != 0) return -1;
  return fd;
}

// In a forked child: writes `bytes` to the socket at `path`, then reports
// whether the receiver drops the connection within waitMs. A drop ends the
// wait early, so a long wait costs only the cases that expect none.
[[noreturn]] void rawChild(const std::string& path, const std::string& bytes, int waitMs = 5000) {
  int fd = rawConnect(path);
  if (fd < 0) _exit(kRawNoConnect);
  // Dropped before all was written: EPIPE, not a signal.
  if (send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size())) _exit(kRawDropped);
  struct pollfd p = {fd, POLLIN, 0};
  char c;
  if (poll(&p, 1, waitMs) == 1 && read(fd, &c, 1) <= 0) _exit(kRawDropped);
  _exit(kRawKeptOpen);
}

std::string validFrame(MSG_Type type, const std::string& sender, const std::string& payload) {
  MsgFrameHead head;
  msgFrameHeader(&head, kMsgFrameData, type, 5, sender, static_cast<uint32_t>(payload.size()));
  return std::string(head.bytes, head.size) + payload;
}

std::string headerWith(uint32_t magic, uint16_t kind, uint16_t nameLen, uint32_t len) {
  std::string h(kMsgFrameHeaderBytes, '\0');
  memcpy(&h[0], &magic, 4);
  memcpy(&h[4], &kind, 2);
  memcpy(&h[6], &nameLen, 2);
  uint32_t type = 0x301;
  memcpy(&h[8], &type, 4);
  memcpy(&h[16], &len, 4);
  return h + std::string(nameLen, 'x');
}

class MsgHostileTest : public MsgTest {
 protected:
  void SetUp() override {
    MsgTest::SetUp();
    openLocal("t");
    startPeer({"service", "svc"});
    m_svc = waitRemote("t", "svc");
    ASSERT_NE(m_svc, 0u);
  }

  // Forks a raw child that runs `body`, receives on "t" until it ends, and
  // returns its exit code; the messages received meanwhile go to *got.
  template <typename F>
  int runChild(F body, std::vector<MSG_Type>* got) {
    pid_t pid = fork();
    if (pid == 0) body();
    int status = -1;
    auto t0 = Clock::now();
    while (msgMsSince(t0) < 10000) {
      MSG_Message* m = MSG_RecvAnyMsg("t", 20);
      if (m != nullptr) {
        got->push_back(MSG_GetType(m));
        MSG_ReleaseMsg(m);
      }
      if (waitpid(pid, &status, WNOHANG) == pid) break;
    }
    while (MSG_Message* m = MSG_RecvAnyMsg("t", 0)) {
      got->push_back(MSG_GetType(m));
      MSG_ReleaseMsg(m);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // The service still gets through.
  void expectStillServing() {
    MSG_Message* rsp = request("t", m_svc, kTestEcho, {11}, kTestEchoRsp);
    ASSERT_NE(rsp, nullptr);
    EXPECT_EQ(msgTestWords(rsp), std::vector<uint32_t>{11});
    MSG_ReleaseMsg(rsp);
  }

  std::string path() const { return m_dir + "/t"; }
  MSG_Endpoint m_svc = 0;
};

TEST_F(MsgHostileTest, ValidRawFrameIsDeliveredAndTheConnectionKept) {
  // Proves that the raw frames below differ from a good one only where meant.
  std::string p = path();
  std::string frame = validFrame(0x301, "raw", "abcd");
  std::vector<MSG_Type> got;
  EXPECT_EQ(runChild([&] { rawChild(p, frame, 500); }, &got), kRawKeptOpen);
  EXPECT_EQ(got, std::vector<MSG_Type>{0x301});
}

TEST_F(MsgHostileTest, MalformedStreamsDropOnlyThatConnection) {
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"garbage", std::string("GET / HTTP/1.0\r\n\r\n") + std::string(40, '\xff')},
      {"bad magic", headerWith(0x12345678, kMsgFrameData, 3, 4) + "abcd"},
      {"unknown kind", headerWith(kMsgFrameMagic, 9, 3, 4) + "abcd"},
      {"empty sender", headerWith(kMsgFrameMagic, kMsgFrameData, 0, 4) + "abcd"},
      {"sender too long", headerWith(kMsgFrameMagic, kMsgFrameData, 256, 4)},
      {"payload above the limit", headerWith(kMsgFrameMagic, kMsgFrameData, 3, MSG_MAX_PAYLOAD + 1)},
      {"payload length 0xffffffff", headerWith(kMsgFrameMagic, kMsgFrameData, 3, 0xffffffffu)},
      {"short subscription", headerWith(kMsgFrameMagic, kMsgFrameSubscribe, 3, 4) + "abcd"},
      {"good frame then garbage", validFrame(0x302, "raw", "ok") + "\x01\x02\x03garbage-garbage-garbage"},
  };
  std::string p = path();
  for (const Case& c : cases) {
    std::vector<MSG_Type> got;
    testing::internal::CaptureStderr();
    int rc = runChild([&] { rawChild(p, c.bytes); }, &got);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(rc, kRawDropped) << c.what;
    EXPECT_NE(err.find("msg_tests: t: malformed frame; dropping the connection"), std::string::npos)
        << c.what << ": " << err;
    // Only the good frame ahead of the garbage gets through.
    EXPECT_EQ(got, c.what == std::string("good frame then garbage") ? std::vector<MSG_Type>{0x302}
                                                                      : std::vector<MSG_Type>{})
        << c.what;
    expectStillServing();
  }
}

TEST_F(MsgHostileTest, StalledPartialFrameNeverBlocksTheReceiver) {
  std::string frame = validFrame(0x301, "raw", std::string(1024 * 1024, 'p'));
  int sv[2];
  ASSERT_EQ(pipe(sv), 0);
  std::string p = path();
  pid_t pid = fork();
  if (pid == 0) {
    int fd = rawConnect(p);
    // A header promising a megabyte, then a trickle, then silence.
    if (fd < 0 || write(fd, frame.data(), 1000) != 1000) _exit(2);
    char c;
    ssize_t n = read(sv[0], &c, 1);  // until the parent is done
    _exit(n == 1 ? 0 : 3);
  }
  ASSERT_GT(pid, 0);
  auto t0 = Clock::now();
  EXPECT_EQ(MSG_RecvAnyMsg("t", 300), nullptr);
  long took = msgMsSince(t0);
  EXPECT_GE(took, 290);
  EXPECT_LT(took, 3000);
  expectStillServing();
  ASSERT_EQ(write(sv[1], "x", 1), 1);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  close(sv[0]);
  close(sv[1]);
  // The connection ended mid-frame: nothing half-made comes out.
  EXPECT_EQ(MSG_RecvAnyMsg("t", 200), nullptr);
}

TEST_F(MsgHostileTest, StrangerWithAnotherUserAndGroupIsRefused) {
  if (getuid() != 0) GTEST_SKIP() << "needs root to become a stranger; directory mode is checked elsewhere";
  // Open the doors a stranger could not pass otherwise, so that only the
  // credential check stands in the way.
  ASSERT_EQ(chmod(m_root.c_str(), 0711), 0);
  ASSERT_EQ(chmod(m_dir.c_str(), 0777), 0);
  ASSERT_EQ(chmod(path().c_str(), 0666), 0);
  std::string p = path();
  std::string frame = validFrame(0x301, "raw", "abcd");
  for (bool stranger : {false, true}) {
    std::vector<MSG_Type> got;
    testing::internal::CaptureStderr();
    int rc = runChild(
        [&] {
          if (stranger && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) _exit(9);
          rawChild(p, frame, stranger ? 5000 : 500);
        },
        &got);
    std::string err = testing::internal::GetCapturedStderr();
    if (stranger) {
      EXPECT_EQ(rc, kRawDropped);
      EXPECT_TRUE(got.empty());
      EXPECT_NE(err.find(" uid 65534 gid 65534"), std::string::npos) << err;
      EXPECT_NE(err.find("msg_tests: refusing connection from pid "), std::string::npos) << err;
    } else {
      EXPECT_EQ(rc, kRawKeptOpen);
      EXPECT_EQ(got, std::vector<MSG_Type>{0x301});
    }
  }
  expectStillServing();
}

}  // namespace
