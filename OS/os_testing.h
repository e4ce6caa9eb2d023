// Test-only hooks of the OS support library: they put its process-wide state
// back to what a freshly started process has, so that one test binary can
// exercise start-up behaviour many times. Never called by the daemon.
#pragma once

// Log facility: closes the log device descriptor and restores every setting,
// filter table and the calling thread's pending line to their start values.
// Pending lines of other threads are not touched.
void logmsg_testing_reset();

// Forgets the cached unit index, so the next get_velar_idx() reads the file.
void velar_idx_testing_reset();
