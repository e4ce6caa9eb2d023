// Synchronous client of the configuration service; see syssrvCfgMsg.h.
//
// Every request goes through exchange(): wrap it with its own sequence
// number, MSG_SendMsg from gMyLinxEp to gCfgSvcSpid, then MSG_RecvMsg on
// gMyLinxEp for the response's type until the answer with that sequence
// comes or 1000 ms have passed. There are no retries.
#include "systemservice/syssrvCfgMsg.h"

#include <cstring>
#include <mutex>

#include "OS/logmsg.h"
#include "platform/msg/MSG.h"
#include "platform/msgutil/msgUtil.h"
#include "systemservice/syssrvReplyWait.h"

namespace {

const char kConfigSrvcName[] = "ConfigSrvc";
// The daemon has one thread; while it waits here no other message is
// handled, so a service that does not answer may stall it for this long per
// exchange and no longer.
const int kCfgRspTimeoutMs = 1000;

// Set once by syssrvCfgMsgInit.
std::string gMyLinxEp;
MSG_Endpoint gCfgSvcSpid = 0;

// The message layer hands an answer to the first thread waiting for its
// type, so with two exchanges out (the PAC expiry timer writes from its own
// thread) each could take the other's answer: one exchange at a time.
std::mutex gExchangeLock;

// Function and source line of the caller, for the "%s:%d: " of its logs.
struct Site {
  const char* func;
  int line;
};
#define CFG_SITE (Site{__func__, __LINE__})

// How one exchange ended.
struct Exchanged {
  bool sent = false;    // the request went out
  int rc = 0;           // 0 answered; the send's code; -1 no answer in time
  bool parsed = false;  // answered, and the answer parsed into the response
};

// Sends `req` and waits for the answer of `rsp`'s type that carries the
// request's sequence number, parsing it into `rsp`. Answers with another
// sequence came too late for an earlier exchange and are dropped. On a
// time-out logs `timeoutText` as the caller's error line.
Exchanged exchange(const Site& at, const google::protobuf::Message& req, google::protobuf::Message& rsp,
                   const std::string& timeoutText) {
  std::lock_guard<std::mutex> one(gExchangeLock);
  Exchanged out;
  // The sequence rides in the header, which the answer copies; the request's fields are unchanged.
  const uint32_t sequence = MSG_GetNextSequence();
  MSG_Message* msg = msgUtil_buildMsg(req, sequence, nullptr);
  if (msg == nullptr) {
    logerr(nullptr, "%s:%d: msgUtil_buildMsg failed\n", at.func, at.line);
    out.rc = -1;
    return out;
  }
  out.rc = MSG_SendMsg(gMyLinxEp.c_str(), gCfgSvcSpid, msg);
  if (out.rc != 0) {
    logerr(nullptr, "%s:%d: MSG_SendMsg failed, err=%d\n", at.func, at.line, out.rc);
    return out;
  }
  out.sent = true;
  MSG_Message* in = syssrvRecvReply(gMyLinxEp.c_str(), msgUtil_getMsgId(rsp), sequence, kCfgRspTimeoutMs,
                                    std::string(at.func) + ":" + std::to_string(at.line));
  if (in == nullptr) {
    logerr(nullptr, "%s:%d: %s\n", at.func, at.line, timeoutText.c_str());
    out.rc = -1;
    return out;
  }
  out.parsed = rsp.ParseFromArray(MSG_GetPayload(in), static_cast<int>(MSG_GetPayloadBytes(in)));
  MSG_ReleaseMsg(in);
  return out;
}

bool validRole(int role) { return CommonIF::eSecurityRole_IsValid(role); }

// An access level of 0 means "leave it as it is".
bool validLevel(int level) { return level == 0 || validRole(level); }

void setSingleNode(ConfigIF::Inst* inst, const char* name, int instance) {
  ConfigIF::Node* node = inst->add_node();
  node->set_name(name);
  node->set_instance(instance);
}

void joinValues(std::string& result, const google::protobuf::RepeatedPtrField<std::string>& values) {
  result.clear();
  for (int i = 0; i < values.size(); ++i) {
    if (i > 0) result += '\n';
    result += values.Get(i);
  }
}

std::string namedTimeout(const char* name) { return std::string("MSG_RecvMsg ") + name + " timeout"; }

const char kPlainTimeout[] = "MSG_RecvMsg timeout";

}  // namespace

int syssrvCfgMsgInit(const char* pLinxEpName) {
  gMyLinxEp = pLinxEpName != nullptr ? pLinxEpName : "";
  int rc = MSG_OpenRemoteSync(gMyLinxEp.c_str(), kConfigSrvcName, -1, &gCfgSvcSpid);
  if (rc != 0) logerr(nullptr, "%s:%d: MSG_OpenRemoteSync failed, err=%d\n", __func__, __LINE__, rc);
  return rc;
}

// ------------------------------------------------------------------ read

int config_read(const char* name, char* val, int len, bool* is_default) {
  return config_read_instance(name, val, len, is_default, 0);
}

int config_read_instance(const char* name, char* val, int len, bool* is_default, int instance) {
  // Without room for the terminator there is nothing useful to read into.
  if (name == nullptr || val == nullptr || len < 1) return -1;
  val[0] = '\0';
  std::string value;
  if (config_read_inst_std_str(name, value, is_default, instance) != 0) return -1;
  strncpy(val, value.c_str(), static_cast<size_t>(len));
  val[len - 1] = '\0';
  return 0;
}

std::string config_read_str(const char* name, int len, int instance) {
  std::string value;
  if (len < 1 || config_read_inst_std_str(name, value, nullptr, instance) != 0) return std::string();
  // What a char[len] filled by config_read_instance would hold.
  value.resize(strnlen(value.c_str(), static_cast<size_t>(len - 1)));
  return value;
}

int config_read_inst_std_str(const char* name, std::string& cfgVarValue, bool* is_default, int instance) {
  if (name == nullptr) return -1;
  ConfigIF::ReadReq req;
  ConfigIF::ReadRsp rsp;
  setSingleNode(req.mutable_instance(), name, instance);
  req.set_name(gMyLinxEp);
  // Reads are always made as the system: the daemon reads what it needs to
  // run, whoever caused the read.
  req.set_role(kSystem);
  Exchanged x = exchange(CFG_SITE, req, rsp, namedTimeout(name));
  if (x.rc != 0) return -1;
  if (!x.parsed) {
    logerr(nullptr, "%s:%d: failed to parse pbuf response\n", __func__, __LINE__);
    return -1;
  }
  joinValues(cfgVarValue, rsp.value());
  if (is_default != nullptr) *is_default = rsp.is_default();
  // An error does not fail the read: the caller gets whatever value came
  // with it (usually none) and decides itself.
  if (rsp.error() != 0) logwarn(nullptr, "%s:%d: response err=%d\n", __func__, __LINE__, rsp.error());
  return 0;
}

// ----------------------------------------------------------------- write

int config_write(const char* name, const char* value, eSecurityRole ac) {
  return config_write_instance(name, value, ac, 0);
}

int do_config_write(const char* config_item, char* config_val) { return config_write(config_item, config_val, kSystem); }

int config_write_instance(const char* name, const char* value, eSecurityRole ac, int instance) {
  if (name == nullptr || value == nullptr || !validRole(ac)) {
    logerr(nullptr, "%s:%d: bad parameter\n", __func__, __LINE__);
    return -1;
  }
  ConfigIF::WriteReq req;
  ConfigIF::WriteRsp rsp;
  req.set_name(gMyLinxEp);
  req.set_role(ac);
  ConfigIF::InstValue* iv = req.mutable_instance_val();
  iv->add_value(value);
  ConfigIF::Node* node = iv->mutable_instance()->add_node();
  node->set_instance(instance);
  node->set_name(name);
  // The answer's content is not looked at.
  return exchange(CFG_SITE, req, rsp, namedTimeout(name)).rc;
}

// --------------------------------------------------------------- options

int config_set_options(const char* name, config_options_t* pOptions, eSecurityRole ac) {
  if (name == nullptr || pOptions == nullptr || !validRole(ac)) {
    logerr(nullptr, "%s:%d: bad parameter\n", __func__, __LINE__);
    return -1;
  }
  ConfigIF::SetAttributeOptionsReq req;
  ConfigIF::SetAttributeOptionsRsp rsp;
  setSingleNode(req.mutable_instance(), name, 0);
  req.set_name(gMyLinxEp);
  req.set_role(ac);
  req.set_default_index(static_cast<uint32_t>(pOptions->defaultIndex));
  // The count comes from the caller; never read past the array, and never
  // past an option that lacks its terminator.
  int count = pOptions->numOptions;
  if (count < 0) count = 0;
  if (count > CONFIG_MAX_OPTIONS) count = CONFIG_MAX_OPTIONS;
  for (int i = 0; i < count; ++i) {
    req.add_node_options(std::string(pOptions->option[i], strnlen(pOptions->option[i], CONFIG_OPTION_LEN)));
  }
  return exchange(CFG_SITE, req, rsp, "failed to receive msg").rc;
}

int config_set_default(const char* name, const char* value, eSecurityRole ac) {
  if (name == nullptr || value == nullptr || !validRole(ac)) {
    logerr(nullptr, "%s:%d: bad parameter\n", __func__, __LINE__);
    return -1;
  }
  ConfigIF::GetAttributeOptionsReq getReq;
  ConfigIF::GetAttributeOptionsRsp getRsp;
  setSingleNode(getReq.mutable_instance(), name, 0);
  getReq.set_name(gMyLinxEp);
  getReq.set_role(ac);
  Exchanged x = exchange(CFG_SITE, getReq, getRsp, kPlainTimeout);
  if (x.rc != 0) return x.rc;
  // Setting a default is best effort: without a readable option list there
  // is nothing to choose from, and the variable keeps its default.
  if (!x.parsed) return 0;

  const std::string wanted(value);
  int match = -1;
  for (int i = 0; i < getRsp.node_options_size(); ++i) {
    if (getRsp.node_options(i) == wanted) {
      match = i;
      break;
    }
  }
  // Only a value the service offers can be the default, and an unchanged
  // default is not worth a write that would notify every listener.
  if (match < 0 || static_cast<uint32_t>(match) == getRsp.default_index()) return 0;

  ConfigIF::SetAttributeOptionsReq setReq;
  ConfigIF::SetAttributeOptionsRsp setRsp;
  setSingleNode(setReq.mutable_instance(), name, 0);
  setReq.set_name(gMyLinxEp);
  setReq.set_role(ac);
  for (const std::string& option : getRsp.node_options()) setReq.add_node_options(option);
  setReq.set_default_index(static_cast<uint32_t>(match));
  x = exchange(CFG_SITE, setReq, setRsp, kPlainTimeout);
  // The new default was asked for; a missing confirmation changes nothing.
  return x.sent ? 0 : x.rc;
}

// --------------------------------------------------------- access levels

int config_setAccessLevels(const char* name, int instance, eSecurityRole ac, eSecurityRole readLevel,
                           eSecurityRole writeLevel) {
  if (name == nullptr || !validRole(ac) || !validLevel(readLevel) || !validLevel(writeLevel)) {
    logerr(nullptr, "%s:%d: bad parameter\n", __func__, __LINE__);
    return -1;
  }
  ConfigIF::SetAccessLevelsReq req;
  ConfigIF::SetAccessLevelsRsp rsp;
  req.set_name(gMyLinxEp);
  req.set_role(ac);
  setSingleNode(req.add_instance(), name, instance);
  if (readLevel != 0) req.set_read_level(readLevel);
  if (writeLevel != 0) req.set_write_level(writeLevel);
  return exchange(CFG_SITE, req, rsp, kPlainTimeout).rc;
}

// ------------------------------------------------------------ components

int config_component_change(const char* name, bool detach, eSecurityRole role) {
  if (name == nullptr || !validRole(role)) {
    logerr(nullptr, "%s:%d: bad parameter\n", __func__, __LINE__);
    return -1;
  }
  ConfigIF::ComponentChangeReq req;
  ConfigIF::ComponentChangeRsp rsp;
  req.set_name(gMyLinxEp);
  req.set_role(role);
  req.set_component_name(name);
  req.set_detach(detach);
  Exchanged x = exchange(CFG_SITE, req, rsp, namedTimeout(name));
  if (x.rc != 0) return x.rc;
  logdebug(nullptr, "%s:%d: name: %s\n", __func__, __LINE__, name);
  return convertErrorTypeToCommonPbType(rsp.error());
}

// ------------------------------------------------------------- callbacks

int config_register_change_notify(const char* name, int instance, CallbackType cbType) {
  if (name == nullptr || !ConfigIF::CallbackType_IsValid(cbType)) {
    logerr(nullptr, "%s:%d: bad parameter\n", __func__, __LINE__);
    return -1;
  }
  ConfigIF::RegisterClientCallbackReq req;
  ConfigIF::RegisterClientCallbackRsp rsp;
  req.set_name(gMyLinxEp);
  req.set_instance(instance);
  req.set_node_name(name);
  req.set_role(kSystem);
  req.set_type(cbType);
  // Present but empty: the service echoes it in every callback of this
  // registration, and the daemon needs nothing echoed.
  req.set_user_context("");
  Exchanged x = exchange(CFG_SITE, req, rsp, "MSG_RecvAnyMsg timeout");
  if (!x.sent) return x.rc;
  if (x.rc != 0) {
    MSG_CloseLocal(gMyLinxEp.c_str());
    return -1;
  }
  if (!x.parsed) {
    logerr(nullptr, "%s:%d: failed to parse pbuf response\n", __func__, __LINE__);
    return -1;
  }
  if (rsp.error() != 0) {
    logerr(nullptr, "%s:%d: register config change notify %s failed, err=%d\n", __func__, __LINE__, name,
           rsp.error());
    return -1;
  }
  return 0;
}

// ----------------------------------------------------------- conversions

int buildCfgVarName(std::string& result, const ConfigIF::Inst& inst) {
  result.clear();
  const int count = inst.node_size();
  if (count == 0) return 0;
  for (int i = 0; i < count - 1; ++i) {
    const ConfigIF::Node& node = inst.node(i);
    result += node.name();
    if (node.instance() != 0) result += "[" + std::to_string(node.instance()) + "]";
    result += ".";
  }
  result += inst.node(count - 1).name();
  return inst.node(count - 1).instance();
}

int buildCfgVarValue(std::string& result, const ConfigIF::InstValue& instVal) {
  joinValues(result, instVal.value());
  return 0;
}
