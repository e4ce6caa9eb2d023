// A unique temporary directory that disappears with its owner; the root of
// every recorder and of the sandbox tests.
#pragma once

#include <string>

class SysIoTempDir {
 public:
  // Created under $TMPDIR (or /tmp) as "<tag>.XXXXXX". Aborts the process
  // when no directory can be made: a test without its root must not run
  // against this machine's files.
  explicit SysIoTempDir(const std::string& tag = "sysio");
  // Removes the directory and everything below it (symlinks are removed,
  // never followed).
  ~SysIoTempDir();
  SysIoTempDir(const SysIoTempDir&) = delete;
  SysIoTempDir& operator=(const SysIoTempDir&) = delete;

  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

// Removes `dir` recursively without following symlinks; true on success.
bool sysio_remove_tree(const std::string& dir);
