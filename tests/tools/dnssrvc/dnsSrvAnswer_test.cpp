// SRV answers as a DNS server sends them, built byte by byte, and the
// target text the stand-in makes of each.
#include <gtest/gtest.h>

#include "tools/dnssrvc/dnsSrvAnswer.h"

namespace {

std::string u16(unsigned v) { return {static_cast<char>(v >> 8), static_cast<char>(v & 0xff)}; }

std::string name(const std::string& dotted) {
  std::string out;
  for (size_t at = 0, dot; at < dotted.size(); at = dot + 1) {
    dot = std::min(dotted.find('.', at), dotted.size());
    out += static_cast<char>(dot - at) + dotted.substr(at, dot - at);
  }
  return out + '\0';
}

// A response to "_dmsconfig._tcp.example.com" SRV; each record is {type, rdata}.
std::string response(const std::vector<std::pair<unsigned, std::string>>& records) {
  std::string m = u16(1) + u16(0x8180) + u16(1) + u16(static_cast<unsigned>(records.size())) + u16(0) + u16(0);
  m += name("_dmsconfig._tcp.example.com") + u16(33) + u16(1);
  for (const auto& r : records) m += "\xc0\x0c" + u16(r.first) + u16(1) + u16(0) + u16(60) + u16(static_cast<unsigned>(r.second.size())) + r.second;
  return m;
}

std::string srv(unsigned priority, unsigned weight, unsigned port, const std::string& target) {
  return u16(priority) + u16(weight) + u16(port) + target;
}

TEST(DnsSrvAnswer, LowestPriorityThenHighestWeightGoesOutAsHostColonPort) {
  // Offset 28 of the message: "example.com" in the question.
  const std::string compressed = std::string("\x03" "dms\xc0\x1c", 6);
  struct Row { const char* what; std::string message; int rc; std::string target; } rows[] = {
      {"one", response({{33, srv(0, 0, 8443, name("dms.example.com"))}}), 0, "dms.example.com:8443"},
      {"choice", response({{33, srv(20, 9, 1, name("b"))}, {33, srv(10, 0, 2, name("a"))}, {33, srv(10, 5, 3, name("c"))}, {33, srv(10, 5, 4, name("d"))}}), 0, "c:3"},
      {"compressed name", response({{16, "\x03txt"}, {33, srv(0, 0, 443, compressed)}}), 0, "dms.example.com:443"},
      {"service not offered", response({{33, srv(0, 0, 443, name(""))}}), -7, ""},
      {"no records", response({}), -7, ""},
      {"cut short", response({{33, srv(0, 0, 443, name("dms.example.com"))}}).substr(0, 60), -1, ""},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    std::string target;
    EXPECT_EQ(dnsSrvTarget(reinterpret_cast<const unsigned char*>(r.message.data()), static_cast<int>(r.message.size()), &target), r.rc);
    EXPECT_EQ(target, r.target);
  }
}

}  // namespace
