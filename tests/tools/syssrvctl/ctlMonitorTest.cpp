// The monitor's line for a message it cannot show in full, and the capture
// packet of one.
#include <gtest/gtest.h>

#include "tools/syssrvctl/ctlMonitor.h"

TEST(CtlMonitor, LineAndCapturePacketOfOneCopiedMessage) {
  struct Row { MSG_Type type; std::string payload; uint32_t bytes; std::string line; };
  const Row rows[] = {
      {0x1A0FF0, "abc", 3, "0x1A0FF0 (3 bytes)"},
      {0x1A0080, "\xff\xff", 2, "ConfigIF.WriteReq (payload does not parse, 2 bytes)"},
      {0x1A0080, "xy", 70000, "ConfigIF.WriteReq (70000 bytes, too long to show)"},
  };
  MsgMonitorRecord r{0, 0, 0, 0, 0, "SystemSrvc", "ConfigSrvc", {}};
  for (const Row& row : rows) {
    r.type = row.type;
    r.payload.assign(row.payload.begin(), row.payload.end());
    r.bytes = row.bytes;
    EXPECT_EQ(ctlMonitorText(r), "SystemSrvc -> ConfigSrvc " + row.line);
  }
  // The last row as a packet: time, sizes (as copied, as sent), then type,
  // sequence and names ahead of the payload's copied part.
  r.sequence = 0x01020304;
  r.timeNs = 1700000000123456789ull;
  const std::string body = std::string("\x00\x1A\x00\x80\x01\x02\x03\x04", 8) + "\x0ASystemSrvc\x0A" "ConfigSrvc" "xy";
  const uint32_t words[4] = {1700000000u, 123456u, static_cast<uint32_t>(body.size()),
                             static_cast<uint32_t>(body.size() - 2 + 70000)};
  EXPECT_EQ(ctlPcapPacket(r), std::string(reinterpret_cast<const char*>(words), sizeof words) + body);
}
