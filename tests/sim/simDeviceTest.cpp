// Device control against its real peers: the board's microcontroller on a
// pseudo-terminal (tools/ucsim) read at start-up, the process monitors, the
// port controller and the modular-room manager as `syssrvctl serve` peers
// (sim/device), alert datagrams on the real socket, and the key events in
// the file standing for /dev/uinput. Natively only: the decoder reads this
// machine's input_event size.
#include <regex>

#include "tests/sim/simFixture.h"

namespace {

class SimDeviceTest : public SimTest {
 protected:
  void SetUp() override {
    if (std::getenv("SYSSRV_EXEC_WRAPPER") != nullptr) GTEST_SKIP() << "natively only";
    m_failureFiles = {"/log/ucsim.log", "/log/peer-ProcessMon.log"};
  }
  // The microcontroller (ucsim options m_uc) and the peers.
  bool startPeers() override { return device("start", m_uc) == 0; }
  int device(const std::string& verb, const std::string& more = "") {
    return std::system((SIM_DEVICE " " + verb + " " + app->root() + " " + more).c_str());
  }
  void TearDown() override {
    if (app) device("stop");
    SimTest::TearDown();
  }
  std::string m_uc;
};

TEST_F(SimDeviceTest, StartUpReadsTheLastSelfTestRunAndALyingOrSilentMicrocontrollerWritesNothing) {
  const char* const kRows[][2] = {{"", nullptr},  // {ucsim options, the daemon's line; none: results written}
                                  {"--silent", "read failed"},
                                  {"--bad-marker --from-page 2", "invalid response from microcontroller"}};
  const char* const kResults[] = {"0350 err_WatchdogReset", "0ABC err_Undefined", "0305 err_P1V2ReadFail", " "};
  for (const auto& row : kRows) {
    SCOPED_TRACE(row[0]);
    m_uc = row[0];
    bringUp();
    if (HasFatalFailure()) return;
    for (int i = 0; i < 4; ++i) {
      const std::string var = "system.post.results[" + std::to_string(i) + "].error";
      EXPECT_EQ(app->configGet(var + "code") + " " + app->configGet(var + "name"), row[1] ? " " : kResults[i]);
    }
    // Without a lie: its ready line, then pages 0 to 8, each asked for once.
    EXPECT_EQ(row[1] ? simFind(app->daemonLog(), row[1]) >= 0
                     : simFind(app->fileLines("/log/ucsim.log"), "page 8 requested") == 9, true);
    TearDown();
  }
}

TEST_F(SimDeviceTest, CallSleepKeysAlertsAndMacAddressesReachTheirPeersFilesAndSubscribers) {
  bringUp();
  const char* const kUnits[][3] = {{"0", "ProcessMon", "00:E0:DB:4A:21:CE"},
                                   {"1", "ToVelar1_ProcessMon", "00:E0:DB:51:07:3A"}};
  for (const auto& u : kUnits) {
    SCOPED_TRACE(u[1]);
    const std::string env = std::string("eth1addr_cpu") + u[0] + "=" + u[2] + "\n";
    EXPECT_TRUE(simWaitFor([&] { return app->file("/var/fw_env").find(env) != std::string::npos; }));
    const std::string peer = app->file(std::string("/log/peer-") + u[1] + ".log");  // asked with the unit index
    EXPECT_TRUE(std::regex_search(peer, std::regex(std::string("\\.MacAddrReq from \\d+ seq ") + u[0] + "\n"))) << peer;
  }
  const char* const kLed[][3] = {
      {"CE:Modman", "ModRoomIF.CallStatusNtfy callstatus: IN_CALL", "100 0 255 0 0 0 0 0"},
      {"CE:Modman", "ModRoomIF.CallStatusNtfy callstatus: OUTOF_CALL", "100 0 0 255 0 0 0 0"},
      {"ProcessMon", "ProcessMonitorIF.SleepStateNtfy state: kSleepState2", "100 255 50 0 0 0 0 0"},
      {"ProcessMon", "ProcessMonitorIF.SleepStateNtfy state: kWakeState", "1000 0 0 255 0 0 0 0"}};
  for (const auto& row : kLed) {
    SCOPED_TRACE(row[1]);
    ASSERT_EQ(device("publish", std::string(row[0]) + " '" + row[1] + "'"), 0);
    EXPECT_TRUE(simWaitFor([&] { return app->file("/sys/devices/corvaleuc_leds/auto_blink") == row[2]; }));
  }

  // Refused presses first: anything they wrote would come before the rest.
  for (const std::string k : {"1 key: 8 button: 48", "1 key: 12 button: 48", "2 key: 7 button: 16"})
    EXPECT_EQ(app->ctl({"send", "SystemIF.VirtualKeyPressCmd", "monitor_id: " + k}).status, 0) << k;
  const std::string keys = SIM_SYSSRVCTL_BIN " uinput " + app->root() + "/dev/uinput";
  const std::string want = "device \"crvl-virt-key-press-device\"\n"
                           "key 523 down\nsync\nkey 523 up\nsync\nkey 28 up\nsync\n";
  EXPECT_TRUE(simWaitFor([&] { return simCommandOutput(keys) == want; })) << simCommandOutput(keys);

  subscribe(kMsgIdSystemIFAppStatusAlertNtfy);
  // Hostile datagrams first (64 bytes unterminated and overflowing, an
  // unknown enumerator, a NUL, short): a notification of theirs
  // would come before the good ones'.
  const std::string kAlerts[] = {"A 2 " + std::string(60, '9'), "A 2 99", "\\0A 2 1", "A 2", "A 2 1", "A 1 4 A 2 5"};
  for (const std::string& d : kAlerts)
    EXPECT_EQ(std::system((SIM_SYSSRVCTL_BIN " alert '" + d + "' --to " + app->root() + "/tmp/snmp_msg").c_str()), 0);
  for (const auto& want : {std::make_pair(2, 1), std::make_pair(1, 4), std::make_pair(2, 5)}) {
    const auto n = next<SystemIF::AppStatusAlertNtfy>(kMsgIdSystemIFAppStatusAlertNtfy);
    EXPECT_EQ(std::make_pair(static_cast<int>(n.alert_source()), static_cast<int>(n.alert_type())), want);
  }
}

}  // namespace
