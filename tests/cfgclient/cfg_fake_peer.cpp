// Scripted stand-in for the configuration service, run as a real separate
// process on the real message layer, for the client's failure paths.
//
//   cfg_fake_peer <endpoint> <script> <record>
//
// <script> has one line per request the peer will receive, in order; a
// line is a blank-separated list of actions taken for that request:
//   reply:<type hex>:<payload hex>   answer with this type and payload
//                                    (addressed like the request)
//   silent                           no answer
// Requests beyond the last line get no answer. Every request is appended to
// <record> as "<type hex> <payload hex>\n", flushed before any action, so a
// test that got its answer finds the request recorded.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/msg/MSG.h"

namespace {

std::string toHex(const void* data, size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  const unsigned char* p = static_cast<const unsigned char*>(data);
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    out += kDigits[p[i] >> 4];
    out += kDigits[p[i] & 15];
  }
  return out;
}

bool fromHex(const std::string& hex, std::string* out) {
  if (hex.size() % 2 != 0) return false;
  out->clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    char* end = nullptr;
    std::string byte = hex.substr(i, 2);
    long v = strtol(byte.c_str(), &end, 16);
    if (end == nullptr || *end != '\0') return false;
    out->push_back(static_cast<char>(v));
  }
  return true;
}

struct Action {
  MSG_Type type = 0;
  std::string payload;
};

bool parseAction(const std::string& word, std::vector<Action>* actions) {
  if (word == "silent") return true;
  if (word.compare(0, 6, "reply:") != 0) return false;
  size_t colon = word.find(':', 6);
  if (colon == std::string::npos) return false;
  Action a;
  a.type = static_cast<MSG_Type>(strtoul(word.substr(6, colon - 6).c_str(), nullptr, 16));
  if (!fromHex(word.substr(colon + 1), &a.payload)) return false;
  actions->push_back(a);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: cfg_fake_peer <endpoint> <script> <record>\n");
    return 2;
  }
  const char* name = argv[1];
  std::vector<std::vector<Action>> steps;
  std::ifstream script(argv[2]);
  std::string line;
  while (std::getline(script, line)) {
    std::istringstream words(line);
    std::string word;
    std::vector<Action> actions;
    while (words >> word) {
      if (!parseAction(word, &actions)) {
        fprintf(stderr, "cfg_fake_peer: bad action \"%s\"\n", word.c_str());
        return 2;
      }
    }
    steps.push_back(actions);
  }
  FILE* record = fopen(argv[3], "a");
  if (record == nullptr) return 3;
  MSG_DebugSetName("cfg_fake_peer");
  if (MSG_OpenLocal(name) != 0) return 4;

  for (size_t n = 0;; ++n) {
    MSG_Message* req = MSG_RecvAnyMsg(name, -1);
    if (req == nullptr) continue;
    fprintf(record, "%x %s\n", MSG_GetType(req), toHex(MSG_GetPayload(req), MSG_GetPayloadBytes(req)).c_str());
    fflush(record);
    if (n < steps.size()) {
      for (const Action& a : steps[n]) {
        MSG_Message* rsp = MSG_AllocMsgCopyHdr(req, a.type, static_cast<uint32_t>(a.payload.size()));
        if (rsp == nullptr) continue;
        if (!a.payload.empty()) memcpy(MSG_GetPayloadMutable(rsp), a.payload.data(), a.payload.size());
        if (MSG_SendMsg(name, 0, rsp) != 0) fprintf(stderr, "cfg_fake_peer: reply 0x%x failed\n", a.type);
      }
    }
    MSG_ReleaseMsg(req);
  }
}
