// Message type of every message class of the appliance's interfaces:
// (interface << 16) | (number << 4) | kind, kind 0 Req, 1 Rsp, 2 Cmd, 3 Ntfy.
//
// Interfaces: CommonIF 16 (shared types only, no messages), PlatformIF 23,
// ConfigIF 26, SystemIF 27, ProcessMonitorIF 29, DnsIF 34, ModRoomIF 47,
// ExtcameraIF 48, DemoIF 120.
//
// Most numbers are fixed by the peer processes that send or receive them and
// must not change. A response has a number of its own, not its request's.
// The numbers marked "ours" are used only by our own programs (the
// configuration-service stand-in and its tools, the message-layer demo) or
// were not fixed by any peer; they were chosen in free slots of their
// interface.
//
// msgTypeTable.cpp binds each constant to its class; keep the two in step.
#pragma once

#include "platform/msg/MSG.h"

// ----------------------------------------------------------- PlatformIF
constexpr MSG_Type kMsgIdPlatformIFComponentReq = 0x1700A0;
constexpr MSG_Type kMsgIdPlatformIFComponentNtfy = 0x1700B3;
constexpr MSG_Type kMsgIdPlatformIFComponentRsp = 0x1700C1;
constexpr MSG_Type kMsgIdPlatformIFMonitorNtfy = 0x170143;
constexpr MSG_Type kMsgIdPlatformIFRequestTimeZoneCmd = 0x1702B2;

// ------------------------------------------------------------- ConfigIF
constexpr MSG_Type kMsgIdConfigIFReadReq = 0x1A0000;
constexpr MSG_Type kMsgIdConfigIFUnregisterClientCallbackRsp = 0x1A0011;
constexpr MSG_Type kMsgIdConfigIFValidateRsp = 0x1A0021;
constexpr MSG_Type kMsgIdConfigIFReadRsp = 0x1A0041;
constexpr MSG_Type kMsgIdConfigIFUnregisterClientCallbackReq = 0x1A0050;
constexpr MSG_Type kMsgIdConfigIFResetAttributeRsp = 0x1A0061;
constexpr MSG_Type kMsgIdConfigIFRegisterClientCallbackRsp = 0x1A0071;
constexpr MSG_Type kMsgIdConfigIFWriteReq = 0x1A0080;
constexpr MSG_Type kMsgIdConfigIFOnChangeRsp = 0x1A00B1;
constexpr MSG_Type kMsgIdConfigIFResetValueRsp = 0x1A00C1;
constexpr MSG_Type kMsgIdConfigIFGetAttributeOptionsReq = 0x1A00F0;
constexpr MSG_Type kMsgIdConfigIFOnChangeReq = 0x1A0100;
constexpr MSG_Type kMsgIdConfigIFValidateReq = 0x1A0110;
constexpr MSG_Type kMsgIdConfigIFUnregisterAllClientCallbacksReq = 0x1A0120;
constexpr MSG_Type kMsgIdConfigIFResetValueReq = 0x1A0130;
constexpr MSG_Type kMsgIdConfigIFConfigChangedNtfy = 0x1A0143;
constexpr MSG_Type kMsgIdConfigIFDynamicValidateReq = 0x1A0150;
constexpr MSG_Type kMsgIdConfigIFUnregisterAllClientCallbacksRsp = 0x1A0181;
constexpr MSG_Type kMsgIdConfigIFWriteRsp = 0x1A0191;
constexpr MSG_Type kMsgIdConfigIFDynamicValidateRsp = 0x1A01B1;
constexpr MSG_Type kMsgIdConfigIFResetAttributeReq = 0x1A01C0;
constexpr MSG_Type kMsgIdConfigIFSetAttributeOptionsReq = 0x1A01D0;
constexpr MSG_Type kMsgIdConfigIFRegisterClientCallbackReq = 0x1A01F0;
constexpr MSG_Type kMsgIdConfigIFGetAttributeOptionsRsp = 0x1A0201;
constexpr MSG_Type kMsgIdConfigIFSetAttributeOptionsRsp = 0x1A0211;
constexpr MSG_Type kMsgIdConfigIFGetDefaultOptionsRsp = 0x1A0221;
constexpr MSG_Type kMsgIdConfigIFGetDefaultOptionsReq = 0x1A0260;
constexpr MSG_Type kMsgIdConfigIFSubmitNtfy = 0x1A0273;
constexpr MSG_Type kMsgIdConfigIFResetNodeValueReq = 0x1A0290;
constexpr MSG_Type kMsgIdConfigIFResetNodeValueRsp = 0x1A02A1;
constexpr MSG_Type kMsgIdConfigIFGetAccessLevelsRsp = 0x1A02B1;
constexpr MSG_Type kMsgIdConfigIFSetAccessLevelsReq = 0x1A02C0;
constexpr MSG_Type kMsgIdConfigIFSetAccessLevelsRsp = 0x1A02D1;
constexpr MSG_Type kMsgIdConfigIFGetAccessLevelsReq = 0x1A02E0;
constexpr MSG_Type kMsgIdConfigIFGetValueOptionsAccessRsp = 0x1A0341;
constexpr MSG_Type kMsgIdConfigIFBatchReadRsp = 0x1A0351;
constexpr MSG_Type kMsgIdConfigIFBatchGetValueOptionsAccessReq = 0x1A0360;
constexpr MSG_Type kMsgIdConfigIFBatchReadReq = 0x1A0370;
constexpr MSG_Type kMsgIdConfigIFBatchGetValueOptionsAccessRsp = 0x1A0381;
constexpr MSG_Type kMsgIdConfigIFGetValueOptionsAccessReq = 0x1A0390;
constexpr MSG_Type kMsgIdConfigIFReadAttributesReq = 0x1A03B0;
constexpr MSG_Type kMsgIdConfigIFReadAttributesRsp = 0x1A03C1;
constexpr MSG_Type kMsgIdConfigIFComponentChangeRsp = 0x1A03D1;
constexpr MSG_Type kMsgIdConfigIFComponentChangeReq = 0x1A03E0;
// ours: the configuration-service stand-in and its tools
constexpr MSG_Type kMsgIdConfigIFBatchWriteReq = 0x1A0400;
constexpr MSG_Type kMsgIdConfigIFBatchWriteRsp = 0x1A0411;
constexpr MSG_Type kMsgIdConfigIFDumpReq = 0x1A0420;
constexpr MSG_Type kMsgIdConfigIFDumpRsp = 0x1A0431;
constexpr MSG_Type kMsgIdConfigIFGetComponentsReq = 0x1A0440;
constexpr MSG_Type kMsgIdConfigIFGetComponentsRsp = 0x1A0451;

// ------------------------------------------------------------- SystemIF
constexpr MSG_Type kMsgIdSystemIFCreateLogRsp = 0x1B0001;
constexpr MSG_Type kMsgIdSystemIFCreateLogReq = 0x1B0020;
constexpr MSG_Type kMsgIdSystemIFClearLogCmd = 0x1B0032;
constexpr MSG_Type kMsgIdSystemIFSetSystemTimeRsp = 0x1B0041;
constexpr MSG_Type kMsgIdSystemIFSetSystemTimeReq = 0x1B0050;
constexpr MSG_Type kMsgIdSystemIFGetSystemTimeRsp = 0x1B0061;
constexpr MSG_Type kMsgIdSystemIFGetSystemTimeReq = 0x1B0070;
constexpr MSG_Type kMsgIdSystemIFGetLanStatusRsp = 0x1B0081;
constexpr MSG_Type kMsgIdSystemIFGetLanStatusReq = 0x1B0090;
constexpr MSG_Type kMsgIdSystemIFLanStatusChangeNtfy = 0x1B00A3;
constexpr MSG_Type kMsgIdSystemIFSetInCallCmd = 0x1B00B2;
constexpr MSG_Type kMsgIdSystemIFCommCDRCmd = 0x1B00C2;
constexpr MSG_Type kMsgIdSystemIFSetOobRsp = 0x1B00D1;
constexpr MSG_Type kMsgIdSystemIFSetOobReq = 0x1B00E0;
constexpr MSG_Type kMsgIdSystemIFPKIListFilesReq = 0x1B0120;
constexpr MSG_Type kMsgIdSystemIFLogSpaceThresholdNtfy = 0x1B0133;
constexpr MSG_Type kMsgIdSystemIFLogSpaceThresholdReq = 0x1B0140;
constexpr MSG_Type kMsgIdSystemIFPKIInstallFileReq = 0x1B0150;
constexpr MSG_Type kMsgIdSystemIFLogSpaceThresholdRsp = 0x1B0161;
constexpr MSG_Type kMsgIdSystemIFPKIOpRsp = 0x1B0171;
constexpr MSG_Type kMsgIdSystemIFPKIManageFileReq = 0x1B0180;
constexpr MSG_Type kMsgIdSystemIFLogTransferCompleteNtfy = 0x1B0193;
constexpr MSG_Type kMsgIdSystemIFLogTransferRsp = 0x1B01A1;
constexpr MSG_Type kMsgIdSystemIFLogTransferReq = 0x1B01B0;
constexpr MSG_Type kMsgIdSystemIFPKIGenerateCSRReq = 0x1B01C0;
constexpr MSG_Type kMsgIdSystemIFAppStatusAlertNtfy = 0x1B01D3;
constexpr MSG_Type kMsgIdSystemIFVirtualKeyPressCmd = 0x1B01E2;
constexpr MSG_Type kMsgIdSystemIFTimeChangeNtfy = 0x1B01F3;
constexpr MSG_Type kMsgIdSystemIFGetMasterVelarTimeReq = 0x1B0200;
constexpr MSG_Type kMsgIdSystemIFGetMasterVelarTimeRsp = 0x1B0211;
constexpr MSG_Type kMsgIdSystemIFTimeFormatNtfy = 0x1B0233;
constexpr MSG_Type kMsgIdSystemIFLogUploadRsp = 0x1B0241;
constexpr MSG_Type kMsgIdSystemIFLogUploadStatusNtfy = 0x1B0253;
constexpr MSG_Type kMsgIdSystemIFLogUploadReq = 0x1B0260;
constexpr MSG_Type kMsgIdSystemIFGetPacFileRsp = 0x1B0281;
constexpr MSG_Type kMsgIdSystemIFGetPacFileReq = 0x1B0290;
constexpr MSG_Type kMsgIdSystemIFPtpConfigureReq = 0x1B02A0;
constexpr MSG_Type kMsgIdSystemIFPtpResetCmd = 0x1B02B2;
constexpr MSG_Type kMsgIdSystemIFSetSystemTimezoneReq = 0x1B02C0;
constexpr MSG_Type kMsgIdSystemIFSetSystemTimezoneRsp = 0x1B02D1;
constexpr MSG_Type kMsgIdSystemIFPtpConfigureRsp = 0x1B02E1;
constexpr MSG_Type kMsgIdSystemIFSetSystemTimezoneAndTimeCmd = 0x1B02F2;
constexpr MSG_Type kMsgIdSystemIFSetModRoomIdentifyLEDReq = 0x1B0300;
constexpr MSG_Type kMsgIdSystemIFSetModRoomIdentifyLEDRsp = 0x1B0311;

// ----------------------------------------------------- ProcessMonitorIF
constexpr MSG_Type kMsgIdProcessMonitorIFSleepTimerCmd = 0x1D0012;      // ours
constexpr MSG_Type kMsgIdProcessMonitorIFSystemShutdownCmd = 0x1D0022;  // ours
constexpr MSG_Type kMsgIdProcessMonitorIFSleepStateNtfy = 0x1D0043;
constexpr MSG_Type kMsgIdProcessMonitorIFMacAddrRsp = 0x1D0071;
constexpr MSG_Type kMsgIdProcessMonitorIFMacAddrReq = 0x1D0080;         // ours

// ---------------------------------------------------------------- DnsIF
constexpr MSG_Type kMsgIdDnsIFDnsSrvReq = 0x220010;  // ours
constexpr MSG_Type kMsgIdDnsIFDnsSrvRsp = 0x220021;  // ours

// ------------------------------------------------------------ ModRoomIF
constexpr MSG_Type kMsgIdModRoomIFCallStatusNtfy = 0x2F00C3;

// ---------------------------------------------------------- ExtcameraIF
constexpr MSG_Type kMsgIdExtcameraIFGetCameraInfoReq = 0x300010;  // ours
constexpr MSG_Type kMsgIdExtcameraIFGetCameraInfoRsp = 0x300021;  // ours
constexpr MSG_Type kMsgIdExtcameraIFCameraStatusNtfy = 0x300033;  // ours

// --------------------------------------------------------------- DemoIF
constexpr MSG_Type kMsgIdDemoIFEchoReq = 0x780010;  // ours
constexpr MSG_Type kMsgIdDemoIFEchoRsp = 0x780021;  // ours
