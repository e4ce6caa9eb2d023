// The seed file format, the repository's seed (the option lists, instance
// counts and levels the system relies on), and that every configuration
// variable the daemon's sources name is in it.
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "tools/configsrvc/cfgSeed.h"

namespace {

std::string errorOf(const std::string& text, std::vector<CfgVar>* vars = nullptr) {
  std::vector<CfgVar> scratch;
  std::string err;
  std::istringstream in(text);
  return cfgSeedParse(in, "seed", vars ? vars : &scratch, &err) ? "parsed" : err;
}

const CfgVar* find(const std::vector<CfgVar>& vars, const std::string& name) {
  for (const CfgVar& v : vars) {
    if (v.name == name) return &v;
  }
  return nullptr;
}

// A variable in one line: name, levels, defaults, the options with the
// default one marked '*' ("(seed ...)" when the factory list differs), then
// its kind and instance count.
std::string show(const CfgVar& v) {
  std::string s = v.name + " " + cfgRoleName(v.readLevel) + "/" + cfgRoleName(v.writeLevel);
  for (const std::string& d : v.defaults) s += " '" + d + "'";
  for (size_t i = 0; i < v.options.size(); ++i) s += (i == v.defaultIndex ? " *" : " ") + v.options[i];
  if (v.seedOptions != v.options || v.seedDefaultIndex != v.defaultIndex) s += " (seed differs)";
  if (!v.options.empty() && !v.optionsFixed) s += " open";
  return s + (v.multi ? " multi x" : " x") + std::to_string(v.inst.size());
}

TEST(CfgSeedFormat, VariablesWithEveryAttribute) {
  std::vector<CfgVar> vars;
  ASSERT_EQ(errorOf("# comment\n\nset sizes\n  \"S\" \"M\"\n  \"L\"\nend\n"
                    "a.size    user/admin   \"M\"  options=@sizes\n"
                    "a.mode    admin/system \"Auto\" options=\"Auto\",\"Off Line\" open\n"
                    "a.text    user/startup \"say \\\"hi\\\"\\n\\tback\\\\slash\"\n"
                    "a.list    user/admin   \"x\",\"y\"  multi\n"
                    "a.dns     user/admin   \"\"  instances=4\n"
                    "a.mon[].k user/admin   \"v\"  elements=3\n",
                    &vars),
            "parsed");
  std::vector<std::string> shown;
  for (const CfgVar& v : vars) {
    shown.push_back(show(v));
    EXPECT_EQ(v.inst[0].values, v.defaults) << v.name;
  }
  EXPECT_EQ(shown, (std::vector<std::string>{
                       "a.size user/admin 'M' S *M L x1", "a.mode admin/system 'Auto' *Auto Off Line open x1",
                       "a.text user/startup 'say \"hi\"\n\tback\\slash' x1", "a.list user/admin 'x' 'y' multi x1",
                       "a.dns user/admin '' x4", "a.mon.k user/admin 'v' x1", "a.mon[1].k user/admin 'v' x1",
                       "a.mon[2].k user/admin 'v' x1"}));
}

TEST(CfgSeedFormat, ErrorsNameTheLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"a.b user/admin \"x\"\na.c user/admin\n", "seed:2: expected NAME READ/WRITE \"DEFAULT\" [ATTRIBUTES]"},
      {"a.b user/root \"x\"\n", "seed:1: bad access levels user/root (e.g. user/admin)"},
      {"a.b user/admin \"x\nz", "seed:1: unterminated quote"},
      {"a.b user/admin x\n", "seed:1: default: expected a quoted text in x"},
      {"a.b user/admin \"x\" options=\"A\",\"B\"\n", "seed:1: default \"x\" is not one of the options"},
      {"a.b user/admin \"A\" options=\"A\",\"A\"\n", "seed:1: an option is listed twice"},
      {"a.b user/admin \"A\" options=@none\n", "seed:1: unknown set @none"},
      {"a.b user/admin \"A\" open\n", "seed:1: 'open' without options"},
      {"a.b user/admin \"A\" colour=red\n", "seed:1: unknown attribute colour=red"},
      {"a.b user/admin \"A\",\"B\"\n", "seed:1: a single-valued variable has one default"},
      {"a.b user/admin \"A\"\nA.B user/admin \"A\"\n", "seed:2: A.B listed twice"},
      {"a.b;rm user/admin \"A\"\n", "seed:1: bad variable name a.b;rm"},
      {"a.b user/admin \"A\" instances=99999999\n", "seed:1: bad instances=99999999"},
      {"a[].b user/admin \"A\"\n", "seed:1: '[]' in the name goes with elements=N"},
      {"a[0].b user/admin \"A\"\n", "seed:1: write element 0 without [0]: a[0].b"},
      {"set s\n \"A\"\n", "seed:2: set s has no 'end'"},
      {"a.b user/admin \"\\q\"\n", "seed:1: default: unknown escape \\q"},
  };
  for (const auto& c : cases) EXPECT_EQ(errorOf(c.first), c.second) << c.first;
}

class CfgRepositorySeed : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(cfgSeedLoadFile(CFG_TEST_SEED, &vars, &err)) << err; }
  const CfgVar& var(const std::string& name) {
    static const CfgVar none;
    const CfgVar* v = find(vars, name);
    if (v == nullptr) ADD_FAILURE() << name << " is not in the seed";
    return v ? *v : none;
  }
  std::vector<CfgVar> vars;
  std::string err;
};

TEST_F(CfgRepositorySeed, OptionsInstancesAndLevelsTheSystemUses) {
  using L = std::vector<std::string>;
  EXPECT_EQ(var("system.log.level").options, (L{"Debug", "Info", "Warning", "Error", "Critical"}));
  EXPECT_EQ(var("system.ports.serial.mode").options, (L{"Control", "ClosedCaption", "CameraControl", "PassThru", "Off"}));
  EXPECT_EQ(var("management.provisioning.servertype").options, (L{"QORT", "DMS", "CLOUD"}));
  EXPECT_EQ(var("system.network.wired.ipv4nic.mode").options, (L{"Client", "Off"}));
  EXPECT_EQ(var("system.network.wired.ipv4nic.mode").defaults, L{"Client"});
  EXPECT_EQ(var("time.timeformat").options, (L{"12_Hour", "24_Hour"}));
  const CfgVar& lang = var("location.language");
  ASSERT_EQ(lang.options.size(), 57u);
  EXPECT_EQ(lang.options[lang.defaultIndex], "ENGLISHUS");
  EXPECT_EQ(var("location.country").options.size(), 247u);
  EXPECT_FALSE(var("location.country").optionsFixed);
  EXPECT_EQ(var("system.network.dnsserver").inst.size(), 4u);
  EXPECT_EQ(var("time.timeserver.address").inst.size(), 2u);
  EXPECT_EQ(var("video.monitor[1].signalType").defaults, L{"HDMI"});
  EXPECT_EQ(var("system.ppcipenabled_BACKUP").defaults, var("system.ppcipenabled").defaults);
  // Dependants start with the levels of their controlling setting's default.
  EXPECT_EQ(var("system.network.wired.ipv4nic.address").writeLevel, kCfgSystem);
  EXPECT_EQ(var("system.network.wired.vlan.vlanid").readLevel, kCfgSystem);
  EXPECT_EQ(var("security.authentication.accounts.adminaccount.localpassword").readLevel, kCfgAdmin);
}

// Quoted texts in the daemon's sources that look like configuration names:
// "root.a.b" under one of the configuration's top-level names, with "[%d]"
// element indices and a trailing "." for a prefix the code completes.
std::vector<std::string> namesIn(const std::string& text) {
  static const std::regex kName(R"re("((?:system|time|location|security|management|comm|video|uicontrol|)re"
                                R"re(softupdate|cal|dir|sourceman)(?:\.[A-Za-z0-9_]+(?:\[(?:%d|[0-9]+)\])?)+\.?)")re");
  std::vector<std::string> out;
  for (std::sregex_iterator it(text.begin(), text.end(), kName), end; it != end; ++it) out.push_back((*it)[1]);
  return out;
}

TEST_F(CfgRepositorySeed, EveryNameInTheDaemonSourcesIsSeeded) {
  EXPECT_EQ(namesIn("read(\"system.post.results[%d].errorcode\"); \"security.accounts.\" \"net.dns1\" \"system\""),
            (std::vector<std::string>{"system.post.results[%d].errorcode", "security.accounts."}));
  std::set<std::string> seeded;
  for (const CfgVar& v : vars) seeded.insert(cfgKey(v.name));
  size_t files = 0, checked = 0;
  for (const char* dir : {"systemservice", "config", "system", "OS", "multicodec_util", "util"}) {
    for (const auto& e : std::filesystem::recursive_directory_iterator(std::string(CFG_TEST_SOURCE_ROOT) + "/" + dir)) {
      const std::string ext = e.path().extension();
      if (!e.is_regular_file() || (ext != ".cpp" && ext != ".h" && ext != ".c")) continue;
      ++files;
      std::ifstream in(e.path());
      std::stringstream ss;
      ss << in.rdbuf();
      for (std::string name : namesIn(ss.str())) {
        ++checked;
        if (name.back() == '.') {
          auto it = seeded.lower_bound(cfgKey(name));
          EXPECT_TRUE(it != seeded.end() && it->rfind(cfgKey(name), 0) == 0)
              << e.path() << ": no seeded variable under \"" << name << "\"";
          continue;
        }
        for (size_t at; (at = name.find("[%d]")) != std::string::npos;) name.replace(at, 4, "[1]");
        EXPECT_EQ(seeded.count(cfgKey(cfgCanonicalName(name))), 1u) << e.path() << ": \"" << name << "\" is not seeded";
      }
    }
  }
  // A scan that finds nothing proves nothing: the daemon reads and
  // registers hundreds of variables.
  EXPECT_GE(files, 50u);
  EXPECT_GE(checked, 300u);
}

}  // namespace
