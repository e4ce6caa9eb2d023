// The escapes of `syssrvctl alert`, which tests use to send hostile bytes:
// a wrong byte here would hide a fault of the daemon's alert parser.
#include <gtest/gtest.h>

#include "tools/syssrvctl/syssrvctl.h"

TEST(CtlAlert, EscapesGiveExactBytesAndBrokenOnesAreRefused) {
  const struct {
    const char* text;
    std::string bytes;  // "!" : refused
  } kRows[] = {{"A 2 1", "A 2 1"},
               {"\\0A\\n\\t\\r\\\\", std::string("\0A\n\t\r\\", 6)},
               {"\\x41\\x4\\xff\\x4G", "A\x04\xff\x04G"},
               {"\\x411", "A1"},
               {"A\\", "!"},
               {"\\xZ1", "!"},
               {"\\q", "!"}};
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.text);
    std::string out, error;
    const bool ok = ctlUnescape(row.text, &out, &error);
    EXPECT_EQ(ok, row.bytes != "!");
    EXPECT_EQ(ok ? out : "!", row.bytes);
    EXPECT_NE(ok, !error.empty());
  }
}
