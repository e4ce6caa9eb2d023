#pragma once

// Puts the daemon's module-wide state back as a fresh process has it: the
// test fixtures and the fuzz programs run many cases in one process.
void resetDaemonState();
