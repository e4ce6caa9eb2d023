// The tri-colour status LED.
//
// Effects, all single writes to existing driver files (led_driver_write):
//   "/sys/devices/corvaleuc_leds/auto_blink"  "<on> <red> <green> <blue> <off> <red> <green> <blue>"
//   ".../leds/corvale_uc:{green,red,blue}/brightness"  "<value>", on a
//   secondary modular-room unit for a steady colour.
// Each value is written as decimal digits with no line end.
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "OS/logmsg.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvLed.h"
#include "systemservice/syssrvLedDriver.h"
#include "systemservice/syssrvMessage.h"

namespace {

const char kBlinkFile[] = "/sys/devices/corvaleuc_leds/auto_blink";
const char kRedFile[] = "/sys/devices/corvaleuc_leds/leds/corvale_uc:red/brightness";
const char kGreenFile[] = "/sys/devices/corvaleuc_leds/leds/corvale_uc:green/brightness";
const char kBlueFile[] = "/sys/devices/corvaleuc_leds/leds/corvale_uc:blue/brightness";

struct LedLookT {
  unsigned char redON, greenON, blueON, greenOFF;
  unsigned int onTime100ths, offTime100ths;  // an off-time of 0: steady light
};

// Indexed by LedState.
const LedLookT kLedLooks[] = {
    /* kLedInCall            */ {0, 255, 0, 0, 100, 0},
    /* kLedNotInCall         */ {0, 0, 255, 0, 100, 0},
    /* kLedRestoredInCall    */ {0, 255, 0, 0, 1000, 0},
    /* kLedRestoredNotInCall */ {0, 0, 255, 0, 1000, 0},
    /* kLedAsleep            */ {255, 50, 0, 0, 100, 0},
    /* kLedIdentify          */ {255, 0, 0, 255, 50, 50},
    /* kLedUnPaired          */ {0, 0, 255, 0, 50, 50},
    /* kLedPaired            */ {0, 0, 255, 0, 100, 0},
};
static_assert(sizeof kLedLooks / sizeof kLedLooks[0] == kLedPaired + 1, "one look per LED state");

// "Secondary" as a whole word, in any case; a unit whose mode cannot be
// read is not one.
bool isSecondaryUnit() {
  char mode[32] = "";
  return config_read("system.modularroom.mode", mode, sizeof mode, nullptr) == 0 &&
         strcasecmp(mode, "Secondary") == 0;
}

}  // namespace

LedDriverWrite led_driver_write(const std::string& abs, const std::string& bytes) {
  LedDriverWrite r;
  r.fd = sysio().open(abs, O_WRONLY | O_TRUNC | O_CLOEXEC, 0);
  if (r.fd < 0) {
    r.err = errno;
    return r;
  }
  do {
    r.written = ::write(r.fd, bytes.data(), bytes.size());
  } while (r.written < 0 && errno == EINTR);
  r.err = r.written < 0 ? errno : 0;
  r.ok = r.written == static_cast<ssize_t>(bytes.size());
  ::close(r.fd);
  return r;
}

void setLedState(LedState state) {
  const LedLookT& l = kLedLooks[state];
  setLed(l.redON, l.greenON, l.blueON, l.greenOFF, l.onTime100ths, l.offTime100ths);
}

void setLed(unsigned char redON, unsigned char greenON, unsigned char blueON, unsigned char greenOFF,
            unsigned int onTime100ths, unsigned int offTime100ths, unsigned char blueOFF, unsigned char redOFF) {
  // A secondary unit's driver shows steady colours only through the
  // brightness files; green goes first.
  if (offTime100ths == 0 && isSecondaryUnit()) {
    writeLedProcFile(kGreenFile, greenON);
    writeLedProcFile(kRedFile, redON);
    writeLedProcFile(kBlueFile, blueON);
    return;
  }
  char line[128];
  snprintf(line, sizeof line, "%d %d %d %d %d %d %d %d", static_cast<int>(onTime100ths), redON, greenON, blueON,
           static_cast<int>(offTime100ths), redOFF, greenOFF, blueOFF);
  const LedDriverWrite w = led_driver_write(kBlinkFile, line);
  if (w.fd < 0) {
    logerr(nullptr, "setLed: cannot open LED device: %s\n", kBlinkFile);
    return;
  }
  logdebug(nullptr,
           "setLed: OnTime100ths:%d redOn:%d greenOn:%d blueOn:%d  OffTime100ths:%d redOff:%d greenOff:%d "
           "blueOff:%d\n",
           static_cast<int>(onTime100ths), redON, greenON, blueON, static_cast<int>(offTime100ths), redOFF, greenOFF,
           blueOFF);
  if (!w.ok) logerr(nullptr, "setLed: failed writing LED blink command\n");
}

void writeLedProcFile(const char* path, int value) {
  const LedDriverWrite w = path ? led_driver_write(path, std::to_string(value)) : LedDriverWrite();
  if (w.fd < 0) {
    logerr(nullptr, "setLed: cannot open LED device: %s\n", path ? path : "(null)");
    return;
  }
  logdebug(nullptr, "writeLedProcFile: %s = %d\n", path, value);
  if (!w.ok) logerr(nullptr, "setLed: failed writing LED blink command\n");
}

void RestoreLED() {
  char inCall[16] = "";
  config_read("comm.isincall", inCall, sizeof inCall, nullptr);
  setLedState(strncmp(inCall, "True", 4) == 0 || system_in_call ? kLedRestoredInCall : kLedRestoredNotInCall);
}
