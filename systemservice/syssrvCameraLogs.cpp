// The attached camera's own support data. The camera is asked through the
// port controller to collect it; once it reports the collection done, the
// request that asked for it goes on: a support package is built and its
// request answered, or a log transfer starts. Accepted requests wait in
// pendingLogReqs, oldest first, so answers go out in the order asked. A
// camera that cannot be reached or refuses is gone without: the caller goes
// on at once.
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <utility>

#include "OS/logmsg.h"
#include "PlatformIF.pb.h"
#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"
#include "systemservice/syssrvLogUpload.h"
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvMessageReply.h"
#include "systemservice/syssrvReplyWait.h"

namespace {

struct MsgRelease {
  void operator()(MSG_Message* m) const { MSG_ReleaseMsg(m); }
};

// One accepted camera request: a log transfer to start, or the create
// request (a copy, or none) to answer with a package.
struct logReqInfoListT {
  std::unique_ptr<MSG_Message, MsgRelease> pMsg;
  bool bLogFlush;
};
std::deque<logReqInfoListT> pendingLogReqs;

const char kCameraId[] = "cam1";
const char kPortController[] = "PortController";
// The service waits this long for the camera's consent, blocking the loop.
constexpr int kCameraAnswerMs = 1000;
// The shortest IPv4 address has seven characters; shorter texts are
// placeholders.
constexpr size_t kMinCameraAddressLen = 7;

void answer_with_package(const MSG_Message* stored) {
  SystemIF::CreateLogReq req;
  if (!syssrvParseRequest(stored, &req)) {
    logerr("PlatformIFComponentNtfy", "Msg Parse Error\n");
    return;
  }
  createSupportPackage(req.path().c_str());
  sendSystemIFCreateLogRsp(req.path().c_str(), CommonIF::kErrNoError, stored);
}

}  // namespace

void syssrvCameraLogs_testing_reset() { pendingLogReqs.clear(); }

bool bIsOrbscopeAttached() {
  const char* address = getenv("ORBSCOPE_IP");
  return address != nullptr && strlen(address) >= kMinCameraAddressLen;
}

int createOrbscopeSupportPkg(const MSG_Message* pMsg, bool bLogFlush) {
  const char* component = "createOrbscopeSupportPkg";
  PlatformIF::ComponentReq req;
  req.set_component_id(kCameraId);
  req.mutable_peripheral_message()->set_command(CommonIF::eCreateSupportPkg);
  // MSG_SendMsg refuses a message that could not be built or an endpoint
  // that does not exist (id 0).
  const uint32_t sequence = MSG_GetNextSequence();
  const int sent = MSG_SendMsg(kSyssrvEndpoint, MSG_GetRemoteId(kSyssrvEndpoint, kPortController),
                               msgUtil_buildMsg(req, sequence, nullptr));
  if (sent != 0) {
    logerr(component, "MSG_SendMsg failed with %d. Cannot get Orbscope logs so continuing without them.\n", sent);
    return -1;
  }
  // A consent that comes after an earlier request gave up is not this
  // request's: taking it would let the next package wait for a collection
  // the camera never started.
  MSG_Message* in =
      syssrvRecvReply(kSyssrvEndpoint, kMsgIdPlatformIFComponentRsp, sequence, kCameraAnswerMs, component);
  if (in == nullptr) {
    logerr(component, "MSG_RecvAnyMsg timeout. Cannot get Orbscope logs so continuing without them.\n");
    return -1;
  }
  PlatformIF::ComponentRsp rsp;
  // An answer that cannot be read is no consent.
  const int error = syssrvParseRequest(in, &rsp) ? rsp.error() : CommonIF::kErrGenericError;
  MSG_ReleaseMsg(in);
  if (error != 0) {
    logerr(component, "Orbscope log capture failed with %d so continuing without it.\n", error);
    return -1;
  }
  pendingLogReqs.push_back({std::unique_ptr<MSG_Message, MsgRelease>(pMsg ? MSG_CloneMsg(pMsg) : nullptr), bLogFlush});
  return 0;
}

void PlatformIFComponentNtfy(void* /*pContext*/, const MSG_Message* msg) {
  PlatformIF::ComponentNtfy ntfy;
  if (!syssrvParseRequest(msg, &ntfy)) {
    logerr("PlatformIFComponentNtfy", "Failed Parsing message\n");
    return;
  }
  if (ntfy.component_id() != kCameraId || !ntfy.has_peripheral_notify() ||
      ntfy.peripheral_notify().command() != CommonIF::eCreateSupportPkg || pendingLogReqs.empty())
    return;
  const logReqInfoListT oldest = std::move(pendingLogReqs.front());
  pendingLogReqs.pop_front();
  if (oldest.bLogFlush) {
    startLogFlush();
  } else if (oldest.pMsg && MSG_GetType(oldest.pMsg.get()) == kMsgIdSystemIFCreateLogReq) {
    answer_with_package(oldest.pMsg.get());
  }
}
