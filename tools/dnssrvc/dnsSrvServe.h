// dnssrvc's service: answers DnsIF DnsSrvReq on "DnsSrvc".
#pragma once

#include <atomic>
#include <functional>
#include <ostream>
#include <string>

#include "DnsIF.pb.h"

extern const char* const kDnsSrvcName;  // "DnsSrvc"

// How requests are answered, for tests of the daemon's failure paths.
struct DnsSrvcOptions {
  bool error = false;  // every answer carries kErrGenericError and no target
  int delayMs = 0;     // each answer goes this long after its request came
  bool silent = false; // no request is answered
};

// Looks up one request: 0 with the target, or an eErrorType number.
using DnsSrvResolver = std::function<int(const DnsIF::DnsSrvReq& req, std::string* target)>;

// The C library's resolver: an SRV query for "<service>.<protocol>.<domain>"
// (res_query), its answer read by dnsSrvTarget.
int dnsSrvResolve(const DnsIF::DnsSrvReq& req, std::string* target);

// Makes the resolver ask only the name server at this IPv4 address (port
// 53); false when the text is not such an address. The resolver state is
// the calling thread's: call it on the thread that runs dnsSrvcServe.
bool dnsSrvUseServer(const char* address);

// Opens "DnsSrvc" and answers until `stop` is set; one line on `out` per
// request. Non-zero when the endpoint cannot be opened.
int dnsSrvcServe(const DnsSrvcOptions& options, const DnsSrvResolver& resolve, const std::atomic<bool>& stop,
                 std::ostream& out, std::ostream& err);
