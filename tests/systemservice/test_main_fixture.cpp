#include "tests/systemservice/test_main_fixture.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "OS/logmsg.h"
#include "OS/os_testing.h"
#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"
#include "tests/systemservice/call_trace.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvLan.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvMessageTable.h"

void DaemonTest::SetUp() {
  m_rec = std::make_unique<RecorderSysIo>();
  sysio_install(m_rec.get());
  logmsg_testing_reset();
  velar_idx_testing_reset();
  m_rec->put_file("/dev/crvllog", "");
  logmsg_init(0, "syssrv");
  m_rec->make_dirs("/tmp");
  // Socket paths must fit 107 bytes: a short directory of its own.
  char tmpl[] = "/tmp/sd.XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  m_sockDir = tmpl;
  setenv("MSG_SOCKET_DIR", (m_sockDir + "/s").c_str(), 1);
  MSG_OpenLocal(kSyssrvEndpoint);
  syssrvCallTrace_clear();
  syssrvLan_testing_reset();
  eModel = kUnknownModel;
  discoverProvisioningTimeout = 0;
  fdVirtKeyPressDev = -1;
}

void DaemonTest::TearDown() {
  m_cfg.reset();
  for (const std::string& p : m_peers) MSG_CloseLocal(p.c_str());
  MSG_CloseLocal(kSyssrvEndpoint);
  eModel = kUnknownModel;
  discoverProvisioningTimeout = 0;
  if (fdVirtKeyPressDev >= 0) close(fdVirtKeyPressDev);
  fdVirtKeyPressDev = -1;
  syssrvCallTrace_clear();
  syssrvLan_testing_reset();
  logmsg_testing_reset();
  velar_idx_testing_reset();
  sysio_install(nullptr);
  m_rec.reset();
  std::string cmd = "rm -rf '" + m_sockDir + "'";
  if (system(cmd.c_str()) != 0) ADD_FAILURE() << "could not remove " << m_sockDir;
}

std::string DaemonTest::log() const { return m_rec->file_bytes("/dev/crvllog"); }

FakeConfigSrvc& DaemonTest::startConfig() {
  m_cfg = std::make_unique<FakeConfigSrvc>();
  EXPECT_TRUE(m_cfg->start());
  EXPECT_EQ(syssrvCfgMsgInit(kSyssrvEndpoint), 0);
  return *m_cfg;
}

void DaemonTest::openPeer(const std::string& name) {
  ASSERT_EQ(MSG_OpenLocal(name.c_str()), 0);
  m_peers.push_back(name);
}

void DaemonTest::sendToService(const std::string& from, MSG_Type type, const std::string& payload) {
  MSG_Message* m = MSG_AllocMsg(type, MSG_GetNextSequence(), static_cast<uint32_t>(payload.size()));
  ASSERT_NE(m, nullptr);
  if (!payload.empty()) memcpy(MSG_GetPayloadMutable(m), payload.data(), payload.size());
  MSG_Endpoint to = MSG_GetRemoteId(from.c_str(), kSyssrvEndpoint);
  ASSERT_NE(to, 0u);
  ASSERT_EQ(MSG_SendMsg(from.c_str(), to, m), 0);
}
