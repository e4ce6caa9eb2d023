#include "tools/configsrvc/cfgHandlers.h"

#include <google/protobuf/message.h>

#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"
#include "tools/configsrvc/cfgLog.h"
#include "tools/configsrvc/cfgMsg.h"
#include "tools/configsrvc/cfgService.h"

namespace {

const CfgHandler kCfgHandlers[] = {
    {kMsgIdConfigIFReadReq, cfgOnReadReq},
    {kMsgIdConfigIFBatchReadReq, cfgOnBatchReadReq},
    {kMsgIdConfigIFReadAttributesReq, cfgOnReadAttributesReq},
    {kMsgIdConfigIFGetAttributeOptionsReq, cfgOnGetAttributeOptionsReq},
    {kMsgIdConfigIFGetDefaultOptionsReq, cfgOnGetDefaultOptionsReq},
    {kMsgIdConfigIFGetAccessLevelsReq, cfgOnGetAccessLevelsReq},
    {kMsgIdConfigIFGetValueOptionsAccessReq, cfgOnGetValueOptionsAccessReq},
    {kMsgIdConfigIFBatchGetValueOptionsAccessReq, cfgOnBatchGetValueOptionsAccessReq},
    {kMsgIdConfigIFDumpReq, cfgOnDumpReq},
    {kMsgIdConfigIFGetComponentsReq, cfgOnGetComponentsReq},
    {kMsgIdConfigIFWriteReq, cfgOnWriteReq},
    {kMsgIdConfigIFValidateReq, cfgOnValidateReq},
    {kMsgIdConfigIFResetValueReq, cfgOnResetValueReq},
    {kMsgIdConfigIFBatchWriteReq, cfgOnBatchWriteReq},
    {kMsgIdConfigIFDynamicValidateRsp, cfgOnDynamicValidateRsp},
    {kMsgIdConfigIFOnChangeRsp, cfgOnOnChangeRsp},
    {kMsgIdConfigIFSetAttributeOptionsReq, cfgOnSetAttributeOptionsReq},
    {kMsgIdConfigIFSetAccessLevelsReq, cfgOnSetAccessLevelsReq},
    {kMsgIdConfigIFRegisterClientCallbackReq, cfgOnRegisterClientCallbackReq},
    {kMsgIdConfigIFUnregisterClientCallbackReq, cfgOnUnregisterClientCallbackReq},
    {kMsgIdConfigIFUnregisterAllClientCallbacksReq, cfgOnUnregisterAllClientCallbacksReq},
    {kMsgIdConfigIFComponentChangeReq, cfgOnComponentChangeReq},
};

const char* typeName(MSG_Type type) {
  const MsgTypeEntry* e = msgUtil_findByType(type);
  return e ? e->name : "unknown";
}

}  // namespace

void cfgDispatch(CfgService& s, const MSG_Message* msg) {
  const MSG_Type type = MSG_GetType(msg);
  for (const CfgHandler& h : kCfgHandlers) {
    if (h.type == type) {
      cfgDebug("%s (%u bytes)", typeName(type), MSG_GetPayloadBytes(msg));
      h.fn(s, msg);
      return;
    }
  }
  // Every request gets an answer, so that no client waits out its time-out
  // for a request this stand-in does not serve.
  if (cfgReplyError(s.local(), msg, kCfgErrNotYetSupported)) {
    cfgLog("%s (0x%x) is not served; answered kErrNotYetSupported", typeName(type), type);
  } else {
    cfgLog("message of type 0x%x (%s) ignored", type, typeName(type));
  }
}

bool cfgParseOrRefuse(CfgService& s, const MSG_Message* msg, google::protobuf::Message* m) {
  if (cfgParse(msg, m)) return true;
  cfgLog("%s: Parse Error (%u bytes)", m->GetTypeName().c_str(), MSG_GetPayloadBytes(msg));
  cfgReplyError(s.local(), msg, kCfgErrBadParameter);
  return false;
}
