// msgUtil_buildMsg: the message carries the class's type, the sequence
// given and exactly the serialised object; classes without a type and
// oversized objects give no message.
#include <gtest/gtest.h>

#include <google/protobuf/text_format.h>
#include <google/protobuf/util/message_differencer.h>

#include <string>

#include "ConfigIF.pb.h"
#include "ProcessMonitorIF.pb.h"
#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "platform/msgutil/msgUtil.h"

namespace {

using google::protobuf::Message;

template <class M>
M fromText(const char* text) {
  M m;
  EXPECT_TRUE(google::protobuf::TextFormat::ParseFromString(text, &m)) << text;
  return m;
}

// Builds `m` with `seq`, checks the header and that the payload parses back
// to an equal object, which it returns (null when building failed).
std::unique_ptr<Message> roundTrip(const Message& m, uint32_t seq) {
  SCOPED_TRACE(m.GetTypeName());
  MSG_Message* msg = msgUtil_buildMsg(m, seq, nullptr);
  EXPECT_NE(msg, nullptr);
  if (msg == nullptr) return nullptr;
  EXPECT_EQ(MSG_GetType(msg), msgUtil_getMsgId(m));
  EXPECT_EQ(MSG_GetSequence(msg), seq);
  EXPECT_EQ(MSG_GetPayloadBytes(msg), m.ByteSizeLong());
  std::unique_ptr<Message> back(m.New());
  EXPECT_TRUE(back->ParseFromArray(MSG_GetPayload(msg), static_cast<int>(MSG_GetPayloadBytes(msg))));
  EXPECT_TRUE(google::protobuf::util::MessageDifferencer::Equals(m, *back)) << back->ShortDebugString();
  MSG_ReleaseMsg(msg);
  return back;
}

TEST(MsgBuild, ObjectsRoundTripWithTypeSequenceAndExactBytes) {
  const auto req = fromText<ConfigIF::WriteReq>(
      R"(name: "SystemSrvc" role: kSystem instance_val { instance { node { name: "system.network.wired.ipv4nic.mode"
         instance: 0 } } value: "DHCP\nwith a newline; and `quotes\"" })");
  EXPECT_EQ(msgUtil_getMsgId(req), kMsgIdConfigIFWriteReq);
  auto back = roundTrip(req, 0xfffffffe);
  ASSERT_NE(back, nullptr);
  // Presence survives: an instance 0 that was set stays set.
  EXPECT_TRUE(static_cast<ConfigIF::WriteReq&>(*back).instance_val().instance().node(0).has_instance());
  // Binary bytes, negative errors, repeated fields, an empty payload.
  roundTrip(fromText<ProcessMonitorIF::MacAddrRsp>(R"(error: 0 addr: "\000\032+\000\377\001")"), 2);
  roundTrip(fromText<ConfigIF::DynamicValidateRsp>("ret_message { error: -25 reboot_required: false }"), 5);
  roundTrip(fromText<ConfigIF::SetAttributeOptionsReq>("node_options: ['QORT', 'DMS', 'CLOUD']"), 1);
  roundTrip(SystemIF::GetLanStatusReq(), 9);
}

TEST(MsgBuild, ClassWithoutTypeOrObjectAboveTheLimitGivesNull) {
  EXPECT_EQ(msgUtil_buildMsg(ConfigIF::Node(), 1, nullptr), nullptr);
  EXPECT_EQ(msgUtil_buildMsg(ConfigIF::ReturnMessage(), 0, nullptr), nullptr);
  ConfigIF::DumpRsp big, fits;
  big.add_entry()->add_value(std::string(MSG_MAX_PAYLOAD, 'x'));
  EXPECT_EQ(msgUtil_buildMsg(big, 0, nullptr), nullptr);
  fits.add_entry()->add_value(std::string(MSG_MAX_PAYLOAD - 64, 'y'));
  ASSERT_LE(fits.ByteSizeLong(), MSG_MAX_PAYLOAD);
  roundTrip(fits, 0);
}

}  // namespace
