// Power-on self-test results read from the board controller.
#pragma once

// The store of one result, config_write_post_result, lives with the device
// control code (syssrvPower.h).
#include "systemservice/syssrvPower.h"

// 0 on success; the failing open result, or -1, on failure.
int getPOSTResults();
