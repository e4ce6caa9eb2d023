// System time and the time of the master unit.
#pragma once

#include "platform/msg/MSG.h"

// Sets the clock to `t` seconds since the epoch: kErrNoError, or
// kErrBadState when the time-server mode forbids it.
int SetSystemTime(long t);
void SystemIFSetSystemTimeCmd(void* pContext, const MSG_Message* msg);
void SystemIFGetSystemTimeReq(void* pContext, const MSG_Message* msg);
void ProcessMasterVelarTimeReq(void* pContext, const MSG_Message* msg);
