// The touch host stand-ins loaded as the touch feature service loads them.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include <thread>

#include "platform_touchhost_test.h"

namespace {

struct Library {
  explicit Library(const char *name) : handle(dlopen((std::string(VENDOR_PLUGIN_DIR) + "/" + name + ".so").c_str(), RTLD_NOW)) {}
  ~Library() {
    if (handle != nullptr) dlclose(handle);
  }
  void *handle;
};

int g_finger = -1;
void finger(int *status) { g_finger = *status; }

TEST(TouchHostStandIn, EntryPointsOfEachVariant) {
  const struct {
    const char *name;
    bool cmd;
    bool callback;
  } cases[] = {{"libtapsense_standin", true, true},
               {"libtapsense_standin_nocmd", false, true},
               {"libtapsense_standin_nocallback", true, false}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    Library lib(c.name);
    ASSERT_NE(lib.handle, nullptr) << dlerror();
    EXPECT_NE(dlsym(lib.handle, "thp_daemon_main"), nullptr);
    EXPECT_EQ(dlsym(lib.handle, "thp_daemon_cmd_process") != nullptr, c.cmd);
    EXPECT_EQ(dlsym(lib.handle, "thp_callback_process") != nullptr, c.callback);
  }
}

TEST(TouchHostStandIn, RecordsBlocksAnswersAndRunsMainUntilReleased) {
  platform_touchhost_test::reset();
  Library lib("libtapsense_standin");
  ASSERT_NE(lib.handle, nullptr);
  auto cmd = reinterpret_cast<int (*)(common_data *, int *)>(dlsym(lib.handle, "thp_daemon_cmd_process"));
  auto cb = reinterpret_cast<void (*)(void (*)(int *))>(dlsym(lib.handle, "thp_callback_process"));
  auto main = reinterpret_cast<int (*)()>(dlsym(lib.handle, "thp_daemon_main"));

  platform_touchhost_test::setBehaviour(true, 7, 42);
  common_data b{};
  b.cmd = 1;
  b.mode = 1085;
  int pass = 1;
  EXPECT_EQ(cmd(&b, &pass), 7);
  EXPECT_EQ(pass, 0);
  EXPECT_EQ(b.values[0], 42u);
  platform_touchhost_test::setBehaviour(false, -3);
  b.cmd = 0;
  pass = 1;
  EXPECT_EQ(cmd(&b, &pass), -3);
  EXPECT_EQ(pass, 1);
  ASSERT_EQ(platform_touchhost_test::received().size(), 2u);
  EXPECT_EQ(platform_touchhost_test::received()[0].pass_before, 1);

  cb(finger);
  platform_touchhost_test::callFinger(3);
  EXPECT_EQ(g_finger, 3);

  platform_touchhost_test::setMain(true, 5);
  int result = 0;
  std::thread runner([&] { result = main(); });
  ASSERT_TRUE(platform_touchhost_test::waitMainRunning(std::chrono::seconds(2)));
  platform_touchhost_test::releaseMain();
  runner.join();
  EXPECT_EQ(result, 5);
  EXPECT_EQ(platform_touchhost_test::mainCalls(), 1);
}

}  // namespace
