// Attributes, access levels, callback registrations and components:
// answered at once, each change committed before the answer.
#include "ConfigIF.pb.h"
#include "tools/configsrvc/cfgHandlers.h"
#include "tools/configsrvc/cfgLog.h"
#include "tools/configsrvc/cfgLookup.h"
#include "tools/configsrvc/cfgMsg.h"
#include "tools/configsrvc/cfgService.h"

namespace {

int dbFailed(CfgService& s, const char* what) {
  cfgLog("%s: database refused: %s", what, s.model().lastError().c_str());
  return s.model().lastErrorCode();
}

int setOptions(CfgService& s, const ConfigIF::SetAttributeOptionsReq& req) {
  CfgVar* v = nullptr;
  int instance = 0;
  int err = cfgLookup(s.model(), req.instance(), &v, &instance);
  if (err != kCfgOk) return err;
  if (req.role() < v->writeLevel) return kCfgErrNotAuthorized;
  std::vector<std::string> options(req.node_options().begin(), req.node_options().end());
  uint32_t index = 0;
  if (req.has_default_index()) {
    index = req.default_index();
  } else {
    // Without an index the default stays what it was, where it still can.
    for (size_t i = 0; i < options.size(); ++i) {
      if (!v->defaults.empty() && options[i] == v->defaults[0]) index = static_cast<uint32_t>(i);
    }
  }
  if (options.empty() ? index != 0 : index >= options.size()) return kCfgErrBadParameter;
  if (v->multi && !options.empty()) return kCfgErrBadParameter;
  return s.model().setOptions(v, options, index) ? kCfgOk : dbFailed(s, "SetAttributeOptionsReq");
}

// The requester must be allowed to write the variable now and may not hand
// out a level above its own role.
int setLevels(CfgService& s, const ConfigIF::SetAccessLevelsReq& req) {
  if (req.instance_size() == 0) return kCfgErrBadParameter;
  std::vector<CfgVar*> vars;
  for (const ConfigIF::Inst& inst : req.instance()) {
    CfgVar* v = nullptr;
    int instance = 0;
    int err = cfgLookup(s.model(), inst, &v, &instance);
    if (err != kCfgOk) return err;
    if (req.role() < v->writeLevel) return kCfgErrNotAuthorized;
    vars.push_back(v);
  }
  if ((req.has_read_level() && req.read_level() > req.role()) ||
      (req.has_write_level() && req.write_level() > req.role())) {
    return kCfgErrNotAuthorized;
  }
  for (CfgVar* v : vars) {
    int r = req.has_read_level() ? req.read_level() : v->readLevel;
    int w = req.has_write_level() ? req.write_level() : v->writeLevel;
    if (!s.model().setLevels(v, r, w)) return dbFailed(s, "SetAccessLevelsReq");
  }
  return kCfgOk;
}

template <class Req>
int regOf(CfgService& s, const Req& req, CfgReg* r) {
  if (req.name().empty() || !req.has_type()) return kCfgErrBadParameter;
  CfgVar* v = nullptr;
  int err = cfgLookupName(s.model(), req.node_name(), req.instance(), &v);
  if (err != kCfgOk) return err;
  r->client = req.name();
  r->name = v->name;
  r->instance = req.instance();
  r->type = req.type();
  r->userContext = req.user_context();
  return kCfgOk;
}

}  // namespace

void cfgOnSetAttributeOptionsReq(CfgService& s, const MSG_Message* msg) {
  ConfigIF::SetAttributeOptionsReq req;
  if (!cfgParseOrRefuse(s, msg, &req)) return;
  ConfigIF::SetAttributeOptionsRsp rsp;
  rsp.set_error(setOptions(s, req));
  cfgReply(s.local(), msg, rsp);
}

void cfgOnSetAccessLevelsReq(CfgService& s, const MSG_Message* msg) {
  ConfigIF::SetAccessLevelsReq req;
  if (!cfgParseOrRefuse(s, msg, &req)) return;
  ConfigIF::SetAccessLevelsRsp rsp;
  rsp.set_error(setLevels(s, req));
  cfgReply(s.local(), msg, rsp);
}

void cfgOnRegisterClientCallbackReq(CfgService& s, const MSG_Message* msg) {
  ConfigIF::RegisterClientCallbackReq req;
  if (!cfgParseOrRefuse(s, msg, &req)) return;
  ConfigIF::RegisterClientCallbackRsp rsp;
  CfgReg r;
  int err = regOf(s, req, &r);
  if (err == kCfgOk && !s.model().addReg(r)) err = dbFailed(s, "RegisterClientCallbackReq");
  if (err == kCfgOk) cfgDebug("%s registered %s[%d] type %d", r.client.c_str(), r.name.c_str(), r.instance, r.type);
  rsp.set_error(err);
  cfgReply(s.local(), msg, rsp);
}

void cfgOnUnregisterClientCallbackReq(CfgService& s, const MSG_Message* msg) {
  ConfigIF::UnregisterClientCallbackReq req;
  if (!cfgParseOrRefuse(s, msg, &req)) return;
  ConfigIF::UnregisterClientCallbackRsp rsp;
  CfgReg r;
  int err = regOf(s, req, &r);
  if (err == kCfgOk) {
    size_t before = s.model().regs().size();
    if (!s.model().removeReg(r)) {
      err = dbFailed(s, "UnregisterClientCallbackReq");
    } else if (s.model().regs().size() == before) {
      err = kCfgErrItemNotFound;
    }
  }
  rsp.set_error(err);
  cfgReply(s.local(), msg, rsp);
}

void cfgOnUnregisterAllClientCallbacksReq(CfgService& s, const MSG_Message* msg) {
  ConfigIF::UnregisterAllClientCallbacksReq req;
  if (!cfgParseOrRefuse(s, msg, &req)) return;
  ConfigIF::UnregisterAllClientCallbacksRsp rsp;
  int err = kCfgOk;
  if (req.name().empty()) {
    err = kCfgErrBadParameter;
  } else if (!s.model().removeClientRegs(req.name())) {
    err = dbFailed(s, "UnregisterAllClientCallbacksReq");
  }
  rsp.set_error(err);
  cfgReply(s.local(), msg, rsp);
}

// Attaching twice is not an error; detaching what is not attached is
// kErrItemNotFound, so that a caller can tell.
void cfgOnComponentChangeReq(CfgService& s, const MSG_Message* msg) {
  ConfigIF::ComponentChangeReq req;
  if (!cfgParseOrRefuse(s, msg, &req)) return;
  ConfigIF::ComponentChangeRsp rsp;
  int err = kCfgOk;
  bool was = false;
  if (req.component_name().empty()) {
    err = kCfgErrBadParameter;
  } else if (req.detach()) {
    if (!s.model().detach(req.component_name(), &was)) {
      err = dbFailed(s, "ComponentChangeReq");
    } else if (!was) {
      err = kCfgErrItemNotFound;
    }
  } else if (!s.model().attach(req.component_name(), &was)) {
    err = dbFailed(s, "ComponentChangeReq");
  }
  if (err == kCfgOk) {
    cfgLog("component %s %s by %s", req.component_name().c_str(), req.detach() ? "detached" : "attached",
           req.name().c_str());
  }
  rsp.set_error(err);
  cfgReply(s.local(), msg, rsp);
}
