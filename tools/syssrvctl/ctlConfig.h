// `syssrvctl config ...`: what its sub-commands share. The configuration
// service is reached at "ConfigSrvc" (or --to) from the client's own
// endpoint; every request carries that endpoint's name and the --role.
#pragma once

#include <string>

#include "platform/msg/MSG.h"
#include "tools/syssrvctl/ctlEndpoint.h"
#include "tools/syssrvctl/syssrvctl.h"

namespace google { namespace protobuf { class Message; } }

struct CtlCfgSession {
  CtlEndpoint local;
  std::string service;
  MSG_Endpoint serviceId = 0;
  int role = 0;
  long timeoutMs = 0;
};

// Opens the endpoint and finds the service; an exit status on failure.
int ctlCfgOpen(const CtlArgs& args, CtlIo& io, CtlCfgSession* s);
// One request and its reply; false (after printing why) when there was no
// answer.
bool ctlCfgRequest(CtlCfgSession& s, const google::protobuf::Message& req, google::protobuf::Message* rsp,
                   CtlIo& io);
// "kErrNotAuthorized", or "error -51" for a number outside eErrorType.
std::string ctlCfgErrorName(int error);
// "NAME" or "NAME:INSTANCE"; false for an empty name or a bad instance.
bool ctlCfgSplitName(const std::string& word, std::string* name, int* instance);
// "name" for instance 0, "name:3" otherwise.
std::string ctlCfgShowName(const std::string& name, int instance);

// `config watch [PREFIX]` (ctlConfigWatch.cpp).
int ctlCfgWatch(const CtlArgs& args, CtlIo& io, CtlCfgSession& s);
