// Driver attributes: written in place with one write, never created.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include "platform/sysio/sysio.h"
#include "platform/sysio/sysio_recorder.h"

namespace {

TEST(WriteAttrTest, ReplacesAnExistingAttributeAndNeverCreatesOne) {
  RecorderSysIo rec;
  sysio_install(&rec);
  rec.put_file("/sys/class/leds/red/brightness", "255\n");
  struct stat before;
  ASSERT_EQ(sysio().stat("/sys/class/leds/red/brightness", &before), 0);

  errno = EINTR;  // stale, from an earlier call: a finished write is not repeated
  EXPECT_TRUE(sysio_write_attr("/sys/class/leds/red/brightness", "0"));
  EXPECT_EQ(rec.file_bytes("/sys/class/leds/red/brightness"), "0");
  struct stat after;
  ASSERT_EQ(sysio().stat("/sys/class/leds/red/brightness", &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino) << "written in place, not renamed over";

  errno = 0;
  EXPECT_FALSE(sysio_write_attr("/sys/class/leds/red/trigger", "none"));
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(rec.file_exists("/sys/class/leds/red/trigger"));
  EXPECT_FALSE(sysio_write_attr("/sys/class/leds/red", "1")) << "a directory is no attribute";

  // A driver that takes fewer bytes than offered is a failure, not a
  // success: a file size limit of one byte stands for it.
  rec.put_file("/sys/devices/fan/level", "");
  struct rlimit saved;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit one = saved;
  one.rlim_cur = 1;
  ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &one), 0);
  errno = 0;
  const bool ok = sysio_write_attr("/sys/devices/fan/level", "12");
  const int err = errno;
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, SIG_DFL);
  EXPECT_FALSE(ok);
  EXPECT_EQ(err, EIO);
  EXPECT_EQ(rec.file_bytes("/sys/devices/fan/level"), "1");
  sysio_install(nullptr);
}

}  // namespace
