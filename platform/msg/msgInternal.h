// State shared by the files of the message layer.
//
// Locking: one mutex (MsgState::lock) guards everything below. Only one
// thread at a time waits in poll() on an endpoint's sockets (the "reader",
// MsgEndpoint::reading); it does so with the lock released, then reads what
// arrived with the lock held. Other threads that want a message of that
// endpoint wait on MsgState::changed until the reader has delivered it or has
// given the role up. A message whose type a thread waits for in MSG_RecvMsg
// is handed to that thread; everything else is held for MSG_RecvAnyMsg.
// User callbacks always run with the lock released.
#pragma once

#include <condition_variable>
#include <cstdarg>
#include <deque>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>
#include <sys/types.h>

#include "platform/msg/MSG.h"
#include "platform/msg/msgFrame.h"

// A peer that does not read gets this long to take a message before the send
// fails; long enough for a busy service, short enough that a stuck one
// cannot stop its clients for good.
constexpr int kMsgSendTimeoutMs = 5000;

struct MSG_Message {
  MSG_Type type = 0;
  uint32_t sequence = 0;
  MSG_Endpoint sender = 0;  // id of `senderName` here; 0 for a message built here
  std::string senderName;
  std::string replyTo;  // where a send to remote 0 goes (MSG_AllocMsgCopyHdr)
  std::vector<uint8_t> payload;
};

// One accepted connection: a peer that sends to us.
struct MsgInConn {
  int fd = -1;
  MsgFrameReader reader;
};

// One connection of ours to a remote endpoint, shared by all local
// endpoints of the process; the sender's name travels in every frame.
struct MsgOutConn {
  ~MsgOutConn();
  int fd = -1;
  bool broken = false;
  std::mutex sendLock;  // frames of two threads must not interleave
};

// A type range of one peer: a subscriber of ours (publisher side) or a
// subscription of ours at a remote (subscriber side).
struct MsgRange {
  std::string name;
  MSG_Type min;
  MSG_Type max;
};

struct MsgAsyncWatch {
  std::string remote;
  MSG_Callback cb;
  bool pending;  // the remote (re)appeared; run cb at the next MSG_RecvAnyMsg
};

// A thread blocked in MSG_RecvMsg.
struct MsgWaiter {
  MSG_Type type;
  MSG_Message* msg;
};

struct MsgEndpoint {
  std::string name;
  std::string dir;
  std::string path;
  dev_t dev = 0;  // identity of our socket file, so closing never removes a successor's
  ino_t ino = 0;
  int listenFd = -1;
  int inotifyFd = -1;  // the socket directory: remotes appearing
  int wakeFd = -1;     // interrupts the reader's poll when the endpoint closes
  bool reading = false;
  bool closed = false;
  std::vector<std::shared_ptr<MsgInConn>> conns;
  std::vector<int> deferredClose;  // descriptors the reader may still be polling
  std::deque<MSG_Message*> held;
  std::list<MsgWaiter*> waiters;
  std::vector<MSG_Callback> handlers;
  std::vector<MsgAsyncWatch> watches;
  std::vector<MsgRange> subscribers;
  std::vector<MsgRange> subscriptions;
};

using MsgEndpointPtr = std::shared_ptr<MsgEndpoint>;

struct MsgState {
  std::mutex lock;
  std::condition_variable changed;
  std::map<std::string, MsgEndpointPtr> endpoints;
  std::map<std::string, MSG_Endpoint> ids;               // remote name -> id
  std::vector<std::string> names;                        // id - 1 -> remote name
  std::map<std::string, std::shared_ptr<MsgOutConn>> out;  // socket path -> connection
};

MsgState& msgState();

// Diagnostics on stderr, prefixed with the MSG_DebugSetName name.
void msgLog(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// ---- endpoints and remotes (msgEndpoint.cpp); lock held ----
MsgEndpointPtr msgFindLocal(const char* local);
MSG_Endpoint msgIdOf(const std::string& name);
std::string msgNameOf(MSG_Endpoint id);
// Closes a descriptor, or leaves it to the reader that may be polling it.
void msgCloseFd(MsgEndpoint& ep, int fd);
// Closes every descriptor of a closed endpoint and frees what it held.
void msgReleaseEndpoint(MsgEndpoint& ep);

// ---- outgoing frames (msgSend.cpp); lock NOT held ----
// Sends one frame to endpoint `remote` in `dir`, connecting when needed and
// once more on a fresh connection when the cached one turns out broken (the
// peer may have restarted). 0 or -1.
int msgSendFrame(const std::string& dir, const std::string& remote, const std::string& header, const void* payload,
                 size_t bytes);
// The remote accepts connections now (a connection to it is cached).
bool msgRemoteAlive(const std::string& dir, const std::string& remote);

// ---- receiving (msgRecv.cpp); lock held through `lk` ----
// Waits up to timeoutMs (0: not at all) for socket activity on `ep` and
// takes in everything that arrived. With a non-zero time-out the caller must
// have checked that no other thread is the reader; the lock is released
// while waiting.
void msgPollAndRead(std::unique_lock<std::mutex>& lk, const MsgEndpointPtr& ep, int timeoutMs);

// ---- subscriptions (msgSubscribe.cpp); lock held ----
void msgAddSubscriber(MsgEndpoint& ep, const MsgFrame& frame);
// Subscriptions of `ep` at `remote`, to be sent again because it (re)appeared.
void msgSubscriptionsAt(const MsgEndpoint& ep, const std::string& remote, std::vector<MsgRange>* out);
std::string msgSubscribeHeader(const std::string& local, uint8_t payload[kMsgSubscribePayloadBytes], MSG_Type min,
                               MSG_Type max);
