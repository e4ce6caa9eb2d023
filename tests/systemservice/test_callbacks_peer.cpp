#include "tests/systemservice/test_callbacks_peer.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "OS/logmsg.h"
#include "OS/os_testing.h"
#include "multicodec_util/multicodec_sysids.h"
#include "platform/msgutil/msgIds.h"
#include "systemservice/syssrvCallbacks.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvDhcp.h"
#include "systemservice/syssrvLan.h"
#include "systemservice/syssrvLogSpace.h"
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvLogUpload.h"
#include "systemservice/syssrvMessage.h"
#include "tests/systemservice/daemon_state.h"

namespace {

const char* const kPlatformEnv[] = {"CORVALE_BOARDID", "CORVALE_SERIALNUM", "HARDWARE_VERSION", "DEVFEATURES",
                                    "ENCRYPTION_ENABLE", "PRODUCTLINE", "PROJECTPHASE", "VERSION",
                                    "BUILDNUMBER", "DATETIME", "ORBSCOPE_IP"};

std::string varName(const CfgVar& v) { return v.instance == 0 ? v.name : v.name + "#" + std::to_string(v.instance); }

std::string compact(const CfgRequest& r) {
  std::string as = " as " + std::to_string(r.role);
  if (r.message && r.type == kMsgIdConfigIFComponentChangeReq) {
    const auto& c = static_cast<const ConfigIF::ComponentChangeReq&>(*r.message);
    return "component " + c.component_name() + " detach " + (c.detach() ? "1" : "0") + as;
  }
  if (!r.message || r.vars.empty()) return cfgDescribe(r);
  std::string name = varName(r.vars[0]);
  auto level = [](bool has, int l) { return has ? std::to_string(l) : std::string("-"); };
  switch (r.type) {
    case kMsgIdConfigIFReadReq:
      return "read " + name;
    case kMsgIdConfigIFWriteReq: {
      std::string value;
      for (size_t i = 0; i < r.values.size(); ++i) value += (i ? "\n" : "") + r.values[i];
      return "write " + name + "=" + value + as;
    }
    case kMsgIdConfigIFSetAccessLevelsReq:
      return "levels " + name + " read " + level(r.hasReadLevel, r.readLevel) + " write " +
             level(r.hasWriteLevel, r.writeLevel) + as;
    case kMsgIdConfigIFSetAttributeOptionsReq: {
      const auto& o = static_cast<const ConfigIF::SetAttributeOptionsReq&>(*r.message);
      std::string list;
      for (int i = 0; i < o.node_options_size(); ++i) list += (i ? "|" : "") + o.node_options(i);
      return "options " + name + " [" + list + "] default " + std::to_string(o.default_index()) + as;
    }
    case kMsgIdConfigIFRegisterClientCallbackReq:
      return "register " + name + " kind " + std::to_string(r.callbackKind);
    default:
      return cfgDescribe(r);
  }
}

void resetState() {
  resetDaemonState();
  for (const char* name : kPlatformEnv) unsetenv(name);
}

}  // namespace

std::string levels(const std::string& name, int read, int write, int instance) {
  auto l = [](int v) { return v ? std::to_string(v) : std::string("-"); };
  return "levels " + name + (instance ? "#" + std::to_string(instance) : "") + " read " + l(read) + " write " +
         l(write) + " as 30";
}

std::string retBytes(int error, bool reboot, const std::string& serverContext) {
  ConfigIF::DynamicValidateRsp rsp;  // the same field as OnChangeRsp
  ConfigIF::ReturnMessage* ret = rsp.mutable_ret_message();
  ret->set_error(error);
  ret->set_server_context(serverContext);
  ret->set_client_name("SystemSrvc");
  ret->set_reboot_required(reboot);
  return rsp.SerializeAsString();
}

void CfgTest::SetUp() {
  m_rec = std::make_unique<RecorderSysIo>();
  sysio_install(m_rec.get());
  logmsg_testing_reset();
  m_rec->put_file("/dev/crvllog", "");
  ASSERT_EQ(logmsg_init(0, "syssrv"), 0);
  setenv("MSG_SOCKET_DIR", (m_rec->root() + "/msg").c_str(), 1);
  m_rec->make_dirs("/tmp");
  ASSERT_EQ(MSG_OpenLocal(kLocal), 0);
  ASSERT_EQ(MSG_OpenLocal(kCaller), 0);
  ASSERT_TRUE(m_peer.start());
  MSG_Endpoint id = 0;
  // Bounded, unlike the client's own wait: a peer that never appears fails
  // the test rather than hanging it.
  ASSERT_EQ(MSG_OpenRemoteSync(kLocal, "ConfigSrvc", 10000, &id), 0);
  ASSERT_EQ(syssrvCfgMsgInit(kLocal), 0);
  resetState();
  snprintf(ir_filter_sys_file, sizeof ir_filter_sys_file, "%s", "/proc/crvl_ir_fltr");
  gSshBanner.Init();
  remove_codec_id_file();  // not a multi-codec unit unless a test says so
  forget();
}

void CfgTest::TearDown() {
  m_peer.stop();
  MSG_CloseLocal(kCaller);
  MSG_CloseLocal(kLocal);
  resetState();
  logmsg_testing_reset();
  sysio_install(nullptr);
  unsetenv("MSG_SOCKET_DIR");
  m_rec.reset();
}

std::vector<std::string> CfgTest::sent(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const CfgRequest& r : m_peer.requests()) {
    std::string l = compact(r);
    if (l.compare(0, prefix.size(), prefix) == 0) out.push_back(l);
  }
  return out;
}

void CfgTest::forget() {
  m_rec->clear();
  m_peer.clearRequests();
  m_logOffset = m_rec->file_bytes("/dev/crvllog").size();
}

void CfgTest::send(MSG_Type type, const std::string& payload, uint32_t sequence) {
  MSG_Message* out = MSG_AllocMsg(type, sequence, static_cast<uint32_t>(payload.size()));
  ASSERT_NE(out, nullptr);
  if (!payload.empty()) memcpy(MSG_GetPayloadMutable(out), payload.data(), payload.size());
  MSG_Endpoint to = MSG_GetRemoteId(kCaller, kLocal);
  ASSERT_NE(to, 0u);
  ASSERT_EQ(MSG_SendMsg(kCaller, to, out), 0);
}

void CfgTest::deliver(MSG_Type type, const std::string& payload, MSG_CallbackFunc handler, uint32_t sequence) {
  send(type, payload, sequence);
  MSG_Message* in = MSG_RecvMsg(kLocal, type, 5000);
  ASSERT_NE(in, nullptr);
  handler(nullptr, in);
  MSG_ReleaseMsg(in);
}

bool CfgTest::answer(MSG_Type type, google::protobuf::Message* out, int timeoutMs, uint32_t* sequence) {
  MSG_Message* in = MSG_RecvMsg(kCaller, type, timeoutMs);
  if (in == nullptr) return false;
  bool ok = out->ParseFromArray(MSG_GetPayload(in), static_cast<int>(MSG_GetPayloadBytes(in)));
  if (sequence != nullptr) *sequence = MSG_GetSequence(in);
  MSG_ReleaseMsg(in);
  return ok;
}

ConfigIF::DynamicValidateRsp CfgTest::validate(const std::string& name, const std::string& value, int instance) {
  ConfigIF::DynamicValidateRsp rsp;
  auto req = callbackRequest<ConfigIF::DynamicValidateReq>(name, value, instance);
  deliver(kMsgIdConfigIFDynamicValidateReq, req.SerializeAsString(), config_dynamic_validate);
  EXPECT_TRUE(answer(kMsgIdConfigIFDynamicValidateRsp, &rsp)) << "no DynamicValidateRsp for " << name;
  return rsp;
}

void CfgTest::onChange(const std::string& name, const std::string& value, int instance) {
  ConfigIF::OnChangeRsp rsp;
  auto req = callbackRequest<ConfigIF::OnChangeReq>(name, value, instance);
  deliver(kMsgIdConfigIFOnChangeReq, req.SerializeAsString(), config_on_change);
  EXPECT_TRUE(answer(kMsgIdConfigIFOnChangeRsp, &rsp)) << "no OnChangeRsp for " << name;
  EXPECT_EQ(rsp.SerializeAsString(), retBytes(0, false)) << rsp.ShortDebugString();
}

void CfgTest::submit(const std::string& name, ConfigIF::SubmitType type) {
  ConfigIF::SubmitNtfy ntfy;
  ntfy.mutable_instance()->add_node()->set_name(name);
  ntfy.set_type(type);
  deliver(kMsgIdConfigIFSubmitNtfy, ntfy.SerializeAsString(), config_submit_notify);
}

std::string CfgTest::logBytes() const { return m_rec->file_bytes("/dev/crvllog").substr(m_logOffset); }

std::vector<std::string> CfgTest::logLines() const {
  std::vector<std::string> out;
  std::string bytes = logBytes();
  size_t start = 0;
  for (size_t nl; (nl = bytes.find('\n', start)) != std::string::npos; start = nl + 1) {
    out.push_back(bytes.substr(start, nl - start));
  }
  return out;
}

std::string CfgTest::line(int level, const std::string& text, const char* component) {
  return "<" + std::to_string(level) + ">syssrv: hd[0]: " + (component ? std::string(component) + ": " : "") + text;
}

std::vector<std::string> CfgTest::calls() const {
  std::vector<std::string> out;
  for (const SysIoRecord& r : m_rec->records(SysIoCall::kPropertySet)) {
    if (r.name == "net.dns1") out.push_back(r.value == "127.0.0.1" ? "dns to delegate" : "dns published");
  }
  out.insert(out.end(), logged(7, "NO DNS server addresses\n"), "no DNS server");
  return out;
}

int CfgTest::logged(int level, const std::string& text) const {
  const std::string want = line(level, text, nullptr), bytes = logBytes();
  int n = 0;
  for (size_t at = bytes.find(want); at != std::string::npos; at = bytes.find(want, at + 1)) ++n;
  return n;
}

bool CfgTest::logged(int level, const std::string& text, const char* component) const {
  return logged(level, (component ? std::string(component) + ": " : "") + text + "\n") > 0;
}
