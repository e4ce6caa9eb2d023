#include "tests/systemservice/fake_configsrvc.h"

#include <algorithm>
#include <cstring>

#include "CommonIF.pb.h"
#include "platform/msgutil/msgUtil.h"

namespace {

using google::protobuf::FieldDescriptor;
using google::protobuf::Message;
using google::protobuf::Reflection;

const char kPeer[] = "ConfigSrvc";

// Cut short inside its first field: no message type parses it.
const std::string kUnparsable("\x0a\x09" "cut", 5);

CfgVar varOf(const ConfigIF::Inst& inst) {
  CfgVar v;
  v.inst = &inst;
  for (const ConfigIF::Node& n : inst.node()) {
    if (!v.name.empty()) v.name += ".";
    v.name += n.name();
    v.instance = n.instance();
  }
  return v;
}

const FieldDescriptor* field(const Message& m, const char* name) { return m.GetDescriptor()->FindFieldByName(name); }

// The fields of interest are found by name, so that every request class of
// the interface is taken apart by the same code.
void takeApart(const Message& m, CfgRequest* r) {
  const Reflection* refl = m.GetReflection();
  if (const FieldDescriptor* f = field(m, "name"); f && f->type() == FieldDescriptor::TYPE_STRING) {
    r->client = refl->GetString(m, f);
  }
  if (const FieldDescriptor* f = field(m, "role"); f && f->type() == FieldDescriptor::TYPE_ENUM) {
    r->hasRole = refl->HasField(m, f);
    r->role = refl->GetEnumValue(m, f);
  }
  if (const FieldDescriptor* f = field(m, "read_level"); f && f->type() == FieldDescriptor::TYPE_ENUM) {
    r->hasReadLevel = refl->HasField(m, f);
    r->readLevel = refl->GetEnumValue(m, f);
  }
  if (const FieldDescriptor* f = field(m, "write_level"); f && f->type() == FieldDescriptor::TYPE_ENUM) {
    r->hasWriteLevel = refl->HasField(m, f);
    r->writeLevel = refl->GetEnumValue(m, f);
  }
  const FieldDescriptor* iv = field(m, "instance_val");
  if (iv && iv->message_type() == ConfigIF::InstValue::descriptor()) {
    const auto& val = static_cast<const ConfigIF::InstValue&>(refl->GetMessage(m, iv));
    r->vars.push_back(varOf(val.instance()));
    r->values.assign(val.value().begin(), val.value().end());
  }
  if (const FieldDescriptor* f = field(m, "instance"); f != nullptr) {
    if (f->message_type() == ConfigIF::Inst::descriptor()) {
      if (f->is_repeated()) {
        for (int i = 0; i < refl->FieldSize(m, f); ++i) {
          r->vars.push_back(varOf(static_cast<const ConfigIF::Inst&>(refl->GetRepeatedMessage(m, f, i))));
        }
      } else {
        r->vars.push_back(varOf(static_cast<const ConfigIF::Inst&>(refl->GetMessage(m, f))));
      }
    } else if (const FieldDescriptor* node = field(m, "node_name"); node && f->type() == FieldDescriptor::TYPE_INT32) {
      // A callback registration names its variable as one string.
      CfgVar v;
      v.name = refl->GetString(m, node);
      v.instance = refl->GetInt32(m, f);
      r->vars.push_back(v);
    }
  }
  if (const FieldDescriptor* f = field(m, "variable_name"); f && f->type() == FieldDescriptor::TYPE_STRING) {
    CfgVar v;
    v.name = refl->GetString(m, f);
    r->vars.push_back(v);
  }
  if (const FieldDescriptor* f = field(m, "type"); f && f->type() == FieldDescriptor::TYPE_ENUM) {
    r->callbackKind = refl->GetEnumValue(m, f);
  }
}

std::string joined(const std::vector<std::string>& values) {
  std::string s;
  for (size_t i = 0; i < values.size(); ++i) s += (i ? "\n" : "") + values[i];
  return s;
}

}  // namespace

std::string cfgDescribe(const google::protobuf::Message& m) {
  return m.GetDescriptor()->name() + " {" + m.ShortDebugString() + "}";
}

std::string cfgDescribe(const CfgRequest& r) {
  return r.message ? cfgDescribe(*r.message) : "unparsable type " + std::to_string(r.type);
}

bool FakeConfigSrvc::start() {
  if (m_thread.joinable()) return true;
  if (MSG_OpenLocal(kPeer) != 0) return false;
  m_stop = false;
  m_thread = std::thread([this] { run(); });
  return true;
}

void FakeConfigSrvc::stop() {
  if (!m_thread.joinable()) return;
  m_stop = true;
  m_thread.join();
  for (LateAnswer& a : m_late) MSG_ReleaseMsg(a.msg);
  m_late.clear();
  MSG_CloseLocal(kPeer);
}

void FakeConfigSrvc::run() {
  while (!m_stop) {
    MSG_Message* msg = MSG_RecvAnyMsg(kPeer, sendDue(20));
    if (msg == nullptr) continue;
    handle(msg);
    MSG_ReleaseMsg(msg);
  }
}

void FakeConfigSrvc::handle(const MSG_Message* msg) {
  CfgRequest r;
  r.type = MSG_GetType(msg);
  const char* p = static_cast<const char*>(MSG_GetPayload(msg));
  r.payload.assign(p ? p : "", MSG_GetPayloadBytes(msg));
  std::unique_ptr<Message> parsed = msgUtil_newMessage(r.type);
  if (parsed && parsed->ParseFromString(r.payload)) {
    // The variables point into the message, which the record keeps.
    std::shared_ptr<const Message> kept(std::move(parsed));
    r.message = kept;
    takeApart(*kept, &r);
  }
  Rule rule;
  {
    std::lock_guard<std::mutex> g(m_mu);
    m_requests.push_back(r);
    rule = ruleFor(r.type, r);
  }
  if (r.message && rule.script != Script::kNoAnswer) answer(msg, r, rule);
}

FakeConfigSrvc::Rule FakeConfigSrvc::ruleFor(MSG_Type type, const CfgRequest& r) const {
  if (!r.vars.empty()) {
    auto it = m_rules.find({type, r.vars[0].name});
    if (it != m_rules.end()) return it->second;
  }
  auto it = m_rules.find({type, ""});
  return it == m_rules.end() ? Rule() : it->second;
}

void FakeConfigSrvc::send(const MSG_Message* req, MSG_Type type, const std::string& bytes, const Rule& rule) {
  // The answer copies the request's header: its sequence and its way back.
  MSG_Message* out = MSG_AllocMsgCopyHdr(req, type, static_cast<uint32_t>(bytes.size()));
  if (out == nullptr) return;
  if (!bytes.empty()) memcpy(MSG_GetPayloadMutable(out), bytes.data(), bytes.size());
  if (rule.script != Script::kLate) {
    MSG_SendMsg(kPeer, MSG_GetSender(req), out);
    return;
  }
  LateAnswer late{std::chrono::steady_clock::now() + std::chrono::milliseconds(rule.delayMs), MSG_GetSender(req), out};
  // Kept in due order; after those due at the same time.
  auto at = std::upper_bound(m_late.begin(), m_late.end(), late,
                             [](const LateAnswer& a, const LateAnswer& b) { return a.due < b.due; });
  m_late.insert(at, late);
}

int FakeConfigSrvc::sendDue(int idleMs) {
  const auto now = std::chrono::steady_clock::now();
  while (!m_late.empty() && m_late.front().due <= now) {
    MSG_SendMsg(kPeer, m_late.front().to, m_late.front().msg);
    m_late.erase(m_late.begin());
  }
  if (m_late.empty()) return idleMs;
  auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(m_late.front().due - now).count() + 1;
  return static_cast<int>(std::min<long long>(wait, idleMs));
}

void FakeConfigSrvc::answer(const MSG_Message* msg, const CfgRequest& r, const Rule& rule) {
  // The answer class is the request's with "Rsp" for "Req".
  std::string name = r.message->GetDescriptor()->full_name();
  if (name.size() < 3 || name.compare(name.size() - 3, 3, "Req") != 0) return;
  const MsgTypeEntry* e = msgUtil_findByName(name.substr(0, name.size() - 3) + "Rsp");
  std::unique_ptr<Message> rsp = e ? msgUtil_newMessage(e->type) : nullptr;
  if (!rsp) return;
  if (rule.script == Script::kUnparsable) {
    send(msg, e->type, kUnparsable, rule);
    return;
  }
  int error = rule.script == Script::kError ? rule.error : 0;
  const std::pair<std::string, int> key =
      r.vars.empty() ? std::make_pair(std::string(), 0) : std::make_pair(r.vars[0].name, r.vars[0].instance);
  {
    std::lock_guard<std::mutex> g(m_mu);
    if (r.type == kMsgIdConfigIFReadReq && !r.vars.empty()) {
      auto& read = static_cast<ConfigIF::ReadRsp&>(*rsp);
      if (r.vars[0].inst) *read.mutable_instance() = *r.vars[0].inst;
      auto it = m_values.find(key);
      if (it == m_values.end()) {
        error = CommonIF::kErrItemNotFound;
      } else {
        read.add_value(it->second);
        read.set_is_default(m_defaults.count(key) != 0);
      }
    } else if (r.type == kMsgIdConfigIFWriteReq && error == 0) {
      m_values[key] = joined(r.values);
      m_defaults.erase(key);
    } else if (r.type == kMsgIdConfigIFGetAttributeOptionsReq && m_options.count(key.first) != 0) {
      auto& opts = static_cast<ConfigIF::GetAttributeOptionsRsp&>(*rsp);
      for (const std::string& o : m_options[key.first].first) opts.add_node_options(o);
      opts.set_default_index(m_options[key.first].second);
    } else if (r.type == kMsgIdConfigIFGetDefaultOptionsReq) {
      auto& opts = static_cast<ConfigIF::GetDefaultOptionsRsp&>(*rsp);
      for (const std::string& o : m_defaultOptions) opts.add_node_options(o);
      opts.set_default_index(0);
    }
  }
  if (const FieldDescriptor* f = field(*rsp, "error"); f && f->type() == FieldDescriptor::TYPE_INT32) {
    rsp->GetReflection()->SetInt32(rsp.get(), f, error);
  }
  send(msg, e->type, rsp->SerializeAsString(), rule);
}

void FakeConfigSrvc::set(const std::string& name, const std::string& value, int instance) {
  std::lock_guard<std::mutex> g(m_mu);
  m_values[{name, instance}] = value;
  m_defaults.erase({name, instance});
}

void FakeConfigSrvc::setDefault(const std::string& name, const std::string& value, int instance) {
  std::lock_guard<std::mutex> g(m_mu);
  m_values[{name, instance}] = value;
  m_defaults.insert({name, instance});
}

std::string FakeConfigSrvc::get(const std::string& name, int instance) const {
  std::lock_guard<std::mutex> g(m_mu);
  auto it = m_values.find({name, instance});
  return it == m_values.end() ? std::string("<unset>") : it->second;
}

bool FakeConfigSrvc::has(const std::string& name, int instance) const {
  std::lock_guard<std::mutex> g(m_mu);
  return m_values.count({name, instance}) != 0;
}

void FakeConfigSrvc::answerError(MSG_Type type, int error, const std::string& name) {
  std::lock_guard<std::mutex> g(m_mu);
  m_rules[{type, name}] = Rule{Script::kError, error};
}

void FakeConfigSrvc::noAnswer(MSG_Type type, const std::string& name) {
  std::lock_guard<std::mutex> g(m_mu);
  m_rules[{type, name}] = Rule{Script::kNoAnswer, 0};
}

void FakeConfigSrvc::unparsable(MSG_Type type, const std::string& name) {
  std::lock_guard<std::mutex> g(m_mu);
  m_rules[{type, name}] = Rule{Script::kUnparsable, 0};
}

void FakeConfigSrvc::answerLate(MSG_Type type, int delayMs, const std::string& name) {
  std::lock_guard<std::mutex> g(m_mu);
  m_rules[{type, name}] = Rule{Script::kLate, 0, delayMs};
}

void FakeConfigSrvc::setOptions(const std::string& name, const std::vector<std::string>& options,
                                unsigned defaultIndex) {
  std::lock_guard<std::mutex> g(m_mu);
  m_options[name] = {options, defaultIndex};
}

void FakeConfigSrvc::setDefaultOptions(const std::vector<std::string>& options) {
  std::lock_guard<std::mutex> g(m_mu);
  m_defaultOptions = options;
}

std::vector<CfgRequest> FakeConfigSrvc::requests() const {
  std::lock_guard<std::mutex> g(m_mu);
  return m_requests;
}

void FakeConfigSrvc::clearRequests() {
  std::lock_guard<std::mutex> g(m_mu);
  m_requests.clear();
}

std::vector<std::pair<std::string, std::string>> FakeConfigSrvc::writes() const {
  std::vector<std::pair<std::string, std::string>> out;
  for (const CfgRequest& r : requests()) {
    if (r.type == kMsgIdConfigIFWriteReq && !r.vars.empty()) out.emplace_back(r.vars[0].name, joined(r.values));
  }
  return out;
}

int FakeConfigSrvc::reads(const std::string& name) const {
  int n = 0;
  for (const CfgRequest& r : requests()) {
    n += r.type == kMsgIdConfigIFReadReq && !r.vars.empty() && r.vars[0].name == name ? 1 : 0;
  }
  return n;
}
