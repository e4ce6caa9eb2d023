// The reply and notification conventions every handler follows.
//
// A reply is addressed like its request (same sequence) and sent from
// "SystemSrvc" to the request's sender; a notification is sent from
// "SystemSrvc" to its subscribers. A received message is never released or
// kept by a handler: the loop releases it.
#pragma once

#include <cstdint>

#include "platform/msg/MSG.h"

namespace google { namespace protobuf { class Message; } }

// Parses the payload of `msg` into `out`. False for a null message or a
// payload that does not parse; the caller logs its own parse-error line.
bool syssrvParseRequest(const MSG_Message* msg, google::protobuf::Message* out);

// What a handler logs when its reply's message cannot be allocated: `text`
// at `level`, or nothing at all when `text` is null (each handler has its
// own rule for this case).
struct syssrvAllocFailure {
  const char* text;
  int level;
};
constexpr syssrvAllocFailure kSyssrvAllocSilent = {nullptr, 0};

// Sends `rsp` as the `rspType` answer to `req`. When it cannot be
// serialised or sent, logs `errText` (e.g. "SystemIFGetSystemTimeReq: Reply
// Send Error\n") as an error with `component` and sends nothing; when it
// cannot be allocated, logs as `allocFailure` says (null: like errText).
// 0, or -1.
int syssrvSendReply(const MSG_Message* req, MSG_Type rspType, const google::protobuf::Message& rsp,
                    const char* errText, const char* component = nullptr,
                    const syssrvAllocFailure* allocFailure = nullptr);

// Sends `ntfy` as a `type` notification with `sequence` (0, or
// MSG_GetNextSequence()). Failures log "<handlerName>: msg alloc failed\n"
// (or `allocFailedText` when given: a handler whose texts are fixed) or
// "<handlerName>: msg send failed\n" as errors. 0; kSyssrvNotAllocated when
// no message could be built (nothing left the service); -1 when the send
// failed.
constexpr int kSyssrvNotAllocated = -2;
int syssrvSendNotification(MSG_Type type, uint32_t sequence, const google::protobuf::Message& ntfy,
                           const char* handlerName, const char* component = nullptr,
                           const char* allocFailedText = nullptr);

struct syssrvHandlerRow;
// Registers `row`'s handler on "SystemSrvc" for its one type (no context, not
// once). A failure is logged with the handler's name and type under
// `component` and its result returned; the caller goes on, since the other
// handlers still serve.
int syssrvRegisterRow(const syssrvHandlerRow& row, const char* component);
