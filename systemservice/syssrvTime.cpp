// Placeholder until system time and master-time sync are built.
#include "systemservice/syssrvPending.h"
#include "systemservice/syssrvTime.h"

int SetSystemTime(long t) {
  syssrvPending("SetSystemTime", t);
  return 0;
}
void SystemIFSetSystemTimeCmd(void* pContext, const MSG_Message* msg) { syssrvPending("SystemIFSetSystemTimeCmd", pContext, msg); }
void SystemIFGetSystemTimeReq(void* pContext, const MSG_Message* msg) { syssrvPending("SystemIFGetSystemTimeReq", pContext, msg); }
void ProcessMasterVelarTimeReq(void* pContext, const MSG_Message* msg) { syssrvPending("ProcessMasterVelarTimeReq", pContext, msg); }
