// Placeholder until the host name, delegate and beacon module is built.
#include "systemservice/syssrvHostname.h"
#include "systemservice/syssrvPending.h"

void set_hostname(const char* name) { syssrvPending("set_hostname", name); }
void set_commonname() { syssrvPending("set_commonname"); }
void update_remote_channel_id(char* value) { syssrvPending("update_remote_channel_id", value); }
void update_amx_beacon(char* state) { syssrvPending("update_amx_beacon", state); }
void start_delegate() { syssrvPending("start_delegate"); }
void stop_delegate() { syssrvPending("stop_delegate"); }
