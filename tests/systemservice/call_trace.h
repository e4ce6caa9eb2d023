// Test-only record of calls into modules that are not built yet, so a
// test of a caller can check which calls it made, with which arguments, in
// which order. Entries read "name(arg1,arg2)": strings verbatim, numbers in
// decimal, null pointers as "null".
#pragma once

#include <string>
#include <vector>

void syssrvCallTrace_add(const std::string& entry);
const std::vector<std::string>& syssrvCallTrace();
void syssrvCallTrace_clear();
