#include "tests/tools/configsrvc/cfgTestFixture.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

#include <google/protobuf/text_format.h>

#include "platform/msgutil/msgUtil.h"

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

ConfigIF::Inst cfgInst(const std::string& name, int instance) {
  ConfigIF::Inst inst;
  ConfigIF::Node* n = inst.add_node();
  n->set_name(name);
  n->set_instance(instance);
  return inst;
}

void CfgSrvTest::SetUp() {
  m_db = ctlTestDir() + "/config.db";
  m_seed = ctlTestDir() + "/seed.txt";
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((m_db + suffix).c_str());
  std::ofstream(m_seed) << kCfgTestSeed;
  MSG_DebugSetName("configsrvc_test");
}

void CfgSrvTest::TearDown() {
  for (const std::string& name : m_locals) MSG_CloseLocal(name.c_str());
  if (HasFailure()) std::cerr << "---- configsrvc log ----\n" << serviceLog() << "------------------------\n";
  killService();
}

void CfgSrvTest::startService(const std::vector<std::string>& args, const std::string& seedPath) {
  std::vector<std::string> argv = {"--db", m_db, "--seed", seedPath.empty() ? m_seed : seedPath, "--verbose"};
  argv.insert(argv.end(), args.begin(), args.end());
  m_service = std::make_unique<CtlChild>();
  ASSERT_TRUE(m_service->start(CFG_TEST_CONFIGSRVC, argv));
  ASSERT_TRUE(m_service->waitForText("configsrvc: serving ConfigSrvc\n", true)) << serviceLog();
}

void CfgSrvTest::killService(int sig) {
  if (!m_service) return;
  m_service->signal(sig);
  m_service->wait();
}

void CfgSrvTest::openLocal(const std::string& name) {
  ASSERT_EQ(MSG_OpenLocal(name.c_str()), 0) << name;
  m_locals.push_back(name);
}

bool CfgSrvTest::call(const std::string& local, const google::protobuf::Message& req, google::protobuf::Message* rsp,
                      int timeoutMs) {
  MSG_Endpoint to = MSG_GetRemoteId(local.c_str(), "ConfigSrvc");
  MSG_Message* m = to == 0 ? nullptr : msgUtil_buildMsg(req, MSG_GetNextSequence(), nullptr);
  if (m == nullptr || MSG_SendMsg(local.c_str(), to, m) != 0) return false;
  MSG_Message* r = MSG_RecvMsg(local.c_str(), msgUtil_getMsgId(*rsp), timeoutMs);
  if (r == nullptr) return false;
  bool ok = rsp->ParseFromArray(MSG_GetPayload(r), static_cast<int>(MSG_GetPayloadBytes(r)));
  MSG_ReleaseMsg(r);
  return ok;
}

std::string CfgSrvTest::ask(const std::string& local, const std::string& type, const std::string& fields) {
  const MsgTypeEntry* q = msgUtil_findByName(type);
  const MsgTypeEntry* a = msgUtil_findByName(type.substr(0, type.size() - 3) + "Rsp");
  if (q == nullptr || a == nullptr) return "<no such class>";
  std::unique_ptr<google::protobuf::Message> req = msgUtil_newMessage(q->type);
  std::unique_ptr<google::protobuf::Message> rsp = msgUtil_newMessage(a->type);
  if (!google::protobuf::TextFormat::ParseFromString(fields, req.get())) return "<bad fields>";
  return call(local, *req, rsp.get()) ? rsp->ShortDebugString() : "<no answer>";
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

std::string CfgSrvTest::valueOf(const std::string& local, const std::string& name, int instance) {
  ConfigIF::ReadRsp r = read(local, name, instance, 50);
  return r.value_size() ? r.value(0) : "<none>";
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

int CfgSrvTest::registerCb(const std::string& local, const std::string& name, int type, const std::string& context) {
  ConfigIF::RegisterClientCallbackReq req;
  req.set_name(local);
  req.set_instance(0);
  req.set_node_name(name);
  req.set_role(CommonIF::kSystem);
  req.set_type(static_cast<ConfigIF::CallbackType>(type));
  req.set_user_context(context);
  ConfigIF::RegisterClientCallbackRsp rsp;
  return call(local, req, &rsp) ? rsp.error() : 1;
}
