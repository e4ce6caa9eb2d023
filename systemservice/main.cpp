#include "systemservice/syssrvMain.h"

int main(int argc, char** argv) { return syssrv_main(argc, argv); }
