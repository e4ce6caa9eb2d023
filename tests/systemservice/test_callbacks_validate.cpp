// Dynamic validation: the modular-room rule (model, hardware version,
// developer features), the secondary-mode settings with the backup of
// "system.ppcipenabled", its restore, and the exact answers and log lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/msgutil/msgIds.h"
#include "systemservice/syssrvCallbacks.h"
#include "systemservice/syssrvMessage.h"
#include "tests/systemservice/test_callbacks_peer.h"

namespace {

using std::string;
using std::vector;

const char kMode[] = "system.modularroom.mode";

string rspBytes(int error, bool reboot) {
  ConfigIF::DynamicValidateRsp e;
  *e.mutable_ret_message() = expectedRet(error, reboot);
  return e.SerializeAsString();
}

class ValidateTest : public CallbacksTest {
 protected:
  vector<string> all() { return transcript(peer().requests()); }
  string msgLine(int level, const string& text) { return line(level, "message", text); }
};

// What validating "Secondary" sends, stored ppcip value "True".
vector<string> secondaryTranscript(bool telnetToo) {
  vector<string> t = {"read system.info.hardwareversion#0"};
  if (telnetToo) t.push_back("write security.remoteaccess.telnet.enabled#0=false role=30");
  vector<string> rest = {
      "write cal.enabled#0=false role=30",
      "write dir.globalserver#0=disabled role=30",
      "write uicontrol.apps.lumenboard.enabled#0=false role=30",
      "write security.remoteaccess.permanentpairing.enabled#0=false role=30",
      "write security.remoteaccess.ssh.enabled#0=false role=30",
      "write security.remoteaccess.sshservice.enabled#0=false role=30",
      "write management.snmp.enabled#0=false role=30",
      "write system.sleeptimeout#0=0 role=30",
      "write softupdate.pollingenabled#0=false role=30",
      "read system.ppcipenabled#0",
      "write system.ppcipenabled_BACKUP#0=True role=30",
      "write system.ppcipenabled#0=False role=30",
      "write uicontrol.apps.home.office365uienabled#0=false role=30",
  };
  t.insert(t.end(), rest.begin(), rest.end());
  return t;
}

TEST_F(ValidateTest, SecondaryOnCedarWithVersion20AppliesSettingsAndAsksForReboot) {
  eModel = kCedar;
  peer().set("system.info.hardwareversion", "20");
  peer().set("system.ppcipenabled", "True");
  ConfigIF::DynamicValidateRsp rsp = validate(kMode, "Secondary");
  EXPECT_EQ(rsp.SerializeAsString(), rspBytes(0, true)) << rsp.ShortDebugString();
  EXPECT_EQ(all(), secondaryTranscript(true));
  EXPECT_EQ(peer().get("system.ppcipenabled_BACKUP"), "True");
  EXPECT_EQ(logLines("message"),
            (vector<string>{
                msgLine(7, "(config_dynamic_validate) var system.modularroom.mode, val Secondary"),
                msgLine(7, "disable some features in modular room secondary mode"),
                msgLine(7, "disable sleep in modular room secondary mode"),
                msgLine(7, "disable automatic software update in modular room secondary mode"),
                msgLine(7, "(write_and_backup_config) changing system.ppcipenabled to False and backing up True"),
                msgLine(7, "(config_dynamic_validate)set reboot required flag "),
            }));
}

TEST_F(ValidateTest, ModelsWithModularRoomPortsAreAllowedFromVersion20) {
  for (eModelT m : {kCedar110, kLumenPro, kCedar}) {
    eModel = m;
    peer().set("system.info.hardwareversion", "21");
    EXPECT_EQ(validate(kMode, "Primary").SerializeAsString(), rspBytes(0, true)) << m;
  }
}

TEST_F(ValidateTest, Version19WithoutDeveloperFeaturesIsRefusedAndWritesNothing) {
  eModel = kCedar;
  peer().set("system.info.hardwareversion", "19");
  ConfigIF::DynamicValidateRsp rsp = validate(kMode, "Secondary");
  EXPECT_EQ(rsp.SerializeAsString(), rspBytes(-6, false)) << rsp.ShortDebugString();
  EXPECT_EQ(all(), (vector<string>{"read system.info.hardwareversion#0"}));
  EXPECT_EQ(logLines("message"),
            (vector<string>{
                msgLine(7, "(config_dynamic_validate) var system.modularroom.mode, val Secondary"),
                msgLine(7,
                        "(config_dynamic_validate) var system.modularroom.mode, val Secondary not allowed for Model, "
                        "4 eModel, HWVer=19"),
                msgLine(4, "(config_dynamic_validate) failed validation var system.modularroom.mode, val Secondary, "
                           "err "),
            }));
}

TEST_F(ValidateTest, OtherModelsAreRefusedWhateverTheVersionUnlessDeveloperFeatures) {
  for (eModelT m : {kUnknownModel, kCedar100, kHalden, kBirch, kAspen}) {
    eModel = m;
    peer().set("system.info.hardwareversion", "99");
    EXPECT_EQ(validate(kMode, "Disabled").SerializeAsString(), rspBytes(-6, false)) << m;
  }
  // Developer features allow it anywhere, even with no version at all, and
  // keep telnet on in secondary mode.
  eModel = kCedar100;
  m_bDevfeatures = true;
  peer().set("system.info.hardwareversion", "");
  peer().set("system.ppcipenabled", "True");
  peer().clearRequests();
  EXPECT_EQ(validate(kMode, "Secondary").SerializeAsString(), rspBytes(0, true));
  EXPECT_EQ(all(), secondaryTranscript(false));
}

TEST_F(ValidateTest, HardwareVersionIsCutAt14CharactersBeforeConversion) {
  eModel = kCedar;
  // 15 digits: the first 14 are a number far above 19.
  peer().set("system.info.hardwareversion", "100000000000000");
  EXPECT_EQ(validate(kMode, "Primary").SerializeAsString(), rspBytes(0, true));
  // An unreadable version counts as 0.
  peer().breakReads("system.info.hardwareversion");
  EXPECT_EQ(validate(kMode, "Primary").SerializeAsString(), rspBytes(-6, false));
}

TEST_F(ValidateTest, OtherInstancesAreAcceptedWithoutAnyCheck) {
  eModel = kCedar100;
  ConfigIF::DynamicValidateRsp rsp = validate(kMode, "Secondary", 1);
  EXPECT_EQ(rsp.SerializeAsString(), rspBytes(0, false));
  EXPECT_TRUE(peer().requests().empty());
  EXPECT_EQ(validate("system.modularroom.secondary.connection.allownonSSL", "True", 2).SerializeAsString(),
            rspBytes(0, false));
}

TEST_F(ValidateTest, OtherModeValuesOnlyAskForReboot) {
  eModel = kLumenPro;
  peer().set("system.info.hardwareversion", "20");
  for (const char* v : {"Primary", "secondary", "DISABLED", ""}) {
    peer().clearRequests();
    EXPECT_EQ(validate(kMode, v).SerializeAsString(), rspBytes(0, true)) << v;
    EXPECT_EQ(all(), (vector<string>{"read system.info.hardwareversion#0"})) << v;
  }
}

TEST_F(ValidateTest, SecondaryConnectionSettingsAlwaysAskForReboot) {
  eModel = kCedar100;
  EXPECT_EQ(validate("system.modularroom.secondary.connection.allowexpiredcertificates", "True").SerializeAsString(),
            rspBytes(0, true));
  EXPECT_EQ(validate("system.modularroom.secondary.connection.allownonSSL", "False").SerializeAsString(),
            rspBytes(0, true));
  EXPECT_TRUE(peer().requests().empty());
  EXPECT_EQ(logLines("message")[1], msgLine(7, "(config_dynamic_validate)set reboot required flag "));
}

TEST_F(ValidateTest, AnyOtherVariableIsAcceptedWithoutReboot) {
  for (const char* name : {"system.network.hostname", "system.modularroom.modex", "System.ModularRoom.Mode",
                           "system.modularroom.secondary.connection.allownonssl"}) {
    EXPECT_EQ(validate(name, "x").SerializeAsString(), rspBytes(0, false)) << name;
  }
  EXPECT_TRUE(peer().requests().empty());
  for (const string& l : logLines("message")) EXPECT_EQ(l.find("reboot"), string::npos) << l;
}

TEST_F(ValidateTest, AnswerEchoesServerContextAndSequence) {
  auto req = callbackRequest<ConfigIF::DynamicValidateReq>("system.network.hostname", "x", 0, "ctx\nwith;`odd`");
  deliver(kMsgIdConfigIFDynamicValidateReq, req.SerializeAsString(), config_dynamic_validate, 4242);
  ConfigIF::DynamicValidateRsp rsp;
  uint32_t seq = 0;
  ASSERT_TRUE(answer(kMsgIdConfigIFDynamicValidateRsp, &rsp, 5000, &seq));
  EXPECT_EQ(seq, 4242u);
  ConfigIF::DynamicValidateRsp e;
  *e.mutable_ret_message() = expectedRet(0, false, "ctx\nwith;`odd`");
  EXPECT_EQ(rsp.SerializeAsString(), e.SerializeAsString());
  EXPECT_EQ(rsp.ret_message().error_message_size(), 0);
}

// ---- backup and restore of system.ppcipenabled ----

TEST_F(ValidateTest, DisabledRestoresTheBackedUpValue) {
  eModel = kCedar;
  peer().set("system.info.hardwareversion", "20");
  peer().set("system.ppcipenabled_BACKUP", "True");
  EXPECT_EQ(validate(kMode, "Disabled").SerializeAsString(), rspBytes(0, true));
  EXPECT_EQ(all(), (vector<string>{"read system.info.hardwareversion#0", "read system.ppcipenabled_BACKUP#0",
                                   "write system.ppcipenabled#0=True role=30"}));
  vector<string> log = logLines("message");
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[1], msgLine(7, "(read_and_restore_config)revert ppcip settings"));
  EXPECT_EQ(log[2], msgLine(7, "(read_and_restore_config) restoring system.ppcipenabled to True "));
}

TEST_F(ValidateTest, SecondaryThenDisabledGivesTheOldValueBack) {
  eModel = kCedar;
  peer().set("system.info.hardwareversion", "20");
  peer().set("system.ppcipenabled", "True");
  validate(kMode, "Secondary");
  EXPECT_EQ(peer().get("system.ppcipenabled"), "False");
  validate(kMode, "Disabled");
  EXPECT_EQ(peer().get("system.ppcipenabled"), "True");
}

TEST_F(ValidateTest, DisabledWithoutBackupLogsAndStillAccepts) {
  eModel = kCedar;
  peer().set("system.info.hardwareversion", "20");
  // The service answers with an error code and no value.
  EXPECT_EQ(validate(kMode, "Disabled").SerializeAsString(), rspBytes(0, true));
  EXPECT_EQ(all(), (vector<string>{"read system.info.hardwareversion#0", "read system.ppcipenabled_BACKUP#0"}));
  EXPECT_EQ(logLines("message")[2],
            msgLine(3, "(read_and_restore_config) CAN'T READ BACKED UP VALUE FOR system.ppcipenabled_BACKUP, err=0"));
  // A read that fails outright.
  peer().breakReads("system.ppcipenabled_BACKUP");
  peer().clearRequests();
  EXPECT_EQ(validate(kMode, "Disabled").SerializeAsString(), rspBytes(0, true));
  EXPECT_EQ(all(), (vector<string>{"read system.info.hardwareversion#0", "read system.ppcipenabled_BACKUP#0"}));
  EXPECT_EQ(logLines("message")[6],
            msgLine(3, "(read_and_restore_config) CAN'T READ BACKED UP VALUE FOR system.ppcipenabled_BACKUP, err=-1"));
}

TEST_F(ValidateTest, BackupWritesNothingNewWhenTheValueIsAlreadySet) {
  peer().set("system.ppcipenabled", "False");
  write_and_backup_config("system.ppcipenabled", "False");
  EXPECT_EQ(all(), (vector<string>{"read system.ppcipenabled#0", "write system.ppcipenabled_BACKUP#0=False role=30"}));
  EXPECT_EQ(logLines("message"),
            (vector<string>{msgLine(7, "(write_and_backup_config) not changing system.ppcipenabled, values False is same ")}));
}

TEST_F(ValidateTest, BackupComparesOverTheStoredValuesLength) {
  // "Fal" is a prefix of "False": counts as the same.
  peer().set("system.ppcipenabled", "Fal");
  write_and_backup_config("system.ppcipenabled", "False");
  EXPECT_EQ(peer().get("system.ppcipenabled"), "Fal");
  // Case matters.
  peer().set("system.ppcipenabled", "false");
  write_and_backup_config("system.ppcipenabled", "False");
  EXPECT_EQ(peer().get("system.ppcipenabled"), "False");
  EXPECT_EQ(peer().get("system.ppcipenabled_BACKUP"), "false");
}

TEST_F(ValidateTest, BackupOfAnUnreadableValueWritesNeitherBackupNorValue) {
  peer().breakReads("system.ppcipenabled");
  write_and_backup_config("system.ppcipenabled", "False");
  EXPECT_EQ(all(), (vector<string>{"read system.ppcipenabled#0"}));
  EXPECT_EQ(logLines("message"),
            (vector<string>{msgLine(3, "(write_and_backup_config) CAN'T READ EXISTING VALUE, err=-1"),
                            msgLine(7, "(write_and_backup_config) not changing system.ppcipenabled, values False is same ")}));
}

TEST_F(ValidateTest, BackupNameAndValueBuffers) {
  // Values are read into 64 bytes: 63 characters survive.
  const string longValue(80, 'v');
  peer().set("a.b", longValue);
  write_and_backup_config("a.b", "False");
  EXPECT_EQ(peer().get("a.b_BACKUP"), string(63, 'v'));
  EXPECT_EQ(peer().get("a.b"), "False");
}

}  // namespace
