#pragma once
// A temporary device root for the generator-side tests: the haptic driver directory, the
// properties, the tracks' tuning data (generated here from a seed and the actuator's gain
// shape) and the wave libraries under /odm/lib64.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "TrackTuning.h"
#include "platform/paths.h"
#include "platform/properties.h"
#include "platform/properties_test_api.h"
#include "platform/temp_root.h"

namespace gentest {

inline constexpr const char* kSysPath = "/sys/class/qcom-haptics";

// The prebaked waveforms: a fixed pseudo-random sequence (LCG, seed 20240611), waveform by
// waveform in order.
inline std::vector<std::vector<int8_t>> prebakedWaveforms() {
  std::vector<std::vector<int8_t>> out;
  uint32_t state = 20240611u;
  for (int32_t len : kPrebakedLengths) {
    std::vector<int8_t> w;
    for (int32_t i = 0; i < len; ++i) {
      state = state * 1664525u + 1013904223u;
      w.push_back(static_cast<int8_t>(state >> 24));
    }
    out.push_back(w);
  }
  return out;
}

// The actuator's drive correction: linear between the stated values.
inline double sineGain(int hz) {
  static const std::map<int, double> anchors = {{100, 24.2993}, {120, 14.3926}, {150, 4.568}, {166, 1.0},
                                                {170, 1.3398},  {180, 3.0206},  {200, 4.6427}};
  auto hi = anchors.lower_bound(hz);
  if (hi->first == hz) return hi->second;
  auto lo = std::prev(hi);
  const double f = static_cast<double>(hz - lo->first) / (hi->first - lo->first);
  return lo->second + f * (hi->second - lo->second);
}

class Root {
 public:
  Root() {
    plat_properties_reset();
    setProperty("ro.odm.mm.vibrator.sys_path", kSysPath);
    root.writeFile(std::string(kSysPath) + "/f0_value", "1760\n");
    writeTuning();
  }
  ~Root() { plat_properties_reset(); }

  void setProperty(const char* key, const std::string& value) { EXPECT_EQ(property_set(key, value.c_str()), 0) << key; }

  void writeTuning() {
    std::string gains;
    for (int hz = kSineMinHz; hz <= kSineMaxHz; ++hz) gains += std::to_string(sineGain(hz)) + "\n";
    root.writeFile(kSineGainTablePath, gains);
    std::string bytes;
    for (const auto& w : prebakedWaveforms()) bytes.append(reinterpret_cast<const char*>(w.data()), w.size());
    root.writeFile(kPrebakedWaveformsPath, bytes);
    loadTrackTuning();
  }

  // Links a built wave library into the root's /odm/lib64 (a link, so that the process
  // keeps one copy of each library whatever the root).
  void installLibrary(const char* file) {
    ASSERT_EQ(plat_mkdir_p("/odm/lib64", 0755), 0);
    const std::string target = std::string(VENDOR_PLUGIN_DIR) + "/" + file;
    ASSERT_EQ(symlink(target.c_str(), plat_path(std::string("/odm/lib64/") + file).c_str()), 0);
  }

  platform::testing::TempRoot root;
};

}  // namespace gentest
