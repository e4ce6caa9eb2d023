// Log upload, support packages and the camera's support data: the uploader's
// arguments and its end, the package and clearing command lines, the camera's
// requests and the answers in the order asked.
#include <google/protobuf/text_format.h>

#include <cstring>
#include <thread>

#include "PlatformIF.pb.h"
#include "SystemIF.pb.h"
#include "systemservice/syssrvLogging.h"
#include "tests/systemservice/test_callbacks_peer.h"

namespace {

using namespace SystemIF;
using Strings = std::vector<std::string>;
using LogUploadTest = CfgTest;
const char kCam[] = "PortController", kCamLog[] = "createOrbscopeSupportPkg";

template <class M>
std::string pb(const std::string& text) {
  M m;
  return google::protobuf::TextFormat::ParseFromString(text, &m) ? m.SerializeAsString() : "(bad)";
}

TEST_F(LogUploadTest, OneUploaderAtATimeAndItsEndAnnouncedOnce) {
  auto got = [this](MSG_Type t, auto m, int ms = 2000) { return answer(t, &m, ms) ? m.ShortDebugString() : "none"; };
  const Strings argv = {"/opt/corvale/bin/logUploader", "--servertype", "t", "--serverurl", "h?a&b",
                        "--certpath", "/c p;x", "--webticket", "TK"};
  const std::string req = pb<LogUploadReq>("server_type:'t' server_url:'h?a&b' cert_path:'/c p;x' web_ticket:'TK'");
  ASSERT_EQ(MSG_RegisterNotificationRemote(kCaller, 0, ~0u, MSG_GetRemoteId(kCaller, kLocal)), 0);
  const struct { int raw; bool forkFails; std::string ntfy, log; } rows[] = {
      {0, false, "status: eCompleted", "eCompleted: 0"}, {3 << 8, false, "status: eFailed error: -1", "eFailed: 3"},
      {9, false, "status: eFailed error: -1", "eFailed: 9"}, {0, true, "none", "forkExec failed: error:-34"}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.log);
    forget();
    SysIoCommandScript& uploader = rec().on_prefix(argv[0]) = SysIoCommandScript();
    r.forkFails ? uploader.fail() : uploader.pid(77);
    for (int i = 0; i < 2; ++i) deliver(kMsgIdSystemIFLogUploadReq, req, SystemIFLogUploadReq);  // then busy
    for (const char* want : {r.forkFails ? "error: -1" : "error: 0", r.forkFails ? "error: -1" : "error: -5"})
      EXPECT_EQ(got(kMsgIdSystemIFLogUploadRsp, LogUploadRsp()), want);
    ASSERT_EQ(rec().records(SysIoCall::kForkExec).size(), r.forkFails ? 2u : 1u);
    EXPECT_EQ(rec().records(SysIoCall::kForkExec)[0].argv, argv);
    syssrvLogUploadStatus(), rec().child_end(77, r.raw);  // polled while running, then once it ended, then idle
    syssrvLogUploadStatus(), syssrvLogUploadStatus();
    EXPECT_EQ(rec().records(SysIoCall::kWaitpid).size(), r.forkFails ? 0u : 2u);
    for (const std::string& want : {r.ntfy, std::string("none")})  // one notification
      EXPECT_EQ(got(kMsgIdSystemIFLogUploadStatusNtfy, LogUploadStatusNtfy(), 300), want);
    EXPECT_TRUE(logged(r.forkFails ? 3 : 7, r.log, r.forkFails ? "SystemIFLogUploadReq" : "syssrvLogUploadStatus"));
    EXPECT_EQ(logBytes().find("TK"), std::string::npos);
  }
  deliver(kMsgIdSystemIFLogUploadReq, "\xff\xff", SystemIFLogUploadReq);
  EXPECT_EQ(got(kMsgIdSystemIFLogUploadRsp, LogUploadRsp()), "error: -1");
}

// Built at once without the camera (six characters are no address) or when
// it refuses, does not answer or cannot be reached; else when it reports
// done, in the order asked. A request without a path never asks it.
TEST_F(LogUploadTest, PackagesAreBuiltAtTheRequestedPathAsOneWordAfterTheCamerasData) {
  auto rsp = [this]() { CreateLogRsp m; return answer(kMsgIdSystemIFCreateLogRsp, &m) ? m.ShortDebugString() : ""; };
  auto create = [this](auto r) { deliver(kMsgIdSystemIFCreateLogReq, pb<CreateLogReq>(r), SystemIFCreateLogReq); };
  for (const char* ip : {"1.2.3.", "1.2.3.4"}) {
    setenv("ORBSCOPE_IP", ip, 1);
    EXPECT_EQ(bIsOrbscopeAttached(), ip[6] != 0);
  }
  ASSERT_EQ(MSG_OpenLocal(kCam), 0);
  auto notify = [this](auto n) {
    deliver(kMsgIdPlatformIFComponentNtfy, pb<PlatformIF::ComponentNtfy>(n), PlatformIFComponentNtfy);
  };
  // An answer to no request of this run (an earlier one that gave up) is
  // nobody's consent; the camera answers each request it gets in turn.
  send(kMsgIdPlatformIFComponentRsp, pb<PlatformIF::ComponentRsp>("error: 0"));
  std::string asked;
  std::thread camera([&asked] {
    for (const char* e : {"error: 0", "error: 0", "error: 0", "error: 5", ""}) {
      MSG_Message* in = MSG_RecvMsg(kCam, kMsgIdPlatformIFComponentReq, 5000);
      if (in == nullptr) return;
      if (asked.empty()) asked.assign(static_cast<const char*>(MSG_GetPayload(in)), MSG_GetPayloadBytes(in));
      const std::string rsp = pb<PlatformIF::ComponentRsp>(e);
      MSG_Message* out = *e ? MSG_AllocMsgCopyHdr(in, kMsgIdPlatformIFComponentRsp, rsp.size()) : nullptr;
      if (out != nullptr) memcpy(MSG_GetPayloadMutable(out), rsp.data(), rsp.size());
      MSG_SendMsg(kCam, 0, out);  // none for the silent answer
      MSG_ReleaseMsg(in);
    }
  });
  create("path: '/a'");
  for (const char* n : {"component_id: 'cam2' peripheral_notify { command: eCreateSupportPkg }",
                        "component_id: 'cam1' peripheral_notify { command: eConfigData }", "component_id: 'cam1'"})
    notify(n);  // not the camera's report: "/a" waits on
  EXPECT_EQ(createOrbscopeSupportPkg(nullptr, true), 0);
  for (const char* req : {"path: '/d'", "", "path: 'a b;$(id)'", "path: '/c'"}) create(req);
  EXPECT_TRUE(logged(3, "Orbscope log capture failed with 5 so continuing without it.", kCamLog));
  EXPECT_TRUE(logged(3, "MSG_RecvAnyMsg timeout. Cannot get Orbscope logs so continuing without them.", kCamLog));
  camera.join();
  EXPECT_EQ(asked,
            pb<PlatformIF::ComponentReq>("component_id: 'cam1' peripheral_message { command: eCreateSupportPkg }"));
  for (int i = 0; i < 4; ++i) notify("component_id: 'cam1' peripheral_notify { command: eCreateSupportPkg }");
  EXPECT_EQ(rsp(), "type: kSystemLog path: \"\" error: -1");
  for (std::string p : {"a b;$(id)", "/c", "/a", "/d"})
    EXPECT_EQ(rsp(), "type: kSystemLog path: \"" + p + "\" error: 0");
  const std::string pkg = "./create-support-package ";
  // The transfer's request ("/d" is built after it) starts with the USB mount lookup.
  const std::string mounts = "mount | grep '/mnt/extdev/usb' | sed 's@.*\\(/mnt/extdev/usb[0-9]*\\) .*@\\1@'";
  EXPECT_EQ(rec().commands(),
            (Strings{pkg + "'a b;$(id)' false", pkg + "/c false", pkg + "/a false", mounts, pkg + "/d false"}));
  // "/a" and "/d" came with the camera's data: no temperature check.
  EXPECT_EQ(logged(6, "Logging temperature records:\n"), 2);
  MSG_CloseLocal(kCam);
  EXPECT_EQ(createOrbscopeSupportPkg(nullptr, true), -1);
  EXPECT_TRUE(logged(3, "MSG_SendMsg failed with -1. Cannot get Orbscope logs so continuing without them.",
                     kCamLog));
  deliver(kMsgIdSystemIFClearLogCmd, "", SystemIFClearLogCmd);
  EXPECT_EQ(rec().commands().back(), "./clear-logs");
}

}  // namespace
