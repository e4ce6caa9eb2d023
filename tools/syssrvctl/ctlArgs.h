// Command-line parsing of syssrvctl: the sub-command word, then options and
// positional words in any order. Which options a sub-command accepts is part
// of its row in the command table (ctlCommands.cpp).
#pragma once

#include <string>
#include <vector>

// Option bits; a command row lists the ones it accepts.
enum CtlOption : unsigned {
  kCtlOptTo = 1u << 0,       // --to ENDPOINT
  kCtlOptFrom = 1u << 1,     // --from ENDPOINT
  kCtlOptAs = 1u << 2,       // --as NAME
  kCtlOptTimeout = 1u << 3,  // --timeout MS
  kCtlOptExpect = 1u << 4,   // --expect TYPE
  kCtlOptCount = 1u << 5,    // --count N
  kCtlOptDelay = 1u << 6,    // --delay MS
  kCtlOptRole = 1u << 7,     // --role ROLE (config)
  kCtlOptSubmit = 1u << 8,   // --submit POINT (config)
  // serve: repeatable, read in order from CtlArgs::uses.
  kCtlOptAnswer = 1u << 9,       // --answer REQUEST RESPONSE FIELDS
  kCtlOptSilent = 1u << 10,      // --silent REQUEST
  kCtlOptError = 1u << 11,       // --error REQUEST RESPONSE CODE
  kCtlOptRules = 1u << 12,       // --rules FILE
  kCtlOptThenPublish = 1u << 13, // --then-publish TYPE FIELDS
  kCtlOptExitOnEof = 1u << 14,   // --exit-on-eof
  kCtlOptType = 1u << 15,        // --type REGEX (monitor)
  kCtlOptPcap = 1u << 16,        // --pcap FILE (monitor)
};

// One option as given, in command-line order: its name ("--answer") and
// its values.
struct CtlOptionUse {
  std::string name;
  std::vector<std::string> values;
};

struct CtlArgs {
  std::vector<std::string> positional;  // words after the sub-command
  unsigned given = 0;                   // CtlOption bits seen
  std::string to;
  std::string from;
  std::string as;
  std::string expect;
  long timeoutMs = -1;
  long count = 0;
  long delayMs = 0;
  std::string role;
  std::string submit;
  std::string type;
  std::string pcap;
  std::vector<CtlOptionUse> uses;  // every option given, in order
};

// Parses argv[first..argc) for a command accepting `allowed` options.
// Returns false and sets *error to one line on an unknown, misplaced or
// malformed option. "--opt VALUE" and "--opt=VALUE" are both accepted (for
// an option of several values "=" gives the first); "--" ends the options.
bool ctlParseArgs(int argc, const char* const* argv, int first, unsigned allowed, CtlArgs* out,
                  std::string* error);

// Non-negative decimal integer that fits in a long; false otherwise.
bool ctlParseCount(const std::string& text, long* value);
