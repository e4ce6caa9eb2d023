// Hardware identity of the board the service runs on.
//
// The platform names the board in the environment variable
// "CORVALE_BOARDID"; the hardware type derived from it selects the
// capability table (sysCapsTable.h). The model enumeration used by the rest
// of the daemon (eModelT) is decided separately by start-up.
#pragma once

#include <cstdint>

// A scoped enumeration: the daemon's model enumeration uses the same board
// names for different numbers, and both must be usable in one file.
enum class hwTypeT : uint32_t {
  kUninitialized = 0,
  // 1 to 24 name earlier hardware platforms; this service never produces or
  // tests them, but they stay reserved so that the numbers below keep their
  // meaning for the other programs of the appliance.
  kCedar = 25,
  kCedar100 = 26,
  kCedar110 = 27,
  kLumenPro = 28,
  kBirch = 29,
  kHalden = 30,
  kTundra = 31,
  kSorrel = 32,
  kAspen = 33,
  kOrbscope = 34,
  kOrbscope2 = 35,
  kNumHWTypes = 36,
};

void SetSystemHardwareType(hwTypeT hwtype);
hwTypeT GetSystemHardwareType();

// Decides the hardware type from "CORVALE_BOARDID" unless one is already
// set. An unknown board id leaves the type uninitialised, so a later call
// tries again.
void initSysHwType();

// Writes the display name of the system model into pBuf. Returns 0, or the
// size needed (name plus terminator) when pBuf is null or too small, in
// which case nothing is written. bHDOverride has no effect.
int getSysModel(char* pBuf, int nBufLen, int bHDOverride);
