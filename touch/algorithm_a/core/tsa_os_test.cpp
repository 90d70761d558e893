#include <android/log.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/temp_root.h"
#include "tsa_module.h"
#include "ferx_syslog_capture_test.h"
#include "tsa_module_test_util.h"
#include "tsa_os.h"

namespace {

using fxtest::LogCapture;

using fxtest::SysLogCapture;
std::vector<SysLogCapture::Line> L() { return SysLogCapture::Raw(); }

class OsLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    TsaModuleResetForTest();
    LogCapture::Clear();
    syslog_.emplace();
    host_.log = LogCapture::Log;
    register_alg_module(&host_);
  }
  void TearDown() override {
    syslog_.reset();
    TsaModuleResetForTest();
  }
  std::vector<std::string> Messages() { return SysLogCapture::Messages(); }
  AlgHostCallbacks host_{};
  std::optional<SysLogCapture> syslog_;
};

TEST_F(OsLayer, FindFileMatchesSuffixWithoutCaseAndJoinsOneSlash) {
  platform::testing::TempRoot root;
  root.writeFile("/data/fx/readme.md", "x");
  root.writeFile("/data/fx/panel_a.bin", "x");
  char out[128];
  for (const char* dir : {"/data/fx", "/data/fx/"}) {
    ASSERT_EQ(find_file(dir, ".BIN", out, sizeof(out)), 0) << dir;
    EXPECT_STREQ(out, "/data/fx/panel_a.bin");
  }
  EXPECT_EQ(find_file("/data/fx", ".ini", out, sizeof(out)), FERX_FIND_NO_MATCH);
  EXPECT_EQ(find_file("/data/fx", "a_longer_suffix_than_any_name.bin", out, sizeof(out)), FERX_FIND_NO_MATCH);
  EXPECT_EQ(find_file("/data/none", ".bin", out, sizeof(out)), FERX_FIND_NO_DIR);
  char small[8];
  EXPECT_EQ(find_file("/data/fx", ".bin", small, sizeof(small)), FERX_FIND_NO_MATCH);  // would not fit
}

TEST_F(OsLayer, DirectoriesAreMadeDirectlyNeverThroughAShell) {
  platform::testing::TempRoot root;
  struct stat st{};
  ASSERT_EQ(plat_mkdir_p("/data", 0755), 0);
  EXPECT_EQ(host_create_directory("/data/one"), 0);
  EXPECT_EQ(host_create_directory("/data/one"), 0);  // already there
  EXPECT_EQ(plat_stat("/data/one", &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(host_create_directory("/data/missing/child"), -1);

  EXPECT_EQ(host_create_multi_directory("/data/a/b/c"), 0);
  EXPECT_EQ(plat_stat("/data/a/b/c", &st), 0);
  // Shell text in a path is a name, not a command.
  EXPECT_EQ(host_create_multi_directory("/data/x;touch /data/pwned"), 0);
  EXPECT_NE(plat_stat("/data/pwned", &st), 0);
  EXPECT_EQ(plat_stat("/data/x;touch /data/pwned", &st), 0);
  const std::string longPath = "/data/" + std::string(195, 'd');
  EXPECT_EQ(host_create_multi_directory(longPath.c_str()), -1);  // 201 characters
  EXPECT_EQ(host_create_multi_directory(longPath.substr(0, 200).c_str()), 0);
}

TEST_F(OsLayer, LogPrintGoesToHostSlot6WithPrefixAndBounds) {
  log_print(FERX_LOG_INFO, "value %d\n", 7);
  ASSERT_EQ(LogCapture::lines.size(), 1u);
  EXPECT_EQ(LogCapture::lines[0], "[ferx]: value 7\n");
  const std::string big(1000, 'q');
  log_print(FERX_LOG_ERR, "%s", big.c_str());
  EXPECT_EQ(LogCapture::lines[1], "[ferx]: " + std::string(FERX_LOG_MSG_BYTES - 1, 'q'));
  host_.log = nullptr;
  log_print(FERX_LOG_ERR, "dropped");
  register_alg_module(nullptr);
  log_print(FERX_LOG_ERR, "dropped");
  EXPECT_EQ(LogCapture::lines.size(), 2u);
}

TEST_F(OsLayer, FerxLogPrintMapsLevelsAndTagsTheFunction) {
  const struct {
    uint8_t level;
    int priority;  // 0: nothing written
  } cases[] = {{0, 0},
               {1, ANDROID_LOG_ERROR},
               {2, ANDROID_LOG_WARN},
               {3, ANDROID_LOG_INFO},
               {4, ANDROID_LOG_DEBUG},
               {5, ANDROID_LOG_DEBUG},
               {6, 0}};
  for (const auto& c : cases) {
    SysLogCapture::Clear();
    FerxLogPrint("Stage", c.level, "n=%d", 3);
    if (c.priority == 0) {
      EXPECT_TRUE(L().empty()) << int(c.level);
      continue;
    }
    ASSERT_EQ(L().size(), 1u) << int(c.level);
    EXPECT_EQ(L()[0].priority, c.priority);
    EXPECT_EQ(L()[0].tag, "[ferx_tsa][Stage]");
    EXPECT_EQ(L()[0].message, "n=3");
  }
  SysLogCapture::Clear();
  FerxLogPrint(std::string(80, 'f').c_str(), 1, "%s", std::string(500, 'm').c_str());
  ASSERT_EQ(L().size(), 1u);
  EXPECT_EQ(L()[0].tag.size(), FERX_SYSLOG_TAG_BYTES - 1);
  EXPECT_EQ(L()[0].message.size(), FERX_SYSLOG_MSG_BYTES - 1);
  SysLogCapture::Clear();
  host_log_print("plain");
  ASSERT_EQ(L().size(), 1u);
  EXPECT_EQ(L()[0].tag, "FERRANT");
  EXPECT_EQ(L()[0].priority, ANDROID_LOG_INFO);
}

TEST_F(OsLayer, PrintArrayBreaksLinesByCountAndByLength) {
  const uint8_t bytes[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 0xAB};
  FerxlogPrintArray("F", bytes, FERX_ARRAY_U8, 10, 4, 3);
  EXPECT_EQ(Messages(), (std::vector<std::string>{"00 01 02 03 ", "04 05 06 07 ", "08 ab "}));

  SysLogCapture::Clear();
  const uint16_t words[3] = {65535, 2, 40000};
  FerxlogPrintArray("F", words, FERX_ARRAY_U16, 3, 0, 3);
  FerxlogPrintArray("F", words, FERX_ARRAY_S16, 3, 0, 3);
  EXPECT_EQ(Messages(), (std::vector<std::string>{"65535 2 40000 ", "-1 2 -25536 "}));

  SysLogCapture::Clear();
  FerxlogPrintArray("F", bytes, FERX_ARRAY_U8, 0, 4, 3);
  EXPECT_TRUE(L().empty());

  // Per line 0: a line is written once it holds 246 characters (82 values of 3).
  uint8_t many[100] = {};
  FerxlogPrintArray("F", many, FERX_ARRAY_U8, 100, 0, 3);
  ASSERT_EQ(L().size(), 2u);
  EXPECT_EQ(L()[0].message.size(), 246u);
  EXPECT_EQ(L()[1].message.size(), 18u * 3);
}

TEST_F(OsLayer, ThreadsAndSemaphoresWork) {
  sem_t* sem = host_sem_create(0);
  ASSERT_NE(sem, nullptr);
  static std::atomic<int> ran{0};
  ran = 0;
  pthread_t thread;
  ASSERT_EQ(host_thread_create(
                &thread, nullptr,
                [](void* arg) -> void* {
                  ++ran;
                  host_sem_post(static_cast<sem_t*>(arg));
                  return nullptr;
                },
                sem),
            0);  // also where the real-time policy is refused
  EXPECT_EQ(host_sem_wait(sem), 0);
  EXPECT_EQ(host_thread_join(&thread), 0);
  EXPECT_EQ(ran.load(), 1);
  EXPECT_EQ(host_sem_destroy(sem), 0);

  pthread_mutex_t m;
  ASSERT_EQ(host_mutex_init(&m), 0);
  ASSERT_EQ(host_mutex_lock(&m), 0);
  EXPECT_NE(host_mutex_trylock(&m), 0);
  EXPECT_EQ(host_mutex_unlock(&m), 0);
  EXPECT_EQ(host_mutex_destroy(&m), 0);
  const uint64_t t0 = FerxGetTimeUsStamp();
  EXPECT_GT(t0, 1600000000ull * 1000000ull);
}

}  // namespace
