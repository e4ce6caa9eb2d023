// Host name, IR channel, proxy delegate, beacon and web proxy handling on the
// daemon fixture: command lines, argv, file bytes, writes with their roles.
#include "OS/logmsg.h"
#include "SystemIF.pb.h"
#include "systemservice/syssrvHostname.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvWpad.h"
#include "tests/systemservice/test_callbacks_peer.h"

namespace {

using Strings = std::vector<std::string>;
using NetHostTest = CfgTest;
const std::string kScript = "/opt/corvale/bin/start_delegate.sh ";
const char kPac[] = "/opt/corvale/misc/wpad.dat";

TEST_F(NetHostTest, HostNameIsASafeSystemNameOrDrawnCommonNameJoinsTheDomainChannelIsOneHexDigit) {
  // The name srand48(1000000), seeded with the fake clock's milliseconds, draws.
  const std::string drawn = "RoomLine-FRL1HG", a63(63, 'a');
  const std::pair<std::string, std::string> rows[] = {{a63, a63}, {a63 + "a", drawn}, {"-ab", drawn}, {"ab-", drawn},
                                                      {"Conference Room 1", drawn}, {"a\\b", drawn}, {"a\nb", drawn}};
  for (const auto& r : rows) {
    forget();
    set_hostname(r.first.c_str());
    EXPECT_EQ(sent("write"), Strings{"write system.network.hostname=" + r.second + " as 30"}) << r.first;
  }
  EXPECT_EQ(logged(7, "set_hostname \"a\\nb\" \"" + drawn + "\"\n"), 1);
  peer().set("system.network.hostname", "room");
  forget();
  set_commonname();  // no domain: a trailing dot
  EXPECT_EQ(sent("write"), (Strings{"write system.pki.csr.commonname=room. as 30", "write system.pki.csr.sanfqdn=room. as 30"}));
  rec().put_file(ir_filter_sys_file, "");
  for (const auto& r : {std::pair<std::string, std::string>{"10", "A"}, {"16", "1"}, {"7", "7"}}) {
    update_remote_channel_id(const_cast<char*>(r.first.c_str()));
    EXPECT_EQ(rec().file_bytes(ir_filter_sys_file), r.second) << r.first;
  }
}

TEST_F(NetHostTest, BeaconRunsWithoutAShellAndIsReapedBeforeItIsForgotten) {
  peer().set("system.info.humanreadablemodel", "Cedar Pro 2");
  peer().set("system.network.wired.ethernet.macaddress", "00:e0:db:01:02:03");
  const Strings argv = {"/opt/corvale/bin/amxbeacond", "Cedar_Pro_2", "", "00:e0:db:01:02:03", "", "", ""};
  SysIoCommandScript& child = rec().on("/opt/corvale/bin/amxbeacond Cedar_Pro_2  00:e0:db:01:02:03   ");
  char on[] = "TRUE", off[] = "false";
  // Ends on the third poll after SIGTERM; never ends, even on SIGKILL.
  const std::pair<SysIoCommandScript, size_t> rows[] = {{SysIoCommandScript().ignores_signals().exits(0, 2), 1},
                                                        {SysIoCommandScript().ignores_signals(), 2}};
  for (const auto& r : rows) {
    child = r.first;
    forget();
    update_amx_beacon(on);
    update_amx_beacon(off);
    update_amx_beacon(off);  // nothing left to stop
    EXPECT_EQ(rec().records(SysIoCall::kForkExec).at(0).argv, argv);
    ASSERT_EQ(rec().records(SysIoCall::kKill).size(), r.second);  // SIGTERM, then SIGKILL
    EXPECT_EQ(rec().records(SysIoCall::kKill).back().sig, r.second > 1 ? SIGKILL : SIGTERM);
    EXPECT_EQ(logged(7, "Waiting for AMX beacon process to die...\n"), r.second > 1 ? 40 : 2);
  }
}

TEST_F(NetHostTest, StartWpadRunsTheDelegateWithOneWordPerValueOrStartsDiscoveryAndDisabledDoesNothing) {
  const std::string pac = "function FindProxyForURL(url, host)\n{\n\treturn \"PROXY 10.1.1.1:8080\";\n}\n";
  const std::string go = kScript + " --start ", servers = " 10.0.0.1 '1.1;reboot'    &", stop = kScript + " --stop";
  peer().set("system.proxy.manual.proxyaddress", "10.1.1.1");
  peer().set("comm.NICs.SipNic.sipaccountname", "sip");
  // The configured servers, saved by the DNS diversion that precedes each start.
  peer().set("system.network.dnsserver", "10.0.0.1", 0);
  peer().set("system.network.dnsserver", "1.1;reboot", 1);
  // Each row starts with the delegate of the row before still running.
  struct Row { const char *enabled, *autoconf, *port, *sfb, *user, *password; Strings commands; } rows[] = {
      {"true", "FALSE", "8080", "False", "", "", {go + "'anonymous' maple" + servers}},
      {"true", "false", "8080", "True", "", "", {stop, go + "'sip' maple" + servers}},
      {"true", "false", "8080", "False", "CORP\\bob", "s3cret", {stop, go + "'CORP\\\\\\\\bob' s3cret" + servers}},
      {"true", "false", "8080", "False", "x' ; reboot ; '", "a;b $(id)", {stop, go + "'x'\\'' ; reboot ; '\\''' 'a;b $(id)'" + servers}},
      {"true", "false", "0", "False", "", "", {stop, "./wpad"}},
      {"FALSE", "false", "8080", "False", "", "", {}}};
  const char* names[] = {"webproxy.enabled", "manual.autoconf", "manual.proxyport", "usesfbcredentials", "webproxy.username", "webproxy.password"};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.commands.empty() ? "disabled" : r.commands.back());
    const char* values[] = {r.enabled, r.autoconf, r.port, r.sfb, r.user, r.password};
    for (int i = 0; i < 6; ++i) peer().set(std::string("system.proxy.") + names[i], values[i]);
    rec().put_file(kPac, "old");
    forget();
    StartWpad();
    const bool manual = r.port[0] == '8' && r.enabled[0] == 't';
    EXPECT_EQ(rec().commands(), r.commands);
    EXPECT_EQ(rec().file_bytes(kPac), manual ? pac : r.commands.empty() ? "old" : "");
    EXPECT_EQ(sent("write"), manual ? Strings{"write system.proxy.pacfile.status=Unknown as 30"} : Strings{});
    EXPECT_EQ(logged(6, "SysrvWpad: stopping delegate !!\n"), r.commands.size() > 1 ? 1 : 0);
    EXPECT_EQ(logged(7, "start_delegate: " + go), manual ? 1 : 0);
    EXPECT_EQ(logBytes().find(*r.password ? r.password : "maple"), std::string::npos);
  }
  EXPECT_TRUE(rec().records().empty());  // disabled: not even StopWpad
  CreateManualPac("1.1.1.1\";}x(\"", 80);
  EXPECT_EQ(rec().file_bytes(kPac), "old");
  delegate_running = 1;
  start_delegate();
  EXPECT_EQ(rec().commands(), Strings{kScript + " --restart 'anonymous' maple" + servers});
}

// Each warning is a whole line when it is given: the line after it keeps
// its own prefix.
TEST_F(NetHostTest, EmptyProxyCredentialsAreWarnedOnLinesOfTheirOwn) {
  const std::pair<const char*, const char*> settings[] = {
      {"webproxy.enabled", "true"}, {"usesfbcredentials", "False"}, {"webproxy.username", ""}, {"webproxy.password", ""}};
  for (const auto& [name, value] : settings) peer().set(std::string("system.proxy.") + name, value);
  EXPECT_EQ(get_wpad_credentials(), 1);
  logerr(nullptr, "next\n");
  EXPECT_EQ(logLines(), (Strings{line(4, "proxy username config is empty", nullptr),
                                 line(4, "proxy password config is empty", nullptr), line(3, "next", nullptr)}));
}

TEST_F(NetHostTest, StopWpadKillsADiscoveryProgramThatIgnoresSigterm) {
  // /proc/42 stays whatever it is sent, as a process deaf to SIGTERM would
  // until SIGKILL; only the program name counts, not an argument.
  const std::pair<std::string, std::vector<int>> rows[] = {
      {std::string("wpad\0", 5), {SIGTERM, SIGKILL}}, {std::string("sh\0./wpad\0", 11), {}}};
  for (const auto& r : rows) {
    rec().put_file("/proc/42/cmdline", r.first);
    forget();
    StopWpad();
    std::vector<int> sigs;  // -1: a signal sent to another process
    for (const SysIoRecord& k : rec().records(SysIoCall::kKill)) sigs.push_back(k.pid == 42 ? k.sig : -1);
    EXPECT_EQ(sigs, r.second);
    EXPECT_EQ(rec().records(SysIoCall::kSleep).size(), r.second.size() * 10);  // a bounded second each
    EXPECT_EQ(logged(4, "SysrvWpad: Wpad.42 ignored SIGTERM, sending SIGKILL\n"), r.second.empty() ? 0 : 1);
  }
}

TEST_F(NetHostTest, GetPacFileAnswersThenRestartsAndIgnoresAnUnparsableRequest) {
  for (const std::string& payload : {std::string("\xff\xff", 2), std::string()}) {
    forget();
    deliver(kMsgIdSystemIFGetPacFileReq, payload, SystemIFGetPacFile, 77);
    SystemIF::GetPacFileRsp r;
    EXPECT_EQ(answer(0x1B0281, &r, payload.empty() ? 2000 : 200), payload.empty());
    EXPECT_EQ(cfgDescribe(r), payload.empty() ? "GetPacFileRsp {error: 0}" : "GetPacFileRsp {}");
    EXPECT_EQ(sent().empty(), !payload.empty());  // a restart reads the proxy settings
    EXPECT_EQ(logged(3, "Msg Parse Error\n"), payload.empty() ? 0 : 1);
  }
}

}  // namespace
