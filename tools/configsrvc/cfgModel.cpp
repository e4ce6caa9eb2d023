#include "tools/configsrvc/cfgModel.h"

#include <algorithm>
#include <cctype>

namespace {

// The daemon registers over a hundred callbacks in a row, each looked up
// among the ones before: names are compared in place, not copied.
bool sameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool sameReg(const CfgReg& a, const CfgReg& b) {
  return a.type == b.type && a.instance == b.instance && a.client == b.client && sameName(a.name, b.name);
}

}  // namespace

bool CfgModel::open(const std::string& dbPath, const std::vector<CfgVar>& seed, std::string* err) {
  m_seeded = 0;
  if (!m_store.open(dbPath, err)) return false;
  if (!m_store.loadAll(&m_vars, &m_regs, &m_components, err)) {
    *err = dbPath + ": " + *err;
    return false;
  }
  std::vector<const CfgVar*> added;
  for (const CfgVar& v : seed) {
    if (m_vars.count(cfgKey(v.name)) == 0) added.push_back(&v);
  }
  if (!added.empty() && !m_store.saveVars(added)) {
    *err = dbPath + ": cannot store the seed: " + m_store.lastError();
    return false;
  }
  for (const CfgVar* v : added) m_vars[cfgKey(v->name)] = *v;
  m_seeded = added.size();
  return true;
}

CfgVar* CfgModel::find(const std::string& name) {
  auto it = m_vars.find(cfgKey(cfgCanonicalName(name)));
  return it == m_vars.end() ? nullptr : &it->second;
}

// What the database holds already needs no commit (and no wait for the
// disk): the daemon writes its identity and start-up values on every start.
bool CfgModel::setValues(CfgVar* v, int instance, const std::vector<std::string>& values, bool isDefault) {
  const CfgInstance& now = v->inst.at(static_cast<size_t>(instance));
  if (now.values == values && now.isDefault == isDefault) return true;
  CfgVar next = *v;
  CfgInstance& in = next.inst.at(static_cast<size_t>(instance));
  in.values = values;
  in.isDefault = isDefault;
  if (!m_store.saveInstance(next, instance)) return false;
  *v = std::move(next);
  return true;
}

bool CfgModel::setOptions(CfgVar* v, const std::vector<std::string>& options, uint32_t defaultIndex) {
  CfgVar next = *v;
  next.options = options;
  next.defaultIndex = defaultIndex;
  cfgApplyDefaultIndex(&next);
  if (!m_store.saveVar(next)) return false;
  *v = std::move(next);
  return true;
}

// The daemon sets the same levels on every start; only a real change costs
// a synchronous commit.
bool CfgModel::setLevels(CfgVar* v, int readLevel, int writeLevel) {
  if (v->readLevel == readLevel && v->writeLevel == writeLevel) return true;
  CfgVar next = *v;
  next.readLevel = readLevel;
  next.writeLevel = writeLevel;
  if (!m_store.saveLevels(next)) return false;
  *v = std::move(next);
  return true;
}

// A client registers again what the service kept from its last start; only
// what is new goes to the database.
bool CfgModel::addReg(const CfgReg& r) {
  auto have = std::find_if(m_regs.begin(), m_regs.end(), [&](const CfgReg& h) { return sameReg(h, r); });
  if (have != m_regs.end() && have->userContext == r.userContext) return true;
  if (!m_store.addReg(r)) return false;
  if (have != m_regs.end()) {
    have->userContext = r.userContext;
  } else {
    m_regs.push_back(r);
  }
  return true;
}

bool CfgModel::removeReg(const CfgReg& r) {
  if (!m_store.removeReg(r)) return false;
  m_regs.erase(std::remove_if(m_regs.begin(), m_regs.end(), [&](const CfgReg& h) { return sameReg(h, r); }),
               m_regs.end());
  return true;
}

bool CfgModel::removeClientRegs(const std::string& client) {
  if (!m_store.removeClientRegs(client)) return false;
  m_regs.erase(std::remove_if(m_regs.begin(), m_regs.end(), [&](const CfgReg& h) { return h.client == client; }),
               m_regs.end());
  return true;
}

std::vector<CfgReg> CfgModel::regsFor(const std::string& name, int instance, int type) const {
  std::vector<CfgReg> out;
  for (const CfgReg& r : m_regs) {
    if (r.type == type && (r.instance == 0 || r.instance == instance) && sameName(r.name, name)) out.push_back(r);
  }
  return out;
}

bool CfgModel::attach(const std::string& component, bool* wasAttached) {
  *wasAttached = std::find(m_components.begin(), m_components.end(), component) != m_components.end();
  if (*wasAttached) return true;
  if (!m_store.addComponent(component)) return false;
  m_components.push_back(component);
  return true;
}

bool CfgModel::detach(const std::string& component, bool* wasAttached) {
  auto it = std::find(m_components.begin(), m_components.end(), component);
  *wasAttached = it != m_components.end();
  if (!*wasAttached) return true;
  if (!m_store.removeComponent(component)) return false;
  m_components.erase(it);
  return true;
}
