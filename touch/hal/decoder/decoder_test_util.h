#pragma once
// Test helpers of the decoder tests: a run of records owned by a table's init/release,
// a host table that captures the module's log lines, and small comparisons.
#include <gtest/gtest.h>
#include <stdarg.h>
#include <stdio.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "frame_decoder.h"
#include "fuzz_decode_common.h"
#include "hal_module.h"
#include "tamrel_touch/frame_encoders.h"

extern "C" HalModule *register_hal_module(HalHostCallbacks *host);

namespace decoder_test {

namespace enc = tamrel_touch::encode;

// Captures every log line of the module (formatted) and the normalisation tables handed
// to the host.
struct HostCapture {
  std::vector<std::string> lines;
  std::vector<std::vector<int32_t>> tables;

  static HostCapture &get() {
    static HostCapture capture;
    return capture;
  }
  static void log(int32_t, const char *format, ...) {
    char buf[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    get().lines.emplace_back(buf);
  }
  static void normalize(int32_t *table, uint32_t size_bytes) {
    get().tables.emplace_back(table, table + size_bytes / sizeof(int32_t));
    free(table);
  }
  size_t count(const std::string &needle) const {
    size_t n = 0;
    for (const std::string &l : lines) n += l.find(needle) != std::string::npos;
    return n;
  }
  void clear() {
    lines.clear();
    tables.clear();
  }
};

// Registers a host table whose log and normalisation slots are captured, with every log
// level let through.
inline void install_host(bool with_normalize = true) {
  static HalHostCallbacks host{};
  host = HalHostCallbacks{};
  host.log = &HostCapture::log;
  host.normalize_table = with_normalize ? &HostCapture::normalize : nullptr;
  register_hal_module(&host);
  hal_log_level = 5;
  HostCapture::get().clear();
}

// A small panel: 4 columns x 3 rows, 12 mutual nodes, 7 self nodes, 8 extra nodes.
// The fuzz panel with normalisation, dump copy and stylus off; tests switch them on.
inline DecoderConfig small_config() {
  DecoderConfig c = decoder_fuzz::fuzz_config();
  c.kb_raw_normalize = 0;
  c.save_tic_dump = 0;
  c.stylus_en = 0;
  return c;
}

inline PanelGeometry geometry_of(const DecoderConfig &c) {
  PanelGeometry g{};
  decoder_geometry_from_config(&c, &g);
  return g;
}

// Records initialised by one table; released on destruction.
class Records {
 public:
  Records(const device_operation &op, const DecoderConfig &config, int count = 2)
      : op_(op), config_(config), records_(static_cast<size_t>(count)) {
    memset(static_cast<void *>(records_.data()), 0, records_.size() * sizeof(DecodedFrame));
    ok_ = op_.init(records_.data(), &config_, count) == 0;
  }
  ~Records() { op_.release(records_.data(), static_cast<int32_t>(records_.size())); }
  Records(const Records &) = delete;
  Records &operator=(const Records &) = delete;

  bool ok() const { return ok_; }
  DecodedFrame &operator[](size_t i) { return records_[i]; }
  DecodedFrame *data() { return records_.data(); }
  const DecoderConfig &config() const { return config_; }

  bool decode(size_t i, const enc::Bytes &slot) {
    PanelGeometry g = geometry_of(config_);
    return op_.decode(&records_[i], slot.data(), static_cast<uint32_t>(slot.size()), &g);
  }

 private:
  const device_operation &op_;
  DecoderConfig config_;
  std::vector<DecodedFrame> records_;
  bool ok_ = false;
};

// Values 0x0101 * k + base, distinct per array so a misplaced copy shows.
inline std::vector<int16_t> ramp(size_t n, int base) {
  std::vector<int16_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<int16_t>(base + 0x0103 * static_cast<int>(i));
  return v;
}

inline std::vector<int16_t> read_values(const int16_t *p, size_t n) {
  return p == nullptr ? std::vector<int16_t>{} : std::vector<int16_t>(p, p + n);
}

inline std::vector<int16_t> byte_swapped(std::vector<int16_t> v) {
  for (int16_t &x : v) x = static_cast<int16_t>(__builtin_bswap16(static_cast<uint16_t>(x)));
  return v;
}

inline enc::SlotHeader slot_header(uint64_t frame_count) {
  enc::SlotHeader h;
  h.time_ns = 0x1122334455667788ull + frame_count;
  h.frame_count = frame_count;
  h.driver = {0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7};
  return h;
}

// A packed record field by value (gtest binds references, which a packed field cannot take).
template <typename T>
inline T V(T value) {
  return value;
}

// Record bytes as a vector, for comparisons with frame bytes.
inline std::vector<uint8_t> record_span(const DecodedFrame &r, size_t offset, size_t n) {
  const auto *p = reinterpret_cast<const uint8_t *>(&r) + offset;
  return std::vector<uint8_t>(p, p + n);
}

// Checks the slot-header copy (record 36..51, and `driver_bytes` from record 52).
inline void expect_slot_copy(const DecodedFrame &r, const enc::SlotHeader &h, size_t driver_bytes) {
  EXPECT_EQ(V(r.frame_time_ns), h.time_ns);
  EXPECT_EQ(V(r.frame_count), h.frame_count);
  EXPECT_EQ(record_span(r, 52, driver_bytes), std::vector<uint8_t>(h.driver.begin(), h.driver.begin() + driver_bytes));
}

}  // namespace decoder_test
