// syssrvMessageInit: every step in its order, from opening "SystemSrvc" to
// the start-up configuration, as one timeline of the calls it makes; the
// early returns when the configuration or DNS link fails; the key-press
// device between handlers 16 and 17 whatever becomes of it; and every
// handler it registers dispatching its type afterwards.
#include <fcntl.h>
#include <linux/uinput.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "OS/linux/psosapi/ptimer.h"
#include "OS/logmsg.h"
#include "platform/msg/MSG.h"
#include "platform/msgutil/msgIds.h"
#include "systemservice/syssrvCallTrace.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvMessageTable.h"
#include "tests/systemservice/test_handler_rows.h"
#include "tests/systemservice/test_init_fixture.h"
#include "tests/systemservice/test_startup_registrations.h"

namespace {

using Strings = std::vector<std::string>;

// Rows 1 to 29 of the handler table are registered at initialisation.
const auto& kRows = kHandlerRows;

std::string hex(MSG_Type t) {
  char buf[16];
  snprintf(buf, sizeof buf, "0x%x", t);
  return buf;
}

std::string reg(int row) {
  const HandlerRow& r = kRows[row - 1];
  return "register SystemSrvc " + hex(r.type) + ".." + hex(r.type) + " " + r.handler + " ctx=0 once=0";
}

// The row of the handler table that registers `handler` (a failure when
// none does).
int rowOf(const std::string& handler) {
  for (int row = 1; row <= 29; ++row) {
    if (handler == kRows[row - 1].handler) return row;
  }
  ADD_FAILURE() << "no row registers " << handler;
  return 1;
}

// Every registration the configuration service receives asks on the
// service's own behalf.
std::string cfgReg(const std::string& name, int kind) {
  return "config-register " + name + " kind " + std::to_string(kind) + " as 30";
}

std::string openAsync(const std::string& remote, const std::string& callback, int context) {
  return "open-async SystemSrvc " + remote + " " + callback + " ctx=" + std::to_string(context) +
         " range=0x0..0x0 flags=0";
}

void addRows(Strings* out, int first, int last) {
  for (int row = first; row <= last; ++row) out->push_back(reg(row));
}

const char kDeviceMade[] = "initVirtualKeyPressDevice -> fd valid";

// The whole of syssrvMessageInit when every peer answers, with what
// happens between handlers 16 and 17 given.
Strings expectedInit(const Strings& keyDevice) {
  Strings want = {"MSG_DebugSetName SysSrv", "MSG_OpenLocal SystemSrvc -> 0", "syssrvCfgMsgInit SystemSrvc",
                  "MSG_OpenRemoteSync SystemSrvc ConfigSrvc -1 -> 0",
                  // Still a placeholder: the DNS link opens nothing yet.
                  "provisioningMsgInit SystemSrvc"};
  addRows(&want, 1, 15);
  // The call-status subscription needs the manager's id, which exists only
  // while it runs: it is made (and renewed) whenever the manager appears.
  want.push_back(openAsync("CE:Modman", "other", 0));
  addRows(&want, 16, 16);
  want.insert(want.end(), keyDevice.begin(), keyDevice.end());
  addRows(&want, 17, 17);
  want.push_back(openAsync("PortController", "register_for_portcontroller_notifications", 0));
  want.push_back(openAsync("ProcessMon", "handle_procmon_open", 0));
  want.push_back(openAsync("ToVelar1/ProcessMon", "handle_procmon_open", 1));
  want.push_back(openAsync("ToVelar2/ProcessMon", "handle_procmon_open", 2));
  addRows(&want, 18, 25);
  want.push_back("syssrvRegisterConfigCallbacks");
  size_t next = 0;
  for (const auto& handler : kStartupRegistrationHandlers) {
    for (; next < handler.first; ++next) {
      want.push_back(cfgReg(kStartupRegistrations[next].first, kStartupRegistrations[next].second));
    }
    want.push_back(reg(rowOf(handler.second)));
  }
  want.push_back("syssrvStartupConfig");
  want.push_back("registerProcessMonitorNotifications");
  want.push_back(cfgReg("system.network.wired.ipv4nic.dhcp.state", 3));
  want.push_back(cfgReg("system.network.wired.ipv6nic.dhcp.state", 3));
  return want;
}

// The timeline without the configuration reads and writes ("send" lines).
Strings withoutSends(const Strings& lines) {
  Strings out;
  for (const std::string& l : lines) {
    if (l.compare(0, 5, "send ") != 0) out.push_back(l);
  }
  return out;
}

// Where two lists first differ, readably; "" when they are equal.
std::string firstDifference(const Strings& want, const Strings& got) {
  size_t i = 0;
  while (i < want.size() && i < got.size() && want[i] == got[i]) ++i;
  if (i == want.size() && i == got.size()) return "";
  std::string msg = "line " + std::to_string(i) + ": expected \"" + (i < want.size() ? want[i] : "<end>") +
                    "\", got \"" + (i < got.size() ? got[i] : "<end>") + "\"";
  if (i > 0) msg += " (after \"" + want[i - 1] + "\")";
  return msg;
}

int count(const Strings& list, const std::string& entry) {
  int n = 0;
  for (const std::string& e : list) n += e == entry ? 1 : 0;
  return n;
}

std::vector<SysIoRecord> uinputOpens(RecorderSysIo& rec) {
  std::vector<SysIoRecord> out;
  for (const SysIoRecord& r : rec.records(SysIoCall::kOpen)) {
    if (r.path == "/dev/uinput") out.push_back(r);
  }
  return out;
}

class InitOrderTest : public InitTest {};

TEST_F(InitOrderTest, EveryStepInItsOrder) {
  initTimeline_start();
  ASSERT_EQ(syssrvMessageInit(), 0);
  initTimeline_stop();
  Strings got = initTimeline();

  Strings want = expectedInit({kDeviceMade});
  ASSERT_EQ(want.size(), 5u + 29u + 1u + 1u + 4u + 1u + 118u + 4u);
  EXPECT_EQ(firstDifference(want, withoutSends(got)), "");

  // Nobody is asked anything before the registrations begin; the reads and
  // writes that follow are the log-space rule (right after the change
  // handler) and the start-up configuration.
  size_t firstSend = 0;
  while (firstSend < got.size() && got[firstSend].compare(0, 5, "send ") != 0) ++firstSend;
  ASSERT_LT(firstSend, got.size());
  EXPECT_EQ(got[firstSend - 1], reg(26));
  size_t startup = static_cast<size_t>(std::find(got.begin(), got.end(), "syssrvStartupConfig") - got.begin());
  ASSERT_LT(startup, got.size());
  EXPECT_EQ(got[startup + 1].compare(0, 5, "send "), 0) << got[startup + 1];
}

TEST_F(InitOrderTest, TheConfigurationServiceSeesTheStartupListInOrder) {
  ASSERT_EQ(syssrvMessageInit(), 0);
  Strings want;
  for (const auto& e : kStartupRegistrations) {
    want.push_back(std::string("register ") + e.first + " kind " + std::to_string(e.second));
  }
  want.push_back("register system.network.wired.ipv4nic.dhcp.state kind 3");
  want.push_back("register system.network.wired.ipv6nic.dhcp.state kind 3");
  ASSERT_EQ(want.size(), 120u);
  EXPECT_EQ(firstDifference(want, cfg().requests("register ")), "");
  // The validator's registration result is always reported.
  EXPECT_TRUE(logged(LOG_LEVEL_DEBUG, "(syssrvMessageInit) MSG_RegisterCallback for config_dynamic_validate returned 0",
                     "message"));
}

TEST_F(InitOrderTest, StartupConfigurationRunsLast) {
  ASSERT_EQ(syssrvMessageInit(), 0);
  Strings requests = cfg().requests();
  // Two of its steps, one early and one late: the model-specific settings
  // run twice, and the certificate-request fields come before the
  // provisioning deadline's DHCP registrations.
  EXPECT_EQ(count(requests, "write system.info.eulafile = eula as 50"), 2);
  int lastCallbackList = indexOf(requests, "register system.modularroom.mode kind 2");
  int firstEula = indexOf(requests, "write system.info.eulafile = eula as 50");
  int csr = indexOf(requests, "write system.pki.csr.sanipv6linklocaladdr =  as 30");
  int dhcp = indexOf(requests, "register system.network.wired.ipv4nic.dhcp.state kind 3");
  ASSERT_GE(lastCallbackList, 0);
  EXPECT_GT(firstEula, lastCallbackList);
  EXPECT_GT(csr, firstEula);
  EXPECT_EQ(dhcp, csr + 1);
  // The provisioning deadline is 90 s after the seam's clock at start.
  EXPECT_EQ(discoverProvisioningTimeout, RealTimeMilliSeconds() + 90000u);
  EXPECT_EQ(traced("registerProcessMonitorNotifications()"), 1);
}

// ---- the key-press device between handlers 16 and 17 ----

TEST_F(InitOrderTest, KeyPressDeviceIsCreatedThroughTheSeam) {
  ASSERT_EQ(syssrvMessageInit(), 0);
  EXPECT_GE(fdVirtKeyPressDev, 0);
  std::vector<SysIoRecord> opens = uinputOpens(rec());
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(opens[0].flags & O_ACCMODE, O_WRONLY);
  EXPECT_NE(opens[0].flags & O_NONBLOCK, 0);
  std::vector<SysIoRecord> io = rec().records(SysIoCall::kIoctl);
  ASSERT_EQ(io.size(), 51u);
  EXPECT_EQ(io.front().request, static_cast<unsigned long>(UI_SET_EVBIT));
  EXPECT_EQ(io.back().request, static_cast<unsigned long>(UI_DEV_CREATE));
  for (const SysIoRecord& r : io) EXPECT_EQ(r.fd, fdVirtKeyPressDev);
  EXPECT_EQ(rec().file_bytes("/dev/uinput").size(), 1116u);
}

TEST_F(InitOrderTest, KeyPressDeviceAlreadyOpenIsKept) {
  int fd = ::open((rec().root() + "/dev/uinput").c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  fdVirtKeyPressDev = fd;
  initTimeline_start();
  ASSERT_EQ(syssrvMessageInit(), 0);
  initTimeline_stop();
  EXPECT_EQ(firstDifference(expectedInit({}), withoutSends(initTimeline())), "");
  EXPECT_EQ(fdVirtKeyPressDev, fd);
  EXPECT_TRUE(uinputOpens(rec()).empty());
  EXPECT_TRUE(rec().records(SysIoCall::kIoctl).empty());
}

TEST_F(InitOrderTest, MissingKeyPressDeviceIsLoggedAndStartupGoesOn) {
  ASSERT_EQ(::unlink((rec().root() + "/dev/uinput").c_str()), 0);
  initTimeline_start();
  ASSERT_EQ(syssrvMessageInit(), 0);
  initTimeline_stop();
  EXPECT_EQ(firstDifference(expectedInit({"initVirtualKeyPressDevice -> fd -1"}), withoutSends(initTimeline())), "");
  EXPECT_EQ(fdVirtKeyPressDev, -1);
  EXPECT_TRUE(logged(LOG_LEVEL_ERR, "could not open /dev/uinput", "initVirtualKeyPressDevice"));
}

// ---- links that fail ----

TEST_F(InitOrderTest, EndpointHeldByAnotherProcessStopsBeforeAnythingElse) {
  // Another daemon holds "SystemSrvc": this one cannot open it, so its
  // configuration link has no endpoint to wait on and fails at once, even
  // with no configuration service anywhere.
  PeerProcess other;
  ASSERT_TRUE(other.start("SystemSrvc", "hold"));
  cfg().stop();
  initTimeline_start();
  EXPECT_EQ(syssrvMessageInit(), -1);
  initTimeline_stop();
  EXPECT_EQ(initTimeline(),
            (Strings{"MSG_DebugSetName SysSrv", "MSG_OpenLocal SystemSrvc -> -1", "syssrvCfgMsgInit SystemSrvc",
                     "MSG_OpenRemoteSync SystemSrvc ConfigSrvc -1 -> -1"}));
  bool linkFailure = false;
  for (const std::string& l : logLines()) {
    const std::string head = "<3>syssrv: hd[0]: syssrvCfgMsgInit:";
    const std::string tail = ": MSG_OpenRemoteSync failed, err=-1";
    linkFailure = linkFailure || (l.compare(0, head.size(), head) == 0 && l.size() > head.size() + tail.size() &&
                                  l.compare(l.size() - tail.size(), tail.size(), tail) == 0);
  }
  EXPECT_TRUE(linkFailure);
  // Nothing further: no DNS link, no device, no start-up configuration.
  EXPECT_TRUE(trace().empty());
  EXPECT_TRUE(rec().records().empty());
  EXPECT_EQ(fdVirtKeyPressDev, -1);
  EXPECT_EQ(discoverProvisioningTimeout, 0u);
  EXPECT_EQ(eModel, kUnknownModel);
}

TEST_F(InitOrderTest, DnsLinkFailureIsReturnedBeforeAnyHandler) {
  initTimeline_provisioningResult(-4);
  initTimeline_start();
  EXPECT_EQ(syssrvMessageInit(), -4);
  initTimeline_stop();
  EXPECT_EQ(initTimeline(),
            (Strings{"MSG_DebugSetName SysSrv", "MSG_OpenLocal SystemSrvc -> 0", "syssrvCfgMsgInit SystemSrvc",
                     "MSG_OpenRemoteSync SystemSrvc ConfigSrvc -1 -> 0", "provisioningMsgInit SystemSrvc"}));
  EXPECT_TRUE(cfg().requests().empty());
  EXPECT_TRUE(rec().records().empty());
  EXPECT_EQ(fdVirtKeyPressDev, -1);
  EXPECT_EQ(discoverProvisioningTimeout, 0u);
  // No handler: a request of row 12 finds nobody.
  MSG_Message* m = MSG_AllocMsg(kMsgIdSystemIFGetLanStatusReq, 1, 0);
  EXPECT_NE(MSG_ProcessCallback(kSyssrvEndpoint, m), 0);
  MSG_ReleaseMsg(m);
}

// ---- every registered type reaches its handler ----

// A payload no message class can parse: a field tag whose varint never ends.
const std::string kGarbage(11, '\xff');

class InitDispatchTest : public InitTest {
 protected:
  void SetUp() override {
    InitTest::SetUp();
    ASSERT_EQ(syssrvMessageInit(), 0);
    openPeer("InitCaller");
    forget();
  }
  void deliver(MSG_Type type) {
    MSG_Message* m = MSG_AllocMsg(type, MSG_GetNextSequence(), static_cast<uint32_t>(kGarbage.size()));
    ASSERT_NE(m, nullptr);
    memcpy(MSG_GetPayloadMutable(m), kGarbage.data(), kGarbage.size());
    MSG_Endpoint to = MSG_GetRemoteId("InitCaller", kSyssrvEndpoint);
    ASSERT_NE(to, 0u);
    ASSERT_EQ(MSG_SendMsg("InitCaller", to, m), 0);
    syssrvMessageLoop(5000);
  }
  // The next message that reached "InitCaller" (type 0 when none came).
  MSG_Type answerType(int timeoutMs) {
    MSG_Message* m = MSG_RecvAnyMsg("InitCaller", timeoutMs);
    if (m == nullptr) return 0;
    MSG_Type t = MSG_GetType(m);
    MSG_ReleaseMsg(m);
    return t;
  }
};

TEST_F(InitDispatchTest, RowsOneToTwentyNineReachTheirHandlers) {
  for (int row = 1; row <= 29; ++row) {
    const HandlerRow& r = kRows[row - 1];
    SCOPED_TRACE(r.handler);
    forget();
    deliver(r.type);
    if (row == 13) {
      // The out-of-box reset never looks at its request and answers it.
      EXPECT_EQ(answerType(5000), kMsgIdSystemIFSetOobRsp);
    } else if (row == 12) {
      // Neither does the LAN status request, which has no field to read.
      EXPECT_EQ(answerType(5000), kMsgIdSystemIFGetLanStatusRsp);
    } else if (row == 26) {
      EXPECT_TRUE(logged(LOG_LEVEL_ERR, "config_change_notify: parse error"));
    } else if (row == 27) {
      EXPECT_TRUE(logged(LOG_LEVEL_ERR, "config_submit_notify: parse error", "message"));
    } else if (row == 28) {
      EXPECT_TRUE(logged(LOG_LEVEL_ERR, "(config_dynamic_validate) parse error", "message"));
    } else if (row == 29) {
      EXPECT_TRUE(logged(LOG_LEVEL_DEBUG, "config_on_change parse error", "message"));
    } else {
      // Modules still to come leave their placeholder's trace.
      EXPECT_EQ(trace(), (Strings{std::string(r.handler) + "(null," + std::to_string(r.type) + ")"}));
    }
  }
  EXPECT_EQ(answerType(100), 0u);
}

TEST_F(InitDispatchTest, PortControllerRowsWaitForThePortController) {
  // Rows 31 and 32 are registered by the port controller's open callback,
  // not by initialisation; with no port controller their types go nowhere.
  for (MSG_Type t : {kMsgIdPlatformIFMonitorNtfy, kMsgIdPlatformIFComponentNtfy}) {
    deliver(t);
    EXPECT_TRUE(trace().empty());
    EXPECT_TRUE(logLines().empty()) << logLines().front();
  }
}

}  // namespace
