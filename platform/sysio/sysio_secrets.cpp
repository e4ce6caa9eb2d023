#include "platform/sysio/sysio_secrets.h"

#include <cctype>

const char kSysioSecretMask[] = "********";

namespace {

// Scripts whose secret is an argument without a name in front of it: the
// program's file name and the argument's place (the program is word 0).
struct SysioSecretArg {
  const char* program;
  size_t index;
};
const SysioSecretArg kSysioSecretArgs[] = {
    {"start_delegate.sh", 3},     // --start|--restart, 'user', password, name servers...
    {"generate_scep_csr.sh", 9},  // client|server, five subject fields, country, hash, challenge, e-mail
};

const char* const kSysioSecretNames[] = {"password", "passwd", "passphrase", "ticket", "challenge"};

bool names_secret(const std::string& text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* name : kSysioSecretNames) {
    if (lower.find(name) != std::string::npos) return true;
  }
  return false;
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool is_operator(char c) { return c == ';' || c == '&' || c == '|' || c == '<' || c == '>'; }

// One word of a command line: where it stands, and its text once the shell
// has removed its quotes. An operator (a run of ; & | < >) ends a command.
struct SysioWord {
  size_t begin, end;
  std::string plain;
  bool op;
};

std::vector<SysioWord> shell_words(const std::string& s) {
  std::vector<SysioWord> words;
  size_t i = 0;
  while (i < s.size()) {
    if (is_blank(s[i])) {
      ++i;
      continue;
    }
    SysioWord w{i, i, "", is_operator(s[i])};
    if (w.op) {
      while (i < s.size() && is_operator(s[i])) ++i;
    }
    while (!w.op && i < s.size() && !is_blank(s[i]) && !is_operator(s[i])) {
      const char c = s[i++];
      if (c == '\\' && i < s.size()) {
        w.plain += s[i++];
      } else if (c == '\'') {
        while (i < s.size() && s[i] != '\'') w.plain += s[i++];
        if (i < s.size()) ++i;
      } else if (c == '"') {
        for (; i < s.size() && s[i] != '"'; ++i) {
          const char n = i + 1 < s.size() ? s[i + 1] : '\0';
          if (s[i] == '\\' && (n == '\\' || n == '"' || n == '$' || n == '`')) ++i;
          w.plain += s[i];
        }
        if (i < s.size()) ++i;
      } else {
        w.plain += c;
      }
    }
    w.end = i;
    words.push_back(w);
  }
  return words;
}

// What each word is written as in the journal: "" keeps it as it stands.
std::vector<std::string> masked_words(const std::vector<SysioWord>& words) {
  std::vector<std::string> out(words.size());
  size_t index = 0;
  std::string program;
  bool secretNext = false;
  for (size_t i = 0; i < words.size(); ++i) {
    const SysioWord& w = words[i];
    if (w.op) {
      index = 0;
      secretNext = false;
      continue;
    }
    if (index == 0) program = w.plain.substr(w.plain.rfind('/') + 1);
    const size_t eq = w.plain.find('=');
    bool secret = secretNext;
    for (const SysioSecretArg& a : kSysioSecretArgs) secret = secret || (program == a.program && index == a.index);
    // An empty secret hides nothing, and the line shows that none was given.
    if (secret && !w.plain.empty()) {
      out[i] = kSysioSecretMask;
    } else if (eq != std::string::npos && names_secret(w.plain.substr(0, eq)) && eq + 1 < w.plain.size()) {
      out[i] = w.plain.substr(0, eq + 1) + kSysioSecretMask;
    }
    // The program's own name ("passwd") announces no secret.
    secretNext = index > 0 && eq == std::string::npos && names_secret(w.plain);
    ++index;
  }
  return out;
}

}  // namespace

std::string sysio_mask_command(const std::string& cmd) {
  const std::vector<SysioWord> words = shell_words(cmd);
  const std::vector<std::string> masks = masked_words(words);
  std::string out;
  size_t at = 0;
  for (size_t i = 0; i < words.size(); ++i) {
    if (masks[i].empty()) continue;
    out += cmd.substr(at, words[i].begin - at) + masks[i];
    at = words[i].end;
  }
  return out + cmd.substr(at);
}

std::string sysio_mask_argv(const std::vector<std::string>& argv) {
  std::vector<SysioWord> words;
  for (const std::string& a : argv) words.push_back({0, 0, a, false});
  const std::vector<std::string> masks = masked_words(words);
  std::string out;
  for (size_t i = 0; i < argv.size(); ++i) out += (i ? " " : "") + (masks[i].empty() ? argv[i] : masks[i]);
  return out;
}
