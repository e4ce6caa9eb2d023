// System time and the time of the master unit.
#pragma once

#include <linux/rtc.h>

#include <cstdint>
#include <ctime>

#include "platform/msg/MSG.h"

// The hardware clock is set with RTC_SET_TIME, whose number carries the size
// of the record the driver copies; dates after January 2038 need a 64-bit
// time_t on the 32-bit board as well.
static_assert(sizeof(rtc_time) == 36, "rtc_time is 36 bytes");
static_assert(RTC_SET_TIME == 0x4024700Au, "RTC_SET_TIME");
static_assert(sizeof(time_t) == 8, "time_t holds dates after January 2038");

// Sets the clock to `t` seconds since the epoch: kErrNoError, or
// kErrBadState when the time-server mode forbids it.
int SetSystemTime(long t);
// The same for any time the messages carry (64-bit seconds): `long` is 32
// bits on the board and ends in January 2038, so the handlers call this one.
// kErrBadParameter (nothing set) for a time the calendar cannot hold.
int SetSystemTime64(int64_t t);
void SystemIFSetSystemTimeCmd(void* pContext, const MSG_Message* msg);
void SystemIFGetSystemTimeReq(void* pContext, const MSG_Message* msg);
void ProcessMasterVelarTimeReq(void* pContext, const MSG_Message* msg);
