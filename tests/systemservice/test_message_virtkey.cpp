// The virtual key-press device: exact open, ioctls in order, the record
// written, and every failure step.
#include <fcntl.h>
#include <linux/uinput.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvMessageTable.h"
#include "tests/systemservice/test_main_fixture.h"

namespace {

// The Linux codes of the remote keys, in the order they are searched.
const unsigned kCodes[48] = {103, 108, 28,  105, 106, 522, 523, 418, 419, 183, 184, 158, 358, 357, 185, 236,
                             186, 394, 102, 431, 212, 187, 52,  111, 169, 188, 116, 207, 128, 208, 168, 119,
                             167, 11,  2,   3,   4,   5,   6,   7,   8,   9,   10,  113, 115, 114, 189, 374};

class VirtKeyTest : public DaemonTest {
 protected:
  void SetUp() override {
    DaemonTest::SetUp();
    // On the host the device is a plain file that the platform provides.
    rec().put_file("/dev/uinput", "");
  }
  std::vector<SysIoRecord> ioctls() { return rec().records(SysIoCall::kIoctl); }
};

TEST_F(VirtKeyTest, CreatesTheDevice) {
  initVirtualKeyPressDevice();
  EXPECT_GE(fdVirtKeyPressDev, 0);

  std::vector<SysIoRecord> opens;
  for (const SysIoRecord& r : rec().records(SysIoCall::kOpen)) {
    if (r.path == "/dev/uinput") opens.push_back(r);
  }
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(opens[0].flags & O_ACCMODE, O_WRONLY);
  EXPECT_NE(opens[0].flags & O_NONBLOCK, 0);

  std::vector<SysIoRecord> io = ioctls();
  ASSERT_EQ(io.size(), 2u + 48u + 1u);
  EXPECT_EQ(io[0].request, static_cast<unsigned long>(UI_SET_EVBIT));
  EXPECT_EQ(io[0].arg, static_cast<uintptr_t>(EV_KEY));
  EXPECT_EQ(io[1].request, static_cast<unsigned long>(UI_SET_EVBIT));
  EXPECT_EQ(io[1].arg, static_cast<uintptr_t>(EV_SYN));
  for (int i = 0; i < 48; ++i) {
    EXPECT_EQ(io[2 + i].request, static_cast<unsigned long>(UI_SET_KEYBIT)) << i;
    EXPECT_EQ(io[2 + i].arg, kCodes[i]) << i;
  }
  EXPECT_EQ(io[50].request, static_cast<unsigned long>(UI_DEV_CREATE));
  for (const SysIoRecord& r : io) EXPECT_EQ(r.fd, fdVirtKeyPressDev);

  // The record: 1116 bytes, zero but for the name and the identity.
  std::string bytes = rec().file_bytes("/dev/uinput");
  ASSERT_EQ(bytes.size(), 1116u);
  std::string name = "crvl-virt-key-press-device";
  EXPECT_EQ(bytes.substr(0, name.size()), name);
  for (size_t i = name.size(); i < 80; ++i) EXPECT_EQ(bytes[i], '\0') << i;
  auto u16 = [&](size_t off) {
    return static_cast<unsigned>(static_cast<unsigned char>(bytes[off])) |
           (static_cast<unsigned>(static_cast<unsigned char>(bytes[off + 1])) << 8);
  };
  EXPECT_EQ(u16(80), 0x19u);  // bus
  EXPECT_EQ(u16(82), 1u);     // vendor
  EXPECT_EQ(u16(84), 2u);     // product
  EXPECT_EQ(u16(86), 1u);     // version
  for (size_t i = 88; i < bytes.size(); ++i) EXPECT_EQ(bytes[i], '\0') << i;
  EXPECT_EQ(log(), "");
}

TEST_F(VirtKeyTest, OpenFailure) {
  ASSERT_EQ(unlink(rec().path("/dev/uinput").c_str()), 0);
  rec().make_dirs("/dev/uinput");  // a directory cannot be opened for writing
  initVirtualKeyPressDevice();
  EXPECT_EQ(fdVirtKeyPressDev, -1);
  EXPECT_TRUE(ioctls().empty());
  EXPECT_NE(log().find("initVirtualKeyPressDevice: could not open /dev/uinput\n"), std::string::npos) << log();
}

TEST_F(VirtKeyTest, EventTypeFailure) {
  rec().ioctl_result(UI_SET_EVBIT, -1);
  initVirtualKeyPressDevice();
  EXPECT_EQ(fdVirtKeyPressDev, -1);
  EXPECT_EQ(ioctls().size(), 1u);
  EXPECT_NE(log().find("initVirtualKeyPressDevice: failed to enable KEY or SYN events\n"), std::string::npos);
  EXPECT_EQ(rec().file_bytes("/dev/uinput"), "");
}

TEST_F(VirtKeyTest, KeyCodeFailureNamesTheFirstCode) {
  rec().ioctl_result(UI_SET_KEYBIT, -1);
  initVirtualKeyPressDevice();
  EXPECT_EQ(fdVirtKeyPressDev, -1);
  EXPECT_EQ(ioctls().size(), 3u);
  EXPECT_NE(log().find("initVirtualKeyPressDevice: failed to enable key code 103\n"), std::string::npos) << log();
  EXPECT_EQ(log().find("key code 108"), std::string::npos);
}

TEST_F(VirtKeyTest, ShortWrite) {
  // The device path leads to a device that takes no bytes.
  ASSERT_EQ(unlink(rec().path("/dev/uinput").c_str()), 0);
  ASSERT_EQ(symlink("/dev/full", rec().path("/dev/uinput").c_str()), 0);
  initVirtualKeyPressDevice();
  EXPECT_EQ(fdVirtKeyPressDev, -1);
  EXPECT_EQ(ioctls().size(), 50u);  // no create
  EXPECT_NE(log().find("initVirtualKeyPressDevice: failed to configure /dev/uinput\n"), std::string::npos) << log();
}

TEST_F(VirtKeyTest, CreateFailure) {
  rec().ioctl_result(UI_DEV_CREATE, -1);
  initVirtualKeyPressDevice();
  EXPECT_EQ(fdVirtKeyPressDev, -1);
  EXPECT_NE(log().find("initVirtualKeyPressDevice: failed to create crvl-virt-key-press-device\n"),
            std::string::npos)
      << log();
}

TEST(VirtKeyRecord, SizeIsTheSameOnEveryArchitecture) {
  EXPECT_EQ(sizeof(uinput_user_dev), 1116u);
  EXPECT_EQ(offsetof(uinput_user_dev, id), 80u);
}

}  // namespace
