// Links to the platform's port controller and to the process monitor of each
// codec unit, made whenever their endpoints open: subscriptions, the MAC
// address exchange and the sleep-timer restart on monitor activity.
//
// Commands: "fw_printenv -n eth1addr_cpu<unit>" (popen) and
// "fw_setenv eth1addr_cpu<unit> <MAC>" (system), the MAC formatted here from
// the received bytes, never taken as text.
#include <strings.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "OS/logmsg.h"
#include "PlatformIF.pb.h"
#include "ProcessMonitorIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvAlerts.h"
#include "systemservice/syssrvLed.h"
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvMessageReply.h"

const char* const gpProcMonEndpoints[kNumProcMonEndpoints] = {"ProcessMon", "ToVelar1/ProcessMon",
                                                              "ToVelar2/ProcessMon"};

const syssrvHandlerRow kSyssrvLinkHandlers[kSyssrvLinkHandlerCount] = {
    {kMsgIdProcessMonitorIFSleepStateNtfy, ProcessMonitorIFSleepStateNtfy, "ProcessMonitorIFSleepStateNtfy"},
    {kMsgIdPlatformIFMonitorNtfy, monitor_notify, "monitor_notify"},
    {kMsgIdPlatformIFComponentNtfy, PlatformIFComponentNtfy, "PlatformIFComponentNtfy"},
};

namespace {

const char kPortController[] = "PortController";
const char kMonitorComponent[] = "monitor_notify";
// "XX:XX:XX:XX:XX:XX"
constexpr int kMacTextLen = 17;
constexpr size_t kMacBytes = 6;
constexpr int kCmdLen = 64;

// The unit a context or a sequence names; -1 (logged) for none of the three.
int unitIndex(uintptr_t value, const char* func) {
  if (value >= static_cast<uintptr_t>(kNumProcMonEndpoints)) {
    logerr(nullptr, "%s: Received bad velar index 0x%x\n", func, static_cast<unsigned>(value));
    return -1;
  }
  return static_cast<int>(value);
}

}  // namespace

void registerProcessMonitorNotifications() { syssrvRegisterRow(kSyssrvLinkHandlers[0], nullptr); }

// Runs again each time the port controller reopens: the library keeps one
// subscription per range and serves a type by its first registration, so a
// repeat changes nothing.
void register_for_portcontroller_notifications(void* /*pContext*/, const MSG_Message* /*msg*/) {
  for (int i = 1; i < kSyssrvLinkHandlerCount; ++i) {
    const syssrvHandlerRow& row = kSyssrvLinkHandlers[i];
    syssrvRegisterRow(row, nullptr);
    MSG_RegisterNotificationRemote(kSyssrvEndpoint, row.type, row.type,
                                   MSG_GetRemoteId(kSyssrvEndpoint, kPortController));
  }
}

void monitor_notify(void* /*pContext*/, const MSG_Message* msg) {
  PlatformIF::MonitorNtfy ntfy;
  if (!syssrvParseRequest(msg, &ntfy)) {
    logerr(kMonitorComponent, " Failed Parsing message \n");
    return;
  }
  // Activity on the first monitor keeps the unit awake.
  if (ntfy.component_id() != "mon1" || ntfy.action() != 1) return;
  ProcessMonitorIF::SleepTimerCmd cmd;
  cmd.set_cmd(ProcessMonitorIF::kSleepRestart);
  MSG_Message* out = msgUtil_buildMsg(cmd, 0, nullptr);
  if (out == nullptr) {
    logerr(kMonitorComponent, "Failed to build Msg using msgUtil\n");
    return;
  }
  MSG_Endpoint id = MSG_GetRemoteId(kSyssrvEndpoint, gpProcMonEndpoints[0]);
  if (id == 0) {
    logerr(kMonitorComponent, "Failed to get remote endpoint to proc mon\n");
    MSG_ReleaseMsg(out);
    return;
  }
  MSG_SendMsg(kSyssrvEndpoint, id, out);
}

void handle_procmon_open(void* pContext, const MSG_Message* msg) {
  static const char kFunc[] = "handle_procmon_open";
  int index = unitIndex(reinterpret_cast<uintptr_t>(pContext), kFunc);
  if (index < 0) return;
  // The sequence names the unit, so that the answer says whose MAC it is.
  ProcessMonitorIF::MacAddrReq req;
  MSG_Message* out = msgUtil_buildMsg(req, static_cast<uint32_t>(index), nullptr);
  if (out == nullptr) {
    logerr(nullptr, "%s: msgUtil_buildMsg failed\n", kFunc);
    return;
  }
  int rc = MSG_SendMsg(kSyssrvEndpoint, MSG_GetRemoteId(kSyssrvEndpoint, gpProcMonEndpoints[index]), out);
  if (rc != 0) logerr(nullptr, "%s: MSG_SendMsg failed: %d\n", kFunc, rc);
  RemoteOpenCallbackPM(pContext, msg);
}

void RemoteOpenCallbackPM(void* pContext, const MSG_Message* /*msg*/) {
  if (reinterpret_cast<uintptr_t>(pContext) != 0) return;
  MSG_RegisterNotificationRemote(kSyssrvEndpoint, 0x000000, 0xFFFFFF,
                                 MSG_GetRemoteId(kSyssrvEndpoint, gpProcMonEndpoints[0]));
}

void handle_mac_addr_resp(void* /*pContext*/, const MSG_Message* msg) {
  static const char kFunc[] = "handle_mac_addr_resp";
  ProcessMonitorIF::MacAddrRsp rsp;
  if (!syssrvParseRequest(msg, &rsp)) {
    logerr(nullptr, "%s: ParseFromArray failed\n", kFunc);
    return;
  }
  // The sequence comes back from the peer: only the three units have a
  // variable of their own in the boot environment.
  int index = unitIndex(MSG_GetSequence(msg), kFunc);
  if (index < 0) return;
  const std::string& addr = rsp.addr();
  if (addr.size() < kMacBytes) {
    logerr(nullptr, "%s: Velar %d sent a MAC address of %u bytes, ignoring\n", kFunc, index,
           static_cast<unsigned>(addr.size()));
    return;
  }
  const auto* b = reinterpret_cast<const unsigned char*>(addr.data());
  char mac[kMacTextLen + 1];
  snprintf(mac, sizeof mac, "%02X:%02X:%02X:%02X:%02X:%02X", b[0], b[1], b[2], b[3], b[4], b[5]);
  logdebug(nullptr, "Velar %d procmon sent status %d and MAC address %s\n", index, rsp.error(), mac);

  char cmd[kCmdLen];
  snprintf(cmd, sizeof cmd, "fw_printenv -n eth1addr_cpu%d", index);
  FILE* f = sysio().popen(cmd, "r");
  if (f == nullptr) {
    logerr(nullptr, "%s: %s failed\n", kFunc, cmd);
  } else {
    char stored[kMacTextLen + 1] = "";
    size_t got = fread(stored, 1, kMacTextLen, f);
    sysio().pclose(f);
    if (got == kMacTextLen && strncasecmp(stored, mac, kMacTextLen) == 0) return;
  }
  snprintf(cmd, sizeof cmd, "fw_setenv eth1addr_cpu%d %s", index, mac);
  logdebug(nullptr, "%s\n", cmd);
  sysio().system(cmd);
}
