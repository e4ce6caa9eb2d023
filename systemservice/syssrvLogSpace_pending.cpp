// Placeholder until the log-space monitor and log transfer are built.
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvPending.h"

// Not handled: the dispatcher goes on with its own rows.
int update_logspace_management(const char* name, const char* value) {
  syssrvPending("update_logspace_management", name, value);
  return 0;
}
void logspace_monitor_control(int state) { syssrvPending("logspace_monitor_control", state); }
CommonIF::eErrorType startLogFlush() {
  syssrvPending("startLogFlush");
  return CommonIF::kErrNotYetSupported;
}
CommonIF::eErrorType flush_logs_finish(bool abortIfNotExited) {
  syssrvPending("flush_logs_finish", abortIfNotExited);
  return CommonIF::kErrNotYetSupported;
}
void SystemIFLogSpaceThresholdNtfy(bool isExceeded) { syssrvPending("SystemIFLogSpaceThresholdNtfy", isExceeded); }
void SystemIFLogTransferCompleteNtfy(CommonIF::eErrorType error) {
  syssrvPending("SystemIFLogTransferCompleteNtfy", error);
}
void SystemIFLogSpaceThresholdReq(void* pContext, const MSG_Message* msg) { syssrvPending("SystemIFLogSpaceThresholdReq", pContext, msg); }
void SystemIFLogTransferReq(void* pContext, const MSG_Message* msg) { syssrvPending("SystemIFLogTransferReq", pContext, msg); }
