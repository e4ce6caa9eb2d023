// Identity at start: the environment copied into the configuration with
// its log lines, the model row, the multi-codec name, the versions, the
// developer and encryption switches, the link-local address.
#include <algorithm>

#include "multicodec_util/multicodec_sysids.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvStartup.h"
#include "tests/systemservice/test_callbacks_peer.h"

namespace {

using std::string;
using std::vector;

const char kLinkLocalQuery[] = "ip addr show dev eth0 | busybox sed -n 's/.*inet6 \\(.*\\) scope link.*/\\1/p'";

class StartupIdentityTest : public CfgTest {};

TEST_F(StartupIdentityTest, EnvironmentIsCopiedAsStartupInTableOrder) {
  for (const auto& [name, value] : vector<std::pair<const char*, const char*>>{
           {"CORVALE_BOARDID", "CEDAR"}, {"CORVALE_SERIALNUM", "FTX;`reboot`\nX"}, {"HARDWARE_VERSION", ""},
           {"DEVFEATURES", "TRUE"}, {"ENCRYPTION_ENABLE", "true"}, {"PROJECTPHASE", "Release"}, {"VERSION", "4.1.0"},
           {"BUILDNUMBER", "77"}, {"DATETIME", "2024-05-01"}}) {
    setenv(name, value, 1);
  }
  initSystemConfig();
  vector<string> writes = sent("write system.info.");
  EXPECT_EQ(vector<string>(writes.begin(), writes.begin() + 10),
            (vector<string>{"write system.info.model=CEDAR as 50", "write system.info.humanreadablemodel=TrueSummit Ensemble 150 as 50",
                            "write system.info.serialnumber=FTX;`reboot`\nX as 50", "write system.info.hardwareversion= as 50",
                            "write system.info.devfeatures=false as 50", "write system.info.encryptionenable=True as 50",
                            "write system.info.buildtype=Release as 50", "write system.info.version=4.1.0 as 50",
                            "write system.info.build=77 as 50", "write system.info.humanreadableversion=Release - 4.1.0-77 as 50"}));
  EXPECT_EQ(writes.at(11), "write system.info.builddate=2024-05-01 as 50");
  EXPECT_EQ(peer().get("security.remoteaccess.web.httpenabled"), "False");
  EXPECT_TRUE(logged(3, "HARDWARE_VERSION is blank.\n"));
  EXPECT_TRUE(logged(3, "PRODUCTLINE not set in environment.\n"));
  EXPECT_EQ(peer().get("system.info.system"), "<unset>");
  EXPECT_EQ(eModel, kCedar);
  EXPECT_EQ(rec().commands(), vector<string>{kLinkLocalQuery});  // no debug bridge for "TRUE"
}

TEST_F(StartupIdentityTest, MissingAndBlankVariablesAreLoggedAtTheirLevels) {
  setenv("CORVALE_BOARDID", "", 1);
  setenv("DEVFEATURES", "", 1);
  initSystemConfig();
  EXPECT_TRUE(logged(3, "CORVALE_BOARDID is blank.\n"));
  EXPECT_TRUE(logged(7, "DEVFEATURES is blank.\n"));
  EXPECT_TRUE(logged(3, "ENCRYPTION_ENABLE is not set in environment.\n"));
  EXPECT_EQ(peer().get("system.info.model"), "");
}

TEST_F(StartupIdentityTest, BoardIdAndOrbscopeAddressSelectTheModelRow) {
  struct Row { const char* board; const char* orbscope; eModelT model; };
  const Row rows[] = {{"birch", nullptr, kBirch}, {"Halden", "1.2.3", kHalden}, {"CEDAR", "10.0.0.1", kAspen},
                      {"CEDAR 2", nullptr, kUnknownModel}, {nullptr, nullptr, kUnknownModel}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.board ? r.board : "unset");
    r.board ? setenv("CORVALE_BOARDID", r.board, 1) : unsetenv("CORVALE_BOARDID");
    r.orbscope ? setenv("ORBSCOPE_IP", r.orbscope, 1) : unsetenv("ORBSCOPE_IP");
    forget();
    EXPECT_EQ(getPlatformModel(), r.model);
    EXPECT_EQ(logged(3, "CORVALE_BOARDID not set in environment.\n"), r.board ? 0 : 1);
    EXPECT_TRUE(r.board || sent().empty());  // unset: nothing asked of the configuration
  }
}

TEST_F(StartupIdentityTest, MultiCodecSystemNamesTheUnit) {
  struct Row { const char* id; const char* systemType; const char* name; const char* component; };
  const Row rows[] = {{"0", "", "TrueSummit System", "multicodecprimary"},
                      {"2", "panorama studio", "TrueSummit Panorama Studio", "multicodecsecondary"},
                      {"1", "ZRA 300", "TrueSummit ZRA Studio", "multicodecsecondary"}};
  eModel = kBirch;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.id);
    remove_codec_id_file();
    rec().put_file("/opt/corvale/dat/multicodec_systemid.dat", r.id);
    peer().set("system.systemmode.systemtype", r.systemType);
    peer().set("system.systemmode.enableitpenginemode", "True");
    forget();
    init_humanReadableModel();
    EXPECT_EQ(peer().get("system.info.humanreadablemodel"), r.name);
    vector<string> components = sent("component ");
    EXPECT_EQ(components.at(0), "component " + string(r.component) + " detach 0 as 50");
    // ZRA 300 has no engine mode.
    EXPECT_EQ(components.size(), string(r.systemType) == "ZRA 300" ? 1u : 2u);
  }
}

TEST_F(StartupIdentityTest, DeveloperEncryptionAndMaximumProfileSwitches) {
  for (const auto& [name, value] : vector<std::pair<const char*, const char*>>{
           {"DEVFEATURES", "true"}, {"ENCRYPTION_ENABLE", "false"}, {"PROJECTPHASE", "Release"}, {"VERSION", "4.1.0"}, {"BUILDNUMBER", "77"}}) {
    setenv(name, value, 1);
  }
  peer().set("security.profile", "Maximum");  // drops the build from the human version only
  initSystemConfig();
  EXPECT_EQ(peer().get("system.info.humanreadableversion"), "Release - 4.1.0");
  EXPECT_EQ(peer().get("system.info.crvlstandardversion"), "Release - 4.1.0-77");
  EXPECT_TRUE(m_bDevfeatures);
  EXPECT_EQ(rec().commands().at(0), "start adbd");
  const char kEnc[] = "comm.Callsetting.callFeatures.encryptionenable";
  vector<string> t = sent();
  auto at = std::find(t.begin(), t.end(), "write security.remoteaccess.web.httpenabled=True as 50");
  ASSERT_NE(at, t.end());
  EXPECT_EQ(vector<string>(at + 1, at + 5),
            (vector<string>{"write " + string(kEnc) + "=Off as 50", "options " + string(kEnc) + " [Off] default 0 as 50",
                            "levels " + string(kEnc) + " read 50 write 50 as 50",
                            "write management.provisioning.ubootencyptionenabled=False as 50"}));
}

TEST_F(StartupIdentityTest, LinkLocalAddressIsTheQuerysFirstLineCut) {
  struct Row { const char* output; const char* address; };
  for (const Row& r : {Row{"fe80::1/64\r\nfe80::2/64\n", "fe80::1/64"},
                       Row{"fe80:1111:2222:3333:4444:5555:6666:7777/64\n", "fe80:1111:2222:3333:4444:5555:6"}}) {
    rec().on(kLinkLocalQuery).output(r.output);
    peer().set("system.network.wired.ipv6nic.linklocal", "old");
    initSystemConfig();
    EXPECT_EQ(peer().get("system.network.wired.ipv6nic.linklocal"), r.address);
  }
  rec().on(kLinkLocalQuery).fail();
  forget();
  initSystemConfig();
  EXPECT_TRUE(sent("write system.network.wired.ipv6nic.linklocal").empty());
  EXPECT_TRUE(logged(3, "IPv6 link local address query failed.\n"));
}

}  // namespace
