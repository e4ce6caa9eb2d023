#include "OS/oslinux.h"

#if !OS_LIBC_HAS_STRLCPY
extern "C" size_t strlcat(char* dst, const char* src, size_t size) {
  // A dst without a terminator inside `size` counts as `size` long and gets
  // nothing appended.
  size_t dstlen = strnlen(dst, size);
  size_t srclen = strlen(src);
  if (dstlen == size) return size + srclen;
  size_t room = size - dstlen - 1;
  size_t n = srclen < room ? srclen : room;
  memcpy(dst + dstlen, src, n);
  dst[dstlen + n] = '\0';
  return dstlen + srclen;
}
#endif
