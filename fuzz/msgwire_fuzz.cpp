// The bytes a peer controls on the message layer and at the configuration
// service. The first byte picks:
//   0  one datagram: msgFrameParse; an accepted frame lies inside the bytes
//      and framing it again gives the same bytes;
//   1  a stream in pieces (sizes from the next byte): MsgFrameReader; the
//      frames it pops, framed again, are the bytes it was given, in order;
//   2  a request to configsrvc (the next byte picks a ConfigIF type) from
//      a client endpoint, served on an in-memory database with the seed.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzzFail.h"
#include "platform/msg/MSG.h"
#include "platform/msg/msgFrame.h"
#include "platform/msgutil/msgUtil.h"
#include "tools/configsrvc/cfgService.h"

namespace {

void check(bool ok, const char* what) {
  if (!ok) fuzzFail(std::string("msgwire: ") + what);
}

std::string frameAgain(uint16_t kind, MSG_Type type, uint32_t sequence, const std::string& sender, const uint8_t* p,
                       size_t n) {
  MsgFrameHead head;
  check(msgFrameHeader(&head, kind, type, sequence, sender, static_cast<uint32_t>(n)),
        "an accepted frame cannot be framed again");
  return std::string(head.bytes, head.size) + std::string(reinterpret_cast<const char*>(p), n);
}

void datagram(const uint8_t* p, size_t n) {
  MsgFrameView v;
  if (!msgFrameParse(p, n, &v)) return;
  const uint8_t* end = p + n;
  check(reinterpret_cast<const uint8_t*>(v.sender) >= p && reinterpret_cast<const uint8_t*>(v.sender) + v.senderBytes <= end,
        "sender outside the datagram");
  check(v.payload >= p && v.payload + v.payloadBytes <= end, "payload outside the datagram");
  std::string again = frameAgain(v.kind, v.type, v.sequence, std::string(v.sender, v.senderBytes), v.payload, v.payloadBytes);
  check(again == std::string(reinterpret_cast<const char*>(p), n), "framed again differs");
}

void stream(const uint8_t* p, size_t n) {
  if (n < 1) return;
  const size_t piece = 1 + p[0] % 64;
  ++p;
  --n;
  MsgFrameReader reader;
  std::string popped;
  bool bad = false;
  for (size_t at = 0; at < n && !bad;) {
    size_t room = 0;
    uint8_t* space = reader.space(&room);
    if (space == nullptr) return;
    size_t k = std::min({piece, room, n - at});
    memcpy(space, p + at, k);
    reader.commit(k);
    at += k;
    for (;;) {
      MsgFrame f;
      MsgPopResult r = reader.pop(&f);
      if (r == kMsgPopBad) bad = true;
      if (r != kMsgPopFrame) break;
      popped += frameAgain(f.kind, f.type, f.sequence, f.sender, f.payload.data(), f.payload.size());
    }
  }
  check(popped == std::string(reinterpret_cast<const char*>(p), popped.size()), "popped frames differ from the bytes");
}

struct ConfigService {
  std::vector<MSG_Type> types;  // every ConfigIF type of the table
  CfgService* service = nullptr;
};

ConfigService& configService() {
  static ConfigService* c = [] {
    auto* s = new ConfigService();
    char dir[] = "/tmp/fuzz-msgwire-XXXXXX";
    check(mkdtemp(dir) != nullptr, "mkdtemp");
    setenv("MSG_SOCKET_DIR", dir, 1);
    for (const MsgTypeEntry& e : msgUtil_typeTable()) {
      if ((e.type >> 16) == 26) s->types.push_back(e.type);
    }
    CfgServiceConfig cfg;
    cfg.name = "ConfigSrvc";
    cfg.dbPath = ":memory:";
    cfg.seedPath = SYSSRV_CONFIG_SEED;
    cfg.callbackTimeoutMs = 1;  // a client that registered and never answers
    s->service = new CfgService(cfg);
    std::string err;
    check(s->service->open(&err), err.c_str());
    check(MSG_OpenLocal("FuzzClient") == 0, "client endpoint");
    return s;
  }();
  return *c;
}

void configRequest(const uint8_t* p, size_t n) {
  if (n < 1) return;
  ConfigService& c = configService();
  MSG_Type type = c.types[p[0] % c.types.size()];
  MSG_Message* m = MSG_AllocMsg(type, MSG_GetNextSequence(), static_cast<uint32_t>(n - 1));
  check(m != nullptr, "MSG_AllocMsg");
  if (n > 1) memcpy(MSG_GetPayloadMutable(m), p + 1, n - 1);
  MSG_Endpoint to = MSG_GetRemoteId("FuzzClient", "ConfigSrvc");
  check(to != 0 && MSG_SendMsg("FuzzClient", to, m) == 0, "send to ConfigSrvc");
  c.service->serveOnce(1000);
  // Callbacks to the client are never answered; the writes waiting for
  // them time out here or in a later run.
  while (MSG_Message* in = MSG_RecvAnyMsg("FuzzClient", 0)) MSG_ReleaseMsg(in);
  c.service->serveOnce(0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  switch (data[0] % 3) {
    case 0: datagram(data + 1, size - 1); break;
    case 1: stream(data + 1, size - 1); break;
    default: configRequest(data + 1, size - 1); break;
  }
  return 0;
}
