// Placeholder until PTP control is built.
#include "systemservice/syssrvPending.h"
#include "systemservice/syssrvPtp.h"

void stop_ptp4l() { syssrvPending("stop_ptp4l"); }
void SystemIFPtpResetCmd(void* pContext, const MSG_Message* msg) { syssrvPending("SystemIFPtpResetCmd", pContext, msg); }
void SystemIFPtpConfigureReq(void* pContext, const MSG_Message* msg) { syssrvPending("SystemIFPtpConfigureReq", pContext, msg); }
