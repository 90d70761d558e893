// A decoded frame of arbitrary content through the module: the header bytes, the mutual
// matrix and the self lines all come from the input; the buffer pointers are ours.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "luma_core.h"
#include "luma_frame.h"

namespace {

void FrameTaken(DecodedFrame *) {}
void Report(AlgTouchPoint *, uint8_t) {}
void Log(int32_t, const char *, ...) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static AlgHostCallbacks host{};
  static bool ready = false;
  if (!ready) {
    host.frame_processed = FrameTaken;
    host.report_points = Report;
    host.log = Log;
    register_alg_module(&host);
    alg_module_init();
    ready = true;
  }
  // Two frames per input: the first may become the base, the second then gives a diff.
  for (int round = 0; round < 2; ++round) {
    LumaFrame f;
    size_t used = 0;
    const auto take = [&](void *dst, size_t n) {
      const size_t k = used < size ? (size - used < n ? size - used : n) : 0;
      if (k != 0) std::memcpy(dst, data + used, k);
      used += k;
    };
    take(f.bytes.data() + 36, 124 - 36);          // driver slot and controller header
    take(f.bytes.data() + 168, 209 - 168);        // tail bytes
    take(f.mutual.data(), sizeof(f.mutual));
    take(f.self1.data(), sizeof(f.self1));
    take(f.self2.data(), sizeof(f.self2));
    f.frame()->extra2_count = 0;                  // no extra line buffer behind the pointer
    // The buffers are the panel's, so the frame says so: a frame of another geometry is
    // refused at entry before anything else is read.
    f.frame()->rows = LumaFrame::kTx;
    f.frame()->columns = LumaFrame::kRx;
    update_frame_data(f.frame());
    update_diff_data(f.frame());
  }
  return 0;
}
