// Placeholder until the host name, delegate and beacon module is built.
#include "systemservice/syssrvHostname.h"
#include "systemservice/syssrvPending.h"

void set_hostname(const char* name) { syssrvPending("set_hostname", name); }
void set_commonname() { syssrvPending("set_commonname"); }
void update_remote_channel_id(char* value) { syssrvPending("update_remote_channel_id", value); }
void update_amx_beacon(char* state) { syssrvPending("update_amx_beacon", state); }
void start_delegate() { syssrvPending("start_delegate"); }
void stop_delegate() { syssrvPending("stop_delegate"); }
// Nothing is started, so a caller must not wait for a child.
eErrorT forkExec(const char** argv, pid_t* pid) {
  syssrvPending("forkExec", argv && argv[0] ? argv[0] : nullptr, pid);
  return kFuncReturnedError;
}
eErrorT waitOnChild(pid_t pid, int* exitstatus) {
  syssrvPending("waitOnChild", pid, exitstatus);
  return kItemNotFound;
}
pid_t findPid(const char* procname) {
  syssrvPending("findPid", procname);
  return 0;
}
