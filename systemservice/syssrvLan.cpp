// Wired LAN: the carrier poll and its link up/down actions, the restarts
// through the platform network script, and the LAN status request. The
// IPv6 address variables are kept in step in syssrvLanIPv6.cpp.
//
// Commands (through sysio().system()):
//   /system/bin/startnetwork --linkup        carrier went up
//   /system/bin/startnetwork --linkdown      carrier went down
//   /system/bin/startnetwork --restart       network settings changed
//   /system/bin/startnetwork --restartv6only only the IPv6 side changed
//   /system/bin/startnetwork --settos        the OAM type of service changed
//   /system/bin/startnetwork --boot          bring the network up
//   /system/bin/startnetwork --shutdown      take the network down
// Files read: /sys/class/net/<dev>/carrier (kept open), .../speed, .../duplex.
#include "systemservice/syssrvLan.h"

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "OS/logmsg.h"
#include "systemservice/syssrvMessage.h"
#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvMessageReply.h"
#include "systemservice/syssrvQuote.h"
#include "systemservice/syssrvWpad.h"

namespace {

const char kDeviceNameVar[] = "system.network.wired.devicename";
const char kIpv4ModeVar[] = "system.network.wired.ipv4nic.mode";
const char kIpv4AddressVar[] = "system.network.wired.ipv4nic.address";
const char kDiscoveryStatusVar[] = "management.provisioning.inserverdiscoverystatus";
const char kWebProxyEnabledVar[] = "system.proxy.webproxy.enabled";

// What the platform script is asked to do, one option per occasion.
enum StartNetworkOp {
  kNetLinkUp,
  kNetLinkDown,
  kNetRestart,
  kNetRestartV6Only,
  kNetSetTos,
  kNetBoot,
  kNetShutdown,
};
const char* const kStartNetworkCommands[] = {
    /* kNetLinkUp */ "/system/bin/startnetwork --linkup",
    /* kNetLinkDown */ "/system/bin/startnetwork --linkdown",
    /* kNetRestart */ "/system/bin/startnetwork --restart",
    /* kNetRestartV6Only */ "/system/bin/startnetwork --restartv6only",
    /* kNetSetTos */ "/system/bin/startnetwork --settos",
    /* kNetBoot */ "/system/bin/startnetwork --boot",
    /* kNetShutdown */ "/system/bin/startnetwork --shutdown",
};

// The script's own result says nothing the daemon could act on.
void runStartNetwork(StartNetworkOp op) { sysio().system(kStartNetworkCommands[op]); }

// The carrier is read every pass of the main loop, so its file stays open
// and is re-read from the start; -1 while not open.
int gCarrierFd = -1;
// LAN_DOWN or LAN_UP of the last reading, -1 before the first.
int gPrevLanState = -1;

// Room for the device name in the sysfs paths: IFNAMSIZ less the terminator.
constexpr int kSysfsDevNameLen = 16;

// While the link is up a provisioning server may still be found.
void writeDiscoveryStatus(int state) {
  config_write(kDiscoveryStatusVar, state != LAN_DOWN ? "INCOMPLETE" : "FAILED", kSystem);
}

// With the link gone a DHCP address is stale; the other processes must not
// keep showing it.
void resetDhcpAddressOnLinkDown() {
  char mode[16] = "";
  config_read(kIpv4ModeVar, mode, sizeof mode, nullptr);
  if (strncasecmp(mode, "Client", 6) == 0) {
    char zero[] = "0.0.0.0";
    do_config_write(kIpv4AddressVar, zero);
  }
}

// LanStatusChangeNtfy from "SystemSrvc". False when no message could be
// allocated (logged; nothing was sent). A failed send is logged too, but
// the link action still follows: the state already remembered stays, so a
// lost notification is not repeated.
bool sendLanStatusChange(int state, bool fromRestart) {
  SystemIF::LanStatusChangeNtfy ntfy;
  ntfy.set_lan_status_connected(state != 0);
  if (fromRestart) {
    logdebug(nullptr, "restart_LAN - send notification LAN state = %d\n", state);
  } else {
    logdebug(nullptr, "lan_state_change_notify %d\n", state);
  }
  return syssrvSendNotification(kMsgIdSystemIFLanStatusChangeNtfy, MSG_GetNextSequence(), ntfy,
                                "lan_state_change_notify", nullptr,
                                "lan_state_change_notify: msg_alloc failed\n") != kSyssrvNotAllocated;
}

// Reads at most 7 bytes of a sysfs attribute into buf[8]; the last byte
// read is its newline. An unreadable file leaves buf as the caller set it.
void readLinkAttribute(const char* path, char* buf) {
  int fd = sysio().open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    logerr(nullptr, "get_lan_connection open %s failed\n", path);
    return;
  }
  ssize_t n = read(fd, buf, 7);
  buf[n > 0 ? n - 1 : 0] = '\0';
  close(fd);
}

// The configured name becomes a component of a sysfs path and is logged:
// one that could name another file ("", ".", "..", a "/") or split the log
// line is no device at all.
bool deviceNameOk(const char* who, const char* dev) {
  if (dev[0] != '\0' && dev[0] != '.' && strpbrk(dev, "/\r\n") == nullptr) return true;
  logwarn(nullptr, "%s: ignoring LAN device name \"%s\"\n", who, log_text(dev).c_str());
  return false;
}

}  // namespace

void check_lan_status(int* lan_state) {
  if (lan_state == nullptr) return;
  if (gCarrierFd < 0) {
    char dev[kSysfsDevNameLen] = "";
    if (config_read(kDeviceNameVar, dev, sizeof dev, nullptr) != 0) return;
    if (!deviceNameOk("check_lan_status", dev)) {
      *lan_state = LAN_DOWN;
      return;
    }
    char path[48];
    snprintf(path, sizeof path, "/sys/class/net/%s/carrier", dev);
    gCarrierFd = sysio().open(path, O_RDONLY | O_CLOEXEC);
    if (gCarrierFd < 0) {
      logerr(nullptr, "check_lan_status open %s failed\n", path);
      *lan_state = LAN_DOWN;
    }
    // The first reading is taken at the next pass.
    return;
  }

  char carrier = 0;
  lseek(gCarrierFd, 0, SEEK_SET);
  if (read(gCarrierFd, &carrier, 1) != 1) {
    // The interface may have been renamed or gone away; start over.
    close(gCarrierFd);
    gCarrierFd = -1;
    return;
  }
  int state = LAN_DOWN;
  if (carrier == '1') {
    state = LAN_UP;
  } else if (carrier != '0') {
    logwarn(nullptr, "check_lan_status: Invalid LAN state: 0x%x\n", static_cast<unsigned char>(carrier));
  }
  *lan_state = state;

  if (gPrevLanState == -1) {
    // Nobody has been told anything yet, so there is no change to report;
    // only a link found down ends any hope of finding a server.
    gPrevLanState = state;
    if (state == LAN_UP) return;
    char failed[] = "FAILED";
    do_config_write(kDiscoveryStatusVar, failed);
  } else {
    if (state == gPrevLanState) return;
    gPrevLanState = state;
    lan_state_change_notify(state);
    if (state == LAN_UP) return;
  }
  resetDhcpAddressOnLinkDown();
}

void get_lan_connection(char* speed, char* duplex) {
  if (speed == nullptr || duplex == nullptr) return;
  char dev[kSysfsDevNameLen] = "";
  if (config_read(kDeviceNameVar, dev, sizeof dev, nullptr) != 0) return;
  if (!deviceNameOk("get_lan_connection", dev)) return;
  // The path buffer is that of the device's firmware: a long device name
  // is cut rather than overrunning it.
  char path[31];
  if (snprintf(path, sizeof path, "/sys/class/net/%s/speed", dev) < 0) path[0] = '\0';
  readLinkAttribute(path, speed);
  if (snprintf(path, sizeof path, "/sys/class/net/%s/duplex", dev) < 0) path[0] = '\0';
  readLinkAttribute(path, duplex);
  logdebug(nullptr, "get_lan_connection %s %s\n", speed, duplex);
}

void lan_state_change_notify(int state) {
  if (!sendLanStatusChange(state, false)) return;
  if (state != 0) {
    start_LAN_on_linkup();
  } else {
    stop_LAN_on_linkdown();
  }
}

void start_LAN_on_linkup() {
  char incomplete[] = "INCOMPLETE";
  do_config_write(kDiscoveryStatusVar, incomplete);
  runStartNetwork(kNetLinkUp);
}

void stop_LAN_on_linkdown() {
  char status[32] = "";
  config_read(kDiscoveryStatusVar, status, sizeof status, nullptr);
  // A discovery that already ended keeps its result.
  if (strcasecmp(status, "INCOMPLETE") == 0) {
    char failed[] = "FAILED";
    do_config_write(kDiscoveryStatusVar, failed);
  }
  StopWpad();
  runStartNetwork(kNetLinkDown);
}

void restart_LAN() {
  int state = LAN_DOWN;
  check_lan_status(&state);
  logdebug(nullptr, "restart_LAN ENTER - LAN state = %d\n", state);
  writeDiscoveryStatus(state);
  char proxy[32] = "";
  config_read(kWebProxyEnabledVar, proxy, sizeof proxy, nullptr);
  // Discovery is started again by the caller once the network is back.
  if (strcasecmp(proxy, "true") == 0) StopWpad();
  runStartNetwork(kNetRestart);
  // The link itself did not change: the state is told again, nothing more.
  sendLanStatusChange(state, true);
}

void restart_IPv6Only() { runStartNetwork(kNetRestartV6Only); }

void set_tos() { runStartNetwork(kNetSetTos); }

void start_LAN() {
  int state = LAN_DOWN;
  check_lan_status(&state);
  writeDiscoveryStatus(state);
  runStartNetwork(kNetBoot);
}

void stop_LAN() { runStartNetwork(kNetShutdown); }

// GetLanStatusReq carries no field, so the request is not parsed: any
// payload is answered.
void lan_status_req(void* /*pContext*/, const MSG_Message* msg) {
  if (msg == nullptr) return;
  SystemIF::GetLanStatusRsp rsp;
  rsp.set_error(CommonIF::kErrNoError);
  int state = LAN_DOWN;
  check_lan_status(&state);
  rsp.set_lan_status_connected(state != 0);
  if (state == LAN_UP) {
    char speed[8] = "";
    char duplex[8] = "";
    get_lan_connection(speed, duplex);
    rsp.set_lan_speed(speed);
    rsp.set_lan_duplex(duplex);
  }
  syssrvSendReply(msg, kMsgIdSystemIFGetLanStatusRsp, rsp, "lan_status_cmd: Reply Send Error\n", nullptr,
                  &kSyssrvAllocSilent);
}

void syssrvLan_testing_reset() {
  if (gCarrierFd >= 0) close(gCarrierFd);
  gCarrierFd = -1;
  gPrevLanState = -1;
  syssrvLanIPv6_testing_reset();
}
