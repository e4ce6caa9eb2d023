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

TEST_F(NotifyTest, LanguageResetKeepsAnOfferedLanguageElseFallsBackToEnglish) {
  peer().setDefaultOptions({"ENGLISHUS", "NORSK", "DEUTSCH"});
  for (const char* current : {"NORSK", "KLINGON"}) {
    SCOPED_TRACE(current);
    forget();
    peer().set("location.language", current);
    if (string(current) == "KLINGON") peer().answerError(kMsgIdConfigIFSetAttributeOptionsReq, -3);
    notify("softupdate.dirtybit", "True");
    EXPECT_EQ(actions(), (Strings{"./clear-language-files\n"}));
    const bool offered = string(current) == "NORSK";
    Strings want = {kRead, kDefaults, kSetOptions};
    if (!offered) want.push_back(kWrite);
    EXPECT_EQ(described(peer()), want);
    EXPECT_EQ(logged(7, "current language is: " + string(current) + ", set default language: ENGLISHUS\n"), offered ? 0 : 1);
    EXPECT_EQ(logged(3, "set language option list error: 0, setAttrOptReq error:-3\n"), offered ? 0 : 1);
  }
}

TEST_F(NotifyTest, LanguageResetErrorsAreLoggedAndEnglishIsWritten) {
  peer().set("location.language", "NORSK");
  peer().setDefaultOptions({"ENGLISHUS", "NORSK", "DEUTSCH"});
  peer().answerError(kMsgIdConfigIFReadReq, -8);
  peer().answerError(kMsgIdConfigIFGetDefaultOptionsReq, -7);
  peer().answerError(kMsgIdConfigIFWriteReq, -4);
  notify("softupdate.dirtybit", "True");
  for (const char* line : {"get current language error: -8", "get default option list error: -7",
                           "language list is empty", "set language error:-4"}) {
    EXPECT_EQ(logged(3, line + string("\n")), 1) << line;
  }
  EXPECT_EQ(logged(7, "current language is: , set default language: ENGLISHUS\n"), 1);
  EXPECT_EQ(described(peer()), (Strings{kRead, kDefaults, kWrite}));
}

// The one test that waits out an unanswered exchange (five seconds).
TEST_F(NotifyTest, LanguageResetGoesOnAfterFailedExchanges) {
  peer().set("location.language", "NORSK");
  peer().noAnswer(kMsgIdConfigIFReadReq);
  peer().unparsable(kMsgIdConfigIFGetDefaultOptionsReq);
  peer().unparsable(kMsgIdConfigIFWriteReq);
  notify("softupdate.dirtybit", "True");
  for (const char* line : {"get current language request error: -1", "get default option list request error: -1",
                           "set language error:-1"}) {
    EXPECT_EQ(logged(3, line + string("\n")), 1) << line;
  }
  EXPECT_EQ(described(peer()), (Strings{kRead, kDefaults, kWrite}));
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
