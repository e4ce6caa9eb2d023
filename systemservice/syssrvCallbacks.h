// Callbacks of the configuration service, and the out-of-box reset.
//
// The configuration service calls this service back for the variables it
// registered: DynamicValidateReq before it accepts a proposed value
// (config_dynamic_validate, answered DynamicValidateRsp), OnChangeReq while
// it applies one (config_on_change, answered OnChangeRsp, always accepted),
// and SubmitNtfy at the start and end of a batch (config_submit_notify, no
// answer). SetOobReq (reset_config_notify) puts the appliance back to its
// out-of-box state and is answered SetOobRsp.
//
// The handlers only parse and answer; the rules live in the functions below
// them, which tests call directly as well.
//
// Commands issued (results ignored):
//   /system/bin/reboot                          cipher setting changed
//   rm /opt/corvale/misc/presets/*.png          out-of-box reset
//   ./clear-language-files                      out-of-box reset
//   setprop persist.sys.country US\n            out-of-box reset
//   setprop persist.sys.language en\n           out-of-box reset
#pragma once

#include <string>
#include <vector>

#include "platform/msg/MSG.h"
#include "systemservice/syssrvCfgMsg.h"

// Handler of kMsgIdConfigIFDynamicValidateReq.
void config_dynamic_validate(void* pContext, const MSG_Message* msg);
// Handler of kMsgIdConfigIFOnChangeReq.
void config_on_change(void* pContext, const MSG_Message* msg);
// Handler of kMsgIdConfigIFSubmitNtfy.
void config_submit_notify(void* pContext, const MSG_Message* msg);
// Handler of kMsgIdSystemIFSetOobReq; the request is not examined.
void reset_config_notify(void* pContext, const MSG_Message* msg);

// The verdict on a proposed value.
struct syssrvValidation {
  int error = 0;  // eErrorType: 0 accepted, else the refusal
  bool reboot = false;
};

// Validates (and, for the modular-room mode, prepares) a proposed value.
syssrvValidation syssrvValidateChange(const std::string& name, int instance, const std::string& value);
// Applies a value being set: the access-level rules and actions of the
// on-change table, then the proxy follow-up.
void syssrvApplyOnChange(const std::string& name, int instance, const std::string& value);
// Start (clears the dirty bits) or end (restarts what they ask for) of a batch.
void syssrvSubmitBatch(const std::string& name, SubmitType type);
// Deletes the user's traces and puts language and country back.
void syssrvResetToOutOfBox();

// The variables that have a validation rule, and those the on-change
// callback acts on (its rules and the proxy follow-up): each must be
// registered with the matching callback kind, or its rule never runs.
std::vector<std::string> syssrvValidatedNames();
std::vector<std::string> syssrvOnChangeNames();

// Modular-room secondary mode turns features off and keeps the one setting
// it later gives back; see syssrvCallbacksBackup.cpp.
void syssrvApplySecondaryModeSettings();
// Writes `value` to `name` after saving the current value in the
// "<name>_BACKUP" variable.
void write_and_backup_config(const char* name, const char* value);
// Writes the value saved in "<name>_BACKUP" back to `name`.
void read_and_restore_config(const char* name);
