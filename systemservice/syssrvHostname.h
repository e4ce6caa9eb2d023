// Host name, certificate-request names, IR filter channel, beacon and the
// proxy delegate, with the process helpers they start daemons with.
#pragma once

#include <sys/types.h>

#include "OS/linux/psosapi/eErrorT.h"
// isDelegateRunning() is declared with the other readers of shared state.
#include "systemservice/syssrvAlerts.h"
// forkExec, waitOnChild, findPid.
#include "systemservice/syssrvProcess.h"

void set_hostname(const char* name);
void set_commonname();
void update_remote_channel_id(char* value);
// Stops a running beacon, then starts it again when `state` begins "true".
void update_amx_beacon(char* state);
void start_delegate();
void stop_delegate();
