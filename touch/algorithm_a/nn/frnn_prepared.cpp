#include "frnn_prepared.h"

#include <algorithm>

#include "frnn_internal.h"

namespace {

thread_local const FrnnPreparedSet* tUse = nullptr;
thread_local FrnnPreparedSet* tRecord = nullptr;

bool KeyLess(const FrnnPreparedConv& e, const uint16_t* key) { return std::less<const uint16_t*>()(e.key, key); }

}  // namespace

void FrnnPreparedSet::Add(const ConvolutionLayer* l, uint32_t inChannels, uint32_t outChannels) {
  const auto* w = Elems<const uint16_t>(&l->weights);
  for (const FrnnPreparedConv& e : entries_)
    if (e.key == w) return;
  const uint32_t taps = l->kernelWidth * l->kernelHeight;
  const uint32_t cin8 = RoundUp(inChannels, 8), cout8 = RoundUp(outChannels, 8);
  FrnnPreparedConv e{w, outChannels, inChannels, taps, l->hasBias, {}, {}, {}, {}};
  const size_t n = static_cast<size_t>(outChannels) * inChannels * taps;
  e.planar.resize(n);
  for (size_t j = 0; j < n; ++j) e.planar[j] = HF(w[j]);
  e.planarBias.assign(outChannels, 0.0f);
  e.bias8.assign(cout8, 0.0f);
  if (l->hasBias) {
    const auto* b = Elems<const uint16_t>(&l->bias);
    for (uint32_t o = 0; o < outChannels; ++o) e.planarBias[o] = e.bias8[o] = HF(b[o]);
  }
  // The tiles as the blocked kernel packs them, from the weights padded with zero
  // channels, then widened.
  std::vector<uint16_t> padded(static_cast<size_t>(cout8) * cin8 * taps, kHalfZero);
  std::vector<uint16_t> packed(padded.size());
  for (uint32_t o = 0; o < outChannels; ++o) {
    std::copy_n(w + static_cast<size_t>(o) * inChannels * taps, static_cast<size_t>(inChannels) * taps,
                padded.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(o) * cin8 * taps));
  }
  const int32_t shape[4] = {static_cast<int32_t>(cout8), static_cast<int32_t>(cin8), static_cast<int32_t>(l->kernelHeight),
                            static_cast<int32_t>(l->kernelWidth)};
  ConvWeightPackO8I8(packed.data(), padded.data(), shape, 2);
  e.tiles.resize(packed.size());
  for (size_t j = 0; j < packed.size(); ++j) e.tiles[j] = HF(packed[j]);
  entries_.push_back(std::move(e));
}

void FrnnPreparedSet::Seal() {
  std::sort(entries_.begin(), entries_.end(),
            [](const FrnnPreparedConv& a, const FrnnPreparedConv& b) { return std::less<const uint16_t*>()(a.key, b.key); });
}

const FrnnPreparedConv* FrnnPreparedSet::Find(const uint16_t* key, uint32_t outChannels, uint32_t inChannels,
                                              uint32_t taps, uint32_t hasBias) const {
  const auto it = std::lower_bound(entries_.begin(), entries_.end(), key, KeyLess);
  if (it == entries_.end() || it->key != key) return nullptr;
  if (it->outChannels != outChannels || it->inChannels != inChannels || it->taps != taps || it->hasBias != hasBias) {
    return nullptr;
  }
  return &*it;
}

FrnnPreparedScope::FrnnPreparedScope(const FrnnPreparedSet* use, FrnnPreparedSet* record)
    : prevUse_(tUse), prevRecord_(tRecord) {
  tUse = use;
  tRecord = record;
}

FrnnPreparedScope::~FrnnPreparedScope() {
  tUse = prevUse_;
  tRecord = prevRecord_;
}

const FrnnPreparedConv* FrnnPreparedFind(const ConvolutionLayer* l, uint32_t inChannels, uint32_t outChannels) {
  if (tUse == nullptr) return nullptr;
  return tUse->Find(Elems<const uint16_t>(&l->weights), outChannels, inChannels, l->kernelWidth * l->kernelHeight,
                    l->hasBias);
}

void FrnnPreparedRecord(const ConvolutionLayer* l, uint32_t inChannels, uint32_t outChannels) {
  if (tRecord != nullptr) tRecord->Add(l, inChannels, outChannels);
}
