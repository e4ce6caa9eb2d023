#include "tests/tools/configsrvc/cfgTestFixture.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include <google/protobuf/text_format.h>

#include "ConfigIF.pb.h"
#include "platform/msg/MSG.h"
#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"

namespace {

using google::protobuf::Message;
using google::protobuf::TextFormat;

bool parse(const MSG_Message* m, Message* out) {
  return out->ParseFromArray(MSG_GetPayload(m), static_cast<int>(MSG_GetPayloadBytes(m)));
}

// Callbacks and change notifications carry the same fields.
template <class M>
std::string describe(const char* kind, const M& m) {
  const ConfigIF::Inst& inst = m.instance_val().instance();
  std::string s = std::string(kind) + " " + (inst.node_size() ? inst.node(0).name() : "");
  const int last = inst.node_size() ? inst.node(inst.node_size() - 1).instance() : 0;
  if (last != 0) s += "[" + std::to_string(last) + "]";
  s += "=";
  for (int i = 0; i < m.instance_val().value_size(); ++i) s += (i ? "," : "") + m.instance_val().value(i);
  s += " by " + m.name() + " as " + CommonIF::eSecurityRole_Name(m.role());
  return s + (m.user_context().empty() ? "" : " ctx " + m.user_context());
}

template <class Req, class Rsp>
std::string answer(const std::string& local, MSG_Message* m, const char* kind, const std::string& ret,
                   const std::function<void()>& during) {
  Req req;
  if (!parse(m, &req)) return std::string(kind) + " that does not parse";
  if (during) during();
  Rsp rsp;
  EXPECT_TRUE(TextFormat::ParseFromString(ret, rsp.mutable_ret_message())) << ret;
  rsp.mutable_ret_message()->set_server_context(req.server_context());
  rsp.mutable_ret_message()->set_client_name(local);
  MSG_Message* out = MSG_AllocMsgCopyHdr(m, msgUtil_getMsgId(rsp), static_cast<uint32_t>(rsp.ByteSizeLong()));
  rsp.SerializeToArray(MSG_GetPayloadMutable(out), static_cast<int>(rsp.ByteSizeLong()));
  EXPECT_EQ(MSG_SendMsg(local.c_str(), MSG_GetSender(m), out), 0);
  return describe(kind, req);
}

}  // namespace

void CfgSrvTest::SetUp() {
  m_db = ctlTestDir() + "/config.db";
  m_seed = ctlTestDir() + "/seed.txt";
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((m_db + suffix).c_str());
  std::filesystem::copy_file(CFG_TEST_SEED_FILE, m_seed, std::filesystem::copy_options::overwrite_existing);
  MSG_DebugSetName("configsrvc_test");
}

void CfgSrvTest::TearDown() {
  for (const std::string& name : m_locals) MSG_CloseLocal(name.c_str());
  if (HasFailure()) std::cerr << "---- configsrvc log ----\n" << serviceLog() << "------------------------\n";
  killService();
}

void CfgSrvTest::startService(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {"--db", m_db, "--seed", m_seed, "--verbose"};
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

std::string CfgSrvTest::ask(const std::string& local, const std::string& type, const std::string& fields) {
  const MsgTypeEntry* q = msgUtil_findByName(type);
  const MsgTypeEntry* a = msgUtil_findByName(type.substr(0, type.size() - 3) + "Rsp");
  if (q == nullptr || a == nullptr) return "<no such class>";
  std::unique_ptr<Message> req = msgUtil_newMessage(q->type);
  std::unique_ptr<Message> rsp = msgUtil_newMessage(a->type);
  if (!TextFormat::ParseFromString(fields, req.get())) return "<bad fields>";
  MSG_Message* m = msgUtil_buildMsg(*req, MSG_GetNextSequence(), nullptr);
  if (MSG_SendMsg(local.c_str(), MSG_GetRemoteId(local.c_str(), "ConfigSrvc"), m) != 0) return "<not sent>";
  MSG_Message* r = MSG_RecvMsg(local.c_str(), a->type, 5000);
  const bool ok = r != nullptr && parse(r, rsp.get());
  MSG_ReleaseMsg(r);
  return ok ? rsp->ShortDebugString() : "<no answer>";
}

std::string CfgSrvTest::write(const std::string& local, const std::string& name, const std::string& value,
                              const std::string& role, int instance) {
  return ask(local, "ConfigIF.WriteReq",
             "name: '" + local + "' role: " + role + " instance_val { instance { node { name: '" + name +
                 "' instance: " + std::to_string(instance) + " } } value: '" + value + "' }");
}

std::string CfgSrvTest::registerCb(const std::string& local, const std::string& name, const std::string& type,
                                   const std::string& context) {
  return ask(local, "ConfigIF.RegisterClientCallbackReq",
             "name: '" + local + "' instance: 0 node_name: '" + name + "' role: kSystem type: " + type +
                 " user_context: '" + context + "'");
}

std::string CfgSrvTest::valueOf(const std::string& local, const std::string& name, int instance) {
  ConfigIF::ReadRsp rsp;
  TextFormat::ParseFromString(ask(local, "ConfigIF.ReadReq", "role: kStartup instance { node { name: '" + name +
                                                                 "' instance: " + std::to_string(instance) + " } }"),
                              &rsp);
  return rsp.value_size() ? rsp.value(0) : "<none>";
}

std::string CfgSrvTest::next(const std::string& local, const std::string& ret, const std::function<void()>& during,
                             int timeoutMs) {
  MSG_Message* m = MSG_RecvAnyMsg(local.c_str(), timeoutMs);
  if (m == nullptr) return "";
  std::string s = "type " + std::to_string(MSG_GetType(m));
  ConfigIF::ConfigChangedNtfy changed;
  ConfigIF::SubmitNtfy submit;
  if (MSG_GetType(m) == kMsgIdConfigIFDynamicValidateReq) {
    s = answer<ConfigIF::DynamicValidateReq, ConfigIF::DynamicValidateRsp>(local, m, "validate", ret, during);
  } else if (MSG_GetType(m) == kMsgIdConfigIFOnChangeReq) {
    s = answer<ConfigIF::OnChangeReq, ConfigIF::OnChangeRsp>(local, m, "onchange", ret, during);
  } else if (MSG_GetType(m) == kMsgIdConfigIFConfigChangedNtfy && parse(m, &changed)) {
    s = describe("changed", changed);
  } else if (MSG_GetType(m) == kMsgIdConfigIFSubmitNtfy && parse(m, &submit)) {
    s = (submit.type() == ConfigIF::kSubmitStart ? "start " : "end ") +
        (submit.instance().node_size() ? submit.instance().node(0).name() : "") +
        (submit.user_context().empty() ? "" : " ctx " + submit.user_context());
  }
  MSG_ReleaseMsg(m);
  return s;
}
