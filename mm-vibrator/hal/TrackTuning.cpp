#define LOG_TAG "vendor.hardware.vibratorfeature"

#include "TrackTuning.h"

#include <log/log.h>
#include <stdio.h>
#include <stdlib.h>

#include <cerrno>
#include <cmath>
#include <mutex>
#include <numeric>

#include "platform/paths.h"

namespace {

std::mutex gTuningLock;
std::shared_ptr<const TrackTuning> gTuning;

bool readGainTable(TrackTuning* t) {
  FILE* f = plat_fopen(kSineGainTablePath, "r");
  if (f == nullptr) {
    ALOGE("Failed to open %s", kSineGainTablePath);
    return false;
  }
  bool ok = true;
  for (int32_t hz = kSineMinHz; hz <= kSineMaxHz && ok; ++hz) {
    double v = 0.0;
    if (fscanf(f, "%lf", &v) != 1 || !std::isfinite(v) || v < 0.0) {
      ALOGE("%s: gain for %d Hz missing or invalid", kSineGainTablePath, hz);
      ok = false;
    } else {
      t->sineGain[hz] = v;
    }
  }
  fclose(f);
  return ok;
}

bool readPrebaked(TrackTuning* t) {
  const int32_t total = std::accumulate(kPrebakedLengths.begin(), kPrebakedLengths.end(), 0);
  FILE* f = plat_fopen(kPrebakedWaveformsPath, "rb");
  if (f == nullptr) {
    ALOGE("Failed to open %s", kPrebakedWaveformsPath);
    return false;
  }
  std::vector<int8_t> all(static_cast<size_t>(total) + 1);
  const size_t got = fread(all.data(), 1, all.size(), f);
  fclose(f);
  if (got != static_cast<size_t>(total)) {
    ALOGE("%s holds %zu bytes, expected %d", kPrebakedWaveformsPath, got, total);
    return false;
  }
  size_t offset = 0;
  for (int32_t i = 0; i < kPrebakedWaveformCount; ++i) {
    const size_t len = static_cast<size_t>(kPrebakedLengths[i]);
    t->prebaked[i] = std::make_shared<const std::vector<int8_t>>(all.begin() + offset,
                                                                 all.begin() + offset + len);
    offset += len;
  }
  return true;
}

std::shared_ptr<const TrackTuning> load() {
  auto t = std::make_shared<TrackTuning>();
  if (!readGainTable(t.get())) t->sineGain.fill(1.0);  // uncorrected drive
  if (!readPrebaked(t.get())) {
    for (int32_t i = 0; i < kPrebakedWaveformCount; ++i) {
      t->prebaked[i] = std::make_shared<const std::vector<int8_t>>(
          static_cast<size_t>(kPrebakedLengths[i]), int8_t{0});
    }
  }
  return t;
}

}  // namespace

void loadTrackTuning() {
  auto t = load();
  std::lock_guard<std::mutex> lock(gTuningLock);
  gTuning = std::move(t);
}

std::shared_ptr<const TrackTuning> trackTuning() {
  std::lock_guard<std::mutex> lock(gTuningLock);
  if (!gTuning) gTuning = load();
  return gTuning;
}

double phaseTable(int32_t k) {
  if (k >= kPhaseTableSize - 1) return kPhaseTableEnd;
  return k * 6.135982968583678e-05;  // 6.2831852 / 102399
}
