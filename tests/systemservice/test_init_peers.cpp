// The links initialisation leaves for peers that come later: the
// modular-room manager's call-status notifications, the port controller and
// the three process monitors. The peers appear (and go and come back) only
// after syssrvMessageInit has returned, while the test runs the daemon's
// receive step, on whose thread the library runs the open callbacks.
//
// The port-controller and process-monitor callbacks themselves (rows 31
// and 32 with their subscriptions, the MAC-address request to each monitor,
// the subscription to every type of monitor 0) belong to the alert and
// process-monitor module, still a placeholder: these tests prove what the
// message layer does, that each callback runs with its unit's index every
// time its peer appears. The manager's subscription is the message layer's
// own and is proven end to end, with a manager in a process of its own.
#include <string>
#include <vector>

#include "platform/msg/MSG.h"
#include "platform/msgutil/msgIds.h"
#include "systemservice/syssrvCallTrace.h"
#include "systemservice/syssrvMessage.h"
#include "systemservice/syssrvMessageTable.h"
#include "tests/systemservice/test_init_fixture.h"

namespace {

using Strings = std::vector<std::string>;

class InitPeersTest : public InitTest {
 protected:
  void SetUp() override {
    InitTest::SetUp();
    initTimeline_start();
    ASSERT_EQ(syssrvMessageInit(), 0);
    // Whatever the first receive steps do with no peer around.
    loopUntilQuiet();
    forget();
  }
};

const char kPortControllerOpened[] = "register_for_portcontroller_notifications ctx=0";

std::string procmonOpened(int index) { return "handle_procmon_open ctx=" + std::to_string(index); }

TEST_F(InitPeersTest, ModmanCallStatusReachesItsHandlerAcrossARestart) {
  const std::string handled = "ModRoomIFCallStatusNtfy(null," + std::to_string(kMsgIdModRoomIFCallStatusNtfy) + ")";
  const std::string subscribed = "subscribe SystemSrvc 0x2f00c3..0x2f00c3 at CE:Modman -> 0";
  // Nothing to subscribe at before the manager runs.
  EXPECT_TRUE(initTimeline("subscribe ").empty());

  PeerProcess modman;
  ASSERT_TRUE(modman.start("CE:Modman", "publish"));
  ASSERT_TRUE(loopUntil([&] { return traced(handled) > 0; })) << "no call status from the first manager";
  EXPECT_EQ(initTimeline("subscribe "), Strings{subscribed});

  // Gone: what it sent before is taken, then nothing more comes.
  modman.kill();
  loopUntilQuiet();
  syssrvCallTrace_clear();
  loopUntilQuiet();
  EXPECT_EQ(traced(handled), 0);

  // Back, as a new process: the subscription is made again and its
  // notifications reach the same handler.
  ASSERT_TRUE(modman.start("CE:Modman", "publish"));
  ASSERT_TRUE(loopUntil([&] { return traced(handled) > 0; })) << "no call status from the restarted manager";
  EXPECT_EQ(initTimeline("subscribe "), (Strings{subscribed, subscribed}));
  // Only call-status notifications were asked for and handled.
  for (const std::string& e : syssrvCallTrace()) EXPECT_EQ(e, handled);
}

TEST_F(InitPeersTest, PortControllerCallbackRunsWheneverItAppears) {
  EXPECT_EQ(inTimeline(kPortControllerOpened), 0);
  openPeer("PortController");
  ASSERT_TRUE(loopUntil([] { return inTimeline(kPortControllerOpened) == 1; }));

  // Closing alone runs nothing; opening again runs the callback again.
  closePeer("PortController");
  loopUntilQuiet();
  EXPECT_EQ(inTimeline(kPortControllerOpened), 1);
  openPeer("PortController");
  ASSERT_TRUE(loopUntil([] { return inTimeline(kPortControllerOpened) == 2; }));
  loopUntilQuiet();
  EXPECT_EQ(inTimeline(kPortControllerOpened), 2);
  // It is the port controller's own callback: no monitor was touched.
  EXPECT_TRUE(initTimeline("handle_procmon_open").empty());
}

TEST_F(InitPeersTest, EachProcessMonitorCallbackCarriesItsUnitIndex) {
  // Out of order, one at a time: each appearance runs its own unit's
  // callback and no other.
  const char* const kOrder[] = {"ToVelar1/ProcessMon", "ProcessMon", "ToVelar2/ProcessMon"};
  const int kIndex[] = {1, 0, 2};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(kOrder[i]);
    openPeer(kOrder[i]);
    ASSERT_TRUE(loopUntil([&] { return inTimeline(procmonOpened(kIndex[i])) == 1; }));
    loopUntilQuiet();
    EXPECT_EQ(initTimeline("handle_procmon_open").size(), static_cast<size_t>(i + 1));
  }
  EXPECT_EQ(initTimeline("handle_procmon_open"), (Strings{procmonOpened(1), procmonOpened(0), procmonOpened(2)}));

  // All three restart: each is linked again, once.
  for (const char* name : kOrder) closePeer(name);
  loopUntilQuiet();
  EXPECT_EQ(initTimeline("handle_procmon_open").size(), 3u);
  for (const char* name : gpProcMonEndpoints) openPeer(name);
  ASSERT_TRUE(loopUntil([] { return initTimeline("handle_procmon_open").size() >= 6; }));
  loopUntilQuiet();
  for (int index = 0; index < 3; ++index) EXPECT_EQ(inTimeline(procmonOpened(index)), 2) << index;
  EXPECT_EQ(inTimeline(kPortControllerOpened), 0);
}

}  // namespace
