#include "tests/systemservice/test_notify_fixture.h"

#include <cstdlib>
#include <cstring>

#include "OS/logmsg.h"
#include "OS/os_testing.h"
#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"
#include "tests/systemservice/call_trace.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvConfigNotify.h"
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvMessage.h"

namespace {

const char kLocal[] = "SystemSrvc";
const char kPeer[] = "ConfigSrvc";

void addNode(ConfigIF::Inst* inst, const std::string& name, int instance) {
  ConfigIF::Node* n = inst->add_node();
  n->set_name(name);
  n->set_instance(instance);
}

}  // namespace

std::vector<std::string> NotifyConfigSrvc::requests() const {
  std::vector<std::string> out;
  for (const CfgRequest& r : FakeConfigSrvc::requests()) out.push_back(cfgDescribe(r));
  return out;
}

// ---- expected requests ----

std::string readReq(const std::string& name) {
  ConfigIF::ReadReq r;
  addNode(r.mutable_instance(), name, 0);
  r.set_name(kLocal);
  r.set_role(kSystem);
  return cfgDescribe(r);
}

std::string writeReq(const std::string& name, const std::string& value, CommonIF::eSecurityRole role) {
  ConfigIF::WriteReq w;
  w.set_name(kLocal);
  w.set_role(role);
  w.mutable_instance_val()->add_value(value);
  addNode(w.mutable_instance_val()->mutable_instance(), name, 0);
  return cfgDescribe(w);
}

std::string accessReq(const std::string& name, CommonIF::eSecurityRole role, CommonIF::eSecurityRole read,
                      CommonIF::eSecurityRole write) {
  ConfigIF::SetAccessLevelsReq a;
  a.set_name(kLocal);
  a.set_role(role);
  addNode(a.add_instance(), name, 0);
  a.set_read_level(read);
  a.set_write_level(write);
  return cfgDescribe(a);
}

std::string optionsReq(const std::string& name, const std::vector<std::string>& options, int defaultIndex,
                       CommonIF::eSecurityRole role) {
  ConfigIF::SetAttributeOptionsReq o;
  addNode(o.mutable_instance(), name, 0);
  o.set_name(kLocal);
  o.set_role(role);
  o.set_default_index(static_cast<uint32_t>(defaultIndex));
  for (const std::string& s : options) o.add_node_options(s);
  return cfgDescribe(o);
}

std::string componentReq(const std::string& component, bool detach, CommonIF::eSecurityRole role) {
  ConfigIF::ComponentChangeReq c;
  c.set_name(kLocal);
  c.set_role(role);
  c.set_component_name(component);
  c.set_detach(detach);
  return cfgDescribe(c);
}

// ---- fixture ----

void NotifyTest::SetUp() {
  m_rec = std::make_unique<RecorderSysIo>();
  sysio_install(m_rec.get());
  logmsg_testing_reset();
  m_rec->put_file("/dev/crvllog", "");
  ASSERT_EQ(logmsg_init(0, "syssrv"), 0);
  setenv("MSG_SOCKET_DIR", (m_rec->root() + "/msg").c_str(), 1);
  ASSERT_EQ(MSG_OpenLocal(kLocal), 0);
  ASSERT_TRUE(m_cfg.start());
  MSG_Endpoint id = 0;
  // Bounded, unlike the client's own wait: a peer that never appears must
  // fail the test rather than hang it.
  ASSERT_EQ(MSG_OpenRemoteSync(kLocal, kPeer, 10000, &id), 0);
  ASSERT_EQ(syssrvCfgMsgInit(kLocal), 0);

  eModel = kUnknownModel;
  outOfBox = false;
  delegate_running = 0;
  m_LanDirtyBit = 0;
  m_IPv6DirtyBit = 0;
  discoverProvisioningTimeout = 0;
  didLoggingUpdate = true;
  gSshBanner.Init();
  syssrvCallTrace_clear();
  m_logOffset = 0;
}

void NotifyTest::TearDown() {
  m_cfg.stop();
  MSG_CloseLocal(kLocal);
  logmsg_testing_reset();
  sysio_install(nullptr);
  unsetenv("MSG_SOCKET_DIR");
  m_rec.reset();
}

void NotifyTest::notify(const std::string& name, const std::string& value) {
  notifyNodes({{name, 0}}, {value});
}

void NotifyTest::notifyNodes(const std::vector<std::pair<std::string, int>>& nodes,
                             const std::vector<std::string>& values) {
  ConfigIF::ConfigChangedNtfy n;
  for (const auto& node : nodes) addNode(n.mutable_instance_val()->mutable_instance(), node.first, node.second);
  for (const std::string& v : values) n.mutable_instance_val()->add_value(v);
  n.set_name("WebSrvc");
  n.set_role(kAdmin);
  n.set_user_context("");
  notifyRaw(n.SerializeAsString());
}

void NotifyTest::notifyRaw(const std::string& payload) {
  MSG_Message* msg = MSG_AllocMsg(kMsgIdConfigIFConfigChangedNtfy, 0, static_cast<uint32_t>(payload.size()));
  ASSERT_NE(msg, nullptr);
  if (!payload.empty()) memcpy(MSG_GetPayloadMutable(msg), payload.data(), payload.size());
  config_change_notify(nullptr, msg);
  MSG_ReleaseMsg(msg);
}

std::vector<std::string> NotifyTest::trace() const { return syssrvCallTrace(); }

std::vector<std::string> NotifyTest::logLines() const {
  std::vector<std::string> out;
  std::string bytes = logBytes();
  size_t start = 0;
  for (size_t nl; (nl = bytes.find('\n', start)) != std::string::npos; start = nl + 1) {
    out.push_back(bytes.substr(start, nl - start));
  }
  return out;
}

bool NotifyTest::logged(int level, const std::string& text, const char* component) const {
  std::string line = "<" + std::to_string(level) + ">syssrv: hd[0]: ";
  if (component != nullptr) line += std::string(component) + ": ";
  line += text;
  for (const std::string& l : logLines()) {
    if (l == line) return true;
  }
  return false;
}

void NotifyTest::forget() {
  m_rec->clear();
  syssrvCallTrace_clear();
  m_cfg.clearRequests();
  m_logOffset = m_rec->file_bytes("/dev/crvllog").size();
}

std::string NotifyTest::logBytes() const { return m_rec->file_bytes("/dev/crvllog").substr(m_logOffset); }
