// The write path with real clients: the order of callbacks, refusals and
// time-outs of validators, the writer's own notification, submit framing,
// and a client that reads and writes from inside its callback.
#include "platform/msgutil/msgIds.h"
#include "tests/config/cfgRecorder.h"
#include "tests/config/cfgTestFixture.h"

namespace {

class CfgWritePathTest : public CfgSrvTest {
 protected:
  void SetUp() override {
    CfgSrvTest::SetUp();
    startService();
    openLocal(w);
    ASSERT_TRUE(rec.start());
  }
  void TearDown() override {
    rec.stop();
    CfgSrvTest::TearDown();
  }
  // The kinds of the events recorded, as text, for one readable comparison.
  std::vector<std::string> kinds() {
    std::vector<std::string> out;
    for (const CfgEvent& e : rec.events()) out.push_back(describe(e));
    return out;
  }
  static std::string describe(const CfgEvent& e) {
    std::string v = e.values.empty() ? "" : e.values[0];
    switch (e.type) {
      case kMsgIdConfigIFDynamicValidateReq: return "validate " + e.var + "=" + v;
      case kMsgIdConfigIFOnChangeReq: return "onchange " + e.var + "=" + v;
      case kMsgIdConfigIFConfigChangedNtfy: return "changed " + e.var + "=" + v;
      case kMsgIdConfigIFSubmitNtfy: return std::string(e.submitType == 0 ? "start " : "end ") + e.var;
      default: return "type " + std::to_string(e.type);
    }
  }
  std::string valueOf(const std::string& name) {
    ConfigIF::ReadRsp r = read(w, name);
    return r.value_size() ? r.value(0) : "<none>";
  }

  const std::string w = "Writer";
  CfgRecorder rec{"SystemSrvc"};
};

TEST_F(CfgWritePathTest, ValidateThenOnChangeThenCommitThenNotifyEveryone) {
  const std::string r = rec.name();
  ASSERT_EQ(registerCb(r, "test.plain", ConfigIF::kDynamicValidator, 0, "ctx-v"), 0);
  ASSERT_EQ(registerCb(r, "test.plain", ConfigIF::kOnChange, 0, "ctx-o"), 0);
  ASSERT_EQ(registerCb(r, "test.plain", ConfigIF::kChangeNotify, 0, "ctx-n"), 0);
  ASSERT_EQ(registerCb(w, "test.plain", ConfigIF::kChangeNotify), 0);
  // The writer's own validator and on-change registrations are skipped.
  ASSERT_EQ(registerCb(w, "test.plain", ConfigIF::kDynamicValidator), 0);
  ASSERT_EQ(registerCb(w, "test.plain", ConfigIF::kOnChange), 0);

  // What the callbacks see stored: the old value until the commit.
  std::string seenInValidate, seenInChange;
  auto readPlain = [](CfgRecorder& self) {
    ConfigIF::ReadReq q;
    q.set_name(self.name());
    q.set_role(CommonIF::kSystem);
    q.mutable_instance()->add_node()->set_name("test.plain");
    ConfigIF::ReadRsp a;
    return self.request(q, &a) && a.value_size() ? a.value(0) : std::string("<failed>");
  };
  rec.onValidate = [&](CfgRecorder& self, const CfgEvent&, ConfigIF::ReturnMessage*) { seenInValidate = readPlain(self); };
  rec.onChange = [&](CfgRecorder& self, const CfgEvent&, ConfigIF::ReturnMessage*) { seenInChange = readPlain(self); };

  ConfigIF::WriteRsp wr = write(w, "test.plain", "new", 20);
  EXPECT_EQ(wr.error(), 0);
  EXPECT_FALSE(wr.reboot_required());
  ASSERT_TRUE(rec.waitEvents(3));
  EXPECT_EQ(kinds(), (std::vector<std::string>{"validate test.plain=new", "onchange test.plain=new",
                                               "changed test.plain=new"}));
  EXPECT_EQ(seenInValidate, "start");
  EXPECT_EQ(seenInChange, "start");
  std::vector<CfgEvent> ev = rec.events();
  EXPECT_EQ(ev[0].writer, w);
  EXPECT_EQ(ev[0].userContext, "ctx-v");
  EXPECT_EQ(ev[1].userContext, "ctx-o");
  EXPECT_EQ(ev[2].userContext, "ctx-n");

  // The writer hears about its own change, after its WriteRsp; it got no
  // callback.
  MSG_Message* n = MSG_RecvMsg(w.c_str(), kMsgIdConfigIFConfigChangedNtfy, 3000);
  ASSERT_NE(n, nullptr);
  ConfigIF::ConfigChangedNtfy ntfy;
  ASSERT_TRUE(ntfy.ParseFromArray(MSG_GetPayload(n), static_cast<int>(MSG_GetPayloadBytes(n))));
  MSG_ReleaseMsg(n);
  EXPECT_EQ(ntfy.instance_val().instance().node(0).name(), "test.plain");
  EXPECT_EQ(ntfy.instance_val().value(0), "new");
  EXPECT_EQ(ntfy.name(), w);
  EXPECT_EQ(ntfy.role(), CommonIF::kAdmin);
  EXPECT_EQ(MSG_RecvMsg(w.c_str(), kMsgIdConfigIFDynamicValidateReq, 200), nullptr);
  EXPECT_EQ(MSG_RecvMsg(w.c_str(), kMsgIdConfigIFOnChangeReq, 200), nullptr);
  EXPECT_EQ(valueOf("test.plain"), "new");
}

TEST_F(CfgWritePathTest, RegistrationForInstanceZeroCoversEveryInstance) {
  ASSERT_EQ(registerCb(rec.name(), "test.slots", ConfigIF::kChangeNotify), 0);
  ASSERT_EQ(registerCb(rec.name(), "test.other", ConfigIF::kChangeNotify, 0), 0);
  ASSERT_EQ(write(w, "test.slots", "d3", 20, 3).error(), 0);
  ASSERT_TRUE(rec.waitEvents(1));
  EXPECT_EQ(rec.events()[0].instance, 3);
  EXPECT_EQ(rec.events()[0].values, std::vector<std::string>{"d3"});
  // A write of the value already stored is still a change to report.
  ASSERT_EQ(write(w, "test.other", "x", 20).error(), 0);
  ASSERT_TRUE(rec.waitEvents(2));
  EXPECT_EQ(describe(rec.events()[1]), "changed test.other=x");
}

TEST_F(CfgWritePathTest, ValidatorRefusalRefusesTheWriteWithItsErrorAndMessages) {
  ASSERT_EQ(registerCb(rec.name(), "test.plain", ConfigIF::kDynamicValidator), 0);
  ASSERT_EQ(registerCb(rec.name(), "test.plain", ConfigIF::kOnChange), 0);
  ASSERT_EQ(registerCb(rec.name(), "test.plain", ConfigIF::kChangeNotify), 0);
  rec.onValidate = [](CfgRecorder&, const CfgEvent& e, ConfigIF::ReturnMessage* ret) {
    if (e.values[0] == "bad") {
      ret->set_error(-6);
      ret->add_error_message("not on this model");
      ret->add_error_message("second line");
    }
  };
  ConfigIF::WriteRsp wr = write(w, "test.plain", "bad", 20);
  EXPECT_EQ(wr.error(), -6);
  EXPECT_EQ(std::vector<std::string>(wr.error_message().begin(), wr.error_message().end()),
            (std::vector<std::string>{"not on this model", "second line"}));
  EXPECT_EQ(valueOf("test.plain"), "start");
  // Neither on-change nor a notification follows a refusal.
  EXPECT_FALSE(rec.waitEvents(2, 300));
  EXPECT_EQ(kinds(), std::vector<std::string>{"validate test.plain=bad"});

  // The same validator asking for a reboot.
  rec.onValidate = [](CfgRecorder&, const CfgEvent&, ConfigIF::ReturnMessage* ret) { ret->set_reboot_required(true); };
  wr = write(w, "test.plain", "good", 20);
  EXPECT_EQ(wr.error(), 0);
  EXPECT_TRUE(wr.reboot_required());
  EXPECT_EQ(valueOf("test.plain"), "good");
}

TEST_F(CfgWritePathTest, OnChangeRefusalAlsoRefuses) {
  ASSERT_EQ(registerCb(rec.name(), "test.other", ConfigIF::kOnChange), 0);
  rec.onChange = [](CfgRecorder&, const CfgEvent&, ConfigIF::ReturnMessage* ret) { ret->set_error(-4); };
  EXPECT_EQ(write(w, "test.other", "y", 20).error(), -4);
  EXPECT_EQ(valueOf("test.other"), "x");
}

TEST_F(CfgWritePathTest, SilentValidatorTimesOutAndOthersAreServedMeanwhile) {
  ASSERT_EQ(registerCb(rec.name(), "test.plain", ConfigIF::kDynamicValidator), 0);
  rec.silent = true;
  // A second client is served while the write waits for the validator.
  openLocal("Reader");
  std::atomic<long> readAtMs{-1};
  auto t0 = std::chrono::steady_clock::now();
  std::thread reader([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    if (read("Reader", "test.other").error() == 0) readAtMs = cfgMsSince(t0);
  });
  ConfigIF::WriteRsp wr = write(w, "test.plain", "late", 20);
  long took = cfgMsSince(t0);
  reader.join();
  EXPECT_EQ(wr.error(), -10);
  ASSERT_EQ(wr.error_message_size(), 1);
  EXPECT_EQ(wr.error_message(0), "SystemSrvc did not answer within 2000 ms");
  EXPECT_GE(took, 1900);
  EXPECT_LT(took, 15000);
  EXPECT_GE(readAtMs.load(), 0);
  EXPECT_LT(readAtMs.load(), took) << "the read waited for the write";
  EXPECT_EQ(valueOf("test.plain"), "start");
}

TEST_F(CfgWritePathTest, BatchForSubmitPointIsFramedByStartAndEnd) {
  ASSERT_EQ(registerCb(rec.name(), "test.submit", ConfigIF::kSubmit, 0, "net"), 0);
  ASSERT_EQ(registerCb(rec.name(), "test.plain", ConfigIF::kChangeNotify), 0);
  ASSERT_EQ(registerCb(rec.name(), "test.other", ConfigIF::kChangeNotify), 0);
  ConfigIF::BatchWriteReq b;
  b.set_name(w);
  b.set_role(CommonIF::kAdmin);
  b.set_submit_name("test.submit");
  for (auto [n, v] : {std::pair<const char*, const char*>{"test.plain", "p1"}, {"no.such", "z"}, {"test.other", "o1"},
                      {"test.colour", "Purple"}}) {
    ConfigIF::VarEntry* e = b.add_entry();
    e->set_name(n);
    e->add_value(v);
  }
  ConfigIF::BatchWriteRsp br;
  ASSERT_TRUE(call(w, b, &br));
  EXPECT_EQ(br.error(), -7);
  EXPECT_EQ(std::vector<int>(br.entry_error().begin(), br.entry_error().end()), (std::vector<int>{0, -7, 0, -3}));
  ASSERT_TRUE(rec.waitEvents(4));
  EXPECT_EQ(kinds(), (std::vector<std::string>{"start test.submit", "changed test.plain=p1", "changed test.other=o1",
                                               "end test.submit"}));
  EXPECT_EQ(rec.events()[0].userContext, "net");
  EXPECT_EQ(valueOf("test.plain"), "p1");
  EXPECT_EQ(valueOf("test.other"), "o1");

  b.set_submit_name("no.such.point");
  ASSERT_TRUE(call(w, b, &br));
  EXPECT_EQ(br.error(), -7);
  b.clear_entry();
  b.set_submit_name("test.submit");
  ASSERT_TRUE(call(w, b, &br));
  EXPECT_EQ(br.error(), -3);
  EXPECT_FALSE(rec.waitEvents(5, 300)) << "refused batches send no framing";
}

// The system service reads and writes synchronously from inside its
// callback handlers; the service must go on serving it while it waits for
// the callback's answer.
TEST_F(CfgWritePathTest, ClientReadsAndWritesFromInsideItsOnChangeHandler) {
  ASSERT_EQ(registerCb(rec.name(), "test.plain", ConfigIF::kOnChange), 0);
  ASSERT_EQ(registerCb(rec.name(), "test.plain", ConfigIF::kDynamicValidator), 0);
  ASSERT_EQ(registerCb(w, "test.third", ConfigIF::kChangeNotify), 0);
  int readErr = 1, writeErr = 1;
  std::string readValue;
  rec.onChange = [&](CfgRecorder& self, const CfgEvent& e, ConfigIF::ReturnMessage*) {
    ConfigIF::ReadReq q;
    q.set_name(self.name());
    q.set_role(CommonIF::kSystem);
    q.mutable_instance()->add_node()->set_name("test.other");
    ConfigIF::ReadRsp a;
    if (self.request(q, &a)) {
      readErr = a.error();
      readValue = a.value_size() ? a.value(0) : "";
    }
    ConfigIF::WriteReq wq;
    wq.set_name(self.name());
    wq.set_role(CommonIF::kSystem);
    wq.mutable_instance_val()->mutable_instance()->add_node()->set_name("test.third");
    wq.mutable_instance_val()->add_value("derived-from-" + e.values[0]);
    ConfigIF::WriteRsp wa;
    if (self.request(wq, &wa)) writeErr = wa.error();
  };
  // A service that blocked would time the callback out (-10) and the
  // handler's own requests would get no answer.
  ConfigIF::WriteRsp wr = write(w, "test.plain", "trigger", 20);
  EXPECT_EQ(wr.error(), 0);
  EXPECT_EQ(readErr, 0);
  EXPECT_EQ(readValue, "x");
  EXPECT_EQ(writeErr, 0);
  EXPECT_EQ(valueOf("test.third"), "derived-from-trigger");
  EXPECT_EQ(valueOf("test.plain"), "trigger");
  MSG_Message* n = MSG_RecvMsg(w.c_str(), kMsgIdConfigIFConfigChangedNtfy, 3000);
  ASSERT_NE(n, nullptr);
  MSG_ReleaseMsg(n);
}

}  // namespace
