#include "tools/configsrvc/cfgService.h"

#include <vector>

#include "tools/configsrvc/cfgHandlers.h"
#include "tools/configsrvc/cfgLog.h"
#include "tools/configsrvc/cfgSeed.h"

const char* const kCfgDefaultName = "ConfigSrvc";

namespace {

// How long one receive may block before the stop flag is looked at again.
constexpr int kCfgSliceMs = 200;
// Registrations, levels and components committed without a sync go to the
// disk once the service has had nothing to do for this long, or this long
// after the first of them when it stays busy.
constexpr int kCfgSyncIdleMs = 100;
constexpr int kCfgSyncLatestMs = 1000;

}  // namespace

CfgService::CfgService(const CfgServiceConfig& config) : m_config(config) {}

CfgService::~CfgService() {
  // Jobs still waiting hold copies of requests; they go before the endpoint.
  m_writes.reset();
  if (m_open) MSG_CloseLocal(m_config.name.c_str());
}

bool CfgService::open(std::string* err) {
  std::vector<CfgVar> seed;
  if (!m_config.seedPath.empty() && !cfgSeedLoadFile(m_config.seedPath, &seed, err)) return false;
  if (!m_model.open(m_config.dbPath, seed, err)) return false;
  cfgLog("database %s: %zu variables (%zu added from the seed), %zu registrations, %zu components",
         m_config.dbPath.c_str(), m_model.vars().size(), m_model.seededCount(), m_model.regs().size(),
         m_model.components().size());
  m_fanout = std::make_unique<CfgFanout>(m_config.name);
  m_writes = std::make_unique<CfgWritePath>(m_config.name, m_model, *m_fanout, m_config.callbackTimeoutMs);
  MSG_DebugSetName("configsrvc");
  if (MSG_OpenLocal(m_config.name.c_str()) != 0) {
    *err = "cannot open endpoint " + m_config.name;
    return false;
  }
  m_open = true;
  return true;
}

void CfgService::serveOnce(int timeoutMs) {
  int due = m_writes->msToNextDeadline();
  if (due >= 0 && (timeoutMs < 0 || due < timeoutMs)) timeoutMs = due;
  const bool unsynced = m_model.unsyncedMs() >= 0;
  if (unsynced && (timeoutMs < 0 || timeoutMs > kCfgSyncIdleMs)) timeoutMs = kCfgSyncIdleMs;
  MSG_Message* m = MSG_RecvAnyMsg(m_config.name.c_str(), timeoutMs);
  if (m != nullptr) {
    cfgDispatch(*this, m);
    MSG_ReleaseMsg(m);
  }
  if (unsynced && (m == nullptr || m_model.unsyncedMs() >= kCfgSyncLatestMs) && !m_model.sync()) {
    cfgLog("database: cannot sync: %s", m_model.lastError().c_str());
  }
  m_writes->expire();
}

void CfgService::run(volatile std::sig_atomic_t* stop) {
  cfgLog("callbacks time out after %d ms", m_config.callbackTimeoutMs);
  cfgLog("serving %s", m_config.name.c_str());
  while (!*stop) serveOnce(kCfgSliceMs);
  cfgLog("%s closed", m_config.name.c_str());
}
