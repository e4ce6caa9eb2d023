// The daemon's synchronous client of the configuration service
// ("ConfigSrvc").
//
// Each call sends one request from the daemon's own endpoint and blocks the
// calling thread for the matching response, at most 1000 ms per exchange.
// A response is matched by its type and by the request's sequence number,
// which the service copies into it: an answer that comes after its request
// gave up is dropped, not taken for the next request's. One exchange runs
// at a time, whichever thread calls; messages of other types that arrive
// meanwhile stay queued for the main loop's MSG_RecvAnyMsg.
//
// A variable is named by its whole dotted path ("system.network.hostname"),
// always sent as the name of a single node. The values of a multi-valued
// variable are returned joined by "\n".
//
// Results: 0 on success; -1, or the message layer's send code, on failure.
// Every failure is logged with the function name and source line.
#pragma once

#include <string>

#include "CommonIF.pb.h"
#include "ConfigIF.pb.h"

// The roles and callback kinds are used unqualified all over the daemon.
using CommonIF::eSecurityRole;
using CommonIF::kAdmin;
using CommonIF::kProvisioning;
using CommonIF::kStartup;
using CommonIF::kSystem;
using CommonIF::kUser;
using ConfigIF::CallbackType;
using ConfigIF::kAccessLevel;
using ConfigIF::kAttribute;
using ConfigIF::kChangeNotify;
using ConfigIF::kDynamicValidator;
using ConfigIF::kOnChange;
using ConfigIF::kOptions;
using ConfigIF::kSubmit;
using ConfigIF::SubmitType;
using ConfigIF::kSubmitEnd;
using ConfigIF::kSubmitStart;

#define CONFIG_MAX_OPTIONS 50
#define CONFIG_OPTION_LEN 256

// The option list of a variable, as config_set_options takes it.
typedef struct config_options {
  int numOptions;    // entries of `option` in use, 0..CONFIG_MAX_OPTIONS
  int defaultIndex;  // zero-based index of the default option
  char option[CONFIG_MAX_OPTIONS][CONFIG_OPTION_LEN];
} config_options_t;

// Remembers the local endpoint (already open) and waits, without limit, for
// "ConfigSrvc" to exist. Must run before any other call of this module.
int syssrvCfgMsgInit(const char* pLinxEpName);

int config_read(const char* name, char* val, int len, bool* is_default);
// Copies the value into val[len], cut to len - 1 characters; val is empty
// on failure.
int config_read_instance(const char* name, char* val, int len, bool* is_default, int instance);
int config_read_inst_std_str(const char* name, std::string& cfgVarValue, bool* is_default, int instance);
// The value as a char[len] filled by config_read_instance would hold it
// (cut to len - 1 characters); empty when the read fails.
std::string config_read_str(const char* name, int len, int instance = 0);

int config_write(const char* name, const char* value, eSecurityRole ac);
int do_config_write(const char* config_item, char* config_val);
// `value` is written as one value, newlines and all.
int config_write_instance(const char* name, const char* value, eSecurityRole ac, int instance);

int config_set_options(const char* name, config_options_t* pOptions, eSecurityRole ac);
// Makes `value` the default option when it is one of the variable's options
// and not the default already; otherwise changes nothing and returns 0.
int config_set_default(const char* name, const char* value, eSecurityRole ac);
// A level of 0 leaves that level unchanged.
int config_setAccessLevels(const char* name, int instance, eSecurityRole ac, eSecurityRole readLevel,
                           eSecurityRole writeLevel);
// Returns the service's error code for the change.
int config_component_change(const char* name, bool detach, eSecurityRole role);
// A registration that gets no answer closes the daemon's local endpoint;
// nothing in this module opens it again.
int config_register_change_notify(const char* name, int instance, CallbackType cbType);

// "video.monitor[1].signalType" from the nodes of an incoming Inst; returns
// the last node's instance.
int buildCfgVarName(std::string& result, const ConfigIF::Inst& inst);
// The values of an incoming InstValue joined by "\n".
int buildCfgVarValue(std::string& result, const ConfigIF::InstValue& instVal);
