#include "tools/configsrvc/cfgLookup.h"

#include "tools/configsrvc/cfgModel.h"
#include "tools/configsrvc/cfgMsg.h"

int cfgLookupName(CfgModel& model, const std::string& name, int instance, CfgVar** v) {
  if (name.empty()) return kCfgErrBadParameter;
  *v = model.find(name);
  if (*v == nullptr || instance < 0 || static_cast<size_t>(instance) >= (*v)->inst.size()) return kCfgErrItemNotFound;
  return kCfgOk;
}

int cfgLookup(CfgModel& model, const ConfigIF::Inst& inst, CfgVar** v, int* instance) {
  std::string name;
  if (!cfgNameFromInst(inst, &name, instance)) return kCfgErrBadParameter;
  return cfgLookupName(model, name, *instance, v);
}
