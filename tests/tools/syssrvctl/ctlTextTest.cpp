// Text-format pieces of syssrvctl, in process, where a command line cannot
// reach every case: type numbers and the round trip of printed messages.
#include <gtest/gtest.h>

#include "ConfigIF.pb.h"
#include "tools/syssrvctl/ctlText.h"

TEST(CtlText, TypeNumbers) {
  struct Case {
    const char* text;
    bool ok;
    MSG_Type type;
  } cases[] = {
      {"0x1B0090", true, 0x1B0090}, {"0x1b0090", true, 0x1B0090}, {"1769616", true, 0x1B0090},
      {"010", true, 10},  // decimal, not octal
      {"0xFFFFFFFF", true, 0xFFFFFFFF}, {"0x100000000", false, 0}, {"", false, 0}, {"0x", false, 0},
      {"-1", false, 0}, {"+1", false, 0}, {"1 ", false, 0}, {"0x-1", false, 0},
  };
  for (const Case& c : cases) {
    MSG_Type t = 12345;
    EXPECT_EQ(ctlParseTypeNumber(c.text, &t), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(t, c.type) << c.text;
    }
  }
}

// What is printed, on one line or several, parses back to the same message.
TEST(CtlText, PrintedTextParsesBack) {
  ConfigIF::BatchWriteReq w;
  w.set_name("n");
  w.set_role(CommonIF::kStartup);
  auto* entry = w.add_entry();
  entry->set_name("x\ty \"q\"");
  entry->add_value("line\nbreak;`z`");
  entry->add_value("");
  const MsgTypeEntry* e = ctlFindType("ConfigIF.BatchWriteReq");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(ctlFormatSingleLine(w).find('\n'), std::string::npos);
  for (const std::string& text : {ctlFormatMultiLine(w), ctlFormatSingleLine(w)}) {
    std::string error;
    auto back = ctlParseFields(*e, text, &error);
    ASSERT_NE(back, nullptr) << error;
    EXPECT_EQ(back->SerializeAsString(), w.SerializeAsString()) << text;
  }
}
