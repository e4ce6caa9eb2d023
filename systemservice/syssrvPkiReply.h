// What the four certificate handlers share: the scripts' directory and the
// one reply frame around a script run.
#pragma once

#include <string>

#include "platform/msg/MSG.h"

// Where the platform's certificate scripts live.
extern const char kPkiScriptDir[];  // "/opt/corvale/bin/"

// Runs `cmd` when there is one (null: the request matched no rule, nothing
// runs) and answers `req` with a PKIOpRsp from "SystemSrvc": error 0 and
// "SUCCESS" when the command exited with 0, else error -1 and "FAIL"; the
// captured output as detail_txt either way. A reply that cannot be
// serialised logs "<handler>: Reply Send Error". Returns the captured output.
std::string pkiRunAndReply(const MSG_Message* req, const char* handler, const std::string* cmd);
