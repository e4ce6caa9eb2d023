// Access levels and the ppcip backup against the real configuration service
// stand-in (configsrvc with the repository seed) as a separate process: the
// levels the rules send are the levels the service then reports.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "ConfigIF.pb.h"
#include "OS/logmsg.h"
#include "OS/os_testing.h"
#include "platform/msg/MSG.h"
#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"
#include "platform/sysio/sysio_recorder.h"
#include "systemservice/syssrvAccessLevels.h"
#include "systemservice/syssrvCallbacks.h"
#include "systemservice/syssrvCfgMsg.h"
#include "tests/arch/exec_wrapper.h"

namespace {

using std::string;

class ConfigSrvcAccessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_rec = std::make_unique<RecorderSysIo>();
    sysio_install(m_rec.get());
    logmsg_testing_reset();
    m_rec->put_file("/dev/crvllog", "");
    ASSERT_EQ(logmsg_init(0, "syssrv"), 0);
    setenv("MSG_SOCKET_DIR", (m_rec->root() + "/msg").c_str(), 1);
    ASSERT_EQ(MSG_OpenLocal("SystemSrvc"), 0);
    string db = m_rec->root() + "/config.db";
    const ArchExecLine line({CONFIGSRVC_BIN, "--db", db, "--seed", CONFIGSRVC_SEED});
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      line.exec();
      _exit(127);
    }
    m_service = pid;
    MSG_Endpoint id = 0;
    // Bounded, so that a service that does not come up fails the test.
    ASSERT_EQ(MSG_OpenRemoteSync("SystemSrvc", "ConfigSrvc", 10000, &id), 0) << "configsrvc did not start";
    ASSERT_EQ(syssrvCfgMsgInit("SystemSrvc"), 0);
  }

  void TearDown() override {
    MSG_CloseLocal("SystemSrvc");
    if (m_service > 0) {
      kill(m_service, SIGTERM);
      int status = 0;
      waitpid(m_service, &status, 0);
    }
    logmsg_testing_reset();
    sysio_install(nullptr);
    unsetenv("MSG_SOCKET_DIR");
    m_rec.reset();
  }

  // "read/write" levels as the service reports them to a system client.
  string levels(const string& name, int instance = 0) {
    ConfigIF::GetAccessLevelsReq req;
    req.set_name("SystemSrvc");
    req.set_role(CommonIF::kSystem);
    ConfigIF::Node* node = req.mutable_instance()->add_node();
    node->set_name(name);
    node->set_instance(instance);
    MSG_Message* out = msgUtil_buildMsg(req, 0, nullptr);
    if (out == nullptr) return "build failed";
    if (MSG_SendMsg("SystemSrvc", MSG_GetRemoteId("SystemSrvc", "ConfigSrvc"), out) != 0) return "send failed";
    MSG_Message* in = MSG_RecvMsg("SystemSrvc", kMsgIdConfigIFGetAccessLevelsRsp, 5000);
    if (in == nullptr) return "no answer";
    ConfigIF::GetAccessLevelsRsp rsp;
    bool ok = rsp.ParseFromArray(MSG_GetPayload(in), static_cast<int>(MSG_GetPayloadBytes(in)));
    MSG_ReleaseMsg(in);
    if (!ok) return "unparsable";
    if (rsp.error() != 0) return "error " + std::to_string(rsp.error());
    return std::to_string(rsp.read_level()) + "/" + std::to_string(rsp.write_level());
  }

  string value(const char* name) {
    char buf[64] = "";
    if (config_read(name, buf, sizeof buf, nullptr) != 0) return "read failed";
    return buf;
  }

  std::unique_ptr<RecorderSysIo> m_rec;
  pid_t m_service = -1;
};

TEST_F(ConfigSrvcAccessTest, ModularRoomLevelsAreWhatTheServiceReports) {
  set_modularroom_mode_config_access_levels("Secondary");
  EXPECT_EQ(levels("system.modularroom.secondary.connection.allownonSSL"), "20/20");
  EXPECT_EQ(levels("management.snmp.enabled"), "30/30");
  EXPECT_EQ(levels("security.authentication.accounts.snmppassword.passwordpolicy.cancontainidorreverse"), "20/30");
  EXPECT_EQ(levels("security.remoteaccess.ssh.enabled"), "30/30");

  set_modularroom_mode_config_access_levels("Disabled");
  EXPECT_EQ(levels("system.modularroom.secondary.connection.allownonSSL"), "30/30");
  EXPECT_EQ(levels("management.snmp.enabled"), "20/20");
  EXPECT_EQ(levels("security.authentication.accounts.snmppassword.passwordpolicy.cancontainidorreverse"), "20/20");
  EXPECT_EQ(levels("softupdate.pollingenabled"), "10/20");
  EXPECT_EQ(levels("security.remoteaccess.ssh.enabled"), "10/10");
}

TEST_F(ConfigSrvcAccessTest, UnchangedLevelsStayAsTheyWere) {
  set_dns_access_levels(false, false, false);
  string before = levels("system.network.dnsserver", 2);
  ASSERT_EQ(before.substr(before.find('/')), "/30");
  set_dns_access_levels(true, false, false);
  string after = levels("system.network.dnsserver", 2);
  // Only the write level is sent: the read level is the seed's.
  EXPECT_EQ(after.substr(0, after.find('/')), before.substr(0, before.find('/')));
  EXPECT_EQ(after.substr(after.find('/')), "/20");
}

TEST_F(ConfigSrvcAccessTest, SecondaryBackupAndDisabledRestoreThroughTheService) {
  ASSERT_EQ(value("system.ppcipenabled"), "True");
  write_and_backup_config("system.ppcipenabled", "False");
  EXPECT_EQ(value("system.ppcipenabled"), "False");
  EXPECT_EQ(value("system.ppcipenabled_BACKUP"), "True");
  read_and_restore_config("system.ppcipenabled");
  EXPECT_EQ(value("system.ppcipenabled"), "True");
}

}  // namespace
