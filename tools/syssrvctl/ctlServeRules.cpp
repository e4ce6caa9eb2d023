#include "tools/syssrvctl/ctlServeRules.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>

#include <google/protobuf/descriptor.h>
#include <google/protobuf/message.h>

#include "CommonIF.pb.h"
#include "tools/syssrvctl/ctlText.h"

namespace {

constexpr MSG_Type kKindMask = 0xF;
constexpr MSG_Type kKindReq = 0;
constexpr MSG_Type kKindRsp = 1;

struct RuleKind {
  const char* name;
  size_t values;
};

const RuleKind kRuleKinds[] = {{"answer", 3}, {"silent", 1}, {"error", 3}};

const RuleKind* findKind(const std::string& name) {
  for (const RuleKind& k : kRuleKinds) {
    if (name == k.name) return &k;
  }
  return nullptr;
}

// A known type of the wanted kind; swapped REQUEST and RESPONSE words are
// the likely mistake this catches.
const MsgTypeEntry* typeOfKind(const std::string& name, MSG_Type kind, std::string* error) {
  const MsgTypeEntry* e = ctlFindType(name);
  if (e == nullptr) {
    *error = "unknown message " + name + " (see 'syssrvctl list')";
  } else if ((e->type & kKindMask) != kind) {
    *error = std::string(e->name) + " is not a " + (kind == kKindReq ? "request" : "response");
    e = nullptr;
  }
  return e;
}

// CODE: a signed decimal number or a CommonIF.eErrorType name.
bool parseCode(const std::string& code, long long* value) {
  CommonIF::eErrorType named;
  if (CommonIF::eErrorType_Parse(code, &named)) {
    *value = named;
    return true;
  }
  size_t digits = code.size() > 0 && code[0] == '-' ? 1 : 0;
  if (digits == code.size() || code.size() > 20) return false;
  for (size_t i = digits; i < code.size(); ++i) {
    if (code[i] < '0' || code[i] > '9') return false;
  }
  errno = 0;
  *value = std::strtoll(code.c_str(), nullptr, 10);
  return errno == 0;
}

// Sets the reply's `error` field. A response without one (or with one that
// is not an integer) is refused rather than sent without it: a stand-in that
// silently answers "success" would hide the very failure being tested.
bool setError(google::protobuf::Message* m, const std::string& code, std::string* error) {
  using google::protobuf::FieldDescriptor;
  const FieldDescriptor* f = m->GetDescriptor()->FindFieldByName("error");
  if (f == nullptr || f->is_repeated() ||
      (f->cpp_type() != FieldDescriptor::CPPTYPE_INT32 && f->cpp_type() != FieldDescriptor::CPPTYPE_INT64)) {
    *error = m->GetTypeName() + " has no integer error field; answer it with --answer";
    return false;
  }
  long long v = 0;
  const bool wide = f->cpp_type() == FieldDescriptor::CPPTYPE_INT64;
  if (!parseCode(code, &v) || (!wide && (v < INT_MIN || v > INT_MAX))) {
    *error = "bad error code '" + code + "' (a number or a CommonIF.eErrorType name such as kErrTimeOut)";
    return false;
  }
  if (wide) {
    m->GetReflection()->SetInt64(m, f, v);
  } else {
    m->GetReflection()->SetInt32(m, f, static_cast<int32_t>(v));
  }
  return true;
}

}  // namespace

bool ctlServeSplitLine(const std::string& line, size_t words, std::vector<std::string>* out) {
  out->clear();
  const char* blanks = " \t\r";
  size_t pos = line.find_first_not_of(blanks);
  while (pos != std::string::npos && out->size() + 1 < words) {
    size_t end = line.find_first_of(blanks, pos);
    out->push_back(line.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
    pos = end == std::string::npos ? end : line.find_first_not_of(blanks, end);
  }
  if (out->size() + 1 < words) return false;
  if (pos == std::string::npos) {
    out->emplace_back();
  } else {
    std::string rest = line.substr(pos, line.find_last_not_of(blanks) + 1 - pos);
    if (rest.size() >= 2 && rest.front() == '\'' && rest.back() == '\'') rest = rest.substr(1, rest.size() - 2);
    out->push_back(rest);
  }
  return true;
}

bool CtlServeRules::add(const std::string& kind, const std::vector<std::string>& values, std::string* error) {
  const RuleKind* k = findKind(kind);
  if (k == nullptr || values.size() != k->values) {
    *error = k == nullptr ? "unknown rule '" + kind + "' (answer, silent or error)"
                          : kind + " needs " + std::to_string(k->values) + " values";
    return false;
  }
  CtlServeRule rule;
  if ((rule.request = typeOfKind(values[0], kKindReq, error)) == nullptr) return false;
  if (values.size() > 1) {
    if ((rule.response = typeOfKind(values[1], kKindRsp, error)) == nullptr) return false;
    const bool isError = kind == "error";
    std::unique_ptr<google::protobuf::Message> reply = ctlParseFields(*rule.response, isError ? "" : values[2], error);
    if (!reply || (isError && !setError(reply.get(), values[2], error))) return false;
    rule.reply = std::move(reply);
  }
  for (CtlServeRule& r : m_rules) {
    if (r.request == rule.request) {
      r = rule;
      return true;
    }
  }
  m_rules.push_back(rule);
  return true;
}

bool CtlServeRules::addFile(const std::string& path, std::string* error) {
  std::ifstream in(path);
  if (!in) {
    *error = "cannot read rules file " + path;
    return false;
  }
  std::string line;
  std::vector<std::string> words;
  for (int n = 1; std::getline(in, line); ++n) {
    if (!ctlServeSplitLine(line, 2, &words) || words[0][0] == '#') continue;  // blank or comment
    std::string why;
    const RuleKind* k = findKind(words[0]);
    std::vector<std::string> values;
    if (k != nullptr && !ctlServeSplitLine(words[1], k->values, &values)) values.clear();
    if (!add(words[0], values, &why)) {
      *error = path + ":" + std::to_string(n) + ": " + why;
      return false;
    }
  }
  return true;
}

const CtlServeRule* CtlServeRules::find(MSG_Type request) const {
  for (const CtlServeRule& r : m_rules) {
    if (r.request->type == request) return &r;
  }
  return nullptr;
}
