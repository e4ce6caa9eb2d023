// Submit batches (dirty bits, LAN / IPv6 / DNS restarts, proxy discovery),
// the out-of-box reset and its SetOobRsp, the road of one change through
// these handlers, and payloads that do not parse.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "tests/systemservice/call_trace.h"
#include "systemservice/syssrvCallbacks.h"
#include "systemservice/syssrvMessage.h"
#include "tests/systemservice/test_callbacks_peer.h"

namespace {

using std::string;
using std::vector;

const char kNetworkSubmit[] = "system.network.submit";
const char kProxySubmit[] = "system.proxy.webproxysubmit";

class SubmitTest : public CallbacksTest {
 protected:
  vector<string> all() { return transcript(peer().requests()); }
  string msgLine(int level, const string& text) { return line(level, "message", text); }
  void setBits(int lan, int ipv6, int dns) {
    m_LanDirtyBit = lan;
    m_IPv6DirtyBit = ipv6;
    m_DnsDirtyBit = dns;
  }
  void expectBits(int lan, int ipv6, int dns) {
    EXPECT_EQ(m_LanDirtyBit, lan);
    EXPECT_EQ(m_IPv6DirtyBit, ipv6);
    EXPECT_EQ(m_DnsDirtyBit, dns);
  }
  // What the LAN restart asks: no device is configured here, so the
  // carrier cannot be read and the link counts as down.
  static vector<string> lanRestartRequests() {
    return {"read system.network.wired.devicename#0",
            "write management.provisioning.inserverdiscoverystatus#0=FAILED role=30",
            "read system.proxy.webproxy.enabled#0"};
  }
  // syssrvLanRestart in automatic IPv6 mode.
  static vector<string> ipv6ClearRequests() {
    return {"write system.network.wired.ipv6nic.linklocal#0=::/128 role=30",
            "write system.network.wired.ipv6nic.sitelocal#0=::/128 role=30",
            "write system.network.wired.ipv6nic.globaladdress#0=::/128 role=30",
            "write system.network.wired.ipv6nic.defaultgateway#0=:: role=30"};
  }
  static vector<string> join(vector<vector<string>> parts) {
    vector<string> out;
    for (const vector<string>& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  }
};

TEST_F(SubmitTest, StartClearsTheDirtyBitsAfterLoggingThem) {
  setBits(1, 1, 1);
  submit(kNetworkSubmit, ConfigIF::kSubmitStart);
  expectBits(0, 0, 0);
  EXPECT_EQ(logLines("message"),
            (vector<string>{msgLine(7, "config_submit_notify: cfgVarName=system.network.submit type=SubmitStart "
                                       "dirtyBit=1,1,1")}));
  EXPECT_TRUE(syssrvCallTrace().empty());
  EXPECT_TRUE(peer().requests().empty());
}

TEST_F(SubmitTest, ProxySubmitStartAlsoClearsTheBits) {
  setBits(1, 0, 1);
  submit(kProxySubmit, ConfigIF::kSubmitStart);
  expectBits(0, 0, 0);
  EXPECT_TRUE(peer().requests().empty());
}

TEST_F(SubmitTest, EndWithNothingDirtyOnlyLogs) {
  submit(kNetworkSubmit, ConfigIF::kSubmitEnd);
  EXPECT_TRUE(syssrvCallTrace().empty());
  EXPECT_TRUE(peer().requests().empty());
  EXPECT_EQ(logLines("message"),
            (vector<string>{msgLine(7, "config_submit_notify: cfgVarName=system.network.submit type=SubmitEnd "
                                       "dirtyBit=0,0,0")}));
}

TEST_F(SubmitTest, EndWithOnlyDnsDirtyRebuildsDnsOnce) {
  setBits(0, 0, 1);
  submit(kNetworkSubmit, ConfigIF::kSubmitEnd);
  EXPECT_EQ(syssrvCallTrace(), (vector<string>{"updateDnsConfig()"}));
  // The bits are kept until the next batch starts.
  expectBits(0, 0, 1);
}

TEST_F(SubmitTest, EndWithLanDirtyRestartsLanAndStartsDiscoveryForStaticAddress) {
  peer().set("system.proxy.webproxy.enabled", "TRUE");
  peer().set("system.network.wired.ipv4nic.mode", "Off");
  setBits(1, 0, 0);
  submit(kNetworkSubmit, ConfigIF::kSubmitEnd);
  // The restart stops discovery (the proxy is on), this starts it again.
  EXPECT_EQ(syssrvCallTrace(), (vector<string>{"StopWpad()", "StartWpad()", "isIPv6Manual()", "updateDnsConfig()"}));
  EXPECT_EQ(rec().commands(), (vector<string>{"/system/bin/startnetwork --restart"}));
  EXPECT_EQ(all(), join({lanRestartRequests(),
                         {"read system.proxy.webproxy.enabled#0", "read system.network.wired.ipv4nic.mode#0"},
                         ipv6ClearRequests()}));
  EXPECT_EQ(logLines("message")[1], msgLine(7, "config_submit_notify kCfgVarDHCPOption is : Off"));
  expectBits(1, 0, 0);
}

TEST_F(SubmitTest, EndWithLanDirtyLeavesDiscoveryAloneOtherwise) {
  struct Case {
    const char* proxy;
    const char* mode;
  };
  for (const Case& c : {Case{"True", "DHCP"}, Case{"False", "Off"}, Case{"True", "off"}, Case{"", ""}}) {
    peer().set("system.proxy.webproxy.enabled", c.proxy);
    peer().set("system.network.wired.ipv4nic.mode", c.mode);
    setBits(1, 1, 1);
    syssrvCallTrace_clear();
    rec().clear();
    submit(kNetworkSubmit, ConfigIF::kSubmitEnd);
    // The restart itself stops a running discovery; nothing starts it again.
    vector<string> expected = {"isIPv6Manual()", "updateDnsConfig()"};
    if (string(c.proxy) == "True") expected.insert(expected.begin(), "StopWpad()");
    EXPECT_EQ(syssrvCallTrace(), expected) << c.proxy << "/" << c.mode;
    EXPECT_EQ(rec().commands(), (vector<string>{"/system/bin/startnetwork --restart"})) << c.proxy << "/" << c.mode;
  }
}

TEST_F(SubmitTest, EndWithOnlyIpv6DirtyRestartsIpv6) {
  setBits(0, 1, 0);
  submit(kNetworkSubmit, ConfigIF::kSubmitEnd);
  EXPECT_EQ(rec().commands(), (vector<string>{"/system/bin/startnetwork --restartv6only"}));
  EXPECT_EQ(syssrvCallTrace(), (vector<string>{"isIPv6Manual()", "updateDnsConfig()"}));
  EXPECT_EQ(all(), ipv6ClearRequests());
}

TEST_F(SubmitTest, ProxySubmitEndStartsDiscoveryWhenEnabled) {
  peer().set("system.proxy.webproxy.enabled", "tRuE");
  setBits(1, 1, 1);
  submit(kProxySubmit, ConfigIF::kSubmitEnd);
  EXPECT_EQ(syssrvCallTrace(), (vector<string>{"StartWpad()"}));
  EXPECT_EQ(all(), (vector<string>{"read system.proxy.webproxy.enabled#0"}));
  EXPECT_EQ(logLines("message"), (vector<string>{msgLine(7, "Calling StartWpad. config_submit_notify")}));
  // Not a network batch: the bits are neither used nor cleared.
  expectBits(1, 1, 1);
}

TEST_F(SubmitTest, ProxySubmitEndStopsDiscoveryAndDelegateWhenDisabled) {
  peer().set("system.proxy.webproxy.enabled", "False");
  delegate_running = 1;
  submit(kProxySubmit, ConfigIF::kSubmitEnd);
  EXPECT_EQ(syssrvCallTrace(), (vector<string>{"StopWpad()", "delegate_dns_set_post()", "stop_delegate()"}));
  delegate_running = 0;
  syssrvCallTrace_clear();
  submit(kProxySubmit, ConfigIF::kSubmitEnd);
  EXPECT_EQ(syssrvCallTrace(), (vector<string>{"StopWpad()"}));
  EXPECT_TRUE(logLines("message").empty());
}

TEST_F(SubmitTest, ProxySubmitEndWithUnreadableSettingDoesNothing) {
  peer().breakReads("system.proxy.webproxy.enabled");
  delegate_running = 1;
  submit(kProxySubmit, ConfigIF::kSubmitEnd);
  EXPECT_TRUE(syssrvCallTrace().empty());
  EXPECT_EQ(logLines("message"),
            (vector<string>{msgLine(3, "config_submit_notify() failed reading config var system.proxy.webproxy.enabled")}));
}

TEST_F(SubmitTest, SubmitSendsNoAnswer) {
  submit(kNetworkSubmit, ConfigIF::kSubmitStart);
  EXPECT_FALSE(anyAnswer(300));
}

// ---- the road of one change: IPv4 mode set by an administrator ----

TEST_F(SubmitTest, RoadOfOneChange) {
  peer().set("system.proxy.webproxy.enabled", "True");
  peer().set("system.network.wired.ipv4nic.mode", "Off");
  setBits(0, 0, 1);  // left over from an earlier batch
  submit(kNetworkSubmit, ConfigIF::kSubmitStart);
  expectBits(0, 0, 0);
  onChange("system.network.wired.ipv4nic.mode", "Off");
  EXPECT_EQ(accessLines(peer().requests()).size(), 8u);
  // The change notification (dispatcher) marks the LAN dirty.
  m_LanDirtyBit = 1;
  syssrvCallTrace_clear();
  rec().clear();
  MSG_Endpoint svc = MSG_GetRemoteId(kCaller, kLocal);
  ASSERT_EQ(MSG_RegisterNotificationRemote(kCaller, kMsgIdSystemIFLanStatusChangeNtfy,
                                           kMsgIdSystemIFLanStatusChangeNtfy, svc),
            0);
  submit(kNetworkSubmit, ConfigIF::kSubmitEnd);
  EXPECT_EQ(rec().commands(), (vector<string>{"/system/bin/startnetwork --restart"}));
  SystemIF::LanStatusChangeNtfy ntfy;
  ASSERT_TRUE(answer(kMsgIdSystemIFLanStatusChangeNtfy, &ntfy)) << "no LanStatusChangeNtfy after the restart";
  EXPECT_TRUE(ntfy.has_lan_status_connected());
  EXPECT_FALSE(ntfy.lan_status_connected());  // no carrier file here
  EXPECT_EQ(syssrvCallTrace(), (vector<string>{"StopWpad()", "StartWpad()", "isIPv6Manual()", "updateDnsConfig()"}));
}

// ---- out-of-box reset ----

TEST_F(SubmitTest, OutOfBoxResetDeletesRunsAndAnswers) {
  rec().put_file("/opt/corvale/cdr/localcdr.db", "cdr");
  rec().put_file("/data/local/bootanimation.zip", "zip");
  rec().put_file("/opt/corvale/dat/multicodec_systemid.dat", "id");
  deliver(kMsgIdSystemIFSetOobReq, "", reset_config_notify, 99);

  vector<string> effects;
  for (const SysIoRecord& r : rec().records()) {
    if (r.kind == SysIoCall::kSystem) effects.push_back("system " + r.text);
    if (r.kind == SysIoCall::kUnlink) effects.push_back("unlink " + r.path);
  }
  EXPECT_EQ(effects, (vector<string>{"system rm /opt/corvale/misc/presets/*.png",
                                     "unlink /opt/corvale/cdr/localcdr.db", "unlink /data/local/bootanimation.zip",
                                     "system ./clear-language-files",
                                     "unlink /opt/corvale/dat/multicodec_systemid.dat",
                                     "system setprop persist.sys.country US\n",
                                     "system setprop persist.sys.language en\n"}));
  EXPECT_FALSE(rec().file_exists("/opt/corvale/cdr/localcdr.db"));
  EXPECT_FALSE(rec().file_exists("/data/local/bootanimation.zip"));
  EXPECT_FALSE(rec().file_exists("/opt/corvale/dat/multicodec_systemid.dat"));
  EXPECT_EQ(logLines("message"),
            (vector<string>{msgLine(7, "reset_config_notify - remove multicodec_systemid.dat file."),
                            msgLine(7, "reset_config_notify - set android language to en and country to US")}));

  SystemIF::SetOobRsp rsp;
  uint32_t seq = 0;
  ASSERT_TRUE(answer(1769681, &rsp, 5000, &seq));
  EXPECT_EQ(seq, 99u);
  EXPECT_TRUE(rsp.has_error());
  EXPECT_EQ(rsp.error(), 0);
  EXPECT_TRUE(peer().requests().empty());
}

TEST_F(SubmitTest, OutOfBoxResetIgnoresTheRequestAndFailingCommands) {
  rec().on("rm /opt/corvale/misc/presets/*.png").exit_code(1);
  rec().on("./clear-language-files").fail();
  // Nothing to delete and a request that is not a SetOobReq at all.
  deliver(kMsgIdSystemIFSetOobReq, string("\xff\xff\xff", 3), reset_config_notify);
  SystemIF::SetOobRsp rsp;
  ASSERT_TRUE(answer(kMsgIdSystemIFSetOobRsp, &rsp));
  EXPECT_EQ(rsp.error(), 0);
  EXPECT_EQ(rec().commands().size(), 4u);
}

// ---- payloads that do not parse ----

// A length-delimited field 1 that claims 9 bytes and has 3.
const string kBroken("\x0a\x09" "cut", 5);

TEST_F(SubmitTest, UnparsableValidateRequestIsLoggedAndNotAnswered) {
  deliver(kMsgIdConfigIFDynamicValidateReq, kBroken, config_dynamic_validate);
  EXPECT_FALSE(anyAnswer(300));
  EXPECT_EQ(logLines("message"), (vector<string>{msgLine(3, "(config_dynamic_validate) parse error")}));
  EXPECT_TRUE(peer().requests().empty());
}

TEST_F(SubmitTest, UnparsableOnChangeRequestIsLoggedAndNotAnswered) {
  deliver(kMsgIdConfigIFOnChangeReq, kBroken, config_on_change);
  EXPECT_FALSE(anyAnswer(300));
  EXPECT_EQ(logLines("message"), (vector<string>{msgLine(7, "config_on_change parse error")}));
  EXPECT_TRUE(peer().requests().empty());
  EXPECT_TRUE(syssrvCallTrace().empty());
}

TEST_F(SubmitTest, UnparsableSubmitIsLoggedAndDropped) {
  setBits(1, 1, 1);
  deliver(kMsgIdConfigIFSubmitNtfy, kBroken, config_submit_notify);
  EXPECT_EQ(logLines("message"), (vector<string>{msgLine(3, "config_submit_notify: parse error")}));
  expectBits(1, 1, 1);
  EXPECT_TRUE(syssrvCallTrace().empty());
  EXPECT_FALSE(anyAnswer(300));
}

TEST_F(SubmitTest, RequestsWithoutValueAreAnsweredWithoutRules) {
  eModel = kCedar;
  ConfigIF::DynamicValidateReq v;
  v.mutable_instance_val()->mutable_instance()->add_node()->set_name("system.modularroom.mode");
  v.set_server_context("ctx-42");
  deliver(kMsgIdConfigIFDynamicValidateReq, v.SerializeAsString(), config_dynamic_validate);
  ConfigIF::DynamicValidateRsp vr;
  ASSERT_TRUE(answer(kMsgIdConfigIFDynamicValidateRsp, &vr));
  EXPECT_EQ(vr.ret_message().SerializeAsString(), expectedRet(0, false).SerializeAsString());

  ConfigIF::OnChangeReq c;
  c.mutable_instance_val()->mutable_instance()->add_node()->set_name("system.network.wired.ipv4nic.mode");
  c.set_server_context("ctx-42");
  deliver(kMsgIdConfigIFOnChangeReq, c.SerializeAsString(), config_on_change);
  ConfigIF::OnChangeRsp cr;
  ASSERT_TRUE(answer(kMsgIdConfigIFOnChangeRsp, &cr));
  EXPECT_EQ(cr.ret_message().SerializeAsString(), expectedRet(0, false).SerializeAsString());
  EXPECT_TRUE(peer().requests().empty());
  EXPECT_EQ(logLines("message").back(), msgLine(3, "config_on_change unknown var system.network.wired.ipv4nic.mode 0"));
}

// An empty payload is a valid (empty) message: nothing to validate.
TEST_F(SubmitTest, EmptyPayloadsAreEmptyMessages) {
  deliver(kMsgIdConfigIFDynamicValidateReq, "", config_dynamic_validate);
  ConfigIF::DynamicValidateRsp vr;
  ASSERT_TRUE(answer(kMsgIdConfigIFDynamicValidateRsp, &vr));
  EXPECT_EQ(vr.ret_message().SerializeAsString(), expectedRet(0, false, "").SerializeAsString());
  deliver(kMsgIdConfigIFSubmitNtfy, "", config_submit_notify);
  EXPECT_EQ(logLines("message").back(),
            msgLine(7, "config_submit_notify: cfgVarName= type=SubmitStart dirtyBit=0,0,0"));
}

}  // namespace
