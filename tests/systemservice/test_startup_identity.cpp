// The unit's identity at start: the model from the board id, the model name
// and component (multi-codec systems included), the environment copied to
// the configuration as kStartup with its missing and blank texts, the
// human-readable version, developer features, the encryption switch, the
// link-local address query and the access levels of the stored settings.
#include <vector>

#include "OS/logmsg.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvStartup.h"
#include "tests/systemservice/test_startup_fixture.h"

namespace {

// The query's bytes as the shell gets them (single backslashes for sed).
const char kLinkLocalQuery[] = R"(ip addr show dev eth0 | busybox sed -n 's/.*inet6 \(.*\) scope link.*/\1/p')";

class StartupIdentityTest : public StartupTest {
 protected:
  void setAllEnv() {
    env("CORVALE_BOARDID", "CEDAR");
    env("CORVALE_SERIALNUM", "FTX2411A0Q7");
    env("HARDWARE_VERSION", "21");
    env("DEVFEATURES", "false");
    env("ENCRYPTION_ENABLE", "true");
    env("PRODUCTLINE", "TrueSummit");
    env("PROJECTPHASE", "release");
    env("VERSION", "3.2.1");
    env("BUILDNUMBER", "457");
    env("DATETIME", "2024-05-06 07:08:09");
  }
  // The writes up to and including the link-local address (the access-level
  // rules that follow are tested with their own module).
  std::vector<std::string> identityWrites() {
    std::vector<std::string> writes = cfg().requests("write ");
    std::vector<std::string> out;
    for (const std::string& w : writes) {
      out.push_back(w);
      if (w.compare(0, 45, "write system.network.wired.ipv6nic.linklocal ") == 0) break;
    }
    return out;
  }
  std::string written(const std::string& name) { return cfg().get(name); }
};

TEST_F(StartupIdentityTest, EnvironmentIsCopiedAsStartupInTableOrder) {
  setAllEnv();
  rec().on(kLinkLocalQuery).output("fe80::21b:2cff:fe00:1234/64\n");
  initSystemConfig();
  EXPECT_EQ(eModel, kCedar);
  const std::vector<std::string> expected = {
      "write system.info.model = CEDAR as 50",
      "write system.info.humanreadablemodel = TrueSummit Ensemble 150 as 50",
      "write system.info.serialnumber = FTX2411A0Q7 as 50",
      "write system.info.hardwareversion = 21 as 50",
      "write system.info.devfeatures = false as 50",
      "write system.info.encryptionenable = True as 50",
      "write security.remoteaccess.web.httpenabled = False as 50",
      "write system.info.system = TrueSummit as 50",
      "write system.info.buildtype = release as 50",
      "write system.info.version = 3.2.1 as 50",
      "write system.info.build = 457 as 50",
      "write system.info.humanreadableversion = release - 3.2.1-457 as 50",
      "write system.info.crvlstandardversion = release - 3.2.1-457 as 50",
      "write system.info.builddate = 2024-05-06 07:08:09 as 50",
      "write system.network.wired.ipv6nic.linklocal = fe80::21b:2cff:fe00:1234/64 as 50",
  };
  EXPECT_EQ(identityWrites(), expected);
  EXPECT_EQ(cfg().requests("component "), (std::vector<std::string>{"component en150 detach 0 as 50"}));
  EXPECT_FALSE(m_bDevfeatures);
  // The only error: this unit is not part of a multi-codec system.
  std::vector<std::string> errors;
  for (const std::string& line : logLines()) {
    if (line.compare(0, 3, "<3>") == 0) errors.push_back(line);
  }
  EXPECT_EQ(errors, (std::vector<std::string>{
                        "<3>syssrv: hd[0]: Failed to open for reading  </opt/corvale/dat/multicodec_systemid.dat> "}));
}

TEST_F(StartupIdentityTest, MissingVariablesAreLoggedAndLeftAlone) {
  initSystemConfig();
  EXPECT_EQ(eModel, kUnknownModel);
  const char* const kErrors[] = {
      "CORVALE_BOARDID not set in environment.", "CORVALE_SERIALNUM not set in environment.",
      "HARDWARE_VERSION not set in environment.", "DEVFEATURES is not set in environment.",
      "ENCRYPTION_ENABLE is not set in environment.", "PRODUCTLINE not set in environment.",
      "PROJECTPHASE not set in environment.", "VERSION not set in environment.",
      "BUILDNUMBER not set in environment.", "DATETIME not set in environment.",
  };
  std::vector<std::string> errors;
  for (const std::string& l : logLines()) {
    if (l.compare(0, 3, "<3>") == 0 && l.find("environment.") != std::string::npos) errors.push_back(l);
  }
  std::vector<std::string> expected;
  for (const char* e : kErrors) expected.push_back(std::string("<3>syssrv: hd[0]: ") + e);
  EXPECT_EQ(errors, expected);
  // Only what does not come from the environment is written.
  const std::vector<std::string> writes = {
      "write system.info.humanreadablemodel = (unknown model) as 50",
      "write system.info.encryptionenable = True as 50",
      "write system.info.humanreadableversion =  - - as 50",
      "write system.info.crvlstandardversion =  - - as 50",
      "write system.network.wired.ipv6nic.linklocal =  as 50",
  };
  EXPECT_EQ(identityWrites(), writes);
  EXPECT_EQ(cfg().requests("component "), (std::vector<std::string>{"component (unknown model) detach 0 as 50"}));
}

TEST_F(StartupIdentityTest, BlankVariablesAreLoggedAtTheirLevelAndStillWritten) {
  for (const char* name : {"CORVALE_BOARDID", "CORVALE_SERIALNUM", "HARDWARE_VERSION", "DEVFEATURES",
                           "ENCRYPTION_ENABLE", "PRODUCTLINE", "PROJECTPHASE", "VERSION", "BUILDNUMBER", "DATETIME"}) {
    env(name, "");
  }
  initSystemConfig();
  EXPECT_EQ(eModel, kUnknownModel);
  std::vector<std::string> blanks;
  for (const std::string& l : logLines()) {
    if (l.find("blank") != std::string::npos) blanks.push_back(l);
  }
  EXPECT_EQ(blanks, (std::vector<std::string>{
                        "<3>syssrv: hd[0]: CORVALE_BOARDID is blank.",
                        "<3>syssrv: hd[0]: CORVALE_SERIALNUM is blank.",
                        "<3>syssrv: hd[0]: HARDWARE_VERSION is blank.",
                        "<7>syssrv: hd[0]: DEVFEATURES is blank.",
                        "<7>syssrv: hd[0]: ENCRYPTION_ENABLE is blank.",
                    }));
  std::vector<std::string> writes = identityWrites();
  EXPECT_EQ(writes[0], "write system.info.model =  as 50");
  EXPECT_GE(indexOf(writes, "write system.info.serialnumber =  as 50"), 0);
  EXPECT_GE(indexOf(writes, "write system.info.devfeatures = false as 50"), 0);
  EXPECT_GE(indexOf(writes, "write security.remoteaccess.web.httpenabled = False as 50"), 0);
  EXPECT_GE(indexOf(writes, "write system.info.builddate =  as 50"), 0);
}

TEST_F(StartupIdentityTest, BoardIdSelectsItsRowInAnyCase) {
  const struct {
    const char* board;
    eModelT model;
    const char* name;
    const char* component;
  } kCases[] = {
      {"CEDAR100", kCedar100, "TrueSummit Ensemble 120", "en120"},
      {"cedar110", kCedar110, "TrueSummit Ensemble 130", "en130"},
      {"LumenPro", kLumenPro, "Quill LumenPro", "LumenPro"},
      {"Cedar", kCedar, "TrueSummit Ensemble 150", "en150"},
      {"HALDEN", kHalden, "TrueSummit Ensemble 155", "en155"},
      {"birch", kBirch, "TrueSummit Ensemble 170", "en170"},
      {"ASPEN", kAspen, "TrueSummit Atrium", "aspen"},
      {"CEDAR200", kUnknownModel, "(unknown model)", "(unknown model)"},
      {"CEDA", kUnknownModel, "(unknown model)", "(unknown model)"},
  };
  for (const auto& c : kCases) {
    forget();
    env("CORVALE_BOARDID", c.board);
    eModel = kUnknownModel;
    initSystemConfig();
    EXPECT_EQ(eModel, c.model) << c.board;
    EXPECT_EQ(written("system.info.model"), c.board);
    EXPECT_EQ(written("system.info.humanreadablemodel"), c.name) << c.board;
    EXPECT_EQ(cfg().requests("component "),
              (std::vector<std::string>{std::string("component ") + c.component + " detach 0 as 50"}))
        << c.board;
  }
}

TEST_F(StartupIdentityTest, ModelTableRowsAreTheirModels) {
  for (int i = 0; i < kNumModels; ++i) EXPECT_EQ(static_cast<int>(modelInfo[i].model), i);
  EXPECT_STREQ(modelInfo[0].boardId, "");
}

TEST_F(StartupIdentityTest, OrbscopeAddressMakesAnAtrium) {
  env("CORVALE_BOARDID", "CEDAR");
  env("ORBSCOPE_IP", "10.0.0.7");
  EXPECT_EQ(getPlatformModel(), kAspen);
  env("ORBSCOPE_IP", "1.2.3.4");  // seven characters
  EXPECT_EQ(getPlatformModel(), kAspen);
  env("ORBSCOPE_IP", "123456");  // six: a placeholder
  EXPECT_EQ(getPlatformModel(), kCedar);
  env("ORBSCOPE_IP", "");
  EXPECT_EQ(getPlatformModel(), kCedar);
  EXPECT_EQ(cfg().requests("write "), (std::vector<std::string>(4, "write system.info.model = CEDAR as 50")));
}

TEST_F(StartupIdentityTest, MultiCodecPrimaryIsNamedAfterTheSystem) {
  codecIdFile("0");
  env("CORVALE_BOARDID", "BIRCH");
  eModel = getPlatformModel();
  forget();
  init_humanReadableModel();
  EXPECT_EQ(cfg().requests(), (std::vector<std::string>{
                                  "read system.systemmode.systemtype",
                                  "write system.info.humanreadablemodel = TrueSummit System as 50",
                                  "component multicodecprimary detach 0 as 50",
                                  "read system.systemmode.enableitpenginemode",
                              }));
  EXPECT_TRUE(logged(LOG_LEVEL_DEBUG, "init_humanReadableModel system mode 0 return value 0"));
}

TEST_F(StartupIdentityTest, MultiCodecSystemTypesNameTheUnit) {
  codecIdFile("2");
  eModel = kCedar;
  cfg().set("system.systemmode.systemtype", "panorama STUDIO");
  init_humanReadableModel();
  EXPECT_EQ(written("system.info.humanreadablemodel"), "TrueSummit Panorama Studio");
  EXPECT_EQ(cfg().requests("component "), (std::vector<std::string>{"component multicodecsecondary detach 0 as 50"}));
  EXPECT_TRUE(logged(LOG_LEVEL_DEBUG, "init_humanReadableModel system mode 2 return value 0"));

  forget();
  cfg().set("system.systemmode.systemtype", "zra 300");
  cfg().set("system.systemmode.enableitpenginemode", "True");
  init_humanReadableModel();
  // The engine mode is switched off before it is looked at.
  EXPECT_EQ(cfg().requests(), (std::vector<std::string>{
                                  "read system.systemmode.systemtype",
                                  "write system.systemmode.enableitpenginemode = False as 50",
                                  "write system.info.humanreadablemodel = TrueSummit ZRA Studio as 50",
                                  "component multicodecsecondary detach 0 as 50",
                                  "read system.systemmode.enableitpenginemode",
                              }));
}

TEST_F(StartupIdentityTest, EngineModeAttachesItsComponent) {
  codecIdFile("1");
  eModel = kCedar;
  cfg().set("system.systemmode.systemtype", "Panorama Studio");
  cfg().set("system.systemmode.enableitpenginemode", "True");
  init_humanReadableModel();
  EXPECT_EQ(cfg().requests("component "), (std::vector<std::string>{
                                               "component multicodecsecondary detach 0 as 50",
                                               "component multicodecenginemode detach 0 as 50",
                                           }));
  forget();
  cfg().set("system.systemmode.enableitpenginemode", "true");
  init_humanReadableModel();
  EXPECT_EQ(cfg().requests("component "), (std::vector<std::string>{"component multicodecsecondary detach 0 as 50"}));
}

TEST_F(StartupIdentityTest, SingleUnitKeepsItsRowNameAndSaysWhyInTheLog) {
  eModel = kHalden;
  cfg().set("system.systemmode.systemtype", "Panorama Studio");
  init_humanReadableModel();
  EXPECT_EQ(written("system.info.humanreadablemodel"), "TrueSummit Ensemble 155");
  EXPECT_EQ(cfg().requests("component "), (std::vector<std::string>{"component en155 detach 0 as 50"}));
  EXPECT_EQ(indexOf(cfg().requests(), "read system.systemmode.systemtype"), -1);
  EXPECT_TRUE(logged(LOG_LEVEL_DEBUG, "init_humanReadableModel system mode 0 return value 1"));

  forget();
  codecIdFile("");
  init_humanReadableModel();
  EXPECT_TRUE(logged(LOG_LEVEL_DEBUG, "init_humanReadableModel system mode 0 return value 2"));
  EXPECT_EQ(written("system.info.humanreadablemodel"), "TrueSummit Ensemble 155");
}

TEST_F(StartupIdentityTest, MaximumProfileDropsTheBuildFromTheHumanVersionOnly) {
  cfg().set("system.info.buildtype", "release");
  cfg().set("system.info.version", "3.2.1");
  cfg().set("system.info.build", "457");
  cfg().set("security.profile", "Maximum");
  SetHumanVersion();
  EXPECT_EQ(cfg().requests(), (std::vector<std::string>{
                                  "read system.info.buildtype",
                                  "read system.info.version",
                                  "read security.profile",
                                  "read system.info.build",
                                  "write system.info.humanreadableversion = release - 3.2.1 as 50",
                                  "write system.info.crvlstandardversion = release - 3.2.1-457 as 50",
                              }));
  forget();
  cfg().set("security.profile", "maximum");
  SetHumanVersion();
  EXPECT_EQ(written("system.info.humanreadableversion"), "release - 3.2.1-457");
}

TEST_F(StartupIdentityTest, HumanVersionComesBetweenBuildNumberAndDate) {
  setAllEnv();
  initSystemConfig();
  std::vector<std::string> all = cfg().requests();
  int build = indexOf(all, "write system.info.build = 457 as 50");
  int firstRead = indexOf(all, "read system.info.buildtype");
  int human = indexOf(all, "write system.info.humanreadableversion = release - 3.2.1-457 as 50");
  int date = indexOf(all, "write system.info.builddate = 2024-05-06 07:08:09 as 50");
  ASSERT_GE(build, 0);
  EXPECT_EQ(firstRead, build + 1);
  EXPECT_GT(human, firstRead);
  EXPECT_EQ(date, human + 2);
}

TEST_F(StartupIdentityTest, DeveloperFeaturesStartTheDebugBridge) {
  env("DEVFEATURES", "true");
  initSystemConfig();
  EXPECT_TRUE(m_bDevfeatures);
  EXPECT_EQ(written("system.info.devfeatures"), "true");
  std::vector<std::string> cmds = commands();
  ASSERT_EQ(cmds.size(), 2u);
  EXPECT_EQ(cmds[0], "start adbd");
  EXPECT_EQ(cmds[1], kLinkLocalQuery);

  for (const char* other : {"TRUE", "True", "1", "yes"}) {
    forget();
    m_bDevfeatures = false;
    env("DEVFEATURES", other);
    initSystemConfig();
    EXPECT_FALSE(m_bDevfeatures) << other;
    EXPECT_EQ(written("system.info.devfeatures"), "false") << other;
    EXPECT_EQ(commands(), (std::vector<std::string>{kLinkLocalQuery})) << other;
  }
}

TEST_F(StartupIdentityTest, BuildWithoutEncryptionFixesItOff) {
  env("ENCRYPTION_ENABLE", "false");
  initSystemConfig();
  std::vector<std::string> all = cfg().requests();
  int first = indexOf(all, "write system.info.encryptionenable = True as 50");
  ASSERT_GE(first, 0);
  const std::vector<std::string> expected = {
      "write system.info.encryptionenable = True as 50",
      "write security.remoteaccess.web.httpenabled = True as 50",
      "write comm.Callsetting.callFeatures.encryptionenable = Off as 50",
      "options comm.Callsetting.callFeatures.encryptionenable as 50 [Off] default 0",
      "levels comm.Callsetting.callFeatures.encryptionenable as 50 read 50 write 50",
      "write management.provisioning.ubootencyptionenabled = False as 50",
      "read system.info.buildtype",  // the next row's follow-up: nothing else in between
  };
  ASSERT_LE(first + expected.size(), all.size());
  EXPECT_EQ(std::vector<std::string>(all.begin() + first, all.begin() + first + expected.size()), expected);

  for (const char* other : {"true", "FALSE", "0"}) {
    forget();
    env("ENCRYPTION_ENABLE", other);
    initSystemConfig();
    EXPECT_EQ(written("security.remoteaccess.web.httpenabled"), "False") << other;
    EXPECT_TRUE(cfg().requests("options ").empty()) << other;
    EXPECT_EQ(indexOf(cfg().requests(), "write management.provisioning.ubootencyptionenabled = False as 50"), -1);
  }
}

TEST_F(StartupIdentityTest, LinkLocalAddressIsTheQuerysFirstLine) {
  rec().on(kLinkLocalQuery).output("fe80::1/64\r\nfe80::2/64\n");
  initSystemConfig();
  std::vector<SysIoRecord> pipes = rec().records(SysIoCall::kPopen);
  ASSERT_EQ(pipes.size(), 1u);
  EXPECT_EQ(pipes[0].text, kLinkLocalQuery);
  EXPECT_EQ(pipes[0].mode, "r");
  EXPECT_EQ(written("system.network.wired.ipv6nic.linklocal"), "fe80::1/64");

  // At most 31 characters are kept.
  forget();
  rec().on(kLinkLocalQuery).output("fe80:1111:2222:3333:4444:5555:6666:7777/64\n");
  initSystemConfig();
  EXPECT_EQ(written("system.network.wired.ipv6nic.linklocal"), "fe80:1111:2222:3333:4444:5555:6");

  forget();
  rec().on(kLinkLocalQuery).output("");
  initSystemConfig();
  EXPECT_GE(indexOf(cfg().requests(), "write system.network.wired.ipv6nic.linklocal =  as 50"), 0);
}

TEST_F(StartupIdentityTest, LinkLocalQueryThatCannotStartIsLoggedAndWritesNothing) {
  rec().on(kLinkLocalQuery).fail();
  initSystemConfig();
  EXPECT_TRUE(logged(LOG_LEVEL_ERR, "IPv6 link local address query failed."));
  for (const std::string& w : cfg().requests("write ")) {
    EXPECT_EQ(w.find("ipv6nic.linklocal"), std::string::npos) << w;
  }
}

TEST_F(StartupIdentityTest, AccessLevelsFollowTheStoredSettingsInOrder) {
  initSystemConfig();
  std::vector<std::string> all = cfg().requests();
  int start = indexOf(all, "write system.network.wired.ipv6nic.linklocal =  as 50");
  ASSERT_GE(start, 0);
  const char* const kControlling[] = {
      "read system.network.wired.ipv4nic.mode",     "read system.network.wired.ethernet.autoneg",
      "read system.network.wired.dot1x.enabled",    "read system.network.wired.vlan.enabled",
      "read time.timeserver.mode",                  "read system.log.spacemonitoring.enable",
      "read system.log.remotelog.enabled",
  };
  // Each controlling read comes after the one before it, and each rule
  // acts (sends levels) before the next controlling setting is read.
  size_t pos = static_cast<size_t>(start);
  for (const char* read : kControlling) {
    size_t found = pos + 1;
    while (found < all.size() && all[found] != read) ++found;
    ASSERT_LT(found, all.size()) << read << " after " << all[pos];
    pos = found;
    bool levels = false;
    for (size_t i = pos + 1; i < all.size() && all[i].compare(0, 5, "read ") != 0; ++i) {
      levels = levels || all[i].compare(0, 7, "levels ") == 0 || all[i].compare(0, 6, "write ") == 0;
    }
    EXPECT_TRUE(levels || std::string(read) == "read system.network.wired.vlan.enabled" ||
                std::string(read) == "read system.log.spacemonitoring.enable")
        << "no rule followed " << read;
  }
}

}  // namespace
