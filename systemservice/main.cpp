#include "systemservice/syssrvMain.h"

// The daemon always runs on the literal seam; the host simulation has an
// entry point of its own (sim/syssrv_sim.cpp), so no setting on the device
// can redirect its commands and files.
int main(int argc, char** argv) { return syssrv_main(argc, argv); }
