#include "tests/systemservice/test_callbacks_peer.h"

#include <cstdlib>
#include <memory>

#include "CommonIF.pb.h"
#include "OS/logmsg.h"
#include "OS/os_testing.h"
#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"
#include "tests/systemservice/call_trace.h"
#include "systemservice/syssrvCallbacks.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvMessage.h"

namespace {

std::string nodeText(const ConfigIF::Inst& inst) {
  std::string s;
  for (int i = 0; i < inst.node_size(); ++i) {
    if (i > 0) s += "|";
    s += inst.node(i).name() + "#" + std::to_string(inst.node(i).instance());
  }
  return s;
}

std::string levelText(bool has, int level) { return has ? std::to_string(level) : "-"; }

// A field the request must not carry is shown so that a comparison fails.
std::string extra(const google::protobuf::Message& m) {
  return m.GetReflection()->GetUnknownFields(m).empty() ? "" : " +unknown";
}

}  // namespace

// -------------------------------------------------------------- transcripts

std::vector<std::string> transcript(const std::vector<CfgRequest>& requests) {
  std::vector<std::string> out;
  for (const CfgRequest& r : requests) {
    const char* kind = r.type == kMsgIdConfigIFReadReq              ? "read"
                       : r.type == kMsgIdConfigIFWriteReq           ? "write"
                       : r.type == kMsgIdConfigIFSetAccessLevelsReq ? "access"
                                                                    : nullptr;
    if (kind == nullptr) {
      out.push_back("type " + std::to_string(r.type));
      continue;
    }
    if (!r.message) {
      out.push_back(std::string(kind) + " <unparsable>");
      continue;
    }
    std::string insts;
    for (size_t i = 0; i < r.vars.size(); ++i) insts += (i > 0 ? "," : "") + nodeText(*r.vars[i].inst);
    bool own = r.client == "SystemSrvc" && (r.type != kMsgIdConfigIFReadReq || r.role == CommonIF::kSystem);
    std::string who = own ? "" : " from " + r.client;
    std::string role = " role=" + levelText(r.hasRole, r.role);
    if (r.type == kMsgIdConfigIFReadReq) {
      out.push_back("read " + insts + who + extra(*r.message));
    } else if (r.type == kMsgIdConfigIFWriteReq) {
      std::string values;
      for (size_t i = 0; i < r.values.size(); ++i) values += (i > 0 ? "|" : "") + r.values[i];
      out.push_back("write " + insts + "=" + values + role + who + extra(*r.message));
    } else {
      out.push_back("access " + insts + " read=" + levelText(r.hasReadLevel, r.readLevel) +
                    " write=" + levelText(r.hasWriteLevel, r.writeLevel) + role + who + extra(*r.message));
    }
  }
  return out;
}

std::vector<std::string> accessLines(const std::vector<CfgRequest>& requests) {
  std::vector<std::string> out;
  for (const std::string& l : transcript(requests)) {
    if (l.compare(0, 7, "access ") == 0) out.push_back(l);
  }
  return out;
}

std::string accessLine(const std::string& name, int instance, int read, int write) {
  return "access " + name + "#" + std::to_string(instance) + " read=" + (read ? std::to_string(read) : "-") +
         " write=" + (write ? std::to_string(write) : "-") + " role=30";
}

ConfigIF::ReturnMessage expectedRet(int error, bool reboot, const std::string& serverContext) {
  ConfigIF::ReturnMessage ret;
  ret.set_error(error);
  ret.set_server_context(serverContext);
  ret.set_client_name("SystemSrvc");
  ret.set_reboot_required(reboot);
  return ret;
}

// ------------------------------------------------------------------ fixture

void CallbacksTest::SetUp() {
  m_rec = std::make_unique<RecorderSysIo>();
  sysio_install(m_rec.get());
  logmsg_testing_reset();
  m_rec->put_file("/dev/crvllog", "");
  ASSERT_EQ(logmsg_init(0, "syssrv"), 0);
  setenv("MSG_SOCKET_DIR", (m_rec->root() + "/msg").c_str(), 1);
  ASSERT_EQ(MSG_OpenLocal(kLocal), 0);
  ASSERT_EQ(MSG_OpenLocal(kCaller), 0);
  ASSERT_TRUE(m_peer.start());
  ASSERT_EQ(syssrvCfgMsgInit(kLocal), 0);
  syssrvCallTrace_clear();
  eModel = kUnknownModel;
  m_bDevfeatures = false;
  delegate_running = 0;
  m_LanDirtyBit = 0;
  m_IPv6DirtyBit = 0;
  m_DnsDirtyBit = 0;
}

void CallbacksTest::TearDown() {
  m_peer.stop();
  MSG_CloseLocal(kCaller);
  MSG_CloseLocal(kLocal);
  syssrvCallTrace_clear();
  eModel = kUnknownModel;
  m_bDevfeatures = false;
  delegate_running = 0;
  m_LanDirtyBit = 0;
  m_IPv6DirtyBit = 0;
  m_DnsDirtyBit = 0;
  logmsg_testing_reset();
  sysio_install(nullptr);
  unsetenv("MSG_SOCKET_DIR");
  m_rec.reset();
}

void CallbacksTest::deliver(MSG_Type type, const std::string& payload, MSG_CallbackFunc handler, uint32_t sequence) {
  MSG_Message* out = MSG_AllocMsg(type, sequence, static_cast<uint32_t>(payload.size()));
  ASSERT_NE(out, nullptr);
  if (!payload.empty()) memcpy(MSG_GetPayloadMutable(out), payload.data(), payload.size());
  MSG_Endpoint to = MSG_GetRemoteId(kCaller, kLocal);
  ASSERT_NE(to, 0u);
  ASSERT_EQ(MSG_SendMsg(kCaller, to, out), 0);
  MSG_Message* in = MSG_RecvMsg(kLocal, type, 5000);
  ASSERT_NE(in, nullptr) << "the request did not reach " << kLocal;
  handler(nullptr, in);
  MSG_ReleaseMsg(in);
}

bool CallbacksTest::answer(MSG_Type type, google::protobuf::Message* out, int timeoutMs, uint32_t* sequence) {
  MSG_Message* in = MSG_RecvMsg(kCaller, type, timeoutMs);
  if (in == nullptr) return false;
  bool ok = out->ParseFromArray(MSG_GetPayload(in), static_cast<int>(MSG_GetPayloadBytes(in)));
  if (sequence != nullptr) *sequence = MSG_GetSequence(in);
  MSG_ReleaseMsg(in);
  return ok;
}

bool CallbacksTest::anyAnswer(int timeoutMs) {
  MSG_Message* in = MSG_RecvAnyMsg(kCaller, timeoutMs);
  if (in == nullptr) return false;
  MSG_ReleaseMsg(in);
  return true;
}

ConfigIF::DynamicValidateRsp CallbacksTest::validate(const std::string& name, const std::string& value, int instance) {
  ConfigIF::DynamicValidateRsp rsp;
  auto req = callbackRequest<ConfigIF::DynamicValidateReq>(name, value, instance);
  deliver(kMsgIdConfigIFDynamicValidateReq, req.SerializeAsString(), config_dynamic_validate);
  EXPECT_TRUE(answer(kMsgIdConfigIFDynamicValidateRsp, &rsp)) << "no DynamicValidateRsp for " << name;
  return rsp;
}

ConfigIF::OnChangeRsp CallbacksTest::onChange(const std::string& name, const std::string& value, int instance) {
  ConfigIF::OnChangeRsp rsp;
  auto req = callbackRequest<ConfigIF::OnChangeReq>(name, value, instance);
  deliver(kMsgIdConfigIFOnChangeReq, req.SerializeAsString(), config_on_change);
  EXPECT_TRUE(answer(kMsgIdConfigIFOnChangeRsp, &rsp)) << "no OnChangeRsp for " << name;
  EXPECT_EQ(rsp.SerializeAsString(), [] {
    ConfigIF::OnChangeRsp e;
    *e.mutable_ret_message() = expectedRet(0, false);
    return e.SerializeAsString();
  }()) << rsp.ShortDebugString();
  return rsp;
}

void CallbacksTest::submit(const std::string& name, ConfigIF::SubmitType type) {
  ConfigIF::SubmitNtfy ntfy;
  ConfigIF::Node* node = ntfy.mutable_instance()->add_node();
  node->set_name(name);
  node->set_instance(0);
  ntfy.set_type(type);
  deliver(kMsgIdConfigIFSubmitNtfy, ntfy.SerializeAsString(), config_submit_notify);
}

std::vector<std::string> CallbacksTest::logLines() const {
  std::vector<std::string> out;
  std::string bytes = m_rec->file_bytes("/dev/crvllog");
  size_t start = 0;
  for (size_t nl; (nl = bytes.find('\n', start)) != std::string::npos; start = nl + 1) {
    out.push_back(bytes.substr(start, nl - start));
  }
  return out;
}

std::vector<std::string> CallbacksTest::logLines(const std::string& component) const {
  std::vector<std::string> out;
  const std::string tag = "syssrv: hd[0]: " + component + ": ";
  for (const std::string& l : logLines()) {
    if (l.size() > 3 && l.compare(3, tag.size(), tag) == 0) out.push_back(l);
  }
  return out;
}

std::string CallbacksTest::line(int level, const std::string& component, const std::string& text) {
  return "<" + std::to_string(level) + ">syssrv: hd[0]: " + component + ": " + text;
}
