// Finding the variable a request names.
#pragma once

#include <string>

#include "ConfigIF.pb.h"

class CfgModel;
struct CfgVar;

// kCfgOk with *v and *instance set; kCfgErrBadParameter when `inst` names
// no variable; kCfgErrItemNotFound for an unknown variable or instance.
int cfgLookup(CfgModel& model, const ConfigIF::Inst& inst, CfgVar** v, int* instance);
// The same for a dotted name ("[0]" and case do not matter).
int cfgLookupName(CfgModel& model, const std::string& name, int instance, CfgVar** v);
