// The once-at-start steps in their order, each step's conditions, the
// certificate-request copies, the provisioning deadline on the fake clock,
// and the default-password check.
#include "OS/logmsg.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvStartup.h"
#include "tests/systemservice/test_startup_fixture.h"

namespace {

class StartupStepsTest : public StartupTest {
 protected:
  // A configured unit in normal operation with an address from DHCP.
  void configuredUnit() {
    env("CORVALE_BOARDID", "CEDAR");
    env("HARDWARE_VERSION", "22");
    cfg().set("security.banner.enabled", "True");
    cfg().set("security.banner.bannertext", "DoD");
    cfg().set("security.banner.localsecuritybanner", "Authorised use only");
    cfg().set("security.banner.DoD", "You are accessing a government system");
    cfg().set("system.info.outofbox", "False");
    cfg().set("time.timeserver.mode", "Auto");
    cfg().set("system.remote.channelid", "7");
    cfg().set("time.timezone", "Europe/Oslo");
    cfg().set("system.modularroom.mode", "Primary");
    cfg().set("security.remoteaccess.telnet.enabled", "True");
    cfg().set("security.remoteaccess.ssh.enabled", "True");
    cfg().set("security.remoteaccess.sshservice.enabled", "True");
    cfg().set("security.nids.enabled", "True");
    cfg().set("system.discovery.broadcastbeacon", "On");
    cfg().set("system.pki.csr.commonname", "room12.example.com");
    cfg().set("system.network.wired.ipv4nic.address", "192.0.2.10");
    cfg().set("system.proxy.webproxy.enabled", "False");
    cfg().set("system.network.wired.ipv4nic.dhcp.state", "Bound");
    cfg().set("system.network.wired.ipv6nic.dhcp.state", "Idle");
    cfg().set("system.network.wired.ipv4nic.mode", "Client");
  }
  int modularRoomReads() const {
    int n = 0;
    for (const std::string& r : const_cast<StartupStepsTest*>(this)->cfg().requests()) n += r == "read system.modularroom.mode" ? 1 : 0;
    return n;
  }
  // Trace entries without the not-yet-built modules' internal queries.
  std::vector<std::string> steps() const {
    std::vector<std::string> out;
    for (const std::string& t : trace()) {
      if (t.compare(0, 2, "is") != 0) out.push_back(t);
    }
    return out;
  }
};

TEST_F(StartupStepsTest, StepsRunInOrder) {
  configuredUnit();
  syssrvStartupConfig();
  EXPECT_EQ(steps(), (std::vector<std::string>{
                         "ApplyChanges(1,1,Authorised use only,You are accessing a government system)",
                         "update_remote_channel_id(7)",
                         "set_timezone(Europe/Oslo,1)",
                         "set_locale(1)",
                         "set_country_params()",
                         "enable_sshd(1)",
                         "telnetd_cfg_change(0)",
                         "start_NIDS()",
                         "registerProcessMonitorNotifications()",
                         "update_logspace_management(null,null)",
                         "update_amx_beacon(On)",
                         "updateDnsConfig()",
                         "discoverProvisioning()",
                         "StartWpad()",
                     }));
  EXPECT_EQ(eModel, kCedar);
  EXPECT_FALSE(outOfBox);
}

TEST_F(StartupStepsTest, ModelSettingsAreAppliedTwiceAroundTheOutOfBoxStep) {
  configuredUnit();
  syssrvStartupConfig();
  std::vector<std::string> all = cfg().requests();
  std::vector<int> eula;
  for (size_t i = 0; i < all.size(); ++i) {
    if (all[i] == "write system.info.eulafile = eula as 50") eula.push_back(static_cast<int>(i));
  }
  ASSERT_EQ(eula.size(), 2u);
  // Before the banner, and after the modular-room rule.
  EXPECT_LT(eula[0], indexOf(all, "read security.banner.enabled"));
  EXPECT_GT(eula[1], indexOf(all, "read system.modularroom.mode"));
  EXPECT_LT(eula[1], indexOf(all, "read security.remoteaccess.telnet.enabled"));
}

TEST_F(StartupStepsTest, BannerSettingsAreReadOnlyWhileTheReadsSucceed) {
  configuredUnit();
  cfg().breakReads("security.banner.bannertext");
  syssrvStartupConfig();
  EXPECT_EQ(steps().at(0), "ApplyChanges(1,0,,)");
  EXPECT_EQ(indexOf(cfg().requests(), "read security.banner.localsecuritybanner"), -1);
  EXPECT_EQ(indexOf(cfg().requests(), "read security.banner.DoD"), -1);

  forget();
  gSshBanner.Init();
  cfg().set("security.banner.enabled", "true");  // only "True" enables
  syssrvStartupConfig();
  EXPECT_EQ(steps().at(0), "ApplyChanges(0,0,,)");
}

TEST_F(StartupStepsTest, OutOfBoxUnitIsNamedAndStaysAwake) {
  configuredUnit();
  cfg().set("system.info.outofbox", "True");
  cfg().set("system.info.systemname", "Room 12");
  syssrvStartupConfig();
  EXPECT_TRUE(outOfBox);
  std::vector<std::string> all = cfg().requests();
  int name = indexOf(all, "read system.info.systemname");
  ASSERT_GE(name, 0);
  EXPECT_EQ(all[name + 1], "write comm.NICs.H323Nic.h323name = Room 12 as 30");
  EXPECT_EQ(all[name + 2], "write system.sleeptimeout = 0 as 30");
  EXPECT_GE(indexOf(steps(), "set_hostname(Room 12)"), 0);
  // The modular-room rule is not run: the mode is read once, for the LED.
  EXPECT_EQ(modularRoomReads(), 1);
}

TEST_F(StartupStepsTest, UnitInServiceGetsTheModularRoomRule) {
  configuredUnit();
  syssrvStartupConfig();
  EXPECT_EQ(modularRoomReads(), 2);
  std::vector<std::string> all = cfg().requests();
  EXPECT_EQ(indexOf(all, "read system.info.systemname"), -1);
  EXPECT_EQ(indexOf(all, "write system.sleeptimeout = 0 as 30"), -1);
  EXPECT_EQ(indexOf(steps(), "set_hostname(Room 12)"), -1);
}

TEST_F(StartupStepsTest, OutOfBoxUnitWithoutNameOnlyStaysAwake) {
  configuredUnit();
  cfg().set("system.info.outofbox", "True");
  cfg().set("system.info.systemname", "");
  syssrvStartupConfig();
  std::vector<std::string> all = cfg().requests();
  int name = indexOf(all, "read system.info.systemname");
  ASSERT_GE(name, 0);
  EXPECT_EQ(all[name + 1], "write system.sleeptimeout = 0 as 30");
  for (const std::string& t : steps()) EXPECT_NE(t.compare(0, 13, "set_hostname("), 0) << t;
  EXPECT_EQ(indexOf(all, "write comm.NICs.H323Nic.h323name =  as 30"), -1);
}

}  // namespace

namespace {

// ---- remote access

TEST_F(StartupStepsTest, NoRemoteShellTurnsTheIdleTimeoutsOff) {
  configuredUnit();
  cfg().set("security.remoteaccess.telnet.enabled", "FALSE");
  cfg().set("security.remoteaccess.ssh.enabled", "false");
  cfg().set("security.remoteaccess.sshservice.enabled", "TRUE");
  syssrvStartupConfig();
  std::vector<std::string> all = cfg().requests();
  int sshService = indexOf(all, "read security.remoteaccess.sshservice.enabled");
  ASSERT_GE(sshService, 0);
  EXPECT_EQ(all[sshService - 2], "read security.remoteaccess.telnet.enabled");
  EXPECT_EQ(all[sshService - 1], "read security.remoteaccess.ssh.enabled");
  EXPECT_EQ(all[sshService + 1], "write security.remoteaccess.telnet.pddebugportidletimeoutenabled = false as 10");
  EXPECT_EQ(all[sshService + 2], "write security.remoteaccess.telnet.apiportidletimeoutenabled = false as 10");
  std::vector<std::string> s = steps();
  int sshd = indexOf(s, "enable_sshd(1)");
  ASSERT_GE(sshd, 0);
  EXPECT_EQ(s[sshd + 1], "telnetd_cfg_change(0)");
}

TEST_F(StartupStepsTest, EitherShellKeepsTheIdleTimeouts) {
  for (const char* telnet : {"True", "false"}) {
    forget();
    configuredUnit();
    cfg().set("security.remoteaccess.telnet.enabled", telnet);
    cfg().set("security.remoteaccess.ssh.enabled", std::string(telnet) == "True" ? "false" : "True");
    cfg().set("security.remoteaccess.sshservice.enabled", "False");
    syssrvStartupConfig();
    for (const std::string& w : cfg().requests("write ")) EXPECT_EQ(w.find("idletimeoutenabled"), std::string::npos) << w;
    EXPECT_GE(indexOf(steps(), "enable_sshd(0)"), 0) << telnet;
  }
}

TEST_F(StartupStepsTest, FailedRemoteAccessReadSkipsTheShellsButNotTelnetd) {
  configuredUnit();
  cfg().set("security.remoteaccess.telnet.enabled", "false");
  cfg().set("security.remoteaccess.ssh.enabled", "false");
  cfg().breakReads("security.remoteaccess.sshservice.enabled");
  syssrvStartupConfig();
  for (const std::string& w : cfg().requests("write ")) EXPECT_EQ(w.find("idletimeoutenabled"), std::string::npos) << w;
  std::vector<std::string> s = steps();
  for (const std::string& t : s) EXPECT_NE(t.compare(0, 12, "enable_sshd("), 0) << t;
  EXPECT_GE(indexOf(s, "telnetd_cfg_change(0)"), 0);
}

TEST_F(StartupStepsTest, IntrusionDetectionStartsOnlyWhenEnabled) {
  for (const char* value : {"true", "False", ""}) {
    forget();
    configuredUnit();
    cfg().set("security.nids.enabled", value);
    syssrvStartupConfig();
    EXPECT_EQ(indexOf(steps(), "start_NIDS()"), -1) << value;
  }
}

// ---- certificate request and provisioning deadline

TEST_F(StartupStepsTest, CertificateRequestStartsFromCommonNameAndAddress) {
  configuredUnit();
  syssrvStartupConfig();
  std::vector<std::string> all = cfg().requests();
  int start = indexOf(all, "read system.pki.csr.commonname");
  ASSERT_GE(start, 0);
  const std::vector<std::string> expected = {
      "read system.pki.csr.commonname",
      "write system.pki.csr.sanfqdn = room12.example.com as 30",
      "write system.pki.csr.sanaddtlname =  as 30",
      "read system.network.wired.ipv4nic.address",
      "write system.pki.csr.sanipv4addr = 192.0.2.10 as 30",
      "write system.pki.csr.sanipv4dnsaddr = 192.0.2.10 as 30",
      "write system.pki.csr.sanipv6globaladdr =  as 30",
      "write system.pki.csr.sanipv6sitelocaladdr =  as 30",
      "write system.pki.csr.sanipv6linklocaladdr =  as 30",
      "register system.network.wired.ipv4nic.dhcp.state kind 3",
      "register system.network.wired.ipv6nic.dhcp.state kind 3",
      "read system.proxy.webproxy.enabled",
  };
  ASSERT_LE(start + expected.size(), all.size());
  EXPECT_EQ(std::vector<std::string>(all.begin() + start, all.begin() + start + expected.size()), expected);
}

TEST_F(StartupStepsTest, ProvisioningDeadlineIsNinetySecondsFromNow) {
  configuredUnit();
  rec().set_monotonic(5000, 250000000);
  syssrvStartupConfig();
  EXPECT_EQ(discoverProvisioningTimeout, 5000250u + 90000u);
}

// ---- proxy discovery, provisioning and the modular-room LED

TEST_F(StartupStepsTest, WebProxyStateIsLogged) {
  configuredUnit();
  cfg().set("system.proxy.webproxy.enabled", "FALSE");
  syssrvStartupConfig();
  EXPECT_TRUE(logged(LOG_LEVEL_DEBUG, "syssrvMessageInit: Webproxy is disabled."));
  forget();
  cfg().set("system.proxy.webproxy.enabled", "True");
  syssrvStartupConfig();
  EXPECT_TRUE(logged(LOG_LEVEL_DEBUG, "syssrvMessageInit: Webproxy is Enabled."));
  EXPECT_FALSE(logged(LOG_LEVEL_DEBUG, "syssrvMessageInit: Webproxy is disabled."));
}

TEST_F(StartupStepsTest, AddressFromDhcpStartsDnsProvisioningAndProxyDiscovery) {
  configuredUnit();
  cfg().set("system.network.wired.ipv4nic.dhcp.state", "Selecting");
  cfg().set("system.network.wired.ipv6nic.dhcp.state", "BOUND");
  syssrvStartupConfig();
  std::vector<std::string> s = steps();
  int dns = indexOf(s, "updateDnsConfig()");
  ASSERT_GE(dns, 0);
  EXPECT_EQ(s[dns + 1], "discoverProvisioning()");
  EXPECT_EQ(s[dns + 2], "StartWpad()");
  EXPECT_TRUE(logged(LOG_LEVEL_DEBUG, "Calling StartWpad. SYSSRVMESSAGE INIT"));
}

TEST_F(StartupStepsTest, NoAddressYetStartsNothing) {
  configuredUnit();
  cfg().set("system.network.wired.ipv4nic.dhcp.state", "Selecting");
  cfg().set("system.network.wired.ipv6nic.dhcp.state", "bound6");
  syssrvStartupConfig();
  std::vector<std::string> s = steps();
  EXPECT_EQ(indexOf(s, "updateDnsConfig()"), -1);
  EXPECT_EQ(indexOf(s, "discoverProvisioning()"), -1);
  EXPECT_EQ(indexOf(s, "StartWpad()"), -1);
  EXPECT_FALSE(logged(LOG_LEVEL_DEBUG, "Calling StartWpad. SYSSRVMESSAGE INIT"));
}

TEST_F(StartupStepsTest, StaticAddressStartsProxyDiscovery) {
  configuredUnit();
  cfg().set("system.network.wired.ipv4nic.dhcp.state", "Idle");
  cfg().set("system.network.wired.ipv4nic.mode", "Off");
  syssrvStartupConfig();
  std::vector<std::string> s = steps();
  EXPECT_EQ(s.back(), "StartWpad()");
  EXPECT_EQ(indexOf(s, "updateDnsConfig()"), -1);
  EXPECT_TRUE(logged(LOG_LEVEL_DEBUG, "Calling StartWpad During Startup for StaticIP. SYSSRVMESSAGE INIT"));

  forget();
  cfg().set("system.network.wired.ipv4nic.mode", "off");
  syssrvStartupConfig();
  EXPECT_EQ(indexOf(steps(), "StartWpad()"), -1);
}

TEST_F(StartupStepsTest, SecondaryUnitShowsItsPairingStateInBlue) {
  const struct {
    const char* mode;
    const char* state;
    const char* led;
    const char* line;
  } kCases[] = {
      {"Secondary", "UnPaired", "setLed(0,0,255,0,50,50)",
       "modroom status on startup var system.modularroom.secondary.pairing.state[UnPaired] - Blinking Blue"},
      {"SECONDARY", "Paired", "setLed(0,0,255,0,100,0)",
       "modroom status on startup var system.modularroom.secondary.pairing.state[Paired] - Solid Blue"},
      {"secondary", "Connected", "setLed(0,0,255,0,100,0)",
       "modroom status on startup var system.modularroom.secondary.pairing.state[Connected] - Solid Blue"},
      {"Secondary", "unpaired", nullptr, nullptr},
      {"Secondary", "Connecting", nullptr, nullptr},
      {"Primary", "Paired", nullptr, nullptr},
  };
  for (const auto& c : kCases) {
    forget();
    configuredUnit();
    cfg().set("system.modularroom.mode", c.mode);
    cfg().set("system.modularroom.secondary.pairing.state", c.state);
    syssrvStartupConfig();
    std::vector<std::string> s = steps();
    std::vector<std::string> leds;
    for (const std::string& t : s) {
      if (t.compare(0, 7, "setLed(") == 0) leds.push_back(t);
    }
    if (c.led == nullptr) {
      EXPECT_TRUE(leds.empty()) << c.mode << " " << c.state;
      for (const std::string& l : logLines()) EXPECT_EQ(l.find("modroom status"), std::string::npos) << l;
    } else {
      EXPECT_EQ(leds, (std::vector<std::string>{c.led})) << c.mode << " " << c.state;
      EXPECT_EQ(s.back(), c.led);
      EXPECT_TRUE(logged(LOG_LEVEL_INFO, c.line)) << c.line;
    }
    bool readState = indexOf(cfg().requests(), "read system.modularroom.secondary.pairing.state") >= 0;
    EXPECT_EQ(readState, std::string(c.mode) != "Primary");
  }
}

// ---- default password

class DefaultPasswordTest : public StartupTest {
 protected:
  static constexpr const char* kRemote = "security.authentication.accounts.adminaccount.remotepassword";
  static constexpr const char* kLocal = "security.authentication.accounts.adminaccount.localpassword";
};

TEST_F(DefaultPasswordTest, OutOfBoxUnitGetsItsSerialNumberForDefaultPasswords) {
  cfg().set("system.info.model", "CEDAR");
  cfg().set("system.info.outofbox", "TRUE");
  cfg().setDefault(kRemote, "");
  cfg().setDefault(kLocal, "");
  cfg().set("system.info.serialnumber", "FTX2411A0Q7");
  checkDefaultPassword();
  EXPECT_EQ(cfg().requests(), (std::vector<std::string>{
                                  "read system.info.model",
                                  "read system.info.outofbox",
                                  std::string("read ") + kRemote,
                                  "read system.info.serialnumber",
                                  std::string("write ") + kRemote + " = FTX2411A0Q7 as 30",
                                  std::string("read ") + kLocal,
                                  "read system.info.serialnumber",
                                  std::string("write ") + kLocal + " = FTX2411A0Q7 as 30",
                              }));
}

TEST_F(DefaultPasswordTest, LumenProAlwaysReplacesDefaultPasswords) {
  cfg().set("system.info.model", "lumenpro");
  cfg().set("system.info.outofbox", "False");
  cfg().setDefault(kRemote, "");
  cfg().set(kLocal, "chosen");
  cfg().set("system.info.serialnumber", "LP0042");
  checkDefaultPassword();
  EXPECT_EQ(cfg().requests("write "), (std::vector<std::string>{std::string("write ") + kRemote + " = LP0042 as 30"}));
}

TEST_F(DefaultPasswordTest, ConfiguredUnitKeepsItsPasswords) {
  const struct {
    const char* model;
    const char* oob;
  } kCases[] = {{"CEDAR", "False"}, {"CEDAR", "fals"}, {"LUMEN", "False"}, {"BIRCH", ""}};
  for (const auto& c : kCases) {
    forget();
    cfg().set("system.info.model", c.model);
    cfg().set("system.info.outofbox", c.oob);
    cfg().setDefault(kRemote, "");
    cfg().setDefault(kLocal, "");
    cfg().set("system.info.serialnumber", "FTX1");
    checkDefaultPassword();
    EXPECT_TRUE(cfg().requests("write ").empty()) << c.model << " " << c.oob;
    EXPECT_EQ(indexOf(cfg().requests(), "read system.info.serialnumber"), -1);
  }
}

TEST_F(DefaultPasswordTest, FailedReadsChangeNothing) {
  cfg().set("system.info.model", "LUMENPRO");
  cfg().set("system.info.outofbox", "True");
  cfg().breakReads(kRemote);
  cfg().setDefault(kLocal, "");
  cfg().breakReads("system.info.serialnumber");
  checkDefaultPassword();
  EXPECT_TRUE(cfg().requests("write ").empty());
  EXPECT_EQ(cfg().requests("read system.info.serialnumber").size(), 1u) << "only for the local password";
}

TEST_F(DefaultPasswordTest, UnreadableModelAndOutOfBoxFlagDoNotCount) {
  cfg().breakReads("system.info.model");
  cfg().breakReads("system.info.outofbox");
  cfg().setDefault(kRemote, "");
  cfg().set("system.info.serialnumber", "FTX1");
  checkDefaultPassword();
  EXPECT_TRUE(cfg().requests("write ").empty());
}

}  // namespace
