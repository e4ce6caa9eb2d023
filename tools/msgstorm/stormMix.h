// The messages of a storm: one table row per kind, sent in turn. Requests
// the service answers are mixed with input it must shrug off (types nobody
// serves, payloads that do not parse, one large message now and then), so
// that a lost or doubled answer shows among the noise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/msg/MSG.h"

enum StormPayload {
  kStormEmpty,      // no bytes: a request without fields
  kStormTruncated,  // a field announcing more bytes than follow
  kStormRandom,     // up to 64 random bytes
};

struct StormRow {
  const char* name;
  MSG_Type type;
  StormPayload payload;
  MSG_Type reply;  // the answer's type; 0 when none may come
};

extern const StormRow kStormMix[];
extern const size_t kStormMixRows;

// Every this many messages one goes out as a large unserved message, too
// big for a datagram, so the stream path of the transport takes part.
constexpr uint64_t kStormLargeEvery = 1000;
constexpr uint32_t kStormLargeBytes = 96 * 1024;
constexpr MSG_Type kStormLargeType = 0x1B0FF0;

// The row message `index` of a sender uses.
inline const StormRow& stormRowOf(uint64_t index) { return kStormMix[index % kStormMixRows]; }

// The bytes of one message of `row`; `random` is the sender's generator
// state.
std::string stormPayload(const StormRow& row, uint32_t* random);
