#include <iostream>

#include "tools/syssrvctl/syssrvctl.h"

int main(int argc, char** argv) {
  CtlIo io{std::cout, std::cerr};
  return ctlMain(argc, argv, io);
}
