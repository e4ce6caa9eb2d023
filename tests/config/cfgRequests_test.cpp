// Every request the service serves, answered with the right reply class and
// contents, and its refusals: unknown variable, role below the level, a
// value outside fixed options.
#include "tests/config/cfgTestFixture.h"

namespace {

class CfgRequestTest : public CfgSrvTest {
 protected:
  void SetUp() override {
    CfgSrvTest::SetUp();
    startService();
    openLocal("Client");
  }
  const std::string c = "Client";
};

std::vector<std::string> list(const google::protobuf::RepeatedPtrField<std::string>& r) {
  return std::vector<std::string>(r.begin(), r.end());
}

TEST_F(CfgRequestTest, ReadGivesValueDefaultFlagAndEchoesInstance) {
  ConfigIF::ReadRsp r = read(c, "test.plain");
  EXPECT_EQ(r.error(), 0);
  EXPECT_EQ(list(r.value()), std::vector<std::string>{"start"});
  EXPECT_TRUE(r.is_default());
  ASSERT_EQ(r.instance().node_size(), 1);
  EXPECT_EQ(r.instance().node(0).name(), "test.plain");

  ASSERT_EQ(write(c, "test.plain", "changed").error(), 0);
  r = read(c, "test.plain");
  EXPECT_EQ(list(r.value()), std::vector<std::string>{"changed"});
  EXPECT_FALSE(r.is_default());

  // Names are matched whatever their case, the way clients spell them.
  EXPECT_EQ(list(read(c, "TEST.Plain").value()), std::vector<std::string>{"changed"});
}

TEST_F(CfgRequestTest, MultiValuedVariableKeepsItsValuesInOrder) {
  ConfigIF::ReadRsp r = read(c, "test.list");
  EXPECT_EQ(list(r.value()), (std::vector<std::string>{"a", "b"}));
  ConfigIF::WriteReq w;
  w.set_name(c);
  w.set_role(CommonIF::kAdmin);
  *w.mutable_instance_val()->mutable_instance() = cfgInst("test.list");
  for (const char* v : {"x", "y", "z"}) w.mutable_instance_val()->add_value(v);
  ConfigIF::WriteRsp wr;
  ASSERT_TRUE(call(c, w, &wr));
  EXPECT_EQ(wr.error(), 0);
  EXPECT_EQ(list(read(c, "test.list").value()), (std::vector<std::string>{"x", "y", "z"}));
  // A single-valued variable takes exactly one value.
  *w.mutable_instance_val()->mutable_instance() = cfgInst("test.plain");
  ASSERT_TRUE(call(c, w, &wr));
  EXPECT_EQ(wr.error(), -3);
}

TEST_F(CfgRequestTest, InstancesAndInnerElements) {
  ASSERT_EQ(write(c, "test.slots", "10.0.0.3", 20, 3).error(), 0);
  EXPECT_EQ(list(read(c, "test.slots", 3).value()), std::vector<std::string>{"10.0.0.3"});
  EXPECT_EQ(list(read(c, "test.slots", 0).value()), std::vector<std::string>{""});
  EXPECT_EQ(read(c, "test.slots", 4).error(), -7);
  EXPECT_EQ(write(c, "test.slots", "x", 20, 4).error(), -7);

  ASSERT_EQ(write(c, "test.monitor[1].kind", "DVI").error(), 0);
  EXPECT_EQ(list(read(c, "test.monitor[1].kind").value()), std::vector<std::string>{"DVI"});
  // Element 0 may be written with or without "[0]".
  EXPECT_EQ(list(read(c, "test.monitor[0].kind").value()), std::vector<std::string>{"HDMI"});
  EXPECT_EQ(list(read(c, "test.monitor.kind").value()), std::vector<std::string>{"HDMI"});
  // A path split into nodes names the same variable as the dotted name.
  ConfigIF::ReadReq req;
  req.set_name(c);
  req.set_role(CommonIF::kUser);
  for (auto [n, i] : {std::pair<const char*, int>{"cfg", 1}, {"test", 0}, {"monitor", 1}, {"kind", 0}}) {
    ConfigIF::Node* node = req.mutable_instance()->add_node();
    node->set_name(n);
    node->set_instance(i);
  }
  ConfigIF::ReadRsp rsp;
  ASSERT_TRUE(call(c, req, &rsp));
  EXPECT_EQ(rsp.error(), 0);
  EXPECT_EQ(list(rsp.value()), std::vector<std::string>{"DVI"});
}

TEST_F(CfgRequestTest, RefusalsCarryTheirErrorCodes) {
  EXPECT_EQ(read(c, "no.such.variable").error(), -7);
  EXPECT_EQ(write(c, "no.such.variable", "1").error(), -7);
  // Role below the level.
  EXPECT_EQ(read(c, "test.secret", 0, 10).error(), -8);
  EXPECT_TRUE(read(c, "test.secret", 0, 10).value().empty());
  EXPECT_EQ(read(c, "test.secret", 0, 20).error(), 0);
  EXPECT_EQ(write(c, "test.plain", "u", 10).error(), -8);
  EXPECT_EQ(write(c, "test.status", "busy", 20).error(), -8);
  EXPECT_EQ(write(c, "test.status", "busy", 30).error(), 0);
  // Fixed options take only their own texts, byte for byte.
  EXPECT_EQ(write(c, "test.colour", "Purple").error(), -3);
  EXPECT_EQ(write(c, "test.colour", "red").error(), -3);
  EXPECT_EQ(write(c, "test.colour", "Red").error(), 0);
  // Open options are offered, not enforced.
  EXPECT_EQ(write(c, "test.mode", "manual").error(), 0);
  EXPECT_EQ(list(read(c, "test.colour").value()), std::vector<std::string>{"Red"});
  EXPECT_EQ(list(read(c, "test.plain").value()), std::vector<std::string>{"start"});
}

TEST_F(CfgRequestTest, BatchReadAnswersEveryEntryInOrder) {
  ConfigIF::BatchReadReq req;
  req.set_name(c);
  req.set_role(CommonIF::kUser);
  *req.add_instance() = cfgInst("test.other");
  *req.add_instance() = cfgInst("no.such");
  *req.add_instance() = cfgInst("test.secret");
  *req.add_instance() = cfgInst("test.colour");
  ConfigIF::BatchReadRsp rsp;
  ASSERT_TRUE(call(c, req, &rsp));
  ASSERT_EQ(rsp.entry_size(), 4);
  EXPECT_EQ(rsp.error(), -7);
  EXPECT_EQ(rsp.entry(0).error(), 0);
  EXPECT_EQ(list(rsp.entry(0).instance_val().value()), std::vector<std::string>{"x"});
  EXPECT_EQ(rsp.entry(1).error(), -7);
  EXPECT_EQ(rsp.entry(2).error(), -8);
  EXPECT_EQ(rsp.entry(3).instance_val().instance().node(0).name(), "test.colour");
  EXPECT_EQ(list(rsp.entry(3).instance_val().value()), std::vector<std::string>{"Green"});
  EXPECT_TRUE(rsp.entry(3).is_default());
}

TEST_F(CfgRequestTest, AttributesOptionsAndDefaults) {
  ConfigIF::ReadAttributesReq ra;
  ra.set_name(c);
  *ra.mutable_instance() = cfgInst("test.colour");
  ConfigIF::ReadAttributesRsp rar;
  ASSERT_TRUE(call(c, ra, &rar));
  EXPECT_EQ(rar.error(), 0);
  EXPECT_EQ(rar.var_type(), "enum");
  EXPECT_EQ(rar.read_level(), CommonIF::kUser);
  EXPECT_EQ(rar.write_level(), CommonIF::kAdmin);
  EXPECT_EQ(list(rar.node_options()), (std::vector<std::string>{"Red", "Green", "Blue"}));
  EXPECT_EQ(rar.default_index(), 1u);
  EXPECT_EQ(list(rar.default_value()), std::vector<std::string>{"Green"});
  EXPECT_EQ(rar.max_instances(), 1);
  *ra.mutable_instance() = cfgInst("test.slots");
  ASSERT_TRUE(call(c, ra, &rar));
  EXPECT_EQ(rar.max_instances(), 4);
  EXPECT_EQ(rar.var_type(), "string");

  // New options with a new default: the value follows while it is the
  // default; the factory list stays available.
  ConfigIF::SetAttributeOptionsReq so;
  so.set_name(c);
  so.set_role(CommonIF::kStartup);
  *so.mutable_instance() = cfgInst("test.colour");
  so.set_default_index(1);
  so.add_node_options("Cyan");
  so.add_node_options("Blue");
  ConfigIF::SetAttributeOptionsRsp sor;
  ASSERT_TRUE(call(c, so, &sor));
  EXPECT_EQ(sor.error(), 0);
  ConfigIF::GetAttributeOptionsReq go;
  go.set_name(c);
  *go.mutable_instance() = cfgInst("test.colour");
  ConfigIF::GetAttributeOptionsRsp gor;
  ASSERT_TRUE(call(c, go, &gor));
  EXPECT_EQ(list(gor.node_options()), (std::vector<std::string>{"Cyan", "Blue"}));
  EXPECT_EQ(gor.default_index(), 1u);
  ConfigIF::ReadRsp r = read(c, "test.colour");
  EXPECT_EQ(list(r.value()), std::vector<std::string>{"Blue"});
  EXPECT_TRUE(r.is_default());
  EXPECT_EQ(write(c, "test.colour", "Red").error(), -3);

  ConfigIF::GetDefaultOptionsReq gd;
  gd.set_name(c);
  gd.set_variable_name("test.colour");
  ConfigIF::GetDefaultOptionsRsp gdr;
  ASSERT_TRUE(call(c, gd, &gdr));
  EXPECT_EQ(gdr.error(), 0);
  EXPECT_EQ(list(gdr.node_options()), (std::vector<std::string>{"Red", "Green", "Blue"}));
  EXPECT_EQ(gdr.default_index(), 1u);
  gd.set_variable_name("no.such");
  ASSERT_TRUE(call(c, gd, &gdr));
  EXPECT_EQ(gdr.error(), -7);

  // An index past the list, and a role below the write level.
  so.set_default_index(2);
  ASSERT_TRUE(call(c, so, &sor));
  EXPECT_EQ(sor.error(), -3);
  so.set_default_index(0);
  so.set_role(CommonIF::kUser);
  ASSERT_TRUE(call(c, so, &sor));
  EXPECT_EQ(sor.error(), -8);
}

TEST_F(CfgRequestTest, AccessLevelsAreSetReadAndEnforced) {
  ConfigIF::SetAccessLevelsReq sl;
  sl.set_name(c);
  sl.set_role(CommonIF::kSystem);
  *sl.add_instance() = cfgInst("test.plain");
  *sl.add_instance() = cfgInst("test.other");
  sl.set_write_level(CommonIF::kSystem);  // read level left as it is
  ConfigIF::SetAccessLevelsRsp slr;
  ASSERT_TRUE(call(c, sl, &slr));
  EXPECT_EQ(slr.error(), 0);
  ConfigIF::GetAccessLevelsReq gl;
  gl.set_name(c);
  *gl.mutable_instance() = cfgInst("test.other");
  ConfigIF::GetAccessLevelsRsp glr;
  ASSERT_TRUE(call(c, gl, &glr));
  EXPECT_EQ(glr.error(), 0);
  EXPECT_EQ(glr.read_level(), CommonIF::kUser);
  EXPECT_EQ(glr.write_level(), CommonIF::kSystem);
  EXPECT_EQ(write(c, "test.plain", "v", 20).error(), -8);
  EXPECT_EQ(write(c, "test.plain", "v", 30).error(), 0);

  // Nobody hands out a level above its own role, nor changes a variable it
  // may not write.
  sl.set_role(CommonIF::kAdmin);
  ASSERT_TRUE(call(c, sl, &slr));
  EXPECT_EQ(slr.error(), -8);
  sl.clear_instance();
  *sl.add_instance() = cfgInst("test.third");
  sl.set_role(CommonIF::kAdmin);
  sl.set_write_level(CommonIF::kSystem);
  ASSERT_TRUE(call(c, sl, &slr));
  EXPECT_EQ(slr.error(), -8);
  *sl.add_instance() = cfgInst("no.such");
  sl.set_role(CommonIF::kStartup);
  ASSERT_TRUE(call(c, sl, &slr));
  EXPECT_EQ(slr.error(), -7);
  *gl.mutable_instance() = cfgInst("test.third");
  ASSERT_TRUE(call(c, gl, &glr));
  EXPECT_EQ(glr.write_level(), CommonIF::kAdmin) << "a refused request changed nothing";
}

TEST_F(CfgRequestTest, ValueOptionsAccessInOneAnswer) {
  ConfigIF::GetValueOptionsAccessReq req;
  req.set_name(c);
  req.set_role(CommonIF::kUser);
  *req.mutable_instance() = cfgInst("test.colour");
  ConfigIF::GetValueOptionsAccessRsp rsp;
  ASSERT_TRUE(call(c, req, &rsp));
  EXPECT_EQ(rsp.error(), 0);
  EXPECT_EQ(list(rsp.result().value()), std::vector<std::string>{"Green"});
  EXPECT_TRUE(rsp.result().is_default());
  EXPECT_EQ(list(rsp.result().node_options()), (std::vector<std::string>{"Red", "Green", "Blue"}));
  EXPECT_EQ(rsp.result().default_index(), 1u);
  EXPECT_EQ(rsp.result().write_level(), CommonIF::kAdmin);
  *req.mutable_instance() = cfgInst("test.secret");
  ASSERT_TRUE(call(c, req, &rsp));
  EXPECT_EQ(rsp.error(), -8);
  EXPECT_TRUE(rsp.result().value().empty());

  ConfigIF::BatchGetValueOptionsAccessReq b;
  b.set_name(c);
  b.set_role(CommonIF::kAdmin);
  *b.add_instance() = cfgInst("test.secret");
  *b.add_instance() = cfgInst("test.mode");
  ConfigIF::BatchGetValueOptionsAccessRsp br;
  ASSERT_TRUE(call(c, b, &br));
  ASSERT_EQ(br.result_size(), 2);
  EXPECT_EQ(list(br.result(0).value()), std::vector<std::string>{"hush"});
  EXPECT_EQ(list(br.result(1).node_options()), (std::vector<std::string>{"Auto", "Manual"}));
}

TEST_F(CfgRequestTest, ResetAndValidate) {
  ASSERT_EQ(write(c, "test.colour", "Blue").error(), 0);
  ConfigIF::ResetValueReq rv;
  rv.set_name(c);
  rv.set_role(CommonIF::kAdmin);
  *rv.mutable_instance() = cfgInst("test.colour");
  ConfigIF::ResetValueRsp rvr;
  ASSERT_TRUE(call(c, rv, &rvr));
  EXPECT_EQ(rvr.error(), 0);
  ConfigIF::ReadRsp r = read(c, "test.colour");
  EXPECT_EQ(list(r.value()), std::vector<std::string>{"Green"});
  EXPECT_TRUE(r.is_default());
  rv.set_role(CommonIF::kUser);
  ASSERT_TRUE(call(c, rv, &rvr));
  EXPECT_EQ(rvr.error(), -8);

  ConfigIF::ValidateReq v;
  v.set_name(c);
  v.set_role(CommonIF::kAdmin);
  *v.mutable_instance_val()->mutable_instance() = cfgInst("test.colour");
  v.mutable_instance_val()->add_value("Red");
  ConfigIF::ValidateRsp vr;
  ASSERT_TRUE(call(c, v, &vr));
  EXPECT_EQ(vr.error(), 0);
  EXPECT_EQ(list(read(c, "test.colour").value()), std::vector<std::string>{"Green"}) << "validate stores nothing";
  v.mutable_instance_val()->set_value(0, "Mauve");
  ASSERT_TRUE(call(c, v, &vr));
  EXPECT_EQ(vr.error(), -3);
}

TEST_F(CfgRequestTest, RegistrationsAndComponents) {
  EXPECT_EQ(registerCb(c, "test.plain", ConfigIF::kChangeNotify), 0);
  EXPECT_EQ(registerCb(c, "test.plain", ConfigIF::kChangeNotify), 0) << "registering twice is harmless";
  EXPECT_EQ(registerCb(c, "no.such", ConfigIF::kChangeNotify), -7);
  EXPECT_EQ(registerCb(c, "test.slots", ConfigIF::kChangeNotify, 9), -7);
  ConfigIF::UnregisterClientCallbackReq u;
  u.set_name(c);
  u.set_node_name("test.plain");
  u.set_type(ConfigIF::kChangeNotify);
  ConfigIF::UnregisterClientCallbackRsp ur;
  ASSERT_TRUE(call(c, u, &ur));
  EXPECT_EQ(ur.error(), 0);
  ASSERT_TRUE(call(c, u, &ur));
  EXPECT_EQ(ur.error(), -7);
  ConfigIF::UnregisterAllClientCallbacksReq ua;
  ua.set_name(c);
  ConfigIF::UnregisterAllClientCallbacksRsp uar;
  ASSERT_TRUE(call(c, ua, &uar));
  EXPECT_EQ(uar.error(), 0);

  ConfigIF::ComponentChangeReq cc;
  cc.set_name(c);
  cc.set_role(CommonIF::kStartup);
  cc.set_component_name("multicodecprimary");
  cc.set_detach(false);
  ConfigIF::ComponentChangeRsp ccr;
  ASSERT_TRUE(call(c, cc, &ccr));
  EXPECT_EQ(ccr.error(), 0);
  cc.set_component_name("multicodecenginemode");
  ASSERT_TRUE(call(c, cc, &ccr));
  ConfigIF::GetComponentsReq gc;
  gc.set_name(c);
  ConfigIF::GetComponentsRsp gcr;
  ASSERT_TRUE(call(c, gc, &gcr));
  EXPECT_EQ(list(gcr.component_name()), (std::vector<std::string>{"multicodecprimary", "multicodecenginemode"}));
  cc.set_component_name("multicodecprimary");
  cc.set_detach(true);
  ASSERT_TRUE(call(c, cc, &ccr));
  EXPECT_EQ(ccr.error(), 0);
  ASSERT_TRUE(call(c, cc, &ccr));
  EXPECT_EQ(ccr.error(), -7);
  cc.set_component_name("");
  ASSERT_TRUE(call(c, cc, &ccr));
  EXPECT_EQ(ccr.error(), -3);
  ASSERT_TRUE(call(c, gc, &gcr));
  EXPECT_EQ(list(gcr.component_name()), std::vector<std::string>{"multicodecenginemode"});
}

TEST_F(CfgRequestTest, DumpListsWhatTheRoleMayReadSortedByName) {
  ASSERT_EQ(write(c, "test.slots", "s2", 20, 2).error(), 0);
  ConfigIF::DumpReq d;
  d.set_name(c);
  d.set_role(CommonIF::kUser);
  d.set_prefix("test.s");
  ConfigIF::DumpRsp dr;
  ASSERT_TRUE(call(c, d, &dr));
  EXPECT_EQ(dr.error(), 0);
  std::vector<std::string> got;
  for (const ConfigIF::VarEntry& e : dr.entry()) {
    got.push_back(e.name() + ":" + std::to_string(e.instance()) + "=" + (e.value_size() ? e.value(0) : "-"));
  }
  EXPECT_EQ(got, (std::vector<std::string>{"test.slots:0=", "test.slots:1=", "test.slots:2=s2", "test.slots:3=",
                                           "test.status:0=idle", "test.submit:0="}))
      << "test.secret is hidden from a user";
  d.set_role(CommonIF::kAdmin);
  d.clear_prefix();
  ASSERT_TRUE(call(c, d, &dr));
  EXPECT_EQ(dr.entry_size(), 15);
}

}  // namespace

namespace {

// The service as the daemon meets it: seeded from the repository's file.
class CfgRepositorySeedService : public CfgSrvTest {
 protected:
  void SetUp() override {
    CfgSrvTest::SetUp();
    startService(CFG_TEST_SEED);
    openLocal("SystemSrvc");
  }
  const std::string c = "SystemSrvc";
};

TEST_F(CfgRepositorySeedService, ServesTheAppliancesVariables) {
  ConfigIF::ReadRsp r = read(c, "system.log.level", 0, 30);
  EXPECT_EQ(r.error(), 0);
  EXPECT_EQ(r.value(0), "Info");
  EXPECT_TRUE(r.is_default());
  EXPECT_EQ(read(c, "system.network.dnsserver", 3, 30).error(), 0);
  EXPECT_EQ(read(c, "system.network.dnsserver", 4, 30).error(), -7);
  EXPECT_EQ(read(c, "video.monitor[1].signalType", 0, 30).value(0), "HDMI");
  EXPECT_EQ(write(c, "system.post.results[0].errorcode", "0x050", 30).error(), 0);
  EXPECT_EQ(read(c, "system.post.results.errorcode", 0, 30).value(0), "0x050");
  EXPECT_EQ(write(c, "system.network.wired.ipv4nic.mode", "DHCP", 30).error(), -3);
  EXPECT_EQ(write(c, "system.network.wired.ipv4nic.mode", "Off", 30).error(), 0);
  EXPECT_EQ(write(c, "system.info.model", "CEDAR", 50).error(), 0);
  EXPECT_EQ(write(c, "system.info.model", "CEDAR", 20).error(), -8);
  ConfigIF::GetAttributeOptionsReq go;
  go.set_name(c);
  go.set_role(CommonIF::kAdmin);
  *go.mutable_instance() = cfgInst("location.language");
  ConfigIF::GetAttributeOptionsRsp gor;
  ASSERT_TRUE(call(c, go, &gor));
  EXPECT_EQ(gor.node_options_size(), 57);
  EXPECT_EQ(gor.node_options(gor.default_index()), "ENGLISHUS");
  // The start-up registrations of the daemon, one of each kind.
  EXPECT_EQ(registerCb(c, "system.network.submit", ConfigIF::kSubmit), 0);
  EXPECT_EQ(registerCb(c, "system.modularroom.mode", ConfigIF::kDynamicValidator), 0);
  EXPECT_EQ(registerCb(c, "system.network.wired.ipv4nic.mode", ConfigIF::kOnChange), 0);
  EXPECT_EQ(registerCb(c, "video.monitor[1].Resolution", ConfigIF::kChangeNotify), 0);
}

}  // namespace
