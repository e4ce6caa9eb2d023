// Another process of the appliance, as the initialisation tests need one:
// it opens one endpoint and either only holds it ("hold") or, as the
// modular-room manager does, publishes a call-status notification every
// 100 ms ("publish"). It prints "ready" once the endpoint is open and runs
// until it is killed, its parent dies, or 30 s have passed, whichever is
// first, so that a test that fails half-way leaves nothing running.
//
//   init_test_peer <endpoint> hold|publish
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "ModRoomIF.pb.h"
#include "platform/msg/MSG.h"
#include "platform/msgutil/msgUtil.h"

int main(int argc, char** argv) {
  if (argc != 3 || (strcmp(argv[2], "hold") != 0 && strcmp(argv[2], "publish") != 0)) {
    fprintf(stderr, "usage: init_test_peer <endpoint> hold|publish\n");
    return 2;
  }
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() == 1) return 1;  // the test is gone already
  const char* name = argv[1];
  const bool publish = strcmp(argv[2], "publish") == 0;
  MSG_DebugSetName("InitTestPeer");
  if (MSG_OpenLocal(name) != 0) {
    printf("cannot open %s\n", name);
    return 1;
  }
  printf("ready\n");
  fflush(stdout);

  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < end) {
    // Takes in subscriptions (and drops anything sent here) while pacing.
    if (MSG_Message* m = MSG_RecvAnyMsg(name, 100)) MSG_ReleaseMsg(m);
    if (!publish) continue;
    ModRoomIF::CallStatusNtfy ntfy;
    ntfy.set_callstatus(ModRoomIF::IN_CALL);
    MSG_Message* out = msgUtil_buildMsg(ntfy, 0, nullptr);
    if (out != nullptr) MSG_SendNotification(name, out);
  }
  return 0;
}
