// The file-backed property store: the device's limits and read-only rule,
// exact file bytes, and sharing between processes.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/props/props.h"
#include "platform/sysio/sysio_real.h"
#include "platform/sysio/sysio_tempdir.h"

namespace {

using Props = std::vector<std::pair<std::string, std::string>>;

std::string slurp(const std::string& file) {
  std::ifstream f(file, std::ios::binary);
  std::ostringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

class PropsTest : public ::testing::Test {
 protected:
  SysIoTempDir tmp{"props-test"};
  std::string dir = tmp.path() + "/data/property";
  char v[PROP_VALUE_MAX];
};

TEST_F(PropsTest, SetGetStoresExactBytesOneFilePerProperty) {
  EXPECT_EQ(props_get(dir, "net.dns1", v), 0);
  EXPECT_STREQ(v, "");
  ASSERT_EQ(props_set(dir, "net.dns1", "10.0.0.1"), 0);  // creates the store
  EXPECT_EQ(props_get(dir, "net.dns1", v), 8);
  EXPECT_STREQ(v, "10.0.0.1");
  EXPECT_EQ(slurp(dir + "/net.dns1"), "10.0.0.1");
  ASSERT_EQ(props_set(dir, "net.dns1", "a'b\"c;d`e f"), 0);
  EXPECT_EQ(props_get(dir, "net.dns1", v), 11);
  EXPECT_STREQ(v, "a'b\"c;d`e f");
  // Empty values are allowed and read back as unset-length 0.
  ASSERT_EQ(props_set(dir, "net.dns1", ""), 0);
  EXPECT_EQ(props_get(dir, "net.dns1", v), 0);
  EXPECT_EQ(slurp(dir + "/net.dns1"), "");
}

TEST_F(PropsTest, NameAndValueLimits) {
  const std::string n31(31, 'n'), n32(32, 'n');
  EXPECT_EQ(props_set(dir, n31.c_str(), "1"), 0);
  EXPECT_EQ(props_set(dir, n32.c_str(), "1"), -1);
  const std::string v91(91, 'v'), v92(92, 'v');
  EXPECT_EQ(props_set(dir, "long", v91.c_str()), 0);
  EXPECT_EQ(props_get(dir, "long", v), 91);
  EXPECT_EQ(std::string(v), v91);
  EXPECT_EQ(props_set(dir, "long", v92.c_str()), -1);
  EXPECT_EQ(std::string(v), v91);
  EXPECT_EQ(props_get(dir, "long", v), 91);  // refused value left the old one

  for (const char* bad : {"", ".", "..", ".hidden", "trailing.", "a..b", "a/b", "../x", "a b",
                          "a\nb", "x;y"}) {
    EXPECT_FALSE(props_name_ok(bad)) << bad;
    EXPECT_EQ(props_set(dir, bad, "1"), -1) << bad;
    EXPECT_EQ(props_get(dir, bad, v), 0) << bad;
  }
  EXPECT_EQ(props_set(dir, nullptr, "1"), -1);
  EXPECT_EQ(props_set(dir, "ok", nullptr), -1);
  for (const char* good : {"a", "persist.sys.timezone", "init.svc.sshd", "a-b_c:d@e", "x.1"})
    EXPECT_TRUE(props_name_ok(good)) << good;

  // A hand-edited file longer than a value is cut like one.
  std::ofstream(dir + "/big") << std::string(200, 'z');
  EXPECT_EQ(props_get(dir, "big", v), 91);
}

TEST_F(PropsTest, ReadOnlyPropertiesAreSetOnce) {
  EXPECT_EQ(props_set(dir, "ro.serialno", "A1"), 0);
  EXPECT_EQ(props_set(dir, "ro.serialno", "B2"), -1);
  EXPECT_EQ(props_set(dir, "ro.serialno", "A1"), -1);
  props_get(dir, "ro.serialno", v);
  EXPECT_STREQ(v, "A1");
  // Set to empty counts as set.
  EXPECT_EQ(props_set(dir, "ro.empty", ""), 0);
  EXPECT_EQ(props_set(dir, "ro.empty", "x"), -1);
  // Only the "ro." prefix is read-only.
  EXPECT_EQ(props_set(dir, "rox", "1"), 0);
  EXPECT_EQ(props_set(dir, "rox", "2"), 0);
}

TEST_F(PropsTest, ListIsSortedAndSkipsTemporaries) {
  Props all;
  EXPECT_TRUE(props_list(dir, &all));  // no store yet: empty
  EXPECT_TRUE(all.empty());
  props_set(dir, "b.x", "2");
  props_set(dir, "a.y", "1");
  props_set(dir, "c", "");
  std::ofstream(dir + "/.tmp.z.1") << "junk";
  ASSERT_TRUE(props_list(dir, &all));
  EXPECT_EQ(all, (Props{{"a.y", "1"}, {"b.x", "2"}, {"c", ""}}));
  // No temporary of our own is left behind.
  ::unlink((dir + "/.tmp.z.1").c_str());
  std::vector<std::string> names;
  ASSERT_TRUE(sysio_list_real_dir(dir, &names));
  EXPECT_EQ(names.size(), 3u);
  // A store that is a file is an error, not an empty list.
  std::ofstream(tmp.path() + "/notadir") << "x";
  EXPECT_FALSE(props_list(tmp.path() + "/notadir", &all));
}

TEST_F(PropsTest, ReadOnlyRaceBetweenProcessesHasOneWinner) {
  const int kProcs = 6;
  std::vector<pid_t> pids;
  for (int i = 0; i < kProcs; ++i) {
    pid_t p = ::fork();
    ASSERT_GE(p, 0);
    if (p == 0) {
      std::string val = "w" + std::to_string(i);
      _exit(props_set(dir, "ro.race", val.c_str()) == 0 ? 0 : 1);
    }
    pids.push_back(p);
  }
  int winners = 0, winner = -1;
  for (int i = 0; i < kProcs; ++i) {
    int st = 0;
    ASSERT_EQ(::waitpid(pids[i], &st, 0), pids[i]);
    ASSERT_TRUE(WIFEXITED(st));
    if (WEXITSTATUS(st) == 0) {
      ++winners;
      winner = i;
    }
  }
  EXPECT_EQ(winners, 1);
  props_get(dir, "ro.race", v);
  EXPECT_EQ(std::string(v), "w" + std::to_string(winner));
}

TEST_F(PropsTest, EnvDirFollowsTheVariables) {
  const char* oldDir = std::getenv("SYSSRV_PROP_DIR");
  const char* oldRoot = std::getenv("SYSSRV_ROOT");
  std::string savedDir = oldDir ? oldDir : "", savedRoot = oldRoot ? oldRoot : "";
  ::unsetenv("SYSSRV_PROP_DIR");
  ::unsetenv("SYSSRV_ROOT");
  EXPECT_EQ(props_env_dir(), "/data/property");
  ::setenv("SYSSRV_ROOT", "/r", 1);
  EXPECT_EQ(props_env_dir(), "/r/data/property");
  ::setenv("SYSSRV_PROP_DIR", "/p", 1);
  EXPECT_EQ(props_env_dir(), "/p");
  {
    RealSysIo real;  // reads SYSSRV_PROP_DIR only
    EXPECT_EQ(real.prop_dir(), "/p");
  }
  ::unsetenv("SYSSRV_PROP_DIR");
  {
    RealSysIo real;
    EXPECT_EQ(real.prop_dir(), "/data/property");
  }
  if (oldDir) ::setenv("SYSSRV_PROP_DIR", savedDir.c_str(), 1); else ::unsetenv("SYSSRV_PROP_DIR");
  if (oldRoot) ::setenv("SYSSRV_ROOT", savedRoot.c_str(), 1); else ::unsetenv("SYSSRV_ROOT");
}

TEST_F(PropsTest, RealSysIoUsesTheStoreOffDevice) {
  ::setenv("SYSSRV_PROP_DIR", dir.c_str(), 1);
  RealSysIo real;
  ::unsetenv("SYSSRV_PROP_DIR");
  EXPECT_EQ(real.property_set("sys.x", "on"), 0);
  EXPECT_EQ(slurp(dir + "/sys.x"), "on");
  EXPECT_EQ(real.property_get("sys.x", v), 2);
  EXPECT_STREQ(v, "on");
}

}  // namespace
