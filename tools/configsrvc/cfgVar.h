// The configuration variable as the service holds it, and the small rules
// every request applies to it (access levels, option checks, names).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Access levels and roles, the numbers of CommonIF.eSecurityRole.
enum CfgRole { kCfgUser = 10, kCfgAdmin = 20, kCfgSystem = 30, kCfgProvisioning = 40, kCfgStartup = 50 };

// Result codes of replies, the numbers of CommonIF.eErrorType.
enum CfgError {
  kCfgOk = 0,
  kCfgErrGeneric = -1,
  kCfgErrBadParameter = -3,
  kCfgErrOutOfResources = -5,
  kCfgErrNotYetSupported = -6,
  kCfgErrItemNotFound = -7,
  kCfgErrNotAuthorized = -8,
  kCfgErrTimeOut = -10,
};

// "user", "admin", ... for a role number; "" for anything else.
const char* cfgRoleName(int role);
// The role of a name as cfgRoleName writes it; 0 when unknown.
int cfgRoleByName(const std::string& name);
// A defined role number.
bool cfgRoleValid(int role);

struct CfgInstance {
  std::vector<std::string> values;
  bool isDefault = true;
};

struct CfgVar {
  std::string name;  // canonical spelling, as seeded
  int readLevel = kCfgUser;
  int writeLevel = kCfgAdmin;
  bool multi = false;        // may hold several values
  bool optionsFixed = true;  // a value outside `options` is refused
  std::vector<std::string> defaults;
  std::vector<std::string> options;
  uint32_t defaultIndex = 0;
  // The option list the variable was created with, for GetDefaultOptionsReq.
  std::vector<std::string> seedOptions;
  uint32_t seedDefaultIndex = 0;
  std::vector<CfgInstance> inst;  // one per instance, at least one
};

// Lower-case lookup key of a canonical name.
std::string cfgKey(const std::string& name);
// Drops every "[0]": element 0 of an inner path element is the element
// itself, so "a.b[0].c" and "a.b.c" name one variable.
std::string cfgCanonicalName(const std::string& name);

// kCfgOk, or why `values` may not be stored in `v`: a single-valued variable
// takes exactly one value; with fixed options every value must be one of
// them (exact bytes).
int cfgCheckValues(const CfgVar& v, const std::vector<std::string>& values);

// Makes options[defaultIndex] the variable's default; instances still at
// their default take the new value.
void cfgApplyDefaultIndex(CfgVar* v);
