#include "platform/msg/msgFrame.h"

#include <cstring>
#include <new>

namespace {

// Small messages arrive many to a read; this is what one read asks for when
// no large frame is in progress.
constexpr size_t kMsgReadChunk = 64 * 1024;

uint32_t getWord(const uint8_t* p) {
  uint32_t v;
  memcpy(&v, p, sizeof v);
  return v;
}

uint16_t getHalf(const uint8_t* p) {
  uint16_t v;
  memcpy(&v, p, sizeof v);
  return v;
}

void putWord(char* p, uint32_t v) { memcpy(p, &v, sizeof v); }
void putHalf(char* p, uint16_t v) { memcpy(p, &v, sizeof v); }

}  // namespace

bool msgFrameHeader(MsgFrameHead* out, uint16_t kind, MSG_Type type, uint32_t sequence, const std::string& sender,
                    uint32_t payloadBytes) {
  out->size = 0;
  if (sender.empty() || sender.size() > kMsgMaxNameBytes || payloadBytes > MSG_MAX_PAYLOAD) return false;
  char* h = out->bytes;
  putWord(h, kMsgFrameMagic);
  putHalf(h + 4, kind);
  putHalf(h + 6, static_cast<uint16_t>(sender.size()));
  putWord(h + 8, type);
  putWord(h + 12, sequence);
  putWord(h + 16, payloadBytes);
  memcpy(h + kMsgFrameHeaderBytes, sender.data(), sender.size());
  out->size = kMsgFrameHeaderBytes + sender.size();
  return true;
}

namespace {

// Payload size rule of each kind, and where it may travel.
struct MsgKindRule {
  uint16_t kind;
  uint32_t exactBytes;  // 0: anything up to MSG_MAX_PAYLOAD
  bool onStream;
  bool inDatagram;
};

const MsgKindRule kMsgKindRules[] = {
    {kMsgFrameData, 0, true, true},
    {kMsgFrameSubscribe, kMsgSubscribePayloadBytes, true, true},
    {kMsgFrameHello, kMsgTokenPayloadBytes, true, false},
    {kMsgFrameMarker, kMsgMarkerPayloadBytes, false, true},
    {kMsgFrameWake, kMsgWakePayloadBytes, false, true},
};

bool headerValidFor(const uint8_t* h, MsgFrameCarrier carrier) {
  uint16_t kind = getHalf(h + 4);
  uint16_t nameLen = getHalf(h + 6);
  uint32_t len = getWord(h + 16);
  if (getWord(h) != kMsgFrameMagic) return false;
  if (nameLen == 0 || nameLen > kMsgMaxNameBytes) return false;
  for (const MsgKindRule& r : kMsgKindRules) {
    if (r.kind != kind) continue;
    if (!(carrier == kMsgCarrierStream ? r.onStream : r.inDatagram)) return false;
    return r.exactBytes == 0 ? len <= MSG_MAX_PAYLOAD : len == r.exactBytes;
  }
  return false;
}

}  // namespace

bool msgFrameParse(const uint8_t* p, size_t n, MsgFrameView* out) {
  if (n < kMsgFrameHeaderBytes || !headerValidFor(p, kMsgCarrierDatagram)) return false;
  uint16_t nameLen = getHalf(p + 6);
  uint32_t len = getWord(p + 16);
  if (n != kMsgFrameHeaderBytes + nameLen + len) return false;
  out->kind = getHalf(p + 4);
  out->type = getWord(p + 8);
  out->sequence = getWord(p + 12);
  out->sender = reinterpret_cast<const char*>(p + kMsgFrameHeaderBytes);
  out->senderBytes = nameLen;
  out->payload = p + kMsgFrameHeaderBytes + nameLen;
  out->payloadBytes = len;
  return true;
}

bool MsgFrameReader::headerValid() const { return headerValidFor(m_buf.data() + m_start, kMsgCarrierStream); }

size_t MsgFrameReader::frameBytes() const {
  const uint8_t* h = m_buf.data() + m_start;
  return kMsgFrameHeaderBytes + getHalf(h + 6) + getWord(h + 16);
}

uint8_t* MsgFrameReader::space(size_t* n) {
  // Reclaim what has been popped before growing.
  if (m_start == m_end) {
    m_start = m_end = 0;
  } else if (m_start > 0 && m_start >= m_buf.size() / 2) {
    memmove(m_buf.data(), m_buf.data() + m_start, m_end - m_start);
    m_end -= m_start;
    m_start = 0;
  }
  size_t want = kMsgReadChunk;
  // Frames may wait whole in the buffer (for their marker, or for the
  // datagrams before them): only a frame still incomplete sizes the read.
  if (m_end - m_start >= kMsgFrameHeaderBytes && headerValid() && frameBytes() > m_end - m_start) {
    size_t rest = frameBytes() - (m_end - m_start);
    if (rest > want) want = rest;
  }
  if (m_buf.size() - m_end < want) {
    try {
      m_buf.resize(m_end + want);
    } catch (const std::bad_alloc&) {
      *n = 0;
      return nullptr;
    }
  }
  *n = m_buf.size() - m_end;
  return m_buf.data() + m_end;
}

void MsgFrameReader::commit(size_t n) {
  m_end += n;
  if (m_end > m_buf.size()) m_end = m_buf.size();
}

MsgPopResult MsgFrameReader::pop(MsgFrame* out) {
  if (m_end - m_start < kMsgFrameHeaderBytes) return kMsgPopNone;
  if (!headerValid()) return kMsgPopBad;
  size_t bytes = frameBytes();
  if (m_end - m_start < bytes) return kMsgPopNone;
  const uint8_t* h = m_buf.data() + m_start;
  uint16_t nameLen = getHalf(h + 6);
  out->kind = getHalf(h + 4);
  out->type = getWord(h + 8);
  out->sequence = getWord(h + 12);
  out->sender.assign(reinterpret_cast<const char*>(h + kMsgFrameHeaderBytes), nameLen);
  const uint8_t* payload = h + kMsgFrameHeaderBytes + nameLen;
  try {
    out->payload.assign(payload, payload + getWord(h + 16));
  } catch (const std::bad_alloc&) {
    return kMsgPopBad;
  }
  m_start += bytes;
  return kMsgPopFrame;
}

bool MsgFrameReader::frameReady() const {
  if (m_end - m_start < kMsgFrameHeaderBytes) return false;
  return !headerValid() || m_end - m_start >= frameBytes();
}
