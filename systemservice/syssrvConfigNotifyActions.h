// Row actions of the configuration change dispatcher that do more than one
// call: they read further variables, write some back, or talk to the
// configuration service. Internal to the dispatcher; the table that routes
// to them is in syssrvConfigNotify.cpp.
#pragma once

#include <string>

// One decoded ConfigChangedNtfy.
struct NotifyChange {
  std::string name;  // dotted name, inner instances as "[n]"
  int instance = 0;  // instance of the last node
  std::string value; // values joined by "\n"
};

// Reads at most `len` characters of `name` (a longer value is cut);
// empty when the read fails.
std::string notifyRead(const char* name, int len);

// Logs the row's text when the logging restart failed, so that the main
// loop tries again on its next pass.
void notifyLoggingResult(int updated, const char* failText);

// Completes a remote-log server address without a port with the default
// port of the protocol, then restarts logging with it.
void notifyRemoteLogAddress(const NotifyChange& c);
// Stops the delegate and starts it again when the proxy settings ask for
// it (after the FIPS mode changed the allowed ciphers).
void notifyDelegateRestart();
// Arms the PAC expiry timer, or restarts discovery when it expired.
void notifyPacExpiry(const NotifyChange& c);
void notifyOutOfBox(const NotifyChange& c);
void notifyDiscoveryComplete(const NotifyChange& c);
// After a software update: language files cleared, the language option
// list reloaded from its defaults, the language set back to English when
// the current one is no longer offered.
void notifyLanguageReset();

// DHCP state and option rows: each reads the variable again (the value in
// the notification may be stale by now) and refreshes DNS.
void notifyIPv4DhcpState(const NotifyChange& c);
void notifyIPv6DhcpState(const NotifyChange& c);
void notifyIPv4DhcpDnsServer(const NotifyChange& c);
void notifyIPv6MoFlag(const NotifyChange& c);
