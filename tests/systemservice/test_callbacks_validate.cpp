// Dynamic validation: who may change the modular-room mode, what secondary
// mode turns off and backs up, what "Disabled" restores, and the answers.
#include "systemservice/syssrvCallbacks.h"
#include "systemservice/syssrvMessage.h"
#include "tests/systemservice/test_callbacks_peer.h"

namespace {

using std::string;
using std::vector;

const char kMode[] = "system.modularroom.mode";

class ValidateTest : public CfgTest {
 protected:
  string verdict(const string& name, const string& value, int instance = 0) {
    return validate(name, value, instance).SerializeAsString();
  }
};

TEST_F(ValidateTest, ModularRoomNeedsACapableModelFromVersion20OrDeveloperFeatures) {
  struct Row { eModelT model; const char* hw; bool dev; bool allowed; };
  const Row rows[] = {
      {kCedar110, "21", false, true}, {kLumenPro, "99", false, true}, {kCedar100, "99", false, false},
      {kAspen, "99", false, false},   {kCedar100, "", true, true},
      {kCedar, "100000000000000", false, true},  // cut at 14 digits, still far above 19
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.model) + "/" + r.hw);
    eModel = r.model;
    m_bDevfeatures = r.dev;
    peer().set("system.info.hardwareversion", r.hw);
    EXPECT_EQ(verdict(kMode, "Primary"), r.allowed ? retBytes(0, true) : retBytes(-6, false));
  }
  forget();
  eModel = kCedar;
  m_bDevfeatures = false;
  peer().set("system.info.hardwareversion", "19");
  EXPECT_EQ(verdict(kMode, "Secondary"), retBytes(-6, false));
  EXPECT_EQ(sent(), (vector<string>{"read system.info.hardwareversion"}));
  const string v = "(config_dynamic_validate) var system.modularroom.mode, val Secondary";
  EXPECT_EQ(logLines(), (vector<string>{line(7, v), line(7, v + " not allowed for Model, 4 eModel, HWVer=19"),
                                        line(4, "(config_dynamic_validate) failed validation var "
                                                "system.modularroom.mode, val Secondary, err ")}));
}

TEST_F(ValidateTest, SecondaryTurnsFeaturesOffAndBacksUpPpcip) {
  eModel = kCedar;
  peer().set("system.info.hardwareversion", "20");
  peer().set("system.ppcipenabled", "True");
  EXPECT_EQ(verdict(kMode, "Secondary"), retBytes(0, true));
  vector<string> want = {"read system.info.hardwareversion"};
  for (const char* off : {"security.remoteaccess.telnet.enabled", "cal.enabled", "dir.globalserver=disabled",
                          "uicontrol.apps.lumenboard.enabled", "security.remoteaccess.permanentpairing.enabled",
                          "security.remoteaccess.ssh.enabled", "security.remoteaccess.sshservice.enabled",
                          "management.snmp.enabled", "system.sleeptimeout=0", "softupdate.pollingenabled"}) {
    want.push_back("write " + string(off) + (string(off).find('=') == string::npos ? "=false" : "") + " as 30");
  }
  want.insert(want.end(), {"read system.ppcipenabled", "write system.ppcipenabled_BACKUP=True as 30",
                           "write system.ppcipenabled=False as 30",
                           "write uicontrol.apps.home.office365uienabled=false as 30"});
  EXPECT_EQ(sent(), want);
  EXPECT_TRUE(logged(7, "(write_and_backup_config) changing system.ppcipenabled to False and backing up True",
                     "message"));

  // The switch back restores the value kept before.
  forget();
  EXPECT_EQ(verdict(kMode, "Disabled"), retBytes(0, true));
  EXPECT_EQ(sent(), (vector<string>{"read system.info.hardwareversion", "read system.ppcipenabled_BACKUP",
                                    "write system.ppcipenabled=True as 30"}));
  EXPECT_TRUE(logged(7, "(read_and_restore_config) restoring system.ppcipenabled to True ", "message"));

  // Developers keep telnet.
  m_bDevfeatures = true;
  forget();
  verdict(kMode, "Secondary");
  EXPECT_TRUE(sent("write security.remoteaccess.telnet").empty());
}

TEST_F(ValidateTest, BackupComparesOverTheStoredLengthAndSurvivesFailedReads) {
  peer().set("system.ppcipenabled", "Fal");  // "False" over the stored three characters is equal
  write_and_backup_config("system.ppcipenabled", "False");
  EXPECT_EQ(sent("write "), (vector<string>{"write system.ppcipenabled_BACKUP=Fal as 30"}));
  eModel = kCedar;
  peer().set("system.info.hardwareversion", "20");
  peer().breakReads("system.ppcipenabled_BACKUP");
  forget();
  EXPECT_EQ(verdict(kMode, "Disabled"), retBytes(0, true));
  EXPECT_TRUE(sent("write ").empty());
  EXPECT_TRUE(logged(3, "(read_and_restore_config) CAN'T READ BACKED UP VALUE FOR system.ppcipenabled_BACKUP, err=-1",
                     "message"));
}

TEST_F(ValidateTest, OtherVariablesInstancesAndValues) {
  eModel = kCedar100;  // not allowed: any check would refuse
  EXPECT_EQ(verdict(kMode, "Secondary", 1), retBytes(0, false));
  EXPECT_EQ(verdict("system.modularroom.secondary.connection.allowexpiredcertificates", "True"), retBytes(0, true));
  EXPECT_EQ(verdict("system.modularroom.secondary.connection.allownonSSL", "x", 2), retBytes(0, false));
  EXPECT_EQ(verdict("System.ModularRoom.Mode", "Secondary"), retBytes(0, false));
  EXPECT_TRUE(sent().empty());

  auto req = callbackRequest<ConfigIF::DynamicValidateReq>("system.network.hostname", "x", 0, "ctx\nwith;`odd`");
  deliver(kMsgIdConfigIFDynamicValidateReq, req.SerializeAsString(), config_dynamic_validate, 4242);
  ConfigIF::DynamicValidateRsp rsp;
  uint32_t seq = 0;
  ASSERT_TRUE(answer(kMsgIdConfigIFDynamicValidateRsp, &rsp, 5000, &seq) && seq == 4242u) << seq;
  EXPECT_EQ(rsp.SerializeAsString(), retBytes(0, false, "ctx\nwith;`odd`"));
}

}  // namespace
