// The target text dnssrvc answers for an SRV lookup.
#pragma once

#include <string>

// Picks the server of an SRV answer (a whole DNS response message): the
// record of lowest priority, of those the one of highest weight, the first
// of equals. Its target goes out as "host:port", the host without its final
// dot: the form a DMS server is stored in. Returns 0 with *target set, or a
// CommonIF eErrorType number: kErrItemNotFound when the answer has no SRV
// record naming a server (a target of "." says the service is not offered),
// kErrGenericError when the message does not parse.
int dnsSrvTarget(const unsigned char* answer, int length, std::string* target);
