// The write path with real clients: the order of callbacks, refusals and
// time-outs, the writer's own notification, submit framing, and a client
// that reads and writes from inside its callback.
#include <thread>

#include "platform/msgutil/msgIds.h"
#include "tests/tools/configsrvc/cfgRecorder.h"
#include "tests/tools/configsrvc/cfgTestFixture.h"

namespace {

using Kinds = std::vector<std::string>;

class CfgWritePathTest : public CfgSrvTest {
 protected:
  void SetUp() override {
    CfgSrvTest::SetUp();
    openLocal(w);
    ASSERT_TRUE(rec.start());
  }
  void TearDown() override {
    rec.stop();
    CfgSrvTest::TearDown();
  }
  // `self` reads `name` from inside a callback.
  static std::string readFrom(CfgRecorder& self, const std::string& name) {
    ConfigIF::ReadReq q;
    q.set_name(self.name());
    q.set_role(CommonIF::kSystem);
    *q.mutable_instance() = cfgInst(name);
    ConfigIF::ReadRsp a;
    return self.request(q, &a) && a.value_size() ? a.value(0) : "<failed>";
  }

  const std::string w = "Writer";
  CfgRecorder rec{"SystemSrvc"};
};

TEST_F(CfgWritePathTest, ValidateThenOnChangeThenCommitThenNotifyEveryone) {
  startService();
  const std::string r = rec.name();
  ASSERT_EQ(registerCb(r, "test.plain", ConfigIF::kDynamicValidator, "ctx-v"), 0);
  ASSERT_EQ(registerCb(r, "test.plain", ConfigIF::kOnChange, "ctx-o"), 0);
  ASSERT_EQ(registerCb(r, "test.plain", ConfigIF::kChangeNotify, "ctx-n"), 0);
  ASSERT_EQ(registerCb(r, "test.slots", ConfigIF::kChangeNotify), 0);
  // The writer's own validator and on-change registrations are skipped.
  for (int type : {ConfigIF::kChangeNotify, ConfigIF::kDynamicValidator, ConfigIF::kOnChange}) {
    ASSERT_EQ(registerCb(w, "test.plain", type), 0);
  }
  // What the callbacks see stored: the old value until the commit.
  std::string seenInValidate, seenInChange;
  rec.onValidate = [&](CfgRecorder& self, const CfgEvent&, ConfigIF::ReturnMessage*) {
    seenInValidate = readFrom(self, "test.plain");
  };
  rec.onChange = [&](CfgRecorder& self, const CfgEvent&, ConfigIF::ReturnMessage*) {
    seenInChange = readFrom(self, "test.plain");
  };
  ConfigIF::WriteRsp wr = write(w, "test.plain", "new");
  EXPECT_EQ(wr.ShortDebugString(), "error: 0 reboot_required: false");
  // A registration for instance 0 covers every instance; a write of the
  // value already stored is still a change to report.
  ASSERT_EQ(write(w, "test.slots", "", 20, 3).error(), 0);
  ASSERT_TRUE(rec.waitEvents(4));
  EXPECT_EQ(rec.kinds(), (Kinds{"validate test.plain=new", "onchange test.plain=new", "changed test.plain=new",
                                "changed test.slots="}));
  EXPECT_EQ(seenInValidate, "start");
  EXPECT_EQ(seenInChange, "start");
  std::vector<CfgEvent> ev = rec.events();
  EXPECT_EQ(ev[0].writer, w);
  EXPECT_EQ(ev[0].userContext + ev[1].userContext + ev[2].userContext, "ctx-vctx-octx-n");
  EXPECT_EQ(ev[3].instance, 3);

  // The writer hears about its own change, after its WriteRsp; it got no
  // callback.
  MSG_Message* n = MSG_RecvMsg(w.c_str(), kMsgIdConfigIFConfigChangedNtfy, 3000);
  ASSERT_NE(n, nullptr);
  ConfigIF::ConfigChangedNtfy ntfy;
  ASSERT_TRUE(ntfy.ParseFromArray(MSG_GetPayload(n), static_cast<int>(MSG_GetPayloadBytes(n))));
  MSG_ReleaseMsg(n);
  EXPECT_EQ(ntfy.ShortDebugString(),
            "instance_val { instance { node { name: \"test.plain\" instance: 0 } } value: \"new\" } name: \"Writer\" "
            "role: kAdmin user_context: \"\"");
  EXPECT_EQ(MSG_RecvMsg(w.c_str(), kMsgIdConfigIFDynamicValidateReq, 100), nullptr);
  EXPECT_EQ(MSG_RecvMsg(w.c_str(), kMsgIdConfigIFOnChangeReq, 100), nullptr);
}

// A refusal by the validator or the on-change client refuses the write with
// the client's error and messages; nothing follows it.
TEST_F(CfgWritePathTest, RefusalsAndRebootRequests) {
  startService();
  for (int type : {ConfigIF::kDynamicValidator, ConfigIF::kOnChange, ConfigIF::kChangeNotify}) {
    ASSERT_EQ(registerCb(rec.name(), "test.plain", type), 0);
  }
  rec.onValidate = [](CfgRecorder&, const CfgEvent& e, ConfigIF::ReturnMessage* ret) {
    if (e.what == "validate test.plain=bad") {
      ret->set_error(-6);
      ret->add_error_message("not on this model");
      ret->add_error_message("second line");
    }
    ret->set_reboot_required(e.what == "validate test.plain=good");
  };
  rec.onChange = [](CfgRecorder&, const CfgEvent& e, ConfigIF::ReturnMessage* ret) {
    if (e.what == "onchange test.plain=busy") ret->set_error(-4);
  };
  EXPECT_EQ(write(w, "test.plain", "bad").ShortDebugString(),
            "error: -6 reboot_required: false error_message: \"not on this model\" error_message: \"second line\"");
  EXPECT_EQ(write(w, "test.plain", "busy").error(), -4);
  EXPECT_EQ(valueOf(w, "test.plain"), "start");
  EXPECT_EQ(write(w, "test.plain", "good").ShortDebugString(), "error: 0 reboot_required: true");
  ASSERT_TRUE(rec.waitEvents(6));
  EXPECT_EQ(rec.kinds(), (Kinds{"validate test.plain=bad", "validate test.plain=busy", "onchange test.plain=busy",
                                "validate test.plain=good", "onchange test.plain=good", "changed test.plain=good"}));
}

// A client that takes a while (a daemon validating on a slow disk makes
// many round trips of its own first) is waited for up to the callback
// time-out, 10 s unless --callback-timeout says otherwise; meanwhile the
// service serves everyone else.
TEST_F(CfgWritePathTest, CallbackTimeOutIsASetting) {
  struct Case {
    std::vector<std::string> args;
    int answerAfterMs;
    std::string reply;
    std::string stored;
  } cases[] = {
      {{}, 2500, "error: 0 reboot_required: false", "v2500"},
      {{"--callback-timeout=2000"}, 100, "error: 0 reboot_required: false", "v100"},
      {{"--callback-timeout", "300"}, 600,
       "error: -10 reboot_required: false error_message: \"SystemSrvc did not answer within 300 ms\"", "v100"},
  };
  openLocal("Reader");
  std::atomic<int> answerAfterMs{0};
  std::atomic<bool> readMeanwhile{false};
  rec.onValidate = [&](CfgRecorder&, const CfgEvent&, ConfigIF::ReturnMessage*) {
    readMeanwhile = read("Reader", "test.other").error() == 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(answerAfterMs));
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answerAfterMs);
    startService(c.args);
    ASSERT_EQ(registerCb(rec.name(), "test.plain", ConfigIF::kDynamicValidator), 0);
    answerAfterMs = c.answerAfterMs;
    readMeanwhile = false;
    EXPECT_EQ(write(w, "test.plain", "v" + std::to_string(c.answerAfterMs)).ShortDebugString(), c.reply);
    EXPECT_TRUE(readMeanwhile);
    EXPECT_EQ(valueOf(w, "test.plain"), c.stored);
    killService();
  }
  rec.stop();  // the last, late answer is given before the locals go
  EXPECT_EQ(ctlRun({"--db", m_db, "--callback-timeout", "0"}, CFG_TEST_CONFIGSRVC).err,
            "configsrvc: bad --callback-timeout '0' (1 to 600000 ms)\n");
}

TEST_F(CfgWritePathTest, BatchForSubmitPointIsFramedByStartAndEnd) {
  startService();
  ASSERT_EQ(registerCb(rec.name(), "test.submit", ConfigIF::kSubmit, "net"), 0);
  ASSERT_EQ(registerCb(rec.name(), "test.plain", ConfigIF::kChangeNotify), 0);
  ASSERT_EQ(registerCb(rec.name(), "test.other", ConfigIF::kChangeNotify), 0);
  const std::string entries =
      "entry { name: 'test.plain' value: 'p1' } entry { name: 'no.such' value: 'z' } "
      "entry { name: 'test.other' value: 'o1' } entry { name: 'test.colour' value: 'Purple' }";
  EXPECT_EQ(ask(w, "ConfigIF.BatchWriteReq", "name: 'Writer' role: kAdmin submit_name: 'test.submit' " + entries),
            "error: -7 reboot_required: false entry_error: 0 entry_error: -7 entry_error: 0 entry_error: -3");
  ASSERT_TRUE(rec.waitEvents(4));
  EXPECT_EQ(rec.kinds(), (Kinds{"start test.submit", "changed test.plain=p1", "changed test.other=o1",
                                "end test.submit"}));
  EXPECT_EQ(rec.events()[0].userContext, "net");
  EXPECT_EQ(valueOf(w, "test.other"), "o1");
  // Refused batches send no framing.
  EXPECT_EQ(ask(w, "ConfigIF.BatchWriteReq", "name: 'Writer' role: kAdmin submit_name: 'no.point' " + entries),
            "error: -7 error_message: \"unknown submit point no.point\" entry_error: -7 entry_error: -7 "
            "entry_error: -7 entry_error: -7");
  EXPECT_EQ(ask(w, "ConfigIF.BatchWriteReq", "name: 'Writer' role: kAdmin submit_name: 'test.submit'"),
            "error: -3");
  EXPECT_FALSE(rec.waitEvents(5, 300));
}

// The system service reads and writes synchronously from inside its
// callback handlers; the service must go on serving it while it waits for
// the callback's answer.
TEST_F(CfgWritePathTest, ClientReadsAndWritesFromInsideItsOnChangeHandler) {
  startService();
  ASSERT_EQ(registerCb(rec.name(), "test.plain", ConfigIF::kOnChange), 0);
  int writeErr = 1;
  std::string readValue;
  rec.onChange = [&](CfgRecorder& self, const CfgEvent&, ConfigIF::ReturnMessage*) {
    readValue = readFrom(self, "test.other");
    ConfigIF::WriteReq wq;
    wq.set_name(self.name());
    wq.set_role(CommonIF::kSystem);
    *wq.mutable_instance_val()->mutable_instance() = cfgInst("test.third");
    wq.mutable_instance_val()->add_value("derived");
    ConfigIF::WriteRsp wa;
    if (self.request(wq, &wa)) writeErr = wa.error();
  };
  EXPECT_EQ(write(w, "test.plain", "trigger").error(), 0);
  EXPECT_EQ(readValue, "x");
  EXPECT_EQ(writeErr, 0);
  EXPECT_EQ(valueOf(w, "test.third"), "derived");
  EXPECT_EQ(valueOf(w, "test.plain"), "trigger");
}

}  // namespace
