// syssrvctl watch: notifications from real publisher processes (syssrvctl
// send --as) and from publishers served by the test itself.
#include <signal.h>

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

// "HH:MM:SS.mmm 0x1B0103 SystemIF.LanStatusChangeNtfy REST"; `rest` is a
// regular expression.
bool isLine(const std::string& line, const char* name, const std::string& rest) {
  const std::string dotted = std::regex_replace(std::string(name), std::regex(R"(\.)"), R"(\.)");
  return std::regex_match(line, std::regex(R"(^\d\d:\d\d:\d\d\.\d{3} )" + hexOf(name) + " " + dotted + rest + "$"));
}

size_t lineCount(const CtlChild& c) { return ctlLines(c.out()).size(); }

// Publishes from the test's own endpoint `pub` with `publish` until the
// watcher has printed a line: until it has subscribed, notifications reach
// nobody.
template <class Publish>
void untilSubscribed(CtlChild& watcher, const char* pub, Publish publish) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCtlTestHangMs);
  while (lineCount(watcher) == 0 && watcher.running() && std::chrono::steady_clock::now() < deadline) {
    MSG_Message* in = MSG_RecvAnyMsg(pub, 50);  // lets subscriptions in
    if (in) MSG_ReleaseMsg(in);
    publish();
  }
  ASSERT_GE(lineCount(watcher), 1u) << watcher.err();
}

void publish(const char* pub, const google::protobuf::Message& body) {
  MSG_Message* m = msgUtil_buildMsg(body, MSG_GetNextSequence(), nullptr);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(MSG_SendNotification(pub, m), 0);
}

void publishRaw(const char* pub, MSG_Type type, const char* bytes, uint32_t n) {
  MSG_Message* m = MSG_AllocMsg(type, 0, n);
  ASSERT_NE(m, nullptr);
  memcpy(MSG_GetPayloadMutable(m), bytes, n);
  EXPECT_EQ(MSG_SendNotification(pub, m), 0);
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
  std::vector<std::string> lines = ctlLines(watcher.out());
  ASSERT_EQ(lines.size(), 2u) << watcher.out();
  EXPECT_TRUE(isLine(lines[0], "SystemIF.LanStatusChangeNtfy", " lan_status_connected: true")) << lines[0];
  EXPECT_TRUE(isLine(lines[1], "SystemIF.TimeChangeNtfy", " secs: 1700000000")) << lines[1];
  EXPECT_NE(watcher.err().find("syssrvctl: subscribed to CtlPubA\n"), std::string::npos) << watcher.err();
}

// Only the named types are printed: one known by number, one by name, one
// unknown number; an unknown type and a payload that does not parse still
// give one line each.
TEST(CtlWatch, OnlyTheGivenTypesUnknownOnesAndBadPayloads) {
  ASSERT_EQ(MSG_OpenLocal("CtlPubB"), 0);
  CtlChild watcher;
  ASSERT_TRUE(watcher.start(kSyssrvctlBin, {"watch", hexOf("SystemIF.TimeChangeNtfy"), "--from", "CtlPubB", "--as",
                                            "CtlWatcherB", "SystemIF::AppStatusAlertNtfy", "0x7F0FF3"}));
  ASSERT_EQ(msgUtil_findByType(0x7F0FF3), nullptr);
  SystemIF::LanStatusChangeNtfy lan;
  lan.set_lan_status_connected(false);
  SystemIF::TimeChangeNtfy time;
  untilSubscribed(watcher, "CtlPubB", [&] {
    publish("CtlPubB", lan);
    publish("CtlPubB", time);
  });
  publish("CtlPubB", lan);
  publish("CtlPubB", SystemIF::AppStatusAlertNtfy());
  publishRaw("CtlPubB", 0x7F0FF3, "abc", 3);
  // Field 1 announced as 200 bytes long with one byte present.
  publishRaw("CtlPubB", msgUtil_getMsgId(time), "\x0a\xc8\x01\x00", 4);
  time.set_secs(999);
  publish("CtlPubB", time);
  ASSERT_TRUE(watcher.waitForText("secs: 999\n")) << watcher.out();
  watcher.signal(SIGINT);
  ASSERT_TRUE(watcher.wait());
  EXPECT_EQ(watcher.status(), 0) << watcher.err();
  std::vector<std::string> lines = ctlLines(watcher.out());
  ASSERT_GE(lines.size(), 5u) << watcher.out();
  const size_t n = lines.size();
  for (size_t i = 0; i + 4 < n; ++i) EXPECT_TRUE(isLine(lines[i], "SystemIF.TimeChangeNtfy", "")) << lines[i];
  EXPECT_TRUE(isLine(lines[n - 4], "SystemIF.AppStatusAlertNtfy", "")) << watcher.out();
  EXPECT_TRUE(std::regex_match(lines[n - 3], std::regex(R"(^\d\d:\d\d:\d\d\.\d{3} 0x7F0FF3 \(unknown type, 3 bytes\)$)")))
      << lines[n - 3];
  EXPECT_TRUE(isLine(lines[n - 2], "SystemIF.TimeChangeNtfy", R"( \(payload does not parse, 4 bytes\))")) << lines[n - 2];
  EXPECT_TRUE(isLine(lines.back(), "SystemIF.TimeChangeNtfy", " secs: 999")) << lines.back();
  MSG_CloseLocal("CtlPubB");
}

// Nothing published: --timeout alone ends quietly, with --count it is a
// failure; a signal ends the watch with 0 and its endpoint disappears.
TEST(CtlWatch, TimeoutsAndSignals) {
  CtlRun r = ctlRun({"watch", "--from", "CtlNobody", "--timeout", "300"});
  EXPECT_EQ(std::to_string(r.status) + r.out + r.err, "0");
  r = ctlRun({"watch", "--from", "CtlNobody", "--timeout", "300", "--count", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "syssrvctl: only 0 of 1 notifications came within 300 ms\n");
  ASSERT_EQ(MSG_OpenLocal("CtlProbeC"), 0);
  for (int sig : {SIGINT, SIGTERM}) {
    CtlChild watcher;
    ASSERT_TRUE(watcher.start(kSyssrvctlBin, {"watch", "--as", "CtlWatcherC"}));
    for (int i = 0; i < 3000 && MSG_GetRemoteId("CtlProbeC", "CtlWatcherC") == 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_NE(MSG_GetRemoteId("CtlProbeC", "CtlWatcherC"), 0u);
    watcher.signal(sig);
    ASSERT_TRUE(watcher.wait());
    EXPECT_EQ(watcher.status(), 0);
    EXPECT_EQ(MSG_GetRemoteId("CtlProbeC", "CtlWatcherC"), 0u);
  }
  MSG_CloseLocal("CtlProbeC");
}
