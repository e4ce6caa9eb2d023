// The write path with real clients: the order of callbacks, refusals and
// time-outs, the writer's own notification, submit framing, and a client
// that reads and writes from inside its callback.
#include <thread>

#include "tests/tools/configsrvc/cfgTestFixture.h"

namespace {

class CfgWritePathTest : public CfgSrvTest {
 protected:
  void SetUp() override {
    CfgSrvTest::SetUp();
    openLocal(w);
    openLocal(s);
  }
  const std::string w = "Writer";
  const std::string s = "SystemSrvc";
};

// The system service reads and writes synchronously from inside its
// callback handlers; the service goes on serving it while it waits for the
// callback's answer, and shows it the old value until the commit. Refusals
// and reboot requests follow on the same registrations.
TEST_F(CfgWritePathTest, ValidateThenOnChangeThenCommitThenNotifyEveryone) {
  startService();
  ASSERT_EQ(registerCb(s, "test.plain", "kDynamicValidator", "ctx-v"), "error: 0");
  ASSERT_EQ(registerCb(s, "test.plain", "kOnChange", "ctx-o"), "error: 0");
  ASSERT_EQ(registerCb(s, "test.plain", "kChangeNotify", "ctx-n"), "error: 0");
  ASSERT_EQ(registerCb(s, "test.slots", "kChangeNotify"), "error: 0");
  // The writer's own validator and on-change registrations are skipped.
  for (const char* type : {"kChangeNotify", "kDynamicValidator", "kOnChange"}) {
    ASSERT_EQ(registerCb(w, "test.plain", type), "error: 0");
  }
  std::string seen;
  auto written = writeAsync(w, "test.plain", "new");
  EXPECT_EQ(next(s, "error: 0", [&] { seen = valueOf(s, "test.plain"); }),
            "validate test.plain=new by Writer as kAdmin ctx ctx-v");
  EXPECT_EQ(next(s, "error: 0",
                 [&] {
                   seen += "," + valueOf(s, "test.plain") + "," + valueOf(s, "test.other");
                   EXPECT_EQ(write(s, "test.third", "derived", "kSystem"), kCfgWriteOk);
                 }),
            "onchange test.plain=new by Writer as kAdmin ctx ctx-o");
  EXPECT_EQ(next(s), "changed test.plain=new by Writer as kAdmin ctx ctx-n");
  EXPECT_EQ(written.get(), kCfgWriteOk);
  EXPECT_EQ(seen, "start,start,x");
  EXPECT_EQ(valueOf(w, "test.third"), "derived");
  // A registration for instance 0 covers every instance; a write of the
  // value already stored is still a change to report.
  ASSERT_EQ(write(w, "test.slots", "", "kAdmin", 3), kCfgWriteOk);
  EXPECT_EQ(next(s), "changed test.slots[3]= by Writer as kAdmin");
  // The writer hears about its own change, and gets no callback.
  EXPECT_EQ(next(w), "changed test.plain=new by Writer as kAdmin");
  EXPECT_EQ(next(w, "", {}, 100), "");

  // A refusal by the validator or the on-change client refuses the write
  // with the client's error and messages; nothing follows it.
  written = writeAsync(w, "test.plain", "bad");
  EXPECT_EQ(next(s, "error: -6 error_message: 'not on this model' error_message: 'second line'"),
            "validate test.plain=bad by Writer as kAdmin ctx ctx-v");
  EXPECT_EQ(written.get(),
            "error: -6 reboot_required: false error_message: \"not on this model\" error_message: \"second line\"");
  written = writeAsync(w, "test.plain", "busy");
  EXPECT_EQ(next(s), "validate test.plain=busy by Writer as kAdmin ctx ctx-v");
  EXPECT_EQ(next(s, "error: -4"), "onchange test.plain=busy by Writer as kAdmin ctx ctx-o");
  EXPECT_EQ(written.get(), "error: -4 reboot_required: false");
  EXPECT_EQ(valueOf(w, "test.plain"), "new");
  // A reboot request by the validator reaches the writer.
  written = writeAsync(w, "test.plain", "good");
  EXPECT_EQ(next(s, "error: 0 reboot_required: true"),
            "validate test.plain=good by Writer as kAdmin ctx ctx-v");
  EXPECT_EQ(next(s), "onchange test.plain=good by Writer as kAdmin ctx ctx-o");
  EXPECT_EQ(next(s), "changed test.plain=good by Writer as kAdmin ctx ctx-n");
  EXPECT_EQ(written.get(), "error: 0 reboot_required: true");
}

// A client silent for the callback time-out (--callback-timeout) refuses
// the write; meanwhile the service serves everyone else.
TEST_F(CfgWritePathTest, CallbackTimeOutIsASetting) {
  openLocal("Reader");
  startService({"--callback-timeout=300"});
  ASSERT_EQ(registerCb(s, "test.plain", "kDynamicValidator"), "error: 0");
  auto written = writeAsync(w, "test.plain", "late");
  std::string meanwhile;
  next(s, "error: 0", [&] {
    meanwhile = valueOf("Reader", "test.other");
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
  });
  EXPECT_EQ(written.get(),
            "error: -10 reboot_required: false error_message: \"SystemSrvc did not answer within 300 ms\"");
  EXPECT_EQ(meanwhile, "x");
  EXPECT_EQ(valueOf(w, "test.plain"), "start");
  EXPECT_EQ(ctlRun({"--db", m_db, "--callback-timeout", "0"}, CFG_TEST_CONFIGSRVC).err,
            "configsrvc: bad --callback-timeout '0' (1 to 600000 ms)\n");
}

TEST_F(CfgWritePathTest, BatchForSubmitPointIsFramedByStartAndEnd) {
  startService();
  ASSERT_EQ(registerCb(s, "test.submit", "kSubmit", "net"), "error: 0");
  ASSERT_EQ(registerCb(s, "test.plain", "kChangeNotify"), "error: 0");
  ASSERT_EQ(registerCb(s, "test.other", "kChangeNotify"), "error: 0");
  const std::string entries =
      "entry { name: 'test.plain' value: 'p1' } entry { name: 'no.such' value: 'z' } "
      "entry { name: 'test.other' value: 'o1' } entry { name: 'test.colour' value: 'Purple' }";
  EXPECT_EQ(ask(w, "ConfigIF.BatchWriteReq", "name: 'Writer' role: kAdmin submit_name: 'test.submit' " + entries),
            "error: -7 reboot_required: false entry_error: 0 entry_error: -7 entry_error: 0 entry_error: -3");
  for (const char* e : {"start test.submit ctx net", "changed test.plain=p1 by Writer as kAdmin",
                        "changed test.other=o1 by Writer as kAdmin", "end test.submit ctx net"}) {
    EXPECT_EQ(next(s), e);
  }
  EXPECT_EQ(valueOf(w, "test.other"), "o1");
  // Refused batches send no framing.
  EXPECT_EQ(ask(w, "ConfigIF.BatchWriteReq", "name: 'Writer' role: kAdmin submit_name: 'no.point' " + entries),
            "error: -7 error_message: \"unknown submit point no.point\" entry_error: -7 entry_error: -7 "
            "entry_error: -7 entry_error: -7");
  EXPECT_EQ(ask(w, "ConfigIF.BatchWriteReq", "name: 'Writer' role: kAdmin submit_name: 'test.submit'"),
            "error: -3");
  EXPECT_EQ(next(s, "", {}, 300), "");
}

}  // namespace
