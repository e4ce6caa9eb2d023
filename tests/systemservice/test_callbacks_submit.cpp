// Submit batches (the dirty bits and what the network batch end runs), the
// out-of-box reset, and payloads that do not parse.
#include "SystemIF.pb.h"
#include "systemservice/syssrvCallbacks.h"
#include "systemservice/syssrvMessage.h"
#include "tests/systemservice/test_callbacks_peer.h"

namespace {

using std::string;
using std::vector;

const char kNetworkSubmit[] = "system.network.submit";
const char kProxySubmit[] = "system.proxy.webproxysubmit";

class SubmitTest : public CfgTest {
 protected:
  void setBits(int lan, int ipv6, int dns) {
    m_LanDirtyBit = lan;
    m_IPv6DirtyBit = ipv6;
    m_DnsDirtyBit = dns;
  }
  string bits() const {
    return std::to_string(m_LanDirtyBit) + std::to_string(m_IPv6DirtyBit) + std::to_string(m_DnsDirtyBit);
  }
};

TEST_F(SubmitTest, BatchStartClearsTheBitsAndTheEndActsOnThem) {
  struct Row { int lan, ipv6, dns; vector<string> commands; vector<string> calls; };
  const Row rows[] = {{0, 0, 0, {}, {}}, {0, 0, 1, {}, {"no DNS server"}},
                      {0, 1, 0, {"/system/bin/startnetwork --restartv6only"}, {"no DNS server"}},
                      {1, 1, 1, {"/system/bin/startnetwork --restart"}, {"no DNS server"}}};
  for (const Row& r : rows) {
    setBits(r.lan, r.ipv6, r.dns);
    const string b = bits();
    SCOPED_TRACE(b);
    forget();
    submit(kNetworkSubmit, ConfigIF::kSubmitEnd);
    EXPECT_EQ(rec().commands(), r.commands);
    EXPECT_EQ(calls(), r.calls);
    EXPECT_EQ(logLines().at(0), line(7, "config_submit_notify: cfgVarName=system.network.submit type=SubmitEnd "
                                        "dirtyBit=" + string{b[0], ',', b[1], ',', b[2]}));
    EXPECT_EQ(bits(), b);  // kept until the next batch starts
    submit(kNetworkSubmit, ConfigIF::kSubmitStart);
    EXPECT_EQ(bits(), "000");
  }
  setBits(1, 0, 1);
  submit(kProxySubmit, ConfigIF::kSubmitStart);
  EXPECT_EQ(bits(), "000");
}

// The LAN restart stops discovery when a proxy is on, tells the LAN status
// to its subscribers, and starts discovery again only for a static address.
TEST_F(SubmitTest, LanRestartStartsDiscoveryOnlyForAStaticAddressWithTheProxyOn) {
  // stops: StopWpad calls, from the restart and from StartWpad.
  struct Row { const char* proxy; const char* mode; vector<string> commands; int stops; };
  const string restart = "/system/bin/startnetwork --restart";
  const Row rows[] = {
      {"TRUE", "Off", {restart, "./wpad"}, 2}, {"True", "off", {restart}, 1}, {"False", "Off", {restart}, 0}};
  for (const Row& r : rows) {
    SCOPED_TRACE(string(r.proxy) + "/" + r.mode);
    peer().set("system.proxy.webproxy.enabled", r.proxy);
    peer().set("system.network.wired.ipv4nic.mode", r.mode);
    setBits(1, 0, 0);
    forget();
    submit(kNetworkSubmit, ConfigIF::kSubmitEnd);
    EXPECT_EQ(rec().commands(), r.commands);
    EXPECT_EQ(calls(), (vector<string>{"no DNS server"}));  // the DNS update
    EXPECT_EQ(logged(7, "RemovePACFile: No PAC file to delete.\n"), r.stops);
    EXPECT_EQ(logged(7, "config_submit_notify kCfgVarDHCPOption is : Off", "message"), r.stops == 2);
    // The LAN module's restart, which tells its subscribers (LanTest): no carrier here.
    EXPECT_EQ(logged(7, "restart_LAN - send notification LAN state = 0\n"), 1);
  }
}

TEST_F(SubmitTest, ProxySubmitEndStartsOrStopsDiscovery) {
  // proxy null: unreadable.
  // Either way the running delegate is stopped (StopWpad), which publishes the
  // configured DNS servers again; "./wpad" starts discovery.
  struct Row { const char* proxy; int delegate; vector<string> commands; };
  const string stop = "/opt/corvale/bin/start_delegate.sh  --stop";
  const Row rows[] = {{"tRuE", 1, {stop, "./wpad"}}, {"False", 1, {stop}}, {nullptr, 1, {}}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.proxy ? r.proxy : "<unreadable>");
    r.proxy ? peer().set("system.proxy.webproxy.enabled", r.proxy) : peer().breakReads("system.proxy.webproxy.enabled");
    delegate_running = r.delegate;
    setBits(1, 1, 1);
    forget();
    submit(kProxySubmit, ConfigIF::kSubmitEnd);
    EXPECT_EQ(rec().commands(), r.commands);
    EXPECT_EQ(calls(), r.commands.empty() ? vector<string>{} : vector<string>{"dns published"});
    EXPECT_EQ(bits(), "111");  // not a network batch
  }
  EXPECT_TRUE(logged(3, "config_submit_notify() failed reading config var system.proxy.webproxy.enabled", "message"));
}

TEST_F(SubmitTest, OutOfBoxResetDeletesRunsAndAnswers) {
  rec().put_file("/opt/corvale/cdr/localcdr.db", "cdr");
  rec().on("./clear-language-files").fail();
  deliver(kMsgIdSystemIFSetOobReq, string("\xff\xff\xff", 3), reset_config_notify, 99);
  vector<string> effects;
  for (const SysIoRecord& r : rec().records()) effects.push_back(r.kind == SysIoCall::kUnlink ? "unlink " + r.path : r.text);
  EXPECT_EQ(effects, (vector<string>{"rm /opt/corvale/misc/presets/*.png", "unlink /opt/corvale/cdr/localcdr.db",
                                     "unlink /data/local/bootanimation.zip", "./clear-language-files",
                                     "unlink /opt/corvale/dat/multicodec_systemid.dat",
                                     "setprop persist.sys.country US\n", "setprop persist.sys.language en\n"}));
  EXPECT_EQ(logLines(), (vector<string>{line(7, "reset_config_notify - remove multicodec_systemid.dat file."),
                                        line(7, "reset_config_notify - set android language to en and country to US")}));
  SystemIF::SetOobRsp rsp;
  uint32_t seq = 0;
  ASSERT_TRUE(answer(kMsgIdSystemIFSetOobRsp, &rsp, 5000, &seq) && seq == 99u) << seq;
  EXPECT_EQ(rsp.error(), 0);
}

TEST_F(SubmitTest, UnparsablePayloadsAreLoggedAndNotAnswered) {
  const string broken("\x0a\x09" "cut", 5);  // field 1 claims 9 bytes and has 3
  struct Row { MSG_Type type; MSG_CallbackFunc handler; string log; };
  const Row rows[] = {
      {kMsgIdConfigIFDynamicValidateReq, config_dynamic_validate, line(3, "(config_dynamic_validate) parse error")},
      {kMsgIdConfigIFOnChangeReq, config_on_change, line(7, "config_on_change parse error")},
      {kMsgIdConfigIFSubmitNtfy, config_submit_notify, line(3, "config_submit_notify: parse error")},
  };
  setBits(1, 1, 1);
  for (const Row& r : rows) {
    forget();
    deliver(r.type, broken, r.handler);
    EXPECT_EQ(logLines(), vector<string>{r.log});
    EXPECT_EQ(received(300), nullptr);
  }
  EXPECT_EQ(bits(), "111");
  EXPECT_TRUE(sent().empty());
}

}  // namespace
