// msg_echo: the smallest real service on the message layer. It answers every
// EchoReq with an EchoRsp carrying the same text and the name of the endpoint
// that served it, so a round trip can be shown and tested end to end before
// the system service exists.
#pragma once

#include <csignal>
#include <iosfwd>
#include <string>

// Endpoint name when --name is not given.
extern const char* const kEchoDefaultName;

// Set by SIGTERM/SIGINT; the loop notices it within one receive slice.
extern volatile std::sig_atomic_t gEchoStop;

// Opens `name`, prints "msg_echo: serving NAME" on `out` once requests can
// be sent, answers until gEchoStop is set, closes the endpoint and prints
// "msg_echo: NAME closed". Returns 0, or 1 when the endpoint cannot be
// opened (reported on `err`).
int echoServe(const std::string& name, std::ostream& out, std::ostream& err);
