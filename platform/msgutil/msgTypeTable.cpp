// The one table that binds every message class of the appliance's interfaces
// to its message type. The numbers are in msgIds.h; each row names the class
// once and MSGUTIL_ROW derives the constant, the class and the full name from
// it, so a row cannot pair a class with another class's number.
#include <vector>

#include "CommonIF.pb.h"
#include "ConfigIF.pb.h"
#include "DemoIF.pb.h"
#include "DnsIF.pb.h"
#include "ExtcameraIF.pb.h"
#include "ModRoomIF.pb.h"
#include "PlatformIF.pb.h"
#include "ProcessMonitorIF.pb.h"
#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"

namespace {

template <class T>
const google::protobuf::Message* msgUtil_prototypeOf() {
  return &T::default_instance();
}

#define MSGUTIL_ROW(IF, MSG) \
  { kMsgId##IF##MSG, #IF "." #MSG, &msgUtil_prototypeOf<IF::MSG> }

}  // namespace

// Built on first use, so that static initialisers of other files may look
// types up.
const std::vector<MsgTypeEntry>& msgUtil_typeTable() {
  static const std::vector<MsgTypeEntry> table = {
      // PlatformIF
      MSGUTIL_ROW(PlatformIF, ComponentReq),
      MSGUTIL_ROW(PlatformIF, ComponentNtfy),
      MSGUTIL_ROW(PlatformIF, ComponentRsp),
      MSGUTIL_ROW(PlatformIF, MonitorNtfy),
      MSGUTIL_ROW(PlatformIF, RequestTimeZoneCmd),
      // ConfigIF
      MSGUTIL_ROW(ConfigIF, ReadReq),
      MSGUTIL_ROW(ConfigIF, UnregisterClientCallbackRsp),
      MSGUTIL_ROW(ConfigIF, ValidateRsp),
      MSGUTIL_ROW(ConfigIF, ReadRsp),
      MSGUTIL_ROW(ConfigIF, UnregisterClientCallbackReq),
      MSGUTIL_ROW(ConfigIF, ResetAttributeRsp),
      MSGUTIL_ROW(ConfigIF, RegisterClientCallbackRsp),
      MSGUTIL_ROW(ConfigIF, WriteReq),
      MSGUTIL_ROW(ConfigIF, OnChangeRsp),
      MSGUTIL_ROW(ConfigIF, ResetValueRsp),
      MSGUTIL_ROW(ConfigIF, GetAttributeOptionsReq),
      MSGUTIL_ROW(ConfigIF, OnChangeReq),
      MSGUTIL_ROW(ConfigIF, ValidateReq),
      MSGUTIL_ROW(ConfigIF, UnregisterAllClientCallbacksReq),
      MSGUTIL_ROW(ConfigIF, ResetValueReq),
      MSGUTIL_ROW(ConfigIF, ConfigChangedNtfy),
      MSGUTIL_ROW(ConfigIF, DynamicValidateReq),
      MSGUTIL_ROW(ConfigIF, UnregisterAllClientCallbacksRsp),
      MSGUTIL_ROW(ConfigIF, WriteRsp),
      MSGUTIL_ROW(ConfigIF, DynamicValidateRsp),
      MSGUTIL_ROW(ConfigIF, ResetAttributeReq),
      MSGUTIL_ROW(ConfigIF, SetAttributeOptionsReq),
      MSGUTIL_ROW(ConfigIF, RegisterClientCallbackReq),
      MSGUTIL_ROW(ConfigIF, GetAttributeOptionsRsp),
      MSGUTIL_ROW(ConfigIF, SetAttributeOptionsRsp),
      MSGUTIL_ROW(ConfigIF, GetDefaultOptionsRsp),
      MSGUTIL_ROW(ConfigIF, GetDefaultOptionsReq),
      MSGUTIL_ROW(ConfigIF, SubmitNtfy),
      MSGUTIL_ROW(ConfigIF, ResetNodeValueReq),
      MSGUTIL_ROW(ConfigIF, ResetNodeValueRsp),
      MSGUTIL_ROW(ConfigIF, GetAccessLevelsRsp),
      MSGUTIL_ROW(ConfigIF, SetAccessLevelsReq),
      MSGUTIL_ROW(ConfigIF, SetAccessLevelsRsp),
      MSGUTIL_ROW(ConfigIF, GetAccessLevelsReq),
      MSGUTIL_ROW(ConfigIF, GetValueOptionsAccessRsp),
      MSGUTIL_ROW(ConfigIF, BatchReadRsp),
      MSGUTIL_ROW(ConfigIF, BatchGetValueOptionsAccessReq),
      MSGUTIL_ROW(ConfigIF, BatchReadReq),
      MSGUTIL_ROW(ConfigIF, BatchGetValueOptionsAccessRsp),
      MSGUTIL_ROW(ConfigIF, GetValueOptionsAccessReq),
      MSGUTIL_ROW(ConfigIF, ReadAttributesReq),
      MSGUTIL_ROW(ConfigIF, ReadAttributesRsp),
      MSGUTIL_ROW(ConfigIF, ComponentChangeRsp),
      MSGUTIL_ROW(ConfigIF, ComponentChangeReq),
      MSGUTIL_ROW(ConfigIF, BatchWriteReq),
      MSGUTIL_ROW(ConfigIF, BatchWriteRsp),
      MSGUTIL_ROW(ConfigIF, DumpReq),
      MSGUTIL_ROW(ConfigIF, DumpRsp),
      MSGUTIL_ROW(ConfigIF, GetComponentsReq),
      MSGUTIL_ROW(ConfigIF, GetComponentsRsp),
      // SystemIF
      MSGUTIL_ROW(SystemIF, CreateLogRsp),
      MSGUTIL_ROW(SystemIF, CreateLogReq),
      MSGUTIL_ROW(SystemIF, ClearLogCmd),
      MSGUTIL_ROW(SystemIF, SetSystemTimeRsp),
      MSGUTIL_ROW(SystemIF, SetSystemTimeReq),
      MSGUTIL_ROW(SystemIF, GetSystemTimeRsp),
      MSGUTIL_ROW(SystemIF, GetSystemTimeReq),
      MSGUTIL_ROW(SystemIF, GetLanStatusRsp),
      MSGUTIL_ROW(SystemIF, GetLanStatusReq),
      MSGUTIL_ROW(SystemIF, LanStatusChangeNtfy),
      MSGUTIL_ROW(SystemIF, SetInCallCmd),
      MSGUTIL_ROW(SystemIF, CommCDRCmd),
      MSGUTIL_ROW(SystemIF, SetOobRsp),
      MSGUTIL_ROW(SystemIF, SetOobReq),
      MSGUTIL_ROW(SystemIF, PKIListFilesReq),
      MSGUTIL_ROW(SystemIF, LogSpaceThresholdNtfy),
      MSGUTIL_ROW(SystemIF, LogSpaceThresholdReq),
      MSGUTIL_ROW(SystemIF, PKIInstallFileReq),
      MSGUTIL_ROW(SystemIF, LogSpaceThresholdRsp),
      MSGUTIL_ROW(SystemIF, PKIOpRsp),
      MSGUTIL_ROW(SystemIF, PKIManageFileReq),
      MSGUTIL_ROW(SystemIF, LogTransferCompleteNtfy),
      MSGUTIL_ROW(SystemIF, LogTransferRsp),
      MSGUTIL_ROW(SystemIF, LogTransferReq),
      MSGUTIL_ROW(SystemIF, PKIGenerateCSRReq),
      MSGUTIL_ROW(SystemIF, AppStatusAlertNtfy),
      MSGUTIL_ROW(SystemIF, VirtualKeyPressCmd),
      MSGUTIL_ROW(SystemIF, TimeChangeNtfy),
      MSGUTIL_ROW(SystemIF, GetMasterVelarTimeReq),
      MSGUTIL_ROW(SystemIF, GetMasterVelarTimeRsp),
      MSGUTIL_ROW(SystemIF, TimeFormatNtfy),
      MSGUTIL_ROW(SystemIF, LogUploadRsp),
      MSGUTIL_ROW(SystemIF, LogUploadStatusNtfy),
      MSGUTIL_ROW(SystemIF, LogUploadReq),
      MSGUTIL_ROW(SystemIF, GetPacFileRsp),
      MSGUTIL_ROW(SystemIF, GetPacFileReq),
      MSGUTIL_ROW(SystemIF, PtpConfigureReq),
      MSGUTIL_ROW(SystemIF, PtpResetCmd),
      MSGUTIL_ROW(SystemIF, SetSystemTimezoneReq),
      MSGUTIL_ROW(SystemIF, SetSystemTimezoneRsp),
      MSGUTIL_ROW(SystemIF, PtpConfigureRsp),
      MSGUTIL_ROW(SystemIF, SetSystemTimezoneAndTimeCmd),
      MSGUTIL_ROW(SystemIF, SetModRoomIdentifyLEDReq),
      MSGUTIL_ROW(SystemIF, SetModRoomIdentifyLEDRsp),
      // ProcessMonitorIF
      MSGUTIL_ROW(ProcessMonitorIF, SleepTimerCmd),
      MSGUTIL_ROW(ProcessMonitorIF, SystemShutdownCmd),
      MSGUTIL_ROW(ProcessMonitorIF, SleepStateNtfy),
      MSGUTIL_ROW(ProcessMonitorIF, MacAddrRsp),
      MSGUTIL_ROW(ProcessMonitorIF, MacAddrReq),
      // DnsIF
      MSGUTIL_ROW(DnsIF, DnsSrvReq),
      MSGUTIL_ROW(DnsIF, DnsSrvRsp),
      // ModRoomIF
      MSGUTIL_ROW(ModRoomIF, CallStatusNtfy),
      // ExtcameraIF
      MSGUTIL_ROW(ExtcameraIF, GetCameraInfoReq),
      MSGUTIL_ROW(ExtcameraIF, GetCameraInfoRsp),
      MSGUTIL_ROW(ExtcameraIF, CameraStatusNtfy),
      // DemoIF
      MSGUTIL_ROW(DemoIF, EchoReq),
      MSGUTIL_ROW(DemoIF, EchoRsp),
  };
  return table;
}

#undef MSGUTIL_ROW
