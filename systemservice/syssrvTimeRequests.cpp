// The time requests: set the time, tell the time and uptime, and the master
// unit's side of the timestamp exchange the other codec units use to find
// their clock offset and round-trip delay.
#include <cerrno>
#include <cstdio>

#include "CommonIF.pb.h"
#include "OS/logmsg.h"
#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvMessageReply.h"
#include "systemservice/syssrvTime.h"

namespace {

// The wall clock as gettimeofday gives it: seconds, microseconds as the
// fraction. False when the clock cannot be read.
bool wall_clock(double* secs, struct timespec* ts = nullptr) {
  struct timespec now;
  if (sysio().clock_gettime(CLOCK_REALTIME, &now) != 0) return false;
  *secs = static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec / 1000) * 1e-6;
  if (ts != nullptr) *ts = now;
  return true;
}

}  // namespace

void SystemIFSetSystemTimeCmd(void* /*pContext*/, const MSG_Message* msg) {
  logdebug(nullptr, "SystemIFSetSystemTimeCmd.\n");
  SystemIF::SetSystemTimeReq req;
  if (!syssrvParseRequest(msg, &req)) {
    logerr(nullptr, "SystemIFSetSystemTimeCmd: Parse Error\n");
    return;
  }
  SystemIF::SetSystemTimeRsp rsp;
  rsp.set_error(SetSystemTime64(req.time_value()));
  syssrvSendReply(msg, kMsgIdSystemIFSetSystemTimeRsp, rsp, "SystemIFGetSystemTimeReq: Reply Send Error\n", nullptr,
                  &kSyssrvAllocSilent);
}

// The request has no field: it is not parsed.
void SystemIFGetSystemTimeReq(void* /*pContext*/, const MSG_Message* msg) {
  SystemIF::GetSystemTimeRsp rsp;
  struct timespec now;
  double secs = 0;
  if (wall_clock(&secs, &now)) {
    rsp.set_error(CommonIF::kErrNoError);
    rsp.set_time_value(static_cast<uint32_t>(now.tv_sec));
  } else {
    rsp.set_error(CommonIF::kErrGenericError);
  }
  if (FILE* f = sysio().fopen("/proc/uptime", "r")) {
    double uptime = 0;
    if (fscanf(f, "%lf", &uptime) != 1) uptime = 0;
    fclose(f);
    rsp.set_uptime(uptime);
  }
  syssrvSendReply(msg, kMsgIdSystemIFGetSystemTimeRsp, rsp, "SystemIFGetSystemTimeReq: Reply Send Error\n");
}

// The receive time is taken before anything else, so that parsing is part
// of this unit's turnaround and not of the requester's measured delay.
void ProcessMasterVelarTimeReq(void* /*pContext*/, const MSG_Message* msg) {
  SystemIF::GetMasterVelarTimeRsp rsp;
  double rx = 0;
  if (!wall_clock(&rx)) {
    logerr(nullptr, "gettimeofday failed at line %d, errno = %d\n", 806, errno);
    return;
  }
  rsp.set_req_rx_time(rx);
  SystemIF::GetMasterVelarTimeReq req;
  if (!syssrvParseRequest(msg, &req)) {
    logerr(nullptr, "can't parse GetMasterVelarTimeReq\n");
    return;
  }
  rsp.set_req_tx_time(req.req_tx_time());
  double tx = 0;
  if (!wall_clock(&tx)) {
    logerr(nullptr, "gettimeofday failed at line %d, errno = %d\n", 822, errno);
    return;
  }
  rsp.set_rsp_tx_time(tx);
  const size_t size = rsp.ByteSizeLong();
  MSG_Message* out = MSG_AllocMsgCopyHdr(msg, kMsgIdSystemIFGetMasterVelarTimeRsp, static_cast<uint32_t>(size));
  void* payload = out != nullptr ? MSG_GetPayloadMutable(out) : nullptr;
  if (out == nullptr || payload == nullptr || !rsp.SerializeToArray(payload, static_cast<int>(size))) {
    if (out != nullptr) MSG_ReleaseMsg(out);
    logerr(nullptr, "%s: can't send response\n", "ProcessMasterVelarTimeReq");
    return;
  }
  // The copied header already addresses the requester.
  if (MSG_SendMsg(kSyssrvEndpoint, 0, out) != 0) logerr(nullptr, "%s: can't send response\n", "ProcessMasterVelarTimeReq");
}
