#include "tests/tools/configsrvc/cfgTestFixture.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>

#include <google/protobuf/text_format.h>

#include "ConfigIF.pb.h"
#include "platform/msg/MSG.h"
#include "platform/msgutil/msgIds.h"
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

namespace {

using google::protobuf::Message;
using google::protobuf::TextFormat;

bool parse(const MSG_Message* m, Message* out) {
  return out->ParseFromArray(MSG_GetPayload(m), static_cast<int>(MSG_GetPayloadBytes(m)));
}

// Sends `req` from `local` and waits for the `rsp` class's reply.
bool exchange(const std::string& local, const Message& req, Message* rsp, int timeoutMs = 5000) {
  MSG_Endpoint to = MSG_GetRemoteId(local.c_str(), "ConfigSrvc");
  MSG_Message* m = to == 0 ? nullptr : msgUtil_buildMsg(req, MSG_GetNextSequence(), nullptr);
  if (m == nullptr || MSG_SendMsg(local.c_str(), to, m) != 0) return false;
  MSG_Message* r = MSG_RecvMsg(local.c_str(), msgUtil_getMsgId(*rsp), timeoutMs);
  bool ok = r != nullptr && parse(r, rsp);
  if (r != nullptr) MSG_ReleaseMsg(r);
  return ok;
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
  std::ofstream(m_seed) << kCfgTestSeed;
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
  return exchange(local, *req, rsp.get()) ? rsp->ShortDebugString() : "<no answer>";
}

std::string CfgSrvTest::write(const std::string& local, const std::string& name, const std::string& value,
                              const std::string& role, int instance) {
  return ask(local, "ConfigIF.WriteReq",
             "name: '" + local + "' role: " + role + " instance_val { instance { node { name: '" + name +
                 "' instance: " + std::to_string(instance) + " } } value: '" + value + "' }");
}

int CfgSrvTest::registerCb(const std::string& local, const std::string& name, const std::string& type,
                           const std::string& context) {
  ConfigIF::RegisterClientCallbackRsp rsp;
  ConfigIF::RegisterClientCallbackReq req;
  const std::string fields = "name: '" + local + "' instance: 0 node_name: '" + name + "' role: kSystem type: " + type +
                             " user_context: '" + context + "'";
  return TextFormat::ParseFromString(fields, &req) && exchange(local, req, &rsp) ? rsp.error() : 1;
}

std::string CfgSrvTest::valueOf(const std::string& local, const std::string& name, int instance) {
  ConfigIF::ReadReq req;
  req.set_name(local);
  req.set_role(CommonIF::kStartup);
  ConfigIF::Node* n = req.mutable_instance()->add_node();
  n->set_name(name);
  n->set_instance(instance);
  ConfigIF::ReadRsp rsp;
  EXPECT_TRUE(exchange(local, req, &rsp)) << "no ReadRsp for " << name;
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
