// APDU exchanges per second through libSeclink on an open logical channel: the layer's
// checks, the back end's shared-memory round trip and the simulated trusted application.
#include <benchmark/benchmark.h>

#include <memory>

#include "seclink.h"
#include "teec/sim_secure_element.h"

namespace {

void BM_TransmitApdu(benchmark::State& state) {
  namespace ese = platform::sim::ese;
  ese::reset();
  const std::vector<uint8_t> aid = {0xA0, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00};
  ese::installApplet(aid);
  auto resp = std::make_unique<uint8_t[]>(kSeclinkRxSize);
  int channel = 0, length = 0;
  if (openChannel(aid, 0, &channel, resp.get(), &length, false) != 0) {
    state.SkipWithError("open failed");
    return;
  }
  std::vector<uint8_t> apdu = {static_cast<uint8_t>(channel), 0x80, 0xCA, 0x00,
                               static_cast<uint8_t>(state.range(0))};
  apdu.resize(5 + static_cast<size_t>(state.range(0)), 0x5A);
  for (auto _ : state) {
    if (transmitApdu(apdu, false, 0, resp.get(), &length) != 0) {
      state.SkipWithError("transmit failed");
      break;
    }
    benchmark::DoNotOptimize(resp[0]);
    if ((state.iterations() & 1023) == 0) ese::clearApduLog();
  }
  state.SetItemsProcessed(state.iterations());
  closeGPChannel(static_cast<uint8_t>(channel));
}
BENCHMARK(BM_TransmitApdu)->Arg(0)->Arg(64)->Arg(255);

}  // namespace

BENCHMARK_MAIN();
