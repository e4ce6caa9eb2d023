// Waiting for the answer to one request, shared by the configuration client
// and the send-and-wait of the message layer.
#pragma once

#include <cstdint>
#include <string>

#include "platform/msg/MSG.h"

// Waits up to `timeoutMs` on `local` for the `type` answer that carries
// `sequence`. An answer with another sequence came too late for an earlier
// request: it is released and logged at debug level behind `who`. Null when
// no answer of its own arrived in time.
MSG_Message* syssrvRecvReply(const char* local, MSG_Type type, uint32_t sequence, int timeoutMs,
                             const std::string& who);
