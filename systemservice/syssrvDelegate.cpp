// The local web-proxy delegate, run through its platform script with the
// proxy credentials and the name servers it forwards to.
//
// Commands (through sysio().system()):
//   /opt/corvale/bin/start_delegate.sh  --start '<user>' <password> <dns1> <dns2> <dns3> <dns4>  &
//   (" --restart " in place of " --start " while it runs)
//   /opt/corvale/bin/start_delegate.sh  --stop
#include <cstring>
#include <string>

#include "OS/logmsg.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvHostname.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvQuote.h"

namespace {

const char kDelegateScript[] = "/opt/corvale/bin/start_delegate.sh ";

std::string stored(const char* buf, size_t len) { return std::string(buf, strnlen(buf, len)); }

// The user name inside single quotes, as the script expects it. The script
// takes a DOMAIN\user name with its backslash written four times. A quote
// in the name is closed and escaped, so the name stays one word.
std::string quoted_user(std::string user) {
  const size_t slash = user.find('\\');
  if (slash != std::string::npos) user.insert(slash, "\\\\\\");
  const std::string word = shell_word(user);
  return word[0] == '\'' ? word : "'" + word + "'";
}

// The command line with `password` as its password word.
std::string delegate_command(const std::string& user, const std::string& password) {
  std::string cmd = kDelegateScript;
  cmd += delegate_running != 1 ? " --start " : " --restart ";
  cmd += quoted_user(user) + " " + password + " ";
  for (const char* server : persist_config.dnsServers) {
    const std::string s = stored(server, kDnsServerLen);
    cmd += (s.empty() ? "" : shell_word(s)) + " ";
  }
  return cmd + " &";  // the script stays in the background
}

}  // namespace

void start_delegate() {
  std::string user = stored(delegate_uname, sizeof delegate_uname);
  std::string password = stored(delegate_passwd, sizeof delegate_passwd);
  if (user.empty()) user = "anonymous";
  if (password.empty()) password = "maple";
  logdebug(nullptr, "start_delegate: %s\n", log_text(delegate_command(user, kSecretMask)).c_str());
  sysio().system(delegate_command(user, shell_word(password)));
  delegate_running = 1;  // even when the script failed: a restart is its retry
}

void stop_delegate() {
  sysio().system(std::string(kDelegateScript) + " --stop");
  delegate_running = 0;
  loginfo("SysrvWpad", "stopping delegate !!\n");
}
