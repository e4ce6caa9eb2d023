// Receiving: held messages, time-outs and their errno, an endpoint that is
// not open, two threads on one endpoint, handlers.
#include <atomic>
#include <cerrno>
#include <thread>
#include <unistd.h>

#include "tests/platform/msg/msgTestFixture.h"
#include "tests/platform/msg/msgTestTypes.h"

namespace {

using MsgRecvTest = MsgServiceTest;

constexpr MSG_Type kA = 0x301, kB = 0x302, kC = 0x303, kD = 0x304;

// The msgTag of what `recv` returned, "errno <n>" when it returned null.
template <class F>
std::string recvd(F recv) {
  errno = 0;
  MSG_Message* m = recv();
  return m != nullptr ? msgTag(m) : "errno " + std::to_string(errno);
}
const std::string kTimedOut = "errno " + std::to_string(ETIMEDOUT), kBadF = "errno " + std::to_string(EBADF);

TEST_F(MsgRecvTest, RecvMsgTakesItsTypeHoldsTheRestInOrderAndTimesOutWithETIMEDOUT) {
  // Large ones among them: held frames that came on the stream.
  burst(MsgSized{{kA, 1024 * 1024}, {kB, 4}, {kC, 2 * 1024 * 1024}, {kB, 4}});
  EXPECT_EQ(msgTag(MSG_RecvMsg("t", kC, 5000)), "303:2");
  EXPECT_EQ(msgTag(MSG_RecvMsg("t", kB, 5000)), "302:1");  // held messages are searched first
  EXPECT_EQ(recvd([] { return MSG_RecvMsg("t", kD, 400); }), kTimedOut);  // what came meanwhile is kept
  EXPECT_EQ(msgTag(MSG_RecvAnyMsg("t", -1)), "301:0");  // a held one goes at once
  EXPECT_EQ(msgTag(MSG_RecvAnyMsg("t", 300)), "302:3");
  EXPECT_EQ(recvd([] { return MSG_RecvAnyMsg("t", 300); }), kTimedOut);
}

// A loop receiving on an endpoint that is gone gets null at once with EBADF,
// whatever the time-out, and must tell it from a time-out to pace itself.
// Closing the endpoint ends a wait without limit on it the same way.
TEST_F(MsgTest, ReceiveOnAnEndpointThatIsNotOpenFailsAtOnceWithEBADF) {
  ASSERT_EQ(MSG_OpenLocal("gone"), 0);
  std::atomic<bool> returned{false};
  MSG_Message* got = reinterpret_cast<MSG_Message*>(1);
  int err = 0;
  std::thread reader([&] { got = MSG_RecvAnyMsg("gone", -1), err = errno, returned = true; });
  usleep(200000);
  EXPECT_FALSE(returned);
  EXPECT_EQ(MSG_CloseLocal("gone"), 0);
  reader.join();
  EXPECT_EQ(got, nullptr);
  EXPECT_EQ(err, EBADF);
  testing::internal::CaptureStderr();
  for (const char* name : {"gone", "never-opened"}) {  // without limit: a wait would hang the test
    const std::string any = recvd([&] { return MSG_RecvAnyMsg(name, -1); });
    EXPECT_EQ(any + ", " + recvd([&] { return MSG_RecvMsg(name, kA, -1); }), kBadF + ", " + kBadF) << name;
  }
  EXPECT_NE(testing::internal::GetCapturedStderr().find("msg_tests: endpoint gone is not open"), std::string::npos);
  ASSERT_EQ(MSG_OpenLocal("gone"), 0);  // the name is free again
  EXPECT_EQ(MSG_CloseLocal("gone"), 0);
}

// The daemon's shape: the main thread sits in MSG_RecvAnyMsg while a timer
// thread sends requests on the same endpoint and waits for each reply in
// MSG_RecvMsg. Every reply must reach the timer thread, every other message
// the main thread.
TEST_F(MsgRecvTest, ReplyGoesToTheThreadWaitingForItsType) {
  constexpr int kRounds = 40;
  std::atomic<bool> done{false};
  std::atomic<int> replies{0}, wrong{0};
  std::thread timer([&] {
    for (uint32_t i = 0; i < kRounds; ++i) {
      uint32_t seq = MSG_GetNextSequence();
      if (MSG_SendMsg("t", m_svc, msgTestMessage(kTestEchoExtra, seq, {i})) != 0) break;
      // As if preempted between the send and the receive.
      if (i % 3 == 1) usleep(5000);
      MSG_Message* rsp = MSG_RecvMsg("t", kTestEchoRsp, 5000);
      if (rsp == nullptr) break;
      if (MSG_GetSequence(rsp) != seq || msgTestWords(rsp) != std::vector<uint32_t>{i}) ++wrong;
      ++replies;
      MSG_ReleaseMsg(rsp);
      if (i % 2 == 0) usleep(2000);  // let the main thread be the reader sometimes
    }
    done = true;
  });
  int extras = 0, others = 0;
  while (!done || extras < replies) {  // the timer thread's receives time out: it ends
    MSG_Message* m = MSG_RecvAnyMsg("t", done ? 0 : 50);
    if (m == nullptr && done) break;
    if (m != nullptr) (MSG_GetType(m) == kTestExtra ? extras : others)++;
    MSG_ReleaseMsg(m);
  }
  timer.join();
  EXPECT_EQ((std::vector<int>{replies, wrong, extras, others}), (std::vector<int>{kRounds, 0, kRounds, 0}));
}

template <char kWho>
void logCall(void* ctx, const MSG_Message* m) {
  char buf[32];
  snprintf(buf, sizeof buf, "%c:%x", kWho, MSG_GetType(m));
  static_cast<std::vector<std::string>*>(ctx)->push_back(buf);
}

TEST_F(MsgRecvTest, HandlersByRangeFirstRegistrationWinsJustOnceRunsOnce) {
  std::vector<std::string> log;
  MSG_Callback cbs[] = {{logCall<'1'>, &log, 0x400, 0x40F, 0},  // the first that matches
                        {logCall<'2'>, &log, 0x405, 0x41F, 0},
                        {logCall<'1'>, &log, kA, kA, 1}};  // just once
  for (MSG_Callback& cb : cbs) ASSERT_EQ(MSG_RegisterCallback("t", &cb), 0);
  burst({{0x3FF, 4}, {0x400, 4}, {0x405, 4}, {0x40F, 4}, {0x410, 4}, {0x41F, 4}, {0x420, 4},
         {kA, 4}, {kA, 4}});
  std::vector<int> results;
  for (int i = 0; i < 9; ++i) {
    MSG_Message* m = MSG_RecvAnyMsg("t", 5000);
    ASSERT_NE(m, nullptr);
    results.push_back(MSG_ProcessCallback("t", m) == 0 ? 0 : 1);
    MSG_ReleaseMsg(m);  // the caller releases, handled or not
  }
  EXPECT_EQ(results, (std::vector<int>{1, 0, 0, 0, 0, 0, 1, 0, 1}));
  EXPECT_EQ(log, (std::vector<std::string>{"1:400", "1:405", "1:40f", "2:410", "2:41f", "1:301"}));
}

}  // namespace
