// Multi-codec system id file: parsing, caching, result codes, the bytes
// written and the log lines.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "OS/logmsg.h"
#include "multicodec_util/multicodec_sysids.h"
#include "multicodec_util/multicodec_sysids_testing.h"
#include "tests/OS/os_test_util.h"

namespace {

using std::string;

const char kIdFile[] = "/opt/corvale/dat/multicodec_systemid.dat";
const string kE = "<3>syssrv: hd[0]: ";

struct UnitIdTest : ::testing::Test, OsSeamFixtureBase {
  void SetUp() override { logmsg_init(0, "syssrv"); }
};

TEST_F(UnitIdTest, ReadConvertsTheFirstLineLikeAtoiAndCachesTheResult) {
  const struct { const char* file; int result; uint32_t id; string log; } cases[] = {  // file null: none
      {"2", 0, 2, ""}, {" 12\nsecond line\n", 0, 12, ""}, {"abc", 0, 0, ""}, {"7x", 0, 7, ""},  // like atoi
      {"-294967296", 0, 4000000000u, ""}, {"0000000000000000000000000000000" "5", 0, 0, ""},  // 31 count
      {"", 2, 99, kE + "Failed to read system id from </opt/corvale/dat/multicodec_systemid.dat> \n"},
      {nullptr, 1, 99, kE + "Failed to open for reading  </opt/corvale/dat/multicodec_systemid.dat> \n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file ? c.file : "no file");
    multicodec_sysids_testing_reset();
    const size_t mark = device().size();
    if (c.file) rec().put_file(kIdFile, c.file);
    else rec().unlink(kIdFile);
    for (int call = 0; call < 2; ++call) {  // the second answers from the cache
      uint32_t id = 99;
      EXPECT_EQ(read_codec_id(&id), c.result);
      EXPECT_EQ(id, c.id);
      rec().put_file(kIdFile, "8");
    }
    EXPECT_EQ(read_codec_id(nullptr), c.result);
    EXPECT_EQ(device().substr(mark), c.log) << "a cached result neither reads nor logs again";
  }
}

TEST_F(UnitIdTest, WriteStoresDecimalWithoutLineEndThroughASyncedTemporary) {
  rec().put_file(kIdFile, "2");
  ASSERT_EQ(read_codec_id(nullptr), 0);
  rec().clear();
  EXPECT_EQ(write_codec_id(4000000000u), kCodecIdOk);
  EXPECT_EQ(rec().file_bytes(kIdFile), "-294967296");
  uint32_t id = 0;
  EXPECT_EQ(read_codec_id(&id), 0) << "a write makes the next read open the file again";
  EXPECT_EQ(id, 4000000000u);
  auto opens = rec().records(SysIoCall::kOpen);
  ASSERT_EQ(opens.size(), 2u);
  EXPECT_NE(opens[1].path, kIdFile);
  EXPECT_EQ(opens[1].flags, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC) << "a temporary of this call only";
  EXPECT_FALSE(rec().file_exists(opens[1].path));
  EXPECT_EQ(device(), "");
}

TEST_F(UnitIdTest, WriteAndRemoveFailuresKeepTheirCodesAndTheOldFile) {
  const string path = kIdFile;
  EXPECT_EQ(write_codec_id(3), kCodecIdOpenFailed);  // no directory
  rec().make_dirs(path + "/inner");                   // a directory in the file's place
  EXPECT_EQ(write_codec_id(3), kCodecIdOpenFailed);
  EXPECT_EQ(remove_codec_id_file(), kCodecIdRemoveFailed);
  const string openFailed = kE + "Failed to open for writing  <" + path + "> \n";
  EXPECT_EQ(device(), openFailed + openFailed + kE + "Failed to remove file " + path + ". \n");
  // A file size limit of 0 makes every write fail (the log line is lost too).
  ASSERT_EQ(rmdir(rec().path(path + "/inner").c_str()) + rmdir(rec().path(path).c_str()), 0);
  rec().put_file(kIdFile, "2");
  struct rlimit old, none;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  none = {0, old.rlim_max};
  sighandler_t oldSig = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &none), 0);
  int rc = write_codec_id(3);
  setrlimit(RLIMIT_FSIZE, &old), signal(SIGXFSZ, oldSig);
  EXPECT_EQ(rc, kCodecIdWriteFailed);
  EXPECT_EQ(rec().file_bytes(kIdFile), "2");
  std::vector<std::string> names;
  ASSERT_TRUE(rec().list_dir("/opt/corvale/dat", &names));
  EXPECT_EQ(names, std::vector<std::string>{"multicodec_systemid.dat"}) << "the temporary is removed";
}

}  // namespace
