// Entry and main loop: command line, core limit, alert socket, and the
// loop's counters driven pass by pass with a recorder as the seam and a
// configuration stand-in answering the reads.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "OS/linux/psosapi/ptimer.h"
#include "tests/systemservice/call_trace.h"
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvMain.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvTypes.h"
#include "tests/systemservice/test_main_fixture.h"

namespace {

const char kCertCmd[] = "/opt/corvale/bin/check_exp_certs_crls.sh 30 3";
const char kCrlCmd[] = "/opt/corvale/bin/download_crls.sh";
const char kHoursVar[] = "system.pki.revocation.crldownloadhours";
const char kProvVar[] = "management.provisioning.inserverdiscoverystatus";

int parse(std::vector<std::string> args, int preset = 7) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  int coredump = preset;
  parse_params(static_cast<int>(args.size()), argv.data(), &coredump);
  return coredump;
}

TEST(MainParams, CoreDumpOptionInAnyCaseAndPosition) {
  EXPECT_EQ(parse({"syssrv"}), 0);
  EXPECT_EQ(parse({"syssrv", "--coredump"}), 1);
  EXPECT_EQ(parse({"syssrv", "--COREDUMP"}), 1);
  EXPECT_EQ(parse({"syssrv", "-v", "other", "--CoreDump"}), 1);
  EXPECT_EQ(parse({"syssrv", "--coreDUMP", "trailing"}), 1);
  EXPECT_EQ(parse({"syssrv", "--coredump", "--coredump"}), 1);
  // Near misses are ignored without a message, and reset a stale value.
  EXPECT_EQ(parse({"syssrv", "--coredumps"}), 0);
  EXPECT_EQ(parse({"syssrv", "coredump"}), 0);
  EXPECT_EQ(parse({"syssrv", "--core-dump"}), 0);
  EXPECT_EQ(parse({"syssrv", "--coredump;rm -rf /"}), 0);
  EXPECT_EQ(parse({"syssrv", ""}), 0);
}

TEST(MainParams, CrlPeriodRules) {
  struct Case {
    bool readOk;
    const char* text;
    int period;
    bool enabled;
  } cases[] = {
      {true, "0", 0, false},         {true, "", 43200, true},        {true, "abc", 43200, true},
      {true, "12ab", 43200, true},   {true, "-5", 43200, true},      {true, "169", 604800, true},
      {true, "168", 604800, true},   {true, "1", 3600, true},        {true, "24", 86400, true},
      {false, "5", 43200, true},     {true, "99999999999999999999", 43200, true},
      {true, "5\n", 43200, true},    {true, "5;reboot", 43200, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    bool enabled = !c.enabled;
    EXPECT_EQ(crl_download_period(c.readOk, c.text, &enabled), c.period);
    EXPECT_EQ(enabled, c.enabled);
  }
}

class MainLoopTest : public DaemonTest {
 protected:
  void SetUp() override {
    DaemonTest::SetUp();
    startConfig();
    m_cfg->set("system.network.wired.devicename", "eth0");
    st.message_wait_ms = 0;
    didLoggingUpdate = false;
  }
  void lanUp() {
    st.lan_state = LAN_UP;
    rec().put_file("/sys/class/net/eth0/carrier", "1\n");
  }
  // Runs `n` passes and returns the 1-based numbers of the passes in which
  // `cmd` ran.
  std::vector<int> passesRunning(const std::string& cmd, int n) {
    std::vector<int> found;
    for (int i = 1; i <= n; ++i) {
      rec().clear();
      syssrvMainLoopPass(&st);
      for (const std::string& c : rec().commands()) {
        if (c == cmd) found.push_back(i);
      }
      if (i % 500 == 0) syssrvCallTrace_clear();
    }
    return found;
  }
  syssrvLoopState st;
};

TEST_F(MainLoopTest, InitialLocals) {
  syssrvLoopState fresh;
  EXPECT_EQ(fresh.coredump, 0);
  EXPECT_EQ(fresh.lan_state, LAN_DOWN);
  EXPECT_EQ(fresh.alert_sock, -1);
  EXPECT_EQ(fresh.expiration_wait_count, 0);
  EXPECT_EQ(fresh.crl_download_wait_count, -30);
  EXPECT_EQ(fresh.cfg_val[0], '\0');
  EXPECT_EQ(sizeof fresh.cfg_val, 16u);
  EXPECT_EQ(fresh.message_wait_ms, 1000);
}

TEST_F(MainLoopTest, OnePassCallsEveryStepInOrder) {
  lanUp();
  st.alert_sock = 9;
  m_cfg->set(kHoursVar, "1");
  syssrvMainLoopPass(&st);
  const std::vector<std::string> expect = {"monitor_temperature(0)", "syssrvForwardAlertMessages(9)",
                                           "syssrvLogUploadStatus()", "update_logging(null,null)",
                                           "bLoggingRestartNeeded(1)"};
  EXPECT_EQ(syssrvCallTrace(), expect);
  // The LAN poll ran: its first pass opens the configured device's carrier.
  std::vector<std::string> opened;
  for (const SysIoRecord& r : rec().records(SysIoCall::kOpen)) opened.push_back(r.path);
  EXPECT_NE(std::find(opened.begin(), opened.end(), "/sys/class/net/eth0/carrier"), opened.end());
  EXPECT_TRUE(didLoggingUpdate);
  // Once applied, the logging configuration is not applied again.
  syssrvCallTrace_clear();
  syssrvMainLoopPass(&st);
  for (const std::string& e : syssrvCallTrace()) EXPECT_NE(e, "update_logging(null,null)");
  EXPECT_EQ(m_cfg->reads(kHoursVar), 2);
}

TEST_F(MainLoopTest, CertScriptOnFirstPassThenEvery3600) {
  m_cfg->set(kHoursVar, "0");
  EXPECT_EQ(passesRunning(kCertCmd, 7202), (std::vector<int>{1, 3601, 7201}));
}

TEST_F(MainLoopTest, CertScriptRunsBeforeTheFirstDownload) {
  lanUp();
  m_cfg->set(kHoursVar, "1");
  std::vector<std::string> all;
  for (int i = 0; i < 31; ++i) {
    syssrvMainLoopPass(&st);
  }
  for (const std::string& c : rec().commands()) {
    if (c == kCertCmd || c == kCrlCmd) all.push_back(c);
  }
  EXPECT_EQ(all, (std::vector<std::string>{kCertCmd, kCrlCmd}));
}

TEST_F(MainLoopTest, FirstDownloadInPass31ThenEveryPeriod) {
  lanUp();
  m_cfg->set(kHoursVar, "1");
  EXPECT_EQ(passesRunning(kCrlCmd, 31 + 3600 + 1), (std::vector<int>{31, 31 + 3600}));
}

TEST_F(MainLoopTest, ZeroHoursDisablesDownloads) {
  lanUp();
  m_cfg->set(kHoursVar, "0");
  EXPECT_TRUE(passesRunning(kCrlCmd, 200).empty());
}

TEST_F(MainLoopTest, UnusableValuesGiveHalfADay) {
  for (const char* v : {"", "abc", "12ab", "-5"}) {
    SCOPED_TRACE(v);
    st = syssrvLoopState();
    st.message_wait_ms = 0;
    lanUp();
    m_cfg->set(kHoursVar, v);
    // Jump close to the end of the first period.
    st.crl_download_wait_count = 43200 - 3;
    EXPECT_EQ(passesRunning(kCrlCmd, 5), (std::vector<int>{4}));
    EXPECT_EQ(st.download_hours, 12);
  }
}

TEST_F(MainLoopTest, LongPeriodsAreCappedAtAWeek) {
  lanUp();
  m_cfg->set(kHoursVar, "169");
  st.crl_download_wait_count = 604800 - 2;
  EXPECT_EQ(passesRunning(kCrlCmd, 4), (std::vector<int>{3}));
}

TEST_F(MainLoopTest, ReadFailureGivesHalfADay) {
  lanUp();
  m_cfg->noAnswer(kMsgIdConfigIFReadReq, kHoursVar);
  st.crl_download_wait_count = 43200 - 1;
  // One pass waits out the client's time-out; the count wraps at 43200.
  EXPECT_EQ(passesRunning(kCrlCmd, 2), (std::vector<int>{2}));
}

TEST_F(MainLoopTest, LanDownSkipsThatPeriod) {
  m_cfg->set(kHoursVar, "1");
  st.lan_state = LAN_DOWN;
  std::vector<int> ran = passesRunning(kCrlCmd, 31);
  EXPECT_TRUE(ran.empty());
  // The LAN comes up right after: the next download is a whole period
  // later, not at once.
  lanUp();
  EXPECT_EQ(passesRunning(kCrlCmd, 3600), (std::vector<int>{3600}));
}

TEST_F(MainLoopTest, ChangedPeriodTakesEffectWithoutResettingTheCount) {
  lanUp();
  m_cfg->set(kHoursVar, "2");
  st.crl_download_wait_count = 5000;
  // Under a 2-hour period the count would go on to 7200; at 1 hour it
  // wraps at once at the next pass.
  m_cfg->set(kHoursVar, "1");
  syssrvMainLoopPass(&st);
  EXPECT_EQ(st.crl_download_wait_count, 0);
  EXPECT_EQ(passesRunning(kCrlCmd, 1), (std::vector<int>{1}));
}

TEST_F(MainLoopTest, ProvisioningDeadlineWritesFailedEveryPassUntilCleared) {
  m_cfg->set(kHoursVar, "0");
  discoverProvisioningTimeout = RealTimeMilliSeconds() + 2000;
  syssrvMainLoopPass(&st);
  EXPECT_TRUE(m_cfg->writes().empty());
  rec().advance_ms(2000);  // equal: not yet past
  syssrvMainLoopPass(&st);
  EXPECT_TRUE(m_cfg->writes().empty());
  rec().advance_ms(1);
  syssrvMainLoopPass(&st);
  syssrvMainLoopPass(&st);
  syssrvMainLoopPass(&st);
  using W = std::pair<std::string, std::string>;
  EXPECT_EQ(m_cfg->writes(), (std::vector<W>{{kProvVar, "FAILED"}, {kProvVar, "FAILED"}, {kProvVar, "FAILED"}}));
  discoverProvisioningTimeout = 0;
  syssrvMainLoopPass(&st);
  EXPECT_EQ(m_cfg->writes().size(), 3u);
}

TEST_F(MainLoopTest, CheckLanUsableRunsTheExactCommand) {
  const char* cmd = "/system/bin/ip addr | grep \"scope global\" > /dev/null";
  rec().on(cmd).exit_code(0);
  EXPECT_EQ(check_lan_usable(), 1);
  rec().on(cmd).exit_code(1);
  EXPECT_EQ(check_lan_usable(), 0);
  rec().on(cmd).fail();
  EXPECT_EQ(check_lan_usable(), 0);
  EXPECT_EQ(rec().commands(), (std::vector<std::string>{cmd, cmd, cmd}));
}

TEST_F(MainLoopTest, AlertSocketBoundAtItsPath) {
  rec().put_file("/tmp/snmp_msg", "stale");
  int sock = syssrvAlertSockInit();
  ASSERT_GE(sock, 0);
  // The stale file was removed through the seam and a datagram socket
  // now receives what local daemons send to the path.
  bool unlinked = false;
  for (const SysIoRecord& r : rec().records(SysIoCall::kUnlink)) unlinked = unlinked || r.path == "/tmp/snmp_msg";
  EXPECT_TRUE(unlinked);
  int type = 0;
  socklen_t len = sizeof type;
  ASSERT_EQ(getsockopt(sock, SOL_SOCKET, SO_TYPE, &type, &len), 0);
  EXPECT_EQ(type, SOCK_DGRAM);
  int out = socket(AF_UNIX, SOCK_DGRAM, 0);
  struct sockaddr_un to = {};
  to.sun_family = AF_UNIX;
  std::string where = rec().path("/tmp/snmp_msg");
  ASSERT_LT(where.size(), sizeof to.sun_path);
  memcpy(to.sun_path, where.c_str(), where.size());
  ASSERT_EQ(sendto(out, "A 2 1", 5, 0, reinterpret_cast<struct sockaddr*>(&to), sizeof to), 5);
  char buf[16] = {};
  EXPECT_EQ(recv(sock, buf, sizeof buf, 0), 5);
  EXPECT_STREQ(buf, "A 2 1");
  close(out);
  close(sock);
}

TEST_F(MainLoopTest, AlertSocketBindFailureLeavesMinusOne) {
  // A directory where the socket should be: unlink cannot remove it and
  // bind fails.
  rec().make_dirs("/tmp/snmp_msg/inside");
  EXPECT_EQ(syssrvAlertSockInit(), -1);
  EXPECT_NE(log().find("NULL: socket bind failed on /tmp/snmp_msg\n"), std::string::npos) << log();
}

}  // namespace
