// The LAN module: the carrier poll and its link actions, the network
// script's command lines, the LAN status request and notification, and the
// IPv6 variables kept in step with /proc/net/if_inet6 and ipv6_route.
#include <fcntl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "systemservice/syssrvLan.h"
#include "systemservice/syssrvMessageTable.h"
#include "systemservice/syssrvQuote.h"
#include "tests/systemservice/test_callbacks_peer.h"

namespace {

using std::string;
using Strings = std::vector<string>;

const char kDevVar[] = "system.network.wired.devicename";
const char kModeVar[] = "system.network.wired.ipv4nic.mode";
const char kAddrVar[] = "system.network.wired.ipv4nic.address";
const char kDiscoveryVar[] = "management.provisioning.inserverdiscoverystatus";
const char kProxyVar[] = "system.proxy.webproxy.enabled";
const char kV6ModeVar[] = "system.network.wired.ipv6nic.mode";
const char kLinkVar[] = "system.network.wired.ipv6nic.linklocal";
const char kSiteVar[] = "system.network.wired.ipv6nic.sitelocal";
const char kGlobalVar[] = "system.network.wired.ipv6nic.globaladdress";
const char kGatewayVar[] = "system.network.wired.ipv6nic.defaultgateway";
const char kCarrier[] = "/sys/class/net/eth0/carrier";

string rd(const string& name) { return "read " + name; }
string wr(const string& name, const string& value) { return "write " + name + "=" + value + " as 30"; }

class LanTest : public CfgTest {
 protected:
  void SetUp() override {
    CfgTest::SetUp();
    peer().set(kDevVar, "eth0");
    peer().set(kModeVar, "Off");
    const MSG_Type ntfy = kMsgIdSystemIFLanStatusChangeNtfy;
    ASSERT_EQ(MSG_RegisterNotificationRemote(kCaller, ntfy, ntfy, MSG_GetRemoteId(kCaller, kSyssrvEndpoint)), 0);
    MSG_RecvAnyMsg(kSyssrvEndpoint, 100);  // lets the subscription arrive
    syssrvRegisterHandlers(12, 12);  // lan_status_req
    forget();
  }
  void carrier(const string& bytes) { rec().put_file(kCarrier, bytes); }
  int poll(int start = LAN_DOWN) {
    int state = start;
    check_lan_status(&state);
    return state;
  }
  // The carrier becomes `bytes` and two passes see it (the first one opens
  // the file when it is closed).
  void settle(const string& bytes) { carrier(bytes), poll(), poll(); }
  // The main loop's first two passes, then forgets what they did.
  void prime(const string& bytes) { settle(bytes), notifications(50), forget(); }
  // The connected flags of the LanStatusChangeNtfy that reached the peer.
  std::vector<bool> notifications(int ms = 300) {
    std::vector<bool> out;
    while (MSG_Message* m = received(ms)) {
      EXPECT_EQ(MSG_GetType(m), kMsgIdSystemIFLanStatusChangeNtfy);
      SystemIF::LanStatusChangeNtfy n;
      EXPECT_TRUE(n.ParseFromArray(MSG_GetPayload(m), static_cast<int>(MSG_GetPayloadBytes(m))));
      out.push_back(n.lan_status_connected());
      MSG_ReleaseMsg(m);
      ms = 50;
    }
    return out;
  }
  // GetLanStatusReq through the handler; the answer's bytes.
  string ask() {
    send(kMsgIdSystemIFGetLanStatusReq, string(11, '\xff'));  // not parsed: any payload is answered
    syssrvMessageLoop(2000);
    MSG_Message* rsp = received();
    EXPECT_NE(rsp, nullptr);
    if (rsp == nullptr) return "";
    EXPECT_EQ(MSG_GetType(rsp), kMsgIdSystemIFGetLanStatusRsp);
    EXPECT_EQ(MSG_GetSequence(rsp), 4242u);
    string bytes(static_cast<const char*>(MSG_GetPayload(rsp)), MSG_GetPayloadBytes(rsp));
    MSG_ReleaseMsg(rsp);
    return bytes;
  }
};

TEST_F(LanTest, CarrierFileIsOpenedOnceCloseOnExecAndReReadEveryPoll) {
  // Missing: down, and logged at every attempt.
  EXPECT_EQ(poll(LAN_UP), LAN_DOWN);
  EXPECT_EQ(poll(LAN_UP), LAN_DOWN);
  EXPECT_EQ(logged(3, "check_lan_status open /sys/class/net/eth0/carrier failed\n"), 2);
  rec().clear();
  carrier("1\n");
  EXPECT_EQ(poll(LAN_UP), LAN_UP);  // the first poll only opens the file
  carrier("0\n");
  EXPECT_EQ(poll(LAN_UP), LAN_DOWN);
  carrier("1\n");
  EXPECT_EQ(poll(LAN_DOWN), LAN_UP);
  std::vector<SysIoRecord> opens = rec().records(SysIoCall::kOpen);
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(opens[0].path, kCarrier);
  EXPECT_EQ(opens[0].flags, O_RDONLY | O_CLOEXEC);
  // An empty read closes it; the next poll opens it again, and the state
  // remembered before survives: "0" is a change.
  carrier("");
  EXPECT_EQ(poll(LAN_UP), LAN_UP);
  poll();
  carrier("0\n");
  notifications(50);
  EXPECT_EQ(poll(LAN_UP), LAN_DOWN);
  EXPECT_EQ(notifications(), (std::vector<bool>{false}));
}

TEST_F(LanTest, FirstReadingDownFailsDiscoveryAndResetsOnlyADhcpAddress) {
  struct Row { const char* carrierBytes; const char* mode; bool reset; } rows[] = {
      {"0\n", "Client", true}, {"0\n", "client", true}, {"0\n", "ClientV4", true},
      {"0\n", "Clien", false},  {"2\n", "Off", false},   {"1\n", "Client", false}};
  for (const Row& r : rows) {
    SCOPED_TRACE(string(r.carrierBytes) + r.mode);
    syssrvLan_testing_reset();
    peer().set(kModeVar, r.mode);
    carrier(r.carrierBytes);
    poll();
    forget();
    EXPECT_EQ(poll(), r.carrierBytes[0] == '1' ? LAN_UP : LAN_DOWN);
    Strings want = {wr(kDiscoveryVar, "FAILED"), rd(kModeVar)};
    if (r.reset) want.push_back(wr(kAddrVar, "0.0.0.0"));
    EXPECT_EQ(sent(), r.carrierBytes[0] == '1' ? Strings{} : want);
    EXPECT_EQ(logged(4, "check_lan_status: Invalid LAN state: 0x32\n"), r.carrierBytes[0] == '2' ? 1 : 0);
    // Nobody was told anything yet: no notification, no script.
    EXPECT_TRUE(rec().commands().empty());
    EXPECT_TRUE(notifications(50).empty());
  }
}

TEST_F(LanTest, LinkChangesNotifyAndRunTheirActionsOnce) {
  peer().set(kModeVar, "Client");
  peer().set(kDiscoveryVar, "incomplete");
  prime("1\n");
  settle("0\n");
  EXPECT_EQ(notifications(), (std::vector<bool>{false}));
  EXPECT_EQ(logged(7, "lan_state_change_notify 0\n"), 1);
  EXPECT_EQ(sent(),
            (Strings{rd(kDiscoveryVar), wr(kDiscoveryVar, "FAILED"), rd(kModeVar), wr(kAddrVar, "0.0.0.0")}));
  EXPECT_EQ(logged(7, "RemovePACFile: No PAC file to delete.\n"), 1);  // StopWpad
  EXPECT_EQ(rec().commands(), (Strings{"/system/bin/startnetwork --linkdown"}));
  forget();
  settle("1\n");
  EXPECT_EQ(notifications(), (std::vector<bool>{true}));
  EXPECT_EQ(sent(), (Strings{wr(kDiscoveryVar, "INCOMPLETE")}));
  EXPECT_EQ(rec().commands(), (Strings{"/system/bin/startnetwork --linkup"}));
}

TEST_F(LanTest, ScriptCommandLines) {
  // The link actions, the restart, the IPv6-only restart and the TOS update
  // are run by the tests below and the batch and dispatcher tests.
  rec().on_prefix("/system/bin/startnetwork").exit_code(1);  // results are ignored
  stop_LAN();
  start_LAN();
  EXPECT_EQ(rec().commands(), (Strings{"/system/bin/startnetwork --shutdown", "/system/bin/startnetwork --boot"}));
}

TEST_F(LanTest, RestartTellsThePolledStateWithoutALinkAction) {
  struct Row { const char* carrierBytes; const char* proxy; const char* status; bool stopsWpad, up; } rows[] = {
      {"1\n", "TRUE", "INCOMPLETE", true, true}, {"0\n", "true ", "FAILED", false, false}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.proxy);
    syssrvLan_testing_reset();
    peer().set(kProxyVar, r.proxy);
    prime(r.carrierBytes);
    restart_LAN();
    EXPECT_EQ(logged(7, "restart_LAN ENTER - LAN state = " + std::to_string(r.up) + "\n"), 1);
    EXPECT_EQ(logged(7, "restart_LAN - send notification LAN state = " + std::to_string(r.up) + "\n"), 1);
    EXPECT_EQ(sent(), (Strings{wr(kDiscoveryVar, r.status), rd(kProxyVar)}));
    EXPECT_EQ(logged(7, "RemovePACFile: No PAC file to delete.\n"), r.stopsWpad ? 1 : 0);  // StopWpad
    EXPECT_EQ(rec().commands(), (Strings{"/system/bin/startnetwork --restart"}));
    EXPECT_EQ(notifications(), (std::vector<bool>{r.up}));
  }
}

TEST_F(LanTest, StatusReplyFields) {
  rec().put_file("/sys/class/net/eth0/speed", "10000000\n");  // 7 bytes read, the last dropped
  rec().put_file("/sys/class/net/eth0/duplex", "full\n");
  carrier("1\n");
  // Before the first reading the link counts as down: error, connected only.
  EXPECT_EQ(ask(), string("\x08\x00\x10\x00", 4));
  EXPECT_EQ(ask(), string("\x08\x00\x10\x01\x1a\x06" "100000" "\x22\x04" "full", 18));
  EXPECT_EQ(logged(7, "get_lan_connection 100000 full\n"), 1);
}

TEST_F(LanTest, DeviceNamesThatNameAnotherFileOrSplitTheLogAreNoDevice) {
  rec().put_file("/sys/class/net/eth0/speed", "1000\n");
  carrier("1\n");
  for (const string dev : {"../../etc", "eth0/../x", ".", "", "eth\n0", "eth0"}) {
    SCOPED_TRACE(log_text(dev));
    const bool ok = dev == "eth0";
    syssrvLan_testing_reset();
    peer().set(kDevVar, dev);
    forget();
    for (int pass = 0; pass < 2; ++pass) EXPECT_EQ(poll(LAN_UP), ok ? LAN_UP : LAN_DOWN);
    char speed[8] = "", duplex[8] = "";
    get_lan_connection(speed, duplex);
    EXPECT_EQ(string(speed), ok ? "1000" : "");
    EXPECT_EQ(rec().records(SysIoCall::kOpen).size(), ok ? 3u : 0u);
    const string warning = ": ignoring LAN device name \"" + log_text(dev) + "\"\n";
    EXPECT_EQ(logged(4, "check_lan_status" + warning), ok ? 0 : 2);
    EXPECT_EQ(logged(4, "get_lan_connection" + warning), ok ? 0 : 1);
  }
}

TEST_F(LanTest, SendFailuresAreLoggedAndTheLinkActionStillRuns) {
  carrier("1\n");
  send(kMsgIdSystemIFGetLanStatusReq, "");
  MSG_Message* req = MSG_RecvAnyMsg(kSyssrvEndpoint, 2000);
  ASSERT_NE(req, nullptr);
  MSG_CloseLocal(kSyssrvEndpoint);  // nothing can leave the service now
  lan_status_req(nullptr, req);
  MSG_ReleaseMsg(req);
  EXPECT_EQ(logged(3, "lan_status_cmd: Reply Send Error\n"), 1);
  lan_state_change_notify(0);
  EXPECT_EQ(logged(3, "lan_state_change_notify: msg send failed\n"), 1);
  EXPECT_EQ(rec().commands(), (Strings{"/system/bin/startnetwork --linkdown"}));
}

// ---- IPv6 ----

string addrLine(const string& hex, int scope, const string& dev = "eth0", int prefix = 64) {
  char buf[128];
  snprintf(buf, sizeof buf, "%s %02x %02x %02x %02x %8s\n", hex.c_str(), 2, prefix, scope, 0x80, dev.c_str());
  return buf;
}

constexpr unsigned kGw = 0x0003;  // up, gateway
constexpr unsigned kDefault = 0x10000;
const char kAny[] = "00000000000000000000000000000000";

string routeLine(const string& hop, unsigned flags, const string& dev = "eth0", const string& dst = kAny) {
  char buf[256];
  snprintf(buf, sizeof buf, "%s %02x %s %02x %s %08x %08x %08x %08x %8s\n", dst.c_str(), dst == kAny ? 0 : 48, kAny, 0,
           hop.c_str(), 0x400, 1, 0, flags, dev.c_str());
  return buf;
}

const string kLinkHex = "fe8000000000000002e0dbfffe4a21cd";
const char kLinkText[] = "fe80::2e0:dbff:fe4a:21cd/64";
const string kSiteHex = "fec00000000000000000000000000001";
const string kUlaHex = "fd001234000000000000000000000005";
const string kG1Hex = "20010db8004200000000000000000150";
const char kG1Text[] = "2001:db8:42::150/64";
const string kG2Hex = "20010db8004200000000000000000151";
const char kG2Text[] = "2001:db8:42::151/64";
const string kHop1Hex = "fe800000000000000000000000000001";
const string kHop2Hex = "fe800000000000000000000000000002";

class LanIpv6Test : public LanTest {
 protected:
  // Every IPv6 variable cleared, as automatic mode asks.
  const Strings kCleared = {rd(kV6ModeVar), wr(kLinkVar, "::/128"), wr(kSiteVar, "::/128"), wr(kGlobalVar, "::/128"),
                            wr(kGatewayVar, "::")};
  void addresses(const string& lines) { rec().put_file("/proc/net/if_inet6", lines); }
  void routes(const string& lines) { rec().put_file("/proc/net/ipv6_route", lines); }
  Strings scan() {
    forget();
    checkIPv6Addr();
    return sent();
  }
};

TEST_F(LanIpv6Test, InitAndRestartClearTheVariablesOnlyInAutomaticMode) {
  for (const auto& [clear, when] : {std::pair{&syssrvLanInit, "start-up"}, {&syssrvLanRestart, "restart"}}) {
    forget();
    clear();
    EXPECT_EQ(sent(), kCleared);
    EXPECT_EQ(logged(7, string("Clear out configuration variables on IPv6 addresses and gateway during ") + when +
                            " in IPv6-auto mode.\n"),
              1);
  }
  peer().set(kV6ModeVar, "off");
  forget();
  syssrvLanInit();
  syssrvLanRestart();
  EXPECT_EQ(sent(), (Strings{rd(kV6ModeVar), rd(kV6ModeVar)}));
}

TEST_F(LanIpv6Test, AddressScanPublishesEachKindOnce) {
  checkIPv6Addr();
  checkIPv6GatewayAddr();
  EXPECT_EQ(logged(4, "Could not open /proc/net/if_inet6\n"), 1);  // and the scans skipped
  EXPECT_EQ(logged(4, "Could not open /proc/net/ipv6_route\n"), 1);
  addresses(addrLine("00000000000000000000000000000001", 0x10, "lo", 128) + addrLine(kLinkHex, 0x20) +
            addrLine("00000000000000000000000000000001", 0x10, "eth0", 128) + addrLine(kSiteHex, 0x40) +
            addrLine("20010db8009900000000000000000001", 0x00, "eth1") + addrLine(kG1Hex, 0x00) +
            addrLine(kG2Hex, 0x00));
  // Of two new global addresses the later line's is taken.
  EXPECT_EQ(scan(),
            (Strings{rd(kDevVar), wr(kLinkVar, kLinkText), wr(kSiteVar, "fec0::1/64"), wr(kGlobalVar, kG2Text)}));
  EXPECT_EQ(logged(7, string("Updated system.network.wired.ipv6nic.globaladdress with ") + kG2Text + "\n"), 1);
  EXPECT_EQ(scan(), (Strings{rd(kDevVar)}));
  // The remembered global address on any line keeps it; kinds that went
  // away are cleared in link, site order and then forgotten.
  addresses(addrLine(kG2Hex, 0x00) + addrLine(kG1Hex, 0x00));
  EXPECT_EQ(scan(), (Strings{rd(kDevVar), rd(kV6ModeVar), wr(kLinkVar, "::/128"), wr(kSiteVar, "::/128")}));
  EXPECT_EQ(scan(), (Strings{rd(kDevVar)}));
  addresses(addrLine(kG1Hex, 0x00) + "not an address line\n" + addrLine(kLinkHex, 0x20));
  EXPECT_EQ(scan(), (Strings{rd(kDevVar), wr(kGlobalVar, kG1Text)}));  // a damaged line ends the scan
}

TEST_F(LanIpv6Test, GatewayFollowsTheTableAsItIsAtEachScan) {
  struct Row { const char* what; string table; Strings want; } rows[] = {
      {"first default route of the device",
       routeLine(kHop2Hex, kGw) + routeLine(kHop2Hex, kGw | kDefault, "eth1") + routeLine(kHop1Hex, kGw | kDefault) +
           routeLine(kHop2Hex, kGw | kDefault) + routeLine(kAny, 0x0001, "eth0", kG1Hex),
       {rd(kDevVar), wr(kGatewayVar, "fe80::1")}},
      {"unchanged", routeLine(kHop1Hex, kGw | kDefault), {rd(kDevVar)}},
      // The table is rewritten in place, as the kernel's is: each scan must
      // see the new next hop, not the copy an earlier scan left buffered.
      {"changed next hop", routeLine(kHop2Hex, kGw | kDefault), {rd(kDevVar), wr(kGatewayVar, "fe80::2")}},
      {"no default route: the last gateway route",
       routeLine(kHop2Hex, kGw, "eth0", kG1Hex) + routeLine(kHop1Hex, kGw, "eth0", kG2Hex) +
           routeLine(kHop2Hex, 0x0001 | kDefault),
       {rd(kDevVar), wr(kGatewayVar, "fe80::1")}},
      {"no gateway route left", routeLine(kAny, 0x0001, "eth0", kG1Hex), {rd(kDevVar), wr(kGatewayVar, "::")}},
      {"still none", "", {rd(kDevVar)}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    routes(r.table);
    forget();
    checkIPv6GatewayAddr();
    EXPECT_EQ(sent(), r.want);
  }
}

// A unique-local address is published as the site-local one.
TEST_F(LanIpv6Test, ScansRunEveryEighthPassWhileUpAndLinkDownWithdrawsTheAddresses) {
  addresses(addrLine(kLinkHex, 0x20) + addrLine(kUlaHex, 0x00, "eth0", 48) + addrLine(kG1Hex, 0x00));
  routes(routeLine(kHop1Hex, kGw | kDefault));
  Strings seen;
  for (int pass = 1; pass <= 17; ++pass) {
    forget();
    syssrvLanUpdateStatus(LAN_UP);
    for (const string& r : sent()) seen.push_back(std::to_string(pass) + " " + r);
  }
  EXPECT_EQ(seen, (Strings{"4 " + rd(kDevVar), "4 " + wr(kGatewayVar, "fe80::1"), "8 " + rd(kDevVar),
                           "8 " + wr(kLinkVar, kLinkText), "8 " + wr(kSiteVar, "fd00:1234::5/48"),
                           "8 " + wr(kGlobalVar, kG1Text), "12 " + rd(kDevVar), "16 " + rd(kDevVar)}));
  forget();
  syssrvLanUpdateStatus(LAN_DOWN);
  syssrvLanUpdateStatus(LAN_DOWN);
  EXPECT_EQ(sent(), kCleared);
}

}  // namespace
