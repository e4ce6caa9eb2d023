// The carrier poll: opening and re-reading the carrier file, the first
// reading, the link up and link down transitions with their notification,
// variables and script runs, and unreadable or odd carrier files.
#include <fcntl.h>

#include <string>
#include <vector>

#include "tests/systemservice/call_trace.h"
#include "systemservice/syssrvLan.h"
#include "tests/systemservice/test_lan_fixture.h"

namespace {

using std::string;
using std::vector;
using Strings = vector<string>;

const char kCarrierPath[] = "/sys/class/net/eth0/carrier";

Strings opens(RecorderSysIo& rec) {
  Strings out;
  for (const SysIoRecord& r : rec.records(SysIoCall::kOpen)) {
    out.push_back(r.path + ((r.flags & O_ACCMODE) == O_RDONLY ? " ro" : " rw") + (r.result >= 0 ? "" : " failed"));
  }
  return out;
}

using LanCarrierTest = LanTest;

TEST_F(LanCarrierTest, FirstPollOnlyOpensTheFileAndTheNextReadsIt) {
  carrier("1\n");
  EXPECT_EQ(poll(LAN_DOWN), LAN_DOWN);  // opened, nothing read yet
  EXPECT_EQ(poll(LAN_UP), LAN_UP);      // stays as the caller set it
  EXPECT_EQ(opens(rec()), (Strings{string(kCarrierPath) + " ro"}));
  EXPECT_EQ(requests(), (Strings{read(kDevVar)}));
  // The file stays open and is read again from its start at every poll.
  carrier("0\n");
  forget();
  EXPECT_EQ(poll(LAN_UP), LAN_DOWN);
  carrier("1\n");
  EXPECT_EQ(poll(LAN_DOWN), LAN_UP);
  EXPECT_TRUE(opens(rec()).empty());
}

TEST_F(LanCarrierTest, FirstReadingUpTellsNobodyAndChangesNothing) {
  carrier("1\n");
  poll();
  forget();
  EXPECT_EQ(poll(), LAN_UP);
  EXPECT_TRUE(requests().empty());
  EXPECT_TRUE(rec().commands().empty());
  EXPECT_TRUE(syssrvCallTrace().empty());
  EXPECT_TRUE(notifications().empty());
}

TEST_F(LanCarrierTest, FirstReadingDownInDhcpModeFailsDiscoveryAndClearsTheAddress) {
  for (const char* mode : {"Client", "client", "CLIENT", "ClientV4"}) {
    SCOPED_TRACE(mode);
    syssrvLan_testing_reset();
    peer().set(kModeVar, mode);
    carrier("0\n");
    poll();
    forget();
    EXPECT_EQ(poll(LAN_UP), LAN_DOWN);
    EXPECT_EQ(requests(), (Strings{write(kDiscoveryVar, "FAILED"), read(kModeVar), write(kAddrVar, "0.0.0.0")}));
    EXPECT_TRUE(rec().commands().empty());
    EXPECT_TRUE(syssrvCallTrace().empty());
    EXPECT_TRUE(notifications().empty());
  }
}

TEST_F(LanCarrierTest, FirstReadingDownWithAStaticAddressKeepsIt) {
  for (const char* mode : {"Off", "Clien", "", "DHCP"}) {
    SCOPED_TRACE(mode);
    syssrvLan_testing_reset();
    peer().set(kModeVar, mode);
    carrier("0\n");
    poll();
    forget();
    poll();
    EXPECT_EQ(requests(), (Strings{write(kDiscoveryVar, "FAILED"), read(kModeVar)}));
    EXPECT_TRUE(notifications().empty());
  }
}

TEST_F(LanCarrierTest, AnyOtherCarrierByteIsDownWithAWarning) {
  peer().set(kModeVar, "Off");
  for (const char* bytes : {"2\n", "x", "\n"}) {
    SCOPED_TRACE(bytes);
    syssrvLan_testing_reset();
    carrier(bytes);
    poll();
    forget();
    EXPECT_EQ(poll(LAN_UP), LAN_DOWN);
    char hex[8];
    snprintf(hex, sizeof hex, "0x%x", static_cast<unsigned char>(bytes[0]));
    EXPECT_TRUE(logged(4, string("check_lan_status: Invalid LAN state: ") + hex)) << hex;
    // Down as a first reading: discovery has failed.
    EXPECT_EQ(requests(), (Strings{write(kDiscoveryVar, "FAILED"), read(kModeVar)}));
  }
}

TEST_F(LanCarrierTest, LinkUpNotifiesStartsDiscoveryAndRunsTheScript) {
  peer().set(kModeVar, "Client");
  primeCarrier("0\n");
  carrier("1\n");
  EXPECT_EQ(poll(LAN_DOWN), LAN_UP);
  EXPECT_EQ(notifications(), (vector<bool>{true}));
  EXPECT_TRUE(logged(7, "lan_state_change_notify 1"));
  EXPECT_EQ(requests(), (Strings{write(kDiscoveryVar, "INCOMPLETE")}));
  EXPECT_EQ(rec().commands(), (Strings{"/system/bin/startnetwork --linkup"}));
  EXPECT_TRUE(syssrvCallTrace().empty());
  // The same state again: nothing at all.
  forget();
  EXPECT_EQ(poll(LAN_UP), LAN_UP);
  EXPECT_TRUE(requests().empty());
  EXPECT_TRUE(rec().commands().empty());
  EXPECT_TRUE(notifications().empty());
}

TEST_F(LanCarrierTest, LinkDownNotifiesFailsDiscoveryStopsProxyDiscoveryAndClearsADhcpAddress) {
  peer().set(kModeVar, "client");
  peer().set(kDiscoveryVar, "incomplete");
  primeCarrier("1\n");
  carrier("0\n");
  EXPECT_EQ(poll(LAN_UP), LAN_DOWN);
  EXPECT_EQ(notifications(), (vector<bool>{false}));
  EXPECT_TRUE(logged(7, "lan_state_change_notify 0"));
  EXPECT_EQ(requests(),
            (Strings{read(kDiscoveryVar), write(kDiscoveryVar, "FAILED"), read(kModeVar), write(kAddrVar, "0.0.0.0")}));
  EXPECT_EQ(syssrvCallTrace(), (Strings{"StopWpad()"}));
  EXPECT_EQ(rec().commands(), (Strings{"/system/bin/startnetwork --linkdown"}));
}

TEST_F(LanCarrierTest, LinkDownKeepsAFinishedDiscoveryAndAStaticAddress) {
  peer().set(kModeVar, "Off");
  for (const char* status : {"SUCCESS", "FAILED", "INCOMPLETE2", ""}) {
    SCOPED_TRACE(status);
    syssrvLan_testing_reset();
    peer().set(kDiscoveryVar, status);
    primeCarrier("1\n");
    carrier("0\n");
    poll();
    EXPECT_EQ(notifications(), (vector<bool>{false}));
    EXPECT_EQ(requests(), (Strings{read(kDiscoveryVar), read(kModeVar)}));
    EXPECT_EQ(syssrvCallTrace(), (Strings{"StopWpad()"}));
    EXPECT_EQ(rec().commands(), (Strings{"/system/bin/startnetwork --linkdown"}));
  }
}

TEST_F(LanCarrierTest, UpDownUpRunsEachActionOnce) {
  peer().set(kModeVar, "Off");
  peer().set(kDiscoveryVar, "INCOMPLETE");
  primeCarrier("1\n");
  for (const char* bytes : {"0\n", "0\n", "1\n", "1\n", "0\n"}) {
    carrier(bytes);
    poll();
  }
  EXPECT_EQ(notifications(), (vector<bool>{false, true, false}));
  EXPECT_EQ(rec().commands(), (Strings{"/system/bin/startnetwork --linkdown", "/system/bin/startnetwork --linkup",
                                       "/system/bin/startnetwork --linkdown"}));
}

TEST_F(LanCarrierTest, MissingCarrierFileIsDownAndLoggedAtEveryPoll) {
  EXPECT_EQ(poll(LAN_UP), LAN_DOWN);
  EXPECT_EQ(poll(LAN_UP), LAN_DOWN);
  EXPECT_EQ(countLogged(3, "check_lan_status open /sys/class/net/eth0/carrier failed"), 2);
  EXPECT_EQ(opens(rec()), (Strings{string(kCarrierPath) + " ro failed", string(kCarrierPath) + " ro failed"}));
  // Each attempt asks for the device name again: it may have changed.
  EXPECT_EQ(requests(), (Strings{read(kDevVar), read(kDevVar)}));
  EXPECT_TRUE(notifications().empty());
  // Once the file is there it is opened and read as usual.
  carrier("1\n");
  poll();
  EXPECT_EQ(poll(LAN_DOWN), LAN_UP);
}

TEST_F(LanCarrierTest, DeviceNameIsUsedAsConfigured) {
  peer().set(kDevVar, "eth1");
  rec().put_file("/sys/class/net/eth1/carrier", "1\n");
  poll();
  EXPECT_EQ(poll(), LAN_UP);
  EXPECT_EQ(opens(rec()), (Strings{"/sys/class/net/eth1/carrier ro"}));
}

TEST_F(LanCarrierTest, UnreadableDeviceNameLeavesTheStateAlone) {
  peer().breakReads(kDevVar);
  carrier("1\n");
  EXPECT_EQ(poll(LAN_UP), LAN_UP);
  EXPECT_EQ(poll(LAN_DOWN), LAN_DOWN);
  EXPECT_TRUE(opens(rec()).empty());
  EXPECT_FALSE(logged(3, "check_lan_status open /sys/class/net/eth0/carrier failed"));
}

TEST_F(LanCarrierTest, EmptyReadClosesTheFileAndTheNextPollOpensItAgain) {
  primeCarrier("1\n");
  carrier("");
  EXPECT_EQ(poll(LAN_UP), LAN_UP);      // no byte: no state
  EXPECT_EQ(poll(LAN_DOWN), LAN_DOWN);  // reopened, not read
  EXPECT_EQ(opens(rec()), (Strings{string(kCarrierPath) + " ro"}));
  carrier("0\n");
  peer().set(kModeVar, "Off");
  EXPECT_EQ(poll(LAN_UP), LAN_DOWN);
  // The remembered state survived the reopening: this is a change.
  EXPECT_EQ(notifications(), (vector<bool>{false}));
}

TEST_F(LanCarrierTest, NullStateIsIgnored) {
  carrier("1\n");
  check_lan_status(nullptr);
  EXPECT_TRUE(requests().empty());
  EXPECT_TRUE(rec().records().empty());
}

}  // namespace
