// The blocking send-and-wait of the message layer, and the expiry callback
// of the PAC timer: the two pieces of the layer that domain modules and the
// change dispatcher call, kept below them.
#include <string>

#include "OS/logmsg.h"
#include "platform/msgutil/msgUtil.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvReplyWait.h"

namespace {

const char kComponent[] = "message";

}  // namespace

int syssrvMessageSendWaitResponse(const google::protobuf::Message& req, google::protobuf::Message* rsp,
                                  const std::string& toEndpoint, int timeoutMillisecs) {
  static const char kFunc[] = "syssrvMessageSendWaitResponse";
  if (toEndpoint.empty() || rsp == nullptr) {
    logerr(kComponent, "%s() got invalid param\n", kFunc);
    return -3;
  }
  const uint32_t sequence = MSG_GetNextSequence();
  MSG_Message* msg = msgUtil_buildMsg(req, sequence, nullptr);
  if (msg == nullptr) {
    logerr(kComponent, "%s() msgUtil_buildMsg failed\n", kFunc);
    return -1;
  }
  int rc = MSG_SendMsg(kSyssrvEndpoint, MSG_GetRemoteId(kSyssrvEndpoint, toEndpoint.c_str()), msg);
  if (rc != 0) {
    logerr(kComponent, "%s() MSG_SendMsg failed with %d\n", kFunc, rc);
    return -1;
  }
  // Only the answer to this request counts: one that comes after an
  // earlier call gave up must not stand for this one.
  MSG_Message* answer = syssrvRecvReply(kSyssrvEndpoint, msgUtil_getMsgId(*rsp), sequence, timeoutMillisecs, kFunc);
  if (answer == nullptr) {
    logerr(kComponent, "%s() MSG_RecvMsg timed out\n", kFunc);
    return -1;
  }
  int result = 0;
  if (!rsp->ParseFromArray(MSG_GetPayload(answer), static_cast<int>(MSG_GetPayloadBytes(answer)))) {
    logerr(kComponent, "%s() ParseFromArray failed\n", kFunc);
    result = -1;
  }
  MSG_ReleaseMsg(answer);
  return result;
}

void timerFunc(void* /*userData*/) {
  loginfo("SysrvWpad", "%s:On expiry Timer func invoked.\n", "timerFunc");
  // The change notification of this write restarts proxy discovery.
  config_write("system.proxy.pacfile.expirytime", "NEWTIME_REQUEST", kSystem);
}
