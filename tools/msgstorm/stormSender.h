// One sender of a storm: its own endpoint, the mix sent in turn with a
// bounded number of answers outstanding, and every answer checked against
// the request it names by its sequence number.
#pragma once

#include <cstdint>
#include <string>

struct StormSenderOptions {
  std::string local;  // this sender's endpoint
  std::string to;     // the service under the storm
  uint64_t messages = 0;
  uint64_t first = 0;  // index of the first message in the mix, so senders start on different rows
  int window = 64;     // answers outstanding at most
  int deadlineMs = 0;  // the whole run; what is still outstanding then is missing
};

// Plain counters, so that a sender process can hand them to its parent
// through a pipe as they are.
struct StormCounts {
  uint64_t sent = 0;
  uint64_t sendFailed = 0;
  uint64_t requests = 0;   // sent messages that must be answered
  uint64_t replies = 0;    // answers to them, each counted once
  uint64_t duplicate = 0;  // a second answer to the same request
  uint64_t stray = 0;      // an answer to nothing that asked, or of the wrong type, or unparsable
  uint64_t missing = 0;    // requests without an answer at the end
  int failed = 0;          // the endpoint could not be opened or the service not found
};

StormCounts stormSend(const StormSenderOptions& options);
