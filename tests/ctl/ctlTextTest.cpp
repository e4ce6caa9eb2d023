// Text-format encode/decode of syssrvctl through reflection, in process.
#include <gtest/gtest.h>

#include "ConfigIF.pb.h"
#include "DemoIF.pb.h"
#include "SystemIF.pb.h"
#include "tools/syssrvctl/ctlText.h"

TEST(CtlText, FindsTypesByEitherSeparatorOrNumber) {
  const MsgTypeEntry* dot = ctlFindType("SystemIF.GetLanStatusReq");
  ASSERT_NE(dot, nullptr);
  EXPECT_EQ(dot->type, 0x1B0090u);
  EXPECT_EQ(ctlFindType("SystemIF::GetLanStatusReq"), dot);
  EXPECT_EQ(ctlFindTypeByNameOrNumber("0x1B0090"), dot);
  EXPECT_EQ(ctlFindTypeByNameOrNumber("0x1b0090"), dot);
  EXPECT_EQ(ctlFindTypeByNameOrNumber("1769616"), dot);
  EXPECT_EQ(ctlFindTypeByNameOrNumber("SystemIF::GetLanStatusReq"), dot);
  EXPECT_EQ(ctlFindType("SystemIF.NoSuchReq"), nullptr);
  EXPECT_EQ(ctlFindType("GetLanStatusReq"), nullptr);
  EXPECT_EQ(ctlFindTypeByNameOrNumber("0x"), nullptr);
  EXPECT_EQ(ctlFindTypeByNameOrNumber("12abc"), nullptr);
  EXPECT_EQ(ctlFindTypeByNameOrNumber("0xFFFFFFFFF"), nullptr);
}

TEST(CtlText, TypeNumbers) {
  struct Case {
    const char* text;
    bool ok;
    MSG_Type type;
  } cases[] = {
      {"0x1B0090", true, 0x1B0090}, {"0x1b0090", true, 0x1B0090}, {"1769616", true, 0x1B0090},
      {"010", true, 10},  // decimal, not octal
      {"0", true, 0},           {"0xFFFFFFFF", true, 0xFFFFFFFF}, {"0x100000000", false, 0},
      {"", false, 0},           {"0x", false, 0},                 {"-1", false, 0},
      {"+1", false, 0},         {"1 ", false, 0},                 {"0x-1", false, 0},
      {"12z", false, 0},
  };
  for (const Case& c : cases) {
    MSG_Type t = 12345;
    EXPECT_EQ(ctlParseTypeNumber(c.text, &t), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(t, c.type) << c.text;
    }
  }
}

TEST(CtlText, ReplyClassIsTheRspOfTheSamePackage) {
  const MsgTypeEntry* req = ctlFindType("SystemIF.GetLanStatusReq");
  ASSERT_NE(req, nullptr);
  const MsgTypeEntry* rsp = ctlReplyTypeFor(*req);
  ASSERT_NE(rsp, nullptr);
  EXPECT_STREQ(rsp->name, "SystemIF.GetLanStatusRsp");
  const MsgTypeEntry* echo = ctlFindType("DemoIF.EchoReq");
  ASSERT_NE(echo, nullptr);
  ASSERT_NE(ctlReplyTypeFor(*echo), nullptr);
  EXPECT_STREQ(ctlReplyTypeFor(*echo)->name, "DemoIF.EchoRsp");
  // Notifications and commands have no reply class.
  const MsgTypeEntry* ntfy = ctlFindType("SystemIF.LanStatusChangeNtfy");
  ASSERT_NE(ntfy, nullptr);
  EXPECT_EQ(ctlReplyTypeFor(*ntfy), nullptr);
}

TEST(CtlText, ParsesNestedAndRepeatedFields) {
  const MsgTypeEntry* e = ctlFindType("ConfigIF.BatchWriteReq");
  ASSERT_NE(e, nullptr);
  std::string error;
  auto m = ctlParseFields(*e,
                          "name: \"batch\" role: kAdmin submit_name: \"system.network.submit\"\n"
                          "entry { name: \"a.b\" value: \"1\" value: \"two words\" }\n"
                          "entry < name: \"video.monitor\" instance: 1 value: [\"x\", \"y;`z`\"] >",
                          &error);
  ASSERT_NE(m, nullptr) << error;
  const auto* req = dynamic_cast<const ConfigIF::BatchWriteReq*>(m.get());
  ASSERT_NE(req, nullptr);
  EXPECT_EQ(req->name(), "batch");
  EXPECT_EQ(req->role(), CommonIF::kAdmin);
  EXPECT_EQ(req->submit_name(), "system.network.submit");
  ASSERT_EQ(req->entry_size(), 2);
  EXPECT_EQ(req->entry(0).name(), "a.b");
  EXPECT_FALSE(req->entry(0).has_instance());
  ASSERT_EQ(req->entry(0).value_size(), 2);
  EXPECT_EQ(req->entry(0).value(1), "two words");
  EXPECT_EQ(req->entry(1).name(), "video.monitor");
  EXPECT_EQ(req->entry(1).instance(), 1);
  ASSERT_EQ(req->entry(1).value_size(), 2);
  EXPECT_EQ(req->entry(1).value(1), "y;`z`");
}

TEST(CtlText, EmptyFieldsGiveAnEmptyMessage) {
  const MsgTypeEntry* e = ctlFindType("SystemIF.GetLanStatusReq");
  ASSERT_NE(e, nullptr);
  std::string error;
  auto m = ctlParseFields(*e, "", &error);
  ASSERT_NE(m, nullptr) << error;
  EXPECT_EQ(m->ByteSizeLong(), 0u);
}

TEST(CtlText, ReportsTheFirstErrorOnOneLine) {
  const MsgTypeEntry* e = ctlFindType("DemoIF.EchoReq");
  ASSERT_NE(e, nullptr);
  struct Case {
    const char* fields;
    const char* error;
  } cases[] = {
      {"nosuch: 1",
       "cannot parse fields for DemoIF.EchoReq: line 1 column 7: Message type \"DemoIF.EchoReq\" has no "
       "field named \"nosuch\"."},
      {"text: 5", "cannot parse fields for DemoIF.EchoReq: line 1 column 7: Expected string, got: 5"},
      {"text: \"a\"\ntext: \"b\"",
       "cannot parse fields for DemoIF.EchoReq: line 2 column 5: Non-repeated field \"text\" is specified "
       "multiple times."},
      {"text: \"unterminated", nullptr},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(ctlParseFields(*e, c.fields, &error), nullptr) << c.fields;
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    if (c.error != nullptr) {
      EXPECT_EQ(error, c.error);
    } else {
      EXPECT_EQ(error.rfind("cannot parse fields for DemoIF.EchoReq: line 1 column ", 0), 0u) << error;
    }
  }
}

TEST(CtlText, EnumByNameAndBadEnum) {
  const MsgTypeEntry* e = ctlFindType("ConfigIF.ReadReq");
  ASSERT_NE(e, nullptr);
  std::string error;
  auto m = ctlParseFields(*e, "name: \"x\" role: kSystem", &error);
  ASSERT_NE(m, nullptr) << error;
  EXPECT_EQ(dynamic_cast<const ConfigIF::ReadReq&>(*m).role(), CommonIF::kSystem);
  EXPECT_EQ(ctlParseFields(*e, "role: kNobody", &error), nullptr);
  EXPECT_NE(error.find("kNobody"), std::string::npos) << error;
}

TEST(CtlText, PrintsMultiAndSingleLine) {
  ConfigIF::ReadRsp rsp;
  rsp.add_value("a");
  rsp.add_value("line\nbreak \"q\"");
  rsp.set_is_default(false);
  auto* node = rsp.mutable_instance()->add_node();
  node->set_name("video.monitor");
  node->set_instance(1);
  EXPECT_EQ(ctlFormatMultiLine(rsp),
            "value: \"a\"\n"
            "value: \"line\\nbreak \\\"q\\\"\"\n"
            "is_default: false\n"
            "instance {\n"
            "  node {\n"
            "    name: \"video.monitor\"\n"
            "    instance: 1\n"
            "  }\n"
            "}\n");
  EXPECT_EQ(ctlFormatSingleLine(rsp),
            "value: \"a\" value: \"line\\nbreak \\\"q\\\"\" is_default: false "
            "instance { node { name: \"video.monitor\" instance: 1 } }");
  EXPECT_EQ(ctlFormatSingleLine(DemoIF::EchoReq()), "");
  EXPECT_EQ(ctlFormatMultiLine(DemoIF::EchoReq()), "");
}

// What is printed parses back to the same message.
TEST(CtlText, PrintedTextParsesBack) {
  ConfigIF::BatchWriteReq w;
  w.set_name("n");
  w.set_role(CommonIF::kStartup);
  auto* entry = w.add_entry();
  entry->set_name("x\ty");
  entry->add_value("v1");
  entry->add_value("");
  const MsgTypeEntry* e = ctlFindType("ConfigIF.BatchWriteReq");
  ASSERT_NE(e, nullptr);
  for (const std::string& text : {ctlFormatMultiLine(w), ctlFormatSingleLine(w)}) {
    std::string error;
    auto back = ctlParseFields(*e, text, &error);
    ASSERT_NE(back, nullptr) << error;
    EXPECT_EQ(back->SerializeAsString(), w.SerializeAsString()) << text;
  }
}

TEST(CtlText, HexForm) {
  EXPECT_EQ(ctlHexType(0x1B0090), "0x1B0090");
  EXPECT_EQ(ctlHexType(0x2F00C3), "0x2F00C3");
  EXPECT_EQ(ctlHexType(0x10), "0x000010");
}
