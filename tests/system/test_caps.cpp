// Capability tables of the four boards: what differs between them, the
// lookups, the change sets and the dump.
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "system/sysCapsData.h"
#include "system/sysCapsTable.h"
#include "system/sysCapsTable_testing.h"
#include "system/systeminfo2.h"

namespace {

struct DumpRow {
  std::string section, key;
  int instance;
  std::string value;
};
std::vector<DumpRow>* gRows = nullptr;
void collect(const char* section, const char* key, int instance, const char* value) {
  gRows->push_back({section, key, instance, value});
}

const hwTypeT kBoards[] = {hwTypeT::kCedar, hwTypeT::kBirch, hwTypeT::kHalden, hwTypeT::kAspen};

class CapsTest : public ::testing::Test {
 protected:
  void SetUp() override { use(hwTypeT::kUninitialized); }
  void TearDown() override {
    unsetenv("HALDEN_MODE");
    use(hwTypeT::kUninitialized);
  }
  // Chosen the way the daemon chooses: by the hardware type on first use.
  static void use(hwTypeT hw) {
    sysCapsTableTestingReset();
    SetSystemHardwareType(hw);
  }
  static std::vector<DumpRow> dump(eSysCapSectionT section) {
    std::vector<DumpRow> rows;
    gRows = &rows;
    dumpCapabilities(collect, section);
    gRows = nullptr;
    return rows;
  }
  static long num(eSysCapSectionT s, const char* key, int inst = 0) {
    return static_cast<long>(reinterpret_cast<intptr_t>(getCapability(s, key, inst, nullptr)));
  }
  // A value of 0 comes back null like an absent entry; the text tells them apart.
  static std::string text(eSysCapSectionT s, const char* key, int inst = 0) {
    char buf[kSysCapValueLen] = "";
    getCapability(s, key, inst, buf);
    return buf[0] != '\0' ? std::string(buf) : std::string("<absent>");
  }
};

TEST_F(CapsTest, BoardsShareTheHardwareKeysAndDifferOnlyWhereTheyMust) {
  struct Expect {
    hwTypeT hw;
    size_t hardwareEntries;
    long audioIn, audioOut, monitors;
    long entries[3];  // -1: absent
    long signals[3];
    long micas, onyx, micaOnyx, post, maxConns;
  };
  const Expect table[] = {
      {hwTypeT::kCedar, 79, 8, 6, 2, {6, 10, -1}, {2, 4, -1}, 4, 1, 3, 1, 6},
      {hwTypeT::kBirch, 84, 16, 8, 3, {11, 17, 17}, {4, 4, 4}, 4, 1, 3, 1, 8},
      {hwTypeT::kHalden, 84, 8, 6, 3, {6, 17, 6}, {2, 4, 2}, 4, 1, 3, 0, 6},
      {hwTypeT::kAspen, 79, 23, 8, 2, {6, 10, -1}, {2, 4, -1}, 3, 0, 0, 1, 6},
  };
  use(hwTypeT::kCedar);
  const std::vector<DumpRow> cedar = dump(eSysCapHardware);
  const eSysCapSectionT hw = eSysCapHardware;
  for (const Expect& e : table) {
    SCOPED_TRACE(static_cast<int>(e.hw));
    use(e.hw);
    // The same keys in the same order; the three-monitor boards add the
    // five entries of monitor 2 and nothing else.
    std::vector<DumpRow> rows = dump(hw);
    ASSERT_EQ(rows.size(), e.hardwareEntries);
    for (size_t i = 0, j = 0; i < rows.size(); ++i) {
      if (rows[i].instance == 2 && rows[i].key.compare(0, 7, "monitor") == 0 && rows[i].key != "monitorPresent") continue;
      ASSERT_LT(j, cedar.size());
      EXPECT_EQ(rows[i].key + "/" + std::to_string(rows[i].instance),
                cedar[j].key + "/" + std::to_string(cedar[j].instance));
      ++j;
    }
    EXPECT_EQ(num(hw, "audioInputs", 0), e.audioIn);
    EXPECT_EQ(num(hw, "audioOutputs", 0), e.audioOut);
    EXPECT_EQ(num(hw, "numMonitors"), e.monitors);
    for (int i = 0; i < 3; ++i) {
      SCOPED_TRACE(i);
      if (e.entries[i] < 0) {
        EXPECT_EQ(text(hw, "monitorResTableNTSCEntries", i), "<absent>");
        continue;
      }
      EXPECT_EQ(num(hw, "monitorResTableNTSCEntries", i), e.entries[i]);
      EXPECT_EQ(num(hw, "monitorResTablePALEntries", i), e.entries[i]);
      EXPECT_EQ(num(hw, "monitorSignalTypesCount", i), e.signals[i]);
    }
    EXPECT_EQ(num(hw, "clink2MaxMicas"), e.micas);
    EXPECT_EQ(num(hw, "clink2MaxOnyx"), e.onyx);
    EXPECT_EQ(num(hw, "clink2MaxMica+Onyx"), e.micaOnyx);
    EXPECT_EQ(text(hw, "ucHasPostResults"), " " + std::to_string(e.post) + " ");
    EXPECT_EQ(num(eSysCapComm, "maxConns"), e.maxConns);
    EXPECT_EQ(text(hw, "BoardRevsWithRtc"), " -1 ");
  }
}

TEST_F(CapsTest, PostResultsAndRatesAsStartUpReadsThem) {
  use(hwTypeT::kCedar);
  EXPECT_NE(getCapability(eSysCapHardware, "ucHasPostResults", 0, nullptr), nullptr);
  EXPECT_EQ(getCapability(eSysCapHardware, "UcHasPostResults", 0, nullptr), nullptr);
  char buf[kSysCapValueLen];
  EXPECT_EQ(reinterpret_cast<intptr_t>(getCapability(eSysCapComm, "connRate", 2, buf)), 3072);
  EXPECT_STREQ(buf, " 3072 ");
  const long ice[] = {1920, 1920, 1024, 512, 384, 256, 128, 128};
  const long noIce[] = {6144, 6144, 3072, 2048, 1536, 1152, 1024, 832};
  EXPECT_EQ(setRateCapabilities(1), 1);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(num(eSysCapComm, "connRate", i), ice[i]) << i;
  EXPECT_EQ(setRateCapabilities(0), 1);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(num(eSysCapComm, "connRate", i), noIce[i]) << i;
  use(hwTypeT::kHalden);
  EXPECT_EQ(getCapability(eSysCapHardware, "ucHasPostResults", 0, nullptr), nullptr);
}

TEST_F(CapsTest, AbsentLookupsChangeNothing) {
  for (hwTypeT board : kBoards) {
    SCOPED_TRACE(static_cast<int>(board));
    use(board);
    char buf[kSysCapValueLen] = "unchanged";
    EXPECT_EQ(getCapability(eSysCapSystem, "numProcessors", 0, buf), nullptr);
    EXPECT_STREQ(buf, "unchanged");
      EXPECT_EQ(getCapability(eSysCapComm, "numProcessors", 0, nullptr), nullptr);
  }
  use(hwTypeT::kTundra);
  EXPECT_EQ(getCapability(eSysCapComm, "maxConfs", 0, nullptr), nullptr);
  EXPECT_TRUE(dump(eSysCapNumSections).empty());
}

TEST_F(CapsTest, TableIsChosenOnFirstUseAndChangesLastUntilChosenAgain) {
  use(hwTypeT::kBirch);
  EXPECT_EQ(num(eSysCapComm, "maxConns"), 8);
  SetSystemHardwareType(hwTypeT::kCedar);  // too late: the table was chosen
  EXPECT_EQ(num(eSysCapComm, "maxConns"), 8);
  EXPECT_EQ(setCapability(eSysCapVideo, "MainVidDspCnt", 0, sysCapInt(9)), 0);
  EXPECT_EQ(num(eSysCapVideo, "MainVidDspCnt"), 9);
  // The shared data is not changed for the next board chosen.
  use(hwTypeT::kAspen);
  EXPECT_EQ(num(eSysCapVideo, "MainVidDspCnt"), 4);
}

TEST_F(CapsTest, HaldenDualGraphicModeOnlyOnHaldenWithTheMode) {
  for (const char* mode : {"DualGraphicMode", "dualgraphicmode", "", "DualGraphic"}) {
    SCOPED_TRACE(mode);
    bool dual = strcasecmp(mode, "DualGraphicMode") == 0;
    setenv("HALDEN_MODE", mode, 1);
    use(hwTypeT::kHalden);
    EXPECT_EQ(getCapability(eSysCapHardware, "audioOutTable", 0, nullptr) == kCedarAudioOut, dual);
    EXPECT_EQ(num(eSysCapHardware, "monitorResTableNTSCEntries", 0), dual ? 11 : 6);
    EXPECT_EQ(num(eSysCapHardware, "monitorSignalTypesCount", 0), dual ? 4 : 2);
    EXPECT_EQ(num(eSysCapHardware, "monitorSignalTypesCount", 1), dual ? 2 : 4);
  }
  setenv("HALDEN_MODE", "DualGraphicMode", 1);
  use(hwTypeT::kCedar);
  EXPECT_EQ(num(eSysCapHardware, "monitorResTableNTSCEntries", 1), 10);
}

TEST_F(CapsTest, DumpOfAllSectionsAndOfOne) {
  use(hwTypeT::kCedar);
  EXPECT_EQ(dump(eSysCapNumSections).size(), 20u + 4u + 24u + 79u);
  testing::internal::CaptureStdout();
  dumpCapabilities(nullptr, eSysCapAudio);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Section: audio\tKey: IpcNumFirstAudioDsp\tInstance: 0\tValue:  1 \n"
            "Section: audio\tKey: AudioDspCnt\tInstance: 0\tValue:  1 \n"
            "Section: audio\tKey: AudioDspPciBus\tInstance: 0\tValue:  0 \n"
            "Section: audio\tKey: AudioDspPciDev\tInstance: 0\tValue:  16 \n");

}

}  // namespace
