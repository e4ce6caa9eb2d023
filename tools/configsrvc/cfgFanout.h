// Callbacks and notifications to the clients registered for a variable.
//
// Each goes to the registered client's endpoint as an ordinary message
// (looked up by name at the time of sending), not as a published
// notification: clients register per variable, and a subscription to the
// service's notifications could not say for which.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/msg/MSG.h"
#include "tools/configsrvc/cfgStore.h"

// A callback request that went out and is waiting for its answer.
struct CfgCall {
  std::string client;
  MSG_Endpoint remote = 0;
  uint32_t sequence = 0;
  std::string context;  // server_context, echoed in the answer
};

// What a callback or a notification is about.
struct CfgChange {
  std::string name;  // canonical variable name
  int instance = 0;
  std::vector<std::string> values;
  std::string writer;  // client name of the request
  int role = 0;
};

class CfgFanout {
 public:
  explicit CfgFanout(const std::string& local) : m_local(local) {}

  // Sends DynamicValidateReq (kDynamicValidator) or OnChangeReq (kOnChange)
  // to each registration; returns the calls that went out. A client whose
  // endpoint does not exist (not running) is skipped with a log line.
  std::vector<CfgCall> call(int cbType, const std::vector<CfgReg>& regs, const CfgChange& c);
  // ConfigChangedNtfy to each registration.
  void notifyChanged(const std::vector<CfgReg>& regs, const CfgChange& c);
  // SubmitNtfy of `submitType` (kSubmitStart/kSubmitEnd) for `point`.
  void notifySubmit(const std::vector<CfgReg>& regs, const std::string& point, int submitType);

 private:
  std::string m_local;
  uint64_t m_calls = 0;
};
