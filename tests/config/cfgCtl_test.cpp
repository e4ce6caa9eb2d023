// `syssrvctl config ...` against the running service: exact output, exit
// status and the effect on the service.
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/msgutil/msgIds.h"
#include "tests/arch/exec_wrapper.h"
#include "tests/config/cfgRecorder.h"
#include "tests/config/cfgTestFixture.h"

namespace {

struct CtlRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class CfgCtlTest : public CfgSrvTest {
 protected:
  void SetUp() override {
    CfgSrvTest::SetUp();
    startService();
    openLocal("Probe");
  }
  pid_t spawn(const std::vector<std::string>& words, const std::string& tag) {
    std::vector<std::string> argv = {CFG_TEST_SYSSRVCTL, "config"};
    argv.insert(argv.end(), words.begin(), words.end());
    const ArchExecLine line(argv);
    pid_t pid = fork();
    if (pid == 0) {
      int o = open((m_root + "/" + tag + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int e = open((m_root + "/" + tag + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(o, 1);
      dup2(e, 2);
      line.exec();
      _exit(127);
    }
    return pid;
  }
  CtlRun finish(pid_t pid, const std::string& tag) {
    CtlRun r;
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) r.status = WEXITSTATUS(status);
    r.out = slurp(m_root + "/" + tag + ".out");
    r.err = slurp(m_root + "/" + tag + ".err");
    return r;
  }
  CtlRun run(const std::vector<std::string>& words) { return finish(spawn(words, "ctl"), "ctl"); }
};

TEST_F(CfgCtlTest, GetAndSetRoundTrip) {
  CtlRun r = run({"get", "test.plain"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "start\n");
  EXPECT_EQ(r.err, "");
  r = run({"set", "test.plain", "a value; with `odd` \"chars\""});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(read("Probe", "test.plain").value(0), "a value; with `odd` \"chars\"");
  r = run({"set", "test.slots:3", "10.1.1.1"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(run({"get", "test.slots:3"}).out, "10.1.1.1\n");
  EXPECT_EQ(run({"get", "test.list"}).out, "a\nb\n");
  EXPECT_EQ(run({"get", "test.status", "--role", "user"}).out, "idle\n");
}

TEST_F(CfgCtlTest, RefusalsPrintTheErrorNameAndExitOne) {
  CtlRun r = run({"get", "no.such"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "syssrvctl: config get no.such: kErrItemNotFound (-7)\n");
  r = run({"set", "test.colour", "Purple"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "syssrvctl: config set test.colour: kErrBadParameter (-3)\n");
  r = run({"get", "test.secret", "--role", "user"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "syssrvctl: config get test.secret: kErrNotAuthorized (-8)\n");
  r = run({"set", "test.status", "busy"});
  EXPECT_EQ(r.err, "syssrvctl: config set test.status: kErrNotAuthorized (-8)\n");
  EXPECT_EQ(run({"set", "test.status", "busy", "--role", "system"}).status, 0);
  EXPECT_EQ(read("Probe", "test.status").value(0), "busy");
  EXPECT_EQ(run({"get", "test.slots:4"}).err, "syssrvctl: config get test.slots:4: kErrItemNotFound (-7)\n");
}

TEST_F(CfgCtlTest, BadInputExitsTwo) {
  CtlRun r = run({"fetch", "test.plain"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "syssrvctl: config: unknown sub-command 'fetch' (get, set, options, levels, dump, watch)\n");
  r = run({"get", "test.plain", "--role", "root"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "syssrvctl: config: unknown role 'root' (user, admin, system, provisioning, startup)\n");
  EXPECT_EQ(run({"set", "test.plain"}).status, 2);
  EXPECT_EQ(run({"get", "test.slots:x"}).status, 2);
  EXPECT_EQ(run({"get", "test.plain", "--submit", "test.submit"}).status, 2);
  EXPECT_EQ(read("Probe", "test.plain").value(0), "start");
}

TEST_F(CfgCtlTest, OptionsLevelsAndDump) {
  CtlRun r = run({"options", "test.colour"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "  Red\n* Green\n  Blue\n");
  r = run({"levels", "test.status"});
  EXPECT_EQ(r.out, "read user (10)\nwrite system (30)\n");
  ASSERT_EQ(write("Probe", "test.slots", "s1", 20, 1).error(), 0);
  r = run({"dump", "test.s", "--role", "user"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "test.slots = \ntest.slots:1 = s1\ntest.slots:2 = \ntest.slots:3 = \ntest.status = idle\n"
                   "test.submit = \n");
  EXPECT_EQ(run({"dump", "test.list"}).out, "test.list = a\\nb\n");
}

TEST_F(CfgCtlTest, PairsMakeOneBatchFramedForTheSubmitPoint) {
  CfgRecorder rec("SystemSrvc");
  ASSERT_TRUE(rec.start());
  ASSERT_EQ(registerCb(rec.name(), "test.submit", ConfigIF::kSubmit), 0);
  ASSERT_EQ(registerCb(rec.name(), "test.plain", ConfigIF::kChangeNotify), 0);
  ASSERT_EQ(registerCb(rec.name(), "test.slots", ConfigIF::kChangeNotify), 0);
  CtlRun r = run({"set", "test.plain=p", "test.slots:2=s2", "--submit", "test.submit"});
  EXPECT_EQ(r.status, 0) << r.err;
  ASSERT_TRUE(rec.waitEvents(4));
  std::vector<CfgEvent> ev = rec.events();
  EXPECT_EQ(ev[0].type, kMsgIdConfigIFSubmitNtfy);
  EXPECT_EQ(ev[0].submitType, 0);
  EXPECT_EQ(ev[1].var, "test.plain");
  EXPECT_EQ(ev[2].var, "test.slots");
  EXPECT_EQ(ev[2].instance, 2);
  EXPECT_EQ(ev[3].submitType, 1);
  // One refused pair: the others are written, the refusal is reported.
  r = run({"set", "test.plain=q", "test.colour=Purple"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "syssrvctl: config set test.colour: kErrBadParameter (-3)\n");
  EXPECT_EQ(read("Probe", "test.plain").value(0), "q");
  rec.stop();
}

TEST_F(CfgCtlTest, WatchPrintsChangesUnderThePrefix) {
  pid_t pid = spawn({"watch", "test.s", "--count", "2", "--as", "watcher"}, "watch");
  // Registered once it says so.
  for (int i = 0; i < 100 && slurp(m_root + "/watch.out").find("watching") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_EQ(write("Probe", "test.plain", "not watched").error(), 0);
  ASSERT_EQ(write("Probe", "test.slots", "w2", 20, 2).error(), 0);
  ASSERT_EQ(write("Probe", "test.submit", "go").error(), 0);
  CtlRun r = finish(pid, "watch");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "watching 4 variables\ntest.slots:2 = w2 (by Probe)\ntest.submit = go (by Probe)\n");
  // It removed its registrations on the way out.
  ConfigIF::UnregisterClientCallbackReq u;
  u.set_name("watcher");
  u.set_node_name("test.slots");
  u.set_type(ConfigIF::kChangeNotify);
  ConfigIF::UnregisterClientCallbackRsp ur;
  ASSERT_TRUE(call("Probe", u, &ur));
  EXPECT_EQ(ur.error(), -7);
}

}  // namespace
