// The seed file format, and the repository's seed: it parses and carries
// the option lists, instance counts and levels the system relies on.
#include <sstream>

#include <gtest/gtest.h>

#include "tools/configsrvc/cfgSeed.h"

namespace {

bool parse(const std::string& text, std::vector<CfgVar>* out, std::string* err) {
  std::istringstream in(text);
  return cfgSeedParse(in, "seed", out, err);
}

std::string errorOf(const std::string& text) {
  std::vector<CfgVar> vars;
  std::string err;
  return parse(text, &vars, &err) ? "parsed" : err;
}

const CfgVar* find(const std::vector<CfgVar>& vars, const std::string& name) {
  for (const CfgVar& v : vars) {
    if (v.name == name) return &v;
  }
  return nullptr;
}

TEST(CfgSeedFormat, VariablesWithEveryAttribute) {
  std::vector<CfgVar> vars;
  std::string err;
  ASSERT_TRUE(parse("# comment\n"
                    "\n"
                    "set sizes\n"
                    "  \"S\" \"M\"\n"
                    "  \"L\"\n"
                    "end\n"
                    "a.size    user/admin   \"M\"  options=@sizes\n"
                    "a.mode    admin/system \"Auto\" options=\"Auto\",\"Off Line\" open\n"
                    "a.text    user/startup \"say \\\"hi\\\"\\n\\tback\\\\slash\"\n"
                    "a.list    user/admin   \"x\",\"y\"  multi\n"
                    "a.dns     user/admin   \"\"  instances=4\n"
                    "a.mon[].k user/admin   \"v\"  elements=3\n",
                    &vars, &err))
      << err;
  ASSERT_EQ(vars.size(), 8u);
  const CfgVar* size = find(vars, "a.size");
  ASSERT_NE(size, nullptr);
  EXPECT_EQ(size->options, (std::vector<std::string>{"S", "M", "L"}));
  EXPECT_EQ(size->defaultIndex, 1u);
  EXPECT_EQ(size->seedOptions, size->options);
  EXPECT_TRUE(size->optionsFixed);
  EXPECT_EQ(size->readLevel, kCfgUser);
  EXPECT_EQ(size->writeLevel, kCfgAdmin);
  ASSERT_EQ(size->inst.size(), 1u);
  EXPECT_EQ(size->inst[0].values, std::vector<std::string>{"M"});
  EXPECT_TRUE(size->inst[0].isDefault);
  const CfgVar* mode = find(vars, "a.mode");
  EXPECT_FALSE(mode->optionsFixed);
  EXPECT_EQ(mode->options[1], "Off Line");
  EXPECT_EQ(mode->readLevel, kCfgAdmin);
  EXPECT_EQ(mode->writeLevel, kCfgSystem);
  EXPECT_EQ(find(vars, "a.text")->defaults[0], "say \"hi\"\n\tback\\slash");
  EXPECT_EQ(find(vars, "a.text")->writeLevel, kCfgStartup);
  EXPECT_TRUE(find(vars, "a.list")->multi);
  EXPECT_EQ(find(vars, "a.list")->inst[0].values, (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(find(vars, "a.dns")->inst.size(), 4u);
  EXPECT_NE(find(vars, "a.mon.k"), nullptr);
  EXPECT_NE(find(vars, "a.mon[1].k"), nullptr);
  EXPECT_NE(find(vars, "a.mon[2].k"), nullptr);
}

TEST(CfgSeedFormat, ErrorsNameTheLine) {
  EXPECT_EQ(errorOf("a.b user/admin \"x\"\na.c user/admin\n"), "seed:2: expected NAME READ/WRITE \"DEFAULT\" [ATTRIBUTES]");
  EXPECT_EQ(errorOf("a.b user-admin \"x\"\n"), "seed:1: bad access levels user-admin (e.g. user/admin)");
  EXPECT_EQ(errorOf("a.b user/root \"x\"\n"), "seed:1: bad access levels user/root (e.g. user/admin)");
  EXPECT_EQ(errorOf("a.b user/admin \"x\nz"), "seed:1: unterminated quote");
  EXPECT_EQ(errorOf("a.b user/admin x\n"), "seed:1: default: expected a quoted text in x");
  EXPECT_EQ(errorOf("a.b user/admin \"x\" options=\"A\",\"B\"\n"), "seed:1: default \"x\" is not one of the options");
  EXPECT_EQ(errorOf("a.b user/admin \"A\" options=\"A\",\"A\"\n"), "seed:1: an option is listed twice");
  EXPECT_EQ(errorOf("a.b user/admin \"A\" options=@none\n"), "seed:1: unknown set @none");
  EXPECT_EQ(errorOf("a.b user/admin \"A\" open\n"), "seed:1: 'open' without options");
  EXPECT_EQ(errorOf("a.b user/admin \"A\" colour=red\n"), "seed:1: unknown attribute colour=red");
  EXPECT_EQ(errorOf("a.b user/admin \"A\",\"B\"\n"), "seed:1: a single-valued variable has one default");
  EXPECT_EQ(errorOf("a.b user/admin \"A\"\nA.B user/admin \"A\"\n"), "seed:2: A.B listed twice");
  EXPECT_EQ(errorOf("a..b user/admin \"A\"\n"), "seed:1: bad variable name a..b");
  EXPECT_EQ(errorOf("a.b;rm user/admin \"A\"\n"), "seed:1: bad variable name a.b;rm");
  EXPECT_EQ(errorOf("a.b user/admin \"A\" instances=0\n"), "seed:1: bad instances=0");
  EXPECT_EQ(errorOf("a.b user/admin \"A\" instances=99999999\n"), "seed:1: bad instances=99999999");
  EXPECT_EQ(errorOf("a[].b user/admin \"A\"\n"), "seed:1: '[]' in the name goes with elements=N");
  EXPECT_EQ(errorOf("a[0].b user/admin \"A\"\n"), "seed:1: write element 0 without [0]: a[0].b");
  EXPECT_EQ(errorOf("set s\n \"A\"\n"), "seed:2: set s has no 'end'");
  EXPECT_EQ(errorOf("a.b user/admin \"\\q\"\n"), "seed:1: default: unknown escape \\q");
}

class CfgRepositorySeed : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(cfgSeedLoadFile(CFG_TEST_SEED, &vars, &err)) << err; }
  const CfgVar& var(const std::string& name) {
    const CfgVar* v = find(vars, name);
    if (v == nullptr) ADD_FAILURE() << name << " is not in the seed";
    static CfgVar none;
    return v ? *v : none;
  }
  std::vector<CfgVar> vars;
  std::string err;
};

TEST_F(CfgRepositorySeed, OptionListsTheSystemUses) {
  EXPECT_EQ(var("system.log.level").options,
            (std::vector<std::string>{"Debug", "Info", "Warning", "Error", "Critical"}));
  EXPECT_EQ(var("system.ports.serial.mode").options,
            (std::vector<std::string>{"Control", "ClosedCaption", "CameraControl", "PassThru", "Off"}));
  EXPECT_EQ(var("management.provisioning.servertype").options, (std::vector<std::string>{"QORT", "DMS", "CLOUD"}));
  EXPECT_EQ(var("management.provisioning.servertype").defaultIndex, 0u);
  const CfgVar& lang = var("location.language");
  ASSERT_EQ(lang.options.size(), 57u);
  EXPECT_EQ(lang.options.front(), "ARABIC");
  EXPECT_EQ(lang.options[4], "ENGLISHUS");
  EXPECT_EQ(lang.options.back(), "VIETNAMESE");
  EXPECT_EQ(lang.defaults[0], "ENGLISHUS");
  EXPECT_TRUE(lang.optionsFixed);
  const CfgVar& country = var("location.country");
  ASSERT_EQ(country.options.size(), 247u);
  EXPECT_EQ(country.options.front(), "Afghanistan");
  EXPECT_EQ(country.options.back(), "Zimbabwe");
  EXPECT_FALSE(country.optionsFixed);
  EXPECT_EQ(var("system.remote.hangupkeylongpressfunc").options,
            (std::vector<std::string>{"None", "Power_Off", "Sleep"}));
  EXPECT_EQ(var("sourceman.powerfrequency").options, (std::vector<std::string>{"50", "60"}));
  EXPECT_EQ(var("system.network.wired.ipv4nic.mode").options, (std::vector<std::string>{"Client", "Off"}));
  EXPECT_EQ(var("system.log.spacemonitoring.autotransfer.transferfrequency").options,
            (std::vector<std::string>{"Manual", "AutoAtThreshold"}));
  EXPECT_EQ(var("system.log.spacemonitoring.autotransfer.foldernameoption").options,
            (std::vector<std::string>{"SystemNameAndTimestamp", "Timestamp", "Custom"}));
  EXPECT_EQ(var("time.timeformat").options, (std::vector<std::string>{"12_Hour", "24_Hour"}));
}

TEST_F(CfgRepositorySeed, InstancesElementsAndLevels) {
  EXPECT_EQ(var("system.network.dnsserver").inst.size(), 4u);
  EXPECT_EQ(var("system.network.wired.ipv4nic.dhcp.dnsserver").inst.size(), 4u);
  EXPECT_EQ(var("system.network.wired.ipv6nic.dhcp.dnsserver").inst.size(), 4u);
  EXPECT_EQ(var("time.timeserver.address").inst.size(), 2u);
  EXPECT_EQ(var("video.monitor[1].signalType").defaults[0], "HDMI");
  EXPECT_NE(find(vars, "system.post.results[31].errorname"), nullptr);
  EXPECT_EQ(var("system.ppcipenabled_BACKUP").defaults, var("system.ppcipenabled").defaults);
  // Dependants start with the levels of their controlling setting's default.
  EXPECT_EQ(var("system.network.wired.ipv4nic.mode").defaults[0], "Client");
  EXPECT_EQ(var("system.network.wired.ipv4nic.address").writeLevel, kCfgSystem);
  EXPECT_EQ(var("system.network.wired.vlan.enabled").defaults[0], "False");
  EXPECT_EQ(var("system.network.wired.vlan.vlanid").readLevel, kCfgSystem);
  EXPECT_EQ(var("security.authentication.accounts.adminaccount.localpassword").readLevel, kCfgAdmin);
  // Half-set numbers of the log-space rule: 10 MB times 5 files plus 10 %.
  EXPECT_EQ(var("system.log.maxfilesize").defaults[0], "10");
  EXPECT_EQ(var("system.log.maxfiles").defaults[0], "5");
  EXPECT_EQ(var("system.log.spacemonitoring.max").defaults[0], "55");
  for (const CfgVar& v : vars) EXPECT_FALSE(v.name.empty());
  EXPECT_GE(vars.size(), 290u);
}

}  // namespace
