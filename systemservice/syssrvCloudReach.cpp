// Whether the cloud and zero-touch (ZTP) provisioning servers of a unit
// still out of the box can be reached: one TCP connect to the configured
// host and port.
//
// The socket calls here are literal, not through the seam: the test is a
// real connection and nothing else, and a unit test gives it a real
// listener on 127.0.0.1 as cheaply as a fake would be.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "OS/logmsg.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvProvisioning.h"
#include "systemservice/syssrvQuote.h"

namespace {

const char kComponent[] = "provisioning";
const char kFunc[] = "determineCloudServerAccessibility";
// Addresses are read with at most 191 characters.
constexpr int kAddressLen = 192;
constexpr int kDefaultPort = 443;
// Send and receive time-outs of the socket; the send time-out also bounds
// the connect.
constexpr time_t kSocketTimeoutSec = 40;

struct CloudKind {
  const char* kind;  // compared on its first four characters
  const char* addressVar;
  const char* accessibleVar;
};
const CloudKind kKinds[] = {
    {"cloud", "system.info.cloudserveraddress", "system.info.cloudserveraccessible"},
    {"ztp", "system.info.ztpserveraddress", "system.info.ztpserveraccessible"},
};

class Socket {
 public:
  Socket() : m_fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
  ~Socket() {
    if (m_fd >= 0) close(m_fd);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int fd() const { return m_fd; }

 private:
  int m_fd;
};

bool setTimeouts(int fd) {
  const timeval tv = {kSocketTimeoutSec, 0};
  return setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0 &&
         setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) == 0;
}

// "[scheme://]host[:port]": connects to host, port 443 when none is given.
bool reachable(const char* address) {
  const char* scheme = strstr(address, "://");
  std::string host = scheme != nullptr ? scheme + 3 : address;
  long port = kDefaultPort;
  const size_t colon = host.rfind(':');
  if (colon != std::string::npos) {
    port = strtol(host.c_str() + colon + 1, nullptr, 0);
    host.erase(colon);
  }
  logdebug(kComponent, "%s() %s port %d\n", kFunc, log_text(host).c_str(), static_cast<int>(port));
  if (port < 1 || port > 65535) {
    logerr(kComponent, "%s() invalid port %ld\n", kFunc, port);
    return false;
  }
  Socket s;
  if (s.fd() < 0) {
    logerr(kComponent, "%s() failed opening socket with %s\n", kFunc, strerror(errno));
    return false;
  }
  const hostent* he = gethostbyname(host.c_str());
  if (he == nullptr || he->h_addrtype != AF_INET || he->h_addr_list[0] == nullptr) {
    logerr(kComponent, "%s() gethostbyname(%s) failed\n", kFunc, log_text(host).c_str());
    return false;
  }
  sockaddr_in sa = {};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  memcpy(&sa.sin_addr, he->h_addr_list[0], sizeof sa.sin_addr);
  if (!setTimeouts(s.fd())) {
    logerr(kComponent, "%s() setsockopt failed with %s\n", kFunc, strerror(errno));
    return false;
  }
  if (connect(s.fd(), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
    logerr(kComponent, "%s() connect failed with %s\n", kFunc, strerror(errno));
    return false;
  }
  return true;
}

}  // namespace

void determineCloudServerAccessibility(const char* typeOfCloud) {
  if (typeOfCloud == nullptr) return;
  for (const CloudKind& k : kKinds) {
    if (strncmp(typeOfCloud, k.kind, 4) != 0) continue;
    char address[kAddressLen] = "";
    bool ok = false;
    if (config_read(k.addressVar, address, sizeof address, nullptr) != 0) {
      // The two texts differ by one letter; tools that watch the log match them.
      if (k.kind[0] == 'c') {
        logerr(kComponent, "%s() failed readng config var %s\n", kFunc, k.addressVar);
      } else {
        logerr(kComponent, "%s() failed reading config var %s\n", kFunc, k.addressVar);
      }
    } else {
      ok = reachable(address);
    }
    config_write(k.accessibleVar, ok ? "True" : "False", kStartup);
    return;
  }
}
