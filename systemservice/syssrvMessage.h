// The base of the daemon's message layer: the blocking send-and-wait, the
// PAC timer's callback and the module-wide state that the handlers of many
// modules share. The endpoint's handler table and its initialisation sit on
// top of every module (syssrvMessageTable.h).
#pragma once

#include <string>

#include <google/protobuf/message.h>

#include "platform/msg/MSG.h"
#include "systemservice/syssrvShell.h"
#include "systemservice/syssrvTypes.h"
#include "util/timerUtil.h"

// Sends `req` to `toEndpoint` and waits for a message of `rsp`'s type:
// 0, -1 (build, send, time-out or parse failure) or -3 (bad parameter).
int syssrvMessageSendWaitResponse(const google::protobuf::Message& req, google::protobuf::Message* rsp,
                                  const std::string& toEndpoint, int timeoutMillisecs);
// Expiry callback of PacExpiryTimer (runs on the timer thread).
void timerFunc(void* userData);

// ---- module-wide state (definitions and initial values in syssrvMessageState.cpp)

constexpr int kDelegateCredentialLen = 370;
constexpr int kIrFilterSysFileLen = 80;

// This service's endpoint: every request, reply and notification goes
// from it, and it is the client name in every configuration request.
extern const char kSyssrvEndpoint[];  // "SystemSrvc"
extern eModelT eModel;
extern bool outOfBox;
extern int delegate_running;
extern char delegate_uname[kDelegateCredentialLen];
extern char delegate_passwd[kDelegateCredentialLen];
extern ConfiguredOptionsT persist_config;
extern int m_LanDirtyBit;
extern int m_IPv6DirtyBit;
extern int m_DnsDirtyBit;
// RealTimeMilliSeconds() deadline of provisioning discovery, 0 = none.
extern unsigned int discoverProvisioningTimeout;
extern bool system_in_call;
extern int fdVirtKeyPressDev;
extern char ir_filter_sys_file[kIrFilterSysFileLen];
extern bool m_bDevfeatures;
extern Timer PacExpiryTimer;
extern bool IsTimerInitialised;
extern const std::string kSshBannerFile;
extern SshBanner gSshBanner;
