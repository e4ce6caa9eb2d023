#include "tools/configsrvc/cfgWritePath.h"

#include <algorithm>

#include "tools/configsrvc/cfgLog.h"
#include "tools/configsrvc/cfgMsg.h"

namespace {

std::vector<CfgReg> withoutWriter(std::vector<CfgReg> regs, const std::string& writer) {
  regs.erase(std::remove_if(regs.begin(), regs.end(), [&](const CfgReg& r) { return r.client == writer; }),
             regs.end());
  return regs;
}

}  // namespace

CfgWritePath::~CfgWritePath() {
  for (auto& kv : m_active) MSG_ReleaseMsg(kv.second->request);
}

void CfgWritePath::start(const MSG_Message* request, CfgJob job) {
  auto a = std::make_unique<Active>();
  a->job = std::move(job);
  a->request = MSG_CloneMsg(request);
  if (a->request == nullptr) {
    cfgLog("out of memory for a write job; refusing it");
    cfgReplyError(m_local, request, kCfgErrGeneric);
    return;
  }
  if (!a->job.submitPoint.empty()) {
    m_fanout.notifySubmit(m_model.regsFor(a->job.submitPoint, 0, ConfigIF::kSubmit), a->job.submitPoint,
                          ConfigIF::kSubmitStart);
  }
  uint64_t id = ++m_nextId;
  Active& ref = *a;
  m_active[id] = std::move(a);
  if (step(ref)) m_active.erase(id);
}

bool CfgWritePath::step(Active& a) {
  while (a.current < a.job.entries.size()) {
    CfgJobEntry& e = a.job.entries[a.current];
    if (a.phase == kPhaseCheck) {
      if (!admit(a, e)) {
        next(a);
        continue;
      }
      a.phase = kPhaseValidating;
      if (sendCalls(a, e, ConfigIF::kDynamicValidator)) return false;
    }
    if (a.phase == kPhaseValidating) {
      if (!a.calls.empty()) return false;
      if (e.error != 0 || a.job.kind == kCfgJobValidate) {
        next(a);
        continue;
      }
      a.phase = kPhaseApplying;
      if (sendCalls(a, e, ConfigIF::kOnChange)) return false;
    }
    if (a.phase == kPhaseApplying) {
      if (!a.calls.empty()) return false;
      if (e.error == 0) commit(a, e);
      next(a);
    }
  }
  finish(a);
  return true;
}

void CfgWritePath::next(Active& a) {
  ++a.current;
  a.phase = kPhaseCheck;
  a.calls.clear();
}

// false when the entry is refused. A write of the value the variable
// already has goes the whole way too: clients rely on every accepted write
// coming back as a change (a deadline is cleared by the notification of the
// status the client wrote itself, whatever the status was before).
bool CfgWritePath::admit(Active& a, CfgJobEntry& e) {
  CfgVar* v = m_model.find(e.name);
  if (v == nullptr || e.instance < 0 || static_cast<size_t>(e.instance) >= v->inst.size()) {
    e.error = kCfgErrItemNotFound;
    cfgDebug("write %s[%d]: no such variable", e.name.c_str(), e.instance);
    return false;
  }
  e.name = v->name;
  if (a.job.role < v->writeLevel) {
    e.error = kCfgErrNotAuthorized;
    cfgDebug("write %s: role %d below write level %d", e.name.c_str(), a.job.role, v->writeLevel);
    return false;
  }
  if (e.reset) e.values = v->defaults;
  e.error = cfgCheckValues(*v, e.values);
  if (e.error != 0) {
    cfgDebug("write %s: value not accepted", e.name.c_str());
    return false;
  }
  return true;
}

bool CfgWritePath::sendCalls(Active& a, const CfgJobEntry& e, int cbType) {
  std::vector<CfgReg> regs = withoutWriter(m_model.regsFor(e.name, e.instance, cbType), a.job.writer);
  a.calls = m_fanout.call(cbType, regs, changeOf(a, e));
  a.deadline = Clock::now() + std::chrono::milliseconds(m_timeoutMs);
  return !a.calls.empty();
}

CfgChange CfgWritePath::changeOf(const Active& a, const CfgJobEntry& e) const {
  CfgChange c;
  c.name = e.name;
  c.instance = e.instance;
  c.values = e.values;
  c.writer = a.job.writer;
  c.role = a.job.role;
  return c;
}

void CfgWritePath::commit(Active& a, CfgJobEntry& e) {
  CfgVar* v = m_model.find(e.name);
  if (v == nullptr || !m_model.setValues(v, e.instance, e.values, e.reset)) {
    cfgLog("write %s[%d]: database refused: %s", e.name.c_str(), e.instance, m_model.lastError().c_str());
    e.error = m_model.lastErrorCode();
    e.messages.push_back("database: " + m_model.lastError());
    return;
  }
  cfgDebug("committed %s[%d] by %s", e.name.c_str(), e.instance, a.job.writer.c_str());
  // The writer hears that its write is done before it hears about the
  // change, as it would from the appliance's service.
  if (a.job.kind == kCfgJobWrite || a.job.kind == kCfgJobReset) answerWriter(a);
  m_fanout.notifyChanged(m_model.regsFor(e.name, e.instance, ConfigIF::kChangeNotify), changeOf(a, e));
}

void CfgWritePath::finish(Active& a) {
  if (!a.job.submitPoint.empty()) {
    m_fanout.notifySubmit(m_model.regsFor(a.job.submitPoint, 0, ConfigIF::kSubmit), a.job.submitPoint,
                          ConfigIF::kSubmitEnd);
  }
  answerWriter(a);
  MSG_ReleaseMsg(a.request);
  a.request = nullptr;
}

void CfgWritePath::answerWriter(Active& a) {
  if (a.answered) return;
  a.answered = true;
  int error = 0;
  bool reboot = false;
  std::vector<std::string> messages;
  for (const CfgJobEntry& e : a.job.entries) {
    if (error == 0) error = e.error;
    reboot = reboot || e.reboot;
    messages.insert(messages.end(), e.messages.begin(), e.messages.end());
  }
  switch (a.job.kind) {
    case kCfgJobWrite: {
      ConfigIF::WriteRsp rsp;
      rsp.set_error(error);
      rsp.set_reboot_required(reboot);
      for (const std::string& m : messages) rsp.add_error_message(m);
      cfgReply(m_local, a.request, rsp);
      break;
    }
    case kCfgJobReset: {
      ConfigIF::ResetValueRsp rsp;
      rsp.set_error(error);
      cfgReply(m_local, a.request, rsp);
      break;
    }
    case kCfgJobValidate: {
      ConfigIF::ValidateRsp rsp;
      rsp.set_error(error);
      rsp.set_reboot_required(reboot);
      for (const std::string& m : messages) rsp.add_error_message(m);
      cfgReply(m_local, a.request, rsp);
      break;
    }
    case kCfgJobBatch: {
      ConfigIF::BatchWriteRsp rsp;
      rsp.set_error(error);
      rsp.set_reboot_required(reboot);
      for (const std::string& m : messages) rsp.add_error_message(m);
      for (const CfgJobEntry& e : a.job.entries) rsp.add_entry_error(e.error);
      cfgReply(m_local, a.request, rsp);
      break;
    }
  }
}

bool CfgWritePath::answer(const MSG_Message* msg, const ConfigIF::ReturnMessage& ret) {
  const uint32_t seq = MSG_GetSequence(msg);
  const MSG_Endpoint from = MSG_GetSender(msg);
  for (auto& kv : m_active) {
    Active& a = *kv.second;
    auto it = std::find_if(a.calls.begin(), a.calls.end(), [&](const CfgCall& c) {
      return (c.sequence == seq && c.remote == from) || (!ret.server_context().empty() && c.context == ret.server_context());
    });
    if (it == a.calls.end()) continue;
    CfgJobEntry& e = a.job.entries[a.current];
    e.reboot = e.reboot || ret.reboot_required();
    if (ret.error() != 0) {
      cfgLog("%s refused %s[%d] with %d", it->client.c_str(), e.name.c_str(), e.instance, ret.error());
      e.error = ret.error();
      for (const std::string& m : ret.error_message()) e.messages.push_back(m);
      // The other clients' answers no longer matter.
      a.calls.clear();
    } else {
      a.calls.erase(it);
    }
    resume(kv.first);
    return true;
  }
  return false;
}

void CfgWritePath::resume(uint64_t id) {
  auto it = m_active.find(id);
  if (it != m_active.end() && it->second->calls.empty() && step(*it->second)) m_active.erase(id);
}

void CfgWritePath::expire() {
  const Clock::time_point now = Clock::now();
  std::vector<uint64_t> due;
  for (auto& kv : m_active) {
    if (!kv.second->calls.empty() && kv.second->deadline <= now) due.push_back(kv.first);
  }
  for (uint64_t id : due) {
    auto it = m_active.find(id);
    if (it == m_active.end()) continue;
    Active& a = *it->second;
    CfgJobEntry& e = a.job.entries[a.current];
    e.error = kCfgErrTimeOut;
    for (const CfgCall& c : a.calls) {
      cfgLog("%s did not answer for %s[%d] within %d ms; refusing the write", c.client.c_str(), e.name.c_str(),
             e.instance, m_timeoutMs);
      e.messages.push_back(c.client + " did not answer within " + std::to_string(m_timeoutMs) + " ms");
    }
    a.calls.clear();
    resume(id);
  }
}

int CfgWritePath::msToNextDeadline() const {
  int best = -1;
  const Clock::time_point now = Clock::now();
  for (const auto& kv : m_active) {
    if (kv.second->calls.empty()) continue;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(kv.second->deadline - now).count();
    int ms = left < 0 ? 0 : static_cast<int>(left) + 1;
    if (best < 0 || ms < best) best = ms;
  }
  return best;
}
