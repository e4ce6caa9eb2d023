// syssrvctl call/send/list/help against real msg_echo processes and against
// endpoints this test serves itself; msg_echo's argument check.
#include <cstdio>
#include <map>
#include <regex>

#include <gtest/gtest.h>

#include "ConfigIF.pb.h"
#include "platform/msg/MSG.h"
#include "platform/msgutil/msgUtil.h"
#include "tests/tools/syssrvctl/ctlTestUtil.h"

namespace {

// Starts msg_echo under `name` and waits until it serves.
void startEcho(CtlChild* echo, const std::string& name) {
  ASSERT_TRUE(echo->start(MSG_ECHO_BIN, {"--name", name}));
  ASSERT_TRUE(echo->waitForText("msg_echo: serving " + name + "\n")) << echo->err();
}

// The next message on the test's own endpoint `local`, parsed into `m`.
MSG_Message* receive(const char* local, google::protobuf::Message* m) {
  MSG_Message* got = MSG_RecvAnyMsg(local, kCtlTestHangMs);
  if (got != nullptr) {
    EXPECT_TRUE(m->ParseFromArray(MSG_GetPayload(got), static_cast<int>(MSG_GetPayloadBytes(got))));
  }
  return got;
}

}  // namespace

TEST(CtlCall, RequestsAndTheirReplies) {
  CtlChild echo;
  startEcho(&echo, "EchoA");
  struct Row {
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;
  } rows[] = {
      {{"call", "DemoIF.EchoReq", "text: \"hello appliance\"", "--to", "EchoA"}, 0,
       "text: \"hello appliance\"\nserved_by: \"EchoA\"\n", ""},
      // "::" names, fields split over several words, --opt=value, --as.
      {{"call", "DemoIF::EchoReq", "text:", "\"two words\"", "--to=EchoA", "--as", "Tester1", "--timeout=10000",
        "--expect", "DemoIF::EchoRsp"},
       0, "text: \"two words\"\nserved_by: \"EchoA\"\n", ""},
      // A hostile text travels byte for byte and is printed escaped.
      {{"call", "DemoIF.EchoReq", "text: \"a;b`c`\\n\\\"q\\\" $(x)\"", "--to", "EchoA"}, 0,
       "text: \"a;b`c`\\n\\\"q\\\" $(x)\"\nserved_by: \"EchoA\"\n", ""},
      {{"call", "DemoIF.EchoReq", "--to", "EchoA"}, 0, "served_by: \"EchoA\"\n", ""},
      // msg_echo has no handler for this request and stays silent; waiting
      // for a class the peer never sends is the same non-answer.
      {{"call", "SystemIF::GetLanStatusReq", "--to", "EchoA", "--timeout", "400"}, 1, "",
       "syssrvctl: no answer from EchoA: SystemIF.GetLanStatusRsp did not come within 400 ms\n"},
      {{"call", "DemoIF.EchoReq", "--to", "EchoA", "--expect", "SystemIF.GetLanStatusRsp", "--timeout", "300"}, 1, "",
       "syssrvctl: no answer from EchoA: SystemIF.GetLanStatusRsp did not come within 300 ms\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.args[1] + " " + r.args[2]);
    CtlRun got = ctlRun(r.args);
    EXPECT_EQ(got.status, r.status);
    EXPECT_EQ(got.out, r.out);
    EXPECT_EQ(got.err, r.err);
  }
}

// The test serves the endpoint itself: a command arrives with its fields;
// a nested request arrives as typed, from the --as sender, and the nested
// reply is printed over several lines.
TEST(CtlCall, SendAndCallThroughAServedEndpoint) {
  ASSERT_EQ(MSG_OpenLocal("CtlSrvD"), 0);
  CtlRun r = ctlRun({"send", "ConfigIF.BatchWriteReq",
                     "name: \"b\" entry { name: \"dns.server\" instance: 2 value: \"10.0.0.1\" value: \"x;`y`\" }",
                     "--to", "CtlSrvD"});
  EXPECT_EQ(std::to_string(r.status) + r.out + r.err, "0");
  ConfigIF::BatchWriteReq batch;
  MSG_Message* m = receive("CtlSrvD", &batch);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(MSG_GetType(m), msgUtil_getMsgId(batch));
  MSG_ReleaseMsg(m);
  EXPECT_EQ(batch.ShortDebugString(),
            "name: \"b\" entry { name: \"dns.server\" instance: 2 value: \"10.0.0.1\" value: \"x;`y`\" }");
  CtlChild call;
  ASSERT_TRUE(call.start(kSyssrvctlBin,
                         {"call", "ConfigIF.ReadReq",
                          "name: \"v\" instance { node { name: \"video.monitor\" instance: 1 } node { name: \"t\" } }",
                          "--to", "CtlSrvD", "--as", "CtlCallerD"}));
  ConfigIF::ReadReq got;
  MSG_Message* req = receive("CtlSrvD", &got);
  ASSERT_NE(req, nullptr);
  EXPECT_EQ(MSG_GetType(req), msgUtil_getMsgId(got));
  EXPECT_EQ(got.ShortDebugString(),
            "name: \"v\" instance { node { name: \"video.monitor\" instance: 1 } node { name: \"t\" } }");
  EXPECT_EQ(MSG_GetSender(req), MSG_GetRemoteId("CtlSrvD", "CtlCallerD"));
  ConfigIF::ReadRsp rsp;
  rsp.add_value("HDMI");
  *rsp.mutable_instance() = got.instance();
  MSG_Message* reply = MSG_AllocMsgCopyHdr(req, msgUtil_getMsgId(rsp), static_cast<uint32_t>(rsp.ByteSizeLong()));
  ASSERT_TRUE(rsp.SerializeToArray(MSG_GetPayloadMutable(reply), static_cast<int>(rsp.ByteSizeLong())));
  EXPECT_EQ(MSG_SendMsg("CtlSrvD", MSG_GetSender(req), reply), 0);
  MSG_ReleaseMsg(req);
  ASSERT_TRUE(call.wait());
  EXPECT_EQ(call.status(), 0) << call.err();
  EXPECT_EQ(call.out(), "value: \"HDMI\"\ninstance {\n  node {\n    name: \"video.monitor\"\n    instance: 1\n  }\n"
                        "  node {\n    name: \"t\"\n  }\n}\n");
  MSG_CloseLocal("CtlSrvD");
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
      {{"call", "SystemIF.NoSuchReq", "--to", "EchoF"},
       "syssrvctl: unknown message SystemIF.NoSuchReq (see 'syssrvctl list')"},
      {{"call", "DemoIF.EchoReq", "txt: \"x\"", "--to", "EchoF"},
       "syssrvctl: cannot parse fields for DemoIF.EchoReq: line 1 column 4: Message type \"DemoIF.EchoReq\" has "
       "no field named \"txt\"."},
      {{"call", "DemoIF.EchoReq", "text: \"x\"", "--to", "NoSuchSrvc"},
       "syssrvctl: unknown endpoint NoSuchSrvc (nothing serves that name)"},
      {{"call", "SystemIF.LanStatusChangeNtfy", "--to", "EchoF"},
       "syssrvctl: no reply class known for SystemIF.LanStatusChangeNtfy; name it with --expect"},
      {{"call", "DemoIF.EchoReq", "--to", "EchoF", "--timeout", "12ms"},
       "syssrvctl: call: option --timeout needs a non-negative number, not '12ms'"},
      {{"call", "DemoIF.EchoReq", "--from", "EchoF"}, "syssrvctl: call: unknown option --from for this command"},
      {{"watch", "0x1000000"}, "syssrvctl: bad message type number 0x1000000"},
      {{"watch", "--count=99999999999"},
       "syssrvctl: watch: option --count needs a non-negative number, not '99999999999'"},
      {{"list", "a", "b"}, "syssrvctl: list takes at most one filter word"},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& a : c.args) shown += " [" + a + "]";
    SCOPED_TRACE(shown);
    CtlRun r = ctlRun(c.args);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err + std::string("\n"));
  }
  // None of it disturbed the peer.
  EXPECT_EQ(ctlRun({"call", "DemoIF.EchoReq", "--to", "EchoF"}).status, 0);
  CtlRun r = ctlRun({"--nmae", "X"}, MSG_ECHO_BIN);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "msg_echo: bad argument '--nmae' (usage: msg_echo [--name NAME])\n");
}

// Every message of the table once, in decimal and hex, sorted by type; a
// filter word keeps the names that contain it.
TEST(CtlList, HelpAndEveryMessageInDecimalAndHex) {
  EXPECT_NE(ctlRun({"--help"}).out.find("syssrvctl call TYPE [FIELDS] [--to EP] [--timeout MS] [--expect TYPE] [--as NAME]"),
            std::string::npos);
  EXPECT_EQ(ctlRun({"watch", "--help"}).out.rfind("usage: syssrvctl watch [TYPE...] [--from EP]", 0), 0u);
  for (const std::string filter : {"", "LanStatus"}) {
    std::map<MSG_Type, std::string> rows;
    for (const MsgTypeEntry& e : msgUtil_typeTable()) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "0x%06X", e.type);
      if (std::string(e.name).find(filter) != std::string::npos) rows[e.type] = e.name + (" " + std::to_string(e.type)) + " " + hex + "\n";
    }
    std::string want;
    for (const auto& row : rows) want += row.second;
    CtlRun r = ctlRun({"list", filter});
    EXPECT_EQ(std::regex_replace(r.out, std::regex(" +"), " "), want);
  }
}
