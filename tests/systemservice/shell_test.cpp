// Remote shells and the banner file on the daemon fixture: exact command
// lines, signals, file bytes, hostile values. The embedded switch's command
// is a row of the change dispatcher's table.
#include <unistd.h>

#include "multicodec_util/multicodec_sysids.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvShell.h"
#include "tests/systemservice/test_callbacks_peer.h"

namespace {

using Strings = std::vector<std::string>;
using ShellTest = CfgTest;

// /proc/40 stays whatever it is sent, as a process the kernel holds would:
// SIGTERM, SIGKILL, then the loop gives up.
TEST_F(ShellTest, SshdFollowsSettingCipherMulticodecAndConversionBootStopIsBounded) {
  struct Row { bool enable; const char *cbc, *link; uint32_t id; const char* proc; Strings want; };
  const Row rows[] = {{true, "True", "", 0, "", {"start sshd"}}, {false, "true", "", 3, "", {"start sshd_nocbc"}},
                      {false, "True", "/x/devconvert.rc", 0, "sshd", {}},
                      {false, "True", "/system/etc/init.rc.long.name/devconvert", 0, "sshd_nocbc",
                       {"stop sshd", "kill 15", "kill 9"}},
                      {false, "False", "", 0, "sshd", {"stop sshd_nocbc"}}};
  rec().make_dirs("/opt/corvale/dat");
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.cbc) + " " + r.link);
    peer().set("security.enablecipheraescbc", r.cbc);
    unlink(rec().path("/init.rc").c_str());
    ASSERT_TRUE(!*r.link || symlink(r.link, rec().path("/init.rc").c_str()) == 0);
    r.id ? write_codec_id(r.id) : remove_codec_id_file();
    rec().put_file("/proc/40/cmdline", r.proc + std::string("\0-R", 3));
    forget();
    enable_sshd(r.enable);
    Strings got = rec().commands();
    for (const SysIoRecord& k : rec().records(SysIoCall::kKill)) got.push_back("kill " + std::to_string(k.sig));
    EXPECT_EQ(got, r.want);
    EXPECT_EQ(rec().records(SysIoCall::kSleep).size(), r.want.size() > 1 ? 50u : 0u);  // bounded, never spinning
  }
}

// Ordinary users may write the debug port.
TEST_F(ShellTest, TelnetGetsOnlyTheParsedDebugPortOrRunsOnASecondaryDevelopmentUnit) {
  const std::string start = "/opt/corvale/bin/starttelnetd ", stop = "kill `pidof telnetd`";
  struct Row { const char *enabled, *port; bool dev; Strings want; };
  const Row rows[] = {{"TRUEly", "23; reboot", false, {stop, start + " & "}},
                      {"true", "007", false, {stop, start + "7 & "}},
                      {"false", "2323", true, {start + "2323 & "}}, {"false", "2323", false, {stop}}};
  peer().set("system.modularroom.mode", "secondary");
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.enabled) + " " + r.port);
    peer().set("security.remoteaccess.telnet.enabled", r.enabled);
    peer().set("security.remoteaccess.telnet.pddebugport", r.port);
    m_bDevfeatures = r.dev;
    forget();
    telnetd_cfg_change(1);
    EXPECT_EQ(rec().commands(), r.want);
  }
}

// Any text: written whole, replacing the file, and never run.
TEST_F(ShellTest, BannerFileHoldsTheChosenTextAndALineEndOrIsGone) {
  const char odd[] = "Only;`reboot`\r\nline 2\0cut";
  struct Row { bool enable, dod, dir; int rc; const char* bytes; };
  const Row rows[] = {{true, false, true, 0, "Only;`reboot`\r\nline 2\n"}, {true, true, true, 0, "DoD\n"},
                      {false, true, false, 0, ""}, {true, false, false, -1, ""}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.bytes);
    r.dir ? rec().make_dirs("/data/corvale/ssh") : (void)rmdir(rec().path("/data/corvale/ssh").c_str());
    gSshBanner.EnableBanner(r.enable);
    gSshBanner.EnableDodMode(r.dod);
    gSshBanner.SetNormalText(std::string(odd, sizeof odd - 1));
    gSshBanner.SetDodText("DoD");
    EXPECT_EQ(gSshBanner.ApplyChanges(), r.rc);
    EXPECT_EQ(rec().file_bytes("/data/corvale/ssh/banner.txt"), r.bytes);
  }
  EXPECT_EQ(rec().records(SysIoCall::kRename).size() + rec().commands().size(), 2u);  // replaced, never run
  EXPECT_EQ(logged(3, "ApplyChanges: can't open /data/corvale/ssh/banner.txt for writing\n"), 1);
}

}  // namespace
