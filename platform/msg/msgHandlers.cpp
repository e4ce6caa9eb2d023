// Handlers by type range. When ranges overlap, the handler registered first
// wins: the daemon registers exact types first and never relies on a later
// registration overriding an earlier one.
#include "platform/msg/msgInternal.h"

int MSG_RegisterCallback(const char* local, const MSG_Callback* cb) {
  if (cb == nullptr || cb->pFunc == nullptr || cb->MsgTypeMin > cb->MsgTypeMax) return -1;
  MsgState& s = msgState();
  std::lock_guard<std::mutex> g(s.lock);
  MsgEndpointPtr ep = msgFindLocal(local);
  if (!ep) return -1;
  ep->handlers.push_back(*cb);
  return 0;
}

int MSG_ProcessCallback(const char* local, const MSG_Message* msg) {
  if (msg == nullptr) return -1;
  MsgState& s = msgState();
  MSG_Callback cb;
  {
    std::lock_guard<std::mutex> g(s.lock);
    MsgEndpointPtr ep = msgFindLocal(local);
    if (!ep) return -1;
    auto it = ep->handlers.begin();
    while (it != ep->handlers.end() && !(msg->type >= it->MsgTypeMin && msg->type <= it->MsgTypeMax)) ++it;
    if (it == ep->handlers.end()) return -1;
    cb = *it;
    if (cb.bJustOnce) ep->handlers.erase(it);
  }
  // Unlocked: handlers send, receive and register.
  cb.pFunc(cb.pContext, msg);
  return 0;
}
