// Support packages and log clearing, by the platform's scripts in the
// service's working directory:
//   ./create-support-package <path> false
//   ./clear-logs
// The path comes from another process: it reaches the shell as one word.
// Neither script's result is examined; the answer reports success once the
// package script has returned.
#include <string>

#include "OS/logmsg.h"
#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvMessageReply.h"
#include "systemservice/syssrvPower.h"
#include "systemservice/syssrvQuote.h"

void createSupportPackage(const char* path) {
  sysio().system("./create-support-package " + shell_word(path != nullptr ? path : "") + " false");
}

void sendSystemIFCreateLogRsp(const char* path, CommonIF::eErrorType error, const MSG_Message* pMsg) {
  if (pMsg == nullptr) return;
  SystemIF::CreateLogRsp rsp;
  rsp.set_type(SystemIF::kSystemLog);
  rsp.set_path(path != nullptr ? path : "");
  rsp.set_error(error);
  syssrvSendReply(pMsg, kMsgIdSystemIFCreateLogRsp, rsp, "failed sending response\n", "sendSystemIFCreateLogRsp");
}

// An empty path names no place to write to: refused like a missing one.
void SystemIFCreateLogReq(void* /*pContext*/, const MSG_Message* msg) {
  SystemIF::CreateLogReq req;
  if (!syssrvParseRequest(msg, &req)) {
    logerr("SystemIFCreateLogReq", "Msg Parse Error\n");
    return;
  }
  const char* path = req.path().c_str();
  if (*path == '\0') {
    sendSystemIFCreateLogRsp("", CommonIF::kErrGenericError, msg);
    return;
  }
  // Accepted by the camera: answered when its data has arrived.
  if (bIsOrbscopeAttached() && createOrbscopeSupportPkg(msg, false) == 0) return;
  // The package then carries the latest temperatures.
  monitor_temperature(true);
  createSupportPackage(path);
  sendSystemIFCreateLogRsp(path, CommonIF::kErrNoError, msg);
}

void SystemIFClearLogCmd(void* /*pContext*/, const MSG_Message* msg) {
  SystemIF::ClearLogCmd cmd;
  if (!syssrvParseRequest(msg, &cmd)) {
    logerr(nullptr, "SystemIFClearLogCmd: Parse Error\n");
    return;
  }
  sysio().system("./clear-logs");
}
