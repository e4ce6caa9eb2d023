// Temperature record, thermal switch, virtual key presses, call-detail
// commands, reboot request and the store of self-test results.
#pragma once

#include <linux/input.h>

#include "platform/msg/MSG.h"

// Key events reach the uinput device as raw input_event records, whose time
// is two kernel longs: 16 bytes on the 32-bit board, 24 on x86-64.
static_assert(sizeof(input_event) == (sizeof(long) == 4 ? 16u : 24u), "input_event as the kernel reads it");

// Remote-control keys as the other processes name them.
enum eRemoteKey {
  kKeyUp = 5,
  kKeyDown = 6,
  kKeyEnter = 7,
  kKeyLeft = 9,
  kKeyRight = 10,
  kKeyNumericStar = 11,
  kKeyNumericPound = 12,
  kKeyZoomIn = 13,
  kKeyZoomOut = 14,
  kKeyF13 = 15,
  kKeyF14 = 18,
  kKeyBack = 19,
  kKeyInfo = 20,
  kKeyOption = 21,
  kKeyF15 = 22,
  kKeyBattery = 23,
  kKeyF16 = 24,
  kKeyDirectory = 26,
  kKeyHome = 27,
  kKeyDisplayToggle = 29,
  kKeyCamera = 30,
  kKeyF17 = 31,
  kKeyDot = 33,
  kKeyDelete = 34,
  kKeyKeyboard = 35,
  kKeyPhone = 37,
  kKeyF18 = 38,
  kKeyPower = 39,
  kKeyPlay = 41,
  kKeyStop = 42,
  kKeyFastForward = 43,
  kKeyRewind = 44,
  kKeyPause = 45,
  kKeyRecord = 46,
  kKey0 = 48,
  kKey1 = 49,
  kKey2 = 50,
  kKey3 = 51,
  kKey4 = 52,
  kKey5 = 53,
  kKey6 = 54,
  kKey7 = 55,
  kKey8 = 56,
  kKey9 = 57,
  kKeyMute = 58,
  kKeyVolumeUp = 59,
  kKeyVolumeDown = 60,
  kKeyF19 = 71,
};

enum eButtonPress {
  kButtonUp = 16,
  kButtonDown = 32,
  kButtonAuto = 48,
};

enum eMonitor_Id {
  kMonitor1 = 1,
  kMonitor2 = 2,
};

// One remote key and the Linux input code injected for it.
struct KeyCodeMapT {
  eRemoteKey key;
  unsigned short linuxCode;
};

constexpr int kKeyCodeMapSize = 48;
// Searched in order; the virtual key device enables every code of it.
extern const KeyCodeMapT keyCodeMap[kKeyCodeMapSize];

// Reading of sensor 1 or 2; 0 for any other number or an unreadable file.
unsigned get_temperature(short num);
void monitor_temperature(bool bLoggingRequired);
void set_thermal_management();
// 0, or -1 on failure.
int sendVirtualKeyPressEvent(input_event* pKeyEvt);
void SystemIFVirtualKeyPressCmd(void* pContext, const MSG_Message* msg);
void SystemIFCommCDRCmd(void* pContext, const MSG_Message* msg);
void RequestSystemReboot();
// Writes the error code and name of self-test result `index`.
void config_write_post_result(const char* code, const char* name, int index);
