// `alert TEXT [--to PATH]`: sends TEXT as one datagram to the daemon's alert
// socket, as the network management agent and the system log daemon do.
// TEXT takes C escapes (\n \t \r \0 \\ \xNN) so that any bytes, NULs and
// unterminated records included, can be sent. PATH defaults to the
// appliance's "/tmp/snmp_msg", under $SYSSRV_ROOT when that names a sandbox.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/syssrvctl/syssrvctl.h"

namespace {

const char kAlertSocket[] = "/tmp/snmp_msg";

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool ctlUnescape(const std::string& text, std::string* out, std::string* error) {
  static const char kSimple[][2] = {{'n', '\n'}, {'t', '\t'}, {'r', '\r'}, {'0', '\0'}, {'\\', '\\'}};
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out->push_back(text[i]);
      continue;
    }
    if (++i == text.size()) {
      *error = "a lone backslash ends the text";
      return false;
    }
    const char e = text[i];
    bool known = false;
    for (const auto& s : kSimple) {
      if (s[0] == e) {
        out->push_back(s[1]);
        known = true;
      }
    }
    if (known) continue;
    int hi = e == 'x' && i + 1 < text.size() ? hexDigit(text[i + 1]) : -1;
    if (hi < 0) {
      *error = std::string("unknown escape \\") + e + " (\\n \\t \\r \\0 \\\\ \\xNN)";
      return false;
    }
    ++i;
    const int lo = i + 1 < text.size() ? hexDigit(text[i + 1]) : -1;
    if (lo >= 0) ++i;
    out->push_back(static_cast<char>(lo >= 0 ? hi * 16 + lo : hi));
  }
  return true;
}

int ctlCmdAlert(const CtlArgs& args, CtlIo& io) {
  if (args.positional.size() != 1) return io.fail(kCtlExitBadInput, "alert: one TEXT expected");
  std::string bytes, error;
  if (!ctlUnescape(args.positional[0], &bytes, &error)) return io.fail(kCtlExitBadInput, "alert: " + error);
  std::string path = args.to;
  if (path.empty()) {
    const char* root = std::getenv("SYSSRV_ROOT");
    path = std::string(root != nullptr ? root : "") + kAlertSocket;
  }
  struct sockaddr_un addr;
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) return io.fail(kCtlExitBadInput, "alert: socket path too long: " + path);
  std::memcpy(addr.sun_path, path.c_str(), path.size());
  const int sock = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  const ssize_t sent = sock < 0 ? -1
                                : ::sendto(sock, bytes.data(), bytes.size(), 0,
                                           reinterpret_cast<const struct sockaddr*>(&addr), sizeof addr);
  const int saved = errno;
  if (sock >= 0) ::close(sock);
  if (sent != static_cast<ssize_t>(bytes.size())) {
    return io.fail(kCtlExitFailed, "alert: sending to " + path + " failed: " + std::strerror(saved));
  }
  return kCtlExitOk;
}
