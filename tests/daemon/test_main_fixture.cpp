#include "tests/daemon/test_main_fixture.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "ConfigIF.pb.h"
#include "OS/logmsg.h"
#include "OS/os_testing.h"
#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"
#include "systemservice/syssrvCallTrace.h"
#include "systemservice/syssrvCfgMsg.h"
#include "systemservice/syssrvLan.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvMessageTable.h"

namespace {

std::string nameOf(const ConfigIF::Inst& inst) {
  std::string name;
  for (const ConfigIF::Node& n : inst.node()) {
    if (!name.empty()) name += ".";
    name += n.name();
  }
  return name;
}

template <typename Rsp>
void reply(const MSG_Message* req, const Rsp& rsp) {
  std::string bytes;
  rsp.SerializeToString(&bytes);
  MSG_Message* out = MSG_AllocMsgCopyHdr(req, msgUtil_getMsgId(rsp), static_cast<uint32_t>(bytes.size()));
  if (out == nullptr) return;
  if (!bytes.empty()) memcpy(MSG_GetPayloadMutable(out), bytes.data(), bytes.size());
  MSG_SendMsg("ConfigSrvc", MSG_GetSender(req), out);
}

}  // namespace

FakeConfigSrvc::FakeConfigSrvc() {
  MSG_OpenLocal("ConfigSrvc");
  m_thread = std::thread([this] { run(); });
}

FakeConfigSrvc::~FakeConfigSrvc() {
  m_stop = true;
  m_thread.join();
  MSG_CloseLocal("ConfigSrvc");
}

void FakeConfigSrvc::set(const std::string& name, const std::string& value) {
  std::lock_guard<std::mutex> g(m_mu);
  m_values[name] = value;
  m_silent.erase(name);
}

void FakeConfigSrvc::silence(const std::string& name) {
  std::lock_guard<std::mutex> g(m_mu);
  m_silent[name] = true;
}

std::vector<std::pair<std::string, std::string>> FakeConfigSrvc::writes() const {
  std::lock_guard<std::mutex> g(m_mu);
  return m_writes;
}

int FakeConfigSrvc::reads(const std::string& name) const {
  std::lock_guard<std::mutex> g(m_mu);
  auto it = m_reads.find(name);
  return it == m_reads.end() ? 0 : it->second;
}

void FakeConfigSrvc::run() {
  while (!m_stop) {
    MSG_Message* msg = MSG_RecvAnyMsg("ConfigSrvc", 20);
    if (msg == nullptr) continue;
    answer(msg);
    MSG_ReleaseMsg(msg);
  }
}

void FakeConfigSrvc::answer(MSG_Message* msg) {
  const void* p = MSG_GetPayload(msg);
  int n = static_cast<int>(MSG_GetPayloadBytes(msg));
  switch (MSG_GetType(msg)) {
    case kMsgIdConfigIFReadReq: {
      ConfigIF::ReadReq req;
      if (!req.ParseFromArray(p, n)) return;
      std::string name = nameOf(req.instance());
      ConfigIF::ReadRsp rsp;
      {
        std::lock_guard<std::mutex> g(m_mu);
        ++m_reads[name];
        if (m_silent.count(name) != 0) return;
        auto it = m_values.find(name);
        if (it != m_values.end()) {
          rsp.add_value(it->second);
          rsp.set_error(0);
        } else {
          rsp.set_error(-7);
        }
      }
      reply(msg, rsp);
      break;
    }
    case kMsgIdConfigIFWriteReq: {
      ConfigIF::WriteReq req;
      if (!req.ParseFromArray(p, n)) return;
      std::string name = nameOf(req.instance_val().instance());
      std::string value = req.instance_val().value_size() > 0 ? req.instance_val().value(0) : "";
      {
        std::lock_guard<std::mutex> g(m_mu);
        m_writes.emplace_back(name, value);
        m_values[name] = value;
      }
      ConfigIF::WriteRsp rsp;
      rsp.set_error(0);
      reply(msg, rsp);
      break;
    }
    case kMsgIdConfigIFRegisterClientCallbackReq: {
      ConfigIF::RegisterClientCallbackRsp rsp;
      reply(msg, rsp);
      break;
    }
    default:
      break;
  }
}

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
