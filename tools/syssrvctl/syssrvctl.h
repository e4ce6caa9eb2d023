// syssrvctl: talks to the appliance's services through the message layer
// from a shell. Messages are named by class ("SystemIF.GetLanStatusReq") and
// written in protobuf text format, so no message needs code of its own.
//
// Exit status: 0 done, 1 the peer did not answer or the layer failed,
// 2 bad input (unknown message, unparsable fields, unknown endpoint, bad
// option). Every failure is one line on stderr beginning "syssrvctl: ".
#pragma once

#include <iosfwd>
#include <string>

#include "tools/syssrvctl/ctlArgs.h"

enum CtlExit { kCtlExitOk = 0, kCtlExitFailed = 1, kCtlExitBadInput = 2 };

// Where a command writes; main passes std::cout and std::cerr.
struct CtlIo {
  std::ostream& out;
  std::ostream& err;
  int fail(int status, const std::string& line) const;  // prints "syssrvctl: line"
};

// Runs the whole command line; returns the exit status.
int ctlMain(int argc, const char* const* argv, CtlIo& io);

// The sub-commands (rows of the table in ctlCommands.cpp).
int ctlCmdCall(const CtlArgs& args, CtlIo& io);
int ctlCmdSend(const CtlArgs& args, CtlIo& io);
int ctlCmdWatch(const CtlArgs& args, CtlIo& io);
int ctlCmdList(const CtlArgs& args, CtlIo& io);
// `serve --as NAME`: a scriptable stand-in peer (ctlServe.cpp).
int ctlCmdServe(const CtlArgs& args, CtlIo& io);
// `config ...`: the configuration service's variables (ctlConfig.cpp).
int ctlCmdConfig(const CtlArgs& args, CtlIo& io);
extern const unsigned kCtlConfigOptions;
extern const char* const kCtlConfigUsage;
// `alert TEXT [--to PATH]`: one datagram to the alert socket (ctlAlert.cpp).
int ctlCmdAlert(const CtlArgs& args, CtlIo& io);
// `uinput FILE`: the key events in a file standing for /dev/uinput (ctlUinput.cpp).
int ctlCmdUinput(const CtlArgs& args, CtlIo& io);
// `monitor`: every message between the endpoints (ctlMonitor.cpp).
int ctlCmdMonitor(const CtlArgs& args, CtlIo& io);
// C escapes of TEXT (\n \t \r \0 \\ \xN and \xNN) to bytes; false with
// *error on a lone backslash or an unknown escape.
bool ctlUnescape(const std::string& text, std::string* out, std::string* error);

// Peer assumed when --to / --from is not given: the system service.
extern const char* const kCtlDefaultPeer;
// Reply wait when --timeout is not given, the daemon's own send-and-wait
// figure.
constexpr long kCtlDefaultTimeoutMs = 5000;
