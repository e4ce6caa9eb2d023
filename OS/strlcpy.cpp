#include "OS/oslinux.h"

#if !OS_LIBC_HAS_STRLCPY
extern "C" size_t strlcpy(char* dst, const char* src, size_t size) {
  size_t srclen = strlen(src);
  if (size > 0) {
    size_t n = srclen < size - 1 ? srclen : size - 1;
    memcpy(dst, src, n);
    dst[n] = '\0';
  }
  return srclen;
}
#endif
