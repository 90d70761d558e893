// One iteration: the simulated driver fills a ring slot and announces it (POLLPRI and the
// newest index); the frame thread wakes, asks for the index, decodes and publishes; the
// host's get frame wakes with the deep copy. The time per iteration is that latency.
#include <benchmark/benchmark.h>
#include <fcntl.h>

#include "core/frame_data.h"
#include "core/test_decoder.h"
#include "platform/devio.h"
#include "platform/tamrel_touch.h"
#include "platform/temp_root.h"

namespace {

void BM_DriverUpdateToHostWakeUp(benchmark::State &state) {
  platform::testing::TempRoot root;
  platform::sim::TamrelTouchConfig config;
  config.frame_buffer_count = 16;
  auto dev = platform::sim::TamrelTouchDevice::create(config);
  const int fd = plat_open("/dev/tamrel-touch", O_RDWR);
  TouchPanelInfo panel{};
  plat_ioctl(fd, tamrel_touch_request(TOUCH_IOC_PANEL_INFO, sizeof(panel), TOUCH_IOC_DIR_READ), &panel);
  get_hal_module_param()->geometry.node_count = static_cast<int32_t>(state.range(0));
  hal::FrameData frames(hal::testing::test_decoder);
  frames.init(&panel, fd, 0, 0);
  uint16_t index = 0;
  for (auto _ : state) {
    ++index;
    dev->pushFrame(hal::testing::test_slot(index, index));
    DecodedFrame *copy = nullptr;
    frames.getFrame(nullptr, &copy);
    benchmark::DoNotOptimize(copy);
  }
  frames.exit();
  plat_close(fd);
  platform::sim::unregisterDevice(platform::sim::TamrelTouchDevice::kPath);
}
BENCHMARK(BM_DriverUpdateToHostWakeUp)->Arg(8)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
