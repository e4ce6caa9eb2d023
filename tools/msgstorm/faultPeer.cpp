// msgfaultpeer --as NAME --request TYPE --reply TYPE --modes MODE[,MODE...]
//              [--late-ms MS]
//
// A peer that answers badly, for the failure paths of a service that asks it
// and waits. It opens NAME and answers the k-th request of TYPE (hex or
// decimal) by mode k modulo the list:
//   ok        at once, the reply type with an empty payload
//   late      the same, MS milliseconds (default 1500) after the request
//   garbage   at once, a payload no message class parses
//   huge      at once, 4 MiB of bytes that do not parse
//   wrong     at once, a type other than the reply's
//   vanish    no answer: the endpoint closes on receipt and opens again
//             after MS milliseconds
// Every answer carries the request's sequence number. One line per request
// on stdout ("msgfaultpeer: late seq 17"); SIGTERM or SIGINT ends it.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "platform/msg/MSG.h"
#include "tools/stopSignals.h"

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> gStop{false};
void onStop(int) { gStop = true; }

const char kUsage[] =
    "usage: msgfaultpeer --as NAME --request TYPE --reply TYPE --modes ok|late|garbage|huge|wrong|vanish[,...] "
    "[--late-ms MS]";
const char* const kModes[] = {"ok", "late", "garbage", "huge", "wrong", "vanish"};
enum Mode { kOk, kLate, kGarbage, kHuge, kWrong, kVanish };
constexpr uint32_t kHugeBytes = 4u << 20;
// Field 1, length-delimited, 127 bytes announced and one given.
const std::string kUnparsable("\x0a\x7f\x01", 3);
// The receive is cut into slices so that due answers and SIGTERM are
// noticed this soon.
constexpr int kSliceMs = 20;

struct Options {
  std::string name;
  MSG_Type request = 0, reply = 0;
  std::vector<Mode> modes;
  int lateMs = 1500;
};

bool parseType(const char* s, MSG_Type* out) {
  if (s == nullptr || *s == '\0') return false;
  char* end = nullptr;
  const unsigned long long v = strtoull(s, &end, 0);
  if (*end != '\0' || v == 0 || v > 0xFFFFFFFFull) return false;
  *out = static_cast<MSG_Type>(v);
  return true;
}

bool parseModes(const std::string& list, std::vector<Mode>* out) {
  size_t at = 0;
  while (at <= list.size()) {
    const size_t comma = list.find(',', at);
    const std::string word = list.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
    bool known = false;
    for (size_t m = 0; m < sizeof kModes / sizeof kModes[0]; ++m) {
      if (word != kModes[m]) continue;
      out->push_back(static_cast<Mode>(m));
      known = true;
    }
    if (!known) return false;
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return !out->empty();
}

bool parseOne(const std::string& a, const char* v, Options* o) {
  if (a == "--as") {
    o->name = v;
    return !o->name.empty();
  }
  if (a == "--request") return parseType(v, &o->request);
  if (a == "--reply") return parseType(v, &o->reply);
  if (a == "--modes") return parseModes(v, &o->modes);
  if (a == "--late-ms") {
    if (*v == '\0' || strlen(v) > 6 || strspn(v, "0123456789") != strlen(v)) return false;
    o->lateMs = atoi(v);
    return o->lateMs > 0 && o->lateMs <= 600000;
  }
  return false;
}

bool parse(int argc, char** argv, Options* o) {
  if (argc % 2 != 1) return false;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!parseOne(argv[i], argv[i + 1], o)) return false;
  }
  return !o->name.empty() && o->request != 0 && o->reply != 0 && !o->modes.empty();
}

MSG_Message* answer(const MSG_Message* req, MSG_Type type, const std::string& payload) {
  MSG_Message* m = MSG_AllocMsgCopyHdr(req, type, static_cast<uint32_t>(payload.size()));
  if (m != nullptr) memcpy(MSG_GetPayloadMutable(m), payload.data(), payload.size());
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parse(argc, argv, &o)) {
    std::cerr << "msgfaultpeer: bad arguments (" << kUsage << ")" << std::endl;
    return 2;
  }
  catchStopSignals(onStop);
  MSG_DebugSetName("msgfaultpeer");
  const char* local = o.name.c_str();
  if (MSG_OpenLocal(local) != 0) {
    std::cerr << "msgfaultpeer: cannot open " << o.name << std::endl;
    return 1;
  }
  std::cerr << "msgfaultpeer: serving as " << o.name << std::endl;
  std::multimap<Clock::time_point, MSG_Message*> due;  // late answers
  Clock::time_point reopenAt = Clock::time_point::max();
  uint64_t asked = 0;
  while (!gStop) {
    const Clock::time_point now = Clock::now();
    for (auto it = due.begin(); it != due.end() && it->first <= now; it = due.erase(it)) {
      MSG_SendMsg(local, 0, it->second);
    }
    if (now >= reopenAt) {
      reopenAt = Clock::time_point::max();
      if (MSG_OpenLocal(local) != 0) std::cerr << "msgfaultpeer: cannot open " << o.name << " again" << std::endl;
    }
    if (reopenAt != Clock::time_point::max()) {
      usleep(kSliceMs * 1000);
      continue;
    }
    MSG_Message* in = MSG_RecvAnyMsg(local, kSliceMs);
    if (in == nullptr) continue;
    if (MSG_GetType(in) != o.request) {
      MSG_ReleaseMsg(in);
      continue;
    }
    const Mode mode = o.modes[asked++ % o.modes.size()];
    std::cout << "msgfaultpeer: " << kModes[mode] << " seq " << MSG_GetSequence(in) << std::endl;
    switch (mode) {
      case kOk:
        MSG_SendMsg(local, 0, answer(in, o.reply, ""));
        break;
      case kLate:
        due.emplace(Clock::now() + std::chrono::milliseconds(o.lateMs), answer(in, o.reply, ""));
        break;
      case kGarbage:
        MSG_SendMsg(local, 0, answer(in, o.reply, kUnparsable));
        break;
      case kHuge:
        MSG_SendMsg(local, 0, answer(in, o.reply, std::string(kHugeBytes, '\xff')));
        break;
      case kWrong:
        MSG_SendMsg(local, 0, answer(in, o.reply ^ 0x10u, ""));
        break;
      case kVanish:
        MSG_CloseLocal(local);
        reopenAt = Clock::now() + std::chrono::milliseconds(o.lateMs);
        break;
    }
    MSG_ReleaseMsg(in);
  }
  for (auto& d : due) MSG_ReleaseMsg(d.second);
  MSG_CloseLocal(local);
  return 0;
}
