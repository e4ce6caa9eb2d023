// LED and front panel.
#pragma once

#include "platform/msg/MSG.h"

// What the status LED shows. Every caller names one of these; the colour
// values and times of each live in one table (syssrvLed.cpp).
enum LedState {
  kLedInCall,             // steady green
  kLedNotInCall,          // steady blue
  kLedRestoredInCall,     // after wake or identify: steady green
  kLedRestoredNotInCall,  // after wake or identify: steady blue
  kLedAsleep,             // steady amber
  kLedIdentify,           // red and green alternating, half a second each
  kLedUnPaired,           // secondary modular-room unit not paired: blinking blue
  kLedPaired,             // secondary unit "Connected" or "Paired": steady blue
};
void setLedState(LedState state);

// Every caller leaves blueOFF and redOFF at 0.
void setLed(unsigned char redON, unsigned char greenON, unsigned char blueON, unsigned char greenOFF,
            unsigned int onTime100ths, unsigned int offTime100ths, unsigned char blueOFF = 0,
            unsigned char redOFF = 0);
// Writes one decimal value to a driver file.
void writeLedProcFile(const char* path, int value);
void RestoreLED();
void set_frontpanel();
void SystemIFSetInCallCmd(void* pContext, const MSG_Message* msg);
void ModRoomIFCallStatusNtfy(void* pContext, const MSG_Message* msg);
void ProcessMonitorIFSleepStateNtfy(void* pContext, const MSG_Message* msg);
void SystemIFSetModRoomIdentifyLEDReq(void* pContext, const MSG_Message* msg);
