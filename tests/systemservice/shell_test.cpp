// Remote shells, intrusion detection, the banner file and the kernel
// switches on the daemon fixture: exact command lines, signals, file bytes.
#include <unistd.h>

#include "multicodec_util/multicodec_sysids.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvShell.h"
#include "tests/systemservice/test_callbacks_peer.h"

namespace {

using Strings = std::vector<std::string>;
using ShellTest = CfgTest;
const std::string kPrintk = "[ -f /proc/sys/kernel/printk ] && echo ";

// /proc/40 is deaf to every signal, as a process in the kernel's hands would be.
TEST_F(ShellTest, SshdFollowsSettingCipherMulticodecAndConversionBootStopIsBounded) {
  struct Row { bool enable; const char *cbc, *link; uint32_t id; const char* proc; Strings cmds, kills; };
  const Row rows[] = {{true, "True", "", 0, nullptr, {"start sshd"}, {}},
                      {false, "true", "", 3, nullptr, {"start sshd_nocbc"}, {}},
                      {false, "True", "/x/devconvert.rc", 0, "sshd", {}, {}},
                      {false, "True", "/system/etc/init.rc.long.name/devconvert", 0, "sshd_nocbc", {"stop sshd"},
                       {"40:15", "40:9"}},
                      {false, "False", "", 0, "sshd", {"stop sshd_nocbc"}, {}}};
  rec().make_dirs("/opt/corvale/dat");
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.cbc) + " " + r.link);
    peer().set("security.enablecipheraescbc", r.cbc);
    unlink(rec().path("/init.rc").c_str());
    ASSERT_TRUE(!*r.link || symlink(r.link, rec().path("/init.rc").c_str()) == 0);
    if (r.id) write_codec_id(r.id);
    else remove_codec_id_file();
    if (r.proc) rec().put_file("/proc/40/cmdline", r.proc + std::string("\0-R", 3));
    forget();
    enable_sshd(r.enable);
    EXPECT_EQ(rec().commands(), r.cmds);
    Strings kills;
    for (const SysIoRecord& k : rec().records(SysIoCall::kKill)) kills.push_back(std::to_string(k.pid) + ":" + std::to_string(k.sig));
    EXPECT_EQ(kills, r.kills);
    const bool deaf = !r.kills.empty();
    EXPECT_EQ(rec().records(SysIoCall::kSleep).size(), deaf ? 50u : 0u);  // every poll waits, and they end
    EXPECT_EQ(logged(3, "enable_sshd: sshd still running after 50 polls, giving up", "ENABLE_SSHD"), deaf);
    rec().put_file("/proc/40/cmdline", "init");
  }
}

TEST_F(ShellTest, TelnetStartsOnlyWithTheParsedDebugPortOrOnASecondaryDevelopmentUnit) {
  const std::string start = "/opt/corvale/bin/starttelnetd ", stop = "kill `pidof telnetd`";
  struct Row { const char *enabled, *port, *mode; bool dev; int restart; Strings cmds; };
  const Row rows[] = {{"TRUEly", "2323", "", false, 1, {stop, start + "2323 & "}},
                      {"true", "007", "", false, 0, {start + "7 & "}},
                      {"true", "23; reboot", "", false, 0, {start + " & "}},
                      {"true", "-5", "", false, 0, {start + " & "}},
                      {"false", "2323", "secondary", true, 1, {start + "2323 & "}},
                      {"false", "", "secondary", false, 0, {stop}},
                      {nullptr, "", "", false, 0, {}}};
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.enabled ? r.enabled : "unreadable") + " " + r.port);
    r.enabled ? peer().set("security.remoteaccess.telnet.enabled", r.enabled)
              : peer().breakReads("security.remoteaccess.telnet.enabled");
    peer().set("security.remoteaccess.telnet.pddebugport", r.port);
    peer().set("system.modularroom.mode", r.mode);
    m_bDevfeatures = r.dev;
    forget();
    telnetd_cfg_change(r.restart);
    EXPECT_EQ(rec().commands(), r.cmds);
  }
}

TEST_F(ShellTest, NidsSetsTheConsoleLevelSwitchValueStaysOneWord) {
  peer().set("system.network.embeddedswitch", "on'; reboot\n");
  start_NIDS();
  stop_NIDS();
  set_console_log_level(8);
  set_embedded_switch();
  EXPECT_EQ(rec().commands(), (Strings{"/system/bin/nids --start", kPrintk + "4 > /proc/sys/kernel/printk",
                                       "/system/bin/nids --stop", kPrintk + "7 > /proc/sys/kernel/printk",
                                       "[ -f /proc/davinci_emac_second_port ] && echo 'on'\\''; reboot\n'"
                                       " > /proc/davinci_emac_second_port"}));
  EXPECT_EQ(logged(7, "doing command: [ -f /proc/davinci_emac_second_port ] && echo 'on'\\''; reboot\\n' > "
                      "/proc/davinci_emac_second_port\n"), 1);
}

// The banner is any text: it is written whole, replacing the file, and
// runs nothing.
TEST_F(ShellTest, BannerFileHoldsTheChosenTextAndALineEndOrIsGone) {
  const char oddText[] = "Only;`reboot` $(id)\r\nline 2\0cut";
  const std::string file = "/data/corvale/ssh/banner.txt", odd(oddText, sizeof oddText - 1);
  struct Row { bool enable, dod, dir; int rc; const char* bytes; };
  const Row rows[] = {{true, false, true, 0, "Only;`reboot` $(id)\r\nline 2\n"}, {true, true, true, 0, "DoD text\n"},
                      {false, true, true, 0, "<none>"}, {false, true, false, 0, "<none>"}, {true, false, false, -1, "<none>"}};
  for (const Row& r : rows) {
    if (r.dir) rec().make_dirs("/data/corvale/ssh");
    else rmdir(rec().path("/data/corvale/ssh").c_str());
    gSshBanner.EnableBanner(r.enable);
    gSshBanner.EnableDodMode(r.dod);
    gSshBanner.SetNormalText(odd);
    gSshBanner.SetDodText("DoD text");
    EXPECT_EQ(gSshBanner.ApplyChanges(), r.rc);
    EXPECT_EQ(rec().file_exists(file) ? rec().file_bytes(file) : "<none>", r.bytes);
  }
  EXPECT_EQ(rec().records(SysIoCall::kRename).size(), 2u);
  EXPECT_TRUE(rec().commands().empty());
  EXPECT_EQ(logged(3, "ApplyChanges: can't open /data/corvale/ssh/banner.txt for writing\n"), 1);
}

}  // namespace
