// The outcome of one configuration operation: what a callback handler
// reports back to the configuration service, or what a response reported
// to us. Plain record with accessors; copies freely.
#pragma once

#include <list>
#include <string>

#include "OS/linux/psosapi/eErrorT.h"

class ConfigResult {
 public:
  ConfigResult() = default;

  // Back to "no error, no reboot, no messages". The server context and the
  // client name say whom the result concerns, not how it came out, so they
  // survive a reset.
  static ConfigResult& fillDefaults(ConfigResult& cfgResult);

  // Stores the code and the reboot flag and hands bResult back, so that a
  // handler can record and return in one statement.
  bool fillConfigResult(bool bResult, eErrorT nErrCode, bool bIsRebootNeeded);
  void addResultMessage(const std::string& message);
  void setServerContext(const std::string& context);
  void setClientName(const std::string& client);

  eErrorT getErrorCode() const { return m_nErrCode; }
  bool getIsRebootNeeded() const { return m_bIsRebootNeeded; }
  const std::list<std::string>& getErrorTags() const { return m_listErrTags; }
  const std::string& getServerContext() const { return m_serverContext; }
  const std::string& getClientName() const { return m_clientName; }

 private:
  eErrorT m_nErrCode = kNoError;
  bool m_bIsRebootNeeded = false;
  std::list<std::string> m_listErrTags;
  std::string m_serverContext;
  std::string m_clientName;
};
