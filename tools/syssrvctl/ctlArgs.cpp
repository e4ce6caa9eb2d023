#include "tools/syssrvctl/ctlArgs.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

// kWords: `words` values kept only in CtlArgs::uses (empty ones allowed: an
// empty FIELDS is a message with no fields); zero words is a flag.
enum class ValueKind { kText, kCount, kWords };

struct OptionRow {
  const char* name;
  CtlOption bit;
  ValueKind kind;
  std::string CtlArgs::*text;
  long CtlArgs::*number;
  int words;
};

const OptionRow kOptionTable[] = {
    {"--to", kCtlOptTo, ValueKind::kText, &CtlArgs::to, nullptr, 1},
    {"--from", kCtlOptFrom, ValueKind::kText, &CtlArgs::from, nullptr, 1},
    {"--as", kCtlOptAs, ValueKind::kText, &CtlArgs::as, nullptr, 1},
    {"--expect", kCtlOptExpect, ValueKind::kText, &CtlArgs::expect, nullptr, 1},
    {"--timeout", kCtlOptTimeout, ValueKind::kCount, nullptr, &CtlArgs::timeoutMs, 1},
    {"--count", kCtlOptCount, ValueKind::kCount, nullptr, &CtlArgs::count, 1},
    {"--delay", kCtlOptDelay, ValueKind::kCount, nullptr, &CtlArgs::delayMs, 1},
    {"--role", kCtlOptRole, ValueKind::kText, &CtlArgs::role, nullptr, 1},
    {"--submit", kCtlOptSubmit, ValueKind::kText, &CtlArgs::submit, nullptr, 1},
    {"--answer", kCtlOptAnswer, ValueKind::kWords, nullptr, nullptr, 3},
    {"--silent", kCtlOptSilent, ValueKind::kWords, nullptr, nullptr, 1},
    {"--error", kCtlOptError, ValueKind::kWords, nullptr, nullptr, 3},
    {"--rules", kCtlOptRules, ValueKind::kWords, nullptr, nullptr, 1},
    {"--then-publish", kCtlOptThenPublish, ValueKind::kWords, nullptr, nullptr, 2},
    {"--exit-on-eof", kCtlOptExitOnEof, ValueKind::kWords, nullptr, nullptr, 0},
    {"--type", kCtlOptType, ValueKind::kText, &CtlArgs::type, nullptr, 1},
    {"--pcap", kCtlOptPcap, ValueKind::kText, &CtlArgs::pcap, nullptr, 1},
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
    CtlOptionUse use{name, {}};
    if (inlineValue) {
      if (row->words == 0) {
        *error = "option " + name + " takes no value";
        return false;
      }
      use.values.push_back(value);
    }
    while (static_cast<int>(use.values.size()) < row->words) {
      if (i + 1 >= argc) {
        *error = row->words == 1 ? "option " + name + " needs a value"
                                 : "option " + name + " needs " + std::to_string(row->words) + " values";
        return false;
      }
      use.values.push_back(argv[++i]);
    }
    if (row->words > 0) value = use.values[0];
    if (row->kind == ValueKind::kWords) {
      // Checked by the command that reads them.
    } else if (row->kind == ValueKind::kText) {
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
    out->uses.push_back(std::move(use));
  }
  return true;
}
