// The daemon hands these records to kernel drivers byte for byte: virtual
// key presses to "/dev/uinput" (the set-up record, then input events) and
// the hardware clock through "/dev/rtc0". A layout that differs from the
// kernel's does not fail to compile, it fails on the board, so the numbers
// are pinned here for each architecture the tree is built for.
#include "tests/arch/arch_expect.h"

#include <linux/input.h>
#include <linux/rtc.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <sys/time.h>
#include <sys/types.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <type_traits>

namespace {

static_assert(sizeof(struct input_event) == kArchExpect.inputEvent, "input_event size");
static_assert(offsetof(struct input_event, type) == kArchExpect.inputEventType,
              "input_event.type offset");
static_assert(offsetof(struct input_event, value) == kArchExpect.inputEventValue,
              "input_event.value offset");
static_assert(sizeof(long) == kArchExpect.longBytes, "long width");
static_assert(sizeof(void*) == kArchExpect.pointerBytes, "pointer width");
static_assert(std::is_signed<char>::value == kArchExpect.charIsSigned, "plain char signedness");
static_assert(sizeof(time_t) == kArchExpect.timeT, "time_t width");
static_assert(sizeof(struct timeval) == kArchExpect.timeval, "timeval size");
static_assert(sizeof(off_t) == kArchExpect.offT, "off_t width");

// The same on every Linux architecture the board could use.
static_assert(sizeof(struct uinput_user_dev) == 1116, "uinput_user_dev size");
static_assert(sizeof(struct rtc_time) == 36, "rtc_time size");
static_assert(RTC_SET_TIME == 0x4024700A, "RTC_SET_TIME number");

#if defined(__arm__)
TEST(ArchSizes, BoardTypesAreThirtyTwoBit) {
  EXPECT_EQ(sizeof(long), 4u);
  EXPECT_EQ(sizeof(void*), 4u);
  EXPECT_EQ(sizeof(std::size_t), 4u);
  EXPECT_EQ(CHAR_MIN, 0) << "plain char is unsigned on ARM";
  EXPECT_EQ(sizeof(time_t), 8u) << "the target build uses 64-bit time_t";
  EXPECT_EQ(sizeof(off_t), 8u);
  EXPECT_EQ(sizeof(struct input_event), 16u);
}
#elif defined(__x86_64__)
TEST(ArchSizes, HostTypesAreSixtyFourBit) {
  EXPECT_EQ(sizeof(long), 8u);
  EXPECT_EQ(sizeof(void*), 8u);
  EXPECT_EQ(sizeof(std::size_t), 8u);
  EXPECT_LT(CHAR_MIN, 0) << "plain char is signed on x86-64";
  EXPECT_EQ(sizeof(time_t), 8u);
  EXPECT_EQ(sizeof(off_t), 8u);
  EXPECT_EQ(sizeof(struct input_event), 24u);
}
#endif

TEST(ArchSizes, PlainCharConvertsHighBytesPerArchitecture) {
  // A byte above 0x7f read through plain char: negative on x86-64, not on
  // ARM. Code that compares such bytes must cast to unsigned char first.
  const char c = static_cast<char>(0xE9);
  EXPECT_EQ(static_cast<int>(c), kArchExpect.charIsSigned ? -23 : 233);
  EXPECT_EQ(static_cast<int>(static_cast<unsigned char>(c)), 233);
}

TEST(ArchSizes, InputEventBytesAsTheKernelReadsThem) {
  struct input_event ev;
  std::memset(&ev, 0, sizeof ev);
  ev.input_event_sec = 0x01020304;
  ev.input_event_usec = 0x05060708;
  ev.type = EV_KEY;
  ev.code = KEY_UP;
  ev.value = -2;
  unsigned char b[sizeof ev];
  std::memcpy(b, &ev, sizeof ev);
  // The board is little-endian like this machine: seconds first.
  EXPECT_EQ(b[0], 0x04);
  EXPECT_EQ(b[3], 0x01);
  const std::size_t t = kArchExpect.inputEventType;
  EXPECT_EQ(b[t], EV_KEY);
  EXPECT_EQ(b[t + 1], 0x00);
  EXPECT_EQ(b[t + 2], KEY_UP);
  EXPECT_EQ(b[t + 3], 0x00);
  const unsigned char value[4] = {0xFE, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(std::memcmp(b + kArchExpect.inputEventValue, value, 4), 0);
  EXPECT_EQ(kArchExpect.inputEventValue + 4, sizeof ev);
}

TEST(ArchSizes, UinputSetupRecordLayout) {
  EXPECT_EQ(sizeof(struct uinput_user_dev), 1116u);
  EXPECT_EQ(offsetof(struct uinput_user_dev, name), 0u);
  EXPECT_EQ(sizeof(uinput_user_dev::name), 80u);
  EXPECT_EQ(offsetof(struct uinput_user_dev, id), 80u);
  EXPECT_EQ(offsetof(struct uinput_user_dev, id.bustype), 80u);
  EXPECT_EQ(offsetof(struct uinput_user_dev, id.vendor), 82u);
  EXPECT_EQ(offsetof(struct uinput_user_dev, id.product), 84u);
  EXPECT_EQ(offsetof(struct uinput_user_dev, id.version), 86u);
  EXPECT_EQ(offsetof(struct uinput_user_dev, ff_effects_max), 88u);
  EXPECT_EQ(offsetof(struct uinput_user_dev, absmax), 92u);
  EXPECT_EQ(offsetof(struct uinput_user_dev, absmin), 348u);
  EXPECT_EQ(offsetof(struct uinput_user_dev, absfuzz), 604u);
  EXPECT_EQ(offsetof(struct uinput_user_dev, absflat), 860u);
}

TEST(ArchSizes, RtcTimeRecordLayout) {
  EXPECT_EQ(sizeof(struct rtc_time), 36u);
  EXPECT_EQ(offsetof(struct rtc_time, tm_sec), 0u);
  EXPECT_EQ(offsetof(struct rtc_time, tm_min), 4u);
  EXPECT_EQ(offsetof(struct rtc_time, tm_hour), 8u);
  EXPECT_EQ(offsetof(struct rtc_time, tm_mday), 12u);
  EXPECT_EQ(offsetof(struct rtc_time, tm_mon), 16u);
  EXPECT_EQ(offsetof(struct rtc_time, tm_year), 20u);
  EXPECT_EQ(offsetof(struct rtc_time, tm_wday), 24u);
  EXPECT_EQ(offsetof(struct rtc_time, tm_yday), 28u);
  EXPECT_EQ(offsetof(struct rtc_time, tm_isdst), 32u);
}

TEST(ArchSizes, IoctlNumbers) {
  // The numbers carry the record size, so a wrong record size on the
  // target shows up here as a wrong number.
  EXPECT_EQ(static_cast<std::uint32_t>(RTC_SET_TIME), 0x4024700Au);
  EXPECT_EQ(static_cast<std::uint32_t>(RTC_RD_TIME), 0x80247009u);
  EXPECT_EQ(static_cast<std::uint32_t>(UI_SET_EVBIT), 0x40045564u);
  EXPECT_EQ(static_cast<std::uint32_t>(UI_SET_KEYBIT), 0x40045565u);
  EXPECT_EQ(static_cast<std::uint32_t>(UI_DEV_CREATE), 0x5501u);
  EXPECT_EQ(static_cast<std::uint32_t>(UI_DEV_DESTROY), 0x5502u);
}

}  // namespace
