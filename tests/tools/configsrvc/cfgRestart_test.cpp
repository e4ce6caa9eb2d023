// Durability: what was answered survives kill -9 and a restart, with the
// clients' registrations, levels and the attached components; a restarted
// service with a longer seed keeps the stored values and gains the new
// variables; a service that cannot use its seed or database stops with the
// reason.
#include <fstream>

#include <sqlite3.h>

#include "tests/tools/configsrvc/cfgRecorder.h"
#include "tests/tools/configsrvc/cfgTestFixture.h"

namespace {

class CfgRestartTest : public CfgSrvTest {};

TEST_F(CfgRestartTest, KillNineKeepsWhatWasAnswered) {
  startService();
  openLocal("C");
  CfgRecorder rec("SystemSrvc");
  ASSERT_TRUE(rec.start());
  ASSERT_EQ(registerCb(rec.name(), "test.plain", ConfigIF::kChangeNotify, "kept"), 0);
  ASSERT_EQ(registerCb(rec.name(), "test.other", ConfigIF::kDynamicValidator), 0);
  ASSERT_EQ(write("C", "test.plain", "durable").error(), 0);
  ASSERT_EQ(write("C", "test.slots", "slot2", 20, 2).error(), 0);
  ASSERT_EQ(ask("C", "ConfigIF.SetAccessLevelsReq",
                "role: kSystem instance { node { name: 'test.third' } } read_level: kAdmin"),
            "error: 0");
  ASSERT_EQ(ask("C", "ConfigIF.ComponentChangeReq", "component_name: 'multicodecenginemode'"), "error: 0");

  killService(SIGKILL);
  startService();

  EXPECT_EQ(read("C", "test.plain").ShortDebugString(),
            "value: \"durable\" is_default: false error: 0 instance { node { name: \"test.plain\" instance: 0 } }");
  EXPECT_EQ(valueOf("C", "test.slots", 2), "slot2");
  EXPECT_EQ(read("C", "test.third", 0, 10).error(), -8);
  EXPECT_EQ(ask("C", "ConfigIF.GetComponentsReq", ""), "error: 0 component_name: \"multicodecenginemode\"");
  // The restarted service calls its clients back without new registrations.
  ASSERT_EQ(write("C", "test.plain", "after").error(), 0);
  ASSERT_EQ(write("C", "test.other", "v").error(), 0);
  ASSERT_TRUE(rec.waitEvents(3));
  EXPECT_EQ(rec.kinds(), (std::vector<std::string>{"changed test.plain=durable", "changed test.plain=after",
                                                   "validate test.other=v"}));
  EXPECT_EQ(rec.events()[1].userContext, "kept");
}

TEST_F(CfgRestartTest, ExistingDatabaseKeepsValuesAndGainsNewSeedVariables) {
  startService();
  openLocal("C");
  ASSERT_EQ(write("C", "test.plain", "mine").error(), 0);
  killService(SIGTERM);
  // A later seed changes a default and adds a variable.
  std::string seed = kCfgTestSeed;
  seed.replace(seed.find("\"start\""), 7, "\"factory2\"");
  std::ofstream(m_seed) << seed << "test.added  user/admin  \"fresh\"\n";
  startService();
  EXPECT_EQ(valueOf("C", "test.plain"), "mine");
  EXPECT_EQ(valueOf("C", "test.added"), "fresh");
  EXPECT_NE(serviceLog().find("(1 added from the seed)"), std::string::npos) << serviceLog();
}

// A database written by something else: the statements of the service do
// not prepare on it. Before the values are served, not after.
void makeForeignDatabase(const std::string& path) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE lists(name TEXT, kind INTEGER);", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
}

TEST_F(CfgRestartTest, BadSeedOrDatabaseStopsTheServiceWithTheReason) {
  std::ofstream(m_seed + ".bad") << "test.a user/admin \"x\"\ntest.b user/nobody \"y\"\n";
  makeForeignDatabase(m_db + ".foreign");
  struct Case {
    std::vector<std::string> args;
    std::string log;
  } cases[] = {
      {{"--db", m_db, "--seed", m_seed + ".bad"},
       "configsrvc: " + m_seed + ".bad:2: bad access levels user/nobody (e.g. user/admin)\n"},
      {{"--db", m_db + ".foreign"},
       "configsrvc: database: cannot prepare \"SELECT name, kind, instance, text FROM lists ORDER BY name, kind, "
       "instance, idx\": no such column: instance\n"},
      {{"--db", ctlTestDir() + "/no/such/dir/c.db"}, "configsrvc: " + ctlTestDir() + "/no/such/dir/c.db: "},
      {{"--seed", m_seed}, "configsrvc: usage: configsrvc --db PATH"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[1]);
    CtlRun r = ctlRun(c.args, CFG_TEST_CONFIGSRVC);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find(c.log), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("serving"), std::string::npos) << r.err;
  }
}

}  // namespace
