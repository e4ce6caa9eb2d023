// The virtual key-press input device, created once at start.
//
// Effects, all through the seam: open of "/dev/uinput" (write-only,
// non-blocking, close-on-exec); ioctls UI_SET_EVBIT (EV_KEY, then EV_SYN), UI_SET_KEYBIT
// for every Linux code of the key map in table order, UI_DEV_CREATE; one
// write of a 1116-byte uinput_user_dev record between the last two.
#include <fcntl.h>
#include <linux/uinput.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "OS/logmsg.h"
#include "platform/sysio/sysio.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvMessageTable.h"
#include "systemservice/syssrvPower.h"

// The record layout is fixed by the kernel interface; both architectures
// of the appliance see the same size.
static_assert(sizeof(uinput_user_dev) == 1116, "uinput_user_dev is 1116 bytes");

namespace {

const char kComponent[] = "initVirtualKeyPressDevice";
const char kUinputPath[] = "/dev/uinput";
const char kDeviceName[] = "crvl-virt-key-press-device";
// The identity the input system shows for the device.
constexpr uint16_t kBusType = 0x19;  // BUS_HOST: a device of the host itself
constexpr uint16_t kVendor = 1;
constexpr uint16_t kProduct = 2;
constexpr uint16_t kVersion = 1;

void* ioctlValue(uintptr_t v) { return reinterpret_cast<void*>(v); }

bool setupDevice(int fd) {
  if (sysio().ioctl(fd, UI_SET_EVBIT, ioctlValue(EV_KEY)) < 0 ||
      sysio().ioctl(fd, UI_SET_EVBIT, ioctlValue(EV_SYN)) < 0) {
    logerr(kComponent, "failed to enable KEY or SYN events\n");
    return false;
  }
  for (const KeyCodeMapT& k : keyCodeMap) {
    if (sysio().ioctl(fd, UI_SET_KEYBIT, ioctlValue(k.linuxCode)) < 0) {
      logerr(kComponent, "failed to enable key code %d\n", k.linuxCode);
      return false;
    }
  }
  uinput_user_dev dev;
  memset(&dev, 0, sizeof dev);
  strncpy(dev.name, kDeviceName, UINPUT_MAX_NAME_SIZE - 1);
  dev.id.bustype = kBusType;
  dev.id.vendor = kVendor;
  dev.id.product = kProduct;
  dev.id.version = kVersion;
  if (::write(fd, &dev, sizeof dev) != static_cast<ssize_t>(sizeof dev)) {
    logerr(kComponent, "failed to configure %s\n", kUinputPath);
    return false;
  }
  if (sysio().ioctl(fd, UI_DEV_CREATE, nullptr) < 0) {
    logerr(kComponent, "failed to create %s\n", kDeviceName);
    return false;
  }
  return true;
}

}  // namespace

void initVirtualKeyPressDevice() {
  // Close-on-exec: the scripts the service runs must not inherit it.
  fdVirtKeyPressDev = sysio().open(kUinputPath, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fdVirtKeyPressDev < 0) {
    logerr(kComponent, "could not open %s\n", kUinputPath);
    fdVirtKeyPressDev = -1;
    return;
  }
  if (!setupDevice(fdVirtKeyPressDev)) {
    ::close(fdVirtKeyPressDev);
    fdVirtKeyPressDev = -1;
  }
}
