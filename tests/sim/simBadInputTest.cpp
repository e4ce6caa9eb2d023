// Bad input to the running daemon, and the out-of-box reset, whose commands
// must stay inside the sandbox root.
#include <cstdio>
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

// Every type the daemon serves (the out-of-box request aside: it is not
// parsed at all, see below), and two it does not.
const MSG_Type kTypes[] = {
    kMsgIdSystemIFGetPacFileReq, kMsgIdSystemIFCreateLogReq, kMsgIdSystemIFClearLogCmd,
    kMsgIdSystemIFLogTransferReq, kMsgIdSystemIFLogSpaceThresholdReq, kMsgIdSystemIFLogUploadReq,
    kMsgIdSystemIFSetSystemTimeReq, kMsgIdSystemIFSetSystemTimezoneReq, kMsgIdSystemIFSetSystemTimezoneAndTimeCmd,
    kMsgIdSystemIFGetSystemTimeReq, kMsgIdSystemIFGetMasterVelarTimeReq, kMsgIdSystemIFGetLanStatusReq,
    kMsgIdSystemIFSetInCallCmd, kMsgIdModRoomIFCallStatusNtfy, kMsgIdSystemIFCommCDRCmd,
    kMsgIdSystemIFVirtualKeyPressCmd, kMsgIdProcessMonitorIFMacAddrRsp, kMsgIdSystemIFPKIInstallFileReq,
    kMsgIdSystemIFPKIManageFileReq, kMsgIdSystemIFPKIListFilesReq, kMsgIdSystemIFPKIGenerateCSRReq,
    kMsgIdSystemIFPtpConfigureReq, kMsgIdSystemIFPtpResetCmd, kMsgIdSystemIFSetModRoomIdentifyLEDReq,
    kMsgIdConfigIFConfigChangedNtfy, kMsgIdConfigIFSubmitNtfy, kMsgIdConfigIFDynamicValidateReq,
    kMsgIdConfigIFOnChangeReq, kMsgIdProcessMonitorIFSleepStateNtfy, kMsgIdPlatformIFMonitorNtfy,
    kMsgIdPlatformIFComponentNtfy,
    0x1B0FF0,    // an unused SystemIF number
    0x7FFF0002,  // an interface nobody has
};

}  // namespace

TEST_F(SimTest, PayloadsThatDoNotParseLeaveTheDaemonServing) {
  bringUp();
  const pid_t daemon = app->daemonPid();
  for (MSG_Type t : kTypes) ASSERT_TRUE(app->sendRaw(t, kGarbage)) << std::hex << t;
  // The four configuration callbacks log their parse errors, exactly.
  const char* const kLines[] = {
      "<3>syssrv: hd[0]: config_change_notify: parse error",
      "<3>syssrv: hd[0]: message: config_submit_notify: parse error",
      "<3>syssrv: hd[0]: message: (config_dynamic_validate) parse error",
      "<7>syssrv: hd[0]: message: config_on_change parse error",
  };
  ASSERT_TRUE(simWaitFor([&] {
    std::vector<std::string> log = app->daemonLog();
    for (const char* l : kLines) {
      if (simFind(log, l) < 0) return false;
    }
    return true;
  })) << "not every parse error was logged";
  // None of the garbage was answered as if it had parsed.
  MSG_Message* stray = MSG_RecvAnyMsg(app->endpoint(), 500);
  if (stray != nullptr) {
    MSG_Type t = MSG_GetType(stray);
    MSG_ReleaseMsg(stray);
    // The LAN status request reads no field, so only it may be answered.
    EXPECT_EQ(t, kMsgIdSystemIFGetLanStatusRsp) << "unexpected answer of type " << std::hex << t;
  }

  EXPECT_EQ(app->daemonPid(), daemon) << "the daemon's process changed or died";
  // Still serving: a change that needs the daemon's on-change answer goes
  // through.
  SimRun set = app->ctl({"config", "set", "system.network.wired.ipv4nic.mode", "Off", "--role", "admin"});
  EXPECT_EQ(set.status, 0) << set.err;
  EXPECT_EQ(app->configGet("system.network.wired.ipv4nic.mode"), "Off");
  EXPECT_EQ(app->daemonPid(), daemon);
  // And the LAN status request too.
  ASSERT_TRUE(app->sendRaw(kMsgIdSystemIFGetLanStatusReq, ""));
  MSG_Message* rsp = MSG_RecvMsg(app->endpoint(), kMsgIdSystemIFGetLanStatusRsp, 5000);
  ASSERT_NE(rsp, nullptr) << "GetLanStatusReq not answered after the bad input";
  MSG_ReleaseMsg(rsp);
}

TEST_F(SimTest, OutOfBoxResetRunsItsCommandsInsideTheRoot) {
  bringUp();
  const std::string root = app->root();
  for (const char* f : {"/opt/corvale/misc/presets/room.png", "/opt/corvale/cdr/localcdr.db",
                        "/data/local/bootanimation.zip", "/opt/corvale/dat/multicodec_systemid.dat",
                        "/opt/corvale/misc/presets/keep.txt"}) {
    FILE* fp = fopen((root + f).c_str(), "w");
    ASSERT_NE(fp, nullptr) << f;
    fputs("x", fp);
    fclose(fp);
  }
  // The request's content is not looked at: garbage is answered too.
  ASSERT_TRUE(app->sendRaw(kMsgIdSystemIFSetOobReq, kGarbage));
  MSG_Message* rsp = MSG_RecvMsg(app->endpoint(), kMsgIdSystemIFSetOobRsp, 10000);
  ASSERT_NE(rsp, nullptr) << "SetOobReq not answered";
  SystemIF::SetOobRsp r;
  EXPECT_TRUE(r.ParseFromArray(MSG_GetPayload(rsp), static_cast<int>(MSG_GetPayloadBytes(rsp))));
  MSG_ReleaseMsg(rsp);
  EXPECT_EQ(r.error(), 0);

  std::vector<std::string> journal = app->journal();
  int rm = simFind(journal, "rm /opt/corvale/misc/presets/*.png");
  int clear = simFind(journal, "./clear-language-files", rm);
  int country = simFind(journal, "setprop persist.sys.country US\\n", clear);
  int language = simFind(journal, "setprop persist.sys.language en\\n", country);
  EXPECT_GE(rm, 0);
  EXPECT_GT(clear, rm);
  EXPECT_GT(country, clear);
  EXPECT_GT(language, country);
  // The stand-ins did it under the root: the preset images and the files
  // named are gone, the rest stays, the properties are in the sandbox's store.
  EXPECT_FALSE(std::ifstream(root + "/opt/corvale/misc/presets/room.png").good());
  EXPECT_TRUE(std::ifstream(root + "/opt/corvale/misc/presets/keep.txt").good());
  EXPECT_FALSE(std::ifstream(root + "/opt/corvale/cdr/localcdr.db").good());
  EXPECT_FALSE(std::ifstream(root + "/data/local/bootanimation.zip").good());
  EXPECT_FALSE(std::ifstream(root + "/opt/corvale/dat/multicodec_systemid.dat").good());
  EXPECT_EQ(app->file("/data/property/persist.sys.country"), "US");
  EXPECT_EQ(app->file("/data/property/persist.sys.language"), "en");
}
