// Whole algorithm A per frame (update frame data, then update diff data, as the host calls
// them) on a 32 x 18 and a 52 x 56 panel, in the scenarios a phone meets: idle, one finger
// moving, five and ten fingers moving, LCD row noise, a frequency hop every 16 frames, a
// reference rebuild (screen off and on with a finger resting, which the power-on reference
// takes in, then the finger lifted), low temperature and a wet panel. The module finds,
// pairs and tracks the fingers itself from the frames' raw values. Every scenario runs with
// the same configuration: hopping, LCD denoise, the low-temperature stage and waterproof
// processing on (so the water network's buffer is handed over; the network itself only
// runs on panels of at most 20 x 40 lines, smaller than both measured here). A third panel
// of 20 x 40 lines takes one finger, the wet panel and the networks scenario: the wet panel
// with fixed-seed weight blocks installed for all three networks, the water network run by
// the module when its waterproof processing asks for it (water_net_frames counts those of
// the second pass), and the denoise and floating-finger networks run on every frame's diff
// with the water network besides (denoise_runs, float_runs, water_runs per frame): the
// module's per-frame stages never ask for the first two, and the frames here do not rise
// the way the waterproof stage needs before it asks for the third.
//
// The wet panel: one finger held and sliding near the top while a wet patch with two
// droplets spreads over the lower half (ferrant_road.h, add_wet_patch). Waterproof processing
// keeps the droplets out only while its wet level is up, and that level falls once the held
// finger has been down for 50 frames with no other region left; then the droplets are
// reported beside the finger for good (lower_points about 1 on both panels; touch_pct 100,
// the finger is kept in every frame, also where it lies between two columns;
// region_water_e2e_test.cpp follows both).
//
// Counters: the median and 99th percentile of the frame times against the 240 Hz budget
// (frame_budget.h), measured with the stage timing off; then, over a second pass of the
// scenario with the stage runner's per-stage time record on, reject_pct, the share of the
// region rejection stages (waterproof processing, floating pre-judge, large area, iron
// cover, self-cap filter, big thumb) in the frame time; and the scenario's own checks that
// show it did what it says: points (per frame), touch_pct (frames with a point), hops
// (frequency switches asked of the controller), rebuilds (the reference under the resting
// finger taken afresh: the power-on reference and the rebuild after the lift, two per
// cycle), cold (1: the module is in its low-temperature state) and lower_points (points per
// frame on the lower half of the screen, where the wet panel's water lies). Points are those
// of the frame's report still in contact (a lifting point does not count, nor does a frame
// without a report). With FERRANT_STAGES set in the environment the program also prints,
// once all scenarios have run, each scenario's per-stage table to stderr: that of its last
// run (the benchmark library calls a scenario several times while it sizes the iteration
// count; only the last call is the measured one).
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "alg_module.h"
#include "common_data.h"
#include "coord.h"
#include "core_stages.h"
#include "decoded_frame_bytes_test.h"
#include "ferx_syslog_capture_test.h"
#include "frame_budget.h"
#include "frnn.h"
#include "frnn_stats.h"
#include "framework.h"
#include "low_temp.h"
#include "nn_test_util.h"
#include "region.h"
#include "signal_proc.h"
#include "touch_host/ferrant_road.h"
#include "tsa_common.h"
#include "tsa_module.h"
#include "tsa_module_test_util.h"

namespace {

namespace road = touch_host::testsupport::ferrant_road;

constexpr uint8_t kFreqs = road::kFrequencies;
constexpr int kCycle = 64;  // frames of the fingers' back-and-forth
constexpr int8_t kColdEntry = -5;

enum Scenario { kIdle, kOne, kFive, kTen, kLcdNoise, kHop, kRefRebuild, kLowTemp, kWet, kNetworks };
const char* const kScenarioNames[] = {"idle",      "one_finger",  "five_fingers", "ten_fingers", "lcd_row_noise",
                                      "freq_hop",  "ref_rebuild", "low_temp",     "wet_panel",   "networks"};

// ---- The networks' weight blocks ----------------------------------------------------------

// Fixed-seed blocks (SeededHalfBlock) are installed for the networks scenario and removed
// after it.

void InstallNetworks() {
  const std::vector<uint8_t> wd = SeededHalfBlock(kDenoiseNetWeightBytes, 9, 0.05f, kDenoiseNetHeaderBytes);
  const std::vector<uint8_t> wf = SeededHalfBlock(kFloatNetWeightBytes, 10, 0.1f, 0);
  const std::vector<uint8_t> ww = SeededHalfBlock(kWaterNetWeightBytes, 7, 0.25f, 0);
  DenoiseNetSetWeights(wd.data(), kDenoiseNetWeightBytes);
  NetFloatSetWeights(wf.data(), kFloatNetWeightBytes);
  NetWaterSetWeights(ww.data(), kWaterNetWeightBytes);
}

void RemoveNetworks() {
  DenoiseNetRemoveWeights();
  NetFloatRemoveWeights();
  NetWaterRemoveWeights();
}

// ---- What the module hands the host -------------------------------------------------------

uint8_t g_last_points = 0;
// Of the frame's report: the points still in contact (down or moving), and of them those in
// the lower half of the screen, where the wet scenario's water lies (its finger moves near
// the top); both 0 for a frame without a report.
uint8_t g_contacts = 0;
uint8_t g_lower_contacts = 0;
uint32_t g_hops = 0;
// The frequency the controller scans at: the one the module asked for last, as a controller
// does (the module also asks for its start frequency at start-up).
uint8_t g_controller_freq = 0;
constexpr int32_t kScreenY = 2400;  // the road configuration's screen height
void OnPoints(AlgTouchPoint* points, uint8_t count) {
  g_last_points = count;
  g_contacts = g_lower_contacts = 0;
  for (uint8_t i = 0; points != nullptr && i < count; ++i) {
    if (points[i].action == ALG_TOUCH_ACTION_UP) continue;
    ++g_contacts;
    if (points[i].y >= kScreenY / 2) ++g_lower_contacts;
  }
}
int32_t OnControllerWrite(uint32_t, uint8_t* packet, uint32_t length, uint32_t) {
  if (length >= 5 && packet[3] == 0x9C) {  // the frequency command
    if (packet[4] != g_controller_freq) ++g_hops;
    g_controller_freq = static_cast<uint8_t>(packet[4] % kFreqs);
  }
  return 0;
}

// ---- The stages' names, for the per-stage table -------------------------------------------

struct Named {
  const char* name;
  AppStage fn;
};
#define S(f) Named{#f, f}
const Named kStages[] = {
    S(ImDataProc), S(GetRxJitter), S(NoiseTypeDetectProc), S(NoiseDurationPostProcess), S(GetPanelPowerOnRef),
    S(RefSetUpRawDataProc), S(FreqHoppingProc), S(RawdataDenoise), S(NormalizeCheck), S(ResultCommonProc),
    S(RawDataConsisOptmProc), S(GetDiff), S(LcdHighNoiseProc), S(DenoiseDiff), S(DiffDataStateAcquire),
    S(NoiseDiffDrvSmooth), S(LcdHighNoiseHandle), S(ComplementDiff), S(LowTempCompensatePro), S(DynamicLevelProc),
    S(ResetDiffInfo), S(RefUpdateMutual), S(RefUpdateSelf), S(RefQuickUpdate), S(RegionAcquireProcPkg),
    S(JudgeEsdFastMove), S(CalcSumDiffShadow), S(RegionFloatPreJudgeProc), S(RegionWaterProcPkg), S(IronCoverProc),
    S(RegFilterBySelfCap), S(LongBigThumbProc), S(RegionStateAcquire), S(CoordPairEncapsulation),
    S(RegionLargeAreaProcPkg), S(LargeRegionCustom), S(LowTempOptEncapsulation), S(NoiseCoordAddSmooth),
    S(CoordOptimizeEncapsulation), S(AppCoordTransformBeforeEdgeRes), S(EdgeResFun),
    S(FirstCoordSmoothEncapsulation), S(JitaiModeRecongnise), S(JudgeFpTouchState), S(CoordStateAcquire),
    S(AppCoordTransform), S(JudgeFpTouch), S(ThpTouchReport)};
#undef S
// The region rejection stages whose share is measured.
const AppStage kRejection[] = {RegionWaterProcPkg, RegionFloatPreJudgeProc, RegionLargeAreaProcPkg,
                               IronCoverProc,      RegFilterBySelfCap,      LongBigThumbProc};

const char* StageName(AppStage fn) {
  for (const Named& n : kStages)
    if (n.fn == fn) return n.name;
  return "?";
}
bool IsRejection(AppStage fn) {
  for (AppStage r : kRejection)
    if (r == fn) return true;
  return false;
}

uint64_t SteadyNs() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count());
}

// ---- The frames of a scenario -------------------------------------------------------------

// COUNT fingers on a grid six nodes apart, each sliding along the sense lines four nodes
// forth and back, an eighth of a node per frame: the fingers of frame F of the cycle.
std::vector<road::Finger> Fingers(uint8_t drv, uint8_t sen, int count, int f) {
  std::vector<road::Finger> at;
  for (int r = 3; r + 3 <= drv && static_cast<int>(at.size()) < count; r += 6)
    for (int c = 3; c + 5 <= sen && static_cast<int>(at.size()) < count; c += 6) at.push_back({double(r), double(c), 500});
  const double shift = (f < kCycle / 2 ? f : kCycle - f) / 8.0;
  for (road::Finger& g : at) g.column += shift;
  return at;
}

std::vector<uint16_t> ImOf(const road::Panel& panel, int loud, int quiet) {
  const std::vector<int16_t> rows = road::im_rows(panel, loud, quiet);
  return std::vector<uint16_t>(rows.begin(), rows.end());
}

class Run {
 public:
  Run(uint8_t drv, uint8_t sen, Scenario scenario)
      : drv_(drv), sen_(sen), panel_{drv, sen}, scenario_(scenario), frames_(drv, sen, kFreqs) {}

  // Brings the module up as the host does and runs it to its first report; false on a
  // failure.
  bool Start() {
    TsaModuleResetForTest();
    // Each scenario starts as a freshly loaded module: the low-temperature record is one the
    // module keeps over its re-initialisation, so an earlier scenario's cold state is cleared.
    std::memset(GetLowTempNclnAddress(), 0, GetLowTempNclnLen());
    static AlgHostCallbacks host{};
    host.report_points = OnPoints;
    host.controller_write = OnControllerWrite;
    register_alg_module(&host);
    road::AlgConfig config;
    config.touch_threshold = 100;
    config.second_threshold = 120;
    config.panel = panel_;
    config.sections = {road::hopping_allowed_section(), road::hopping_section(), road::lcd_denoise_section(sen_),
                       road::low_temp_section(kColdEntry), road::waterproof_section()};
    const fxtest::Bytes file = road::alg_config_file(config);
    const int fd = memfd_create("ferrant-config", 0);
    if (fd < 0) return false;
    const bool written =
        write(fd, file.data(), file.size()) == static_cast<ssize_t>(file.size()) && lseek(fd, 0, SEEK_SET) == 0;
    if (written) ferx_alg_read_config_param(0, 0, 0, fd);
    close(fd);
    if (!written || ferx_alg_module_init() != 0) return false;
    ferx_alg_update_suspend_status(0);
    frames_.SetIm(ImOf(panel_, -1, -1));
    if (!ToFirstReport()) return false;
    g_hops = 0;  // the start frequency the module asks for at start-up is no hop
    if (scenario_ == kLowTemp) {
      common_data d{};
      d.mode = COMMON_DATA_MODE_TEMPERATURE;
      d.count = 1;
      d.values[0] = static_cast<uint8_t>(kColdEntry);
      ferx_alg_receive_common_data(&d);
    }
    return true;
  }

  // Sets up frame F of the scenario (outside the timing: what the decoder and the host do).
  void Prepare(uint64_t n) {
    const int f = static_cast<int>(n % kCycle);
    std::vector<road::Finger> fingers;
    switch (scenario_) {
      case kIdle: break;
      case kOne:
      case kLcdNoise:
      case kHop:
      case kLowTemp:
      case kWet:
      case kNetworks: fingers = Fingers(drv_, sen_, 1, f); break;
      case kFive: fingers = Fingers(drv_, sen_, 5, f); break;
      case kTen: fingers = Fingers(drv_, sen_, 10, f); break;
      case kRefRebuild: break;
    }
    std::vector<int16_t> diff = road::diff_with_fingers(fingers, drv_, sen_);
    // The frame's self line is the scan guarded against water, and display noise does not
    // reach it: it carries the fingers alone, each line raised by what they take off its nodes.
    std::vector<int16_t> self = SelfOf(diff);
    if (scenario_ == kLcdNoise) {
      std::vector<int> rows;
      for (int r = 2 + f % 3; r < drv_; r += 7) rows.push_back(r);
      road::add_row_noise(diff, panel_, rows, (f % 2 == 0 ? 1 : -1) * (600 + 10 * (f % 32)));
    }
    if (scenario_ == kWet || scenario_ == kNetworks) road::add_wet_patch(diff, panel_, f);
    if (scenario_ == kHop) {
      // Every 16th frame the frequency in use turns loud and the next one is the quietest:
      // the module hops, and the controller's frames come from the new one after.
      if (n % kCycle == kCycle - 1)
        frames_.SetIm(ImOf(panel_, g_controller_freq, (g_controller_freq + 1) % kFreqs));
      else if (n % kCycle == 0)
        frames_.SetIm(ImOf(panel_, -1, -1));
    }
    frames_.SetFreqIndex(g_controller_freq);
    if (scenario_ == kRefRebuild) {
      // Every cycle: screen off and on with a finger resting, which the power-on reference
      // takes in; ten frames on, it lifts and its residue is confirmed and rebuilt.
      const road::Finger rest{static_cast<double>(drv_ / 2), static_cast<double>(sen_ / 2), 300};
      watch_ = static_cast<size_t>(drv_ / 2) * sen_ + sen_ / 2;
      if (f == 0) {
        ferx_alg_update_suspend_status(1);
        ferx_alg_update_suspend_status(0);
        flags_ = 0x01;
      } else {
        flags_ = 0x00;
      }
      if (f < 10) diff = road::diff_with_fingers({rest}, drv_, sen_);
      self = SelfOf(diff);
    }
    frames_.SetTouch(diff);
    frames_.SetSelf(self);
    frame_ = frames_.Next(flags_, index_);
    index_ = static_cast<uint16_t>(index_ == 0xFFFF ? 2 : index_ + 1);
  }

  // The self lines (drive lines first) over the frames' untouched self level, raised by DIFF.
  std::vector<int16_t> SelfOf(const std::vector<int16_t> &diff) const {
    return touch_host::testsupport::self_lines(drv_, sen_, [](int) { return kUntouchedSelf; }, [&](int i) {
      return static_cast<size_t>(i) < diff.size() ? diff[static_cast<size_t>(i)] : 0;
    });
  }

  void Frame() {
    ModuleFrame();
    Extra();
  }
  void ModuleFrame() {
    ferx_alg_update_frame_data(&frame_);
    ferx_alg_update_diff_data(0, &frame_);
  }
  void Extra() {
    if (scenario_ == kNetworks) NetworksOnTheDiff();
  }

  // The per-frame stages call the denoise and floating-finger networks with their network
  // enable at 0, and the module runs the water network only for a wet area that rises in
  // a way these frames do not show (and then a few times at most). To put a frame with
  // every network in against the budget, all three run here on the frame's diff, in the
  // module's work buffer where their stages would run them: denoise on a copy of the diff,
  // the floating-finger network on the denoised copy, and the water network on the three
  // planes its stage builds (diff minus the diff before last, diff minus the previous
  // diff, the diff).
  void NetworksOnTheDiff() {
    const int16_t* diff = gstCommon.stData.pswDiffData;
    if (diff == nullptr || gpubDlCache == nullptr) return;
    const size_t N = static_cast<size_t>(drv_) * sen_;
    net_diff_.assign(diff, diff + N);
    if (DlNetInterface(net_diff_.data(), net_means_, gpubDlCache, drv_, sen_) == FRNN_OK) ++denoise_runs_;
    uint16_t* m1 = nullptr;
    uint16_t* m2 = nullptr;
    if (NetFloatComplement(net_diff_.data(), gpubDlCache, drv_, sen_, &m1, &m2) == FRNN_OK) ++float_runs_;
    if (prev_.size() != N) prev_.assign(diff, diff + N);
    if (last_last_.size() != N) last_last_ = prev_;
    planes_.assign(3 * 20 * 40, 0.0f);
    for (int r = 0; r < drv_ && r < 20; ++r)
      for (int c = 0; c < sen_ && c < 40; ++c) {
        const size_t i = static_cast<size_t>(r) * sen_ + c;
        planes_[(0 * 20 + r) * 40 + c] = static_cast<int16_t>(diff[i] - last_last_[i]);
        planes_[(1 * 20 + r) * 40 + c] = static_cast<int16_t>(diff[i] - prev_[i]);
        planes_[(2 * 20 + r) * 40 + c] = diff[i];
      }
    last_last_.swap(prev_);
    prev_.assign(diff, diff + N);
    uint32_t s1 = 0, s2 = 0;
    if (NetWaterDetection(planes_.data(), InitNetWater(&water_state_), 20, 40, 3, &s1, &s2,
                          gpubDlCache + kWaterNetPoolBytes) == 0) {
      ++water_runs_;
    }
  }
  uint32_t water_runs() const { return water_runs_; }
  uint32_t denoise_runs() const { return denoise_runs_; }
  uint32_t float_runs() const { return float_runs_; }

  // After a frame: the scenario's own checks.
  void Observe() {
    if (scenario_ == kRefRebuild && gstCommon.stData.puwRefData != nullptr && gstCommon.stData.puwRawData != nullptr) {
      const bool same = gstCommon.stData.puwRefData[watch_] == gstCommon.stData.puwRawData[watch_];
      if (same && !ref_same_) ++rebuilds_;
      ref_same_ = same;
    }
  }
  uint32_t rebuilds() const { return rebuilds_; }

 private:
  bool ToFirstReport() {
    g_last_points = 0xFF;
    for (int i = 0; i < 16; ++i) {
      frames_.SetFreqIndex(g_controller_freq);
      DecodedFrame f = frames_.Next(i == 0 ? 0x01 : 0x00, index_++);
      ferx_alg_update_frame_data(&f);
      ferx_alg_update_diff_data(0, &f);
      if (i > 0 && g_last_points != 0xFF) return true;
    }
    return false;
  }

  static constexpr int16_t kUntouchedSelf = 100;  // the self level FingerFrames starts from
  uint8_t drv_, sen_;
  road::Panel panel_;
  Scenario scenario_;
  fxtest::FingerFrames frames_;
  DecodedFrame frame_{};
  uint16_t index_ = 2;
  uint8_t flags_ = 0;
  size_t watch_ = 0;
  bool ref_same_ = true;
  uint32_t rebuilds_ = 0;
  std::vector<int16_t> net_diff_;
  uint16_t net_means_[kDenoiseNetMaxRows] = {};
  uint32_t denoise_runs_ = 0;
  uint32_t float_runs_ = 0;
  uint32_t water_runs_ = 0;
  std::vector<int16_t> prev_, last_last_;
  std::vector<float> planes_;
  WaterNetState water_state_{};
};

// Appends to OUT a printf-formatted line.
template <typename... Args>
void AppendLine(std::string* out, const char* format, Args... args) {
  char line[256];
  std::snprintf(line, sizeof line, format, args...);
  *out += line;
}

// The stages' times over FRAMES frames that took FRAME_NS together.
std::string StageTable(const char* title, const StageTimeRecord& rec, int frames, uint64_t frame_ns) {
  std::string table;
  AppendLine(&table, "-- %s: %d frames, %u stage-list runs, %.0f ns per frame; per stage: ns per frame, share\n",
             title, frames, rec.uiRuns, static_cast<double>(frame_ns) / frames);
  for (uint16_t i = 0; i < rec.uwSlotCount && i < kStageTimeSlots; ++i) {
    if (rec.ppList[i] == nullptr || rec.auiCalls[i] == 0) continue;
    const double ns = static_cast<double>(rec.aullTotalNs[i]);
    AppendLine(&table, "   %-32s %10.0f  %5.1f%%%s\n", StageName(rec.ppList[i]), ns / frames,
               100.0 * ns / static_cast<double>(frame_ns), IsRejection(rec.ppList[i]) ? "  (rejection)" : "");
  }
  return table;
}

// Each scenario's per-stage table of its latest run, in the order the scenarios first ran.
std::vector<std::pair<std::string, std::string>> g_stage_tables;

void KeepStageTable(const std::string& title, std::string table) {
  for (auto& kept : g_stage_tables) {
    if (kept.first == title) {
      kept.second = std::move(table);
      return;
    }
  }
  g_stage_tables.emplace_back(title, std::move(table));
}

void BM_FerrantScenario(benchmark::State& state, uint8_t drv, uint8_t sen, Scenario scenario) {
  const std::string title = std::to_string(drv) + "x" + std::to_string(sen) + " " + kScenarioNames[scenario];
  fxtest::SysLogCapture::Silence();
  g_hops = 0;
  g_controller_freq = 0;
  Run run(drv, sen, scenario);
  if (scenario == kNetworks) {
    InstallNetworks();
    DenoiseNetInit();
  }
  if (!run.Start()) {
    RemoveNetworks();
    state.SkipWithError("the module did not start reporting");
    return;
  }
  bench::FrameTimes times;
  uint64_t n = 0, points = 0, touched = 0, lower = 0;
  for (auto _ : state) {
    run.Prepare(n++);
    g_contacts = g_lower_contacts = 0;
    times.Time([&] { run.Frame(); });
    run.Observe();
    points += g_contacts;
    touched += g_contacts != 0 ? 1 : 0;
    lower += g_lower_contacts;
  }
  times.Report(state);
  // Points per frame, and the share of frames with a point (a finger that is always down
  // shows 100).
  state.counters["points"] = n != 0 ? static_cast<double>(points) / static_cast<double>(n) : 0;
  state.counters["touch_pct"] = n != 0 ? 100.0 * static_cast<double>(touched) / static_cast<double>(n) : 0;
  state.counters["lower_points"] = n != 0 ? static_cast<double>(lower) / static_cast<double>(n) : 0;
  state.counters["hops"] = g_hops;
  state.counters["rebuilds"] = run.rebuilds();
  // 1 while the module is in its low-temperature state.
  state.counters["cold"] = static_cast<const uint8_t*>(GetLowTempNclnAddress())[6] == 2 ? 1 : 0;

  if (scenario == kNetworks) {
    // Per frame of the timed pass: runs of the two networks the benchmark adds.
    state.counters["denoise_runs"] = n != 0 ? static_cast<double>(run.denoise_runs()) / static_cast<double>(n) : 0;
    state.counters["float_runs"] = n != 0 ? static_cast<double>(run.float_runs()) / static_cast<double>(n) : 0;
    state.counters["water_runs"] = n != 0 ? static_cast<double>(run.water_runs()) / static_cast<double>(n) : 0;
  }

  // The second pass: the same frames with the per-stage times on, two cycles; the engine's
  // layer record counts the frames in which the module ran the water network itself (the
  // networks scenario's own runs are not counted: they follow the module's frame).
  static StageTimeRecord rec;
  static FrnnRunStats layers;
  AppStageTimingBind(SteadyNs, &rec);
  uint64_t frame_ns = 0;
  uint32_t water_frames = 0;
  for (int i = 0; i < 2 * kCycle; ++i) {
    run.Prepare(n++);
    FrnnSetRunStats(&layers);
    const uint64_t t0 = SteadyNs();
    run.ModuleFrame();
    FrnnSetRunStats(nullptr);
    run.Extra();
    frame_ns += SteadyNs() - t0;
    bool water = false;
    // The water network's first layer: 3 planes to 16 channels, 3 x 3.
    for (uint32_t k = 0; k < layers.uiCount; ++k) {
      const FrnnLayerRecord& l = layers.astLayer[k];
      water = water || (l.uiIn == 3 && l.uiOut == 16 && l.uiKh == 3 && l.uiKw == 3);
    }
    water_frames += water ? 1 : 0;
  }
  AppStageTimingBind(nullptr, nullptr);
  state.counters["water_net_frames"] = water_frames;
  uint64_t reject_ns = 0;
  for (uint16_t i = 0; i < rec.uwSlotCount && i < kStageTimeSlots; ++i)
    if (rec.ppList != nullptr && rec.ppList[i] != nullptr && IsRejection(rec.ppList[i])) reject_ns += rec.aullTotalNs[i];
  state.counters["reject_pct"] = frame_ns != 0 ? 100.0 * static_cast<double>(reject_ns) / static_cast<double>(frame_ns) : 0;
  if (std::getenv("FERRANT_STAGES") != nullptr && rec.uiRuns != 0)
    KeepStageTable(title, StageTable(title.c_str(), rec, 2 * kCycle, frame_ns));
  ferx_alg_module_exit();
  TsaModuleResetForTest();
  RemoveNetworks();
}

}  // namespace

int main(int argc, char** argv) {
  const struct {
    uint8_t drv, sen;
  } panels[] = {{32, 18}, {52, 56}};
  for (const auto& p : panels) {
    for (int s = kIdle; s <= kWet; ++s) {
      const std::string name = "BM_FerrantScenario/" + std::to_string(p.drv) + "x" + std::to_string(p.sen) + "/" +
                               kScenarioNames[s];
      benchmark::RegisterBenchmark(name.c_str(), BM_FerrantScenario, p.drv, p.sen, static_cast<Scenario>(s));
    }
  }
  // The panel on which the water network runs (at most 20 x 40 lines): one finger, the wet
  // panel, and the wet panel with every network in.
  for (Scenario s : {kOne, kWet, kNetworks}) {
    const std::string name = std::string("BM_FerrantScenario/20x40/") + kScenarioNames[s];
    benchmark::RegisterBenchmark(name.c_str(), BM_FerrantScenario, 20, 40, s);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  std::fflush(stdout);
  for (const auto& kept : g_stage_tables) std::fputs(kept.second.c_str(), stderr);
  benchmark::Shutdown();
  return 0;
}
