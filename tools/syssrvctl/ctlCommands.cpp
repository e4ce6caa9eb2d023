// The sub-command table and the dispatch of one command line. A new group
// (for instance `config get/set`) is one more row whose function dispatches
// its own words.
#include <cstring>
#include <ostream>

#include "tools/syssrvctl/syssrvctl.h"

const char* const kCtlDefaultPeer = "SystemSrvc";

namespace {

struct CtlCommand {
  const char* name;
  int (*run)(const CtlArgs& args, CtlIo& io);
  unsigned options;
  const char* usage;
};

const CtlCommand kCommandTable[] = {
    {"call", ctlCmdCall, kCtlOptTo | kCtlOptTimeout | kCtlOptExpect | kCtlOptAs,
     "call TYPE [FIELDS] [--to EP] [--timeout MS] [--expect TYPE] [--as NAME]\n"
     "      send a request and print the reply in text format"},
    {"send", ctlCmdSend, kCtlOptTo | kCtlOptAs | kCtlOptDelay,
     "send TYPE [FIELDS] [--to EP] [--as NAME] [--delay MS]\n"
     "      send a command; a Ntfy without --to is published from the local endpoint\n"
     "      (--delay serves the endpoint that long first, so watchers can subscribe)"},
    {"watch", ctlCmdWatch, kCtlOptFrom | kCtlOptAs | kCtlOptCount | kCtlOptTimeout,
     "watch [TYPE...] [--from EP] [--as NAME] [--count N] [--timeout MS]\n"
     "      print notifications of EP (default all types) until interrupted"},
    {"list", ctlCmdList, 0,
     "list [TEXT]\n"
     "      every known message with its type in decimal and hex"},
    {"serve", ctlCmdServe,
     kCtlOptAs | kCtlOptAnswer | kCtlOptSilent | kCtlOptError | kCtlOptRules | kCtlOptThenPublish | kCtlOptDelay |
         kCtlOptExitOnEof,
     "serve --as NAME [--answer REQ RSP FIELDS]... [--silent REQ]... [--error REQ RSP CODE]...\n"
     "            [--rules FILE]... [--then-publish TYPE FIELDS [--delay MS]]... [--exit-on-eof]\n"
     "      stand in for the endpoint NAME: print each message received as one line\n"
     "      (type, sender id, sequence, fields) and answer requests by their rule:\n"
     "        --answer  reply RSP with FIELDS (same sequence as the request)\n"
     "        --silent  never reply (to test time-outs)\n"
     "        --error   reply RSP with its error field set to CODE, a number or a\n"
     "                  CommonIF.eErrorType name (refused for a RSP without one)\n"
     "        --rules   a file with one rule a line: 'answer REQ RSP FIELDS',\n"
     "                  'silent REQ' or 'error REQ RSP CODE'; '#' starts a comment\n"
     "      the last rule for a request holds; a request without one is printed and\n"
     "      not answered (a warning on stderr). Each input line 'TYPE FIELDS' and each\n"
     "      --then-publish (MS ms after the start, default 0) is sent to the\n"
     "      subscribers of NAME. Runs until SIGINT/SIGTERM, or the end of input with\n"
     "      --exit-on-eof (publications not yet due are dropped)"},
    {"config", ctlCmdConfig, kCtlConfigOptions, kCtlConfigUsage},
    {"alert", ctlCmdAlert, kCtlOptTo,
     "alert TEXT [--to PATH]\n"
     "      send TEXT as one datagram to the alert socket (default $SYSSRV_ROOT/tmp/snmp_msg);\n"
     "      TEXT takes the escapes \\n \\t \\r \\0 \\\\ \\xNN"},
    {"uinput", ctlCmdUinput, 0,
     "uinput FILE\n"
     "      decode the key events the daemon wrote to FILE (the simulation's /dev/uinput)"},
    {"monitor", ctlCmdMonitor, kCtlOptFrom | kCtlOptTo | kCtlOptType | kCtlOptPcap | kCtlOptCount | kCtlOptTimeout,
     "monitor [--from EP] [--to EP] [--type REGEX] [--pcap FILE] [--count N] [--timeout MS]\n"
     "      print every message sent between the endpoints, one line each: time, sender -> receiver,\n"
     "      type and fields (REGEX, POSIX extended, is searched in the type's name); --pcap also\n"
     "      writes them to FILE as a packet capture. Only messages of senders running as this\n"
     "      user or group are seen. Runs until SIGINT/SIGTERM, N messages or MS ms"},
};

void printUsage(std::ostream& out) {
  out << "usage: syssrvctl COMMAND ...\n\n";
  for (const CtlCommand& c : kCommandTable) out << "  syssrvctl " << c.usage << "\n";
  out << "\nTYPE is a message class such as SystemIF.GetLanStatusReq (or SystemIF::GetLanStatusReq);\n"
         "FIELDS are its fields in protobuf text format, e.g. 'text: \"hi\" inner { n: 1 }'.\n"
         "EP defaults to "
      << kCtlDefaultPeer
      << "; --as defaults to syssrvctl-<pid>. Messages travel through the\n"
         "endpoint directory named by MSG_SOCKET_DIR.\n"
         "Exit status: 0 done, 1 no answer or send failure, 2 bad input.\n";
}

}  // namespace

int CtlIo::fail(int status, const std::string& line) const {
  err << "syssrvctl: " << line << std::endl;
  return status;
}

int ctlMain(int argc, const char* const* argv, CtlIo& io) {
  if (argc < 2) return io.fail(kCtlExitBadInput, "missing command (try 'syssrvctl --help')");
  const char* word = argv[1];
  if (std::strcmp(word, "--help") == 0 || std::strcmp(word, "-h") == 0 || std::strcmp(word, "help") == 0) {
    printUsage(io.out);
    return kCtlExitOk;
  }
  for (const CtlCommand& c : kCommandTable) {
    if (std::strcmp(word, c.name) != 0) continue;
    for (int i = 2; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
      if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
        io.out << "usage: syssrvctl " << c.usage << "\n";
        return kCtlExitOk;
      }
    }
    CtlArgs args;
    std::string error;
    if (!ctlParseArgs(argc, argv, 2, c.options, &args, &error)) {
      return io.fail(kCtlExitBadInput, std::string(c.name) + ": " + error);
    }
    return c.run(args, io);
  }
  return io.fail(kCtlExitBadInput, std::string("unknown command '") + word + "' (try 'syssrvctl --help')");
}
