#include "tests/systemservice/test_main_fixture.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "OS/logmsg.h"
#include "OS/os_testing.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvLan.h"
#include "systemservice/syssrvMessage.h"
#include "tests/systemservice/call_trace.h"
#include "tests/systemservice/test_callbacks_peer.h"

namespace {

void resetModuleState() {
  syssrvCallTrace_clear();
  syssrvLan_testing_reset();
  eModel = kUnknownModel;
  discoverProvisioningTimeout = 0;
  if (fdVirtKeyPressDev >= 0) close(fdVirtKeyPressDev);
  fdVirtKeyPressDev = -1;
}

}  // namespace

void DaemonTest::SetUp() {
  m_rec = std::make_unique<RecorderSysIo>();
  sysio_install(m_rec.get());
  logmsg_testing_reset();
  velar_idx_testing_reset();
  m_rec->put_file("/dev/crvllog", "");
  ASSERT_EQ(logmsg_init(0, "syssrv"), 0);
  m_rec->make_dirs("/tmp");
  setenv("MSG_SOCKET_DIR", (m_rec->root() + "/msg").c_str(), 1);
  ASSERT_EQ(MSG_OpenLocal(kSyssrvEndpoint), 0);
  ASSERT_EQ(MSG_OpenLocal(kPeer), 0);
  ASSERT_TRUE(m_cfg.start());
  ASSERT_EQ(syssrvCfgMsgInit(kSyssrvEndpoint), 0);
  resetModuleState();
}

void DaemonTest::TearDown() {
  m_cfg.stop();
  MSG_CloseLocal(kPeer);
  MSG_CloseLocal(kSyssrvEndpoint);
  resetModuleState();
  logmsg_testing_reset();
  velar_idx_testing_reset();
  sysio_install(nullptr);
  m_rec.reset();
}

std::vector<std::string> DaemonTest::requests() const { return transcript(m_cfg.requests()); }

int DaemonTest::logged(int level, const std::string& text) const {
  const std::string want = "<" + std::to_string(level) + ">syssrv: hd[0]: " + text;
  const std::string bytes = m_rec->file_bytes("/dev/crvllog");
  int n = 0;
  for (size_t at = bytes.find(want, m_logMark); at != std::string::npos; at = bytes.find(want, at + 1)) ++n;
  return n;
}

void DaemonTest::forget() {
  m_cfg.clearRequests();
  m_rec->clear();
  syssrvCallTrace_clear();
  m_logMark = m_rec->file_bytes("/dev/crvllog").size();
}

void DaemonTest::sendToService(MSG_Type type, const std::string& payload, uint32_t sequence) {
  MSG_Message* m = MSG_AllocMsg(type, sequence, static_cast<uint32_t>(payload.size()));
  ASSERT_NE(m, nullptr);
  if (!payload.empty()) memcpy(MSG_GetPayloadMutable(m), payload.data(), payload.size());
  ASSERT_EQ(MSG_SendMsg(kPeer, MSG_GetRemoteId(kPeer, kSyssrvEndpoint), m), 0);
}

MSG_Message* DaemonTest::received(int ms) { return MSG_RecvAnyMsg(kPeer, ms); }
