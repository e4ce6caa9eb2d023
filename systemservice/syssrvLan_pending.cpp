// Placeholder until the LAN module is built.
#include "systemservice/syssrvLan.h"
#include "systemservice/syssrvPending.h"

// Leaves *lan_state alone, as a poll that read nothing does.
void check_lan_status(int* lan_state) { syssrvPending("check_lan_status", lan_state); }
// The caller's buffers keep what the caller put there, as for unreadable files.
void get_lan_connection(char* speed, char* duplex) {
  syssrvPending("get_lan_connection", speed ? "ptr" : "null", duplex ? "ptr" : "null");
}
void lan_state_change_notify(int state) { syssrvPending("lan_state_change_notify", state); }
void start_LAN_on_linkup() { syssrvPending("start_LAN_on_linkup"); }
void stop_LAN_on_linkdown() { syssrvPending("stop_LAN_on_linkdown"); }
void restart_LAN() { syssrvPending("restart_LAN"); }
void restart_IPv6Only() { syssrvPending("restart_IPv6Only"); }
void set_tos() { syssrvPending("set_tos"); }
void start_LAN() { syssrvPending("start_LAN"); }
void stop_LAN() { syssrvPending("stop_LAN"); }
void lan_status_req(void* pContext, const MSG_Message* msg) { syssrvPending("lan_status_req", pContext, msg); }
void syssrvLanInit() { syssrvPending("syssrvLanInit"); }
void syssrvLanRestart() { syssrvPending("syssrvLanRestart"); }
void clearIPv6Config() { syssrvPending("clearIPv6Config"); }
void syssrvLanUpdateStatus(int state) { syssrvPending("syssrvLanUpdateStatus", state); }
