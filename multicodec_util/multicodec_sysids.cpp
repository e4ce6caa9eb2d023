// Reads, writes and removes "/opt/corvale/dat/multicodec_systemid.dat".
// The daemon itself only reads it; the writer and the remover serve the
// platform's provisioning tools that share this library.
#include "multicodec_util/multicodec_sysids.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "OS/logmsg.h"
#include "multicodec_util/multicodec_sysids_testing.h"
#include "platform/sysio/sysio.h"

namespace {

const char kSystemIdPath[] = "/opt/corvale/dat/multicodec_systemid.dat";

int gSystemId = -1;
int gReadError = -1;
std::atomic<unsigned> gTmpSeq{0};

// A line that holds no number reads as 0, as the platform's own tools read
// it; text after the digits is ignored.
int parse_id(const char* line) { return static_cast<int>(strtoll(line, nullptr, 10)); }

int read_file() {
  FILE* f = sysio().fopen(kSystemIdPath, "re");
  if (f == nullptr) {
    logerr(nullptr, "Failed to open for reading  <%s> \n", kSystemIdPath);
    return kCodecIdOpenFailed;
  }
  char line[32];
  int result;
  if (fgets(line, sizeof line, f) != nullptr) {
    gSystemId = parse_id(line);
    result = kCodecIdOk;
  } else {
    logerr(nullptr, "Failed to read system id from <%s> \n", kSystemIdPath);
    result = kCodecIdReadFailed;
  }
  fclose(f);
  return result;
}

// True when the id file itself could be opened for writing: it is missing
// (it will be created), or it is a file we may write. A directory or a
// read-only file in its place is an open failure, not a write failure.
bool id_file_writable() {
  int fd = sysio().open(kSystemIdPath, O_WRONLY | O_CLOEXEC);
  if (fd >= 0) {
    close(fd);
    return true;
  }
  return errno == ENOENT;
}

bool write_all(int fd, const char* p, size_t left) {
  while (left > 0) {
    ssize_t w = write(fd, p, left);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    left -= static_cast<size_t>(w);
  }
  return true;
}

}  // namespace

int read_codec_id(uint32_t* system_id) {
  if (gReadError < 0) gReadError = read_file();
  if (gReadError == kCodecIdOk && system_id != nullptr) *system_id = static_cast<uint32_t>(gSystemId);
  return gReadError;
}

// The id goes to a temporary file of this call beside the real one, which is
// synced and then renamed over it: a reader or a power cut never finds half
// an id.
int write_codec_id(uint32_t system_id) {
  gReadError = -1;
  const std::string tmp = std::string(kSystemIdPath) + ".tmp." + std::to_string(getpid()) + "." +
                          std::to_string(gTmpSeq.fetch_add(1));
  int fd = id_file_writable() ? sysio().open(tmp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644) : -1;
  if (fd < 0) {
    logerr(nullptr, "Failed to open for writing  <%s> \n", kSystemIdPath);
    return kCodecIdOpenFailed;
  }
  char text[31];
  int n = snprintf(text, sizeof text, "%d", static_cast<int>(system_id));
  bool ok = n > 0 && write_all(fd, text, static_cast<size_t>(n));
  ok = fsync(fd) == 0 && ok;
  ok = close(fd) == 0 && ok;
  ok = ok && sysio().rename(tmp, kSystemIdPath) == 0;
  if (!ok) {
    sysio().unlink(tmp);
    logerr(nullptr, "Failed to write to system id from <%s> \n", kSystemIdPath);
    return kCodecIdWriteFailed;
  }
  return kCodecIdOk;
}

int remove_codec_id_file() {
  gReadError = -1;
  if (sysio().access(kSystemIdPath, F_OK) != 0) {
    logerr(nullptr, "File: %s doesn't exist, can't remove. \n", kSystemIdPath);
    return kCodecIdRemoveFailed;
  }
  if (sysio().unlink(kSystemIdPath) != 0) {
    logerr(nullptr, "Failed to remove file %s. \n", kSystemIdPath);
    return kCodecIdRemoveFailed;
  }
  loginfo(nullptr, "Removed file %s\n", kSystemIdPath);
  return kCodecIdRemoved;
}

void multicodec_sysids_testing_reset() {
  gSystemId = -1;
  gReadError = -1;
}
