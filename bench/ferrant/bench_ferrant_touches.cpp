// Whole algorithm A per frame (update frame data, then update diff data, as the host calls
// them) with 1, 5 and 10 fingers moving on a 32 x 18 and a 52 x 56 panel: the module finds,
// pairs and tracks the fingers itself from the frames' raw values. Median and 99th
// percentile of the frame times against the 240 Hz budget (frame_budget.h). The counter
// points is how many points the module reported for the last frame; the times do not depend
// on it being exactly the number of fingers.
#include <sys/mman.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "decoded_frame_bytes_test.h"
#include "ferx_syslog_capture_test.h"
#include "frame_budget.h"
#include "touch_host/ferrant_road.h"
#include "tsa_module.h"
#include "tsa_module_test_util.h"

namespace {

namespace road = touch_host::testsupport::ferrant_road;

constexpr uint8_t kFreqs = 4;
constexpr int kCycle = 64;  // frames of the fingers' back-and-forth

uint8_t g_last_points = 0;
void OnPoints(AlgTouchPoint *, uint8_t count) { g_last_points = count; }

// COUNT fingers on a grid six nodes apart, each sliding along the sense lines four nodes
// forth and back, an eighth of a node per frame; the diff of each frame of the cycle.
std::vector<std::vector<int16_t>> Cycle(uint8_t drv, uint8_t sen, int count) {
  std::vector<road::Finger> at;
  for (int r = 3; r + 3 <= drv && static_cast<int>(at.size()) < count; r += 6)
    for (int c = 3; c + 5 <= sen && static_cast<int>(at.size()) < count; c += 6) at.push_back({double(r), double(c), 500});
  std::vector<std::vector<int16_t>> frames;
  for (int f = 0; f < kCycle; ++f) {
    const double shift = (f < kCycle / 2 ? f : kCycle - f) / 8.0;
    std::vector<road::Finger> now = at;
    for (road::Finger &g : now) g.column += shift;
    frames.push_back(road::diff_with_fingers(now, drv, sen));
  }
  return frames;
}

// Brings the module up on a DRV x SEN panel as the host does and runs it to its first report
// (reference, then quiet frames until the power-on reference is built); false on a failure.
bool Start(uint8_t drv, uint8_t sen, fxtest::FingerFrames &frames, uint16_t &index) {
  TsaModuleResetForTest();
  static AlgHostCallbacks host{};
  host.report_points = OnPoints;
  register_alg_module(&host);
  const fxtest::Bytes file = road::alg_config_file(100, 120, drv, sen);
  const int fd = memfd_create("ferrant-config", 0);
  if (fd < 0) return false;
  const bool written =
      write(fd, file.data(), file.size()) == static_cast<ssize_t>(file.size()) && lseek(fd, 0, SEEK_SET) == 0;
  if (written) ferx_alg_read_config_param(0, 0, 0, fd);
  close(fd);
  if (!written || ferx_alg_module_init() != 0) return false;
  ferx_alg_update_suspend_status(0);
  g_last_points = 0xFF;
  for (int i = 0; i < 16; ++i) {
    DecodedFrame f = frames.Next(i == 0 ? 0x01 : 0x00, index++);
    ferx_alg_update_frame_data(&f);
    ferx_alg_update_diff_data(0, &f);
    if (i > 0 && g_last_points != 0xFF) return true;
  }
  return false;
}

void BM_FerrantTouches(benchmark::State &state) {
  fxtest::SysLogCapture::Silence();
  const auto drv = static_cast<uint8_t>(state.range(0));
  const auto sen = static_cast<uint8_t>(state.range(1));
  fxtest::FingerFrames frames(drv, sen, kFreqs);
  uint16_t index = 2;
  if (!Start(drv, sen, frames, index)) {
    state.SkipWithError("the module did not start reporting");
    return;
  }
  const std::vector<std::vector<int16_t>> cycle = Cycle(drv, sen, static_cast<int>(state.range(2)));
  bench::FrameTimes times;
  size_t f = 0;
  for (auto _ : state) {
    frames.SetTouch(cycle[f++ % cycle.size()]);
    DecodedFrame frame = frames.Next(0x00, index);  // the decoder's fresh copy of the frame
    index = static_cast<uint16_t>(index == 0xFFFF ? 2 : index + 1);
    times.Time([&] {
      ferx_alg_update_frame_data(&frame);
      ferx_alg_update_diff_data(0, &frame);
    });
  }
  times.Report(state);
  state.counters["points"] = g_last_points;
  ferx_alg_module_exit();
  TsaModuleResetForTest();
}

BENCHMARK(BM_FerrantTouches)
    ->ArgsProduct({{32}, {18}, {1, 5, 10}})
    ->ArgsProduct({{52}, {56}, {1, 5, 10}})
    ->ArgNames({"drv", "sen", "touches"});

}  // namespace

BENCHMARK_MAIN();
