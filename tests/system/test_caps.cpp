// Capability tables of the four boards: what must hold between their
// entries, a few values the other programs rely on, the lookups, the change
// sets and the dump.
#include <strings.h>

#include <cstdlib>
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "system/sysCapsData.h"
#include "system/sysCapsTable.h"
#include "system/sysCapsTable_testing.h"
#include "system/systeminfo2.h"

namespace {

// "key/instance" of every entry dumped.
std::vector<std::string>* gRows = nullptr;
void collect(const char*, const char* key, int instance, const char*) {
  gRows->push_back(key + ("/" + std::to_string(instance)));
}

const hwTypeT kBoards[] = {hwTypeT::kCedar, hwTypeT::kBirch, hwTypeT::kHalden, hwTypeT::kAspen};
const eSysCapSectionT hw = eSysCapHardware;

// Rows of every sub-table an entry can point at; -1 for anything else.
long rowsOf(const void* table) {
  const std::pair<const void*, long> known[] = {
      {kMonRes6Ntsc, 6},  {kMonRes6Pal, 6},    {kMonRes8Ntsc, 8},   {kMonRes8Pal, 8},     {kMonRes10Ntsc, 10}, {kMonRes10Pal, 10},
      {kMonRes11Ntsc, 11}, {kMonRes11Pal, 11}, {kMonRes17Ntsc, 17}, {kMonRes17Pal, 17},   {kCedarAudioIn, 8},  {kCedarAudioOut, 6},
      {kHaldenAudioOut, 6}, {kBirchAudioIn, 16}, {kBirchAudioOut, 8}, {kAspenAudioIn, 23}};
  for (const auto& k : known) if (k.first == table) return k.second;
  return -1;
}

struct CapsTest : ::testing::Test {
  void SetUp() override { use(hwTypeT::kUninitialized); }
  void TearDown() override { unsetenv("HALDEN_MODE"), use(hwTypeT::kUninitialized); }
  // Chosen the way the daemon chooses: by the hardware type on first use.
  static void use(hwTypeT board) { sysCapsTableTestingReset(), SetSystemHardwareType(board); }
  static std::vector<std::string> dump(eSysCapSectionT section) {
    std::vector<std::string> rows;
    gRows = &rows, dumpCapabilities(collect, section), gRows = nullptr;
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
  // Each monitor's counts match the resolution tables they describe, and the
  // audio counts match their tables.
  static void expectCountsMatchTheirTables() {
    int monitors = 0;
    for (int i = 0; text(hw, "monitorResTableNTSC", i) != "<absent>"; ++i, ++monitors) {
      SCOPED_TRACE(i);
      auto* ntsc = static_cast<const SysCapMonitorResS*>(getCapability(hw, "monitorResTableNTSC", i, nullptr));
      const long rows = rowsOf(ntsc);
      std::set<std::string> signalTypes;
      for (long r = 0; r < rows; ++r) signalTypes.insert(ntsc[r].videoSignal);
      EXPECT_EQ(std::vector<long>({num(hw, "monitorResTableNTSCEntries", i), num(hw, "monitorResTablePALEntries", i),
                                   rowsOf(getCapability(hw, "monitorResTablePAL", i, nullptr)), num(hw, "monitorSignalTypesCount", i)}),
                std::vector<long>({rows, rows, rows, static_cast<long>(signalTypes.size())}));
    }
    EXPECT_EQ(num(hw, "numMonitors"), monitors);
    EXPECT_EQ(num(hw, "audioInputs"), rowsOf(getCapability(hw, "audioInTable", 0, nullptr)));
    EXPECT_EQ(num(hw, "audioOutputs"), rowsOf(getCapability(hw, "audioOutTable", 0, nullptr)));
  }
};

TEST_F(CapsTest, BoardsShareTheHardwareKeysAndDifferOnlyWhereTheyMust) {
  use(hwTypeT::kCedar);
  const std::vector<std::string> cedar = dump(hw);
  for (hwTypeT board : kBoards) {
    SCOPED_TRACE(static_cast<int>(board));
    use(board);
    expectCountsMatchTheirTables();
    // The same keys in the same order; the three-monitor boards add the
    // five entries of monitor 2 and nothing else.
    std::vector<std::string> rows = dump(hw);
    rows.erase(std::remove_if(rows.begin(), rows.end(), [](const std::string& r) {
      return r.compare(0, 7, "monitor") == 0 && r.compare(r.size() - 2, 2, "/2") == 0 && r != "monitorPresent/2"; }), rows.end());
    EXPECT_EQ(rows, cedar);
    EXPECT_EQ(text(hw, "BoardRevsWithRtc"), " -1 ");
  }
  // Anchors: what sets the boards apart ({audio inputs, monitors, connections, micas, onyx, post results}).
  const std::pair<hwTypeT, std::vector<long>> anchors[] = {
      {hwTypeT::kCedar, {8, 2, 6, 4, 1, 1}}, {hwTypeT::kBirch, {16, 3, 8, 4, 1, 1}},
      {hwTypeT::kHalden, {8, 3, 6, 4, 1, 0}}, {hwTypeT::kAspen, {23, 2, 6, 3, 0, 1}}};
  for (const auto& a : anchors) {
    use(a.first);
    EXPECT_EQ(std::vector<long>({num(hw, "audioInputs"), num(hw, "numMonitors"), num(eSysCapComm, "maxConns"),
                                 num(hw, "clink2MaxMicas"), num(hw, "clink2MaxOnyx"), num(hw, "ucHasPostResults")}),
              a.second)
        << static_cast<int>(a.first);
  }
}

TEST_F(CapsTest, PostResultsAndRatesAsStartUpReadsThem) {
  use(hwTypeT::kCedar);
  EXPECT_EQ(getCapability(hw, "UcHasPostResults", 0, nullptr), nullptr) << "keys are case-sensitive";
  EXPECT_EQ(num(eSysCapComm, "connRate", 2), 3072);
  EXPECT_EQ(text(eSysCapComm, "connRate", 2), " 3072 ");
  for (int ice : {1, 0}) {  // each set reaches every rate it lists
    EXPECT_EQ(setRateCapabilities(ice), 1);
    for (const sysCapsT* e = getRateCaps(ice); e->keyName; ++e)
      EXPECT_EQ(getCapability(eSysCapComm, "connRate", e->instance, nullptr), e->val) << ice << e->instance;
  }
  // Anchors: ICE relays cap the rate.
  EXPECT_EQ(std::vector<intptr_t>({reinterpret_cast<intptr_t>(getRateCaps(1)[0].val), reinterpret_cast<intptr_t>(getRateCaps(1)[7].val),
                                   reinterpret_cast<intptr_t>(getRateCaps(0)[7].val)}),
            std::vector<intptr_t>({1920, 128, 832}));
}

TEST_F(CapsTest, AbsentLookupsChangeNothing) {
  use(hwTypeT::kAspen);
  char buf[kSysCapValueLen] = "unchanged";
  EXPECT_EQ(getCapability(eSysCapSystem, "numProcessors", 0, buf), nullptr);
  EXPECT_STREQ(buf, "unchanged");
  EXPECT_EQ(getCapability(eSysCapComm, "numProcessors", 0, nullptr), nullptr);
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
    expectCountsMatchTheirTables();
    EXPECT_EQ(getCapability(hw, "audioOutTable", 0, nullptr) == kCedarAudioOut, dual);
    EXPECT_EQ(num(hw, "monitorResTableNTSCEntries", 1), dual ? 8 : 17);
  }
  setenv("HALDEN_MODE", "DualGraphicMode", 1);
  use(hwTypeT::kCedar);
  EXPECT_EQ(num(hw, "monitorResTableNTSCEntries", 1), 10);
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
