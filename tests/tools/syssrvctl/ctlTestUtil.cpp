#include "tests/tools/syssrvctl/ctlTestUtil.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include <gtest/gtest.h>

#include "tests/arch/exec_wrapper.h"

extern char** environ;

const char* const kSyssrvctlBin = SYSSRVCTL_BIN;

namespace {

std::string gTestDir;
int gChildCounter = 0;

// One directory per test process, set before any message-layer call so the
// in-process endpoints and the children share it.
class CtlTestEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    char tmpl[] = "/tmp/ctl_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    gTestDir = tmpl;
    setenv("MSG_SOCKET_DIR", (gTestDir + "/msg").c_str(), 1);
  }
  void TearDown() override {
    std::error_code ec;
    if (!gTestDir.empty()) std::filesystem::remove_all(gTestDir, ec);
  }
};

const ::testing::Environment* const gEnv = ::testing::AddGlobalTestEnvironment(new CtlTestEnvironment);

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Polls `done` until it holds; false when `timeoutMs` passed first.
template <class Done>
bool poll(Done done, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace

const std::string& ctlTestDir() { return gTestDir; }

CtlChild::~CtlChild() {
  if (m_pid > 0) {
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
  }
}

bool CtlChild::start(const std::string& program, const std::vector<std::string>& args, bool ofThisBuild) {
  int n = ++gChildCounter;
  m_outPath = gTestDir + "/child" + std::to_string(n) + ".out";
  m_errPath = gTestDir + "/child" + std::to_string(n) + ".err";
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, m_outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&fa, 2, m_errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  // Under emulation the programs of this build need the emulator in front.
  std::vector<std::string> words{program};
  words.insert(words.end(), args.begin(), args.end());
  if (ofThisBuild) words = archExecArgv(words);
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);
  int rc = posix_spawnp(&m_pid, argv[0], &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) m_pid = -1;
  return rc == 0;
}

bool CtlChild::running() {
  if (m_pid <= 0) return false;
  int st = 0;
  pid_t r = waitpid(m_pid, &st, WNOHANG);
  if (r == 0) return true;
  if (r == m_pid) {
    m_pid = -1;
    if (WIFEXITED(st)) m_status = WEXITSTATUS(st);
  }
  return false;
}

bool CtlChild::wait(int timeoutMs) { return poll([&] { return !running(); }, timeoutMs); }

bool CtlChild::waitForText(const std::string& text, bool inStderr, int timeoutMs) {
  auto seen = [&] { return (inStderr ? err() : out()).find(text) != std::string::npos; };
  return poll([&] { return seen() || !running(); }, timeoutMs) && seen();
}

void CtlChild::signal(int sig) { if (m_pid > 0) kill(m_pid, sig); }

std::string CtlChild::out() const { return readFile(m_outPath); }
std::string CtlChild::err() const { return readFile(m_errPath); }

CtlRun ctlRun(const std::vector<std::string>& args, const std::string& program) {
  CtlChild c;
  if (!c.start(program.empty() ? kSyssrvctlBin : program, args)) return {-1, "", "cannot start " + program};
  if (!c.wait()) return {-1, c.out(), c.err() + "[hung]"};
  return {c.status(), c.out(), c.err()};
}
