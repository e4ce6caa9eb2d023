#include "tools/configsrvc/cfgVar.h"

#include <algorithm>
#include <cctype>

namespace {

struct RoleName {
  int role;
  const char* name;
};

const RoleName kRoleNames[] = {
    {kCfgUser, "user"}, {kCfgAdmin, "admin"}, {kCfgSystem, "system"}, {kCfgProvisioning, "provisioning"},
    {kCfgStartup, "startup"},
};

}  // namespace

const char* cfgRoleName(int role) {
  for (const RoleName& r : kRoleNames) {
    if (r.role == role) return r.name;
  }
  return "";
}

int cfgRoleByName(const std::string& name) {
  for (const RoleName& r : kRoleNames) {
    if (name == r.name) return r.role;
  }
  return 0;
}

bool cfgRoleValid(int role) { return cfgRoleName(role)[0] != '\0'; }

std::string cfgKey(const std::string& name) {
  std::string k = name;
  for (char& c : k) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return k;
}

std::string cfgCanonicalName(const std::string& name) {
  std::string out;
  out.reserve(name.size());
  for (size_t i = 0; i < name.size(); ++i) {
    if (name.compare(i, 3, "[0]") == 0) {
      i += 2;
      continue;
    }
    out += name[i];
  }
  return out;
}

int cfgCheckValues(const CfgVar& v, const std::vector<std::string>& values) {
  if (!v.multi && values.size() != 1) return kCfgErrBadParameter;
  if (!v.optionsFixed || v.options.empty()) return kCfgOk;
  for (const std::string& s : values) {
    if (std::find(v.options.begin(), v.options.end(), s) == v.options.end()) return kCfgErrBadParameter;
  }
  return kCfgOk;
}

void cfgApplyDefaultIndex(CfgVar* v) {
  if (v->defaultIndex >= v->options.size()) return;
  v->defaults.assign(1, v->options[v->defaultIndex]);
  for (CfgInstance& in : v->inst) {
    if (in.isDefault) in.values = v->defaults;
  }
}
