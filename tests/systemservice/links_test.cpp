// Alert datagrams to notifications, the process-monitor and port-controller
// links, and the self-test log read from a microcontroller on a real
// pseudo-terminal.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

#include "platform/msgutil/msgIds.h"
#include "systemservice/syssrvAlerts.h"
#include "systemservice/syssrvPOSTResults.h"
#include "tests/systemservice/test_callbacks_peer.h"

namespace {

using Strings = std::vector<std::string>;
using LinksTest = CfgTest;
const char* const kPeers[] = {"ProcessMon", "ToVelar1/ProcessMon", "PortController"};

// The messages queued at `local` as "<type>/<sequence> <payload>" in hex, or "<type>[ handled]" when dispatched.
Strings drain(const char* local, bool dispatch = false) {
  Strings out;
  for (MSG_Message* m; (m = MSG_RecvAnyMsg(local, 0)) != nullptr; MSG_ReleaseMsg(m)) {
    char t[64];
    int n = snprintf(t, sizeof t, dispatch ? "%x" : "%x/%u ", MSG_GetType(m), MSG_GetSequence(m));
    for (uint32_t i = 0; !dispatch && i < MSG_GetPayloadBytes(m) && n < 60; ++i) n += snprintf(t + n, 3, "%02x", static_cast<const uint8_t*>(MSG_GetPayload(m))[i]);
    out.push_back(t + std::string(dispatch && MSG_ProcessCallback(local, m) == 0 ? " handled" : ""));
  }
  return out;
}

TEST_F(LinksTest, AlertRecordsBecomeNotificationsAndHostileDatagramsEndQuietly) {
  int s[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_DGRAM, 0, s), 0);
  MSG_RegisterNotificationRemote(kCaller, kMsgIdSystemIFAppStatusAlertNtfy, kMsgIdSystemIFAppStatusAlertNtfy, MSG_GetRemoteId(kCaller, kLocal));
  const std::string full = "A 1 1" + std::string(54, ' ') + "A 2 2A 2 3";  // cut at 64 bytes
  // AppStatusAlertNtfy with sequence 0: 08 <alert_source> 10 <alert_type>.
  const std::string n21 = "1b01d3/0 08021001", n12 = "1b01d3/0 08011002";
  const struct { std::string dgram; int result; Strings alerts; const char* log = nullptr; } rows[] = {
      {"A 1 0\nA 2 5", 11, {"1b01d3/0 08011000", "1b01d3/0 08021005"}},
      {"B 2 1", 0, {}, "unparsable alert record at byte 0"},
      // Unknown source, then an unknown type of two digits, then a record behind a NUL and one without a blank.
      {std::string("A 3 1 A 1 10 A 2 1\0A1 2", 23), 23, {n21, n12}, "unknown alert source 1 or type 10"},
      {full, 64, {"1b01d3/0 08011001", "1b01d3/0 08021002"}},
      {"A 2 1 A 2 99999999999", 0, {n21}, "unparsable alert record at byte 6"}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.dgram);
    forget();
    ASSERT_EQ(::send(s[0], r.dgram.data(), r.dgram.size(), 0), static_cast<ssize_t>(r.dgram.size()));
    EXPECT_EQ(syssrvForwardAlertMessages(s[1]), r.result);
    EXPECT_EQ(drain(kCaller), r.alerts);
    EXPECT_TRUE(!r.log || logged(4, std::string("syssrvForwardAlertMessages: ") + r.log) == 1);
  }
  EXPECT_EQ(syssrvForwardAlertMessages(s[1]) + syssrvForwardAlertMessages(-1), -1);  // nothing waiting: no wait either
  close(s[0]), close(s[1]);
}

// The links the peers' opening makes; monitor 1's activity; the MAC address.
TEST_F(LinksTest, OpenedPeersAreLinkedTheirNotificationsReachRowsThirtyToThirtyTwoAndTheirMacIsKept) {
  for (const char* p : kPeers) ASSERT_EQ(MSG_OpenLocal(p), 0);
  registerProcessMonitorNotifications();
  register_for_portcontroller_notifications(nullptr, nullptr);
  for (intptr_t unit = 0; unit < 4; ++unit) handle_procmon_open(reinterpret_cast<void*>(unit), nullptr);
  EXPECT_EQ(drain(kPeers[0]), Strings{"1d0080/0 "});  // MacAddrReq, the unit in the sequence
  EXPECT_EQ(drain(kPeers[1]), Strings{"1d0080/1 "});
  EXPECT_EQ(logged(3, "handle_procmon_open: MSG_SendMsg failed: ") + logged(3, "handle_procmon_open: Received bad velar index 0x3\n"), 2);
  // Unit 0 sends us everything, unit 1 nothing; the port controller its two notifications, of
  // which only monitor 1's activity (action 1) restarts unit 0's sleep timer.
  const struct { const char* from; MSG_Type type; std::string payload = ""; } sends[] = {{kPeers[1], 0x123453}, {kPeers[0], 0x123453}, {kPeers[0], kMsgIdProcessMonitorIFSleepStateNtfy},
      {kPeers[2], kMsgIdPlatformIFMonitorNtfy, "\x0a\x04mon1\x10\x01"}, {kPeers[2], kMsgIdPlatformIFMonitorNtfy, "\x0a\x04mon1\x10\x02"}, {kPeers[2], kMsgIdPlatformIFMonitorNtfy, "\x0a\x04mon2\x10\x01"},
      {kPeers[2], kMsgIdPlatformIFMonitorNtfy, "\x0a\x05mon10\x10\x01"}, {kPeers[2], kMsgIdPlatformIFComponentNtfy}, {kPeers[2], kMsgIdPlatformIFMonitorNtfy + 16}};
  for (const auto& n : sends) {
    MSG_Message* m = MSG_AllocMsg(n.type, 5, static_cast<uint32_t>(n.payload.size()));
    MSG_SendNotification(n.from, (n.payload.copy(static_cast<char*>(MSG_GetPayloadMutable(m)), n.payload.size()), m));
  }
  EXPECT_EQ(drain(kLocal, true), (Strings{"123453", "1d0043 handled", "170143 handled", "170143 handled", "170143 handled", "170143 handled", "1700b3 handled"}));
  EXPECT_EQ(drain(kPeers[0]), Strings{"1d0012/0 0803"});  // SleepTimerCmd kSleepRestart
  MSG_CloseLocal(kPeers[0]);
  deliver(kMsgIdPlatformIFMonitorNtfy, "\x0a\x04mon1\x10\x01", monitor_notify);
  deliver(kMsgIdPlatformIFMonitorNtfy, std::string(11, '\xff'), monitor_notify);
  EXPECT_TRUE(logged(3, "Failed to get remote endpoint to proc mon", "monitor_notify") && logged(3, " Failed Parsing message ", "monitor_notify"));
  for (const char* p : kPeers) MSG_CloseLocal(p);
  // A MAC address is written to the boot environment only when it differs there.
  const std::string mac("\x00\x1a\x2b\x3c\x4d\x5e", 6), text = "00:1A:2B:3C:4D:5E", fn = "handle_mac_addr_resp: ";
  const std::string get = "fw_printenv -n eth1addr_cpu", set0 = "fw_setenv eth1addr_cpu0 " + text;
  const struct { uint32_t unit; std::string addr; const char* stored; Strings cmds; std::string log; } macRows[] = {
      {0, mac + "\xff", "00:1a:2b:3c:4d:5e\n", {get + "0"}, "Velar 0 procmon sent status 7 and MAC address " + text},
      {0, mac, nullptr, {get + "0", set0}, fn + get + "0 failed\n"},
      {1, mac.substr(0, 5), "", {}, fn + "Velar 1 sent a MAC address of 5 bytes, ignoring\n"},
      {3, mac, "", {}, fn + "Received bad velar index 0x3\n"}};
  for (const auto& r : macRows) {
    SCOPED_TRACE(r.log);
    r.stored ? (void)rec().on(get + std::to_string(r.unit)).output(r.stored) : (void)rec().on(get + std::to_string(r.unit)).fail();
    forget();
    deliver(kMsgIdProcessMonitorIFMacAddrRsp, "\x08\x07\x12" + std::string(1, char(r.addr.size())) + r.addr, handle_mac_addr_resp, r.unit);  // error 7, addr
    EXPECT_EQ(rec().commands(), r.cmds);
    EXPECT_EQ(logged(r.log[0] == 'h' ? 3 : 7, r.log), 1);
  }
}

// A response frame carrying `text`, its length and sum right.
std::string frame(const std::string& text) {
  std::string f = std::string("\xA5") + char(text.size() + 4) + '\0' + '\xCC' + text;
  for (size_t i = 3; i < f.size(); ++i) f[2] = static_cast<char>(f[2] + f[i]);
  return f;
}

TEST_F(LinksTest, SelfTestFramesAreCheckedAndOnlyTheLastRunsErrorsAreWritten) {
  rec().make_dirs("/dev");
  EXPECT_EQ(getPOSTResults(), -1);
  EXPECT_TRUE(logged(3, "failed opening /dev/ttyO1 with err 2", "getPOSTResults"));
  // Two runs, the first marker at the very start; a code across pages; NUL bytes before one.
  const Strings log = {": POST started\n0001: mem\n: POST started\n03", "50: wd\n0abc: u\n0000: ok\n", std::string("\0\0 0302: t2\n", 12)};
  const Strings found = {"0350,err_WatchdogReset,0", "0abc,err_Undefined,1", "0302,err_TSensor2ReadFail,2"};
  const std::string f = frame("50: wd"), big(251, 'x'), bad = "invalid response from microcontroller", sum = f.substr(0, 2) + char(f[2] + 1) + f.substr(3);
  // The pages served right, then the reply to the next request (none: all nine pages, the rest empty).
  struct Row { Strings pages; std::string next; Strings results; std::string log; };
  const Strings nine = {"12: " + big.substr(4), big, big, big, big, big, big, big, "0004: " + big.substr(6)};
  std::vector<Row> rows = {
      {log, "", found, ""},
      {nine, "", {"0004,err_ClockWarn,0"}, ""},  // a colon too near the start is no code
      {log, "silent", {}, "read failed"}};
  // Replies that lie: start byte, marker (its sum right), sum, a length short of the bytes (a NUL leaves the
  // sum), one below the head.
  for (const std::string& lie : {"\x5A" + f.substr(1), f.substr(0, 2) + char(f[2] + 1) + "\xCD" + f.substr(4), sum, f + '\0',
                                 std::string("\xA5\x03\x00", 3)})
    rows.push_back({log, lie, {}, bad});
  int row = 0, master, slave;
  for (const auto& r : rows) {
    SCOPED_TRACE(row++);
    Strings replies;
    for (const std::string& text : r.pages) replies.push_back(frame(text));
    r.next.empty() ? replies.resize(9, frame("")) : replies.push_back(r.next);
    // A pseudo-terminal in raw mode whose slave is the appliance's /dev/ttyO1 (and stays open here too).
    termios t;
    ASSERT_TRUE((master = posix_openpt(O_RDWR | O_NOCTTY)) >= 0 && !grantpt(master) && !unlockpt(master) && (slave = open(ptsname(master), O_RDWR | O_NOCTTY)) >= 0);
    ASSERT_TRUE(!tcgetattr(slave, &t) && (cfmakeraw(&t), !tcsetattr(slave, TCSANOW, &t)) && (unlink(rec().path("/dev/ttyO1").c_str()), !symlink(ptsname(master), rec().path("/dev/ttyO1").c_str())));
    std::string asked, want;
    std::thread uc([&] {  // the board's microcontroller: one reply per request
      char req[6];
      pollfd p = {master, POLLIN, 0};
      for (size_t i = 0; i < replies.size() && poll(&p, 1, 5000) == 1 && read(master, req, 6) == 6; ++i) {
        asked.append(req, 6);
        if (replies[i] != "silent" && write(master, replies[i].data(), replies[i].size()) < 0) return;
      }
    });
    forget();
    EXPECT_EQ(getPOSTResults(), r.results.empty() ? -1 : 0);
    uc.join();
    for (size_t p = 0; p < replies.size(); ++p) want += std::string("\xA5\x06") + char(0x99 + p) + "\x99" + '\0' + char(p);
    EXPECT_EQ(asked, want);
    // "code,name,index" from the store's two writes per result.
    Strings got;
    for (size_t i = 0; i + 1 < peer().writes().size(); i += 2) got.push_back(peer().writes()[i].second + "," + peer().writes()[i + 1].second + "," + std::to_string(i / 2));
    EXPECT_EQ(got, r.results);
    EXPECT_TRUE(r.log.empty() || logged(3, r.log.c_str(), "getPOSTResults"));
    close(slave), close(master);
  }
}

}  // namespace
