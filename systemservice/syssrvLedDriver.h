// One write to an LED or front-panel driver file, as the drivers need it:
// the existing file (never created) opened write-only takes all the bytes in
// one write(), since the driver acts on each write. Unlike sysio_write_attr
// it tells a file that cannot be opened from a write the driver cut short:
// the log lines of the LED and the front panel tell the two apart.
#pragma once

#include <string>

#include <sys/types.h>

struct LedDriverWrite {
  int fd = -1;         // what open() returned; -1: not opened
  ssize_t written = 0;  // what write() returned (after an open)
  int err = 0;         // errno of the call that failed
  bool ok = false;     // every byte taken
};

LedDriverWrite led_driver_write(const std::string& abs, const std::string& bytes);
