// The daemon's message handler table as the interface definition gives it,
// row by row: typed in from there, not copied from the code, so that a
// wrong type, handler or order fails the tests. Rows 26 to 29 are the
// configuration service's callbacks on "SystemSrvc".
#pragma once

#include "platform/msg/MSG.h"

struct HandlerRow {
  MSG_Type type;
  const char* handler;
};

inline constexpr HandlerRow kHandlerRows[32] = {
    {0x1B0290, "SystemIFGetPacFile"},
    {0x1B0020, "SystemIFCreateLogReq"},
    {0x1B0032, "SystemIFClearLogCmd"},
    {0x1B01B0, "SystemIFLogTransferReq"},
    {0x1B0140, "SystemIFLogSpaceThresholdReq"},
    {0x1B0260, "SystemIFLogUploadReq"},
    {0x1B0050, "SystemIFSetSystemTimeCmd"},
    {0x1B02C0, "SystemIFSetSystemTimezoneCmd"},
    {0x1B02F2, "SystemIFSetSystemTimezoneAndTimeCmd"},
    {0x1B0070, "SystemIFGetSystemTimeReq"},
    {0x1B0200, "ProcessMasterVelarTimeReq"},
    {0x1B0090, "lan_status_req"},
    {0x1B00E0, "reset_config_notify"},
    {0x1B00B2, "SystemIFSetInCallCmd"},
    {0x2F00C3, "ModRoomIFCallStatusNtfy"},
    {0x1B00C2, "SystemIFCommCDRCmd"},
    {0x1B01E2, "SystemIFVirtualKeyPressCmd"},
    {0x1D0071, "handle_mac_addr_resp"},
    {0x1B0150, "SystemIFPKIInstallFileReq"},
    {0x1B0180, "SystemIFPKIManageFileReq"},
    {0x1B0120, "SystemIFPKIListFilesReq"},
    {0x1B01C0, "SystemIFPKIGenerateCSRReq"},
    {0x1B02A0, "SystemIFPtpConfigureReq"},
    {0x1B02B2, "SystemIFPtpResetCmd"},
    {0x1B0300, "SystemIFSetModRoomIdentifyLEDReq"},
    {0x1A0143, "config_change_notify"},
    {0x1A0273, "config_submit_notify"},
    {0x1A0150, "config_dynamic_validate"},
    {0x1A0100, "config_on_change"},
    {0x1D0043, "ProcessMonitorIFSleepStateNtfy"},
    {0x170143, "monitor_notify"},
    {0x1700B3, "PlatformIFComponentNtfy"},
};
