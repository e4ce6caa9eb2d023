// Local time off the device: the zone the device's C library would use (the
// property "persist.sys.timezone") looked up in this machine's time-zone
// database, never this machine's own zone. Shared by the recorder and the
// sandbox; on the device localtime_r does the same from the same property.
#pragma once

#include <ctime>
#include <string>

// The property that names the device's zone.
constexpr const char* kSysIoZoneProperty = "persist.sys.timezone";
// Where the zone files are (Debian's tzdata).
constexpr const char* kSysIoZoneDir = "/usr/share/zoneinfo";

// Breaks `t` down in `zone` (an Olson name such as "Europe/Berlin") from
// the zone file under `dir`. An empty, malformed or unknown zone, or a file
// that is not a zone file, gives UTC (as the device's C library does); the
// return value says whether the zone was found. After the file's last
// transition its last offset holds.
bool sysio_zone_local_time(const std::string& dir, const std::string& zone, time_t t, struct tm* out);
