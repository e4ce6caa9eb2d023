// The messages that change the status LED: the call state (from the
// application and from the modular-room manager), sleep and wake from the
// process monitor, and the identify blinking of a modular-room unit.
#include "CommonIF.pb.h"
#include "ModRoomIF.pb.h"
#include "OS/logmsg.h"
#include "ProcessMonitorIF.pb.h"
#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "systemservice/syssrvAccessLevels.h"
#include "systemservice/syssrvLed.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvMessageReply.h"

// A call reported by the modular-room manager keeps the LED green whatever
// the application says.
void SystemIFSetInCallCmd(void* /*pContext*/, const MSG_Message* msg) {
  SystemIF::SetInCallCmd cmd;
  if (!syssrvParseRequest(msg, &cmd)) {
    logerr(nullptr, "SystemIFSetInCallCmd: Parse Error\n");
    return;
  }
  if (!system_in_call && !cmd.is_in_call()) {
    logdebug(nullptr, "SystemIFSetInCallCmd: false (set LED blue)\n");
    setLedState(kLedNotInCall);
  } else {
    logdebug(nullptr, "SystemIFSetInCallCmd: true (set LED green)\n");
    setLedState(kLedInCall);
  }
}

void ModRoomIFCallStatusNtfy(void* /*pContext*/, const MSG_Message* msg) {
  logdebug(nullptr, "%s\n", "ModRoomIFCallStatusNtfy");
  ModRoomIF::CallStatusNtfy ntfy;
  if (!syssrvParseRequest(msg, &ntfy)) {
    logerr(nullptr, "ModRoomIFCallStatusNtfy: Parse Error\n");
    return;
  }
  // A status this side does not know arrives as no status (the parser keeps
  // it aside) and reads back as IN_CALL: it is not a call.
  system_in_call = ntfy.has_callstatus() && ntfy.callstatus() == ModRoomIF::IN_CALL;
  setLedState(system_in_call ? kLedInCall : kLedNotInCall);
  set_in_call_access_levels(system_in_call);
}

void ProcessMonitorIFSleepStateNtfy(void* /*pContext*/, const MSG_Message* msg) {
  ProcessMonitorIF::SleepStateNtfy ntfy;
  if (!syssrvParseRequest(msg, &ntfy)) {
    logerr(nullptr, "ProcessMonitorIFSleepStateNtfy: Parse Error\n");
    return;
  }
  if (ntfy.has_state() && ntfy.state() == ProcessMonitorIF::kWakeState) {
    logdebug(nullptr, "sleep state: Wake.\n");
    RestoreLED();
  } else {
    logdebug(nullptr, "sleep state: Sleep\n");
    setLedState(kLedAsleep);
  }
}

void SystemIFSetModRoomIdentifyLEDReq(void* /*pContext*/, const MSG_Message* msg) {
  SystemIF::SetModRoomIdentifyLEDReq req;
  if (!syssrvParseRequest(msg, &req)) {
    logerr(nullptr, "SetModRoomIdentifyLEDReq: Parse Error\n");
    return;
  }
  logdebug(nullptr, "SetModRoomIdentifyLEDReq: blink IDENTIFY LED=%d\n", req.on() ? 1 : 0);
  if (req.on()) {
    setLedState(kLedIdentify);
  } else {
    RestoreLED();
  }
  SystemIF::SetModRoomIdentifyLEDRsp rsp;
  rsp.set_error(CommonIF::kErrNoError);
  syssrvSendReply(msg, kMsgIdSystemIFSetModRoomIdentifyLEDRsp, rsp,
                  "SystemIFSetModRoomIdentifyLEDReq: Reply Send Error\n");
}
