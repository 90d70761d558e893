#include "platform/paths.h"

#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <set>
#include <string>

#include <gtest/gtest.h>

#include "platform/temp_root.h"

namespace {

using platform::testing::TempRoot;

struct ResolveCase {
  const char* input;
  const char* expected;  // system path under the root; nullptr: refused with `error`
  int error = 0;
};

// Expected values are what a reader of the path would name by hand. The root holds
// /data/vendor/, /sys/class/touch/touch_dev/ and the file /odm/etc/touch.cfg.
const ResolveCase kResolveCases[] = {
    {"/dev/tamrel-touch", "/dev/tamrel-touch"},
    {"//odm///etc/./touch/", "/odm/etc/touch"},
    {"/data/vendor/../log/x.txt", "/data/log/x.txt"},
    {"/sys/class/touch/touch_dev/..", "/sys/class/touch"},
    {"/", "/"},
    {"/./.", "/"},
    {"/missing/file", "/missing/file"},  // no ".." to walk: the open fails later
    {"/..", nullptr, -EINVAL},
    {"/odm/../../etc/passwd", nullptr, -EINVAL},
    {"/a/b/../../../c", nullptr, -ENOENT},
    // The kernel walks ".." from the directory reached: a missing one cannot be left.
    {"/missing/../data/vendor", nullptr, -ENOENT},
    {"/data/none/../vendor", nullptr, -ENOENT},
    {"/odm/etc/touch.cfg/../touch.cfg", nullptr, -ENOTDIR},
};

TEST(PlatformPaths, ResolvesAbsolutePathsUnderTheRoot) {
  TempRoot root;
  ASSERT_EQ(plat_mkdir_p("/data/vendor", 0755), 0);
  ASSERT_EQ(plat_mkdir_p("/sys/class/touch/touch_dev", 0755), 0);
  root.writeFile("/odm/etc/touch.cfg", "x");
  for (const ResolveCase& c : kResolveCases) {
    SCOPED_TRACE(c.input);
    char out[PATH_MAX];
    int rc = plat_resolve(c.input, out, sizeof out);
    if (c.expected == nullptr) {
      EXPECT_EQ(rc, c.error);
      EXPECT_EQ(plat_path(c.input), "");
      continue;
    }
    const std::string want = std::string(c.expected) == "/" ? root.dir() : root.dir() + c.expected;
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(std::string(out), want);
    EXPECT_EQ(plat_path(c.input), want);
  }
  // A device path behind a missing directory is not opened either.
  EXPECT_EQ(plat_access("/missing/../data/vendor", F_OK), -1);
  EXPECT_EQ(errno, ENOENT);
}

TEST(PlatformPaths, RealRootWalksTheRealTree) {
  plat_set_root("");
  EXPECT_STREQ(plat_root(), "/");
  EXPECT_EQ(plat_path("//usr/./lib/../bin/"), "/usr/bin");
  EXPECT_EQ(plat_path("/"), "/");
  char out[PATH_MAX];
  EXPECT_EQ(plat_resolve("/..", out, sizeof out), -EINVAL);
  EXPECT_EQ(plat_resolve("/no-such-dir-here/../usr", out, sizeof out), -ENOENT);
  plat_set_root(nullptr);
}

// ".." after a symbolic link leaves the link's target, as with the kernel; a link leading
// out of the root cannot be climbed out of.
TEST(PlatformPaths, DotDotAfterASymbolicLinkLeavesItsTarget) {
  TempRoot root;
  ASSERT_EQ(plat_mkdir_p("/odm/firmware/panel", 0755), 0);
  ASSERT_EQ(plat_mkdir_p("/vendor/etc", 0755), 0);
  ASSERT_EQ(::symlink("../../odm/firmware/panel", (root.dir() + "/vendor/etc/fw").c_str()), 0);
  EXPECT_EQ(plat_path("/vendor/etc/fw/../x.cfg"), root.dir() + "/odm/firmware/x.cfg");
  ASSERT_EQ(::symlink("/tmp", (root.dir() + "/vendor/out").c_str()), 0);
  char out[PATH_MAX];
  EXPECT_EQ(plat_resolve("/vendor/out/../etc", out, sizeof out), -EXDEV);
}

TEST(PlatformPaths, RelativePathsAndBadArguments) {
  TempRoot root;
  char out[PATH_MAX];
  ASSERT_EQ(plat_resolve("touch/../cfg.txt", out, sizeof out), 0);
  EXPECT_STREQ(out, "touch/../cfg.txt");
  EXPECT_EQ(plat_resolve(nullptr, out, sizeof out), -EINVAL);
  EXPECT_EQ(plat_resolve("/dev/x", nullptr, 10), -EINVAL);

  // The buffer must hold the root, the path and the NUL.
  std::string want = root.dir() + "/dev/x";
  EXPECT_EQ(plat_resolve("/dev/x", out, want.size()), -ENAMETOOLONG);
  EXPECT_EQ(plat_resolve("/dev/x", out, want.size() + 1), 0);
  EXPECT_EQ(want, out);
  std::string huge = "/" + std::string(PATH_MAX, 'a');
  EXPECT_EQ(plat_resolve(huge.c_str(), out, sizeof out), -ENAMETOOLONG);
}

TEST(PlatformPaths, RootComesFromTheEnvironment) {
  ASSERT_EQ(setenv("VENDOR_ROOT", "/tmp/some-root///", 1), 0);
  plat_set_root(nullptr);
  const char* first = plat_root();
  EXPECT_STREQ(first, "/tmp/some-root");
  EXPECT_EQ(plat_path("/vendor/build.prop"), "/tmp/some-root/vendor/build.prop");

  plat_set_root("/elsewhere");
  EXPECT_STREQ(plat_root(), "/elsewhere");
  EXPECT_STREQ(first, "/tmp/some-root");  // an old pointer stays readable

  ASSERT_EQ(unsetenv("VENDOR_ROOT"), 0);
  plat_set_root(nullptr);
  EXPECT_STREQ(plat_root(), "/");
}

TEST(PlatformPaths, FileWrappersWorkInsideTheRoot) {
  TempRoot root;
  ASSERT_EQ(plat_mkdir_p("/data/vendor/touch/logs", 0755), 0);
  ASSERT_EQ(plat_mkdir_p("/data/vendor/touch/logs", 0755), 0);  // existing is fine
  struct stat st;
  ASSERT_EQ(::stat((root.dir() + "/data/vendor/touch/logs").c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));

  FILE* f = plat_fopen("/data/vendor/touch/a.txt", "w");
  ASSERT_NE(f, nullptr);
  fputs("hello", f);
  fclose(f);
  EXPECT_EQ(root.readFile("/data/vendor/touch/a.txt"), "hello");
  EXPECT_EQ(plat_access("/data/vendor/touch/a.txt", R_OK), 0);
  ASSERT_EQ(plat_stat("/data/vendor/touch/a.txt", &st), 0);
  EXPECT_EQ(st.st_size, 5);
  ASSERT_EQ(plat_lstat("/data/vendor/touch/a.txt", &st), 0);

  ASSERT_EQ(plat_rename("/data/vendor/touch/a.txt", "/data/vendor/touch/b.txt"), 0);
  EXPECT_EQ(plat_access("/data/vendor/touch/a.txt", F_OK), -1);
  EXPECT_EQ(errno, ENOENT);

  DIR* d = plat_opendir("/data/vendor/touch");
  ASSERT_NE(d, nullptr);
  std::set<std::string> names;
  while (struct dirent* e = readdir(d)) names.insert(e->d_name);
  closedir(d);
  EXPECT_EQ(names, (std::set<std::string>{".", "..", "b.txt", "logs"}));

  EXPECT_EQ(plat_unlink("/data/vendor/touch/b.txt"), 0);
  EXPECT_EQ(plat_rmdir("/data/vendor/touch/logs"), 0);
  EXPECT_EQ(plat_mkdir("/data/vendor/touch/logs", 0755), 0);
  EXPECT_EQ(plat_mkdir("/data/vendor/touch/logs", 0755), -1);
  EXPECT_EQ(errno, EEXIST);
}

TEST(PlatformPaths, MkdirPRefusesAFileInTheWay) {
  TempRoot root;
  root.writeFile("/data/blocker", "x");
  EXPECT_EQ(plat_mkdir_p("/data/blocker/sub", 0755), -1);
  EXPECT_EQ(errno, ENOTDIR);
}

TEST(PlatformPaths, WrappersRefusePathsAboveTheRoot) {
  TempRoot root;
  ASSERT_EQ(plat_mkdir_p("/odm", 0755), 0);
  errno = 0;
  EXPECT_EQ(plat_fopen("/../etc/passwd", "r"), nullptr);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(plat_access("/odm/../../etc/passwd", F_OK), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(plat_opendir("/.."), nullptr);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(plat_mkdir_p("/../x", 0755), -1);
  EXPECT_EQ(errno, EINVAL);
}

TEST(PlatformPaths, RealpathGivesTheSystemViewAndStaysInside) {
  TempRoot root;
  root.writeFile("/odm/firmware/cfg.txt", "1");
  ASSERT_EQ(plat_mkdir_p("/odm/etc", 0755), 0);
  ASSERT_EQ(::symlink("../firmware", (root.dir() + "/odm/etc/fw").c_str()), 0);
  char out[PATH_MAX];
  ASSERT_NE(plat_realpath("/odm/etc/fw/cfg.txt", out), nullptr);
  EXPECT_STREQ(out, "/odm/firmware/cfg.txt");
  char* dup = plat_realpath("/odm/./etc/..", nullptr);
  ASSERT_NE(dup, nullptr);
  EXPECT_STREQ(dup, "/odm");
  free(dup);

  // A link that leads out of the tree is refused rather than resolved on the host.
  ASSERT_EQ(::symlink("/tmp", (root.dir() + "/odm/out").c_str()), 0);
  errno = 0;
  EXPECT_EQ(plat_realpath("/odm/out", out), nullptr);
  EXPECT_EQ(errno, EXDEV);
  EXPECT_EQ(plat_realpath("/odm/missing", out), nullptr);
  EXPECT_EQ(errno, ENOENT);
}

}  // namespace
