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
  // The appliance with the microcontroller (ucsim options `uc`) and the
  // peers started before the daemon, as on the device.
  void bringUpDevice(const std::string& uc = "") {
    app = std::make_unique<SimAppliance>();
    std::string why;
    ASSERT_TRUE(app->setUp(&why)) << why;
    ASSERT_TRUE(app->startConfigService(&why)) << why;
    ASSERT_TRUE(app->startDnsService(&why)) << why;
    ASSERT_EQ(device("start " + app->root() + " " + uc), 0);
    int status = -1;
    ASSERT_TRUE(app->startDaemon(&why, &status)) << why;
  }
  static int device(const std::string& args) { return std::system((SIM_DEVICE " " + args).c_str()); }
  void publish(const std::string& peer, const std::string& line) {
    ASSERT_EQ(device("publish " + app->root() + " " + peer + " '" + line + "'"), 0);
  }
  std::string ctlOut(const std::string& args) { return simCommandOutput(SIM_SYSSRVCTL_BIN " " + args); }
  void TearDown() override {
    if (app) device("stop " + app->root());
    SimTest::TearDown();
  }
  void SetUp() override {
    if (std::getenv("SYSSRV_EXEC_WRAPPER") != nullptr) GTEST_SKIP() << "natively only";
    m_failureFiles = {"/log/ucsim.log", "/log/peer-ProcessMon.log"};
  }
};

TEST_F(SimDeviceTest, StartUpReadsTheLastSelfTestRunAndALyingOrSilentMicrocontrollerWritesNothing) {
  const struct {
    const char* uc;
    const char* logLine;  // nullptr: the results of the last run are written
  } kRows[] = {{"", nullptr},
               {"--silent", "read failed"},
               {"--bad-marker --from-page 2", "invalid response from microcontroller"},
               {"--bad-checksum", "invalid response from microcontroller"},
               {"--short", "invalid response from microcontroller"}};
  const char* const kResults[][2] = {{"0350", "err_WatchdogReset"}, {"0ABC", "err_Undefined"},
                                     {"0305", "err_P1V2ReadFail"}, {"", ""}};
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.uc);
    bringUpDevice(row.uc);
    for (int i = 0; i < 4; ++i) {
      const std::string var = "system.post.results[" + std::to_string(i) + "].error";
      EXPECT_EQ(app->configGet(var + "code"), row.logLine ? "" : kResults[i][0]) << i;
      EXPECT_EQ(app->configGet(var + "name"), row.logLine ? "" : kResults[i][1]) << i;
    }
    // Its ready line, then pages 0 to 8, each asked for once.
    if (row.logLine == nullptr) {
      EXPECT_EQ(simFind(app->fileLines("/log/ucsim.log"), "page 8 requested"), 9);
    } else {
      EXPECT_GE(simFind(app->daemonLog(), row.logLine), 0);
    }
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
    EXPECT_TRUE(simWaitFor([&] { return app->file("/var/fw_env").find(env) != std::string::npos; }))
        << app->file("/var/fw_env");
    const std::vector<std::string> got = app->fileLines(std::string("/log/peer-") + u[1] + ".log");
    const int at = simFind(got, "ProcessMonitorIF.MacAddrReq from ");
    ASSERT_GE(at, 0);
    EXPECT_EQ(got[at].substr(got[at].rfind(" seq ")), std::string(" seq ") + u[0]);  // the unit index
  }
  const char* const kLed[][3] = {
      {"CE:Modman", "ModRoomIF.CallStatusNtfy callstatus: IN_CALL", "100 0 255 0 0 0 0 0"},
      {"CE:Modman", "ModRoomIF.CallStatusNtfy callstatus: OUTOF_CALL", "100 0 0 255 0 0 0 0"},
      {"ProcessMon", "ProcessMonitorIF.SleepStateNtfy state: kSleepState2", "100 255 50 0 0 0 0 0"},
      {"ProcessMon", "ProcessMonitorIF.SleepStateNtfy state: kWakeState", "1000 0 0 255 0 0 0 0"}};
  for (const auto& row : kLed) {
    SCOPED_TRACE(row[1]);
    publish(row[0], row[1]);
    EXPECT_TRUE(simWaitFor([&] { return app->file("/sys/devices/corvaleuc_leds/auto_blink") == row[2]; }))
        << app->file("/sys/devices/corvaleuc_leds/auto_blink");
  }
  publish("PortController", "PlatformIF.MonitorNtfy component_id: \"mon1\" action: 1");
  EXPECT_TRUE(simWaitFor([&] {
    return simFind(app->fileLines("/log/peer-ProcessMon.log"), "cmd: kSleepRestart") >= 0;
  }));

  // Refused presses first: anything they wrote would come before the rest.
  const char* const kKeys[] = {"monitor_id: 1 key: 8 button: 48", "monitor_id: 1 key: 12 button: 99",
                               "monitor_id: 1 key: 12 button: 48", "monitor_id: 2 key: 7 button: 16"};
  for (const char* k : kKeys) EXPECT_EQ(app->ctl({"send", "SystemIF.VirtualKeyPressCmd", k}).status, 0) << k;
  const std::string keys = "uinput " + app->root() + "/dev/uinput";
  EXPECT_TRUE(simWaitFor([&] {
    return ctlOut(keys) == "device \"crvl-virt-key-press-device\"\nkey 523 down\nsync\nkey 523 up\nsync\nkey 28 up\nsync\n";
  })) << ctlOut(keys);

  subscribe(kMsgIdSystemIFAppStatusAlertNtfy);
  // Hostile datagrams first (unterminated 64 bytes, overflow, NULs, unknown
  // enumerators, another letter): a notification of theirs would come first.
  const std::string overflow = "A 2 " + std::string(60, '9');
  for (const std::string& d : {overflow, std::string("B 2 1"), std::string("A 9 1"), std::string("A 2 99"),
                               std::string("\\0A 2 1"), std::string(""), std::string("A 2"),
                               std::string("A 2 1"), std::string("A 1 4 A 2 5")}) {
    EXPECT_EQ(ctlOut("alert '" + d + "' --to " + app->root() + "/tmp/snmp_msg && echo sent"), "sent\n") << d;
  }
  for (const auto& want : {std::make_pair(2, 1), std::make_pair(1, 4), std::make_pair(2, 5)}) {
    SystemIF::AppStatusAlertNtfy n;
    ASSERT_TRUE(receive(kMsgIdSystemIFAppStatusAlertNtfy, &n));
    EXPECT_EQ(std::make_pair(static_cast<int>(n.alert_source()), static_cast<int>(n.alert_type())), want);
  }
}

}  // namespace
