// The unit's network names and the infra-red receiver's channel: the host
// name derived from the system name, the certificate request's common name
// and subject-alternative FQDN, and the remote-control channel.
//
// Variables written (role kSystem): system.network.hostname,
// system.pki.csr.commonname, system.pki.csr.sanfqdn.
// Driver attribute written: ir_filter_sys_file ("/proc/crvl_ir_fltr" or the
// FPGA's), one hexadecimal digit.
#include <regex.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "OS/linux/psosapi/ptimer.h"
#include "OS/logmsg.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvHostname.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvQuote.h"

namespace {

const char kHostnameVar[] = "system.network.hostname";
const char kDomainVar[] = "system.network.domainname";
const char kCommonNameVar[] = "system.pki.csr.commonname";
const char kSanFqdnVar[] = "system.pki.csr.sanfqdn";
constexpr int kNameLen = 64;  // both names are read as 63 characters

// One to 63 letters, digits and hyphens, neither first nor last a hyphen.
// The hyphen stands alone at the end of its bracket: a "\-" there would also
// let a backslash into the host name (a backslash is no escape in a bracket).
const char kHostnamePattern[] = "^[[:alnum:]]([[:alnum:]-]{0,61}[[:alnum:]])?$";

bool valid_hostname(const char* name) {
  regex_t re;
  if (regcomp(&re, kHostnamePattern, REG_EXTENDED | REG_NOSUB) != 0) return false;
  const bool ok = regexec(&re, name, 0, nullptr, 0) == 0;
  regfree(&re);
  return ok;
}

// "RoomLine-" and six capitals and digits drawn from a generator seeded with
// the millisecond clock; a draw's parity picks digit or letter.
std::string random_hostname() {
  srand48(static_cast<long>(RealTimeMilliSeconds()));
  std::string name = "RoomLine-";
  for (int i = 0; i < 6; ++i) {
    const bool digit = (lrand48() & 1) != 0;
    const long long span = digit ? 10 : 26;
    const int pick = static_cast<int>(std::min(span - 1, lrand48() * span / (1LL << 31)));
    name += static_cast<char>((digit ? '0' : 'A') + pick);
  }
  return name;
}

}  // namespace

void set_hostname(const char* name) {
  const char* given = name != nullptr ? name : "";
  const std::string hostname = valid_hostname(given) ? std::string(given) : random_hostname();
  logdebug(nullptr, "set_hostname \"%s\" \"%s\"\n", log_text(given).c_str(), hostname.c_str());
  config_write(kHostnameVar, hostname.c_str(), kSystem);
}

void set_commonname() {
  const std::string host = config_read_str(kHostnameVar, kNameLen);
  const std::string domain = config_read_str(kDomainVar, kNameLen);
  char commonName[2 * kNameLen];
  snprintf(commonName, sizeof commonName, "%s%c%s", host.c_str(), '.', domain.c_str());
  logdebug(nullptr, "set_commonname: %s\n", log_text(commonName).c_str());
  config_write(kCommonNameVar, commonName, kSystem);
  config_write(kSanFqdnVar, commonName, kSystem);
}

void update_remote_channel_id(char* value) {
  const char* text = value != nullptr ? value : "";
  const int channel = atoi(text);
  logdebug(nullptr, "update_remote_chanel_id %s = %X\n", log_text(text).c_str(), static_cast<unsigned>(channel));
  // The filter takes one hexadecimal digit: channels 0 to 15, and of a larger
  // number only its first digit.
  char digit[2];
  snprintf(digit, sizeof digit, "%X", static_cast<unsigned>(channel));
  if (sysio_write_attr(ir_filter_sys_file, digit)) return;
  const int err = errno;
  if (sysio().access(ir_filter_sys_file, W_OK) != 0) {
    logerr(nullptr, " write_int failed to open %s (errno=%d)\n", ir_filter_sys_file, err);
  } else {
    logerr(nullptr, "Error writing to proc file %s: %d\n", ir_filter_sys_file, -1);
  }
}
