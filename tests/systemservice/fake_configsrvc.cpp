#include "tests/systemservice/fake_configsrvc.h"

#include <algorithm>
#include <cstring>

#include "CommonIF.pb.h"
#include "platform/msgutil/msgUtil.h"

namespace {

using google::protobuf::FieldDescriptor;
using google::protobuf::Message;

const char kPeer[] = "ConfigSrvc";

// Cut short inside its first field: no message type parses it.
const std::string kUnparsable("\x0a\x09" "cut", 5);

CfgVar varOf(const ConfigIF::Inst& inst) {
  CfgVar v;
  v.inst = &inst;
  for (const ConfigIF::Node& n : inst.node()) {
    v.name += (v.name.empty() ? "" : ".") + n.name();
    v.instance = n.instance();
  }
  return v;
}

// `m`'s field `name` when it has `type`, else null.
const FieldDescriptor* field(const Message& m, const char* name, FieldDescriptor::Type type) {
  const FieldDescriptor* f = m.GetDescriptor()->FindFieldByName(name);
  return f && f->type() == type ? f : nullptr;
}

// The fields of interest are found by name, so that every request class of
// the interface is taken apart by the same code.
void takeApart(const Message& m, CfgRequest* r) {
  const google::protobuf::Reflection* refl = m.GetReflection();
  auto enumField = [&](const char* name, bool* has, int* value) {
    if (const FieldDescriptor* f = field(m, name, FieldDescriptor::TYPE_ENUM)) {
      *has = refl->HasField(m, f);
      *value = refl->GetEnumValue(m, f);
    }
  };
  bool ignored = false;
  enumField("role", &ignored, &r->role);
  enumField("read_level", &r->hasReadLevel, &r->readLevel);
  enumField("write_level", &r->hasWriteLevel, &r->writeLevel);
  enumField("type", &ignored, &r->callbackKind);
  const FieldDescriptor* iv = field(m, "instance_val", FieldDescriptor::TYPE_MESSAGE);
  if (iv && iv->message_type() == ConfigIF::InstValue::descriptor()) {
    const auto& val = static_cast<const ConfigIF::InstValue&>(refl->GetMessage(m, iv));
    r->vars.push_back(varOf(val.instance()));
    r->values.assign(val.value().begin(), val.value().end());
  }
  const FieldDescriptor* f = field(m, "instance", FieldDescriptor::TYPE_MESSAGE);
  if (f && f->message_type() == ConfigIF::Inst::descriptor()) {
    auto inst = [&](int i) -> const ConfigIF::Inst& {
      return static_cast<const ConfigIF::Inst&>(i < 0 ? refl->GetMessage(m, f) : refl->GetRepeatedMessage(m, f, i));
    };
    if (!f->is_repeated()) r->vars.push_back(varOf(inst(-1)));
    for (int i = 0; f->is_repeated() && i < refl->FieldSize(m, f); ++i) r->vars.push_back(varOf(inst(i)));
  }
  // A callback registration names its variable as one string and a number;
  // a default-options request as one string.
  const FieldDescriptor* number = field(m, "instance", FieldDescriptor::TYPE_INT32);
  if (const FieldDescriptor* node = field(m, "node_name", FieldDescriptor::TYPE_STRING); node && number) {
    r->vars.push_back(CfgVar{refl->GetString(m, node), refl->GetInt32(m, number)});
  }
  if (const FieldDescriptor* name = field(m, "variable_name", FieldDescriptor::TYPE_STRING)) {
    r->vars.push_back(CfgVar{refl->GetString(m, name)});
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
  m_thread = std::thread([this] {
    while (!m_stop) {
      MSG_Message* msg = MSG_RecvAnyMsg(kPeer, sendDue(20));
      if (msg != nullptr) handle(msg);
      MSG_ReleaseMsg(msg);
    }
  });
  return true;
}

void FakeConfigSrvc::stop() {
  if (!m_thread.joinable()) return;
  m_stop = true;
  m_thread.join();
  for (auto& late : m_late) MSG_ReleaseMsg(late.second.second);
  m_late.clear();
  MSG_CloseLocal(kPeer);
}

void FakeConfigSrvc::handle(const MSG_Message* msg) {
  CfgRequest r;
  r.type = MSG_GetType(msg);
  const char* p = static_cast<const char*>(MSG_GetPayload(msg));
  r.payload.assign(p ? p : "", MSG_GetPayloadBytes(msg));
  std::unique_ptr<Message> parsed = msgUtil_newMessage(r.type);
  if (parsed && parsed->ParseFromString(r.payload)) {
    r.message = std::move(parsed);  // the variables point into it, and the record keeps it
    takeApart(*r.message, &r);
  }
  Rule rule;
  {
    std::lock_guard<std::mutex> g(m_mu);
    m_requests.push_back(r);
    // The rule for the request's first variable, else the one for every variable.
    auto it = r.vars.empty() ? m_rules.end() : m_rules.find({r.type, r.vars[0].name});
    if (it == m_rules.end()) it = m_rules.find({r.type, ""});
    if (it != m_rules.end()) rule = it->second;
  }
  if (r.message && rule.script != Script::kNoAnswer) answer(msg, r, rule);
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
  m_late.emplace(std::chrono::steady_clock::now() + std::chrono::milliseconds(rule.delayMs),
                 std::make_pair(MSG_GetSender(req), out));
}

int FakeConfigSrvc::sendDue(int idleMs) {
  const auto now = std::chrono::steady_clock::now();
  for (auto due = m_late.begin(); due != m_late.end() && due->first <= now; due = m_late.erase(due)) {
    MSG_SendMsg(kPeer, due->second.first, due->second.second);
  }
  if (m_late.empty()) return idleMs;
  auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(m_late.begin()->first - now).count() + 1;
  return static_cast<int>(std::min<long long>(wait, idleMs));
}

void FakeConfigSrvc::answer(const MSG_Message* msg, const CfgRequest& r, const Rule& rule) {
  // The answer class is the request's with "Rsp" for "Req".
  std::string name = r.message->GetDescriptor()->full_name();
  if (name.size() < 3 || name.compare(name.size() - 3, 3, "Req") != 0) return;
  const MsgTypeEntry* e = msgUtil_findByName(name.substr(0, name.size() - 3) + "Rsp");
  std::unique_ptr<Message> rsp = e ? msgUtil_newMessage(e->type) : nullptr;
  if (!rsp) return;
  if (rule.script == Script::kUnparsable) return send(msg, e->type, kUnparsable, rule);
  int error = rule.script == Script::kError ? rule.error : 0;
  const std::pair<std::string, int> key(r.vars.empty() ? "" : r.vars[0].name, r.vars.empty() ? 0 : r.vars[0].instance);
  {
    std::lock_guard<std::mutex> g(m_mu);
    auto options = m_options.find(key.first);
    if (r.type == kMsgIdConfigIFReadReq && !r.vars.empty()) {
      auto& read = static_cast<ConfigIF::ReadRsp&>(*rsp);
      if (r.vars[0].inst) *read.mutable_instance() = *r.vars[0].inst;
      auto it = m_values.find(key);
      if (it == m_values.end()) {
        error = CommonIF::kErrItemNotFound;
      } else {
        read.add_value(it->second.first);
        read.set_is_default(it->second.second);
      }
    } else if (r.type == kMsgIdConfigIFWriteReq && error == 0) {
      m_values[key] = {joined(r.values), false};
    } else if (r.type == kMsgIdConfigIFGetAttributeOptionsReq && options != m_options.end()) {
      auto& opts = static_cast<ConfigIF::GetAttributeOptionsRsp&>(*rsp);
      for (const std::string& o : options->second.first) opts.add_node_options(o);
      opts.set_default_index(options->second.second);
    } else if (r.type == kMsgIdConfigIFGetDefaultOptionsReq) {
      auto& opts = static_cast<ConfigIF::GetDefaultOptionsRsp&>(*rsp);
      for (const std::string& o : m_defaultOptions) opts.add_node_options(o);
      opts.set_default_index(0);
    }
  }
  if (const FieldDescriptor* f = field(*rsp, "error", FieldDescriptor::TYPE_INT32)) {
    rsp->GetReflection()->SetInt32(rsp.get(), f, error);
  }
  send(msg, e->type, rsp->SerializeAsString(), rule);
}

std::string FakeConfigSrvc::get(const std::string& name, int instance) const {
  std::lock_guard<std::mutex> g(m_mu);
  auto it = m_values.find({name, instance});
  return it == m_values.end() ? std::string("<unset>") : it->second.first;
}

std::vector<std::pair<std::string, std::string>> FakeConfigSrvc::writes() const {
  std::vector<std::pair<std::string, std::string>> out;
  for (const CfgRequest& r : requests()) {
    if (r.type == kMsgIdConfigIFWriteReq && !r.vars.empty()) out.emplace_back(r.vars[0].name, joined(r.values));
  }
  return out;
}

int FakeConfigSrvc::reads(const std::string& name) const {
  const std::vector<CfgRequest> all = requests();
  return static_cast<int>(std::count_if(all.begin(), all.end(), [&](const CfgRequest& r) {
    return r.type == kMsgIdConfigIFReadReq && !r.vars.empty() && r.vars[0].name == name;
  }));
}
