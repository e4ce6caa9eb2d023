// The threshold state machine, the monitor daemon, the transfer's folder
// and command line, and the flusher's results, on the daemon fixture.
#include "SystemIF.pb.h"
#include "systemservice/syssrvLogging.h"
#include "tests/systemservice/test_callbacks_peer.h"

namespace {

using Strings = std::vector<std::string>;
using LogSpaceTest = CfgTest;
const std::string kVar = "system.log.spacemonitoring.";
const char kFlusher[] = "/opt/corvale/bin/logFlusher";
const char kMount[] = "mount | grep '/mnt/extdev/usb' | sed 's@.*\\(/mnt/extdev/usb[0-9]*\\) .*@\\1@'";

std::string ntfy(bool exceeded) { return std::string("SystemIFLogSpaceThresholdNtfy: isExceeded:") + (exceeded ? "1\n" : "0\n"); }

// Each step keeps the flag the previous one left; inprogress stays "True"
// once a transfer started.
TEST_F(LogSpaceTest, ThresholdCrossingsNotifyOnceOrStartOneTransfer) {
  const struct { const char* freq; const char* threshold; const char* used; int up, down, flushes; } rows[] = {
      {"Manual", "80", "79", 0, 0, 0}, {"Manual", "80", "80", 1, 0, 0}, {"Manual", "80", "85", 0, 0, 0},
      {"Manual", "80", "50", 0, 1, 0}, {"Manual", "Off", "90", 0, 1, 0}, {"Manual", "OFF", "0", 0, 1, 0},
      {"AutoAtThreshold", "80", "80", 0, 0, 1}, {"autoatthreshold", "80", "99", 0, 0, 0}, {"AutoAtThreshold", "80", "3", 0, 0, 0},
  };
  peer().set(kVar + "enable", "True");
  peer().set(kVar + "autotransfer.inprogress", "false");
  rec().on(kMount).output("/mnt/extdev/usb0\n");
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.freq) + " " + r.threshold + " " + r.used);
    peer().set(kVar + "autotransfer.transferfrequency", r.freq);
    peer().set(kVar + "threshold", r.threshold);
    peer().set(kVar + "usedpercent", r.used);
    forget();
    EXPECT_EQ(update_logspace_management((kVar + "usedpercent").c_str(), r.used), 1);
    EXPECT_EQ(logged(7, ntfy(true)) * 10 + logged(7, ntfy(false)), r.up * 10 + r.down);
    EXPECT_EQ(rec().records(SysIoCall::kForkExec).size(), size_t(r.flushes));
  }
  // A frequency change tells the flag (the last row cleared it silently).
  forget();
  EXPECT_EQ(update_logspace_management((kVar + "autotransfer.transferfrequency").c_str(), "Manual"), 1);
  EXPECT_EQ(logged(7, ntfy(false)), 1);
  EXPECT_EQ(update_logspace_management("system.log.level", "Debug"), 0);
}

TEST_F(LogSpaceTest, EnablingStartsTheMonitorOnceAndDisablingKillsIt) {
  peer().set(kVar + "updatefreq", "30");
  const struct { const char* enable; int killRc; Strings cmds; const char* used; } rows[] = {
      {"True", 0, {"/opt/corvale/bin/logSpaceMonitor --checkfreq 30 --percentage-change-trigger 1"}, "0"},
      {"true", 0, {}, "0"},  // already running
      {"False", 1, {"busybox killall -q logSpaceMonitor"}, "100"},
      {"false", 0, {"busybox killall -q logSpaceMonitor"}, "100"},  // the failed kill left it marked running
      {"FALSE", 0, {}, "100"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.enable);
    rec().on("busybox killall -q logSpaceMonitor").exit_code(r.killRc);
    forget();
    EXPECT_EQ(update_logspace_management((kVar + "enable").c_str(), r.enable), 1);
    EXPECT_EQ(rec().commands(), r.cmds);
    EXPECT_EQ(sent("write " + kVar + "usedpercent"), Strings{"write " + kVar + "usedpercent=" + r.used + " as 30"});
    // Enabled, the monitor's clients learn the state it starts from.
    EXPECT_EQ(logged(7, ntfy(false)), r.used[0] == '0' ? 1 : 0);
  }
}

// Folder names from the options, the clock and the system name; failures
// before the flusher starts are announced twice and answered.
TEST_F(LogSpaceTest, TransferRequestBuildsTheFolderOrAnswersTheFailure) {
  rec().set_realtime(1704164645);  // 2024-01-02 03:04:05 UTC
  peer().set("system.log.filename", "/data/log/messages");
  peer().set("system.info.systemname", "Room 1");
  const struct { const char* option; const char* custom; const char* mount; const char* inprogress; int error; const char* folder; } rows[] = {
      {"Timestamp", nullptr, "/mnt/extdev/usb0\n", "false", 0, "2024-01-02T03_04_05"},
      {"SystemNameAndTimestamp", nullptr, "/mnt/extdev/usb1\n", "False", 0, "Room_1_2024-01-02T03_04_05"},
      {"Custom", nullptr, "/mnt/extdev/usb0\n", "false", 0, "Room_1_2024-01-02T03_04_05"},
      {"Custom", "a/b:c d", "/mnt/extdev/usb0", "false", 0, "a_b_c_d"},
      {"Custom", "..", "/mnt/extdev/usb0\n", "false", -3, nullptr}, {"Custom", ".", "/mnt/extdev/usb0\n", "false", -3, nullptr},
      {"Timestamp", nullptr, "", "false", -7, nullptr}, {"Timestamp", nullptr, nullptr, "false", -1, nullptr},
      {"Timestamp", nullptr, "/mnt/extdev/usb0\n", "TRUE", -9, nullptr},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.option) + " " + (r.custom ? r.custom : "-") + " " + (r.mount ? r.mount : "no mount"));
    peer().set(kVar + "autotransfer.foldernameoption", r.option);
    r.custom ? peer().set(kVar + "autotransfer.foldername", r.custom) : peer().setDefault(kVar + "autotransfer.foldername", "x");
    peer().set(kVar + "autotransfer.inprogress", r.inprogress);
    rec().on(kMount) = SysIoCommandScript();
    r.mount ? (void)rec().on(kMount).output(r.mount) : (void)rec().on(kMount).fail();
    forget();
    deliver(kMsgIdSystemIFLogTransferReq, "", SystemIFLogTransferReq);
    SystemIF::LogTransferRsp rsp;
    EXPECT_EQ(answer(kMsgIdSystemIFLogTransferRsp, &rsp) ? rsp.error() : 1, r.error);
    const std::string dev = r.mount ? std::string(r.mount).substr(0, 16) + "/" : "";
    const Strings started = {kMount, std::string(kFlusher) + " --logdir /data/log --archivedev " + dev + " --archivedir " +
                                         (r.folder ? r.folder : "") + " --archivefilename " + (r.folder ? r.folder : "")};
    EXPECT_EQ(rec().commands(), r.folder ? started : r.error == -9 ? Strings{} : Strings{kMount});
    EXPECT_EQ(sent("write " + kVar + "autotransfer.inprogress"),
              r.folder ? Strings{"write " + kVar + "autotransfer.inprogress=True as 50"} : Strings{});
    EXPECT_EQ(logged(7, "SystemIFLogTransferCompleteNtfy: error:" + std::to_string(r.error) + "\n"), r.error && r.error != -9 ? 2 : 0);
  }
}

// Asked, the answer comes from the two variables alone; an unparsable
// request gets none.
TEST_F(LogSpaceTest, ThresholdRequestComparesTheVariables) {
  const struct { const char* threshold; const char* used; bool exceeded; } rows[] = {
      {"80", "80", true}, {"80", "79", false}, {"OFF", "99", false}, {"5", "50", true}};
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.threshold) + " " + r.used);
    peer().set(kVar + "threshold", r.threshold);
    peer().set(kVar + "usedpercent", r.used);
    forget();
    deliver(kMsgIdSystemIFLogSpaceThresholdReq, "", SystemIFLogSpaceThresholdReq);
    SystemIF::LogSpaceThresholdRsp rsp;
    ASSERT_TRUE(answer(kMsgIdSystemIFLogSpaceThresholdRsp, &rsp));
    EXPECT_EQ(rsp.ShortDebugString(), r.exceeded ? "error: 0 threshold_exceeded: true"
                                                 : "error: 0 threshold_exceeded: false");
  }
  forget();
  deliver(kMsgIdSystemIFLogSpaceThresholdReq, "\xff\xff", SystemIFLogSpaceThresholdReq);
  SystemIF::LogSpaceThresholdRsp none;
  EXPECT_FALSE(answer(kMsgIdSystemIFLogSpaceThresholdRsp, &none, 200));
  EXPECT_EQ(logged(3, "SystemIFLogSpaceThresholdReq: Parse Error\n"), 1);
}

// The flusher ends by itself, by a signal, or never (then it is waited for
// ten seconds and killed).
TEST_F(LogSpaceTest, FlusherOutcomesMapToTheCompletionError) {
  peer().set("system.log.filename", "/data/log/messages");
  peer().set(kVar + "autotransfer.foldernameoption", "Timestamp");
  rec().on(kMount).output("/mnt/extdev/usb0\n");
  const struct { int raw; bool ends; int error; int level; const char* line; } rows[] = {
      {0, false, -1, 7, "flush_logs_finish: Flush not exited yet and it should have. Aborting it.\n"},
      {0, true, 0, 7, "flush_logs_finish: Flush completed.\n"},
      {6 << 8, true, -2, 3, "flush_logs: Filesystem is full.\n"},
      {7 << 8, true, -3, 3, "flush_logs: Create archive dir failed.\n"},
      {8 << 8, true, -1, 3, "flush_logs: Copy of files to archive failed.\n"},
      {9 << 8, true, -1, 3, "flush_logs: Delete of originals after copy to archive failed.\n"},
      {3 << 8, true, -1, 3, "flush_logs: Flush exited with unknown status 3.\n"},
      {9, true, -8, 0, nullptr},
  };
  pid_t pid = 5000;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.raw);
    peer().set(kVar + "autotransfer.inprogress", "false");
    SysIoCommandScript& child = rec().on_prefix(kFlusher) = SysIoCommandScript();
    if (r.ends) child.ends(r.raw, 3);
    child.pid(++pid);
    ASSERT_EQ(startLogFlush(), CommonIF::kErrNoError);
    forget();
    EXPECT_EQ(update_logspace_management((kVar + "autotransfer.inprogress").c_str(), "FALSE"), 1);
    EXPECT_EQ(rec().records(SysIoCall::kSleep).size(), r.ends ? 3u : 10u);
    EXPECT_EQ(r.line ? logged(r.level, r.line) : 1, 1) << logBytes();
    EXPECT_EQ(logged(7, "SystemIFLogTransferCompleteNtfy: error:" + std::to_string(r.error) + "\n"), 1) << logBytes();
    EXPECT_EQ(rec().commands(), r.ends ? Strings{} : Strings{"busybox killall -q logFlusher"});
  }
  forget();  // nothing left to reap: no wait on pid 0, one answer
  EXPECT_EQ(update_logspace_management((kVar + "autotransfer.inprogress").c_str(), "false"), 1);
  EXPECT_EQ(rec().records(SysIoCall::kWaitpid).size() + logged(7, "SystemIFLogTransferCompleteNtfy: error:-1\n"), 1u);
}

}  // namespace
