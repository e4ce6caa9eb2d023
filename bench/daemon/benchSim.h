// What the benchmarks that run the simulation's appliance share.
#pragma once

#include <cstddef>

// Seconds for `n` round trips of `bytes` over an AF_UNIX SEQPACKET
// socketpair with a child that echoes: the floor of any local request and
// answer. -1 when the pair fails.
double benchRawRoundTrips(int n, size_t bytes);

// The simulation's programs run only sealed: unless this process already
// is, runs it again through the seal (never returns then, but for a failed
// exec: 1). 0 when sealed.
int benchEnsureSealed(int argc, char** argv, const char* name);
