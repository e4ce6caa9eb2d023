// The handler table of the "SystemSrvc" endpoint and the pieces of the
// message layer that tests and the start-up configuration reach directly.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/msg/MSG.h"
#include "systemservice/syssrvMessage.h"

// Process monitors of codec units 0, 1 and 2; the index is the unit. Defined
// with the process-monitor links, which sit below this table and use them.
constexpr int kNumProcMonEndpoints = 3;
extern const char* const gpProcMonEndpoints[kNumProcMonEndpoints];

// Opens and links the endpoint, registers every handler and runs the
// start-up configuration. 0, or the non-zero result of linking the
// configuration or DNS service (nothing further is done then).
int syssrvMessageInit();
// One receive-and-dispatch step, waiting at most `timeout` ms; always 0.
// When the receive comes back empty before its time (no endpoint), the rest
// of the time-out is slept through the seam, so a pass still lasts it.
int syssrvMessageLoop(int timeout);

// One row: the message type served, its handler, the handler's name.
struct syssrvHandlerRow {
  MSG_Type type;
  MSG_CallbackFunc handler;
  const char* name;
};

// All 32 rows; row n (1-based) is at index n - 1. Rows 26 to 29 are
// registered by the start-up configuration, 30 by the process-monitor
// link, 31 and 32 when the port controller opens.
constexpr int kSyssrvHandlerCount = 32;
extern const syssrvHandlerRow kSyssrvHandlerTable[kSyssrvHandlerCount];

// Registers rows first..last (1-based, inclusive) on "SystemSrvc" with
// MSG_RegisterCallback, min = max = the row's type, no context, not once.
// Each failed registration is logged with its handler and type and the rest
// go on. 0, the result of a failed registration, or -1 for rows out of range.
int syssrvRegisterHandlers(int first, int last);

// Creates the virtual key-press input device on "/dev/uinput" and leaves its
// descriptor in fdVirtKeyPressDev; on failure logs, closes and leaves -1.
void initVirtualKeyPressDevice();

// Handlers of the configuration service's callbacks and of the
// out-of-box request (their modules define them).
void reset_config_notify(void* pContext, const MSG_Message* msg);
void config_change_notify(void* pContext, const MSG_Message* msg);
void config_submit_notify(void* pContext, const MSG_Message* msg);
void config_dynamic_validate(void* pContext, const MSG_Message* msg);
void config_on_change(void* pContext, const MSG_Message* msg);
