// A configuration image of arbitrary content: the input overlays the compiled-in 601-byte
// image from its first byte. An image the module accepts is put in force and a few frames
// (base, touch, overload) run through it; the compiled-in image is restored afterwards.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "luma_core.h"
#include "luma_frame.h"

namespace {

void FrameTaken(DecodedFrame *) {}
void Report(AlgTouchPoint *, uint8_t) {}
void Log(int32_t, const char *, ...) {}

// The frame names the panel of the image in force, which is never larger than the frame's
// 17 x 38 buffers: its values are read at that panel's size.
LumaFrame &OfThePanel(LumaFrame &f) {
  f.frame()->rows = g_stFwConfig.ucTxNum;
  f.frame()->columns = g_stFwConfig.ucRxNum;
  return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static AlgHostCallbacks host{};
  host.frame_processed = FrameTaken;
  host.report_points = Report;
  host.log = Log;
  register_alg_module(&host);
  LumaFwConfigLoad(nullptr, 0);
  uint8_t image[sizeof(LumaFwConfig)];
  std::memcpy(image, &g_stFwConfig, sizeof(image));
  std::memcpy(image, data, size < sizeof(image) ? size : sizeof(image));
  if (LumaFwConfigLoad(image, sizeof(image)) == 0) {
    alg_module_init();
    LumaFrame base;
    update_frame_data(OfThePanel(base).frame());
    update_diff_data(base.frame());
    LumaFrame touched;
    touched.Bump(8, 19, 600);
    touched.Bump(2, 3, 300);
    update_frame_data(OfThePanel(touched).frame());
    update_diff_data(touched.frame());
    LumaFrame overload(touched);
    overload.frame()->tail.sat.mutual_adc_sat_word = 500;
    update_frame_data(overload.frame());
    update_diff_data(overload.frame());
  }
  LumaFwConfigLoad(nullptr, 0);
  register_alg_module(nullptr);
  return 0;
}
