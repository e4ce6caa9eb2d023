// Reply and notification helpers shared by every handler.
#include "systemservice/syssrvMessageReply.h"

#include <string>

#include <google/protobuf/message.h>

#include "OS/logmsg.h"
#include "systemservice/syssrvMessageTable.h"

bool syssrvParseRequest(const MSG_Message* msg, google::protobuf::Message* out) {
  if (msg == nullptr || out == nullptr) return false;
  const void* payload = MSG_GetPayload(msg);
  uint32_t bytes = MSG_GetPayloadBytes(msg);
  if (payload == nullptr && bytes != 0) return false;
  return out->ParseFromArray(payload, static_cast<int>(bytes));
}

namespace {

// The log facility completes a line only when its format holds the
// newline, so the caller's text is logged as "%s\n" without its own.
void logReplyError(const char* component, const char* text, int level = LOG_LEVEL_ERR) {
  std::string line(text);
  if (!line.empty() && line.back() == '\n') line.pop_back();
  logmsg(level, component, "%s\n", line.c_str());
}

// Allocated messages of zero bytes may have no payload buffer; an empty
// message serialises to nothing, so there is nothing to copy then.
bool serialiseInto(const google::protobuf::Message& m, MSG_Message* msg, size_t size) {
  if (size == 0) return true;
  void* payload = MSG_GetPayloadMutable(msg);
  return payload != nullptr && m.SerializeToArray(payload, static_cast<int>(size));
}

}  // namespace

int syssrvSendReply(const MSG_Message* req, MSG_Type rspType, const google::protobuf::Message& rsp,
                    const char* errText, const char* component, const syssrvAllocFailure* allocFailure) {
  const char* text = errText != nullptr ? errText : "Reply Send Error\n";
  size_t size = rsp.ByteSizeLong();
  MSG_Message* out = (req != nullptr) ? MSG_AllocMsgCopyHdr(req, rspType, static_cast<uint32_t>(size)) : nullptr;
  if (out == nullptr) {
    if (allocFailure == nullptr) {
      logReplyError(component, text);
    } else if (allocFailure->text != nullptr) {
      logReplyError(component, allocFailure->text, allocFailure->level);
    }
    return -1;
  }
  if (!serialiseInto(rsp, out, size)) {
    logReplyError(component, text);
    MSG_ReleaseMsg(out);
    return -1;
  }
  if (MSG_SendMsg(kSyssrvEndpoint, MSG_GetSender(req), out) != 0) {
    logReplyError(component, text);
    return -1;
  }
  return 0;
}

int syssrvSendNotification(MSG_Type type, uint32_t sequence, const google::protobuf::Message& ntfy,
                           const char* handlerName, const char* component, const char* allocFailedText) {
  const char* name = handlerName != nullptr ? handlerName : "";
  size_t size = ntfy.ByteSizeLong();
  MSG_Message* out = MSG_AllocMsg(type, sequence, static_cast<uint32_t>(size));
  if (out == nullptr || !serialiseInto(ntfy, out, size)) {
    if (out != nullptr) MSG_ReleaseMsg(out);
    if (allocFailedText != nullptr) {
      logReplyError(component, allocFailedText);
    } else {
      logerr(component, "%s: msg alloc failed\n", name);
    }
    return kSyssrvNotAllocated;
  }
  if (MSG_SendNotification(kSyssrvEndpoint, out) != 0) {
    logerr(component, "%s: msg send failed\n", name);
    return -1;
  }
  return 0;
}

int syssrvRegisterRow(const syssrvHandlerRow& row, const char* component) {
  MSG_Callback cb = {row.handler, nullptr, row.type, row.type, 0};
  const int rc = MSG_RegisterCallback(kSyssrvEndpoint, &cb);
  if (rc != 0) logerr(component, "MSG_RegisterCallback for %s (type 0x%x) failed: %d\n", row.name, row.type, rc);
  return rc;
}
