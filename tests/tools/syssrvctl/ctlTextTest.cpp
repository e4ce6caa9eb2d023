// Type numbers as syssrvctl reads them, in process, where a command line
// cannot reach every case.
#include <gtest/gtest.h>

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
