// Logging configuration, log-space monitor and transfer, log upload and
// support packages.
#pragma once

#include "CommonIF.pb.h"
#include "platform/msg/MSG.h"
#include "systemservice/syssrvTypes.h"

// True once the logging configuration has been applied; the main loop
// retries while it is false.
extern bool didLoggingUpdate;

// 1 when the command was launched or nothing needed doing, 0 when a setting
// could not be read. `name` null: unconditional (re)launch.
int update_logging(const char* name, const char* value);
// True once when the LAN has just become usable for remote logging.
bool bLoggingRestartNeeded(LanState lan_state);
// What the logging configuration needs from the modules above it, handed
// down by the core (a call upward would be a back edge): whether the LAN has
// a global address (check_lan_usable) and the derivation of the log-space
// maximum at each launch (set_logspace_configured). Unset: the LAN counts as
// unusable and nothing is derived.
struct LoggingLinks {
  int (*lanUsable)();
  void (*logspaceConfigured)();
};
extern LoggingLinks loggingLinks;
// Tests: the module state as at start (the links stay).
void syssrvLogging_testing_reset();

// 1 when `name` is a log-space variable (handled), 0 otherwise.
int update_logspace_management(const char* name, const char* value);
enum eState {
  STOP = 0,
  START = 1,
  REINIT = 2,
};
void logspace_monitor_control(int state);
CommonIF::eErrorType startLogFlush();
CommonIF::eErrorType flush_logs_finish(bool abortIfNotExited);
void SystemIFLogSpaceThresholdNtfy(bool isExceeded);
void SystemIFLogTransferCompleteNtfy(CommonIF::eErrorType error);
void SystemIFLogSpaceThresholdReq(void* pContext, const MSG_Message* msg);
void SystemIFLogTransferReq(void* pContext, const MSG_Message* msg);

void SystemIFLogUploadReq(void* pContext, const MSG_Message* msg);
void SystemIFCreateLogReq(void* pContext, const MSG_Message* msg);
void SystemIFClearLogCmd(void* pContext, const MSG_Message* msg);
void PlatformIFComponentNtfy(void* pContext, const MSG_Message* msg);
// Once every pass of the main loop.
void syssrvLogUploadStatus();
// 0 when the camera accepted the request and a pending record was queued.
int createOrbscopeSupportPkg(const MSG_Message* pMsg, bool bLogFlush);
bool bIsOrbscopeAttached();
void createSupportPackage(const char* path);
// Answers a create request; does nothing without a message.
void sendSystemIFCreateLogRsp(const char* path, CommonIF::eErrorType error, const MSG_Message* pMsg);
