#include "systemservice/syssrvQuote.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "OS/logmsg.h"

const char kSecretMask[] = "********";

namespace {

// Bytes the shell never treats specially inside a word. Deliberately ASCII
// only: with a byte table, no locale can widen it.
bool is_plain(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::strchr("_@%+=:,./-", c) != nullptr;
}

bool is_line_break(char c) { return c == '\r' || c == '\n' || c == '\0'; }

}  // namespace

std::string shell_word(const std::string& value) {
  const std::string v(value.c_str());
  if (v.empty()) return "''";
  bool plain = true;
  for (unsigned char c : v) plain = plain && is_plain(c);
  if (plain) return v;
  std::string out = "'";
  for (char c : v) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  out += "'";
  return out;
}

std::string shell_dquoted(const std::string& value) {
  std::string out;
  for (char c : std::string(value.c_str())) {
    if (c == '\\' || c == '"' || c == '$' || c == '`') out += '\\';
    out += c;
  }
  return out;
}

bool decimal_text(const std::string& text, long long min, long long max, std::string* out) {
  const size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
  if (text.size() == i) return false;
  for (size_t k = i; k < text.size(); ++k) {
    if (text[k] < '0' || text[k] > '9') return false;
  }
  errno = 0;
  const long long n = std::strtoll(text.c_str(), nullptr, 10);
  if (errno == ERANGE || n < min || n > max) return false;
  *out = std::to_string(n);
  return true;
}

bool file_value_ok(const char* what, const std::string& value) {
  for (char c : value) {
    if (is_line_break(c)) {
      logwarn(nullptr, "%s: value refused, it holds a line break\n", what);
      return false;
    }
  }
  return true;
}

std::string file_text(const char* what, const std::string& value) {
  std::string out;
  for (char c : value) {
    if (!is_line_break(c)) out += c;
  }
  if (out.size() != value.size()) logwarn(nullptr, "%s: line breaks removed from the value\n", what);
  return out;
}

std::string log_text(const std::string& value) {
  std::string out;
  for (char c : value) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

bool is_secret_name(const std::string& name) {
  std::string lower(name);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.find("password") != std::string::npos || lower.find("challenge") != std::string::npos;
}

std::string log_value(const std::string& name, const std::string& value) {
  return is_secret_name(name) ? std::string(kSecretMask) : log_text(value);
}
