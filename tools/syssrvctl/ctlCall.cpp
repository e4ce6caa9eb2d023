// `call` (request, wait for the reply, print it) and `send` (commands and
// notifications, nothing awaited).
#include <chrono>
#include <ostream>

#include <google/protobuf/message.h>

#include "platform/msg/MSG.h"
#include "tools/syssrvctl/ctlEndpoint.h"
#include "tools/syssrvctl/ctlText.h"
#include "tools/syssrvctl/syssrvctl.h"

namespace {

constexpr MSG_Type kKindNtfy = 3;
// Reply waits are cut into slices so Ctrl-C is noticed.
constexpr long kSliceMs = 100;

struct Outgoing {
  const MsgTypeEntry* entry = nullptr;
  std::unique_ptr<google::protobuf::Message> body;
};

// TYPE and the text-format fields (the remaining words, joined by blanks so
// that unquoted `text: "a b"` split by the shell still reads as written).
int buildOutgoing(const CtlArgs& args, CtlIo& io, const char* command, Outgoing* out) {
  if (args.positional.empty()) {
    return io.fail(kCtlExitBadInput, std::string(command) + ": missing message type (see 'syssrvctl list')");
  }
  const std::string& name = args.positional[0];
  out->entry = ctlFindType(name);
  if (out->entry == nullptr) {
    return io.fail(kCtlExitBadInput, "unknown message " + name + " (see 'syssrvctl list')");
  }
  std::string fields;
  for (size_t i = 1; i < args.positional.size(); ++i) {
    if (i > 1) fields += ' ';
    fields += args.positional[i];
  }
  std::string error;
  out->body = ctlParseFields(*out->entry, fields, &error);
  if (!out->body) return io.fail(kCtlExitBadInput, error);
  return kCtlExitOk;
}

// Remote id of `peer`, or a bad-input failure: a name nobody serves is a typo
// far more often than a dead service, and the caller cannot wait for it.
int resolvePeer(const CtlEndpoint& local, const std::string& peer, CtlIo& io, MSG_Endpoint* id) {
  *id = MSG_GetRemoteId(local.name(), peer.c_str());
  if (*id == 0) return io.fail(kCtlExitBadInput, "unknown endpoint " + peer + " (nothing serves that name)");
  return kCtlExitOk;
}

int sendTo(const CtlEndpoint& local, MSG_Endpoint id, const std::string& peer,
           const google::protobuf::Message& body, CtlIo& io) {
  MSG_Message* m = msgUtil_buildMsg(body, MSG_GetNextSequence(), nullptr);
  if (m == nullptr) return io.fail(kCtlExitFailed, "cannot build message " + body.GetTypeName());
  int rc = MSG_SendMsg(local.name(), id, m);
  if (rc != 0) {
    return io.fail(kCtlExitFailed, "sending " + body.GetTypeName() + " to " + peer + " failed (" +
                                       std::to_string(rc) + ")");
  }
  return kCtlExitOk;
}

}  // namespace

int ctlCmdCall(const CtlArgs& args, CtlIo& io) {
  Outgoing req;
  int rc = buildOutgoing(args, io, "call", &req);
  if (rc != kCtlExitOk) return rc;

  const MsgTypeEntry* reply = nullptr;
  if (args.given & kCtlOptExpect) {
    reply = ctlFindType(args.expect);
    if (reply == nullptr) return io.fail(kCtlExitBadInput, "unknown message " + args.expect + " (see 'syssrvctl list')");
  } else {
    reply = ctlReplyTypeFor(*req.entry);
    if (reply == nullptr) {
      return io.fail(kCtlExitBadInput, std::string("no reply class known for ") + req.entry->name +
                                           "; name it with --expect");
    }
  }
  const std::string peer = (args.given & kCtlOptTo) ? args.to : kCtlDefaultPeer;
  const long timeoutMs = (args.given & kCtlOptTimeout) ? args.timeoutMs : kCtlDefaultTimeoutMs;

  CtlEndpoint local;
  if (!local.open(args.as)) return io.fail(kCtlExitFailed, "cannot open local endpoint " + std::string(local.name()));
  ctlCatchStopSignals();
  MSG_Endpoint id = 0;
  if ((rc = resolvePeer(local, peer, io, &id)) != kCtlExitOk) return rc;
  if ((rc = sendTo(local, id, peer, *req.body, io)) != kCtlExitOk) return rc;

  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  MSG_Message* answer = nullptr;
  while (answer == nullptr && !gCtlStop) {
    long left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) break;
    answer = MSG_RecvMsg(local.name(), reply->type, static_cast<int>(left < kSliceMs ? left : kSliceMs));
  }
  if (answer == nullptr) {
    if (gCtlStop) return io.fail(kCtlExitFailed, "interrupted while waiting for " + std::string(reply->name));
    return io.fail(kCtlExitFailed, "no answer from " + peer + ": " + reply->name + " did not come within " +
                                       std::to_string(timeoutMs) + " ms");
  }
  std::unique_ptr<google::protobuf::Message> body(reply->prototype()->New());
  bool parsed = body->ParseFromArray(MSG_GetPayload(answer), static_cast<int>(MSG_GetPayloadBytes(answer)));
  uint32_t bytes = MSG_GetPayloadBytes(answer);
  MSG_ReleaseMsg(answer);
  if (!parsed) {
    return io.fail(kCtlExitFailed, std::string("reply ") + reply->name + " from " + peer + " does not parse (" +
                                       std::to_string(bytes) + " bytes)");
  }
  io.out << ctlFormatMultiLine(*body);
  io.out.flush();
  return kCtlExitOk;
}

int ctlCmdSend(const CtlArgs& args, CtlIo& io) {
  Outgoing msg;
  int rc = buildOutgoing(args, io, "send", &msg);
  if (rc != kCtlExitOk) return rc;
  const bool asNotification = (msg.entry->type & 0xFu) == kKindNtfy && !(args.given & kCtlOptTo);

  CtlEndpoint local;
  if (!local.open(args.as)) return io.fail(kCtlExitFailed, "cannot open local endpoint " + std::string(local.name()));
  ctlCatchStopSignals();
  // A watcher waiting for this endpoint's name subscribes only once it has
  // appeared; --delay gives it that moment before anything is published.
  if (args.delayMs > 0) ctlServeFor(local.name(), args.delayMs);
  if (gCtlStop) return io.fail(kCtlExitFailed, "interrupted before sending");

  if (asNotification) {
    MSG_Message* m = msgUtil_buildMsg(*msg.body, MSG_GetNextSequence(), nullptr);
    if (m == nullptr) return io.fail(kCtlExitFailed, std::string("cannot build message ") + msg.entry->name);
    rc = MSG_SendNotification(local.name(), m);
    if (rc != 0) {
      return io.fail(kCtlExitFailed, std::string("publishing ") + msg.entry->name + " failed (" +
                                         std::to_string(rc) + ")");
    }
    return kCtlExitOk;
  }
  const std::string peer = (args.given & kCtlOptTo) ? args.to : kCtlDefaultPeer;
  MSG_Endpoint id = 0;
  if ((rc = resolvePeer(local, peer, io, &id)) != kCtlExitOk) return rc;
  return sendTo(local, id, peer, *msg.body, io);
}
