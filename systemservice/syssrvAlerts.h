// Alert forwarding from the alert socket and the links to the port
// controller and the process monitors.
#pragma once

#include "platform/msg/MSG.h"
#include "systemservice/syssrvMessageTable.h"

// Rows 30 to 32 of the handler table, registered here rather than by the
// table's owner: the sleep state when the start-up configuration asks, the
// port controller's two notifications when it opens (in that order).
constexpr int kSyssrvLinkHandlerCount = 3;
extern const syssrvHandlerRow kSyssrvLinkHandlers[kSyssrvLinkHandlerCount];

// Bytes received; 0 when `sock` is negative or a record cannot be parsed;
// the (non-positive) receive result when nothing was read.
int syssrvForwardAlertMessages(int sock);

// Open callback of "PortController".
void register_for_portcontroller_notifications(void* pContext, const MSG_Message* msg);
// Open callback of each process monitor; pContext carries the unit index.
void handle_procmon_open(void* pContext, const MSG_Message* msg);
// Subscription step for the process monitor of unit 0.
void RemoteOpenCallbackPM(void* pContext, const MSG_Message* msg);
void handle_mac_addr_resp(void* pContext, const MSG_Message* msg);
void monitor_notify(void* pContext, const MSG_Message* msg);
void registerProcessMonitorNotifications();

// Readers of the message layer's state (defined with that state).
int isDelegateRunning();
bool syssrv_is_out_of_box();
