// The login banner file of the secure shell and two kernel/driver switches
// set by shell command:
//   [ -f /proc/sys/kernel/printk ] && echo <0..7> > /proc/sys/kernel/printk
//   [ -f /proc/davinci_emac_second_port ] && echo <value> > /proc/davinci_emac_second_port
#include <cstdio>
#include <string>

#include "OS/logmsg.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvQuote.h"
#include "systemservice/syssrvShell.h"

namespace {
const char kSshBannerFile[] = "/data/corvale/ssh/banner.txt";
constexpr int kSwitchLen = 64;
}  // namespace

void set_console_log_level(unsigned char nConsoleLogLevel) {
  if (nConsoleLogLevel >= 8) return;
  char cmd[128];
  snprintf(cmd, sizeof cmd, "[ -f /proc/sys/kernel/printk ] && echo %d > /proc/sys/kernel/printk", nConsoleLogLevel);
  logdebug(nullptr, "Setting console log level via command: %s\n", cmd);
  sysio().system(cmd);
}

// The value is quoted as one word, so it is written to the driver as it is
// and nothing of it runs. It is at most 63 characters, so the command is not
// cut: a cut could fall inside the quotes.
void set_embedded_switch() {
  const std::string value = config_read_str("system.network.embeddedswitch", kSwitchLen);
  const std::string cmd = "[ -f /proc/davinci_emac_second_port ] && echo " + shell_word(value) +
                          " > /proc/davinci_emac_second_port";
  logdebug(nullptr, "doing command: %s\n", log_text(cmd).c_str());
  sysio().system(cmd);
}

// The banner is free text of any lines. It never passes a shell, and the
// file is replaced whole, so the secure shell never reads half a banner.
int SshBanner::ApplyChanges() {
  if (!mbEnable) {
    sysio().unlink(kSshBannerFile);  // a missing file is what is wanted
    return 0;
  }
  const std::string& text = mbDodMode ? mDodText : mNormalText;
  // The text is a C string: it ends at its first NUL.
  if (!sysio_write_file_atomic(kSshBannerFile, text.substr(0, text.find('\0')) + "\n")) {
    logerr(nullptr, "%s: can't open %s for writing\n", "ApplyChanges", kSshBannerFile);
    return -1;
  }
  return 0;
}
