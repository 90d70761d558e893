#pragma once
// The module's ring of decoded frames between the frame thread (producer) and the host's
// processing thread (consumer), and the consumer's deep copy.
//
// The producer decodes into a spare record outside the lock and swaps it into the ring
// under the lock, so the consumer never sees a half-decoded record. The lock is held only
// for a publish or a take; a full ring drops its oldest frame.
#include <stdint.h>

#include <array>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "core/decoder_api.h"

namespace hal {

// Copies a decoded frame into the consumer's record so that no pointer of the copy refers
// to the source's buffers: the buffers behind the copy's pointers belong to this object.
// Lengths read from the source record are bounded by what the decoder configuration lets
// a decoder allocate.
class FrameCopy {
 public:
  // Sizes the storage once (no allocation per frame) for records prepared with config.
  void reserve(const DecoderConfig &config);
  void copy(const DecodedFrame &src, DecodedFrame *dst);

  enum class Length { kMutual, kSelf, kReserved, kDebugText, kExtra1, kExtra2, kNorm, kStylus1, kStylus2, kDumpBlock };
  struct Field {
    size_t offset;  // of the pointer within DecodedFrame
    Length length;
  };
  static constexpr size_t kFieldCount = 16;

 private:
  size_t capacity(Length kind) const;
  size_t length(const DecodedFrame &src, Length kind) const;

  DecoderConfig config_{};
  std::array<std::vector<uint8_t>, kFieldCount> storage_;
};

class FrameRing {
 public:
  static constexpr int kSlots = 16;
  static constexpr int kRecords = kSlots + 1;  // the ring, then the producer's spare

  // Clears the ring and runs the decoder's init over every record (0 or the init's error).
  int32_t prepare(const device_operation &op, const DecoderConfig &config);
  void release(const device_operation &op);

  // Producer: the record to decode into next, then its publication. Returns the ring index
  // of the frame dropped to make room, or -1.
  DecodedFrame *spare() { return &records_[kSlots]; }
  int publish(uint64_t arrival_ns);

  // Consumer: waits for a frame; 0 with frame_out = the ring record and copy_out = the deep
  // copy, HAL_RESULT_FAILED once stop() was called.
  int32_t take(DecodedFrame **frame_out, DecodedFrame **copy_out, uint64_t *arrival_ns);
  void stop();
  bool stopped() const;
  int pending() const;

 private:
  mutable std::mutex lock_;  // guards the indices, flags, stamps and ring records
  std::condition_variable frame_ready_;
  DecodedFrame records_[kRecords]{};
  DecodedFrame copy_{};
  FrameCopy copier_;
  uint64_t stamps_[kSlots]{};
  int write_ = 0;
  int read_ = 0;
  bool empty_ = true;
  bool exit_ = false;
};

}  // namespace hal
