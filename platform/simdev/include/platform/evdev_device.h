#pragma once
// A simulated input device (/dev/input/eventN). It answers the capability queries of
// evdev (EVIOCGNAME, EVIOCGBIT, EVIOCGABS, EVIOCGPROP, EVIOCGID, EVIOCGVERSION), takes
// EVIOCSCLOCKID, records every input_event written to it, and delivers injected events to
// each open as the kernel delivers them to readers.
//
// Force-feedback requests (EVIOCSFF, EVIOCRMFF, EVIOCGEFFECTS) go to forceFeedbackIoctl,
// which a force-feedback device overrides; onWrittenEvent sees every written event (an
// EV_FF play or gain, for instance) after it is recorded.

#include <linux/input.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/simdev.h"

namespace platform::sim {

class EvdevDevice : public Device {
 public:
  explicit EvdevDevice(std::string name);

  // Configuration (any time; usually before registration).
  void setId(const input_id& id);
  void setBit(unsigned type, unsigned code);  // also marks the event type itself
  void setAbsAxis(unsigned code, const input_absinfo& info);  // EV_ABS, the bit and its range
  void setInputProperty(unsigned prop);

  // Test API.
  // Queues events for every current open (a zero time is stamped with the open's clock).
  void injectEvents(const input_event* events, size_t count);
  std::vector<input_event> writtenEvents() const;
  size_t writtenCount() const;
  // True once at least count events have been written; false on time-out.
  bool waitForWritten(size_t count, std::chrono::milliseconds timeout) const;
  void clearWritten();
  // The clock id last set with EVIOCSCLOCKID by any open (CLOCK_REALTIME before that).
  int lastClockId() const;

  int open(File& file) override;
  void release(File& file) override;
  ssize_t read(File& file, void* buf, size_t count) override;
  ssize_t write(File& file, const void* buf, size_t count) override;
  int ioctl(File& file, unsigned long request, void* arg) override;
  short pollMask(File& file) override;

 protected:
  virtual int forceFeedbackIoctl(File& file, unsigned long request, void* arg);
  virtual void onWrittenEvent(File& file, const input_event& event);
  void onDetached() override;

 private:
  struct Client {
    int clockId;
    std::deque<input_event> queue;
  };
  int capabilityIoctl(unsigned long request, void* arg);

  mutable std::mutex lock_;  // guards everything below
  mutable std::condition_variable changed_;
  std::string name_;
  input_id id_{};
  std::array<std::vector<uint8_t>, EV_CNT> bits_;  // EV bitmap at [0], then per type
  std::vector<uint8_t> props_;
  std::array<input_absinfo, ABS_CNT> abs_{};
  std::map<uint64_t, Client> clients_;  // by File::id
  std::vector<input_event> written_;
  int lastClockId_;
};

}  // namespace platform::sim
