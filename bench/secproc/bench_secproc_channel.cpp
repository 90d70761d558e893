// One request's round trip through the channel library to the simulated secure processor:
// init, body, shared-buffer copy, exchange, answer copy and header checks.
#include <benchmark/benchmark.h>
#include <vaultlink/sim_secproc.h>

#include "KeymasterUtils.h"

namespace {

void BM_ChannelRoundTrip(benchmark::State& state) {
  platform::secproc::SimSecureProcessor::get().reset();
  keymasterutils::KeymasterUtils utils(KM_SECURITY_LEVEL_STRONGBOX);
  if (utils.secproc_init() != 0) {
    state.SkipWithError("bring-up failed");
    return;
  }
  const size_t body = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    keymaster_blob_t req;
    utils.init(0x41501, &req);
    req.data_length = body;
    keymaster_blob_t rsp{};
    if (utils.sendCmd(req, &rsp) != 0) {
      state.SkipWithError("exchange failed");
      break;
    }
    benchmark::DoNotOptimize(rsp.data);
    // Keep the simulated processor's request record from growing without end.
    if ((state.iterations() & 1023) == 0) platform::secproc::SimSecureProcessor::get().clearRequests();
  }
}
BENCHMARK(BM_ChannelRoundTrip)->Arg(0)->Arg(512)->Arg(8192);

}  // namespace

BENCHMARK_MAIN();
