// Web proxy auto-discovery: the PAC file, the delegate credentials and the
// PAC expiry timer.
#pragma once

#include "platform/msg/MSG.h"

void StartWpad();
void StopWpad();
// 1 when credentials were taken (possibly empty), 0 when the proxy is off.
int get_wpad_credentials();
void CreateManualPac(const char* address, int port);
void RemovePACFile();
void SystemIFGetPacFile(void* pContext, const MSG_Message* msg);
// Expiry callback of the PAC timer (the message layer holds the timer).
void timerFunc(void* userData);
