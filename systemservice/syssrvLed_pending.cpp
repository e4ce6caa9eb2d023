// Placeholder until the LED and front-panel module is built.
#include "systemservice/syssrvLed.h"
#include "systemservice/syssrvPending.h"

// The two OFF colours every caller leaves at 0 are traced only when set.
void setLed(unsigned char redON, unsigned char greenON, unsigned char blueON, unsigned char greenOFF,
            unsigned int onTime100ths, unsigned int offTime100ths, unsigned char blueOFF, unsigned char redOFF) {
  if (blueOFF == 0 && redOFF == 0) {
    syssrvPending("setLed", redON, greenON, blueON, greenOFF, onTime100ths, offTime100ths);
  } else {
    syssrvPending("setLed", redON, greenON, blueON, greenOFF, onTime100ths, offTime100ths, blueOFF, redOFF);
  }
}
void writeLedProcFile(const char* path, int value) { syssrvPending("writeLedProcFile", path, value); }
void RestoreLED() { syssrvPending("RestoreLED"); }
void set_frontpanel() { syssrvPending("set_frontpanel"); }
void SystemIFSetInCallCmd(void* pContext, const MSG_Message* msg) { syssrvPending("SystemIFSetInCallCmd", pContext, msg); }
void ModRoomIFCallStatusNtfy(void* pContext, const MSG_Message* msg) { syssrvPending("ModRoomIFCallStatusNtfy", pContext, msg); }
void ProcessMonitorIFSleepStateNtfy(void* pContext, const MSG_Message* msg) { syssrvPending("ProcessMonitorIFSleepStateNtfy", pContext, msg); }
void SystemIFSetModRoomIdentifyLEDReq(void* pContext, const MSG_Message* msg) { syssrvPending("SystemIFSetModRoomIdentifyLEDReq", pContext, msg); }
