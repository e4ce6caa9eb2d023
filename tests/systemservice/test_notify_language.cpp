// Change dispatcher: the language reset after a software update, over the
// generic send-and-wait as kAdmin.
#include "tests/systemservice/test_notify_fixture.h"

namespace {

using std::string;

// These requests are the language reset's own, as kAdmin and with the
// variable as two nodes: compared in full, as the fake describes them.
string head(const char* type) { return type + string(" {name: \"SystemSrvc\" role: kAdmin"); }
const string kNodes = "node { name: \"location\" instance: 0 } node { name: \"language\" instance: 0 }";
const string kRead = head("ReadReq") + " instance { " + kNodes + " }}";
const string kDefaults = head("GetDefaultOptionsReq") + " variable_name: \"location.language\"}";
const string kSetOptions = head("SetAttributeOptionsReq") + " instance { " + kNodes +
                           " } node_options: \"ENGLISHUS\" node_options: \"NORSK\" node_options: \"DEUTSCH\"}";
const string kWrite = head("WriteReq") + " instance_val { instance { " + kNodes + " } value: \"ENGLISHUS\" }}";

Strings described(const FakeConfigSrvc& fake) {
  Strings out;
  for (const CfgRequest& r : fake.requests()) out.push_back(cfgDescribe(r));
  return out;
}

// Each row's failures stay for the rows after it: the options refused, then
// every exchange answered with an error, then unanswered (the one test that
// waits one out, five seconds) or unparsable. Only an offered language
// that could be read is kept.
TEST_F(NotifyTest, LanguageResetKeepsAnOfferedLanguageElseWritesEnglishWhateverFails) {
  peer().setDefaultOptions({"ENGLISHUS", "NORSK", "DEUTSCH"});
  using Fail = void (*)(FakeConfigSrvc&);
  const struct { const char* current; Fail fail; Strings requests, errors; const char* read; } rows[] = {
      {"NORSK", [](FakeConfigSrvc&) {}, {kRead, kDefaults, kSetOptions}, {}, nullptr},
      {"KLINGON", [](FakeConfigSrvc& p) { p.answerError(kMsgIdConfigIFSetAttributeOptionsReq, -3); },
       {kRead, kDefaults, kSetOptions, kWrite}, {"set language option list error: 0, setAttrOptReq error:-3"}, "KLINGON"},
      {"NORSK", [](FakeConfigSrvc& p) { p.answerError(kMsgIdConfigIFReadReq, -8); p.answerError(kMsgIdConfigIFWriteReq, -4);
                                        p.answerError(kMsgIdConfigIFGetDefaultOptionsReq, -7); },
       {kRead, kDefaults, kWrite}, {"get current language error: -8", "get default option list error: -7",
                                    "language list is empty", "set language error:-4"}, ""},
      {"NORSK", [](FakeConfigSrvc& p) { p.noAnswer(kMsgIdConfigIFReadReq); p.unparsable(kMsgIdConfigIFWriteReq);
                                        p.unparsable(kMsgIdConfigIFGetDefaultOptionsReq); },
       {kRead, kDefaults, kWrite}, {"get current language request error: -1", "get default option list request error: -1",
                                    "language list is empty", "set language error:-1"}, ""}};
  for (const auto& r : rows) {
    SCOPED_TRACE(&r - rows);
    peer().set("location.language", r.current);
    r.fail(peer());
    forget();
    notify("softupdate.dirtybit", "True");
    EXPECT_EQ(actions(), (Strings{"./clear-language-files\n"}));
    EXPECT_EQ(described(peer()), r.requests);
    for (const string& line : r.errors) EXPECT_EQ(logged(3, line + "\n"), 1) << line;
    // Only these errors, besides the message layer's own.
    EXPECT_EQ(logged(3, "") - logged(3, "message: "), static_cast<int>(r.errors.size())) << logBytes();
    const string read = r.read ? r.read : r.current;
    EXPECT_EQ(logged(7, "current language is: " + read + ", set default language: ENGLISHUS\n"), r.read ? 1 : 0);
  }
}

ConfigIF::ReadReq readOf(const char* name) {
  ConfigIF::ReadReq req;
  ConfigIF::Node* node = req.mutable_instance()->add_node();
  node->set_name(name);
  node->set_instance(0);
  return req;
}

// An answer that arrives after its call gave up is not taken by the next call.
TEST_F(NotifyTest, SendAndWaitTakesOnlyTheAnswerToItsOwnRequest) {
  peer().set("first.var", "first");
  peer().set("second.var", "second");
  // The first answer comes 400 ms after its request, between the second
  // request (at 200 ms) and the second answer (at 500 ms).
  peer().answerLate(kMsgIdConfigIFReadReq, 400, "first.var");
  peer().answerLate(kMsgIdConfigIFReadReq, 300, "second.var");
  ConfigIF::ReadRsp rsp;
  EXPECT_EQ(syssrvMessageSendWaitResponse(readOf("first.var"), &rsp, "ConfigSrvc", 200), -1);
  ASSERT_EQ(syssrvMessageSendWaitResponse(readOf("second.var"), &rsp, "ConfigSrvc", 1000), 0);
  ASSERT_EQ(rsp.value_size(), 1);
  EXPECT_EQ(rsp.value(0), "second");
}

}  // namespace
