#include "tests/daemon/test_startup_fixture.h"

#include <cstdlib>
#include <cstring>

#include "ConfigIF.pb.h"
#include "OS/logmsg.h"
#include "OS/os_testing.h"
#include "multicodec_util/multicodec_sysids.h"
#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"
#include "systemservice/syssrvCallTrace.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvMessage.h"

namespace {

const char kLocal[] = "SystemSrvc";
const char kPeer[] = "ConfigSrvc";
const char kCodecIdFile[] = "/opt/corvale/dat/multicodec_systemid.dat";

// Every variable of the platform's environment that start-up reads.
const char* const kPlatformEnv[] = {"CORVALE_BOARDID", "CORVALE_SERIALNUM", "HARDWARE_VERSION", "DEVFEATURES",
                                    "ENCRYPTION_ENABLE", "PRODUCTLINE", "PROJECTPHASE", "VERSION",
                                    "BUILDNUMBER", "DATETIME", "ORBSCOPE_IP"};

std::string varName(const ConfigIF::Inst& inst) {
  std::string key;
  int last = 0;
  for (const ConfigIF::Node& n : inst.node()) {
    if (!key.empty()) key += ".";
    key += n.name();
    last = n.instance();
  }
  if (last != 0) key += "#" + std::to_string(last);
  return key;
}

std::string role(int r) { return std::to_string(r); }

void send(const MSG_Message* req, const google::protobuf::Message& rsp) {
  std::string bytes = rsp.SerializeAsString();
  MSG_Message* out = MSG_AllocMsgCopyHdr(req, msgUtil_getMsgId(rsp), static_cast<uint32_t>(bytes.size()));
  if (out == nullptr) return;
  if (!bytes.empty()) memcpy(MSG_GetPayloadMutable(out), bytes.data(), bytes.size());
  MSG_SendMsg(kPeer, MSG_GetSender(req), out);
}

// The empty answer of a request class: same name ending in Rsp.
std::unique_ptr<google::protobuf::Message> emptyAnswer(const google::protobuf::Message& req) {
  std::string name = req.GetDescriptor()->full_name();
  if (name.size() < 3 || name.compare(name.size() - 3, 3, "Req") != 0) return nullptr;
  const MsgTypeEntry* e = msgUtil_findByName(name.substr(0, name.size() - 3) + "Rsp");
  return e ? msgUtil_newMessage(e->type) : nullptr;
}

}  // namespace

// ---- recording configuration service ----

void StartupCfgPeer::start() {
  ASSERT_EQ(MSG_OpenLocal(kPeer), 0);
  m_stop = false;
  m_thread = std::thread([this] { run(); });
}

void StartupCfgPeer::stop() {
  if (!m_thread.joinable()) return;
  m_stop = true;
  m_thread.join();
  MSG_CloseLocal(kPeer);
}

void StartupCfgPeer::run() {
  while (!m_stop) {
    MSG_Message* req = MSG_RecvAnyMsg(kPeer, 50);
    if (req == nullptr) continue;
    answer(req);
    MSG_ReleaseMsg(req);
  }
}

void StartupCfgPeer::answer(const MSG_Message* req) {
  const MSG_Type type = MSG_GetType(req);
  std::unique_ptr<google::protobuf::Message> parsed = msgUtil_newMessage(type);
  std::lock_guard<std::mutex> lock(m_mu);
  if (!parsed || !parsed->ParseFromArray(MSG_GetPayload(req), static_cast<int>(MSG_GetPayloadBytes(req)))) {
    m_requests.push_back("unparsable type " + std::to_string(type));
    m_raw.push_back(m_requests.back());
    return;
  }
  m_raw.push_back(parsed->GetDescriptor()->name() + " {" + parsed->ShortDebugString() + "}");

  if (type == kMsgIdConfigIFReadReq) {
    const auto& r = static_cast<const ConfigIF::ReadReq&>(*parsed);
    std::string name = varName(r.instance());
    m_requests.push_back("read " + name);
    if (m_broken.count(name) != 0) {
      MSG_Message* out = MSG_AllocMsgCopyHdr(req, kMsgIdConfigIFReadRsp, 3);
      memcpy(MSG_GetPayloadMutable(out), "\xff\xff\xff", 3);
      MSG_SendMsg(kPeer, MSG_GetSender(req), out);
      return;
    }
    ConfigIF::ReadRsp rsp;
    auto it = m_values.find(name);
    if (it == m_values.end()) {
      rsp.set_error(-7);
    } else {
      rsp.add_value(it->second);
      rsp.set_is_default(m_defaults.count(name) != 0);
      rsp.set_error(0);
    }
    send(req, rsp);
  } else if (type == kMsgIdConfigIFWriteReq) {
    const auto& w = static_cast<const ConfigIF::WriteReq&>(*parsed);
    std::string name = varName(w.instance_val().instance());
    std::string value;
    for (int i = 0; i < w.instance_val().value_size(); ++i) value += (i ? "\n" : "") + w.instance_val().value(i);
    m_requests.push_back("write " + name + " = " + value + " as " + role(w.role()));
    m_values[name] = value;
    m_defaults.erase(name);
    ConfigIF::WriteRsp rsp;
    rsp.set_error(0);
    send(req, rsp);
  } else if (type == kMsgIdConfigIFSetAccessLevelsReq) {
    const auto& a = static_cast<const ConfigIF::SetAccessLevelsReq&>(*parsed);
    std::string entry = "levels";
    for (const ConfigIF::Inst& inst : a.instance()) entry += " " + varName(inst);
    entry += " as " + role(a.role());
    entry += " read " + (a.has_read_level() ? role(a.read_level()) : std::string("-"));
    entry += " write " + (a.has_write_level() ? role(a.write_level()) : std::string("-"));
    m_requests.push_back(entry);
    ConfigIF::SetAccessLevelsRsp rsp;
    rsp.set_error(0);
    send(req, rsp);
  } else if (type == kMsgIdConfigIFSetAttributeOptionsReq) {
    const auto& o = static_cast<const ConfigIF::SetAttributeOptionsReq&>(*parsed);
    std::string list;
    for (int i = 0; i < o.node_options_size(); ++i) list += (i ? "|" : "") + o.node_options(i);
    m_requests.push_back("options " + varName(o.instance()) + " as " + role(o.role()) + " [" + list + "] default " +
                         std::to_string(o.default_index()));
    ConfigIF::SetAttributeOptionsRsp rsp;
    rsp.set_error(0);
    send(req, rsp);
  } else if (type == kMsgIdConfigIFComponentChangeReq) {
    const auto& c = static_cast<const ConfigIF::ComponentChangeReq&>(*parsed);
    m_requests.push_back("component " + c.component_name() + " detach " + (c.detach() ? "1" : "0") + " as " +
                         role(c.role()));
    ConfigIF::ComponentChangeRsp rsp;
    rsp.set_error(0);
    send(req, rsp);
  } else if (type == kMsgIdConfigIFRegisterClientCallbackReq) {
    const auto& g = static_cast<const ConfigIF::RegisterClientCallbackReq&>(*parsed);
    std::string name = g.node_name();
    if (g.instance() != 0) name += "#" + std::to_string(g.instance());
    m_requests.push_back("register " + name + " kind " + std::to_string(g.type()));
    ConfigIF::RegisterClientCallbackRsp rsp;
    auto it = m_refused.find(g.node_name());
    rsp.set_error(it == m_refused.end() ? 0 : it->second);
    send(req, rsp);
  } else {
    m_requests.push_back(m_raw.back());
    std::unique_ptr<google::protobuf::Message> rsp = emptyAnswer(*parsed);
    if (rsp) send(req, *rsp);
  }
}

void StartupCfgPeer::set(const std::string& name, const std::string& value, bool isDefault) {
  std::lock_guard<std::mutex> lock(m_mu);
  m_values[name] = value;
  if (isDefault) {
    m_defaults.insert(name);
  } else {
    m_defaults.erase(name);
  }
}

std::string StartupCfgPeer::get(const std::string& name) const {
  std::lock_guard<std::mutex> lock(m_mu);
  auto it = m_values.find(name);
  return it == m_values.end() ? std::string("<unset>") : it->second;
}

void StartupCfgPeer::breakReads(const std::string& name) {
  std::lock_guard<std::mutex> lock(m_mu);
  m_broken.insert(name);
}

void StartupCfgPeer::refuseRegistration(const std::string& name, int error) {
  std::lock_guard<std::mutex> lock(m_mu);
  m_refused[name] = error;
}

std::vector<std::string> StartupCfgPeer::requests() const {
  std::lock_guard<std::mutex> lock(m_mu);
  return m_requests;
}

std::vector<std::string> StartupCfgPeer::requests(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const std::string& r : requests()) {
    if (r.compare(0, prefix.size(), prefix) == 0) out.push_back(r);
  }
  return out;
}

std::vector<std::string> StartupCfgPeer::rawRequests() const {
  std::lock_guard<std::mutex> lock(m_mu);
  return m_raw;
}

void StartupCfgPeer::clear() {
  std::lock_guard<std::mutex> lock(m_mu);
  m_requests.clear();
  m_raw.clear();
}

// ---- fixture ----

void StartupTest::SetUp() {
  m_rec = std::make_unique<RecorderSysIo>();
  sysio_install(m_rec.get());
  logmsg_testing_reset();
  m_rec->put_file("/dev/crvllog", "");
  ASSERT_EQ(logmsg_init(0, "syssrv"), 0);
  setenv("MSG_SOCKET_DIR", (m_rec->root() + "/msg").c_str(), 1);
  for (const char* name : kPlatformEnv) unsetenv(name);
  ASSERT_EQ(MSG_OpenLocal(kLocal), 0);
  m_cfg.start();
  MSG_Endpoint id = 0;
  // Bounded, unlike the client's own wait: a peer that never appears must
  // fail the test rather than hang it.
  ASSERT_EQ(MSG_OpenRemoteSync(kLocal, kPeer, 10000, &id), 0);
  ASSERT_EQ(syssrvCfgMsgInit(kLocal), 0);

  eModel = kUnknownModel;
  outOfBox = false;
  m_bDevfeatures = false;
  discoverProvisioningTimeout = 0;
  snprintf(ir_filter_sys_file, sizeof ir_filter_sys_file, "%s", "/proc/crvl_ir_fltr");
  gSshBanner.Init();
  // Not a multi-codec unit unless a test says so.
  codecIdFile(nullptr);
  forget();
}

void StartupTest::TearDown() {
  m_cfg.stop();
  MSG_CloseLocal(kLocal);
  for (const char* name : kPlatformEnv) unsetenv(name);
  logmsg_testing_reset();
  sysio_install(nullptr);
  unsetenv("MSG_SOCKET_DIR");
  m_rec.reset();
}

std::vector<std::string> StartupTest::trace() const { return syssrvCallTrace(); }

std::vector<std::string> StartupTest::logLines() const {
  std::vector<std::string> out;
  std::string bytes = m_rec->file_bytes("/dev/crvllog").substr(m_logOffset);
  size_t start = 0;
  for (size_t nl; (nl = bytes.find('\n', start)) != std::string::npos; start = nl + 1) {
    out.push_back(bytes.substr(start, nl - start));
  }
  return out;
}

bool StartupTest::logged(int level, const std::string& text, const char* component) const {
  std::string line = "<" + std::to_string(level) + ">syssrv: hd[0]: ";
  if (component != nullptr) line += std::string(component) + ": ";
  line += text;
  for (const std::string& l : logLines()) {
    if (l == line) return true;
  }
  return false;
}

void StartupTest::forget() {
  m_rec->clear();
  syssrvCallTrace_clear();
  m_cfg.clear();
  m_logOffset = m_rec->file_bytes("/dev/crvllog").size();
}

void StartupTest::env(const char* name, const char* value) { setenv(name, value, 1); }

void StartupTest::codecIdFile(const char* text) {
  // Removing the file makes the next read_codec_id read it again.
  remove_codec_id_file();
  if (text != nullptr) m_rec->put_file(kCodecIdFile, text);
  m_logOffset = m_rec->file_bytes("/dev/crvllog").size();
}

int indexOf(const std::vector<std::string>& list, const std::string& entry) {
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i] == entry) return static_cast<int>(i);
  }
  return -1;
}
