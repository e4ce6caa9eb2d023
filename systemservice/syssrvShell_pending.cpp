// Placeholder until the remote shell services are built.
#include "systemservice/syssrvPending.h"
#include "systemservice/syssrvShell.h"

void enable_sshd(bool bEnable) { syssrvPending("enable_sshd", bEnable); }
void start_telnetd() { syssrvPending("start_telnetd"); }
void stop_telnetd() { syssrvPending("stop_telnetd"); }
void telnetd_cfg_change(int restart_telnet) { syssrvPending("telnetd_cfg_change", restart_telnet); }
void start_NIDS() { syssrvPending("start_NIDS"); }
void stop_NIDS() { syssrvPending("stop_NIDS"); }
void set_console_log_level(unsigned char nConsoleLogLevel) {
  syssrvPending("set_console_log_level", nConsoleLogLevel);
}
void set_embedded_switch() { syssrvPending("set_embedded_switch"); }
// Records the member values so a caller's settings can be checked.
int SshBanner::ApplyChanges() {
  syssrvPending("ApplyChanges", mbEnable, mbDodMode, mNormalText, mDodText);
  return 0;
}
