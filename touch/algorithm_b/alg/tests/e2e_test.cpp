// End to end: the real plug-in loaded with dlopen through the touch host and driven with
// synthetic 17 x 38 frames.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>
#include <memory>
#include <string>

#include "luma_frame.h"
#include "luma_records.h"
#include "touch_host/host.h"

namespace {

using touch_host::HostRecord;
using touch_host::HostStatus;
using touch_host::TouchHost;

class LumaEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    touch_host::HostOptions options;
    options.log_sink = [](const touch_host::LogLine &) {};
    host_ = std::make_unique<TouchHost>(options);
    std::string error;
    ASSERT_TRUE(host_->load_alg(std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_alg.so", &error)) << error;
    ASSERT_EQ(host_->alg_style(), touch_host::AlgCallStyle::kLuma);
    int32_t result = -1;
    ASSERT_EQ(host_->init(&result), HostStatus::kOk);
    ASSERT_EQ(result, 0);
  }

  uint8_t Diff(LumaFrame &f) {
    EXPECT_EQ(host_->process_frame(f.frame()), HostStatus::kOk);
    return 0;
  }

  static bool Logged(const HostRecord &r, const std::string &needle) {
    return std::any_of(r.logs.begin(), r.logs.end(),
                       [&](const touch_host::LogLine &l) { return l.text.find(needle) != std::string::npos; });
  }

  // The frame dump of the last frame through the module's dump slot: the 87-byte header,
  // both diff sets and the debug rows.
  std::vector<uint8_t> Dump() {
    std::vector<uint8_t> out(8192);
    uint32_t length = 0;
    EXPECT_TRUE(host_->alg()->dump_save.luma(0, out.data(), &length, false));
    out.resize(length);
    return out;
  }
  // Debug row r, column c of a dump (the rows close the dump, 38 values each).
  static uint16_t DumpRow(const std::vector<uint8_t> &dump, int r, int c) {
    const size_t rows_at = dump.size() - 12 * LumaFrame::kRx * 2;
    uint16_t v;
    std::memcpy(&v, &dump[rows_at + 2 * (r * LumaFrame::kRx + c)], 2);
    return v;
  }

  timer_tool *Timer(const char *name) { return static_cast<timer_tool *>(host_->alg_symbol(name)); }

  std::unique_ptr<TouchHost> host_;
};

TEST_F(LumaEndToEnd, RegistersAsLumaWithItsVersionAndTimers) {
  EXPECT_EQ(host_->alg_name(), "alg");
  const std::string version = host_->alg_version();
  EXPECT_EQ(version.rfind("Luma-", 0), 0u);
  EXPECT_EQ(version.size(), std::string("Luma-XXXX-3-alg-25.04.01.001").size());
  EXPECT_NE(version.find("-3-alg-25.04.01.001"), std::string::npos);
  EXPECT_EQ(host_->alg()->initialised, 1);
  const HostRecord r = host_->snapshot();
  ASSERT_EQ(r.timers_registered.size(), 2u);
  EXPECT_EQ(r.timers_registered[0], Timer("doze_timer"));
  EXPECT_EQ(r.timers_registered[1], Timer("idle_baseline_timer"));
  EXPECT_TRUE(Logged(r, "Luma Thp Start Init"));
  EXPECT_TRUE(Logged(r, "Luma Thp Init Done"));
}

TEST_F(LumaEndToEnd, FirstFrameBecomesTheBaseAndTheNextGivesAZeroDiff) {
  LumaFrame first;
  const auto *alg = host_->alg();
  EXPECT_EQ(alg->update_frame_data(first.frame()), -1);
  EXPECT_EQ(alg->update_diff_data.luma(first.frame()), 255);
  HostRecord r = host_->snapshot();
  ASSERT_EQ(r.driver_requests.size(), 1u);
  EXPECT_EQ(r.driver_requests[0].type, uint32_t{ALG_DRIVER_REQUEST_BASE_TAKEN});
  EXPECT_EQ(r.driver_requests[0].values, std::vector<uint32_t>{1});
  EXPECT_TRUE(Logged(r, "ic_baseline_freeback"));
  EXPECT_FALSE(Logged(r, "Frame Invalid"));
  EXPECT_TRUE(r.reports.empty());
  // The base frame is handed back untouched.
  EXPECT_EQ(first.mutual[0], LumaFrame::kRawLevel);

  host_->clear_record();
  LumaFrame idle;
  EXPECT_EQ(alg->update_frame_data(idle.frame()), 0);
  EXPECT_EQ(alg->update_diff_data.luma(idle.frame()), 0);
  r = host_->snapshot();
  EXPECT_TRUE(r.driver_requests.empty());
  // The diff is written back into the host's buffers: nothing changed, so all zero.
  EXPECT_TRUE(std::all_of(idle.mutual.begin(), idle.mutual.end(), [](int16_t v) { return v == 0; }));
  EXPECT_TRUE(std::all_of(idle.self1.begin(), idle.self1.end(), [](int16_t v) { return v == 0; }));
  // A frame with no touch is reported with no point, and arms both doze timers.
  ASSERT_EQ(r.reports.size(), 1u);
  EXPECT_TRUE(r.reports[0].points.empty());
  EXPECT_EQ(Timer("doze_timer")->running, 1);
  EXPECT_EQ(Timer("idle_baseline_timer")->running, 1);
}

TEST_F(LumaEndToEnd, DiffFollowsTheTouchAndItsSignsAndWrapsAboveTheBase) {
  LumaFrame base;
  Diff(base);
  LumaFrame touched;
  touched.Bump(8, 19, 400);
  touched.At(0, 0) = LumaFrame::kRawLevel + 1;  // raw above its base
  touched.self1[3] = LumaFrame::kRawLevel + 250;  // drive line 3 of the first self line
  touched.self2[LumaFrame::kTx + 5] = LumaFrame::kRawLevel + 90;  // sense line 5 of the other
  host_->clear_record();
  Diff(touched);
  // The diff as formed, before the front filters, is the backed-up diff the module hands
  // to host slot 7 with every frame.
  const HostRecord r = host_->snapshot();
  ASSERT_FALSE(r.debug_infos.empty());
  const auto *info = reinterpret_cast<const LumaHostDebugInfo *>(r.debug_infos.back());
  const int16_t *formed = info->pssMcBackDiff;
  EXPECT_EQ(formed[8 * LumaFrame::kRx + 19], 400);
  EXPECT_EQ(formed[7 * LumaFrame::kRx + 18], 200);
  EXPECT_EQ(formed[9 * LumaFrame::kRx + 20], 200);
  EXPECT_EQ(formed[10 * LumaFrame::kRx + 19], 0);
  EXPECT_EQ(static_cast<uint16_t>(formed[0]), 65535);
  // The host's buffers get the filtered diff: the touch is still its largest node, and the
  // self diffs come back in the module's order, sense values then drive values.
  EXPECT_EQ(std::max_element(touched.mutual.begin(), touched.mutual.end()) - touched.mutual.begin(),
            8 * LumaFrame::kRx + 19);
  EXPECT_EQ(std::max_element(touched.self1.begin(), touched.self1.end()) - touched.self1.begin(),
            LumaFrame::kRx + 3);
  EXPECT_GT(touched.self1[LumaFrame::kRx + 3], 100);
  EXPECT_EQ(std::max_element(touched.self2.begin(), touched.self2.end()) - touched.self2.begin(), 5);
  EXPECT_GT(touched.self2[5], 0);
}

TEST_F(LumaEndToEnd, FramesWithoutTheMarkOrWhileSuspendedAreInvalid) {
  LumaFrame base;
  Diff(base);
  host_->clear_record();
  LumaFrame bad;
  bad.Bump(4, 4, 300);
  bad.bytes[60] = 0x00;  // the low byte of the mark is what counts
  EXPECT_EQ(host_->alg()->update_frame_data(bad.frame()), -1);
  EXPECT_EQ(host_->alg()->update_diff_data.luma(bad.frame()), 255);
  EXPECT_EQ(bad.At(4, 4), LumaFrame::kRawLevel - 300);  // the host's buffer is left as it was
  HostRecord r = host_->snapshot();
  EXPECT_TRUE(Logged(r, "Frame Invalid"));
  EXPECT_TRUE(r.reports.empty());

  ASSERT_EQ(host_->update_suspend_status(true), HostStatus::kOk);
  LumaFrame during;
  EXPECT_EQ(host_->alg()->update_frame_data(during.frame()), -1);
  ASSERT_EQ(host_->update_suspend_status(false), HostStatus::kOk);
  // The base survives the suspend: the first frame after the resume is processed.
  host_->clear_record();
  LumaFrame after;
  EXPECT_EQ(host_->alg()->update_frame_data(after.frame()), 0);
  EXPECT_TRUE(host_->snapshot().driver_requests.empty());
}

TEST_F(LumaEndToEnd, TakeBaseFrameTypeRetakesTheBase) {
  LumaFrame base;
  Diff(base);
  LumaFrame shifted;
  std::fill(shifted.mutual.begin(), shifted.mutual.end(), int16_t{2900});
  shifted.frame()->frame_type = DECODED_FRAME_TYPE_TAKE_BASE;
  host_->clear_record();
  EXPECT_EQ(host_->alg()->update_frame_data(shifted.frame()), -1);
  ASSERT_EQ(host_->snapshot().driver_requests.size(), 1u);
  LumaFrame same;
  std::fill(same.mutual.begin(), same.mutual.end(), int16_t{2900});
  EXPECT_EQ(host_->alg()->update_frame_data(same.frame()), 0);
  EXPECT_TRUE(std::all_of(same.mutual.begin(), same.mutual.end(), [](int16_t v) { return v == 0; }));
}

TEST_F(LumaEndToEnd, ExtraLineIsReadOnlyAsFarAsItsCount) {
  // A whole line of 500 first, then three values behind the pointer, in a buffer of exactly
  // that size (ASan watches): the first three entries change, the rest stay 500.
  std::vector<int16_t> whole(LumaFrame::kTx + LumaFrame::kRx, 500);
  LumaFrame base;
  base.frame()->extra2 = whole.data();
  base.frame()->extra2_count = static_cast<uint16_t>(whole.size());
  Diff(base);
  auto *extra = new int16_t[3]{11, 12, 13};
  LumaFrame f;
  f.frame()->extra2 = extra;
  f.frame()->extra2_count = 3;
  EXPECT_EQ(host_->alg()->update_frame_data(f.frame()), 0);
  delete[] extra;

  // The line is read by the water-line noise measure, whose results the plug-in exports.
  void *lib = dlopen((std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_alg.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto noise_filter = reinterpret_cast<void (*)(uint8_t, uint8_t)>(dlsym(lib, "AppScNoiseFilter"));
  const auto *rx_noise = static_cast<const int16_t *>(dlsym(lib, "g_ssScWaterRxNoise"));
  const auto *tx_noise = static_cast<const int16_t *>(dlsym(lib, "g_ssScWaterTxNoise"));
  ASSERT_NE(noise_filter, nullptr);
  ASSERT_NE(rx_noise, nullptr);
  ASSERT_NE(tx_noise, nullptr);
  // No touch: every sense entry is quiet, mean (11 + 12 + 13 + 35 x 500) / 38 = 461.
  noise_filter(1, 1);
  EXPECT_EQ(rx_noise[0], 450);
  EXPECT_EQ(rx_noise[2], 448);
  EXPECT_EQ(rx_noise[3], 39);
  EXPECT_EQ(rx_noise[LumaFrame::kRx - 1], 39);
  // The drive entries all kept 500: no spread between them.
  noise_filter(1, 0);
  for (int i = 0; i < LumaFrame::kTx; ++i) EXPECT_EQ(tx_noise[i], 0) << i;
  dlclose(lib);
}

TEST_F(LumaEndToEnd, RowTiltIsRemovedByTheMutualFrontFilter) {
  LumaFrame base;
  Diff(base);
  LumaFrame tilted;
  for (int tx = 0; tx < LumaFrame::kTx; ++tx) {
    for (int rx = 0; rx < LumaFrame::kRx; ++rx) tilted.At(tx, rx) = static_cast<int16_t>(LumaFrame::kRawLevel - 5 * rx);
  }
  host_->clear_record();
  Diff(tilted);
  EXPECT_TRUE(std::all_of(tilted.mutual.begin(), tilted.mutual.end(), [](int16_t v) { return v == 0; }));
  const auto *info = reinterpret_cast<const LumaHostDebugInfo *>(host_->snapshot().debug_infos.back());
  EXPECT_EQ(info->pssMcBackDiff[37], 5 * 37);  // the tilt was there before the filter
}

TEST_F(LumaEndToEnd, OverloadCountsTakeTheOverloadPath) {
  LumaFrame base;
  Diff(base);
  // A steep tilt with a touch on it: one equalisation pass leaves part of the tilt.
  auto scene = [](bool overload) {
    LumaFrame f;
    for (int tx = 0; tx < LumaFrame::kTx; ++tx) {
      for (int rx = 0; rx < LumaFrame::kRx; ++rx) f.At(tx, rx) = static_cast<int16_t>(LumaFrame::kRawLevel - 70 * rx);
    }
    f.At(8, 19) = static_cast<int16_t>(f.At(8, 19) - 900);
    if (overload) f.frame()->tail.sat.mutual_adc_sat_word = 100;
    return f;
  };
  // What is left of the tilt off the touch.
  auto residue = [](const LumaFrame &f) {
    int32_t sum = 0;
    for (int i = 0; i < LumaFrame::kNodes; ++i) sum += i == 8 * LumaFrame::kRx + 19 ? 0 : std::abs(f.mutual[i]);
    return sum;
  };
  LumaFrame normal = scene(false);
  Diff(normal);
  std::vector<uint8_t> dump = Dump();
  EXPECT_EQ(DumpRow(dump, 1, 20), 2000);  // no overload grade
  int32_t heavy_residue = 0;
  for (int frame = 0; frame < 20; ++frame) {
    LumaFrame heavy = scene(true);
    Diff(heavy);
    heavy_residue = residue(heavy);
  }
  EXPECT_LT(heavy_residue, residue(normal));
  dump = Dump();
  EXPECT_EQ(DumpRow(dump, 1, 20), 2000 + 100 * 3);  // held mutual grade 3
  EXPECT_EQ(DumpRow(dump, 1, 22), 3000 + 100);      // the 20-frame average
}

TEST_F(LumaEndToEnd, WaterLatchesAfterSevenFramesOfAWaterBump) {
  LumaFrame base;
  Diff(base);
  // Water raises the mutual raw values over a patch: a negative diff.
  auto wet = [] {
    LumaFrame f;
    for (int tx = 6; tx <= 10; ++tx) {
      for (int rx = 12; rx <= 19; ++rx) f.At(tx, rx) = static_cast<int16_t>(LumaFrame::kRawLevel + 250);
    }
    return f;
  };
  for (int frame = 1; frame <= 6; ++frame) {
    LumaFrame f = wet();
    Diff(f);
    const std::vector<uint8_t> dump = Dump();
    ASSERT_EQ(DumpRow(dump, 4, 23), frame);    // water evidence counted
    ASSERT_EQ(DumpRow(dump, 4, 21), 100);      // not latched yet
  }
  LumaFrame seventh = wet();
  Diff(seventh);
  const std::vector<uint8_t> dump = Dump();
  EXPECT_EQ(DumpRow(dump, 4, 21), 101);
  EXPECT_EQ(DumpRow(dump, 4, 26), 1001);  // water exists
  EXPECT_EQ(DumpRow(dump, 4, 27), 1000 + 239);  // history while the evidence counted
  LumaFrame eighth = wet();
  Diff(eighth);
  EXPECT_EQ(DumpRow(Dump(), 4, 27), 1000 + 719);  // and in full once latched
}

TEST_F(LumaEndToEnd, DumpOfTheLastFrameHasThe87ByteHeaderAndItsText) {
  LumaFrame base;
  Diff(base);
  LumaFrame f;
  f.Bump(8, 19, 300);
  f.frame()->ic_frame_count = 4242;
  f.frame()->frame_time_ns = 1234567890123ull;
  f.frame()->frame_count = 77;
  f.frame()->scan_freq = 310;
  Diff(f);
  const std::vector<uint8_t> dump = Dump();
  const size_t set = (LumaFrame::kNodes + LumaFrame::kTx + LumaFrame::kRx + LumaFrame::kRx) * 2;
  ASSERT_EQ(dump.size(), 87 + 2 * set + 12 * LumaFrame::kRx * 2);
  uint16_t frame_number;
  uint64_t ns, count;
  uint16_t freq;
  std::memcpy(&frame_number, &dump[0], 2);
  std::memcpy(&ns, &dump[2], 8);
  std::memcpy(&count, &dump[10], 8);
  std::memcpy(&freq, &dump[24], 2);
  EXPECT_EQ(frame_number, 4242);
  EXPECT_EQ(ns, 1234567890123ull);
  EXPECT_EQ(count, 77u);
  EXPECT_EQ(freq, 310);
  EXPECT_EQ(dump[26], 0);  // no point reported
  // Set A is the diff as formed: the bump's centre sits at its node.
  int16_t centre;
  std::memcpy(&centre, &dump[87 + 2 * (8 * LumaFrame::kRx + 19)], 2);
  EXPECT_EQ(centre, 300);
  // The debug rows close the dump with their markers.
  EXPECT_EQ(DumpRow(dump, 1, 0), 12001);
  EXPECT_EQ(DumpRow(dump, 4, 0), 12004);

  std::vector<char> text(50000);
  std::vector<uint8_t> copy = dump;
  const uint32_t length = host_->alg()->dump_csv.luma(copy.data(), 0, 0, text.data());
  ASSERT_GT(length, 0u);
  const std::string csv(text.data(), length);
  EXPECT_EQ(csv.rfind("Frame:4242 Timer:", 0), 0u);
  EXPECT_NE(csv.find("frame_cnt:77 "), std::string::npos);
  EXPECT_NE(csv.find("scan_freq:310 PointNum:0 \n"), std::string::npos);
  EXPECT_EQ(host_->alg()->dump_csv.luma(copy.data(), 0, 1, text.data()), 0u);
  uint32_t unused = 0;
  EXPECT_FALSE(host_->alg()->dump_save.luma(1, copy.data(), &unused, false));
  EXPECT_TRUE(host_->alg()->dump_save.luma(0, nullptr, &unused, true));
}

TEST_F(LumaEndToEnd, ChargeNoiseCountsTheColumnsUnderTheFrameTouch) {
  using Estimate = uint32_t (*)(int16_t *, uint8_t);
  auto charge = reinterpret_cast<Estimate>(host_->alg_symbol("AppMcGetChargeNoise"));
  ASSERT_NE(charge, nullptr);
  ASSERT_NE(host_->alg_symbol("AppMcGetDisplayNoise"), nullptr);
  ASSERT_NE(host_->alg_symbol("ApppCalPeakRatio"), nullptr);
  ASSERT_NE(host_->alg_symbol("AppCalcConnectedArea"), nullptr);
  // A swing on columns 9 to 11 only, flat elsewhere.
  auto swing = [] {
    std::vector<int16_t> line(LumaFrame::kRx, 0);
    line[9] = 100;
    line[10] = -100;
    line[11] = 100;
    return line;
  };
  LumaFrame base;
  Diff(base);
  Diff(base);
  std::vector<int16_t> line = swing();
  EXPECT_EQ(charge(line.data(), LumaFrame::kRx), 1u);  // no touch: nothing couples in

  LumaFrame touched;
  for (int tx = 6; tx <= 10; tx += 2) touched.Bump(tx, 10, 800);
  Diff(touched);
  line = swing();
  EXPECT_EQ(charge(line.data(), LumaFrame::kRx), 100u);
}

// A decoded frame is outside input: one whose rows and columns are not the module's panel
// is refused before its buffers are read at the panel's size. Its buffers here are as long
// as its own geometry (one value for a frame that names no panel), so a read past them is a
// sanitizer fault. The refused frames give no base; a frame that names no panel (0 x 0)
// says nothing of its buffers and is refused too.
TEST_F(LumaEndToEnd, FrameOfAnotherPanelIsRefusedNotReadPast) {
  struct Case {
    uint8_t rows, columns;
    bool refused;
  } cases[] = {
      {15, 27, true}, {LumaFrame::kTx, 27, true}, {15, LumaFrame::kRx, true}, {LumaFrame::kRx, LumaFrame::kTx, true},
      {0, LumaFrame::kRx, true}, {0, 0, true}, {LumaFrame::kTx, LumaFrame::kRx, false},
  };
  bool base_taken = false;
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.rows) + "x" + std::to_string(c.columns));
    std::vector<int16_t> mutual(std::max<size_t>(1, size_t{c.rows} * c.columns), LumaFrame::kRawLevel);
    std::vector<int16_t> self(std::max<size_t>(1, size_t{c.rows} + c.columns), LumaFrame::kRawLevel);
    LumaFrame f;
    f.frame()->rows = c.rows;
    f.frame()->columns = c.columns;
    f.frame()->mutual = mutual.data();
    f.frame()->self1 = self.data();
    f.frame()->self2 = self.data();
    host_->clear_record();
    // A refused frame and the frame that gives the base are not valid; a later one is.
    EXPECT_EQ(host_->alg()->update_frame_data(f.frame()), c.refused || !base_taken ? -1 : 0);
    host_->alg()->update_diff_data.luma(f.frame());  // as the host goes on with the frame
    const HostRecord r = host_->snapshot();
    const std::string refusal = "frame of " + std::to_string(c.rows) + "x" + std::to_string(c.columns) +
                                " refused: the panel is 17x38";
    EXPECT_EQ(Logged(r, refusal), c.refused);
    if (c.refused) {
      EXPECT_FALSE(Logged(r, "ic_baseline_freeback"));
    } else if (!base_taken) {
      EXPECT_TRUE(Logged(r, "ic_baseline_freeback"));
      base_taken = true;
    }
  }
}

// The peak filters and the checks the frame path never calls are still part of the
// plug-in's interface: each resolves by name.
TEST(LumaExports, PeakFiltersMergeAndChecksResolveByName) {
  void *lib = dlopen((std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_alg.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  for (const char *name :
       {"AppPeakFilter", "AppFilterPeakByCdmaDecode", "IsCoaxialJudgeByMergePeak", "AppCameraPeakValidCheck",
        "AppSmallWaterFilter", "AppFloatingMoreFingerFilter", "AppMayBeNfNoiseFilterNew", "AppPeakFilterBySc",
        "AppNFGhostCheck", "AppSearchLRThr", "AppPeakFilterByMcTxDiff", "AppMcPeakMergeProcess",
        "AppMcPeakPairMerge", "AppPeakIDMatch", "AppInitPeakMerge", "AppMergeToNewID", "AppCalConnectedPathPeakOtoC",
        "AppFindMinDiffInRangeP2P", "AppMinAveDiffInRangeP2P", "AppDoPeakMerge", "IsCoaxialJudgeByAllPeak",
        "IsPeakInSameRowCheck", "AppNfInvalidFilter", "IsMayBeOneTouch", "AppSensitivityAbnormalFilter",
        "AppGetBigDiffNode", "CheckUpDownNoiseFeature", "AppFilterSmallPeak", "AppFilterCdmaDecodeFrame",
        "AppMayBeNfNoiseFilter", "g_ssMcDiffLast", "g_stPeakMergeInfo", "g_stSeriousFloatingMergeInfo",
        // The water-proof classification, with its optional self-match entry points, and the
        // point stage's smoother.
        "AppWaterProofHandle", "WetFingerFilterAfterPeakMerge", "AppMcWaterReportPtFilter", "AppPeakSumHandle",
        "AppPeakMcIsFingerTouch", "AppPeakSameTxRxBigNegDiff", "AppSweatFilterEnable", "AppScConnectCheck",
        "AppGetMatchScDiff", "AppGetPeakAroundMinusDiff", "AppFilterTouchPoint", "AppTRGameParamsRefresh",
        "AppNfTrbInRxStatuCheck", "stTruMbRx", "g_PeakRatioMax",
        // Initialisation parts, coordinate helpers and records the flow itself does not use.
        "AppPanelParamInit", "AppAfeModeInit", "AppDiffSumProc", "AppPosRevertXY", "AppNotchCalculateCoordinate",
        "AppMergePeakNearAvg", "AppScNoiseInit", "g_stScNoise", "g_stScNoiseRepo", "g_ssDiffSum", "g_ucCalCnt",
        "g_ucRecordSensor"}) {
    EXPECT_NE(dlsym(lib, name), nullptr) << name;
  }
  dlclose(lib);
}

}  // namespace
