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
  const uint8_t* p = static_cast<const uint8_t*>(MSG_GetPayload(m));
  for (size_t i = 0; i < w.size(); ++i) {
    uint32_t v;
    __builtin_memcpy(&v, p + 4 * i, 4);
    w[i] = v;
  }
  return w;
}

// A message of `type` carrying `words`; null when allocation fails.
inline MSG_Message* msgTestMessage(MSG_Type type, uint32_t sequence, const std::vector<uint32_t>& words) {
  MSG_Message* m = MSG_AllocMsg(type, sequence, static_cast<uint32_t>(words.size() * 4));
  if (m != nullptr && !words.empty()) __builtin_memcpy(MSG_GetPayloadMutable(m), words.data(), words.size() * 4);
  return m;
}

// Byte k of the payload of sized message i: the first word is i, the rest a
// pattern that differs from message to message.
inline uint8_t msgTestPatternByte(uint32_t i, uint32_t k) { return static_cast<uint8_t>(k * 7 + k / 4099 + i); }

// A message of `type` and `bytes` bytes: word 0 is i (when it fits), the
// rest msgTestPatternByte; null when allocation fails.
inline MSG_Message* msgTestSizedMessage(MSG_Type type, uint32_t i, uint32_t bytes) {
  MSG_Message* m = MSG_AllocMsg(type, i, bytes);
  if (m == nullptr) return nullptr;
  uint8_t* p = static_cast<uint8_t*>(MSG_GetPayloadMutable(m));
  for (uint32_t k = 0; k < bytes; ++k) p[k] = msgTestPatternByte(i, k);
  if (bytes >= 4) __builtin_memcpy(p, &i, 4);
  return m;
}

// Number of payload bytes of `m` that differ from msgTestSizedMessage(.., i, ..).
inline uint32_t msgTestSizedErrors(const MSG_Message* m, uint32_t i) {
  const uint8_t* p = static_cast<const uint8_t*>(MSG_GetPayload(m));
  uint32_t bytes = MSG_GetPayloadBytes(m);
  uint32_t bad = 0;
  for (uint32_t k = bytes >= 4 ? 4 : 0; k < bytes; ++k) bad += p[k] != msgTestPatternByte(i, k);
  if (bytes >= 4) bad += __builtin_memcmp(p, &i, 4) != 0;
  return bad;
}
