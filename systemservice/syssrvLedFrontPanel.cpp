// The front-panel display of the Birch model, fed by the misc driver.
//
// Effects: one write each, no line end, to the existing files
//   /sys/corvaleuc-bus/devices/corvaleuc_misc/update_secure_mode  "1" (profile "Maximum") or "0"
//   .../update_ip_addr      the IPv4 address
//   .../update_mon1         "<signal type> <resolution>" of monitor 1 (63 characters at most)
//   .../update_sw_ver       the human-readable software version
// The values come from the configuration: one that would add a line or
// holds a character the display cannot show is not written.
#include <cstdio>
#include <string>

#include "OS/logmsg.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvLed.h"
#include "systemservice/syssrvLedDriver.h"
#include "systemservice/syssrvQuote.h"

namespace {

const char kMiscDir[] = "/sys/corvaleuc-bus/devices/corvaleuc_misc/";
// Each value is read, and written, with at most 63 characters.
constexpr int kPanelLen = 64;

std::string panelValue(const char* name) { return config_read_str(name, kPanelLen); }

bool printable(const std::string& value) {
  for (unsigned char c : value) {
    if (c < 0x20 || c > 0x7e) return false;
  }
  return true;
}

void writePanelFile(const char* file, const std::string& value) {
  const std::string path = std::string(kMiscDir) + file;
  if (!file_value_ok(path.c_str(), value)) return;
  if (!printable(value)) {
    logwarn(nullptr, "set_frontpanel(): %s: value refused, it holds a character the panel cannot show\n",
            path.c_str());
    return;
  }
  const LedDriverWrite w = led_driver_write(path, value);
  if (w.fd < 0) {
    logerr(nullptr, "set_frontpanel(): cannot open %s fd:%d errno: %d\n", path.c_str(), w.fd, w.err);
  } else if (!w.ok) {
    logerr(nullptr, "set_frontpanel(): failure writing %s: err: %d errno: %d\n", path.c_str(),
           static_cast<int>(w.written), w.err);
  }
}

}  // namespace

void set_frontpanel() {
  writePanelFile("update_secure_mode", panelValue("security.profile") == "Maximum" ? "1" : "0");
  writePanelFile("update_ip_addr", panelValue("system.network.wired.ipv4nic.address"));
  std::string mon1 = panelValue("video.monitor[1].signalType") + " " + panelValue("video.monitor[1].Resolution");
  writePanelFile("update_mon1", mon1.substr(0, kPanelLen - 1));
  writePanelFile("update_sw_ver", panelValue("system.info.humanreadableversion"));
}
