// Capability tables of the four boards: counts, order, values, lookups,
// change sets and the dump.
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
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

class CapsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = getenv("HALDEN_MODE");
    m_hadMode = old != nullptr;
    if (m_hadMode) m_oldMode = old;
    unsetenv("HALDEN_MODE");
    sysCapsTableTestingReset();
    SetSystemHardwareType(hwTypeT::kUninitialized);
  }
  void TearDown() override {
    if (m_hadMode) {
      setenv("HALDEN_MODE", m_oldMode.c_str(), 1);
    } else {
      unsetenv("HALDEN_MODE");
    }
    sysCapsTableTestingReset();
    SetSystemHardwareType(hwTypeT::kUninitialized);
  }
  // Chooses `hw` the way the daemon does: by the hardware type on first use.
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
  static std::vector<std::string> keys(const std::vector<DumpRow>& rows) {
    std::vector<std::string> out;
    for (const DumpRow& r : rows) out.push_back(r.key + "[" + std::to_string(r.instance) + "]");
    return out;
  }
  static long num(eSysCapSectionT s, const char* key, int inst = 0) {
    return static_cast<long>(reinterpret_cast<intptr_t>(getCapability(s, key, inst, nullptr)));
  }
  static std::string text(eSysCapSectionT s, const char* key, int inst = 0) {
    char buf[kSysCapValueLen];
    memset(buf, 0, sizeof buf);
    // A value of 0 comes back as null like an absent entry; only the
    // formatted text tells them apart.
    getCapability(s, key, inst, buf);
    return buf[0] != '\0' ? std::string(buf) : std::string("<absent>");
  }

 private:
  bool m_hadMode = false;
  std::string m_oldMode;
};

// The hardware keys in table order, monitors expanded for `monitors`.
std::vector<std::string> hardwareKeys(int monitors) {
  std::vector<std::string> k = {
      "numProcessors[0]", "maxMicpods[0]", "numClinks[0]", "numFlashChips[0]", "ExtendedInterrupts[0]",
      "setMaxFanSpeed[0]", "UseFanCtrlTbl[0]", "SingleMonVGA[0]", "FanFastest[0]", "FanMiddle[0]",
      "FanSlowest[0]", "TempHigh[0]", "TempLow[0]", "TempMid[0]", "MaxTempSensors[0]", "VgaOutputs[0]",
      "SerialPorts[0]", "NearFarSleepCmd[0]", "EnableSnakeEyeIR[0]", "audioInTable[0]", "audioInTable[1]",
      "audioInTable[2]", "audioOutTable[0]", "audioOutTable[1]", "audioOutTable[2]", "audioInputs[0]",
      "audioInputs[1]", "audioInputs[2]", "audioOutputs[0]", "audioOutputs[1]", "audioOutputs[2]",
      "audioHwDriver[0]", "audioHwDriver[1]", "audioHwDriver[2]", "hwVariableMicGain[0]", "pantomPower[0]",
      "clink2MaxDev[0]", "clink2MaxMicas[0]", "clink2MaxOnyx[0]", "clink2MaxDipity[0]",
      "clink2MaxMica+Onyx[0]", "clink2MaxMica+Seren[0]", "clink2MaxOnyx+Seren[0]", "AudioHasProgGainAmp[0]",
      "HwFamily[0]", "FpgaLoadFamily[0]", "HwAreSomeI2CDevDfltRst[0]", "HwRtcI2CBusNum[0]",
      "BoardRevsWithRtc[0]", "HwCtrlFpgaFrameBufBaseAddr[0]", "PowerMicrocontrollerFileName[0]"};
  for (int i = 0; i < monitors; ++i) {
    std::string n = "[" + std::to_string(i) + "]";
    for (const char* key : {"monitorResTableNTSC", "monitorResTableNTSCEntries", "monitorResTablePAL",
                            "monitorResTablePALEntries", "monitorSignalTypesCount"}) {
      k.push_back(key + n);
    }
  }
  for (const char* key : {"numMonitors[0]", "monitorPresent[0]", "monitorPresent[1]", "monitorPresent[2]",
                          "monitorPresent[3]", "numVidOutput[0]", "numCameras[0]", "cameraPresent[0]",
                          "cameraPresent[1]", "cameraPresent[2]", "cameraPresent[3]", "numVidInput[0]",
                          "vidInputAccel[0]", "vidOutputAccel[0]", "ucHasPostResults[0]", "HasFan[0]",
                          "FanConfig[1]", "FanConfig[0]"}) {
    k.push_back(key);
  }
  return k;
}

TEST_F(CapsTest, HardwareSectionCountsAndOrder) {
  const std::tuple<hwTypeT, size_t, int> boards[] = {
      {hwTypeT::kCedar, 79, 2}, {hwTypeT::kBirch, 84, 3}, {hwTypeT::kHalden, 84, 3}, {hwTypeT::kAspen, 79, 2}};
  for (const auto& [hw, count, monitors] : boards) {
    SCOPED_TRACE(static_cast<int>(hw));
    use(hw);
    std::vector<DumpRow> rows = dump(eSysCapHardware);
    EXPECT_EQ(rows.size(), count);
    EXPECT_EQ(keys(rows), hardwareKeys(monitors));
    for (const DumpRow& r : rows) EXPECT_EQ(r.section, "hardware");
  }
}

TEST_F(CapsTest, SharedSectionsInOrder) {
  use(hwTypeT::kAspen);
  EXPECT_EQ(keys(dump(eSysCapVideo)),
            (std::vector<std::string>{"IpcNumFirstMainVidDsp[0]", "MainVidDspCnt[0]", "MainVidDspPciBus[0]",
                                      "MainVidDspPciBus[1]", "MainVidDspPciBus[2]", "MainVidDspPciBus[3]",
                                      "MainVidDspPciDev[0]", "MainVidDspPciDev[1]", "MainVidDspPciDev[2]",
                                      "MainVidDspPciDev[3]", "HwHasMgts[0]", "HwHasFeedbackClkMon3[0]",
                                      "VidCrossbarHasOverlay[0]", "ViopCamCtrl[0]", "Ths7303CamCtrl[0]",
                                      "CompGains[0]", "CompGains[1]", "SvideoGains[0]", "SvideoGains[1]",
                                      "VGAGains[2]"}));
  EXPECT_EQ(num(eSysCapVideo, "IpcNumFirstMainVidDsp"), 2);
  EXPECT_EQ(num(eSysCapVideo, "MainVidDspCnt"), 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(num(eSysCapVideo, "MainVidDspPciBus", i), 1);
    EXPECT_EQ(num(eSysCapVideo, "MainVidDspPciDev", i), i);
  }
  EXPECT_EQ(num(eSysCapVideo, "HwHasFeedbackClkMon3"), 1);
  EXPECT_EQ(num(eSysCapVideo, "Ths7303CamCtrl"), 6);
  EXPECT_EQ(getCapability(eSysCapVideo, "VGAGains", 0, nullptr), nullptr);
  EXPECT_NE(getCapability(eSysCapVideo, "VGAGains", 2, nullptr), nullptr);

  std::vector<DumpRow> audio = dump(eSysCapAudio);
  ASSERT_EQ(audio.size(), 4u);
  EXPECT_EQ(keys(audio), (std::vector<std::string>{"IpcNumFirstAudioDsp[0]", "AudioDspCnt[0]",
                                                   "AudioDspPciBus[0]", "AudioDspPciDev[0]"}));
  EXPECT_EQ(audio[3].value, " 16 ");
  EXPECT_EQ(audio[0].section, "audio");
}

TEST_F(CapsTest, CommSectionsStandardAndBirch) {
  const std::vector<std::string> commKeys = {
      "maxConfs[0]", "maxConnsPerConf[0]", "maxVideoConnsPerConf[0]", "maxAudioConnsPerConf[0]",
      "maxVideoStreamsPerConn[0]", "maxConns[0]", "maxIPNICs[0]", "maxH323NICs[0]", "maxSIPNICs[0]",
      "maxISDNNICs[0]", "maxBRINICs[0]", "maxPRINICs[0]", "maxV35NICs[0]", "maxPOTSNICs[0]",
      "maxSerialNICs[0]", "maxSpeakerPhoneNICs[0]", "connRate[0]", "connRate[1]", "connRate[2]", "connRate[3]",
      "connRate[4]", "connRate[5]", "connRate[6]", "connRate[7]"};
  const long rates[] = {6144, 6144, 3072, 2048, 1536, 1152, 1024, 832};
  for (hwTypeT hw : {hwTypeT::kCedar, hwTypeT::kHalden, hwTypeT::kAspen, hwTypeT::kBirch}) {
    SCOPED_TRACE(static_cast<int>(hw));
    use(hw);
    bool birch = hw == hwTypeT::kBirch;
    EXPECT_EQ(keys(dump(eSysCapComm)), commKeys);
    EXPECT_EQ(num(eSysCapComm, "maxConfs"), 1);
    EXPECT_EQ(num(eSysCapComm, "maxConnsPerConf"), birch ? 8 : 6);
    EXPECT_EQ(num(eSysCapComm, "maxVideoConnsPerConf"), birch ? 7 : 5);
    EXPECT_EQ(num(eSysCapComm, "maxAudioConnsPerConf"), 1);
    EXPECT_EQ(num(eSysCapComm, "maxVideoStreamsPerConn"), 2);
    EXPECT_EQ(num(eSysCapComm, "maxConns"), birch ? 8 : 6);
    EXPECT_EQ(num(eSysCapComm, "maxIPNICs"), 1);
    EXPECT_EQ(num(eSysCapComm, "maxISDNNICs"), 0);
    EXPECT_EQ(num(eSysCapComm, "maxSerialNICs"), 1);
    EXPECT_EQ(num(eSysCapComm, "maxSpeakerPhoneNICs"), 1);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(num(eSysCapComm, "connRate", i), rates[i]);
  }
}

TEST_F(CapsTest, ValuesCommonToAllBoards) {
  for (hwTypeT hw : {hwTypeT::kCedar, hwTypeT::kBirch, hwTypeT::kHalden, hwTypeT::kAspen}) {
    SCOPED_TRACE(static_cast<int>(hw));
    use(hw);
    EXPECT_EQ(text(eSysCapHardware, "numProcessors"), " 1 ");
    EXPECT_EQ(num(eSysCapHardware, "maxMicpods"), 2);
    EXPECT_EQ(num(eSysCapHardware, "MaxTempSensors"), 2);
    EXPECT_EQ(num(eSysCapHardware, "SerialPorts"), 2);
    EXPECT_EQ(num(eSysCapHardware, "HwFamily"), 3);
    EXPECT_EQ(num(eSysCapHardware, "FpgaLoadFamily"), 2);
    EXPECT_EQ(text(eSysCapHardware, "BoardRevsWithRtc"), " -1 ");
    EXPECT_EQ(text(eSysCapHardware, "PowerMicrocontrollerFileName"), " cedar.bin ");
    EXPECT_EQ(num(eSysCapHardware, "numCameras"), 4);
    EXPECT_EQ(num(eSysCapHardware, "monitorPresent", 0), 1);
    EXPECT_EQ(num(eSysCapHardware, "monitorPresent", 1), 1);
    EXPECT_EQ(num(eSysCapHardware, "monitorPresent", 2), 1);
    EXPECT_EQ(text(eSysCapHardware, "monitorPresent", 3), " 0 ");
    for (const char* k : {"FanFastest", "FanMiddle", "FanSlowest", "TempHigh", "TempLow", "TempMid"}) {
      EXPECT_EQ(text(eSysCapHardware, k), " 0 ") << k;
    }
    EXPECT_EQ(text(eSysCapHardware, "FanConfig", 0), " 16,4,5,144,5,146,2,148,3,150,3,66,96,70,57,75,32 ");
    EXPECT_EQ(text(eSysCapHardware, "FanConfig", 1), " 16,4,5,144,5,146,2,148,3,150,1,0,128 ");
  }
}

TEST_F(CapsTest, ValuesThatDifferByBoard) {
  struct Expect {
    hwTypeT hw;
    long audioIn, audioOut, monitors;
    long entries[3];  // -1: absent
    long signals[3];
    long micas, onyx, micaOnyx, post;
  };
  const Expect table[] = {
      {hwTypeT::kCedar, 8, 6, 2, {6, 10, -1}, {2, 4, -1}, 4, 1, 3, 1},
      {hwTypeT::kBirch, 16, 8, 3, {11, 17, 17}, {4, 4, 4}, 4, 1, 3, 1},
      {hwTypeT::kHalden, 8, 6, 3, {6, 17, 6}, {2, 4, 2}, 4, 1, 3, 0},
      {hwTypeT::kAspen, 23, 8, 2, {6, 10, -1}, {2, 4, -1}, 3, 0, 0, 1},
  };
  for (const Expect& e : table) {
    SCOPED_TRACE(static_cast<int>(e.hw));
    use(e.hw);
    const eSysCapSectionT hw = eSysCapHardware;
    EXPECT_EQ(num(hw, "audioInputs", 0), e.audioIn);
    EXPECT_EQ(num(hw, "audioOutputs", 0), e.audioOut);
    EXPECT_EQ(num(hw, "numMonitors"), e.monitors);
    EXPECT_EQ(num(hw, "numVidOutput"), e.monitors);
    for (int i = 0; i < 3; ++i) {
      SCOPED_TRACE(i);
      if (e.entries[i] < 0) {
        EXPECT_EQ(text(hw, "monitorResTableNTSCEntries", i), "<absent>");
        EXPECT_EQ(text(hw, "monitorResTablePALEntries", i), "<absent>");
        EXPECT_EQ(text(hw, "monitorSignalTypesCount", i), "<absent>");
        EXPECT_EQ(text(hw, "monitorResTableNTSC", i), "<absent>");
        continue;
      }
      EXPECT_EQ(num(hw, "monitorResTableNTSCEntries", i), e.entries[i]);
      EXPECT_EQ(num(hw, "monitorResTablePALEntries", i), e.entries[i]);
      EXPECT_EQ(num(hw, "monitorSignalTypesCount", i), e.signals[i]);
      // The tables hold as many rows as their entry counts say, with as
      // many signal kinds as counted, at 60 Hz and 50 Hz respectively.
      const auto* ntsc = static_cast<const SysCapMonitorResS*>(getCapability(hw, "monitorResTableNTSC", i, nullptr));
      const auto* pal = static_cast<const SysCapMonitorResS*>(getCapability(hw, "monitorResTablePAL", i, nullptr));
      ASSERT_NE(ntsc, nullptr);
      ASSERT_NE(pal, nullptr);
      std::vector<std::string> kinds;
      for (long r = 0; r < e.entries[i]; ++r) {
        EXPECT_EQ(ntsc[r].refreshRate, 60);
        EXPECT_EQ(pal[r].refreshRate, 50);
        EXPECT_STREQ(ntsc[r].videoSignal, pal[r].videoSignal);
        bool seen = false;
        for (const std::string& k : kinds) seen = seen || k == ntsc[r].videoSignal;
        if (!seen) kinds.push_back(ntsc[r].videoSignal);
      }
      EXPECT_EQ(static_cast<long>(kinds.size()), e.signals[i]);
    }
    EXPECT_EQ(num(hw, "clink2MaxMicas"), e.micas);
    EXPECT_EQ(num(hw, "clink2MaxOnyx"), e.onyx);
    EXPECT_EQ(num(hw, "clink2MaxMica+Onyx"), e.micaOnyx);
    EXPECT_EQ(text(hw, "ucHasPostResults"), " " + std::to_string(e.post) + " ");
    // The audio tables are as long as the counts.
    const auto* in = static_cast<const audioIOInfoS*>(getCapability(hw, "audioInTable", 0, nullptr));
    const auto* out = static_cast<const audioIOInfoS*>(getCapability(hw, "audioOutTable", 0, nullptr));
    ASSERT_NE(in, nullptr);
    ASSERT_NE(out, nullptr);
    for (long r = 0; r < e.audioIn; ++r) EXPECT_NE(in[r].name[0], '\0') << r;
    for (long r = 0; r < e.audioOut; ++r) EXPECT_NE(out[r].name[0], '\0') << r;
  }
}

TEST_F(CapsTest, SampleRowsOfTheSubTables) {
  use(hwTypeT::kCedar);
  const auto* ntsc =
      static_cast<const SysCapMonitorResS*>(getCapability(eSysCapHardware, "monitorResTableNTSC", 0, nullptr));
  ASSERT_NE(ntsc, nullptr);
  const std::tuple<const char*, int, int, int, int> rows[] = {
      {"HDMI", 1920, 1080, 60, 1}, {"HDMI", 1280, 720, 60, 0}, {"HDMI", 1920, 1080, 60, 0},
      {"DVID", 1920, 1080, 60, 1}, {"DVID", 1280, 720, 60, 0}, {"DVID", 1920, 1080, 60, 0}};
  for (int r = 0; r < 6; ++r) {
    EXPECT_STREQ(ntsc[r].videoSignal, std::get<0>(rows[r]));
    EXPECT_EQ(ntsc[r].width, std::get<1>(rows[r]));
    EXPECT_EQ(ntsc[r].height, std::get<2>(rows[r]));
    EXPECT_EQ(ntsc[r].refreshRate, std::get<3>(rows[r]));
    EXPECT_EQ(ntsc[r].bIsInterlaced, std::get<4>(rows[r]));
  }
  const auto* in = static_cast<const audioIOInfoS*>(getCapability(eSysCapHardware, "audioInTable", 0, nullptr));
  ASSERT_NE(in, nullptr);
  bool hdci = false, line = false;
  for (int r = 0; r < 8; ++r) {
    hdci = hdci || (strcmp(in[r].name, "HDCI1_AudioL") == 0 && strcmp(in[r].rootName, "HDCI1_Audio") == 0);
    line = line || (strcmp(in[r].name, "LineInL") == 0 && strcmp(in[r].rootName, "LineIn") == 0);
  }
  EXPECT_TRUE(hdci);
  EXPECT_TRUE(line);
}

TEST_F(CapsTest, PostResultsPresentOnCedarOnly) {
  use(hwTypeT::kCedar);
  EXPECT_NE(getCapability(eSysCapHardware, "ucHasPostResults", 0, nullptr), nullptr);
  use(hwTypeT::kHalden);
  EXPECT_EQ(getCapability(eSysCapHardware, "ucHasPostResults", 0, nullptr), nullptr);
}

TEST_F(CapsTest, ConnRateAndIceChangeSet) {
  use(hwTypeT::kCedar);
  char buf[kSysCapValueLen];
  EXPECT_EQ(reinterpret_cast<intptr_t>(getCapability(eSysCapComm, "connRate", 2, buf)), 3072);
  EXPECT_STREQ(buf, " 3072 ");
  EXPECT_EQ(setRateCapabilities(1), 1);
  EXPECT_EQ(reinterpret_cast<intptr_t>(getCapability(eSysCapComm, "connRate", 2, buf)), 1024);
  EXPECT_STREQ(buf, " 1024 ");
  const long ice[] = {1920, 1920, 1024, 512, 384, 256, 128, 128};
  const long noIce[] = {6144, 6144, 3072, 2048, 1536, 1152, 1024, 832};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(num(eSysCapComm, "connRate", i), ice[i]);
  EXPECT_EQ(setRateCapabilities(0), 1);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(num(eSysCapComm, "connRate", i), noIce[i]);
  // The prepared sets themselves.
  const sysCapsT* set = getRateCaps(1);
  int n = 0;
  for (; set[n].keyName != nullptr; ++n) {
    EXPECT_STREQ(set[n].keyName, "connRate");
    EXPECT_EQ(set[n].instance, static_cast<uint32_t>(n));
    EXPECT_EQ(reinterpret_cast<intptr_t>(set[n].val), ice[n]);
  }
  EXPECT_EQ(n, 8);
}

TEST_F(CapsTest, AbsentLookups) {
  for (hwTypeT hw : {hwTypeT::kCedar, hwTypeT::kBirch, hwTypeT::kHalden, hwTypeT::kAspen}) {
    use(hw);
    char buf[kSysCapValueLen] = "unchanged";
    EXPECT_EQ(getCapability(eSysCapSystem, "numProcessors", 0, buf), nullptr);
    EXPECT_STREQ(buf, "unchanged");
    EXPECT_EQ(setCapability(eSysCapSystem, "numProcessors", 0, sysCapInt(5)), -1);
    EXPECT_EQ(getCapability(static_cast<eSysCapSectionT>(-1), "numProcessors", 0, nullptr), nullptr);
    EXPECT_EQ(getCapability(eSysCapNumSections, "numProcessors", 0, nullptr), nullptr);
    // Keys are case-sensitive.
    EXPECT_EQ(getCapability(eSysCapHardware, "UcHasPostResults", 0, nullptr), nullptr);
    EXPECT_EQ(getCapability(eSysCapHardware, "numprocessors", 0, nullptr), nullptr);
    // Wrong instance, wrong section, unknown key, null key.
    EXPECT_EQ(getCapability(eSysCapHardware, "numProcessors", 1, nullptr), nullptr);
    EXPECT_EQ(getCapability(eSysCapComm, "numProcessors", 0, nullptr), nullptr);
    EXPECT_EQ(getCapability(eSysCapHardware, "noSuchKey", 0, nullptr), nullptr);
    EXPECT_EQ(getCapability(eSysCapHardware, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(setCapability(eSysCapHardware, "noSuchKey", 0, sysCapInt(5)), -1);
  }
}

TEST_F(CapsTest, BoardsWithoutTableAnswerAbsent) {
  for (hwTypeT hw : {hwTypeT::kUninitialized, hwTypeT::kTundra, hwTypeT::kOrbscope, hwTypeT::kSorrel}) {
    use(hw);
    EXPECT_EQ(getCapability(eSysCapComm, "maxConfs", 0, nullptr), nullptr);
    EXPECT_EQ(setCapability(eSysCapComm, "maxConfs", 0, sysCapInt(2)), -1);
    EXPECT_EQ(setRateCapabilities(0), 1);  // the set exists; its entries just find nothing
    EXPECT_TRUE(dump(eSysCapNumSections).empty());
  }
}

TEST_F(CapsTest, ChosenOnFirstUseAndKeptAfterwards) {
  use(hwTypeT::kBirch);
  EXPECT_EQ(num(eSysCapComm, "maxConns"), 8);
  SetSystemHardwareType(hwTypeT::kCedar);  // too late: the table was chosen
  EXPECT_EQ(num(eSysCapComm, "maxConns"), 8);
}

TEST_F(CapsTest, SetCapabilityChangesOnlyTheWorkingTable) {
  use(hwTypeT::kCedar);
  EXPECT_EQ(setCapability(eSysCapHardware, "numCameras", 0, sysCapInt(2)), 0);
  EXPECT_EQ(num(eSysCapHardware, "numCameras"), 2);
  // Another board shares nothing it did not share before, and the
  // built-in data is the initial state again after a new choice.
  use(hwTypeT::kAspen);
  EXPECT_EQ(num(eSysCapHardware, "numCameras"), 4);
  use(hwTypeT::kCedar);
  EXPECT_EQ(num(eSysCapHardware, "numCameras"), 4);
  // Shared video data: a change on one board is not seen after re-choosing.
  EXPECT_EQ(setCapability(eSysCapVideo, "MainVidDspCnt", 0, sysCapInt(9)), 0);
  use(hwTypeT::kBirch);
  EXPECT_EQ(num(eSysCapVideo, "MainVidDspCnt"), 4);
}

TEST_F(CapsTest, HaldenDualGraphicMode) {
  const char* mode[] = {"DualGraphicMode", "dualgraphicmode"};
  for (const char* m : mode) {
    SCOPED_TRACE(m);
    setenv("HALDEN_MODE", m, 1);
    use(hwTypeT::kHalden);
    const eSysCapSectionT hw = eSysCapHardware;
    EXPECT_EQ(getCapability(hw, "audioOutTable", 0, nullptr), static_cast<const void*>(kCedarAudioOut));
    EXPECT_EQ(num(hw, "audioOutputs", 0), 6);
    EXPECT_EQ(num(hw, "monitorResTableNTSCEntries", 0), 11);
    EXPECT_EQ(num(hw, "monitorResTablePALEntries", 0), 11);
    EXPECT_EQ(num(hw, "monitorSignalTypesCount", 0), 4);
    EXPECT_EQ(num(hw, "monitorResTableNTSCEntries", 1), 8);
    EXPECT_EQ(num(hw, "monitorResTablePALEntries", 1), 8);
    EXPECT_EQ(num(hw, "monitorSignalTypesCount", 1), 2);
    EXPECT_EQ(getCapability(hw, "monitorResTableNTSC", 1, nullptr), static_cast<const void*>(kMonRes8Ntsc));
    EXPECT_EQ(getCapability(hw, "monitorResTablePAL", 0, nullptr), static_cast<const void*>(kMonRes11Pal));
    // Monitor 2 and the count of entries are untouched.
    EXPECT_EQ(num(hw, "monitorResTableNTSCEntries", 2), 6);
    EXPECT_EQ(dump(hw).size(), 84u);
  }
  // Without the mode, or with another value, the plain kHalden table.
  for (const char* m : {"", "DualGraphic", "SingleGraphicMode"}) {
    setenv("HALDEN_MODE", m, 1);
    use(hwTypeT::kHalden);
    EXPECT_NE(getCapability(eSysCapHardware, "audioOutTable", 0, nullptr), static_cast<const void*>(kCedarAudioOut));
    EXPECT_EQ(num(eSysCapHardware, "monitorResTableNTSCEntries", 1), 17);
  }
  // The mode means nothing on another board.
  setenv("HALDEN_MODE", "DualGraphicMode", 1);
  use(hwTypeT::kCedar);
  EXPECT_EQ(num(eSysCapHardware, "monitorResTableNTSCEntries", 1), 10);
  // Applied by hand on any board, the set changes what that board has.
  EXPECT_EQ(changeHaldenInDualGraphicModeHWCapabilities(), 1);
  EXPECT_EQ(num(eSysCapHardware, "monitorResTableNTSCEntries", 1), 8);
  int n = 0;
  for (const sysCapsT* e = getHaldenInDualGraphicModeHWChangesCaps(); e->keyName != nullptr; ++e) ++n;
  EXPECT_EQ(n, 12);
}

TEST_F(CapsTest, DumpOfAllSectionsAndOfOne) {
  use(hwTypeT::kCedar);
  std::vector<DumpRow> all = dump(eSysCapNumSections);
  ASSERT_EQ(all.size(), 20u + 4u + 24u + 79u);
  EXPECT_EQ(all.front().section, "video");
  EXPECT_EQ(all[20].section, "audio");
  EXPECT_EQ(all[24].section, "comm");
  EXPECT_EQ(all[48].section, "hardware");
  EXPECT_EQ(all.back().key, "FanConfig");
  EXPECT_EQ(all.back().instance, 0);
  EXPECT_TRUE(dump(eSysCapSystem).empty());
  // Sub-table pointers print in hexadecimal, as 32-bit words.
  char expect[kSysCapValueLen];
  snprintf(expect, sizeof expect, " %x ",
           static_cast<unsigned>(reinterpret_cast<uintptr_t>(static_cast<const void*>(kMonRes6Ntsc))));
  EXPECT_EQ(text(eSysCapHardware, "monitorResTableNTSC", 0), expect);
  EXPECT_EQ(text(eSysCapHardware, "HwCtrlFpgaFrameBufBaseAddr"), " 1000000 ");
}

TEST_F(CapsTest, DumpWithoutFunctionPrintsLines) {
  use(hwTypeT::kCedar);
  testing::internal::CaptureStdout();
  dumpCapabilities(nullptr, eSysCapAudio);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "Section: audio\tKey: IpcNumFirstAudioDsp\tInstance: 0\tValue:  1 \n"
            "Section: audio\tKey: AudioDspCnt\tInstance: 0\tValue:  1 \n"
            "Section: audio\tKey: AudioDspPciBus\tInstance: 0\tValue:  0 \n"
            "Section: audio\tKey: AudioDspPciDev\tInstance: 0\tValue:  16 \n");
}

TEST_F(CapsTest, FormatsOfEveryKind) {
  double d = 2.5;
  const char* s = "text";
  const sysCapsT entries[] = {{"r", &d, 0, kSysCapFmtReal},
                              {"s", sysCapPtr(s), 0, kSysCapFmtStr},
                              {"x", sysCapInt(255), 0, kSysCapFmtHex},
                              {"d", sysCapInt(-7), 0, kSysCapFmtInt},
                              {"n", nullptr, 0, kSysCapFmtStr}};
  const char* want[] = {" 2.500000 ", " text ", " ff ", " -7 ", " (null) "};
  for (size_t i = 0; i < 5; ++i) {
    char buf[kSysCapValueLen];
    sysCapsFormatValue(&entries[i], buf, sizeof buf);
    EXPECT_STREQ(buf, want[i]);
  }
  // A long text is cut to the buffer.
  std::string longText(200, 'a');
  sysCapsT big = {"b", sysCapPtr(longText.c_str()), 0, kSysCapFmtStr};
  char buf[kSysCapValueLen];
  sysCapsFormatValue(&big, buf, sizeof buf);
  EXPECT_EQ(strlen(buf), kSysCapValueLen - 1);
}

TEST_F(CapsTest, LookupOnAGivenTable) {
  sysCapsT tbl[] = {{"a", sysCapInt(1), 0, kSysCapFmtInt},
                    {"a", sysCapInt(2), 1, kSysCapFmtInt},
                    {"a", sysCapInt(3), 1, kSysCapFmtInt},
                    {nullptr, nullptr, 0, nullptr}};
  EXPECT_EQ(lookupCapability("a", 1, tbl), &tbl[1]);  // the first match wins
  EXPECT_EQ(lookupCapability("a", 2, tbl), nullptr);
  EXPECT_EQ(lookupCapability("A", 0, tbl), nullptr);
  EXPECT_EQ(lookupCapability("a", 0, nullptr), nullptr);
}

}  // namespace
