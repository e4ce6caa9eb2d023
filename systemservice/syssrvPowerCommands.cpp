// Call-detail-record commands, the reboot request and the store of
// self-test results.
//
// Runs the CDR command line it is sent (one line only) and, when the
// process monitor cannot be asked, "/system/bin/reboot".
#include <cstdio>

#include "OS/logmsg.h"
#include "ProcessMonitorIF.pb.h"
#include "SystemIF.pb.h"
#include "platform/msgutil/msgUtil.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvMessageReply.h"
#include "systemservice/syssrvPower.h"
#include "systemservice/syssrvQuote.h"

// Running the sender's command line is the purpose of the message; a line
// break or NUL would smuggle a second command behind the logged one.
void SystemIFCommCDRCmd(void* /*pContext*/, const MSG_Message* msg) {
  SystemIF::CommCDRCmd cmd;
  if (!syssrvParseRequest(msg, &cmd)) {
    logerr(nullptr, "SystemIFCommCDRCmd: Parse Error\n");
    return;
  }
  loginfo(nullptr, "SystemIFCommCDRCmd %s\n", log_text(cmd.cdrcmd()).c_str());
  if (!file_value_ok("SystemIFCommCDRCmd", cmd.cdrcmd())) return;
  sysio().system(cmd.cdrcmd());
}

void RequestSystemReboot() {
  ProcessMonitorIF::SystemShutdownCmd cmd;
  cmd.set_type(ProcessMonitorIF::kShutdownTypeReboot);
  // MSG_SendMsg refuses a message that could not be built and an endpoint
  // that does not exist (id 0).
  const int rc = MSG_SendMsg(kSyssrvEndpoint, MSG_GetRemoteId(kSyssrvEndpoint, "ProcessMon"),
                             msgUtil_buildMsg(cmd, MSG_GetNextSequence(), nullptr));
  if (rc == 0) {
    loginfo("SysSrv", "Successfully sent reboot message to process monitor.\n");
    return;
  }
  logerr("SysSrv", "reboot message send error: %d, call /system/bin/reboot to reboot immediately\n", rc);
  sysio().system("/system/bin/reboot");
}

void config_write_post_result(const char* code, const char* name, int index) {
  if (code == nullptr || name == nullptr) {
    logerr(nullptr, "config_write_post_result: no result %d to write\n", index);
    return;
  }
  char var[64];
  snprintf(var, sizeof var, "system.post.results[%d].errorcode", index);
  config_write(var, code, kSystem);
  snprintf(var, sizeof var, "system.post.results[%d].errorname", index);
  config_write(var, name, kSystem);
}
