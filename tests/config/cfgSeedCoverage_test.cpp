// Every configuration variable the daemon's sources name is in the seed, so
// that the daemon never reads or registers a variable the service does not
// know. Scans systemservice/, config/, system/, OS/, multicodec_util/ and
// util/ for quoted dotted names under the configuration's top-level names.
#include <dirent.h>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "tools/configsrvc/cfgSeed.h"

namespace {

// First elements of configuration variable names. Other dotted texts in the
// sources (file names, Android properties and intents) are not variables.
const char* const kCfgRoots[] = {"system", "time", "location", "security", "management", "comm", "video",
                                 "uicontrol", "softupdate", "cal", "dir", "sourceman"};

const char* const kScannedDirs[] = {"systemservice", "config", "system", "OS", "multicodec_util", "util"};

bool isSource(const std::string& name) {
  for (const char* ext : {".c", ".cc", ".cpp", ".h", ".hpp"}) {
    size_t n = std::string(ext).size();
    if (name.size() > n && name.compare(name.size() - n, n, ext) == 0) return true;
  }
  return false;
}

void listSources(const std::string& dir, std::vector<std::string>* out) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return;
  while (struct dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    std::string path = dir + "/" + name;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      listSources(path, out);
    } else if (isSource(name)) {
      out->push_back(path);
    }
  }
  closedir(d);
}

// Quoted texts that look like configuration names: "root.a.b", with
// "[%d]" element indices and a trailing "." for a prefix the code completes.
std::vector<std::string> namesIn(const std::string& text) {
  static const std::regex kName(R"re("([a-z][A-Za-z0-9_]*(?:\.[A-Za-z0-9_]+(?:\[(?:%d|[0-9]+)\])?)+\.?)")re");
  std::vector<std::string> out;
  for (std::sregex_iterator it(text.begin(), text.end(), kName), end; it != end; ++it) {
    std::string name = (*it)[1];
    std::string root = name.substr(0, name.find('.'));
    for (const char* r : kCfgRoots) {
      if (root == r) out.push_back(name);
    }
  }
  return out;
}

TEST(CfgSeedCoverage, ScannerFindsNamesAsTheSourcesWriteThem) {
  EXPECT_EQ(namesIn("config_read(\"system.network.wired.ipv4nic.mode\", buf, 16, nullptr);"),
            std::vector<std::string>{"system.network.wired.ipv4nic.mode"});
  EXPECT_EQ(namesIn("snprintf(n, sizeof n, \"system.post.results[%d].errorcode\", i);"),
            std::vector<std::string>{"system.post.results[%d].errorcode"});
  EXPECT_EQ(namesIn("\"security.authentication.accounts.meeting.passwordpolicy.\""),
            std::vector<std::string>{"security.authentication.accounts.meeting.passwordpolicy."});
  EXPECT_TRUE(namesIn("\"net.dns1\" \"cedar.bin\" \"persist.sys.timezone\" \"system\"").empty());
}

TEST(CfgSeedCoverage, EveryNameInTheDaemonSourcesIsSeeded) {
  std::vector<CfgVar> vars;
  std::string err;
  ASSERT_TRUE(cfgSeedLoadFile(CFG_TEST_SEED, &vars, &err)) << err;
  std::set<std::string> seeded;
  for (const CfgVar& v : vars) seeded.insert(cfgKey(v.name));

  std::vector<std::string> files;
  for (const char* d : kScannedDirs) listSources(std::string(CFG_TEST_SOURCE_ROOT) + "/" + d, &files);
  size_t checked = 0;
  for (const std::string& f : files) {
    std::ifstream in(f);
    std::stringstream ss;
    ss << in.rdbuf();
    for (std::string name : namesIn(ss.str())) {
      ++checked;
      if (name.back() == '.') {
        // A prefix completed in code: some seeded variable must start so.
        std::string prefix = cfgKey(name);
        auto it = seeded.lower_bound(prefix);
        EXPECT_TRUE(it != seeded.end() && it->compare(0, prefix.size(), prefix) == 0)
            << f << ": no seeded variable under \"" << name << "\"";
        continue;
      }
      for (size_t at; (at = name.find("[%d]")) != std::string::npos;) name.replace(at, 4, "[1]");
      EXPECT_TRUE(seeded.count(cfgKey(cfgCanonicalName(name))) == 1) << f << ": \"" << name << "\" is not seeded";
    }
  }
  // Most daemon folders are still being written; what is there is checked.
  std::cout << "[ info ] " << files.size() << " source files, " << checked << " variable names checked\n";
}

}  // namespace
