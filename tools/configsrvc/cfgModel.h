// The service's state in memory, written through to the database: the
// variables, the callback registrations and the attached components.
//
// Requests are answered from memory; every change is committed to the
// database first and only then made in memory, so what a client is told
// has happened is in the database (how far on the disk: cfgStore.h).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tools/configsrvc/cfgStore.h"
#include "tools/configsrvc/cfgVar.h"

class CfgModel {
 public:
  // Opens the database; a variable of `seed` it does not hold yet is added
  // with its factory state, the others keep what is stored.
  bool open(const std::string& dbPath, const std::vector<CfgVar>& seed, std::string* err);
  // Variables that were added from the seed by the last open.
  size_t seededCount() const { return m_seeded; }

  // By any spelling of the name (case, "[0]"); null when unknown.
  CfgVar* find(const std::string& name);
  const std::map<std::string, CfgVar>& vars() const { return m_vars; }

  // Stores new values of one instance. false when the database refused
  // (nothing changed then).
  bool setValues(CfgVar* v, int instance, const std::vector<std::string>& values, bool isDefault);
  bool setOptions(CfgVar* v, const std::vector<std::string>& options, uint32_t defaultIndex);
  bool setLevels(CfgVar* v, int readLevel, int writeLevel);

  bool addReg(const CfgReg& r);
  bool removeReg(const CfgReg& r);
  bool removeClientRegs(const std::string& client);
  // Registrations of `type` that cover instance `instance` of `name`.
  std::vector<CfgReg> regsFor(const std::string& name, int instance, int type) const;
  const std::vector<CfgReg>& regs() const { return m_regs; }

  // Attaching an attached component or detaching an unknown one changes
  // nothing; the result says whether it was there before.
  bool attach(const std::string& component, bool* wasAttached);
  bool detach(const std::string& component, bool* wasAttached);
  const std::vector<std::string>& components() const { return m_components; }

  // See CfgStore.
  int unsyncedMs() const { return m_store.unsyncedMs(); }
  bool sync() { return m_store.sync(); }

  const std::string& lastError() const { return m_store.lastError(); }
  // The reply code of the last database failure.
  int lastErrorCode() const { return m_store.lastWasFull() ? kCfgErrOutOfResources : kCfgErrGeneric; }

 private:
  CfgStore m_store;
  std::map<std::string, CfgVar> m_vars;  // by cfgKey
  std::vector<CfgReg> m_regs;
  std::vector<std::string> m_components;
  size_t m_seeded = 0;
};
