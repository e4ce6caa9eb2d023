#include "tests/systemservice/test_lan_fixture.h"

#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "tests/systemservice/call_trace.h"
#include "systemservice/syssrvDhcp.h"
#include "systemservice/syssrvLan.h"

void LanTest::SetUp() {
  CallbacksTest::SetUp();
  syssrvLan_testing_reset();
  peer().set(kDevVar, "eth0");
  ASSERT_EQ(MSG_OpenLocal(kWatcher), 0);
  MSG_Endpoint svc = MSG_GetRemoteId(kWatcher, kLocal);
  ASSERT_NE(svc, 0u);
  ASSERT_EQ(MSG_RegisterNotificationRemote(kWatcher, kMsgIdSystemIFLanStatusChangeNtfy,
                                           kMsgIdSystemIFLanStatusChangeNtfy, svc),
            0);
  // Let the subscription reach the daemon's endpoint.
  if (MSG_Message* stray = MSG_RecvAnyMsg(kLocal, 100)) MSG_ReleaseMsg(stray);
  forget();
}

void LanTest::TearDown() {
  syssrvLan_testing_reset();
  MSG_CloseLocal(kWatcher);
  CallbacksTest::TearDown();
}

void LanTest::carrier(const std::string& bytes) { rec().put_file("/sys/class/net/eth0/carrier", bytes); }

void LanTest::primeCarrier(const std::string& bytes) {
  carrier(bytes);
  poll();
  poll();
  notifications(50);
  forget();
}

int LanTest::poll(int start) {
  int state = start;
  check_lan_status(&state);
  return state;
}

std::vector<bool> LanTest::notifications(int waitMs) {
  std::vector<bool> out;
  while (MSG_Message* m = MSG_RecvAnyMsg(kWatcher, waitMs)) {
    EXPECT_EQ(MSG_GetType(m), kMsgIdSystemIFLanStatusChangeNtfy);
    SystemIF::LanStatusChangeNtfy n;
    EXPECT_TRUE(n.ParseFromArray(MSG_GetPayload(m), static_cast<int>(MSG_GetPayloadBytes(m))));
    // The one field is always sent, true or false.
    EXPECT_TRUE(n.has_lan_status_connected());
    out.push_back(n.lan_status_connected());
    MSG_ReleaseMsg(m);
    waitMs = 50;
  }
  return out;
}

bool LanTest::logged(int level, const std::string& text) const { return countLogged(level, text) > 0; }

int LanTest::countLogged(int level, const std::string& text) const {
  const std::string want = "<" + std::to_string(level) + ">syssrv: hd[0]: " + text;
  std::vector<std::string> lines = logLines();
  int n = 0;
  for (size_t i = m_logSkip; i < lines.size(); ++i) {
    if (lines[i] == want) ++n;
  }
  return n;
}

void LanTest::forget() {
  peer().clearRequests();
  rec().clear();
  syssrvCallTrace_clear();
  m_logSkip = logLines().size();
}
