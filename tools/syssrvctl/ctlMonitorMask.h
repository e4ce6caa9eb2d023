// Secrets in the monitor's lines. The monitor shows what the services say to
// each other, and some of it is a credential: the proxy and 802.1X
// passwords in configuration writes and reads, the web ticket of a log
// upload, the challenge of a certificate request. Its lines end up in
// terminals and files like any log, so those values are shown as
// "********"; the capture file keeps the bytes as they were sent.
#pragma once

#include <set>
#include <string>
#include <tuple>

#include <google/protobuf/message.h>

#include "platform/msg/msgMonitor.h"

// "password", "passwd", "passphrase", "ticket" or "challenge" in it, any case.
bool ctlNamesSecret(const std::string& name);

class CtlMonitorMask {
 public:
  // Masks, in m (the decoded payload of r), every string field whose name
  // names a secret, and the values of a variable whose name does. A read of
  // such a variable is remembered until its answer, whose values are masked.
  void apply(const MsgMonitorRecord& r, google::protobuf::Message* m);

 private:
  // Reads of secret variables not yet answered: reader, service, sequence.
  std::set<std::tuple<std::string, std::string, uint32_t>> m_reads;
};
