// Change dispatcher: the language reset after a software update (common
// tail T2), over the generic send-and-wait as kAdmin, and the tail's place
// after the rows.
#include <string>
#include <vector>

#include "platform/msgutil/msgIds.h"
#include "tests/systemservice/test_notify_fixture.h"

namespace {

using std::string;
using Strings = std::vector<string>;

void addLanguageNodes(ConfigIF::Inst* inst) {
  ConfigIF::Node* n = inst->add_node();
  n->set_name("location");
  n->set_instance(0);
  n = inst->add_node();
  n->set_name("language");
  n->set_instance(0);
}

string langRead() {
  ConfigIF::ReadReq r;
  r.set_name("SystemSrvc");
  r.set_role(kAdmin);
  addLanguageNodes(r.mutable_instance());
  return cfgDescribe(r);
}

string langDefaults() {
  ConfigIF::GetDefaultOptionsReq r;
  r.set_name("SystemSrvc");
  r.set_role(kAdmin);
  r.set_variable_name("location.language");
  return cfgDescribe(r);
}

string langSetOptions(const Strings& options) {
  ConfigIF::SetAttributeOptionsReq r;
  r.set_name("SystemSrvc");
  r.set_role(kAdmin);
  addLanguageNodes(r.mutable_instance());
  for (const string& o : options) r.add_node_options(o);
  return cfgDescribe(r);
}

string langWrite(const string& value) {
  ConfigIF::WriteReq r;
  r.set_name("SystemSrvc");
  r.set_role(kAdmin);
  addLanguageNodes(r.mutable_instance_val()->mutable_instance());
  r.mutable_instance_val()->add_value(value);
  return cfgDescribe(r);
}

const Strings kNewLanguages = {"ENGLISHUS", "NORSK", "DEUTSCH"};

TEST_F(NotifyTest, LanguageResetKeepsAnOfferedLanguage) {
  cfg().set("location.language", "NORSK");
  cfg().setDefaultOptions(kNewLanguages);
  notify("softupdate.dirtybit", "True");
  EXPECT_EQ(commands(), (Strings{"./clear-language-files\n"}));
  EXPECT_EQ(cfg().requests(), (Strings{langRead(), langDefaults(), langSetOptions(kNewLanguages)}));
  EXPECT_EQ(cfg().get("location.language"), "NORSK");
  // The tail runs after the (unrouted) name reached the log-space row.
  EXPECT_EQ(trace(), (Strings{"update_logspace_management(softupdate.dirtybit,True)"}));
}

TEST_F(NotifyTest, LanguageResetFallsBackToEnglishWhenTheLanguageIsGone) {
  cfg().set("location.language", "KLINGON");
  cfg().setDefaultOptions(kNewLanguages);
  notify("softupdate.dirtybit", "True");
  EXPECT_EQ(cfg().requests(),
            (Strings{langRead(), langDefaults(), langSetOptions(kNewLanguages), langWrite("ENGLISHUS")}));
  EXPECT_EQ(cfg().get("location.language"), "ENGLISHUS");
  EXPECT_TRUE(logged(7, "current language is: KLINGON, set default language: ENGLISHUS"));
}

TEST_F(NotifyTest, LanguageResetOnlyForExactTrue) {
  cfg().setDefaultOptions(kNewLanguages);
  for (const char* v : {"true", "False", "TRUE", ""}) {
    forget();
    notify("softupdate.dirtybit", v);
    EXPECT_EQ(commands(), Strings{}) << v;
    EXPECT_EQ(cfg().requests(), Strings{}) << v;
  }
}

TEST_F(NotifyTest, LanguageResetErrorsAreLoggedAndEnglishIsWritten) {
  cfg().set("location.language", "NORSK");
  cfg().setDefaultOptions(kNewLanguages);
  cfg().answerError(kMsgIdConfigIFReadReq, -8);
  cfg().answerError(kMsgIdConfigIFGetDefaultOptionsReq, -7);
  cfg().answerError(kMsgIdConfigIFWriteReq, -4);
  notify("softupdate.dirtybit", "True");
  EXPECT_TRUE(logged(3, "get current language error: -8"));
  EXPECT_TRUE(logged(3, "get default option list error: -7"));
  EXPECT_TRUE(logged(3, "language list is empty"));
  EXPECT_TRUE(logged(7, "current language is: , set default language: ENGLISHUS"));
  EXPECT_TRUE(logged(3, "set language error:-4"));
  EXPECT_EQ(cfg().requests(), (Strings{langRead(), langDefaults(), langWrite("ENGLISHUS")}));
}

TEST_F(NotifyTest, LanguageResetSetOptionsErrorIsLogged) {
  cfg().set("location.language", "DEUTSCH");
  cfg().setDefaultOptions(kNewLanguages);
  cfg().answerError(kMsgIdConfigIFSetAttributeOptionsReq, -3);
  notify("softupdate.dirtybit", "True");
  EXPECT_TRUE(logged(3, "set language option list error: 0, setAttrOptReq error:-3"));
  EXPECT_EQ(cfg().requests(), (Strings{langRead(), langDefaults(), langSetOptions(kNewLanguages)}));
}

TEST_F(NotifyTest, LanguageResetWithoutAnswersGivesUpAfterFiveSecondsEach) {
  cfg().set("location.language", "NORSK");
  cfg().noAnswer(kMsgIdConfigIFReadReq);
  cfg().noAnswer(kMsgIdConfigIFGetDefaultOptionsReq);
  cfg().noAnswer(kMsgIdConfigIFWriteReq);
  notify("softupdate.dirtybit", "True");
  EXPECT_TRUE(logged(3, "get current language request error: -1"));
  EXPECT_TRUE(logged(3, "get default option list request error: -1"));
  EXPECT_TRUE(logged(3, "language list is empty"));
  EXPECT_TRUE(logged(3, "set language error:-1"));
  EXPECT_EQ(cfg().requests(), (Strings{langRead(), langDefaults(), langWrite("ENGLISHUS")}));
}

}  // namespace
