// Test-only: forgets the cached system id and read result, as at start.
#pragma once

void multicodec_sysids_testing_reset();
