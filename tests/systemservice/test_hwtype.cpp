// Board id to hardware type and display name.
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "system/systeminfo2.h"

namespace {

// Sets or clears "CORVALE_BOARDID" for one test and restores it after.
class HwTypeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = getenv("CORVALE_BOARDID");
    m_had = old != nullptr;
    if (m_had) m_old = old;
    SetSystemHardwareType(hwTypeT::kUninitialized);
  }
  void TearDown() override {
    if (m_had) {
      setenv("CORVALE_BOARDID", m_old.c_str(), 1);
    } else {
      unsetenv("CORVALE_BOARDID");
    }
    SetSystemHardwareType(hwTypeT::kUninitialized);
  }
  static void board(const char* id) {
    if (id == nullptr) {
      unsetenv("CORVALE_BOARDID");
    } else {
      setenv("CORVALE_BOARDID", id, 1);
    }
  }
  static hwTypeT typeFor(const char* id) {
    board(id);
    SetSystemHardwareType(hwTypeT::kUninitialized);
    initSysHwType();
    return GetSystemHardwareType();
  }
  static std::string modelFor(const char* id) {
    board(id);
    char buf[64];
    memset(buf, 'x', sizeof buf);
    EXPECT_EQ(getSysModel(buf, sizeof buf, 0), 0);
    return buf;
  }

 private:
  bool m_had = false;
  std::string m_old;
};

TEST_F(HwTypeTest, EnumerationValuesAreFixed) {
  EXPECT_EQ(static_cast<uint32_t>(hwTypeT::kUninitialized), 0u);
  EXPECT_EQ(static_cast<uint32_t>(hwTypeT::kCedar), 25u);
  EXPECT_EQ(static_cast<uint32_t>(hwTypeT::kCedar100), 26u);
  EXPECT_EQ(static_cast<uint32_t>(hwTypeT::kCedar110), 27u);
  EXPECT_EQ(static_cast<uint32_t>(hwTypeT::kLumenPro), 28u);
  EXPECT_EQ(static_cast<uint32_t>(hwTypeT::kBirch), 29u);
  EXPECT_EQ(static_cast<uint32_t>(hwTypeT::kHalden), 30u);
  EXPECT_EQ(static_cast<uint32_t>(hwTypeT::kTundra), 31u);
  EXPECT_EQ(static_cast<uint32_t>(hwTypeT::kSorrel), 32u);
  EXPECT_EQ(static_cast<uint32_t>(hwTypeT::kAspen), 33u);
  EXPECT_EQ(static_cast<uint32_t>(hwTypeT::kOrbscope), 34u);
  EXPECT_EQ(static_cast<uint32_t>(hwTypeT::kOrbscope2), 35u);
  EXPECT_EQ(static_cast<uint32_t>(hwTypeT::kNumHWTypes), 36u);
  EXPECT_EQ(sizeof(hwTypeT), 4u);
}

TEST_F(HwTypeTest, BoardIdSelectsType) {
  EXPECT_EQ(typeFor(nullptr), hwTypeT::kCedar);
  EXPECT_EQ(typeFor("CEDAR"), hwTypeT::kCedar);
  EXPECT_EQ(typeFor("CEDAR100"), hwTypeT::kCedar);
  EXPECT_EQ(typeFor("CEDAR110"), hwTypeT::kCedar);
  EXPECT_EQ(typeFor("LUMENPRO"), hwTypeT::kCedar);
  EXPECT_EQ(typeFor("lumenpro"), hwTypeT::kCedar);
  EXPECT_EQ(typeFor("BIRCH"), hwTypeT::kBirch);
  EXPECT_EQ(typeFor("Halden"), hwTypeT::kHalden);
  EXPECT_EQ(typeFor("TUNDRA"), hwTypeT::kTundra);
  EXPECT_EQ(typeFor("ORBSCOPE"), hwTypeT::kOrbscope);
  EXPECT_EQ(typeFor("orbscope2"), hwTypeT::kOrbscope2);
  EXPECT_EQ(typeFor("ASPEN"), hwTypeT::kAspen);
  // Not a board of this family, and near misses of real ids.
  EXPECT_EQ(typeFor("SORREL"), hwTypeT::kUninitialized);
  EXPECT_EQ(typeFor(""), hwTypeT::kUninitialized);
  EXPECT_EQ(typeFor("CEDAR "), hwTypeT::kUninitialized);
  EXPECT_EQ(typeFor("CEDAR1"), hwTypeT::kUninitialized);
  EXPECT_EQ(typeFor("BIRCH;reboot"), hwTypeT::kUninitialized);
}

TEST_F(HwTypeTest, TypeSetBeforeInitRemains) {
  board("BIRCH");
  SetSystemHardwareType(hwTypeT::kAspen);
  initSysHwType();
  EXPECT_EQ(GetSystemHardwareType(), hwTypeT::kAspen);
}

TEST_F(HwTypeTest, UnknownBoardLetsALaterCallTryAgain) {
  board("NOSUCHBOARD");
  initSysHwType();
  EXPECT_EQ(GetSystemHardwareType(), hwTypeT::kUninitialized);
  board("HALDEN");
  initSysHwType();
  EXPECT_EQ(GetSystemHardwareType(), hwTypeT::kHalden);
  // Decided once: a later change of the environment no longer matters.
  board("BIRCH");
  initSysHwType();
  EXPECT_EQ(GetSystemHardwareType(), hwTypeT::kHalden);
}

TEST_F(HwTypeTest, DisplayNames) {
  EXPECT_EQ(modelFor("CEDAR100"), "Harbor Series 120");
  EXPECT_EQ(modelFor("CEDAR110"), "Harbor Series 130");
  EXPECT_EQ(modelFor("lumenpro"), "Harbor Series Lumen Pro");
  EXPECT_EQ(modelFor("CEDAR"), "Harbor Series 150");
  EXPECT_EQ(modelFor("birch"), "Harbor Series 170");
  EXPECT_EQ(modelFor("HALDEN"), "Harbor Series 138");
  EXPECT_EQ(modelFor("ASPEN"), "TrueSummit Atrium");
  EXPECT_EQ(modelFor("TUNDRA"), "Unknown");
  EXPECT_EQ(modelFor("ORBSCOPE"), "Unknown");
  EXPECT_EQ(modelFor(""), "Unknown");
  EXPECT_EQ(modelFor(nullptr), "Unknown");
}

TEST_F(HwTypeTest, LumenProInLowerCase) {
  EXPECT_EQ(typeFor("lumenpro"), hwTypeT::kCedar);
  EXPECT_EQ(modelFor("lumenpro"), "Harbor Series Lumen Pro");
}

TEST_F(HwTypeTest, TundraIsKnownButUnnamed) {
  EXPECT_EQ(typeFor("TUNDRA"), hwTypeT::kTundra);
  EXPECT_EQ(modelFor("TUNDRA"), "Unknown");
}

TEST_F(HwTypeTest, ModelBufferTooSmallIsLeftUntouched) {
  board("CEDAR");
  char buf[32];
  memset(buf, '#', sizeof buf);
  EXPECT_EQ(getSysModel(buf, 8, 0), 18);
  for (char c : buf) EXPECT_EQ(c, '#');
  EXPECT_EQ(getSysModel(buf, 17, 0), 18);
  for (char c : buf) EXPECT_EQ(c, '#');
  EXPECT_EQ(getSysModel(nullptr, 64, 0), 18);
  EXPECT_EQ(getSysModel(buf, 18, 0), 0);
  EXPECT_STREQ(buf, "Harbor Series 150");
  EXPECT_EQ(buf[18], '#');
  // The override flag changes nothing.
  memset(buf, '#', sizeof buf);
  EXPECT_EQ(getSysModel(buf, 18, 1), 0);
  EXPECT_STREQ(buf, "Harbor Series 150");
  // A negative length is too small, not a huge one.
  EXPECT_EQ(getSysModel(buf, -1, 0), 18);
}

}  // namespace
