// The performance-lock client stand-in, loaded by its bare name as the service loads it.
#include <dlfcn.h>

#include <gtest/gtest.h>

TEST(PerfLockStandIn, LocksAreTakenAndReleasedByHandle) {
  void *lib = dlopen(VENDOR_PLUGIN_DIR "/liborv-perfd-client.so", RTLD_NOW);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto acq = reinterpret_cast<int (*)(int, int, int *, int)>(dlsym(lib, "perf_lock_acq"));
  auto rel = reinterpret_cast<int (*)(int)>(dlsym(lib, "perf_lock_rel"));
  auto held = reinterpret_cast<int (*)()>(dlsym(lib, "perf_lock_held"));
  ASSERT_TRUE(acq && rel && held);
  int args[2] = {0x40800000, 1};
  const int h = acq(0, 100, args, 2);
  EXPECT_GT(h, 0);
  EXPECT_EQ(held(), 1);
  EXPECT_EQ(acq(0, -1, args, 2), -1);
  EXPECT_EQ(rel(h), 0);
  EXPECT_EQ(held(), 0);
  EXPECT_EQ(rel(0), -1);
  dlclose(lib);
}
