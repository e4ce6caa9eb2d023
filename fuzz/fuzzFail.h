// How a fuzz target reports a broken property. libFuzzer's -close_fd_mask
// (scripts/fuzz) closes the target's stderr, so the text goes where the
// sanitizers report, then the run ends as a crash with its input saved.
#pragma once

#include <sanitizer/common_interface_defs.h>

#include <cstdlib>
#include <string>

[[noreturn]] inline void fuzzFail(const std::string& what) {
  __sanitizer_report_error_summary(what.c_str());
  abort();
}
