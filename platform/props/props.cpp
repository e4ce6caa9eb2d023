#include "platform/props/props.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<unsigned> gPropsTmpSeq{0};

bool props_char_ok(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         c == '.' || c == '-' || c == '_' || c == ':' || c == '@';
}

bool props_write_all(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

// Reads at most PROP_VALUE_MAX - 1 bytes; a longer file (hand-edited store)
// is cut like a value that did not fit.
bool props_read_file(const std::string& file, std::string* out) {
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buf[PROP_VALUE_MAX];
  size_t got = 0;
  while (got < PROP_VALUE_MAX - 1) {
    ssize_t r = ::read(fd, buf + got, PROP_VALUE_MAX - 1 - got);
    if (r < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return false;
    }
    if (r == 0) break;
    got += static_cast<size_t>(r);
  }
  ::close(fd);
  out->assign(buf, got);
  return true;
}

// A fresh sandbox or test root has no store yet; the first set makes it.
void props_make_dirs(const std::string& dir) {
  for (size_t i = 1; i <= dir.size(); ++i) {
    if (i == dir.size() || dir[i] == '/') ::mkdir(dir.substr(0, i).c_str(), 0755);
  }
}

}  // namespace

std::string props_env_dir() {
  const char* dir = std::getenv("SYSSRV_PROP_DIR");
  if (dir && *dir) return dir;
  const char* root = std::getenv("SYSSRV_ROOT");
  if (root && *root) return std::string(root) + "/data/property";
  return "/data/property";
}

bool props_name_ok(const char* name) {
  if (!name) return false;
  size_t n = std::strlen(name);
  if (n == 0 || n > PROP_NAME_MAX - 1) return false;
  if (name[0] == '.' || name[n - 1] == '.') return false;
  for (size_t i = 0; i < n; ++i) {
    if (!props_char_ok(name[i])) return false;
    if (name[i] == '.' && name[i + 1] == '.') return false;
  }
  return true;
}

bool props_value_ok(const char* value) {
  return value && std::strlen(value) <= PROP_VALUE_MAX - 1;
}

int props_get(const std::string& dir, const char* name, char* value) {
  value[0] = '\0';
  if (!props_name_ok(name)) return 0;
  std::string v;
  if (!props_read_file(dir + "/" + name, &v)) return 0;
  std::memcpy(value, v.data(), v.size());
  value[v.size()] = '\0';
  // A value with a NUL inside cannot come from props_set; report what a C
  // reader would see.
  return static_cast<int>(std::strlen(value));
}

int props_set(const std::string& dir, const char* name, const char* value) {
  if (!props_name_ok(name) || !props_value_ok(value)) return -1;
  props_make_dirs(dir);

  const std::string target = dir + "/" + name;
  // The leading dot keeps temporaries out of props_list and can never clash
  // with a property name.
  const std::string tmp = dir + "/.tmp." + name + "." + std::to_string(::getpid()) + "." +
                          std::to_string(gPropsTmpSeq.fetch_add(1));
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  bool ok = props_write_all(fd, value, std::strlen(value)) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (!ok) {
    ::unlink(tmp.c_str());
    return -1;
  }

  int rc;
  if (std::strncmp(name, "ro.", 3) == 0) {
    // link() refuses an existing target, so two processes racing to set
    // the same read-only property cannot both win.
    rc = ::link(tmp.c_str(), target.c_str());
    ::unlink(tmp.c_str());
  } else {
    rc = ::rename(tmp.c_str(), target.c_str());
    if (rc != 0) ::unlink(tmp.c_str());
  }
  return rc == 0 ? 0 : -1;
}

bool props_list(const std::string& dir, std::vector<std::pair<std::string, std::string>>* out) {
  out->clear();
  DIR* d = ::opendir(dir.c_str());
  if (!d) return errno == ENOENT;
  while (struct dirent* e = ::readdir(d)) {
    if (!props_name_ok(e->d_name)) continue;
    std::string v;
    if (props_read_file(dir + "/" + e->d_name, &v)) {
      v.resize(std::strlen(v.c_str()));
      out->emplace_back(e->d_name, v);
    }
  }
  ::closedir(d);
  std::sort(out->begin(), out->end());
  return true;
}
