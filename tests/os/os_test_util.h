// Helpers shared by the OS library tests.
#pragma once

#include <memory>
#include <string>

#include "platform/sysio/sysio_recorder.h"

// Redirects a standard stream (fd 1 or 2) into a file until stop().
class StreamCapture {
 public:
  StreamCapture(int fd, const std::string& file);
  ~StreamCapture();
  // Restores the stream and returns everything written meanwhile.
  std::string stop();

 private:
  int m_fd;
  int m_saved = -1;
  std::string m_file;
};

// A recorder installed as the process's seam, with the log facility, the
// unit index and the system id cache in their start-up state. The log
// device "/dev/crvllog" exists (empty) under the recorder's root unless the
// test removes it.
class OsSeamFixtureBase {
 public:
  OsSeamFixtureBase();
  ~OsSeamFixtureBase();

  RecorderSysIo& rec() { return *m_rec; }
  // The bytes written to the log device so far.
  std::string device() const { return m_rec->file_bytes("/dev/crvllog"); }
  // Captures stdout/stderr into files under the recorder's root.
  std::unique_ptr<StreamCapture> capture_stdout();
  std::unique_ptr<StreamCapture> capture_stderr();

 private:
  std::unique_ptr<RecorderSysIo> m_rec;
  int m_captures = 0;
};

// "/proc/<own pid>/cmdline" under the recorder's root.
std::string own_cmdline_path();
