// buildCfgVarName and buildCfgVarValue: turning the Inst and InstValue of
// incoming configuration messages back into a name and a value.
#include <google/protobuf/text_format.h>
#include <gtest/gtest.h>

#include "systemservice/syssrvCfgMsg.h"

namespace {

ConfigIF::Inst instOf(const std::string& text) {
  ConfigIF::Inst inst;
  EXPECT_TRUE(google::protobuf::TextFormat::ParseFromString(text, &inst)) << text;
  return inst;
}

ConfigIF::InstValue valuesOf(const std::string& text) {
  ConfigIF::InstValue iv;
  EXPECT_TRUE(google::protobuf::TextFormat::ParseFromString(text, &iv)) << text;
  return iv;
}

TEST(CfgVarNameTest, InstancesOfInnerNodesAreWrittenBehindThem) {
  std::string name = "stale";
  EXPECT_EQ(buildCfgVarName(name, instOf("node { name: 'a' instance: 2 } node { name: 'b' instance: 0 } "
                                         "node { name: 'c' instance: 3 }")),
            3);
  EXPECT_EQ(name, "a[2].b.c");
}

TEST(CfgVarNameTest, MonitorSignalTypeExample) {
  std::string name;
  EXPECT_EQ(buildCfgVarName(name, instOf("node { name: 'video' instance: 0 } node { name: 'monitor' instance: 1 } "
                                         "node { name: 'signalType' instance: 0 }")),
            0);
  EXPECT_EQ(name, "video.monitor[1].signalType");
}

TEST(CfgVarNameTest, ASingleDottedNodeIsTheWholeName) {
  std::string name;
  EXPECT_EQ(buildCfgVarName(name, instOf("node { name: 'system.network.dnsserver' instance: 3 }")), 3);
  EXPECT_EQ(name, "system.network.dnsserver");
}

TEST(CfgVarNameTest, NamesKeepTheirCaseAndNegativeInstancesAreWritten) {
  std::string name;
  EXPECT_EQ(buildCfgVarName(name, instOf("node { name: 'Cfg' instance: -1 } node { name: 'X' instance: -4 }")), -4);
  EXPECT_EQ(name, "Cfg[-1].X");
}

TEST(CfgVarNameTest, NoNodesGiveEmptyNameAndZero) {
  std::string name = "stale";
  EXPECT_EQ(buildCfgVarName(name, ConfigIF::Inst()), 0);
  EXPECT_EQ(name, "");
}

TEST(CfgVarValueTest, ValuesAreJoinedWithOneNewlineAndNoneAtTheEnd) {
  std::string value = "stale";
  EXPECT_EQ(buildCfgVarValue(value, valuesOf("value: 'a' value: 'b' value: 'c'")), 0);
  EXPECT_EQ(value, "a\nb\nc");
  EXPECT_EQ(value.size(), 5u);
}

TEST(CfgVarValueTest, EmptyValuesStillTakeTheirPlace) {
  std::string value;
  buildCfgVarValue(value, valuesOf("value: '' value: 'x' value: ''"));
  EXPECT_EQ(value, "\nx\n");
  buildCfgVarValue(value, valuesOf("value: 'only'"));
  EXPECT_EQ(value, "only");
}

TEST(CfgVarValueTest, NoValuesGiveTheEmptyString) {
  std::string value = "stale";
  buildCfgVarValue(value, ConfigIF::InstValue());
  EXPECT_EQ(value, "");
}

}  // namespace
