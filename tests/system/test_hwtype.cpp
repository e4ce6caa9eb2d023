// Board id to hardware type and display name.
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "system/systeminfo2.h"

namespace {

struct HwTypeTest : ::testing::Test {
  void SetUp() override { SetSystemHardwareType(hwTypeT::kUninitialized); }
  void TearDown() override { board(nullptr), SetSystemHardwareType(hwTypeT::kUninitialized); }
  static void board(const char* id) { id ? setenv("CORVALE_BOARDID", id, 1) : unsetenv("CORVALE_BOARDID"); }
};

TEST_F(HwTypeTest, BoardIdSelectsTypeAndDisplayNameInAnyCase) {
  const struct { const char* board; hwTypeT type; const char* name; } rows[] = {
      {nullptr, hwTypeT::kCedar, "Unknown"}, {"CEDAR", hwTypeT::kCedar, "Harbor Series 150"},
      {"cedar110", hwTypeT::kCedar, "Harbor Series 130"}, {"birch", hwTypeT::kBirch, "Harbor Series 170"},
      {"lumenpro", hwTypeT::kCedar, "Harbor Series Lumen Pro"}, {"TUNDRA", hwTypeT::kTundra, "Unknown"},
      {"Halden", hwTypeT::kHalden, "Harbor Series 138"}, {"ASPEN", hwTypeT::kAspen, "TrueSummit Atrium"},
      {"SORREL", hwTypeT::kUninitialized, "Unknown"}, {"CEDAR ", hwTypeT::kUninitialized, "Unknown"},
      {"BIRCH;reboot", hwTypeT::kUninitialized, "Unknown"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.board ? r.board : "<unset>");
    board(r.board);
    SetSystemHardwareType(hwTypeT::kUninitialized);
    initSysHwType();
    EXPECT_EQ(GetSystemHardwareType(), r.type);
    char buf[64];
    memset(buf, 'x', sizeof buf);
    EXPECT_EQ(getSysModel(buf, sizeof buf, 1), 0);
    EXPECT_STREQ(buf, r.name);
  }
}

TEST_F(HwTypeTest, TypeIsDecidedOnceUnlessTheBoardWasUnknown) {
  // The type after initSysHwType() with `id` on the board.
  auto init = [](const char* id) { board(id), initSysHwType(); return GetSystemHardwareType(); };
  SetSystemHardwareType(hwTypeT::kAspen);
  EXPECT_EQ(init("BIRCH"), hwTypeT::kAspen);
  SetSystemHardwareType(hwTypeT::kUninitialized);
  EXPECT_EQ(init("NOSUCHBOARD"), hwTypeT::kUninitialized);
  EXPECT_EQ(init("HALDEN"), hwTypeT::kHalden);  // tries again
}

TEST_F(HwTypeTest, ModelBufferTooSmallIsLeftUntouched) {
  board("CEDAR");
  char buf[32];
  memset(buf, '#', sizeof buf);
  EXPECT_EQ(getSysModel(buf, 8, 0) + getSysModel(nullptr, 64, 0), 36);
  EXPECT_EQ(std::string(buf, sizeof buf), std::string(sizeof buf, '#'));
  EXPECT_EQ(getSysModel(buf, 18, 0), 0);
  EXPECT_EQ(std::string(buf, 19), std::string("Harbor Series 150\0#", 19));
}

}  // namespace
