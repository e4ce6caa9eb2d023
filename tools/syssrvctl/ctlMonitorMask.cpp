#include "tools/syssrvctl/ctlMonitorMask.h"

#include <algorithm>
#include <cctype>

namespace {

using google::protobuf::FieldDescriptor;
using google::protobuf::Message;
using google::protobuf::Reflection;

const char kMask[] = "********";
// Reads whose answer never came (the service died) must not pile up.
constexpr size_t kMaxReads = 256;

bool isString(const FieldDescriptor* f) { return f->cpp_type() == FieldDescriptor::CPPTYPE_STRING; }
bool isMessage(const FieldDescriptor* f) { return f->cpp_type() == FieldDescriptor::CPPTYPE_MESSAGE; }

// Does m name a secret variable: a field "name" (a path given whole), or a
// node of a variable path anywhere inside it?
bool namesSecretVariable(const Message& m) {
  const Reflection* r = m.GetReflection();
  for (int i = 0; i < m.GetDescriptor()->field_count(); ++i) {
    const FieldDescriptor* f = m.GetDescriptor()->field(i);
    if (f->is_repeated()) {
      for (int k = 0; isMessage(f) && k < r->FieldSize(m, f); ++k) {
        if (namesSecretVariable(r->GetRepeatedMessage(m, f, k))) return true;
      }
    } else if (isString(f) && f->name() == "name" && ctlNamesSecret(r->GetString(m, f))) {
      return true;
    } else if (isMessage(f) && r->HasField(m, f) && namesSecretVariable(r->GetMessage(m, f))) {
      return true;
    }
  }
  return false;
}

void maskString(Message* m, const FieldDescriptor* f) {
  const Reflection* r = m->GetReflection();
  if (!f->is_repeated()) {
    if (r->HasField(*m, f) && !r->GetString(*m, f).empty()) r->SetString(m, f, kMask);
    return;
  }
  for (int k = 0; k < r->FieldSize(*m, f); ++k) {
    if (!r->GetRepeatedString(*m, f, k).empty()) r->SetRepeatedString(m, f, k, kMask);
  }
}

// Masks secret fields; with `values`, also every field holding values.
void mask(Message* m, bool values) {
  const Reflection* r = m->GetReflection();
  for (int i = 0; i < m->GetDescriptor()->field_count(); ++i) {
    const FieldDescriptor* f = m->GetDescriptor()->field(i);
    if (isString(f)) {
      if (ctlNamesSecret(f->name()) || (values && f->name().find("value") != std::string::npos)) maskString(m, f);
    } else if (isMessage(f) && f->is_repeated()) {
      for (int k = 0; k < r->FieldSize(*m, f); ++k) {
        Message* sub = r->MutableRepeatedMessage(m, f, k);
        mask(sub, values || namesSecretVariable(*sub));
      }
    } else if (isMessage(f) && r->HasField(*m, f)) {
      Message* sub = r->MutableMessage(m, f);
      mask(sub, values || namesSecretVariable(*sub));
    }
  }
}

}  // namespace

bool ctlNamesSecret(const std::string& name) {
  std::string low(name);
  std::transform(low.begin(), low.end(), low.begin(), [](unsigned char c) { return std::tolower(c); });
  for (const char* word : {"password", "passwd", "passphrase", "ticket", "challenge"}) {
    if (low.find(word) != std::string::npos) return true;
  }
  return false;
}

void CtlMonitorMask::apply(const MsgMonitorRecord& r, Message* m) {
  // An answer carries the sequence of its request and goes back the other way.
  bool answer = m_reads.erase({r.receiver, r.sender, r.sequence}) > 0;
  bool secret = namesSecretVariable(*m);
  if (secret && m->GetDescriptor()->name().find("Read") != std::string::npos) {
    if (m_reads.size() >= kMaxReads) m_reads.clear();
    m_reads.insert({r.sender, r.receiver, r.sequence});
  }
  mask(m, answer || secret);
}
