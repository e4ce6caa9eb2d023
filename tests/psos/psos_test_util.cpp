#include "tests/psos/psos_test_util.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

namespace {
const char kLogDevice[] = "/dev/crvllog";
}

LogMark::LogMark() : m_at(psosRec().file_bytes(kLogDevice).size()) {}

std::string LogMark::text() const {
  std::string all = psosRec().file_bytes(kLogDevice);
  return all.size() > m_at ? all.substr(m_at) : std::string();
}

StdoutCapture::StdoutCapture() {
  static int seq = 0;
  m_file = psosRec().root() + "/stdout." + std::to_string(getpid()) + "." + std::to_string(seq++);
  fflush(stdout);
  m_saved = dup(1);
  int fd = open(m_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dup2(fd, 1);
  close(fd);
}

StdoutCapture::~StdoutCapture() { stop(); }

std::string StdoutCapture::stop() {
  if (m_saved < 0) return std::string();
  fflush(stdout);
  dup2(m_saved, 1);
  close(m_saved);
  m_saved = -1;
  std::ifstream in(m_file);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool waitFor(const std::function<bool()>& pred, int timeoutMs) {
  auto end = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (SteadyClock::now() >= end) return pred();
    sleepMs(5);
  }
  return true;
}

double secondsSince(SteadyClock::time_point t0) {
  return std::chrono::duration<double>(SteadyClock::now() - t0).count();
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

int threadCount() {
  DIR* d = opendir("/proc/self/task");
  if (!d) return -1;
  int n = 0;
  while (struct dirent* e = readdir(d))
    if (e->d_name[0] != '.') ++n;
  closedir(d);
  return n;
}

int posixTimerCount() {
  std::ifstream in("/proc/self/timers");
  if (!in) return -1;
  int n = 0;
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("ID:", 0) == 0) ++n;
  return n;
}

int callerTid() { return static_cast<int>(syscall(SYS_gettid)); }

std::string pointerText(const void* p) {
  char buf[32];
  snprintf(buf, sizeof buf, "%p", p);
  return buf;
}
