// Frame ring and the consumer's deep copy.
#include "core/frame_ring.h"

#include <stddef.h>
#include <string.h>

#include <algorithm>
#include <utility>

namespace hal {

namespace {
using Length = FrameCopy::Length;

constexpr size_t kStylusOffset = offsetof(DecodedFrame, stylus);
constexpr FrameCopy::Field kFields[FrameCopy::kFieldCount] = {
    {offsetof(DecodedFrame, mutual), Length::kMutual},
    {offsetof(DecodedFrame, self1), Length::kSelf},
    {offsetof(DecodedFrame, self2), Length::kSelf},
    {offsetof(DecodedFrame, reserved_block), Length::kReserved},
    {offsetof(DecodedFrame, debug_text), Length::kDebugText},
    {offsetof(DecodedFrame, extra1), Length::kExtra1},
    {offsetof(DecodedFrame, extra2), Length::kExtra2},
    {offsetof(DecodedFrame, norm_data), Length::kNorm},
    {kStylusOffset + 0, Length::kStylus1},
    {kStylusOffset + 8, Length::kStylus2},
    {kStylusOffset + 16, Length::kStylus1},
    {kStylusOffset + 24, Length::kStylus2},
    {offsetof(DecodedFrame, dump_mutual), Length::kMutual},
    {offsetof(DecodedFrame, dump_self1), Length::kSelf},
    {offsetof(DecodedFrame, dump_self2), Length::kSelf},
    {offsetof(DecodedFrame, dump_block), Length::kDumpBlock},
};

constexpr size_t kReservedMax = 255;    // u8 length at byte 119
constexpr size_t kDebugTextMax = 255;   // the decoders' largest debug buffer
constexpr size_t kDumpBlockMin = 2500;  // the Ferrant v2 dump block
constexpr size_t kDumpBlockExtra = 244; // Ferrant v1: extra nodes x 2 + 244
constexpr size_t kLumaReservedMax = 2056;

size_t nodes(int32_t count) { return count > 0 ? static_cast<size_t>(count) : 0; }
size_t bounded(int64_t value, size_t cap) {
  return value <= 0 ? 0 : std::min(static_cast<size_t>(value), cap);
}

void *pointer_at(const DecodedFrame &record, size_t offset) {
  void *p;
  memcpy(&p, reinterpret_cast<const uint8_t *>(&record) + offset, sizeof(p));
  return p;
}
void set_pointer_at(DecodedFrame *record, size_t offset, const void *p) {
  memcpy(reinterpret_cast<uint8_t *>(record) + offset, &p, sizeof(p));
}
// Moves a pointer that refers into record `from` to the same place in record `to`.
void rebase(DecodedFrame *record, size_t offset, const DecodedFrame *from, DecodedFrame *to) {
  const auto *p = static_cast<const uint8_t *>(pointer_at(*record, offset));
  const auto *begin = reinterpret_cast<const uint8_t *>(from);
  if (p >= begin && p < begin + sizeof(DecodedFrame))
    set_pointer_at(record, offset, reinterpret_cast<uint8_t *>(to) + (p - begin));
}

// Swaps two records. A decoder may point a record at its own text area: such pointers
// stay with their record instead of following the swap into the other one.
void swap_records(DecodedFrame *a, DecodedFrame *b) {
  std::swap(*a, *b);
  for (const FrameCopy::Field &field : kFields) {
    rebase(a, field.offset, b, a);
    rebase(b, field.offset, a, b);
  }
}
}  // namespace

size_t FrameCopy::capacity(Length kind) const {
  const DecoderConfig &c = config_;
  switch (kind) {
    case Length::kMutual: return nodes(c.node_count) * 2;
    case Length::kSelf:
    case Length::kExtra2: return nodes(c.snode_count) * 2;
    case Length::kReserved: return kReservedMax;
    case Length::kDebugText: return kDebugTextMax;
    case Length::kExtra1: return nodes(c.nnode_count) * 2;
    case Length::kNorm: return nodes(c.node_count) * 2 * std::max<size_t>(1, c.scan_freq_num);
    case Length::kStylus1: return static_cast<size_t>(c.stylus_col1) * c.stylus_row1 * 2;
    case Length::kStylus2: return static_cast<size_t>(c.stylus_col2) * c.stylus_row2 * 2;
    case Length::kDumpBlock:
      return std::max({kDumpBlockMin, nodes(c.nnode_count) * 2 + kDumpBlockExtra, kLumaReservedMax});
  }
  return 0;
}

size_t FrameCopy::length(const DecodedFrame &src, Length kind) const {
  const size_t cap = capacity(kind);
  switch (kind) {
    case Length::kReserved: return bounded(src.reserved_block_len, cap);
    case Length::kDebugText: return bounded(src.debug_text_len, cap);
    case Length::kExtra1: return bounded(src.extra1_len, cap);
    case Length::kNorm: return bounded(src.norm_len, cap);
    case Length::kDumpBlock: return bounded(src.dump_block_size, cap);
    default: return cap;  // whole buffers: matrices, self lines and stylus frames
  }
}

void FrameCopy::reserve(const DecoderConfig &config) {
  config_ = config;
  for (size_t i = 0; i < kFieldCount; ++i) storage_[i].assign(capacity(kFields[i].length), 0);
}

void FrameCopy::copy(const DecodedFrame &src, DecodedFrame *dst) {
  memcpy(dst, &src, sizeof(DecodedFrame));
  const auto *src_begin = reinterpret_cast<const uint8_t *>(&src);
  for (size_t i = 0; i < kFieldCount; ++i) {
    const Field &field = kFields[i];
    const auto *from = static_cast<const uint8_t *>(pointer_at(src, field.offset));
    if (from == nullptr) continue;  // already null in the copy
    // A pointer into the record itself (the debug text area) moves with the record.
    if (from >= src_begin && from < src_begin + sizeof(DecodedFrame)) {
      set_pointer_at(dst, field.offset, reinterpret_cast<uint8_t *>(dst) + (from - src_begin));
      continue;
    }
    std::vector<uint8_t> &own = storage_[i];
    if (own.empty()) {
      set_pointer_at(dst, field.offset, nullptr);
      continue;
    }
    memcpy(own.data(), from, std::min(length(src, field.length), own.size()));
    set_pointer_at(dst, field.offset, own.data());
  }
}

int32_t FrameRing::prepare(const device_operation &op, const DecoderConfig &config) {
  std::lock_guard<std::mutex> guard(lock_);
  write_ = 0;
  read_ = 0;
  empty_ = true;
  exit_ = false;
  memset(stamps_, 0, sizeof(stamps_));
  memset(static_cast<void *>(records_), 0, sizeof(records_));
  memset(static_cast<void *>(&copy_), 0, sizeof(copy_));
  copier_.reserve(config);
  return op.init != nullptr ? op.init(records_, &config, kRecords) : 0;
}

void FrameRing::release(const device_operation &op) {
  std::lock_guard<std::mutex> guard(lock_);
  if (op.release != nullptr) op.release(records_, kRecords);
}

int FrameRing::publish(uint64_t arrival_ns) {
  int dropped = -1;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (!empty_ && write_ == read_) {
      dropped = read_;
      read_ = (read_ + 1) % kSlots;
    }
    swap_records(&records_[write_], &records_[kSlots]);
    stamps_[write_] = arrival_ns;
    write_ = (write_ + 1) % kSlots;
    empty_ = false;
  }
  frame_ready_.notify_one();
  return dropped;
}

int32_t FrameRing::take(DecodedFrame **frame_out, DecodedFrame **copy_out, uint64_t *arrival_ns) {
  std::unique_lock<std::mutex> guard(lock_);
  frame_ready_.wait(guard, [&] { return exit_ || !empty_; });
  if (exit_) return HAL_RESULT_FAILED;
  const int index = read_;
  read_ = (read_ + 1) % kSlots;
  if (read_ == write_) empty_ = true;
  copier_.copy(records_[index], &copy_);
  if (frame_out != nullptr) *frame_out = &records_[index];
  if (copy_out != nullptr) *copy_out = &copy_;
  if (arrival_ns != nullptr) *arrival_ns = stamps_[index];
  return 0;
}

void FrameRing::stop() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    exit_ = true;
  }
  frame_ready_.notify_all();
}

bool FrameRing::stopped() const {
  std::lock_guard<std::mutex> guard(lock_);
  return exit_;
}

int FrameRing::pending() const {
  std::lock_guard<std::mutex> guard(lock_);
  if (empty_) return 0;
  return write_ > read_ ? write_ - read_ : write_ + kSlots - read_;
}

}  // namespace hal
