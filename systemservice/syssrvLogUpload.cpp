// Log upload: the platform's uploader, one at a time, started without a
// shell as
//   /opt/corvale/bin/logUploader --servertype <type> --serverurl <url>
//       --certpath <path> --webticket <ticket>
// and reaped by the main loop, which announces its end. The web ticket is a
// credential: it goes to the uploader's arguments and nowhere else.
#include "OS/logmsg.h"
#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "systemservice/syssrvLogUpload.h"
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvMessageReply.h"
#include "systemservice/syssrvProcess.h"

namespace {

// 0 while no upload runs.
pid_t pidLogUploader = 0;

const char kUploadReq[] = "SystemIFLogUploadReq";
const char kUploadStatus[] = "syssrvLogUploadStatus";

CommonIF::eErrorType start_uploader(const SystemIF::LogUploadReq& req) {
  const char* argv[] = {"/opt/corvale/bin/logUploader", "--servertype", req.server_type().c_str(),
                        "--serverurl", req.server_url().c_str(), "--certpath", req.cert_path().c_str(),
                        "--webticket", req.web_ticket().c_str(), nullptr};
  pid_t pid = 0;
  const eErrorT rc = forkExec(argv, &pid);
  if (rc != kNoError) {
    logerr(kUploadReq, "forkExec failed: error:%d\n", static_cast<int>(rc));
    return CommonIF::kErrGenericError;
  }
  pidLogUploader = pid;
  logdebug(kUploadReq, "forkExec success. PID:%d\n", static_cast<int>(pid));
  return CommonIF::kErrNoError;
}

}  // namespace

void syssrvLogUpload_testing_reset() { pidLogUploader = 0; }

// Every request is answered, a busy or unparsable one included.
void SystemIFLogUploadReq(void* /*pContext*/, const MSG_Message* msg) {
  logdebug(kUploadReq, "Enter.\n");
  SystemIF::LogUploadRsp rsp;
  rsp.set_error(CommonIF::kErrNoError);
  SystemIF::LogUploadReq req;
  if (pidLogUploader != 0) {
    logerr(kUploadReq, "Busy.\n");
    rsp.set_error(CommonIF::kErrOutOfResources);
  } else if (!syssrvParseRequest(msg, &req)) {
    logerr(kUploadReq, "Msg Parse Error\n");
    rsp.set_error(CommonIF::kErrGenericError);
  } else {
    rsp.set_error(start_uploader(req));
  }
  if (syssrvSendReply(msg, kMsgIdSystemIFLogUploadRsp, rsp, "SystemIFLogUploadRsp: Reply send error\n", kUploadReq) == 0)
    logdebug(kUploadReq, "SystemIFLogUploadRsp: Sent\n");
}

void syssrvLogUploadStatus() {
  if (pidLogUploader == 0) return;
  int exitStatus = -1;  // stays when the wait itself failed
  const eErrorT rc = waitOnChild(pidLogUploader, &exitStatus);
  // A stopped uploader has not ended either: it is polled again next pass.
  if (rc == kTimeOut || rc == kAlreadyInUse) return;
  pidLogUploader = 0;
  SystemIF::LogUploadStatusNtfy ntfy;
  if (rc == kNoError && exitStatus == 0) {
    ntfy.set_status(SystemIF::eCompleted);
    logdebug(kUploadStatus, "eCompleted: %d\n", exitStatus);
  } else {
    ntfy.set_status(SystemIF::eFailed);
    ntfy.set_error(CommonIF::kErrGenericError);
    logdebug(kUploadStatus, "eFailed: %d\n", exitStatus);
  }
  if (syssrvSendNotification(kMsgIdSystemIFLogUploadStatusNtfy, MSG_GetNextSequence(), ntfy,
                             "SystemIFLogUploadStatusNtfy", kUploadStatus,
                             "SystemIFLogUploadStatusNtfy: Send error\n") == 0)
    logdebug(kUploadStatus, "SystemIFLogUploadStatusNtfy: Sent\n");
}
