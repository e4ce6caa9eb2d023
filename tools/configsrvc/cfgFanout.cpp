#include "tools/configsrvc/cfgFanout.h"

#include "ConfigIF.pb.h"
#include "tools/configsrvc/cfgLog.h"
#include "tools/configsrvc/cfgMsg.h"

namespace {

void fillInstValue(ConfigIF::InstValue* iv, const CfgChange& c) {
  cfgFillInst(iv->mutable_instance(), c.name, c.instance);
  for (const std::string& s : c.values) iv->add_value(s);
}

template <class Req>
Req buildCall(const CfgChange& c, const CfgReg& r, const std::string& context) {
  Req req;
  fillInstValue(req.mutable_instance_val(), c);
  req.set_server_context(context);
  req.set_name(c.writer);
  if (CommonIF::eSecurityRole_IsValid(c.role)) req.set_role(static_cast<CommonIF::eSecurityRole>(c.role));
  req.set_user_context(r.userContext);
  return req;
}

}  // namespace

std::vector<CfgCall> CfgFanout::call(int cbType, const std::vector<CfgReg>& regs, const CfgChange& c) {
  std::vector<CfgCall> out;
  const char* what = cbType == ConfigIF::kDynamicValidator ? "DynamicValidateReq" : "OnChangeReq";
  for (const CfgReg& r : regs) {
    CfgCall k;
    k.client = r.client;
    k.sequence = MSG_GetNextSequence();
    k.context = "configsrvc:" + std::to_string(++m_calls);
    bool sent;
    if (cbType == ConfigIF::kDynamicValidator) {
      sent = cfgSendTo(m_local, r.client, buildCall<ConfigIF::DynamicValidateReq>(c, r, k.context), k.sequence,
                       &k.remote);
    } else {
      sent = cfgSendTo(m_local, r.client, buildCall<ConfigIF::OnChangeReq>(c, r, k.context), k.sequence, &k.remote);
    }
    if (!sent) {
      cfgLog("%s for %s[%d] not sent to %s (not running?), skipping it", what, c.name.c_str(), c.instance,
             r.client.c_str());
      continue;
    }
    cfgDebug("%s %s[%d] -> %s (%s)", what, c.name.c_str(), c.instance, r.client.c_str(), k.context.c_str());
    out.push_back(k);
  }
  return out;
}

void CfgFanout::notifyChanged(const std::vector<CfgReg>& regs, const CfgChange& c) {
  for (const CfgReg& r : regs) {
    ConfigIF::ConfigChangedNtfy n;
    fillInstValue(n.mutable_instance_val(), c);
    n.set_name(c.writer);
    if (CommonIF::eSecurityRole_IsValid(c.role)) n.set_role(static_cast<CommonIF::eSecurityRole>(c.role));
    n.set_user_context(r.userContext);
    MSG_Endpoint to;
    if (!cfgSendTo(m_local, r.client, n, MSG_GetNextSequence(), &to)) {
      cfgLog("ConfigChangedNtfy for %s[%d] not delivered to %s", c.name.c_str(), c.instance, r.client.c_str());
    }
  }
}

void CfgFanout::notifySubmit(const std::vector<CfgReg>& regs, const std::string& point, int submitType) {
  for (const CfgReg& r : regs) {
    ConfigIF::SubmitNtfy n;
    cfgFillInst(n.mutable_instance(), point, 0);
    n.set_type(static_cast<ConfigIF::SubmitType>(submitType));
    n.set_user_context(r.userContext);
    MSG_Endpoint to;
    if (!cfgSendTo(m_local, r.client, n, MSG_GetNextSequence(), &to)) {
      cfgLog("SubmitNtfy %s of %s not delivered to %s", submitType == ConfigIF::kSubmitStart ? "start" : "end",
             point.c_str(), r.client.c_str());
    }
  }
}
