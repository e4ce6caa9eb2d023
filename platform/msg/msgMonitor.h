// Monitors: copies of every message sent, for `syssrvctl monitor`.
//
// A monitor is a listening AF_UNIX sequenced-packet socket in the endpoint
// directory under a name that begins with ".monitor-", which no endpoint can
// have (a leading "." of an endpoint name is escaped). It is set up under a
// temporary name and renamed into place, so the endpoints that watch the
// directory see it appear; a process that opens an endpoint looks for the
// monitors already there.
//
// Every message is sent by exactly one endpoint, so the sending side copies
// it: requests, replies, each notification to each subscriber, small or
// large. A copy is one record on a connection of the sending process to the
// monitor. It never holds the sender up: records are sent without waiting,
// and one that finds the monitor's queue full is dropped and counted (the
// count travels in the next record). A monitor that is gone is forgotten at
// the next copy. Copies go only to a monitor that runs as the sender's user
// or group; another one is refused, and the refusal logged once.
//
// While no monitor is known, a send costs one relaxed atomic load more.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/msg/MSG.h"
#include "platform/msg/msgFrame.h"

constexpr char kMsgMonitorPrefix[] = ".monitor-";

// A record carries at most this much of a payload: enough for every request
// and reply of the configuration service, small enough for the kernel to
// take it as one packet.
constexpr uint32_t kMsgMonitorMaxCopy = 60u * 1024u;

// One record, as the monitor reads it. Words in host order:
//   0   magic "MSGC"    4   type        8   sequence   12  payload bytes
//   16  time (ns, real-time clock, 8 bytes)           24  dropped before
//   28  sender length (1 byte)   29  receiver length (1 byte)   30  0 (2)
//   32  sender, receiver, then the payload's first bytes (up to
//       kMsgMonitorMaxCopy)
struct MsgMonitorRecord {
  uint64_t timeNs = 0;
  MSG_Type type = 0;
  uint32_t sequence = 0;
  uint32_t bytes = 0;    // the whole payload's size
  uint32_t dropped = 0;  // records of this sender lost to a full queue so far
  std::string sender;
  std::string receiver;
  std::vector<uint8_t> payload;  // all of it, or its first kMsgMonitorMaxCopy bytes
};

constexpr size_t kMsgMonitorHeaderBytes = 32;

// Decodes one record of n bytes; false when it is not one.
bool msgMonitorParse(const uint8_t* p, size_t n, MsgMonitorRecord* out);

// ---- the monitor's side ----
// Publishes a monitor socket in `dir`; returns the listening descriptor
// (non-blocking) and its path, or -1 with *error set.
int msgMonitorListen(const std::string& dir, std::string* path, std::string* error);

// ---- the senders' side (hooks of the message layer) ----
// An endpoint was opened in `dir`: learn the monitors already there.
void msgMonitorScan(const std::string& dir);
// A file `name` appeared in `dir`; true when it is a monitor (and no
// endpoint).
bool msgMonitorAppeared(const std::string& dir, const char* name);
// A data frame `head` with its payload was sent to `receiver`.
void msgMonitorCopy(const std::string& dir, const std::string& receiver, const MsgFrameHead& head,
                    const void* payload, size_t bytes);
