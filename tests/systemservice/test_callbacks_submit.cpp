// Submit batches (the dirty bits and what the network batch end runs), the
// road of one change through these handlers, the out-of-box reset, and
// payloads that do not parse.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "systemservice/syssrvCallbacks.h"
#include "systemservice/syssrvMessage.h"
#include "tests/systemservice/call_trace.h"
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
  struct Row {
    int lan, ipv6, dns;
    vector<string> commands;
    vector<string> calls;
  };
  const Row rows[] = {
      {0, 0, 0, {}, {}},
      {0, 0, 1, {}, {"updateDnsConfig()"}},
      {0, 1, 0, {"/system/bin/startnetwork --restartv6only"}, {"updateDnsConfig()"}},
      {1, 1, 1, {"/system/bin/startnetwork --restart"}, {"updateDnsConfig()"}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.lan) + std::to_string(r.ipv6) + std::to_string(r.dns));
    setBits(r.lan, r.ipv6, r.dns);
    forget();
    submit(kNetworkSubmit, ConfigIF::kSubmitEnd);
    EXPECT_EQ(rec().commands(), r.commands);
    EXPECT_EQ(syssrvCallTrace(), r.calls);
    EXPECT_EQ(logLines().at(0), line(7, "config_submit_notify: cfgVarName=system.network.submit type=SubmitEnd dirtyBit=" +
                                            std::to_string(r.lan) + "," + std::to_string(r.ipv6) + "," +
                                            std::to_string(r.dns)));
    // Kept until the next batch starts.
    EXPECT_EQ(bits(), std::to_string(r.lan) + std::to_string(r.ipv6) + std::to_string(r.dns));
    submit(kNetworkSubmit, ConfigIF::kSubmitStart);
    EXPECT_EQ(bits(), "000");
  }
  setBits(1, 0, 1);
  submit(kProxySubmit, ConfigIF::kSubmitStart);
  EXPECT_EQ(bits(), "000");
}

TEST_F(SubmitTest, LanRestartStartsDiscoveryOnlyForAStaticAddressWithTheProxyOn) {
  struct Row {
    const char* proxy;
    const char* mode;
    bool start;
  };
  for (const Row& r : {Row{"TRUE", "Off", true}, Row{"True", "off", false}, Row{"False", "Off", false}}) {
    SCOPED_TRACE(string(r.proxy) + "/" + r.mode);
    peer().set("system.proxy.webproxy.enabled", r.proxy);
    peer().set("system.network.wired.ipv4nic.mode", r.mode);
    setBits(1, 0, 0);
    forget();
    submit(kNetworkSubmit, ConfigIF::kSubmitEnd);
    EXPECT_EQ(rec().commands(), (vector<string>{"/system/bin/startnetwork --restart"}));
    vector<string> calls = syssrvCallTrace();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "StartWpad()"), r.start ? 1 : 0);
    EXPECT_EQ(logged(7, "config_submit_notify kCfgVarDHCPOption is : Off", "message"), r.start);
  }
}

TEST_F(SubmitTest, ProxySubmitEndStartsOrStopsDiscovery) {
  struct Row {
    const char* proxy;  // null: unreadable
    int delegate;
    vector<string> calls;
  };
  const Row rows[] = {
      {"tRuE", 1, {"StartWpad()"}},
      {"False", 1, {"StopWpad()", "delegate_dns_set_post()", "stop_delegate()"}},
      {nullptr, 1, {}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.proxy ? r.proxy : "<unreadable>");
    if (r.proxy) peer().set("system.proxy.webproxy.enabled", r.proxy);
    else peer().breakReads("system.proxy.webproxy.enabled");
    delegate_running = r.delegate;
    setBits(1, 1, 1);
    forget();
    submit(kProxySubmit, ConfigIF::kSubmitEnd);
    EXPECT_EQ(syssrvCallTrace(), r.calls);
    EXPECT_EQ(bits(), "111");  // not a network batch
  }
  EXPECT_TRUE(logged(3, "config_submit_notify() failed reading config var system.proxy.webproxy.enabled", "message"));
}

// IPv4 mode set by an administrator: access levels on change, the LAN bit
// set by the dispatcher, restart, status notification and DNS at the end.
TEST_F(SubmitTest, RoadOfOneChange) {
  peer().set("system.proxy.webproxy.enabled", "True");
  peer().set("system.network.wired.ipv4nic.mode", "Off");
  setBits(0, 0, 1);
  submit(kNetworkSubmit, ConfigIF::kSubmitStart);
  onChange("system.network.wired.ipv4nic.mode", "Off");
  EXPECT_EQ(sent("levels ").size(), 8u);
  m_LanDirtyBit = 1;  // what the change notification does
  forget();
  MSG_Endpoint svc = MSG_GetRemoteId(kCaller, kLocal);
  ASSERT_EQ(MSG_RegisterNotificationRemote(kCaller, kMsgIdSystemIFLanStatusChangeNtfy,
                                           kMsgIdSystemIFLanStatusChangeNtfy, svc),
            0);
  submit(kNetworkSubmit, ConfigIF::kSubmitEnd);
  EXPECT_EQ(rec().commands(), (vector<string>{"/system/bin/startnetwork --restart"}));
  SystemIF::LanStatusChangeNtfy ntfy;
  ASSERT_TRUE(answer(kMsgIdSystemIFLanStatusChangeNtfy, &ntfy));
  EXPECT_FALSE(ntfy.lan_status_connected());  // no carrier here
  EXPECT_EQ(syssrvCallTrace(), (vector<string>{"StopWpad()", "StartWpad()", "updateDnsConfig()"}));
}

TEST_F(SubmitTest, OutOfBoxResetDeletesRunsAndAnswers) {
  rec().put_file("/opt/corvale/cdr/localcdr.db", "cdr");
  rec().on("./clear-language-files").fail();
  deliver(kMsgIdSystemIFSetOobReq, string("\xff\xff\xff", 3), reset_config_notify, 99);
  vector<string> effects;
  for (const SysIoRecord& r : rec().records()) effects.push_back(r.kind == SysIoCall::kUnlink ? "unlink " + r.path : r.text);
  EXPECT_EQ(effects, (vector<string>{"rm /opt/corvale/misc/presets/*.png",
                                     "unlink /opt/corvale/cdr/localcdr.db", "unlink /data/local/bootanimation.zip",
                                     "./clear-language-files",
                                     "unlink /opt/corvale/dat/multicodec_systemid.dat",
                                     "setprop persist.sys.country US\n",
                                     "setprop persist.sys.language en\n"}));
  EXPECT_EQ(logLines(), (vector<string>{line(7, "reset_config_notify - remove multicodec_systemid.dat file."),
                                        line(7, "reset_config_notify - set android language to en and country to US")}));
  SystemIF::SetOobRsp rsp;
  uint32_t seq = 0;
  ASSERT_TRUE(answer(kMsgIdSystemIFSetOobRsp, &rsp, 5000, &seq));
  EXPECT_EQ(seq, 99u);
  EXPECT_EQ(rsp.error(), 0);
}

TEST_F(SubmitTest, UnparsablePayloadsAreLoggedAndNotAnswered) {
  const string broken("\x0a\x09" "cut", 5);  // field 1 claims 9 bytes and has 3
  struct Row {
    MSG_Type type;
    MSG_CallbackFunc handler;
    string log;
  };
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
    EXPECT_FALSE(anyAnswer(300));
  }
  EXPECT_EQ(bits(), "111");
  EXPECT_TRUE(sent().empty());
  EXPECT_TRUE(syssrvCallTrace().empty());
}

}  // namespace
