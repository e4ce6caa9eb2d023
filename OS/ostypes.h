// Fixed-width integer names used by the OS support library and by the code
// it shares with the appliance's other programs.
#pragma once

#include <cstdint>

typedef uint8_t UInt8;
typedef uint16_t UInt16;
typedef uint32_t UInt32;
typedef uint64_t UInt64;
typedef int8_t Int8;
typedef int16_t Int16;
typedef int32_t Int32;
typedef int64_t Int64;
// A C-compatible truth value: 0 is false, anything else true.
typedef int Bool;
