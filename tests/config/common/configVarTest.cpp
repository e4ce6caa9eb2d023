// ConfigVar: lower-cased names, constructors, copies without the
// multi-string flag, names and ordering; ConfigResult's reset keeps whom
// the result concerns.
#include <gtest/gtest.h>

#include <set>

#include "config/common/cfgresult.h"
#include "config/common/configvar.h"

namespace {

// Every part of a reference in one text, the multi-string flag last.
std::string parts(const ConfigVar& v) {
  return std::to_string(v.getNamespace()) + "|" + v.getNodeName() + "|" + std::to_string(v.getNodeInstance()) + "|" +
         v.getVarName() + "|" + std::to_string(v.getVarInstance()) + "|" + (v.isMultiStringVar() ? "multi" : "single");
}

TEST(ConfigVarTest, ConstructorsLowerCaseTheNamesAndCopiesDropTheFlag) {
  ConfigVar flagged(2, "A.B", 1, "C", 3);
  flagged.setAsMultiStringVar();
  ConfigVar assigned("x");
  assigned = flagged;
  const std::pair<ConfigVar, const char*> cases[] = {
      {ConfigVar(3, "Video.Monitor", 1, "SignalType", 2), "3|video.monitor|1|signaltype|2|single"},
      {ConfigVar("Video.Monitor", 1, "SignalType", 2), "0|video.monitor|1|signaltype|2|single"},
      {ConfigVar("System.Network", "HostName"), "0|system.network|0|hostname|0|single"},
      {ConfigVar("HostName"), "0||0|hostname|0|single"},
      {ConfigVar("A1.B_2-C", "\xC3\x84X[0]"), "0|a1.b_2-c|0|\xC3\x84x[0]|0|single"},
      {ConfigVar(flagged), "2|a.b|1|c|3|single"},
      {assigned, "2|a.b|1|c|3|single"},
      {ConfigVar(5, flagged), "5|a.b|1|c|3|single"},
  };
  for (const auto& c : cases) EXPECT_EQ(parts(c.first), c.second);
  EXPECT_EQ(parts(flagged), "2|a.b|1|c|3|multi");
}

TEST(ConfigVarTest, NamesEqualityAndOrdering) {
  EXPECT_EQ(ConfigVar("video", 1, "signalType", 2).getFQName(), "video[1].signaltype[2]");
  EXPECT_EQ(ConfigVar("HostName").getFQName(), "hostname");
  EXPECT_EQ(ConfigVar("a", "b").getFullyQualifiedName(), "a.b");
  EXPECT_EQ(ConfigVar(2, "a", 0, "b", 0).getFullyQualifiedName(), "cfg[2].a.b");
  ConfigVar a("System.Network", "HostName");
  ConfigVar b("system.network", "hostname");
  b.setAsMultiStringVar();
  EXPECT_TRUE(a == b);
  for (const ConfigVar& other : {ConfigVar(1, "system.network", 0, "hostname", 0), ConfigVar("system.network", 1, "hostname", 0),
                                 ConfigVar("system.network", 0, "hostname", 1), ConfigVar("system.networks", "hostname")}) {
    EXPECT_TRUE(a != other) << other.getFullyQualifiedName();
    EXPECT_NE(a < other, other < a) << other.getFullyQualifiedName();
  }
  std::set<ConfigVar> s = {ConfigVar("b", "x"), ConfigVar("a", "y"), ConfigVar("A", "Y"), ConfigVar(1, "a", 0, "a", 0),
                           ConfigVar("a", 0, "y", 1)};
  std::vector<std::string> order;
  for (const ConfigVar& v : s) order.push_back(v.getFullyQualifiedName());
  EXPECT_EQ(order, (std::vector<std::string>{"a.y", "a.y[1]", "b.x", "cfg[1].a.a"}));
}

TEST(ConfigResultTest, FillDefaultsClearsTheOutcomeButKeepsContextAndClient) {
  ConfigResult r;
  EXPECT_FALSE(r.fillConfigResult(false, kRejected, true));
  r.addResultMessage("bad value");
  r.setServerContext("srv-42");
  r.setClientName("SystemSrvc");
  EXPECT_EQ(&ConfigResult::fillDefaults(r), &r);
  EXPECT_EQ(r.getErrorCode(), kNoError);
  EXPECT_FALSE(r.getIsRebootNeeded());
  EXPECT_TRUE(r.getErrorTags().empty());
  EXPECT_EQ(r.getServerContext() + " " + r.getClientName(), "srv-42 SystemSrvc");
}

}  // namespace
