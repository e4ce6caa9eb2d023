// The built-in capability data: the board tables, their sub-tables and the
// prepared change sets. Only sysCapsTable.cpp and the tests read it; the
// daemon goes through the lookups of sysCapsTable.h.
#pragma once

#include <cstddef>

#include "system/sysCapsTable.h"

// The four sections of one board (video, audio, comm, hardware).
struct sysCapsBoardS {
  hwTypeT hwType;
  const sysCapsT* sections[4];
};

extern const sysCapsBoardS kSysCapsBoards[];
extern const size_t kSysCapsBoardCount;

// Change sets, each ended by an entry with a null key.
extern const sysCapsT kSysCapsRatesNoIce[];
extern const sysCapsT kSysCapsRatesIce[];
extern const sysCapsT kSysCapsHaldenDualGraphic[];

// Sub-tables (sysCapsSubData.cpp).
extern const SysCapMonitorResS kMonRes6Ntsc[6], kMonRes6Pal[6];
extern const SysCapMonitorResS kMonRes8Ntsc[8], kMonRes8Pal[8];
extern const SysCapMonitorResS kMonRes10Ntsc[10], kMonRes10Pal[10];
extern const SysCapMonitorResS kMonRes11Ntsc[11], kMonRes11Pal[11];
extern const SysCapMonitorResS kMonRes17Ntsc[17], kMonRes17Pal[17];

extern const audioIOInfoS kCedarAudioIn[8];
extern const audioIOInfoS kCedarAudioOut[6];
extern const audioIOInfoS kHaldenAudioOut[6];
extern const audioIOInfoS kBirchAudioIn[16];
extern const audioIOInfoS kBirchAudioOut[8];
extern const audioIOInfoS kAspenAudioIn[23];

extern const SysCapGainS kCompGains0[3], kCompGains1[3];
extern const SysCapGainS kSvideoGains0[2], kSvideoGains1[2];
extern const SysCapGainS kVgaGains2[3];

// The value word of a number or of a pointer to constant data.
inline void* sysCapInt(intptr_t v) { return reinterpret_cast<void*>(v); }
inline void* sysCapPtr(const void* p) { return const_cast<void*>(p); }
