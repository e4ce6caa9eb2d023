// Reads and inspection: answered at once from memory.
#include <algorithm>

#include "ConfigIF.pb.h"
#include "tools/configsrvc/cfgHandlers.h"
#include "tools/configsrvc/cfgLookup.h"
#include "tools/configsrvc/cfgMsg.h"
#include "tools/configsrvc/cfgService.h"

namespace {

void addValues(google::protobuf::RepeatedPtrField<std::string>* to, const std::vector<std::string>& from) {
  for (const std::string& s : from) *to->Add() = s;
}

// The value of one instance when `role` may read it.
int readValue(CfgModel& model, const ConfigIF::Inst& inst, int role, const CfgVar** out, int* instance) {
  CfgVar* v = nullptr;
  int err = cfgLookup(model, inst, &v, instance);
  if (err != kCfgOk) return err;
  *out = v;
  return role < v->readLevel ? kCfgErrNotAuthorized : kCfgOk;
}

void fillValueOptionsAccess(CfgModel& model, const ConfigIF::Inst& inst, int role, ConfigIF::ValueOptionsAccess* r) {
  *r->mutable_instance() = inst;
  const CfgVar* v = nullptr;
  int instance = 0;
  int err = readValue(model, inst, role, &v, &instance);
  r->set_error(err);
  if (v == nullptr) return;
  if (err == kCfgOk) {
    addValues(r->mutable_value(), v->inst[static_cast<size_t>(instance)].values);
    r->set_is_default(v->inst[static_cast<size_t>(instance)].isDefault);
  }
  addValues(r->mutable_node_options(), v->options);
  r->set_default_index(v->defaultIndex);
  r->set_read_level(static_cast<CommonIF::eSecurityRole>(v->readLevel));
  r->set_write_level(static_cast<CommonIF::eSecurityRole>(v->writeLevel));
}

}  // namespace

void cfgOnReadReq(CfgService& s, const MSG_Message* msg) {
  ConfigIF::ReadReq req;
  if (!cfgParseOrRefuse(s, msg, &req)) return;
  ConfigIF::ReadRsp rsp;
  const CfgVar* v = nullptr;
  int instance = 0;
  int err = readValue(s.model(), req.instance(), req.role(), &v, &instance);
  if (err == kCfgOk) {
    addValues(rsp.mutable_value(), v->inst[static_cast<size_t>(instance)].values);
    rsp.set_is_default(v->inst[static_cast<size_t>(instance)].isDefault);
  }
  rsp.set_error(err);
  *rsp.mutable_instance() = req.instance();
  cfgReply(s.local(), msg, rsp);
}

void cfgOnBatchReadReq(CfgService& s, const MSG_Message* msg) {
  ConfigIF::BatchReadReq req;
  if (!cfgParseOrRefuse(s, msg, &req)) return;
  ConfigIF::BatchReadRsp rsp;
  int first = req.instance_size() == 0 ? kCfgErrBadParameter : kCfgOk;
  for (const ConfigIF::Inst& inst : req.instance()) {
    ConfigIF::BatchReadEntry* e = rsp.add_entry();
    *e->mutable_instance_val()->mutable_instance() = inst;
    const CfgVar* v = nullptr;
    int instance = 0;
    int err = readValue(s.model(), inst, req.role(), &v, &instance);
    if (err == kCfgOk) {
      addValues(e->mutable_instance_val()->mutable_value(), v->inst[static_cast<size_t>(instance)].values);
      e->set_is_default(v->inst[static_cast<size_t>(instance)].isDefault);
    }
    e->set_error(err);
    if (first == kCfgOk) first = err;
  }
  rsp.set_error(first);
  cfgReply(s.local(), msg, rsp);
}

// Attributes, options and levels are not hidden by the read level: a client
// that may not see a value still learns what it could be set to.
void cfgOnReadAttributesReq(CfgService& s, const MSG_Message* msg) {
  ConfigIF::ReadAttributesReq req;
  if (!cfgParseOrRefuse(s, msg, &req)) return;
  ConfigIF::ReadAttributesRsp rsp;
  CfgVar* v = nullptr;
  int instance = 0;
  int err = cfgLookup(s.model(), req.instance(), &v, &instance);
  rsp.set_error(err);
  *rsp.mutable_instance() = req.instance();
  if (err == kCfgOk) {
    rsp.set_var_type(v->multi ? "multistring" : (v->optionsFixed && !v->options.empty()) ? "enum" : "string");
    rsp.set_read_level(static_cast<CommonIF::eSecurityRole>(v->readLevel));
    rsp.set_write_level(static_cast<CommonIF::eSecurityRole>(v->writeLevel));
    addValues(rsp.mutable_node_options(), v->options);
    rsp.set_default_index(v->defaultIndex);
    addValues(rsp.mutable_default_value(), v->defaults);
    rsp.set_is_multi_value(v->multi);
    rsp.set_max_instances(static_cast<int>(v->inst.size()));
  }
  cfgReply(s.local(), msg, rsp);
}

void cfgOnGetAttributeOptionsReq(CfgService& s, const MSG_Message* msg) {
  ConfigIF::GetAttributeOptionsReq req;
  if (!cfgParseOrRefuse(s, msg, &req)) return;
  ConfigIF::GetAttributeOptionsRsp rsp;
  CfgVar* v = nullptr;
  int instance = 0;
  int err = cfgLookup(s.model(), req.instance(), &v, &instance);
  rsp.set_error(err);
  if (err == kCfgOk) {
    addValues(rsp.mutable_node_options(), v->options);
    rsp.set_default_index(v->defaultIndex);
  }
  cfgReply(s.local(), msg, rsp);
}

// The options the variable was created with, whatever was set since.
void cfgOnGetDefaultOptionsReq(CfgService& s, const MSG_Message* msg) {
  ConfigIF::GetDefaultOptionsReq req;
  if (!cfgParseOrRefuse(s, msg, &req)) return;
  ConfigIF::GetDefaultOptionsRsp rsp;
  CfgVar* v = nullptr;
  int err = cfgLookupName(s.model(), req.variable_name(), 0, &v);
  rsp.set_error(err);
  if (err == kCfgOk) {
    addValues(rsp.mutable_node_options(), v->seedOptions);
    rsp.set_default_index(v->seedDefaultIndex);
  }
  cfgReply(s.local(), msg, rsp);
}

void cfgOnGetAccessLevelsReq(CfgService& s, const MSG_Message* msg) {
  ConfigIF::GetAccessLevelsReq req;
  if (!cfgParseOrRefuse(s, msg, &req)) return;
  ConfigIF::GetAccessLevelsRsp rsp;
  CfgVar* v = nullptr;
  int instance = 0;
  int err = cfgLookup(s.model(), req.instance(), &v, &instance);
  rsp.set_error(err);
  *rsp.mutable_instance() = req.instance();
  if (err == kCfgOk) {
    rsp.set_read_level(static_cast<CommonIF::eSecurityRole>(v->readLevel));
    rsp.set_write_level(static_cast<CommonIF::eSecurityRole>(v->writeLevel));
  }
  cfgReply(s.local(), msg, rsp);
}

void cfgOnGetValueOptionsAccessReq(CfgService& s, const MSG_Message* msg) {
  ConfigIF::GetValueOptionsAccessReq req;
  if (!cfgParseOrRefuse(s, msg, &req)) return;
  ConfigIF::GetValueOptionsAccessRsp rsp;
  fillValueOptionsAccess(s.model(), req.instance(), req.role(), rsp.mutable_result());
  rsp.set_error(rsp.result().error());
  cfgReply(s.local(), msg, rsp);
}

void cfgOnBatchGetValueOptionsAccessReq(CfgService& s, const MSG_Message* msg) {
  ConfigIF::BatchGetValueOptionsAccessReq req;
  if (!cfgParseOrRefuse(s, msg, &req)) return;
  ConfigIF::BatchGetValueOptionsAccessRsp rsp;
  int first = req.instance_size() == 0 ? kCfgErrBadParameter : kCfgOk;
  for (const ConfigIF::Inst& inst : req.instance()) {
    ConfigIF::ValueOptionsAccess* r = rsp.add_result();
    fillValueOptionsAccess(s.model(), inst, req.role(), r);
    if (first == kCfgOk) first = r->error();
  }
  rsp.set_error(first);
  cfgReply(s.local(), msg, rsp);
}

// Every instance of every variable under the prefix that the role may read;
// the others are left out, not reported.
void cfgOnDumpReq(CfgService& s, const MSG_Message* msg) {
  ConfigIF::DumpReq req;
  if (!cfgParseOrRefuse(s, msg, &req)) return;
  ConfigIF::DumpRsp rsp;
  const std::string prefix = cfgKey(req.prefix());
  for (const auto& kv : s.model().vars()) {
    if (kv.first.compare(0, prefix.size(), prefix) != 0) continue;
    const CfgVar& v = kv.second;
    if (req.role() < v.readLevel) continue;
    for (size_t i = 0; i < v.inst.size(); ++i) {
      ConfigIF::VarEntry* e = rsp.add_entry();
      e->set_name(v.name);
      e->set_instance(static_cast<int>(i));
      addValues(e->mutable_value(), v.inst[i].values);
    }
  }
  rsp.set_error(kCfgOk);
  cfgReply(s.local(), msg, rsp);
}

void cfgOnGetComponentsReq(CfgService& s, const MSG_Message* msg) {
  ConfigIF::GetComponentsReq req;
  if (!cfgParseOrRefuse(s, msg, &req)) return;
  ConfigIF::GetComponentsRsp rsp;
  rsp.set_error(kCfgOk);
  for (const std::string& c : s.model().components()) rsp.add_component_name(c);
  cfgReply(s.local(), msg, rsp);
}
