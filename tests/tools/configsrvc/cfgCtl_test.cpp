// `syssrvctl config ...` against the running service: exact output, exit
// status and the effect on the service, as one conversation.
#include "tests/tools/configsrvc/cfgTestFixture.h"

namespace {

class CfgCtlTest : public CfgSrvTest {
 protected:
  void SetUp() override {
    CfgSrvTest::SetUp();
    startService();
    openLocal("Probe");
  }
  static CtlRun config(std::vector<std::string> words) {
    words.insert(words.begin(), "config");
    return ctlRun(words);
  }
};

TEST_F(CfgCtlTest, CommandsPrintExactlyAndExitByOutcome) {
  const std::string hostile = "a value; with `odd` \"chars\"";
  struct Row {
    std::vector<std::string> words;
    int status;
    std::string out;
    std::string err;
  } rows[] = {
      {{"get", "test.plain"}, 0, "start\n", ""},
      {{"set", "test.plain", hostile}, 0, "", ""},
      {{"get", "test.plain"}, 0, hostile + "\n", ""},
      {{"set", "test.slots:3", "10.1.1.1"}, 0, "", ""},
      {{"get", "test.slots:3"}, 0, "10.1.1.1\n", ""},
      {{"get", "test.list"}, 0, "a\nb\n", ""},
      {{"get", "no.such"}, 1, "", "syssrvctl: config get no.such: kErrItemNotFound (-7)\n"},
      {{"set", "test.colour", "Purple"}, 1, "", "syssrvctl: config set test.colour: kErrBadParameter (-3)\n"},
      {{"get", "test.secret", "--role", "user"}, 1, "", "syssrvctl: config get test.secret: kErrNotAuthorized (-8)\n"},
      {{"set", "test.status", "busy"}, 1, "", "syssrvctl: config set test.status: kErrNotAuthorized (-8)\n"},
      {{"set", "test.status", "busy", "--role", "system"}, 0, "", ""},
      // One refused pair: the others are written, the refusal is reported.
      {{"set", "test.other=q", "test.colour=Purple"}, 1, "", "syssrvctl: config set test.colour: kErrBadParameter (-3)\n"},
      {{"get", "test.other"}, 0, "q\n", ""},
      // Pairs with a submit point: one batch for it (the service frames it).
      {{"set", "test.plain=p", "test.slots:2=s2", "--submit", "test.submit"}, 0, "", ""},
      {{"get", "test.slots:2"}, 0, "s2\n", ""},
      {{"options", "test.colour"}, 0, "  Red\n* Green\n  Blue\n", ""},
      {{"levels", "test.status"}, 0, "read user (10)\nwrite system (30)\n", ""},
      {{"dump", "test.s", "--role", "user"}, 0,
       "test.slots = \ntest.slots:1 = \ntest.slots:2 = s2\ntest.slots:3 = 10.1.1.1\ntest.status = busy\ntest.submit = \n",
       ""},
      {{"dump", "test.list"}, 0, "test.list = a\\nb\n", ""},
      {{"fetch", "test.plain"}, 2, "",
       "syssrvctl: config: unknown sub-command 'fetch' (get, set, options, levels, dump, watch)\n"},
      {{"get", "test.plain", "--role", "root"}, 2, "",
       "syssrvctl: config: unknown role 'root' (user, admin, system, provisioning, startup)\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.words[0] + " " + r.words[1]);
    CtlRun got = config(r.words);
    EXPECT_EQ(got.status, r.status);
    EXPECT_EQ(got.out, r.out);
    EXPECT_EQ(got.err, r.err);
  }
  // Bad input changes nothing.
  for (std::vector<std::string> words : {std::vector<std::string>{"set", "test.plain"}, {"get", "test.slots:x"},
                                         {"set", "test.plain=z", "--submit", "no.such"}}) {
    EXPECT_NE(config(words).status, 0) << words[1];
  }
  EXPECT_EQ(valueOf("Probe", "test.plain"), "p");
}

TEST_F(CfgCtlTest, WatchPrintsChangesUnderThePrefixAndUnregistersOnExit) {
  CtlChild watch;
  ASSERT_TRUE(watch.start(kSyssrvctlBin, {"config", "watch", "test.s", "--count", "2", "--as", "watcher"}));
  ASSERT_TRUE(watch.waitForText("watching")) << watch.err();
  ASSERT_EQ(write("Probe", "test.plain", "not watched"), kCfgWriteOk);
  ASSERT_EQ(write("Probe", "test.slots", "w2", "kAdmin", 2), kCfgWriteOk);
  ASSERT_EQ(write("Probe", "test.submit", "go"), kCfgWriteOk);
  ASSERT_TRUE(watch.wait());
  EXPECT_EQ(watch.status(), 0) << watch.err();
  EXPECT_EQ(watch.out(), "watching 4 variables\ntest.slots:2 = w2 (by Probe)\ntest.submit = go (by Probe)\n");
  EXPECT_EQ(ask("Probe", "ConfigIF.UnregisterClientCallbackReq",
                "name: 'watcher' node_name: 'test.slots' type: kChangeNotify"),
            "error: -7");
}

}  // namespace
