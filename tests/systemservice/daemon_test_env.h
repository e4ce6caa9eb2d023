// The surroundings every daemon test starts from.
#pragma once

#include <memory>

#include "platform/sysio/sysio_recorder.h"

// Installs a fresh recorder seam in *rec, starts the log facility on its
// "/dev/crvllog", puts the message layer's sockets under its root and opens
// `local`. False when a step failed.
bool daemonTestEnv(std::unique_ptr<RecorderSysIo>* rec, const char* local);
