// Reads, writes and removes "/opt/corvale/dat/multicodec_systemid.dat".
// The daemon itself only reads it; the writer and the remover serve the
// platform's provisioning tools that share this library.
#include "multicodec_util/multicodec_sysids.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "OS/logmsg.h"
#include "multicodec_util/multicodec_sysids_testing.h"
#include "platform/sysio/sysio.h"

namespace {

const char kSystemIdPath[] = "/opt/corvale/dat/multicodec_systemid.dat";
// The writer goes through a temporary file beside the real one, so a reader
// never sees a half-written id.
const char kSystemIdTmpPath[] = "/opt/corvale/dat/multicodec_systemid.dat.tmp";

int gSystemId = -1;
int gReadError = -1;

// The id from one line of the file; false when the line holds no decimal
// number at all.
bool parse_id(const char* line, int* id) {
  char* end = nullptr;
  errno = 0;
  long v = strtol(line, &end, 10);
  if (end == line || errno != 0) return false;
  *id = static_cast<int>(v);
  return true;
}

int read_file() {
  FILE* f = sysio().fopen(kSystemIdPath, "r");
  if (f == nullptr) {
    logerr(nullptr, "Failed to open for reading  <%s> \n", kSystemIdPath);
    return kCodecIdOpenFailed;
  }
  char line[32];
  int result;
  int id = 0;
  if (fgets(line, sizeof line, f) != nullptr && parse_id(line, &id)) {
    gSystemId = id;
    result = kCodecIdOk;
  } else {
    logerr(nullptr, "Failed to read system id from <%s> \n", kSystemIdPath);
    result = kCodecIdReadFailed;
  }
  fclose(f);
  return result;
}

}  // namespace

int read_codec_id(uint32_t* system_id) {
  if (gReadError < 0) gReadError = read_file();
  if (gReadError == kCodecIdOk && system_id != nullptr) *system_id = static_cast<uint32_t>(gSystemId);
  return gReadError;
}

int write_codec_id(uint32_t system_id) {
  gReadError = -1;
  FILE* f = sysio().fopen(kSystemIdTmpPath, "w");
  if (f == nullptr) {
    logerr(nullptr, "Failed to open for writing  <%s> \n", kSystemIdPath);
    return kCodecIdOpenFailed;
  }
  char text[31];
  int n = snprintf(text, sizeof text, "%d", static_cast<int>(system_id));
  bool ok = n > 0 && fwrite(text, 1, static_cast<size_t>(n), f) == static_cast<size_t>(n);
  ok = fflush(f) == 0 && ok;
  ok = fclose(f) == 0 && ok;
  ok = ok && sysio().rename(kSystemIdTmpPath, kSystemIdPath) == 0;
  if (!ok) {
    sysio().unlink(kSystemIdTmpPath);
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
