#include "tests/systemservice/test_notify_fixture.h"

#include <cstdlib>
#include <cstring>

#include "OS/logmsg.h"
#include "OS/os_testing.h"
#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvConfigNotify.h"
#include "systemservice/syssrvMessage.h"
#include "tests/systemservice/call_trace.h"
#include "tests/systemservice/daemon_test_env.h"

namespace {

const char kLocal[] = "SystemSrvc";


}  // namespace

void NotifyTest::SetUp() {
  ASSERT_TRUE(daemonTestEnv(&m_rec, kLocal));
  ASSERT_TRUE(m_cfg.start());
  MSG_Endpoint id = 0;
  // Bounded, unlike the client's own wait: a peer that never appears must
  // fail the test rather than hang it.
  ASSERT_EQ(MSG_OpenRemoteSync(kLocal, "ConfigSrvc", 10000, &id), 0);
  ASSERT_EQ(syssrvCfgMsgInit(kLocal), 0);
  eModel = kUnknownModel;
  outOfBox = false;
  delegate_running = m_LanDirtyBit = m_IPv6DirtyBit = 0;
  discoverProvisioningTimeout = 0;
  gSshBanner.Init();
  syssrvCallTrace_clear();
}

void NotifyTest::TearDown() {
  m_cfg.stop();
  MSG_CloseLocal(kLocal);
  logmsg_testing_reset();
  sysio_install(nullptr);
  unsetenv("MSG_SOCKET_DIR");
  m_rec.reset();
}

void NotifyTest::notifyNodes(const std::vector<std::pair<std::string, int>>& nodes, const Strings& values) {
  ConfigIF::ConfigChangedNtfy n;
  for (const auto& node : nodes) {
    ConfigIF::Node* added = n.mutable_instance_val()->mutable_instance()->add_node();
    added->set_name(node.first);
    added->set_instance(node.second);
  }
  for (const std::string& v : values) n.mutable_instance_val()->add_value(v);
  n.set_name("WebSrvc");
  n.set_role(kAdmin);
  notifyRaw(n.SerializeAsString());
}

void NotifyTest::notifyRaw(const std::string& payload) {
  MSG_Message* msg = MSG_AllocMsg(kMsgIdConfigIFConfigChangedNtfy, 0, static_cast<uint32_t>(payload.size()));
  ASSERT_NE(msg, nullptr);
  if (!payload.empty()) memcpy(MSG_GetPayloadMutable(msg), payload.data(), payload.size());
  config_change_notify(nullptr, msg);
  MSG_ReleaseMsg(msg);
}

Strings NotifyTest::trace() const { return syssrvCallTrace(); }
Strings NotifyTest::actions() const {
  Strings out;
  for (const SysIoRecord& r : m_rec->records()) {
    if (r.kind == SysIoCall::kSystem) out.push_back(r.text);
    if (r.kind == SysIoCall::kSleep) out.push_back("sleep " + std::to_string(r.us));
  }
  return out;
}

Strings NotifyTest::requests() const {
  Strings out;
  for (const CfgRequest& r : m_cfg.requests()) out.push_back(cfgDescribe(r));
  return out;
}

bool NotifyTest::logged(int level, const std::string& text, const char* component) const {
  const std::string prefix = "\n<" + std::to_string(level) + ">syssrv: hd[0]: ";
  return ("\n" + logBytes()).find(prefix + (component ? std::string(component) + ": " : "") + text + "\n") !=
         std::string::npos;
}

std::string NotifyTest::logBytes() const { return m_rec->file_bytes("/dev/crvllog").substr(m_logOffset); }

void NotifyTest::forget() {
  m_rec->clear();
  syssrvCallTrace_clear();
  m_cfg.clearRequests();
  m_logOffset = m_rec->file_bytes("/dev/crvllog").size();
}
