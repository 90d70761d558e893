#pragma once
// The get-frame-data interface (index 3): the "touch-frame-fi" thread that drains the
// driver's frame ring into the module's FrameRing, the host's get-frame, the main and
// frame watchdogs and the idle times that set the frame watchdog's period.
//
// The interface record drives one production instance that decodes with the configured
// controller decoder; tests make their own instance with a decoder of their own.
#include <stdint.h>

#include <atomic>

#include "core/decoder_api.h"
#include "core/frame_ring.h"

namespace hal {

class FrameData {
 public:
  using DecoderSource = device_operation (*)(void);
  static constexpr uint32_t kMainWatchdogMs = 100;
  static constexpr uint32_t kMaxDriverBuffers = 16;
  // The frame thread's pause after a driver index outside the ring (about one frame).
  static constexpr uint32_t kBadIndexPauseMs = 8;

  explicit FrameData(DecoderSource decoder) : decoder_(decoder) {}
  FrameData(const FrameData &) = delete;
  FrameData &operator=(const FrameData &) = delete;

  // Hooks of the interface record. init returns HAL_RESULT_GAVE_UP when mapping, decoder
  // init or the thread start gave up after their retries, and HAL_RESULT_CONFIG_REFUSED
  // when readConfig refused the panel's node counts (which it logs).
  int32_t init(const TouchPanelInfo *panel, int32_t fd, uint8_t touch_id, uint8_t replay_flag);
  int32_t exit();
  int32_t commonData(const common_data *data);
  int32_t readConfig(void *tree, const HalConfigAccessor *accessor);
  int32_t suspend(uint32_t flag);
  void state(const uint32_t *values, uint32_t count);
  void idleMode(const uint8_t *record);
  int32_t getFrame(DecodedFrame **frame_out, DecodedFrame **copy_out);
  uint64_t lastFrameInfo() const { return last_info_.load(); }

  // Read-outs for the module and its tests.
  const DecoderConfig &decoderConfig() const { return config_; }
  uint32_t currentIdleMs() const { return idle_current_.load(); }
  uint32_t frameWatchdogPeriodMs() const { return frame_period_.load(); }
  bool running() const { return mapped_.load(); }
  const FrameRing &ring() const { return ring_; }

 private:
  struct Watchdog {
    timer_tool tool{};  // first: the timer callback gets its address
    FrameData *owner = nullptr;
  };
  static void *threadRoutine(void *self);
  static int32_t mainDogFired(timer_tool *timer);
  static int32_t frameDogFired(timer_tool *timer);
  void run();
  // Takes every frame the driver offers; false when it offered an index outside the ring.
  bool drain();
  // Waits kBadIndexPauseMs; true when the thread is asked to end meanwhile.
  bool pauseAfterBadIndex();
  void publish(uint64_t arrival_ns);
  void recomputePeriod();
  void stopWatchdogs();
  void sendAbnormal(uint16_t value);
  bool mapRing(const TouchPanelInfo *panel);
  void unmapRing();
  void refuseConfig(const DecoderConfig &config);

  DecoderSource decoder_;
  FrameRing ring_;
  DecoderConfig config_ = defaultConfig();
  int32_t fd_ = -1;
  uint8_t touch_id_ = 0;
  std::atomic<bool> mapped_{false};
  void *map_base_ = nullptr;
  size_t map_len_ = 0;
  const uint8_t *buffers_[kMaxDriverBuffers]{};
  uint32_t buffer_count_ = 0;
  uint32_t buffer_len_ = 0;
  bool index_refused_ = false;  // one log line for a driver index out of range
  bool config_refused_ = false;  // the last configuration read had another panel's node counts
  Watchdog main_dog_;
  Watchdog frame_dog_;
  uint32_t idle_normal_ = 1000;
  uint32_t idle_glove_ = 2000;
  uint32_t idle_game_ = 30000;
  uint32_t idle_game_perf_ = 0;
  std::atomic<uint32_t> idle_current_{1000};
  std::atomic<bool> game_{false};
  std::atomic<bool> game_perf_{false};
  std::atomic<uint32_t> frame_period_{1100};
  uint64_t thread_ = 0;
  int exit_event_ = -1;
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> last_info_{0};

 public:
  static DecoderConfig defaultConfig();
};

// The report-rate change a published frame announces: true with the derived value when
// the codes at byte 85 change between 0 and 4.
bool report_rate_change(const DecodedFrame &frame, uint32_t *rate, uint32_t *derived);

}  // namespace hal
