// Placeholder until the logging module is built.
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvPending.h"

// Owned by the logging module; defined here until it arrives.
bool didLoggingUpdate = false;

// Reports "done" so that the main loop does not relaunch every pass and the
// dispatcher does not log a failed restart.
int update_logging(const char* name, const char* value) {
  syssrvPending("update_logging", name, value);
  return 1;
}
bool bLoggingRestartNeeded(LanState lan_state) {
  syssrvPending("bLoggingRestartNeeded", lan_state);
  return false;
}
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
void SystemIFLogUploadReq(void* pContext, const MSG_Message* msg) { syssrvPending("SystemIFLogUploadReq", pContext, msg); }
void SystemIFCreateLogReq(void* pContext, const MSG_Message* msg) { syssrvPending("SystemIFCreateLogReq", pContext, msg); }
void SystemIFClearLogCmd(void* pContext, const MSG_Message* msg) { syssrvPending("SystemIFClearLogCmd", pContext, msg); }
void PlatformIFComponentNtfy(void* pContext, const MSG_Message* msg) { syssrvPending("PlatformIFComponentNtfy", pContext, msg); }
void syssrvLogUploadStatus() { syssrvPending("syssrvLogUploadStatus"); }
// No camera to ask.
int createOrbscopeSupportPkg(const MSG_Message* pMsg, bool bLogFlush) {
  syssrvPending("createOrbscopeSupportPkg", pMsg, bLogFlush);
  return -1;
}
bool bIsOrbscopeAttached() {
  syssrvPending("bIsOrbscopeAttached");
  return false;
}
void createSupportPackage(const char* path) { syssrvPending("createSupportPackage", path); }
void sendSystemIFCreateLogRsp(const char* path, CommonIF::eErrorType error, const MSG_Message* pMsg) {
  syssrvPending("sendSystemIFCreateLogRsp", path, error, pMsg);
}
