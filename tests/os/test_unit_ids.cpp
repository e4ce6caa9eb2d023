// Unit index and multi-codec system id: parsing, caching, result codes and
// log texts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "OS/logmsg.h"
#include "OS/velar_idx.h"
#include "multicodec_util/multicodec_sysids.h"
#include "tests/os/os_test_util.h"

namespace {

using std::string;

const char kIdFile[] = "/opt/corvale/dat/multicodec_systemid.dat";
const char kIdxFile[] = "/tmp/velar-idx.txt";

class UnitIdTest : public ::testing::Test, public OsSeamFixtureBase {
 protected:
  void SetUp() override { logmsg_init(0, "syssrv"); }
};

// ---- unit index ----

// No logmsg_init here: it reads the unit index itself.
class VelarIdxTest : public ::testing::Test, public OsSeamFixtureBase {};

TEST_F(VelarIdxTest, VelarIdxReadsNumberOnceAndCaches) {
  rec().put_file(kIdxFile, "2\n");
  EXPECT_EQ(get_velar_idx(), 2);
  rec().put_file(kIdxFile, "5\n");
  EXPECT_EQ(get_velar_idx(), 2);
}

TEST_F(VelarIdxTest, VelarIdxNegativeBecomesZeroForGood) {
  rec().put_file(kIdxFile, "-4");
  EXPECT_EQ(get_velar_idx(), 0);
  rec().put_file(kIdxFile, "3");
  EXPECT_EQ(get_velar_idx(), 0) << "the file is not read again";
}

TEST_F(VelarIdxTest, VelarIdxMissingFileIsZeroAndNotReadLater) {
  EXPECT_EQ(get_velar_idx(), 0);
  rec().put_file(kIdxFile, "1");
  EXPECT_EQ(get_velar_idx(), 0);
}

TEST_F(VelarIdxTest, VelarIdxWithoutNumberIsZero) {
  rec().put_file(kIdxFile, "two\n");
  EXPECT_EQ(get_velar_idx(), 0);
}

TEST_F(VelarIdxTest, VelarIdxEmptyFileIsZero) {
  rec().put_file(kIdxFile, "");
  EXPECT_EQ(get_velar_idx(), 0);
}

TEST_F(VelarIdxTest, VelarIdxSkipsLeadingBlanks) {
  rec().put_file(kIdxFile, "  7 trailing");
  EXPECT_EQ(get_velar_idx(), 7);
}

TEST_F(VelarIdxTest, LogInitReadsIndexOnce) {
  rec().put_file(kIdxFile, "1");
  logmsg_init(0, "syssrv");
  rec().put_file(kIdxFile, "0");
  EXPECT_EQ(get_velar_idx(), 1);
}

// ---- system id: read ----

TEST_F(UnitIdTest, ReadIdDeliversNumberAndCachesIt) {
  rec().put_file(kIdFile, "2");
  uint32_t id = 99;
  EXPECT_EQ(read_codec_id(&id), kCodecIdOk);
  EXPECT_EQ(id, 2u);
  rec().put_file(kIdFile, "8");
  id = 99;
  EXPECT_EQ(read_codec_id(&id), 0);
  EXPECT_EQ(id, 2u) << "the second call answers from the cache";
  EXPECT_EQ(device(), "");
}

TEST_F(UnitIdTest, ReadIdEmptyFileIsResultTwoAndCached) {
  rec().put_file(kIdFile, "");
  uint32_t id = 77;
  EXPECT_EQ(read_codec_id(&id), kCodecIdReadFailed);
  EXPECT_EQ(id, 77u);
  const string line =
      "<3>syssrv: hd[0]: Failed to read system id from </opt/corvale/dat/multicodec_systemid.dat> \n";
  EXPECT_EQ(device(), line);
  rec().put_file(kIdFile, "4");
  EXPECT_EQ(read_codec_id(&id), 2);
  EXPECT_EQ(id, 77u);
  EXPECT_EQ(device(), line) << "the cached failure must not read or log again";
}

TEST_F(UnitIdTest, ReadIdMissingFileIsResultOneAndCached) {
  uint32_t id = 5;
  EXPECT_EQ(read_codec_id(&id), kCodecIdOpenFailed);
  EXPECT_EQ(id, 5u);
  const string line =
      "<3>syssrv: hd[0]: Failed to open for reading  </opt/corvale/dat/multicodec_systemid.dat> \n";
  EXPECT_EQ(device(), line);
  rec().put_file(kIdFile, "1");
  EXPECT_EQ(read_codec_id(&id), 1);
  EXPECT_EQ(device(), line);
}

TEST_F(UnitIdTest, ReadIdGarbageIsResultTwo) {
  rec().put_file(kIdFile, "abc");
  uint32_t id = 6;
  EXPECT_EQ(read_codec_id(&id), 2);
  EXPECT_EQ(id, 6u);
}

TEST_F(UnitIdTest, ReadIdAcceptsLineEndAndBlanks) {
  rec().put_file(kIdFile, " 12\nsecond line\n");
  uint32_t id = 0;
  EXPECT_EQ(read_codec_id(&id), 0);
  EXPECT_EQ(id, 12u);
}

TEST_F(UnitIdTest, ReadIdOnlyFirst31CharactersCount) {
  rec().put_file(kIdFile, string(31, '0') + "5");
  uint32_t id = 9;
  EXPECT_EQ(read_codec_id(&id), 0);
  EXPECT_EQ(id, 0u);
}

TEST_F(UnitIdTest, ReadIdWithNullPointerOnlyReportsResult) {
  rec().put_file(kIdFile, "3");
  EXPECT_EQ(read_codec_id(nullptr), 0);
  uint32_t id = 0;
  EXPECT_EQ(read_codec_id(&id), 0);
  EXPECT_EQ(id, 3u);
}

// ---- system id: write ----

TEST_F(UnitIdTest, WriteIdWritesDecimalWithoutLineEndAndInvalidatesCache) {
  rec().put_file(kIdFile, "2");
  uint32_t id = 0;
  ASSERT_EQ(read_codec_id(&id), 0);
  ASSERT_EQ(id, 2u);
  EXPECT_EQ(write_codec_id(3), kCodecIdOk);
  EXPECT_EQ(rec().file_bytes(kIdFile), "3");
  EXPECT_FALSE(rec().file_exists(string(kIdFile) + ".tmp"));
  EXPECT_EQ(read_codec_id(&id), 0);
  EXPECT_EQ(id, 3u);
  EXPECT_EQ(device(), "");
}

TEST_F(UnitIdTest, WriteIdLargeValueRoundTrips) {
  rec().make_dirs("/opt/corvale/dat");
  ASSERT_EQ(write_codec_id(4000000000u), 0);
  EXPECT_EQ(rec().file_bytes(kIdFile), "-294967296");
  uint32_t id = 0;
  EXPECT_EQ(read_codec_id(&id), 0);
  EXPECT_EQ(id, 4000000000u);
}

TEST_F(UnitIdTest, WriteIdFailsToOpenWithoutDirectory) {
  EXPECT_EQ(write_codec_id(3), kCodecIdOpenFailed);
  EXPECT_EQ(device(), "<3>syssrv: hd[0]: Failed to open for writing  </opt/corvale/dat/multicodec_systemid.dat> \n");
  EXPECT_FALSE(rec().file_exists(kIdFile));
}

TEST_F(UnitIdTest, WriteIdFailedWriteKeepsOldFile) {
  rec().put_file(kIdFile, "2");
  // The temporary file leads to a device that refuses every byte.
  ASSERT_EQ(symlink("/dev/full", rec().path(string(kIdFile) + ".tmp").c_str()), 0);
  EXPECT_EQ(write_codec_id(3), kCodecIdWriteFailed);
  EXPECT_EQ(device(), "<3>syssrv: hd[0]: Failed to write to system id from </opt/corvale/dat/multicodec_systemid.dat> \n");
  EXPECT_EQ(rec().file_bytes(kIdFile), "2");
  EXPECT_FALSE(rec().file_exists(string(kIdFile) + ".tmp"));
}

// ---- system id: remove ----

TEST_F(UnitIdTest, RemoveIdFileLogsAndInvalidatesCache) {
  rec().put_file(kIdFile, "2");
  ASSERT_EQ(read_codec_id(nullptr), 0);
  EXPECT_EQ(remove_codec_id_file(), kCodecIdRemoved);
  EXPECT_FALSE(rec().file_exists(kIdFile));
  EXPECT_EQ(device(), "<6>syssrv: hd[0]: Removed file /opt/corvale/dat/multicodec_systemid.dat\n");
  EXPECT_EQ(read_codec_id(nullptr), 1);
}

TEST_F(UnitIdTest, RemoveMissingIdFile) {
  EXPECT_EQ(remove_codec_id_file(), kCodecIdRemoveFailed);
  EXPECT_EQ(device(),
            "<3>syssrv: hd[0]: File: /opt/corvale/dat/multicodec_systemid.dat doesn't exist, can't remove. \n");
}

TEST_F(UnitIdTest, RemoveFailureIsReported) {
  // A directory in the file's place cannot be unlinked.
  rec().make_dirs(string(kIdFile) + "/inner");
  EXPECT_EQ(remove_codec_id_file(), 5);
  EXPECT_EQ(device(), "<3>syssrv: hd[0]: Failed to remove file /opt/corvale/dat/multicodec_systemid.dat. \n");
}

}  // namespace
