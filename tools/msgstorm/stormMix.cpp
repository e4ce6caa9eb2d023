#include "tools/msgstorm/stormMix.h"

#include "platform/msgutil/msgIds.h"

// The two requests below are answered whatever their payload holds (neither
// reads a field), so garbage sent to them must still be answered once.
// CommCDRCmd parses its payload and, when that fails, only logs.
const StormRow kStormMix[] = {
    {"lan status", kMsgIdSystemIFGetLanStatusReq, kStormEmpty, kMsgIdSystemIFGetLanStatusRsp},
    {"unserved SystemIF request", 0x1B0FF0, kStormRandom, 0},
    {"system time", kMsgIdSystemIFGetSystemTimeReq, kStormEmpty, kMsgIdSystemIFGetSystemTimeRsp},
    {"truncated call record", kMsgIdSystemIFCommCDRCmd, kStormTruncated, 0},
    {"lan status, garbage", kMsgIdSystemIFGetLanStatusReq, kStormRandom, kMsgIdSystemIFGetLanStatusRsp},
    {"unknown interface", 0x7FFF0002, kStormRandom, 0},
    {"system time, truncated", kMsgIdSystemIFGetSystemTimeReq, kStormTruncated, kMsgIdSystemIFGetSystemTimeRsp},
    {"unserved notification", 0x1B0FF3, kStormEmpty, 0},
};
const size_t kStormMixRows = sizeof kStormMix / sizeof kStormMix[0];

std::string stormPayload(const StormRow& row, uint32_t* random) {
  switch (row.payload) {
    case kStormEmpty:
      return std::string();
    case kStormTruncated:
      // Field 1, length-delimited, 127 bytes announced and one given.
      return std::string("\x0a\x7f\x01", 3);
    case kStormRandom:
      break;
  }
  // A small xorshift: the same bytes on every run of the same sender.
  auto next = [random] {
    *random ^= *random << 13;
    *random ^= *random >> 17;
    *random ^= *random << 5;
    return *random;
  };
  std::string bytes(next() % 65, '\0');
  for (char& c : bytes) c = static_cast<char>(next());
  return bytes;
}
