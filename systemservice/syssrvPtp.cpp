// PTP control: the platform daemon "ptp4l" that shares the codec units'
// clock in a multi-codec system. Started by the platform script
//   /opt/corvale/bin/startptp4l  <domain>
// (two blanks, as the script has always been called), found by name and
// stopped with SIGTERM, without waiting for it to end.
#include <csignal>
#include <cstdio>

#include "OS/logmsg.h"
#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvMessageReply.h"
#include "systemservice/syssrvProcess.h"
#include "systemservice/syssrvPtp.h"

namespace {
const char kPtpDaemon[] = "ptp4l";
}  // namespace

void stop_ptp4l() {
  const pid_t pid = findPid(kPtpDaemon);
  logdebug(nullptr, "try killing ptp4l = %d\n", static_cast<int>(pid));
  if (pid > 0) {
    logdebug(nullptr, "killing ptp4l = %d\n", static_cast<int>(pid));
    sysio().kill(pid, SIGTERM);
  } else {
    logdebug(nullptr, " ptp4l = %d isn't running\n", static_cast<int>(pid));
  }
}

void SystemIFPtpResetCmd(void* /*pContext*/, const MSG_Message* msg) {
  SystemIF::PtpResetCmd cmd;
  if (!syssrvParseRequest(msg, &cmd)) {
    logerr(nullptr, "SystemIFPtpResetCmd: Parse Error\n");
    return;
  }
  logdebug(nullptr, "SystemIFPtpResetCmd: got ptp4l reset request\n");
  stop_ptp4l();
}

// A daemon that has not ended right after the SIGTERM is left running in
// its old domain; the caller is told eOkay either way.
void SystemIFPtpConfigureReq(void* /*pContext*/, const MSG_Message* msg) {
  SystemIF::PtpConfigureReq req;
  if (!syssrvParseRequest(msg, &req)) {
    logerr(nullptr, "SystemIFPtpConfigureReq: Parse Error\n");
    return;
  }
  const int domain = req.ptpdomain();
  logdebug(nullptr, "SystemIFPtpConfigureReq: got ptp4l configure request, domain=%d\n", domain);
  stop_ptp4l();
  const pid_t pid = findPid(kPtpDaemon);
  if (pid > 0) {
    logdebug(nullptr, " ptp4l = %d is already running \n", static_cast<int>(pid));
  } else {
    logdebug(nullptr, "starting ptp4l %d\n", domain);
    char cmd[128];
    snprintf(cmd, sizeof cmd, "/opt/corvale/bin/startptp4l  %d\n", domain);
    sysio().system(cmd);
  }
  SystemIF::PtpConfigureRsp rsp;
  rsp.set_error(SystemIF::eOkay);
  syssrvSendReply(msg, kMsgIdSystemIFPtpConfigureRsp, rsp, "SystemIFPtpConfigureReq: Reply Send Error\n");
}
