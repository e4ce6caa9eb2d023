// Message layer: the handler table, dispatch and bad input, the Aspen
// time-zone case, send-and-wait, the reply and notification helpers, the
// PAC expiry callback.
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "ConfigIF.pb.h"
#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"
#include "tests/systemservice/call_trace.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvMessageReply.h"
#include "systemservice/syssrvMessageTable.h"
#include "tests/systemservice/test_handler_rows.h"
#include "tests/systemservice/test_main_fixture.h"

namespace {

const auto& kExpected = kHandlerRows;

// A payload no message class can parse: a field tag whose varint never ends.
const std::string kGarbage("\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff", 11);

bool traced(const std::string& entry) {
  for (const std::string& e : syssrvCallTrace()) {
    if (e == entry) return true;
  }
  return false;
}

TEST(MessageTable, AllRowsWithTypesAndNames) {
  ASSERT_EQ(kSyssrvHandlerCount, 32);
  for (int i = 0; i < 32; ++i) {
    SCOPED_TRACE(i + 1);
    EXPECT_EQ(kSyssrvHandlerTable[i].type, kExpected[i].type);
    EXPECT_STREQ(kSyssrvHandlerTable[i].name, kExpected[i].handler);
    EXPECT_NE(kSyssrvHandlerTable[i].handler, nullptr);
  }
  // Each row serves a type of its own.
  for (int i = 0; i < 32; ++i) {
    for (int j = i + 1; j < 32; ++j) EXPECT_NE(kSyssrvHandlerTable[i].type, kSyssrvHandlerTable[j].type);
  }
  EXPECT_STREQ(kSyssrvEndpoint, "SystemSrvc");
  EXPECT_STREQ(gpProcMonEndpoints[0], "ProcessMon");
  EXPECT_STREQ(gpProcMonEndpoints[1], "ToVelar1/ProcessMon");
  EXPECT_STREQ(gpProcMonEndpoints[2], "ToVelar2/ProcessMon");
}

TEST(MessageTable, RegisteringRowsOutOfRangeFails) {
  EXPECT_EQ(syssrvRegisterHandlers(0, 3), -1);
  EXPECT_EQ(syssrvRegisterHandlers(30, 33), -1);
  EXPECT_EQ(syssrvRegisterHandlers(5, 4), -1);
}

class MessageTest : public DaemonTest {
 protected:
  void SetUp() override {
    DaemonTest::SetUp();
    startConfig();
    openPeer("TestPeer");
  }
  // Nothing came back to the peer within a short wait.
  void expectNoReply() {
    MSG_Message* m = MSG_RecvAnyMsg("TestPeer", 100);
    EXPECT_EQ(m, nullptr) << "type 0x" << std::hex << (m ? MSG_GetType(m) : 0);
    if (m != nullptr) MSG_ReleaseMsg(m);
  }
};

TEST_F(MessageTest, EveryHandlerSurvivesAPayloadThatDoesNotParse) {
  ASSERT_EQ(syssrvRegisterHandlers(1, 32), 0);
  for (int i = 0; i < 32; ++i) {
    SCOPED_TRACE(kExpected[i].handler);
    syssrvCallTrace_clear();
    size_t logBefore = log().size();
    sendToService("TestPeer", kExpected[i].type, kGarbage);
    EXPECT_EQ(syssrvMessageLoop(2000), 0);
    // The registered handler ran: a module not built yet leaves its trace;
    // a built one logs its parse-error line. Neither answers, except the
    // out-of-box reset and the LAN status request, which never look at
    // their requests.
    std::string entry = std::string(kExpected[i].handler) + "(null," + std::to_string(kExpected[i].type) + ")";
    bool ran = traced(entry) || log().size() > logBefore;
    const MSG_Type unparsedAnswer = kExpected[i].type == kMsgIdSystemIFSetOobReq         ? kMsgIdSystemIFSetOobRsp
                                    : kExpected[i].type == kMsgIdSystemIFGetLanStatusReq ? kMsgIdSystemIFGetLanStatusRsp
                                                                                         : 0;
    if (unparsedAnswer != 0) {
      MSG_Message* m = MSG_RecvAnyMsg("TestPeer", 2000);
      ASSERT_NE(m, nullptr);
      EXPECT_EQ(MSG_GetType(m), unparsedAnswer);
      MSG_ReleaseMsg(m);
      ran = true;
    }
    EXPECT_TRUE(ran) << log().substr(logBefore);
    expectNoReply();
  }
  // The service still dispatches afterwards.
  syssrvCallTrace_clear();
  sendToService("TestPeer", kMsgIdSystemIFGetLanStatusReq, "");
  syssrvMessageLoop(2000);
  bool answered = false;
  if (MSG_Message* m = MSG_RecvAnyMsg("TestPeer", 500)) {
    answered = MSG_GetType(m) == kMsgIdSystemIFGetLanStatusRsp;
    MSG_ReleaseMsg(m);
  }
  EXPECT_TRUE(answered);
}

TEST_F(MessageTest, HandlerRunsOnlyForItsOwnRow) {
  ASSERT_EQ(syssrvRegisterHandlers(12, 12), 0);
  sendToService("TestPeer", kMsgIdSystemIFGetLanStatusReq, "");
  syssrvMessageLoop(2000);
  MSG_Message* rsp = MSG_RecvAnyMsg("TestPeer", 2000);
  ASSERT_NE(rsp, nullptr);
  EXPECT_EQ(MSG_GetType(rsp), kMsgIdSystemIFGetLanStatusRsp);
  MSG_ReleaseMsg(rsp);
  // Row 11 was not registered: its message is released unprocessed.
  syssrvCallTrace_clear();
  sendToService("TestPeer", kMsgIdSystemIFGetMasterVelarTimeReq, "");
  syssrvMessageLoop(2000);
  EXPECT_TRUE(syssrvCallTrace().empty());
  expectNoReply();
}

TEST_F(MessageTest, UnknownTypeIsReleasedAndTheLoopGoesOn) {
  ASSERT_EQ(syssrvRegisterHandlers(1, 25), 0);
  sendToService("TestPeer", 0x1B0FF0, kGarbage);
  sendToService("TestPeer", 0x7F0003, "");
  EXPECT_EQ(syssrvMessageLoop(2000), 0);
  EXPECT_EQ(syssrvMessageLoop(2000), 0);
  EXPECT_TRUE(syssrvCallTrace().empty());
  // Both were consumed: nothing is left for the next receive.
  EXPECT_EQ(syssrvMessageLoop(50), 0);
  EXPECT_TRUE(syssrvCallTrace().empty());
  expectNoReply();
}

TEST_F(MessageTest, NothingReceivedReturnsZero) { EXPECT_EQ(syssrvMessageLoop(20), 0); }

TEST_F(MessageTest, AspenAppliesTheConfiguredTimezoneOnRequest) {
  m_cfg->set("time.timezone", "Europe/Oslo");
  eModel = kAspen;
  sendToService("TestPeer", kMsgIdPlatformIFRequestTimeZoneCmd, "");
  syssrvMessageLoop(2000);
  EXPECT_EQ(syssrvCallTrace(), (std::vector<std::string>{"set_timezone(Europe/Oslo,0)"}));
  EXPECT_EQ(m_cfg->reads("time.timezone"), 1);
}

TEST_F(MessageTest, AspenTimezoneIsCutTo63Characters) {
  std::string longZone(100, 'Z');
  m_cfg->set("time.timezone", longZone);
  eModel = kAspen;
  sendToService("TestPeer", kMsgIdPlatformIFRequestTimeZoneCmd, "");
  syssrvMessageLoop(2000);
  EXPECT_EQ(syssrvCallTrace(), (std::vector<std::string>{"set_timezone(" + longZone.substr(0, 63) + ",0)"}));
}

TEST_F(MessageTest, OtherModelsIgnoreTheTimezoneRequest) {
  m_cfg->set("time.timezone", "Europe/Oslo");
  for (eModelT m : {kUnknownModel, kCedar, kBirch, kHalden}) {
    eModel = m;
    sendToService("TestPeer", kMsgIdPlatformIFRequestTimeZoneCmd, "");
    syssrvMessageLoop(2000);
  }
  EXPECT_TRUE(syssrvCallTrace().empty());
  EXPECT_EQ(m_cfg->reads("time.timezone"), 0);
  // Another type on an Aspen reads nothing either.
  eModel = kAspen;
  sendToService("TestPeer", kMsgIdPlatformIFMonitorNtfy, "");
  syssrvMessageLoop(2000);
  EXPECT_EQ(m_cfg->reads("time.timezone"), 0);
}

// ---- send-and-wait ----

TEST_F(MessageTest, SendWaitBadParameters) {
  SystemIF::GetLanStatusReq req;
  SystemIF::GetLanStatusRsp rsp;
  EXPECT_EQ(syssrvMessageSendWaitResponse(req, &rsp, "", 1000), -3);
  EXPECT_EQ(syssrvMessageSendWaitResponse(req, nullptr, "TestPeer", 1000), -3);
  // Nothing was sent.
  expectNoReply();
  EXPECT_NE(log().find("message: syssrvMessageSendWaitResponse() got invalid param\n"), std::string::npos)
      << log();
}

TEST_F(MessageTest, SendWaitTimesOutWithoutAnswer) {
  SystemIF::GetLanStatusReq req;
  SystemIF::GetLanStatusRsp rsp;
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(syssrvMessageSendWaitResponse(req, &rsp, "TestPeer", 300), -1);
  auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
  EXPECT_GE(waited.count(), 250);
  EXPECT_NE(log().find("message: syssrvMessageSendWaitResponse() MSG_RecvMsg timed out\n"), std::string::npos);
  // The request did reach the peer.
  MSG_Message* got = MSG_RecvAnyMsg("TestPeer", 1000);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(MSG_GetType(got), kMsgIdSystemIFGetLanStatusReq);
  MSG_ReleaseMsg(got);
}

TEST_F(MessageTest, SendWaitToAMissingEndpointFails) {
  SystemIF::GetLanStatusReq req;
  SystemIF::GetLanStatusRsp rsp;
  EXPECT_EQ(syssrvMessageSendWaitResponse(req, &rsp, "NoSuchService", 300), -1);
  EXPECT_NE(log().find("message: syssrvMessageSendWaitResponse() MSG_SendMsg failed with"), std::string::npos)
      << log();
}

// Answers one request on "TestPeer" with `payload` as the response.
void answerOnce(MSG_Type rspType, std::string payload) {
  MSG_Message* req = MSG_RecvAnyMsg("TestPeer", 5000);
  if (req == nullptr) return;
  MSG_Message* out = MSG_AllocMsgCopyHdr(req, rspType, static_cast<uint32_t>(payload.size()));
  if (!payload.empty()) memcpy(MSG_GetPayloadMutable(out), payload.data(), payload.size());
  MSG_SendMsg("TestPeer", MSG_GetSender(req), out);
  MSG_ReleaseMsg(req);
}

TEST_F(MessageTest, SendWaitReturnsTheParsedAnswer) {
  SystemIF::GetLanStatusRsp answer;
  answer.set_error(0);
  answer.set_lan_status_connected(true);
  answer.set_lan_speed("1000");
  answer.set_lan_duplex("full");
  std::thread peer(answerOnce, kMsgIdSystemIFGetLanStatusRsp, answer.SerializeAsString());
  SystemIF::GetLanStatusReq req;
  SystemIF::GetLanStatusRsp rsp;
  EXPECT_EQ(syssrvMessageSendWaitResponse(req, &rsp, "TestPeer", 5000), 0);
  peer.join();
  EXPECT_TRUE(rsp.lan_status_connected());
  EXPECT_EQ(rsp.lan_speed(), "1000");
  EXPECT_EQ(rsp.lan_duplex(), "full");
}

TEST_F(MessageTest, SendWaitWithAnAnswerThatDoesNotParse) {
  std::thread peer(answerOnce, kMsgIdSystemIFGetLanStatusRsp, kGarbage);
  SystemIF::GetLanStatusReq req;
  SystemIF::GetLanStatusRsp rsp;
  EXPECT_EQ(syssrvMessageSendWaitResponse(req, &rsp, "TestPeer", 5000), -1);
  peer.join();
  EXPECT_NE(log().find("message: syssrvMessageSendWaitResponse() ParseFromArray failed\n"), std::string::npos);
}

// ---- reply and notification helpers ----

TEST_F(MessageTest, ReplyGoesToTheSenderWithTheRequestSequence) {
  sendToService("TestPeer", kMsgIdSystemIFGetLanStatusReq, "");
  MSG_Message* req = MSG_RecvAnyMsg(kSyssrvEndpoint, 2000);
  ASSERT_NE(req, nullptr);
  SystemIF::GetLanStatusReq parsed;
  EXPECT_TRUE(syssrvParseRequest(req, &parsed));
  SystemIF::GetLanStatusRsp rsp;
  rsp.set_lan_speed("100");
  EXPECT_EQ(syssrvSendReply(req, kMsgIdSystemIFGetLanStatusRsp, rsp, "lan_status_req: Reply Send Error\n"), 0);
  uint32_t seq = MSG_GetSequence(req);
  MSG_ReleaseMsg(req);
  MSG_Message* got = MSG_RecvAnyMsg("TestPeer", 2000);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(MSG_GetType(got), kMsgIdSystemIFGetLanStatusRsp);
  EXPECT_EQ(MSG_GetSequence(got), seq);
  SystemIF::GetLanStatusRsp back;
  EXPECT_TRUE(back.ParseFromArray(MSG_GetPayload(got), static_cast<int>(MSG_GetPayloadBytes(got))));
  EXPECT_EQ(back.lan_speed(), "100");
  MSG_ReleaseMsg(got);
  // An empty answer is still an answer.
  sendToService("TestPeer", kMsgIdSystemIFGetLanStatusReq, "");
  req = MSG_RecvAnyMsg(kSyssrvEndpoint, 2000);
  ASSERT_NE(req, nullptr);
  EXPECT_EQ(syssrvSendReply(req, kMsgIdSystemIFGetLanStatusRsp, SystemIF::GetLanStatusRsp(), "x\n"), 0);
  MSG_ReleaseMsg(req);
  got = MSG_RecvAnyMsg("TestPeer", 2000);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(MSG_GetPayloadBytes(got), 0u);
  MSG_ReleaseMsg(got);
}

TEST_F(MessageTest, ReplyFailureLogsTheHandlersText) {
  SystemIF::GetLanStatusRsp rsp;
  EXPECT_EQ(syssrvSendReply(nullptr, kMsgIdSystemIFGetLanStatusRsp, rsp, "SystemIFGetSystemTimeReq: Reply Send Error\n"),
            -1);
  EXPECT_NE(log().find("SystemIFGetSystemTimeReq: Reply Send Error\n"), std::string::npos) << log();
}

TEST_F(MessageTest, ParseRequestRefusesBadInput) {
  SystemIF::GetLanStatusRsp out;
  EXPECT_FALSE(syssrvParseRequest(nullptr, &out));
  MSG_Message* m = MSG_AllocMsg(kMsgIdSystemIFGetLanStatusRsp, 0, static_cast<uint32_t>(kGarbage.size()));
  memcpy(MSG_GetPayloadMutable(m), kGarbage.data(), kGarbage.size());
  EXPECT_FALSE(syssrvParseRequest(m, &out));
  MSG_ReleaseMsg(m);
}

TEST_F(MessageTest, NotificationReachesSubscribers) {
  MSG_Endpoint svc = MSG_GetRemoteId("TestPeer", kSyssrvEndpoint);
  ASSERT_NE(svc, 0u);
  ASSERT_EQ(MSG_RegisterNotificationRemote("TestPeer", kMsgIdSystemIFAppStatusAlertNtfy,
                                           kMsgIdSystemIFAppStatusAlertNtfy, svc),
            0);
  // The subscription travels to the service's endpoint; let it be read.
  syssrvMessageLoop(200);
  SystemIF::AppStatusAlertNtfy n;
  n.set_alert_source(SystemIF::kSyslogDaemonAlertSource);
  n.set_alert_type(SystemIF::kConnectionDownAlert);
  EXPECT_EQ(syssrvSendNotification(kMsgIdSystemIFAppStatusAlertNtfy, 0, n, "SystemIFAppStatusAlertNtfy"), 0);
  MSG_Message* got = MSG_RecvAnyMsg("TestPeer", 2000);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(MSG_GetType(got), kMsgIdSystemIFAppStatusAlertNtfy);
  EXPECT_EQ(MSG_GetSequence(got), 0u);
  SystemIF::AppStatusAlertNtfy back;
  EXPECT_TRUE(back.ParseFromArray(MSG_GetPayload(got), static_cast<int>(MSG_GetPayloadBytes(got))));
  EXPECT_EQ(back.alert_source(), SystemIF::kSyslogDaemonAlertSource);
  EXPECT_EQ(back.alert_type(), SystemIF::kConnectionDownAlert);
  MSG_ReleaseMsg(got);
}

TEST_F(MessageTest, TimerFuncAsksForANewExpiryTime) {
  timerFunc(nullptr);
  using W = std::pair<std::string, std::string>;
  EXPECT_EQ(m_cfg->writes(), (std::vector<W>{{"system.proxy.pacfile.expirytime", "NEWTIME_REQUEST"}}));
  EXPECT_NE(log().find("SysrvWpad: timerFunc:On expiry Timer func invoked.\n"), std::string::npos) << log();
}

}  // namespace
