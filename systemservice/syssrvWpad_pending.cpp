// Placeholder until web proxy auto-discovery is built.
#include "systemservice/syssrvPending.h"
#include "systemservice/syssrvWpad.h"

void StartWpad() { syssrvPending("StartWpad"); }
void StopWpad() { syssrvPending("StopWpad"); }
// As with the web proxy disabled: no credentials taken.
int get_wpad_credentials() {
  syssrvPending("get_wpad_credentials");
  return 0;
}
void CreateManualPac(const char* address, int port) { syssrvPending("CreateManualPac", address, port); }
void RemovePACFile() { syssrvPending("RemovePACFile"); }
void SystemIFGetPacFile(void* pContext, const MSG_Message* msg) { syssrvPending("SystemIFGetPacFile", pContext, msg); }
