// One policy for values that reach a shell command line, a line-oriented
// file or a log line. Configured and received values are untrusted: a name
// with a quote, a semicolon or a line break must stay one value.
//
// Shell: `shell_word` for a value that stands as a word of its own,
// `shell_dquoted` for a value the command already puts inside double quotes,
// `decimal_text` for numbers (formatted from the parsed number, never the
// text as given). Files: `file_value_ok` refuses a value that would add a
// line, `file_text` removes the line breaks of free text. Logs: `log_text`
// escapes line breaks for a "%s", `log_value` also masks secrets.
#pragma once

#include <string>

// What a secret is logged as.
extern const char kSecretMask[];

// The value as one shell word with the same bytes. An ordinary value
// (letters, digits and "_@%+=:,./-") is given as it is, so command lines keep
// the daemon's usual texts byte for byte; any other value is put in single
// quotes (a ' inside as '\''); the empty value is ''. A value is a C string:
// it ends at its first NUL. A leading "-" stays: the called program may still
// take such a word as an option.
std::string shell_word(const std::string& value);

// The value for use between double quotes of a command line: "\", """, "$"
// and "`" are escaped with a backslash, everything else is kept (up to the
// first NUL, as for shell_word).
std::string shell_dquoted(const std::string& value);

// Parses `text` as a decimal number ("-" and digits only, nothing around
// them) in [min, max] and stores its canonical text in *out ("007" gives
// "7"). False, *out untouched, for anything else.
bool decimal_text(const std::string& text, long long min, long long max, std::string* out);

// True when `value` can be written as (part of) one line of a file: no CR,
// LF or NUL. Otherwise logs one warning naming `what` (never the value) and
// returns false.
bool file_value_ok(const char* what, const std::string& value);

// Free text for one line of a file: `value` without its CR, LF and NUL
// bytes. Logs one warning naming `what` when it removed any.
std::string file_text(const char* what, const std::string& value);

// A copy of `value` for a log line's "%s": CR and LF written as "\r", "\n".
std::string log_text(const std::string& value);

// True for a variable whose value must not be logged: its name contains
// "password" or "challenge" (in any case).
bool is_secret_name(const std::string& name);

// The value of variable `name` for a log line: kSecretMask for a secret,
// else log_text(value).
std::string log_value(const std::string& name, const std::string& value);
