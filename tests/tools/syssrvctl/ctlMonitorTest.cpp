// The monitor's line for a message it cannot show in full, and the capture
// packet of one.
#include <gtest/gtest.h>

#include "ConfigIF.pb.h"
#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
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
    CtlMonitorMask mask;
    EXPECT_EQ(ctlMonitorText(r, &mask), "SystemSrvc -> ConfigSrvc " + row.line);
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

// Credentials in writes, in answers to reads of them and in requests never
// show; an answer to another read, or to the same read from someone else, does.
TEST(CtlMonitor, SecretsAreMaskedInLinesAndAnswersToReadsOfThem) {
  auto rec = [](MSG_Type type, const google::protobuf::Message& m, const char* from, const char* to, uint32_t seq) {
    std::string p = m.SerializeAsString();
    return MsgMonitorRecord{0, type, seq, static_cast<uint32_t>(p.size()), 0, from, to, {p.begin(), p.end()}};
  };
  ConfigIF::WriteReq write;
  write.mutable_instance_val()->mutable_instance()->add_node()->set_name("system.proxy.webproxy.password");
  write.mutable_instance_val()->add_value("pw-1");
  ConfigIF::ReadReq read;
  read.set_name("system.network.wired.dot1x.Password");
  ConfigIF::ReadRsp answer;
  answer.add_value("pw-2");
  SystemIF::LogUploadReq upload;
  upload.set_web_ticket("tkt-3");
  upload.set_server_type("web");
  CtlMonitorMask mask;
  const std::pair<MsgMonitorRecord, const char*> rows[] = {
      {rec(kMsgIdConfigIFWriteReq, write, "A", "ConfigSrvc", 1), "value: \"********\" }"},
      {rec(kMsgIdConfigIFReadRsp, answer, "ConfigSrvc", "A", 2), "ReadRsp value: \"pw-2\""},
      {rec(kMsgIdConfigIFReadReq, read, "A", "ConfigSrvc", 2), "Password\""},
      {rec(kMsgIdConfigIFReadRsp, answer, "ConfigSrvc", "B", 2), "ReadRsp value: \"pw-2\""},
      {rec(kMsgIdConfigIFReadRsp, answer, "ConfigSrvc", "A", 2), "ReadRsp value: \"********\""},
      {rec(kMsgIdConfigIFReadRsp, answer, "ConfigSrvc", "A", 2), "ReadRsp value: \"pw-2\""},
      {rec(kMsgIdSystemIFLogUploadReq, upload, "A", "SystemSrvc", 3), "server_type: \"web\" web_ticket: \"********\""},
  };
  for (const auto& [r, shown] : rows) {
    const std::string line = ctlMonitorText(r, &mask);
    EXPECT_NE(line.find(shown), std::string::npos) << line;
  }
}
