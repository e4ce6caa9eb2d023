// `serve --as NAME`: a scriptable stand-in for any peer. It prints every
// message it receives, answers requests by its rules (ctlServeRules.h) and
// publishes notifications from its standard input and from --then-publish.
//
// Output, one line per message received, on stdout:
//   "DnsIF.DnsSrvReq from 3 seq 17 service: \"_x\" protocol: \"_tcp\""
// (the sender is the layer's id of the sending endpoint). Everything else
// (ready, unanswered requests, failures) goes to stderr as "syssrvctl: ...".
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ostream>
#include <vector>

#include <google/protobuf/message.h>

#include "platform/msg/MSG.h"
#include "tools/syssrvctl/ctlEndpoint.h"
#include "tools/syssrvctl/ctlServeRules.h"
#include "tools/syssrvctl/ctlText.h"
#include "tools/syssrvctl/syssrvctl.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr MSG_Type kKindMask = 0xF;
constexpr MSG_Type kKindReq = 0;
// Receives are cut into slices so that input lines, due publications and
// Ctrl-C are noticed this soon.
constexpr long kSliceMs = 100;

struct Publication {
  const MsgTypeEntry* entry = nullptr;
  std::unique_ptr<google::protobuf::Message> body;
  long delayMs = 0;
  bool delayGiven = false;
  bool done = false;
};

struct ServeSetup {
  CtlServeRules rules;
  std::vector<Publication> publications;
  bool exitOnEof = false;
};

// TYPE and FIELDS to a message; null with *error when either is wrong.
std::unique_ptr<google::protobuf::Message> buildBody(const std::string& type, const std::string& fields,
                                                     const MsgTypeEntry** entry, std::string* error) {
  *entry = ctlFindType(type);
  if (*entry == nullptr) {
    *error = "unknown message " + type + " (see 'syssrvctl list')";
    return nullptr;
  }
  return ctlParseFields(**entry, fields, error);
}

// The rule and publication options, in the order given: a --delay belongs
// to the --then-publish just before it.
bool readOptions(const CtlArgs& args, ServeSetup* s, std::string* error) {
  for (const CtlOptionUse& u : args.uses) {
    if (u.name == "--answer" || u.name == "--silent" || u.name == "--error") {
      if (!s->rules.add(u.name.substr(2), u.values, error)) return false;
    } else if (u.name == "--rules") {
      if (!s->rules.addFile(u.values[0], error)) return false;
    } else if (u.name == "--then-publish") {
      Publication p;
      if (!(p.body = buildBody(u.values[0], u.values[1], &p.entry, error))) return false;
      s->publications.push_back(std::move(p));
    } else if (u.name == "--delay") {
      if (s->publications.empty() || s->publications.back().delayGiven) {
        *error = "--delay " + u.values[0] + " follows no --then-publish of its own";
        return false;
      }
      s->publications.back().delayGiven = true;
      s->publications.back().delayMs = std::atol(u.values[0].c_str());
    } else if (u.name == "--exit-on-eof") {
      s->exitOnEof = true;
    }
  }
  return true;
}

void publish(const char* local, const MsgTypeEntry& entry, const google::protobuf::Message& body, CtlIo& io) {
  MSG_Message* m = msgUtil_buildMsg(body, MSG_GetNextSequence(), nullptr);
  int rc = m == nullptr ? -1 : MSG_SendNotification(local, m);
  if (rc != 0) io.err << "syssrvctl: publishing " << entry.name << " failed (" << rc << "), ignoring" << std::endl;
}

// "NAME from SENDER seq N FIELDS"; a type or payload this client cannot
// read is shown by number and size instead.
void printReceived(const MSG_Message* m, const MsgTypeEntry* entry, std::ostream& out) {
  uint32_t bytes = MSG_GetPayloadBytes(m);
  out << (entry != nullptr ? entry->name : ctlHexType(MSG_GetType(m))) << " from " << MSG_GetSender(m) << " seq "
      << MSG_GetSequence(m);
  if (entry == nullptr || entry->prototype == nullptr) {
    out << " (unknown type, " << bytes << " bytes)";
  } else {
    std::unique_ptr<google::protobuf::Message> body(entry->prototype()->New());
    if (!body->ParseFromArray(MSG_GetPayload(m), static_cast<int>(bytes))) {
      out << " (payload does not parse, " << bytes << " bytes)";
    } else {
      std::string text = ctlFormatSingleLine(*body);
      if (!text.empty()) out << ' ' << text;
    }
  }
  out << std::endl;
}

// A request is answered by type alone, also when its payload does not
// parse: the stand-in plays the peer's answers, not its checks.
void answer(const char* local, const MSG_Message* m, const ServeSetup& s, const std::string& name, CtlIo& io) {
  const CtlServeRule* rule = s.rules.find(MSG_GetType(m));
  if (rule == nullptr) {
    io.err << "syssrvctl: no rule for " << name << " (seq " << MSG_GetSequence(m) << "), not answered" << std::endl;
    return;
  }
  if (rule->reply == nullptr) return;  // --silent
  const uint32_t bytes = static_cast<uint32_t>(rule->reply->ByteSizeLong());
  // The copied header keeps the request's sequence, which callers match.
  MSG_Message* reply = MSG_AllocMsgCopyHdr(m, rule->response->type, bytes);
  if (reply == nullptr || !rule->reply->SerializeToArray(MSG_GetPayloadMutable(reply), static_cast<int>(bytes))) {
    if (reply != nullptr) MSG_ReleaseMsg(reply);
    io.err << "syssrvctl: cannot build " << rule->response->name << " for " << name << std::endl;
    return;
  }
  int rc = MSG_SendMsg(local, MSG_GetSender(m), reply);
  if (rc != 0) {
    io.err << "syssrvctl: answering " << name << " (seq " << MSG_GetSequence(m) << ") failed (" << rc
           << "), ignoring" << std::endl;
  }
}

void handle(const char* local, const MSG_Message* m, const ServeSetup& s, CtlIo& io) {
  const MsgTypeEntry* entry = msgUtil_findByType(MSG_GetType(m));
  printReceived(m, entry, io.out);
  if ((MSG_GetType(m) & kKindMask) != kKindReq) return;
  answer(local, m, s, entry != nullptr ? entry->name : ctlHexType(MSG_GetType(m)), io);
}

// Lines of standard input, read only when poll says they are there so the
// receive loop never blocks on them.
class InputLines {
 public:
  bool open() const { return m_open; }
  // Complete lines available now; at end of input the last, unterminated
  // one too, and open() turns false.
  std::vector<std::string> take() {
    std::vector<std::string> lines;
    struct pollfd p = {STDIN_FILENO, POLLIN, 0};
    while (m_open && poll(&p, 1, 0) > 0) {
      char buf[4096];
      ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        m_open = false;
        if (!m_partial.empty()) lines.push_back(m_partial);
        break;
      }
      m_partial.append(buf, static_cast<size_t>(n));
      for (size_t nl; (nl = m_partial.find('\n')) != std::string::npos; m_partial.erase(0, nl + 1)) {
        lines.push_back(m_partial.substr(0, nl));
      }
    }
    return lines;
  }

 private:
  bool m_open = true;
  std::string m_partial;
};

// "TYPE FIELDS" (FIELDS optionally in single quotes); blank lines and "#"
// comments are skipped, a bad line is reported and skipped.
void publishLine(const char* local, const std::string& line, long number, CtlIo& io) {
  std::vector<std::string> words;
  if (!ctlServeSplitLine(line, 2, &words) || words[0][0] == '#') return;
  const MsgTypeEntry* entry = nullptr;
  std::string error;
  std::unique_ptr<google::protobuf::Message> body = buildBody(words[0], words[1], &entry, &error);
  if (!body) {
    io.err << "syssrvctl: input line " << number << ": " << error << ", skipped" << std::endl;
    return;
  }
  publish(local, *entry, *body, io);
}

}  // namespace

int ctlCmdServe(const CtlArgs& args, CtlIo& io) {
  if (!(args.given & kCtlOptAs)) return io.fail(kCtlExitBadInput, "serve: --as NAME is required");
  if (!args.positional.empty()) return io.fail(kCtlExitBadInput, "serve: unexpected word " + args.positional[0]);
  ServeSetup s;
  std::string error;
  if (!readOptions(args, &s, &error)) return io.fail(kCtlExitBadInput, "serve: " + error);

  CtlEndpoint local;
  if (!local.open(args.as)) return io.fail(kCtlExitFailed, "cannot open local endpoint " + args.as);
  ctlCatchStopSignals();
  io.err << "syssrvctl: serving " << local.name() << std::endl;

  const Clock::time_point start = Clock::now();
  InputLines input;
  long lineNumber = 0;
  while (!gCtlStop) {
    const long elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    long slice = kSliceMs;
    for (Publication& p : s.publications) {
      if (!p.done && p.delayMs <= elapsed) {
        publish(local.name(), *p.entry, *p.body, io);
        p.done = true;
      } else if (!p.done && p.delayMs - elapsed < slice) {
        slice = p.delayMs - elapsed;
      }
    }
    if (input.open()) {
      for (const std::string& line : input.take()) publishLine(local.name(), line, ++lineNumber, io);
      if (!input.open() && s.exitOnEof) break;
    }
    MSG_Message* m = MSG_RecvAnyMsg(local.name(), static_cast<int>(slice));
    if (m == nullptr) continue;
    handle(local.name(), m, s, io);
    MSG_ReleaseMsg(m);
  }
  return kCtlExitOk;
}
