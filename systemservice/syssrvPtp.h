// PTP daemon control.
#pragma once

#include "platform/msg/MSG.h"

void stop_ptp4l();
void SystemIFPtpResetCmd(void* pContext, const MSG_Message* msg);
void SystemIFPtpConfigureReq(void* pContext, const MSG_Message* msg);
