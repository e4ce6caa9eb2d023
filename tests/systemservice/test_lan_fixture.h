// Fixture of the LAN module tests, on the callback tests' fixture: a
// RecorderSysIo whose temporary root holds the sysfs and /proc files, the
// fake "ConfigSrvc" recording every request with its role, and a watcher
// endpoint subscribed to the daemon's LanStatusChangeNtfy.
// Whether IPv6 addressing is manual follows
// "system.network.wired.ipv6nic.mode" in the fake.
#pragma once

#include <string>
#include <vector>

#include "tests/systemservice/test_callbacks_peer.h"

class LanTest : public CallbacksTest {
 protected:
  static constexpr const char* kWatcher = "LanWatcher";
  static constexpr const char* kDevVar = "system.network.wired.devicename";
  static constexpr const char* kModeVar = "system.network.wired.ipv4nic.mode";
  static constexpr const char* kAddrVar = "system.network.wired.ipv4nic.address";
  static constexpr const char* kDiscoveryVar = "management.provisioning.inserverdiscoverystatus";
  static constexpr const char* kProxyVar = "system.proxy.webproxy.enabled";
  static constexpr const char* kLinkVar = "system.network.wired.ipv6nic.linklocal";
  static constexpr const char* kSiteVar = "system.network.wired.ipv6nic.sitelocal";
  static constexpr const char* kGlobalVar = "system.network.wired.ipv6nic.globaladdress";
  static constexpr const char* kGatewayVar = "system.network.wired.ipv6nic.defaultgateway";

  void SetUp() override;
  void TearDown() override;

  // The carrier file of eth0 holds `bytes`.
  void carrier(const std::string& bytes);
  // Opens the carrier file (the first poll only opens it) and takes the
  // first reading, as the main loop's first two passes do; forgets what
  // that did.
  void primeCarrier(const std::string& bytes);
  // One poll, starting from `start`; returns the state.
  int poll(int start = 0);

  // The transcript of configuration requests since the last forget().
  std::vector<std::string> requests() { return transcript(peer().requests()); }
  static std::string read(const std::string& name) { return "read " + name + "#0"; }
  static std::string write(const std::string& name, const std::string& value) {
    return "write " + name + "#0=" + value + " role=30";
  }
  // The connected flags of the LanStatusChangeNtfy that reached the watcher
  // within `waitMs` (each parsed; a bad one fails the test).
  std::vector<bool> notifications(int waitMs = 300);
  // True when the log holds exactly this line: "<level>syssrv: hd[0]: text".
  bool logged(int level, const std::string& text) const;
  int countLogged(int level, const std::string& text) const;
  // Forgets requests, commands, the call trace and the log so far.
  void forget();

 private:
  size_t m_logSkip = 0;
};
