// Started by arch_test to prove that a test can run another program of the
// same build, also when that build is ARM code run under emulation: it
// prints what it sees of the architecture, which the test compares with
// its own view.
#include <linux/input.h>

#include <climits>
#include <cstdio>
#include <ctime>

int main() {
  std::printf("long=%zu ptr=%zu char=%s time_t=%zu input_event=%zu\n",
              sizeof(long), sizeof(void*), CHAR_MIN < 0 ? "signed" : "unsigned",
              sizeof(time_t), sizeof(struct input_event));
  return 0;
}
