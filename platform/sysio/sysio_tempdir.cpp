#include "platform/sysio/sysio_tempdir.h"

#include <cstdio>
#include <cstdlib>
#include <ftw.h>
#include <unistd.h>
#include <vector>

namespace {

int sysio_remove_entry(const char* p, const struct stat*, int type, struct FTW*) {
  return type == FTW_DP ? ::rmdir(p) : ::unlink(p);
}

}  // namespace

bool sysio_remove_tree(const std::string& dir) {
  return ::nftw(dir.c_str(), sysio_remove_entry, 32, FTW_DEPTH | FTW_PHYS) == 0;
}

SysIoTempDir::SysIoTempDir(const std::string& tag) {
  const char* base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/" + tag + ".XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (!::mkdtemp(buf.data())) {
    std::perror("SysIoTempDir: mkdtemp");
    std::abort();
  }
  m_path = buf.data();
}

SysIoTempDir::~SysIoTempDir() { sysio_remove_tree(m_path); }
