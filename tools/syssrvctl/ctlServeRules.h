// How `syssrvctl serve` answers requests: one rule per request type, given
// on the command line (--answer, --silent, --error) or a line of a rules
// file ("answer REQUEST RESPONSE FIELDS", "silent REQUEST",
// "error REQUEST RESPONSE CODE"). Every reply is built and checked when the
// rule is read, so a typo stops the stand-in at start instead of showing up
// as a peer that does not answer.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/msgutil/msgUtil.h"

namespace google { namespace protobuf { class Message; } }

struct CtlServeRule {
  const MsgTypeEntry* request = nullptr;
  const MsgTypeEntry* response = nullptr;  // null: received, never answered
  std::shared_ptr<const google::protobuf::Message> reply;
};

class CtlServeRules {
 public:
  // One rule: `kind` is "answer", "silent" or "error" with its values.
  // A later rule for the same request replaces the earlier one, so a rule
  // on the command line can override one of a shared file.
  bool add(const std::string& kind, const std::vector<std::string>& values, std::string* error);
  // Every rule of a file, one a line; blank lines and lines starting with
  // "#" are skipped. The error names the file and line.
  bool addFile(const std::string& path, std::string* error);
  // The rule for a request type; null when none.
  const CtlServeRule* find(MSG_Type request) const;

 private:
  std::vector<CtlServeRule> m_rules;
};

// Splits a line into `words` blank-separated words, the last taking the
// rest of the line (FIELDS, blanks and all) without one pair of enclosing
// single quotes: "T 'a: 1'" and "T a: 1" read the same. False when the line
// has fewer words.
bool ctlServeSplitLine(const std::string& line, size_t words, std::vector<std::string>* out);
