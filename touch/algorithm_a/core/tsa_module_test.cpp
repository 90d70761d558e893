#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "framework.h"
#include "tsa_common.h"
#include "tsa_config.h"
#include "tsa_ctrl.h"
#include "tsa_debug.h"
#include "tsa_module.h"
#include "tsa_module_links.h"
#include "tsa_module_test_util.h"
#include "tsa_pack.h"
#include "tsa_replay.h"
#include "tsa_startup.h"

namespace {

using fxtest::Bytes;
using fxtest::LogCapture;
using fxtest::V;

// Everything the module hands to the host, and the calls it makes into the linked modules.
struct Rec {
  static inline std::vector<Bytes> writes;
  static inline std::vector<std::pair<uint32_t, std::vector<uint32_t>>> driver;
  static inline std::vector<uint8_t> reportCounts, states, fingerprints;
  static inline std::vector<uint64_t> debugCells;
  static inline std::vector<DecodedFrame*> processed;
  static inline std::vector<std::string> timerCalls;  // "start doze 500", "stop baseline"
  static inline std::vector<Bytes> pushed;             // module command slots
  static inline std::vector<uint64_t> ctrl;            // CtrlState command words
  static inline int drains = 0, frames = 0;
  static inline uint8_t suspendSta = 0;
  // What the report output returns and fills.
  static inline uint32_t diffCount = 0;
  static inline uint8_t fpState = 0, fpChanged = 0, largeState = 0, largeChanged = 0;

  static void Clear() {
    writes.clear();
    driver.clear();
    reportCounts.clear();
    states.clear();
    fingerprints.clear();
    debugCells.clear();
    processed.clear();
    timerCalls.clear();
    pushed.clear();
    ctrl.clear();
    drains = frames = 0;
    suspendSta = 0;
    diffCount = 0;
    fpState = fpChanged = largeState = largeChanged = 0;
  }
  static const char* Name(timer_tool* t) { return t == &doze_timer ? "doze" : "baseline"; }
  static int32_t Start(timer_tool* t, int32_t ms) {
    timerCalls.push_back(std::string("start ") + Name(t) + " " + std::to_string(ms));
    return 0;
  }
  static int32_t Stop(timer_tool* t) {
    timerCalls.push_back(std::string("stop ") + Name(t));
    return 0;
  }
  static int32_t Register(timer_tool* t, timer_tool_handler) {
    t->start = Start;
    t->stop = Stop;
    timerCalls.push_back(std::string("register ") + Name(t));
    return 0;
  }
  static int32_t Write(uint32_t, uint8_t* p, uint32_t n, uint32_t) {
    writes.emplace_back(p, p + n);
    return 0;
  }
  static int32_t Driver(uint32_t type, uint32_t* v, uint32_t n) {
    driver.emplace_back(type, std::vector<uint32_t>(v, v + n));
    return 0;
  }
  static void Report(AlgTouchPoint*, uint8_t n) { reportCounts.push_back(n); }
  static void State(uint8_t v) { states.push_back(v); }
  static void Fingerprint(uint8_t v) { fingerprints.push_back(v); }
  static void Debug(void* cell) {
    uint64_t v;
    std::memcpy(&v, cell, sizeof(v));
    debugCells.push_back(v);
  }
  static void Processed(DecodedFrame* f) { processed.push_back(f); }
  // Linked-module stand-ins.
  static uint32_t Push(const uint8_t* slot) {
    pushed.emplace_back(slot, slot + FERX_MCMD_SLOT_BYTES);
    return 0;
  }
  static uint32_t Drain() {
    ++drains;
    return 0;
  }
  static uint32_t Ctrl(uint64_t w, uint64_t) {
    ctrl.push_back(w);
    return 0;
  }
  static uint32_t Frame(DecodedFrame*) {
    ++frames;
    return 0;
  }
  static uint32_t Diff(uint64_t, uint64_t, AlgTouchPoint* points, uint8_t* fs, uint8_t* fc, uint8_t* ls,
                       uint8_t* lc) {
    for (int i = 0; i < ALG_TOUCH_POINT_MAX; ++i) points[i].x = 100 + i;
    *fs = fpState;
    *fc = fpChanged;
    *ls = largeState;
    *lc = largeChanged;
    return diffCount;
  }
  static uint8_t Suspend() { return suspendSta; }
};

// A 16-byte module command slot built byte by byte.
Bytes Slot(uint32_t id, uint16_t n, uint8_t p1, uint8_t p2) {
  Bytes s(16, 0);
  fxtest::Put32(s, 0, id);
  fxtest::Put16(s, 4, n);
  s[6] = p1;
  s[7] = p2;
  return s;
}

Bytes ScanRatePacket(uint8_t rate) { return {0x00, 0x00, 0x05, 0x9D, rate, static_cast<uint8_t>(0xA2 + rate), 0x00}; }

class ModuleOps : public ::testing::Test {
 protected:
  void SetUp() override {
    TsaModuleResetForTest();
    TsaDebugResetForTest();
    ReplayPackReset();
    Rec::Clear();
    LogCapture::Clear();
    host_.log = LogCapture::Log;
    host_.controller_write = Rec::Write;
    host_.driver_request.ferrant = Rec::Driver;
    host_.register_timer = Rec::Register;
    host_.report_points = Rec::Report;
    host_.state_change = Rec::State;
    host_.fingerprint_area = Rec::Fingerprint;
    host_.debug_frame_info = Rec::Debug;
    host_.frame_processed = Rec::Processed;
    module_ = register_alg_module(&host_);
    gstTsaModuleLinks = {Rec::Push, Rec::Drain, Rec::Ctrl, Rec::Frame, Rec::Diff, Rec::Suspend};
    std::memset(&gstCommon, 0, sizeof(gstCommon));
    std::memset(&gstTimeCtrlCfg, 0, sizeof(gstTimeCtrlCfg));
    gboCheckDozeFlag = 0;
  }
  void TearDown() override {
    TsaStartupUnbindForTest();
    ReplayResetForTest();
    TsaDebugResetForTest();
    TsaModuleResetForTest();
  }
  static void ReplayPackReset() {
    ReportPackResetForTest();
    ReplayResetForTest();
  }
  // Hands the module a configuration file through a pipe, as the host does with its fd.
  void ReadConfig(const Bytes& file) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], file.data(), file.size()), static_cast<ssize_t>(file.size()));
    close(fds[1]);
    EXPECT_EQ(module_->read_config_param(0, 0, 0, fds[0]), 0);
    close(fds[0]);
  }
  std::vector<Bytes> QueuedPackets() {
    std::vector<Bytes> out;
    for (uint8_t i = 0; i < tsa_request_num; ++i) {
      const uint8_t* e = tsa_request_ring + i * TSA_REQUEST_BYTES;
      out.emplace_back(e + 6, e + 6 + (e[4] | (e[5] << 8)));
    }
    return out;
  }
  AlgHostCallbacks host_{};
  AlgModule* module_ = nullptr;
};

TEST_F(ModuleOps, DescriptorFillsTheTenSlots) {
  EXPECT_STREQ(module_->name, "ferrant-alg");
  EXPECT_EQ(module_->initialised, 1);
  const auto* slots = reinterpret_cast<const uint8_t*>(module_) + ALG_MODULE_SLOTS_OFFSET;
  const std::vector<int> filled = {0, 1, 4, 5, 6, 7, 9, 11, 13, 14};
  for (int i = 0; i < ALG_MODULE_SLOT_COUNT; ++i) {
    void* p;
    std::memcpy(&p, slots + 8 * i, sizeof(p));
    const bool expect = std::find(filled.begin(), filled.end(), i) != filled.end();
    EXPECT_EQ(p != nullptr, expect) << "slot " << i;
  }
  EXPECT_STREQ(module_->get_version(), "ferx-alg-24.10.14.002");
  EXPECT_EQ(register_alg_module(nullptr), module_);  // same record, table forgotten
  DecodedFrame frame{};
  Rec::diffCount = 3;
  EXPECT_EQ(module_->update_diff_data.ferrant(0, &frame), 0);
  EXPECT_EQ(module_->update_frame_data(&frame), 0);
  EXPECT_TRUE(Rec::reportCounts.empty());
  EXPECT_TRUE(Rec::processed.empty());
}

TEST_F(ModuleOps, ReadConfigurationKeepsTheFileAndRefusesBadDescriptors) {
  EXPECT_EQ(module_->read_config_param(0, 0, 0, 0), 0);
  EXPECT_TRUE(LogCapture::Has("vendor_config_file_fd is 0"));
  EXPECT_EQ(g_config_ptr, nullptr);
  Bytes file(5000);
  for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<uint8_t>(i * 3);
  ReadConfig(file);
  EXPECT_TRUE(LogCapture::Has("read flash.bin success, len:4609"));
  EXPECT_EQ(g_config_ptr, flash_bin_buf + 1);
  EXPECT_EQ(0, std::memcmp(flash_bin_buf, file.data(), FERX_FLASH_BIN_BYTES));
  EXPECT_EQ(module_->read_config_param(0, 0, 0, 9999), 0);
  EXPECT_TRUE(LogCapture::Has("read flash.bin faild, Bad file descriptor"));
}

TEST_F(ModuleOps, InitStartsReportingAndRegistersTwoTimersExitStopsReporting) {
  ReadConfig(fxtest::BuildConfigFile(fxtest::GoodConfigBlob(), fxtest::BuildIcInfoBlock({})));
  ASSERT_EQ(module_->init(), 0);
  EXPECT_TRUE(LogCapture::Has("ferx_alg_module_init IN"));
  EXPECT_EQ(0, std::memcmp(ic_version.family, "KESTON", 6));
  EXPECT_EQ(0, std::memcmp(ic_version.model, "7731", 4));
  ASSERT_EQ(Rec::writes.size(), 1u);
  EXPECT_EQ(Rec::writes[0], (Bytes{0x00, 0x00, 0x06, 0x90, 0x01, 0x01, 0x98, 0x00}));
  EXPECT_EQ(Rec::timerCalls, (std::vector<std::string>{"register doze", "register baseline"}));
  EXPECT_EQ(module_->exit(), 0);
  ASSERT_EQ(Rec::writes.size(), 2u);
  EXPECT_EQ(Rec::writes[1], (Bytes{0x00, 0x00, 0x05, 0x90, 0x00, 0x95, 0x00}));
  // The lock is usable again after exit.
  EXPECT_EQ(module_->update_suspend_status.ferrant(1), 0);
}

TEST_F(ModuleOps, InitFailuresStopBeforeTimersAndWrites) {
  Bytes bad = fxtest::BuildIcInfoBlock({});
  bad[10] ^= 0xFF;
  ReadConfig(fxtest::BuildConfigFile(fxtest::GoodConfigBlob(), bad));
  EXPECT_EQ(module_->init(), FERX_EINVAL);
  TsaModuleResetForTest();
  register_alg_module(&host_);
  // No configuration file ever read: the information check fails.
  EXPECT_EQ(module_->init(), FERX_EINVAL);
  EXPECT_TRUE(Rec::writes.empty());
  EXPECT_TRUE(Rec::timerCalls.empty());
}

TEST_F(ModuleOps, InitWithoutRegisterTimerSkipsEveryTimerCall) {
  host_.register_timer = nullptr;
  ReadConfig(fxtest::BuildConfigFile(fxtest::GoodConfigBlob(), fxtest::BuildIcInfoBlock({})));
  ASSERT_EQ(module_->init(), 0);
  gboCheckDozeFlag = 1;
  DecodedFrame frame{};
  module_->update_frame_data(&frame);
  check_doze(1);
  check_doze(0);
  EXPECT_TRUE(Rec::timerCalls.empty());
  module_->exit();
}

struct CommonCase {
  const char* name;
  uint8_t cmd;
  uint16_t mode;
  uint32_t value;
  std::vector<Bytes> pushed;
  std::vector<Bytes> queued;
  uint16_t idle, baseline;
  uint8_t highSpeed;
};

TEST_F(ModuleOps, ReceiveCommonDataTable) {
  const std::vector<CommonCase> cases = {
      {"game on", 0, 0, 1, {Slot(194, 1, 1, 0)}, {ScanRatePacket(0)}, 500, 400, 0},
      {"game value 2", 0, 0, 2, {}, {}, 500, 400, 0},
      {"idle select", 0, 1, 1, {}, {}, 10000, 9900, 0},
      {"edge level 2", 0, 7, 2, {Slot(23, 2, 0, 0x92)}, {}, 500, 400, 0},
      {"edge level 9", 0, 7, 9, {Slot(23, 2, 0, 0x12)}, {}, 500, 400, 0},
      {"orientation 3", 0, 8, 3, {Slot(23, 2, 0xD3, 0)}, {}, 500, 400, 0},
      {"orientation 2", 0, 8, 2, {Slot(23, 2, 0x13, 0)}, {}, 500, 400, 0},
      {"pocket", 0, 26, 1, {Slot(112, 1, 1, 0)}, {}, 500, 400, 0},
      {"charge", 0, 1010, 2, {Slot(175, 1, 2, 0)}, {}, 500, 400, 0},
      {"temperature", 0, 1094, 37, {Slot(96, 1, 37, 0)}, {}, 500, 400, 0},
      {"high speed idle", 0, 203, 1, {}, {}, 20000, 19900, 1},
      {"unknown mode", 0, 999, 1, {}, {}, 500, 400, 0},
      {"reset", 6, 0, 0, {Slot(194, 1, 0, 0)}, {ScanRatePacket(1)}, 500, 400, 0},
      {"long value other mode", 7, 3, 0, {}, {}, 500, 400, 0},
      {"other command", 9, 0, 0, {}, {}, 500, 400, 0},
  };
  for (const CommonCase& c : cases) {
    TsaDebugResetForTest();
    Rec::pushed.clear();
    guwIdleTime = 500;
    guwIdleBaseLineTime = 400;
    high_speed_idle = 0;
    gpubCmdData[0] = gpubCmdData[1] = 0;
    common_data d{};
    d.cmd = c.cmd;
    d.mode = c.mode;
    d.count = 1;
    d.values[0] = c.value;
    EXPECT_EQ(module_->receive_common_data.ferrant(&d), 0);
    EXPECT_EQ(Rec::pushed, c.pushed) << c.name;
    EXPECT_EQ(QueuedPackets(), c.queued) << c.name;
    EXPECT_EQ(guwIdleTime, c.idle) << c.name;
    EXPECT_EQ(guwIdleBaseLineTime, c.baseline) << c.name;
    EXPECT_EQ(high_speed_idle, c.highSpeed) << c.name;
  }
}

TEST_F(ModuleOps, IdlePeriodsFollowTheTimeConfiguration) {
  common_data d{};
  d.mode = 203;
  d.values[0] = 1;
  gstTimeCtrlCfg.uwHighSpeedIdlePeriod = 15000;
  module_->receive_common_data.ferrant(&d);
  EXPECT_EQ(guwIdleTime, 15000);
  EXPECT_EQ(guwIdleBaseLineTime, 14900);
  // Leaving: only when above the limit.
  d.values[0] = 0;
  gstTimeCtrlCfg.uwIdlePeriodLimit = 16000;
  module_->receive_common_data.ferrant(&d);
  EXPECT_EQ(guwIdleTime, 15000);
  EXPECT_EQ(high_speed_idle, 1);
  gstTimeCtrlCfg.uwIdlePeriodLimit = 8000;
  module_->receive_common_data.ferrant(&d);
  EXPECT_EQ(guwIdleTime, 8000);
  EXPECT_EQ(guwIdleBaseLineTime, 7900);
  EXPECT_EQ(high_speed_idle, 0);
  // Reset with a configured doze period; one below 100 ms starts the baseline at 0, not
  // at a wrapped 65 seconds.
  common_data r{};
  r.cmd = 6;
  gstTimeCtrlCfg.uwIdleDozePeriod = 700;
  module_->receive_common_data.ferrant(&r);
  EXPECT_EQ(guwIdleTime, 700);
  EXPECT_EQ(guwIdleBaseLineTime, 600);
  gstTimeCtrlCfg.uwIdleDozePeriod = 60;
  module_->receive_common_data.ferrant(&r);
  EXPECT_EQ(guwIdleTime, 60);
  EXPECT_EQ(guwIdleBaseLineTime, 0);
}

TEST_F(ModuleOps, FullRingDropsTheRequestNotThePush) {
  const Bytes filler = Slot(1, 0, 0, 0);
  Bytes entry(TSA_REQUEST_BYTES, 0);
  entry[0] = 1;
  for (int i = 0; i < 10; ++i) ASSERT_EQ(TsaRequestPush(entry.data()), 0);
  common_data d{};
  d.values[0] = 1;
  module_->receive_common_data.ferrant(&d);
  EXPECT_EQ(Rec::pushed, (std::vector<Bytes>{Slot(194, 1, 1, 0)}));
  EXPECT_EQ(V(tsa_request_num), 10);
  (void)filler;
}

TEST_F(ModuleOps, FingerprintAreaReportingSwitch) {
  const struct {
    uint32_t value;
    uint8_t expect;
  } cases[] = {{0, 0}, {100, 0}, {1, 1}, {2, 1}};
  for (const auto& c : cases) {
    fod_report_en = 7;
    common_data d{};
    d.mode = 10;
    d.values[0] = c.value;
    module_->receive_common_data.ferrant(&d);
    EXPECT_EQ(fod_report_en, c.expect) << c.value;
  }
}

TEST_F(ModuleOps, EdgeParametersLandInTheirBlocks) {
  common_data d{};
  d.cmd = 7;
  d.mode = 15;
  const uint32_t groups[][8] = {
      {2, 1, 11, 12, 13, 14, 0, 0},       // type 2 entry 1 -> 4..7
      {1, 3, 21, 22, 23, 24, 0, 0},       // type 1 entry 3 -> 28..31
      {0, 0, 31, 32, 33, 0x10034, 0, 0},  // type 0 entry 0 -> 32..35 and 48..51 (u16)
      {2, 4, 91, 92, 93, 94, 0, 0},       // entry 4: outside the block, ignored
      {5, 0, 81, 82, 83, 84, 0, 0},       // unknown type: nothing
  };
  d.count = 40;
  std::memcpy(d.values, groups, sizeof(groups));
  module_->receive_common_data.ferrant(&d);
  std::vector<uint16_t> expect(64, 0);
  for (int k = 0; k < 4; ++k) {
    expect[4 + k] = static_cast<uint16_t>(11 + k);
    expect[28 + k] = static_cast<uint16_t>(21 + k);
    expect[32 + k] = expect[48 + k] = static_cast<uint16_t>(31 + k);
  }
  expect[35] = expect[51] = 0x0034;  // stored as u16
  EXPECT_EQ(std::vector<uint16_t>(gppuwEdgePramCmd, gppuwEdgePramCmd + 64), expect);
  EXPECT_EQ(Rec::pushed, (std::vector<Bytes>{Slot(25, 1, 1, 0)}));
  EXPECT_EQ(LogCapture::Count("edge parameters"), 1u);
}

TEST_F(ModuleOps, EdgeParameterCountBeyondAByteEndsAndStaysInTheBlock) {
  // A count above 255 with an 8-bit group index never ends; a count above the 256 values
  // would read past the block. Both end at the block's last whole group.
  common_data d{};
  d.cmd = 7;
  d.mode = 15;
  d.count = 0xFFFF;
  for (int g = 0; g < 32; ++g) {
    d.values[8 * g] = 2;
    d.values[8 * g + 1] = 3;
    d.values[8 * g + 2] = static_cast<uint32_t>(g);
  }
  module_->receive_common_data.ferrant(&d);
  EXPECT_EQ(gppuwEdgePramCmd[12], 31);  // the last group of the block won
  // A count that ends inside a group's used words: that group is not read.
  std::memset(gppuwEdgePramCmd, 0, sizeof(gppuwEdgePramCmd));
  d.count = 8 + 5;
  module_->receive_common_data.ferrant(&d);
  EXPECT_EQ(gppuwEdgePramCmd[12], 0);
}

TEST_F(ModuleOps, SuspendStatusCommands) {
  Rec::suspendSta = 0;
  module_->update_suspend_status.ferrant(1);  // suspend
  Rec::suspendSta = 1;
  module_->update_suspend_status.ferrant(0);  // already resumed: empty command
  Rec::suspendSta = 0;
  module_->update_suspend_status.ferrant(2);  // resume (bit 0 clear)
  const uint64_t off = 144ull | (1ull << 32);
  const uint64_t on = 144ull | (1ull << 32) | (1ull << 48);
  EXPECT_EQ(Rec::ctrl, (std::vector<uint64_t>{off, 0, on}));
}

TEST_F(ModuleOps, FrameCountersAndTimers) {
  host_.register_timer(&doze_timer, nullptr);
  host_.register_timer(&baseline_timer, nullptr);
  Rec::timerCalls.clear();
  DecodedFrame frame{};
  frame.frame_count = 0x1234567890ull;
  update_frame_date_cnt = 1998;
  gboCheckDozeFlag = 1;
  std::vector<uint16_t> counts;
  for (int i = 0; i < 3; ++i) {
    module_->update_frame_data(&frame);
    counts.push_back(update_frame_date_cnt);
  }
  EXPECT_EQ(counts, (std::vector<uint16_t>{1999, 2000, 0}));
  EXPECT_EQ(frame_number, 0x34567890u);
  EXPECT_EQ(package_data_len, FERX_FRAME_PACKAGE_BYTES);
  EXPECT_EQ(Rec::drains, 3);
  EXPECT_EQ(Rec::frames, 3);
  EXPECT_EQ(Rec::processed, (std::vector<DecodedFrame*>{&frame, &frame, &frame}));
  EXPECT_EQ(Rec::timerCalls[0], "start doze 500");
  EXPECT_EQ(Rec::timerCalls[1], "start baseline 400");
  // The doze flag cleared: both stopped.
  Rec::timerCalls.clear();
  gboCheckDozeFlag = 0;
  module_->update_frame_data(&frame);
  EXPECT_EQ(Rec::timerCalls, (std::vector<std::string>{"stop doze", "stop baseline"}));
  EXPECT_EQ(idle_frame_cnt, 0);
}

TEST_F(ModuleOps, LongIdleStopsTheTimersBeforeTheFrame) {
  host_.register_timer(&doze_timer, nullptr);
  host_.register_timer(&baseline_timer, nullptr);
  gboCheckDozeFlag = 1;
  DecodedFrame frame{};
  for (int i = 0; i < 250; ++i) module_->update_frame_data(&frame);
  Rec::timerCalls.clear();
  module_->update_frame_data(&frame);  // the 251st
  ASSERT_GE(Rec::timerCalls.size(), 2u);
  EXPECT_EQ(Rec::timerCalls[0], "stop doze");
  EXPECT_EQ(Rec::timerCalls[1], "stop baseline");
  // Game mode keeps them running.
  gstCommon.ubGameModeFlag = 1;
  for (int i = 0; i < 300; ++i) module_->update_frame_data(&frame);
  Rec::timerCalls.clear();
  module_->update_frame_data(&frame);
  EXPECT_EQ(Rec::timerCalls[0], "start doze 500");
}

TEST_F(ModuleOps, RequestsQueuedDuringAFrameAreSentAfterIt) {
  common_data d{};
  d.values[0] = 1;
  module_->receive_common_data.ferrant(&d);  // queues 0x9D 0
  DecodedFrame frame{};
  module_->update_frame_data(&frame);
  EXPECT_EQ(Rec::writes, (std::vector<Bytes>{ScanRatePacket(0)}));
  EXPECT_EQ(V(tsa_request_num), 0);
}

TEST_F(ModuleOps, DiffDataCallsTheHostSlotsInOrder) {
  DecodedFrame frame{};
  int16_t mutual[4] = {};
  frame.mutual = mutual;
  Rec::diffCount = 2;
  Rec::largeChanged = 1;
  Rec::largeState = 1;
  Rec::fpChanged = 1;
  Rec::fpState = 1;
  Rec::suspendSta = 1;
  EXPECT_EQ(module_->update_diff_data.ferrant(0, &frame), 0);
  EXPECT_EQ(Rec::reportCounts, (std::vector<uint8_t>{2}));
  EXPECT_EQ(Rec::states, (std::vector<uint8_t>{1}));
  EXPECT_EQ(Rec::fingerprints, (std::vector<uint8_t>{1}));
  EXPECT_EQ(Rec::debugCells, (std::vector<uint64_t>{reinterpret_cast<uintptr_t>(mutual)}));
  EXPECT_EQ(point_num_bak, 2);

  // Fingerprint touched but reporting off or suspended: not called; released: 0.
  Rec::Clear();
  const struct {
    uint8_t fod, suspend, state;
    std::vector<uint8_t> expect;
  } fp[] = {{0, 1, 1, {}}, {1, 0, 1, {}}, {1, 1, 0, {0}}, {0, 0, 0, {0}}};
  for (const auto& c : fp) {
    Rec::fingerprints.clear();
    fod_report_en = c.fod;
    Rec::suspendSta = c.suspend;
    Rec::fpChanged = 1;
    Rec::fpState = c.state;
    Rec::diffCount = 1;
    module_->update_diff_data.ferrant(0, &frame);
    EXPECT_EQ(Rec::fingerprints, c.expect);
  }
}

TEST_F(ModuleOps, NoReportCallsNoSlotAndCountIsBoundedByTwelve) {
  DecodedFrame frame{};
  Rec::diffCount = 0xFFFFFFFFu;  // hold: 255 in the low byte
  Rec::largeChanged = Rec::fpChanged = 1;
  module_->update_diff_data.ferrant(0, &frame);
  EXPECT_TRUE(Rec::reportCounts.empty());
  EXPECT_TRUE(Rec::states.empty());
  EXPECT_TRUE(Rec::fingerprints.empty());
  EXPECT_TRUE(Rec::debugCells.empty());
  EXPECT_EQ(update_diff_date_cnt, 1);
  Rec::diffCount = 40;
  module_->update_diff_data.ferrant(0, &frame);
  EXPECT_EQ(Rec::reportCounts, (std::vector<uint8_t>{12}));
}

TEST_F(ModuleOps, FrameEventGoesToTheDaemonWithBothPackages) {
  static uint32_t frameLen = 0, reportLen = 0;
  static uint8_t* reportPtr = nullptr;
  tsd_frame_event_notify_func_register([](uint8_t*, uint32_t fl, uint8_t* rp, uint32_t rl) {
    frameLen = fl;
    reportPtr = rp;
    reportLen = rl;
  });
  DecodedFrame frame{};
  module_->update_frame_data(&frame);
  module_->update_diff_data.ferrant(0, &frame);
  EXPECT_EQ(frameLen, FERX_FRAME_PACKAGE_BYTES);
  EXPECT_EQ(reportPtr, report_package);
  EXPECT_LE(reportLen, FERX_REPORT_PACKAGE_BYTES);
  tsd_frame_event_notify_func_register(nullptr);
}

TEST_F(ModuleOps, TimerHandlersAskTheDriver) {
  ferx_doze_timer_handler(&doze_timer);
  high_speed_idle = 1;
  ferx_doze_timer_handler(&doze_timer);
  gstTimeCtrlCfg.uwHighSpeedDozeValue = 250;
  ferx_doze_timer_handler(&doze_timer);
  ferx_baseline_timer_handler(&baseline_timer);
  using V32 = std::vector<uint32_t>;
  ASSERT_EQ(Rec::driver.size(), 4u);
  EXPECT_EQ(Rec::driver[0], std::make_pair(1u, V32{1}));
  EXPECT_EQ(Rec::driver[1], std::make_pair(1u, V32{0, 384, 100}));
  EXPECT_EQ(Rec::driver[2], std::make_pair(1u, V32{0, 384, 250}));
  EXPECT_EQ(Rec::driver[3], std::make_pair(2u, V32{1}));
}

// ---- Dumps ------------------------------------------------------------------------------

TEST_F(ModuleOps, RotateTransposesDriveMajorToSenseMajor) {
  // d = 2 drive lines, s = 3 sense lines: element (i, j) at i*3 + j.
  uint16_t m[6] = {10, 11, 12, 20, 21, 22};
  ferx_rotate_abcd2cbad(2, 3, m);
  EXPECT_EQ(std::vector<uint16_t>(m, m + 6), (std::vector<uint16_t>{10, 20, 11, 21, 12, 22}));
}

TEST_F(ModuleOps, DumpSaveHandsOutTheHeadInPiecesThenAFreshBody) {
  ic_info.drv_num = 2;
  ic_info.sen_num = 3;
  static uint32_t out[(FERX_DUMP_SAVE_OUT_BYTES + 3) / 4];
  uint32_t len = 0;
  ASSERT_EQ(module_->dump_save.ferrant(0, out, &len, 1), 1);
  EXPECT_EQ(len, 2u);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(out)[0], 2);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(out)[1], 3);

  replay_remain = 25000;  // a stored head of 25 000 bytes
  replay_offset = 0;
  for (size_t i = 0; i < 25000; ++i) replay_cache[i] = static_cast<uint8_t>(i % 251);
  std::vector<uint32_t> pieces;
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(module_->dump_save.ferrant(0, out, &len, 0), 1);
    pieces.push_back(len - 4 - 12);
  }
  EXPECT_EQ(pieces, (std::vector<uint32_t>{10240, 10240, 4520}));
  EXPECT_EQ(reinterpret_cast<uint8_t*>(out)[16], (20480) % 251);  // the third piece's first byte
  ASSERT_EQ(module_->dump_save.ferrant(0, out, &len, 0), 1);
  EXPECT_EQ(replay_remain, 0u);
  EXPECT_GE(len, 16u);  // matrix, then a fresh body
  EXPECT_EQ(module_->dump_save.ferrant(1, out, &len, 0), 0);
}

TEST_F(ModuleOps, DumpSaveTransposesTheFirstWatchedArray) {
  ic_info.drv_num = 2;
  ic_info.sen_num = 3;
  frame_number = 77;
  static int16_t diff[6] = {1, 2, 3, -4, -5, -6};
  ASSERT_GE(AddWatchData(diff, 1, "diff", WATCH_TYPE_S16, sizeof(diff), 3, 2, -100, 100, 0, 0), 0);
  static uint32_t out[(FERX_DUMP_SAVE_OUT_BYTES + 3) / 4];
  uint32_t len = 0;
  replay_remain = 1;
  ASSERT_EQ(module_->dump_save.ferrant(0, out, &len, 0), 1);
  const auto* b = reinterpret_cast<const uint8_t*>(out);
  EXPECT_EQ(ReplayGetU32(b), 77u);
  const int16_t expect[6] = {1, -4, 2, -5, 3, -6};
  EXPECT_EQ(0, std::memcmp(b + 4, expect, sizeof(expect)));
  EXPECT_EQ(len, 4u + 12u + 1u);
  ClearWatch();
}

TEST_F(ModuleOps, DumpSaveRefusesPanelsBeyondItsBuffer) {
  ic_info.drv_num = 50;
  ic_info.sen_num = 41;  // 2050 nodes
  static uint32_t out[(FERX_DUMP_SAVE_OUT_BYTES + 3) / 4];
  uint32_t len = 12345;
  EXPECT_EQ(module_->dump_save.ferrant(0, out, &len, 0), 0);
  EXPECT_EQ(len, 12345u);
  EXPECT_TRUE(LogCapture::Has("exceed the dump buffer"));
}

TEST_F(ModuleOps, DumpCsvRendersTheMatrixAndTheRawRest) {
  const uint8_t dims[2] = {2, 3};
  EXPECT_EQ(module_->dump_csv.ferrant(dims, 2, 0, nullptr, 1), 0);
  Bytes in(4 + 12 + 3);
  fxtest::Put32(in, 0, 9);
  const int16_t cells[6] = {1, -2, 3, 4, -5, 6};
  std::memcpy(in.data() + 4, cells, sizeof(cells));
  in[16] = 'x';
  in[17] = 'y';
  in[18] = 'z';
  static char text[FERX_DUMP_TEXT_BYTES];
  const int32_t n = module_->dump_csv.ferrant(in.data(), static_cast<uint32_t>(in.size()), 0, text, 0);
  const std::string expect = std::string("\nmutualDiff[9]\n1,-2,\n3,4,\n-5,6,\n") + std::string(8, '\xAA') + "xyz" +
                             std::string(8, '\xBB');
  ASSERT_EQ(n, static_cast<int32_t>(expect.size()));
  EXPECT_EQ(std::string(text, n), expect);
  // Input shorter than the matrix it claims: nothing written.
  EXPECT_EQ(module_->dump_csv.ferrant(in.data(), 15, 0, text, 0), 0);
  EXPECT_EQ(module_->dump_csv.ferrant(in.data(), 19, 1, text, 0), 0);
}

}  // namespace

namespace {

// With the real command FIFO: eleven host commands before a frame keep the newest ten.
TEST_F(ModuleOps, ElevenCommandsBeforeAFrameKeepTheNewestTen) {
  gstTsaModuleLinks = kTsaModuleDefaultLinks;
  std::memset(&gstCmdFifoVar, 0, sizeof(gstCmdFifoVar));
  for (uint32_t t = 1; t <= 11; ++t) {
    common_data d{};
    d.mode = COMMON_DATA_MODE_TEMPERATURE;
    d.values[0] = t;
    module_->receive_common_data.ferrant(&d);
  }
  EXPECT_EQ(gstCmdFifoVar.ubCount, 10);
  // The oldest left is the second command, at the read offset.
  EXPECT_EQ(Bytes(gpubTsaCmdFifo + gstCmdFifoVar.ubRead, gpubTsaCmdFifo + gstCmdFifoVar.ubRead + 16),
            Slot(96, 1, 2, 0));
  std::memset(&gstCmdFifoVar, 0, sizeof(gstCmdFifoVar));
}

}  // namespace
