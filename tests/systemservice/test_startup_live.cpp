// Start-up against the configuration service itself (configsrvc with a
// database under the test's temporary root, seeded from the repository's
// seed file): every registration arrives with its kind and in order and
// takes effect, and the identity from the environment is stored.
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ConfigIF.pb.h"
#include "OS/logmsg.h"
#include "OS/os_testing.h"
#include "multicodec_util/multicodec_sysids.h"
#include "platform/msg/MSG.h"
#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"
#include "platform/sysio/sysio_recorder.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvStartup.h"
#include "tests/arch/exec_wrapper.h"
#include "tests/systemservice/test_startup_registrations.h"

namespace {

const char kLocal[] = "SystemSrvc";
const char kWriter[] = "WebSrvc";

class StartupLiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_rec = std::make_unique<RecorderSysIo>();
    sysio_install(m_rec.get());
    logmsg_testing_reset();
    m_rec->put_file("/dev/crvllog", "");
    ASSERT_EQ(logmsg_init(0, "syssrv"), 0);
    setenv("MSG_SOCKET_DIR", (m_rec->root() + "/msg").c_str(), 1);
    for (const char* name : {"CORVALE_BOARDID", "CORVALE_SERIALNUM", "HARDWARE_VERSION", "DEVFEATURES",
                             "ENCRYPTION_ENABLE", "PRODUCTLINE", "PROJECTPHASE", "VERSION", "BUILDNUMBER",
                             "DATETIME", "ORBSCOPE_IP"}) {
      unsetenv(name);
    }
    remove_codec_id_file();
    eModel = kUnknownModel;
    m_bDevfeatures = false;
    ASSERT_EQ(MSG_OpenLocal(kLocal), 0);
    ASSERT_EQ(MSG_OpenLocal(kWriter), 0);

    m_db = m_rec->root() + "/config.db";
    const ArchExecLine line({CONFIGSRVC, "--db", m_db, "--seed", CONFIGSRVC_SEED_FILE});
    m_pid = fork();
    ASSERT_GE(m_pid, 0);
    if (m_pid == 0) {
      line.exec();
      _exit(127);
    }
    // Bounded, unlike the client's own wait: a service that failed to
    // start must fail the test, not hang it.
    MSG_Endpoint id = 0;
    ASSERT_EQ(MSG_OpenRemoteSync(kLocal, "ConfigSrvc", 10000, &id), 0) << "ConfigSrvc did not appear";
    ASSERT_EQ(MSG_OpenRemoteSync(kWriter, "ConfigSrvc", 10000, &id), 0);
    ASSERT_EQ(syssrvCfgMsgInit(kLocal), 0);
    m_logOffset = m_rec->file_bytes("/dev/crvllog").size();
  }

  void TearDown() override {
    MSG_CloseLocal(kWriter);
    MSG_CloseLocal(kLocal);
    if (m_pid > 0) {
      kill(m_pid, SIGTERM);
      int status = 0;
      waitpid(m_pid, &status, 0);
    }
    for (const char* name : {"CORVALE_BOARDID", "CORVALE_SERIALNUM", "HARDWARE_VERSION", "DEVFEATURES",
                             "ENCRYPTION_ENABLE", "PRODUCTLINE", "PROJECTPHASE", "VERSION", "BUILDNUMBER",
                             "DATETIME"}) {
      unsetenv(name);
    }
    logmsg_testing_reset();
    sysio_install(nullptr);
    unsetenv("MSG_SOCKET_DIR");
    m_rec.reset();
  }

  std::vector<std::string> logLines() const {
    std::vector<std::string> out;
    std::string bytes = m_rec->file_bytes("/dev/crvllog").substr(m_logOffset);
    size_t start = 0;
    for (size_t nl; (nl = bytes.find('\n', start)) != std::string::npos; start = nl + 1) {
      out.push_back(bytes.substr(start, nl - start));
    }
    return out;
  }

  // The service's record of this client's registrations, in the order it
  // received them ("<name> kind <type>").
  std::vector<std::string> storedRegistrations() {
    std::vector<std::string> out;
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(m_db.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db,
                                 "SELECT name, instance, type FROM registrations WHERE client = 'SystemSrvc' "
                                 "ORDER BY rowid",
                                 -1, &st, nullptr),
              SQLITE_OK);
    while (st != nullptr && sqlite3_step(st) == SQLITE_ROW) {
      std::string name = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
      if (sqlite3_column_int(st, 1) != 0) name += "#" + std::to_string(sqlite3_column_int(st, 1));
      out.push_back(name + " kind " + std::to_string(sqlite3_column_int(st, 2)));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
  }

  std::string read(const char* name) {
    std::string value = "<failed>";
    EXPECT_EQ(config_read_inst_std_str(name, value, nullptr, 0), 0) << name;
    return value;
  }

  // Reads from another client with the given role: "<error>:<value>".
  std::string readAs(const std::string& name, CommonIF::eSecurityRole role) {
    ConfigIF::ReadReq req;
    req.set_name(kWriter);
    req.set_role(role);
    ConfigIF::Node* node = req.mutable_instance()->add_node();
    node->set_name(name);
    node->set_instance(0);
    MSG_Endpoint svc = MSG_GetRemoteId(kWriter, "ConfigSrvc");
    EXPECT_EQ(MSG_SendMsg(kWriter, svc, msgUtil_buildMsg(req, 0, nullptr)), 0);
    MSG_Message* m = MSG_RecvMsg(kWriter, kMsgIdConfigIFReadRsp, 10000);
    EXPECT_NE(m, nullptr);
    if (m == nullptr) return "<no answer>";
    ConfigIF::ReadRsp rsp;
    EXPECT_TRUE(rsp.ParseFromArray(MSG_GetPayload(m), static_cast<int>(MSG_GetPayloadBytes(m))));
    MSG_ReleaseMsg(m);
    std::string value;
    for (int i = 0; i < rsp.value_size(); ++i) value += (i ? "\n" : "") + rsp.value(i);
    return std::to_string(rsp.error()) + ":" + value;
  }

  // Writes `value` as an administrator from another client and returns
  // the service's answer.
  int adminWrite(const std::string& name, const std::string& value) {
    ConfigIF::WriteReq req;
    req.set_name(kWriter);
    req.set_role(kAdmin);
    ConfigIF::Node* node = req.mutable_instance_val()->mutable_instance()->add_node();
    node->set_name(name);
    node->set_instance(0);
    req.mutable_instance_val()->add_value(value);
    MSG_Endpoint svc = MSG_GetRemoteId(kWriter, "ConfigSrvc");
    EXPECT_EQ(MSG_SendMsg(kWriter, svc, msgUtil_buildMsg(req, 0, nullptr)), 0);
    MSG_Message* m = MSG_RecvMsg(kWriter, kMsgIdConfigIFWriteRsp, 10000);
    EXPECT_NE(m, nullptr);
    if (m == nullptr) return -100;
    ConfigIF::WriteRsp rsp;
    EXPECT_TRUE(rsp.ParseFromArray(MSG_GetPayload(m), static_cast<int>(MSG_GetPayloadBytes(m))));
    MSG_ReleaseMsg(m);
    return rsp.error();
  }

  std::unique_ptr<RecorderSysIo> m_rec;
  std::string m_db;
  pid_t m_pid = -1;
  size_t m_logOffset = 0;
};

TEST_F(StartupLiveTest, EveryRegistrationIsAcceptedWithItsKindInOrder) {
  syssrvRegisterConfigCallbacks();
  for (const std::string& line : logLines()) {
    EXPECT_EQ(line.find("failed"), std::string::npos) << line;
    EXPECT_EQ(line.find("timeout"), std::string::npos) << line;
  }
  std::vector<std::string> expected;
  for (const auto& e : kStartupRegistrations) expected.push_back(std::string(e.first) + " kind " + std::to_string(e.second));
  EXPECT_EQ(storedRegistrations(), expected);
}

TEST_F(StartupLiveTest, RegisteredChangesAreNotified) {
  syssrvRegisterConfigCallbacks();
  ASSERT_EQ(adminWrite("time.timezone", "Europe/Oslo"), 0);
  MSG_Message* m = MSG_RecvMsg(kLocal, kMsgIdConfigIFConfigChangedNtfy, 10000);
  ASSERT_NE(m, nullptr) << "no change notification for a registered variable";
  ConfigIF::ConfigChangedNtfy ntfy;
  ASSERT_TRUE(ntfy.ParseFromArray(MSG_GetPayload(m), static_cast<int>(MSG_GetPayloadBytes(m))));
  MSG_ReleaseMsg(m);
  std::string name;
  buildCfgVarName(name, ntfy.instance_val().instance());
  EXPECT_EQ(name, "time.timezone");
  ASSERT_EQ(ntfy.instance_val().value_size(), 1);
  EXPECT_EQ(ntfy.instance_val().value(0), "Europe/Oslo");

  // Element 1 of the monitor settings is registered; element 0 is not.
  ASSERT_EQ(adminWrite("video.monitor.signalType", "DVI"), 0);
  EXPECT_EQ(MSG_RecvMsg(kLocal, kMsgIdConfigIFConfigChangedNtfy, 300), nullptr);
}

TEST_F(StartupLiveTest, IdentityFromTheEnvironmentIsStored) {
  setenv("CORVALE_BOARDID", "birch", 1);
  setenv("CORVALE_SERIALNUM", "FTX2411A0Q7", 1);
  setenv("HARDWARE_VERSION", "21", 1);
  setenv("DEVFEATURES", "false", 1);
  setenv("ENCRYPTION_ENABLE", "true", 1);
  setenv("PRODUCTLINE", "TrueSummit", 1);
  setenv("PROJECTPHASE", "release", 1);
  setenv("VERSION", "3.2.1", 1);
  setenv("BUILDNUMBER", "457", 1);
  setenv("DATETIME", "2024-05-06 07:08:09", 1);
  initSystemConfig();
  EXPECT_EQ(eModel, kBirch);
  EXPECT_EQ(read("system.info.model"), "birch");
  EXPECT_EQ(read("system.info.humanreadablemodel"), "TrueSummit Ensemble 170");
  EXPECT_EQ(read("system.info.serialnumber"), "FTX2411A0Q7");
  EXPECT_EQ(read("system.info.hardwareversion"), "21");
  EXPECT_EQ(read("system.info.devfeatures"), "false");
  EXPECT_EQ(read("system.info.encryptionenable"), "True");
  EXPECT_EQ(read("security.remoteaccess.web.httpenabled"), "False");
  EXPECT_EQ(read("system.info.system"), "TrueSummit");
  EXPECT_EQ(read("system.info.buildtype"), "release");
  EXPECT_EQ(read("system.info.version"), "3.2.1");
  EXPECT_EQ(read("system.info.build"), "457");
  EXPECT_EQ(read("system.info.builddate"), "2024-05-06 07:08:09");
  EXPECT_EQ(read("system.info.humanreadableversion"), "release - 3.2.1-457");
  EXPECT_EQ(read("system.info.crvlstandardversion"), "release - 3.2.1-457");
  // The service accepted every write and option change of start-up.
  for (const std::string& line : logLines()) {
    EXPECT_EQ(line.find("timeout"), std::string::npos) << line;
    EXPECT_EQ(line.find("response err"), std::string::npos) << line;
  }
}

TEST_F(StartupLiveTest, BuildWithoutEncryptionIsStored) {
  setenv("ENCRYPTION_ENABLE", "false", 1);
  initSystemConfig();
  const char kEncryption[] = "comm.Callsetting.callFeatures.encryptionenable";
  EXPECT_EQ(readAs(kEncryption, kStartup), "0:Off");
  EXPECT_EQ(read("security.remoteaccess.web.httpenabled"), "True");
  EXPECT_EQ(read("management.provisioning.ubootencyptionenabled"), "False");
  // Hidden from and fixed for everyone below start-up.
  EXPECT_NE(readAs(kEncryption, kAdmin).compare(0, 2, "0:"), 0);
  EXPECT_NE(adminWrite(kEncryption, "Required"), 0);
  EXPECT_EQ(readAs(kEncryption, kStartup), "0:Off");
  ConfigIF::GetAttributeOptionsReq req;
  req.set_name(kWriter);
  req.set_role(kStartup);
  ConfigIF::Node* node = req.mutable_instance()->add_node();
  node->set_name(kEncryption);
  node->set_instance(0);
  ASSERT_EQ(MSG_SendMsg(kWriter, MSG_GetRemoteId(kWriter, "ConfigSrvc"), msgUtil_buildMsg(req, 0, nullptr)), 0);
  MSG_Message* m = MSG_RecvMsg(kWriter, kMsgIdConfigIFGetAttributeOptionsRsp, 10000);
  ASSERT_NE(m, nullptr);
  ConfigIF::GetAttributeOptionsRsp rsp;
  ASSERT_TRUE(rsp.ParseFromArray(MSG_GetPayload(m), static_cast<int>(MSG_GetPayloadBytes(m))));
  MSG_ReleaseMsg(m);
  ASSERT_EQ(rsp.node_options_size(), 1);
  EXPECT_EQ(rsp.node_options(0), "Off");
}

}  // namespace
