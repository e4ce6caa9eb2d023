// TEST-ONLY stand-in for the message layer, linked into msgutil_test only
// while the real message library is not part of the build. It implements
// just what the message-class library and its test call: allocation,
// payload access, header access and release. Nothing is sent anywhere.
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/msg/MSG.h"

struct MSG_Message {
  MSG_Type type;
  uint32_t sequence;
  uint32_t bytes;
  unsigned char* payload;
};

MSG_Message* MSG_AllocMsg(MSG_Type type, uint32_t sequence, uint32_t bytes) {
  if (bytes > MSG_MAX_PAYLOAD) return nullptr;
  MSG_Message* m = new (std::nothrow) MSG_Message{type, sequence, bytes, nullptr};
  if (m == nullptr) return nullptr;
  if (bytes > 0) {
    m->payload = new (std::nothrow) unsigned char[bytes];
    if (m->payload == nullptr) {
      delete m;
      return nullptr;
    }
    std::memset(m->payload, 0, bytes);
  }
  return m;
}

void MSG_ReleaseMsg(MSG_Message* msg) {
  if (msg == nullptr) return;
  delete[] msg->payload;
  delete msg;
}

void* MSG_GetPayloadMutable(MSG_Message* msg) { return msg ? msg->payload : nullptr; }
const void* MSG_GetPayload(const MSG_Message* msg) { return msg ? msg->payload : nullptr; }
uint32_t MSG_GetPayloadBytes(const MSG_Message* msg) { return msg ? msg->bytes : 0; }
MSG_Type MSG_GetType(const MSG_Message* msg) { return msg ? msg->type : 0; }
uint32_t MSG_GetSequence(const MSG_Message* msg) { return msg ? msg->sequence : 0; }
