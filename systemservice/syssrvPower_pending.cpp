// Placeholder until power, input and thermal control are built.
#include "systemservice/syssrvPending.h"
#include "systemservice/syssrvPower.h"

unsigned get_temperature(short num) {
  syssrvPending("get_temperature", num);
  return 0;
}
void monitor_temperature(bool bLoggingRequired) { syssrvPending("monitor_temperature", bLoggingRequired); }
void set_thermal_management() { syssrvPending("set_thermal_management"); }
// Nothing was injected.
int sendVirtualKeyPressEvent(input_event* pKeyEvt) {
  syssrvPending("sendVirtualKeyPressEvent", pKeyEvt);
  return -1;
}
void SystemIFVirtualKeyPressCmd(void* pContext, const MSG_Message* msg) { syssrvPending("SystemIFVirtualKeyPressCmd", pContext, msg); }
void SystemIFCommCDRCmd(void* pContext, const MSG_Message* msg) { syssrvPending("SystemIFCommCDRCmd", pContext, msg); }
void RequestSystemReboot() { syssrvPending("RequestSystemReboot"); }
void config_write_post_result(const char* code, const char* name, int index) {
  syssrvPending("config_write_post_result", code, name, index);
}
