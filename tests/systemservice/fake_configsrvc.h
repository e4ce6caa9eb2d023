// The daemon tests' configuration service: a thread of the test process
// that opens "ConfigSrvc" on the real message layer, answers every request
// the daemon's configuration client sends, and records each one.
//
// Values are kept per variable (the dotted names of the request's nodes)
// and instance (that of its last node). A read of an unknown variable is
// answered with kErrItemNotFound and no value, as the real service does;
// a write stores its value unless the type is scripted to fail. Any
// request type, for every variable or for one, can be scripted to carry
// an error, to get no answer (the client times out), to get an answer
// that does not parse (the client's call fails) or to get its answer late.
#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <google/protobuf/message.h>

#include "ConfigIF.pb.h"
#include "platform/msg/MSG.h"
#include "platform/msgutil/msgIds.h"

// One variable a request names.
struct CfgVar {
  std::string name;  // node names joined with "."
  int instance = 0;  // that of the last node
  const ConfigIF::Inst* inst = nullptr;  // the nodes as sent (in `message`)
};

// One request as it arrived.
struct CfgRequest {
  MSG_Type type = 0;
  std::string payload;  // the bytes as sent
  // The request parsed into its type; null when the type is unknown or
  // the bytes do not parse.
  std::shared_ptr<const google::protobuf::Message> message;
  int role = 0;
  std::vector<CfgVar> vars;  // in the request's order
  std::vector<std::string> values;  // written values, in order
  bool hasReadLevel = false, hasWriteLevel = false;
  int readLevel = 0, writeLevel = 0;
  // RegisterClientCallbackReq: the variable's name and instance are in
  // `vars`; its callback kind here.
  int callbackKind = 0;
};

// "<Type> {<ShortDebugString>}" of a message.
std::string cfgDescribe(const google::protobuf::Message& m);
// The same for a recorded request; "unparsable type <n>" when it did not
// parse.
std::string cfgDescribe(const CfgRequest& r);

class FakeConfigSrvc {
 public:
  ~FakeConfigSrvc() { stop(); }

  // Opens "ConfigSrvc" and starts answering; false when it cannot open.
  bool start();
  void stop();

  // Served for reads.
  void set(const std::string& name, const std::string& value, int instance = 0) { store(name, value, instance, false); }
  // The same, with the read answer's flag saying it is the default value.
  void setDefault(const std::string& name, const std::string& value) { store(name, value, 0, true); }
  // The stored value, "<unset>" when there is none.
  std::string get(const std::string& name, int instance = 0) const;

  // Each of these scripts the answers to requests of `type`, for `name`
  // only when one is given.
  // They carry `error`. A failed write stores nothing; a read of a known
  // variable still carries its value.
  void answerError(MSG_Type type, int error, const std::string& name = "") { script(type, name, {Script::kError, error}); }
  // They are recorded but never answered.
  void noAnswer(MSG_Type type, const std::string& name = "") { script(type, name, {Script::kNoAnswer}); }
  // They are answered with bytes that do not parse as the answer.
  void unparsable(MSG_Type type, const std::string& name = "") { script(type, name, {Script::kUnparsable}); }
  // They are answered `delayMs` after they arrived, without holding up other
  // answers; answers due at the same time go in the order of their requests.
  void answerLate(MSG_Type type, int delayMs, const std::string& name = "") {
    script(type, name, {Script::kLate, 0, delayMs});
  }
  // Reads of `name` get an answer that does not parse.
  void breakReads(const std::string& name) { unparsable(kMsgIdConfigIFReadReq, name); }
  // The option list GetDefaultOptionsRsp carries (default index 0).
  void setDefaultOptions(const std::vector<std::string>& options) { Lock g(m_mu); m_defaultOptions = options; }
  // The option list and default index GetAttributeOptionsRsp carries for
  // `name` (none for other variables).
  void setOptions(const std::string& name, const std::vector<std::string>& options, unsigned defaultIndex) {
    Lock g(m_mu);
    m_options[name] = {options, defaultIndex};
  }

  // Every request received, in order.
  std::vector<CfgRequest> requests() const { Lock g(m_mu); return m_requests; }
  void clearRequests() { Lock g(m_mu); m_requests.clear(); }
  // (variable, value) of every write received, in order.
  std::vector<std::pair<std::string, std::string>> writes() const;
  // How many reads of `name` arrived, answered or not.
  int reads(const std::string& name) const;

 private:
  using Lock = std::lock_guard<std::mutex>;
  enum class Script { kAnswer, kError, kNoAnswer, kUnparsable, kLate };
  struct Rule {
    Script script = Script::kAnswer;
    int error = 0, delayMs = 0;
  };
  void store(const std::string& name, const std::string& value, int instance, bool isDefault) {
    Lock g(m_mu);
    m_values[{name, instance}] = {value, isDefault};
  }
  void script(MSG_Type type, const std::string& name, const Rule& rule) { Lock g(m_mu); m_rules[{type, name}] = rule; }
  void handle(const MSG_Message* msg);
  void answer(const MSG_Message* msg, const CfgRequest& r, const Rule& rule);
  void send(const MSG_Message* req, MSG_Type type, const std::string& bytes, const Rule& rule);
  // Sends the late answers that are due; the time until the next one, in
  // ms, at most `idleMs`.
  int sendDue(int idleMs);

  mutable std::mutex m_mu;
  // Value, and whether reads say it is the default.
  std::map<std::pair<std::string, int>, std::pair<std::string, bool>> m_values;
  // Keyed by type and variable ("" for every variable).
  std::map<std::pair<MSG_Type, std::string>, Rule> m_rules;
  std::vector<std::string> m_defaultOptions;
  std::map<std::string, std::pair<std::vector<std::string>, unsigned>> m_options;
  // Touched by the fake's thread only, and by stop() once it has ended.
  // Answers made when their requests came, by the time they are due; those
  // due at the same time in the order they were made.
  std::multimap<std::chrono::steady_clock::time_point, std::pair<MSG_Endpoint, MSG_Message*>> m_late;
  std::vector<CfgRequest> m_requests;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};
