// Setting the time (hardware clock record, system clock, local-time
// broadcasts, TimeChangeNtfy), telling the time, the master-time exchange
// and PTP control, on the daemon fixture.
#include <linux/rtc.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "SystemIF.pb.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvPtp.h"
#include "systemservice/syssrvTime.h"
#include "tests/systemservice/test_callbacks_peer.h"

namespace {

using Strings = std::vector<std::string>;
using TimeTest = CfgTest;

// After the system clock moved: the logging relaunch (the recorder's pidof
// finds the start script running), then the broadcasts.
Strings broadcasts(int y, int mon0, int d, int h, int min, bool clockSet = true) {
  char date[128], time[128];
  snprintf(date, sizeof date, "am broadcast -a corvale.intent.action.setup.SET_DATE --ei year %d --ei month %d --ei day %d\n", y, mon0, d);
  snprintf(time, sizeof time, "am broadcast -a corvale.intent.action.setup.SET_TIME --ei hour %d --ei minute %d\n", h, min);
  Strings out = {date, "am broadcast -a android.intent.action.DATE_CHANGED\n", time, "am broadcast -a android.intent.action.TIME_SET\n"};
  if (clockSet) out.insert(out.begin(), "/system/xbin/pidof startsyslog >/dev/null 2>&1");
  return out;
}

// Failures of one clock are logged and stop nothing else; only a time-server
// mode refuses.
TEST_F(TimeTest, ClocksGetUtcBroadcastsGetTheZonesLocalTimeOnlyTimeServerModesRefuse) {
  ASSERT_EQ(MSG_RegisterNotificationRemote(kCaller, kMsgIdSystemIFTimeChangeNtfy, kMsgIdSystemIFTimeChangeNtfy,
                                           MSG_GetRemoteId(kCaller, kSyssrvEndpoint)), 0);
  MSG_RecvAnyMsg(kSyssrvEndpoint, 100);  // lets the subscription arrive
  rec().ioctl_arg_size(RTC_SET_TIME, sizeof(rtc_time));
  const char* berlin = "Europe/Berlin";
  const struct { const char* zone; const char* mode; int64_t t; const char* utc; Strings am; bool rtcNode = true; int ioctlRc = 0; const char* warning = nullptr; } rows[] = {
      {berlin, "off", 1710806399, "2024-03-18:23:59:59", broadcasts(2024, 2, 19, 0, 59)},
      {berlin, "", 1711848600, "2024-03-31:01:30:00", broadcasts(2024, 2, 31, 3, 30)},  // DST begins
      {"Mars/Olympus", "automatic", 0, "1970-01-01:00:00:00", broadcasts(1970, 0, 1, 0, 0)},
      {"", "", 2147483648, "2038-01-19:03:14:08", broadcasts(2038, 0, 19, 3, 14)},  // past 32-bit seconds
      {berlin, "AUTO", 1710806399, nullptr, {}}, {"", "Manual", 1710806399, nullptr, {}},
      {"", "", 0, "1970-01-01:00:00:00", broadcasts(1970, 0, 1, 0, 0), false, 0, "DevMgrRtc: In RTC Set Time opening driver node /dev/rtc failed.\n"},
      {"", "", 0, "1970-01-01:00:00:00", broadcasts(1970, 0, 1, 0, 0), true, -1, "DevMgrRtc: In RTC Set Time Ioctl RTC_SET_TIME failed.\n"},
      {"", "", -1, "1969-12-31:23:59:59", broadcasts(1969, 11, 31, 23, 59, false), true, 0, "settimeofday returned = Invalid argument\n"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.zone) + " " + r.mode + " " + std::to_string(r.t));
    rec().put_property("persist.sys.timezone", r.zone);
    peer().set("time.timeserver.mode", r.mode);
    unlink(rec().path("/dev/rtc0").c_str());
    if (r.rtcNode) rec().put_file("/dev/rtc0", "");
    rec().ioctl_result(RTC_SET_TIME, r.ioctlRc);
    forget();
    SystemIF::SetSystemTimeReq req;
    req.set_time_value(r.t);
    deliver(kMsgIdSystemIFSetSystemTimeReq, req.SerializeAsString(), SystemIFSetSystemTimeCmd);
    SystemIF::SetSystemTimeRsp rsp;
    SystemIF::TimeChangeNtfy n;
    ASSERT_TRUE(answer(kMsgIdSystemIFSetSystemTimeRsp, &rsp));
    EXPECT_EQ(rsp.error(), r.utc ? 0 : -4);
    EXPECT_EQ(r.utc && answer(kMsgIdSystemIFTimeChangeNtfy, &n) ? n.secs() : INT64_MIN, r.utc ? r.t : INT64_MIN);
    EXPECT_EQ(rec().commands(), r.am);
    const auto io = rec().records(SysIoCall::kIoctl);
    rtc_time hw = {};
    if (io.size() == 1 && io[0].path == "/dev/rtc0" && io[0].request == 0x4024700Au) memcpy(&hw, io[0].bytes.data(), 36);
    char date[80] = "";
    if (!io.empty()) snprintf(date, sizeof date, "%04d-%02d-%02d:%02d:%02d:%02d", hw.tm_year + 1900, hw.tm_mon + 1, hw.tm_mday, hw.tm_hour, hw.tm_min, hw.tm_sec);
    EXPECT_EQ(date, std::string(r.utc && r.rtcNode ? r.utc : ""));
    EXPECT_EQ(hw.tm_isdst, 0);  // UTC: the daylight flag cleared
    const auto clock = rec().records(SysIoCall::kClockSettime);
    EXPECT_EQ(clock.size() == 1 && clock[0].ts.tv_sec == r.t && clock[0].ts.tv_nsec == 0, r.utc != nullptr);
    EXPECT_EQ(logged(7, std::string("SystemIFSetSystemTimeCmd: ") + (r.utc ? r.utc : "") + "\n"), r.utc ? 1 : 0);
    EXPECT_EQ(logged(7, "SystemIFSetSystemTimeCmd - can't set time in auto or manual mode\n"), r.utc ? 0 : 1);
    EXPECT_EQ(logged(7, "doing AM command: am broadcast -a android.intent.action.TIME_SET\n\n"), r.utc ? 1 : 0);
    EXPECT_EQ(logged(4, r.warning ? r.warning : ""), r.warning ? 1 : 0);
  }
}

TEST_F(TimeTest, TimeRequestsAnswerFromTheClockAndUptimeMasterStampsBracketTheTurnaround) {
  for (bool uptime : {true, false}) {
    if (uptime) rec().put_file("/proc/uptime", "12345.67 400.00\n");
    deliver(kMsgIdSystemIFGetSystemTimeReq, "", SystemIFGetSystemTimeReq);
    SystemIF::GetSystemTimeRsp rsp;
    ASSERT_TRUE(answer(kMsgIdSystemIFGetSystemTimeRsp, &rsp));
    EXPECT_EQ(rsp.ShortDebugString(), uptime ? "error: 0 time_value: 1700000000 uptime: 12345.67" : "error: 0 time_value: 1700000000");
    unlink(rec().path("/proc/uptime").c_str());
  }
  rec().set_realtime(1700000000, 123456789);
  SystemIF::GetMasterVelarTimeReq req;
  req.set_req_tx_time(1699999999.25);
  deliver(kMsgIdSystemIFGetMasterVelarTimeReq, req.SerializeAsString(), ProcessMasterVelarTimeReq);
  SystemIF::GetMasterVelarTimeRsp rsp;
  ASSERT_TRUE(answer(kMsgIdSystemIFGetMasterVelarTimeRsp, &rsp));
  EXPECT_EQ(rsp.req_tx_time(), 1699999999.25);
  EXPECT_DOUBLE_EQ(rsp.req_rx_time(), 1700000000.123456);  // microseconds, as gettimeofday
  EXPECT_LE(rsp.req_rx_time(), rsp.rsp_tx_time());
}

TEST_F(TimeTest, PtpConfigureStartsTheDaemonUnlessOneIsStillThereResetStopsIt) {
  for (bool running : {false, true}) {  // running: SIGTERM sent, but it has not ended yet
    SCOPED_TRACE(running);
    if (running) rec().put_file("/proc/4321/cmdline", std::string("/usr/sbin/ptp4l\0-S\0", 20));
    forget();
    SystemIF::PtpConfigureReq req;
    req.set_ptpdomain(running ? 0 : 24);
    deliver(kMsgIdSystemIFPtpConfigureReq, req.SerializeAsString(), SystemIFPtpConfigureReq);
    SystemIF::PtpConfigureRsp rsp;
    ASSERT_TRUE(answer(kMsgIdSystemIFPtpConfigureRsp, &rsp));
    EXPECT_EQ(rsp.ShortDebugString(), "error: 0");
    EXPECT_EQ(rec().commands(), running ? Strings{} : Strings{"/opt/corvale/bin/startptp4l  24\n"});
    EXPECT_EQ(logged(7, running ? " ptp4l = 4321 is already running \n" : " ptp4l = 0 isn't running\n"), 1);
    deliver(kMsgIdSystemIFPtpResetCmd, "", SystemIFPtpResetCmd);
    const auto kills = rec().records(SysIoCall::kKill);
    ASSERT_EQ(kills.size(), running ? 2u : 0u);
    for (const auto& k : kills) EXPECT_TRUE(k.pid == 4321 && k.sig == SIGTERM);
    EXPECT_EQ(logged(7, "try killing ptp4l = " + std::to_string(running ? 4321 : 0) + "\n"), 2);
  }
}

}  // namespace
