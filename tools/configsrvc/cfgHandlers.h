// The service's message handlers, one per message type, and the one table
// that binds them (cfgHandlers.cpp). A handler parses, asks the model or
// the write path, and answers; a payload that does not parse is answered
// with kErrBadParameter in the reply class of its request.
#pragma once

#include "platform/msg/MSG.h"

class CfgService;

using CfgHandlerFn = void (*)(CfgService& s, const MSG_Message* msg);

struct CfgHandler {
  MSG_Type type;
  CfgHandlerFn fn;
};

// Handles `msg`: by its row of the table, else (an unserved request) with
// kErrNotYetSupported, else (anything else) logged and dropped.
void cfgDispatch(CfgService& s, const MSG_Message* msg);

// Parses the payload into `m`; on failure logs, answers kErrBadParameter
// and returns false.
namespace google { namespace protobuf { class Message; } }
bool cfgParseOrRefuse(CfgService& s, const MSG_Message* msg, google::protobuf::Message* m);

// Reads and inspection (cfgHandlersRead.cpp).
void cfgOnReadReq(CfgService& s, const MSG_Message* msg);
void cfgOnBatchReadReq(CfgService& s, const MSG_Message* msg);
void cfgOnReadAttributesReq(CfgService& s, const MSG_Message* msg);
void cfgOnGetAttributeOptionsReq(CfgService& s, const MSG_Message* msg);
void cfgOnGetDefaultOptionsReq(CfgService& s, const MSG_Message* msg);
void cfgOnGetAccessLevelsReq(CfgService& s, const MSG_Message* msg);
void cfgOnGetValueOptionsAccessReq(CfgService& s, const MSG_Message* msg);
void cfgOnBatchGetValueOptionsAccessReq(CfgService& s, const MSG_Message* msg);
void cfgOnDumpReq(CfgService& s, const MSG_Message* msg);
void cfgOnGetComponentsReq(CfgService& s, const MSG_Message* msg);

// Value changes (cfgHandlersWrite.cpp).
void cfgOnWriteReq(CfgService& s, const MSG_Message* msg);
void cfgOnValidateReq(CfgService& s, const MSG_Message* msg);
void cfgOnResetValueReq(CfgService& s, const MSG_Message* msg);
void cfgOnBatchWriteReq(CfgService& s, const MSG_Message* msg);
void cfgOnDynamicValidateRsp(CfgService& s, const MSG_Message* msg);
void cfgOnOnChangeRsp(CfgService& s, const MSG_Message* msg);

// Attributes, registrations, components (cfgHandlersAdmin.cpp).
void cfgOnSetAttributeOptionsReq(CfgService& s, const MSG_Message* msg);
void cfgOnSetAccessLevelsReq(CfgService& s, const MSG_Message* msg);
void cfgOnRegisterClientCallbackReq(CfgService& s, const MSG_Message* msg);
void cfgOnUnregisterClientCallbackReq(CfgService& s, const MSG_Message* msg);
void cfgOnUnregisterAllClientCallbacksReq(CfgService& s, const MSG_Message* msg);
void cfgOnComponentChangeReq(CfgService& s, const MSG_Message* msg);
