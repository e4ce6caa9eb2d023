// State shared by the files of the message layer.
//
// Locking: one mutex (MsgState::lock) guards everything below. Only one
// thread at a time waits on an endpoint's descriptors (the "reader",
// MsgEndpoint::reading); it does so with the lock released, then takes in
// what they hold with the lock held. Other threads that want a
// message of that endpoint wait on MsgState::changed until the reader has
// delivered it or has given the role up; while no thread is the reader, a
// thread holding the lock may take in what is queued without waiting. So
// datagrams are taken from the socket by one thread at a time, in order. A
// message whose type a thread waits for in MSG_RecvMsg is handed to that
// thread; everything else is held for MSG_RecvAnyMsg. User callbacks always
// run with the lock released.
//
// A thread that sends a request and then calls MSG_RecvMsg is exposed for a
// moment between the two calls: a fast reply could be handed to the thread
// in MSG_RecvAnyMsg instead. So a send from a thread that never calls
// MSG_RecvAnyMsg on that endpoint leaves a reply ticket; MSG_RecvAnyMsg on
// other threads then holds back what arrives after it until that thread
// enters MSG_RecvMsg, or kMsgReplyGraceMs has passed (a send that expects no
// reply).
#pragma once

#include <atomic>
#include <chrono>
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
// loaded machine (100 ms was seen to fall short with both cores busy), and
// short enough not to stall the main loop noticeably: only a send that
// expects no reply lets it run out.
constexpr int kMsgReplyGraceMs = 300;

struct MSG_Message {
  uint64_t arrival = 0;  // order of arrival at the local endpoint
  MSG_Type type = 0;
  uint32_t sequence = 0;
  MSG_Endpoint sender = 0;  // id of `senderName` here; 0 for a message built here
  std::string senderName;
  std::string replyTo;  // where a send to remote 0 goes (MSG_AllocMsgCopyHdr)
  std::vector<uint8_t> payload;
};

// One accepted stream connection: a peer that sends to us. Its frames come
// out as they arrive, unless it began with a hello: then a frame is taken in
// when a marker datagram covering it is, or, when the sender wrote it
// because our datagram queue was full, once the datagrams queued before it
// have been taken in (msgStream.cpp).
struct MsgInConn {
  uint64_t id = 0;  // its tag in the endpoint's epoll set
  int fd = -1;      // -1 once the peer closed it; buffered frames may remain
  pid_t pid = 0;    // the peer process
  bool marked = false;
  uint32_t token = 0;  // from the hello, when marked
  uint32_t taken = 0;  // frames taken in after the hello; markers count the same way
  MsgFrameReader reader;
};

// What this process uses to send to one remote endpoint, shared by all local
// endpoints of the process; the sender's name travels in every frame.
struct MsgOutConn {
  ~MsgOutConn();
  int fd = -1;       // stream connection: liveness, and frames too large for a datagram
  int dgramFd = -1;  // datagram socket connected to the remote; -1: it speaks streams only
  uint32_t token = 0;
  std::atomic<bool> broken{false};
  // The remote's datagram queue was full: frames go on the stream, in order,
  // until a marker covering them gets into the queue (msgSend.cpp).
  std::atomic<bool> streamMode{false};
  std::mutex streamLock;    // a marker and its frame go out as a pair
  uint32_t streamFrames = 0;  // frames written after the hello; streamLock
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
  kMsgTagDatagram = 3,
  kMsgFirstConnTag = 16,
};

struct MsgEndpoint {
  std::string name;
  std::string dir;
  std::string path;
  dev_t dev = 0;  // identity of our socket file, so closing never removes a successor's
  ino_t ino = 0;
  int dgramFd = -1;  // where small messages, markers and subscriptions arrive
  int selfFd = -1;   // connected to dgramFd: wake datagrams (msgTakeIn.cpp)
  // Every descriptor above and every connection: the reader waits on this
  // set alone, so that whatever arrives ends the wait at once.
  int epollFd = -1;
  int listenFd = -1;
  int inotifyFd = -1;  // the socket directory: remotes appearing
  // Trying the datagram socket before a wait (msgTakeIn.cpp): whether the
  // next wait does, the last receive filled its batch, waits since the last
  // try, datagrams taken in since the epoll set was last looked at, when it
  // is due to be looked at all the same, and whether a nudge asked for a look.
  bool tryFirst = false;
  bool datagramsQueued = false;
  int sinceTry = 0;
  int sinceLook = 0;
  std::chrono::steady_clock::time_point nextLook;
  bool lookNow = false;
  // Receive room for a batch of kMsgDatagramBatch datagrams of up to
  // kMsgMaxDatagram + 1 bytes each; left untouched until used, so that only
  // the pages that datagrams reach take memory.
  std::unique_ptr<uint8_t[]> datagram;
  uint64_t wakesSent = 0;  // wake datagrams sent to ourselves, and taken in
  uint64_t wakesSeen = 0;
  bool reading = false;
  bool closed = false;
  std::vector<std::shared_ptr<MsgInConn>> conns;
  uint64_t nextConnId = kMsgFirstConnTag;
  std::deque<MSG_Message*> held;
  uint64_t arrivals = 0;
  std::vector<MsgWaiter*> waiters;  // in the order they began to wait
  std::vector<std::pair<std::thread::id, MsgReplyTicket>> tickets;
  std::set<std::thread::id> loopThreads;  // threads that call MSG_RecvAnyMsg here
  std::thread::id lastLoopThread;         // the last one, which need not be looked up again
  std::string lastSender;                 // and the id of the last sender, likewise
  MSG_Endpoint lastSenderId = 0;
  std::vector<MSG_Callback> handlers;
  std::vector<MsgAsyncWatch> watches;
  std::vector<MsgRange> subscribers;
  std::vector<MsgRange> subscriptions;
};

using MsgEndpointPtr = std::shared_ptr<MsgEndpoint>;

// Key of an outgoing connection: (socket directory, remote name). Looked up
// by references too, so that a send costs no copy of either string.
struct MsgOutKeyLess {
  using is_transparent = void;
  template <typename A, typename B>
  bool operator()(const A& a, const B& b) const {
    int c = a.first.compare(b.first);
    return c != 0 ? c < 0 : a.second < b.second;
  }
};

struct MsgState {
  std::mutex lock;
  std::condition_variable changed;
  int sleepers = 0;  // threads waiting on `changed`
  std::map<std::string, MsgEndpointPtr, std::less<>> endpoints;
  std::map<std::string, MSG_Endpoint> ids;               // remote name -> id
  std::deque<std::string> names;  // id - 1 -> remote name; never shrinks, so references stay valid
  std::map<std::pair<std::string, std::string>, std::shared_ptr<MsgOutConn>, MsgOutKeyLess> out;
};

MsgState& msgState();

// Waiting on MsgState::changed and waking its waiters, lock held. Sleepers
// are counted, so that the many wake-ups nobody waits for cost nothing.
inline void msgWakeAll() {
  MsgState& s = msgState();
  if (s.sleepers > 0) s.changed.notify_all();
}
inline void msgSleep(std::unique_lock<std::mutex>& lk) {
  MsgState& s = msgState();
  ++s.sleepers;
  s.changed.wait(lk);
  --s.sleepers;
}
inline void msgSleepUntil(std::unique_lock<std::mutex>& lk, std::chrono::steady_clock::time_point until) {
  MsgState& s = msgState();
  ++s.sleepers;
  s.changed.wait_until(lk, until);
  --s.sleepers;
}

// ---- messages (msgMessage.cpp); no lock needed ----
// A message with everything zero or empty. Released messages are kept in a
// small cache of the releasing thread, with their payload room, and handed
// out again: two allocations fewer per message sent and per message received.
MSG_Message* msgNewMessage();
void msgFreeMessage(MSG_Message* m);
struct MsgMessageFree {
  void operator()(MSG_Message* m) const { msgFreeMessage(m); }
};
using MsgMessagePtr = std::unique_ptr<MSG_Message, MsgMessageFree>;
// The monotonic clock to a few milliseconds, at a fraction of the cost of a
// precise read: for reply tickets, never for a caller's time-out.
std::chrono::steady_clock::time_point msgCoarseNow();

// Diagnostics on stderr, prefixed with the MSG_DebugSetName name.
void msgLog(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// ---- endpoints and remotes (msgEndpoint.cpp); lock held ----
MsgEndpointPtr msgFindLocal(const char* local);
MSG_Endpoint msgIdOf(const std::string& name);
// The name of remote `id`; null when there is none.
const std::string* msgNameOf(MSG_Endpoint id);
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

// ---- taking in (msgTakeIn.cpp); lock held through `lk` ----
// Waits up to timeoutMs (0: not at all, -1: no limit) for what arrives on
// any descriptor of `ep` and takes it in. With a non-zero time-out the
// caller must have checked that no other thread is the reader; the lock is
// released while waiting. With 0, datagrams are taken only while there is no
// reader.
void msgTakeIn(std::unique_lock<std::mutex>& lk, const MsgEndpointPtr& ep, int timeoutMs);
// Returns once everything that reached `ep` before the call has been taken
// in, by this thread or by the reader.
void msgTakeInArrived(std::unique_lock<std::mutex>& lk, const MsgEndpointPtr& ep);
// A data frame from `sender` goes to the first thread waiting for its type,
// else to the queue of held messages; a subscription is recorded.
void msgDeliver(MsgEndpoint& ep, uint16_t kind, MSG_Type type, uint32_t sequence, std::string sender,
                const uint8_t* payload, uint32_t bytes);

// ---- incoming stream connections (msgStream.cpp); lock held ----
// Accepts new connections and takes in the frames of unmarked ones.
void msgStreamAcceptAll(MsgEndpoint& ep);
// Reads connection `tag` after the epoll set reported it.
void msgStreamReadable(MsgEndpoint& ep, uint64_t tag);
// A marker from process `pid`: takes in the frames of its connection `token`
// up to number `count`, waiting (bounded) for those still on their way.
void msgStreamMarked(MsgEndpoint& ep, pid_t pid, uint32_t token, uint32_t count);
// A connection with a hello holds a whole frame that no marker has claimed.
bool msgStreamHasFree(const MsgEndpoint& ep);
// Takes in those frames; the caller has taken in the datagrams queued before.
void msgStreamTakeFree(MsgEndpoint& ep);

// ---- receiving (msgRecv.cpp); lock held ----
// Before a send: the calling thread may wait for a reply; see above.
void msgExpectReply(MsgEndpoint& ep);

// ---- subscriptions (msgSubscribe.cpp); lock held ----
void msgAddSubscriber(MsgEndpoint& ep, const std::string& sender, const uint8_t* payload);
// Subscriptions of `ep` at `remote`, to be sent again because it (re)appeared.
void msgSubscriptionsAt(const MsgEndpoint& ep, const std::string& remote, std::vector<MsgRange>* out);
void msgSubscribeFrame(MsgFrameHead* head, uint8_t payload[kMsgSubscribePayloadBytes], const std::string& local,
                       MSG_Type min, MSG_Type max);
