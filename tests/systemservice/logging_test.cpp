// The syslog start script's command line from the settings, the change
// filter, the relaunch guard, and the relaunch once the LAN becomes usable.
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvMain.h"
#include "tests/systemservice/test_callbacks_peer.h"

namespace {

using Strings = std::vector<std::string>;
using LoggingTest = CfgTest;
const char kPidof[] = "/system/xbin/pidof startsyslog >/dev/null 2>&1", kEnabled[] = "system.log.remotelog.enabled";
const std::string kStart = "/system/bin/startsyslog --logfile /data/log/messages --maxfilesize 1024 --maxfiles 30 --loglevel ";
const std::string kBad = "update_logging: invalid data for kCfgVar", kRemote = " --remotelogserver ";

TEST_F(LoggingTest, SettingsMakeTheCommandLineChangesThatCannotMatterOrComeInABurstLaunchNothing) {
  rec().on(kPidof).exit_code(1);
  const struct { const char *name, *enabled, *protocol, *level, *server; std::string tail = "", log = ""; } rows[] = {
      {nullptr, "True", "UDP", "warning", "10.0.0.1:514", "warning" + kRemote + "10.0.0.1:514 --remoteandlocal &"},
      {"system.log.level", "false", "TLS", "verbose", "h", "Debug &", kBad + "SyslogLevel received: verbose, exptected: One of Debug, Info, Warning, Error and Critical, defaulting log leval to Debug\n"},
      {"system.log.maxfiles", "yes", "UDP", "Error", "h", "Error &", kBad + "RemoteSyslogEnable received: yes, exptected: one of True or False, logging restarts without remote logging\n"},
      {"system.log.remotelog.serveraddress", "FALSE", "TLS", "Info", "h"}, {"system.log.remotelog.serverprotocol", "false", "TLS", "Info", "h"},
      {"security.disabletlsversionone", "true", "UDP", "Info", "h"},
      {"comm.Callsetting.callFeatures.fips140enable", "true", "tls", "Critical", "h;reboot", "Critical" + kRemote + "'h;reboot' --remoteandlocal &"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name ? r.name : "(null)");
    for (auto [n, v] : {std::pair{kEnabled, r.enabled}, {"system.log.remotelog.serverprotocol", r.protocol}, {"system.log.level", r.level}, {"system.log.remotelog.serveraddress", r.server}}) peer().set(n, v);
    rec().advance_ms(1000);  // the guard's bound: a second is enough
    forget();
    EXPECT_EQ(update_logging(r.name, "v"), 1);
    EXPECT_EQ(rec().commands(), (r.tail.empty() ? Strings{} : Strings{kPidof, kStart + r.tail}));
    EXPECT_EQ(sent("write system.log.spacemonitoring.max=").size(), r.tail.empty() ? 0u : 1u);
    EXPECT_TRUE(r.log.empty() || logged(6, r.log) == 1);
  }
  rec().advance_ms(999);  // a burst launches once
  forget();
  EXPECT_EQ(update_logging(nullptr, nullptr), 1);
  EXPECT_EQ(rec().commands(), (Strings{kPidof}));
  EXPECT_EQ(logged(6, "update_logging: startsyslog is already running, so don't run it again\n"), 1);
}

// Only a LAN that just came up with a global address asks for a relaunch.
TEST_F(LoggingTest, RemoteLoggingRelaunchesOnceEachTimeTheLanBecomesUsable) {
  const struct { const char* enabled; LanState lan; bool usable, restart; } rows[] = {
      {"true", LAN_UP, true, true},    {"true", LAN_UP, true, false},   {"true", LAN_DOWN, true, false}, {"true", LAN_UP, true, false},
      {"true", LAN_DOWN, false, false}, {"true", LAN_UP, false, false}, {"false", LAN_UP, true, false},  {"TRUE", LAN_UP, true, true},
  };
  EXPECT_EQ(loggingLinks.lanUsable, &check_lan_usable);  // handed down by the core
  const char ip[] = "/system/bin/ip addr | grep \"scope global\" > /dev/null";
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.enabled) + (r.lan == LAN_UP ? " up" : " down") + (r.usable ? " usable" : ""));
    peer().set(kEnabled, r.enabled);
    rec().on(ip).exit_code(r.usable ? 0 : 1);
    forget();
    EXPECT_EQ(bLoggingRestartNeeded(r.lan), r.restart);
    EXPECT_EQ(rec().commands(), (r.enabled[0] == 'f' ? Strings{} : Strings{ip}));
  }
  peer().breakReads(kEnabled);  // unreadable: no relaunch, and a change is not applied
  EXPECT_EQ(update_logging("system.log.level", "Info") + bLoggingRestartNeeded(LAN_UP), 0);
  EXPECT_EQ(logged(3, "bLoggingRestartNeeded: config read of remote syslog failed\n"), 1);
}

}  // namespace
