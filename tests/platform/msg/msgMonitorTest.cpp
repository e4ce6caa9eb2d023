// Copies of sent messages for a monitor.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "platform/msg/msgMonitor.h"
#include "tests/platform/msg/msgTestFixture.h"

namespace {

// The next record on the monitor's connection (its bytes in *raw); false
// when none is queued.
bool nextRecord(int fd, MsgMonitorRecord* r, std::vector<uint8_t>* raw) {
  raw->resize(kMsgMonitorHeaderBytes + 512 + kMsgMonitorMaxCopy + 1);
  raw->resize(static_cast<size_t>(std::max<ssize_t>(recv(fd, raw->data(), raw->size(), MSG_DONTWAIT), 0)));
  return msgMonitorParse(raw->data(), raw->size(), r);
}

// Payload byte i is i % 256.
MSG_Message* filled(MSG_Type type, uint32_t bytes) {
  MSG_Message* m = MSG_AllocMsg(type, MSG_GetNextSequence(), bytes);
  for (uint32_t i = 0; i < bytes; ++i) static_cast<uint8_t*>(MSG_GetPayloadMutable(m))[i] = static_cast<uint8_t>(i);
  return m;
}

}  // namespace

TEST_F(MsgTest, MonitorGetsEachMessageOnceFromItsSenderAndNeverHoldsItUp) {
  std::string path, error, seen;
  int mon = msgMonitorListen(m_dir, &path, &error);
  ASSERT_GE(mon, 0) << error;
  openLocal("a");
  openLocal("b");
  MSG_Endpoint b = MSG_GetRemoteId("a", "b");
  ASSERT_EQ(MSG_RegisterNotificationRemote("b", 0x1B0013, 0x1B0013, MSG_GetRemoteId("b", "a")), 0);
  ASSERT_EQ(MSG_SendMsg("a", b, filled(0x1B0010, 5)), 0);
  MSG_Message* req = MSG_RecvMsg("b", 0x1B0010, 5000);
  const uint32_t seq = MSG_GetSequence(req), kSent = 400;
  uint32_t got;
  ASSERT_EQ(MSG_SendMsg("b", 0, MSG_AllocMsgCopyHdr(req, 0x1B0021, 0)), 0);
  MSG_ReleaseMsg(req);
  ASSERT_EQ(MSG_SendMsg("a", b, filled(0x1B0030, 200000)), 0);  // on the stream path
  ASSERT_EQ(MSG_SendNotification("a", filled(0x1B0013, 1)), 0);
  int conn = accept(mon, nullptr, nullptr);  // one connection for the whole process
  std::vector<uint8_t> raw, last;
  MsgMonitorRecord r;
  for (char line[96]; nextRecord(conn, &r, &raw); last = raw, seen += line) {
    snprintf(line, sizeof line, "%s>%s %X %u/%zu%s;", r.sender.c_str(), r.receiver.c_str(), r.type, r.bytes,
             r.payload.size(), r.sequence == seq ? " seq" : "");
    for (size_t i = 0; i < r.payload.size(); ++i) ASSERT_EQ(r.payload[i], static_cast<uint8_t>(i));
  }
  // The subscription itself is no message.
  EXPECT_EQ(seen, "a>b 1B0010 5/5 seq;b>a 1B0021 0/0 seq;a>b 1B0030 200000/61440;a>b 1B0013 1/1;");
  // The last record (1 payload byte) cut anywhere, or with names or sizes
  // that do not add up, is refused.
  for (size_t cut = 0; cut < last.size(); ++cut) EXPECT_FALSE(msgMonitorParse(last.data(), cut, &r)) << cut;
  for (size_t at : {0u, 12u, 28u, 29u}) {
    std::vector<uint8_t> bad = last;
    bad[at] = at == 12 ? 0 : 0xFF;
    EXPECT_FALSE(msgMonitorParse(bad.data(), bad.size(), &r)) << at;
  }
  // A monitor that does not read loses copies, counted in the next one that
  // gets through; the sends themselves all succeed, also once it is gone.
  // A send that failed would be missing from the count.
  for (uint32_t i = 0; i < kSent; ++i) {
    MSG_ReleaseMsg(MSG_SendMsg("a", b, filled(0x1B0010, 16000)) == 0 ? MSG_RecvMsg("b", 0x1B0010, 5000) : nullptr);
  }
  for (got = 0; nextRecord(conn, &r, &raw);) ++got;
  ASSERT_LT(got, kSent);
  ASSERT_EQ(MSG_SendMsg("a", b, filled(0x1B0010, 1)), 0);
  ASSERT_TRUE(nextRecord(conn, &r, &raw));
  EXPECT_EQ(r.dropped + got, kSent);
  close(conn);
  close(mon);
  EXPECT_EQ(MSG_SendMsg("a", b, filled(0x1B0010, 1)), 0);
}
