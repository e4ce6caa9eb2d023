// Wire framing of the message layer.
//
// Every message travels as one frame: alone in one datagram, or one after
// the other on a stream connection, which carries bytes, not records.
//
//   offset  size  field
//   0       4     magic "MSGF" (0x4647534D read as a little-endian word)
//   4       2     kind (below)
//   6       2     length of the sender's endpoint name (1..255)
//   8       4     message type
//   12      4     sequence number
//   16      4     payload length (at most MSG_MAX_PAYLOAD)
//   20      n     sender's endpoint name (no terminator)
//   20+n    len   payload
//
// Words are in host order: both ends always run on the same machine.
//
// Kinds and their payloads:
//   1 data         the message's payload                    datagram or stream
//   2 subscribe    type range: min, then max (two words)    datagram or stream
//   3 hello        connection token (one word): first frame on a stream
//                  whose frames are announced by markers     stream only
//   4 marker       connection token, then a frame count (two words): the
//                  frames of that stream up to that count (the
//                  first frame after the hello is 1) belong
//                  here in the order                         datagram only
//   5 wake         a number (two words): the sending process's own barrier,
//                  see msgTakeIn.cpp; 0 from another process
//                  only nudges a reader that empties its
//                  queue to look at its streams              datagram only
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/msg/MSG.h"

constexpr uint32_t kMsgFrameMagic = 0x4647534Du;
constexpr size_t kMsgFrameHeaderBytes = 20;
constexpr size_t kMsgMaxNameBytes = 255;
constexpr uint32_t kMsgSubscribePayloadBytes = 8;
constexpr uint32_t kMsgTokenPayloadBytes = 4;
constexpr uint32_t kMsgMarkerPayloadBytes = 8;
constexpr uint32_t kMsgWakePayloadBytes = 8;

enum MsgFrameKind : uint16_t {
  kMsgFrameData = 1,
  kMsgFrameSubscribe = 2,
  kMsgFrameHello = 3,
  kMsgFrameMarker = 4,
  kMsgFrameWake = 5,
};

// Which kinds a transport may carry.
enum MsgFrameCarrier {
  kMsgCarrierStream,
  kMsgCarrierDatagram,
};

// One decoded frame.
struct MsgFrame {
  uint16_t kind = 0;
  MSG_Type type = 0;
  uint32_t sequence = 0;
  std::string sender;
  std::vector<uint8_t> payload;
};

// A frame inside a received datagram, decoded in place.
struct MsgFrameView {
  uint16_t kind = 0;
  MSG_Type type = 0;
  uint32_t sequence = 0;
  const char* sender = nullptr;
  size_t senderBytes = 0;
  const uint8_t* payload = nullptr;
  uint32_t payloadBytes = 0;
};

// Decodes one datagram of n bytes; false when it is not exactly one valid
// frame.
bool msgFrameParse(const uint8_t* p, size_t n, MsgFrameView* out);

// Header and sender name of a frame; the payload follows it on the wire.
// Built on the stack: a send should cost no allocation of its own.
struct MsgFrameHead {
  char bytes[kMsgFrameHeaderBytes + kMsgMaxNameBytes];
  size_t size = 0;
};

// False when the sender name or the payload size cannot be framed.
bool msgFrameHeader(MsgFrameHead* out, uint16_t kind, MSG_Type type, uint32_t sequence, const std::string& sender,
                    uint32_t payloadBytes);

enum MsgPopResult {
  kMsgPopNone,   // no complete frame buffered yet
  kMsgPopFrame,  // one frame taken
  kMsgPopBad,    // the next header cannot be valid; the stream is useless
};

// Reassembles frames from the bytes of one connection, which may arrive in
// pieces of any size. A header that cannot be valid is refused as soon as
// its 20 bytes are in, before the bytes its length promises are waited for;
// the connection is then dropped, never resynchronised.
class MsgFrameReader {
 public:
  // Where the next read should put its bytes and how many it may put there:
  // enough for the rest of the frame in progress, so a large payload needs
  // no repeated growing. Null (and *n 0) when the buffer cannot grow.
  uint8_t* space(size_t* n);
  // Accounts for n bytes written into space().
  void commit(size_t n);
  // Takes the next complete frame into *out.
  MsgPopResult pop(MsgFrame* out);
  // Bytes of an incomplete frame are buffered.
  bool midFrame() const { return m_end > m_start; }
  // A whole frame (or a header that cannot be valid) is buffered: pop()
  // would not answer kMsgPopNone.
  bool frameReady() const;

 private:
  bool headerValid() const;   // the header at m_start; 20 bytes must be present
  size_t frameBytes() const;  // size of the frame at m_start; header must be valid

  std::vector<uint8_t> m_buf;
  size_t m_start = 0;  // first byte not yet popped
  size_t m_end = 0;    // one past the last byte read
};
