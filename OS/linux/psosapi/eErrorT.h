// Internal status codes of the service and of its OS support library.
// 0 is success; every failure is negative so a caller can test "< 0" without
// knowing which code it got. The values are shared with the other programs
// of the appliance that link the same library, so they never change.
#pragma once

enum eErrorT {
  kNoError = 0,
  kFuncReturnedError = -1,
  kOutOfMemory = -2,
  kBadParameter = -3,
  kBadState = -4,
  kOutOfResources = -5,
  kItemNotFound = -25,
  kAlreadyInUse = -26,
  kSystemCallFailed = -34,
  kTimeOut = -35,
  kRejected = -51,
};
