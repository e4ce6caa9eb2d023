// syssrvctl watch: notifications from real publisher processes (syssrvctl
// send --as) and from publishers served by the test itself.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <regex>
#include <thread>

#include <gtest/gtest.h>

#include "SystemIF.pb.h"
#include "platform/msg/MSG.h"
#include "platform/msgutil/msgUtil.h"
#include "tests/tools/syssrvctl/ctlTestUtil.h"

namespace {

std::string hexOf(const char* name) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%06X", msgUtil_findByName(name)->type);
  return buf;
}

// The watcher's output without the "HH:MM:SS.mmm " that begins each line.
std::string untimed(const CtlChild& watcher) {
  return std::regex_replace(watcher.out(), std::regex(R"((^|\n)\d\d:\d\d:\d\d\.\d{3} )"), "$1");
}

size_t lineCount(const CtlChild& c) {
  const std::string out = c.out();
  return static_cast<size_t>(std::count(out.begin(), out.end(), '\n'));
}

void publish(const char* pub, MSG_Type type, const std::string& payload) {
  MSG_Message* m = MSG_AllocMsg(type, 0, static_cast<uint32_t>(payload.size()));
  if (!payload.empty()) memcpy(MSG_GetPayloadMutable(m), payload.data(), payload.size());
  EXPECT_EQ(MSG_SendNotification(pub, m), 0);
}

void publish(const char* pub, const google::protobuf::Message& body) {
  publish(pub, msgUtil_getMsgId(body), body.SerializeAsString());
}

}  // namespace

// The watcher is up before the publisher exists, and the publisher
// restarts (a new process under the same name) between the two
// notifications; both reach the watcher.
TEST(CtlWatch, PublisherStartsAfterTheWatcherAndRestarts) {
  CtlChild watcher;
  ASSERT_TRUE(watcher.start(kSyssrvctlBin, {"watch", "--from", "CtlPubA", "--count", "2", "--timeout", "60000"}));
  const std::pair<const char*, const char*> sent[] = {{"SystemIF.LanStatusChangeNtfy", "lan_status_connected: true"},
                                                      {"SystemIF::TimeChangeNtfy", "secs: 1700000000"}};
  for (size_t i = 0; i < 2; ++i) {
    // The publisher serves its endpoint for a moment first so the watcher
    // can subscribe; repeating covers a machine too loaded for that.
    for (int tries = 0; tries < 30 && lineCount(watcher) <= i; ++tries) {
      CtlRun r = ctlRun({"send", sent[i].first, sent[i].second, "--as", "CtlPubA", "--delay", "300"});
      ASSERT_EQ(r.status, 0) << r.err;
      for (int k = 0; k < 50 && lineCount(watcher) <= i; ++k) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ASSERT_TRUE(watcher.wait());
  EXPECT_EQ(watcher.status(), 0) << watcher.err();
  EXPECT_EQ(untimed(watcher), hexOf("SystemIF.LanStatusChangeNtfy") +
                                  " SystemIF.LanStatusChangeNtfy lan_status_connected: true\n" +
                                  hexOf("SystemIF.TimeChangeNtfy") + " SystemIF.TimeChangeNtfy secs: 1700000000\n");
  EXPECT_NE(watcher.err().find("syssrvctl: subscribed to CtlPubA\n"), std::string::npos) << watcher.err();
}

// Only the named types are printed: one known by number, one by name, one
// unknown number; an unknown type and a payload that does not parse still
// give one line each.
TEST(CtlWatch, OnlyTheGivenTypesUnknownOnesAndBadPayloads) {
  ASSERT_EQ(MSG_OpenLocal("CtlPubB"), 0);
  const std::string time = hexOf("SystemIF.TimeChangeNtfy") + " SystemIF.TimeChangeNtfy";
  CtlChild watcher;
  ASSERT_TRUE(watcher.start(kSyssrvctlBin, {"watch", hexOf("SystemIF.TimeChangeNtfy"), "--from", "CtlPubB", "--as",
                                            "CtlWatcherB", "SystemIF::AppStatusAlertNtfy", "0x7F0FF3"}));
  ASSERT_EQ(msgUtil_findByType(0x7F0FF3), nullptr);
  SystemIF::LanStatusChangeNtfy lan;
  lan.set_lan_status_connected(false);
  // Until the watcher has subscribed, notifications reach nobody.
  for (int i = 0; i < kCtlTestHangMs / 50 && lineCount(watcher) == 0 && watcher.running(); ++i) {
    MSG_Message* in = MSG_RecvAnyMsg("CtlPubB", 50);  // lets subscriptions in
    if (in) MSG_ReleaseMsg(in);
    publish("CtlPubB", lan);
    publish("CtlPubB", SystemIF::TimeChangeNtfy());
  }
  publish("CtlPubB", lan);
  publish("CtlPubB", SystemIF::AppStatusAlertNtfy());
  publish("CtlPubB", 0x7F0FF3, "abc");
  // Field 1 announced as 200 bytes long with one byte present.
  publish("CtlPubB", msgUtil_findByName("SystemIF.TimeChangeNtfy")->type, std::string("\x0a\xc8\x01\x00", 4));
  SystemIF::TimeChangeNtfy last;
  last.set_secs(999);
  publish("CtlPubB", last);
  ASSERT_TRUE(watcher.waitForText("secs: 999\n")) << watcher.out();
  watcher.signal(SIGINT);
  ASSERT_TRUE(watcher.wait());
  EXPECT_EQ(watcher.status(), 0) << watcher.err();
  std::string out = untimed(watcher);
  ASSERT_EQ(out.rfind(time + "\n", 0), 0u) << out;
  while (out.rfind(time + "\n", 0) == 0) out.erase(0, time.size() + 1);
  EXPECT_EQ(out, hexOf("SystemIF.AppStatusAlertNtfy") + " SystemIF.AppStatusAlertNtfy\n0x7F0FF3 (unknown type, 3 bytes)\n" +
                     time + " (payload does not parse, 4 bytes)\n" + time + " secs: 999\n");
  MSG_CloseLocal("CtlPubB");
}

// Nothing published: --timeout alone ends quietly, with --count it is a
// failure.
TEST(CtlWatch, Timeouts) {
  CtlRun r = ctlRun({"watch", "--from", "CtlNobody", "--timeout", "300"});
  EXPECT_EQ(std::to_string(r.status) + r.out + r.err, "0");
  r = ctlRun({"watch", "--from", "CtlNobody", "--timeout", "300", "--count", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "syssrvctl: only 0 of 1 notifications came within 300 ms\n");
}
