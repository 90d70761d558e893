#pragma once
// A network's installed weight block. The engine keeps a copy of its own, so the caller
// may release its buffer as soon as the installation returns, and a run holds the block
// it started with to its end: another thread may install or remove a block meanwhile
// without pulling the weights from under a layer. The slot's lock is held only to take
// or swap the reference, never for a run.
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

struct NetWeightBlock {
  std::vector<uint8_t> bytes;
};

class NetWeightSlot {
 public:
  using Held = std::shared_ptr<const NetWeightBlock>;

  // FRNN_ERR_NULL without a block, FRNN_ERR_ARG when it is not exactly `expected`
  // bytes; either leaves the slot as it was.
  uint32_t Install(const void* pvBlob, uint32_t uiBytes, uint32_t uiExpected);
  void Remove();
  // The block a run uses (empty when none is installed); it stays valid while held.
  Held Hold() const;

 private:
  mutable std::mutex mu_;
  Held block_;
};
