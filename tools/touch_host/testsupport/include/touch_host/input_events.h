#pragma once
// Input events as the tests compare them (type, code and value, without the time stamp),
// and the finger points that produce them.
#include <linux/input.h>

#include "alg_module.h"

#include <map>
#include <ostream>
#include <vector>

namespace touch_host::testsupport {

struct Ev {
  uint16_t type;
  uint16_t code;
  int32_t value;
  bool operator==(const Ev &o) const { return type == o.type && code == o.code && value == o.value; }
};

inline std::ostream &operator<<(std::ostream &os, const Ev &e) {
  return os << "{" << e.type << "," << e.code << "," << e.value << "}";
}

inline std::vector<Ev> plain(const std::vector<input_event> &events) {
  std::vector<Ev> out;
  for (const input_event &e : events) out.push_back({e.type, e.code, e.value});
  return out;
}

inline size_t syn_reports(const std::vector<Ev> &events) {
  size_t n = 0;
  for (const Ev &e : events) n += e == Ev{EV_SYN, SYN_REPORT, 0};
  return n;
}

// A finger point as an algorithm module hands it to the host (every other word zero).
inline AlgTouchPoint finger(int32_t id, int32_t x, int32_t y, int32_t action) {
  AlgTouchPoint p{};
  p.tool = ALG_TOUCH_TOOL_FINGER;
  p.id = id;
  p.x = x;
  p.y = y;
  p.action = action;
  return p;
}

// The contacts a reader of the multi-touch protocol (type B) sees on the touchscreen: it
// follows slots, tracking ids and positions through the events and takes a picture of the
// touching slots at every SYN_REPORT.
struct Contact {
  int32_t tracking_id = -1;
  int32_t x = 0;
  int32_t y = 0;
  bool operator==(const Contact &o) const { return tracking_id == o.tracking_id && x == o.x && y == o.y; }
};

class MultiTouchReader {
 public:
  using Picture = std::map<int32_t, Contact>;  // by slot: the slots with a tracking id

  // Reads EVENTS; returns the picture of each SYN_REPORT among them, in order.
  std::vector<Picture> read(const std::vector<input_event> &events) {
    std::vector<Picture> pictures;
    for (const input_event &e : events) {
      if (e.type == EV_SYN && e.code == SYN_REPORT) {
        Picture p;
        for (const auto &[slot, c] : slots_)
          if (c.tracking_id >= 0) p[slot] = c;
        pictures.push_back(p);
        continue;
      }
      if (e.type == EV_KEY && e.code == BTN_TOUCH) touching_ = e.value != 0;
      if (e.type != EV_ABS) continue;
      switch (e.code) {
        case ABS_MT_SLOT: slot_ = e.value; break;
        case ABS_MT_TRACKING_ID: slots_[slot_].tracking_id = e.value; break;
        case ABS_MT_POSITION_X: slots_[slot_].x = e.value; break;
        case ABS_MT_POSITION_Y: slots_[slot_].y = e.value; break;
        default: break;
      }
    }
    return pictures;
  }
  // BTN_TOUCH as last reported.
  bool touching() const { return touching_; }

 private:
  std::map<int32_t, Contact> slots_;
  int32_t slot_ = 0;
  bool touching_ = false;
};

}  // namespace touch_host::testsupport
