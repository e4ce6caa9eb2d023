// The LAN status request (GetLanStatusReq / GetLanStatusRsp) and the speed
// and duplex files behind it.
#include <string>
#include <vector>

#include "SystemIF.pb.h"
#include "platform/msgutil/msgIds.h"
#include "systemservice/syssrvLan.h"
#include "tests/systemservice/test_lan_fixture.h"

namespace {

using std::string;
using Strings = std::vector<string>;

class LanStatusTest : public LanTest {
 protected:
  void link(const string& speed, const string& duplex) {
    rec().put_file("/sys/class/net/eth0/speed", speed);
    rec().put_file("/sys/class/net/eth0/duplex", duplex);
  }
  // Sends GetLanStatusReq with `payload` through the handler and returns
  // the answer's bytes; `answered` false when none came.
  string ask(const string& payload = "", bool* answered = nullptr, uint32_t sequence = 4242) {
    deliver(kMsgIdSystemIFGetLanStatusReq, payload, lan_status_req, sequence);
    SystemIF::GetLanStatusRsp rsp;
    uint32_t seq = 0;
    bool got = answer(kMsgIdSystemIFGetLanStatusRsp, &rsp, 2000, &seq);
    if (answered != nullptr) *answered = got;
    if (got) {
      EXPECT_EQ(seq, sequence) << "the reply is addressed like the request";
    }
    return got ? rsp.SerializeAsString() : string();
  }
  static string expected(bool connected, const char* speed = nullptr, const char* duplex = nullptr) {
    SystemIF::GetLanStatusRsp r;
    r.set_error(0);
    r.set_lan_status_connected(connected);
    if (speed != nullptr) r.set_lan_speed(speed);
    if (duplex != nullptr) r.set_lan_duplex(duplex);
    return r.SerializeAsString();
  }
};

TEST_F(LanStatusTest, UpAnswersTheSpeedAndDuplex) {
  link("1000\n", "full\n");
  primeCarrier("1\n");
  string got = ask();
  EXPECT_EQ(got, expected(true, "1000", "full"));
  // Field by field, in their order: error, connected, speed, duplex.
  EXPECT_EQ(got, string("\x08\x00\x10\x01\x1a\x04"
                        "1000"
                        "\x22\x04"
                        "full",
                        16));
  EXPECT_TRUE(logged(7, "get_lan_connection 1000 full"));
  // Reading the state tells nobody anything.
  EXPECT_TRUE(notifications().empty());
  EXPECT_TRUE(rec().commands().empty());
}

TEST_F(LanStatusTest, DownAnswersOnlyTheErrorAndTheState) {
  link("1000\n", "full\n");
  peer().set(kModeVar, "Off");
  primeCarrier("0\n");
  string got = ask();
  EXPECT_EQ(got, expected(false));
  EXPECT_EQ(got, string("\x08\x00\x10\x00", 4));
  EXPECT_FALSE(logged(7, "get_lan_connection 1000 full"));
}

TEST_F(LanStatusTest, ARequestBeforeTheFirstReadingFindsTheLinkDown) {
  link("100\n", "half\n");
  carrier("1\n");
  // The poll of the request only opens the carrier file.
  EXPECT_EQ(ask(), expected(false));
  EXPECT_EQ(ask(), expected(true, "100", "half"));
}

TEST_F(LanStatusTest, TheRequestIsNotParsed) {
  link("10\n", "half\n");
  primeCarrier("1\n");
  bool answered = false;
  EXPECT_EQ(ask(string(11, '\xff'), &answered), expected(true, "10", "half"));
  EXPECT_TRUE(answered);
}

TEST_F(LanStatusTest, UnreadableSpeedFileGivesAnEmptySpeed) {
  rec().put_file("/sys/class/net/eth0/duplex", "full\n");
  primeCarrier("1\n");
  EXPECT_EQ(ask(), expected(true, "", "full"));
  EXPECT_TRUE(logged(3, "get_lan_connection open /sys/class/net/eth0/speed failed"));
  EXPECT_TRUE(logged(7, "get_lan_connection  full"));
}

TEST_F(LanStatusTest, LanConnectionReadsAtMostSevenBytesAndDropsTheLastOne) {
  struct Case {
    const char* file;
    const char* value;
  } cases[] = {
      {"1000\n", "1000"},
      {"1000", "100"},  // no newline: the last digit goes
      {"", ""},         // empty file
      {"\n", ""},
      {"10000000\n", "100000"},  // seven bytes read, the seventh dropped
      {"unknown\n", "unknow"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    link(c.file, "half\n");
    char speed[8] = "x";
    char duplex[8] = "x";
    get_lan_connection(speed, duplex);
    EXPECT_STREQ(speed, c.value);
    EXPECT_STREQ(duplex, "half");
  }
}

TEST_F(LanStatusTest, LanConnectionLeavesTheBuffersOfMissingFilesAlone) {
  char speed[8] = "keep";
  char duplex[8] = "mine";
  get_lan_connection(speed, duplex);
  EXPECT_STREQ(speed, "keep");
  EXPECT_STREQ(duplex, "mine");
  EXPECT_TRUE(logged(3, "get_lan_connection open /sys/class/net/eth0/speed failed"));
  EXPECT_TRUE(logged(3, "get_lan_connection open /sys/class/net/eth0/duplex failed"));
  EXPECT_TRUE(logged(7, "get_lan_connection keep mine"));
  EXPECT_EQ(requests(), (Strings{read(kDevVar)}));
}

TEST_F(LanStatusTest, LanConnectionDoesNothingWithoutTheDeviceName) {
  peer().breakReads(kDevVar);
  link("1000\n", "full\n");
  char speed[8] = "keep";
  char duplex[8] = "mine";
  get_lan_connection(speed, duplex);
  EXPECT_STREQ(speed, "keep");
  EXPECT_STREQ(duplex, "mine");
  EXPECT_FALSE(logged(7, "get_lan_connection keep mine"));
  EXPECT_TRUE(rec().records(SysIoCall::kOpen).empty());
  // Null buffers are refused without a read.
  forget();
  get_lan_connection(nullptr, duplex);
  get_lan_connection(speed, nullptr);
  EXPECT_TRUE(requests().empty());
}

}  // namespace
