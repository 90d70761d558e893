#pragma once
// Test-side builder of a decoded frame, written byte by byte at the offsets of the frame
// record (decoded_frame.h), for the frame entry tests and the end-to-end road.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "decoded_frame.h"

namespace fxtest {

class FrameBytes {
 public:
  FrameBytes() : aub_(DECODED_FRAME_SIZE, 0) {}
  FrameBytes& U8(size_t at, uint8_t v) {
    aub_[at] = v;
    return *this;
  }
  FrameBytes& U16(size_t at, uint16_t v) {
    for (size_t i = 0; i < 2; ++i) aub_[at + i] = static_cast<uint8_t>(v >> (8 * i));
    return *this;
  }
  FrameBytes& U32(size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) aub_[at + i] = static_cast<uint8_t>(v >> (8 * i));
    return *this;
  }
  FrameBytes& Ptr(size_t at, const void* p) {
    std::memcpy(&aub_[at], &p, sizeof(p));
    return *this;
  }
  DecodedFrame Frame() const {
    DecodedFrame f;
    std::memcpy(&f, aub_.data(), sizeof(f));
    return f;
  }

 private:
  std::vector<uint8_t> aub_;
};

// Offsets of the fields the algorithm A frame entry reads.
inline constexpr size_t kFrameCountAt = 44;      // host frame count (u64)
inline constexpr size_t kFrameFlagsAt = 80;      // firmware state bits; 0x01 = reference frame
inline constexpr size_t kFrameStateCodeAt = 84;  // scan mode 2 or 4
inline constexpr size_t kFrameIcCountAt = 88;    // controller frame index
inline constexpr size_t kFrameLengthAt = 104;
inline constexpr size_t kFrameColumnsAt = 108;  // sense lines, as the HAL's decoders stamp them
inline constexpr size_t kFrameRowsAt = 109;     // drive lines
inline constexpr size_t kFrameFreqIndexAt = 114;
inline constexpr size_t kFrameTypeAt = 116;
inline constexpr size_t kFrameMutualAt = 124;
inline constexpr size_t kFrameSelfAt = 132;
inline constexpr size_t kFrameImLenAt = 209;  // IM bytes behind the pointer
inline constexpr size_t kFrameImAt = 211;
inline constexpr size_t kFrameKbAt = 247;

// The buffers of algorithm A frames on a DRV x SEN panel with FREQS configured frequencies,
// and the frame record pointing at them and naming that panel (as the HAL's decoders stamp
// it). The module writes the diff map back into the mutual buffer, so Next() refills it
// with the same raw values for every frame, as the host's decoder would with new data. The
// record is laid out once; Next() changes only the flags and the index (no allocation per
// frame).
class FingerFrames {
 public:
  FingerFrames(uint32_t drv, uint32_t sen, uint32_t freqs)
      : raw_(drv * sen), mutual_(drv * sen), self_(drv + sen, 100), im_(freqs * (drv > sen ? drv : sen)),
        kb_(drv * sen) {
    for (size_t i = 0; i < raw_.size(); ++i) raw_[i] = static_cast<int16_t>(1000 + i % 97);
    bytes_.U8(kFrameStateCodeAt, 4)
        .U16(kFrameLengthAt, 0x1234)
        .U8(kFrameColumnsAt, static_cast<uint8_t>(sen))
        .U8(kFrameRowsAt, static_cast<uint8_t>(drv))
        .U8(kFrameTypeAt, DECODED_FRAME_TYPE_NORMAL)
        .Ptr(kFrameMutualAt, mutual_.data())
        .Ptr(kFrameSelfAt, self_.data())
        .Ptr(kFrameImAt, im_.data())
        .Ptr(kFrameKbAt, kb_.data());
  }
  // The IM noise rows the next frames carry (one row per frequency, max(drv, sen) each).
  void SetIm(const std::vector<uint16_t>& rows) {
    for (size_t i = 0; i < im_.size() && i < rows.size(); ++i) im_[i] = static_cast<int16_t>(rows[i]);
    bytes_.U16(kFrameImLenAt, static_cast<uint16_t>(im_.size() * sizeof(int16_t)));
  }
  // The mutual buffer of the last frame: the module writes its diff map back into it.
  const std::vector<int16_t>& Mutual() const { return mutual_; }
  // Adds DELTA to every raw node of the next frames.
  void ShiftRaw(int16_t delta) {
    for (int16_t& v : raw_) v = static_cast<int16_t>(v + delta);
  }
  // The firmware frequency index the next frames report.
  void SetFreqIndex(uint8_t index) { bytes_.U8(kFrameFreqIndexAt, index); }
  // The scan mode the next frames report (2 marks an idle auto-wake frame, 4 a normal one).
  void SetScanMode(uint8_t mode) { bytes_.U8(kFrameStateCodeAt, mode); }
  // The self vector (drive lines, then sense lines) the next frames carry.
  void SetSelf(const std::vector<int16_t>& self) {
    for (size_t i = 0; i < self_.size() && i < self.size(); ++i) self_[i] = self[i];
  }
  FingerFrames(const FingerFrames&) = delete;
  FingerFrames& operator=(const FingerFrames&) = delete;

  // FLAGS 0x00: a finger frame; 0x01: the reference frame. The index is the controller's
  // frame index and the host's frame count.
  // A touch the next frames carry: DIFF (one value per node, reference minus raw) is taken
  // off the frame's raw values; an empty vector removes it.
  void SetTouch(const std::vector<int16_t>& diff) { touch_ = diff; }
  // Every node's untouched raw value (by default 1000 + node % 97); node 0 gets FIRST (the
  // module refuses a frame whose first raw value is 0).
  void SetBase(int16_t value, int16_t first) {
    std::fill(raw_.begin(), raw_.end(), value);
    if (!raw_.empty()) raw_[0] = first;
  }

  DecodedFrame Next(uint8_t flags, uint16_t index) {
    std::memcpy(mutual_.data(), raw_.data(), raw_.size() * sizeof(int16_t));
    for (size_t i = 0; i < touch_.size() && i < mutual_.size(); ++i) {
      mutual_[i] = static_cast<int16_t>(mutual_[i] - touch_[i]);
    }
    return bytes_.U8(kFrameFlagsAt, flags).U16(kFrameIcCountAt, index).U32(kFrameCountAt, index).Frame();
  }

 private:
  std::vector<int16_t> raw_, mutual_, self_, im_, kb_, touch_;
  FrameBytes bytes_;
};

}  // namespace fxtest
