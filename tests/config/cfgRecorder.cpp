#include "tests/config/cfgRecorder.h"

#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"

namespace {

void fromInstValue(const ConfigIF::InstValue& iv, CfgEvent* e) {
  if (iv.instance().node_size() > 0) {
    e->var = iv.instance().node(0).name();
    e->instance = iv.instance().node(iv.instance().node_size() - 1).instance();
  }
  e->values.assign(iv.value().begin(), iv.value().end());
}

bool parse(const MSG_Message* m, google::protobuf::Message* out) {
  return out->ParseFromArray(MSG_GetPayload(m), static_cast<int>(MSG_GetPayloadBytes(m)));
}

template <class Rsp>
void answer(const std::string& local, const MSG_Message* req, const Rsp& rsp) {
  MSG_Message* out = MSG_AllocMsgCopyHdr(req, msgUtil_getMsgId(rsp), static_cast<uint32_t>(rsp.ByteSizeLong()));
  if (out == nullptr) return;
  rsp.SerializeToArray(MSG_GetPayloadMutable(out), static_cast<int>(rsp.ByteSizeLong()));
  MSG_SendMsg(local.c_str(), MSG_GetSender(req), out);
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
  e.type = MSG_GetType(m);
  ConfigIF::DynamicValidateReq dv;
  ConfigIF::OnChangeReq oc;
  ConfigIF::ConfigChangedNtfy cn;
  ConfigIF::SubmitNtfy sn;
  bool isValidate = e.type == kMsgIdConfigIFDynamicValidateReq && parse(m, &dv);
  bool isChange = e.type == kMsgIdConfigIFOnChangeReq && parse(m, &oc);
  if (isValidate) {
    fromInstValue(dv.instance_val(), &e);
    e.writer = dv.name();
    e.userContext = dv.user_context();
  } else if (isChange) {
    fromInstValue(oc.instance_val(), &e);
    e.writer = oc.name();
    e.userContext = oc.user_context();
  } else if (e.type == kMsgIdConfigIFConfigChangedNtfy && parse(m, &cn)) {
    fromInstValue(cn.instance_val(), &e);
    e.writer = cn.name();
    e.userContext = cn.user_context();
  } else if (e.type == kMsgIdConfigIFSubmitNtfy && parse(m, &sn)) {
    if (sn.instance().node_size() > 0) e.var = sn.instance().node(0).name();
    e.submitType = sn.type();
    e.userContext = sn.user_context();
  }
  {
    std::lock_guard<std::mutex> lk(m_lock);
    m_events.push_back(e);
  }
  m_changed.notify_all();
  if ((!isValidate && !isChange) || silent) return;
  ConfigIF::ReturnMessage ret;
  ret.set_error(0);
  Handler& h = isValidate ? onValidate : onChange;
  if (h) h(*this, e, &ret);
  ret.set_server_context(isValidate ? dv.server_context() : oc.server_context());
  ret.set_client_name(m_name);
  if (isValidate) {
    ConfigIF::DynamicValidateRsp rsp;
    *rsp.mutable_ret_message() = ret;
    answer(m_name, m, rsp);
  } else {
    ConfigIF::OnChangeRsp rsp;
    *rsp.mutable_ret_message() = ret;
    answer(m_name, m, rsp);
  }
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

bool CfgRecorder::waitEvents(size_t n, int timeoutMs) {
  std::unique_lock<std::mutex> lk(m_lock);
  return m_changed.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] { return m_events.size() >= n; });
}
