// The log-space monitor daemon and the threshold state machine driven by
// the changes of the log-space variables.
#include "systemservice/syssrvLogSpace.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>

#include "OS/logmsg.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvProcess.h"
#include "systemservice/syssrvQuote.h"

const char kLogSpaceEnable[] = "system.log.spacemonitoring.enable";
const char kLogSpaceUsedPercent[] = "system.log.spacemonitoring.usedpercent";
const char kLogSpaceThreshold[] = "system.log.spacemonitoring.threshold";
const char kLogTransferFrequency[] = "system.log.spacemonitoring.autotransfer.transferfrequency";
const char kLogTransferInProgress[] = "system.log.spacemonitoring.autotransfer.inprogress";

namespace {

const char kLogSpaceMax[] = "system.log.spacemonitoring.max";
const char kLogSpaceUpdateFreq[] = "system.log.spacemonitoring.updatefreq";
const char kFolderNameOption[] = "system.log.spacemonitoring.autotransfer.foldernameoption";
const char kFolderName[] = "system.log.spacemonitoring.autotransfer.foldername";
const char kKillMonitor[] = "busybox killall -q logSpaceMonitor";
constexpr int kReapTries = 10;

bool thresholdExceeded = false;
bool logSpaceMonitorDaemonRunning = false;
pid_t pidLogSpaceMonitor = 0;

unsigned decimal(const std::string& text) { return static_cast<unsigned>(strtoul(text.c_str(), nullptr, 10)); }

void reap_monitor() {
  int status = 0;
  if (pidLogSpaceMonitor > 0 && waitOnChild(pidLogSpaceMonitor, &status) != kTimeOut) pidLogSpaceMonitor = 0;
}

void set_flag(bool exceeded, bool notify) {
  thresholdExceeded = exceeded;
  if (notify) SystemIFLogSpaceThresholdNtfy(exceeded);
}

// Starts a transfer unless one already runs.
void auto_start() {
  if (!logspace_is(logspace_read(kLogTransferInProgress, 127), "false")) return;
  logspace_transfer_now_or_after_camera();
}

void evaluate_threshold() {
  const unsigned percentFilled = decimal(logspace_read(kLogSpaceUsedPercent, 31));
  if (!logspace_is(logspace_read(kLogSpaceEnable, 31), "true")) return;
  const bool autoTransfer = logspace_is(logspace_read(kLogTransferFrequency, 63), "AutoAtThreshold");
  const std::string threshold = logspace_read(kLogSpaceThreshold, 63);
  if (logspace_is(threshold, "Off")) return set_flag(false, true);
  if (percentFilled < decimal(threshold)) {
    if (thresholdExceeded) set_flag(false, !autoTransfer);
    return;
  }
  if (!thresholdExceeded) set_flag(true, !autoTransfer);
  if (autoTransfer) auto_start();
}

void transfer_frequency_changed(const std::string& value) {
  if (logspace_is(value, "AutoAtThreshold") && thresholdExceeded) auto_start();
  SystemIFLogSpaceThresholdNtfy(thresholdExceeded);
}

void enable_changed(const std::string& value) {
  if (logspace_is(value, "false")) {
    logspace_monitor_control(STOP);
    config_write(kLogSpaceUsedPercent, "100", kSystem);
    if (thresholdExceeded) set_flag(false, true);
    return;
  }
  config_write(kLogSpaceUsedPercent, "0", kSystem);
  logspace_monitor_control(START);
  transfer_frequency_changed(logspace_read(kLogTransferFrequency, 63));
}

// The flusher has written "false": its end is announced. It may still be
// on its way out, so it gets ten seconds before it is killed; the bounded
// tries keep a stuck flusher from holding the service.
void reap_flusher() {
  CommonIF::eErrorType result = flush_logs_finish(false);
  for (int tries = 1; result == CommonIF::kErrTimeOut && tries <= kReapTries; ++tries) {
    logdebug(nullptr,
             "update_logspace_management: Toggling LogTransferIsInProgress to wait for log flush completion. "
             "Tries:%d.\n",
             tries);
    sysio().sleep_us(1000000);
    result = flush_logs_finish(false);
  }
  if (result == CommonIF::kErrTimeOut) result = flush_logs_finish(true);
  SystemIFLogTransferCompleteNtfy(result);
}

}  // namespace

std::string logspace_read(const char* name, int len) {
  std::string buf(static_cast<size_t>(len) + 1, '\0');
  if (config_read(name, &buf[0], len + 1, nullptr) != 0) return "";
  buf.resize(strlen(buf.c_str()));
  return buf;
}

bool logspace_is(const std::string& value, const char* want) { return strcasecmp(value.c_str(), want) == 0; }

void logspace_monitor_control(int state) {
  if ((state == STOP || state == REINIT) && logSpaceMonitorDaemonRunning) {
    const int status = sysio().system(kKillMonitor);
    if (status == 0) {
      logdebug(nullptr, "logspace_monitor_control: Ran command line: \"%s\"\n", kKillMonitor);
      logSpaceMonitorDaemonRunning = false;
    } else {
      logerr(nullptr, "logspace_monitor_control: Failure running command line: \"%s\" status:%d\n", kKillMonitor,
             status);
    }
    reap_monitor();
  }
  if ((state == START || state == REINIT) && !logSpaceMonitorDaemonRunning) {
    const std::string freq = logspace_read(kLogSpaceUpdateFreq, 31);
    const char* argv[] = {"/opt/corvale/bin/logSpaceMonitor", "--checkfreq", freq.c_str(),
                          "--percentage-change-trigger", "1", nullptr};
    // The frequency goes to the monitor as one word whatever it holds; the
    // log line shows its line breaks escaped.
    const std::string shown = log_text(freq);
    logdebug(nullptr, "logspace_monitor_control: Running command line: \"%s %s %s %s %s\"\n", argv[0], argv[1],
             shown.c_str(), argv[3], argv[4]);
    pid_t pid = 0;
    const eErrorT status = forkExec(argv, &pid);
    if (status != kNoError) {
      logerr(nullptr, "logspace_monitor_control: Running command line: \"%s %s %s %s %s\" failed; status:%d\n",
             argv[0], argv[1], shown.c_str(), argv[3], argv[4], status);
      return;
    }
    pidLogSpaceMonitor = pid;
    logSpaceMonitorDaemonRunning = true;
    logerr(nullptr, "logspace_monitor_control: pidLogSpaceMonitor is %d\n", pid);
  }
}

int update_logspace_management(const char* name, const char* value) {
  std::string text = value != nullptr ? value : "";
  if (name == nullptr) {
    text = logspace_read(kLogSpaceEnable, 31);
    logdebug(nullptr, "update_logspace_management: initializing, enabled=%s\n", log_text(text).c_str());
    name = kLogSpaceEnable;
  }
  if (strcmp(name, kLogSpaceEnable) == 0) {
    enable_changed(text);
  } else if (strcmp(name, kLogSpaceMax) == 0 || strcmp(name, kLogSpaceUsedPercent) == 0 ||
             strcmp(name, kLogSpaceThreshold) == 0) {
    evaluate_threshold();
  } else if (strcmp(name, kLogTransferFrequency) == 0) {
    transfer_frequency_changed(text);
  } else if (strcmp(name, kLogTransferInProgress) == 0) {
    if (logspace_is(text, "false")) reap_flusher();
  } else if (strcmp(name, kFolderNameOption) != 0 && strcmp(name, kFolderName) != 0) {
    return 0;
  }
  return 1;
}

void syssrvLogSpace_testing_reset() {
  thresholdExceeded = logSpaceMonitorDaemonRunning = false;
  pidLogSpaceMonitor = 0;
  syssrvLogFlush_testing_reset();
}
