// The IPv6 address variables: clearing at start-up and restart, the address
// scan of /proc/net/if_inet6 with every kind of address, the gateway scan of
// /proc/net/ipv6_route, the link-down withdrawal and the scan schedule.
#include <cstdio>
#include <string>
#include <vector>

#include "tests/systemservice/call_trace.h"
#include "systemservice/syssrvLan.h"
#include "tests/systemservice/test_lan_fixture.h"

namespace {

using std::string;
using std::vector;
using Strings = vector<string>;

// One line of /proc/net/if_inet6 as the kernel writes it.
string addrLine(const string& hex, int scope, const string& dev, int prefix = 64) {
  char buf[128];
  snprintf(buf, sizeof buf, "%s %02x %02x %02x %02x %8s\n", hex.c_str(), 2, prefix, scope, 0x80, dev.c_str());
  return buf;
}

// One line of /proc/net/ipv6_route as the kernel writes it.
string routeLine(const string& dst, int dstLen, const string& hop, unsigned flags, const string& dev) {
  char buf[256];
  snprintf(buf, sizeof buf, "%s %02x %s %02x %s %08x %08x %08x %08x %8s\n", dst.c_str(), dstLen,
           "00000000000000000000000000000000", 0, hop.c_str(), 0x400, 1, 0, flags, dev.c_str());
  return buf;
}

const char kZero[] = "00000000000000000000000000000000";
const string kLinkHex = "fe8000000000000002e0dbfffe4a21cd";
const char kLinkText[] = "fe80::2e0:dbff:fe4a:21cd/64";
const string kSiteHex = "fec00000000000000000000000000001";
const char kSiteText[] = "fec0::1/64";
const string kUlaHex = "fd001234000000000000000000000005";
const char kUlaText[] = "fd00:1234::5/64";
const string kGlobal1Hex = "20010db8004200000000000000000150";
const char kGlobal1Text[] = "2001:db8:42::150/64";
const string kGlobal2Hex = "20010db8004200000000000000000151";
const char kGlobal2Text[] = "2001:db8:42::151/64";
const string kOtherHex = "20010db8009900000000000000000001";
const string kHop1Hex = "fe800000000000000000000000000001";
const char kHop1Text[] = "fe80::1";
const string kHop2Hex = "fe800000000000000000000000000002";
const char kHop2Text[] = "fe80::2";

constexpr unsigned kGateway = 0x0002;
constexpr unsigned kDefault = 0x10000;
constexpr unsigned kUp = 0x0001;

class LanIpv6Test : public LanTest {
 protected:
  void addresses(const string& lines) { rec().put_file("/proc/net/if_inet6", lines); }
  void routes(const string& lines) { rec().put_file("/proc/net/ipv6_route", lines); }
  // Every kind on eth0, plus lines that must be ignored.
  void everyKind() {
    addresses(addrLine("00000000000000000000000000000001", 0x10, "lo", 128) + addrLine(kLinkHex, 0x20, "eth0") +
              addrLine("00000000000000000000000000000001", 0x10, "eth0", 128) + addrLine(kSiteHex, 0x40, "eth0") +
              addrLine(kOtherHex, 0x00, "eth1") + addrLine(kGlobal1Hex, 0x00, "eth0"));
    routes(routeLine(kZero, 0, kHop1Hex, kUp | kGateway | kDefault, "eth0"));
  }
  Strings clearing() {
    return {write(kLinkVar, "::/128"), write(kSiteVar, "::/128"), write(kGlobalVar, "::/128"),
            write(kGatewayVar, "::")};
  }
  void updates(int n, int state = LAN_UP) {
    for (int i = 0; i < n; ++i) syssrvLanUpdateStatus(state);
  }
};

// ---- start-up and restart ----

TEST_F(LanIpv6Test, InitAndRestartClearTheVariablesInAutomaticMode) {
  syssrvLanInit();
  EXPECT_EQ(requests(), clearing());
  EXPECT_TRUE(logged(7,
                     "Clear out configuration variables on IPv6 addresses and gateway during start-up in "
                     "IPv6-auto mode."));
  EXPECT_EQ(syssrvCallTrace(), (Strings{"isIPv6Manual()"}));
  forget();
  syssrvLanRestart();
  EXPECT_EQ(requests(), clearing());
  EXPECT_TRUE(logged(7,
                     "Clear out configuration variables on IPv6 addresses and gateway during restart in "
                     "IPv6-auto mode."));
}

TEST_F(LanIpv6Test, InitAndRestartLeaveManualAddressesAlone) {
  peer().set("system.network.wired.ipv6nic.mode", "Off");
  syssrvLanInit();
  syssrvLanRestart();
  EXPECT_TRUE(requests().empty());
  EXPECT_EQ(syssrvCallTrace(), (Strings{"isIPv6Manual()", "isIPv6Manual()"}));
  EXPECT_FALSE(logged(7,
                      "Clear out configuration variables on IPv6 addresses and gateway during start-up in "
                      "IPv6-auto mode."));
  EXPECT_FALSE(logged(7,
                      "Clear out configuration variables on IPv6 addresses and gateway during restart in "
                      "IPv6-auto mode."));
}

TEST_F(LanIpv6Test, ClearingForgetsWhatWasPublished) {
  everyKind();
  checkIPv6Addr();
  checkIPv6GatewayAddr();
  clearIPv6Config();
  forget();
  // Everything is new again after the clearing.
  checkIPv6Addr();
  checkIPv6GatewayAddr();
  EXPECT_EQ(requests(), (Strings{read(kDevVar), write(kLinkVar, kLinkText), write(kSiteVar, kSiteText),
                                 write(kGlobalVar, kGlobal1Text), read(kDevVar), write(kGatewayVar, kHop1Text)}));
}

// ---- address scan ----

TEST_F(LanIpv6Test, AddressScanPublishesEachKindOnceAndIgnoresOtherInterfacesAndHostScope) {
  everyKind();
  checkIPv6Addr();
  EXPECT_EQ(requests(), (Strings{read(kDevVar), write(kLinkVar, kLinkText), write(kSiteVar, kSiteText),
                                 write(kGlobalVar, kGlobal1Text)}));
  EXPECT_TRUE(logged(7, string("Updated system.network.wired.ipv6nic.globaladdress with ") + kGlobal1Text));
  // Unchanged: only the device name is read.
  forget();
  checkIPv6Addr();
  EXPECT_EQ(requests(), (Strings{read(kDevVar)}));
  EXPECT_FALSE(logged(7, string("Updated system.network.wired.ipv6nic.globaladdress with ") + kGlobal1Text));
  // Publishing does not depend on the addressing mode.
  EXPECT_TRUE(syssrvCallTrace().empty());
}

TEST_F(LanIpv6Test, AddressScanUsesTheConfiguredDevice) {
  peer().set(kDevVar, "eth1");
  everyKind();
  checkIPv6Addr();
  EXPECT_EQ(requests(), (Strings{read(kDevVar), write(kGlobalVar, "2001:db8:99::1/64")}));
}

TEST_F(LanIpv6Test, UniqueLocalAddressIsPublishedAsSiteLocal) {
  addresses(addrLine(kUlaHex, 0x00, "eth0", 48) + addrLine("fc000000000000000000000000000009", 0x00, "eth1"));
  checkIPv6Addr();
  EXPECT_EQ(requests(), (Strings{read(kDevVar), write(kSiteVar, "fd00:1234::5/48")}));
  // An "fc" address is unique-local too.
  syssrvLan_testing_reset();
  forget();
  addresses(addrLine("fc000000000000000000000000000009", 0x00, "eth0"));
  checkIPv6Addr();
  EXPECT_EQ(requests(), (Strings{read(kDevVar), write(kSiteVar, "fc00::9/64")}));
}

TEST_F(LanIpv6Test, OfTwoNewGlobalAddressesTheLaterLineIsPublished) {
  addresses(addrLine(kGlobal1Hex, 0x00, "eth0") + addrLine(kGlobal2Hex, 0x00, "eth0"));
  checkIPv6Addr();
  EXPECT_EQ(requests(), (Strings{read(kDevVar), write(kGlobalVar, kGlobal2Text)}));
}

TEST_F(LanIpv6Test, TheRememberedGlobalAddressOnAnyLineSuppressesTheUpdate) {
  addresses(addrLine(kGlobal1Hex, 0x00, "eth0"));
  checkIPv6Addr();
  for (const string& lines : {addrLine(kGlobal2Hex, 0x00, "eth0") + addrLine(kGlobal1Hex, 0x00, "eth0"),
                              addrLine(kGlobal1Hex, 0x00, "eth0") + addrLine(kGlobal2Hex, 0x00, "eth0")}) {
    forget();
    addresses(lines);
    checkIPv6Addr();
    EXPECT_EQ(requests(), (Strings{read(kDevVar)})) << lines;
  }
  // Once it is gone the other one is taken.
  forget();
  addresses(addrLine(kGlobal2Hex, 0x00, "eth0"));
  checkIPv6Addr();
  EXPECT_EQ(requests(), (Strings{read(kDevVar), write(kGlobalVar, kGlobal2Text)}));
}

TEST_F(LanIpv6Test, ChangedAddressesArePublishedAgain) {
  addresses(addrLine(kLinkHex, 0x20, "eth0"));
  checkIPv6Addr();
  forget();
  addresses(addrLine("fe800000000000000000000000000abc", 0x20, "eth0"));
  checkIPv6Addr();
  EXPECT_EQ(requests(), (Strings{read(kDevVar), write(kLinkVar, "fe80::abc/64")}));
}

TEST_F(LanIpv6Test, KindsThatDisappearAreClearedInAutomaticMode) {
  addresses(addrLine(kLinkHex, 0x20, "eth0") + addrLine(kSiteHex, 0x40, "eth0") + addrLine(kUlaHex, 0x00, "eth0") +
            addrLine(kGlobal1Hex, 0x00, "eth0"));
  checkIPv6Addr();
  forget();
  addresses(addrLine(kLinkHex, 0x20, "eth0"));
  checkIPv6Addr();
  // In the order link, site, unique-local, global.
  EXPECT_EQ(requests(), (Strings{read(kDevVar), write(kSiteVar, "::/128"), write(kSiteVar, "::/128"),
                                 write(kGlobalVar, "::/128")}));
  EXPECT_EQ(syssrvCallTrace(), (Strings{"isIPv6Manual()"}));
  // Forgotten: nothing more while they stay away.
  forget();
  checkIPv6Addr();
  EXPECT_EQ(requests(), (Strings{read(kDevVar)}));
}

TEST_F(LanIpv6Test, KindsThatDisappearAreForgottenButNotClearedInManualMode) {
  addresses(addrLine(kLinkHex, 0x20, "eth0") + addrLine(kGlobal1Hex, 0x00, "eth0"));
  checkIPv6Addr();
  peer().set("system.network.wired.ipv6nic.mode", "Off");
  forget();
  addresses("");
  checkIPv6Addr();
  EXPECT_EQ(requests(), (Strings{read(kDevVar)}));
  EXPECT_EQ(syssrvCallTrace(), (Strings{"isIPv6Manual()"}));
  // Forgotten all the same: when the address comes back it is published.
  forget();
  addresses(addrLine(kGlobal1Hex, 0x00, "eth0"));
  checkIPv6Addr();
  EXPECT_EQ(requests(), (Strings{read(kDevVar), write(kGlobalVar, kGlobal1Text)}));
}

TEST_F(LanIpv6Test, MissingAddressTableIsWarnedAboutAtEveryScanAndOpenedOnceThere) {
  checkIPv6Addr();
  checkIPv6Addr();
  EXPECT_EQ(countLogged(4, "Could not open /proc/net/if_inet6"), 2);
  EXPECT_EQ(requests(), (Strings{read(kDevVar), read(kDevVar)}));
  addresses(addrLine(kLinkHex, 0x20, "eth0"));
  forget();
  checkIPv6Addr();
  EXPECT_EQ(requests(), (Strings{read(kDevVar), write(kLinkVar, kLinkText)}));
  // Kept open and rewound: a rewritten table is read from its start.
  addresses(addrLine(kLinkHex, 0x20, "eth0") + addrLine(kGlobal1Hex, 0x00, "eth0"));
  forget();
  checkIPv6Addr();
  EXPECT_EQ(requests(), (Strings{read(kDevVar), write(kGlobalVar, kGlobal1Text)}));
}

TEST_F(LanIpv6Test, DamagedAddressTableEndsTheScanThere) {
  addresses(addrLine(kLinkHex, 0x20, "eth0") + "this is not an address line\n" + addrLine(kGlobal1Hex, 0x00, "eth0"));
  checkIPv6Addr();
  EXPECT_EQ(requests(), (Strings{read(kDevVar), write(kLinkVar, kLinkText)}));
}

TEST_F(LanIpv6Test, UnreadableDeviceNameSkipsBothScans) {
  everyKind();
  peer().breakReads(kDevVar);
  checkIPv6Addr();
  checkIPv6GatewayAddr();
  EXPECT_EQ(requests(), (Strings{read(kDevVar), read(kDevVar)}));
}

// ---- gateway scan ----

TEST_F(LanIpv6Test, GatewayIsTheNextHopOfTheFirstDefaultRoute) {
  routes(routeLine(kZero, 0, kHop2Hex, kUp | kGateway, "eth0") +
         routeLine(kZero, 0, kHop1Hex, kUp | kGateway | kDefault, "eth1") +
         routeLine(kZero, 0, kHop1Hex, kUp | kGateway | kDefault, "eth0") +
         routeLine(kZero, 0, kHop2Hex, kUp | kGateway | kDefault, "eth0") +
         routeLine("20010db8004200000000000000000000", 64, kZero, kUp, "eth0"));
  checkIPv6GatewayAddr();
  EXPECT_EQ(requests(), (Strings{read(kDevVar), write(kGatewayVar, kHop1Text)}));
  forget();
  checkIPv6GatewayAddr();
  EXPECT_EQ(requests(), (Strings{read(kDevVar)}));
}

TEST_F(LanIpv6Test, WithoutADefaultRouteTheLastGatewayRouteCounts) {
  routes(routeLine("20010db8000100000000000000000000", 48, kHop1Hex, kUp | kGateway, "eth0") +
         routeLine("20010db8000200000000000000000000", 48, kHop2Hex, kUp | kGateway, "eth0") +
         routeLine(kZero, 0, kHop1Hex, kUp | kDefault, "eth0"));
  checkIPv6GatewayAddr();
  EXPECT_EQ(requests(), (Strings{read(kDevVar), write(kGatewayVar, kHop2Text)}));
}

TEST_F(LanIpv6Test, NoGatewayRouteIsPublishedOnceAsTheUnspecifiedAddress) {
  routes(routeLine("20010db8004200000000000000000000", 64, kZero, kUp, "eth0") +
         routeLine(kZero, 0, kHop1Hex, kUp | kGateway | kDefault, "eth1"));
  checkIPv6GatewayAddr();
  EXPECT_EQ(requests(), (Strings{read(kDevVar), write(kGatewayVar, "::")}));
  forget();
  checkIPv6GatewayAddr();
  checkIPv6GatewayAddr();
  EXPECT_EQ(requests(), (Strings{read(kDevVar), read(kDevVar)}));
  // A gateway appears, and goes again.
  routes(routeLine(kZero, 0, kHop2Hex, kUp | kGateway | kDefault, "eth0"));
  forget();
  checkIPv6GatewayAddr();
  routes("");
  checkIPv6GatewayAddr();
  EXPECT_EQ(requests(),
            (Strings{read(kDevVar), write(kGatewayVar, kHop2Text), read(kDevVar), write(kGatewayVar, "::")}));
}

TEST_F(LanIpv6Test, MissingRouteTableIsWarnedAboutAtEveryScan) {
  checkIPv6GatewayAddr();
  checkIPv6GatewayAddr();
  EXPECT_EQ(countLogged(4, "Could not open /proc/net/ipv6_route"), 2);
  EXPECT_EQ(requests(), (Strings{read(kDevVar), read(kDevVar)}));
}

TEST_F(LanIpv6Test, DamagedRouteTableEndsTheScanThere) {
  routes(routeLine(kZero, 0, kHop1Hex, kUp | kGateway, "eth0") + "garbage\n" +
         routeLine(kZero, 0, kHop2Hex, kUp | kGateway | kDefault, "eth0"));
  checkIPv6GatewayAddr();
  EXPECT_EQ(requests(), (Strings{read(kDevVar), write(kGatewayVar, kHop1Text)}));
}

// ---- link state and schedule ----

TEST_F(LanIpv6Test, ScansRunEveryEighthPassFourPassesApartWhileUp) {
  everyKind();
  vector<int> gatewayPasses, addressPasses;
  for (int pass = 1; pass <= 24; ++pass) {
    forget();
    syssrvLanUpdateStatus(LAN_UP);
    for (const string& r : requests()) {
      if (r == write(kGatewayVar, kHop1Text)) gatewayPasses.push_back(pass);
      if (r == write(kLinkVar, kLinkText)) addressPasses.push_back(pass);
    }
    // Between scans nothing is asked at all.
    if (pass % 4 != 0) {
      EXPECT_TRUE(requests().empty()) << pass;
    } else {
      EXPECT_EQ(requests().empty() ? "" : requests().front(), read(kDevVar)) << pass;
    }
  }
  EXPECT_EQ(gatewayPasses, (vector<int>{4}));
  EXPECT_EQ(addressPasses, (vector<int>{8}));
}

TEST_F(LanIpv6Test, OnlyPassesWithTheLinkUpAreCounted) {
  everyKind();
  updates(3);
  updates(5, LAN_DOWN);
  EXPECT_TRUE(requests().empty());  // nothing known yet: nothing to withdraw
  syssrvLanUpdateStatus(LAN_UP);
  EXPECT_EQ(requests(), (Strings{read(kDevVar), write(kGatewayVar, kHop1Text)}));
}

TEST_F(LanIpv6Test, TheCounterWrapsWithoutBreakingTheSchedule) {
  everyKind();
  updates(256);  // 32 address and 32 gateway scans
  forget();
  updates(3);
  EXPECT_TRUE(requests().empty());
  updates(1);  // call 260: 4 after the wrap
  EXPECT_EQ(requests(), (Strings{read(kDevVar)}));
}

TEST_F(LanIpv6Test, LinkDownWithdrawsEverythingKnownAndTheNextScansRestoreIt) {
  everyKind();
  updates(8);
  forget();
  syssrvLanUpdateStatus(LAN_DOWN);
  EXPECT_EQ(requests(), (Strings{write(kLinkVar, "::/128"), write(kSiteVar, "::/128"), write(kGlobalVar, "::/128"),
                                 write(kGatewayVar, "::")}));
  EXPECT_EQ(syssrvCallTrace(), (Strings{"isIPv6Manual()"}));
  // Staying down: nothing more.
  forget();
  updates(20, LAN_DOWN);
  EXPECT_TRUE(requests().empty());
  // Back up: the real addresses differ from "::/128" and are published.
  updates(8);
  EXPECT_EQ(requests(),
            (Strings{read(kDevVar), write(kGatewayVar, kHop1Text), read(kDevVar), write(kLinkVar, kLinkText),
                     write(kSiteVar, kSiteText), write(kGlobalVar, kGlobal1Text)}));
}

TEST_F(LanIpv6Test, LinkDownInManualModePublishesNothing) {
  everyKind();
  updates(8);
  peer().set("system.network.wired.ipv6nic.mode", "Off");
  forget();
  syssrvLanUpdateStatus(LAN_DOWN);
  EXPECT_TRUE(requests().empty());
  EXPECT_EQ(syssrvCallTrace(), (Strings{"isIPv6Manual()"}));
}

TEST_F(LanIpv6Test, LinkDownWithOnlyAUniqueLocalAddressClearsTheSiteLocalVariable) {
  addresses(addrLine(kUlaHex, 0x00, "eth0"));
  routes("");
  updates(3);
  checkIPv6Addr();
  forget();
  syssrvLanUpdateStatus(LAN_DOWN);
  EXPECT_EQ(requests(), (Strings{write(kSiteVar, "::/128")}));
}

TEST_F(LanIpv6Test, LinkDownWithAGatewayButNoGlobalAddressRepeatsTheGateway) {
  addresses(addrLine(kLinkHex, 0x20, "eth0"));
  routes(routeLine(kZero, 0, kHop1Hex, kUp | kGateway | kDefault, "eth0"));
  updates(8);
  forget();
  syssrvLanUpdateStatus(LAN_DOWN);
  // Only a known global address makes the gateway "::".
  EXPECT_EQ(requests(), (Strings{write(kLinkVar, "::/128"), write(kGatewayVar, kHop1Text)}));
}

TEST_F(LanIpv6Test, LinkDownWithNothingKnownAsksNothing) {
  syssrvLanUpdateStatus(LAN_UP);
  syssrvLanUpdateStatus(LAN_DOWN);
  EXPECT_TRUE(requests().empty());
  EXPECT_TRUE(syssrvCallTrace().empty());
}

}  // namespace
