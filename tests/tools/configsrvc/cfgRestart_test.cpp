// Durability: what was answered survives kill -9 and a restart, with the
// clients' registrations, levels and the attached components; a restarted
// service with a longer seed keeps the stored values and gains the new
// variables; a service that cannot use its seed or database stops with the
// reason.
#include <fstream>
#include <iterator>

#include <sqlite3.h>

#include "tests/tools/configsrvc/cfgTestFixture.h"

namespace {

class CfgRestartTest : public CfgSrvTest {};

TEST_F(CfgRestartTest, KillNineKeepsWhatWasAnswered) {
  startService();
  openLocal("C");
  openLocal("SystemSrvc");
  ASSERT_EQ(registerCb("SystemSrvc", "test.plain", "kChangeNotify", "kept"), "error: 0");
  ASSERT_EQ(registerCb("SystemSrvc", "test.other", "kDynamicValidator"), "error: 0");
  ASSERT_EQ(write("C", "test.plain", "durable"), kCfgWriteOk);
  ASSERT_EQ(write("C", "test.slots", "slot2", "kAdmin", 2), kCfgWriteOk);
  const std::string levels = "role: kSystem instance { node { name: 'test.third' } } read_level: kAdmin";
  ASSERT_EQ(ask("C", "ConfigIF.SetAccessLevelsReq", levels), "error: 0");
  ASSERT_EQ(ask("C", "ConfigIF.ComponentChangeReq", "component_name: 'multicodecenginemode'"), "error: 0");

  killService(SIGKILL);
  startService();

  EXPECT_EQ(ask("C", "ConfigIF.ReadReq", "role: kUser instance { node { name: 'test.plain' } }"),
            "value: \"durable\" is_default: false error: 0 instance { node { name: \"test.plain\" } }");
  EXPECT_EQ(valueOf("C", "test.slots", 2), "slot2");
  EXPECT_EQ(ask("C", "ConfigIF.ReadReq", "role: kUser instance { node { name: 'test.third' } }"),
            "error: -8 instance { node { name: \"test.third\" } }");
  EXPECT_EQ(ask("C", "ConfigIF.GetComponentsReq", ""), "error: 0 component_name: \"multicodecenginemode\"");
  // The restarted service calls its clients back without new registrations.
  EXPECT_EQ(next("SystemSrvc"), "changed test.plain=durable by C as kAdmin ctx kept");
  ASSERT_EQ(write("C", "test.plain", "after"), kCfgWriteOk);
  EXPECT_EQ(next("SystemSrvc"), "changed test.plain=after by C as kAdmin ctx kept");
  auto written = writeAsync("C", "test.other", "v");
  EXPECT_EQ(next("SystemSrvc"), "validate test.other=v by C as kAdmin");
  EXPECT_EQ(written.get(), kCfgWriteOk);
}

TEST_F(CfgRestartTest, ExistingDatabaseKeepsValuesAndGainsNewSeedVariables) {
  startService();
  openLocal("C");
  ASSERT_EQ(write("C", "test.plain", "mine"), kCfgWriteOk);
  killService(SIGTERM);
  // A later seed changes a default and adds a variable.
  std::ifstream seed(m_seed);
  std::string text{std::istreambuf_iterator<char>(seed), std::istreambuf_iterator<char>()};
  std::ofstream(m_seed) << text.replace(text.find("\"start\""), 7, "\"factory2\"") << "test.added user/admin \"fresh\"\n";
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
