// Helper process of the message-layer tests: the other side of every
// exchange, run as a real separate process.
//
//   msg_peer service <name> [delay-ms]
//       opens <name> (after the delay) and serves the requests of
//       msgTestTypes.h through registered handlers until kTestQuit.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "platform/msg/MSG.h"
#include "tests/platform/msg/msgTestTypes.h"

namespace {

std::string gName;

// Answers `req` with `type`, the request's header and `bytes` of `data`.
void reply(const MSG_Message* req, MSG_Type type, const void* data, uint32_t bytes) {
  MSG_Message* m = MSG_AllocMsgCopyHdr(req, type, bytes);
  if (m == nullptr) return;
  if (bytes > 0) memcpy(MSG_GetPayloadMutable(m), data, bytes);
  if (MSG_SendMsg(gName.c_str(), 0, m) != 0) fprintf(stderr, "msg_peer %s: reply failed\n", gName.c_str());
}

void onEcho(void*, const MSG_Message* msg) {
  reply(msg, kTestEchoRsp, MSG_GetPayload(msg), MSG_GetPayloadBytes(msg));
}

void onEchoExtra(void*, const MSG_Message* msg) {
  MSG_SendMsg(gName.c_str(), MSG_GetSender(msg), msgTestMessage(kTestExtra, MSG_GetSequence(msg), {}));
  onEcho(nullptr, msg);
}

void onPublish(void*, const MSG_Message* msg) {
  std::vector<uint32_t> types = msgTestWords(msg);
  uint32_t ok = 0;
  for (uint32_t i = 0; i < types.size(); ++i)
    ok += MSG_SendNotification(gName.c_str(), msgTestMessage(types[i], i + 1, {i})) == 0;
  reply(msg, kTestPublished, &ok, 4);
}

void onBurst(void*, const MSG_Message* msg) {
  std::vector<uint32_t> pairs = msgTestWords(msg);
  for (uint32_t i = 0; i + 1 < pairs.size(); i += 2) {
    MSG_Message* m = msgTestSizedMessage(pairs[i], i / 2, pairs[i + 1]);
    if (m == nullptr || MSG_SendMsg(gName.c_str(), MSG_GetSender(msg), m) != 0)
      fprintf(stderr, "msg_peer %s: burst message %u failed\n", gName.c_str(), i / 2);
  }
}

void onQuit(void*, const MSG_Message*) {
  MSG_CloseLocal(gName.c_str());
  exit(0);
}

const MSG_Callback kServiceHandlers[] = {
    {onEcho, nullptr, kTestEcho, kTestEcho, 0}, {onEchoExtra, nullptr, kTestEchoExtra, kTestEchoExtra, 0},
    {onPublish, nullptr, kTestPublish, kTestPublish, 0}, {onBurst, nullptr, kTestBurst, kTestBurst, 0},
    {onQuit, nullptr, kTestQuit, kTestQuit, 0},
};

int runService(int delayMs) {
  if (delayMs > 0) usleep(static_cast<useconds_t>(delayMs) * 1000);
  if (MSG_OpenLocal(gName.c_str()) != 0) return 2;
  for (const MSG_Callback& cb : kServiceHandlers) MSG_RegisterCallback(gName.c_str(), &cb);
  for (;;) {
    MSG_Message* m = MSG_RecvAnyMsg(gName.c_str(), -1);
    if (m == nullptr) continue;
    if (MSG_ProcessCallback(gName.c_str(), m) != 0)
      fprintf(stderr, "msg_peer %s: no handler for 0x%x\n", gName.c_str(), MSG_GetType(m));
    MSG_ReleaseMsg(m);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && strcmp(argv[1], "service") == 0) {
    gName = argv[2];
    MSG_DebugSetName(("peer " + gName).c_str());
    return runService(argc >= 4 ? atoi(argv[3]) : 0);
  }
  fprintf(stderr, "usage: msg_peer service <name> [delay-ms]\n");
  return 64;
}
