#include "tools/dnssrvc/dnsSrvAnswer.h"

#include <arpa/nameser.h>
#include <resolv.h>

#include "CommonIF.pb.h"

int dnsSrvTarget(const unsigned char* answer, int length, std::string* target) {
  ns_msg msg;
  if (ns_initparse(answer, length, &msg) != 0) return CommonIF::kErrGenericError;
  bool found = false;
  unsigned bestPriority = 0;
  unsigned bestWeight = 0;
  for (int i = 0; i < ns_msg_count(msg, ns_s_an); ++i) {
    ns_rr rr;
    if (ns_parserr(&msg, ns_s_an, i, &rr) != 0) return CommonIF::kErrGenericError;
    // priority, weight, port (16 bits each), then the target name.
    if (ns_rr_type(rr) != ns_t_srv || ns_rr_rdlen(rr) < 7) continue;
    const unsigned char* rdata = ns_rr_rdata(rr);
    const unsigned priority = ns_get16(rdata);
    const unsigned weight = ns_get16(rdata + 2);
    const unsigned port = ns_get16(rdata + 4);
    char host[NS_MAXDNAME];
    if (dn_expand(ns_msg_base(msg), ns_msg_end(msg), rdata + 6, host, sizeof host) < 0) {
      return CommonIF::kErrGenericError;
    }
    if (host[0] == '\0' || (host[0] == '.' && host[1] == '\0')) continue;
    if (found && (priority > bestPriority || (priority == bestPriority && weight <= bestWeight))) continue;
    found = true;
    bestPriority = priority;
    bestWeight = weight;
    *target = std::string(host) + ":" + std::to_string(port);
  }
  return found ? 0 : CommonIF::kErrItemNotFound;
}
