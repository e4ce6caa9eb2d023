// `uinput FILE`: what the daemon wrote to its virtual key device, when that
// device is a plain file (the simulation's /dev/uinput): the device record
// written at set-up, then one line per input event, e.g.
//   device "crvl-virt-key-press-device"
//   key 523 down
//   sync
// Events are read in this build's own input_event size (16 bytes on the
// 32-bit board, 24 on x86-64), the size the daemon of the same build writes.
#include <linux/input.h>
#include <linux/uinput.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>

#include "tools/syssrvctl/syssrvctl.h"

namespace {

std::string eventText(const input_event& e) {
  static const char* const kKeyValues[] = {"up", "down", "repeat"};
  if (e.type == EV_KEY && e.value >= 0 && e.value <= 2) {
    return "key " + std::to_string(e.code) + " " + kKeyValues[e.value];
  }
  if (e.type == EV_SYN && e.code == SYN_REPORT && e.value == 0) return "sync";
  return "type " + std::to_string(e.type) + " code " + std::to_string(e.code) + " value " + std::to_string(e.value);
}

}  // namespace

int ctlCmdUinput(const CtlArgs& args, CtlIo& io) {
  if (args.positional.size() != 1) return io.fail(kCtlExitBadInput, "uinput: one FILE expected");
  std::ifstream f(args.positional[0], std::ios::binary);
  if (!f) return io.fail(kCtlExitFailed, "uinput: cannot read " + args.positional[0]);
  const std::string bytes{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
  size_t at = 0;
  // An event starts with its (zero) time; the device record with its name.
  if (bytes.size() >= sizeof(uinput_user_dev) && bytes[0] != '\0') {
    uinput_user_dev dev;
    std::memcpy(&dev, bytes.data(), sizeof dev);
    dev.name[UINPUT_MAX_NAME_SIZE - 1] = '\0';
    io.out << "device \"" << dev.name << "\"\n";
    at = sizeof dev;
  }
  for (; at + sizeof(input_event) <= bytes.size(); at += sizeof(input_event)) {
    input_event e;
    std::memcpy(&e, bytes.data() + at, sizeof e);
    io.out << eventText(e) << "\n";
  }
  if (at < bytes.size()) io.out << "(" << bytes.size() - at << " bytes left over)\n";
  return kCtlExitOk;
}
