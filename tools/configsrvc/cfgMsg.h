// Message plumbing of the service: names out of ConfigIF.Inst, replies,
// and messages to a client by its endpoint name.
#pragma once

#include <cstdint>
#include <string>

#include "ConfigIF.pb.h"
#include "platform/msg/MSG.h"

namespace google { namespace protobuf { class Message; } }

// The dotted name and instance an Inst refers to: a leading "cfg" namespace
// node is skipped; every node but the last contributes its name, "[i]" for
// a non-zero instance, and "."; the last node gives the instance. false for
// an Inst without a variable node.
bool cfgNameFromInst(const ConfigIF::Inst& inst, std::string* name, int* instance);
// One node {name, instance}: how the service names a variable to clients.
void cfgFillInst(ConfigIF::Inst* inst, const std::string& name, int instance);

// Answers `req` with `rsp` (same sequence, to its sender). false when it
// could not be sent, which is logged.
bool cfgReply(const std::string& local, const MSG_Message* req, const google::protobuf::Message& rsp);
// Answers a request that could not be served with the reply class of its
// type carrying `error` (in `error`, or in `ret_message.error`). false when
// the type has no reply class.
bool cfgReplyError(const std::string& local, const MSG_Message* req, int error);

// Sends `m` with `sequence` to the endpoint named `client`; `*to` receives
// its id. false when the endpoint does not exist or the send failed.
bool cfgSendTo(const std::string& local, const std::string& client, const google::protobuf::Message& m,
               uint32_t sequence, MSG_Endpoint* to);

// Parses the payload of `msg` into `m`.
bool cfgParse(const MSG_Message* msg, google::protobuf::Message* m);
