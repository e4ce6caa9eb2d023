// Bad input from clients: payloads that do not parse, requests without a
// variable, requests this service does not serve, unknown message types.
// Every request is answered and the service keeps serving.
#include "platform/msgutil/msgIds.h"
#include "tests/config/cfgTestFixture.h"

namespace {

class CfgMalformedTest : public CfgSrvTest {
 protected:
  void SetUp() override {
    CfgSrvTest::SetUp();
    startService();
    openLocal(c);
  }
  // The `error` of a reply that answers garbage sent as `type`.
  int errorOfGarbage(MSG_Type type, MSG_Type rspType, google::protobuf::Message* rsp) {
    // A field header announcing more bytes than follow: not a message.
    const std::string garbage("\x0a\x7f\x01\x02", 4);
    MSG_Message* m = callRaw(c, type, garbage, rspType);
    if (m == nullptr) return 1;
    bool ok = rsp->ParseFromArray(MSG_GetPayload(m), static_cast<int>(MSG_GetPayloadBytes(m)));
    MSG_ReleaseMsg(m);
    if (!ok) return 2;
    const auto* f = rsp->GetDescriptor()->FindFieldByName("error");
    return f ? rsp->GetReflection()->GetInt32(*rsp, f) : 3;
  }
  const std::string c = "Client";
};

TEST_F(CfgMalformedTest, UnparsablePayloadsAreAnsweredBadParameter) {
  ConfigIF::ReadRsp read;
  EXPECT_EQ(errorOfGarbage(kMsgIdConfigIFReadReq, kMsgIdConfigIFReadRsp, &read), -3);
  ConfigIF::WriteRsp write;
  EXPECT_EQ(errorOfGarbage(kMsgIdConfigIFWriteReq, kMsgIdConfigIFWriteRsp, &write), -3);
  ConfigIF::BatchWriteRsp batch;
  EXPECT_EQ(errorOfGarbage(kMsgIdConfigIFBatchWriteReq, kMsgIdConfigIFBatchWriteRsp, &batch), -3);
  ConfigIF::RegisterClientCallbackRsp reg;
  EXPECT_EQ(errorOfGarbage(kMsgIdConfigIFRegisterClientCallbackReq, kMsgIdConfigIFRegisterClientCallbackRsp, &reg),
            -3);
  ConfigIF::SetAccessLevelsRsp levels;
  EXPECT_EQ(errorOfGarbage(kMsgIdConfigIFSetAccessLevelsReq, kMsgIdConfigIFSetAccessLevelsRsp, &levels), -3);
  ConfigIF::ComponentChangeRsp comp;
  EXPECT_EQ(errorOfGarbage(kMsgIdConfigIFComponentChangeReq, kMsgIdConfigIFComponentChangeRsp, &comp), -3);
  EXPECT_NE(serviceLog().find("configsrvc: ConfigIF.ReadReq: Parse Error (4 bytes)"), std::string::npos)
      << serviceLog();
}

TEST_F(CfgMalformedTest, RequestsWithoutAVariableAreBadParameter) {
  // Empty payloads parse as empty requests.
  ConfigIF::ReadRsp rr;
  MSG_Message* m = callRaw(c, kMsgIdConfigIFReadReq, "", kMsgIdConfigIFReadRsp);
  ASSERT_NE(m, nullptr);
  ASSERT_TRUE(rr.ParseFromArray(MSG_GetPayload(m), static_cast<int>(MSG_GetPayloadBytes(m))));
  MSG_ReleaseMsg(m);
  EXPECT_EQ(rr.error(), -3);
  ConfigIF::WriteReq w;
  w.set_name(c);
  w.set_role(CommonIF::kAdmin);
  w.mutable_instance_val()->add_value("v");
  ConfigIF::WriteRsp wr;
  ASSERT_TRUE(call(c, w, &wr));
  EXPECT_EQ(wr.error(), -3);
  // Only the namespace node.
  ConfigIF::Node* n = w.mutable_instance_val()->mutable_instance()->add_node();
  n->set_name("cfg");
  n->set_instance(1);
  ASSERT_TRUE(call(c, w, &wr));
  EXPECT_EQ(wr.error(), -3);
  ConfigIF::RegisterClientCallbackReq reg;
  reg.set_name(c);
  reg.set_type(ConfigIF::kChangeNotify);  // no node_name
  ConfigIF::RegisterClientCallbackRsp regr;
  ASSERT_TRUE(call(c, reg, &regr));
  EXPECT_EQ(regr.error(), -3);
  reg.set_node_name("test.plain");
  reg.clear_name();  // no client to call back
  ASSERT_TRUE(call(c, reg, &regr));
  EXPECT_EQ(regr.error(), -3);
}

TEST_F(CfgMalformedTest, UnservedRequestsAreAnsweredAndUnknownTypesDropped) {
  ConfigIF::ResetAttributeReq ra;
  ra.set_name(c);
  ra.set_node_name("test");
  ConfigIF::ResetAttributeRsp rar;
  ASSERT_TRUE(call(c, ra, &rar));
  EXPECT_EQ(rar.error(), -6);
  // A type no interface defines: no answer, and the service lives on.
  EXPECT_EQ(callRaw(c, 0x1A0FF0, "abc", 0x1A0FF1, 300), nullptr);
  // A callback answer nobody waits for is dropped.
  ConfigIF::OnChangeRsp late;
  late.mutable_ret_message()->set_server_context("configsrvc:999");
  MSG_Message* m = callRaw(c, kMsgIdConfigIFOnChangeRsp, late.SerializeAsString(), 0x1A0FF1, 100);
  EXPECT_EQ(m, nullptr);
  EXPECT_EQ(read(c, "test.plain").error(), 0);
  EXPECT_NE(serviceLog().find("configsrvc: message of type 0x1a0ff0 (unknown) ignored"), std::string::npos)
      << serviceLog();
}

}  // namespace
