// `watch`: subscribe to a publisher's notifications and print each one as
// it arrives. The subscription is made from the asynchronous-open callback,
// so it takes effect whenever the publisher appears, also after a restart.

#include <chrono>
#include <ctime>
#include <ostream>
#include <vector>

#include <google/protobuf/message.h>

#include "platform/msg/MSG.h"
#include "tools/syssrvctl/ctlEndpoint.h"
#include "tools/syssrvctl/ctlText.h"
#include "tools/syssrvctl/syssrvctl.h"

namespace {

// All types an interface can carry: 8 bits of interface, 12 of number, 4 of kind.
constexpr MSG_Type kAllTypesMax = 0xFFFFFF;
constexpr long kSliceMs = 100;

struct TypeRange {
  MSG_Type min;
  MSG_Type max;
};

struct WatchState {
  std::string local;
  std::string from;
  std::vector<TypeRange> ranges;
  std::ostream* err;
};

// Runs each time the publisher's endpoint (re)appears.
void subscribeOnOpen(void* pContext, const MSG_Message*) {
  WatchState* s = static_cast<WatchState*>(pContext);
  MSG_Endpoint id = MSG_GetRemoteId(s->local.c_str(), s->from.c_str());
  if (id == 0) return;  // gone again before we got here; the next open retries
  for (const TypeRange& r : s->ranges) {
    int rc = MSG_RegisterNotificationRemote(s->local.c_str(), r.min, r.max, id);
    if (rc != 0) {
      *s->err << "syssrvctl: subscribing at " << s->from << " failed (" << rc << ")" << std::endl;
      return;
    }
  }
  *s->err << "syssrvctl: subscribed to " << s->from << std::endl;
}

bool inRanges(const std::vector<TypeRange>& ranges, MSG_Type t) {
  for (const TypeRange& r : ranges) {
    if (t >= r.min && t <= r.max) return true;
  }
  return false;
}

// "12:00:01.250 0x1B0093 SystemIF.LanStatusChangeNtfy state: LAN_UP"
void printNotification(const MSG_Message* m, std::ostream& out) {
  MSG_Type type = MSG_GetType(m);
  out << ctlClockText(static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::system_clock::now().time_since_epoch()).count()))
      << ' ' << ctlHexType(type) << ' ';
  const MsgTypeEntry* entry = msgUtil_findByType(type);
  uint32_t bytes = MSG_GetPayloadBytes(m);
  if (entry == nullptr || entry->prototype == nullptr) {
    out << "(unknown type, " << bytes << " bytes)\n";
  } else {
    std::unique_ptr<google::protobuf::Message> body(entry->prototype()->New());
    out << entry->name;
    if (!body->ParseFromArray(MSG_GetPayload(m), static_cast<int>(bytes))) {
      out << " (payload does not parse, " << bytes << " bytes)\n";
    } else {
      std::string text = ctlFormatSingleLine(*body);
      if (!text.empty()) out << ' ' << text;
      out << '\n';
    }
  }
  out.flush();
}

// A type given as a number is taken as is (a publisher may send types this
// client does not know); a name must be known.
int parseTypes(const CtlArgs& args, CtlIo& io, std::vector<TypeRange>* ranges) {
  for (const std::string& word : args.positional) {
    if (!word.empty() && word[0] >= '0' && word[0] <= '9') {
      MSG_Type v = 0;
      if (!ctlParseTypeNumber(word, &v) || v > kAllTypesMax) {
        return io.fail(kCtlExitBadInput, "bad message type number " + word);
      }
      ranges->push_back({v, v});
      continue;
    }
    const MsgTypeEntry* e = ctlFindType(word);
    if (e == nullptr) return io.fail(kCtlExitBadInput, "unknown message " + word + " (see 'syssrvctl list')");
    ranges->push_back({e->type, e->type});
  }
  if (ranges->empty()) ranges->push_back({0, kAllTypesMax});
  return kCtlExitOk;
}

}  // namespace

int ctlCmdWatch(const CtlArgs& args, CtlIo& io) {
  // Lives for the whole process: the layer may run the callback at any
  // later receive.
  static WatchState s;
  s.ranges.clear();
  int rc = parseTypes(args, io, &s.ranges);
  if (rc != kCtlExitOk) return rc;
  s.from = (args.given & kCtlOptFrom) ? args.from : kCtlDefaultPeer;
  s.err = &io.err;

  CtlEndpoint local;
  if (!local.open(args.as)) return io.fail(kCtlExitFailed, "cannot open local endpoint " + std::string(local.name()));
  s.local = local.name();
  ctlCatchStopSignals();
  MSG_Callback cb = {subscribeOnOpen, &s, 0, 0, 0};
  if (MSG_OpenRemoteAsync(s.local.c_str(), s.from.c_str(), &cb, 0) != 0) {
    return io.fail(kCtlExitFailed, "cannot wait for endpoint " + s.from);
  }

  const bool timed = (args.given & kCtlOptTimeout) != 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(args.timeoutMs);
  long seen = 0;
  while (!gCtlStop && (args.count == 0 || seen < args.count)) {
    long slice = kSliceMs;
    if (timed) {
      long left = std::chrono::duration_cast<std::chrono::milliseconds>(
                      deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0) break;
      if (left < slice) slice = left;
    }
    MSG_Message* m = MSG_RecvAnyMsg(s.local.c_str(), static_cast<int>(slice));
    if (m == nullptr) continue;
    if (inRanges(s.ranges, MSG_GetType(m))) {
      printNotification(m, io.out);
      ++seen;
    }
    MSG_ReleaseMsg(m);
  }
  if (args.count > 0 && seen < args.count && !gCtlStop) {
    return io.fail(kCtlExitFailed, "only " + std::to_string(seen) + " of " + std::to_string(args.count) +
                                       " notifications came within " + std::to_string(args.timeoutMs) + " ms");
  }
  return kCtlExitOk;
}
