// Synchronous client of the configuration service; see syssrvCfgMsg.h.
//
// Every request follows one exchange: build the request, wrap it with
// msgUtil_buildMsg (sequence 0), MSG_SendMsg from gMyLinxEp to gCfgSvcSpid,
// then MSG_RecvMsg on gMyLinxEp for the response's type with a 1000 ms
// time-out. There are no retries.
#include "systemservice/syssrvCfgMsg.h"

#include <cstring>

#include "OS/logmsg.h"
#include "platform/msg/MSG.h"
#include "platform/msgutil/msgUtil.h"

namespace {

const char kConfigSrvcName[] = "ConfigSrvc";
// The daemon has one thread; while it waits here no other message is
// handled, so a service that does not answer may stall it for this long per
// exchange and no longer.
const int kCfgRspTimeoutMs = 1000;

// Set once by syssrvCfgMsgInit.
std::string gMyLinxEp;
MSG_Endpoint gCfgSvcSpid = 0;

// Wraps and sends a request. 0, or the send's code (-1 when the request
// could not be wrapped), logged with the caller's name and line.
int cfgSend(const char* func, int line, const google::protobuf::Message& req) {
  MSG_Message* msg = msgUtil_buildMsg(req, 0, nullptr);
  if (msg == nullptr) {
    logerr(nullptr, "%s:%d: msgUtil_buildMsg failed\n", func, line);
    return -1;
  }
  int rc = MSG_SendMsg(gMyLinxEp.c_str(), gCfgSvcSpid, msg);
  if (rc != 0) logerr(nullptr, "%s:%d: MSG_SendMsg failed, err=%d\n", func, line, rc);
  return rc;
}

// The next message of the response's type, null after the time-out.
MSG_Message* cfgRecv(const google::protobuf::Message& rsp) {
  return MSG_RecvMsg(gMyLinxEp.c_str(), msgUtil_getMsgId(rsp), kCfgRspTimeoutMs);
}

bool cfgParse(const MSG_Message* msg, google::protobuf::Message& rsp) {
  return rsp.ParseFromArray(MSG_GetPayload(msg), static_cast<int>(MSG_GetPayloadBytes(msg)));
}

#define CFG_SEND(req) cfgSend(__func__, __LINE__, (req))

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

int config_read_inst_std_str(const char* name, std::string& cfgVarValue, bool* is_default, int instance) {
  if (name == nullptr) return -1;
  ConfigIF::ReadReq req;
  ConfigIF::ReadRsp rsp;
  setSingleNode(req.mutable_instance(), name, instance);
  req.set_name(gMyLinxEp);
  // Reads are always made as the system: the daemon reads what it needs to
  // run, whoever caused the read.
  req.set_role(kSystem);
  if (CFG_SEND(req) != 0) return -1;
  MSG_Message* msg = cfgRecv(rsp);
  if (msg == nullptr) {
    logerr(nullptr, "%s:%d: MSG_RecvMsg %s timeout\n", __func__, __LINE__, name);
    return -1;
  }
  bool parsed = cfgParse(msg, rsp);
  MSG_ReleaseMsg(msg);
  if (!parsed) {
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
  int rc = CFG_SEND(req);
  if (rc != 0) return rc;
  MSG_Message* msg = cfgRecv(rsp);
  if (msg == nullptr) {
    logerr(nullptr, "%s:%d: MSG_RecvMsg %s timeout\n", __func__, __LINE__, name);
    return -1;
  }
  MSG_ReleaseMsg(msg);
  return 0;
}

// --------------------------------------------------------------- options

int config_set_options(const char* name, config_options_t* pOptions, eSecurityRole ac) {
  if (name == nullptr || pOptions == nullptr || !validRole(ac)) {
    logerr(nullptr, "%s:%d: bad parameter\n", __func__, __LINE__);
    return -1;
  }
  ConfigIF::SetAttributeOptionsReq req;
  ConfigIF::SetAttributeOptionsRsp rsp;
  ConfigIF::Node* node = req.mutable_instance()->add_node();
  node->set_instance(0);
  node->set_name(name);
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
  int rc = CFG_SEND(req);
  if (rc != 0) return rc;
  MSG_Message* msg = cfgRecv(rsp);
  if (msg == nullptr) {
    logerr(nullptr, "%s:%d: failed to receive msg\n", __func__, __LINE__);
    return -1;
  }
  (void)cfgParse(msg, rsp);
  MSG_ReleaseMsg(msg);
  return 0;
}

int config_set_default(const char* name, const char* value, eSecurityRole ac) {
  if (name == nullptr || value == nullptr || !validRole(ac)) {
    logerr(nullptr, "%s:%d: bad parameter\n", __func__, __LINE__);
    return -1;
  }
  ConfigIF::GetAttributeOptionsReq getReq;
  ConfigIF::GetAttributeOptionsRsp getRsp;
  ConfigIF::Node* node = getReq.mutable_instance()->add_node();
  node->set_instance(0);
  node->set_name(name);
  getReq.set_name(gMyLinxEp);
  getReq.set_role(ac);
  int rc = CFG_SEND(getReq);
  if (rc != 0) return rc;
  MSG_Message* msg = cfgRecv(getRsp);
  if (msg == nullptr) {
    logerr(nullptr, "%s:%d: MSG_RecvMsg timeout\n", __func__, __LINE__);
    return -1;
  }
  bool parsed = cfgParse(msg, getRsp);
  MSG_ReleaseMsg(msg);
  // Setting a default is best effort: without a readable option list there
  // is nothing to choose from, and the variable keeps its default.
  if (!parsed) return 0;

  ConfigIF::SetAttributeOptionsReq setReq;
  ConfigIF::SetAttributeOptionsRsp setRsp;
  node = setReq.mutable_instance()->add_node();
  node->set_instance(0);
  node->set_name(name);
  setReq.set_name(gMyLinxEp);
  setReq.set_role(ac);
  for (const std::string& option : getRsp.node_options()) setReq.add_node_options(option);

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

  setReq.set_default_index(static_cast<uint32_t>(match));
  rc = CFG_SEND(setReq);
  if (rc != 0) return rc;
  msg = cfgRecv(setRsp);
  if (msg == nullptr) {
    logerr(nullptr, "%s:%d: MSG_RecvMsg timeout\n", __func__, __LINE__);
    return 0;
  }
  (void)cfgParse(msg, setRsp);
  MSG_ReleaseMsg(msg);
  return 0;
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
  int rc = CFG_SEND(req);
  if (rc != 0) return rc;
  MSG_Message* msg = cfgRecv(rsp);
  if (msg == nullptr) {
    logerr(nullptr, "%s:%d: MSG_RecvMsg timeout\n", __func__, __LINE__);
    return -1;
  }
  MSG_ReleaseMsg(msg);
  return 0;
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
  int rc = CFG_SEND(req);
  if (rc != 0) return rc;
  MSG_Message* msg = cfgRecv(rsp);
  if (msg == nullptr) {
    logerr(nullptr, "%s:%d: MSG_RecvMsg %s timeout\n", __func__, __LINE__, name);
    return -1;
  }
  logdebug(nullptr, "%s:%d: name: %s\n", __func__, __LINE__, name);
  (void)cfgParse(msg, rsp);
  MSG_ReleaseMsg(msg);
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
  int rc = CFG_SEND(req);
  if (rc != 0) return rc;
  MSG_Message* msg = cfgRecv(rsp);
  if (msg == nullptr) {
    logerr(nullptr, "%s:%d: MSG_RecvAnyMsg timeout\n", __func__, __LINE__);
    MSG_CloseLocal(gMyLinxEp.c_str());
    return -1;
  }
  bool parsed = cfgParse(msg, rsp);
  MSG_ReleaseMsg(msg);
  if (!parsed) {
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
