// syssrvctl call/send/list against real msg_echo processes and against
// endpoints this test serves itself.
#include <signal.h>

#include <chrono>
#include <regex>

#include <gtest/gtest.h>

#include "ConfigIF.pb.h"
#include "DemoIF.pb.h"
#include "SystemIF.pb.h"
#include "platform/msg/MSG.h"
#include "platform/msgutil/msgUtil.h"
#include "tests/ctl/ctlTestUtil.h"

namespace {

// Starts msg_echo under `name` and waits until it serves.
void startEcho(CtlChild* echo, const std::string& name) {
  ASSERT_TRUE(echo->start(kMsgEchoBin, {"--name", name}));
  ASSERT_TRUE(echo->waitForText("msg_echo: serving " + name + "\n")) << echo->err();
}

// An endpoint served by the test itself, to see exactly what syssrvctl sends
// and to answer with exactly what the test wants.
class LocalEndpoint {
 public:
  explicit LocalEndpoint(const std::string& name) : m_name(name) { m_ok = MSG_OpenLocal(name.c_str()) == 0; }
  ~LocalEndpoint() {
    if (m_ok) MSG_CloseLocal(m_name.c_str());
  }
  bool ok() const { return m_ok; }
  const char* name() const { return m_name.c_str(); }

 private:
  std::string m_name;
  bool m_ok;
};

}  // namespace

TEST(CtlCall, EchoRoundTripPrintsTheReply) {
  CtlChild echo;
  startEcho(&echo, "EchoA");
  CtlRun r = ctlRun({"call", "DemoIF.EchoReq", "text: \"hello appliance\"", "--to", "EchoA"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "text: \"hello appliance\"\nserved_by: \"EchoA\"\n");
  EXPECT_EQ(r.err, "");

  // "::" names, fields split over several words, --opt=value, --as.
  r = ctlRun({"call", "DemoIF::EchoReq", "text:", "\"two words\"", "--to=EchoA", "--as", "Tester1",
              "--timeout=10000"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "text: \"two words\"\nserved_by: \"EchoA\"\n");

  // A hostile text travels byte for byte and is printed escaped.
  r = ctlRun({"call", "DemoIF.EchoReq", "text: \"a;b`c`\\n\\\"q\\\" $(x)\"", "--to", "EchoA"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "text: \"a;b`c`\\n\\\"q\\\" $(x)\"\nserved_by: \"EchoA\"\n");

  // An empty request is a valid request.
  r = ctlRun({"call", "DemoIF.EchoReq", "--to", "EchoA"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "served_by: \"EchoA\"\n");
}

TEST(CtlCall, ExpectNamesTheReplyClass) {
  CtlChild echo;
  startEcho(&echo, "EchoB");
  CtlRun r = ctlRun({"call", "DemoIF.EchoReq", "text: \"x\"", "--to", "EchoB", "--expect", "DemoIF::EchoRsp"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "text: \"x\"\nserved_by: \"EchoB\"\n");

  // Waiting for a class the peer never sends is a non-answer.
  r = ctlRun({"call", "DemoIF.EchoReq", "text: \"x\"", "--to", "EchoB", "--expect", "SystemIF.GetLanStatusRsp",
              "--timeout", "300"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "syssrvctl: no answer from EchoB: SystemIF.GetLanStatusRsp did not come within 300 ms\n");
}

TEST(CtlCall, NoAnswerExitsOneAfterTheTimeout) {
  CtlChild echo;
  startEcho(&echo, "EchoC");
  // msg_echo has no handler for this request and stays silent.
  auto t0 = std::chrono::steady_clock::now();
  CtlRun r = ctlRun({"call", "SystemIF::GetLanStatusReq", "--to", "EchoC", "--timeout", "400"});
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "syssrvctl: no answer from EchoC: SystemIF.GetLanStatusRsp did not come within 400 ms\n");
  EXPECT_GE(ms, 400);
  EXPECT_LT(ms, kCtlTestHangMs);
  // The silent peer is still fine afterwards.
  r = ctlRun({"call", "DemoIF.EchoReq", "text: \"still here\"", "--to", "EchoC"});
  EXPECT_EQ(r.status, 0) << r.err;
}

// The test serves the request itself: it checks the nested/repeated request
// as received and answers with a nested/repeated reply.
TEST(CtlCall, NestedRequestAndReplyThroughAServedEndpoint) {
  LocalEndpoint srv("CtlSrvD");
  ASSERT_TRUE(srv.ok());
  CtlChild call;
  ASSERT_TRUE(call.start(kSyssrvctlBin,
                         {"call", "ConfigIF.ReadReq",
                          "name: \"video.monitor.signalType\" role: kAdmin "
                          "instance { node { name: \"video.monitor\" instance: 1 } node { name: \"signalType\" } }",
                          "--to", "CtlSrvD", "--as", "CtlCallerD"}));
  MSG_Message* req = MSG_RecvAnyMsg(srv.name(), kCtlTestHangMs);
  ASSERT_NE(req, nullptr);
  EXPECT_EQ(MSG_GetType(req), msgUtil_getMsgId(ConfigIF::ReadReq()));
  ConfigIF::ReadReq got;
  ASSERT_TRUE(got.ParseFromArray(MSG_GetPayload(req), static_cast<int>(MSG_GetPayloadBytes(req))));
  EXPECT_EQ(got.name(), "video.monitor.signalType");
  EXPECT_EQ(got.role(), CommonIF::kAdmin);
  ASSERT_EQ(got.instance().node_size(), 2);
  EXPECT_EQ(got.instance().node(0).name(), "video.monitor");
  EXPECT_EQ(got.instance().node(0).instance(), 1);
  EXPECT_EQ(got.instance().node(1).name(), "signalType");
  EXPECT_FALSE(got.instance().node(1).has_instance());
  // --as names the sender.
  EXPECT_EQ(MSG_GetSender(req), MSG_GetRemoteId(srv.name(), "CtlCallerD"));

  ConfigIF::ReadRsp rsp;
  rsp.add_value("HDMI");
  rsp.add_value("DVI");
  rsp.set_error(0);
  *rsp.mutable_instance() = got.instance();
  MSG_Message* reply = MSG_AllocMsgCopyHdr(req, msgUtil_getMsgId(rsp), static_cast<uint32_t>(rsp.ByteSizeLong()));
  ASSERT_NE(reply, nullptr);
  ASSERT_TRUE(rsp.SerializeToArray(MSG_GetPayloadMutable(reply), static_cast<int>(rsp.ByteSizeLong())));
  EXPECT_EQ(MSG_SendMsg(srv.name(), MSG_GetSender(req), reply), 0);
  MSG_ReleaseMsg(req);

  ASSERT_TRUE(call.wait());
  EXPECT_EQ(call.status(), 0) << call.err();
  EXPECT_EQ(call.out(),
            "value: \"HDMI\"\n"
            "value: \"DVI\"\n"
            "error: 0\n"
            "instance {\n"
            "  node {\n"
            "    name: \"video.monitor\"\n"
            "    instance: 1\n"
            "  }\n"
            "  node {\n"
            "    name: \"signalType\"\n"
            "  }\n"
            "}\n");
  EXPECT_EQ(call.err(), "");
}

TEST(CtlSend, CommandArrivesWithItsFields) {
  LocalEndpoint sink("CtlSinkE");
  ASSERT_TRUE(sink.ok());
  CtlRun r = ctlRun({"send", "ConfigIF.BatchWriteReq",
                     "name: \"b\" submit_name: \"system.network.submit\" "
                     "entry { name: \"system.network.wired.ipv4nic.mode\" value: \"DHCP\" } "
                     "entry { name: \"dns.server\" instance: 2 value: \"10.0.0.1\" value: \"10.0.0.2\" }",
                     "--to", "CtlSinkE"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  MSG_Message* m = MSG_RecvAnyMsg(sink.name(), kCtlTestHangMs);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(MSG_GetType(m), msgUtil_getMsgId(ConfigIF::BatchWriteReq()));
  ConfigIF::BatchWriteReq got;
  ASSERT_TRUE(got.ParseFromArray(MSG_GetPayload(m), static_cast<int>(MSG_GetPayloadBytes(m))));
  MSG_ReleaseMsg(m);
  ConfigIF::BatchWriteReq want;
  want.set_name("b");
  want.set_submit_name("system.network.submit");
  auto* e1 = want.add_entry();
  e1->set_name("system.network.wired.ipv4nic.mode");
  e1->add_value("DHCP");
  auto* e2 = want.add_entry();
  e2->set_name("dns.server");
  e2->set_instance(2);
  e2->add_value("10.0.0.1");
  e2->add_value("10.0.0.2");
  EXPECT_EQ(got.SerializeAsString(), want.SerializeAsString()) << got.ShortDebugString();

  // A Cmd sent with --to, the way the daemon receives SetInCallCmd.
  r = ctlRun({"send", "SystemIF::SetSystemTimezoneAndTimeCmd", "timezone: \"Europe/Oslo\" time_value: 1700000000",
              "--to", "CtlSinkE"});
  EXPECT_EQ(r.status, 0) << r.err;
  m = MSG_RecvAnyMsg(sink.name(), kCtlTestHangMs);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(MSG_GetType(m), 0x1B02F2u);
  SystemIF::SetSystemTimezoneAndTimeCmd cmd;
  ASSERT_TRUE(cmd.ParseFromArray(MSG_GetPayload(m), static_cast<int>(MSG_GetPayloadBytes(m))));
  MSG_ReleaseMsg(m);
  EXPECT_EQ(cmd.timezone(), "Europe/Oslo");
  EXPECT_EQ(cmd.time_value(), 1700000000);
}

// Every bad input: exit 2, nothing on stdout, exactly one line on stderr.
TEST(CtlBadInput, OneLineAndExitTwo) {
  CtlChild echo;
  startEcho(&echo, "EchoF");
  struct Case {
    std::vector<std::string> args;
    const char* err;
  } cases[] = {
      {{}, "syssrvctl: missing command (try 'syssrvctl --help')"},
      {{"frobnicate"}, "syssrvctl: unknown command 'frobnicate' (try 'syssrvctl --help')"},
      {{"call"}, "syssrvctl: call: missing message type (see 'syssrvctl list')"},
      {{"call", "SystemIF.NoSuchReq", "--to", "EchoF"},
       "syssrvctl: unknown message SystemIF.NoSuchReq (see 'syssrvctl list')"},
      {{"call", "DemoIF.EchoReq", "txt: \"x\"", "--to", "EchoF"},
       "syssrvctl: cannot parse fields for DemoIF.EchoReq: line 1 column 4: Message type \"DemoIF.EchoReq\" has "
       "no field named \"txt\"."},
      {{"call", "DemoIF.EchoReq", "text: \"x", "--to", "EchoF"}, nullptr},
      {{"call", "DemoIF.EchoReq", "text: \"x\"", "--to", "NoSuchSrvc"},
       "syssrvctl: unknown endpoint NoSuchSrvc (nothing serves that name)"},
      {{"call", "DemoIF.EchoReq", "--to", "EchoF", "--expect", "DemoIF.NoSuchRsp"},
       "syssrvctl: unknown message DemoIF.NoSuchRsp (see 'syssrvctl list')"},
      {{"call", "SystemIF.LanStatusChangeNtfy", "--to", "EchoF"},
       "syssrvctl: no reply class known for SystemIF.LanStatusChangeNtfy; name it with --expect"},
      {{"call", "DemoIF.EchoReq", "--to", "EchoF", "--timeout", "soon"},
       "syssrvctl: call: option --timeout needs a non-negative number, not 'soon'"},
      {{"call", "DemoIF.EchoReq", "--to"}, "syssrvctl: call: option --to needs a value"},
      {{"call", "DemoIF.EchoReq", "--bogus", "1"}, "syssrvctl: call: unknown option --bogus for this command"},
      {{"call", "DemoIF.EchoReq", "--from", "EchoF"}, "syssrvctl: call: unknown option --from for this command"},
      {{"send", "DemoIF.EchoReq", "text: \"x\"", "--to", "NoSuchSrvc"},
       "syssrvctl: unknown endpoint NoSuchSrvc (nothing serves that name)"},
      {{"send", "SystemIF.NoSuchCmd"}, "syssrvctl: unknown message SystemIF.NoSuchCmd (see 'syssrvctl list')"},
      {{"send", "SystemIF.LanStatusChangeNtfy", "lan_status_connected: maybe"}, nullptr},
      {{"send", "DemoIF.EchoReq", "--timeout", "5"}, "syssrvctl: send: unknown option --timeout for this command"},
      {{"watch", "SystemIF.NoSuchNtfy"}, "syssrvctl: unknown message SystemIF.NoSuchNtfy (see 'syssrvctl list')"},
      {{"watch", "0x1000000"}, "syssrvctl: bad message type number 0x1000000"},
      {{"watch", "12z"}, "syssrvctl: bad message type number 12z"},
      {{"watch", "--expect", "X"}, "syssrvctl: watch: unknown option --expect for this command"},
      {{"watch", "--count", "-1"}, "syssrvctl: watch: option --count needs a non-negative number, not '-1'"},
      {{"list", "a", "b"}, "syssrvctl: list takes at most one filter word"},
      {{"list", "NoSuchMessageAnywhere"}, "syssrvctl: no message name contains NoSuchMessageAnywhere"},
      {{"list", "--to", "X"}, "syssrvctl: list: unknown option --to for this command"},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& a : c.args) shown += " [" + a + "]";
    CtlRun r = ctlRun(c.args);
    EXPECT_EQ(r.status, 2) << shown << "\n" << r.err;
    EXPECT_EQ(r.out, "") << shown;
    std::vector<std::string> lines = ctlLines(r.err);
    ASSERT_EQ(lines.size(), 1u) << shown << "\n" << r.err;
    EXPECT_EQ(r.err.back(), '\n') << shown;
    if (c.err != nullptr) {
      EXPECT_EQ(lines[0], c.err) << shown;
    } else {
      EXPECT_EQ(lines[0].rfind("syssrvctl: cannot parse fields for ", 0), 0u) << shown << "\n" << lines[0];
    }
  }
  // None of it disturbed the peer.
  CtlRun r = ctlRun({"call", "DemoIF.EchoReq", "--to", "EchoF"});
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST(CtlHelp, UsageOnStdout) {
  CtlRun r = ctlRun({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("syssrvctl call TYPE [FIELDS] [--to EP] [--timeout MS] [--expect TYPE] [--as NAME]"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("syssrvctl watch [TYPE...]"), std::string::npos);
  EXPECT_EQ(r.err, "");
  r = ctlRun({"watch", "--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("usage: syssrvctl watch [TYPE...] [--from EP]", 0), 0u) << r.out;
}

TEST(CtlList, EveryMessageInDecimalAndHex) {
  CtlRun r = ctlRun({"list"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  std::vector<std::string> lines = ctlLines(r.out);
  EXPECT_EQ(lines.size(), msgUtil_typeTable().size());
  const std::regex row(R"(^(\S+) +(\d+) (0x[0-9A-F]{6})$)");
  unsigned previous = 0;
  bool sawLan = false, sawCallStatus = false, sawEcho = false;
  for (const std::string& line : lines) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, row)) << line;
    unsigned dec = static_cast<unsigned>(std::stoul(m[2]));
    unsigned hex = static_cast<unsigned>(std::stoul(m[3], nullptr, 16));
    EXPECT_EQ(dec, hex) << line;
    EXPECT_GE(dec, previous) << "not sorted by type: " << line;
    previous = dec;
    const MsgTypeEntry* e = msgUtil_findByName(m[1]);
    ASSERT_NE(e, nullptr) << line;
    EXPECT_EQ(e->type, dec) << line;
    if (m[1] == "SystemIF.GetLanStatusReq") {
      sawLan = true;
      EXPECT_EQ(m[2], "1769616");
      EXPECT_EQ(m[3], "0x1B0090");
    }
    if (m[1] == "ModRoomIF.CallStatusNtfy") {
      sawCallStatus = true;
      EXPECT_EQ(m[3], "0x2F00C3");
    }
    if (m[1] == "DemoIF.EchoReq") sawEcho = true;
  }
  EXPECT_TRUE(sawLan);
  EXPECT_TRUE(sawCallStatus);
  EXPECT_TRUE(sawEcho);

  r = ctlRun({"list", "LanStatus"});
  ASSERT_EQ(r.status, 0) << r.err;
  lines = ctlLines(r.out);
  ASSERT_GE(lines.size(), 3u);  // GetLanStatusReq, GetLanStatusRsp, LanStatusChangeNtfy
  for (const std::string& line : lines) EXPECT_NE(line.find("LanStatus"), std::string::npos) << line;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("(^|\n)SystemIF\\.GetLanStatusReq +1769616 0x1B0090\n"))) << r.out;
}

TEST(CtlEcho, StopsCleanlyOnSignalsAndClosesItsEndpoint) {
  for (int sig : {SIGTERM, SIGINT}) {
    CtlChild echo;
    startEcho(&echo, "EchoG");
    echo.signal(sig);
    ASSERT_TRUE(echo.wait());
    EXPECT_FALSE(echo.exitedBySignal());
    EXPECT_EQ(echo.status(), 0);
    EXPECT_EQ(echo.out(), "msg_echo: serving EchoG\nmsg_echo: EchoG closed\n");
    CtlRun r = ctlRun({"call", "DemoIF.EchoReq", "--to", "EchoG"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "syssrvctl: unknown endpoint EchoG (nothing serves that name)\n");
  }
}

TEST(CtlEcho, BadArgumentExitsTwo) {
  CtlChild echo;
  ASSERT_TRUE(echo.start(kMsgEchoBin, {"--nmae", "X"}));
  ASSERT_TRUE(echo.wait());
  EXPECT_EQ(echo.status(), 2);
  EXPECT_EQ(echo.err(), "msg_echo: bad argument '--nmae' (usage: msg_echo [--name NAME])\n");
}
