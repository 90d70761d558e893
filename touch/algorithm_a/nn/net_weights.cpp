#include "net_weights.h"

#include <cstring>
#include <utility>

#include "frnn.h"

void NetWeightPrepare(FrnnPreparedSet* set, NetWeightPrepareRun run, const uint8_t* weights, uint32_t bytes) {
  if (run != nullptr) {
    const FrnnPreparedScope record(nullptr, set);
    run(weights, bytes);
  }
  set->Seal();
}

uint32_t NetWeightSlot::Install(const void* pvBlob, uint32_t uiBytes, uint32_t uiExpected, NetWeightPrepareRun prepare) {
  if (pvBlob == nullptr) return FRNN_ERR_NULL;
  if (uiBytes != uiExpected) return FRNN_ERR_ARG;
  // The copy is made outside the lock, and the block it replaces is released outside it
  // too, so a frame taking its reference never waits for either.
  auto fresh = std::make_shared<NetWeightBlock>();
  fresh->bytes.resize(uiBytes);
  memcpy(fresh->bytes.data(), pvBlob, uiBytes);
  // The preparing run reads the weights where the frames' runs will: in this copy.
  NetWeightPrepare(&fresh->prepared, prepare, fresh->bytes.data(), uiBytes);
  Held old;
  {
    std::lock_guard<std::mutex> lock(mu_);
    old = std::exchange(block_, std::move(fresh));
  }
  return FRNN_OK;
}

void NetWeightSlot::Remove() {
  Held old;
  std::lock_guard<std::mutex> lock(mu_);
  old = std::exchange(block_, nullptr);
}

NetWeightSlot::Held NetWeightSlot::Hold() const {
  std::lock_guard<std::mutex> lock(mu_);
  return block_;
}
