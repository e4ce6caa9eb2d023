// Every row of the "SystemSrvc" handler table with any payload: the first
// byte picks the row, the rest is the payload of the row's message type.
// Besides the sanitizers' reports, a log line forged by a line break in a
// received value is a finding (FuzzDaemon::checkLog).
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzzDaemon.h"
#include "systemservice/syssrvMessageTable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  FuzzDaemon& d = FuzzDaemon::get();
  d.reset();
  const syssrvHandlerRow& row = kSyssrvHandlerTable[data[0] % kSyssrvHandlerCount];
  d.deliver(row.type, data + 1, size - 1, row.handler);
  d.checkLog();
  return 0;
}
