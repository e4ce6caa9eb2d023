#include "tests/daemon/test_notify_fixture.h"

#include <cstdlib>
#include <cstring>

#include "OS/logmsg.h"
#include "OS/os_testing.h"
#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"
#include "systemservice/syssrvCallTrace.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvConfigNotify.h"
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvMessage.h"

namespace {

const char kLocal[] = "SystemSrvc";
const char kPeer[] = "ConfigSrvc";

std::string varKey(const ConfigIF::Inst& inst) {
  std::string key;
  for (const ConfigIF::Node& n : inst.node()) {
    if (!key.empty()) key += ".";
    key += n.name();
  }
  return key;
}

void send(const MSG_Message* req, const google::protobuf::Message& rsp) {
  std::string bytes = rsp.SerializeAsString();
  MSG_Message* out = MSG_AllocMsgCopyHdr(req, msgUtil_getMsgId(rsp), static_cast<uint32_t>(bytes.size()));
  if (out == nullptr) return;
  if (!bytes.empty()) memcpy(MSG_GetPayloadMutable(out), bytes.data(), bytes.size());
  MSG_SendMsg(kPeer, 0, out);
}

void addNode(ConfigIF::Inst* inst, const std::string& name, int instance) {
  ConfigIF::Node* n = inst->add_node();
  n->set_name(name);
  n->set_instance(instance);
}

}  // namespace

// ---- fake configuration service ----

void FakeConfigSrvc::start() {
  ASSERT_EQ(MSG_OpenLocal(kPeer), 0);
  m_stop = false;
  m_thread = std::thread([this] { run(); });
}

void FakeConfigSrvc::stop() {
  if (!m_thread.joinable()) return;
  m_stop = true;
  m_thread.join();
  MSG_CloseLocal(kPeer);
}

void FakeConfigSrvc::run() {
  while (!m_stop) {
    MSG_Message* req = MSG_RecvAnyMsg(kPeer, 50);
    if (req == nullptr) continue;
    answer(req);
    MSG_ReleaseMsg(req);
  }
}

void FakeConfigSrvc::answer(const MSG_Message* req) {
  const MSG_Type type = MSG_GetType(req);
  std::unique_ptr<google::protobuf::Message> parsed = msgUtil_newMessage(type);
  std::lock_guard<std::mutex> lock(m_mu);
  if (!parsed || !parsed->ParseFromArray(MSG_GetPayload(req), static_cast<int>(MSG_GetPayloadBytes(req)))) {
    m_requests.push_back("unparsable type " + std::to_string(type));
    return;
  }
  m_requests.push_back(describe(*parsed));
  if (m_silent.count(type) != 0) return;
  const int error = m_errors.count(type) != 0 ? m_errors[type] : 0;
  if (type == kMsgIdConfigIFReadReq) {
    const auto& r = static_cast<const ConfigIF::ReadReq&>(*parsed);
    ConfigIF::ReadRsp rsp;
    auto it = m_values.find(varKey(r.instance()));
    if (it != m_values.end()) rsp.add_value(it->second);
    rsp.set_error(it == m_values.end() ? -7 : error);
    send(req, rsp);
  } else if (type == kMsgIdConfigIFWriteReq) {
    const auto& w = static_cast<const ConfigIF::WriteReq&>(*parsed);
    if (error == 0 && w.instance_val().value_size() > 0) {
      m_values[varKey(w.instance_val().instance())] = w.instance_val().value(0);
    }
    ConfigIF::WriteRsp rsp;
    rsp.set_error(error);
    send(req, rsp);
  } else if (type == kMsgIdConfigIFSetAccessLevelsReq) {
    ConfigIF::SetAccessLevelsRsp rsp;
    rsp.set_error(error);
    send(req, rsp);
  } else if (type == kMsgIdConfigIFSetAttributeOptionsReq) {
    ConfigIF::SetAttributeOptionsRsp rsp;
    rsp.set_error(error);
    send(req, rsp);
  } else if (type == kMsgIdConfigIFGetDefaultOptionsReq) {
    ConfigIF::GetDefaultOptionsRsp rsp;
    rsp.set_error(error);
    for (const std::string& o : m_defaultOptions) rsp.add_node_options(o);
    rsp.set_default_index(0);
    send(req, rsp);
  } else if (type == kMsgIdConfigIFComponentChangeReq) {
    ConfigIF::ComponentChangeRsp rsp;
    rsp.set_error(error);
    send(req, rsp);
  }
}

void FakeConfigSrvc::set(const std::string& name, const std::string& value) {
  std::lock_guard<std::mutex> lock(m_mu);
  m_values[name] = value;
}

std::string FakeConfigSrvc::get(const std::string& name) const {
  std::lock_guard<std::mutex> lock(m_mu);
  auto it = m_values.find(name);
  return it == m_values.end() ? std::string() : it->second;
}

bool FakeConfigSrvc::has(const std::string& name) const {
  std::lock_guard<std::mutex> lock(m_mu);
  return m_values.count(name) != 0;
}

void FakeConfigSrvc::silence(MSG_Type type) {
  std::lock_guard<std::mutex> lock(m_mu);
  m_silent.insert(type);
}

void FakeConfigSrvc::answerError(MSG_Type type, int error) {
  std::lock_guard<std::mutex> lock(m_mu);
  m_errors[type] = error;
}

void FakeConfigSrvc::setDefaultOptions(const std::vector<std::string>& options) {
  std::lock_guard<std::mutex> lock(m_mu);
  m_defaultOptions = options;
}

std::vector<std::string> FakeConfigSrvc::requests() const {
  std::lock_guard<std::mutex> lock(m_mu);
  return m_requests;
}

void FakeConfigSrvc::clearRequests() {
  std::lock_guard<std::mutex> lock(m_mu);
  m_requests.clear();
}

// ---- expected requests ----

std::string describe(const google::protobuf::Message& m) {
  return m.GetDescriptor()->name() + " {" + m.ShortDebugString() + "}";
}

std::string readReq(const std::string& name) {
  ConfigIF::ReadReq r;
  addNode(r.mutable_instance(), name, 0);
  r.set_name(kLocal);
  r.set_role(kSystem);
  return describe(r);
}

std::string writeReq(const std::string& name, const std::string& value, CommonIF::eSecurityRole role) {
  ConfigIF::WriteReq w;
  w.set_name(kLocal);
  w.set_role(role);
  w.mutable_instance_val()->add_value(value);
  addNode(w.mutable_instance_val()->mutable_instance(), name, 0);
  return describe(w);
}

std::string accessReq(const std::string& name, CommonIF::eSecurityRole role, CommonIF::eSecurityRole read,
                      CommonIF::eSecurityRole write) {
  ConfigIF::SetAccessLevelsReq a;
  a.set_name(kLocal);
  a.set_role(role);
  addNode(a.add_instance(), name, 0);
  a.set_read_level(read);
  a.set_write_level(write);
  return describe(a);
}

std::string optionsReq(const std::string& name, const std::vector<std::string>& options, int defaultIndex,
                       CommonIF::eSecurityRole role) {
  ConfigIF::SetAttributeOptionsReq o;
  addNode(o.mutable_instance(), name, 0);
  o.set_name(kLocal);
  o.set_role(role);
  o.set_default_index(static_cast<uint32_t>(defaultIndex));
  for (const std::string& s : options) o.add_node_options(s);
  return describe(o);
}

std::string componentReq(const std::string& component, bool detach, CommonIF::eSecurityRole role) {
  ConfigIF::ComponentChangeReq c;
  c.set_name(kLocal);
  c.set_role(role);
  c.set_component_name(component);
  c.set_detach(detach);
  return describe(c);
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
  m_cfg.start();
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
