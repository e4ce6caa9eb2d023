// Settings that differ between models: the hang-up key and CEC of the
// Halden, the end-user licence file, the embedded switch, and who may
// change the modular-room mode.
#include <cstring>

#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvStartup.h"
#include "tests/systemservice/test_startup_fixture.h"

namespace {

class StartupModelTest : public StartupTest {};

TEST_F(StartupModelTest, HaldenOfHardwareVersionZeroOffersTwoHangupFunctionsAndNoCec) {
  cfg().set("system.info.hardwareversion", "0");
  initModelSpecific(kHalden);
  EXPECT_EQ(cfg().requests(), (std::vector<std::string>{
                                  "read system.info.hardwareversion",
                                  "options system.remote.hangupkeylongpressfunc as 50 [None|Sleep] default 1",
                                  "write video.cec.cecenable = False as 50",
                                  "levels video.cec.cecenable as 50 read 10 write 30",
                                  "write system.info.eulafile = eula as 50",
                                  "levels system.network.embeddedswitch as 50 read 50 write 50",
                                  "read system.info.hardwareversion",
                                  "levels system.modularroom.mode as 30 read 30 write 30",
                              }));
  EXPECT_STREQ(ir_filter_sys_file, "/proc/crvl_fpga_ir_fltr");
}

TEST_F(StartupModelTest, HaldenOfHardwareVersionOneIsTheSame) {
  cfg().set("system.info.hardwareversion", "1");
  initModelSpecific(kHalden);
  std::vector<std::string> all = cfg().requests();
  ASSERT_GE(all.size(), 4u);
  EXPECT_EQ(all[1], "options system.remote.hangupkeylongpressfunc as 50 [None|Sleep] default 1");
  EXPECT_EQ(all[2], "write video.cec.cecenable = False as 50");
  EXPECT_EQ(all[3], "levels video.cec.cecenable as 50 read 10 write 30");
}

TEST_F(StartupModelTest, LaterHaldenCanPowerOffAndKeepsCec) {
  for (const char* hw : {"2", "10", "01", ""}) {
    forget();
    snprintf(ir_filter_sys_file, sizeof ir_filter_sys_file, "%s", "/proc/crvl_ir_fltr");
    cfg().set("system.info.hardwareversion", hw);
    initModelSpecific(kHalden);
    std::vector<std::string> all = cfg().requests();
    ASSERT_GE(all.size(), 3u);
    EXPECT_EQ(all[1], "options system.remote.hangupkeylongpressfunc as 50 [None|Power_Off|Sleep] default 1") << hw;
    EXPECT_EQ(all[2], "write system.info.eulafile = eula as 50") << hw;
    EXPECT_STREQ(ir_filter_sys_file, "/proc/crvl_fpga_ir_fltr");
  }
}

TEST_F(StartupModelTest, OtherModelsKeepTheirInfraredFileAndHangupOptions) {
  cfg().set("system.info.hardwareversion", "0");
  initModelSpecific(kCedar);
  EXPECT_EQ(cfg().requests(), (std::vector<std::string>{
                                  "write system.info.eulafile = eula as 50",
                                  "levels system.network.embeddedswitch as 50 read 50 write 50",
                                  "read system.info.hardwareversion",
                                  "levels system.modularroom.mode as 30 read 30 write 30",
                              }));
  EXPECT_STREQ(ir_filter_sys_file, "/proc/crvl_ir_fltr");
}

TEST_F(StartupModelTest, OnlyTheBirchLeavesItsEmbeddedSwitchOpen) {
  initModelSpecific(kBirch);
  EXPECT_EQ(cfg().requests(), (std::vector<std::string>{
                                  "write system.info.eulafile = eula as 50",
                                  "read system.info.hardwareversion",
                                  "levels system.modularroom.mode as 30 read 30 write 30",
                              }));
}

TEST_F(StartupModelTest, ModularRoomModeIsOpenOnlyOnCapableBoards) {
  const struct {
    eModelT model;
    const char* hw;
    bool open;
  } kCases[] = {
      {kCedar, "20", true},      {kCedar, "35", true},      {kCedar, "19", false},    {kCedar, "", false},
      {kCedar110, "20", true},   {kCedar110, "3", false},   {kLumenPro, "20", true},  {kLumenPro, "19", false},
      {kCedar100, "40", false},  {kHalden, "40", false},    {kBirch, "40", false},    {kAspen, "40", false},
      {kUnknownModel, "40", false},
  };
  for (const auto& c : kCases) {
    forget();
    cfg().set("system.info.hardwareversion", c.hw);
    initModelSpecific(c.model);
    std::vector<std::string> all = cfg().requests();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back(), c.open ? "levels system.modularroom.mode as 30 read 20 write 20"
                                 : "levels system.modularroom.mode as 30 read 30 write 30")
        << "model " << c.model << " hardware " << c.hw;
  }
}

TEST_F(StartupModelTest, DeveloperFeaturesAlwaysOpenTheModularRoomMode) {
  m_bDevfeatures = true;
  for (eModelT model : {kUnknownModel, kCedar100, kCedar110, kLumenPro, kCedar, kHalden, kBirch, kAspen}) {
    forget();
    cfg().set("system.info.hardwareversion", "0");
    initModelSpecific(model);
    EXPECT_EQ(cfg().requests().back(), "levels system.modularroom.mode as 30 read 20 write 20") << model;
  }
}

}  // namespace
