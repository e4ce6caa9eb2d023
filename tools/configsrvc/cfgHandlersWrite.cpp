// Value changes: each request becomes a job of the write path, which
// answers it when the callbacks are done.
#include "ConfigIF.pb.h"
#include "tools/configsrvc/cfgHandlers.h"
#include "tools/configsrvc/cfgLog.h"
#include "tools/configsrvc/cfgLookup.h"
#include "tools/configsrvc/cfgMsg.h"
#include "tools/configsrvc/cfgService.h"

namespace {

// One entry for the variable of an Inst; false when the Inst names none.
bool entryOf(const ConfigIF::Inst& inst, CfgJobEntry* e) {
  return cfgNameFromInst(inst, &e->name, &e->instance);
}

template <class Req>
void startSingle(CfgService& s, const MSG_Message* msg, const Req& req, CfgJobKind kind, const ConfigIF::Inst& inst,
                 const google::protobuf::RepeatedPtrField<std::string>* values) {
  CfgJob job;
  job.kind = kind;
  job.writer = req.name();
  job.role = req.role();
  CfgJobEntry e;
  if (!entryOf(inst, &e)) {
    cfgLog("%s without a variable name", req.GetTypeName().c_str());
    cfgReplyError(s.local(), msg, kCfgErrBadParameter);
    return;
  }
  if (values != nullptr) e.values.assign(values->begin(), values->end());
  e.reset = kind == kCfgJobReset;
  job.entries.push_back(e);
  s.writes().start(msg, std::move(job));
}

}  // namespace

void cfgOnWriteReq(CfgService& s, const MSG_Message* msg) {
  ConfigIF::WriteReq req;
  if (!cfgParseOrRefuse(s, msg, &req)) return;
  startSingle(s, msg, req, kCfgJobWrite, req.instance_val().instance(), &req.instance_val().value());
}

void cfgOnValidateReq(CfgService& s, const MSG_Message* msg) {
  ConfigIF::ValidateReq req;
  if (!cfgParseOrRefuse(s, msg, &req)) return;
  startSingle(s, msg, req, kCfgJobValidate, req.instance_val().instance(), &req.instance_val().value());
}

void cfgOnResetValueReq(CfgService& s, const MSG_Message* msg) {
  ConfigIF::ResetValueReq req;
  if (!cfgParseOrRefuse(s, msg, &req)) return;
  startSingle(s, msg, req, kCfgJobReset, req.instance(), nullptr);
}

void cfgOnBatchWriteReq(CfgService& s, const MSG_Message* msg) {
  ConfigIF::BatchWriteReq req;
  if (!cfgParseOrRefuse(s, msg, &req)) return;
  ConfigIF::BatchWriteRsp refuse;
  if (req.entry_size() == 0) {
    refuse.set_error(kCfgErrBadParameter);
    cfgReply(s.local(), msg, refuse);
    return;
  }
  CfgJob job;
  job.kind = kCfgJobBatch;
  job.writer = req.name();
  job.role = req.role();
  if (!req.submit_name().empty()) {
    CfgVar* point = nullptr;
    int err = cfgLookupName(s.model(), req.submit_name(), 0, &point);
    if (err != kCfgOk) {
      refuse.set_error(err);
      refuse.add_error_message("unknown submit point " + req.submit_name());
      for (int i = 0; i < req.entry_size(); ++i) refuse.add_entry_error(err);
      cfgReply(s.local(), msg, refuse);
      return;
    }
    job.submitPoint = point->name;
  }
  for (const ConfigIF::VarEntry& v : req.entry()) {
    CfgJobEntry e;
    e.name = v.name();
    e.instance = v.instance();
    e.values.assign(v.value().begin(), v.value().end());
    job.entries.push_back(e);
  }
  s.writes().start(msg, std::move(job));
}

void cfgOnDynamicValidateRsp(CfgService& s, const MSG_Message* msg) {
  ConfigIF::DynamicValidateRsp rsp;
  if (!cfgParse(msg, &rsp)) {
    cfgLog("DynamicValidateRsp: Parse Error (%u bytes); the write waits for its time-out", MSG_GetPayloadBytes(msg));
    return;
  }
  if (!s.writes().answer(msg, rsp.ret_message())) cfgDebug("DynamicValidateRsp that no write waits for, dropped");
}

void cfgOnOnChangeRsp(CfgService& s, const MSG_Message* msg) {
  ConfigIF::OnChangeRsp rsp;
  if (!cfgParse(msg, &rsp)) {
    cfgLog("OnChangeRsp: Parse Error (%u bytes); the write waits for its time-out", MSG_GetPayloadBytes(msg));
    return;
  }
  if (!s.writes().answer(msg, rsp.ret_message())) cfgDebug("OnChangeRsp that no write waits for, dropped");
}
