#include "tools/syssrvctl/ctlArgs.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

enum class ValueKind { kText, kCount };

struct OptionRow {
  const char* name;
  CtlOption bit;
  ValueKind kind;
  std::string CtlArgs::*text;
  long CtlArgs::*number;
};

// Every option takes a value; a flag-only option would add a kind here.
const OptionRow kOptionTable[] = {
    {"--to", kCtlOptTo, ValueKind::kText, &CtlArgs::to, nullptr},
    {"--from", kCtlOptFrom, ValueKind::kText, &CtlArgs::from, nullptr},
    {"--as", kCtlOptAs, ValueKind::kText, &CtlArgs::as, nullptr},
    {"--expect", kCtlOptExpect, ValueKind::kText, &CtlArgs::expect, nullptr},
    {"--timeout", kCtlOptTimeout, ValueKind::kCount, nullptr, &CtlArgs::timeoutMs},
    {"--count", kCtlOptCount, ValueKind::kCount, nullptr, &CtlArgs::count},
    {"--delay", kCtlOptDelay, ValueKind::kCount, nullptr, &CtlArgs::delayMs},
    {"--role", kCtlOptRole, ValueKind::kText, &CtlArgs::role, nullptr},
    {"--submit", kCtlOptSubmit, ValueKind::kText, &CtlArgs::submit, nullptr},
};

const OptionRow* findOption(const std::string& name) {
  for (const OptionRow& row : kOptionTable) {
    if (name == row.name) return &row;
  }
  return nullptr;
}

}  // namespace

bool ctlParseCount(const std::string& text, long* value) {
  if (text.empty() || text.size() > 18) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  errno = 0;
  long v = std::strtol(text.c_str(), nullptr, 10);
  if (errno != 0 || v > INT_MAX) return false;
  *value = v;
  return true;
}

bool ctlParseArgs(int argc, const char* const* argv, int first, unsigned allowed, CtlArgs* out,
                  std::string* error) {
  bool optionsDone = false;
  for (int i = first; i < argc; ++i) {
    std::string word = argv[i];
    if (optionsDone || word.size() < 2 || word.compare(0, 2, "--") != 0) {
      out->positional.push_back(word);
      continue;
    }
    if (word == "--") {
      optionsDone = true;
      continue;
    }
    std::string name = word;
    std::string value;
    bool inlineValue = false;
    size_t eq = word.find('=');
    if (eq != std::string::npos) {
      name = word.substr(0, eq);
      value = word.substr(eq + 1);
      inlineValue = true;
    }
    const OptionRow* row = findOption(name);
    if (row == nullptr || (allowed & row->bit) == 0) {
      *error = "unknown option " + name + " for this command";
      return false;
    }
    if (!inlineValue) {
      if (i + 1 >= argc) {
        *error = "option " + name + " needs a value";
        return false;
      }
      value = argv[++i];
    }
    if (row->kind == ValueKind::kText) {
      if (value.empty()) {
        *error = "option " + name + " needs a non-empty value";
        return false;
      }
      out->*(row->text) = value;
    } else {
      long n = 0;
      if (!ctlParseCount(value, &n)) {
        *error = "option " + name + " needs a non-negative number, not '" + value + "'";
        return false;
      }
      out->*(row->number) = n;
    }
    out->given |= row->bit;
  }
  return true;
}
