// What the log-upload module keeps between messages, for the tests' reset:
// the running uploader and the camera requests still waiting.
#pragma once

void syssrvLogUpload_testing_reset();
void syssrvCameraLogs_testing_reset();
