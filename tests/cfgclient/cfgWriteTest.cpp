// The client's writes, option lists, default option, access levels,
// component changes and callback registration against a scripted
// "ConfigSrvc" peer process: the exact request of each, and every row of
// the failure table that applies to it.
#include <sys/stat.h>

#include <cstring>

#include "platform/msgutil/msgIds.h"
#include "systemservice/syssrvCfgMsg.h"
#include "tests/cfgclient/cfgPeerFixture.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string kGarbage = "\xff\xff\xff\xff";

ConfigIF::WriteReq expectedWrite(const std::string& name, const std::string& value, eSecurityRole role,
                                 int instance) {
  ConfigIF::WriteReq req;
  req.set_name("SystemSrvc");
  req.set_role(role);
  req.mutable_instance_val()->add_value(value);
  ConfigIF::Node* node = req.mutable_instance_val()->mutable_instance()->add_node();
  node->set_instance(instance);
  node->set_name(name);
  return req;
}

PeerStep markerStep() { return answer(ConfigIF::WriteRsp()); }
void sendMarker() { ASSERT_EQ(config_write("test.marker", "1", kSystem), 0); }
ConfigIF::WriteReq expectedMarker() { return expectedWrite("test.marker", "1", kSystem, 0); }

void addNode(ConfigIF::Inst* inst, const std::string& name, int instance) {
  ConfigIF::Node* node = inst->add_node();
  node->set_name(name);
  node->set_instance(instance);
}

ConfigIF::GetAttributeOptionsRsp optionsRsp(const std::vector<std::string>& options, int defaultIndex) {
  ConfigIF::GetAttributeOptionsRsp rsp;
  for (const std::string& o : options) rsp.add_node_options(o);
  if (defaultIndex >= 0) rsp.set_default_index(static_cast<uint32_t>(defaultIndex));
  return rsp;
}

ConfigIF::GetAttributeOptionsReq expectedGetOptions(const std::string& name, eSecurityRole role) {
  ConfigIF::GetAttributeOptionsReq req;
  addNode(req.mutable_instance(), name, 0);
  req.set_name("SystemSrvc");
  req.set_role(role);
  return req;
}

ConfigIF::SetAttributeOptionsReq expectedSetOptions(const std::string& name, eSecurityRole role,
                                                    const std::vector<std::string>& options, int defaultIndex) {
  ConfigIF::SetAttributeOptionsReq req;
  addNode(req.mutable_instance(), name, 0);
  req.set_name("SystemSrvc");
  req.set_role(role);
  req.set_default_index(static_cast<uint32_t>(defaultIndex));
  for (const std::string& o : options) req.add_node_options(o);
  return req;
}

ConfigIF::RegisterClientCallbackReq expectedRegister(const std::string& name, int instance, CallbackType type) {
  ConfigIF::RegisterClientCallbackReq req;
  req.set_name("SystemSrvc");
  req.set_instance(instance);
  req.set_node_name(name);
  req.set_role(CommonIF::kSystem);
  req.set_type(type);
  req.set_user_context("");
  return req;
}

ConfigIF::RegisterClientCallbackRsp registerRsp(int error) {
  ConfigIF::RegisterClientCallbackRsp rsp;
  rsp.set_error(error);
  return rsp;
}

// ---- write ----

TEST_F(CfgClientTest, WriteSendsClientRoleAndOneUnsplitValue) {
  startFakePeer({markerStep(), markerStep(), markerStep()});
  EXPECT_EQ(config_write_instance("system.network.dnsserver", "10.0.0.1\n10.0.0.2", kAdmin, 3), 0);
  EXPECT_EQ(config_write("system.sleeptimeout", "3", kStartup), 0);
  char value[] = "";
  EXPECT_EQ(do_config_write("system.hostname", value), 0);
  std::vector<PeerRecord> got = records();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_TRUE(sameRequest(got[0], expectedWrite("system.network.dnsserver", "10.0.0.1\n10.0.0.2", kAdmin, 3)));
  EXPECT_TRUE(sameRequest(got[1], expectedWrite("system.sleeptimeout", "3", kStartup, 0)));
  // An empty value is still one value.
  EXPECT_TRUE(sameRequest(got[2], expectedWrite("system.hostname", "", kSystem, 0)));
  EXPECT_TRUE(logLines().empty());
}

TEST_F(CfgClientTest, WriteDoesNotLookAtTheResponse) {
  ConfigIF::WriteRsp refused;
  refused.set_error(-8);
  refused.add_error_message("not authorized");
  startFakePeer({answer(refused), PeerStep().replyRaw(kMsgIdConfigIFWriteRsp, kGarbage)});
  EXPECT_EQ(config_write("a.b", "1", kUser), 0);
  EXPECT_EQ(config_write("a.b", "2", kUser), 0);
  EXPECT_TRUE(logLines().empty());
}

TEST_F(CfgClientTest, UnansweredWriteFailsAfterOneSecondAndNamesTheVariable) {
  startFakePeer({silent()});
  Clock::time_point t0 = Clock::now();
  EXPECT_EQ(config_write("system.sleeptimeout", "0", kSystem), -1);
  long ms = msSince(t0);
  EXPECT_GE(ms, 990);
  EXPECT_LT(ms, 10000);
  std::vector<std::string> log = logLines();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(isLogLine(log[0], 3, "config_write_instance", "MSG_RecvMsg system.sleeptimeout timeout")) << log[0];
}

TEST_F(CfgClientTest, WriteThatCannotBeSentReturnsTheSendCode) {
  startFakePeer({});
  ASSERT_EQ(MSG_CloseLocal(kLocal), 0);
  EXPECT_EQ(config_write("a.b", "1", kSystem), -1);
  std::vector<std::string> log = logLines();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(isLogLine(log[0], 3, "config_write_instance", "MSG_SendMsg failed, err=-1")) << log[0];
  EXPECT_TRUE(records().empty());
}

TEST_F(CfgClientTest, WriteOfBadArgumentsSendsNothing) {
  startFakePeer({markerStep()});
  const std::string huge(9u * 1024u * 1024u, 'h');  // more than one message can carry
  EXPECT_EQ(config_write(nullptr, "1", kSystem), -1);
  EXPECT_EQ(config_write("a.b", nullptr, kSystem), -1);
  EXPECT_EQ(config_write("a.b", "1", static_cast<eSecurityRole>(0)), -1);
  EXPECT_EQ(config_write("a.b", huge.c_str(), kSystem), -1);
  sendMarker();
  std::vector<PeerRecord> got = records();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_TRUE(sameRequest(got[0], expectedMarker()));
  std::vector<std::string> log = logLines();
  ASSERT_EQ(log.size(), 4u);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(isLogLine(log[i], 3, "config_write_instance", "bad parameter")) << log[i];
  EXPECT_TRUE(isLogLine(log[3], 3, "config_write_instance", "msgUtil_buildMsg failed")) << log[3];
}

// ---- option list ----

TEST_F(CfgClientTest, SetOptionsSendsTheFirstNumOptionsAndTheDefaultIndex) {
  startFakePeer({answer(ConfigIF::SetAttributeOptionsRsp()), answer(ConfigIF::SetAttributeOptionsRsp())});
  config_options_t opts;
  memset(&opts, 0, sizeof opts);
  strcpy(opts.option[0], "QORT");
  strcpy(opts.option[1], "DMS");
  strcpy(opts.option[2], "CLOUD");
  strcpy(opts.option[3], "NOT-SENT");
  opts.numOptions = 3;
  opts.defaultIndex = 0;
  EXPECT_EQ(config_set_options("management.provisioning.servertype", &opts, kStartup), 0);
  opts.numOptions = 0;
  opts.defaultIndex = 2;
  EXPECT_EQ(config_set_options("management.provisioning.servertype", &opts, kAdmin), 0);
  std::vector<PeerRecord> got = records();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_TRUE(sameRequest(got[0], expectedSetOptions("management.provisioning.servertype", kStartup,
                                                     {"QORT", "DMS", "CLOUD"}, 0)));
  EXPECT_TRUE(sameRequest(got[1], expectedSetOptions("management.provisioning.servertype", kAdmin, {}, 2)));
  EXPECT_TRUE(logLines().empty());
}

TEST_F(CfgClientTest, SetOptionsNeverReadsPastTheOptionArray) {
  startFakePeer({answer(ConfigIF::SetAttributeOptionsRsp()), answer(ConfigIF::SetAttributeOptionsRsp())});
  config_options_t opts;
  memset(&opts, 'o', sizeof opts);  // no option is terminated
  opts.numOptions = 51;
  opts.defaultIndex = 49;
  EXPECT_EQ(config_set_options("x.y", &opts, kSystem), 0);
  opts.numOptions = -4;
  EXPECT_EQ(config_set_options("x.y", &opts, kSystem), 0);
  std::vector<PeerRecord> got = records();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_TRUE(sameRequest(got[0], expectedSetOptions("x.y", kSystem, std::vector<std::string>(50, std::string(256, 'o')),
                                                     49)));
  EXPECT_TRUE(sameRequest(got[1], expectedSetOptions("x.y", kSystem, {}, 49)));
}

TEST_F(CfgClientTest, SetOptionsIgnoresTheResponseAndLogsATimeOut) {
  ConfigIF::SetAttributeOptionsRsp refused;
  refused.set_error(-3);
  startFakePeer({answer(refused), PeerStep().replyRaw(kMsgIdConfigIFSetAttributeOptionsRsp, kGarbage), silent()});
  config_options_t opts;
  memset(&opts, 0, sizeof opts);
  strcpy(opts.option[0], "a");
  opts.numOptions = 1;
  EXPECT_EQ(config_set_options("x.y", &opts, kSystem), 0);
  EXPECT_EQ(config_set_options("x.y", &opts, kSystem), 0);
  EXPECT_EQ(config_set_options("x.y", &opts, kSystem), -1);
  std::vector<std::string> log = logLines();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(isLogLine(log[0], 3, "config_set_options", "failed to receive msg")) << log[0];
}

// ---- default option ----

const std::vector<std::string> kServerTypes = {"QORT", "DMS", "CLOUD", "DMS"};

TEST_F(CfgClientTest, SetDefaultSendsOneRequestWhenTheValueIsNotAnOption) {
  startFakePeer({answer(optionsRsp(kServerTypes, 0)), answer(optionsRsp(kServerTypes, 0)),
                 answer(optionsRsp(kServerTypes, 0)), markerStep()});
  EXPECT_EQ(config_set_default("management.provisioning.servertype", "NONE", kStartup), 0);
  EXPECT_EQ(config_set_default("management.provisioning.servertype", "qort", kStartup), 0);  // case matters
  EXPECT_EQ(config_set_default("management.provisioning.servertype", "QO", kStartup), 0);    // whole value only
  sendMarker();
  std::vector<PeerRecord> got = records();
  ASSERT_EQ(got.size(), 4u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(sameRequest(got[i], expectedGetOptions("management.provisioning.servertype", kStartup)));
  }
  EXPECT_TRUE(sameRequest(got[3], expectedMarker()));
  EXPECT_TRUE(logLines().empty());
}

TEST_F(CfgClientTest, SetDefaultSendsOneRequestWhenTheValueIsTheDefaultAlready) {
  startFakePeer({answer(optionsRsp(kServerTypes, 1)), answer(optionsRsp({"QORT"}, -1)), markerStep()});
  EXPECT_EQ(config_set_default("x.y", "DMS", kAdmin), 0);
  // No default index in the answer means index 0.
  EXPECT_EQ(config_set_default("x.y", "QORT", kAdmin), 0);
  sendMarker();
  std::vector<PeerRecord> got = records();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_TRUE(sameRequest(got[0], expectedGetOptions("x.y", kAdmin)));
  EXPECT_TRUE(sameRequest(got[1], expectedGetOptions("x.y", kAdmin)));
  EXPECT_TRUE(sameRequest(got[2], expectedMarker()));
}

TEST_F(CfgClientTest, SetDefaultMovesTheDefaultToTheFirstMatchKeepingEveryOption) {
  startFakePeer({answer(optionsRsp(kServerTypes, 0)), answer(ConfigIF::SetAttributeOptionsRsp())});
  EXPECT_EQ(config_set_default("management.provisioning.servertype", "DMS", kStartup), 0);
  std::vector<PeerRecord> got = records();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_TRUE(sameRequest(got[0], expectedGetOptions("management.provisioning.servertype", kStartup)));
  EXPECT_TRUE(
      sameRequest(got[1], expectedSetOptions("management.provisioning.servertype", kStartup, kServerTypes, 1)));
  EXPECT_TRUE(logLines().empty());
}

TEST_F(CfgClientTest, SetDefaultWithAnUnparsableOptionListChangesNothing) {
  startFakePeer({PeerStep().replyRaw(kMsgIdConfigIFGetAttributeOptionsRsp, kGarbage), markerStep()});
  EXPECT_EQ(config_set_default("x.y", "a", kSystem), 0);
  sendMarker();
  std::vector<PeerRecord> got = records();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_TRUE(sameRequest(got[0], expectedGetOptions("x.y", kSystem)));
  EXPECT_TRUE(sameRequest(got[1], expectedMarker()));
  EXPECT_TRUE(logLines().empty());
}

TEST_F(CfgClientTest, SetDefaultFailsWhenTheOptionListDoesNotCome) {
  startFakePeer({silent()});
  EXPECT_EQ(config_set_default("x.y", "a", kSystem), -1);
  std::vector<std::string> log = logLines();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(isLogLine(log[0], 3, "config_set_default", "MSG_RecvMsg timeout")) << log[0];
  EXPECT_EQ(records().size(), 1u);
}

TEST_F(CfgClientTest, SetDefaultSucceedsWhenOnlyTheSecondAnswerIsMissing) {
  startFakePeer({answer(optionsRsp({"a", "b"}, 0)), silent()});
  Clock::time_point t0 = Clock::now();
  EXPECT_EQ(config_set_default("x.y", "b", kSystem), 0);
  EXPECT_GE(msSince(t0), 990);
  std::vector<PeerRecord> got = records();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_TRUE(sameRequest(got[1], expectedSetOptions("x.y", kSystem, {"a", "b"}, 1)));
  std::vector<std::string> log = logLines();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(isLogLine(log[0], 3, "config_set_default", "MSG_RecvMsg timeout")) << log[0];
}

TEST_F(CfgClientTest, SetDefaultThatCannotBeSentReturnsTheSendCode) {
  startFakePeer({});
  ASSERT_EQ(MSG_CloseLocal(kLocal), 0);
  EXPECT_EQ(config_set_default("x.y", "a", kSystem), -1);
  std::vector<std::string> log = logLines();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(isLogLine(log[0], 3, "config_set_default", "MSG_SendMsg failed, err=-1")) << log[0];
}

// ---- access levels ----

ConfigIF::SetAccessLevelsReq expectedLevels(const std::string& name, int instance, eSecurityRole role, int read,
                                            int write) {
  ConfigIF::SetAccessLevelsReq req;
  req.set_name("SystemSrvc");
  req.set_role(role);
  addNode(req.add_instance(), name, instance);
  if (read != 0) req.set_read_level(static_cast<eSecurityRole>(read));
  if (write != 0) req.set_write_level(static_cast<eSecurityRole>(write));
  return req;
}

TEST_F(CfgClientTest, SetAccessLevelsSendsOnlyTheNonZeroLevels) {
  ConfigIF::SetAccessLevelsRsp ok;
  startFakePeer({answer(ok), answer(ok), answer(ok), answer(ok)});
  const eSecurityRole none = static_cast<eSecurityRole>(0);
  EXPECT_EQ(config_setAccessLevels("system.network.hostname", 0, kStartup, none, kStartup), 0);
  EXPECT_EQ(config_setAccessLevels("system.network.hostname", 2, kAdmin, kUser, none), 0);
  EXPECT_EQ(config_setAccessLevels("a.b", 1, kSystem, kAdmin, kProvisioning), 0);
  EXPECT_EQ(config_setAccessLevels("a.b", 0, kSystem, none, none), 0);
  std::vector<PeerRecord> got = records();
  ASSERT_EQ(got.size(), 4u);
  EXPECT_TRUE(sameRequest(got[0], expectedLevels("system.network.hostname", 0, kStartup, 0, kStartup)));
  EXPECT_TRUE(sameRequest(got[1], expectedLevels("system.network.hostname", 2, kAdmin, kUser, 0)));
  EXPECT_TRUE(sameRequest(got[2], expectedLevels("a.b", 1, kSystem, kAdmin, kProvisioning)));
  EXPECT_TRUE(sameRequest(got[3], expectedLevels("a.b", 0, kSystem, 0, 0)));
}

TEST_F(CfgClientTest, SetAccessLevelsDoesNotParseTheResponseAndLogsATimeOut) {
  startFakePeer({PeerStep().replyRaw(kMsgIdConfigIFSetAccessLevelsRsp, kGarbage), silent()});
  EXPECT_EQ(config_setAccessLevels("a.b", 0, kSystem, kUser, kUser), 0);
  EXPECT_EQ(config_setAccessLevels("a.b", 0, kSystem, kUser, kUser), -1);
  std::vector<std::string> log = logLines();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(isLogLine(log[0], 3, "config_setAccessLevels", "MSG_RecvMsg timeout")) << log[0];
}

TEST_F(CfgClientTest, SetAccessLevelsRefusesALevelThatIsNoRole) {
  startFakePeer({markerStep()});
  EXPECT_EQ(config_setAccessLevels("a.b", 0, kSystem, static_cast<eSecurityRole>(15), kUser), -1);
  EXPECT_EQ(config_setAccessLevels(nullptr, 0, kSystem, kUser, kUser), -1);
  sendMarker();
  ASSERT_EQ(records().size(), 1u);
  EXPECT_EQ(logLines().size(), 2u);
}

// ---- component change ----

TEST_F(CfgClientTest, ComponentChangeSendsItAndReturnsTheServiceError) {
  ConfigIF::ComponentChangeRsp exists;
  exists.set_error(-9);
  startFakePeer({answer(ConfigIF::ComponentChangeRsp()), answer(exists)});
  EXPECT_EQ(config_component_change("multicodecenginemode", false, kStartup), 0);
  EXPECT_EQ(config_component_change("multicodecenginemode", true, kStartup), -9);
  std::vector<PeerRecord> got = records();
  ASSERT_EQ(got.size(), 2u);
  for (int i = 0; i < 2; ++i) {
    ConfigIF::ComponentChangeReq req;
    req.set_name("SystemSrvc");
    req.set_role(CommonIF::kStartup);
    req.set_component_name("multicodecenginemode");
    req.set_detach(i == 1);  // false is sent, not left out
    EXPECT_TRUE(sameRequest(got[i], req));
  }
  std::vector<std::string> log = logLines();
  ASSERT_EQ(log.size(), 2u);
  for (const std::string& line : log) {
    EXPECT_TRUE(isLogLine(line, 7, "config_component_change", "name: multicodecenginemode")) << line;
  }
}

TEST_F(CfgClientTest, ComponentChangeTimeOutNamesTheComponent) {
  startFakePeer({PeerStep().replyRaw(kMsgIdConfigIFComponentChangeRsp, kGarbage), silent()});
  EXPECT_EQ(config_component_change("multicodecenginemode", false, kStartup), 0);
  EXPECT_EQ(config_component_change("multicodecenginemode", false, kStartup), -1);
  std::vector<std::string> log = logLines();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_TRUE(isLogLine(log[0], 7, "config_component_change", "name: multicodecenginemode")) << log[0];
  EXPECT_TRUE(isLogLine(log[1], 3, "config_component_change", "MSG_RecvMsg multicodecenginemode timeout")) << log[1];
}

// ---- callback registration ----

TEST_F(CfgClientTest, RegisterSendsEveryFieldWithAnEmptyUserContext) {
  startFakePeer({answer(registerRsp(0)), answer(registerRsp(0)), answer(registerRsp(0)), answer(registerRsp(0))});
  EXPECT_EQ(config_register_change_notify("system.network.wired.ipv4nic.mode", 0, kOnChange), 0);
  EXPECT_EQ(config_register_change_notify("system.network.submit", 0, kSubmit), 0);
  EXPECT_EQ(config_register_change_notify("system.network.dnsserver", 3, kChangeNotify), 0);
  EXPECT_EQ(config_register_change_notify("system.hostname", 0, kDynamicValidator), 0);
  std::vector<PeerRecord> got = records();
  ASSERT_EQ(got.size(), 4u);
  EXPECT_TRUE(sameRequest(got[0], expectedRegister("system.network.wired.ipv4nic.mode", 0, kOnChange)));
  EXPECT_TRUE(sameRequest(got[1], expectedRegister("system.network.submit", 0, kSubmit)));
  EXPECT_TRUE(sameRequest(got[2], expectedRegister("system.network.dnsserver", 3, kChangeNotify)));
  EXPECT_TRUE(sameRequest(got[3], expectedRegister("system.hostname", 0, kDynamicValidator)));
  ConfigIF::RegisterClientCallbackReq parsed;
  ASSERT_TRUE(parsed.ParseFromString(got[0].payload));
  EXPECT_TRUE(parsed.has_user_context());
  EXPECT_TRUE(parsed.has_instance());
  EXPECT_TRUE(logLines().empty());
}

TEST_F(CfgClientTest, RefusedRegistrationFailsWithTheServiceError) {
  startFakePeer({answer(registerRsp(-7))});
  EXPECT_EQ(config_register_change_notify("no.such.variable", 0, kChangeNotify), -1);
  std::vector<std::string> log = logLines();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(isLogLine(log[0], 3, "config_register_change_notify",
                        "register config change notify no.such.variable failed, err=-7"))
      << log[0];
}

TEST_F(CfgClientTest, UnparsableRegistrationAnswerFails) {
  startFakePeer({PeerStep().replyRaw(kMsgIdConfigIFRegisterClientCallbackRsp, kGarbage)});
  EXPECT_EQ(config_register_change_notify("a.b", 0, kChangeNotify), -1);
  std::vector<std::string> log = logLines();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(isLogLine(log[0], 3, "config_register_change_notify", "failed to parse pbuf response")) << log[0];
}

TEST_F(CfgClientTest, UnansweredRegistrationClosesTheLocalEndpoint) {
  startFakePeer({silent(), markerStep()});
  struct stat st;
  ASSERT_EQ(stat((socketDir() + "/SystemSrvc").c_str(), &st), 0);
  Clock::time_point t0 = Clock::now();
  EXPECT_EQ(config_register_change_notify("a.b", 0, kChangeNotify), -1);
  EXPECT_GE(msSince(t0), 990);
  // The endpoint is gone for the other processes, and nothing can be sent
  // from it any more.
  EXPECT_NE(stat((socketDir() + "/SystemSrvc").c_str(), &st), 0);
  EXPECT_EQ(config_write("a.b", "1", kSystem), -1);
  std::vector<std::string> log = logLines();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_TRUE(isLogLine(log[0], 3, "config_register_change_notify", "MSG_RecvAnyMsg timeout")) << log[0];
  EXPECT_TRUE(isLogLine(log[1], 3, "config_write_instance", "MSG_SendMsg failed, err=-1")) << log[1];
  EXPECT_EQ(records().size(), 1u);
}

TEST_F(CfgClientTest, RegisterOfAnUnknownKindSendsNothing) {
  startFakePeer({markerStep()});
  EXPECT_EQ(config_register_change_notify("a.b", 0, static_cast<CallbackType>(9)), -1);
  EXPECT_EQ(config_register_change_notify(nullptr, 0, kChangeNotify), -1);
  sendMarker();
  ASSERT_EQ(records().size(), 1u);
  std::vector<std::string> log = logLines();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_TRUE(isLogLine(log[0], 3, "config_register_change_notify", "bad parameter")) << log[0];
}

}  // namespace
