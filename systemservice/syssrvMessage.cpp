// The message layer: opens "SystemSrvc", links it to the other services,
// registers the handler table, runs one receive-and-dispatch step per pass
// of the main loop, and offers a blocking send-and-wait.
//
// Endpoints: "SystemSrvc" (opened here), "ConfigSrvc" and "DnsSrvc"
// (linked synchronously by their client modules), "PortController" and the
// three process monitors (opened asynchronously here), "CE:Modman" (only
// its call-status notifications are subscribed).
#include "systemservice/syssrvMessageTable.h"

#include <cstdint>

#include "OS/linux/psosapi/ptimer.h"
#include "OS/logmsg.h"
#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvAlerts.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvLan.h"
#include "systemservice/syssrvLed.h"
#include "systemservice/syssrvLocale.h"
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvMessageReply.h"
#include "systemservice/syssrvPki.h"
#include "systemservice/syssrvPower.h"
#include "systemservice/syssrvProvisioning.h"
#include "systemservice/syssrvPtp.h"
#include "systemservice/syssrvStartup.h"
#include "systemservice/syssrvTime.h"
#include "systemservice/syssrvWpad.h"

namespace {

const char kPortController[] = "PortController";
const char kModman[] = "CE:Modman";
const char kComponent[] = "message";
const char kTimezoneVar[] = "time.timezone";
// "time.timezone" is read with at most 63 characters.
const int kTimezoneLen = 64;

}  // namespace

const syssrvHandlerRow kSyssrvHandlerTable[kSyssrvHandlerCount] = {
    /* 1 */ {kMsgIdSystemIFGetPacFileReq, SystemIFGetPacFile, "SystemIFGetPacFile"},
    /* 2 */ {kMsgIdSystemIFCreateLogReq, SystemIFCreateLogReq, "SystemIFCreateLogReq"},
    /* 3 */ {kMsgIdSystemIFClearLogCmd, SystemIFClearLogCmd, "SystemIFClearLogCmd"},
    /* 4 */ {kMsgIdSystemIFLogTransferReq, SystemIFLogTransferReq, "SystemIFLogTransferReq"},
    /* 5 */ {kMsgIdSystemIFLogSpaceThresholdReq, SystemIFLogSpaceThresholdReq, "SystemIFLogSpaceThresholdReq"},
    /* 6 */ {kMsgIdSystemIFLogUploadReq, SystemIFLogUploadReq, "SystemIFLogUploadReq"},
    // 7 and 8 serve request types and answer them, whatever their names say.
    /* 7 */ {kMsgIdSystemIFSetSystemTimeReq, SystemIFSetSystemTimeCmd, "SystemIFSetSystemTimeCmd"},
    /* 8 */ {kMsgIdSystemIFSetSystemTimezoneReq, SystemIFSetSystemTimezoneCmd, "SystemIFSetSystemTimezoneCmd"},
    /* 9 */
    {kMsgIdSystemIFSetSystemTimezoneAndTimeCmd, SystemIFSetSystemTimezoneAndTimeCmd,
     "SystemIFSetSystemTimezoneAndTimeCmd"},
    /* 10 */ {kMsgIdSystemIFGetSystemTimeReq, SystemIFGetSystemTimeReq, "SystemIFGetSystemTimeReq"},
    /* 11 */ {kMsgIdSystemIFGetMasterVelarTimeReq, ProcessMasterVelarTimeReq, "ProcessMasterVelarTimeReq"},
    /* 12 */ {kMsgIdSystemIFGetLanStatusReq, lan_status_req, "lan_status_req"},
    /* 13 */ {kMsgIdSystemIFSetOobReq, reset_config_notify, "reset_config_notify"},
    /* 14 */ {kMsgIdSystemIFSetInCallCmd, SystemIFSetInCallCmd, "SystemIFSetInCallCmd"},
    /* 15 */ {kMsgIdModRoomIFCallStatusNtfy, ModRoomIFCallStatusNtfy, "ModRoomIFCallStatusNtfy"},
    /* 16 */ {kMsgIdSystemIFCommCDRCmd, SystemIFCommCDRCmd, "SystemIFCommCDRCmd"},
    /* 17 */ {kMsgIdSystemIFVirtualKeyPressCmd, SystemIFVirtualKeyPressCmd, "SystemIFVirtualKeyPressCmd"},
    /* 18 */ {kMsgIdProcessMonitorIFMacAddrRsp, handle_mac_addr_resp, "handle_mac_addr_resp"},
    /* 19 */ {kMsgIdSystemIFPKIInstallFileReq, SystemIFPKIInstallFileReq, "SystemIFPKIInstallFileReq"},
    /* 20 */ {kMsgIdSystemIFPKIManageFileReq, SystemIFPKIManageFileReq, "SystemIFPKIManageFileReq"},
    /* 21 */ {kMsgIdSystemIFPKIListFilesReq, SystemIFPKIListFilesReq, "SystemIFPKIListFilesReq"},
    /* 22 */ {kMsgIdSystemIFPKIGenerateCSRReq, SystemIFPKIGenerateCSRReq, "SystemIFPKIGenerateCSRReq"},
    /* 23 */ {kMsgIdSystemIFPtpConfigureReq, SystemIFPtpConfigureReq, "SystemIFPtpConfigureReq"},
    /* 24 */ {kMsgIdSystemIFPtpResetCmd, SystemIFPtpResetCmd, "SystemIFPtpResetCmd"},
    /* 25 */
    {kMsgIdSystemIFSetModRoomIdentifyLEDReq, SystemIFSetModRoomIdentifyLEDReq, "SystemIFSetModRoomIdentifyLEDReq"},
    /* 26 */ {kMsgIdConfigIFConfigChangedNtfy, config_change_notify, "config_change_notify"},
    /* 27 */ {kMsgIdConfigIFSubmitNtfy, config_submit_notify, "config_submit_notify"},
    /* 28 */ {kMsgIdConfigIFDynamicValidateReq, config_dynamic_validate, "config_dynamic_validate"},
    /* 29 */ {kMsgIdConfigIFOnChangeReq, config_on_change, "config_on_change"},
    /* 30 */
    {kMsgIdProcessMonitorIFSleepStateNtfy, ProcessMonitorIFSleepStateNtfy, "ProcessMonitorIFSleepStateNtfy"},
    /* 31 */ {kMsgIdPlatformIFMonitorNtfy, monitor_notify, "monitor_notify"},
    /* 32 */ {kMsgIdPlatformIFComponentNtfy, PlatformIFComponentNtfy, "PlatformIFComponentNtfy"},
};

int syssrvRegisterHandlers(int first, int last) {
  if (first < 1 || last > kSyssrvHandlerCount || first > last) return -1;
  // One record for every call: the library copies it.
  int failed = 0;
  for (int row = first; row <= last; ++row) {
    // A missing handler leaves its messages unanswered; the others still
    // serve, so start-up goes on.
    const int rc = syssrvRegisterRow(kSyssrvHandlerTable[row - 1], kComponent);
    if (rc != 0) failed = rc;
  }
  return failed;
}

namespace {

// "CE:Modman" may start after this service and may restart; the library
// runs this whenever it (re)appears, so the subscription is always renewed.
void modmanOpened(void* /*pContext*/, const MSG_Message* /*msg*/) {
  MSG_Endpoint id = MSG_GetRemoteId(kSyssrvEndpoint, kModman);
  if (id == 0) return;
  MSG_RegisterNotificationRemote(kSyssrvEndpoint, kMsgIdModRoomIFCallStatusNtfy, kMsgIdModRoomIFCallStatusNtfy,
                                 id);
}

void openRemoteAsync(const char* remote, MSG_CallbackFunc fn, void* context) {
  MSG_Callback cb = {fn, context, 0, 0, 0};
  MSG_OpenRemoteAsync(kSyssrvEndpoint, remote, &cb, 0);
}

}  // namespace

int syssrvMessageInit() {
  MSG_DebugSetName("SysSrv");
  int opened = MSG_OpenLocal(kSyssrvEndpoint);
  // Without the endpoint nothing reaches the service; linking the
  // configuration client below fails and says so too.
  if (opened != 0) logerr(kComponent, "MSG_OpenLocal(%s) failed: %d\n", kSyssrvEndpoint, opened);

  int rc = syssrvCfgMsgInit(kSyssrvEndpoint);
  if (rc != 0) return rc;
  rc = provisioningMsgInit(kSyssrvEndpoint);
  if (rc != 0) return rc;

  syssrvRegisterHandlers(1, 15);
  openRemoteAsync(kModman, modmanOpened, nullptr);

  syssrvRegisterHandlers(16, 16);
  if (fdVirtKeyPressDev == -1) initVirtualKeyPressDevice();
  syssrvRegisterHandlers(17, 17);

  openRemoteAsync(kPortController, register_for_portcontroller_notifications, nullptr);
  for (intptr_t i = 0; i < kNumProcMonEndpoints; ++i) {
    // The context is the unit index, which names the unit in the answers.
    openRemoteAsync(gpProcMonEndpoints[i], handle_procmon_open, reinterpret_cast<void*>(i));
  }

  syssrvRegisterHandlers(18, 25);

  syssrvRegisterConfigCallbacks();
  syssrvStartupConfig();
  return 0;
}

namespace {

// Told once per outage: a received message ends it.
bool gToldEarlyReturn = false;

// Without its endpoint (closed by the configuration client after a failed
// registration, or never opened) the receive returns at once; every count of
// the main loop is in passes of about a second, so the rest of the time-out
// is waited out here instead of spinning.
void waitOutPass(uint32_t startMs, int timeout) {
  uint32_t elapsed = RealTimeMilliSeconds() - startMs;
  if (timeout <= 0 || elapsed >= static_cast<uint32_t>(timeout)) return;
  if (!gToldEarlyReturn) {
    logerr(kComponent, "syssrvMessageLoop: receive on %s returned early; waiting out each pass\n", kSyssrvEndpoint);
    gToldEarlyReturn = true;
  }
  sysio().sleep_us((static_cast<uint64_t>(timeout) - elapsed) * 1000u);
}

}  // namespace

int syssrvMessageLoop(int timeout) {
  const uint32_t start = RealTimeMilliSeconds();
  MSG_Message* msg = MSG_RecvAnyMsg(kSyssrvEndpoint, timeout);
  if (msg == nullptr) {
    waitOutPass(start, timeout);
    return 0;
  }
  gToldEarlyReturn = false;
  // The Aspen's platform asks for the time zone without a handler of its
  // own; the configured zone is applied as it stands.
  if (eModel == kAspen && MSG_GetType(msg) == kMsgIdPlatformIFRequestTimeZoneCmd) {
    char tz[kTimezoneLen] = "";
    config_read(kTimezoneVar, tz, sizeof tz, nullptr);
    set_timezone(tz, 0);
  }
  MSG_ProcessCallback(kSyssrvEndpoint, msg);
  MSG_ReleaseMsg(msg);
  return 0;
}
