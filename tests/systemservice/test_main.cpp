// Entry, main loop and message layer: command line, the loop's scripts and
// counters driven pass by pass, the provisioning deadline, the alert
// socket, the fork into the background, a pass that lasts its second even
// without an endpoint; every handler reached by its type after start-up,
// the early return without the configuration service, registration
// failures, the Aspen time-zone case, send-and-wait, the PAC expiry
// callback and the virtual key-press device.
#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "OS/linux/psosapi/ptimer.h"
#include "SystemIF.pb.h"
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvMain.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvMessageTable.h"
#include "tests/systemservice/test_callbacks_peer.h"

namespace {

using Strings = std::vector<std::string>;
using W = std::pair<std::string, std::string>;  // a write: name, value
const char kCertCmd[] = "/opt/corvale/bin/check_exp_certs_crls.sh 30 3";
const char kSyslogCheck[] = "/system/xbin/pidof startsyslog >/dev/null 2>&1";
const char kHoursVar[] = "system.pki.revocation.crldownloadhours";

TEST(MainParams, CoreDumpOptionInAnyCaseAndPosition) {
  const std::vector<std::pair<Strings, int>> rows = {
      {{"syssrv"}, 0},           {{"syssrv", "--COREDUMP"}, 1},       {{"syssrv", "-v", "--CoreDump", "x"}, 1},
      {{"syssrv", "--coredumps"}, 0}, {{"syssrv", "--coredump;rm -rf /"}, 0}, {{"syssrv", ""}, 0}};
  for (auto row : rows) {
    std::vector<char*> argv;
    for (std::string& a : row.first) argv.push_back(&a[0]);
    int coredump = 7;  // a stale value is reset
    parse_params(static_cast<int>(argv.size()), argv.data(), &coredump);
    EXPECT_EQ(coredump, row.second) << row.first.back();
  }
}

TEST(MainParams, CrlPeriodRules) {
  struct Row { bool readOk; const char* text; int period; bool enabled; };
  const Row rows[] = {{true, "0", 0, false}, {true, "-5", 43200, true}, {true, "99999999999999999999", 43200, true},
                      {true, "12ab", 43200, true}, {true, "169", 604800, true}, {false, "5", 43200, true}};
  for (const Row& r : rows) {
    bool enabled = !r.enabled;
    EXPECT_EQ(crl_download_period(r.readOk, r.text, &enabled), r.period) << r.text;
    EXPECT_EQ(enabled, r.enabled) << r.text;
  }
}

class MainLoopTest : public CfgTest {
 protected:
  void SetUp() override {
    CfgTest::SetUp();
    peer().set("system.network.wired.devicename", "eth0");
    rec().put_file("/sys/class/net/eth0/carrier", "1\n");
    st.message_wait_ms = 0;
    st.lan_state = LAN_UP;
    didLoggingUpdate = false;
  }
  syssrvLoopState st;
};

TEST_F(MainLoopTest, CertScriptFirstThenDownloadsInPass31AndEveryPeriod) {
  peer().set(kHoursVar, "1");
  std::vector<int> cert, crl;
  for (int i = 1; i <= 31 + 3600; ++i) {
    rec().clear();
    syssrvMainLoopPass(&st);
    for (const std::string& c : rec().commands()) {
      if (c != kSyslogCheck) (c == kCertCmd ? cert : crl).push_back(i);  // first pass: logging
    }
  }
  EXPECT_EQ(cert, (std::vector<int>{1, 3601}));
  EXPECT_EQ(crl, (std::vector<int>{31, 31 + 3600}));
}

TEST_F(MainLoopTest, DownloadDueWithTheLanDownIsSkippedNotPostponed) {
  peer().set(kHoursVar, "1");
  st.crl_download_wait_count = 0;
  st.expiration_wait_count = 1;
  st.lan_state = LAN_DOWN;  // the first poll only opens the carrier file
  syssrvMainLoopPass(&st);
  EXPECT_EQ(rec().commands(), (Strings{kSyslogCheck}));  // logging not yet configured
  EXPECT_EQ(st.crl_download_wait_count, 1);
}

TEST_F(MainLoopTest, ProvisioningDeadlineWritesFailedEveryPassUntilCleared) {
  peer().set(kHoursVar, "0");
  discoverProvisioningTimeout = RealTimeMilliSeconds() + 2000;
  rec().advance_ms(2000);  // equal: not yet past
  syssrvMainLoopPass(&st);
  rec().advance_ms(1);
  syssrvMainLoopPass(&st);
  syssrvMainLoopPass(&st);
  discoverProvisioningTimeout = 0;
  syssrvMainLoopPass(&st);
  EXPECT_EQ(peer().writes(), std::vector<W>(2, W{"management.provisioning.inserverdiscoverystatus", "FAILED"}));
}

TEST_F(MainLoopTest, CheckLanUsableRunsTheExactCommand) {
  const char* cmd = "/system/bin/ip addr | grep \"scope global\" > /dev/null";
  EXPECT_EQ(check_lan_usable(), 1);
  rec().on(cmd).exit_code(1);
  EXPECT_EQ(check_lan_usable(), 0);
  EXPECT_EQ(rec().commands(), (Strings{cmd, cmd}));
}

TEST_F(MainLoopTest, AlertSocketIsACloseOnExecDatagramSocketAtItsPath) {
  rec().put_file("/tmp/snmp_msg", "stale");
  int sock = syssrvAlertSockInit();
  ASSERT_GE(sock, 0);
  EXPECT_NE(fcntl(sock, F_GETFD) & FD_CLOEXEC, 0);
  struct sockaddr_un bound = {};
  socklen_t len = sizeof bound;
  ASSERT_EQ(getsockname(sock, reinterpret_cast<struct sockaddr*>(&bound), &len), 0);
  EXPECT_EQ(std::string(bound.sun_path), rec().path("/tmp/snmp_msg"));
  close(sock);
  // A directory in its place cannot be removed: bind fails.
  unlink(rec().path("/tmp/snmp_msg").c_str());
  rec().make_dirs("/tmp/snmp_msg/inside");
  EXPECT_EQ(syssrvAlertSockInit(), -1);
  EXPECT_EQ(logged(3, "NULL: socket bind failed on /tmp/snmp_msg\n"), 1);
}

TEST_F(MainLoopTest, PassLastsItsSecondWhenTheEndpointIsGone) {
  // A message received ends any earlier outage, so its line comes again.
  send(0x7F0003, "");
  syssrvMessageLoop(2000);
  forget();
  MSG_CloseLocal(kSyssrvEndpoint);
  const struct timespec t0 = rec().monotonic();
  syssrvMessageLoop(1000);
  syssrvMessageLoop(1000);
  EXPECT_EQ(rec().monotonic().tv_sec - t0.tv_sec, 2);
  EXPECT_EQ(rec().records(SysIoCall::kSleep).size(), 2u);
  EXPECT_EQ(logged(3, "message: syssrvMessageLoop: receive on SystemSrvc returned early; waiting out each pass\n"),
            1);
  syssrvMessageLoop(0);  // a pass without a wait has nothing to wait out
  EXPECT_EQ(rec().records(SysIoCall::kSleep).size(), 2u);
}

TEST(Daemonize, BufferedOutputIsWrittenOnce) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dup2(fds[1], STDOUT_FILENO);
    close(fds[0]);
    close(fds[1]);
    printf("pending line\n");
    daemonizeMe();
    exit(0);  // the background process: its exit handlers flush stdout
  }
  close(fds[1]);
  std::string out;
  char buf[256];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, "pending line\n");
}

// A payload no message class parses: a field tag whose varint never ends.
const std::string kGarbage(11, '\xff');

using MessageTest = CfgTest;

TEST_F(MessageTest, AfterInitEveryHandlerIsReachedByItsType) {
  MSG_CloseLocal(kSyssrvEndpoint);  // opened by the layer itself
  ASSERT_EQ(MSG_OpenLocal("DnsSrvc"), 0);  // init waits for the DNS service
  ASSERT_EQ(syssrvMessageInit(), 0);
  MSG_CloseLocal("DnsSrvc");
  // Rows 30 to 32 follow when their peers open.
  for (int row = 1; row <= 29; ++row) {
    const syssrvHandlerRow& h = kSyssrvHandlerTable[row - 1];
    SCOPED_TRACE(h.name);
    forget();
    send(h.type, kGarbage);
    syssrvMessageLoop(2000);
    // Each handler logs a parse error under its name (the master time under its message's, both
    // time-zone handlers in the set-time handler's words, the identify LED
    // without its interface), three answer
    // without parsing and the upload answers its parse failure.
    bool ran = logBytes().find(h.name) != std::string::npos ||
               (h.type == kMsgIdSystemIFGetMasterVelarTimeReq && logged(3, "can't parse GetMasterVelarTimeReq\n") == 1);
    if (h.type == kMsgIdSystemIFSetSystemTimezoneReq || h.type == kMsgIdSystemIFSetSystemTimezoneAndTimeCmd)
      ran = logged(3, "SystemIFSetSystemTimeCmd: Parse Error\n") == 1;
    if (h.type == kMsgIdSystemIFSetModRoomIdentifyLEDReq) ran = logged(3, "SetModRoomIdentifyLEDReq: Parse Error\n") == 1;
    const std::map<MSG_Type, MSG_Type> unparsed = {{kMsgIdSystemIFLogUploadReq, kMsgIdSystemIFLogUploadRsp},
                                                   {kMsgIdSystemIFGetLanStatusReq, kMsgIdSystemIFGetLanStatusRsp},
                                                   {kMsgIdSystemIFSetOobReq, kMsgIdSystemIFSetOobRsp},
                                                   {kMsgIdSystemIFGetSystemTimeReq, kMsgIdSystemIFGetSystemTimeRsp}};
    if (unparsed.count(h.type) != 0) {
      MSG_Message* rsp = received();
      ASSERT_NE(rsp, nullptr);
      ran = MSG_GetType(rsp) == unparsed.at(h.type);
      MSG_ReleaseMsg(rsp);
    }
    EXPECT_TRUE(ran);
  }
}

TEST_F(MessageTest, WithoutTheEndpointInitStopsAtTheConfigurationLink) {
  MSG_CloseLocal(kSyssrvEndpoint);
  const std::string dir = getenv("MSG_SOCKET_DIR");
  rec().put_file("/not-a-dir", "");
  setenv("MSG_SOCKET_DIR", (rec().path("/not-a-dir") + "/msg").c_str(), 1);
  forget();
  EXPECT_NE(syssrvMessageInit(), 0);
  setenv("MSG_SOCKET_DIR", dir.c_str(), 1);
  EXPECT_EQ(logged(3, "message: MSG_OpenLocal(SystemSrvc) failed: -1\n"), 1);
  // Nothing further: no handler, no callback registration, no device.
  EXPECT_TRUE(peer().requests().empty());
  EXPECT_TRUE(rec().records(SysIoCall::kOpen).empty());
}

TEST_F(MessageTest, FailedRegistrationsAreLoggedWithTheirTypeAndTheRestGoOn) {
  MSG_CloseLocal(kSyssrvEndpoint);
  EXPECT_NE(syssrvRegisterHandlers(11, 12), 0);
  EXPECT_EQ(logged(3, "message: MSG_RegisterCallback for ProcessMasterVelarTimeReq (type 0x1b0200) failed: -1\n"), 1);
  EXPECT_EQ(logged(3, "message: MSG_RegisterCallback for lan_status_req (type 0x1b0090) failed: -1\n"), 1);
}

TEST_F(MessageTest, TimeZoneRequestAppliesTheConfiguredZoneOnAnAspenOnly) {
  const std::string zone(100, 'Z');  // read with at most 63 characters
  peer().set("time.timezone", zone);
  for (eModelT m : {kUnknownModel, kCedar, kBirch, kAspen}) {
    eModel = m;
    send(kMsgIdPlatformIFRequestTimeZoneCmd, "");
    syssrvMessageLoop(2000);
    // The camera is told the zone as read.
    EXPECT_EQ(logBytes().find("data_string: \"" + zone.substr(0, 63) + "\" }") != std::string::npos, m == kAspen);
  }
  EXPECT_EQ(peer().reads("time.timezone"), 1);
}

TEST_F(MessageTest, SendWaitResults) {
  SystemIF::GetLanStatusReq req;
  SystemIF::GetLanStatusRsp rsp;
  EXPECT_EQ(syssrvMessageSendWaitResponse(req, &rsp, "", 1000), -3);
  EXPECT_EQ(syssrvMessageSendWaitResponse(req, nullptr, kCaller, 1000), -3);
  EXPECT_EQ(logged(3, "message: syssrvMessageSendWaitResponse() got invalid param\n"), 2);
  EXPECT_EQ(received(50), nullptr);  // nothing was sent so far
  EXPECT_EQ(syssrvMessageSendWaitResponse(req, &rsp, kCaller, 300), -1);
  EXPECT_EQ(logged(3, "message: syssrvMessageSendWaitResponse() MSG_RecvMsg timed out\n"), 1);
  MSG_Message* got = received();
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(MSG_GetType(got), kMsgIdSystemIFGetLanStatusReq);
  MSG_ReleaseMsg(got);  // an answer in time: NotifyTest.SendAndWaitTakesOnlyTheAnswerToItsOwnRequest
}

TEST_F(MessageTest, TimerFuncAsksForANewExpiryTime) {
  timerFunc(nullptr);
  EXPECT_EQ(peer().writes(), (std::vector<W>{{"system.proxy.pacfile.expirytime", "NEWTIME_REQUEST"}}));
  EXPECT_EQ(logged(6, "SysrvWpad: timerFunc:On expiry Timer func invoked.\n"), 1);
}

// ---- the virtual key-press device ----

TEST_F(MessageTest, VirtualKeyDeviceIsCreatedWithItsKeysAndRecord) {
  rec().put_file("/dev/uinput", "");
  initVirtualKeyPressDevice();
  ASSERT_GE(fdVirtKeyPressDev, 0);
  Strings got;  // the one open, then key and sync events, the key map's codes from first to last, create
  for (const SysIoRecord& o : rec().records(SysIoCall::kOpen)) got.push_back(o.path + " " + std::to_string(o.flags));
  const std::vector<SysIoRecord> io = rec().records(SysIoCall::kIoctl);
  ASSERT_EQ(io.size(), 2u + 48u + 1u);
  auto call = [](unsigned long request, unsigned long arg) { return std::to_string(request) + ":" + std::to_string(arg); };
  for (unsigned i : {0u, 1u, 2u, 49u, 50u}) got.push_back(call(io[i].request, io[i].arg));
  EXPECT_EQ(got, (Strings{"/dev/uinput " + std::to_string(O_WRONLY | O_NONBLOCK | O_CLOEXEC), call(UI_SET_EVBIT, EV_KEY),
                          call(UI_SET_EVBIT, EV_SYN), call(UI_SET_KEYBIT, 103), call(UI_SET_KEYBIT, 374),
                          call(UI_DEV_CREATE, 0)}));
  std::string want(1116, '\0');
  memcpy(&want[0], "crvl-virt-key-press-device", 26);
  const char id[] = {0x19, 0, 1, 0, 2, 0, 1, 0};  // bus, vendor, product, version
  memcpy(&want[80], id, sizeof id);
  EXPECT_EQ(rec().file_bytes("/dev/uinput"), want);
}

TEST_F(MessageTest, VirtualKeyDeviceFailuresCloseAndLeaveMinusOne) {
  struct Row { unsigned long failing; const char* text; };
  const Row rows[] = {{0, "could not open /dev/uinput\n"},
                      {UI_SET_EVBIT, "failed to enable KEY or SYN events\n"},
                      {UI_SET_KEYBIT, "failed to enable key code 103\n"},
                      {UI_DEV_CREATE, "failed to create crvl-virt-key-press-device\n"}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    forget();
    if (r.failing != 0) {
      rec().put_file("/dev/uinput", "");
      rec().ioctl_result(r.failing, -1);
    }
    initVirtualKeyPressDevice();
    EXPECT_EQ(fdVirtKeyPressDev, -1);
    EXPECT_EQ(logged(3, std::string("initVirtualKeyPressDevice: ") + r.text), 1);
    if (r.failing != 0) rec().ioctl_result(r.failing, 0);
  }
}

}  // namespace
