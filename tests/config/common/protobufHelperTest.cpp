// ConfigVar, ConfigResult and AppConfig::ProtobufMessageHelper: lower-cased
// references, every builder as one row of exact fields, the splitting of
// incoming Insts, and the conversion between ConfigResult and ReturnMessage
// both ways.
#include <gtest/gtest.h>

#include <google/protobuf/text_format.h>

#include "config/common/ProtobufMessageHelper.h"
#include "platform/msgutil/msgUtil.h"

namespace {

using H = AppConfig::ProtobufMessageHelper;
using CommonIF::kAdmin, CommonIF::kStartup, CommonIF::kSystem, CommonIF::kUser;

template <class M>
M fromText(const std::string& text) {
  M m;
  EXPECT_TRUE(google::protobuf::TextFormat::ParseFromString(text, &m)) << text;
  return m;
}

// The fields a builder set, presence included, as one-line text.
std::string fields(const google::protobuf::Message& m) { return m.ShortDebugString(); }

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
  // Identity ignores case and the flag; every other part tells references apart.
  ConfigVar same("system.network", "hostname");
  same.setAsMultiStringVar();
  EXPECT_TRUE(ConfigVar("System.Network", "HostName") == same);
  for (const ConfigVar& other : {ConfigVar(1, "a.b", 1, "c", 3), ConfigVar("a.b", 0, "c", 3), ConfigVar("a.b", 1, "c", 0),
                                 ConfigVar("a.bc", 1, "c", 3), ConfigVar("a.b", 1, "d", 3)}) {
    EXPECT_TRUE(assigned != other) << parts(other);
    EXPECT_NE(assigned < other, other < assigned) << parts(other);
  }
}

TEST(ProtobufHelperTest, BuildersSetExactlyTheirFields) {
  const ConfigVar ns(2, "A.B", 1, "C", 0);
  const ConfigVar plain("Location", "Language");
  const std::string nsInst =
      "instance { node { name: \"cfg\" instance: 2 } node { name: \"a.b\" instance: 1 } node { name: \"c\" instance: 0 } }";
  const std::string plainInst =
      "instance { node { name: \"location\" instance: 0 } node { name: \"language\" instance: 0 } }";
  const std::list<ConfigVar> both = {plain, ns};
  const std::list<std::string> values = {"b", "", "a\nc"};
  const CommonIF::eSecurityRole user = kUser, startup = kStartup;
  const uint32_t two = 2;
  const std::string head = "name: \"S\" role: kAdmin ";
  const std::pair<std::string, std::string> rows[] = {
      {fields(H::getReadRequest("S", kAdmin, ns)), head + nsInst},
      {fields(H::getResetValueRequest("S", kAdmin, ns)), head + nsInst},
      {fields(H::getReadRequest("S", kAdmin, ConfigVar(-1, "n", 0, "v", 0))),
       head + "instance { node { name: \"n\" instance: 0 } node { name: \"v\" instance: 0 } }"},
      {fields(H::getWriteRequest("S", kAdmin, plain, std::string("ENGLISHUS"))),
       head + "instance_val { " + plainInst + " value: \"ENGLISHUS\" }"},
      {fields(H::getValidateRequest("S", kAdmin, plain, std::string("x"))),
       head + "instance_val { " + plainInst + " value: \"x\" }"},
      {fields(H::getWriteRequest("S", kAdmin, ns, values)),
       head + "instance_val { " + nsInst + " value: \"b\" value: \"\" value: \"a\\nc\" }"},
      {fields(H::getValidateRequest("S", kAdmin, ns, std::list<std::string>())), head + "instance_val { " + nsInst + " }"},
      {fields(H::getGetDefaultOptionsRequest("S", kAdmin, "location.language")),
       head + "variable_name: \"location.language\""},
      {fields(H::getResetAttributeRequest("S", kAdmin, "system.network")), head + "node_name: \"system.network\""},
      {fields(H::getResetNodeValueRequest("S", kAdmin, "system.network")), head + "node_name: \"system.network\""},
      {fields(H::getBatchReadRequest("S", kAdmin, both)), head + plainInst + " " + nsInst},
      {fields(H::getBatchReadRequest("S", kAdmin, {})), "name: \"S\" role: kAdmin"},
      {fields(H::getSetAccessLevelsReq("S", kAdmin, both, nullptr, &startup)),
       head + plainInst + " " + nsInst + " write_level: kStartup"},
      {fields(H::getSetAccessLevelsReq("S", kAdmin, {plain}, &user, nullptr)), head + plainInst + " read_level: kUser"},
      {fields(H::getSetOptionsRequest("S", kAdmin, plain, {"QORT", "DMS"}, &two)),
       head + plainInst + " default_index: 2 node_options: \"QORT\" node_options: \"DMS\""},
      {fields(H::getSetOptionsRequest("S", kAdmin, plain, {"QORT"}, nullptr)), head + plainInst + " node_options: \"QORT\""},
      {fields(H::getRegClientCallbackRequest("S", kSystem, "system.network.submit", ConfigIF::kSubmit, "ctx")),
       "name: \"S\" role: kSystem node_name: \"system.network.submit\" type: kSubmit user_context: \"ctx\""},
      {fields(H::getRegClientCallbackRequest("S", kSystem, "", ConfigIF::kOnChange, "")),
       "name: \"S\" role: kSystem type: kOnChange user_context: \"\""},
      {fields(H::getUnregClientCallbackRequest("S", kUser, "", ConfigIF::kChangeNotify, "u")),
       "name: \"S\" role: kUser node_name: \"\" type: kChangeNotify user_context: \"u\""},
      {fields(H::getUnregAllClientCallbacksRequest("S")), "name: \"S\""},
  };
  for (const auto& r : rows) EXPECT_EQ(r.first, r.second);
}

TEST(ProtobufHelperTest, IncomingInstsSplitIntoNodeAndVariable) {
  // split: node|nodeInstance|var|varInstance
  struct Row { const char* inst; int ns, rc; std::string split; } rows[] = {
      {"node { name: 'cfg' instance: 1 } node { name: 'System' } node { name: 'Network' instance: 2 } "
       "node { name: 'HostName' instance: 3 }", 1, 0, "system.network|2|hostname|3"},
      {"node { name: 'A' instance: 7 } node { name: 'B' } node { name: 'C' instance: 1 }", 0, 0, "a.b|0|c|1"},
      {"node { name: 'Location.Sub' instance: 5 } node { name: 'Language' }", 0, 0, "location.sub|5|language|0"},
      {"node { name: 'cfg' instance: 4 } node { name: 'HostName' instance: 2 }", 4, 0, "|-99|hostname|2"},
      {"node { name: 'CFG' instance: 4 } node { name: 'x' }", 0, 0, "cfg|4|x|0"},
      {"node { name: 'x' } node { name: 'cfg' instance: 4 }", 0, 0, "x|0|cfg|4"},
      {"node { name: 'cfg' instance: 1 }", 1, -25, "|-99|untouched|-99"},
      {"", 0, -25, "|-99|untouched|-99"},
  };
  for (const Row& r : rows) {
    const ConfigIF::Inst inst = fromText<ConfigIF::Inst>(r.inst);
    std::string node, var = "untouched";
    int nodeInstance = -99, varInstance = -99;
    EXPECT_EQ(H::getConfigVarNamespace(inst), r.ns) << r.inst;
    EXPECT_EQ(H::getConfigVarName(node, nodeInstance, var, varInstance, inst), r.rc) << r.inst;
    EXPECT_EQ(node + "|" + std::to_string(nodeInstance) + "|" + var + "|" + std::to_string(varInstance), r.split)
        << r.inst;
  }
  // The node path is appended to what the caller passed.
  std::string node = "Pre", var;
  int ni = 0, vi = 0;
  H::getConfigVarName(node, ni, var, vi, fromText<ConfigIF::Inst>("node { name: 'X' } node { name: 'v' }"));
  EXPECT_EQ(node, "pre.x");
}

TEST(ProtobufHelperTest, ValueListsAreReplacedAndInstValuesAppended) {
  ConfigIF::InstValue iv;
  H::addVarValue(&iv, std::string("one"));
  H::addVarValue(&iv, std::list<std::string>{"two", ""});
  EXPECT_EQ(fields(iv), "value: \"one\" value: \"two\" value: \"\"");
  std::list<std::string> out = {"stale"};
  EXPECT_EQ(H::getConfigVarValue(out, iv), 0);
  EXPECT_EQ(out, (std::list<std::string>{"one", "two", ""}));
  EXPECT_EQ(H::getStringList(out, fromText<ConfigIF::GetAttributeOptionsRsp>("node_options: 'Q'").node_options()), 0);
  EXPECT_EQ(out, std::list<std::string>{"Q"});
}

TEST(ProtobufHelperTest, ResultsAndReturnMessages) {
  ConfigResult r;
  EXPECT_EQ(fields(H::getOnChangeResponse(r)), "ret_message { error: 0 reboot_required: false }");
  EXPECT_FALSE(r.fillConfigResult(false, kRejected, true));
  r.addResultMessage("out of range");
  r.addResultMessage("again");
  r.setServerContext("srv-7");
  r.setClientName("SystemSrvc");
  const std::string ret = "error: -51 reboot_required: true error_message: \"out of range\" error_message: \"again\" "
                          "server_context: \"srv-7\" client_name: \"SystemSrvc\"";
  EXPECT_EQ(fields(H::getDynamicValidateResponse(r)), "ret_message { " + ret + " }");
  EXPECT_EQ(fields(H::getOnChangeResponse(r)), "ret_message { " + ret + " }");
  // A reset clears the outcome but keeps whom the result concerns.
  EXPECT_EQ(&ConfigResult::fillDefaults(r), &r);
  EXPECT_EQ(fields(H::getOnChangeResponse(r)),
            "ret_message { error: 0 reboot_required: false server_context: \"srv-7\" client_name: \"SystemSrvc\" }");

  // Back into a result: added to what is there; strings replaced only by
  // non-empty ones; internal status numbers survive the wire.
  ConfigResult back;
  back.addResultMessage("earlier");
  back.setServerContext("keep-ctx");
  H::fillReturnMessage(back, fromText<ConfigIF::ReturnMessage>("error: -35 reboot_required: true error_message: 'a'"));
  EXPECT_EQ(back.getErrorCode(), kTimeOut);
  EXPECT_TRUE(back.getIsRebootNeeded());
  EXPECT_EQ(back.getErrorTags(), (std::list<std::string>{"earlier", "a"}));
  EXPECT_EQ(back.getServerContext() + "|" + back.getClientName(), "keep-ctx|");
  H::fillReturnMessage(back, fromText<ConfigIF::ReturnMessage>("error: 0 server_context: 'new' client_name: 'Cfg'"));
  EXPECT_EQ(back.getErrorCode(), kNoError);
  EXPECT_FALSE(back.getIsRebootNeeded());
  EXPECT_EQ(back.getServerContext() + "|" + back.getClientName(), "new|Cfg");
}

}  // namespace
