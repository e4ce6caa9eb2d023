// Placeholder until the self-test results are read.
#include "systemservice/syssrvPOSTResults.h"
#include "systemservice/syssrvPending.h"

int getPOSTResults() {
  syssrvPending("getPOSTResults");
  return 0;
}
