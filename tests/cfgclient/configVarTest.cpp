// ConfigVar (constructors, lower-casing, the multi-string flag, names and
// ordering) and ConfigResult (defaults, filling, messages, strings).
#include <gtest/gtest.h>

#include <set>

#include "config/common/cfgresult.h"
#include "config/common/configvar.h"

namespace {

void expectVar(const ConfigVar& v, int ns, const std::string& node, int nodeInst, const std::string& var, int varInst) {
  EXPECT_EQ(v.getNamespace(), ns);
  EXPECT_EQ(v.getNodeName(), node);
  EXPECT_EQ(v.getNodeInstance(), nodeInst);
  EXPECT_EQ(v.getVarName(), var);
  EXPECT_EQ(v.getVarInstance(), varInst);
  EXPECT_FALSE(v.isMultiStringVar());
}

// ---- ConfigVar ----

TEST(ConfigVarTest, NamesAreStoredInLowerCase) {
  ConfigVar v("System.Network", "HostName");
  expectVar(v, 0, "system.network", 0, "hostname", 0);
}

TEST(ConfigVarTest, EveryConstructorFillsWhatItIsGivenAndZeroesTheRest) {
  expectVar(ConfigVar(3, "Video.Monitor", 1, "SignalType", 2), 3, "video.monitor", 1, "signaltype", 2);
  expectVar(ConfigVar("Video.Monitor", 1, "SignalType", 2), 0, "video.monitor", 1, "signaltype", 2);
  expectVar(ConfigVar("location", "LANGUAGE"), 0, "location", 0, "language", 0);
  expectVar(ConfigVar("HostName"), 0, "", 0, "hostname", 0);
}

TEST(ConfigVarTest, LowerCasingLeavesDigitsPunctuationAndHighBytesAlone) {
  ConfigVar v("A1.B_2-C", "\xC3\x84X[0]");
  EXPECT_EQ(v.getNodeName(), "a1.b_2-c");
  EXPECT_EQ(v.getVarName(), "\xC3\x84x[0]");
}

TEST(ConfigVarTest, CopiesNeverCarryTheMultiStringFlag) {
  ConfigVar v(2, "A", 1, "B", 3);
  v.setAsMultiStringVar();
  EXPECT_TRUE(v.isMultiStringVar());
  ConfigVar copy(v);
  expectVar(copy, 2, "a", 1, "b", 3);
  ConfigVar assigned("x");
  assigned = v;
  expectVar(assigned, 2, "a", 1, "b", 3);
  ConfigVar renamed(5, v);
  expectVar(renamed, 5, "a", 1, "b", 3);
  v.setAsMultiStringVar(false);
  EXPECT_FALSE(v.isMultiStringVar());
}

TEST(ConfigVarTest, NamespaceConstructorReplacesOnlyTheNamespace) {
  ConfigVar inner(7, "Node", 4, "Var", 9);
  expectVar(ConfigVar(0, inner), 0, "node", 4, "var", 9);
}

TEST(ConfigVarTest, FullNamesShowInstancesAndNamespaceOnlyWhenSet) {
  EXPECT_EQ(ConfigVar("System.Network", "HostName").getFQName(), "system.network.hostname");
  EXPECT_EQ(ConfigVar("video", 1, "signalType", 2).getFQName(), "video[1].signaltype[2]");
  EXPECT_EQ(ConfigVar("HostName").getFQName(), "hostname");
  EXPECT_EQ(ConfigVar("a", "b").getFullyQualifiedName(), "a.b");
  EXPECT_EQ(ConfigVar(2, "a", 0, "b", 0).getFullyQualifiedName(), "cfg[2].a.b");
}

TEST(ConfigVarTest, EqualityIgnoresCaseOfTheInputAndTheFlag) {
  ConfigVar a("System.Network", "HostName");
  ConfigVar b("system.network", "hostname");
  b.setAsMultiStringVar();
  EXPECT_TRUE(a == b);
  EXPECT_FALSE(a != b);
  EXPECT_FALSE(a == ConfigVar(1, "system.network", 0, "hostname", 0));
  EXPECT_FALSE(a == ConfigVar("system.network", 1, "hostname", 0));
  EXPECT_FALSE(a == ConfigVar("system.network", 0, "hostname", 1));
  EXPECT_FALSE(a == ConfigVar("system.networks", "hostname"));
  EXPECT_FALSE(a == ConfigVar("system.network", "hostnames"));
}

TEST(ConfigVarTest, OrderingIsStrictAndConsistentWithEquality) {
  std::set<ConfigVar> s = {ConfigVar("b", "x"), ConfigVar("a", "y"), ConfigVar("A", "Y"), ConfigVar(1, "a", 0, "a", 0),
                           ConfigVar("a", 0, "y", 1)};
  ASSERT_EQ(s.size(), 4u);
  auto it = s.begin();
  EXPECT_EQ((it++)->getFQName(), "a.y");
  EXPECT_EQ((it++)->getFQName(), "a.y[1]");
  EXPECT_EQ((it++)->getFQName(), "b.x");
  EXPECT_EQ((it++)->getFullyQualifiedName(), "cfg[1].a.a");
  EXPECT_FALSE(ConfigVar("a", "b") < ConfigVar("a", "b"));
}

// ---- ConfigResult ----

TEST(ConfigResultTest, StartsEmpty) {
  ConfigResult r;
  EXPECT_EQ(r.getErrorCode(), kNoError);
  EXPECT_FALSE(r.getIsRebootNeeded());
  EXPECT_TRUE(r.getErrorTags().empty());
  EXPECT_EQ(r.getServerContext(), "");
  EXPECT_EQ(r.getClientName(), "");
}

TEST(ConfigResultTest, FillConfigResultStoresCodeAndFlagAndReturnsTheGivenResult) {
  ConfigResult r;
  EXPECT_FALSE(r.fillConfigResult(false, kBadParameter, true));
  EXPECT_EQ(r.getErrorCode(), kBadParameter);
  EXPECT_TRUE(r.getIsRebootNeeded());
  EXPECT_TRUE(r.fillConfigResult(true, kItemNotFound, false));
  EXPECT_EQ(r.getErrorCode(), kItemNotFound);
  EXPECT_FALSE(r.getIsRebootNeeded());
}

TEST(ConfigResultTest, MessagesKeepTheirOrderAndStringsAreReplaced) {
  ConfigResult r;
  r.addResultMessage("first");
  r.addResultMessage("second");
  r.addResultMessage("first");
  EXPECT_EQ(r.getErrorTags(), (std::list<std::string>{"first", "second", "first"}));
  r.setServerContext("ctx-1");
  r.setServerContext("ctx-2");
  r.setClientName("A");
  r.setClientName("B");
  EXPECT_EQ(r.getServerContext(), "ctx-2");
  EXPECT_EQ(r.getClientName(), "B");
}

TEST(ConfigResultTest, FillDefaultsClearsTheOutcomeButKeepsContextAndClient) {
  ConfigResult r;
  r.fillConfigResult(true, kRejected, true);
  r.addResultMessage("bad value");
  r.setServerContext("srv-42");
  r.setClientName("SystemSrvc");
  ConfigResult& back = ConfigResult::fillDefaults(r);
  EXPECT_EQ(&back, &r);
  EXPECT_EQ(r.getErrorCode(), kNoError);
  EXPECT_FALSE(r.getIsRebootNeeded());
  EXPECT_TRUE(r.getErrorTags().empty());
  EXPECT_EQ(r.getServerContext(), "srv-42");
  EXPECT_EQ(r.getClientName(), "SystemSrvc");
}

}  // namespace
