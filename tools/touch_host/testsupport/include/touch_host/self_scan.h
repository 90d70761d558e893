#pragma once
// The self lines of a simulated controller frame, as its self scans see the panel the frame's
// mutual values show: every drive and sense line carries the touch signal of all its nodes
// at once. A finger lowers the raw mutual values under it and raises the raw value of each
// self line it lies on by what it takes off that line's nodes, so the algorithms (which read
// a self line's signal as its raw value minus its base) find it on both scans. Shared by the
// Luma and Ferrant roads.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

namespace touch_host::testsupport {

// What a road's frame carries on its self lines.
enum class SelfLines {
  kFromFrame,  // what the self scans see of the frame's mutual signal (a device's frame)
  kUntouched,  // the untouched level whatever the mutual values hold: a frame without self support
};

// The self lines of a DRIVE x SENSE frame, drive lines first, then sense lines: line j at
// UNTOUCHED(j) plus the sum of SIGNAL(node) over its nodes (node = drive line x SENSE +
// sense line; the signal is what a touch takes off that node's raw value), held to the
// 16-bit range a controller reports.
template <typename Untouched, typename Signal>
std::vector<int16_t> self_lines(int drive, int sense, Untouched untouched, Signal signal) {
  std::vector<int32_t> sum(static_cast<size_t>(drive + sense), 0);
  for (int t = 0; t < drive; ++t) {
    for (int r = 0; r < sense; ++r) {
      const int32_t s = signal(t * sense + r);
      sum[static_cast<size_t>(t)] += s;
      sum[static_cast<size_t>(drive + r)] += s;
    }
  }
  std::vector<int16_t> lines(sum.size());
  for (size_t j = 0; j < lines.size(); ++j) {
    const int32_t v = static_cast<int32_t>(untouched(static_cast<int>(j))) + sum[j];
    lines[j] = static_cast<int16_t>(std::clamp<int32_t>(v, std::numeric_limits<int16_t>::min(),
                                                        std::numeric_limits<int16_t>::max()));
  }
  return lines;
}

}  // namespace touch_host::testsupport
