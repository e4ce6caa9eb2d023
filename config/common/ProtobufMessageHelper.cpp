#include "config/common/ProtobufMessageHelper.h"

#include <algorithm>
#include <cctype>

#include "platform/msgutil/msgUtil.h"

namespace AppConfig {

namespace {

// Names the namespace node an Inst may begin with.
const char kNamespaceNode[] = "cfg";

void toLower(std::string& s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
}

}  // namespace

ProtobufMessageHelper::~ProtobufMessageHelper() = default;

// ------------------------------------------------------------- templates

template <class Request>
void ProtobufMessageHelper::fillBasicMessage(Request& req, const std::string& name, CommonIF::eSecurityRole level,
                                             const ConfigVar& configVar) {
  req.set_name(name);
  req.set_role(level);
  addVarName(req.mutable_instance(), configVar);
}

template <class Request, class Value>
void ProtobufMessageHelper::fillBasicMessage(Request& req, const std::string& name, CommonIF::eSecurityRole level,
                                             const ConfigVar& configVar, const Value& value) {
  req.set_name(name);
  req.set_role(level);
  addVarName(req.mutable_instance_val()->mutable_instance(), configVar);
  addVarValue(req.mutable_instance_val(), value);
}

template <class Request>
void ProtobufMessageHelper::fillBatchMessage(Request& req, const std::string& name, CommonIF::eSecurityRole level,
                                             const std::list<ConfigVar>& configVars) {
  req.set_name(name);
  req.set_role(level);
  for (const ConfigVar& v : configVars) addVarName(req.add_instance(), v);
}

// -------------------------------------------------------------- requests

ConfigIF::ReadReq ProtobufMessageHelper::getReadRequest(const std::string& name, CommonIF::eSecurityRole level,
                                                        const ConfigVar& configVar) {
  ConfigIF::ReadReq req;
  fillBasicMessage(req, name, level, configVar);
  return req;
}

ConfigIF::BatchReadReq ProtobufMessageHelper::getBatchReadRequest(const std::string& name,
                                                                  CommonIF::eSecurityRole level,
                                                                  const std::list<ConfigVar>& configVars) {
  ConfigIF::BatchReadReq req;
  fillBatchMessage(req, name, level, configVars);
  return req;
}

ConfigIF::WriteReq ProtobufMessageHelper::getWriteRequest(const std::string& name, CommonIF::eSecurityRole level,
                                                          const ConfigVar& configVar, const std::string& sVarValue) {
  ConfigIF::WriteReq req;
  fillBasicMessage(req, name, level, configVar, sVarValue);
  return req;
}

ConfigIF::WriteReq ProtobufMessageHelper::getWriteRequest(const std::string& name, CommonIF::eSecurityRole level,
                                                          const ConfigVar& configVar,
                                                          const std::list<std::string>& sVarValues) {
  ConfigIF::WriteReq req;
  fillBasicMessage(req, name, level, configVar, sVarValues);
  return req;
}

ConfigIF::ValidateReq ProtobufMessageHelper::getValidateRequest(const std::string& name,
                                                                CommonIF::eSecurityRole level,
                                                                const ConfigVar& configVar,
                                                                const std::string& sVarValue) {
  ConfigIF::ValidateReq req;
  fillBasicMessage(req, name, level, configVar, sVarValue);
  return req;
}

ConfigIF::ValidateReq ProtobufMessageHelper::getValidateRequest(const std::string& name,
                                                                CommonIF::eSecurityRole level,
                                                                const ConfigVar& configVar,
                                                                const std::list<std::string>& sVarValues) {
  ConfigIF::ValidateReq req;
  fillBasicMessage(req, name, level, configVar, sVarValues);
  return req;
}

ConfigIF::ReadAttributesReq ProtobufMessageHelper::getReadAttributesRequest(const std::string& name,
                                                                            CommonIF::eSecurityRole level,
                                                                            const ConfigVar& configVar) {
  ConfigIF::ReadAttributesReq req;
  fillBasicMessage(req, name, level, configVar);
  return req;
}

ConfigIF::GetAttributeOptionsReq ProtobufMessageHelper::getGetOptionsRequest(const std::string& name,
                                                                             CommonIF::eSecurityRole level,
                                                                             const ConfigVar& configVar) {
  ConfigIF::GetAttributeOptionsReq req;
  fillBasicMessage(req, name, level, configVar);
  return req;
}

ConfigIF::GetDefaultOptionsReq ProtobufMessageHelper::getGetDefaultOptionsRequest(const std::string& name,
                                                                                  CommonIF::eSecurityRole level,
                                                                                  const std::string& configVar) {
  ConfigIF::GetDefaultOptionsReq req;
  req.set_name(name);
  req.set_role(level);
  req.set_variable_name(configVar);
  return req;
}

ConfigIF::GetAccessLevelsReq ProtobufMessageHelper::getGetAccessLevelsReq(const std::string& name,
                                                                          CommonIF::eSecurityRole level,
                                                                          const ConfigVar& configVar) {
  ConfigIF::GetAccessLevelsReq req;
  fillBasicMessage(req, name, level, configVar);
  return req;
}

ConfigIF::SetAccessLevelsReq ProtobufMessageHelper::getSetAccessLevelsReq(const std::string& name,
                                                                          CommonIF::eSecurityRole level,
                                                                          const std::list<ConfigVar>& configVars,
                                                                          const CommonIF::eSecurityRole* read,
                                                                          const CommonIF::eSecurityRole* write) {
  ConfigIF::SetAccessLevelsReq req;
  fillBatchMessage(req, name, level, configVars);
  if (read != nullptr) req.set_read_level(*read);
  if (write != nullptr) req.set_write_level(*write);
  return req;
}

ConfigIF::GetValueOptionsAccessReq ProtobufMessageHelper::getGetValueOptionsAccessRequest(
    const std::string& name, CommonIF::eSecurityRole level, const ConfigVar& configVar) {
  ConfigIF::GetValueOptionsAccessReq req;
  fillBasicMessage(req, name, level, configVar);
  return req;
}

ConfigIF::BatchGetValueOptionsAccessReq ProtobufMessageHelper::getBatchGetValueOptionsAccessReq(
    const std::string& name, CommonIF::eSecurityRole level, const std::list<ConfigVar>& configVars) {
  ConfigIF::BatchGetValueOptionsAccessReq req;
  fillBatchMessage(req, name, level, configVars);
  return req;
}

ConfigIF::ResetValueReq ProtobufMessageHelper::getResetValueRequest(const std::string& name,
                                                                    CommonIF::eSecurityRole level,
                                                                    const ConfigVar& configVar) {
  ConfigIF::ResetValueReq req;
  fillBasicMessage(req, name, level, configVar);
  return req;
}

ConfigIF::ResetAttributeReq ProtobufMessageHelper::getResetAttributeRequest(const std::string& name,
                                                                            CommonIF::eSecurityRole level,
                                                                            const std::string& nodeName) {
  ConfigIF::ResetAttributeReq req;
  req.set_name(name);
  req.set_role(level);
  req.set_node_name(nodeName);
  return req;
}

ConfigIF::ResetNodeValueReq ProtobufMessageHelper::getResetNodeValueRequest(const std::string& name,
                                                                            CommonIF::eSecurityRole level,
                                                                            const std::string& nodeName) {
  ConfigIF::ResetNodeValueReq req;
  req.set_name(name);
  req.set_role(level);
  req.set_node_name(nodeName);
  return req;
}

ConfigIF::SetAttributeOptionsReq ProtobufMessageHelper::getSetOptionsRequest(const std::string& name,
                                                                             CommonIF::eSecurityRole level,
                                                                             const ConfigVar& configVar,
                                                                             const std::list<std::string>& options,
                                                                             const uint32_t* defaultIndex) {
  ConfigIF::SetAttributeOptionsReq req;
  fillBasicMessage(req, name, level, configVar);
  if (defaultIndex != nullptr) req.set_default_index(*defaultIndex);
  for (const std::string& o : options) req.add_node_options(o);
  return req;
}

ConfigIF::RegisterClientCallbackReq ProtobufMessageHelper::getRegClientCallbackRequest(
    const std::string& name, CommonIF::eSecurityRole level, const std::string& nodeName, ConfigIF::CallbackType type,
    const std::string& context) {
  ConfigIF::RegisterClientCallbackReq req;
  req.set_name(name);
  req.set_role(level);
  // Without a node name the registration covers the client as a whole.
  if (!nodeName.empty()) req.set_node_name(nodeName);
  req.set_type(type);
  req.set_user_context(context);
  return req;
}

ConfigIF::UnregisterClientCallbackReq ProtobufMessageHelper::getUnregClientCallbackRequest(
    const std::string& name, CommonIF::eSecurityRole level, const std::string& nodeName, ConfigIF::CallbackType type,
    const std::string& context) {
  ConfigIF::UnregisterClientCallbackReq req;
  req.set_name(name);
  req.set_role(level);
  req.set_node_name(nodeName);
  req.set_type(type);
  req.set_user_context(context);
  return req;
}

ConfigIF::UnregisterAllClientCallbacksReq ProtobufMessageHelper::getUnregAllClientCallbacksRequest(
    const std::string& name) {
  ConfigIF::UnregisterAllClientCallbacksReq req;
  req.set_name(name);
  return req;
}

// -------------------------------------------------------- callback answers

ConfigIF::DynamicValidateRsp ProtobufMessageHelper::getDynamicValidateResponse(const ConfigResult& result) {
  ConfigIF::DynamicValidateRsp rsp;
  fillReturnMessage(rsp.mutable_ret_message(), result);
  return rsp;
}

ConfigIF::OnChangeRsp ProtobufMessageHelper::getOnChangeResponse(const ConfigResult& result) {
  ConfigIF::OnChangeRsp rsp;
  fillReturnMessage(rsp.mutable_ret_message(), result);
  return rsp;
}

// ------------------------------------------------------------ conversions

void ProtobufMessageHelper::addVarName(ConfigIF::Inst* inst, ConfigVar configVar) {
  if (configVar.getNamespace() >= 1) {
    ConfigIF::Node* ns = inst->add_node();
    ns->set_name(kNamespaceNode);
    ns->set_instance(configVar.getNamespace());
  }
  // The service takes a dotted node path as one node; splitting it would
  // lose which element the node instance belongs to.
  ConfigIF::Node* node = inst->add_node();
  node->set_name(configVar.getNodeName());
  node->set_instance(configVar.getNodeInstance());
  ConfigIF::Node* var = inst->add_node();
  var->set_name(configVar.getVarName());
  var->set_instance(configVar.getVarInstance());
}

void ProtobufMessageHelper::addVarValue(ConfigIF::InstValue* instVal, const std::string& sVarValue) {
  instVal->add_value(sVarValue);
}

void ProtobufMessageHelper::addVarValue(ConfigIF::InstValue* instVal, const std::list<std::string>& sVarValues) {
  for (const std::string& v : sVarValues) instVal->add_value(v);
}

int ProtobufMessageHelper::getConfigVarNamespace(const ConfigIF::Inst& inst) {
  if (inst.node_size() > 0 && inst.node(0).name() == kNamespaceNode) return inst.node(0).instance();
  return 0;
}

int ProtobufMessageHelper::getConfigVarName(std::string& node, int& nodeInstance, std::string& varName,
                                            int& varInstance, const ConfigIF::Inst& inst) {
  const int count = inst.node_size();
  if (count == 0) return kItemNotFound;
  int start = 0;
  if (inst.node(0).name() == kNamespaceNode) {
    if (count == 1) return kItemNotFound;
    start = 1;
  }
  // Only the instance of the element right above the variable is kept:
  // that is the node instance a ConfigVar carries.
  for (int i = start; i < count - 1; ++i) {
    if (!node.empty()) node += ".";
    node += inst.node(i).name();
    toLower(node);
    nodeInstance = inst.node(i).instance();
  }
  varName = inst.node(count - 1).name();
  toLower(varName);
  varInstance = inst.node(count - 1).instance();
  return kNoError;
}

int ProtobufMessageHelper::getConfigVarValue(std::list<std::string>& sVarValues,
                                             const ConfigIF::InstValue& instValue) {
  sVarValues.clear();
  for (const std::string& v : instValue.value()) sVarValues.push_back(v);
  return kNoError;
}

int ProtobufMessageHelper::getStringList(std::list<std::string>& sList,
                                         const google::protobuf::RepeatedPtrField<std::string>& options) {
  sList.clear();
  for (const std::string& o : options) sList.push_back(o);
  return kNoError;
}

void ProtobufMessageHelper::fillReturnMessage(ConfigIF::ReturnMessage* ret_message, const ConfigResult& result) {
  // The code goes out as it is: the service passes our internal status
  // numbers through to the writer unchanged.
  ret_message->set_error(result.getErrorCode());
  ret_message->set_reboot_required(result.getIsRebootNeeded());
  for (const std::string& tag : result.getErrorTags()) ret_message->add_error_message(tag);
  if (!result.getServerContext().empty()) ret_message->set_server_context(result.getServerContext());
  if (!result.getClientName().empty()) ret_message->set_client_name(result.getClientName());
}

void ProtobufMessageHelper::fillReturnMessage(ConfigResult& result, const ConfigIF::ReturnMessage& ret_message) {
  result.fillConfigResult(true, static_cast<eErrorT>(convertErrorTypeToCommonPbType(ret_message.error())),
                          ret_message.reboot_required());
  for (const std::string& m : ret_message.error_message()) result.addResultMessage(m);
  if (!ret_message.server_context().empty()) result.setServerContext(ret_message.server_context());
  if (!ret_message.client_name().empty()) result.setClientName(ret_message.client_name());
}

}  // namespace AppConfig
