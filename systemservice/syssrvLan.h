// Wired LAN: carrier poll, link up/down handling, restarts through the
// network script, the LAN status request and the IPv6 address variables.
#pragma once

#include "platform/msg/MSG.h"
#include "systemservice/syssrvTypes.h"

// Stores LAN_DOWN or LAN_UP when a carrier byte was read (LAN_DOWN when the
// carrier file cannot be opened); leaves *lan_state alone otherwise.
void check_lan_status(int* lan_state);
// Fills two 8-byte caller buffers from the speed and duplex files.
void get_lan_connection(char* speed, char* duplex);
void lan_state_change_notify(int state);
void start_LAN_on_linkup();
void stop_LAN_on_linkdown();
void restart_LAN();
void restart_IPv6Only();
void set_tos();
void start_LAN();
void stop_LAN();
void lan_status_req(void* pContext, const MSG_Message* msg);
// Clear the IPv6 variables unless IPv6 addressing is manual.
void syssrvLanInit();
void syssrvLanRestart();
void clearIPv6Config();
// Called every pass with the state check_lan_status produced; while the
// link is up it runs checkIPv6Addr and checkIPv6GatewayAddr in turn.
void syssrvLanUpdateStatus(int state);
// One scan of /proc/net/if_inet6 and of /proc/net/ipv6_route for the wired
// device, publishing what changed.
void checkIPv6Addr();
void checkIPv6GatewayAddr();

// Closes the carrier file and the /proc tables and forgets every reading
// and address, as at process start. The state is process-wide, and a test
// must not inherit a handle into an earlier test's temporary root.
void syssrvLan_testing_reset();
void syssrvLanIPv6_testing_reset();
