#include "tools/echo/echoServe.h"

#include <ostream>

#include "DemoIF.pb.h"
#include "platform/msg/MSG.h"
#include "platform/msgutil/msgUtil.h"

const char* const kEchoDefaultName = "EchoSrvc";
volatile std::sig_atomic_t gEchoStop = 0;

namespace {

// How long one receive may block before the stop flag is looked at again.
constexpr int kSliceMs = 200;

struct EchoContext {
  std::string name;
  std::ostream* err;
  MSG_Type rspType;
};

void echoHandleReq(void* pContext, const MSG_Message* msg) {
  EchoContext* c = static_cast<EchoContext*>(pContext);
  DemoIF::EchoReq req;
  if (!req.ParseFromArray(MSG_GetPayload(msg), static_cast<int>(MSG_GetPayloadBytes(msg)))) {
    *c->err << "msg_echo: EchoReq: Parse Error" << std::endl;
    return;
  }
  DemoIF::EchoRsp rsp;
  // Mirror presence too, so a caller sees exactly what it sent.
  if (req.has_text()) rsp.set_text(req.text());
  rsp.set_served_by(c->name);
  const size_t bytes = rsp.ByteSizeLong();
  MSG_Message* reply = MSG_AllocMsgCopyHdr(msg, c->rspType, static_cast<uint32_t>(bytes));
  if (reply == nullptr) {
    *c->err << "msg_echo: EchoReq: msg alloc failed" << std::endl;
    return;
  }
  if (!rsp.SerializeToArray(MSG_GetPayloadMutable(reply), static_cast<int>(bytes))) {
    MSG_ReleaseMsg(reply);
    *c->err << "msg_echo: EchoReq: Reply Send Error" << std::endl;
    return;
  }
  int rc = MSG_SendMsg(c->name.c_str(), MSG_GetSender(msg), reply);
  // The requester may have given up and gone; that is its business.
  if (rc != 0) *c->err << "msg_echo: EchoReq: msg send failed (" << rc << ")" << std::endl;
}

}  // namespace

int echoServe(const std::string& name, std::ostream& out, std::ostream& err) {
  static EchoContext context;
  context.name = name;
  context.err = &err;
  context.rspType = msgUtil_getMsgId(DemoIF::EchoRsp());
  const MSG_Type reqType = msgUtil_getMsgId(DemoIF::EchoReq());
  if (reqType == 0 || context.rspType == 0) {
    err << "msg_echo: EchoReq/EchoRsp have no message type" << std::endl;
    return 1;
  }

  MSG_DebugSetName("msg_echo");
  if (MSG_OpenLocal(name.c_str()) != 0) {
    err << "msg_echo: cannot open endpoint " << name << std::endl;
    return 1;
  }
  MSG_Callback cb = {echoHandleReq, &context, reqType, reqType, 0};
  if (MSG_RegisterCallback(name.c_str(), &cb) != 0) {
    err << "msg_echo: cannot register the EchoReq handler" << std::endl;
    MSG_CloseLocal(name.c_str());
    return 1;
  }
  out << "msg_echo: serving " << name << std::endl;

  while (!gEchoStop) {
    MSG_Message* m = MSG_RecvAnyMsg(name.c_str(), kSliceMs);
    if (m == nullptr) continue;
    MSG_ProcessCallback(name.c_str(), m);  // other types: released unanswered
    MSG_ReleaseMsg(m);
  }
  MSG_CloseLocal(name.c_str());
  out << "msg_echo: " << name << " closed" << std::endl;
  return 0;
}
