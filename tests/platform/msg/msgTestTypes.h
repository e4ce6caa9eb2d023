// Message types spoken between the message-layer tests and their helper
// process (msg_peer). Payloads are arrays of 32-bit words in host order.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/msg/MSG.h"

// Requests to a "service" peer and its answers.
constexpr MSG_Type kTestEcho = 0x100;        // answered by kTestEchoRsp with the same payload
constexpr MSG_Type kTestEchoRsp = 0x101;
constexpr MSG_Type kTestEchoExtra = 0x102;   // like kTestEcho, but a kTestExtra goes out first
constexpr MSG_Type kTestExtra = 0x103;
constexpr MSG_Type kTestPublish = 0x110;     // words: types to publish, notification i carries word i
constexpr MSG_Type kTestPublished = 0x111;   // word: how many MSG_SendNotification calls returned 0
constexpr MSG_Type kTestBurst = 0x120;       // words: (type, bytes) pairs; message i is msgTestSizedMessage(type, i, bytes)
constexpr MSG_Type kTestQuit = 0x1F0;        // the peer closes its endpoint and exits 0

inline std::vector<uint32_t> msgTestWords(const MSG_Message* m) {
  std::vector<uint32_t> w(MSG_GetPayloadBytes(m) / 4);
  if (!w.empty()) __builtin_memcpy(w.data(), MSG_GetPayload(m), w.size() * 4);
  return w;
}

// A message of `type` carrying `words`; null when allocation fails.
inline MSG_Message* msgTestMessage(MSG_Type type, uint32_t sequence, const std::vector<uint32_t>& words) {
  MSG_Message* m = MSG_AllocMsg(type, sequence, static_cast<uint32_t>(words.size() * 4));
  if (m != nullptr && !words.empty()) __builtin_memcpy(MSG_GetPayloadMutable(m), words.data(), words.size() * 4);
  return m;
}

// A message of `type` and `bytes` bytes, sequence i: word 0 is i (when it
// fits), the rest a pattern that differs from message to message and does
// not repeat every 256 bytes; null when allocation fails.
inline MSG_Message* msgTestSizedMessage(MSG_Type type, uint32_t i, uint32_t bytes) {
  MSG_Message* m = MSG_AllocMsg(type, i, bytes);
  if (m == nullptr) return nullptr;
  uint8_t* p = static_cast<uint8_t*>(MSG_GetPayloadMutable(m));
  for (uint32_t k = 0; k < bytes; ++k) p[k] = static_cast<uint8_t>(k * 7 + k / 4099 + i);
  if (bytes >= 4) __builtin_memcpy(p, &i, 4);
  return m;
}

// Whether the payload of `m` is exactly that of msgTestSizedMessage(.., i, ..).
inline bool msgTestSizedIntact(const MSG_Message* m, uint32_t i) {
  MSG_Message* want = msgTestSizedMessage(MSG_GetType(m), i, MSG_GetPayloadBytes(m));
  bool same = want && __builtin_memcmp(MSG_GetPayload(want), MSG_GetPayload(m), MSG_GetPayloadBytes(m)) == 0;
  MSG_ReleaseMsg(want);
  return same;
}
