#pragma once
// The save-log interface: a running text log of the touch stack in dated files under the
// touch log root, written by its own thread from an in-memory queue of stamped lines.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <mutex>
#include <string>

#include "core/hal_core.h"

#define HAL_SAVE_LOG_ROOT "/data/vendor/bsplog/touch"
#define HAL_SAVE_LOG_FILE_NAME "touch_report.log"
#define HAL_SAVE_LOG_USER_TYPE_PROPERTY "persist.vendor.hostprocess.user_type"
#define HAL_SAVE_LOG_FULL_BYTES 5242799L  // a file above this size takes no more lines
#define HAL_SAVE_LOG_KEEP_ENTRIES 3       // entries the log root keeps beside the new one
#define HAL_SAVE_LOG_LINE_BYTES 256
#define HAL_SAVE_LOG_QUEUE_SLOTS 100
#define HAL_SAVE_LOG_WAKE_AFTER 28        // the writer is woken once more lines than this wait

// Process hooks of the interface (HalModule slots 21 and 22).
typedef void (*hal_save_log_write_fn)(const char *name, const char *text);
typedef void (*hal_save_log_check_fn)(void);

// The bounded line queue the writer drains. Lines that find it full are dropped: a burst of
// logging must never block the caller (the frame thread among them).
class SaveLogQueue {
 public:
  // Stamps and queues one line; false when the queue is full. *wake tells whether the
  // writer should be signalled now.
  bool push(const char *stamped, size_t length, bool *wake);
  // Hands every queued line to sink in order, clearing the slots.
  template <typename Sink>
  void drain(Sink sink) {
    size_t n;
    {
      std::lock_guard<std::mutex> guard(lock_);
      n = queued_;
      sinceWake_ = 0;
    }
    for (size_t i = 0; i < n; ++i) {
      char line[HAL_SAVE_LOG_LINE_BYTES];
      size_t length;
      {
        std::lock_guard<std::mutex> guard(lock_);
        length = lengths_[read_];
        memcpy(line, slots_[read_], length);
        lengths_[read_] = 0;
        read_ = (read_ + 1) % HAL_SAVE_LOG_QUEUE_SLOTS;
        --queued_;
      }
      sink(line, length);
    }
  }
  // With lock() held: whether a push asked for the writer since the last call.
  bool takeSignalLocked() {
    const bool s = signalled_;
    signalled_ = false;
    return s;
  }
  size_t queued() const;
  void clear();
  std::mutex &lock() { return lock_; }

 private:
  mutable std::mutex lock_;
  char slots_[HAL_SAVE_LOG_QUEUE_SLOTS][HAL_SAVE_LOG_LINE_BYTES] = {};
  size_t lengths_[HAL_SAVE_LOG_QUEUE_SLOTS] = {};
  size_t write_ = 0;
  size_t read_ = 0;
  size_t queued_ = 0;     // lines not yet written
  size_t sinceWake_ = 0;  // lines queued since the writer last woke
  bool signalled_ = false;
};

// Test view: the current file's path ("" when none), and whether the writer runs.
std::string hal_save_log_current_path();
bool hal_save_log_writer_running();
