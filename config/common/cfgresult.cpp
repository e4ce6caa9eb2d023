#include "config/common/cfgresult.h"

ConfigResult& ConfigResult::fillDefaults(ConfigResult& cfgResult) {
  cfgResult.m_nErrCode = kNoError;
  cfgResult.m_bIsRebootNeeded = false;
  cfgResult.m_listErrTags.clear();
  return cfgResult;
}

bool ConfigResult::fillConfigResult(bool bResult, eErrorT nErrCode, bool bIsRebootNeeded) {
  m_nErrCode = nErrCode;
  m_bIsRebootNeeded = bIsRebootNeeded;
  return bResult;
}

void ConfigResult::addResultMessage(const std::string& message) { m_listErrTags.push_back(message); }

void ConfigResult::setServerContext(const std::string& context) { m_serverContext = context; }

void ConfigResult::setClientName(const std::string& client) { m_clientName = client; }
