// The configuration callbacks registered at start: every variable with its
// kind, in order, the four handlers of the configuration service's
// callbacks on "SystemSrvc", and the log lines of failed registrations at
// their places in the sequence.
#include <cstring>

#include "OS/logmsg.h"
#include "platform/msgutil/msgIds.h"
#include "systemservice/syssrvStartup.h"
#include "tests/systemservice/test_startup_fixture.h"
#include "tests/systemservice/test_startup_registrations.h"

namespace {

std::vector<std::string> expectedRegistrations() {
  std::vector<std::string> out;
  for (const auto& e : kStartupRegistrations) out.push_back(std::string("register ") + e.first + " kind " + std::to_string(e.second));
  return out;
}

// Hands a message of `type` whose payload does not parse to the handler
// registered on "SystemSrvc"; -1 when none is registered.
int dispatchUnparsable(MSG_Type type) {
  MSG_Message* msg = MSG_AllocMsg(type, 0, 3);
  memcpy(MSG_GetPayloadMutable(msg), "\xff\xff\xff", 3);
  int rc = MSG_ProcessCallback("SystemSrvc", msg);
  MSG_ReleaseMsg(msg);
  return rc;
}

class StartupRegisterTest : public StartupTest {};

TEST_F(StartupRegisterTest, EveryVariableIsRegisteredWithItsKindInOrder) {
  ASSERT_EQ(kStartupRegistrations.size(), 118u);
  syssrvRegisterConfigCallbacks();
  EXPECT_EQ(cfg().requests("register "), expectedRegistrations());
  // Nothing failed, and the validator's registration result is logged.
  EXPECT_TRUE(logged(LOG_LEVEL_DEBUG, "(syssrvMessageInit) MSG_RegisterCallback for config_dynamic_validate returned 0",
                     "message"));
  for (const std::string& line : logLines()) EXPECT_EQ(line.find("<3>"), std::string::npos) << line;
}

TEST_F(StartupRegisterTest, RegistrationsAreForTheWholeNameAsTheSystem) {
  syssrvRegisterConfigCallbacks();
  std::vector<std::string> raw = cfg().rawRequests();
  ASSERT_FALSE(raw.empty());
  EXPECT_EQ(raw[0],
            "RegisterClientCallbackReq {name: \"SystemSrvc\" role: kSystem instance: 0 node_name: "
            "\"time.timeserver.mode\" type: kChangeNotify user_context: \"\"}");
  int video = indexOf(raw,
                      "RegisterClientCallbackReq {name: \"SystemSrvc\" role: kSystem instance: 0 node_name: "
                      "\"video.monitor[1].signalType\" type: kChangeNotify user_context: \"\"}");
  EXPECT_GE(video, 0);
}

TEST_F(StartupRegisterTest, LogSpaceRuleRunsRightAfterTheChangeHandler) {
  syssrvRegisterConfigCallbacks();
  std::vector<std::string> all = cfg().requests();
  int lastOfGroup1 = indexOf(all, "register system.modularroom.secondary.pairing.state kind 3");
  int firstOfGroup3 = indexOf(all, "register system.log.filename kind 3");
  ASSERT_GE(lastOfGroup1, 0);
  ASSERT_GT(firstOfGroup3, lastOfGroup1 + 1) << "the log-space rule runs in between";
  // The rule publishes the space the logs may take.
  bool published = false;
  for (int i = lastOfGroup1 + 1; i < firstOfGroup3; ++i) {
    EXPECT_NE(all[i].compare(0, 9, "register "), 0) << all[i];
    published = published || all[i].compare(0, 39, "write system.log.spacemonitoring.max = ") == 0;
  }
  EXPECT_TRUE(published);
  int others = 0;
  for (size_t i = firstOfGroup3; i < all.size(); ++i) {
    if (all[i].compare(0, 9, "register ") != 0) ++others;
  }
  EXPECT_EQ(others, 0) << "only registrations after the log-space rule";
}

TEST_F(StartupRegisterTest, HandlersOfTheFourCallbacksAreRegistered) {
  syssrvRegisterConfigCallbacks();
  const struct {
    MSG_Type type;
    const char* handler;
  } kHandlers[] = {
      {0x1A0143, "config_change_notify"},
      {0x1A0273, "config_submit_notify"},
      {0x1A0150, "config_dynamic_validate"},
      {0x1A0100, "config_on_change"},
  };
  for (const auto& h : kHandlers) {
    forget();
    EXPECT_EQ(dispatchUnparsable(h.type), 0) << h.handler;
    // Each handler names itself when it cannot parse its message.
    bool named = false;
    for (const std::string& line : logLines()) named = named || line.find(h.handler) != std::string::npos;
    EXPECT_TRUE(named) << h.handler;
    EXPECT_TRUE(cfg().requests().empty()) << h.handler;
  }
  // Only those four: the message layer's other types stay unregistered.
  EXPECT_EQ(dispatchUnparsable(kMsgIdConfigIFReadRsp), -1);
}

TEST_F(StartupRegisterTest, FailedHandlerRegistrationsAreLoggedInPlaceAndStartupGoesOn) {
  // With the local endpoint gone, every handler registration fails and
  // every variable registration fails to send; the handler lines must sit
  // after exactly the variables that precede them.
  MSG_CloseLocal("SystemSrvc");
  syssrvRegisterConfigCallbacks();
  std::vector<std::string> lines = logLines();
  const std::string kReg = "<3>syssrv: hd[0]: config_register_change_notify:";
  int sendFailures = 0;
  std::vector<std::pair<std::string, int>> handlerLines;
  for (const std::string& l : lines) {
    if (l.compare(0, kReg.size(), kReg) == 0) {
      ++sendFailures;
    } else if (l.find("MSG_RegisterCallback") != std::string::npos) {
      handlerLines.push_back({l, sendFailures});
    }
  }
  EXPECT_EQ(sendFailures, 118);
  const std::vector<std::pair<std::string, int>> expected = {
      {"<3>syssrv: hd[0]: message: MSG_RegisterCallback for config_change_notify failed: -1", 29},
      {"<3>syssrv: hd[0]: message: MSG_RegisterCallback for config_submit_notify failed: -1", 50},
      {"<7>syssrv: hd[0]: message: (syssrvMessageInit) MSG_RegisterCallback for config_dynamic_validate returned -1",
       86},
      {"<3>syssrv: hd[0]: message: MSG_RegisterCallback for config_on_change failed: -1", 118},
  };
  EXPECT_EQ(handlerLines, expected);
  ASSERT_EQ(MSG_OpenLocal("SystemSrvc"), 0);
}

TEST_F(StartupRegisterTest, RefusedVariableDoesNotStopTheOthers) {
  cfg().refuseRegistration("system.log.level", -7);
  syssrvRegisterConfigCallbacks();
  EXPECT_EQ(cfg().requests("register "), expectedRegistrations());
  bool logged = false;
  for (const std::string& l : logLines()) {
    logged = logged || l.find("register config change notify system.log.level failed, err=-7") != std::string::npos;
  }
  EXPECT_TRUE(logged);
}

}  // namespace
