// The configuration client against the fake "ConfigSrvc": the exact request
// of every call, and its result and log lines for each way the service can
// answer (on time, with an error, not at all, unparsable, too late); a late
// answer is never taken for a later request's, from one thread or two.
#include <google/protobuf/text_format.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <iterator>
#include <regex>
#include <thread>

#include "platform/msgutil/msgUtil.h"
#include "systemservice/syssrvCfgMsg.h"
#include "tests/systemservice/test_callbacks_peer.h"

namespace {

// Longer than the client waits; and an answer due after such a one sent
// when the client gave up on it.
const int kTooLateMs = 1200;
const int kAfterTheLateOneMs = 300;

class CfgMsgTest : public CfgTest {
 protected:
  // Log lines as "<level> <function>: <text>": the source line is left
  // out, and so are the sequence numbers of a dropped answer.
  std::vector<std::string> logs() const {
    static const std::regex kLine("<(\\d)>syssrv: hd\\[0\\]: (\\w+):\\d+: (dropped a late answer|.*)");
    std::vector<std::string> out;
    std::string bytes = logBytes();
    std::smatch m;
    for (size_t start = 0, nl; (nl = bytes.find('\n', start)) != std::string::npos; start = nl + 1) {
      std::string l = bytes.substr(start, nl - start);
      out.push_back(std::regex_search(l, m, kLine) ? m.str(1) + " " + m.str(2) + ": " + m.str(3) : l);
    }
    return out;
  }

  // Checks the requests the service received against `expected`, each
  // "<type> <fields in text format>", to the byte.
  void expectRequests(const std::vector<std::pair<MSG_Type, std::string>>& expected) {
    std::vector<CfgRequest> got = peer().requests();
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
      std::unique_ptr<google::protobuf::Message> want = msgUtil_newMessage(expected[i].first);
      ASSERT_TRUE(want && google::protobuf::TextFormat::ParseFromString(expected[i].second, want.get()));
      EXPECT_EQ(cfgDescribe(got[i]), cfgDescribe(*want));
      EXPECT_EQ(got[i].payload, want->SerializeAsString()) << "present fields differ";
    }
  }

};

// ---- every request kind, on every kind of answer ----

enum Answer { kOnTime, kWithError, kSilent, kUnparsable, kLate, kAnswerKinds };
const char* const kAnswerNames[] = {"OnTime", "WithError", "Silent", "Unparsable", "Late"};

struct Expect { int rc; std::vector<std::string> logs; };  // logs: "<level> <text>"

struct Kind {
  const char* func;  // whose lines are logged
  MSG_Type type;
  int (*call)();
  const char* request;
  // By Answer; for kLate, the result of the same call made right after one
  // that got no answer in time, and whose answer comes after that one's.
  Expect expect[kAnswerKinds];
};

const char kDropped[] = "7 dropped a late answer";
config_options_t kTwoOfThree = {2, 1, {"QORT", "DMS", "NOT-SENT"}};
const char kNamed[] = "7 name: multicodecenginemode";

const Kind kKinds[] = {
    {"config_read_inst_std_str", kMsgIdConfigIFReadReq,
     [] { return config_read_str("a.b", 8, 2) == "v" ? 0 : -1; },
     "name: 'SystemSrvc' role: kSystem instance { node { name: 'a.b' instance: 2 } }",
     {{0, {}}, {0, {"4 response err=-9"}}, {-1, {"3 MSG_RecvMsg a.b timeout"}},
      {-1, {"3 failed to parse pbuf response"}}, {0, {kDropped}}}},
    {"config_write_instance", kMsgIdConfigIFWriteReq, [] { return config_write_instance("a.b", "x\ny", kAdmin, 0); },
     "name: 'SystemSrvc' role: kAdmin instance_val { instance { node { name: 'a.b' instance: 0 } } value: 'x\\ny' }",
     {{0, {}}, {0, {}}, {-1, {"3 MSG_RecvMsg a.b timeout"}}, {0, {}}, {0, {kDropped}}}},
    {"config_set_options", kMsgIdConfigIFSetAttributeOptionsReq,
     [] { return config_set_options("a.b", &kTwoOfThree, kStartup); },
     "name: 'SystemSrvc' role: kStartup instance { node { name: 'a.b' instance: 0 } } default_index: 1 "
     "node_options: 'QORT' node_options: 'DMS'",
     {{0, {}}, {0, {}}, {-1, {"3 failed to receive msg"}}, {0, {}}, {0, {kDropped}}}},
    // The service offers no options here: only the first exchange is made.
    {"config_set_default", kMsgIdConfigIFGetAttributeOptionsReq, [] { return config_set_default("a.b", "B", kUser); },
     "name: 'SystemSrvc' role: kUser instance { node { name: 'a.b' instance: 0 } }",
     {{0, {}}, {0, {}}, {-1, {"3 MSG_RecvMsg timeout"}}, {0, {}}, {0, {kDropped}}}},
    {"config_setAccessLevels", kMsgIdConfigIFSetAccessLevelsReq,
     [] { return config_setAccessLevels("a.b", 1, kSystem, static_cast<eSecurityRole>(0), kStartup); },
     "name: 'SystemSrvc' role: kSystem instance { node { name: 'a.b' instance: 1 } } write_level: kStartup",
     {{0, {}}, {0, {}}, {-1, {"3 MSG_RecvMsg timeout"}}, {0, {}}, {0, {kDropped}}}},
    {"config_component_change", kMsgIdConfigIFComponentChangeReq,
     [] { return config_component_change("multicodecenginemode", false, kStartup); },
     "name: 'SystemSrvc' role: kStartup component_name: 'multicodecenginemode' detach: false",
     {{0, {kNamed}}, {-9, {kNamed}}, {-1, {"3 MSG_RecvMsg multicodecenginemode timeout"}}, {0, {kNamed}},
      {0, {kDropped, kNamed}}}},
    // A registration that got no answer has closed the daemon's endpoint.
    {"config_register_change_notify", kMsgIdConfigIFRegisterClientCallbackReq,
     [] { return config_register_change_notify("a.b", 3, kChangeNotify); },
     "name: 'SystemSrvc' role: kSystem instance: 3 node_name: 'a.b' type: kChangeNotify user_context: ''",
     {{0, {}}, {-1, {"3 register config change notify a.b failed, err=-9"}}, {-1, {"3 MSG_RecvAnyMsg timeout"}},
      {-1, {"3 failed to parse pbuf response"}}, {-1, {"3 MSG_SendMsg failed, err=-1"}}}},
};

class CfgMsgKindTest : public CfgMsgTest, public ::testing::WithParamInterface<std::tuple<size_t, Answer>> {};

TEST_P(CfgMsgKindTest, SendsItsRequestAndReportsTheAnswer) {
  const Kind& k = kKinds[std::get<0>(GetParam())];
  const Answer answer = std::get<1>(GetParam());
  peer().set("a.b", "v", 2);
  if (answer == kWithError) peer().answerError(k.type, -9);
  if (answer == kSilent) peer().noAnswer(k.type);
  if (answer == kUnparsable) peer().unparsable(k.type);
  if (answer == kLate) peer().answerLate(k.type, kTooLateMs);
  const Expect& want = k.expect[answer];
  std::vector<std::string> wantLogs;  // with the function's name
  auto expectLogs = [&](const Expect& e) {
    for (const std::string& l : e.logs) wantLogs.push_back(l.substr(0, 2) + k.func + ": " + l.substr(2));
  };
  if (answer == kLate) {
    EXPECT_EQ(k.call(), -1);
    expectLogs(k.expect[kSilent]);
    peer().answerLate(k.type, kAfterTheLateOneMs);
  }
  EXPECT_EQ(k.call(), want.rc);
  expectLogs(want);
  EXPECT_EQ(logs(), wantLogs);
  const size_t sent = answer == kLate && want.rc == 0 ? 2 : 1;
  expectRequests(std::vector<std::pair<MSG_Type, std::string>>(sent, {k.type, k.request}));
}

INSTANTIATE_TEST_SUITE_P(EveryKind, CfgMsgKindTest,
                         ::testing::Combine(::testing::Range<size_t>(0, std::size(kKinds)),
                                            ::testing::Values(kOnTime, kWithError, kSilent, kUnparsable, kLate)),
                         [](const ::testing::TestParamInfo<std::tuple<size_t, Answer>>& p) {
                           return std::string(kKinds[std::get<0>(p.param)].func) + "_" +
                                  kAnswerNames[std::get<1>(p.param)];
                         });

// ---- late answers, values, option lists, hostile arguments ----

TEST_F(CfgMsgTest, TwoThreadsWritingAtOnceEachGetTheirOwnResult) {
  peer().answerLate(kMsgIdConfigIFWriteReq, kTooLateMs, "slow.var");
  int slow = 0, fast = 0;
  std::thread first([&] { slow = config_write("slow.var", "1", kSystem); });
  // The second write goes out while the first one waits for its answer.
  for (int i = 0; i < 500 && peer().requests().empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::thread second([&] { fast = config_write("fast.var", "2", kSystem); });
  first.join();
  second.join();
  EXPECT_EQ(slow, -1);
  EXPECT_EQ(fast, 0);
  std::vector<std::string> got = logs();
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got[0], "3 config_write_instance: MSG_RecvMsg slow.var timeout");
  // The slow write's answer may come before the fast one's.
  for (size_t i = 1; i < got.size(); ++i) EXPECT_EQ(got[i], "7 config_write_instance: dropped a late answer");
}

TEST_F(CfgMsgTest, ReadValuesAreCutToTheBufferAndCarryTheDefaultFlag) {
  const std::string twenty = "abcdefghijklmnopqrst";
  peer().setDefault("x.long", twenty);
  peer().set("x.set", "");
  peer().breakReads("x.broken");
  char val[8];
  bool isDefault = false;
  ASSERT_EQ(config_read("x.long", val, sizeof val, &isDefault), 0);
  EXPECT_EQ(std::string(val, sizeof val) + std::to_string(isDefault), std::string("abcdefg\0" "1", 9));
  ASSERT_EQ(config_read("x.set", val, sizeof val, &isDefault), 0);
  EXPECT_EQ(std::string(val) + std::to_string(isDefault), "0");
  EXPECT_EQ(config_read_str("x.long", 8) + "|" + config_read_str("x.long", 64), "abcdefg|" + twenty);
  EXPECT_EQ(config_read("x.broken", val, sizeof val, nullptr), -1);
  EXPECT_STREQ(val, "");
  EXPECT_EQ(config_read_str("x.broken", 64), "");
}

TEST_F(CfgMsgTest, IncomingNamesAndValuesAreRebuilt) {
  ConfigIF::Inst inst;
  ASSERT_TRUE(google::protobuf::TextFormat::ParseFromString(
      "node { name: 'a' instance: 2 } node { name: 'b' instance: 0 } node { name: 'c' instance: 3 }", &inst));
  std::string name = "stale";
  EXPECT_EQ(buildCfgVarName(name, inst), 3);
  EXPECT_EQ(name, "a[2].b.c");
  EXPECT_EQ(buildCfgVarName(name, ConfigIF::Inst()), 0);
  EXPECT_EQ(name, "");
  ConfigIF::InstValue iv;
  for (const char* v : {"a", "", "c"}) iv.add_value(v);
  EXPECT_EQ(buildCfgVarValue(name, iv), 0);
  EXPECT_EQ(name, "a\n\nc");
}

TEST_F(CfgMsgTest, SetDefaultMovesTheDefaultToTheFirstMatchOnly) {
  peer().setOptions("s.t", {"QORT", "DMS", "CLOUD", "DMS"}, 0);
  const std::string get = "name: 'SystemSrvc' role: kStartup instance { node { name: 's.t' instance: 0 } }";
  EXPECT_EQ(config_set_default("s.t", "qort", kStartup), 0);  // case matters
  EXPECT_EQ(config_set_default("s.t", "QORT", kStartup), 0);  // already the default
  peer().noAnswer(kMsgIdConfigIFSetAttributeOptionsReq);
  EXPECT_EQ(config_set_default("s.t", "DMS", kStartup), 0);  // asked for, unconfirmed
  expectRequests({{kMsgIdConfigIFGetAttributeOptionsReq, get},
                  {kMsgIdConfigIFGetAttributeOptionsReq, get},
                  {kMsgIdConfigIFGetAttributeOptionsReq, get},
                  {kMsgIdConfigIFSetAttributeOptionsReq,
                   get + " default_index: 1 node_options: 'QORT' node_options: 'DMS' node_options: 'CLOUD' "
                         "node_options: 'DMS'"}});
  EXPECT_EQ(logs(), std::vector<std::string>{"3 config_set_default: MSG_RecvMsg timeout"});
}

TEST_F(CfgMsgTest, SetOptionsNeverReadsPastTheOptionArray) {
  static config_options_t opts;
  memset(&opts, 'o', sizeof opts);  // no option is terminated
  opts.numOptions = CONFIG_MAX_OPTIONS + 1;
  opts.defaultIndex = 0;
  EXPECT_EQ(config_set_options("x.y", &opts, kSystem), 0);
  ASSERT_EQ(peer().requests().size(), 1u);
  const auto& req = static_cast<const ConfigIF::SetAttributeOptionsReq&>(*peer().requests()[0].message);
  ASSERT_EQ(req.node_options_size(), CONFIG_MAX_OPTIONS);
  for (const std::string& o : req.node_options()) EXPECT_EQ(o, std::string(CONFIG_OPTION_LEN, 'o'));
}

TEST_F(CfgMsgTest, BadArgumentsSendNothing) {
  const eSecurityRole noRole = static_cast<eSecurityRole>(15);
  char val[8] = "stale";
  std::string s;
  const std::string huge(9u * 1024u * 1024u, 'h');  // more than one message carries
  EXPECT_EQ((std::vector<int>{config_read(nullptr, val, sizeof val, nullptr), config_read("a.b", val, 0, nullptr),
                              config_read_inst_std_str(nullptr, s, nullptr, 0), config_write("a.b", nullptr, kSystem),
                              config_write("a.b", "1", noRole), config_write("a.b", huge.c_str(), kSystem),
                              config_set_default(nullptr, "1", kSystem),
                              config_setAccessLevels("a.b", 0, kSystem, noRole, kUser),
                              config_component_change("a", false, noRole),
                              config_register_change_notify("a.b", 0, static_cast<CallbackType>(9))}),
            std::vector<int>(10, -1));
  EXPECT_STREQ(val, "stale");
  // Once this one is answered, anything sent before it has been received.
  EXPECT_EQ(config_write("a.b", "1", kSystem), 0);
  EXPECT_EQ(peer().requests().size(), 1u);
}

}  // namespace
