// Log transfer: the flusher program that moves the log directory to USB
// storage, started with its archive folder and reaped with its result.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "OS/logmsg.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvLogSpace.h"
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvPower.h"
#include "systemservice/syssrvProcess.h"

namespace {

const char kMountQuery[] = "mount | grep '/mnt/extdev/usb' | sed 's@.*\\(/mnt/extdev/usb[0-9]*\\) .*@\\1@'";

pid_t pidLogFlusher = 0;

struct FlushExit {
  int status;
  CommonIF::eErrorType result;
  const char* text;
};
const FlushExit kFlushExits[] = {
    {6, CommonIF::kErrOutOfMemory, "flush_logs: Filesystem is full."},
    {7, CommonIF::kErrBadParameter, "flush_logs: Create archive dir failed."},
    {8, CommonIF::kErrGenericError, "flush_logs: Copy of files to archive failed."},
    {9, CommonIF::kErrGenericError, "flush_logs: Delete of originals after copy to archive failed."},
};

CommonIF::eErrorType exit_result(int status) {
  if (status == 0) {
    logdebug(nullptr, "flush_logs_finish: Flush completed.\n");
    return CommonIF::kErrNoError;
  }
  logdebug(nullptr, "flush_logs_finish: Flush exited with status %d.\n", status);
  for (const FlushExit& e : kFlushExits) {
    if (e.status != status) continue;
    // The facility ends a line only at a newline of the format itself.
    logerr(nullptr, "%s\n", e.text);
    return e.result;
  }
  logerr(nullptr, "flush_logs: Flush exited with unknown status %d.\n", status);
  return CommonIF::kErrGenericError;
}

// The mount point of the first USB storage device with a trailing "/";
// kErrNoError, or the error the transfer ends with.
CommonIF::eErrorType find_usb_storage(std::string* mount) {
  FILE* pipe = sysio().popen(kMountQuery, "r");
  if (pipe == nullptr) {
    logerr(nullptr, "flush_logs_start(): Mounted USB storage devices query failed.\n");
    return CommonIF::kErrGenericError;
  }
  char line[140] = "";
  if (fgets(line, sizeof line, pipe) == nullptr) line[0] = '\0';
  // The rest is read so that the pipeline is not left blocked on a full pipe.
  char rest[256];
  while (fgets(rest, sizeof rest, pipe) != nullptr) {
  }
  sysio().pclose(pipe);
  std::string text = line;
  const size_t end = text.find_last_of("\r\n");
  text = text.substr(0, end == std::string::npos ? text.size() : end);
  if (text.empty()) {
    logdebug(nullptr, "flush_logs_start(): Found no USB storage devices.\n");
    return CommonIF::kErrItemNotFound;
  }
  *mount = text + "/";
  return CommonIF::kErrNoError;
}

// The archive folder's name, without blanks, "/" or ":".
CommonIF::eErrorType folder_name(std::string* folder) {
  char custom[128] = "";
  bool isDefault = true;
  if (config_read("system.log.spacemonitoring.autotransfer.foldername", custom, sizeof custom, &isDefault) != 0)
    isDefault = true;
  const std::string option = logspace_read("system.log.spacemonitoring.autotransfer.foldernameoption", 63);
  std::string name;
  if (logspace_is(option, "Custom") && !isDefault) {
    name = custom;
  } else {
    struct tm local {};
    char stamp[64];
    if (sysio().local_time(sysio().time(nullptr), &local) != 0 || strftime(stamp, sizeof stamp, "%FT%T", &local) == 0)
      return CommonIF::kErrGenericError;
    if (logspace_is(option, "SystemNameAndTimestamp") || logspace_is(option, "Custom"))
      name = logspace_read("system.info.systemname", 62) + "_" + stamp;
    else if (logspace_is(option, "Timestamp"))
      name = stamp;
  }
  name = name.substr(0, 127);
  for (char& c : name)
    if (c == ' ' || c == '/' || c == ':') c = '_';
  // The flusher creates the folder below the device's root: these two would
  // put the logs into the root itself or above it.
  if (name == "." || name == "..") {
    logerr(nullptr, "flush_logs_start: Refused archive folder name \"%s\".\n", name.c_str());
    return CommonIF::kErrBadParameter;
  }
  *folder = name;
  return CommonIF::kErrNoError;
}

// Every failure before the flusher is started is announced here and once
// more by the caller.
CommonIF::eErrorType flush_logs_start() {
  if (logspace_is(logspace_read(kLogTransferInProgress, 127), "true")) {
    SystemIFLogTransferCompleteNtfy(CommonIF::kErrAlreadyExists);
    return CommonIF::kErrAlreadyExists;
  }
  std::string mount;
  std::string folder;
  CommonIF::eErrorType err = find_usb_storage(&mount);
  if (err == CommonIF::kErrNoError) {
    monitor_temperature(true);
    err = folder_name(&folder);
  }
  if (err != CommonIF::kErrNoError) {
    SystemIFLogTransferCompleteNtfy(err);
    return err;
  }
  std::string logdir = logspace_read("system.log.filename", 63);
  const size_t slash = logdir.rfind('/');
  if (slash != std::string::npos) logdir.resize(slash);
  config_write(kLogTransferInProgress, "True", kStartup);
  const char* argv[] = {"/opt/corvale/bin/logFlusher", "--logdir", logdir.c_str(), "--archivedev", mount.c_str(),
                        "--archivedir", folder.c_str(), "--archivefilename", folder.c_str(), nullptr};
  pid_t pid = 0;
  const eErrorT status = forkExec(argv, &pid);
  if (status != kNoError) {
    logerr(nullptr, "flush_logs_start: forkExec failed: error:%d\n", status);
    return CommonIF::kErrGenericError;
  }
  pidLogFlusher = pid;
  logdebug(nullptr, "flush_logs_start: Success. PID:%d\n", pid);
  return CommonIF::kErrNoError;
}

}  // namespace

CommonIF::eErrorType startLogFlush() {
  const CommonIF::eErrorType err = flush_logs_start();
  if (err != CommonIF::kErrNoError) SystemIFLogTransferCompleteNtfy(err);
  return err;
}

CommonIF::eErrorType flush_logs_finish(bool abortIfNotExited) {
  int status = 0;
  // No flusher known: nothing of ours to wait for (a pid of 0 would reap
  // some other child).
  const eErrorT wait = pidLogFlusher > 0 ? waitOnChild(pidLogFlusher, &status) : kBadParameter;
  if (wait == kNoError) {
    pidLogFlusher = 0;
    return exit_result(status);
  }
  if (wait == kRejected) {
    pidLogFlusher = 0;
    return CommonIF::kErrNotAuthorized;
  }
  if (wait == kTimeOut && !abortIfNotExited) return CommonIF::kErrTimeOut;
  if (pidLogFlusher > 0) {
    if (wait == kTimeOut)
      logdebug(nullptr, "flush_logs_finish: Flush not exited yet and it should have. Aborting it.\n");
    sysio().system("busybox killall -q logFlusher");
    if (waitOnChild(pidLogFlusher, &status) != kTimeOut) pidLogFlusher = 0;
  }
  return CommonIF::kErrGenericError;
}

void syssrvLogFlush_testing_reset() { pidLogFlusher = 0; }
