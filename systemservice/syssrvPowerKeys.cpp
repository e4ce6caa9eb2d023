// Remote-control key presses injected into the input system through the
// virtual key device (fdVirtKeyPressDev, created at start).
//
// Each event is one write of a Linux input_event record (type EV_KEY, the
// key's code, 1 pressed or 0 released, zero time) followed by one write of an
// all-zero record, the synchronisation report that makes the input system
// deliver it.
#include <unistd.h>

#include <cstring>

#include "OS/logmsg.h"
#include "SystemIF.pb.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvMessageReply.h"
#include "systemservice/syssrvPower.h"

namespace {

const KeyCodeMapT* findKey(int key) {
  for (const KeyCodeMapT& k : keyCodeMap) {
    if (k.key == key) return &k;
  }
  return nullptr;
}

bool writeEvent(const input_event& e) {
  return ::write(fdVirtKeyPressDev, &e, sizeof e) == static_cast<ssize_t>(sizeof e);
}

}  // namespace

int sendVirtualKeyPressEvent(input_event* pKeyEvt) {
  const char* component = "sendVirtualKeyPressEvent";
  if (fdVirtKeyPressDev < 0) {
    logerr(component, "invalid file descriptor for Virtual Key Press device\n");
    return -1;
  }
  if (pKeyEvt == nullptr) {
    logerr(component, "no key event given\n");
    return -1;
  }
  input_event sync;
  memset(&sync, 0, sizeof sync);
  if (!writeEvent(*pKeyEvt) || !writeEvent(sync)) {
    logerr(component, "failed writing key %s event for key code %d\n", pKeyEvt->value ? "down" : "up", pKeyEvt->code);
    return -1;
  }
  return 0;
}

void SystemIFVirtualKeyPressCmd(void* /*pContext*/, const MSG_Message* msg) {
  const char* component = "SystemIFVirtualKeyPressCmd";
  SystemIF::VirtualKeyPressCmd cmd;
  if (!syssrvParseRequest(msg, &cmd)) {
    logerr(component, "failed parsing VirtualKeyPressCmd\n");
    return;
  }
  if (cmd.monitor_id() != kMonitor1) {
    logerr(component, "Monitor_Id should be 1. Secondary monitor is not yet supported.\n");
  }
  const KeyCodeMapT* key = findKey(cmd.key());
  if (key == nullptr) {
    logerr(component, "received invalid key scancode 0x%x\n", static_cast<unsigned>(cmd.key()));
    return;
  }
  const int button = cmd.button();
  logerr(component, "received button press type 0x%x for key code %d\n", static_cast<unsigned>(button),
         key->linuxCode);
  input_event e;
  memset(&e, 0, sizeof e);
  e.type = EV_KEY;
  e.code = key->linuxCode;
  if (button == kButtonDown || button == kButtonAuto) {
    e.value = 1;
    if (sendVirtualKeyPressEvent(&e) != 0) return;
  }
  if (button == kButtonUp || button == kButtonAuto) {
    e.value = 0;
    sendVirtualKeyPressEvent(&e);
  }
}
