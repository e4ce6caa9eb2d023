// AppConfig::ProtobufMessageHelper: every builder (exact fields present and
// their values), the Inst and value conversions, and the conversion between
// ConfigResult and ReturnMessage.
#include <gtest/gtest.h>

#include <google/protobuf/text_format.h>

#include <type_traits>

#include "config/common/ProtobufMessageHelper.h"
#include "platform/msgutil/msgUtil.h"

namespace {

using AppConfig::ProtobufMessageHelper;
using CommonIF::kAdmin;
using CommonIF::kStartup;
using CommonIF::kSystem;
using CommonIF::kUser;

// The message built from readable text, for comparison with a builder's
// result: equal debug text means the same fields are present with the same
// values; equal bytes confirm it.
template <class M>
M fromText(const std::string& text) {
  M m;
  EXPECT_TRUE(google::protobuf::TextFormat::ParseFromString(text, &m)) << text;
  return m;
}

template <class M>
::testing::AssertionResult same(const M& got, const std::string& expectedText) {
  M expected = fromText<M>(expectedText);
  if (got.ShortDebugString() != expected.ShortDebugString()) {
    return ::testing::AssertionFailure() << "got {" << got.ShortDebugString() << "}, expected {"
                                         << expected.ShortDebugString() << "}";
  }
  if (got.SerializeAsString() != expected.SerializeAsString()) return ::testing::AssertionFailure() << "bytes differ";
  return ::testing::AssertionSuccess();
}

const ConfigVar kVar(2, "A.B", 1, "C", 0);
const char kVarInst[] =
    "node { name: 'cfg' instance: 2 } node { name: 'a.b' instance: 1 } node { name: 'c' instance: 0 }";
const ConfigVar kPlain("location", "language");
const char kPlainInst[] = "node { name: 'location' instance: 0 } node { name: 'language' instance: 0 }";

std::string with(const std::string& head, const std::string& inst) { return head + " instance { " + inst + " }"; }

// ---- addVarName ----

TEST(ProtobufHelperTest, AddVarNameWritesNamespaceNodeAndVariable) {
  ConfigIF::Inst inst;
  ProtobufMessageHelper::addVarName(&inst, kVar);
  EXPECT_TRUE(same(inst, kVarInst));
}

TEST(ProtobufHelperTest, AddVarNameWithoutNamespaceWritesTwoNodes) {
  ConfigIF::Inst inst;
  ProtobufMessageHelper::addVarName(&inst, ConfigVar(0, "a.b", 1, "c", 0));
  EXPECT_TRUE(same(inst, "node { name: 'a.b' instance: 1 } node { name: 'c' instance: 0 }"));
}

TEST(ProtobufHelperTest, AddVarNameAppendsToWhatIsThere) {
  ConfigIF::Inst inst;
  ProtobufMessageHelper::addVarName(&inst, kPlain);
  ProtobufMessageHelper::addVarName(&inst, ConfigVar(1, "x", 0, "y", 5));
  EXPECT_TRUE(same(inst, std::string(kPlainInst) +
                             " node { name: 'cfg' instance: 1 } node { name: 'x' instance: 0 } node { name: 'y' "
                             "instance: 5 }"));
}

TEST(ProtobufHelperTest, NegativeNamespaceWritesNoNamespaceNode) {
  ConfigIF::Inst inst;
  ProtobufMessageHelper::addVarName(&inst, ConfigVar(-1, "n", 0, "v", 0));
  EXPECT_TRUE(same(inst, "node { name: 'n' instance: 0 } node { name: 'v' instance: 0 }"));
}

// ---- requests with one variable ----

TEST(ProtobufHelperTest, OneVariableRequestsCarryNameRoleAndInstance) {
  const std::string head = "name: 'SystemSrvc' role: kAdmin";
  EXPECT_TRUE(same(ProtobufMessageHelper::getReadRequest("SystemSrvc", kAdmin, kVar), with(head, kVarInst)));
  EXPECT_TRUE(same(ProtobufMessageHelper::getReadAttributesRequest("SystemSrvc", kAdmin, kVar), with(head, kVarInst)));
  EXPECT_TRUE(same(ProtobufMessageHelper::getGetOptionsRequest("SystemSrvc", kAdmin, kVar), with(head, kVarInst)));
  EXPECT_TRUE(same(ProtobufMessageHelper::getGetAccessLevelsReq("SystemSrvc", kAdmin, kVar), with(head, kVarInst)));
  EXPECT_TRUE(
      same(ProtobufMessageHelper::getGetValueOptionsAccessRequest("SystemSrvc", kAdmin, kVar), with(head, kVarInst)));
  EXPECT_TRUE(same(ProtobufMessageHelper::getResetValueRequest("SystemSrvc", kAdmin, kVar), with(head, kVarInst)));
}

TEST(ProtobufHelperTest, ReadRequestOfTheLanguageResetUsesLowerCasedParts) {
  EXPECT_TRUE(same(ProtobufMessageHelper::getReadRequest("SystemSrvc", kAdmin, ConfigVar("Location", "Language")),
                   with("name: 'SystemSrvc' role: kAdmin", kPlainInst)));
}

TEST(ProtobufHelperTest, WriteAndValidateCarryTheValueInInstanceVal) {
  const std::string one =
      std::string("name: 'SystemSrvc' role: kSystem instance_val { instance { ") + kPlainInst + " } value: 'ENGLISHUS' }";
  EXPECT_TRUE(same(ProtobufMessageHelper::getWriteRequest("SystemSrvc", kSystem, kPlain, std::string("ENGLISHUS")), one));
  EXPECT_TRUE(
      same(ProtobufMessageHelper::getValidateRequest("SystemSrvc", kSystem, kPlain, std::string("ENGLISHUS")), one));
}

TEST(ProtobufHelperTest, ListWriteAndValidateKeepEveryValueInOrder) {
  const std::list<std::string> values = {"b", "", "a\nc"};
  const std::string text = std::string("name: 'n' role: kUser instance_val { instance { ") + kVarInst +
                           " } value: 'b' value: '' value: 'a\\nc' }";
  EXPECT_TRUE(same(ProtobufMessageHelper::getWriteRequest("n", kUser, kVar, values), text));
  EXPECT_TRUE(same(ProtobufMessageHelper::getValidateRequest("n", kUser, kVar, values), text));
}

TEST(ProtobufHelperTest, ListWriteWithNoValuesHasAnInstanceValWithoutValues) {
  EXPECT_TRUE(same(ProtobufMessageHelper::getWriteRequest("n", kUser, kPlain, std::list<std::string>()),
                   std::string("name: 'n' role: kUser instance_val { instance { ") + kPlainInst + " } }"));
}

TEST(ProtobufHelperTest, DefaultOptionsRequestTakesTheDottedNameAsAString) {
  EXPECT_TRUE(same(ProtobufMessageHelper::getGetDefaultOptionsRequest("SystemSrvc", kAdmin, "location.language"),
                   "name: 'SystemSrvc' role: kAdmin variable_name: 'location.language'"));
}

TEST(ProtobufHelperTest, ResetAttributeAndNodeValueCarryTheNodeName) {
  EXPECT_TRUE(same(ProtobufMessageHelper::getResetAttributeRequest("c", kStartup, "system.network"),
                   "name: 'c' role: kStartup node_name: 'system.network'"));
  EXPECT_TRUE(same(ProtobufMessageHelper::getResetNodeValueRequest("c", kStartup, "system.network"),
                   "name: 'c' role: kStartup node_name: 'system.network'"));
}

// ---- batches ----

TEST(ProtobufHelperTest, BatchRequestsHaveOneInstancePerVariableInListOrder) {
  const std::list<ConfigVar> vars = {kPlain, kVar};
  const std::string text = std::string("name: 'n' role: kSystem instance { ") + kPlainInst + " } instance { " +
                           kVarInst + " }";
  EXPECT_TRUE(same(ProtobufMessageHelper::getBatchReadRequest("n", kSystem, vars), text));
  EXPECT_TRUE(same(ProtobufMessageHelper::getBatchGetValueOptionsAccessReq("n", kSystem, vars), text));
  EXPECT_TRUE(same(ProtobufMessageHelper::getBatchReadRequest("n", kSystem, {}), "name: 'n' role: kSystem"));
}

TEST(ProtobufHelperTest, SetAccessLevelsWritesOnlyTheLevelsGiven) {
  const std::list<ConfigVar> vars = {kPlain};
  const std::string head = std::string("name: 'n' role: kAdmin instance { ") + kPlainInst + " }";
  const CommonIF::eSecurityRole read = kUser;
  const CommonIF::eSecurityRole write = kStartup;
  EXPECT_TRUE(same(ProtobufMessageHelper::getSetAccessLevelsReq("n", kAdmin, vars, nullptr, &write),
                   head + " write_level: kStartup"));
  EXPECT_TRUE(same(ProtobufMessageHelper::getSetAccessLevelsReq("n", kAdmin, vars, &read, nullptr),
                   head + " read_level: kUser"));
  EXPECT_TRUE(same(ProtobufMessageHelper::getSetAccessLevelsReq("n", kAdmin, vars, &read, &write),
                   head + " read_level: kUser write_level: kStartup"));
  EXPECT_TRUE(same(ProtobufMessageHelper::getSetAccessLevelsReq("n", kAdmin, vars, nullptr, nullptr), head));
}

// ---- options ----

TEST(ProtobufHelperTest, SetOptionsWritesDefaultIndexOnlyWhenGiven) {
  const std::list<std::string> options = {"QORT", "DMS", "CLOUD"};
  const std::string head = std::string("name: 'SystemSrvc' role: kStartup instance { ") + kPlainInst + " }";
  const uint32_t zero = 0;
  const uint32_t two = 2;
  EXPECT_TRUE(same(ProtobufMessageHelper::getSetOptionsRequest("SystemSrvc", kStartup, kPlain, options, &zero),
                   head + " default_index: 0 node_options: 'QORT' node_options: 'DMS' node_options: 'CLOUD'"));
  EXPECT_TRUE(same(ProtobufMessageHelper::getSetOptionsRequest("SystemSrvc", kStartup, kPlain, options, &two),
                   head + " default_index: 2 node_options: 'QORT' node_options: 'DMS' node_options: 'CLOUD'"));
  EXPECT_TRUE(same(ProtobufMessageHelper::getSetOptionsRequest("SystemSrvc", kStartup, kPlain, options, nullptr),
                   head + " node_options: 'QORT' node_options: 'DMS' node_options: 'CLOUD'"));
  EXPECT_TRUE(same(ProtobufMessageHelper::getSetOptionsRequest("SystemSrvc", kStartup, kPlain, {}, nullptr), head));
}

// ---- callback registration ----

TEST(ProtobufHelperTest, RegisterLeavesNodeNameOutWhenEmptyAndNeverSetsInstance) {
  EXPECT_TRUE(same(ProtobufMessageHelper::getRegClientCallbackRequest("SystemSrvc", kSystem, "system.network.submit",
                                                                      ConfigIF::kSubmit, "ctx"),
                   "name: 'SystemSrvc' role: kSystem node_name: 'system.network.submit' type: kSubmit user_context: "
                   "'ctx'"));
  ConfigIF::RegisterClientCallbackReq empty =
      ProtobufMessageHelper::getRegClientCallbackRequest("SystemSrvc", kSystem, "", ConfigIF::kOnChange, "");
  EXPECT_TRUE(same(empty, "name: 'SystemSrvc' role: kSystem type: kOnChange user_context: ''"));
  EXPECT_FALSE(empty.has_node_name());
  EXPECT_FALSE(empty.has_instance());
  EXPECT_TRUE(empty.has_user_context());
}

TEST(ProtobufHelperTest, UnregisterAlwaysCarriesNodeName) {
  ConfigIF::UnregisterClientCallbackReq req =
      ProtobufMessageHelper::getUnregClientCallbackRequest("c", kUser, "", ConfigIF::kChangeNotify, "u");
  EXPECT_TRUE(same(req, "name: 'c' role: kUser node_name: '' type: kChangeNotify user_context: 'u'"));
  EXPECT_TRUE(req.has_node_name());
  EXPECT_FALSE(req.has_instance());
}

TEST(ProtobufHelperTest, UnregisterAllCarriesOnlyTheClientName) {
  ConfigIF::UnregisterAllClientCallbacksReq req = ProtobufMessageHelper::getUnregAllClientCallbacksRequest("SystemSrvc");
  EXPECT_TRUE(same(req, "name: 'SystemSrvc'"));
  EXPECT_FALSE(req.has_role());
}

// ---- incoming Inst ----

ConfigIF::Inst instOf(const std::string& text) { return fromText<ConfigIF::Inst>(text); }

TEST(ProtobufHelperTest, NamespaceIsTheInstanceOfALeadingCfgNode) {
  EXPECT_EQ(ProtobufMessageHelper::getConfigVarNamespace(instOf("node { name: 'cfg' instance: 4 } node { name: 'x' }")),
            4);
  EXPECT_EQ(ProtobufMessageHelper::getConfigVarNamespace(instOf("node { name: 'cfg' }")), 0);
  EXPECT_EQ(ProtobufMessageHelper::getConfigVarNamespace(instOf("node { name: 'CFG' instance: 4 }")), 0);
  EXPECT_EQ(ProtobufMessageHelper::getConfigVarNamespace(instOf("node { name: 'cfgx' instance: 4 }")), 0);
  EXPECT_EQ(ProtobufMessageHelper::getConfigVarNamespace(instOf("node { name: 'x' } node { name: 'cfg' instance: 4 }")),
            0);
  EXPECT_EQ(ProtobufMessageHelper::getConfigVarNamespace(ConfigIF::Inst()), 0);
}

struct SplitName {
  std::string node;
  int nodeInstance = -99;
  std::string varName = "untouched";
  int varInstance = -99;
  int rc = 0;
};

SplitName split(const std::string& text) {
  SplitName s;
  s.rc = ProtobufMessageHelper::getConfigVarName(s.node, s.nodeInstance, s.varName, s.varInstance, instOf(text));
  return s;
}

TEST(ProtobufHelperTest, GetConfigVarNameJoinsThePathAndLowerCasesIt) {
  SplitName s = split(
      "node { name: 'cfg' instance: 1 } node { name: 'System' instance: 0 } node { name: 'Network' instance: 2 } "
      "node { name: 'HostName' instance: 3 }");
  EXPECT_EQ(s.rc, 0);
  EXPECT_EQ(s.node, "system.network");
  EXPECT_EQ(s.nodeInstance, 2);
  EXPECT_EQ(s.varName, "hostname");
  EXPECT_EQ(s.varInstance, 3);
}

TEST(ProtobufHelperTest, GetConfigVarNameReportsOnlyTheInstanceRightAboveTheVariable) {
  SplitName s = split("node { name: 'A' instance: 7 } node { name: 'B' instance: 0 } node { name: 'C' instance: 1 }");
  EXPECT_EQ(s.rc, 0);
  EXPECT_EQ(s.node, "a.b");
  EXPECT_EQ(s.nodeInstance, 0);
  EXPECT_EQ(s.varName, "c");
  EXPECT_EQ(s.varInstance, 1);
}

TEST(ProtobufHelperTest, GetConfigVarNameTakesADottedNodeAsItIs) {
  SplitName s = split("node { name: 'Location.Sub' instance: 5 } node { name: 'Language' }");
  EXPECT_EQ(s.node, "location.sub");
  EXPECT_EQ(s.nodeInstance, 5);
  EXPECT_EQ(s.varName, "language");
  EXPECT_EQ(s.varInstance, 0);
}

TEST(ProtobufHelperTest, GetConfigVarNameWithOnlyTheVariableLeavesNodeAlone) {
  SplitName s = split("node { name: 'cfg' instance: 1 } node { name: 'HostName' instance: 2 }");
  EXPECT_EQ(s.rc, 0);
  EXPECT_EQ(s.node, "");
  EXPECT_EQ(s.nodeInstance, -99);
  EXPECT_EQ(s.varName, "hostname");
  EXPECT_EQ(s.varInstance, 2);
  SplitName t = split("node { name: 'Solo' instance: 4 }");
  EXPECT_EQ(t.rc, 0);
  EXPECT_EQ(t.nodeInstance, -99);
  EXPECT_EQ(t.varName, "solo");
  EXPECT_EQ(t.varInstance, 4);
}

TEST(ProtobufHelperTest, GetConfigVarNameWithoutAVariableIsItemNotFound) {
  SplitName onlyCfg = split("node { name: 'cfg' instance: 1 }");
  EXPECT_EQ(onlyCfg.rc, -25);
  EXPECT_EQ(onlyCfg.varName, "untouched");
  SplitName none = split("");
  EXPECT_EQ(none.rc, kItemNotFound);
  EXPECT_EQ(none.varName, "untouched");
}

TEST(ProtobufHelperTest, GetConfigVarNameAppendsToANonEmptyNode) {
  std::string node = "Pre";
  int nodeInstance = 0;
  std::string varName;
  int varInstance = 0;
  ASSERT_EQ(ProtobufMessageHelper::getConfigVarName(node, nodeInstance, varName, varInstance,
                                                   instOf("node { name: 'X' instance: 1 } node { name: 'v' }")),
            0);
  EXPECT_EQ(node, "pre.x");
}

// ---- values and lists ----

TEST(ProtobufHelperTest, AddVarValueAppends) {
  ConfigIF::InstValue iv;
  ProtobufMessageHelper::addVarValue(&iv, std::string("one"));
  ProtobufMessageHelper::addVarValue(&iv, std::list<std::string>{"two", "", "three"});
  EXPECT_TRUE(same(iv, "value: 'one' value: 'two' value: '' value: 'three'"));
  EXPECT_FALSE(iv.has_instance());
}

TEST(ProtobufHelperTest, ValueAndStringListsAreReplacedNotAppended) {
  std::list<std::string> out = {"stale"};
  EXPECT_EQ(ProtobufMessageHelper::getConfigVarValue(out, fromText<ConfigIF::InstValue>("value: 'a' value: '' value: 'b'")),
            0);
  EXPECT_EQ(out, (std::list<std::string>{"a", "", "b"}));
  EXPECT_EQ(ProtobufMessageHelper::getConfigVarValue(out, ConfigIF::InstValue()), 0);
  EXPECT_TRUE(out.empty());

  ConfigIF::GetAttributeOptionsRsp rsp = fromText<ConfigIF::GetAttributeOptionsRsp>(
      "node_options: 'QORT' node_options: 'DMS' node_options: 'CLOUD'");
  std::list<std::string> options = {"stale"};
  EXPECT_EQ(ProtobufMessageHelper::getStringList(options, rsp.node_options()), 0);
  EXPECT_EQ(options, (std::list<std::string>{"QORT", "DMS", "CLOUD"}));
}

// ---- ConfigResult <-> ReturnMessage ----

TEST(ProtobufHelperTest, ReturnMessageFromAResultCarriesEveryPart) {
  ConfigResult r;
  r.fillConfigResult(false, kRejected, true);
  r.addResultMessage("value out of range");
  r.addResultMessage("try again");
  r.setServerContext("srv-7");
  r.setClientName("SystemSrvc");
  ConfigIF::ReturnMessage m;
  ProtobufMessageHelper::fillReturnMessage(&m, r);
  EXPECT_TRUE(same(m,
                   "error: -51 reboot_required: true error_message: 'value out of range' error_message: 'try again' "
                   "server_context: 'srv-7' client_name: 'SystemSrvc'"));
}

TEST(ProtobufHelperTest, ReturnMessageOfADefaultResultHasErrorAndRebootButNoEmptyStrings) {
  ConfigIF::ReturnMessage m;
  ProtobufMessageHelper::fillReturnMessage(&m, ConfigResult());
  EXPECT_TRUE(same(m, "error: 0 reboot_required: false"));
  EXPECT_FALSE(m.has_server_context());
  EXPECT_FALSE(m.has_client_name());
}

TEST(ProtobufHelperTest, CallbackResponsesWrapTheReturnMessage) {
  ConfigResult r;
  r.fillConfigResult(true, kBadParameter, false);
  r.addResultMessage("no");
  r.setServerContext("ctx");
  EXPECT_TRUE(same(ProtobufMessageHelper::getDynamicValidateResponse(r),
                   "ret_message { error: -3 reboot_required: false error_message: 'no' server_context: 'ctx' }"));
  EXPECT_TRUE(same(ProtobufMessageHelper::getOnChangeResponse(r),
                   "ret_message { error: -3 reboot_required: false error_message: 'no' server_context: 'ctx' }"));
  EXPECT_TRUE(same(ProtobufMessageHelper::getOnChangeResponse(ConfigResult()),
                   "ret_message { error: 0 reboot_required: false }"));
}

TEST(ProtobufHelperTest, ResultFromAReturnMessageAddsToWhatIsThere) {
  ConfigResult r;
  r.addResultMessage("earlier");
  r.setServerContext("keep-ctx");
  r.setClientName("keep-client");
  ProtobufMessageHelper::fillReturnMessage(
      r, fromText<ConfigIF::ReturnMessage>("error: -8 reboot_required: true error_message: 'a' error_message: 'b'"));
  EXPECT_EQ(r.getErrorCode(), -8);
  EXPECT_TRUE(r.getIsRebootNeeded());
  EXPECT_EQ(r.getErrorTags(), (std::list<std::string>{"earlier", "a", "b"}));
  EXPECT_EQ(r.getServerContext(), "keep-ctx");
  EXPECT_EQ(r.getClientName(), "keep-client");

  ProtobufMessageHelper::fillReturnMessage(
      r, fromText<ConfigIF::ReturnMessage>("error: 0 server_context: 'new-ctx' client_name: 'ConfigSrvc'"));
  EXPECT_EQ(r.getErrorCode(), 0);
  EXPECT_FALSE(r.getIsRebootNeeded());
  EXPECT_EQ(r.getServerContext(), "new-ctx");
  EXPECT_EQ(r.getClientName(), "ConfigSrvc");
}

TEST(ProtobufHelperTest, InternalStatusNumbersSurviveTheRoundTrip) {
  ConfigResult out;
  out.fillConfigResult(true, kTimeOut, false);
  ConfigIF::ReturnMessage m;
  ProtobufMessageHelper::fillReturnMessage(&m, out);
  ConfigIF::ReturnMessage wire;
  ASSERT_TRUE(wire.ParseFromString(m.SerializeAsString()));
  ConfigResult back;
  ProtobufMessageHelper::fillReturnMessage(back, wire);
  EXPECT_EQ(back.getErrorCode(), kTimeOut);
  EXPECT_EQ(back.getErrorCode(), convertErrorTypeToCommonPbType(-35));
}

// ---- the helper itself ----

TEST(ProtobufHelperTest, HelperIsPolymorphicOnlyForItsDestructor) {
  EXPECT_TRUE(std::has_virtual_destructor<ProtobufMessageHelper>::value);
  EXPECT_EQ(sizeof(ProtobufMessageHelper), sizeof(void*));
}

}  // namespace
