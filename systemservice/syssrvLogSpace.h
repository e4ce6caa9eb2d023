// Shared pieces of the log-space monitor, the log transfer and their
// message handlers.
#pragma once

#include <string>

#include "CommonIF.pb.h"

extern const char kLogSpaceEnable[];
extern const char kLogSpaceUsedPercent[];
extern const char kLogSpaceThreshold[];
extern const char kLogTransferFrequency[];
extern const char kLogTransferInProgress[];

// The current value of `name`, cut to `len` characters ("" when unreadable).
std::string logspace_read(const char* name, int len);
// Values of these variables are compared without regard to case.
bool logspace_is(const std::string& value, const char* want);
// A transfer asked for by the user or by the threshold: the attached camera
// is asked for its logs first and the transfer follows their arrival; when
// the camera is absent or refuses, the transfer starts now. kErrNoError
// when it was handed to the camera, else the result of startLogFlush.
CommonIF::eErrorType logspace_transfer_now_or_after_camera();

// Forgets the flag, the monitor daemon and the flusher (tests only).
void syssrvLogSpace_testing_reset();
void syssrvLogFlush_testing_reset();
