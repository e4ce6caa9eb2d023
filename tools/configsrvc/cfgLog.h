// Diagnostics of the configuration service: one line each on stderr,
// "configsrvc: " first, so its lines stand out among its clients' output.
#pragma once

// Debug lines (every request) are printed only when set (--verbose).
extern bool gCfgVerbose;

void cfgLog(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void cfgDebug(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
