// msgUtil_buildMsg: the message carries the class's type, the sequence
// given and exactly the serialised object; classes without a type and
// oversized objects give no message.
#include <gtest/gtest.h>

#include <google/protobuf/util/message_differencer.h>

#include <string>

#include "ConfigIF.pb.h"
#include "ProcessMonitorIF.pb.h"
#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"

namespace {

using google::protobuf::Message;
using google::protobuf::util::MessageDifferencer;

// Builds `m` with `seq`, checks the header and that the payload parses back
// to an equal object, which it returns (null when building failed).
std::unique_ptr<Message> roundTrip(const Message& m, uint32_t seq) {
  MSG_Message* msg = msgUtil_buildMsg(m, seq, nullptr);
  EXPECT_NE(msg, nullptr) << m.GetTypeName();
  if (msg == nullptr) return nullptr;
  EXPECT_EQ(MSG_GetType(msg), msgUtil_getMsgId(m));
  EXPECT_EQ(MSG_GetSequence(msg), seq);
  EXPECT_EQ(MSG_GetPayloadBytes(msg), m.ByteSizeLong());
  std::unique_ptr<Message> back(m.New());
  EXPECT_TRUE(back->ParseFromArray(MSG_GetPayload(msg), static_cast<int>(MSG_GetPayloadBytes(msg))));
  EXPECT_TRUE(MessageDifferencer::Equals(m, *back)) << back->ShortDebugString();
  MSG_ReleaseMsg(msg);
  return back;
}

TEST(MsgBuild, ObjectsRoundTripWithTypeSequenceAndExactBytes) {
  ConfigIF::WriteReq req;
  req.set_name("SystemSrvc");
  req.set_role(CommonIF::kSystem);
  ConfigIF::Node* node = req.mutable_instance_val()->mutable_instance()->add_node();
  node->set_name("system.network.wired.ipv4nic.mode");
  node->set_instance(0);
  req.mutable_instance_val()->add_value("DHCP\nwith a newline; and `quotes\"");
  EXPECT_EQ(msgUtil_getMsgId(req), kMsgIdConfigIFWriteReq);
  auto back = roundTrip(req, 0xfffffffe);
  ASSERT_NE(back, nullptr);
  // Presence survives: an instance 0 that was set stays set.
  EXPECT_TRUE(static_cast<ConfigIF::WriteReq&>(*back).instance_val().instance().node(0).has_instance());

  ProcessMonitorIF::MacAddrRsp mac;
  mac.set_error(0);
  mac.set_addr(std::string("\x00\x1a\x2b\x00\xff\x01", 6));
  roundTrip(mac, 2);

  // Negative errors, numbers outside their enumeration, repeated fields.
  ConfigIF::DynamicValidateRsp rsp;
  rsp.mutable_ret_message()->set_error(-25);
  rsp.mutable_ret_message()->set_reboot_required(false);
  roundTrip(rsp, 5);
  ConfigIF::SetAttributeOptionsReq opts;
  for (const char* o : {"QORT", "DMS", "CLOUD"}) opts.add_node_options(o);
  roundTrip(opts, 1);
  roundTrip(SystemIF::GetLanStatusReq(), 9);  // an empty payload
}

TEST(MsgBuild, ClassWithoutTypeOrObjectAboveTheLimitGivesNull) {
  EXPECT_EQ(msgUtil_buildMsg(ConfigIF::Node(), 1, nullptr), nullptr);
  EXPECT_EQ(msgUtil_buildMsg(ConfigIF::ReturnMessage(), 0, nullptr), nullptr);
  ConfigIF::DumpRsp big;
  big.add_entry()->add_value(std::string(MSG_MAX_PAYLOAD, 'x'));
  EXPECT_EQ(msgUtil_buildMsg(big, 0, nullptr), nullptr);
  ConfigIF::DumpRsp fits;
  fits.add_entry()->add_value(std::string(MSG_MAX_PAYLOAD - 64, 'y'));
  ASSERT_LE(fits.ByteSizeLong(), MSG_MAX_PAYLOAD);
  roundTrip(fits, 0);
}

}  // namespace
