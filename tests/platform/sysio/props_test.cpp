// The file-backed property store: the device's limits and read-only rule,
// exact file bytes; setprop and getprop as separate processes over the
// store the seams use.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sys/wait.h>

#include "platform/props/props.h"
#include "platform/sysio/sysio_real.h"
#include "platform/sysio/sysio_sandbox.h"
#include "platform/sysio/sysio_tempdir.h"
#include "tests/arch/exec_wrapper.h"

namespace {

std::string slurp(const std::string& file) {
  std::ifstream f(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

class PropsTest : public ::testing::Test {
 protected:
  // Runs a tool with exactly `env`: "STATUS:" and what it wrote to its
  // standard output, then to its standard error.
  std::string tool(const char* bin, const std::vector<std::string>& args) {
    std::vector<std::string> argv{bin};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string cmd;
    for (const std::string& a : archExecArgv(argv)) cmd += " '" + a + "'";
    const std::string errFile = tmp.path() + "/err";
    FILE* f = popen(("env -i " + env + cmd + " 2>" + errFile).c_str(), "r");
    char buf[512];
    std::string out;
    for (size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
    int st = pclose(f);
    return std::to_string(WIFEXITED(st) ? WEXITSTATUS(st) : -1) + ":" + out + slurp(errFile);
  }
  SysIoTempDir tmp{"props-test"};
  std::string dir = tmp.path() + "/data/property";
  std::string env = "SYSSRV_PROP_DIR=" + dir;
  char v[PROP_VALUE_MAX];
};

TEST_F(PropsTest, StoreKeepsExactBytesOneFilePerPropertyWithinTheDeviceLimits) {
  ASSERT_EQ(props_set(dir, "net.dns1", "a'b\"c;d`e f"), 0);  // creates the store
  EXPECT_EQ(slurp(dir + "/net.dns1"), "a'b\"c;d`e f");
  EXPECT_EQ(props_get(dir, "net.dns1", v), 11);
  auto set = [&](const std::string& name, const std::string& value) { return props_set(dir, name.c_str(), value.c_str()); };
  EXPECT_EQ((std::vector<int>{set(std::string(31, 'n'), "1"), set(std::string(32, 'n'), "1"),
                              set("long", std::string(91, 'v')), set("long", std::string(92, 'w'))}),
            (std::vector<int>{0, -1, 0, -1}));
  EXPECT_EQ(props_get(dir, "long", v), 91);  // a refused value leaves the old one
  EXPECT_EQ(v[0], 'v');
  std::ofstream(dir + "/big") << std::string(200, 'z');  // a hand-edited file is cut like a value
  EXPECT_EQ(props_get(dir, "big", v), 91);
  for (const char* bad : {"", ".", "..", ".hidden", "trailing.", "a..b", "a/b", "../x", "a b", "a\nb", "x;y"}) {
    EXPECT_EQ(props_set(dir, bad, "1"), -1) << bad;
    EXPECT_EQ(props_get(dir, bad, v), 0) << bad;
  }
  // Set to empty counts as set; only the "ro." prefix is read-only.
  EXPECT_EQ((std::vector<int>{set("ro.empty", ""), set("ro.empty", "x"), set("rox", "1"), set("rox", "2")}),
            (std::vector<int>{0, -1, 0, 0}));
}

TEST_F(PropsTest, ToolsAndSeamsShareTheStore) {
  const std::string hostile = "a \"c\"; `d` $e";
  EXPECT_EQ(tool(SETPROP_BIN, {"x.hostile", hostile}), "0:");
  EXPECT_EQ(tool(GETPROP_BIN, {"x.hostile"}), "0:" + hostile + "\n");
  EXPECT_EQ(tool(GETPROP_BIN, {"missing", "dflt"}), "0:dflt\n");
  EXPECT_EQ(tool(SETPROP_BIN, {"ro.serialno", "A1"}), "0:");
  EXPECT_EQ(tool(SETPROP_BIN, {"ro.serialno", "B2"}), "1:setprop: failed to set property 'ro.serialno' to 'B2'\n");
  EXPECT_EQ(tool(SETPROP_BIN, {"only-name"}), "1:usage: setprop NAME VALUE\n");
  EXPECT_EQ(tool(GETPROP_BIN, {}), "0:[ro.serialno]: [A1]\n[x.hostile]: [" + hostile + "]\n");
  ::setenv("SYSSRV_PROP_DIR", dir.c_str(), 1);
  RealSysIo real;  // off the device, the real seam uses the store too
  ::unsetenv("SYSSRV_PROP_DIR");
  EXPECT_EQ(real.property_get("ro.serialno", v), 2);
  // In the sandbox the root selects the store; SYSSRV_PROP_DIR wins over it.
  SandboxSysIo sandbox(tmp.path());
  EXPECT_EQ(sandbox.property_set("net.dns2", "10.2.2.2"), 0);
  env = "SYSSRV_ROOT=" + tmp.path();
  EXPECT_EQ(tool(GETPROP_BIN, {"net.dns2"}), "0:10.2.2.2\n");
  env += " SYSSRV_PROP_DIR=" + tmp.path() + "/elsewhere";
  EXPECT_EQ(tool(GETPROP_BIN, {"net.dns2"}), "0:\n");
}

}  // namespace
