// The save-log interface: the bounded line queue, and the module writing dated log files
// when the user type asks for it.
#include "savelog/save_log.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "config/test_host.h"
#include "platform/paths.h"
#include "platform/properties.h"
#include "platform/properties_test_api.h"

namespace {

TEST(SaveLogQueue, DropsTheLineAfterAHundredAndWakesTheWriterAtTheThirtieth) {
  SaveLogQueue queue;
  std::vector<bool> wakes;
  for (int i = 0; i < HAL_SAVE_LOG_QUEUE_SLOTS; ++i) {
    const std::string line = "line " + std::to_string(i) + "\n";
    bool wake = false;
    ASSERT_TRUE(queue.push(line.data(), line.size(), &wake)) << i;
    wakes.push_back(wake);
  }
  EXPECT_FALSE(wakes[28]);
  EXPECT_TRUE(wakes[29]);  // more than 28 waited before it
  bool wake = false;
  EXPECT_FALSE(queue.push("dropped\n", 8, &wake));
  EXPECT_EQ(queue.queued(), 100u);

  std::vector<std::string> drained;
  queue.drain([&](const char *line, size_t length) { drained.emplace_back(line, length); });
  ASSERT_EQ(drained.size(), 100u);  // a full ring is drained whole, not mistaken for empty
  EXPECT_EQ(drained.front(), "line 0\n");
  EXPECT_EQ(drained.back(), "line 99\n");
  EXPECT_EQ(queue.queued(), 0u);
  EXPECT_TRUE(queue.push("again\n", 6, &wake));
}

class SaveLog : public hal_test::ModuleFixture {
 protected:
  void SetUp() override { plat_properties_reset(); }
  void TearDown() override {
    ModuleFixture::TearDown();
    plat_properties_reset();
  }
  int32_t userType(uint8_t cmd, uint32_t value) {
    common_data b{};
    b.cmd = cmd;
    b.mode = COMMON_DATA_MODE_USER_TYPE;
    b.count = 1;
    b.values[0] = value;
    int32_t pass = 1;
    const int32_t rc = module_->receive_common_data(&b, &pass);
    EXPECT_EQ(pass, 0);
    return rc;
  }
  std::vector<std::string> rootEntries() {
    std::vector<std::string> names;
    DIR *dir = plat_opendir(HAL_SAVE_LOG_ROOT);
    if (dir == nullptr) return names;
    while (struct dirent *e = readdir(dir))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(SaveLog, UserTypeOneWritesStampedLinesToANewDatedFileAndPrunesTheRoot) {
  // Five stray files and one directory whose log is full.
  for (const char *name : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"})
    root_.writeFile(std::string(HAL_SAVE_LOG_ROOT) + "/" + name, "x");
  const std::string fullLog = std::string(HAL_SAVE_LOG_ROOT) + "/2020-01-01-00:00:00/" + HAL_SAVE_LOG_FILE_NAME;
  root_.writeFile(fullLog, "");
  ASSERT_EQ(truncate(plat_path(fullLog).c_str(), HAL_SAVE_LOG_FULL_BYTES + 1), 0);
  start("save_log_mode\n    default_user_type = 2\n");

  EXPECT_EQ(userType(COMMON_DATA_CMD_SET_MODE_VALUE, 1), 0);
  ASSERT_TRUE(hal_save_log_writer_running());
  const std::string path = hal_save_log_current_path();
  ASSERT_FALSE(path.empty());
  EXPECT_NE(path, fullLog);  // the full one takes no more lines
  char value[PROP_VALUE_MAX];
  property_get(HAL_SAVE_LOG_USER_TYPE_PROPERTY, value, "");
  EXPECT_STREQ(value, "1");
  EXPECT_EQ(userType(COMMON_DATA_CMD_GET_CUR_VALUE, 0), 1);

  // Regular files went in name order until three entries were left, then the new directory.
  std::vector<std::string> expected{"2020-01-01-00:00:00", "d.txt", "e.txt",
                                    path.substr(strlen(HAL_SAVE_LOG_ROOT) + 1, 19)};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(rootEntries(), expected);
  struct stat st{};
  ASSERT_EQ(stat(plat_path(path).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0660u);  // not world-writable

  auto write = reinterpret_cast<hal_save_log_write_fn>(module_->save_log_process1);
  write("report", "finger down at 10,20");
  write("report", nullptr);
  EXPECT_EQ(userType(COMMON_DATA_CMD_SET_MODE_VALUE, 0), 0);  // stops the writer, which drains first
  EXPECT_FALSE(hal_save_log_writer_running());
  const std::string text = root_.readFile(path);
  EXPECT_NE(text.find(" report finger down at 10,20\n"), std::string::npos) << text;
  EXPECT_EQ(text.front(), '[');
  write("report", "after the stop");  // ignored without a writer
  EXPECT_EQ(root_.readFile(path).find("after the stop"), std::string::npos);
  EXPECT_EQ(userType(COMMON_DATA_CMD_GET_CUR_VALUE, 0), 2);  // back to the configured default
}

TEST_F(SaveLog, ALogDirectoryWithRoomIsReusedAndTheCheckReachesEveryInterface) {
  const std::string log = std::string(HAL_SAVE_LOG_ROOT) + "/2024-05-05-10:00:00/" + HAL_SAVE_LOG_FILE_NAME;
  root_.writeFile(log, "earlier\n");
  start("save_log_mode\n    default_user_type = 2\n");
  ASSERT_EQ(property_set(HAL_SAVE_LOG_USER_TYPE_PROPERTY, "1"), 0);
  reinterpret_cast<hal_save_log_check_fn>(module_->save_log_process2)();
  ASSERT_TRUE(hal_save_log_writer_running());
  EXPECT_EQ(hal_save_log_current_path(), log);
  EXPECT_EQ(host_.count("check user type is 1"), 1u);
  reinterpret_cast<hal_save_log_write_fn>(module_->save_log_process1)("hal", "second");
  module_->exit();
  started_ = false;
  const std::string text = root_.readFile(log);
  EXPECT_EQ(text.rfind("earlier\n", 0), 0u);
  EXPECT_NE(text.find(" hal second\n"), std::string::npos);
}

TEST_F(SaveLog, WithoutALogRootNothingStarts) {
  start("");
  EXPECT_EQ(userType(COMMON_DATA_CMD_SET_MODE_VALUE, 1), 0);
  EXPECT_FALSE(hal_save_log_writer_running());
  EXPECT_TRUE(hal_save_log_current_path().empty());
}

}  // namespace
