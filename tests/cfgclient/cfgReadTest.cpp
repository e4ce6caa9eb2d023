// The client's start-up and reads against a scripted "ConfigSrvc" peer
// process: the exact ReadReq, value joining and cutting, the failure table
// (time-out, unparsable answer, answer with an error, send failure, null
// arguments) and that messages of other types are kept, not lost.
#include <cstring>

#include "platform/msgutil/msgIds.h"
#include "systemservice/syssrvCfgMsg.h"
#include "tests/cfgclient/cfgPeerFixture.h"

namespace {

using Clock = std::chrono::steady_clock;

ConfigIF::ReadRsp readRsp(const std::vector<std::string>& values, bool isDefault = false, int error = 0) {
  ConfigIF::ReadRsp rsp;
  for (const std::string& v : values) rsp.add_value(v);
  rsp.set_is_default(isDefault);
  if (error != 0) rsp.set_error(error);
  return rsp;
}

ConfigIF::ReadReq expectedRead(const std::string& name, int instance) {
  ConfigIF::ReadReq req;
  ConfigIF::Node* node = req.mutable_instance()->add_node();
  node->set_name(name);
  node->set_instance(instance);
  req.set_name("SystemSrvc");
  req.set_role(CommonIF::kSystem);
  return req;
}

// A write the peer answers, sent after a call under test: once it is
// answered, every request sent before it has been recorded.
ConfigIF::WriteReq expectedMarker() {
  ConfigIF::WriteReq req;
  req.set_name("SystemSrvc");
  req.set_role(CommonIF::kSystem);
  req.mutable_instance_val()->add_value("1");
  ConfigIF::Node* node = req.mutable_instance_val()->mutable_instance()->add_node();
  node->set_instance(0);
  node->set_name("test.marker");
  return req;
}

PeerStep markerStep() { return answer(ConfigIF::WriteRsp()); }

void sendMarker() { ASSERT_EQ(config_write("test.marker", "1", kSystem), 0); }

// ---- start-up ----

TEST_F(CfgClientTest, InitWithoutTheLocalEndpointFailsWithTheOpenCode) {
  EXPECT_EQ(syssrvCfgMsgInit("NoSuchLocal"), -1);
  std::vector<std::string> log = logLines();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(isLogLine(log[0], 3, "syssrvCfgMsgInit", "MSG_OpenRemoteSync failed, err=-1")) << log[0];
}

TEST_F(CfgClientTest, InitFindsTheServiceAndLogsNothing) {
  startFakePeer({answer(readRsp({"x"}))});
  char val[16];
  EXPECT_EQ(config_read("a.b", val, sizeof val, nullptr), 0);
  EXPECT_STREQ(val, "x");
  EXPECT_TRUE(logLines().empty());
}

// ---- the request ----

TEST_F(CfgClientTest, ReadSendsTheWholePathAsOneNodeWithItsInstanceAsSystem) {
  startFakePeer({answer(readRsp({"DHCP"}, true)), answer(readRsp({"y"}))});
  char val[32];
  bool isDefault = false;
  ASSERT_EQ(config_read_instance("system.network.wired.ipv4nic.mode", val, sizeof val, &isDefault, 2), 0);
  EXPECT_STREQ(val, "DHCP");
  EXPECT_TRUE(isDefault);
  ASSERT_EQ(config_read("video.monitor[1].signalType", val, sizeof val, &isDefault), 0);
  EXPECT_FALSE(isDefault);
  std::vector<PeerRecord> got = records();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_TRUE(sameRequest(got[0], expectedRead("system.network.wired.ipv4nic.mode", 2)));
  // Instance 0 is sent, not left out.
  EXPECT_TRUE(sameRequest(got[1], expectedRead("video.monitor[1].signalType", 0)));
  EXPECT_TRUE(logLines().empty());
}

// ---- values ----

TEST_F(CfgClientTest, MultiValuedReadIsJoinedByNewlines) {
  startFakePeer({answer(readRsp({"a", "b", "c"})), answer(readRsp({"a", "b", "c"}))});
  char val[16];
  memset(val, 'x', sizeof val);
  ASSERT_EQ(config_read("system.network.dnsserver", val, sizeof val, nullptr), 0);
  EXPECT_STREQ(val, "a\nb\nc");
  EXPECT_EQ(strlen(val), 5u);
  std::string s = "stale";
  ASSERT_EQ(config_read_inst_std_str("system.network.dnsserver", s, nullptr, 0), 0);
  EXPECT_EQ(s, "a\nb\nc");
}

TEST_F(CfgClientTest, ReadWithoutValuesGivesTheEmptyString) {
  startFakePeer({answer(readRsp({}, true)), answer(readRsp({}))});
  char val[8] = "stale";
  bool isDefault = false;
  ASSERT_EQ(config_read("x.y", val, sizeof val, &isDefault), 0);
  EXPECT_STREQ(val, "");
  EXPECT_TRUE(isDefault);
  std::string s = "stale";
  isDefault = true;
  ASSERT_EQ(config_read_inst_std_str("x.y", s, &isDefault, 0), 0);
  EXPECT_EQ(s, "");
  EXPECT_FALSE(isDefault);
}

TEST_F(CfgClientTest, ReadIntoASmallBufferCutsToLenMinusOne) {
  const std::string twenty = "abcdefghijklmnopqrst";
  startFakePeer({answer(readRsp({twenty})), answer(readRsp({"1234567"})), answer(readRsp({"12345678"})),
                 answer(readRsp({"abc"}))});
  char val[8];
  ASSERT_EQ(config_read("x.long", val, 8, nullptr), 0);
  EXPECT_EQ(std::string(val, 8), std::string("abcdefg\0", 8));
  ASSERT_EQ(config_read("x.fits", val, 8, nullptr), 0);
  EXPECT_STREQ(val, "1234567");
  ASSERT_EQ(config_read("x.one-over", val, 8, nullptr), 0);
  EXPECT_STREQ(val, "1234567");
  char one[1] = {'z'};
  ASSERT_EQ(config_read("x.none-fits", one, 1, nullptr), 0);
  EXPECT_EQ(one[0], '\0');
}

TEST_F(CfgClientTest, StdStringReadIsNotCut) {
  const std::string big(5000, 'v');
  startFakePeer({answer(readRsp({big, "w"}))});
  std::string s;
  ASSERT_EQ(config_read_inst_std_str("x.big", s, nullptr, 7), 0);
  EXPECT_EQ(s, big + "\nw");
  ASSERT_EQ(records().size(), 1u);
  EXPECT_TRUE(sameRequest(records()[0], expectedRead("x.big", 7)));
}

// ---- failure table ----

TEST_F(CfgClientTest, ReadAnsweredWithAnErrorReturnsZeroWithTheValueAndWarns) {
  startFakePeer({answer(readRsp({"part"}, false, -7)), answer(readRsp({}, false, -8))});
  char val[16];
  ASSERT_EQ(config_read("x.partial", val, sizeof val, nullptr), 0);
  EXPECT_STREQ(val, "part");
  ASSERT_EQ(config_read("x.empty", val, sizeof val, nullptr), 0);
  EXPECT_STREQ(val, "");
  std::vector<std::string> log = logLines();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_TRUE(isLogLine(log[0], 4, "config_read_inst_std_str", "response err=-7")) << log[0];
  EXPECT_TRUE(isLogLine(log[1], 4, "config_read_inst_std_str", "response err=-8")) << log[1];
}

TEST_F(CfgClientTest, ReadAnswerThatDoesNotParseFailsAndLeavesTheBufferEmpty) {
  startFakePeer({PeerStep().replyRaw(kMsgIdConfigIFReadRsp, "\xff\xff\xff\xff"),
                 PeerStep().replyRaw(kMsgIdConfigIFReadRsp, std::string("\x0a\x09short", 7))});
  char val[16] = "stale";
  bool isDefault = true;
  EXPECT_EQ(config_read("x.y", val, sizeof val, &isDefault), -1);
  EXPECT_STREQ(val, "");
  EXPECT_TRUE(isDefault);
  std::string s = "stale";
  EXPECT_EQ(config_read_inst_std_str("x.y", s, nullptr, 0), -1);
  EXPECT_EQ(s, "stale");
  std::vector<std::string> log = logLines();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_TRUE(isLogLine(log[0], 3, "config_read_inst_std_str", "failed to parse pbuf response")) << log[0];
  EXPECT_TRUE(isLogLine(log[1], 3, "config_read_inst_std_str", "failed to parse pbuf response")) << log[1];
}

TEST_F(CfgClientTest, UnansweredReadGivesUpAfterOneSecond) {
  startFakePeer({silent()});
  char val[16] = "stale";
  Clock::time_point t0 = Clock::now();
  EXPECT_EQ(config_read("system.info.model", val, sizeof val, nullptr), -1);
  long ms = msSince(t0);
  EXPECT_GE(ms, 990);
  EXPECT_LT(ms, 10000);
  EXPECT_STREQ(val, "");
  std::vector<std::string> log = logLines();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(isLogLine(log[0], 3, "config_read_inst_std_str", "MSG_RecvMsg system.info.model timeout")) << log[0];
  ASSERT_EQ(records().size(), 1u);
}

TEST_F(CfgClientTest, ReadIsMatchedByTypeSoAnotherResponseDoesNotEndIt) {
  ConfigIF::WriteRsp stray;
  stray.set_error(-3);
  startFakePeer({answer(stray)});
  char val[16];
  EXPECT_EQ(config_read("x.y", val, sizeof val, nullptr), -1);
  // The stray response is still there for the main loop.
  MSG_Message* held = MSG_RecvAnyMsg(kLocal, 1000);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(MSG_GetType(held), kMsgIdConfigIFWriteRsp);
  EXPECT_EQ(std::string(static_cast<const char*>(MSG_GetPayload(held)), MSG_GetPayloadBytes(held)),
            stray.SerializeAsString());
  MSG_ReleaseMsg(held);
}

TEST_F(CfgClientTest, NotificationArrivingDuringAReadIsKeptForTheMainLoop) {
  ConfigIF::ConfigChangedNtfy ntfy;
  ntfy.mutable_instance_val()->add_value("Manual");
  ConfigIF::Node* node = ntfy.mutable_instance_val()->mutable_instance()->add_node();
  node->set_name("system.network.wired.ipv4nic.mode");
  node->set_instance(0);
  ntfy.set_name("WebSrvc");
  ntfy.set_role(CommonIF::kAdmin);
  startFakePeer({PeerStep().reply(ntfy).reply(readRsp({"Manual"}))});
  char val[16];
  ASSERT_EQ(config_read("system.network.wired.ipv4nic.mode", val, sizeof val, nullptr), 0);
  EXPECT_STREQ(val, "Manual");
  MSG_Message* held = MSG_RecvAnyMsg(kLocal, 1000);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(MSG_GetType(held), kMsgIdConfigIFConfigChangedNtfy);
  EXPECT_EQ(std::string(static_cast<const char*>(MSG_GetPayload(held)), MSG_GetPayloadBytes(held)),
            ntfy.SerializeAsString());
  MSG_ReleaseMsg(held);
  EXPECT_EQ(MSG_RecvAnyMsg(kLocal, 0), nullptr);
}

TEST_F(CfgClientTest, ReadWithNullNameOrBufferSendsNothingAndLogsNothing) {
  startFakePeer({markerStep()});
  char val[8] = "stale";
  std::string s = "stale";
  EXPECT_EQ(config_read(nullptr, val, sizeof val, nullptr), -1);
  EXPECT_STREQ(val, "stale");
  EXPECT_EQ(config_read("x.y", nullptr, 8, nullptr), -1);
  EXPECT_EQ(config_read_instance(nullptr, val, sizeof val, nullptr, 1), -1);
  EXPECT_EQ(config_read_inst_std_str(nullptr, s, nullptr, 0), -1);
  EXPECT_EQ(s, "stale");
  // No room even for the terminator: nothing is written or sent.
  EXPECT_EQ(config_read("x.y", val, 0, nullptr), -1);
  EXPECT_STREQ(val, "stale");
  sendMarker();
  std::vector<PeerRecord> got = records();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_TRUE(sameRequest(got[0], expectedMarker()));
  EXPECT_TRUE(logLines().empty());
}

TEST_F(CfgClientTest, ReadThatCannotBeSentFailsWithMinusOne) {
  startFakePeer({});
  ASSERT_EQ(MSG_CloseLocal(kLocal), 0);
  char val[8] = "stale";
  EXPECT_EQ(config_read("x.y", val, sizeof val, nullptr), -1);
  EXPECT_STREQ(val, "");
  std::vector<std::string> log = logLines();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(isLogLine(log[0], 3, "config_read_inst_std_str", "MSG_SendMsg failed, err=-1")) << log[0];
  EXPECT_TRUE(records().empty());
}

}  // namespace
