// The log-space and log-transfer messages: the two requests other processes
// send and the two notifications this service sends.
#include <cstdlib>

#include "OS/logmsg.h"
#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "systemservice/syssrvLogSpace.h"
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvMessageReply.h"

CommonIF::eErrorType logspace_transfer_now_or_after_camera() {
  if (bIsOrbscopeAttached() && createOrbscopeSupportPkg(nullptr, true) == 0) return CommonIF::kErrNoError;
  return startLogFlush();
}

void SystemIFLogSpaceThresholdNtfy(bool isExceeded) {
  SystemIF::LogSpaceThresholdNtfy ntfy;
  ntfy.set_threshold_exceeded(isExceeded);
  logdebug(nullptr, "SystemIFLogSpaceThresholdNtfy: isExceeded:%d\n", isExceeded);
  syssrvSendNotification(kMsgIdSystemIFLogSpaceThresholdNtfy, 0, ntfy, "SystemIFLogSpaceThresholdNtfy", nullptr,
                         "SystemIFLogSpaceThresholdNtfy: msg_alloc failed\n");
}

void SystemIFLogTransferCompleteNtfy(CommonIF::eErrorType error) {
  SystemIF::LogTransferCompleteNtfy ntfy;
  ntfy.set_error(error);
  logdebug(nullptr, "SystemIFLogTransferCompleteNtfy: error:%d\n", error);
  syssrvSendNotification(kMsgIdSystemIFLogTransferCompleteNtfy, 0, ntfy, "SystemIFLogTransferCompleteNtfy", nullptr,
                         "SystemIFLogTransferCompleteNtfy: msg_alloc failed\n");
}

// Answers from the variables alone; the flag of the state machine is left
// as it is.
void SystemIFLogSpaceThresholdReq(void* /*pContext*/, const MSG_Message* msg) {
  SystemIF::LogSpaceThresholdReq req;
  if (!syssrvParseRequest(msg, &req)) {
    logerr(nullptr, "SystemIFLogSpaceThresholdReq: Parse Error\n");
    return;
  }
  SystemIF::LogSpaceThresholdRsp rsp;
  rsp.set_error(CommonIF::kErrNoError);
  rsp.set_threshold_exceeded(false);
  const std::string threshold = logspace_read(kLogSpaceThreshold, 63);
  if (!logspace_is(threshold, "Off")) {
    const unsigned percentThreshold = static_cast<unsigned>(strtoul(threshold.c_str(), nullptr, 10));
    const unsigned percentFilled =
        static_cast<unsigned>(strtoul(logspace_read(kLogSpaceUsedPercent, 31).c_str(), nullptr, 10));
    logdebug(nullptr, "SystemIFLogSpaceThresholdReq: percentFilled:%d percentThreshold:%d\n", percentFilled,
             percentThreshold);
    rsp.set_threshold_exceeded(percentFilled >= percentThreshold);
  }
  syssrvSendReply(msg, kMsgIdSystemIFLogSpaceThresholdRsp, rsp, "SystemIFLogSpaceThresholdRsp: Reply send error\n");
}

void SystemIFLogTransferReq(void* /*pContext*/, const MSG_Message* msg) {
  SystemIF::LogTransferReq req;
  if (!syssrvParseRequest(msg, &req)) {
    logerr(nullptr, "SystemIFLogTransferReq: Parse Error\n");
    return;
  }
  SystemIF::LogTransferRsp rsp;
  if (logspace_is(logspace_read(kLogTransferInProgress, 127), "true"))
    rsp.set_error(CommonIF::kErrAlreadyExists);
  else
    rsp.set_error(logspace_transfer_now_or_after_camera());
  syssrvSendReply(msg, kMsgIdSystemIFLogTransferRsp, rsp, "SystemIFLogTransferRsp: Reply send error\n");
}
