// Alert forwarding: the network management agent and the system log daemon
// write short text datagrams to the alert socket; each record "A <source>
// <code>" becomes one AppStatusAlertNtfy from "SystemSrvc".
#include <sys/socket.h>
#include <sys/types.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "OS/logmsg.h"
#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "systemservice/syssrvAlerts.h"
#include "systemservice/syssrvMessageReply.h"

namespace {

// The senders never write more; a longer datagram is cut to this.
constexpr size_t kAlertMax = 64;

const char kNtfyName[] = "SystemIFAppStatusAlertNtfy";

// One "%d" of the record: optional white space, an optional sign and at
// least one digit, as an int. False for no digits or a number beyond int
// (where sscanf's result would be undefined).
bool alertNumber(const char** p, int* out) {
  const char* s = *p;
  while (isspace(static_cast<unsigned char>(*s))) ++s;
  char* end = nullptr;
  errno = 0;
  long v = strtol(s, &end, 10);
  if (end == s || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
  *out = static_cast<int>(v);
  *p = end;
  return true;
}

// The record at `rec` as "%c %d %d" would read it. `rec` lies inside a
// NUL-terminated copy, so no number runs past the received bytes.
bool alertRecord(const char* rec, int* source, int* code) {
  if (rec[0] != 'A') return false;
  const char* p = rec + 1;
  return alertNumber(&p, source) && alertNumber(&p, code);
}

void forwardAlert(int source, int code) {
  SystemIF::AppStatusAlertNtfy ntfy;
  ntfy.set_alert_source(static_cast<SystemIF::eAppStatusAlertSource>(source));
  ntfy.set_alert_type(static_cast<SystemIF::eAppStatusAlertType>(code));
  syssrvSendNotification(kMsgIdSystemIFAppStatusAlertNtfy, 0, ntfy, kNtfyName);
}

}  // namespace

int syssrvForwardAlertMessages(int sock) {
  if (sock < 0) return 0;
  char buf[kAlertMax + 1];
  ssize_t n = recv(sock, buf, kAlertMax, MSG_DONTWAIT);
  if (n <= 0) return static_cast<int>(n);
  buf[n] = '\0';
  const char* const end = buf + n;
  for (const char* rec = buf; rec != nullptr;
       rec = static_cast<const char*>(memchr(rec + 1, 'A', static_cast<size_t>(end - rec - 1)))) {
    int source = 0, code = 0;
    if (!alertRecord(rec, &source, &code)) {
      logwarn(nullptr, "syssrvForwardAlertMessages: unparsable alert record at byte %d, rest of datagram dropped\n",
              static_cast<int>(rec - buf));
      return 0;
    }
    // A source or code this service does not know cannot be carried by the
    // notification. Only that record is skipped: it is well formed, so the
    // records after it are still found, and a sender that knows a newer value
    // loses nothing else.
    if (!SystemIF::eAppStatusAlertSource_IsValid(source) || !SystemIF::eAppStatusAlertType_IsValid(code)) {
      logwarn(nullptr, "syssrvForwardAlertMessages: unknown alert source %d or type %d, record skipped\n", source,
              code);
      continue;
    }
    forwardAlert(source, code);
  }
  return static_cast<int>(n);
}
