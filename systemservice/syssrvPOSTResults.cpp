// Power-on self-test results: the board's microcontroller keeps the log of
// the last self-test. It is read page by page over the serial line, and the
// error codes of the last run are published as configuration variables.
//
// Frames (sums modulo 256):
//   request   A5 06 <sum of bytes 3..5> 99 00 <page 0..8>
//   response  A5 <L> <sum of bytes 3..L-1> CC <page text>
#include "systemservice/syssrvPOSTResults.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "OS/logmsg.h"
#include "platform/sysio/sysio.h"

namespace {

const char kComponent[] = "getPOSTResults";
const char szUcDevName[] = "/dev/ttyO1";

constexpr int kPages = 9;
constexpr size_t kRequestLen = 6;
constexpr size_t kResponseMax = 256;
constexpr size_t kResponseHead = 4;
constexpr unsigned char kFrameStart = 0xA5;
constexpr unsigned char kReadLogCmd = 0x99;
constexpr unsigned char kResponseMarker = 0xCC;
// Nine pages of at most 252 bytes of text each fit.
constexpr size_t kPostBufLen = 2304;

// The line settings belong to the platform; this service only bounds each
// exchange, so that a microcontroller that stays silent (or a line that never
// drains) costs at most this per frame and cannot hang start-up, which reads
// the results before the fork.
constexpr int kFrameTimeoutMs = 1000;

const char kRunStart[] = ": POST started";
// Where the scan begins, counted from the start of the last kRunStart.
constexpr size_t kRunStartSkip = 15;
constexpr size_t kCodeDigits = 4;

struct XRefRow {
  uint32_t code;
  const char* name;
};

// Searched in this order; the first match names the code.
const XRefRow XRefTbl[] = {
    {0x0FF, "err_UnImplFn"},         {0x001, "err_MemTestFail"},      {0x002, "err_SDProbeFail"},
    {0x003, "err_UsbWarn"},          {0x004, "err_ClockWarn"},        {0x005, "err_Eth0Warn"},
    {0x050, "err_AndroidFail"},      {0x051, "err_RootFSFail"},       {0x052, "err_MountDataFail"},
    {0x053, "err_MountSDWarn"},      {0x020, "err_CmdNotSupported"},  {0x3FF, "err_UnImplFn"},
    {0x3FC, "err_Failed"},           {0x3FD, "err_CmdNotSupported"},  {0x301, "err_TSensor1ReadFail"},
    {0x302, "err_TSensor2ReadFail"}, {0x303, "err_P1V0AReadFail"},    {0x304, "err_P1V5ReadFail"},
    {0x305, "err_P1V2ReadFail"},     {0x306, "err_P0V75ReadFail"},    {0x307, "err_P3V3ReadFail"},
    {0x308, "err_P1V8ReadFail"},     {0x309, "err_P1V0ReadFail"},     {0x30A, "err_VCAMReadFail"},
    {0x30B, "err_RTCReadFail"},      {0x30C, "err_FanSpeedReadFail"}, {0x350, "err_WatchdogReset"},
};
const char UndefinedPostErrName[] = "err_Undefined";

const char* postErrName(uint32_t code) {
  for (const XRefRow& row : XRefTbl) {
    if (row.code == code) return row.name;
  }
  return UndefinedPostErrName;
}

bool ready(int fd, short events) {
  struct pollfd p = {fd, events, 0};
  int r;
  do {
    r = poll(&p, 1, kFrameTimeoutMs);
  } while (r < 0 && errno == EINTR);
  return r == 1;
}

// A response is taken only when its length byte L tells the truth: no less
// than the head, and exactly the bytes received (more would make the sum
// read past them, fewer would leave bytes no sum covers).
bool responseOk(const unsigned char* rsp, size_t got) {
  if (got < kResponseHead || rsp[0] != kFrameStart || rsp[3] != kResponseMarker || rsp[1] != got) return false;
  unsigned sum = 0;
  for (size_t i = 3; i < got; ++i) sum += rsp[i];
  return static_cast<unsigned char>(sum) == rsp[2];
}

// Appends the nine pages' texts to buf; false (logged) on the first
// transport or frame error.
bool readLog(int fd, unsigned char* buf, size_t* used) {
  for (int page = 0; page < kPages; ++page) {
    const unsigned char req[kRequestLen] = {kFrameStart, kRequestLen, static_cast<unsigned char>(kReadLogCmd + page),
                                            kReadLogCmd, 0x00, static_cast<unsigned char>(page)};
    if (!ready(fd, POLLOUT) || write(fd, req, sizeof req) != static_cast<ssize_t>(sizeof req)) {
      logerr(kComponent, "write failed\n");
      return false;
    }
    unsigned char rsp[kResponseMax];
    ssize_t got = ready(fd, POLLIN) ? read(fd, rsp, sizeof rsp) : -1;
    if (got <= 0) {
      logerr(kComponent, "read failed\n");
      return false;
    }
    if (!responseOk(rsp, static_cast<size_t>(got))) {
      logerr(kComponent, "invalid response from microcontroller\n");
      return false;
    }
    size_t text = static_cast<size_t>(got) - kResponseHead;
    if (text > kPostBufLen - *used) text = kPostBufLen - *used;
    memcpy(buf + *used, rsp + kResponseHead, text);
    *used += text;
  }
  return true;
}

bool hexDigits(std::string_view s) {
  for (char c : s) {
    if (!isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// Each "XXXX: " of the last run (four hexadecimal digits before a colon and
// a blank) is one result. The log is taken by its length: a NUL byte in it
// is just another character.
void publishResults(std::string_view log) {
  size_t from = 0;
  size_t last = log.rfind(kRunStart);
  if (last != std::string_view::npos) from = last + kRunStartSkip;
  int resultInstance = 0;
  for (size_t colon = log.find(": ", from); colon != std::string_view::npos; colon = log.find(": ", colon + 3)) {
    if (colon < kCodeDigits) continue;
    const std::string digits(log.substr(colon - kCodeDigits, kCodeDigits));
    if (!hexDigits(digits)) continue;
    uint32_t code = static_cast<uint32_t>(strtoul(digits.c_str(), nullptr, 16));
    if (code == 0) continue;
    config_write_post_result(digits.c_str(), postErrName(code), resultInstance++);
  }
}

}  // namespace

int getPOSTResults() {
  int fd = sysio().open(szUcDevName, O_RDWR | O_NOCTTY);
  if (fd < 0) {
    logerr(kComponent, "failed opening %s with err %d\n", szUcDevName, errno);
    return fd;
  }
  unsigned char POSTBuf[kPostBufLen];
  size_t used = 0;
  bool ok = readLog(fd, POSTBuf, &used);
  close(fd);
  if (!ok) return -1;
  publishResults(std::string_view(reinterpret_cast<const char*>(POSTBuf), used));
  return 0;
}
