// String and process utilities of the OS support library: bounded string
// copies, trimming, case conversion, integer formatting, process lookup by
// command name, the interrupts-off emulation and the processor settings.
#pragma once

#include <cstddef>
#include <cstring>
#include <sys/types.h>

#include "OS/ostypes.h"

// Newer C libraries bring strlcpy/strlcat themselves; we supply them only
// where they are missing, so that the two never clash.
#if defined(__BIONIC__) || defined(__APPLE__) || defined(__FreeBSD__) || defined(__OpenBSD__) || \
    defined(__NetBSD__) ||                                                                       \
    (defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 38)))
#define OS_LIBC_HAS_STRLCPY 1
#else
#define OS_LIBC_HAS_STRLCPY 0
#endif

extern "C" {

#if !OS_LIBC_HAS_STRLCPY
// BSD semantics: copy/append at most size - 1 bytes in total, terminate when
// size > 0, return the length of the string they tried to build.
size_t strlcpy(char* dst, const char* src, size_t size);
size_t strlcat(char* dst, const char* src, size_t size);
#endif

// Copies at most min(srcSubLen, dstBufSize - 1) characters of src and
// terminates dst; returns min(strlen(src), srcSubLen), so a result of
// dstBufSize or more means the copy was cut.
size_t strlcpy_substr(char* dst, const char* src, size_t dstBufSize, size_t srcSubLen);

// In-place removal of characters with codes <= 32 (blanks and controls).
char* trim_trailing(char* s);
char* trim_leading(char* s);
char* trim_str(char* s);

char* strupr(char* s);
char* strlwr(char* s);
int stricmp(const char* a, const char* b);

// Radix 10 ("%d") and 16 ("%x") only; any other radix returns null and
// leaves buf alone.
char* itoa(int value, char* buf, int radix);

// Pid of the process whose kernel command name (at most 15 characters) is
// exactly `name`, -1 when there is none.
int find_pid(const char* name);

// Short critical sections shared by all threads. Pairs nest within one
// thread; interruptsRestore takes the value its interruptsOff returned.
int interruptsOff();
void interruptsRestore(int count);
// Makes the interrupts-off lock (recursive, priority inheritance). Safe to
// call more than once; interruptsOff calls it itself.
void oslinux_intsoff_init();

void SetProcessorNum(int num);
int GetProcessorNum();
void SetNumProcessors(int count);
int GetNumProcessors();
// Always 0: everything runs at task level.
int ExecutionLevel();
// Microseconds per 10-ms tick.
UInt32 GetCyclesPerTick();

void sstackBackTrace(UInt32 taskID);
void stackBackTrace(UInt32 taskID);

}  // extern "C"
