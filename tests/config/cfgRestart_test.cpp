// Durability: what was answered survives kill -9 and a restart, with the
// clients' registrations and the attached components; a restarted service
// with a longer seed keeps the stored values and gains the new variables.
#include <fcntl.h>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/msgutil/msgIds.h"
#include "tests/arch/exec_wrapper.h"
#include "tests/config/cfgRecorder.h"
#include "tests/config/cfgTestFixture.h"

namespace {

class CfgRestartTest : public CfgSrvTest {};

TEST_F(CfgRestartTest, KillNineKeepsValuesRegistrationsAndComponents) {
  startService();
  openLocal("Client");
  const std::string c = "Client";
  CfgRecorder rec("SystemSrvc");
  ASSERT_TRUE(rec.start());
  ASSERT_EQ(registerCb(rec.name(), "test.plain", ConfigIF::kChangeNotify, 0, "kept"), 0);
  ASSERT_EQ(registerCb(rec.name(), "test.other", ConfigIF::kDynamicValidator), 0);
  ASSERT_EQ(write(c, "test.plain", "durable").error(), 0);
  ASSERT_EQ(write(c, "test.slots", "slot2", 20, 2).error(), 0);
  ConfigIF::SetAccessLevelsReq sl;
  sl.set_name(c);
  sl.set_role(CommonIF::kSystem);
  *sl.add_instance() = cfgInst("test.third");
  sl.set_read_level(CommonIF::kAdmin);
  ConfigIF::SetAccessLevelsRsp slr;
  ASSERT_TRUE(call(c, sl, &slr));
  ASSERT_EQ(slr.error(), 0);
  ConfigIF::ComponentChangeReq cc;
  cc.set_name(c);
  cc.set_component_name("multicodecenginemode");
  ConfigIF::ComponentChangeRsp ccr;
  ASSERT_TRUE(call(c, cc, &ccr));
  ASSERT_TRUE(rec.waitEvents(1));

  killService(SIGKILL);
  startService();

  ConfigIF::ReadRsp r = read(c, "test.plain");
  ASSERT_EQ(r.value_size(), 1);
  EXPECT_EQ(r.value(0), "durable");
  EXPECT_FALSE(r.is_default());
  EXPECT_EQ(read(c, "test.slots", 2).value(0), "slot2");
  EXPECT_EQ(read(c, "test.third", 0, 10).error(), -8);
  ConfigIF::GetComponentsReq gc;
  gc.set_name(c);
  ConfigIF::GetComponentsRsp gcr;
  ASSERT_TRUE(call(c, gc, &gcr));
  ASSERT_EQ(gcr.component_name_size(), 1);
  EXPECT_EQ(gcr.component_name(0), "multicodecenginemode");

  // The restarted service calls its clients back without new registrations.
  ASSERT_EQ(write(c, "test.plain", "after").error(), 0);
  ASSERT_TRUE(rec.waitEvents(2));
  EXPECT_EQ(rec.events()[1].type, kMsgIdConfigIFConfigChangedNtfy);
  EXPECT_EQ(rec.events()[1].values, std::vector<std::string>{"after"});
  EXPECT_EQ(rec.events()[1].userContext, "kept");
  ASSERT_EQ(write(c, "test.other", "v").error(), 0);
  ASSERT_TRUE(rec.waitEvents(3));
  EXPECT_EQ(rec.events()[2].type, kMsgIdConfigIFDynamicValidateReq);
  rec.stop();
}

TEST_F(CfgRestartTest, ExistingDatabaseKeepsValuesAndGainsNewSeedVariables) {
  startService();
  openLocal("Client");
  ASSERT_EQ(write("Client", "test.plain", "mine").error(), 0);
  killService(SIGTERM);
  // A later seed changes a default and adds a variable.
  std::string seed = kCfgTestSeed;
  seed.replace(seed.find("\"start\""), 7, "\"factory2\"");
  seed += "test.added  user/admin  \"fresh\"\n";
  std::ofstream(m_root + "/seed2.txt") << seed;
  startService(m_root + "/seed2.txt");
  EXPECT_EQ(read("Client", "test.plain").value(0), "mine");
  EXPECT_EQ(read("Client", "test.added").value(0), "fresh");
  EXPECT_NE(serviceLog().find("(1 added from the seed)"), std::string::npos) << serviceLog();
}

TEST_F(CfgRestartTest, BadSeedOrDatabaseStopsTheServiceWithAReason) {
  std::ofstream(m_root + "/bad.txt") << "test.a user/admin \"x\"\ntest.b user/nobody \"y\"\n";
  const ArchExecLine line({CFG_TEST_CONFIGSRVC, "--db", m_db, "--seed", m_root + "/bad.txt"});
  pid_t pid = fork();
  if (pid == 0) {
    int fd = open((m_root + "/configsrvc.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    dup2(fd, 2);
    line.exec();
    _exit(127);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(serviceLog().find("configsrvc: " + m_root + "/bad.txt:2: bad access levels user/nobody"),
            std::string::npos)
      << serviceLog();
}

}  // namespace
