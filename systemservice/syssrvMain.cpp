// Process entry and main loop of the daemon.
//
// Commands run from here (through the seam):
//   /system/bin/ip addr | grep "scope global" > /dev/null   (check_lan_usable)
//   /opt/corvale/bin/check_exp_certs_crls.sh 30 3           (first pass, then every 3600)
//   /opt/corvale/bin/download_crls.sh                       (the configured period)
#include "systemservice/syssrvMain.h"

#include <strings.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "OS/linux/psosapi/ptimer.h"
#include "OS/logmsg.h"
#include "platform/sysio/sysio.h"
#include "system/sysCapsTable.h"
#include "system/systeminfo2.h"
#include "systemservice/syssrvAccessLevels.h"
#include "systemservice/syssrvAlerts.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvDhcp.h"
#include "systemservice/syssrvLan.h"
#include "systemservice/syssrvLogging.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvMessageTable.h"
#include "systemservice/syssrvPOSTResults.h"
#include "systemservice/syssrvPower.h"
#include "systemservice/syssrvStartup.h"

namespace {

const char kAlertSockPath[] = "/tmp/snmp_msg";
const char kCertCheckScript[] = "/opt/corvale/bin/check_exp_certs_crls.sh ";
// Warn about certificates expiring within 30 days, revocation lists within 3.
constexpr unsigned kCertWarnDays = 30;
constexpr unsigned kCrlWarnDays = 3;
// About an hour of passes between certificate checks.
constexpr int kCertCheckPasses = 3600;
const char kCrlDownloadScript[] = "/opt/corvale/bin/download_crls.sh";
const char kCrlHoursVar[] = "system.pki.revocation.crldownloadhours";
constexpr int kCmdLen = 80;
constexpr int kPassesPerHour = 3600;
// Half a day when the setting is unusable, a week at most.
constexpr int kDefaultCrlPeriod = 43200;
constexpr int kMaxCrlHours = 168;
constexpr int kMaxCrlPeriod = 604800;
const char kProvisioningStatusVar[] = "management.provisioning.inserverdiscoverystatus";

// The logging configuration sits below the core and the access policy.
[[maybe_unused]] const bool kLoggingLinked = (loggingLinks = {check_lan_usable, set_logspace_configured}, true);

}  // namespace

void parse_params(int argc, char** argv, int* coredump) {
  *coredump = 0;
  for (int i = 1; i < argc; ++i) {
    if (argv[i] != nullptr && strcasecmp(argv[i], OPTION_CORE_DUMP) == 0) *coredump = 1;
  }
}

void setcore(int coredump) {
  const unsigned long long kUnlimited = ~0ULL;
  // The result is ignored: without the limit the service still runs.
  syssrvSetCoreLimit(coredump != 0 ? kUnlimited : 0, kUnlimited);
}

int check_lan_usable() {
  return sysio().system("/system/bin/ip addr | grep \"scope global\" > /dev/null") == 0 ? 1 : 0;
}

int syssrvAlertSockInit() {
  // Close-on-exec: the scripts the service runs must not inherit it.
  int sock = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (sock < 0) {
    logerr("NULL", "could not create syssrv alert msg socket\n");
    return -1;
  }
  struct sockaddr_un addr;
  memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  // The socket lives where the seam puts "/tmp" (on the device: /tmp).
  std::string where = sysio().path(kAlertSockPath);
  bool fits = where.size() < sizeof addr.sun_path;
  if (fits) memcpy(addr.sun_path, where.c_str(), where.size());
  sysio().unlink(kAlertSockPath);
  // /tmp is everyone's: the file's mode alone keeps other users' alerts out.
  // It is set before the name exists and again after bind, which applies
  // the umask.
  if (!fits || ::fchmod(sock, 0660) != 0 || ::bind(sock, reinterpret_cast<struct sockaddr*>(&addr), sizeof addr) != 0 ||
      ::chmod(where.c_str(), 0660) != 0) {
    logerr("NULL", "socket bind failed on %s\n", kAlertSockPath);
    ::close(sock);
    return -1;
  }
  return sock;
}

void daemonizeMe() {
  // Lines still buffered would otherwise be written by both processes.
  fflush(nullptr);
  pid_t pid = syssrvFork();
  if (pid == -1) {
    logerr(nullptr, "Error forking child\n");
    return;
  }
  // The parent leaves without running exit handlers: they belong to the
  // child, which carries on with everything opened so far.
  if (pid > 0) _exit(0);
}

void syssrvStartup(syssrvLoopState* st, int argc, char** argv) {
  parse_params(argc, argv, &st->coredump);
  setcore(st->coredump);
  logmsg_init(0, "syssrv");
  initSysHwType();
  syssrvMessageInit();
  if (getCapability(eSysCapHardware, "ucHasPostResults", 0, nullptr) != nullptr) getPOSTResults();
  checkDefaultPassword();
  syssrvLanInit();
  syssrvDhcpInit();
  st->alert_sock = syssrvAlertSockInit();
  set_thermal_management();
}

void check_cert_and_crl_expiration(int* expiration_wait_count) {
  if (*expiration_wait_count == 0) {
    char cmd[kCmdLen];
    snprintf(cmd, sizeof cmd, "%s%u %u", kCertCheckScript, kCertWarnDays, kCrlWarnDays);
    sysio().system(cmd);
    *expiration_wait_count = 1;
    return;
  }
  if (++*expiration_wait_count >= kCertCheckPasses) *expiration_wait_count = 0;
}

int crl_download_period(bool readOk, const char* text, bool* enabled) {
  *enabled = true;
  if (!readOk || text == nullptr || text[0] == '\0') return kDefaultCrlPeriod;
  char* end = nullptr;
  errno = 0;
  long hours = strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno == ERANGE) return kDefaultCrlPeriod;
  if (hours < 0) return kDefaultCrlPeriod;
  if (hours > kMaxCrlHours) return kMaxCrlPeriod;
  *enabled = hours > 0;
  return kPassesPerHour * static_cast<int>(hours);
}

void do_crl_download(syssrvLoopState* st) {
  st->cfg_val[0] = '\0';
  bool readOk = config_read(kCrlHoursVar, st->cfg_val, sizeof st->cfg_val, nullptr) == 0;
  bool enabled = true;
  int period = crl_download_period(readOk, st->cfg_val, &enabled);
  st->download_hours = enabled ? period / kPassesPerHour : 0;
  // A period whose moment finds the LAN down is skipped, not postponed.
  if (st->crl_download_wait_count == 0 && enabled && st->lan_state == LAN_UP) {
    char cmd[kCmdLen];
    snprintf(cmd, sizeof cmd, "%s", kCrlDownloadScript);
    sysio().system(cmd);
  }
  if (++st->crl_download_wait_count >= period) st->crl_download_wait_count = 0;
}

void syssrvMainLoopPass(syssrvLoopState* st) {
  syssrvMessageLoop(st->message_wait_ms);
  monitor_temperature(false);
  syssrvForwardAlertMessages(st->alert_sock);
  check_lan_status(&st->lan_state);
  syssrvLanUpdateStatus(st->lan_state);
  syssrvLogUploadStatus();
  if (!didLoggingUpdate) didLoggingUpdate = update_logging(nullptr, nullptr) != 0;
  if (bLoggingRestartNeeded(st->lan_state != 0 ? LAN_UP : LAN_DOWN)) {
    didLoggingUpdate = update_logging(nullptr, nullptr) != 0;
  }
  check_cert_and_crl_expiration(&st->expiration_wait_count);
  do_crl_download(st);
  // Written every pass until the change comes back and clears the deadline.
  if (discoverProvisioningTimeout != 0 && RealTimeMilliSeconds() > discoverProvisioningTimeout) {
    char failed[] = "FAILED";
    do_config_write(kProvisioningStatusVar, failed);
  }
}

int syssrv_main(int argc, char** argv) {
  syssrvLoopState st;
  syssrvStartup(&st, argc, argv);
  daemonizeMe();
  for (;;) syssrvMainLoopPass(&st);
}
