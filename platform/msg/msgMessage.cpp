// Message objects, sequence numbers and the library's diagnostics.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <vector>

#include "platform/msg/msgInternal.h"

namespace {

std::mutex gNameLock;
char gDebugName[64] = "MSG";
std::atomic<uint32_t> gSequence{0};

// A request and its reply, a few held messages: enough for a thread's
// traffic without keeping much memory.
constexpr size_t kMsgCachedMessages = 16;
// Payload room kept with a cached message; larger buffers are freed.
constexpr size_t kMsgCachedPayloadBytes = 4096;

// Messages released while the thread's destructors run, or after, are freed
// at once: the cache is gone.
thread_local bool tCacheGone = false;

struct MsgMessageCache {
  std::vector<MSG_Message*> spare;
  ~MsgMessageCache() {
    tCacheGone = true;
    for (MSG_Message* m : spare) delete m;
  }
};

thread_local MsgMessageCache tCache;

MSG_Message* newMessage(MSG_Type type, uint32_t sequence, uint32_t bytes) {
  if (bytes > MSG_MAX_PAYLOAD) {
    msgLog("refusing a %u-byte payload, the limit is %u", bytes, MSG_MAX_PAYLOAD);
    return nullptr;
  }
  MSG_Message* m = msgNewMessage();
  if (m == nullptr) return nullptr;
  try {
    m->payload.resize(bytes);
  } catch (const std::bad_alloc&) {
    msgFreeMessage(m);
    msgLog("out of memory for a %u-byte payload", bytes);
    return nullptr;
  }
  m->type = type;
  m->sequence = sequence;
  return m;
}

}  // namespace

MSG_Message* msgNewMessage() {
  if (!tCacheGone && !tCache.spare.empty()) {
    MSG_Message* m = tCache.spare.back();
    tCache.spare.pop_back();
    return m;
  }
  return new (std::nothrow) MSG_Message;
}

void msgFreeMessage(MSG_Message* m) {
  if (m == nullptr) return;
  if (tCacheGone || tCache.spare.size() >= kMsgCachedMessages) {
    delete m;
    return;
  }
  m->arrival = 0;
  m->type = 0;
  m->sequence = 0;
  m->sender = 0;
  m->senderName.clear();
  m->replyTo.clear();
  if (m->payload.capacity() > kMsgCachedPayloadBytes) {
    std::vector<uint8_t>().swap(m->payload);
  } else {
    m->payload.clear();
  }
  try {
    tCache.spare.push_back(m);
  } catch (const std::bad_alloc&) {
    delete m;
  }
}

std::chrono::steady_clock::time_point msgCoarseNow() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
  return std::chrono::steady_clock::time_point(std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec));
}

MsgState& msgState() {
  static MsgState* state = new MsgState;  // never destroyed: other threads may still use it at exit
  return *state;
}

void msgLog(const char* fmt, ...) {
  char line[512];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(line, sizeof line, fmt, ap);
  va_end(ap);
  std::lock_guard<std::mutex> g(gNameLock);
  fprintf(stderr, "%s: %s\n", gDebugName, line);
}

int MSG_DebugSetName(const char* name) {
  if (name == nullptr) return -1;
  std::lock_guard<std::mutex> g(gNameLock);
  snprintf(gDebugName, sizeof gDebugName, "%s", name);
  return 0;
}

uint32_t MSG_GetNextSequence() {
  // 0 means "no sequence" to the callers, so it is skipped on wrap-around.
  uint32_t s;
  do {
    s = ++gSequence;
  } while (s == 0);
  return s;
}

MSG_Message* MSG_AllocMsg(MSG_Type type, uint32_t sequence, uint32_t bytes) {
  return newMessage(type, sequence, bytes);
}

MSG_Message* MSG_AllocMsgCopyHdr(const MSG_Message* request, MSG_Type type, uint32_t bytes) {
  if (request == nullptr) return nullptr;
  MSG_Message* m = newMessage(type, request->sequence, bytes);
  if (m == nullptr) return nullptr;
  try {
    m->replyTo = request->senderName;
  } catch (const std::bad_alloc&) {
    msgFreeMessage(m);
    return nullptr;
  }
  return m;
}

MSG_Message* MSG_CloneMsg(const MSG_Message* msg) {
  if (msg == nullptr) return nullptr;
  MSG_Message* m = msgNewMessage();
  if (m == nullptr) return nullptr;
  try {
    *m = *msg;
    return m;
  } catch (const std::bad_alloc&) {
    msgFreeMessage(m);
    msgLog("out of memory cloning a %zu-byte message", msg->payload.size());
    return nullptr;
  }
}

void MSG_ReleaseMsg(MSG_Message* msg) { msgFreeMessage(msg); }

// An empty payload still has an address, so that serialising zero bytes into
// it or parsing zero bytes from it works like any other size.
void* MSG_GetPayloadMutable(MSG_Message* msg) {
  static uint8_t empty;
  if (msg == nullptr) return nullptr;
  return msg->payload.empty() ? &empty : msg->payload.data();
}

const void* MSG_GetPayload(const MSG_Message* msg) { return MSG_GetPayloadMutable(const_cast<MSG_Message*>(msg)); }

uint32_t MSG_GetPayloadBytes(const MSG_Message* msg) {
  return msg == nullptr ? 0 : static_cast<uint32_t>(msg->payload.size());
}

MSG_Type MSG_GetType(const MSG_Message* msg) { return msg == nullptr ? 0 : msg->type; }

MSG_Endpoint MSG_GetSender(const MSG_Message* msg) { return msg == nullptr ? 0 : msg->sender; }

uint32_t MSG_GetSequence(const MSG_Message* msg) { return msg == nullptr ? 0 : msg->sequence; }
