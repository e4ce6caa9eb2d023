// The server texts that provisioning discovery finds, taken apart into the
// configuration. A ZUN server is stored as found. A DMS server may carry its
// credentials before the server itself:
//
//   [http[s]://][DOMAIN\\]user@password:server[:port][/path]
//
// (two backslashes after the domain). The values go to configuration
// variables only, never to a shell or a file, so they are stored byte for
// byte; log lines get them escaped, and with the credentials masked.
#include <strings.h>

#include <cstring>
#include <new>
#include <string>

#include "OS/logmsg.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvProvisioning.h"
#include "systemservice/syssrvQuote.h"

namespace {

const char kComponent[] = "provisioning";
const char kFunc[] = "parseUrlForProvisionServerDetails";
const char kDomainSep[] = "\\\\";

// The URL for a log line: whatever may hold a password (from behind the
// scheme to the server) is masked.
std::string urlForLog(const std::string& url) {
  const size_t scheme = url.find("://");
  const size_t from = scheme == std::string::npos ? 0 : scheme + 3;
  const size_t at = url.find('@', from);
  if (at == std::string::npos) return log_text(url);
  size_t end = url.find(':', at);
  if (end == std::string::npos) end = url.rfind('@');
  return log_text(url.substr(0, from) + kSecretMask + url.substr(end));
}

bool hasPrefixNoCase(const std::string& s, const char* prefix) {
  return strncasecmp(s.c_str(), prefix, strlen(prefix)) == 0;
}

int parseDmsUrl(const std::string& url) {
  std::string rest = url;
  if (rest.find("://") != std::string::npos) {
    if (!hasPrefixNoCase(rest, "https://") && !hasPrefixNoCase(rest, "http://")) {
      logwarn(kComponent, "%s() unexpected protocol in %s\n", kFunc, urlForLog(url).c_str());
      return 1;
    }
    rest.erase(0, rest.find("://") + 3);
  }
  const size_t at = rest.find('@');
  const size_t colon = rest.find(':');
  if (at != std::string::npos && colon != std::string::npos) {
    // The password ends at the first ":"; one before the "@" is no layout
    // of ours, and taking it apart would store the wrong texts.
    if (colon < at) {
      logwarn(kComponent, "%s() unexpected credentials in %s\n", kFunc, urlForLog(url).c_str());
      return 1;
    }
    const size_t sep = rest.find(kDomainSep);
    size_t user = 0;
    if (sep != std::string::npos && sep < at) {
      config_write("management.provisioning.dms.domain", rest.substr(0, sep).c_str(), kStartup);
      user = sep + 2;
    }
    config_write("management.provisioning.dms.user", rest.substr(user, at - user).c_str(), kStartup);
    config_write("management.provisioning.dms.password", rest.substr(at + 1, colon - at - 1).c_str(), kStartup);
    rest.erase(0, colon + 1);
  }
  if (!rest.empty() && rest.back() == '/') rest.pop_back();
  config_write("management.provisioning.dms.server", rest.c_str(), kStartup);
  return 0;
}

}  // namespace

int parseUrlForProvisionServerDetails(const char* url, const char* serviceName) {
  if (url == nullptr || url[0] == '\0' || serviceName == nullptr) {
    logwarn(kComponent, "%s() invalid parameter\n", kFunc);
    return 1;
  }
  if (strcmp(serviceName, "_zunconfig") == 0) {
    config_write("management.provisioning.zun.server", url, kStartup);
    return 0;
  }
  if (strcmp(serviceName, "_dmsconfig") != 0) {
    logwarn(kComponent, "%s() unexpected serviceName: %s\n", kFunc, log_text(serviceName).c_str());
    return 1;
  }
  try {
    return parseDmsUrl(url);
  } catch (const std::bad_alloc&) {
    logerr(kComponent, "%s() out of memory\n", kFunc);
    return 1;
  }
}
