// msgUtil_buildMsg: the message carries the class's type, the sequence
// given and exactly the serialised object; classes without a type and
// oversized objects give no message.
#include <gtest/gtest.h>

#include <google/protobuf/text_format.h>

#include <string>

#include "ConfigIF.pb.h"
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

// Builds `m` with `seq` and checks the header and that the payload is
// exactly the serialised object.
void expectBuilt(const Message& m, uint32_t seq) {
  SCOPED_TRACE(m.GetTypeName());
  MSG_Message* msg = msgUtil_buildMsg(m, seq, nullptr);
  ASSERT_NE(msg, nullptr);
  EXPECT_EQ(MSG_GetType(msg), msgUtil_getMsgId(m));
  EXPECT_EQ(MSG_GetSequence(msg), seq);
  const char* payload = static_cast<const char*>(MSG_GetPayload(msg));
  EXPECT_EQ(std::string(payload, MSG_GetPayloadBytes(msg)), m.SerializeAsString());
  MSG_ReleaseMsg(msg);
}

TEST(MsgBuild, ObjectsRoundTripWithTypeSequenceAndExactBytes) {
  // Its payload holds zero bytes (instance 0) and a hostile string.
  const auto req = fromText<ConfigIF::WriteReq>(
      R"(name: "SystemSrvc" role: kSystem instance_val { instance { node { name: "system.network.wired.ipv4nic.mode"
         instance: 0 } } value: "DHCP\nwith a newline; and `quotes\"" })");
  EXPECT_EQ(msgUtil_getMsgId(req), kMsgIdConfigIFWriteReq);
  expectBuilt(req, 0xfffffffe);
  expectBuilt(SystemIF::GetLanStatusReq(), 9);  // an empty payload
}

TEST(MsgBuild, ClassWithoutTypeOrObjectAboveTheLimitGivesNull) {
  EXPECT_EQ(msgUtil_buildMsg(ConfigIF::Node(), 1, nullptr), nullptr);
  EXPECT_EQ(msgUtil_buildMsg(ConfigIF::ReturnMessage(), 0, nullptr), nullptr);
  ConfigIF::DumpRsp big, fits;
  big.add_entry()->add_value(std::string(MSG_MAX_PAYLOAD, 'x'));
  EXPECT_EQ(msgUtil_buildMsg(big, 0, nullptr), nullptr);
  fits.add_entry()->add_value(std::string(MSG_MAX_PAYLOAD - 64, 'y'));
  ASSERT_LE(fits.ByteSizeLong(), MSG_MAX_PAYLOAD);
  expectBuilt(fits, 0);
}

}  // namespace
