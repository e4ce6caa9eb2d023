// Waiting for remotes: the synchronous open and the open callbacks.
#include <thread>

#include "tests/msg/msgTestFixture.h"
#include "tests/msg/msgTestTypes.h"

namespace {

using Clock = std::chrono::steady_clock;

struct OpenRecord {
  int calls = 0;
  const MSG_Message* lastMsg = reinterpret_cast<const MSG_Message*>(1);
  std::thread::id thread;
};

void onOpen(void* ctx, const MSG_Message* msg) {
  OpenRecord* r = static_cast<OpenRecord*>(ctx);
  ++r->calls;
  r->lastMsg = msg;
  r->thread = std::this_thread::get_id();
}

// Receives on `local` until `r` has seen `calls` callbacks (5 s at most).
bool pumpUntil(const char* local, const OpenRecord& r, int calls) {
  auto t0 = Clock::now();
  while (r.calls < calls && msgMsSince(t0) < 5000) {
    MSG_Message* m = MSG_RecvAnyMsg(local, 100);
    if (m != nullptr) MSG_ReleaseMsg(m);
  }
  return r.calls == calls;
}

TEST_F(MsgTest, OpenRemoteSyncTimesOutWhenTheRemoteNeverComes) {
  openLocal("t");
  MSG_Endpoint id = 77;
  auto t0 = Clock::now();
  EXPECT_NE(MSG_OpenRemoteSync("t", "nobody", 300, &id), 0);
  long took = msgMsSince(t0);
  EXPECT_GE(took, 290);
  EXPECT_LT(took, 5000);
  EXPECT_EQ(id, 77u);  // untouched on failure
  EXPECT_NE(MSG_OpenRemoteSync("not-open", "nobody", 0, &id), 0);
}

TEST_F(MsgTest, OpenRemoteSyncWithoutLimitWaitsForALateRemote) {
  openLocal("t");
  startPeer({"service", "late", "300"});
  MSG_Endpoint id = 0;
  auto t0 = Clock::now();
  ASSERT_EQ(MSG_OpenRemoteSync("t", "late", -1, &id), 0);
  EXPECT_GE(msgMsSince(t0), 250);
  ASSERT_NE(id, 0u);
  MSG_Message* rsp = request("t", id, kTestEcho, {3}, kTestEchoRsp);
  ASSERT_NE(rsp, nullptr);  // it accepts at once
  MSG_ReleaseMsg(rsp);
}

TEST_F(MsgTest, OpenCallbackRunsForARemoteThatExistsAlreadyOnce) {
  openLocal("t");
  startPeer({"service", "svc"});
  ASSERT_NE(waitRemote("t", "svc"), 0u);
  OpenRecord r;
  MSG_Callback cb = {onOpen, &r, 0, 0, 0};
  ASSERT_EQ(MSG_OpenRemoteAsync("t", "svc", &cb, 0), 0);
  EXPECT_EQ(r.calls, 0);  // never inside the registering call
  EXPECT_EQ(MSG_RecvAnyMsg("t", 0), nullptr);
  EXPECT_EQ(r.calls, 1);
  EXPECT_EQ(r.lastMsg, nullptr);
  EXPECT_EQ(r.thread, std::this_thread::get_id());
  EXPECT_EQ(MSG_RecvAnyMsg("t", 300), nullptr);
  EXPECT_EQ(r.calls, 1);
}

TEST_F(MsgTest, OpenCallbackFollowsTheRemoteThroughRestartsButNeverRunsInRecvMsg) {
  openLocal("t");
  OpenRecord r;
  MSG_Callback cb = {onOpen, &r, 0, 0, 0};
  ASSERT_EQ(MSG_OpenRemoteAsync("t", "svc", &cb, 0), 0);
  EXPECT_EQ(MSG_RecvAnyMsg("t", 200), nullptr);
  EXPECT_EQ(r.calls, 0);  // not there yet

  // Appears long after the call. A synchronous receive, as a handler waiting
  // for a reply does, must not run the callback.
  pid_t pid = startPeer({"service", "svc"});
  ASSERT_NE(waitRemote("t", "svc"), 0u);
  EXPECT_EQ(MSG_RecvMsg("t", kTestEchoRsp, 300), nullptr);
  EXPECT_EQ(r.calls, 0);
  ASSERT_TRUE(pumpUntil("t", r, 1));
  EXPECT_EQ(r.thread, std::this_thread::get_id());

  // Killed and started again: the new socket replaces the stale one.
  killPeer(pid);
  pid = startPeer({"service", "svc"});
  ASSERT_TRUE(pumpUntil("t", r, 2));

  // Closed cleanly and opened again.
  ASSERT_EQ(MSG_SendMsg("t", MSG_GetRemoteId("t", "svc"), msgTestMessage(kTestQuit, 0, {})), 0);
  ASSERT_EQ(waitPeer(pid, 5000), 0);
  EXPECT_EQ(MSG_RecvAnyMsg("t", 200), nullptr);
  EXPECT_EQ(r.calls, 2);  // closing is not opening
  startPeer({"service", "svc"});
  ASSERT_TRUE(pumpUntil("t", r, 3));
  EXPECT_EQ(MSG_RecvAnyMsg("t", 300), nullptr);
  EXPECT_EQ(r.calls, 3);
}

TEST_F(MsgTest, OpenCallbackRunsBeforeTheMessageIsReturned) {
  openLocal("t");
  static OpenRecord r;
  r = OpenRecord();
  // The callback itself talks to the remote that just opened.
  MSG_Callback cb = {[](void* ctx, const MSG_Message* m) {
                       onOpen(ctx, m);
                       MSG_Endpoint id = MSG_GetRemoteId("t", "svc");
                       MSG_SendMsg("t", id, msgTestMessage(kTestBurst, 0, {kTestExtra}));
                     },
                     &r, 0, 0, 0};
  ASSERT_EQ(MSG_OpenRemoteAsync("t", "svc", &cb, 0), 0);
  startPeer({"service", "svc"});
  MSG_Message* m = MSG_RecvAnyMsg("t", 5000);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(MSG_GetType(m), kTestExtra);
  EXPECT_EQ(r.calls, 1);
  MSG_ReleaseMsg(m);
}

}  // namespace
