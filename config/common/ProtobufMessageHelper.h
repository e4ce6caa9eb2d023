// Builds the configuration service's request messages from ConfigVar
// references, and converts between ConfigResult and the ReturnMessage part
// of callback answers.
//
// Used where a request object is needed for the generic send-and-wait of
// the message module; the synchronous client in syssrvCfgMsg fills its
// requests itself. Every builder is static and returns the message by
// value; in every request `name` is the asking client's endpoint name and
// `role` the security role it acts for.
//
// A ConfigVar goes on the wire as an Inst of up to three nodes: ("cfg",
// namespace) when the namespace is 1 or more, (node path, node instance)
// with the whole dotted node path as one node, (variable, variable
// instance).
#pragma once

#include <cstdint>
#include <list>
#include <string>

#include "CommonIF.pb.h"
#include "ConfigIF.pb.h"
#include "config/common/cfgresult.h"
#include "config/common/configvar.h"

namespace AppConfig {

class ProtobufMessageHelper {
 public:
  virtual ~ProtobufMessageHelper();

  // ---- requests ----
  static ConfigIF::ReadReq getReadRequest(const std::string& name, CommonIF::eSecurityRole level,
                                          const ConfigVar& configVar);
  static ConfigIF::BatchReadReq getBatchReadRequest(const std::string& name, CommonIF::eSecurityRole level,
                                                    const std::list<ConfigVar>& configVars);
  static ConfigIF::WriteReq getWriteRequest(const std::string& name, CommonIF::eSecurityRole level,
                                            const ConfigVar& configVar, const std::string& sVarValue);
  static ConfigIF::WriteReq getWriteRequest(const std::string& name, CommonIF::eSecurityRole level,
                                            const ConfigVar& configVar, const std::list<std::string>& sVarValues);
  static ConfigIF::ValidateReq getValidateRequest(const std::string& name, CommonIF::eSecurityRole level,
                                                  const ConfigVar& configVar, const std::string& sVarValue);
  static ConfigIF::ValidateReq getValidateRequest(const std::string& name, CommonIF::eSecurityRole level,
                                                  const ConfigVar& configVar,
                                                  const std::list<std::string>& sVarValues);
  static ConfigIF::ReadAttributesReq getReadAttributesRequest(const std::string& name, CommonIF::eSecurityRole level,
                                                              const ConfigVar& configVar);
  static ConfigIF::GetAttributeOptionsReq getGetOptionsRequest(const std::string& name, CommonIF::eSecurityRole level,
                                                               const ConfigVar& configVar);
  // `configVar` is the variable's dotted name, sent as a plain string.
  static ConfigIF::GetDefaultOptionsReq getGetDefaultOptionsRequest(const std::string& name,
                                                                    CommonIF::eSecurityRole level,
                                                                    const std::string& configVar);
  static ConfigIF::GetAccessLevelsReq getGetAccessLevelsReq(const std::string& name, CommonIF::eSecurityRole level,
                                                            const ConfigVar& configVar);
  // A null `read` or `write` leaves that level out, so the service keeps it.
  static ConfigIF::SetAccessLevelsReq getSetAccessLevelsReq(const std::string& name, CommonIF::eSecurityRole level,
                                                            const std::list<ConfigVar>& configVars,
                                                            const CommonIF::eSecurityRole* read,
                                                            const CommonIF::eSecurityRole* write);
  static ConfigIF::GetValueOptionsAccessReq getGetValueOptionsAccessRequest(const std::string& name,
                                                                            CommonIF::eSecurityRole level,
                                                                            const ConfigVar& configVar);
  static ConfigIF::BatchGetValueOptionsAccessReq getBatchGetValueOptionsAccessReq(
      const std::string& name, CommonIF::eSecurityRole level, const std::list<ConfigVar>& configVars);
  static ConfigIF::ResetValueReq getResetValueRequest(const std::string& name, CommonIF::eSecurityRole level,
                                                      const ConfigVar& configVar);
  static ConfigIF::ResetAttributeReq getResetAttributeRequest(const std::string& name, CommonIF::eSecurityRole level,
                                                              const std::string& nodeName);
  static ConfigIF::ResetNodeValueReq getResetNodeValueRequest(const std::string& name, CommonIF::eSecurityRole level,
                                                              const std::string& nodeName);
  // A null `defaultIndex` leaves the default index out.
  static ConfigIF::SetAttributeOptionsReq getSetOptionsRequest(const std::string& name, CommonIF::eSecurityRole level,
                                                               const ConfigVar& configVar,
                                                               const std::list<std::string>& options,
                                                               const uint32_t* defaultIndex);
  // An empty `nodeName` leaves `node_name` out; `instance` is never set.
  static ConfigIF::RegisterClientCallbackReq getRegClientCallbackRequest(const std::string& name,
                                                                         CommonIF::eSecurityRole level,
                                                                         const std::string& nodeName,
                                                                         ConfigIF::CallbackType type,
                                                                         const std::string& context);
  static ConfigIF::UnregisterClientCallbackReq getUnregClientCallbackRequest(const std::string& name,
                                                                             CommonIF::eSecurityRole level,
                                                                             const std::string& nodeName,
                                                                             ConfigIF::CallbackType type,
                                                                             const std::string& context);
  static ConfigIF::UnregisterAllClientCallbacksReq getUnregAllClientCallbacksRequest(const std::string& name);

  // ---- callback answers ----
  static ConfigIF::DynamicValidateRsp getDynamicValidateResponse(const ConfigResult& result);
  static ConfigIF::OnChangeRsp getOnChangeResponse(const ConfigResult& result);

  // ---- conversions ----
  static void addVarName(ConfigIF::Inst* inst, ConfigVar configVar);
  static void addVarValue(ConfigIF::InstValue* instVal, const std::string& sVarValue);
  static void addVarValue(ConfigIF::InstValue* instVal, const std::list<std::string>& sVarValues);
  // The namespace of an incoming Inst: the instance of a leading "cfg" node,
  // else 0.
  static int getConfigVarNamespace(const ConfigIF::Inst& inst);
  // Splits an incoming Inst into the node path (appended to `node`, which
  // callers pass empty) and the variable. Returns 0, or kItemNotFound when
  // there is no node besides a leading "cfg" node.
  static int getConfigVarName(std::string& node, int& nodeInstance, std::string& varName, int& varInstance,
                              const ConfigIF::Inst& inst);
  static int getConfigVarValue(std::list<std::string>& sVarValues, const ConfigIF::InstValue& instValue);
  static int getStringList(std::list<std::string>& sList,
                           const google::protobuf::RepeatedPtrField<std::string>& options);
  static void fillReturnMessage(ConfigIF::ReturnMessage* ret_message, const ConfigResult& result);
  // Adds to what `result` holds already: messages are appended, the strings
  // are replaced only by non-empty ones.
  static void fillReturnMessage(ConfigResult& result, const ConfigIF::ReturnMessage& ret_message);

 private:
  template <class Request>
  static void fillBasicMessage(Request& req, const std::string& name, CommonIF::eSecurityRole level,
                               const ConfigVar& configVar);
  template <class Request, class Value>
  static void fillBasicMessage(Request& req, const std::string& name, CommonIF::eSecurityRole level,
                               const ConfigVar& configVar, const Value& value);
  template <class Request>
  static void fillBatchMessage(Request& req, const std::string& name, CommonIF::eSecurityRole level,
                               const std::list<ConfigVar>& configVars);
};

}  // namespace AppConfig
