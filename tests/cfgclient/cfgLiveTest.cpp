// The client against the live configuration service (configsrvc with a
// database under the test's temporary root, seeded from the repository's
// seed file): reads and writes, option lists and the default option,
// access levels, components, callback registration, requests built by
// AppConfig::ProtobufMessageHelper, and that messages of other types that
// arrive while the client waits are kept for the main loop.
#include <cstring>

#include "config/common/ProtobufMessageHelper.h"
#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"
#include "systemservice/syssrvCfgMsg.h"
#include "tests/cfgclient/cfgPeerFixture.h"

namespace {

using AppConfig::ProtobufMessageHelper;

// "a.b.c" as the builder's reference: node "a.b", variable "c".
ConfigVar varOf(const std::string& dotted) {
  size_t dot = dotted.rfind('.');
  return ConfigVar(dotted.substr(0, dot), dotted.substr(dot + 1));
}

class CfgLiveTest : public CfgClientTest {
 protected:
  void SetUp() override {
    CfgClientTest::SetUp();
    if (HasFatalFailure()) return;
    startProcess({CONFIGSRVC, "--db", rec().root() + "/config.db", "--seed", CONFIGSRVC_SEED_FILE});
  }

  // One request/response with the service from the test's own side, to
  // look at what the client's calls changed.
  template <class Rsp>
  Rsp ask(const google::protobuf::Message& req) {
    Rsp rsp;
    MSG_Endpoint svc = MSG_GetRemoteId(kLocal, "ConfigSrvc");
    EXPECT_EQ(MSG_SendMsg(kLocal, svc, msgUtil_buildMsg(req, 0, nullptr)), 0);
    MSG_Message* m = MSG_RecvMsg(kLocal, msgUtil_getMsgId(rsp), 5000);
    EXPECT_NE(m, nullptr) << "no answer to " << req.GetTypeName();
    if (m == nullptr) return rsp;
    EXPECT_TRUE(rsp.ParseFromArray(MSG_GetPayload(m), static_cast<int>(MSG_GetPayloadBytes(m))));
    MSG_ReleaseMsg(m);
    return rsp;
  }

  ConfigIF::GetAttributeOptionsRsp options(const std::string& name) {
    return ask<ConfigIF::GetAttributeOptionsRsp>(
        ProtobufMessageHelper::getGetOptionsRequest(kLocal, kSystem, varOf(name)));
  }

  std::string read(const char* name, int instance = 0, bool* isDefault = nullptr) {
    std::string value = "<failed>";
    EXPECT_EQ(config_read_inst_std_str(name, value, isDefault, instance), 0) << name;
    return value;
  }
};

std::vector<std::string> list(const google::protobuf::RepeatedPtrField<std::string>& r) {
  return std::vector<std::string>(r.begin(), r.end());
}

// ---- read and write ----

TEST_F(CfgLiveTest, SeededDefaultIsReadAsDefault) {
  char val[16];
  bool isDefault = false;
  ASSERT_EQ(config_read("system.sleeptimeout", val, sizeof val, &isDefault), 0);
  EXPECT_STREQ(val, "3");
  EXPECT_TRUE(isDefault);
  EXPECT_TRUE(logLines().empty());
}

TEST_F(CfgLiveTest, WrittenValueIsReadBackAndIsNoLongerTheDefault) {
  ASSERT_EQ(config_write("system.sleeptimeout", "7", kAdmin), 0);
  bool isDefault = true;
  EXPECT_EQ(read("system.sleeptimeout", 0, &isDefault), "7");
  EXPECT_FALSE(isDefault);
  char value[] = "0";
  ASSERT_EQ(do_config_write("system.sleeptimeout", value), 0);
  EXPECT_EQ(read("system.sleeptimeout"), "0");
  EXPECT_TRUE(logLines().empty());
}

TEST_F(CfgLiveTest, InstancesAreReadAndWrittenApart) {
  ASSERT_EQ(config_write_instance("system.network.dnsserver", "10.1.1.1", kSystem, 2), 0);
  EXPECT_EQ(read("system.network.dnsserver", 2), "10.1.1.1");
  EXPECT_EQ(read("system.network.dnsserver", 0), "");
  EXPECT_EQ(read("system.network.dnsserver", 3), "");
}

TEST_F(CfgLiveTest, UnknownVariableReadsEmptyWithTheServiceErrorLogged) {
  char val[16] = "stale";
  EXPECT_EQ(config_read("no.such.variable", val, sizeof val, nullptr), 0);
  EXPECT_STREQ(val, "");
  std::vector<std::string> log = logLines();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(isLogLine(log[0], 4, "config_read_inst_std_str", "response err=-7")) << log[0];
}

TEST_F(CfgLiveTest, RefusedWriteReturnsZeroButChangesNothing) {
  // Written by the system only; the client does not look at the answer.
  EXPECT_EQ(config_write("system.info.model", "FAKE", kUser), 0);
  EXPECT_EQ(read("system.info.model"), "");
  EXPECT_EQ(config_write("system.info.model", "CEDAR", kSystem), 0);
  EXPECT_EQ(read("system.info.model"), "CEDAR");
}

// ---- options and default option ----

TEST_F(CfgLiveTest, SetOptionsReplacesTheListAndTheDefaultIndex) {
  config_options_t opts;
  memset(&opts, 0, sizeof opts);
  strcpy(opts.option[0], "QORT");
  strcpy(opts.option[1], "DMS");
  opts.numOptions = 2;
  opts.defaultIndex = 1;
  ASSERT_EQ(config_set_options("management.provisioning.servertype", &opts, kStartup), 0);
  ConfigIF::GetAttributeOptionsRsp got = options("management.provisioning.servertype");
  EXPECT_EQ(got.error(), 0);
  EXPECT_EQ(list(got.node_options()), (std::vector<std::string>{"QORT", "DMS"}));
  EXPECT_EQ(got.default_index(), 1u);
}

TEST_F(CfgLiveTest, SetDefaultMovesOnlyTheDefaultIndex) {
  ASSERT_EQ(config_set_default("management.provisioning.servertype", "CLOUD", kStartup), 0);
  ConfigIF::GetAttributeOptionsRsp got = options("management.provisioning.servertype");
  EXPECT_EQ(list(got.node_options()), (std::vector<std::string>{"QORT", "DMS", "CLOUD"}));
  EXPECT_EQ(got.default_index(), 2u);
  // Neither an unknown value nor a wrong case changes anything.
  ASSERT_EQ(config_set_default("management.provisioning.servertype", "NONE", kStartup), 0);
  ASSERT_EQ(config_set_default("management.provisioning.servertype", "qort", kStartup), 0);
  EXPECT_EQ(options("management.provisioning.servertype").default_index(), 2u);
  EXPECT_TRUE(logLines().empty());
}

// ---- access levels ----

TEST_F(CfgLiveTest, SetAccessLevelsWithReadLevelZeroKeepsTheReadLevel) {
  ConfigIF::GetAccessLevelsRsp before = ask<ConfigIF::GetAccessLevelsRsp>(
      ProtobufMessageHelper::getGetAccessLevelsReq(kLocal, kSystem, ConfigVar("system", "sleeptimeout")));
  ASSERT_EQ(before.error(), 0);
  ASSERT_EQ(config_setAccessLevels("system.sleeptimeout", 0, kStartup, static_cast<eSecurityRole>(0), kStartup), 0);
  ConfigIF::GetAccessLevelsRsp after = ask<ConfigIF::GetAccessLevelsRsp>(
      ProtobufMessageHelper::getGetAccessLevelsReq(kLocal, kSystem, ConfigVar("system", "sleeptimeout")));
  EXPECT_EQ(after.read_level(), before.read_level());
  EXPECT_EQ(after.write_level(), kStartup);
  // An administrator can no longer write it.
  EXPECT_EQ(config_write("system.sleeptimeout", "9", kAdmin), 0);
  EXPECT_EQ(read("system.sleeptimeout"), "3");
}

// ---- components ----

TEST_F(CfgLiveTest, ComponentAttachAndDetachAreRecorded) {
  ConfigIF::GetComponentsReq q;
  q.set_name(kLocal);
  q.set_role(kSystem);
  EXPECT_EQ(config_component_change("multicodecenginemode", false, kStartup), 0);
  EXPECT_EQ(list(ask<ConfigIF::GetComponentsRsp>(q).component_name()),
            (std::vector<std::string>{"multicodecenginemode"}));
  EXPECT_EQ(config_component_change("multicodecenginemode", true, kStartup), 0);
  EXPECT_TRUE(ask<ConfigIF::GetComponentsRsp>(q).component_name().empty());
  std::vector<std::string> log = logLines();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_TRUE(isLogLine(log[0], 7, "config_component_change", "name: multicodecenginemode")) << log[0];
}

// ---- callbacks ----

TEST_F(CfgLiveTest, RegistrationOfAnUnknownVariableIsRefused) {
  EXPECT_EQ(config_register_change_notify("no.such.variable", 0, kChangeNotify), -1);
  std::vector<std::string> log = logLines();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(isLogLine(log[0], 3, "config_register_change_notify",
                        "register config change notify no.such.variable failed, err=-7"))
      << log[0];
}

TEST_F(CfgLiveTest, ChangeNotificationDuringAReadIsDeliveredAfterIt) {
  ASSERT_EQ(config_register_change_notify("system.sleeptimeout", 0, kChangeNotify), 0);
  // The service notifies the writer too, after its WriteRsp: the
  // notification reaches us while the next read waits for its ReadRsp.
  ASSERT_EQ(config_write("system.sleeptimeout", "5", kAdmin), 0);
  EXPECT_EQ(read("system.sleeptimeout"), "5");
  EXPECT_EQ(read("management.provisioning.servertype"), "QORT");
  MSG_Message* held = MSG_RecvAnyMsg(kLocal, 5000);
  ASSERT_NE(held, nullptr);
  ASSERT_EQ(MSG_GetType(held), kMsgIdConfigIFConfigChangedNtfy);
  ConfigIF::ConfigChangedNtfy ntfy;
  ASSERT_TRUE(ntfy.ParseFromArray(MSG_GetPayload(held), static_cast<int>(MSG_GetPayloadBytes(held))));
  MSG_ReleaseMsg(held);
  std::string name;
  std::string value;
  EXPECT_EQ(buildCfgVarName(name, ntfy.instance_val().instance()), 0);
  buildCfgVarValue(value, ntfy.instance_val());
  EXPECT_EQ(name, "system.sleeptimeout");
  EXPECT_EQ(value, "5");
  EXPECT_EQ(MSG_RecvAnyMsg(kLocal, 200), nullptr);
}

// ---- requests of the builder ----

TEST_F(CfgLiveTest, BuilderRequestsAreServed) {
  ConfigIF::WriteRsp w = ask<ConfigIF::WriteRsp>(
      ProtobufMessageHelper::getWriteRequest(kLocal, kAdmin, ConfigVar("Location", "Language"), std::string("FRENCH")));
  EXPECT_EQ(w.error(), 0);
  ConfigIF::ReadRsp r =
      ask<ConfigIF::ReadRsp>(ProtobufMessageHelper::getReadRequest(kLocal, kAdmin, ConfigVar("location", "language")));
  EXPECT_EQ(r.error(), 0);
  EXPECT_EQ(list(r.value()), (std::vector<std::string>{"FRENCH"}));
  ConfigIF::GetDefaultOptionsRsp d = ask<ConfigIF::GetDefaultOptionsRsp>(
      ProtobufMessageHelper::getGetDefaultOptionsRequest(kLocal, kAdmin, "location.language"));
  EXPECT_EQ(d.error(), 0);
  EXPECT_EQ(d.node_options_size(), 57);
  EXPECT_EQ(read("location.language"), "FRENCH");
}

}  // namespace
