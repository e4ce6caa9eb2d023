// Test-only hook: forgets the chosen board table, so the next lookup chooses
// again from the current hardware type and the built-in data. Never called
// by the daemon.
#pragma once

void sysCapsTableTestingReset();
