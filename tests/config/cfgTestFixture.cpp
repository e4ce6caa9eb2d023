#include "tests/config/cfgTestFixture.h"

#include <csignal>
#include <cstring>
#include <iostream>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <ftw.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/msgutil/msgUtil.h"
#include "tests/arch/exec_wrapper.h"

const char* const kCfgTestSeed =
    "set colours\n"
    "  \"Red\" \"Green\"\n"
    "  \"Blue\"\n"
    "end\n"
    "test.plain          user/admin    \"start\"\n"
    "test.other          user/admin    \"x\"\n"
    "test.third          user/admin    \"\"\n"
    "test.colour         user/admin    \"Green\"  options=@colours\n"
    "test.mode           user/admin    \"Auto\"   options=\"Auto\",\"Manual\" open\n"
    "test.secret         admin/admin   \"hush\"\n"
    "test.status         user/system   \"idle\"\n"
    "test.list           user/admin    \"a\",\"b\"  multi\n"
    "test.slots          user/admin    \"\"       instances=4\n"
    "test.monitor[].kind user/admin    \"HDMI\"   elements=2\n"
    "test.submit         user/admin    \"\"\n";

namespace {

int removeEntry(const char* path, const struct stat*, int, struct FTW*) { return remove(path); }

}  // namespace

long cfgMsSince(std::chrono::steady_clock::time_point t0) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count());
}

ConfigIF::Inst cfgInst(const std::string& name, int instance) {
  ConfigIF::Inst inst;
  ConfigIF::Node* n = inst.add_node();
  n->set_name(name);
  n->set_instance(instance);
  return inst;
}

void CfgSrvTest::SetUp() {
  // Short, because a socket path must fit 107 bytes.
  char tmpl[] = "/tmp/cfg.XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  m_root = tmpl;
  m_dir = m_root + "/s";
  m_db = m_root + "/config.db";
  setenv("MSG_SOCKET_DIR", m_dir.c_str(), 1);
  std::ofstream(m_root + "/seed.txt") << kCfgTestSeed;
  MSG_DebugSetName("configsrvc_test");
}

void CfgSrvTest::TearDown() {
  for (const std::string& name : m_locals) MSG_CloseLocal(name.c_str());
  if (m_service > 0) killService(SIGKILL);
  if (HasFailure()) std::cerr << "---- configsrvc log ----\n" << serviceLog() << "------------------------\n";
  nftw(m_root.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void CfgSrvTest::startService(const std::string& seedPath) {
  std::string seed = seedPath.empty() ? m_root + "/seed.txt" : seedPath;
  std::string log = m_root + "/configsrvc.log";
  const ArchExecLine line({CFG_TEST_CONFIGSRVC, "--db", m_db, "--seed", seed, "--verbose"});
  pid_t pid = fork();
  if (pid == 0) {
    int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd >= 0) dup2(fd, 2);
    line.exec();
    _exit(127);
  }
  ASSERT_GT(pid, 0);
  m_service = pid;
  // Probe from a throw-away endpoint until the service accepts.
  const std::string probe = "cfgprobe";
  ASSERT_EQ(MSG_OpenLocal(probe.c_str()), 0);
  MSG_Endpoint id = 0;
  int rc = MSG_OpenRemoteSync(probe.c_str(), "ConfigSrvc", 10000, &id);
  MSG_CloseLocal(probe.c_str());
  ASSERT_EQ(rc, 0) << "configsrvc did not come up:\n" << serviceLog();
}

void CfgSrvTest::killService(int sig) {
  if (m_service <= 0) return;
  kill(m_service, sig);
  waitpid(m_service, nullptr, 0);
  m_service = -1;
}

void CfgSrvTest::openLocal(const std::string& name) {
  ASSERT_EQ(MSG_OpenLocal(name.c_str()), 0) << name;
  m_locals.push_back(name);
}

bool CfgSrvTest::call(const std::string& local, const google::protobuf::Message& req, google::protobuf::Message* rsp,
                      int timeoutMs) {
  MSG_Endpoint to = MSG_GetRemoteId(local.c_str(), "ConfigSrvc");
  if (to == 0) return false;
  MSG_Message* m = msgUtil_buildMsg(req, MSG_GetNextSequence(), nullptr);
  if (m == nullptr || MSG_SendMsg(local.c_str(), to, m) != 0) return false;
  MSG_Message* r = MSG_RecvMsg(local.c_str(), msgUtil_getMsgId(*rsp), timeoutMs);
  if (r == nullptr) return false;
  bool ok = rsp->ParseFromArray(MSG_GetPayload(r), static_cast<int>(MSG_GetPayloadBytes(r)));
  MSG_ReleaseMsg(r);
  return ok;
}

MSG_Message* CfgSrvTest::callRaw(const std::string& local, MSG_Type type, const std::string& payload,
                                 MSG_Type rspType, int timeoutMs) {
  MSG_Endpoint to = MSG_GetRemoteId(local.c_str(), "ConfigSrvc");
  MSG_Message* m = MSG_AllocMsg(type, MSG_GetNextSequence(), static_cast<uint32_t>(payload.size()));
  if (to == 0 || m == nullptr) return nullptr;
  if (!payload.empty()) memcpy(MSG_GetPayloadMutable(m), payload.data(), payload.size());
  if (MSG_SendMsg(local.c_str(), to, m) != 0) return nullptr;
  return MSG_RecvMsg(local.c_str(), rspType, timeoutMs);
}

ConfigIF::ReadRsp CfgSrvTest::read(const std::string& local, const std::string& name, int instance, int role) {
  ConfigIF::ReadReq req;
  req.set_name(local);
  req.set_role(static_cast<CommonIF::eSecurityRole>(role));
  *req.mutable_instance() = cfgInst(name, instance);
  ConfigIF::ReadRsp rsp;
  EXPECT_TRUE(call(local, req, &rsp)) << "no ReadRsp for " << name;
  return rsp;
}

ConfigIF::WriteRsp CfgSrvTest::write(const std::string& local, const std::string& name, const std::string& value,
                                     int role, int instance) {
  ConfigIF::WriteReq req;
  req.set_name(local);
  req.set_role(static_cast<CommonIF::eSecurityRole>(role));
  *req.mutable_instance_val()->mutable_instance() = cfgInst(name, instance);
  req.mutable_instance_val()->add_value(value);
  ConfigIF::WriteRsp rsp;
  EXPECT_TRUE(call(local, req, &rsp)) << "no WriteRsp for " << name;
  return rsp;
}

int CfgSrvTest::registerCb(const std::string& local, const std::string& name, int type, int instance,
                           const std::string& context) {
  ConfigIF::RegisterClientCallbackReq req;
  req.set_name(local);
  req.set_instance(instance);
  req.set_node_name(name);
  req.set_role(CommonIF::kSystem);
  req.set_type(static_cast<ConfigIF::CallbackType>(type));
  req.set_user_context(context);
  ConfigIF::RegisterClientCallbackRsp rsp;
  if (!call(local, req, &rsp)) return 1;
  return rsp.error();
}

std::string CfgSrvTest::serviceLog() const {
  std::ifstream in(m_root + "/configsrvc.log");
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}
