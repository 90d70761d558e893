// The utility layer, the cached log file under a temporary root, and the debug readout
// with its frame dumps.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

#include "luma_debug.h"
#include "luma_env.h"
#include "luma_util.h"
#include "platform/temp_root.h"

namespace {

constexpr int kTx = 17;
constexpr int kRx = 38;

std::vector<std::string> g_lines;

void CaptureLog(int32_t, const char *format, ...) {
  char text[2048];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  g_lines.emplace_back(text);
}

class Util : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = {};
    host_.log = CaptureLog;
    register_alg_module(&host_);
    alg_module_init();
    g_lines.clear();
    g_log_level = LMX_LOG_INFO;
  }
  void TearDown() override {
    tofile_close();
    register_alg_module(nullptr);
  }
  static bool Logged(const std::string &needle) {
    for (const auto &l : g_lines) {
      if (l.find(needle) != std::string::npos) return true;
    }
    return false;
  }
  static long FileSize(const std::string &path) {
    struct stat st {};
    return plat_stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
  }

  AlgHostCallbacks host_{};
};

TEST_F(Util, LogLevelsAndErrorTexts) {
  lmx_log_printf(LMX_LOG_DEBUG, "t", "dropped %d", 2);
  lmx_log_printf(LMX_LOG_INFO, "t", "shown %d", 3);
  EXPECT_FALSE(Logged("dropped"));
  EXPECT_TRUE(Logged("shown 3"));
  g_log_level = LMX_LOG_DISABLED;
  lmx_log_printf(LMX_LOG_ERROR, "t", "never");
  EXPECT_FALSE(Logged("never"));
  EXPECT_STREQ(lmx_err_strerror(-3), "0xfffffffd(-3)");
  EXPECT_STREQ(lmx_err_strerror(-200), "Bad parameter(s)");
  EXPECT_STREQ(lmx_version_get(nullptr, 0), "v4.0.1");
  EXPECT_STREQ(g_ver_info, "v4.0.1");
}

TEST_F(Util, OperationsTraceEntryAndExitAtVerboseLevel) {
  get_alg_version();
  EXPECT_FALSE(Logged("'get_alg_version' enter."));
  g_log_level = LMX_LOG_VERBOSE;
  get_alg_version();
  ASSERT_EQ(g_lines.size(), 2u);
  EXPECT_EQ(g_lines[0].rfind("alg_core:", 0), 0u);
  EXPECT_NE(g_lines[0].find(", 'get_alg_version' enter."), std::string::npos);
  EXPECT_NE(g_lines[1].find(", 'get_alg_version' leave."), std::string::npos);
}

TEST_F(Util, FormattingIsBoundedByTheDestination) {
  char small[8];
  std::memset(small, 'x', sizeof(small));
  EXPECT_EQ(lmx_util_sprintf(small, sizeof(small), "%s-%d", "a long text", 12345), 17);
  EXPECT_STREQ(small, "a long ");
}

TEST_F(Util, StopwatchCountsMilliseconds) {
  lmx_util_timestamp(0);
  const auto start = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(5)) {
  }
  const uint64_t elapsed = lmx_util_timestamp(1);
  EXPECT_GE(elapsed, 4u);
  // A loaded CI machine may hold the thread off for a long while; a count in microseconds
  // instead of milliseconds would still give 5000 or more.
  EXPECT_LT(elapsed, 1000u);
}

TEST_F(Util, FileFunctionsRefuseBadArguments) {
  EXPECT_EQ(lmx_file_open(nullptr, "r"), nullptr);
  EXPECT_EQ(lmx_last_error, LMX_ERR_BAD_PARAM);
  EXPECT_EQ(lmx_file_close(nullptr), LMX_ERR_BAD_PARAM);
  char b[4];
  EXPECT_EQ(lmx_file_read(b, 1, 4, nullptr), 0u);
  EXPECT_EQ(lmx_last_error, LMX_ERR_BAD_PARAM);
  EXPECT_EQ(lmx_file_exist(nullptr), 0);
  platform::testing::TempRoot root;
  EXPECT_EQ(lmx_file_open("/data/none/x", "rb"), nullptr);
  EXPECT_EQ(lmx_last_error, LMX_ERR_IO);
}

TEST_F(Util, CacheSwapsOnlyWhenARecordWouldNotFit) {
  platform::testing::TempRoot root;
  const std::string path = std::string(LMX_LOG_DIR) + "/" + LMX_LOG_FILE;
  std::vector<uint8_t> payload(65520, 0x5A);
  // The record counter runs for the life of the process; records another test left in the
  // cache are written away first, into this root, and forgotten.
  tofile_close();
  plat_unlink(path.c_str());
  // Fifteen full records and one that ends exactly at the buffer's end: no swap yet.
  for (int k = 0; k < 16; ++k) tofile_cache(1, payload.data(), static_cast<uint32_t>(payload.size()));
  EXPECT_EQ(FileSize(path), -1);
  // One byte more does not fit: the full buffer goes to the writer.
  const uint8_t one = 7;
  tofile_cache(-128, &one, 1);
  EXPECT_EQ(tofile_close(), 0);
  ASSERT_EQ(FileSize(path), static_cast<long>(LMX_CACHE_SIZE + LMX_CACHE_HEADER + 1));
  const std::string bytes = root.readFile(path);
  const auto *first = reinterpret_cast<const uint8_t *>(bytes.data());
  const auto *last = first + LMX_CACHE_SIZE;
  EXPECT_EQ(last[0], 1);
  EXPECT_EQ(last[1], static_cast<uint8_t>(first[1] + 16));  // the running record counter
  for (int k = 2; k < 13; ++k) EXPECT_EQ(last[k], 0) << k;  // no time stamp for a negative type
  EXPECT_EQ(static_cast<int8_t>(last[13]), -128);
  EXPECT_EQ(last[14] | (last[15] << 8), 1);
  EXPECT_EQ(last[16], 7);
}

TEST_F(Util, RecordLengthMustFitItsSixteenBitField) {
  platform::testing::TempRoot root;
  const std::string path = std::string(LMX_LOG_DIR) + "/" + LMX_LOG_FILE;
  std::vector<uint8_t> payload(70000, 1);
  tofile_cache(1, payload.data(), static_cast<uint32_t>(payload.size()));
  EXPECT_TRUE(Logged("is too long"));
  tofile_cache(1, nullptr, 4);
  EXPECT_TRUE(Logged("value/size(4) is null"));
  tofile_cache(1, payload.data(), 65535);
  tofile_close();
  const std::string bytes = root.readFile(path);
  ASSERT_EQ(bytes.size(), 65535u + LMX_CACHE_HEADER);  // only the record that fits
  EXPECT_EQ(static_cast<uint8_t>(bytes[14]), 0xFF);
  EXPECT_EQ(static_cast<uint8_t>(bytes[15]), 0xFF);
}

TEST_F(Util, AFullLogFileRollsOverToTheBackup) {
  platform::testing::TempRoot root;
  const std::string path = std::string(LMX_LOG_DIR) + "/" + LMX_LOG_FILE;
  const std::string backup = std::string(LMX_LOG_DIR) + "/" + LMX_LOG_BACKUP;
  root.writeFile(path, "old");
  ASSERT_EQ(truncate(plat_path(path).c_str(), 50L * 1024 * 1024), 0);
  const char text[] = "new";
  tofile_cache(1, text, 3);
  tofile_close();
  EXPECT_EQ(FileSize(backup), 50L * 1024 * 1024);
  EXPECT_EQ(FileSize(path), static_cast<long>(LMX_CACHE_HEADER + 3));
  // Below the limit the file grows.
  tofile_cache(1, text, 3);
  tofile_close();
  EXPECT_EQ(FileSize(path), static_cast<long>(2 * (LMX_CACHE_HEADER + 3)));
}

TEST_F(Util, DumpHasItsHeaderAndTheSetsOfItsMode) {
  std::vector<uint8_t> dump(8192, 0xEE);
  EXPECT_EQ(AppDumpSaveProcess(nullptr, 3), 0u);
  const uint32_t rows = 12 * kRx * 2;
  EXPECT_EQ(AppDumpSaveProcess(dump.data(), 0), LUMA_DUMP_HEADER_SIZE + rows);
  const uint32_t set = kTx * kRx * 2 + (kTx + kRx) * 2 + kRx * 2;
  EXPECT_EQ(AppDumpSaveProcess(dump.data(), 3), LUMA_DUMP_HEADER_SIZE + 2 * set + rows);

  // The header carries the frame number and the saved points; the text skips empty ids.
  g_stDebugFrameData.usFrameNum = 321;
  std::memset(&g_stRptSave, 0xFF, sizeof(g_stRptSave));
  g_stRptSave.ucEventNum = 2;
  g_stRptSave.astPoint[0] = {3, 2, 100, 200};
  g_stRptSave.astPoint[1] = {12, 0, 1, 1};
  g_stFrmData.assMcDiff[kRx + 2] = -77;
  const uint32_t length = AppDumpSaveProcess(dump.data(), 1);
  EXPECT_EQ(dump[0] | (dump[1] << 8), 321);
  EXPECT_EQ(dump[26], 2);
  std::string text(LUMA_CSV_LIMIT, '\0');
  const uint32_t written = AppDumpCsvProcess(text.data(), dump.data(), 1);
  ASSERT_GT(written, 0u);
  text.resize(written);
  EXPECT_EQ(text.rfind("Frame:321 ", 0), 0u);
  EXPECT_NE(text.find("PointNum:2 3 2 100 200 \n"), std::string::npos);
  EXPECT_NE(text.find("    -77"), std::string::npos);
  // Header line, 17 matrix lines, three self lines and 12 debug rows.
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + kTx + 3 + 12);
  (void)length;
  EXPECT_EQ(AppDumpCsvProcess(nullptr, dump.data(), 3), 0u);
}

TEST_F(Util, ReadoutRowsCarryTheirMarkersAndPrintsNeedTheHostSwitch) {
  g_stFrmData.usFrmFlag |= LUMA_FRM_VALID;
  g_ssRefreshSetPos = 4;
  AppHostReadDebufInfo();
  const uint16_t *rows = g_stDebugFrameData.ausRows;
  EXPECT_EQ(rows[1 * kRx], 12001);
  EXPECT_EQ(rows[1 * kRx + 30], 4);
  EXPECT_EQ(rows[1 * kRx + 36], 0x145B);
  EXPECT_EQ(rows[2 * kRx], 12002);
  EXPECT_EQ(rows[3 * kRx + 36], 4444);
  EXPECT_EQ(rows[4 * kRx], 12004);
  EXPECT_EQ(g_ssRefreshSetPos, 0);  // cleared once shown for a valid frame

  g_lines.clear();
  g_stSysParam.ucHostPara0 = 0;
  AppDebugPrintLog();
  EXPECT_TRUE(g_lines.empty());
  g_stSysParam.ucHostPara0 = 128;
  g_stSysParam.ucHostPara1 = 1;  // header and the debug rows
  AppDebugPrintLog();
  ASSERT_EQ(g_lines.size(), 1u + 12u);
  EXPECT_EQ(g_lines[0].rfind("Frame:", 0), 0u);
  EXPECT_EQ(g_lines[2].substr(0, 6), " 12001");
  print_buffer_s16(nullptr, 5, 0);
  EXPECT_EQ(g_lines.back(), "buffer/node_num(5) is null");
}

}  // namespace
