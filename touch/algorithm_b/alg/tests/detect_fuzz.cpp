// Algorithm B's detection chain (peak search, peak filters and water classification, point
// filters, touch IDs, the fingerprint area, result output) on diff maps of arbitrary
// content. The front of the frame (base, diff and its filters) runs on an untouched frame;
// then the mutual and self diffs it made are replaced by the input's, so that every stage
// after it sees values no real panel would give: extremes, plateaus, stripes, negative
// fields. Up to four frames per input, so that tracking, holds and releases run across
// frames; the first input byte sets the number of frames and the mode bits of the run.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "luma_core.h"
#include "luma_frame.h"

namespace {

void FrameTaken(DecodedFrame *) {}
void Report(AlgTouchPoint *, uint8_t) {}
void Log(int32_t, const char *, ...) {}

// Bytes of one frame's diff map: the mutual matrix, then both self lines.
constexpr size_t kMutualBytes = sizeof(int16_t) * LumaFrame::kNodes;
constexpr size_t kSelfBytes = sizeof(int16_t) * (LumaFrame::kTx + LumaFrame::kRx);

void SetMode(uint16_t mode, uint32_t value) {
  common_data d{};
  d.cmd = COMMON_DATA_CMD_SET_MODE_VALUE;
  d.mode = mode;
  d.count = 1;
  d.values[0] = value;
  uint32_t result = 0;
  alg_receive_common_data(&d, &result);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static AlgHostCallbacks host{};
  host.frame_processed = FrameTaken;
  host.report_points = Report;
  host.log = Log;
  register_alg_module(&host);
  alg_module_init();  // every input starts from a fresh module
  if (size == 0) return 0;
  const uint8_t control = data[0];
  ++data;
  --size;
  // The fingerprint area's handling runs only with the host's leave.
  SetMode(COMMON_DATA_MODE_FINGERPRINT_ENABLE, (control >> 2) & 1u);

  LumaFrame base;
  update_frame_data(base.frame());  // the untouched frame gives the base
  update_diff_data(base.frame());

  const int frames = 1 + (control & 3);
  size_t used = 0;
  const auto take = [&](void *dst, size_t n) {
    std::memset(dst, 0, n);
    const size_t k = used < size ? std::min(size - used, n) : 0;
    if (k != 0) std::memcpy(dst, data + used, k);
    used += k;
  };
  for (int f = 0; f < frames; ++f) {
    LumaFrame frame;
    update_frame_data(frame.frame());
    take(g_stFrmData.assMcDiff, kMutualBytes);
    take(g_stFrmData.assScDiff[0], kSelfBytes);
    take(g_stFrmData.assScDiff[1], kSelfBytes);
    update_diff_data(frame.frame());
  }
  alg_module_exit();
  register_alg_module(nullptr);
  return 0;
}
