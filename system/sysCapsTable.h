// Capability table: what the board has (signal processors, audio inputs and
// outputs, monitors, cameras, fans, conference limits, call rates), chosen
// once from the hardware type and looked up by section, key and instance.
//
// An entry's value is one machine word: the number itself for " %d " and
// " %x " entries, a pointer to text for " %s ", a pointer to a double for
// " %f ", or a pointer to a sub-table. Lookups that find nothing answer
// "absent" (null / -1) and log nothing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "system/systeminfo2.h"

#ifndef SYSSRV_BOOLEAN_DEFINED
#define SYSSRV_BOOLEAN_DEFINED
typedef int Boolean;
#endif

enum eSysCapSectionT {
  eSysCapVideo = 0,
  eSysCapAudio = 1,
  eSysCapComm = 2,
  eSysCapHardware = 3,
  eSysCapSystem = 4,  // no name and no table on any board
  eSysCapNumSections = 5,
};

// The print formats of the values, blanks included.
extern const char kSysCapFmtInt[];   // " %d "
extern const char kSysCapFmtHex[];   // " %x "
extern const char kSysCapFmtStr[];   // " %s "
extern const char kSysCapFmtReal[];  // " %f "

// One entry; a section table ends with an entry whose key is null.
struct sysCapsS {
  const char* keyName;
  void* val;
  uint32_t instance;  // index among the entries of the same key
  const char* fmt;
};
typedef sysCapsS sysCapsT;

// Size of the formatted-value buffers of getCapability and the dump.
constexpr size_t kSysCapValueLen = 80;

// ---- sub-tables referenced from entries ----
struct SysCapMonitorResS {
  char videoSignal[21];  // "HDMI", "DVID", ...
  int width;
  int height;
  int refreshRate;
  Boolean bIsInterlaced;
};

enum eAudioIOTypeT {
  kAudioIOTypeAnalog = 0,
  kAudioIOTypeDigital = 1,
  kAudioIOTypeHdmi = 2,
  kAudioIOTypeClink = 3,
  kAudioIOTypeUsb = 4,
};

enum eSysCapsAudioHwDriverT {
  kAudioHwDriverNone = 0,
  kAudioHwDriverSerialPort = 1,
  kAudioHwDriverHdmi = 2,
  kAudioHwDriverUsb = 3,
};

struct audioIOInfoS {
  char name[40];
  char rootName[40];
  eAudioIOTypeT type;
  int stereoPair;
  int dmaIdx;
  int rate;
  int interruptRate;
  int Associated;
  int AssociatedIdx;
  eSysCapsAudioHwDriverT driver;
};

struct SysCapGainS {
  int gain;    // tenths of a dB
  int offset;  // code units
};

// Receives (section name, key, instance, formatted value) for every entry.
typedef void (*SysCapDumpFuncT)(const char* section, const char* key, int instance, const char* value);

// The first entry of pCapsTbl whose key equals keyName exactly
// (case-sensitive) and whose instance equals `instance`; null when none.
sysCapsT* lookupCapability(const char* keyName, int instance, sysCapsT* pCapsTbl);

// Replaces the value word of an entry: 0, or -1 when the section, table or
// entry is missing.
int setCapability(eSysCapSectionT section, const char* keyName, int instance, void* pVal);

// The value word of an entry, null when absent. With formattedVal (at least
// kSysCapValueLen bytes) the value is also printed into it with the entry's
// format.
void* getCapability(eSysCapSectionT section, const char* keyName, int instance, char* formattedVal);

// Passes every entry of `section` (a section above eSysCapSystem: all of
// them) to dumpFunc, or prints it to standard output without one.
void dumpCapabilities(SysCapDumpFuncT dumpFunc, eSysCapSectionT section);

// Call rates of the comm section without and with ICE.
int setRateCapabilities(Boolean iceIsEnabled);
const sysCapsT* getRateCaps(Boolean iceIsEnabled);

// The dual-graphics mode of the kHalden board.
int changeHaldenInDualGraphicModeHWCapabilities();
const sysCapsT* getHaldenInDualGraphicModeHWChangesCaps();

// Chooses the board table of hwType; other types leave it unchosen, so that
// every lookup fails.
void initSysCapsTbl(hwTypeT hwType);

// Prints the entry's value with its format into buf (" %f " from the double
// the value points to; other formats from the value word itself).
void sysCapsFormatValue(const sysCapsT* entry, char* buf, size_t len);
