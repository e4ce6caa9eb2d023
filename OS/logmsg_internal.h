// Shared between the parts of the log facility; not for other modules.
#pragma once

// True when the show and cull filters keep `line` out of the log.
bool logmsg_filter_drops(const char* line);
// Empties both filter tables.
void logmsg_filter_clear_all();
