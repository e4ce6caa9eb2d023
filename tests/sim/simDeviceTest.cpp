// Device control against its real peers: the board's microcontroller on a
// pseudo-terminal (tools/ucsim) read at start-up, the process monitors, the
// port controller and the modular-room manager as `syssrvctl serve` peers
// (sim/device), alert datagrams on the real socket, and the key events in
// the file standing for /dev/uinput. Natively only: the decoder reads this
// machine's input_event size.
#include <string>

#include "tests/sim/simFixture.h"

namespace {

class SimDeviceTest : public SimTest {
 protected:
  void SetUp() override {
    if (std::getenv("SYSSRV_EXEC_WRAPPER") != nullptr) GTEST_SKIP() << "natively only";
    m_failureFiles = {"/log/ucsim.log", "/log/peer-ProcessMon.log"};
  }
  // The microcontroller (ucsim options `uc`) and the peers start before
  // the daemon, as on the device.
  void bringUpDevice(const std::string& uc = "") {
    app = std::make_unique<SimAppliance>();
    std::string why;
    ASSERT_TRUE(app->setUp(&why) && app->startConfigService(&why) && app->startDnsService(&why)) << why;
    ASSERT_EQ(device("start", uc), 0);
    int status = -1;
    ASSERT_TRUE(app->startDaemon(&why, &status)) << why;
  }
  int device(const std::string& verb, const std::string& more = "") {
    return std::system((SIM_DEVICE " " + verb + " " + app->root() + " " + more).c_str());
  }
  void TearDown() override {
    if (app) device("stop");
    SimTest::TearDown();
  }
};

TEST_F(SimDeviceTest, StartUpReadsTheLastSelfTestRunAndALyingOrSilentMicrocontrollerWritesNothing) {
  const char* const kRows[][2] = {{"", nullptr},  // {ucsim options, the daemon's line; none: results written}
                                  {"--silent", "read failed"},
                                  {"--bad-marker --from-page 2", "invalid response from microcontroller"},
                                  {"--bad-checksum", "invalid response from microcontroller"},
                                  {"--short", "invalid response from microcontroller"}};
  const char* const kResults[][2] = {
      {"0350", "err_WatchdogReset"}, {"0ABC", "err_Undefined"}, {"0305", "err_P1V2ReadFail"}, {"", ""}};
  for (const auto& row : kRows) {
    SCOPED_TRACE(row[0]);
    bringUpDevice(row[0]);
    if (HasFatalFailure()) return;
    for (int i = 0; i < 4; ++i) {
      const std::string var = "system.post.results[" + std::to_string(i) + "].error";
      EXPECT_EQ(app->configGet(var + "code") + " " + app->configGet(var + "name"),
                row[1] ? " " : std::string(kResults[i][0]) + " " + kResults[i][1]);
    }
    // Without a lie: its ready line, then pages 0 to 8, each asked for once.
    EXPECT_EQ(row[1] ? simFind(app->daemonLog(), row[1]) >= 0
                     : simFind(app->fileLines("/log/ucsim.log"), "page 8 requested") == 9, true);
    TearDown();
  }
}

TEST_F(SimDeviceTest, CallSleepKeysAlertsAndMacAddressesReachTheirPeersFilesAndSubscribers) {
  bringUpDevice();
  const char* const kUnits[][3] = {{"0", "ProcessMon", "00:E0:DB:4A:21:CE"},
                                   {"1", "ToVelar1_ProcessMon", "00:E0:DB:51:07:3A"},
                                   {"2", "ToVelar2_ProcessMon", "00:E0:DB:51:07:3B"}};
  for (const auto& u : kUnits) {
    SCOPED_TRACE(u[1]);
    const std::string env = std::string("eth1addr_cpu") + u[0] + "=" + u[2] + "\n";
    EXPECT_TRUE(simWaitFor([&] { return app->file("/var/fw_env").find(env) != std::string::npos; }));
    const std::vector<std::string> got = app->fileLines(std::string("/log/peer-") + u[1] + ".log");
    const int at = simFind(got, "ProcessMonitorIF.MacAddrReq from ");
    ASSERT_GE(at, 0);
    EXPECT_EQ(got[at].substr(got[at].rfind(" seq ")), std::string(" seq ") + u[0]);  // the unit index
  }
  const char* const kLed[][3] = {
      {"CE:Modman", "ModRoomIF.CallStatusNtfy callstatus: IN_CALL", "100 0 255 0 0 0 0 0"},
      {"CE:Modman", "ModRoomIF.CallStatusNtfy callstatus: OUTOF_CALL", "100 0 0 255 0 0 0 0"},
      {"ProcessMon", "ProcessMonitorIF.SleepStateNtfy state: kSleepState2", "100 255 50 0 0 0 0 0"},
      {"ProcessMon", "ProcessMonitorIF.SleepStateNtfy state: kWakeState", "1000 0 0 255 0 0 0 0"},
      {"PortController", "PlatformIF.MonitorNtfy component_id: \"mon1\" action: 1", nullptr}};
  for (const auto& row : kLed) {
    SCOPED_TRACE(row[1]);
    ASSERT_EQ(device("publish", std::string(row[0]) + " '" + row[1] + "'"), 0);
    EXPECT_TRUE(simWaitFor([&] {
      return row[2] ? app->file("/sys/devices/corvaleuc_leds/auto_blink") == row[2]
                    : simFind(app->fileLines("/log/peer-ProcessMon.log"), "cmd: kSleepRestart") >= 0;
    })) << app->file("/sys/devices/corvaleuc_leds/auto_blink");
  }

  // Refused presses first: anything they wrote would come before the rest.
  for (const char* k : {"monitor_id: 1 key: 8 button: 48", "monitor_id: 1 key: 12 button: 99",
                        "monitor_id: 1 key: 12 button: 48", "monitor_id: 2 key: 7 button: 16"}) {
    EXPECT_EQ(app->ctl({"send", "SystemIF.VirtualKeyPressCmd", k}).status, 0) << k;
  }
  const std::string keys = SIM_SYSSRVCTL_BIN " uinput " + app->root() + "/dev/uinput";
  EXPECT_TRUE(simWaitFor([&] {
    return simCommandOutput(keys) ==
           "device \"crvl-virt-key-press-device\"\nkey 523 down\nsync\nkey 523 up\nsync\nkey 28 up\nsync\n";
  })) << simCommandOutput(keys);

  subscribe(kMsgIdSystemIFAppStatusAlertNtfy);
  // Hostile datagrams first (64 bytes unterminated and overflowing, another
  // letter, unknown enumerators, a NUL, empty, short): a notification of
  // theirs would come before the good ones'.
  const std::string kAlerts[] = {"A 2 " + std::string(60, '9'), "B 2 1", "A 9 1", "A 2 99", "\\0A 2 1", "", "A 2",
                                 "A 2 1", "A 1 4 A 2 5"};
  for (const std::string& d : kAlerts) {
    EXPECT_EQ(std::system((SIM_SYSSRVCTL_BIN " alert '" + d + "' --to " + app->root() + "/tmp/snmp_msg").c_str()), 0);
  }
  for (const auto& want : {std::make_pair(2, 1), std::make_pair(1, 4), std::make_pair(2, 5)}) {
    SystemIF::AppStatusAlertNtfy n;
    ASSERT_TRUE(receive(kMsgIdSystemIFAppStatusAlertNtfy, &n));
    EXPECT_EQ(std::make_pair(static_cast<int>(n.alert_source()), static_cast<int>(n.alert_type())), want);
  }
}

}  // namespace
