#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstring>

#include "BufferAllocator/BufferAllocatorWrapper.h"
#include "platform/devio.h"
#include "tzcom/object.h"
#include "tzcom/sim_tz.h"

namespace {

using platform::tz::SimTz;

Object open(Object env, uint32_t cls) {
  ObjectArg a[2];
  a[0].bi = {&cls, 4};
  a[1].o = Object_NULL;
  EXPECT_EQ(Object_invoke(env, 0, a, ObjectCounts_pack(1, 0, 0, 1)), 0);
  return a[1].o;
}

TEST(TzCom, RunningAppIsFoundByNameAndKeepsStorage) {
  SimTz::get().reset();
  Object env;
  ASSERT_EQ(TZCom_getClientEnvObject(&env), 0);
  Object client = open(env, 151);
  ObjectArg a[3];
  a[0].bi = {"secproc_service", 15};
  a[1].o = Object_NULL;
  ASSERT_EQ(Object_invoke(client, 0, a, ObjectCounts_pack(1, 0, 0, 1)), 0);
  Object app = a[1].o;
  ASSERT_NE(app.invoke, nullptr);

  uint32_t tag = 0x44495354;
  uint8_t data[5] = {1, 2, 3, 4, 5};
  a[0].bi = {&tag, 4};
  a[1].bi = {data, 5};
  EXPECT_EQ(Object_invoke(app, 14, a, ObjectCounts_pack(2, 0, 0, 0)), 0);
  uint8_t out[16] = {};
  a[1].b = {out, sizeof out};
  ASSERT_EQ(Object_invoke(app, 2, a, ObjectCounts_pack(1, 1, 0, 0)), 0);
  EXPECT_EQ(a[1].b.size, 5u);
  EXPECT_EQ(out[4], 5);
  EXPECT_EQ(Object_invoke(app, 4, a, ObjectCounts_pack(1, 0, 0, 0)), 0);
  EXPECT_TRUE(SimTz::get().storage().empty());

  // Wrong counts are refused.
  EXPECT_NE(Object_invoke(app, 13, a, 1), 0);
  SimTz::get().setResult(13, 0x10000 | 12);
  EXPECT_EQ(Object_invoke(app, 13, nullptr, 0), 0x10000 | 12);

  Object_release(app);
  Object_release(client);
  Object_release(env);
  EXPECT_EQ(SimTz::get().liveObjects(), 0);
}

TEST(TzCom, AppNotRunningIsLoadedFromAnImageAndSharedMemoryCarriesData) {
  SimTz::get().reset();
  SimTz::get().setAppRunning(false);
  Object env;
  ASSERT_EQ(TZCom_getClientEnvObject(&env), 0);
  Object client = open(env, 151);
  ObjectArg a[3];
  a[0].bi = {"secproc_service", 15};
  EXPECT_NE(Object_invoke(client, 0, a, ObjectCounts_pack(1, 0, 0, 1)), 0);
  Object loader = open(env, 3);
  uint8_t image[3] = {7, 8, 9};
  a[0].bi = {image, 3};
  ASSERT_EQ(Object_invoke(loader, 0, a, ObjectCounts_pack(1, 0, 0, 1)), 0);
  Object controller = a[1].o;
  EXPECT_EQ(SimTz::get().loadedImage().size(), 3u);
  ASSERT_EQ(Object_invoke(controller, 2, a, ObjectCounts_pack(0, 0, 0, 1)), 0);
  Object app = a[0].o;

  BufferAllocator* alloc = CreateDmabufHeapBufferAllocator();
  int fd = DmabufHeapAlloc(alloc, "tz-test-heap", 4096, 0, 0);
  ASSERT_GE(fd, 0);
  auto* mem = static_cast<uint8_t*>(plat_mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
  std::memset(mem, 0xAB, 300);
  Object memObj;
  ASSERT_EQ(TZCom_getFdObject(fd, &memObj), 0);
  uint32_t hdr[2] = {0x41545453, 300};
  a[0].bi = {hdr, 8};
  a[1].o = memObj;
  ASSERT_EQ(Object_invoke(app, 1, a, ObjectCounts_pack(1, 0, 1, 0)), 0);
  EXPECT_EQ(SimTz::get().storage().at(0x41545453).size(), 300u);
  std::memset(mem, 0, 300);
  uint32_t len = 4096;
  a[0].bi = {&hdr[0], 4};
  a[1].b = {&len, 4};
  a[2].o = memObj;
  ASSERT_EQ(Object_invoke(app, 3, a, ObjectCounts_pack(1, 1, 1, 0)), 0);
  EXPECT_EQ(len, 300u);
  EXPECT_EQ(mem[299], 0xAB);
  plat_munmap(mem, 4096);
  plat_close(fd);
  FreeDmabufHeapBufferAllocator(alloc);
  for (Object o : {memObj, app, controller, loader, client, env}) Object_release(o);
  EXPECT_EQ(SimTz::get().liveObjects(), 0);
}

}  // namespace
