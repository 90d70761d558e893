#pragma once
// A network's installed weight block. The engine keeps a copy of its own, so the caller
// may release its buffer as soon as the installation returns, and a run holds the block
// it started with to its end: another thread may install or remove a block meanwhile
// without pulling the weights from under a layer. The slot's lock is held only to take
// or swap the reference, never for a run. Installation also widens and packs the
// convolutions' weights into the block, so that no run does.
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "frnn_prepared.h"

struct NetWeightBlock {
  std::vector<uint8_t> bytes;
  FrnnPreparedSet prepared;  // the convolutions' weights in the fast kernels' forms
};

// One run of the network over a fixed input with the block at `weights`: every
// convolution it passes records its weights' prepared forms.
using NetWeightPrepareRun = void (*)(const uint8_t* weights, uint32_t bytes);
// Fills and seals `set` from one such run over the block at `weights`.
void NetWeightPrepare(FrnnPreparedSet* set, NetWeightPrepareRun run, const uint8_t* weights, uint32_t bytes);

class NetWeightSlot {
 public:
  using Held = std::shared_ptr<const NetWeightBlock>;

  // FRNN_ERR_NULL without a block, FRNN_ERR_ARG when it is not exactly `expected`
  // bytes; either leaves the slot as it was.
  uint32_t Install(const void* pvBlob, uint32_t uiBytes, uint32_t uiExpected, NetWeightPrepareRun prepare);
  void Remove();
  // The block a run uses (empty when none is installed); it stays valid while held.
  Held Hold() const;

 private:
  mutable std::mutex mu_;
  Held block_;
};

// A run's hold on the installed block, with its prepared weights in use on this thread
// for the run's length.
class NetWeightRun {
 public:
  explicit NetWeightRun(const NetWeightSlot& slot) : held_(slot.Hold()), scope_(held_ ? &held_->prepared : nullptr) {}
  const uint8_t* Bytes() const { return held_ ? held_->bytes.data() : nullptr; }
  explicit operator bool() const { return held_ != nullptr; }

 private:
  NetWeightSlot::Held held_;
  FrnnPreparedScope scope_;
};
