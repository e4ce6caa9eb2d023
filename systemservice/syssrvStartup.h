// Start-up configuration of the daemon, run inside syssrvMessageInit after
// the message handlers are registered, and the default-password check that
// main runs afterwards.
//
// Commands issued (results ignored):
//   start adbd                                  developer features on
//   ip addr show dev eth0 | busybox sed -n 's/.*inet6 \(.*\) scope link.*/\1/p'
//                                               the link-local address
#pragma once

#include <vector>

#include "platform/msg/MSG.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvTypes.h"

// The configuration-variable callbacks in their fixed order, interleaved
// with the registration of the configuration service's four handlers
// (changes, submits, dynamic validation, on-change), failures logged.
void syssrvRegisterConfigCallbacks();
// What syssrvRegisterConfigCallbacks registers, in order: a variable with
// its callback kind, or (name null) the handler of message type `handler`.
struct syssrvRegistration {
  const char* name;
  CallbackType kind;
  MSG_Type handler;
};
std::vector<syssrvRegistration> syssrvConfigRegistrations();
// Identity, model-specific options and the once-at-start application of
// every subsystem's configured state.
void syssrvStartupConfig();
// Replaces a still-default administrator password by the serial number on
// units out of the box (and on every LumenPro).
void checkDefaultPassword();

// ---- steps of syssrvStartupConfig, reachable for tests

// Model, identity variables from the environment, the link-local address
// and the access levels that follow from the stored values.
void initSystemConfig();
// Option lists and access levels that differ between models.
void initModelSpecific(eModelT eModel);
// "system.info.humanreadableversion" and "system.info.crvlstandardversion"
// from the build variables.
void SetHumanVersion();
// Publishes the board id and returns the model row it selects.
eModelT getPlatformModel();
// Publishes the model name and attaches the unit's component.
void init_humanReadableModel();

// One row of the model table; the row index is the eModelT value.
struct syssrvModelInfo {
  const char* boardId;             // "CORVALE_BOARDID" value, any case
  const char* humanReadableModel;  // "system.info.humanreadablemodel"
  const char* component;           // configuration component to attach
  eModelT model;
};

constexpr int kNumModels = 8;
extern const syssrvModelInfo modelInfo[kNumModels];
