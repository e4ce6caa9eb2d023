// The write path: every change of a value goes through here, as a job that
// may have to wait for the clients' callback answers.
//
// Per variable, in this order: the access level and value checks;
// DynamicValidateReq to the kDynamicValidator clients (a refusal refuses the
// write with the client's error and messages; a client silent for
// the callback time-out refuses it with kErrTimeOut); OnChangeReq to the
// kOnChange clients (the same rules); commit to the database; the answer to
// the writer (single writes); ConfigChangedNtfy to the kChangeNotify
// clients, the writer included. Validate and on-change callbacks skip the
// writer: it is applying the change itself and is blocked in its request.
// A batch for a submit point is framed by SubmitNtfy kSubmitStart and
// kSubmitEnd to the point's kSubmit clients, and answered after the end.
//
// A job never blocks the service: it sends its callbacks and returns; the
// answers arrive through the service's one receive loop like any request,
// and meanwhile every other request, the called-back client's own reads and
// writes included, is served. Those writes are jobs of their own, so a
// client that writes from inside its callback handler does not wait for the
// job that called it.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ConfigIF.pb.h"
#include "platform/msg/MSG.h"
#include "tools/configsrvc/cfgFanout.h"
#include "tools/configsrvc/cfgModel.h"

// Default callback time-out. A daemon validating one change may make about
// 15 synchronous round trips of its own first (44 for a modular-room
// change), each slow on a busy disk or under emulation; a client that hung
// still does not freeze writes for long.
constexpr int kCfgCallbackTimeoutMs = 10000;

enum CfgJobKind {
  kCfgJobWrite,     // WriteReq: one entry, WriteRsp
  kCfgJobReset,     // ResetValueReq: one entry back to its default, ResetValueRsp
  kCfgJobBatch,     // BatchWriteReq: entries in order, BatchWriteRsp
  kCfgJobValidate,  // ValidateReq: checks and validators only, ValidateRsp
};

struct CfgJobEntry {
  std::string name;  // as requested
  int instance = 0;
  std::vector<std::string> values;
  bool reset = false;  // the values are the variable's defaults
  int error = 0;
  bool reboot = false;
  std::vector<std::string> messages;
};

struct CfgJob {
  CfgJobKind kind = kCfgJobWrite;
  std::string writer;  // client name of the request
  int role = 0;
  std::string submitPoint;  // canonical name, batches only
  std::vector<CfgJobEntry> entries;
};

class CfgWritePath {
 public:
  CfgWritePath(const std::string& local, CfgModel& model, CfgFanout& fanout, int callbackTimeoutMs)
      : m_local(local), m_model(model), m_fanout(fanout), m_timeoutMs(callbackTimeoutMs) {}
  ~CfgWritePath();
  CfgWritePath(const CfgWritePath&) = delete;
  CfgWritePath& operator=(const CfgWritePath&) = delete;

  // Runs `job` for `request` (copied; answered when the job ends, which may
  // be before this returns).
  void start(const MSG_Message* request, CfgJob job);
  // A DynamicValidateRsp or OnChangeRsp. false when no call waits for it
  // (late, after a time-out or a refusal by another client).
  bool answer(const MSG_Message* msg, const ConfigIF::ReturnMessage& ret);
  // Refuses what waited too long.
  void expire();
  // Milliseconds until the next call times out; -1 when none waits.
  int msToNextDeadline() const;
  size_t activeJobs() const { return m_active.size(); }

 private:
  using Clock = std::chrono::steady_clock;
  enum Phase { kPhaseCheck, kPhaseValidating, kPhaseApplying };
  struct Active {
    CfgJob job;
    MSG_Message* request = nullptr;
    size_t current = 0;
    Phase phase = kPhaseCheck;
    std::vector<CfgCall> calls;
    Clock::time_point deadline;
    bool answered = false;
  };

  // Moves the job on until it waits or ends; true when it ended.
  bool step(Active& a);
  bool admit(Active& a, CfgJobEntry& e);
  // Sends the callbacks of `cbType`; true when some are out.
  bool sendCalls(Active& a, const CfgJobEntry& e, int cbType);
  void commit(Active& a, CfgJobEntry& e);
  void next(Active& a);
  void finish(Active& a);
  void answerWriter(Active& a);
  CfgChange changeOf(const Active& a, const CfgJobEntry& e) const;
  void resume(uint64_t id);

  std::string m_local;
  CfgModel& m_model;
  CfgFanout& m_fanout;
  int m_timeoutMs;
  std::map<uint64_t, std::unique_ptr<Active>> m_active;
  uint64_t m_nextId = 0;
};
