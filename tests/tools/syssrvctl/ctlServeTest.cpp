// syssrvctl serve standing in for DnsSrvc: answers by rule to real `call`
// processes and to this test's own endpoint, publishes to a real `watch`,
// and refuses bad rules before it opens anything.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <regex>

#include <gtest/gtest.h>

#include "DnsIF.pb.h"
#include "platform/msg/MSG.h"
#include "platform/msgutil/msgUtil.h"
#include "tests/arch/exec_wrapper.h"
#include "tests/tools/syssrvctl/ctlTestUtil.h"

namespace {

const std::string kTarget = "target: \"https://prov.example/a;b`c`\"";

std::string writeRules(const std::string& name, const std::string& text) {
  std::string path = ctlTestDir() + "/" + name;
  std::ofstream(path) << text;
  return path;
}

}  // namespace

TEST(CtlServe, AnswersByRuleAndPublishesToWatchers) {
  const std::string rules = writeRules("dns.rules",
                                       "# defaults\n\nerror ConfigIF.ReadReq ConfigIF.ReadRsp kErrNotAuthorized\n"
                                       "answer DnsIF.DnsSrvReq DnsIF.DnsSrvRsp 'error: -7'\n");
  // Standard input is a FIFO the test writes to once the watcher is
  // subscribed; closing it ends the stand-in (--exit-on-eof).
  const std::string fifo = ctlTestDir() + "/serve.in";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  int input = open(fifo.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(input, 0);
  CtlChild watcher;
  ASSERT_TRUE(watcher.start(kSyssrvctlBin, {"watch", "--from", "DnsSrvc"}));
  CtlChild serve;
  ASSERT_TRUE(serve.start("/bin/sh", {"-c", "exec " + archExecShellPrefix() + kSyssrvctlBin +
                                                " serve --as DnsSrvc --rules " + rules +
                                                " --answer DnsIF.DnsSrvReq DnsIF.DnsSrvRsp 'error: 0 " + kTarget +
                                                "' --silent SystemIF.GetLanStatusReq --exit-on-eof"
                                                " --then-publish SystemIF::TimeChangeNtfy 'secs: 7' --delay 1000"
                                                " --then-publish SystemIF.TimeChangeNtfy 'secs: 7' --delay 8000 < " +
                                                fifo},
                          false));
  ASSERT_TRUE(serve.waitForText("syssrvctl: serving DnsSrvc\n", true)) << serve.err();

  // The reply carries the request's own sequence; the later --answer
  // replaced the file's rule for the same request.
  ASSERT_EQ(MSG_OpenLocal("CtlServeT"), 0);
  DnsIF::DnsSrvReq req;
  req.set_service("_dmsconfig");
  MSG_Message* out = msgUtil_buildMsg(req, 4242, nullptr);
  ASSERT_EQ(MSG_SendMsg("CtlServeT", MSG_GetRemoteId("CtlServeT", "DnsSrvc"), out), 0);
  MSG_Message* in = MSG_RecvMsg("CtlServeT", msgUtil_findByName("DnsIF.DnsSrvRsp")->type, kCtlTestHangMs);
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(MSG_GetSequence(in), 4242u);
  DnsIF::DnsSrvRsp rsp;
  EXPECT_TRUE(rsp.ParseFromArray(MSG_GetPayload(in), static_cast<int>(MSG_GetPayloadBytes(in))));
  EXPECT_EQ(rsp.target(), "https://prov.example/a;b`c`");
  MSG_ReleaseMsg(in);
  MSG_CloseLocal("CtlServeT");
  EXPECT_TRUE(
      std::regex_search(serve.out(), std::regex(R"(^DnsIF\.DnsSrvReq from \d+ seq 4242 service: "_dmsconfig"\n)")))
      << serve.out();

  // Each call, and its exit status, standard output and standard error.
  const std::pair<std::vector<std::string>, std::string> calls[] = {
      {{"call", "DnsIF.DnsSrvReq", "service: \"_x\""}, "0:error: 0\n" + kTarget + "\n"},
      {{"call", "ConfigIF.ReadReq", "name: \"v\""}, "0:error: -8\n"},
      {{"call", "SystemIF.GetLanStatusReq", "--timeout", "300"},
       "1:syssrvctl: no answer from DnsSrvc: SystemIF.GetLanStatusRsp did not come within 300 ms\n"},
      {{"call", "SystemIF.GetSystemTimeReq", "--timeout", "300"},
       "1:syssrvctl: no answer from DnsSrvc: SystemIF.GetSystemTimeRsp did not come within 300 ms\n"},
  };
  for (const auto& c : calls) {
    std::vector<std::string> args = c.first;
    args.insert(args.end(), {"--to", "DnsSrvc"});
    CtlRun got = ctlRun(args);
    EXPECT_EQ(std::to_string(got.status) + ":" + got.out + got.err, c.second) << c.first[1];
  }
  const std::regex noRule(R"(syssrvctl: no rule for SystemIF\.GetSystemTimeReq \(seq \d+\), not answered\n)");
  EXPECT_TRUE(std::regex_search(serve.err(), noRule)) << serve.err();
  EXPECT_EQ(serve.err().find("GetLanStatusReq"), std::string::npos) << "a silent request is no warning";

  ASSERT_TRUE(watcher.waitForText("syssrvctl: subscribed to DnsSrvc\n", true)) << watcher.err();
  const std::string lines = "Nope.Ntfy x: 1\n\n  # note\nSystemIF.LanStatusChangeNtfy 'lan_status_connected: true'\n";
  ASSERT_EQ(write(input, lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
  EXPECT_TRUE(watcher.waitForText("SystemIF.LanStatusChangeNtfy lan_status_connected: true\n"));
  EXPECT_TRUE(watcher.waitForText("SystemIF.TimeChangeNtfy secs: 7\n")) << watcher.out();
  close(input);
  ASSERT_TRUE(serve.wait());
  EXPECT_EQ(serve.status(), 0);
  EXPECT_NE(serve.err().find("syssrvctl: input line 1: unknown message Nope.Ntfy (see 'syssrvctl list'), skipped\n"),
            std::string::npos);
  CtlRun gone = ctlRun({"call", "DnsIF.DnsSrvReq", "--to", "DnsSrvc"});
  EXPECT_EQ(gone.err, "syssrvctl: unknown endpoint DnsSrvc (nothing serves that name)\n") << "endpoint left open";
}

TEST(CtlServe, BadRulesStopItBeforeItServes) {
  const std::string bad = writeRules("bad.rules", "silent DnsIF.DnsSrvReq\nanswer DnsIF.DnsSrvReq\n");
  const struct {
    std::vector<std::string> args;
    std::string err;
  } rows[] = {
      {{"--answer", "DnsIF.DnsSrvRsp", "DnsIF.DnsSrvReq", ""}, "DnsIF.DnsSrvRsp is not a request"},
      {{"--error", "SystemIF.GetMasterVelarTimeReq", "SystemIF.GetMasterVelarTimeRsp", "-1"},
       "SystemIF.GetMasterVelarTimeRsp has no integer error field; answer it with --answer"},
      {{"--error", "DnsIF.DnsSrvReq", "DnsIF.DnsSrvRsp", "kErrNope"},
       "bad error code 'kErrNope' (a number or a CommonIF.eErrorType name such as kErrTimeOut)"},
      {{"--delay", "5", "--then-publish", "SystemIF.TimeChangeNtfy", ""},
       "--delay 5 follows no --then-publish of its own"},
      {{"--rules", bad}, bad + ":2: answer needs 3 values"},
      {{"--rules", ctlTestDir() + "/none"}, "cannot read rules file " + ctlTestDir() + "/none"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.err);
    std::vector<std::string> args{"serve", "--as", "CtlServeBad"};
    args.insert(args.end(), r.args.begin(), r.args.end());
    CtlRun got = ctlRun(args);
    EXPECT_EQ(got.status, 2);
    EXPECT_EQ(got.err, "syssrvctl: serve: " + r.err + "\n");
  }
}
