#include "tests/systemservice/test_init_timeline.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include "ConfigIF.pb.h"
#include "platform/msg/MSG.h"
#include "platform/msgutil/msgIds.h"
#include "systemservice/syssrvAlerts.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvLan.h"
#include "systemservice/syssrvLed.h"
#include "systemservice/syssrvLocale.h"
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvMessageTable.h"
#include "systemservice/syssrvPki.h"
#include "systemservice/syssrvPower.h"
#include "systemservice/syssrvProvisioning.h"
#include "systemservice/syssrvPtp.h"
#include "systemservice/syssrvStartup.h"
#include "systemservice/syssrvTime.h"
#include "systemservice/syssrvWpad.h"

// The real functions behind the wrapped names (C++ symbols, so the linker
// knows them by their mangled names; a signature that changes breaks the
// link instead of silently bypassing the record).
int real_MSG_DebugSetName(const char*) asm("__real__Z16MSG_DebugSetNamePKc");
int real_MSG_OpenLocal(const char*) asm("__real__Z13MSG_OpenLocalPKc");
int real_MSG_OpenRemoteSync(const char*, const char*, int, MSG_Endpoint*) asm("__real__Z18MSG_OpenRemoteSyncPKcS0_iPj");
int real_MSG_OpenRemoteAsync(const char*, const char*, const MSG_Callback*,
                             int) asm("__real__Z19MSG_OpenRemoteAsyncPKcS0_PK12MSG_Callbacki");
int real_MSG_RegisterCallback(const char*,
                              const MSG_Callback*) asm("__real__Z20MSG_RegisterCallbackPKcPK12MSG_Callback");
int real_MSG_RegisterNotificationRemote(const char*, MSG_Type, MSG_Type,
                                        MSG_Endpoint) asm("__real__Z30MSG_RegisterNotificationRemotePKcjjj");
int real_MSG_SendMsg(const char*, MSG_Endpoint, MSG_Message*) asm("__real__Z11MSG_SendMsgPKcjP11MSG_Message");
int real_syssrvCfgMsgInit(const char*) asm("__real__Z16syssrvCfgMsgInitPKc");
int real_provisioningMsgInit(const char*) asm("__real__Z19provisioningMsgInitPKc");
void real_initVirtualKeyPressDevice() asm("__real__Z25initVirtualKeyPressDevicev");
void real_syssrvRegisterConfigCallbacks() asm("__real__Z29syssrvRegisterConfigCallbacksv");
void real_syssrvStartupConfig() asm("__real__Z19syssrvStartupConfigv");
void real_registerProcessMonitorNotifications() asm("__real__Z35registerProcessMonitorNotificationsv");
void real_register_for_portcontroller_notifications(void*, const MSG_Message*) asm(
    "__real__Z41register_for_portcontroller_notificationsPvPK11MSG_Message");
void real_handle_procmon_open(void*, const MSG_Message*) asm("__real__Z19handle_procmon_openPvPK11MSG_Message");

namespace {

std::mutex gMu;
bool gOn = false;
std::vector<std::string> gLines;
int gProvisioningResult = 0;

void add(const std::string& line) {
  std::lock_guard<std::mutex> g(gMu);
  if (gOn) gLines.push_back(line);
}

bool on() {
  std::lock_guard<std::mutex> g(gMu);
  return gOn;
}

std::string hex(MSG_Type t) {
  char buf[16];
  snprintf(buf, sizeof buf, "0x%x", t);
  return buf;
}

std::string str(const char* s) { return s ? s : "null"; }

std::string ctx(void* p) { return std::to_string(reinterpret_cast<uintptr_t>(p)); }

struct Named {
  MSG_CallbackFunc fn;
  const char* name;
};

// Every function the daemon hands to the library as a handler or open
// callback, by the name its module declares.
const Named kFunctions[] = {
    {SystemIFGetPacFile, "SystemIFGetPacFile"},
    {SystemIFCreateLogReq, "SystemIFCreateLogReq"},
    {SystemIFClearLogCmd, "SystemIFClearLogCmd"},
    {SystemIFLogTransferReq, "SystemIFLogTransferReq"},
    {SystemIFLogSpaceThresholdReq, "SystemIFLogSpaceThresholdReq"},
    {SystemIFLogUploadReq, "SystemIFLogUploadReq"},
    {SystemIFSetSystemTimeCmd, "SystemIFSetSystemTimeCmd"},
    {SystemIFSetSystemTimezoneCmd, "SystemIFSetSystemTimezoneCmd"},
    {SystemIFSetSystemTimezoneAndTimeCmd, "SystemIFSetSystemTimezoneAndTimeCmd"},
    {SystemIFGetSystemTimeReq, "SystemIFGetSystemTimeReq"},
    {ProcessMasterVelarTimeReq, "ProcessMasterVelarTimeReq"},
    {lan_status_req, "lan_status_req"},
    {reset_config_notify, "reset_config_notify"},
    {SystemIFSetInCallCmd, "SystemIFSetInCallCmd"},
    {ModRoomIFCallStatusNtfy, "ModRoomIFCallStatusNtfy"},
    {SystemIFCommCDRCmd, "SystemIFCommCDRCmd"},
    {SystemIFVirtualKeyPressCmd, "SystemIFVirtualKeyPressCmd"},
    {handle_mac_addr_resp, "handle_mac_addr_resp"},
    {SystemIFPKIInstallFileReq, "SystemIFPKIInstallFileReq"},
    {SystemIFPKIManageFileReq, "SystemIFPKIManageFileReq"},
    {SystemIFPKIListFilesReq, "SystemIFPKIListFilesReq"},
    {SystemIFPKIGenerateCSRReq, "SystemIFPKIGenerateCSRReq"},
    {SystemIFPtpConfigureReq, "SystemIFPtpConfigureReq"},
    {SystemIFPtpResetCmd, "SystemIFPtpResetCmd"},
    {SystemIFSetModRoomIdentifyLEDReq, "SystemIFSetModRoomIdentifyLEDReq"},
    {config_change_notify, "config_change_notify"},
    {config_submit_notify, "config_submit_notify"},
    {config_dynamic_validate, "config_dynamic_validate"},
    {config_on_change, "config_on_change"},
    {ProcessMonitorIFSleepStateNtfy, "ProcessMonitorIFSleepStateNtfy"},
    {monitor_notify, "monitor_notify"},
    {PlatformIFComponentNtfy, "PlatformIFComponentNtfy"},
    {register_for_portcontroller_notifications, "register_for_portcontroller_notifications"},
    {handle_procmon_open, "handle_procmon_open"},
    {RemoteOpenCallbackPM, "RemoteOpenCallbackPM"},
};

std::string nameOf(MSG_CallbackFunc fn) {
  for (const Named& n : kFunctions) {
    if (n.fn == fn) return n.name;
  }
  return "other";
}

const char* const kPeers[] = {"ConfigSrvc",          "CE:Modman",           "PortController", "ProcessMon",
                              "ToVelar1/ProcessMon", "ToVelar2/ProcessMon", "DnsSrvc"};

std::string remoteName(const char* local, MSG_Endpoint id) {
  if (id == 0) return "reply";
  for (const char* p : kPeers) {
    if (MSG_GetRemoteId(local, p) == id) return p;
  }
  return "id " + std::to_string(id);
}

}  // namespace

void initTimeline_start() {
  std::lock_guard<std::mutex> g(gMu);
  gLines.clear();
  gOn = true;
}

void initTimeline_stop() {
  std::lock_guard<std::mutex> g(gMu);
  gOn = false;
  gProvisioningResult = 0;
}

std::vector<std::string> initTimeline() {
  std::lock_guard<std::mutex> g(gMu);
  return gLines;
}

std::vector<std::string> initTimeline(const std::string& prefix) {
  std::vector<std::string> out;
  for (const std::string& l : initTimeline()) {
    if (l.compare(0, prefix.size(), prefix) == 0) out.push_back(l);
  }
  return out;
}

void initTimeline_provisioningResult(int rc) {
  std::lock_guard<std::mutex> g(gMu);
  gProvisioningResult = rc;
}

// ---- the wrappers ----

int wrap_MSG_DebugSetName(const char* name) asm("__wrap__Z16MSG_DebugSetNamePKc");
int wrap_MSG_DebugSetName(const char* name) {
  add("MSG_DebugSetName " + str(name));
  return real_MSG_DebugSetName(name);
}

int wrap_MSG_OpenLocal(const char* local) asm("__wrap__Z13MSG_OpenLocalPKc");
int wrap_MSG_OpenLocal(const char* local) {
  int rc = real_MSG_OpenLocal(local);
  add("MSG_OpenLocal " + str(local) + " -> " + std::to_string(rc));
  return rc;
}

int wrap_MSG_OpenRemoteSync(const char* local, const char* remote, int timeoutMs,
                            MSG_Endpoint* id) asm("__wrap__Z18MSG_OpenRemoteSyncPKcS0_iPj");
int wrap_MSG_OpenRemoteSync(const char* local, const char* remote, int timeoutMs, MSG_Endpoint* id) {
  // The daemon waits for ever; a test whose peer never comes must fail,
  // not hang, so the wait is bounded here (and the caller's value recorded).
  int rc = real_MSG_OpenRemoteSync(local, remote, timeoutMs < 0 && on() ? 10000 : timeoutMs, id);
  add("MSG_OpenRemoteSync " + str(local) + " " + str(remote) + " " + std::to_string(timeoutMs) + " -> " +
      std::to_string(rc));
  return rc;
}

int wrap_MSG_OpenRemoteAsync(const char* local, const char* remote, const MSG_Callback* cb,
                             int flags) asm("__wrap__Z19MSG_OpenRemoteAsyncPKcS0_PK12MSG_Callbacki");
int wrap_MSG_OpenRemoteAsync(const char* local, const char* remote, const MSG_Callback* cb, int flags) {
  if (cb != nullptr) {
    add("open-async " + str(local) + " " + str(remote) + " " + nameOf(cb->pFunc) + " ctx=" + ctx(cb->pContext) +
        " range=" + hex(cb->MsgTypeMin) + ".." + hex(cb->MsgTypeMax) + " flags=" + std::to_string(flags));
  }
  return real_MSG_OpenRemoteAsync(local, remote, cb, flags);
}

int wrap_MSG_RegisterCallback(const char* local,
                              const MSG_Callback* cb) asm("__wrap__Z20MSG_RegisterCallbackPKcPK12MSG_Callback");
int wrap_MSG_RegisterCallback(const char* local, const MSG_Callback* cb) {
  if (cb != nullptr) {
    add("register " + str(local) + " " + hex(cb->MsgTypeMin) + ".." + hex(cb->MsgTypeMax) + " " + nameOf(cb->pFunc) +
        " ctx=" + ctx(cb->pContext) + " once=" + std::to_string(cb->bJustOnce));
  }
  return real_MSG_RegisterCallback(local, cb);
}

int wrap_MSG_RegisterNotificationRemote(const char* local, MSG_Type min, MSG_Type max,
                                        MSG_Endpoint remote) asm("__wrap__Z30MSG_RegisterNotificationRemotePKcjjj");
int wrap_MSG_RegisterNotificationRemote(const char* local, MSG_Type min, MSG_Type max, MSG_Endpoint remote) {
  std::string who = on() ? remoteName(local, remote) : std::string();
  int rc = real_MSG_RegisterNotificationRemote(local, min, max, remote);
  add("subscribe " + str(local) + " " + hex(min) + ".." + hex(max) + " at " + who + " -> " + std::to_string(rc));
  return rc;
}

int wrap_MSG_SendMsg(const char* local, MSG_Endpoint remote,
                     MSG_Message* msg) asm("__wrap__Z11MSG_SendMsgPKcjP11MSG_Message");
int wrap_MSG_SendMsg(const char* local, MSG_Endpoint remote, MSG_Message* msg) {
  // Only what leaves the daemon's endpoint; the peers' answers are theirs.
  if (msg != nullptr && local != nullptr && strcmp(local, kSyssrvEndpoint) == 0 && on()) {
    ConfigIF::RegisterClientCallbackReq reg;
    if (MSG_GetType(msg) == kMsgIdConfigIFRegisterClientCallbackReq &&
        reg.ParseFromArray(MSG_GetPayload(msg), static_cast<int>(MSG_GetPayloadBytes(msg)))) {
      std::string name = reg.node_name();
      if (reg.instance() != 0) name += "#" + std::to_string(reg.instance());
      add("config-register " + name + " kind " + std::to_string(reg.type()) + " as " + std::to_string(reg.role()));
    } else {
      add("send " + hex(MSG_GetType(msg)) + " to " + remoteName(local, remote));
    }
  }
  return real_MSG_SendMsg(local, remote, msg);
}

int wrap_syssrvCfgMsgInit(const char* local) asm("__wrap__Z16syssrvCfgMsgInitPKc");
int wrap_syssrvCfgMsgInit(const char* local) {
  add("syssrvCfgMsgInit " + str(local));
  return real_syssrvCfgMsgInit(local);
}

int wrap_provisioningMsgInit(const char* local) asm("__wrap__Z19provisioningMsgInitPKc");
int wrap_provisioningMsgInit(const char* local) {
  add("provisioningMsgInit " + str(local));
  int scripted;
  {
    std::lock_guard<std::mutex> g(gMu);
    scripted = gProvisioningResult;
  }
  return scripted != 0 ? scripted : real_provisioningMsgInit(local);
}

void wrap_initVirtualKeyPressDevice() asm("__wrap__Z25initVirtualKeyPressDevicev");
void wrap_initVirtualKeyPressDevice() {
  real_initVirtualKeyPressDevice();
  add(std::string("initVirtualKeyPressDevice -> fd ") +
      (fdVirtKeyPressDev >= 0 ? "valid" : std::to_string(fdVirtKeyPressDev)));
}

void wrap_syssrvRegisterConfigCallbacks() asm("__wrap__Z29syssrvRegisterConfigCallbacksv");
void wrap_syssrvRegisterConfigCallbacks() {
  add("syssrvRegisterConfigCallbacks");
  real_syssrvRegisterConfigCallbacks();
}

void wrap_syssrvStartupConfig() asm("__wrap__Z19syssrvStartupConfigv");
void wrap_syssrvStartupConfig() {
  add("syssrvStartupConfig");
  real_syssrvStartupConfig();
}

void wrap_registerProcessMonitorNotifications() asm("__wrap__Z35registerProcessMonitorNotificationsv");
void wrap_registerProcessMonitorNotifications() {
  add("registerProcessMonitorNotifications");
  real_registerProcessMonitorNotifications();
}

// The open callbacks: the library calls these with the context the daemon
// gave, so the record shows which unit index each appearance carried.
void wrap_register_for_portcontroller_notifications(void* pContext, const MSG_Message* msg) asm(
    "__wrap__Z41register_for_portcontroller_notificationsPvPK11MSG_Message");
void wrap_register_for_portcontroller_notifications(void* pContext, const MSG_Message* msg) {
  add("register_for_portcontroller_notifications ctx=" + ctx(pContext));
  real_register_for_portcontroller_notifications(pContext, msg);
}

void wrap_handle_procmon_open(void* pContext,
                              const MSG_Message* msg) asm("__wrap__Z19handle_procmon_openPvPK11MSG_Message");
void wrap_handle_procmon_open(void* pContext, const MSG_Message* msg) {
  add("handle_procmon_open ctx=" + ctx(pContext));
  real_handle_procmon_open(pContext, msg);
}
