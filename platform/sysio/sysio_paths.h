// Mapping of the appliance's absolute paths into a directory of this
// machine, shared by the recorder and the sandbox.
#pragma once

#include <string>

// <root> followed by `abs` with "." and ".." resolved lexically and clamped
// at the root, so no appliance path (however written) leads outside it.
// A relative path is taken as relative to the appliance's "/".
std::string sysio_map_under_root(const std::string& root, const std::string& abs);
