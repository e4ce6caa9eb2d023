// Bad input to the running daemon, and the out-of-box reset, whose commands
// must stay inside the sandbox root.
#include <fstream>
#include <string>
#include <vector>

#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "tests/sim/simFixture.h"

namespace {

// Field 1, length-delimited, 127 bytes announced and one given: no message
// class parses it.
const std::string kGarbage("\x0a\x7f\x01", 3);

// Each handler's own parse failure is the daemon's unit test; here the
// running process takes garbage on the four configuration callbacks, the
// one request answered unparsed, and types nobody serves (an unused SystemIF
// number, an interface nobody has).
const MSG_Type kTypes[] = {
    kMsgIdConfigIFConfigChangedNtfy, kMsgIdConfigIFSubmitNtfy, kMsgIdConfigIFDynamicValidateReq,
    kMsgIdConfigIFOnChangeReq, kMsgIdSystemIFGetLanStatusReq, kMsgIdSystemIFPKIInstallFileReq,
    0x1B0FF0, 0x7FFF0002,
};

}  // namespace

TEST_F(SimTest, PayloadsThatDoNotParseLeaveTheDaemonServing) {
  bringUp();
  const pid_t daemon = app->daemonPid();
  for (MSG_Type t : kTypes) ASSERT_TRUE(app->sendRaw(t, kGarbage)) << std::hex << t;
  // The four configuration callbacks log their parse errors, exactly.
  ASSERT_TRUE(simWaitFor([&] {
    std::vector<std::string> log = app->daemonLog();
    for (const char* l : {"<3>syssrv: hd[0]: config_change_notify: parse error",
                          "<3>syssrv: hd[0]: message: config_submit_notify: parse error",
                          "<3>syssrv: hd[0]: message: (config_dynamic_validate) parse error",
                          "<7>syssrv: hd[0]: message: config_on_change parse error"}) {
      if (simFind(log, l) < 0) return false;
    }
    return true;
  })) << "not every parse error was logged";
  // The LAN status request reads no field: it is answered, garbage or not.
  SystemIF::GetLanStatusRsp lan;
  ASSERT_TRUE(receive(kMsgIdSystemIFGetLanStatusRsp, &lan)) << "GetLanStatusReq not answered";
  // Still serving, in the same process: a change that needs the daemon's
  // on-change answer goes through.
  SimRun set = app->ctl({"config", "set", "system.network.wired.ipv4nic.mode", "Off", "--role", "admin"});
  EXPECT_EQ(set.status, 0) << set.err;
  EXPECT_EQ(app->daemonPid(), daemon) << "the daemon's process changed or died";
  // Nothing else of the garbage was answered as if it had parsed.
  MSG_Message* stray = MSG_RecvAnyMsg(app->endpoint(), 200);
  EXPECT_EQ(stray, nullptr) << "an answer of type " << std::hex << (stray ? MSG_GetType(stray) : 0);
  if (stray != nullptr) MSG_ReleaseMsg(stray);
}

TEST_F(SimTest, OutOfBoxResetRunsItsCommandsInsideTheRoot) {
  bringUp();
  const std::string root = app->root();
  // Each file, and whether the reset removes it.
  const std::pair<const char*, bool> files[] = {
      {"/opt/corvale/misc/presets/room.png", true},  {"/opt/corvale/cdr/localcdr.db", true},
      {"/data/local/bootanimation.zip", true},       {"/opt/corvale/dat/multicodec_systemid.dat", true},
      {"/opt/corvale/misc/presets/keep.txt", false},
  };
  for (const auto& f : files) ASSERT_TRUE(std::ofstream(root + f.first) << "x") << f.first;
  // The request's content is not looked at: garbage is answered too. The
  // commands and their order are the daemon's unit test.
  ASSERT_TRUE(app->sendRaw(kMsgIdSystemIFSetOobReq, kGarbage));
  SystemIF::SetOobRsp r;
  ASSERT_TRUE(receive(kMsgIdSystemIFSetOobRsp, &r)) << "SetOobReq not answered";
  EXPECT_EQ(r.error(), 0);
  // The stand-ins did it under the root: the files named are gone, the
  // rest stays, the properties are in the sandbox's store.
  for (const auto& f : files) EXPECT_NE(std::ifstream(root + f.first).good(), f.second) << f.first;
  EXPECT_EQ(app->file("/data/property/persist.sys.country"), "US");
  EXPECT_EQ(app->file("/data/property/persist.sys.language"), "en");
}
