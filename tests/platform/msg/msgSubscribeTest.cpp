// Notifications between processes: subscriptions, their renewal when the
// publisher restarts, dead subscribers.
#include <atomic>
#include <thread>
#include <unistd.h>

#include "tests/platform/msg/msgTestFixture.h"
#include "tests/platform/msg/msgTestTypes.h"

namespace {


// Asks publisher `pub` to publish `types`; its answer comes after the
// notifications on the same connection, so when it is here they are too.
// Returns the msgTag of the answer: "111:" and how many notifications it
// sent without error.
std::string publish(const char* local, MSG_Endpoint pub, const std::vector<uint32_t>& types) {
  if (MSG_SendMsg(local, pub, msgTestMessage(kTestPublish, 0, types)) != 0) return "send failed";
  return msgTag(MSG_RecvMsg(local, kTestPublished, 5000));
}

// What the daemon does when a publisher opens: subscribe.
struct SubscribeOnOpen {
  const char *local, *remote;
  std::thread::id thread;
  int runs = 0, failures = 0;
};

void subscribeOnOpen(void* ctx, const MSG_Message* msg) {
  SubscribeOnOpen* s = static_cast<SubscribeOnOpen*>(ctx);
  ++s->runs;
  // Called without a message, on the thread that receives.
  if (msg != nullptr || s->thread != std::this_thread::get_id()) ++s->failures;
  MSG_Endpoint id = MSG_GetRemoteId(s->local, s->remote);
  if (id == 0 || MSG_RegisterNotificationRemote(s->local, 0x200, 0x2FF, id) != 0) ++s->failures;
}

bool pumpUntilRuns(const char* local, const SubscribeOnOpen& s, int runs) {
  for (int i = 0; s.runs < runs && i < 50; ++i) MSG_ReleaseMsg(MSG_RecvAnyMsg(local, 100));
  return s.runs == runs;
}

const std::vector<uint32_t> kMixed = {0x1FF, 0x200, 0x250, 0x2FF, 0x300};
const std::vector<std::string> kInRange = {"200:1", "250:2", "2ff:3"};

// The open callback follows the publisher through restarts, never runs in
// MSG_RecvMsg, and its subscriptions deliver once.
TEST_F(MsgTest, PublisherStartingLateAndRestartingKeepsItsSubscriberOnce) {
  openLocal("sub");
  SubscribeOnOpen s = {"sub", "pub", std::this_thread::get_id()};
  MSG_Callback cb = {subscribeOnOpen, &s, 0, 0, 0};
  ASSERT_EQ(MSG_OpenRemoteAsync("sub", "pub", &cb, 0), 0);
  EXPECT_EQ(MSG_RecvAnyMsg("sub", 200), nullptr);  // not there yet
  pid_t pid = startPeer({"service", "pub"});
  MSG_Endpoint pub = waitRemote("sub", "pub");
  ASSERT_NE(pub, 0u);
  // A synchronous receive, as a handler waiting for a reply does, must not
  // run the callback.
  EXPECT_EQ(MSG_RecvMsg("sub", kTestEchoRsp, 300), nullptr);
  EXPECT_EQ(s.runs, 0);
  ASSERT_TRUE(pumpUntilRuns("sub", s, 1));
  // Overlapping and repeated ranges still deliver once.
  ASSERT_EQ(MSG_RegisterNotificationRemote("sub", 0x200, 0x2FF, pub), 0);
  ASSERT_EQ(MSG_RegisterNotificationRemote("sub", 0x250, 0x260, pub), 0);
  ASSERT_EQ(publish("sub", pub, kMixed), "111:5");
  EXPECT_EQ(msgDrain("sub"), kInRange);
  killPeer(pid);
  pid = startPeer({"service", "pub"});
  ASSERT_TRUE(pumpUntilRuns("sub", s, 2));
  // Subscribed again by the callback and by the library's own renewal, which
  // any receive does ahead of the next request; yet each arrives once.
  ASSERT_EQ(publish("sub", pub, kMixed), "111:5");
  EXPECT_EQ(msgDrain("sub"), kInRange);
  // Closed cleanly (closing is not opening) and opened again.
  ASSERT_EQ(MSG_SendMsg("sub", pub, msgTestMessage(kTestQuit, 0, {})), 0);
  ASSERT_EQ(waitPeer(pid), 0);
  EXPECT_EQ(MSG_RecvAnyMsg("sub", 200), nullptr);
  EXPECT_EQ(s.runs, 2);
  startPeer({"service", "pub"});
  ASSERT_TRUE(pumpUntilRuns("sub", s, 3));
  EXPECT_EQ(MSG_RecvAnyMsg("sub", 300), nullptr);
  EXPECT_EQ(s.runs, 3);
  EXPECT_EQ(s.failures, 0);
  // A watch opened while its remote is already up runs its callback too.
  SubscribeOnOpen up = {"sub", "pub", std::this_thread::get_id()};
  MSG_Callback upCb = {subscribeOnOpen, &up, 0, 0, 0};
  ASSERT_EQ(MSG_OpenRemoteAsync("sub", "pub", &upCb, 0), 0);
  EXPECT_TRUE(pumpUntilRuns("sub", up, 1));
}

TEST_F(MsgTest, SubscriptionIsRenewedWhileItsThreadWaitsWithoutLimit) {
  openLocal("sub");
  openLocal("ctl");
  pid_t pid = startPeer({"service", "pub"});
  MSG_Endpoint pub = waitRemote("ctl", "pub");
  ASSERT_NE(pub, 0u);
  std::atomic<MSG_Type> first{0};
  std::atomic<bool> stop{false};
  std::thread loop([&] {
    while (!stop) {
      MSG_Message* m = MSG_RecvAnyMsg("sub", -1);
      MSG_Type none = 0;
      if (m != nullptr) first.compare_exchange_strong(none, MSG_GetType(m));
      MSG_ReleaseMsg(m);
    }
  });
  usleep(200000);  // the loop waits, with nothing to look at, before the subscription exists
  ASSERT_EQ(MSG_RegisterNotificationRemote("sub", 0x200, 0x2FF, pub), 0);
  killPeer(pid);
  startPeer({"service", "pub"});
  ASSERT_EQ(waitRemote("ctl", "pub"), pub);
  // Only the renewal can bring a notification now.
  for (int i = 0; first == 0 && i < 50; ++i) {
    ASSERT_EQ(publish("ctl", pub, {0x250}), "111:1");
    usleep(100000);
  }
  stop = true;
  ASSERT_EQ(MSG_SendMsg("ctl", MSG_GetRemoteId("ctl", "sub"), msgTestMessage(0x999, 0, {})), 0);
  loop.join();
  EXPECT_EQ(first, 0x250u);
}

TEST_F(MsgTest, SubscriberThatIsGoneIsDroppedAndTheOthersStillServed) {
  openLocal("t");
  ASSERT_EQ(MSG_OpenLocal("gone"), 0);
  startPeer({"service", "pub"});
  MSG_Endpoint pub = waitRemote("t", "pub");
  ASSERT_NE(pub, 0u);
  ASSERT_EQ(MSG_RegisterNotificationRemote("gone", 0x200, 0x2FF, waitRemote("gone", "pub")), 0);
  ASSERT_EQ(MSG_RegisterNotificationRemote("t", 0x200, 0x2FF, pub), 0);
  ASSERT_EQ(MSG_CloseLocal("gone"), 0);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    // The sends to the one that is gone fail, yet each is reported sent.
    ASSERT_EQ(publish("t", pub, {0x200, 0x2AB}), "111:2");
    EXPECT_EQ(msgDrain("t", 300), (std::vector<std::string>{"200:0", "2ab:1"}));
  }
}

TEST_F(MsgTest, SubscriptionThatArrivedBeforeTheNotificationIsHonoured) {
  // We publish on "pub" and never receive there; only the look at arrived
  // frames inside MSG_SendNotification can know of the subscription.
  openLocal("pub");
  openLocal("obs");
  ASSERT_EQ(MSG_RegisterNotificationRemote("obs", 0x500, 0x500, waitRemote("obs", "pub")), 0);
  ASSERT_EQ(MSG_SendNotification("pub", msgTestMessage(0x500, 9, {77})), 0);
  MSG_Message* m = MSG_RecvMsg("obs", 0x500, 5000);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(MSG_GetSequence(m), 9u);
  EXPECT_EQ(msgTag(m), "500:77");
}

TEST_F(MsgTest, SubscriptionIsHonouredWhileAnotherThreadIsTheReader) {
  // The publisher's own thread waits for the reader to take in what came
  // before the notification, then goes on: it must neither lose the
  // subscription nor wait for ever.
  openLocal("pub");
  openLocal("obs");
  std::thread reader([] { MSG_ReleaseMsg(MSG_RecvMsg("pub", 0x501, 5000)); });
  MSG_Endpoint pub = waitRemote("obs", "pub");
  ASSERT_EQ(MSG_RegisterNotificationRemote("obs", 0x500, 0x500, pub), 0);
  ASSERT_EQ(MSG_SendNotification("pub", msgTestMessage(0x500, 9, {77})), 0);
  EXPECT_EQ(msgTag(MSG_RecvMsg("obs", 0x500, 5000)), "500:77");
  ASSERT_EQ(MSG_SendMsg("obs", pub, msgTestMessage(0x501, 1, {1})), 0);
  reader.join();
}

}  // namespace
