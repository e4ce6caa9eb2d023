// Change dispatcher: the language reset after a software update, over the
// generic send-and-wait as kAdmin.
#include <string>

#include "ConfigIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "systemservice/syssrvMessage.h"
#include "tests/systemservice/test_notify_fixture.h"

namespace {

using std::string;

const string kNodes = "node { name: \"location\" instance: 0 } node { name: \"language\" instance: 0 }";
const string kRead = head("ReadReq", "kAdmin") + " instance { " + kNodes + " }}";
const string kDefaults = head("GetDefaultOptionsReq", "kAdmin") + " variable_name: \"location.language\"}";
const string kSetOptions = head("SetAttributeOptionsReq", "kAdmin") + " instance { " + kNodes +
                           " } node_options: \"ENGLISHUS\" node_options: \"NORSK\" node_options: \"DEUTSCH\"}";
const string kWrite = head("WriteReq", "kAdmin") + " instance_val { instance { " + kNodes + " } value: \"ENGLISHUS\" }}";

TEST_F(NotifyTest, LanguageResetKeepsAnOfferedLanguageElseFallsBackToEnglish) {
  cfg().setDefaultOptions({"ENGLISHUS", "NORSK", "DEUTSCH"});
  for (const char* current : {"NORSK", "KLINGON"}) {
    SCOPED_TRACE(current);
    forget();
    cfg().set("location.language", current);
    if (string(current) == "KLINGON") cfg().answerError(kMsgIdConfigIFSetAttributeOptionsReq, -3);
    notify("softupdate.dirtybit", "True");
    EXPECT_EQ(actions(), (Strings{"./clear-language-files\n"}));
    const bool offered = string(current) == "NORSK";
    Strings want = {kRead, kDefaults, kSetOptions};
    if (!offered) want.push_back(kWrite);
    EXPECT_EQ(requests(), want);
    EXPECT_EQ(logged(7, "current language is: " + string(current) + ", set default language: ENGLISHUS"), !offered);
    EXPECT_EQ(logged(3, "set language option list error: 0, setAttrOptReq error:-3"), !offered);
  }
}

TEST_F(NotifyTest, LanguageResetErrorsAreLoggedAndEnglishIsWritten) {
  cfg().set("location.language", "NORSK");
  cfg().setDefaultOptions({"ENGLISHUS", "NORSK", "DEUTSCH"});
  cfg().answerError(kMsgIdConfigIFReadReq, -8);
  cfg().answerError(kMsgIdConfigIFGetDefaultOptionsReq, -7);
  cfg().answerError(kMsgIdConfigIFWriteReq, -4);
  notify("softupdate.dirtybit", "True");
  for (const char* line : {"get current language error: -8", "get default option list error: -7",
                           "language list is empty", "set language error:-4"}) {
    EXPECT_TRUE(logged(3, line)) << line;
  }
  EXPECT_TRUE(logged(7, "current language is: , set default language: ENGLISHUS"));
  EXPECT_EQ(requests(), (Strings{kRead, kDefaults, kWrite}));
}

// The one test that waits out an unanswered exchange (five seconds).
TEST_F(NotifyTest, LanguageResetGoesOnAfterFailedExchanges) {
  cfg().set("location.language", "NORSK");
  cfg().noAnswer(kMsgIdConfigIFReadReq);
  cfg().unparsable(kMsgIdConfigIFGetDefaultOptionsReq);
  cfg().unparsable(kMsgIdConfigIFWriteReq);
  notify("softupdate.dirtybit", "True");
  for (const char* line : {"get current language request error: -1", "get default option list request error: -1"}) {
    EXPECT_TRUE(logged(3, line)) << line;
  }
  EXPECT_EQ(requests(), (Strings{kRead, kDefaults, kWrite}));
}

}  // namespace

namespace {

ConfigIF::ReadReq readOf(const char* name) {
  ConfigIF::ReadReq req;
  ConfigIF::Node* node = req.mutable_instance()->add_node();
  node->set_name(name);
  node->set_instance(0);
  return req;
}

}  // namespace

// An answer that arrives after its call gave up is not taken by the next call.
TEST_F(NotifyTest, SendAndWaitTakesOnlyTheAnswerToItsOwnRequest) {
  cfg().set("first.var", "first");
  cfg().set("second.var", "second");
  // The first answer comes 400 ms after its request, between the second
  // request (at 200 ms) and the second answer (at 500 ms).
  cfg().answerLate(kMsgIdConfigIFReadReq, 400, "first.var");
  cfg().answerLate(kMsgIdConfigIFReadReq, 300, "second.var");
  ConfigIF::ReadRsp rsp;
  EXPECT_EQ(syssrvMessageSendWaitResponse(readOf("first.var"), &rsp, "ConfigSrvc", 200), -1);
  ASSERT_EQ(syssrvMessageSendWaitResponse(readOf("second.var"), &rsp, "ConfigSrvc", 1000), 0);
  ASSERT_EQ(rsp.value_size(), 1);
  EXPECT_EQ(rsp.value(0), "second");
}
