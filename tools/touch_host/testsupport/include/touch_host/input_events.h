#pragma once
// Input events as the tests compare them (type, code and value, without the time stamp),
// and the finger points that produce them.
#include <linux/input.h>

#include "alg_module.h"

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

}  // namespace touch_host::testsupport
