// Placeholder until log upload and support packages are built.
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvPending.h"

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
