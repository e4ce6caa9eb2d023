// msgUtil_buildMsg: the message carries the class's type, the sequence
// given and exactly the serialised object; classes without a type and
// oversized objects give no message.
#include <gtest/gtest.h>

#include <google/protobuf/util/message_differencer.h>

#include <string>

#include "ConfigIF.pb.h"
#include "DemoIF.pb.h"
#include "ProcessMonitorIF.pb.h"
#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"

namespace {

using google::protobuf::util::MessageDifferencer;

struct MsgDeleter {
  void operator()(MSG_Message* m) const { MSG_ReleaseMsg(m); }
};
using MsgPtr = std::unique_ptr<MSG_Message, MsgDeleter>;

template <class T>
T parsePayload(const MSG_Message* msg) {
  T out;
  EXPECT_TRUE(out.ParseFromArray(MSG_GetPayload(msg), static_cast<int>(MSG_GetPayloadBytes(msg))));
  return out;
}

TEST(MsgBuild, WriteRequestRoundTrips) {
  ConfigIF::WriteReq req;
  req.set_name("SystemSrvc");
  req.set_role(CommonIF::kSystem);
  ConfigIF::InstValue* iv = req.mutable_instance_val();
  ConfigIF::Node* node = iv->mutable_instance()->add_node();
  node->set_name("system.network.wired.ipv4nic.mode");
  node->set_instance(0);
  iv->add_value("DHCP\nwith a newline; and `quotes\"");

  MsgPtr msg(msgUtil_buildMsg(req, 77, nullptr));
  ASSERT_NE(msg, nullptr);
  EXPECT_EQ(MSG_GetType(msg.get()), kMsgIdConfigIFWriteReq);
  EXPECT_EQ(MSG_GetType(msg.get()), 1704064u);
  EXPECT_EQ(MSG_GetSequence(msg.get()), 77u);
  EXPECT_EQ(MSG_GetPayloadBytes(msg.get()), req.ByteSizeLong());
  ConfigIF::WriteReq back = parsePayload<ConfigIF::WriteReq>(msg.get());
  EXPECT_TRUE(MessageDifferencer::Equals(req, back)) << back.ShortDebugString();
  // Presence survives: an instance 0 that was set stays set.
  EXPECT_TRUE(back.instance_val().instance().node(0).has_instance());
}

TEST(MsgBuild, BytesWithZerosAndRepeatedFieldsRoundTrip) {
  ProcessMonitorIF::MacAddrRsp rsp;
  rsp.set_error(0);
  rsp.set_addr(std::string("\x00\x1a\x2b\x00\xff\x01", 6));
  MsgPtr msg(msgUtil_buildMsg(rsp, 2, nullptr));
  ASSERT_NE(msg, nullptr);
  EXPECT_EQ(MSG_GetType(msg.get()), 0x1D0071u);
  EXPECT_EQ(MSG_GetSequence(msg.get()), 2u);
  ProcessMonitorIF::MacAddrRsp back = parsePayload<ProcessMonitorIF::MacAddrRsp>(msg.get());
  EXPECT_EQ(back.addr(), rsp.addr());
  EXPECT_TRUE(back.has_error());

  ConfigIF::SetAttributeOptionsReq opts;
  opts.set_name("SystemSrvc");
  opts.set_role(CommonIF::kStartup);
  opts.set_default_index(0);
  for (const char* o : {"QORT", "DMS", "CLOUD"}) opts.add_node_options(o);
  MsgPtr m2(msgUtil_buildMsg(opts, 0, nullptr));
  ASSERT_NE(m2, nullptr);
  EXPECT_EQ(MSG_GetType(m2.get()), 1704400u);
  ConfigIF::SetAttributeOptionsReq back2 = parsePayload<ConfigIF::SetAttributeOptionsReq>(m2.get());
  ASSERT_EQ(back2.node_options_size(), 3);
  EXPECT_EQ(back2.node_options(2), "CLOUD");
  EXPECT_TRUE(MessageDifferencer::Equals(opts, back2));
}

TEST(MsgBuild, NegativeErrorsAndEnumsKeepTheirValues) {
  ConfigIF::DynamicValidateRsp rsp;
  ConfigIF::ReturnMessage* rm = rsp.mutable_ret_message();
  rm->set_error(CommonIF::kErrNotYetSupported);
  rm->set_server_context("ctx-1");
  rm->set_client_name("SystemSrvc");
  rm->set_reboot_required(false);
  MsgPtr msg(msgUtil_buildMsg(rsp, 5, nullptr));
  ASSERT_NE(msg, nullptr);
  EXPECT_EQ(MSG_GetType(msg.get()), 1704369u);
  auto back = parsePayload<ConfigIF::DynamicValidateRsp>(msg.get());
  EXPECT_EQ(back.ret_message().error(), -6);
  EXPECT_TRUE(back.ret_message().has_reboot_required());

  // An internal status number outside eErrorType passes through intact.
  rm->set_error(-25);
  MsgPtr m2(msgUtil_buildMsg(rsp, 5, nullptr));
  ASSERT_NE(m2, nullptr);
  EXPECT_EQ(parsePayload<ConfigIF::DynamicValidateRsp>(m2.get()).ret_message().error(), -25);

  // A key number outside the key map reaches the handler as sent.
  SystemIF::VirtualKeyPressCmd key;
  key.set_monitor_id(2);
  key.set_key(0x99);
  key.set_button(SystemIF::kButtonAuto);
  MsgPtr m3(msgUtil_buildMsg(key, 0, nullptr));
  ASSERT_NE(m3, nullptr);
  auto k = parsePayload<SystemIF::VirtualKeyPressCmd>(m3.get());
  EXPECT_EQ(k.key(), 0x99);
  EXPECT_EQ(k.button(), 48);
  EXPECT_EQ(k.monitor_id(), 2);
}

TEST(MsgBuild, EmptyMessageGivesEmptyPayload) {
  SystemIF::GetLanStatusReq req;
  MsgPtr msg(msgUtil_buildMsg(req, 9, nullptr));
  ASSERT_NE(msg, nullptr);
  EXPECT_EQ(MSG_GetType(msg.get()), 0x1B0090u);
  EXPECT_EQ(MSG_GetSequence(msg.get()), 9u);
  EXPECT_EQ(MSG_GetPayloadBytes(msg.get()), 0u);
}

TEST(MsgBuild, EchoPairHasTypes) {
  DemoIF::EchoReq req;
  req.set_text("ping");
  MsgPtr msg(msgUtil_buildMsg(req, 1, nullptr));
  ASSERT_NE(msg, nullptr);
  EXPECT_EQ(MSG_GetType(msg.get()), kMsgIdDemoIFEchoReq);
  EXPECT_EQ(parsePayload<DemoIF::EchoReq>(msg.get()).text(), "ping");
  EXPECT_NE(msgUtil_getMsgId(DemoIF::EchoRsp()), 0u);
}

TEST(MsgBuild, ClassWithoutTypeGivesNull) {
  ConfigIF::Node node;
  node.set_name("system.network.hostname");
  EXPECT_EQ(msgUtil_buildMsg(node, 1, nullptr), nullptr);
  ConfigIF::Inst inst;
  EXPECT_EQ(msgUtil_buildMsg(inst, 0, nullptr), nullptr);
  ConfigIF::ReturnMessage rm;
  rm.set_error(0);
  EXPECT_EQ(msgUtil_buildMsg(rm, 0, nullptr), nullptr);
}

TEST(MsgBuild, OversizedMessageGivesNull) {
  // One value larger than a transport message can carry.
  ConfigIF::DumpRsp rsp;
  ConfigIF::VarEntry* e = rsp.add_entry();
  e->set_name("system.big");
  e->add_value(std::string(MSG_MAX_PAYLOAD, 'x'));
  ASSERT_GT(rsp.ByteSizeLong(), MSG_MAX_PAYLOAD);
  EXPECT_EQ(msgUtil_buildMsg(rsp, 0, nullptr), nullptr);

  // Just under the limit still goes.
  ConfigIF::DumpRsp fits;
  fits.add_entry()->add_value(std::string(MSG_MAX_PAYLOAD - 64, 'y'));
  ASSERT_LE(fits.ByteSizeLong(), MSG_MAX_PAYLOAD);
  MsgPtr msg(msgUtil_buildMsg(fits, 0, nullptr));
  ASSERT_NE(msg, nullptr);
  EXPECT_EQ(MSG_GetPayloadBytes(msg.get()), fits.ByteSizeLong());
}

}  // namespace
