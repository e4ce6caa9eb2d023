#include "tools/msgstorm/stormSender.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <iostream>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/msg/MSG.h"
#include "platform/msgutil/msgIds.h"
#include "tools/msgstorm/stormMix.h"

namespace {

using Clock = std::chrono::steady_clock;

// After the last answer expected came, a doubled one would follow within
// this long.
constexpr int kDuplicateGraceMs = 300;
// The receiver looks at the clock and the end of the run this often.
constexpr int kReceiveSliceMs = 100;

enum Expect : uint8_t { kNotAsked = 0, kAwaited, kAnswered };

// What the sending and the receiving thread share.
struct Ledger {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<uint8_t> state;     // by message index
  std::vector<MSG_Type> replyOf;  // by message index, for awaited ones
  uint64_t outstanding = 0;
  bool allSent = false;
  StormCounts counts;
};

// The sequence of message `index`: never 0, which means none.
uint32_t sequenceOf(uint64_t index) { return static_cast<uint32_t>(index + 1); }

void take(Ledger& l, const MSG_Message* m) {
  const uint64_t index = static_cast<uint64_t>(MSG_GetSequence(m)) - 1;
  std::lock_guard<std::mutex> g(l.lock);
  if (index >= l.state.size() || l.state[index] == kNotAsked || MSG_GetType(m) != l.replyOf[index]) {
    ++l.counts.stray;
  } else if (l.state[index] == kAnswered) {
    ++l.counts.duplicate;
  } else {
    l.state[index] = kAnswered;
    ++l.counts.replies;
    --l.outstanding;
    l.changed.notify_all();
  }
}

void receive(const StormSenderOptions& o, Ledger& l, Clock::time_point deadline) {
  Clock::time_point quietUntil = Clock::time_point::max();
  for (;;) {
    {
      std::lock_guard<std::mutex> g(l.lock);
      const Clock::time_point now = Clock::now();
      if (now >= deadline) return;
      if (l.allSent && l.outstanding == 0) {
        if (quietUntil == Clock::time_point::max()) quietUntil = now + std::chrono::milliseconds(kDuplicateGraceMs);
        if (now >= quietUntil) return;
      }
    }
    MSG_Message* m = MSG_RecvAnyMsg(o.local.c_str(), kReceiveSliceMs);
    if (m == nullptr) continue;
    take(l, m);
    MSG_ReleaseMsg(m);
  }
}

}  // namespace

StormCounts stormSend(const StormSenderOptions& o) {
  Ledger l;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(o.deadlineMs);
  MSG_Endpoint to = 0;
  if (MSG_OpenLocal(o.local.c_str()) != 0 || MSG_OpenRemoteSync(o.local.c_str(), o.to.c_str(), 10000, &to) != 0) {
    std::cerr << "msgstorm: " << o.local << " cannot reach " << o.to << std::endl;
    l.counts.failed = 1;
    return l.counts;
  }
  l.state.assign(o.messages, kNotAsked);
  l.replyOf.assign(o.messages, 0);
  std::thread receiver(receive, std::cref(o), std::ref(l), deadline);
  uint32_t random = 0x9E3779B9u ^ static_cast<uint32_t>(o.first);
  for (uint64_t i = 0; i < o.messages; ++i) {
    const uint64_t at = o.first + i;
    const StormRow& row = stormRowOf(at);
    const bool large = at % kStormLargeEvery == kStormLargeEvery - 1;
    {
      std::unique_lock<std::mutex> g(l.lock);
      l.changed.wait_until(g, deadline, [&] { return l.outstanding < static_cast<uint64_t>(o.window); });
      if (Clock::now() >= deadline) break;
      if (row.reply != 0 && !large) {
        l.state[i] = kAwaited;
        l.replyOf[i] = row.reply;
        ++l.outstanding;
        ++l.counts.requests;
      }
    }
    const std::string payload = large ? std::string(kStormLargeBytes, 'x') : stormPayload(row, &random);
    MSG_Message* m = MSG_AllocMsg(large ? kStormLargeType : row.type, sequenceOf(i),
                                  static_cast<uint32_t>(payload.size()));
    if (m != nullptr) memcpy(MSG_GetPayloadMutable(m), payload.data(), payload.size());
    if (m == nullptr || MSG_SendMsg(o.local.c_str(), to, m) != 0) {
      std::lock_guard<std::mutex> g(l.lock);
      ++l.counts.sendFailed;
      if (l.state[i] == kAwaited) {  // counted as a failed send, not also as a missing answer
        l.state[i] = kNotAsked;
        --l.outstanding;
        --l.counts.requests;
      }
      continue;
    }
    ++l.counts.sent;
  }
  {
    std::lock_guard<std::mutex> g(l.lock);
    l.allSent = true;
  }
  receiver.join();
  MSG_CloseLocal(o.local.c_str());
  std::lock_guard<std::mutex> g(l.lock);
  l.counts.missing = l.outstanding;
  return l.counts;
}
