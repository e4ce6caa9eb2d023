// State shared by the files of the message layer.
//
// Locking: one mutex (MsgState::lock) guards everything below. Only one
// thread at a time waits in epoll_wait() on an endpoint's descriptors (the
// "reader", MsgEndpoint::reading); it does so with the lock released, then
// reads what arrived with the lock held. Other threads that want a message of that
// endpoint wait on MsgState::changed until the reader has delivered it or has
// given the role up. A message whose type a thread waits for in MSG_RecvMsg
// is handed to that thread; everything else is held for MSG_RecvAnyMsg.
// User callbacks always run with the lock released.
//
// A thread that sends a request and then calls MSG_RecvMsg is exposed for a
// moment between the two calls: a fast reply could be handed to the thread
// in MSG_RecvAnyMsg instead. So a send from a thread that never calls
// MSG_RecvAnyMsg on that endpoint leaves a reply ticket; MSG_RecvAnyMsg on
// other threads then holds back what arrives after it until that thread
// enters MSG_RecvMsg, or kMsgReplyGraceMs has passed (a send that expects no
// reply).
#pragma once

#include <condition_variable>
#include <cstdarg>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>
#include <set>
#include <thread>
#include <sys/types.h>

#include "platform/msg/MSG.h"
#include "platform/msg/msgFrame.h"

// A peer that does not read gets this long to take a message before the send
// fails; long enough for a busy service, short enough that a stuck one
// cannot stop its clients for good.
constexpr int kMsgSendTimeoutMs = 5000;

// How long a reply ticket holds messages back from MSG_RecvAnyMsg: far more
// than the gap between a send and the receive that follows it, even on a
// loaded machine, and short enough not to stall the main loop noticeably.
constexpr int kMsgReplyGraceMs = 100;

struct MSG_Message {
  uint64_t arrival = 0;  // order of arrival at the local endpoint
  MSG_Type type = 0;
  uint32_t sequence = 0;
  MSG_Endpoint sender = 0;  // id of `senderName` here; 0 for a message built here
  std::string senderName;
  std::string replyTo;  // where a send to remote 0 goes (MSG_AllocMsgCopyHdr)
  std::vector<uint8_t> payload;
};

// One accepted connection: a peer that sends to us.
struct MsgInConn {
  uint64_t id = 0;  // its tag in the endpoint's epoll set
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

// A send from a thread that will wait for the reply in MSG_RecvMsg.
struct MsgReplyTicket {
  uint64_t after;  // messages that arrived after this may be its reply
  std::chrono::steady_clock::time_point until;
};

// A thread blocked in MSG_RecvMsg.
struct MsgWaiter {
  MSG_Type type;
  MSG_Message* msg;
};

// Tags of the endpoint's own descriptors in its epoll set; connections are
// tagged by id from kMsgFirstConnTag on, so a descriptor number reused after
// a close can never be mistaken for the old connection.
enum MsgEpollTag : uint64_t {
  kMsgTagListen = 1,
  kMsgTagDir = 2,
  kMsgTagWake = 3,
  kMsgTagTimer = 4,
  kMsgFirstConnTag = 16,
};

struct MsgEndpoint {
  std::string name;
  std::string dir;
  std::string path;
  dev_t dev = 0;  // identity of our socket file, so closing never removes a successor's
  ino_t ino = 0;
  // One epoll set registered once, rather than a poll() list rebuilt for
  // every receive: waiting costs about what a plain blocking read costs.
  int epollFd = -1;
  int listenFd = -1;
  int inotifyFd = -1;  // the socket directory: remotes appearing
  int wakeFd = -1;     // interrupts the reader's wait when the endpoint closes
  int timerFd = -1;    // ends the reader's wait at its deadline (msgRecv.cpp)
  bool timerArmed = false;
  std::chrono::steady_clock::time_point timerAt;
  bool reading = false;
  bool closed = false;
  std::vector<std::shared_ptr<MsgInConn>> conns;
  uint64_t nextConnId = kMsgFirstConnTag;
  std::deque<MSG_Message*> held;
  uint64_t arrivals = 0;
  std::vector<MsgWaiter*> waiters;  // in the order they began to wait
  std::vector<std::pair<std::thread::id, MsgReplyTicket>> tickets;
  std::set<std::thread::id> loopThreads;  // threads that call MSG_RecvAnyMsg here
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
  // (socket directory, remote name) -> connection
  std::map<std::pair<std::string, std::string>, std::shared_ptr<MsgOutConn>> out;
};

MsgState& msgState();

// Diagnostics on stderr, prefixed with the MSG_DebugSetName name.
void msgLog(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// ---- endpoints and remotes (msgEndpoint.cpp); lock held ----
MsgEndpointPtr msgFindLocal(const char* local);
MSG_Endpoint msgIdOf(const std::string& name);
std::string msgNameOf(MSG_Endpoint id);
// Adds a descriptor to the endpoint's epoll set; false on failure.
bool msgWatchFd(MsgEndpoint& ep, int fd, uint64_t tag);
// Closes every descriptor of a closed endpoint and frees what it held.
void msgReleaseEndpoint(MsgEndpoint& ep);

// ---- outgoing frames (msgSend.cpp); lock NOT held ----
// Sends one frame to endpoint `remote` in `dir`, connecting when needed and
// once more on a fresh connection when the cached one turns out broken (the
// peer may have restarted). 0 or -1.
int msgSendFrame(const std::string& dir, const std::string& remote, const MsgFrameHead& head, const void* payload,
                 size_t bytes);
// The remote accepts connections now (a connection to it is cached).
bool msgRemoteAlive(const std::string& dir, const std::string& remote);

// ---- receiving (msgRecv.cpp); lock held through `lk` ----
// Waits up to timeoutMs (0: not at all, -1: no limit) for activity on `ep`
// and takes in everything that arrived. With a non-zero time-out the caller must
// have checked that no other thread is the reader; the lock is released
// while waiting.
void msgPollAndRead(std::unique_lock<std::mutex>& lk, const MsgEndpointPtr& ep, int timeoutMs);
// Before a send: the calling thread may wait for a reply; see above.
void msgExpectReply(MsgEndpoint& ep);

// ---- subscriptions (msgSubscribe.cpp); lock held ----
void msgAddSubscriber(MsgEndpoint& ep, const MsgFrame& frame);
// Subscriptions of `ep` at `remote`, to be sent again because it (re)appeared.
void msgSubscriptionsAt(const MsgEndpoint& ep, const std::string& remote, std::vector<MsgRange>* out);
void msgSubscribeFrame(MsgFrameHead* head, uint8_t payload[kMsgSubscribePayloadBytes], const std::string& local,
                       MSG_Type min, MSG_Type max);
