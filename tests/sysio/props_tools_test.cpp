// setprop and getprop as separate processes over one store, and the store
// shared with the sandbox seam.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/props/props.h"
#include "platform/sysio/sysio_sandbox.h"
#include "platform/sysio/sysio_tempdir.h"
#include "tests/arch/exec_wrapper.h"

#ifndef SETPROP_BIN
#error "SETPROP_BIN must name the built setprop"
#endif

namespace {

struct ToolRun {
  int status = -1;
  std::string out, err;
};

std::string drain(int fd) {
  std::string s;
  char buf[512];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0) s.append(buf, static_cast<size_t>(n));
  return s;
}

// Runs the tool with exactly `env` as its environment.
ToolRun run(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
  ToolRun r;
  int out[2], err[2];
  if (::pipe(out) != 0 || ::pipe(err) != 0) return r;
  std::vector<char*> a, e;
  for (const auto& s : argv) a.push_back(const_cast<char*>(s.c_str()));
  a.push_back(nullptr);
  for (const auto& s : env) e.push_back(const_cast<char*>(s.c_str()));
  e.push_back(nullptr);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    ::close(out[0]);
    ::close(err[0]);
    ::execve(a[0], a.data(), e.data());
    _exit(126);
  }
  ::close(out[1]);
  ::close(err[1]);
  r.out = drain(out[0]);  // small outputs: stderr fits in its pipe meanwhile
  r.err = drain(err[0]);
  ::close(out[0]);
  ::close(err[0]);
  ::waitpid(pid, &r.status, 0);
  return r;
}

int exit_code(const ToolRun& r) { return WIFEXITED(r.status) ? WEXITSTATUS(r.status) : -1; }

class PropsToolsTest : public ::testing::Test {
 protected:
  ToolRun setprop(const std::vector<std::string>& args) { return tool(SETPROP_BIN, args); }
  ToolRun getprop(const std::vector<std::string>& args) { return tool(GETPROP_BIN, args); }
  ToolRun tool(const std::string& bin, const std::vector<std::string>& args) {
    std::vector<std::string> argv{bin};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(archExecArgv(argv), env);
  }
  SysIoTempDir tmp{"props-tools"};
  std::string dir = tmp.path() + "/store";
  std::vector<std::string> env{"SYSSRV_PROP_DIR=" + dir};
};

TEST_F(PropsToolsTest, RoundTripBetweenProcesses) {
  ToolRun r = setprop({"persist.sys.timezone", "Europe/Oslo"});
  EXPECT_EQ(exit_code(r), 0) << r.err;
  EXPECT_EQ(r.out, "");
  r = getprop({"persist.sys.timezone"});
  EXPECT_EQ(exit_code(r), 0);
  EXPECT_EQ(r.out, "Europe/Oslo\n");

  const std::string hostile = "a 'b' \"c\"; `d` $e";
  EXPECT_EQ(exit_code(setprop({"x.hostile", hostile})), 0);
  EXPECT_EQ(getprop({"x.hostile"}).out, hostile + "\n");

  EXPECT_EQ(getprop({"missing"}).out, "\n");
  EXPECT_EQ(getprop({"missing", "dflt"}).out, "dflt\n");
  EXPECT_EQ(exit_code(setprop({"x.empty", ""})), 0);
  EXPECT_EQ(getprop({"x.empty", "dflt"}).out, "dflt\n");

  r = getprop({});
  EXPECT_EQ(exit_code(r), 0);
  EXPECT_EQ(r.out, "[persist.sys.timezone]: [Europe/Oslo]\n[x.empty]: []\n[x.hostile]: [" +
                       hostile + "]\n");
}

TEST_F(PropsToolsTest, RefusalsFailWithAMessage) {
  EXPECT_EQ(exit_code(setprop({"ro.serialno", "A1"})), 0);
  ToolRun r = setprop({"ro.serialno", "B2"});
  EXPECT_EQ(exit_code(r), 1);
  EXPECT_EQ(r.err, "setprop: failed to set property 'ro.serialno' to 'B2'\n");
  EXPECT_EQ(getprop({"ro.serialno"}).out, "A1\n");

  EXPECT_EQ(exit_code(setprop({"v", std::string(91, 'x')})), 0);
  EXPECT_EQ(exit_code(setprop({"v", std::string(92, 'y')})), 1);
  EXPECT_EQ(getprop({"v"}).out, std::string(91, 'x') + "\n");
  EXPECT_EQ(exit_code(setprop({std::string(32, 'n'), "1"})), 1);
  EXPECT_EQ(exit_code(setprop({"../escape", "1"})), 1);
  EXPECT_NE(::access((tmp.path() + "/escape").c_str(), F_OK), 0);

  r = setprop({"only-name"});
  EXPECT_EQ(exit_code(r), 1);
  EXPECT_EQ(r.err, "usage: setprop NAME VALUE\n");
  r = getprop({"a", "b", "c"});
  EXPECT_EQ(exit_code(r), 1);
  EXPECT_EQ(r.err, "usage: getprop [NAME [DEFAULT]]\n");
}

TEST_F(PropsToolsTest, SandboxRootSelectsTheStoreAndIsSharedWithTheSeam) {
  env = {"SYSSRV_ROOT=" + tmp.path()};
  EXPECT_EQ(exit_code(setprop({"net.dns1", "10.1.1.1"})), 0);
  SandboxSysIo io(tmp.path());
  char v[PROP_VALUE_MAX];
  EXPECT_EQ(io.property_get("net.dns1", v), 8);
  EXPECT_STREQ(v, "10.1.1.1");
  EXPECT_EQ(io.property_set("net.dns2", "10.2.2.2"), 0);
  EXPECT_EQ(getprop({"net.dns2"}).out, "10.2.2.2\n");
  // SYSSRV_PROP_DIR wins over the root.
  env.push_back("SYSSRV_PROP_DIR=" + dir);
  EXPECT_EQ(getprop({"net.dns2"}).out, "\n");
}

}  // namespace
