// Running the programs of this build from a test: every child shares the
// test process's own endpoint directory, its output goes to files in the
// process's temporary directory, and every wait has a generous upper limit
// so a broken program fails the test instead of hanging it.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// Temporary directory of this test process; MSG_SOCKET_DIR points inside it.
const std::string& ctlTestDir();

// Upper limit for anything a child should finish; far above what a loaded
// 2-core machine needs, so it only trips on a real hang.
constexpr int kCtlTestHangMs = 30000;

class CtlChild {
 public:
  CtlChild() = default;
  ~CtlChild();  // a child still running is killed: no test leaves one behind
  CtlChild(const CtlChild&) = delete;
  CtlChild& operator=(const CtlChild&) = delete;

  // Starts `program` with `args`; false when it cannot be started.
  // `program` of this build runs under the emulator on the ARM run; a host
  // program (the shell) runs as it is.
  bool start(const std::string& program, const std::vector<std::string>& args, bool ofThisBuild = true);
  // Waits for the exit; false on time-out (the child keeps running).
  bool wait(int timeoutMs = kCtlTestHangMs);
  // Waits until `text` appears in the child's stdout (or stderr); false on
  // time-out or when the child exits first without it.
  bool waitForText(const std::string& text, bool inStderr = false, int timeoutMs = kCtlTestHangMs);
  void signal(int sig);
  bool running();

  std::string out() const;
  std::string err() const;
  // Exit status, or -1 when the child did not exit normally.
  int status() const { return m_status; }

 private:
  pid_t m_pid = -1;
  std::string m_outPath;
  std::string m_errPath;
  int m_status = -1;
};

struct CtlRun {
  int status;
  std::string out;
  std::string err;
};

// Runs `program` (syssrvctl by default) with `args` to completion.
CtlRun ctlRun(const std::vector<std::string>& args, const std::string& program = "");

extern const char* const kSyssrvctlBin;
