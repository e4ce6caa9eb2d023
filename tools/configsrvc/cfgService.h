// configsrvc: the configuration service ("ConfigSrvc") of the host build.
// One thread, event-driven: one receive loop dispatches every message by
// type (cfgHandlers.cpp) and wakes the write path when a callback times out.
#pragma once

#include <csignal>
#include <memory>
#include <string>

#include "tools/configsrvc/cfgFanout.h"
#include "tools/configsrvc/cfgModel.h"
#include "tools/configsrvc/cfgWritePath.h"

extern const char* const kCfgDefaultName;

struct CfgServiceConfig {
  std::string name;  // endpoint, kCfgDefaultName unless --name
  std::string dbPath;
  std::string seedPath;
  int callbackTimeoutMs = kCfgCallbackTimeoutMs;  // --callback-timeout
};

class CfgService {
 public:
  explicit CfgService(const CfgServiceConfig& config);
  ~CfgService();
  CfgService(const CfgService&) = delete;
  CfgService& operator=(const CfgService&) = delete;

  // Loads the seed, opens the database and the endpoint; false with `err`.
  bool open(std::string* err);
  // Serves until *stop is set; closes the endpoint.
  void run(volatile std::sig_atomic_t* stop);
  // Waits up to timeoutMs for one message and handles it, then times out
  // what is due.
  void serveOnce(int timeoutMs);

  const std::string& local() const { return m_config.name; }
  CfgModel& model() { return m_model; }
  CfgWritePath& writes() { return *m_writes; }

 private:
  CfgServiceConfig m_config;
  CfgModel m_model;
  std::unique_ptr<CfgFanout> m_fanout;
  std::unique_ptr<CfgWritePath> m_writes;
  bool m_open = false;
};
