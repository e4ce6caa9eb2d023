// syssrvctl watch: notifications from real publisher processes (syssrvctl
// send --as) and from a publisher served by the test itself.
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
#include "tests/ctl/ctlTestUtil.h"

namespace {

std::string hexOf(const char* name) {
  const MsgTypeEntry* e = msgUtil_findByName(name);
  if (e == nullptr) return "?";
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%06X", e->type);
  return buf;
}

std::string escapeRe(const std::string& s) {
  return std::regex_replace(s, std::regex(R"([\\^$.|?*+()\[\]{}])"), R"(\$&)");
}

// "HH:MM:SS.mmm 0x1B0103 SystemIF.LanStatusChangeNtfy BODY"
std::regex lineFor(const char* name, const std::string& body) {
  std::string re = R"(^\d\d:\d\d:\d\d\.\d{3} )" + hexOf(name) + " " + escapeRe(name);
  if (!body.empty()) re += " " + escapeRe(body);
  return std::regex(re + "$");
}

size_t lineCount(const CtlChild& c) { return ctlLines(c.out()).size(); }

// Publishes `fields` of `type` from a fresh publisher process named `as`
// until the watcher has printed `wantLines` lines. The publisher serves its
// endpoint for a moment first so the watcher's open callback can subscribe;
// repeating covers a machine too loaded for that moment to suffice.
bool publishUntilSeen(CtlChild& watcher, const std::string& as, const char* type, const std::string& fields,
                      size_t wantLines) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCtlTestHangMs);
  while (std::chrono::steady_clock::now() < deadline) {
    CtlRun r = ctlRun({"send", type, fields, "--as", as, "--delay", "300"});
    if (r.status != 0) {
      ADD_FAILURE() << "publisher failed: " << r.err;
      return false;
    }
    for (int i = 0; i < 50 && lineCount(watcher) < wantLines; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (lineCount(watcher) >= wantLines) return true;
  }
  return false;
}

}  // namespace

// The watcher is up before the publisher exists, and the publisher
// restarts (a new process under the same name) between the two
// notifications; both reach the watcher.
TEST(CtlWatch, PublisherStartsAfterTheWatcherAndRestarts) {
  CtlChild watcher;
  ASSERT_TRUE(watcher.start(kSyssrvctlBin, {"watch", "--from", "CtlPubA", "--count", "2", "--timeout", "60000"}));
  ASSERT_TRUE(publishUntilSeen(watcher, "CtlPubA", "SystemIF.LanStatusChangeNtfy", "lan_status_connected: true", 1))
      << watcher.err();
  ASSERT_TRUE(publishUntilSeen(watcher, "CtlPubA", "SystemIF::TimeChangeNtfy", "secs: 1700000000", 2))
      << watcher.err();
  ASSERT_TRUE(watcher.wait());
  EXPECT_EQ(watcher.status(), 0) << watcher.err();
  std::vector<std::string> lines = ctlLines(watcher.out());
  ASSERT_EQ(lines.size(), 2u) << watcher.out();
  EXPECT_TRUE(std::regex_match(lines[0], lineFor("SystemIF.LanStatusChangeNtfy", "lan_status_connected: true")))
      << lines[0];
  EXPECT_TRUE(std::regex_match(lines[1], lineFor("SystemIF.TimeChangeNtfy", "secs: 1700000000"))) << lines[1];
  // Each appearance of the publisher was reported.
  EXPECT_NE(watcher.err().find("syssrvctl: subscribed to CtlPubA\n"), std::string::npos) << watcher.err();
}

// Only the named types are printed; the test serves the publisher itself so
// it can interleave other types on the same subscription.
TEST(CtlWatch, OnlyTheGivenTypes) {
  ASSERT_EQ(MSG_OpenLocal("CtlPubB"), 0);
  CtlChild watcher;
  // One type by number, one by name.
  ASSERT_TRUE(watcher.start(kSyssrvctlBin, {"watch", hexOf("SystemIF.TimeChangeNtfy"), "--from", "CtlPubB", "--as",
                                            "CtlWatcherB", "SystemIF::AppStatusAlertNtfy"}));
  auto publish = [](const google::protobuf::Message& body) {
    MSG_Message* m = msgUtil_buildMsg(body, MSG_GetNextSequence(), nullptr);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(MSG_SendNotification("CtlPubB", m), 0);
  };
  SystemIF::LanStatusChangeNtfy lan;
  lan.set_lan_status_connected(false);
  SystemIF::TimeChangeNtfy time;
  // Until the watcher has subscribed, notifications reach nobody; once one
  // has been printed the subscription is known to be in place.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCtlTestHangMs);
  int64_t secs = 1;
  while (lineCount(watcher) == 0 && watcher.running() && std::chrono::steady_clock::now() < deadline) {
    MSG_Message* in = MSG_RecvAnyMsg("CtlPubB", 50);  // lets subscriptions in
    if (in) MSG_ReleaseMsg(in);
    publish(lan);
    time.set_secs(secs++);
    publish(time);
  }
  ASSERT_GE(lineCount(watcher), 1u) << watcher.err();
  publish(lan);
  publish(SystemIF::AppStatusAlertNtfy());
  publish(lan);
  time.set_secs(999);
  publish(time);
  ASSERT_TRUE(watcher.waitForText("secs: 999\n")) << watcher.out();
  watcher.signal(SIGINT);
  ASSERT_TRUE(watcher.wait());
  EXPECT_EQ(watcher.status(), 0) << watcher.err();
  std::vector<std::string> lines = ctlLines(watcher.out());
  ASSERT_GE(lines.size(), 3u) << watcher.out();
  // Time notifications of the start-up loop, in order, then the last two.
  const size_t loopLines = lines.size() - 2;
  for (size_t i = 0; i < loopLines; ++i) {
    EXPECT_TRUE(std::regex_match(lines[i], lineFor("SystemIF.TimeChangeNtfy",
                                                   "secs: " + std::to_string(secs - loopLines + i))))
        << lines[i];
  }
  EXPECT_TRUE(std::regex_match(lines[loopLines], lineFor("SystemIF.AppStatusAlertNtfy", ""))) << lines[loopLines];
  EXPECT_TRUE(std::regex_match(lines.back(), lineFor("SystemIF.TimeChangeNtfy", "secs: 999"))) << lines.back();
  EXPECT_EQ(watcher.out().find("LanStatus"), std::string::npos) << watcher.out();
  MSG_CloseLocal("CtlPubB");
}

TEST(CtlWatch, TimeoutWithoutNotifications) {
  // Nothing publishes: --timeout alone ends quietly, with --count it is a
  // failure.
  CtlRun r = ctlRun({"watch", "--from", "CtlNobody", "--timeout", "300"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  r = ctlRun({"watch", "--from", "CtlNobody", "--timeout", "300", "--count", "1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "syssrvctl: only 0 of 1 notifications came within 300 ms\n");
}

// Ctrl-C ends the watch with status 0 and its endpoint disappears.
TEST(CtlWatch, InterruptClosesTheEndpoint) {
  for (int sig : {SIGINT, SIGTERM}) {
    CtlChild watcher;
    ASSERT_TRUE(watcher.start(kSyssrvctlBin, {"watch", "--as", "CtlWatcherC"}));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCtlTestHangMs);
    MSG_OpenLocal("CtlProbeC");
    while (MSG_GetRemoteId("CtlProbeC", "CtlWatcherC") == 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_NE(MSG_GetRemoteId("CtlProbeC", "CtlWatcherC"), 0u);
    watcher.signal(sig);
    ASSERT_TRUE(watcher.wait());
    EXPECT_FALSE(watcher.exitedBySignal());
    EXPECT_EQ(watcher.status(), 0);
    EXPECT_EQ(MSG_GetRemoteId("CtlProbeC", "CtlWatcherC"), 0u);
    MSG_CloseLocal("CtlProbeC");
  }
}

// A publisher that sends a type the table does not know, and a payload that
// does not parse, still gives one line each.
TEST(CtlWatch, UnknownTypesAndBadPayloads) {
  ASSERT_EQ(MSG_OpenLocal("CtlPubD"), 0);
  CtlChild watcher;
  ASSERT_TRUE(watcher.start(kSyssrvctlBin, {"watch", "--from", "CtlPubD"}));
  const MSG_Type unknown = 0x7F0FF3;
  ASSERT_EQ(msgUtil_findByType(unknown), nullptr);
  const MSG_Type lanType = msgUtil_findByName("SystemIF.LanStatusChangeNtfy")->type;
  auto sendRaw = [](MSG_Type type, const char* bytes, uint32_t n) {
    MSG_Message* m = MSG_AllocMsg(type, 0, n);
    ASSERT_NE(m, nullptr);
    if (n) memcpy(MSG_GetPayloadMutable(m), bytes, n);
    EXPECT_EQ(MSG_SendNotification("CtlPubD", m), 0);
  };
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCtlTestHangMs);
  while (lineCount(watcher) == 0 && watcher.running() && std::chrono::steady_clock::now() < deadline) {
    MSG_Message* in = MSG_RecvAnyMsg("CtlPubD", 50);
    if (in) MSG_ReleaseMsg(in);
    sendRaw(unknown, "abc", 3);
  }
  // Field 1 announced as 200 bytes long with one byte present: broken.
  sendRaw(lanType, "\x0a\xc8\x01\x00", 4);
  ASSERT_TRUE(watcher.waitForText("does not parse")) << watcher.out();
  watcher.signal(SIGTERM);
  ASSERT_TRUE(watcher.wait());
  EXPECT_EQ(watcher.status(), 0) << watcher.err();
  std::vector<std::string> lines = ctlLines(watcher.out());
  ASSERT_GE(lines.size(), 2u) << watcher.out();
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    EXPECT_TRUE(std::regex_match(lines[i], std::regex(R"(^\d\d:\d\d:\d\d\.\d{3} 0x7F0FF3 \(unknown type, 3 bytes\)$)")))
        << lines[i];
  }
  EXPECT_TRUE(std::regex_match(lines.back(), std::regex(R"(^\d\d:\d\d:\d\d\.\d{3} )" + hexOf("SystemIF.LanStatusChangeNtfy") +
                                                        R"( SystemIF\.LanStatusChangeNtfy \(payload does not parse, 4 bytes\)$)")))
      << lines.back();
  MSG_CloseLocal("CtlPubD");
}
