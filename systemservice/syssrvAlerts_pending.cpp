// Placeholder until alert forwarding and the process-monitor links are built.
#include "systemservice/syssrvAlerts.h"
#include "systemservice/syssrvPending.h"

int syssrvForwardAlertMessages(int sock) {
  syssrvPending("syssrvForwardAlertMessages", sock);
  return 0;
}
void register_for_portcontroller_notifications(void* pContext, const MSG_Message* msg) { syssrvPending("register_for_portcontroller_notifications", pContext, msg); }
void handle_procmon_open(void* pContext, const MSG_Message* msg) { syssrvPending("handle_procmon_open", pContext, msg); }
void RemoteOpenCallbackPM(void* pContext, const MSG_Message* msg) { syssrvPending("RemoteOpenCallbackPM", pContext, msg); }
void handle_mac_addr_resp(void* pContext, const MSG_Message* msg) { syssrvPending("handle_mac_addr_resp", pContext, msg); }
void monitor_notify(void* pContext, const MSG_Message* msg) { syssrvPending("monitor_notify", pContext, msg); }
void registerProcessMonitorNotifications() { syssrvPending("registerProcessMonitorNotifications"); }
