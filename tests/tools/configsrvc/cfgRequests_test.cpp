// Every request the service serves, as one conversation: each row a request
// in text format and the exact reply. Refusals carry their codes: -7 unknown
// variable or instance, -8 role below the level, -3 a bad value or a request
// without a variable, -6 a request this service does not serve. Garbage is
// answered too, and the service keeps serving.
#include <cstring>

#include "ConfigIF.pb.h"
#include "platform/msg/MSG.h"
#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"
#include "tests/tools/configsrvc/cfgTestFixture.h"

namespace {

struct Row {
  const char* type;  // ConfigIF request class without the package
  std::string fields;
  std::string reply;
};

// The variable as a request names it and as the reply echoes it.
std::string in(const std::string& name, int instance = 0) {
  return "instance { node { name: \"" + name + "\"" +
         (instance ? " instance: " + std::to_string(instance) : "") + " } }";
}
std::string val(const std::string& name, const std::string& values, int instance = 0) {
  return "instance_val { " + in(name, instance) + " " + values + " }";
}
// A read's answer with `values` (and is_default).
std::string got(const std::string& values, const std::string& name, int instance = 0) {
  return values + " error: 0 " + in(name, instance);
}
const std::string& kOk = kCfgWriteOk;
const std::string kBad = "error: -3 reboot_required: false";

class CfgRequestTest : public CfgSrvTest {
 protected:
  void SetUp() override {
    CfgSrvTest::SetUp();
    startService();
    openLocal("C");
  }
  void play(const std::vector<Row>& rows) {
    for (const Row& r : rows) {
      SCOPED_TRACE(std::string(r.type) + " " + r.fields);
      EXPECT_EQ(ask("C", std::string("ConfigIF.") + r.type, "name: 'C' " + r.fields), r.reply);
    }
  }
};

TEST_F(CfgRequestTest, ValuesInstancesAndRefusals) {
  const std::string path = "instance { node { name: \"cfg\" instance: 1 } node { name: \"test\" } "
                           "node { name: \"monitor\" instance: 1 } node { name: \"kind\" } }";
  const std::string user = "role: kUser ", admin = "role: kAdmin ";
  play({
      {"ReadReq", user + in("test.plain"), got("value: \"start\" is_default: true", "test.plain")},
      {"WriteReq", admin + val("test.plain", "value: 'a; `b` \"c\"\\n'"), kOk},
      // Names match whatever their case, the way clients spell them.
      {"ReadReq", user + in("TEST.Plain"),
       got("value: \"a; `b` \\\"c\\\"\\n\" is_default: false", "TEST.Plain")},
      {"WriteReq", admin + val("test.list", "value: 'x' value: '' value: 'z'"), kOk},
      {"ReadReq", user + in("test.list"),
       got("value: \"x\" value: \"\" value: \"z\" is_default: false", "test.list")},
      {"WriteReq", admin + val("test.plain", "value: 'x' value: 'y'"), kBad},
      {"WriteReq", admin + val("test.slots", "value: '10.0.0.3'", 3), kOk},
      {"ReadReq", user + in("test.slots", 3), got("value: \"10.0.0.3\" is_default: false", "test.slots", 3)},
      {"ReadReq", user + in("test.slots", 4), "error: -7 " + in("test.slots", 4)},
      // Element 0 with or without "[0]"; a path split into nodes names the
      // same variable as the dotted name.
      {"WriteReq", admin + val("test.monitor[1].kind", "value: 'DVI'"), kOk},
      {"ReadReq", user + in("test.monitor[0].kind"),
       got("value: \"HDMI\" is_default: true", "test.monitor[0].kind")},
      {"ReadReq", user + path, "value: \"DVI\" is_default: false error: 0 " + path},
      {"ReadReq", admin + in("no.such"), "error: -7 " + in("no.such")},
      {"ReadReq", user + in("test.secret"), "error: -8 " + in("test.secret")},
      {"WriteReq", admin + val("test.status", "value: 'busy'"), "error: -8 reboot_required: false"},
      {"WriteReq", "role: kSystem " + val("test.status", "value: 'busy'"), kOk},
      // Fixed options take only their own texts, byte for byte; open ones
      // are offered, not enforced.
      {"WriteReq", admin + val("test.colour", "value: 'red'"), kBad},
      {"WriteReq", admin + val("test.colour", "value: 'Blue'"), kOk},
      {"WriteReq", admin + val("test.mode", "value: 'manual'"), kOk},
      // Without a variable.
      {"ReadReq", "role: kUser", "error: -3 instance { }"},
      {"WriteReq", admin + "instance_val { instance { node { name: 'cfg' instance: 1 } } value: 'v' }",
       "error: -3"},
      {"ResetAttributeReq", "node_name: 'test'", "error: -6"},
  });
}

TEST_F(CfgRequestTest, OptionsLevelsRegistrationsAndComponents) {
  const std::string colour = "role: kStartup " + in("test.colour");
  const std::string reg = "role: kSystem type: kChangeNotify node_name: ";
  const std::string comp = "role: kStartup component_name: ";
  play({
      // New options with a new default: the value follows while it is the
      // default.
      {"SetAttributeOptionsReq", colour + " default_index: 1 node_options: 'Cyan' node_options: 'Blue'",
       "error: 0"},
      {"GetAttributeOptionsReq", in("test.colour"),
       "error: 0 node_options: \"Cyan\" node_options: \"Blue\" default_index: 1"},
      {"ReadReq", "role: kUser " + in("test.colour"), got("value: \"Blue\" is_default: true", "test.colour")},
      {"SetAttributeOptionsReq", colour + " default_index: 2 node_options: 'Cyan'", "error: -3"},
      {"SetAttributeOptionsReq", "role: kUser " + in("test.colour") + " node_options: 'Cyan'", "error: -8"},
      // Levels: one left out stays; nobody hands out a level above its own
      // role or changes a variable it may not write; a refused request
      // changes nothing.
      {"SetAccessLevelsReq", "role: kSystem " + in("test.plain") + in("test.other") + " write_level: kSystem",
       "error: 0"},
      {"GetAccessLevelsReq", in("test.other"),
       "error: 0 " + in("test.other") + " read_level: kUser write_level: kSystem"},
      {"WriteReq", "role: kAdmin " + val("test.plain", "value: 'v'"), "error: -8 reboot_required: false"},
      {"SetAccessLevelsReq", "role: kAdmin " + in("test.third") + " write_level: kSystem", "error: -8"},
      {"SetAccessLevelsReq", "role: kStartup " + in("test.third") + in("no.such") + " read_level: kAdmin",
       "error: -7"},
      {"GetAccessLevelsReq", in("test.third"),
       "error: 0 " + in("test.third") + " read_level: kUser write_level: kAdmin"},
      {"RegisterClientCallbackReq", reg + "'test.plain'", "error: 0"},
      {"RegisterClientCallbackReq", reg + "'test.plain'", "error: 0"},
      {"RegisterClientCallbackReq", reg + "'no.such'", "error: -7"},
      {"RegisterClientCallbackReq", reg + "'test.slots' instance: 9", "error: -7"},
      {"RegisterClientCallbackReq", "role: kSystem type: kChangeNotify", "error: -3"},
      {"ComponentChangeReq", comp + "'multicodecprimary'", "error: 0"},
      {"ComponentChangeReq", comp + "'multicodecenginemode'", "error: 0"},
      {"ComponentChangeReq", comp + "'multicodecprimary' detach: true", "error: 0"},
      {"ComponentChangeReq", comp + "'multicodecprimary' detach: true", "error: -7"},
      {"ComponentChangeReq", comp + "''", "error: -3"},
      {"GetComponentsReq", "", "error: 0 component_name: \"multicodecenginemode\""},
  });
}

// Payloads that do not parse get kErrBadParameter in their reply class; a
// type no interface defines and a callback answer nobody waits for get no
// answer; the service lives on.
TEST_F(CfgRequestTest, GarbageIsAnsweredOrDropped) {
  // Raw payload bytes as a message of `type`; the reply of `rspType` or null.
  auto callRaw = [](MSG_Type type, const std::string& payload, MSG_Type rspType, int timeoutMs) {
    MSG_Message* m = MSG_AllocMsg(type, MSG_GetNextSequence(), static_cast<uint32_t>(payload.size()));
    if (!payload.empty()) memcpy(MSG_GetPayloadMutable(m), payload.data(), payload.size());
    return MSG_SendMsg("C", MSG_GetRemoteId("C", "ConfigSrvc"), m) == 0 ? MSG_RecvMsg("C", rspType, timeoutMs)
                                                                         : nullptr;
  };
  const std::string garbage("\x0a\x7f\x01\x02", 4);  // a field longer than the bytes that follow
  for (MSG_Type type : {kMsgIdConfigIFReadReq, kMsgIdConfigIFWriteReq, kMsgIdConfigIFBatchWriteReq,
                        kMsgIdConfigIFRegisterClientCallbackReq, kMsgIdConfigIFComponentChangeReq}) {
    SCOPED_TRACE(type);
    const MsgTypeEntry* q = msgUtil_findByType(type);
    const MsgTypeEntry* a = msgUtil_findByName(std::string(q->name).replace(std::string(q->name).size() - 3, 3, "Rsp"));
    MSG_Message* m = callRaw(type, garbage, a->type, 5000);
    ASSERT_NE(m, nullptr);
    std::unique_ptr<google::protobuf::Message> rsp = msgUtil_newMessage(a->type);
    ASSERT_TRUE(rsp->ParseFromArray(MSG_GetPayload(m), static_cast<int>(MSG_GetPayloadBytes(m))));
    MSG_ReleaseMsg(m);
    EXPECT_EQ(rsp->ShortDebugString().rfind("error: -3", 0), 0u) << rsp->ShortDebugString();
  }
  EXPECT_EQ(callRaw(0x1A0FF0, "abc", 0x1A0FF1, 300), nullptr);
  ConfigIF::OnChangeRsp late;
  late.mutable_ret_message()->set_server_context("configsrvc:999");
  EXPECT_EQ(callRaw(kMsgIdConfigIFOnChangeRsp, late.SerializeAsString(), 0x1A0FF1, 100), nullptr);
  EXPECT_EQ(valueOf("C", "test.plain"), "start");
  EXPECT_NE(serviceLog().find("configsrvc: ConfigIF.ReadReq: Parse Error (4 bytes)\n"), std::string::npos);
  EXPECT_NE(serviceLog().find("configsrvc: message of type 0x1a0ff0 (unknown) ignored\n"), std::string::npos);
}

}  // namespace
