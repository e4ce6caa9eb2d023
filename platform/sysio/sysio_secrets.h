// Secrets in the command journal of the simulation seam.
//
// The journal keeps every command line the daemon runs, and some carry
// credentials: the proxy password of the delegate script, the web ticket of
// the log uploader, the challenge of a SCEP certificate request. The journal
// is a log file like any other, so those words are written as "********";
// the command itself runs unchanged.
//
// A word is a secret when
//   - it follows a word that names a secret ("password", "passwd",
//     "passphrase", "ticket" or "challenge" in it, any case), as in
//     "--webticket T"; a word "NAME=VALUE" whose NAME names one keeps its
//     name and hides the value;
//   - or it stands at a known place of a known script (kSysioSecretArgs).
// Shell command lines are split into words as the shell splits them
// (quotes, backslashes, and ; & | < > ending a command), so a quoted
// password with blanks goes as one word; words keep their quoting.
#pragma once

#include <string>
#include <vector>

// What a secret word becomes.
extern const char kSysioSecretMask[];

// A shell command line as the journal records it.
std::string sysio_mask_command(const std::string& cmd);
// An argument vector as the journal records it: its words joined by blanks.
std::string sysio_mask_argv(const std::vector<std::string>& argv);
