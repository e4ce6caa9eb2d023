// Notifications between processes: subscriptions, restarts, dead subscribers.
#include "tests/msg/msgTestFixture.h"
#include "tests/msg/msgTestTypes.h"

namespace {

using Clock = std::chrono::steady_clock;

// "type:index" of every message held on `local` right now, in order.
std::vector<std::string> drain(const char* local) {
  std::vector<std::string> out;
  while (MSG_Message* m = MSG_RecvAnyMsg(local, 0)) {
    char buf[32];
    std::vector<uint32_t> w = msgTestWords(m);
    snprintf(buf, sizeof buf, "%x:%u", MSG_GetType(m), w.empty() ? 99u : w[0]);
    out.push_back(buf);
    MSG_ReleaseMsg(m);
  }
  return out;
}

// Asks publisher `pub` to publish `types`; its answer comes after the
// notifications on the same connection, so when it is here they are too.
// Returns how many notifications it sent without error, -1 without answer.
int publish(const char* local, MSG_Endpoint pub, const std::vector<uint32_t>& types) {
  if (MSG_SendMsg(local, pub, msgTestMessage(kTestPublish, 0, types)) != 0) return -1;
  MSG_Message* rsp = MSG_RecvMsg(local, kTestPublished, 5000);
  if (rsp == nullptr) return -1;
  int ok = static_cast<int>(msgTestWords(rsp).at(0));
  MSG_ReleaseMsg(rsp);
  return ok;
}

struct SubscribeOnOpen {
  const char* local;
  const char* remote;
  MSG_Type min;
  MSG_Type max;
  int runs = 0;
  int failures = 0;
};

void subscribeOnOpen(void* ctx, const MSG_Message*) {
  SubscribeOnOpen* s = static_cast<SubscribeOnOpen*>(ctx);
  ++s->runs;
  MSG_Endpoint id = MSG_GetRemoteId(s->local, s->remote);
  if (id == 0 || MSG_RegisterNotificationRemote(s->local, s->min, s->max, id) != 0) ++s->failures;
}

bool pumpUntilRuns(const char* local, const SubscribeOnOpen& s, int runs) {
  auto t0 = Clock::now();
  while (s.runs < runs && msgMsSince(t0) < 5000) {
    MSG_Message* m = MSG_RecvAnyMsg(local, 100);
    if (m != nullptr) MSG_ReleaseMsg(m);
  }
  return s.runs == runs;
}

const std::vector<uint32_t> kMixed = {0x1FF, 0x200, 0x250, 0x2FF, 0x300};
const std::vector<std::string> kInRange = {"200:1", "250:2", "2ff:3"};

TEST_F(MsgTest, PublisherStartingLateAndRestartingKeepsItsSubscriber) {
  openLocal("sub");
  SubscribeOnOpen s = {"sub", "pub", 0x200, 0x2FF};
  MSG_Callback cb = {subscribeOnOpen, &s, 0, 0, 0};
  ASSERT_EQ(MSG_OpenRemoteAsync("sub", "pub", &cb, 0), 0);
  pid_t pid = startPeer({"service", "pub"});
  ASSERT_TRUE(pumpUntilRuns("sub", s, 1));
  EXPECT_EQ(s.failures, 0);
  MSG_Endpoint pub = MSG_GetRemoteId("sub", "pub");
  ASSERT_EQ(publish("sub", pub, kMixed), 5);
  EXPECT_EQ(drain("sub"), kInRange);

  killPeer(pid);
  startPeer({"service", "pub"});
  ASSERT_TRUE(pumpUntilRuns("sub", s, 2));
  EXPECT_EQ(s.failures, 0);
  // Re-subscribed twice (by the callback and by the library's own renewal),
  // yet each notification arrives once.
  ASSERT_EQ(publish("sub", pub, kMixed), 5);
  EXPECT_EQ(drain("sub"), kInRange);
}

TEST_F(MsgTest, SubscriptionIsRenewedWhenThePublisherRestarts) {
  openLocal("sub");
  pid_t pid = startPeer({"service", "pub"});
  MSG_Endpoint pub = waitRemote("sub", "pub");
  ASSERT_NE(pub, 0u);
  ASSERT_EQ(MSG_RegisterNotificationRemote("sub", 0x200, 0x2FF, pub), 0);
  ASSERT_EQ(publish("sub", pub, kMixed), 5);
  EXPECT_EQ(drain("sub"), kInRange);

  killPeer(pid);
  startPeer({"service", "pub"});
  ASSERT_EQ(waitRemote("sub", "pub"), pub);
  // Any receive takes in the directory event and renews the subscription,
  // ahead of the next request on the same connection.
  EXPECT_EQ(MSG_RecvAnyMsg("sub", 0), nullptr);
  ASSERT_EQ(publish("sub", pub, kMixed), 5);
  EXPECT_EQ(drain("sub"), kInRange);
}

TEST_F(MsgTest, OverlappingAndRepeatedSubscriptionsDeliverOnce) {
  openLocal("sub");
  startPeer({"service", "pub"});
  MSG_Endpoint pub = waitRemote("sub", "pub");
  ASSERT_NE(pub, 0u);
  ASSERT_EQ(MSG_RegisterNotificationRemote("sub", 0x200, 0x2FF, pub), 0);
  ASSERT_EQ(MSG_RegisterNotificationRemote("sub", 0x200, 0x2FF, pub), 0);
  ASSERT_EQ(MSG_RegisterNotificationRemote("sub", 0x250, 0x260, pub), 0);
  ASSERT_EQ(MSG_RegisterNotificationRemote("sub", 0x300, 0x300, pub), 0);
  ASSERT_EQ(publish("sub", pub, {0x255, 0x300, 0x301}), 3);
  EXPECT_EQ(drain("sub"), (std::vector<std::string>{"255:0", "300:1"}));
}

TEST_F(MsgTest, SubscriptionToAnUnknownIdIsRefused) {
  openLocal("sub");
  EXPECT_NE(MSG_RegisterNotificationRemote("sub", 1, 2, 0), 0);
  EXPECT_NE(MSG_RegisterNotificationRemote("sub", 1, 2, 0x7ffffff0), 0);
}

TEST_F(MsgTest, SubscriberThatDiedIsDroppedAndTheOthersStillServed) {
  openLocal("t");
  startPeer({"service", "pub"});
  MSG_Endpoint pub = waitRemote("t", "pub");
  ASSERT_NE(pub, 0u);
  pid_t s1 = startPeer({"subscriber", "s1", "pub", "0x200", "0x2FF", "t"});
  startPeer({"subscriber", "s2", "pub", "0x200", "0x2FF", "t"});
  // Both tell us once they have subscribed.
  for (int i = 0; i < 2; ++i) {
    MSG_Message* m = MSG_RecvMsg("t", kTestSubscribed, 5000);
    ASSERT_NE(m, nullptr);
    MSG_ReleaseMsg(m);
  }
  killPeer(s1);
  for (int round = 0; round < 2; ++round) {
    // The sends to the dead one fail, yet each notification is reported sent.
    ASSERT_EQ(publish("t", pub, {0x200, 0x2AB}), 2);
    std::vector<std::string> got;
    auto t0 = Clock::now();
    while (got.size() < 2 && msgMsSince(t0) < 5000) {
      MSG_Message* m = MSG_RecvAnyMsg("t", 100);
      if (m == nullptr) continue;
      char buf[32];
      snprintf(buf, sizeof buf, "%x:%u", MSG_GetType(m), msgTestWords(m).at(0));
      got.push_back(buf);
      MSG_ReleaseMsg(m);
    }
    EXPECT_EQ(got, (std::vector<std::string>{"200:0", "2ab:1"})) << "round " << round;
  }
  EXPECT_EQ(MSG_RecvAnyMsg("t", 200), nullptr);  // nothing twice
}

TEST_F(MsgTest, SubscriptionThatArrivedBeforeTheNotificationIsHonoured) {
  // We publish on "pub" and never receive there; the subscriber reports to
  // "obs". Only the look at arrived frames inside MSG_SendNotification can
  // know of the subscription.
  openLocal("pub");
  openLocal("obs");
  startPeer({"subscriber", "s1", "pub", "0x500", "0x500", "obs"});
  MSG_Message* m = MSG_RecvMsg("obs", kTestSubscribed, 5000);
  ASSERT_NE(m, nullptr);
  MSG_ReleaseMsg(m);
  ASSERT_EQ(MSG_SendNotification("pub", msgTestMessage(0x500, 9, {77})), 0);
  m = MSG_RecvMsg("obs", 0x500, 5000);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(MSG_GetSequence(m), 9u);
  EXPECT_EQ(msgTestWords(m), std::vector<uint32_t>{77});
  MSG_ReleaseMsg(m);
}

TEST_F(MsgTest, NotificationWithoutSubscribersIsNotAnError) {
  openLocal("t");
  EXPECT_EQ(MSG_SendNotification("t", msgTestMessage(0x200, 0, {1})), 0);
  EXPECT_NE(MSG_SendNotification("t", nullptr), 0);
}

}  // namespace
