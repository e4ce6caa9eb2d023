// The unit index of a multi-codec system, read once from "/tmp/velar-idx.txt".
#include <gtest/gtest.h>

#include <string>

#include "OS/os_testing.h"
#include "OS/velar_idx.h"
#include "tests/OS/os_test_util.h"

class VelarIdxTest : public ::testing::Test, public OsSeamFixtureBase {};

TEST_F(VelarIdxTest, ReadsOneNumberOnceAndNeverAgain) {
  const struct { const char* file; int idx; } cases[] = {  // file null: none
      {"2\n", 2}, {"  7 trailing", 7}, {"-4", 0}, {nullptr, 0}, {"two\n", 0}, {"", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file ? c.file : "no file");
    velar_idx_testing_reset();
    if (c.file) rec().put_file("/tmp/velar-idx.txt", c.file);
    else rec().unlink("/tmp/velar-idx.txt");
    EXPECT_EQ(get_velar_idx(), c.idx);
    rec().put_file("/tmp/velar-idx.txt", "5");
    EXPECT_EQ(get_velar_idx(), c.idx) << "the cached index, not the file";
  }
}
