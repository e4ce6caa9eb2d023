// Errors of the seed file format, and that every configuration variable the
// daemon's sources name is in the repository's seed.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "tools/configsrvc/cfgSeed.h"

namespace {

std::string errorOf(const std::string& text) {
  std::vector<CfgVar> vars;
  std::string err;
  std::istringstream in(text);
  return cfgSeedParse(in, "seed", &vars, &err) ? "parsed" : err;
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

TEST(CfgRepositorySeed, EveryNameInTheDaemonSourcesIsSeeded) {
  std::vector<CfgVar> vars;
  std::string err;
  ASSERT_TRUE(cfgSeedLoadFile(CFG_TEST_SEED, &vars, &err)) << err;
  std::set<std::string> seeded;
  for (const CfgVar& v : vars) seeded.insert(cfgKey(v.name));
  size_t files = 0, checked = 0;
  for (const char* dir : {"systemservice", "config", "system", "OS", "multicodec_util", "util"}) {
    for (const auto& e : std::filesystem::recursive_directory_iterator(std::string(CFG_TEST_SOURCE_ROOT) + "/" + dir)) {
      const std::string ext = e.path().extension();
      if (!e.is_regular_file() || (ext != ".cpp" && ext != ".h" && ext != ".c")) continue;
      ++files;
      std::ifstream in(e.path());
      for (std::string name : namesIn({std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()})) {
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
