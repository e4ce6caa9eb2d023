#include "tools/syssrvctl/ctlText.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <google/protobuf/io/tokenizer.h>
#include <google/protobuf/message.h>
#include <google/protobuf/text_format.h>

namespace {

// Keeps the first error only: later ones are usually consequences of it, and
// the client promises one line.
class FirstErrorCollector : public google::protobuf::io::ErrorCollector {
 public:
  void AddError(int line, int column, const std::string& message) override {
    if (!m_have) {
      m_have = true;
      // The parser counts from 0; people count from 1.
      m_text = "line " + std::to_string(line + 1) + " column " + std::to_string(column + 1) +
               ": " + message;
    }
  }
  void AddWarning(int, int, const std::string&) override {}
  bool have() const { return m_have; }
  const std::string& text() const { return m_text; }

 private:
  bool m_have = false;
  std::string m_text;
};

}  // namespace

bool ctlParseTypeNumber(const std::string& text, MSG_Type* type) {
  if (text.empty()) return false;
  const char* s = text.c_str();
  int base = 10;
  if (text.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s += 2;
  }
  char* end = nullptr;
  errno = 0;
  // 64-bit parse so an out-of-range number is caught on 32-bit targets too.
  unsigned long long v = std::strtoull(s, &end, base);
  if (errno != 0 || end == s || *end != '\0' || v > 0xFFFFFFFFull) return false;
  for (const char* p = s; *p; ++p) {
    if (*p == '-' || *p == '+' || *p == ' ') return false;
  }
  *type = static_cast<MSG_Type>(v);
  return true;
}

const MsgTypeEntry* ctlFindType(const std::string& name) { return msgUtil_findByName(name); }

const MsgTypeEntry* ctlFindTypeByNameOrNumber(const std::string& text) {
  MSG_Type type = 0;
  if (!text.empty() && text[0] >= '0' && text[0] <= '9') {
    if (!ctlParseTypeNumber(text, &type)) return nullptr;
    return msgUtil_findByType(type);
  }
  return ctlFindType(text);
}

const MsgTypeEntry* ctlReplyTypeFor(const MsgTypeEntry& request) {
  std::string name = request.name;
  const std::string suffix = "Req";
  if (name.size() <= suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return nullptr;
  }
  name.replace(name.size() - suffix.size(), suffix.size(), "Rsp");
  return msgUtil_findByName(name);
}

std::unique_ptr<google::protobuf::Message> ctlParseFields(const MsgTypeEntry& entry,
                                                          const std::string& fields,
                                                          std::string* error) {
  const google::protobuf::Message* proto = entry.prototype ? entry.prototype() : nullptr;
  if (proto == nullptr) {
    *error = std::string("no message class for ") + entry.name;
    return nullptr;
  }
  std::unique_ptr<google::protobuf::Message> m(proto->New());
  google::protobuf::TextFormat::Parser parser;
  FirstErrorCollector errors;
  parser.RecordErrorsTo(&errors);
  if (!parser.ParseFromString(fields, m.get())) {
    *error = std::string("cannot parse fields for ") + entry.name + ": " +
             (errors.have() ? errors.text() : std::string("invalid text format"));
    return nullptr;
  }
  // proto2 required fields would make the message unsendable; say which.
  if (!m->IsInitialized()) {
    *error = std::string("missing required fields for ") + entry.name + ": " +
             m->InitializationErrorString();
    return nullptr;
  }
  return m;
}

std::string ctlFormatMultiLine(const google::protobuf::Message& m) {
  std::string out;
  google::protobuf::TextFormat::Printer printer;
  printer.PrintToString(m, &out);
  return out;
}

std::string ctlFormatSingleLine(const google::protobuf::Message& m) {
  std::string out;
  google::protobuf::TextFormat::Printer printer;
  printer.SetSingleLineMode(true);
  printer.PrintToString(m, &out);
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string ctlHexType(MSG_Type type) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%06X", static_cast<unsigned>(type));
  return buf;
}

std::string ctlClockText(uint64_t ns) {
  time_t sec = static_cast<time_t>(ns / 1000000000u);
  struct tm parts;
  localtime_r(&sec, &parts);
  char buf[32];
  size_t n = std::strftime(buf, sizeof buf, "%H:%M:%S", &parts);
  std::snprintf(buf + n, sizeof buf - n, ".%03u", static_cast<unsigned>(ns / 1000000u % 1000u));
  return buf;
}
