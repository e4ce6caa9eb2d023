// The daemon as the fuzz targets meet it, set up once per process: the
// recorder seam on a private root (nothing runs, the clocks are fake), the
// log device a file there, "SystemSrvc" linked to the test fake of
// "ConfigSrvc", and "FuzzCaller" as the peer that sends and receives the
// answers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/msg/MSG.h"
#include "platform/sysio/sysio_recorder.h"
#include "tests/systemservice/fake_configsrvc.h"

// The recorder, with "/dev/ttyO1" served by a packet socket: each read gets
// one of the frames given to serial() (the serial line answers page by page).
class FuzzSysIo : public RecorderSysIo {
 public:
  ~FuzzSysIo() override;
  // The next open of the serial device reads these frames, then end of file.
  void serial(const std::string* frames, size_t n);
  int open(const std::string& abs, int flags, mode_t mode = 0644) override;

 private:
  int m_serial = -1;  // the device's end, handed out by open()
};

class FuzzDaemon {
 public:
  static FuzzDaemon& get();

  FuzzSysIo& rec() { return m_rec; }
  FakeConfigSrvc& peer() { return m_peer; }

  // Puts the module state back to that of a started process and forgets
  // what was recorded, so one input does not run into the next one's
  // leftovers (nor memory grow with the records).
  void reset();
  // Sends the bytes as a `type` message from "FuzzCaller" to "SystemSrvc",
  // takes it in there and runs `handler` on it as the main loop would, then
  // drops whatever came back.
  void deliver(MSG_Type type, const uint8_t* p, size_t n, MSG_CallbackFunc handler);
  // Takes in and releases every message waiting on either endpoint.
  void drain();
  // Every line logged since the last call is empty or starts with the
  // facility's prefix: a received or configured value with a line break in
  // it must not forge a log line of its own. Aborts on one that does not,
  // and empties the log device.
  void checkLog();

 private:
  FuzzDaemon();
  FuzzSysIo m_rec;
  FakeConfigSrvc m_peer;
};
