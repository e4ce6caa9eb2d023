#include "platform/sysio/sysio_zone.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

// Only names of the database's own form: no absolute path, no "..", none
// of the characters a zone name never has.
bool zone_name_ok(const std::string& z) {
  if (z.empty() || z.size() > 255 || z[0] == '/' || z.find("..") != std::string::npos) return false;
  for (char c : z) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' ||
                    c == '_' || c == '-' || c == '+';
    if (!ok) return false;
  }
  return true;
}

int64_t be(const std::string& b, size_t at, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<size_t>(i)]);
  if (bytes == 4) return static_cast<int32_t>(static_cast<uint32_t>(v));
  return static_cast<int64_t>(v);
}

struct ZoneInfo {
  std::vector<int64_t> when;           // transition times
  std::vector<unsigned> typeOf;        // type index after each transition
  std::vector<int32_t> offset;         // per type: seconds east of UTC
  std::vector<bool> dst;               // per type
};

// The 64-bit block of a TZif file (version 2 or later; Debian ships no
// version 1 files any more).
bool read_zone(const std::string& file, ZoneInfo* z) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  const std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto counts = [&b](size_t at, int64_t c[6]) {
    if (b.size() < at + 44 || b.compare(at, 4, "TZif") != 0) return false;
    for (int i = 0; i < 6; ++i) c[i] = be(b, at + 20 + 4 * static_cast<size_t>(i), 4);
    return true;
  };
  int64_t c[6];  // isutcnt, isstdcnt, leapcnt, timecnt, typecnt, charcnt
  if (!counts(0, c) || b[4] < '2') return false;
  const size_t v1 = static_cast<size_t>(c[3] * 5 + c[4] * 6 + c[5] + c[2] * 8 + c[1] + c[0]);
  const size_t at = 44 + v1;
  if (!counts(at, c) || c[4] <= 0) return false;
  const size_t n = static_cast<size_t>(c[3]), types = static_cast<size_t>(c[4]);
  size_t p = at + 44;
  if (b.size() < p + n * 9 + types * 6) return false;
  for (size_t i = 0; i < n; ++i) z->when.push_back(be(b, p + 8 * i, 8));
  p += n * 8;
  for (size_t i = 0; i < n; ++i) {
    const unsigned ty = static_cast<unsigned char>(b[p + i]);
    if (ty >= types) return false;
    z->typeOf.push_back(ty);
  }
  p += n;
  for (size_t i = 0; i < types; ++i) {
    z->offset.push_back(static_cast<int32_t>(be(b, p + 6 * i, 4)));
    z->dst.push_back(b[p + 6 * i + 4] != 0);
  }
  return true;
}

}  // namespace

bool sysio_zone_local_time(const std::string& dir, const std::string& zone, time_t t, struct tm* out) {
  ZoneInfo z;
  if (!zone_name_ok(zone) || !read_zone(dir + "/" + zone, &z)) {
    gmtime_r(&t, out);
    return false;
  }
  // Before the first transition the first type holds.
  size_t type = 0;
  for (size_t i = 0; i < z.when.size() && z.when[i] <= static_cast<int64_t>(t); ++i) type = z.typeOf[i];
  const time_t local = t + z.offset[type];
  gmtime_r(&local, out);
  out->tm_isdst = z.dst[type] ? 1 : 0;
  out->tm_gmtoff = z.offset[type];
  return true;
}
