#pragma once
// Convolution weights in the forms the fast kernels read (single precision, as stored and
// packed into 8 x 8 tiles), made once when a weight block is installed so that a run
// neither widens nor packs them. Entries are keyed by where the layer's half weights lie
// in the installed block, which does not move while a run holds it. A run that finds no
// entry (no block installed through a slot, fast paths off at installation) widens and
// packs into its pool as before, to the same bits.
#include <cstddef>
#include <cstdint>
#include <vector>

struct ConvolutionLayer;

struct FrnnPreparedConv {
  const uint16_t* key;  // the layer's half weights inside the installed block
  uint32_t outChannels, inChannels, taps, hasBias;
  std::vector<float> planar;      // outChannels x inChannels x taps, widened as stored
  std::vector<float> planarBias;  // outChannels values (zeros without a bias)
  std::vector<float> tiles;       // output blocks of (input block, tap) 8 x 8 tiles, pad lanes 0
  std::vector<float> bias8;       // outChannels rounded up to 8 values, pad lanes 0
};

class FrnnPreparedSet {
 public:
  // Widens and packs the layer's weights unless an entry for them is there already.
  void Add(const ConvolutionLayer* l, uint32_t inChannels, uint32_t outChannels);
  // Sorts the entries for lookup; nothing is added after.
  void Seal();
  // The entry of these weights at this shape, or null.
  const FrnnPreparedConv* Find(const uint16_t* key, uint32_t outChannels, uint32_t inChannels, uint32_t taps,
                               uint32_t hasBias) const;
  size_t Size() const { return entries_.size(); }

 private:
  std::vector<FrnnPreparedConv> entries_;
};

// While alive, the convolutions run on this thread read their weights from `use` (null:
// none) and, when `record` is given, add the weights they meet to it. Scopes nest.
class FrnnPreparedScope {
 public:
  explicit FrnnPreparedScope(const FrnnPreparedSet* use, FrnnPreparedSet* record = nullptr);
  ~FrnnPreparedScope();
  FrnnPreparedScope(const FrnnPreparedScope&) = delete;
  FrnnPreparedScope& operator=(const FrnnPreparedScope&) = delete;

 private:
  const FrnnPreparedSet* prevUse_;
  FrnnPreparedSet* prevRecord_;
};

// The entry of a layer's weights in the scope's set (null without one), and the recording
// step the convolution takes before it computes.
const FrnnPreparedConv* FrnnPreparedFind(const ConvolutionLayer* l, uint32_t inChannels, uint32_t outChannels);
void FrnnPreparedRecord(const ConvolutionLayer* l, uint32_t inChannels, uint32_t outChannels);
