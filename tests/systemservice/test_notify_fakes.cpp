// Change dispatcher paths that depend on answers of other modules: a failed
// logging restart, a log-space variable (row 13, which skips the common
// tail), and the DHCP questions of rows 19 and 21.
//
// This program links its own definitions of those few functions ahead of
// the daemon's modules (see notify_fake_tests in test_notify.cmake); they
// record their calls in the same call trace and answer as a test tells them.
#include <set>
#include <string>
#include <vector>

#include "systemservice/syssrvCallTrace.h"
#include "systemservice/syssrvDhcp.h"
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvMessage.h"
#include "tests/systemservice/test_notify_fixture.h"

namespace {

int gLoggingResult = 1;
std::set<std::string> gLogspaceNames;
bool gDependMO = false;
bool gMONotSetOnBoot = false;

std::string arg(const char* s) { return s ? s : "null"; }

}  // namespace

int update_logging(const char* name, const char* value) {
  syssrvCallTrace_add("update_logging(" + arg(name) + "," + arg(value) + ")");
  return gLoggingResult;
}

int update_logspace_management(const char* name, const char* value) {
  syssrvCallTrace_add("update_logspace_management(" + arg(name) + "," + arg(value) + ")");
  return gLogspaceNames.count(arg(name)) != 0 ? 1 : 0;
}

bool isDependMO() {
  syssrvCallTrace_add("isDependMO()");
  return gDependMO;
}

bool isMONotSetOnBoot() {
  syssrvCallTrace_add("isMONotSetOnBoot()");
  return gMONotSetOnBoot;
}

namespace {

using std::string;
using Strings = std::vector<string>;

class NotifyFakesTest : public NotifyTest {
 protected:
  void SetUp() override {
    NotifyTest::SetUp();
    gLoggingResult = 1;
    gLogspaceNames.clear();
    gDependMO = false;
    gMONotSetOnBoot = false;
  }
};

TEST_F(NotifyFakesTest, FailedLoggingRestartsLogTheirRowsTextAndAskForARetry) {
  gLoggingResult = 0;
  struct Case {
    const char* name;
    const char* value;
    const char* text;
  } cases[] = {
      {"time.timeserver.mode", "Auto", "config_change_notify: syslogd not started, after restarting ntpd"},
      {"time.timezone", "UTC", "config_change_notify: syslogd not started, after setting timezone"},
      {"system.log.remotelog.serveraddress", "10.0.0.1:514",
       "config_change_notify: syslogd not started after remote logging enabled"},
      {"system.log.level", "7", "config_change_notify: syslogd not started after the change in logging params"},
      {"security.disabletlsversionone", "True",
       "config_change_notify: syslogd not started after the change in disable TLSv1.0 param"},
  };
  cfg().set("system.log.remotelog.serveraddress", "10.0.0.1:514");
  for (const Case& c : cases) {
    forget();
    didLoggingUpdate = true;
    notify(c.name, c.value);
    EXPECT_FALSE(didLoggingUpdate) << c.name;
    EXPECT_TRUE(logged(3, c.text)) << c.name << "\n" << logBytes();
  }

  forget();
  gLoggingResult = 1;
  didLoggingUpdate = true;
  notify("time.timezone", "UTC");
  EXPECT_TRUE(didLoggingUpdate);
  EXPECT_EQ(logBytes().find("<3>"), std::string::npos) << logBytes();
}

TEST_F(NotifyFakesTest, LogSpaceVariableEndsTheSearchAndSkipsTheTail) {
  cfg().set("system.network.wired.ipv4nic.address", "10.1.2.3");
  cfg().setDefaultOptions({"ENGLISHUS"});
  // The same two names without the log-space answer: rows and tail run.
  notify("system.network.wired.ipv4nic.address", "10.1.2.3");
  EXPECT_EQ(m_LanDirtyBit, 1);
  EXPECT_EQ(cfg().requests(), (Strings{readReq("system.network.wired.ipv4nic.address"),
                                       writeReq("system.pki.csr.sanipv4addr", "10.1.2.3", kSystem),
                                       writeReq("system.pki.csr.sanipv4dnsaddr", "10.1.2.3", kSystem)}));
  forget();
  notify("softupdate.dirtybit", "True");
  EXPECT_EQ(commands(), (Strings{"./clear-language-files\n"}));

  // Now claimed by the log-space monitor: nothing after row 13 runs.
  gLogspaceNames = {"system.network.wired.ipv4nic.address", "softupdate.dirtybit"};
  forget();
  m_LanDirtyBit = 0;
  notify("system.network.wired.ipv4nic.address", "10.1.2.3");
  EXPECT_EQ(m_LanDirtyBit, 0);
  EXPECT_EQ(trace(), (Strings{"update_logspace_management(system.network.wired.ipv4nic.address,10.1.2.3)"}));
  EXPECT_EQ(cfg().requests(), Strings{});
  forget();
  notify("softupdate.dirtybit", "True");
  EXPECT_EQ(commands(), Strings{});
  EXPECT_EQ(cfg().requests(), Strings{});
}

TEST_F(NotifyFakesTest, RowsBeforeTheLogSpaceRowAreNotAskedAboutIt) {
  gLogspaceNames = {"time.timezone"};
  notify("time.timezone", "UTC");
  EXPECT_EQ(trace(), (Strings{"set_timezone(UTC,0)", "update_logging(null,null)"}));
}

TEST_F(NotifyFakesTest, Row19UnboundRestartsIPv6OnlyWhenTheMOFlagWasNotSetAtBoot) {
  const string var = "system.network.wired.ipv6nic.dhcp.state";
  cfg().set(var, "Unbound");
  gMONotSetOnBoot = true;
  notify(var, "Unbound");
  EXPECT_EQ(trace(), (Strings{"update_logspace_management(" + var + ",Unbound)", "updateDnsConfig()",
                              "isMONotSetOnBoot()"}));
  EXPECT_EQ(commands(), (Strings{"/system/bin/startnetwork --restartv6only"}));
  forget();
  cfg().set(var, "Bound");
  notify(var, "Unbound");  // the stored value decides
  EXPECT_EQ(trace(), (Strings{"update_logspace_management(" + var + ",Unbound)", "updateDnsConfig()",
                              "discoverProvisioning()"}));
  EXPECT_EQ(commands(), Strings{});
}

TEST_F(NotifyFakesTest, Row21MOFlagRestartsIPv6OnlyWhenAddressingDependsOnIt) {
  const string var = "system.network.wired.ipv6nic.moflag";
  cfg().set(var, "On");
  gDependMO = true;
  notify(var, "On");
  EXPECT_EQ(trace(), (Strings{"update_logspace_management(" + var + ",On)", "isDependMO()"}));
  EXPECT_EQ(commands(), (Strings{"/system/bin/startnetwork --restartv6only"}));
}

}  // namespace
