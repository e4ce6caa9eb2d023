#include "tests/os/os_test_util.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "OS/os_testing.h"
#include "multicodec_util/multicodec_sysids_testing.h"

StreamCapture::StreamCapture(int fd, const std::string& file) : m_fd(fd), m_file(file) {
  fflush(fd == 1 ? stdout : stderr);
  m_saved = dup(fd);
  int out = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dup2(out, fd);
  close(out);
}

StreamCapture::~StreamCapture() { stop(); }

std::string StreamCapture::stop() {
  if (m_saved < 0) return "";
  fflush(m_fd == 1 ? stdout : stderr);
  dup2(m_saved, m_fd);
  close(m_saved);
  m_saved = -1;
  std::ifstream in(m_file, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

OsSeamFixtureBase::OsSeamFixtureBase() : m_rec(new RecorderSysIo()) {
  sysio_install(m_rec.get());
  logmsg_testing_reset();
  velar_idx_testing_reset();
  multicodec_sysids_testing_reset();
  m_rec->put_file("/dev/crvllog", "");
}

OsSeamFixtureBase::~OsSeamFixtureBase() {
  logmsg_testing_reset();
  velar_idx_testing_reset();
  multicodec_sysids_testing_reset();
  sysio_install(nullptr);
}

std::unique_ptr<StreamCapture> OsSeamFixtureBase::capture_stdout() {
  return std::make_unique<StreamCapture>(1, m_rec->root() + "/stdout." + std::to_string(m_captures++));
}

std::unique_ptr<StreamCapture> OsSeamFixtureBase::capture_stderr() {
  return std::make_unique<StreamCapture>(2, m_rec->root() + "/stderr." + std::to_string(m_captures++));
}

std::string own_cmdline_path() { return "/proc/" + std::to_string(getpid()) + "/cmdline"; }
