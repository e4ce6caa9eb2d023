// Remote shell services: sshd, telnetd, network intrusion detection, the
// kernel console level, the embedded switch and the login banner.
#pragma once

#include <string>

void enable_sshd(bool bEnable);
void start_telnetd();
void stop_telnetd();
// restart_telnet non-zero stops the daemon before starting it again (the
// debug port changed).
void telnetd_cfg_change(int restart_telnet);
void start_NIDS();
void stop_NIDS();
// 0 to 7; larger values are ignored.
void set_console_log_level(unsigned char nConsoleLogLevel);
void set_embedded_switch();

// Login banner of the secure shell. The setters only change the members;
// ApplyChanges brings the banner file in step with them.
class SshBanner {
 public:
  SshBanner() = default;
  virtual ~SshBanner() = default;

  void Init() {
    mbEnable = false;
    mbDodMode = false;
    mNormalText.clear();
    mDodText.clear();
  }
  void EnableBanner(bool enable) { mbEnable = enable; }
  void EnableDodMode(bool dodMode) { mbDodMode = dodMode; }
  void SetNormalText(const std::string& text) { mNormalText = text; }
  void SetDodText(const std::string& text) { mDodText = text; }

  // 0, or -1 when the banner file cannot be written.
  int ApplyChanges();

  bool mbEnable = false;
  bool mbDodMode = false;
  std::string mNormalText;
  std::string mDodText;
};
