// File-backed stand-in for the Android property area, for builds that are not
// Android (the host simulation, the unit tests, the setprop/getprop tools).
//
// One regular file per property in a store directory, named after the
// property and holding exactly the value's bytes (no newline). Files are
// replaced atomically, so the daemon, the stand-in scripts and the tools can
// share one store from separate processes. The rules are those of the
// device: names of 1 to 31 characters, values of at most 91 characters,
// "ro." properties settable once, empty values allowed.
#pragma once

#include <string>
#include <utility>
#include <vector>

// Same limits as the device's property area (both include the terminator).
#ifndef PROP_NAME_MAX
#define PROP_NAME_MAX 32
#endif
#ifndef PROP_VALUE_MAX
#define PROP_VALUE_MAX 92
#endif

// Store directory used by the tools: $SYSSRV_PROP_DIR, else
// $SYSSRV_ROOT/data/property when SYSSRV_ROOT is set, else "/data/property".
std::string props_env_dir();

// True when `name` may name a property: 1 to PROP_NAME_MAX - 1 characters of
// letters, digits and ".-_:@", not starting or ending with '.', no "..".
// The rule also keeps every name a plain file name inside the store.
bool props_name_ok(const char* name);
// True when the value fits (at most PROP_VALUE_MAX - 1 characters).
bool props_value_ok(const char* value);

// Copies the value into value[PROP_VALUE_MAX] (always terminated); returns
// its length, 0 when the property is unset, empty or the name is invalid.
int props_get(const std::string& dir, const char* name, char* value);
// Sets the property. Returns 0, or -1 for an invalid name, a value that is
// too long, an "ro." property that is already set, or a failed write.
// Creates the store directory (and its parents) when it is missing.
int props_set(const std::string& dir, const char* name, const char* value);
// All properties of the store, sorted by name; false when the directory
// cannot be read (a missing store is an empty list, true).
bool props_list(const std::string& dir, std::vector<std::pair<std::string, std::string>>* out);
