// Peers that misbehave: garbage on a stream or in a datagram, lies about
// sizes, stalls, strangers of another user and group.
#include <algorithm>
#include <cstring>
#include <future>
#include <grp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/msg/msgDatagram.h"
#include "platform/msg/msgFrame.h"
#include "tests/platform/msg/msgTestFixture.h"
#include "tests/platform/msg/msgTestTypes.h"

namespace {

// Exit codes of a raw child.
constexpr int kRawDropped = 0;   // the receiver closed the connection
constexpr int kRawKeptOpen = 1;  // it did not within the wait
constexpr int kRawNoConnect = 2;

int rawConnect(const std::string& path) {
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  struct sockaddr_un sa = {AF_UNIX, {}};
  strncpy(sa.sun_path, path.c_str(), sizeof sa.sun_path - 1);
  return fd >= 0 && connect(fd, reinterpret_cast<struct sockaddr*>(&sa), sizeof sa) == 0 ? fd : -1;
}

// A datagram socket connected to the endpoint whose socket file is `path`,
// as a sender that knows the name has it; -1 on failure.
int connectDatagram(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? msgConnectDatagram(path.substr(0, path.rfind('/')), st.st_ino) : -1;
}

// In a forked child: writes `bytes` on a stream to `path`, then reports
// whether the receiver drops the connection within waitMs.
[[noreturn]] void rawChild(const std::string& path, const std::string& bytes, int waitMs = 5000) {
  int fd = rawConnect(path);
  if (fd < 0) _exit(kRawNoConnect);
  if (send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size())) _exit(kRawDropped);
  struct pollfd p = {fd, POLLIN, 0};
  char c;
  if (poll(&p, 1, waitMs) == 1 && read(fd, &c, 1) <= 0) _exit(kRawDropped);
  _exit(kRawKeptOpen);
}

std::string validFrame(MSG_Type type, const std::string& payload) {
  MsgFrameHead head;
  msgFrameHeader(&head, kMsgFrameData, type, 5, "raw", static_cast<uint32_t>(payload.size()));
  return std::string(head.bytes, head.size) + payload;
}

// The header of a valid frame with these fields changed, and a sender name of nameLen bytes.
std::string headerWith(uint32_t magic, uint16_t kind, uint16_t nameLen, uint32_t len) {
  std::string h = validFrame(0x301, "").substr(0, kMsgFrameHeaderBytes);
  memcpy(&h[0], &magic, 4), memcpy(&h[4], &kind, 2), memcpy(&h[6], &nameLen, 2), memcpy(&h[16], &len, 4);
  return h + std::string(nameLen, 'x');
}

struct MsgHostileTest : MsgServiceTest {
  // Forks a child that runs `body`, receives on "t" until it ends, and
  // returns its exit code; the types received meanwhile go to *got.
  template <typename F>
  int runChild(F body, std::vector<MSG_Type>* got) {
    pid_t pid = fork();
    if (pid == 0) body();
    int status = -1;
    for (bool ended = false, more = true; !ended || more;) {  // then until nothing came for 100 ms
      ended = ended || waitpid(pid, &status, WNOHANG) == pid;
      MSG_Message* m = MSG_RecvAnyMsg("t", ended ? 100 : 20);
      if ((more = m != nullptr)) got->push_back(MSG_GetType(m));
      MSG_ReleaseMsg(m);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  void expectStillServing() { EXPECT_EQ(msgEcho("t", m_svc, 11), "101:11"); }

  std::string path() const { return m_dir + "/t"; }
};

TEST_F(MsgHostileTest, MalformedStreamsDropOnlyThatConnection) {
  struct Case { const char* what; std::string bytes; int rc; std::vector<MSG_Type> got; } cases[] = {
      // Proves that the frames below differ from a good one only where meant.
      {"valid", validFrame(0x301, "abcd"), kRawKeptOpen, {0x301}},
      {"garbage", std::string("GET / HTTP/1.0\r\n\r\n") + std::string(40, '\xff'), kRawDropped, {}},
      {"bad magic", headerWith(0x12345678, kMsgFrameData, 3, 4) + "abcd", kRawDropped, {}},
      {"unknown kind", headerWith(kMsgFrameMagic, 9, 3, 4) + "abcd", kRawDropped, {}},
      {"empty sender", headerWith(kMsgFrameMagic, kMsgFrameData, 0, 4) + "abcd", kRawDropped, {}},
      {"sender too long", headerWith(kMsgFrameMagic, kMsgFrameData, 256, 4), kRawDropped, {}},
      {"payload above the limit", headerWith(kMsgFrameMagic, kMsgFrameData, 3, MSG_MAX_PAYLOAD + 1), kRawDropped, {}},
      {"payload length 0xffffffff", headerWith(kMsgFrameMagic, kMsgFrameData, 3, 0xffffffffu), kRawDropped, {}},
      {"short subscription", headerWith(kMsgFrameMagic, kMsgFrameSubscribe, 3, 4) + "abcd", kRawDropped, {}},
      {"good frame then garbage", validFrame(0x302, "ok") + "\x01\x02\x03garbage-garbage-garbage", kRawDropped, {0x302}},
  };
  std::string p = path();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<MSG_Type> got;
    testing::internal::CaptureStderr();
    int rc = runChild([&] { rawChild(p, c.bytes, c.rc == kRawKeptOpen ? 500 : 5000); }, &got);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(rc, c.rc);
    EXPECT_EQ(err.find("msg_tests: t: malformed frame; dropping the connection") != std::string::npos,
              c.rc == kRawDropped)
        << err;
    EXPECT_EQ(got, c.got);
    expectStillServing();
  }
}

TEST_F(MsgHostileTest, MalformedDatagramsAreDroppedAndTheEndpointServesOn) {
  std::string good = validFrame(0x301, "abcd");
  std::string huge = headerWith(kMsgFrameMagic, kMsgFrameData, 3, static_cast<uint32_t>(kMsgMaxDatagram)) +
                     std::string(kMsgMaxDatagram, 'p');
  const std::pair<const char*, std::string> cases[] = {
      {"garbage", "GET / HTTP/1.0\r\n\r\n"},
      {"shorter than a header", good.substr(0, 10)},
      {"bad magic", headerWith(0x12345678, kMsgFrameData, 3, 4) + "abcd"},
      {"hello, which only a stream carries", headerWith(kMsgFrameMagic, kMsgFrameHello, 3, 4) + "abcd"},
      {"unknown kind", headerWith(kMsgFrameMagic, 9, 3, 4) + "abcd"},
      {"payload shorter than its length", good.substr(0, good.size() - 1)},
      {"payload longer than its length", good + "x"},
      {"larger than any datagram taken", huge},
  };
  int fd = connectDatagram(path());
  ASSERT_GE(fd, 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    testing::internal::CaptureStderr();
    ASSERT_EQ(send(fd, c.second.data(), c.second.size(), 0), static_cast<ssize_t>(c.second.size()));
    EXPECT_EQ(msgTag(MSG_RecvAnyMsg("t", 300)), "none");
    std::string err = testing::internal::GetCapturedStderr();
    size_t reported = std::min(c.second.size(), kMsgMaxDatagram + 1);
    EXPECT_NE(err.find("msg_tests: t: malformed datagram of " + std::to_string(reported) + " bytes from pid " +
                       std::to_string(getpid()) + "; dropped"),
              std::string::npos)
        << err;
  }
  // The same socket still gets a good frame through, sequence and all.
  ASSERT_EQ(send(fd, good.data(), good.size(), 0), static_cast<ssize_t>(good.size()));
  MSG_Message* m = MSG_RecvAnyMsg("t", 5000);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(MSG_GetSequence(m), 5u);
  EXPECT_EQ(MSG_GetPayloadBytes(m), 4u);
  EXPECT_EQ(msgTag(m), "301:1684234849");  // "abcd"
  close(fd);
  expectStillServing();
}

TEST_F(MsgHostileTest, ReceiveWithoutTimeLimitWakesForAPeerThatSpeaksStreamsOnly) {
  // No connection, watch or subscription yet: a wait that only a datagram
  // could end would never hear this frame.
  auto got = std::async(std::launch::async, [] { return msgTag(MSG_RecvAnyMsg("t", -1)); });
  int fd = rawConnect(path());
  std::string frame = validFrame(0x301, "abcd");
  EXPECT_EQ(write(fd, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
  // A bound against a hang only: the frame ends the wait at once.
  if (got.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    ADD_FAILURE() << "the stream frame did not end the wait";
    MSG_CloseLocal("t");
  }
  EXPECT_EQ(got.get(), "301:1684234849");  // "abcd"
  close(fd);
}

TEST_F(MsgHostileTest, StalledPartialFrameNeverBlocksTheReceiver) {
  // A header promising a megabyte, then a trickle, then silence.
  std::string frame = validFrame(0x301, std::string(1024 * 1024, 'p'));
  int fd = rawConnect(path());
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, frame.data(), 1000), 1000);
  EXPECT_EQ(MSG_RecvAnyMsg("t", 300), nullptr);
  expectStillServing();
  close(fd);
  // The connection ended mid-frame: nothing half-made comes out.
  EXPECT_EQ(MSG_RecvAnyMsg("t", 200), nullptr);
}

TEST_F(MsgHostileTest, StrangerWithAnotherUserAndGroupIsRefusedOnStreamAndDatagram) {
  if (getuid() != 0) GTEST_SKIP() << "needs root to become a stranger";
  // Open the doors a stranger could not pass otherwise, so that only the
  // credential check stands in the way.
  ASSERT_EQ(chmod(m_root.c_str(), 0711) + chmod(m_dir.c_str(), 0777) + chmod(path().c_str(), 0666), 0);
  const std::string p = path(), frame = validFrame(0x301, "abcd");
  for (bool datagram : {false, true}) {
    for (bool stranger : {false, true}) {
      SCOPED_TRACE(testing::Message() << (datagram ? "datagram" : "stream") << (stranger ? " stranger" : " friend"));
      std::vector<MSG_Type> got;
      testing::internal::CaptureStderr();
      runChild(
          [&] {
            // The worst case: a stranger that has learnt the datagram name.
            int fd = datagram ? connectDatagram(p) : -1;
            if (stranger && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) _exit(9);
            if (!datagram) rawChild(p, frame, stranger ? 5000 : 500);
            _exit(send(fd, frame.data(), frame.size(), 0) == static_cast<ssize_t>(frame.size()) ? 0 : 4);
          },
          &got);
      std::string err = testing::internal::GetCapturedStderr();
      EXPECT_EQ(got, stranger ? std::vector<MSG_Type>{} : std::vector<MSG_Type>{0x301});
      EXPECT_EQ(err.find(" uid 65534 gid 65534") != std::string::npos, stranger) << err;
    }
  }
  expectStillServing();
}

}  // namespace
