// The store's promise to the disk: a value is synced before the caller may
// answer its writer; what clients send again at each start of theirs is
// committed without that wait until the service has time to sync (that it
// is kept: cfgRestart_test.cpp).
#include <sqlite3.h>

#include <cstdio>
#include <functional>
#include <tuple>

#include <gtest/gtest.h>

#include "tools/configsrvc/cfgStore.h"

namespace {

// The default file system with the syncs of the write-ahead log counted: a
// commit there is on the disk once the log is.
sqlite3_vfs gVfs;
sqlite3_io_methods gIo;
int (*gRealSync)(sqlite3_file*, int) = nullptr;
int gSyncs = 0;

int countedSync(sqlite3_file* f, int flags) { return ++gSyncs, gRealSync(f, flags); }

int countedOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* out) {
  sqlite3_vfs* real = static_cast<sqlite3_vfs*>(gVfs.pAppData);
  int rc = real->xOpen(real, name, f, flags, out);
  if (rc == SQLITE_OK && (flags & SQLITE_OPEN_WAL) != 0) {
    gIo = *f->pMethods;
    gRealSync = gIo.xSync;
    gIo.xSync = countedSync;
    f->pMethods = &gIo;
  }
  return rc;
}

TEST(CfgStoreSync, ValuesAndOptionsAreSyncedRegistrationsAndLevelsWhenTheServiceIsIdle) {
  gVfs = *sqlite3_vfs_find(nullptr);
  gVfs.pAppData = sqlite3_vfs_find(nullptr);
  gVfs.xOpen = countedOpen;
  ASSERT_EQ(sqlite3_vfs_register(&gVfs, 1), SQLITE_OK);
  const std::string db = testing::TempDir() + "cfgStoreSync.db";
  for (const char* end : {"", "-wal", "-shm"}) std::remove((db + end).c_str());
  CfgStore store;
  std::string err;
  ASSERT_TRUE(store.open(db, &err)) << err;
  CfgVar v;  // a name is not needed to store one
  v.inst.resize(1);
  // Each commits (or syncs) whether or not anything changed.
  const std::tuple<const char*, std::function<bool()>, bool> steps[] = {
      {"new variable", [&] { return store.saveVar(v); }, true},
      {"registration", [&] { return store.addReg({"SystemSrvc", "", 0, 3, ""}); }, false},
      {"levels", [&] { return store.saveLevels(v); }, false},
      {"sync when idle", [&] { return store.sync(); }, true},
      {"value", [&] { return store.saveInstance(v, 0); }, true},
  };
  for (const auto& [what, op, synced] : steps) {
    SCOPED_TRACE(what);
    const int before = gSyncs;
    ASSERT_TRUE(op());
    EXPECT_EQ(gSyncs > before, synced);
  }
}

}  // namespace
