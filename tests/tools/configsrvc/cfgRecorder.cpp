#include "tests/tools/configsrvc/cfgRecorder.h"

#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"

namespace {

bool parse(const MSG_Message* m, google::protobuf::Message* out) {
  return out->ParseFromArray(MSG_GetPayload(m), static_cast<int>(MSG_GetPayloadBytes(m)));
}

// Callbacks and notifications carry the same fields.
template <class M>
void describe(const M& m, const char* kind, CfgEvent* e) {
  const ConfigIF::Inst& inst = m.instance_val().instance();
  e->what = std::string(kind) + " " + (inst.node_size() ? inst.node(0).name() : "") + "=";
  for (int i = 0; i < m.instance_val().value_size(); ++i) e->what += (i ? "," : "") + m.instance_val().value(i);
  e->instance = inst.node_size() ? inst.node(inst.node_size() - 1).instance() : 0;
  e->writer = m.name();
  e->userContext = m.user_context();
}

// Answers a callback `req` of class Req with its Rsp class.
template <class Req, class Rsp>
void answer(CfgRecorder& r, const MSG_Message* m, const Req& req, const CfgEvent& e, const CfgRecorder::Handler& h) {
  Rsp rsp;
  ConfigIF::ReturnMessage* ret = rsp.mutable_ret_message();
  ret->set_error(0);
  if (h) h(r, e, ret);
  ret->set_server_context(req.server_context());
  ret->set_client_name(r.name());
  MSG_Message* out = MSG_AllocMsgCopyHdr(m, msgUtil_getMsgId(rsp), static_cast<uint32_t>(rsp.ByteSizeLong()));
  if (out == nullptr) return;
  rsp.SerializeToArray(MSG_GetPayloadMutable(out), static_cast<int>(rsp.ByteSizeLong()));
  MSG_SendMsg(r.name().c_str(), MSG_GetSender(m), out);
}

}  // namespace

bool CfgRecorder::start() {
  if (MSG_OpenLocal(m_name.c_str()) != 0) return false;
  m_open = true;
  m_thread = std::thread([this] { loop(); });
  return true;
}

void CfgRecorder::stop() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
  if (m_open) MSG_CloseLocal(m_name.c_str());
  m_open = false;
}

void CfgRecorder::loop() {
  while (!m_stop) {
    MSG_Message* m = MSG_RecvAnyMsg(m_name.c_str(), 50);
    if (m == nullptr) continue;
    handle(m);
    MSG_ReleaseMsg(m);
  }
}

void CfgRecorder::handle(MSG_Message* m) {
  CfgEvent e;
  ConfigIF::DynamicValidateReq dv;
  ConfigIF::OnChangeReq oc;
  ConfigIF::ConfigChangedNtfy cn;
  ConfigIF::SubmitNtfy sn;
  const MSG_Type type = MSG_GetType(m);
  const bool isValidate = type == kMsgIdConfigIFDynamicValidateReq && parse(m, &dv);
  const bool isChange = type == kMsgIdConfigIFOnChangeReq && parse(m, &oc);
  if (isValidate) {
    describe(dv, "validate", &e);
  } else if (isChange) {
    describe(oc, "onchange", &e);
  } else if (type == kMsgIdConfigIFConfigChangedNtfy && parse(m, &cn)) {
    describe(cn, "changed", &e);
  } else if (type == kMsgIdConfigIFSubmitNtfy && parse(m, &sn)) {
    e.what = std::string(sn.type() == ConfigIF::kSubmitStart ? "start " : "end ") +
             (sn.instance().node_size() ? sn.instance().node(0).name() : "");
    e.userContext = sn.user_context();
  } else {
    e.what = "type " + std::to_string(type);
  }
  {
    std::lock_guard<std::mutex> lk(m_lock);
    m_events.push_back(e);
  }
  m_changed.notify_all();
  if (isValidate) answer<ConfigIF::DynamicValidateReq, ConfigIF::DynamicValidateRsp>(*this, m, dv, e, onValidate);
  if (isChange) answer<ConfigIF::OnChangeReq, ConfigIF::OnChangeRsp>(*this, m, oc, e, onChange);
}

bool CfgRecorder::request(const google::protobuf::Message& req, google::protobuf::Message* rsp, int timeoutMs) {
  MSG_Endpoint to = MSG_GetRemoteId(m_name.c_str(), "ConfigSrvc");
  MSG_Message* m = msgUtil_buildMsg(req, MSG_GetNextSequence(), nullptr);
  if (to == 0 || m == nullptr || MSG_SendMsg(m_name.c_str(), to, m) != 0) return false;
  MSG_Message* r = MSG_RecvMsg(m_name.c_str(), msgUtil_getMsgId(*rsp), timeoutMs);
  if (r == nullptr) return false;
  bool ok = parse(r, rsp);
  MSG_ReleaseMsg(r);
  return ok;
}

std::vector<CfgEvent> CfgRecorder::events() {
  std::lock_guard<std::mutex> lk(m_lock);
  return m_events;
}

std::vector<std::string> CfgRecorder::kinds() {
  std::vector<std::string> out;
  for (const CfgEvent& e : events()) out.push_back(e.what);
  return out;
}

bool CfgRecorder::waitEvents(size_t n, int timeoutMs) {
  std::unique_lock<std::mutex> lk(m_lock);
  return m_changed.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] { return m_events.size() >= n; });
}
