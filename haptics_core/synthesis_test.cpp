#include "synthesis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "test_log_capture.h"
#include "transient_waveforms.h"

namespace brax {
namespace {

// Independent reference: y[i] = sum b[j] x[i-j] - sum_{j>=1} a[j] y[i-j], after dividing by a[0].
std::vector<double> DirectForm(std::vector<double> b, std::vector<double> a, const std::vector<double>& x) {
  const double a0 = a[0];
  for (auto& v : b) v /= a0;
  for (auto& v : a) v /= a0;
  std::vector<double> y(x.size(), 0.0);
  for (size_t i = 0; i < x.size(); ++i) {
    double acc = 0;
    for (size_t j = 0; j < b.size() && j <= i; ++j) acc += b[j] * x[i - j];
    for (size_t j = 1; j < a.size() && j <= i; ++j) acc -= a[j] * y[i - j];
    y[i] = acc;
  }
  return y;
}

std::vector<double> Impulse(size_t n) {
  std::vector<double> x(n, 0.0);
  x[0] = 1.0;
  return x;
}

std::vector<double> Filtered(Filter f, const std::vector<double>& x) {
  std::vector<double> y(x.size());
  f.Run(x.data(), y.data(), x.size());
  return y;
}

TEST(HapticsFilter, ChunkedRunMatchesOneShotReference) {
  const std::vector<double> b = {0.2, 0.3, 0.1, -0.05};
  const std::vector<double> a = {2.0, -0.5, 0.25, 0.1};  // a[0] != 1: normalised first
  std::vector<double> x(200);
  for (size_t i = 0; i < x.size(); ++i) x[i] = std::sin(0.3 * i) + ((i * 7) % 5) * 0.1;
  const auto ref = DirectForm(b, a, x);
  for (size_t chunk : {1u, 2u, 3u, 17u, 200u}) {
    Filter f(b, a);
    std::vector<double> y(x.size());
    for (size_t off = 0; off < x.size(); off += chunk) {
      const size_t n = std::min(chunk, x.size() - off);
      f.Run(x.data() + off, y.data() + off, n);
    }
    for (size_t i = 0; i < x.size(); ++i) ASSERT_NEAR(y[i], ref[i], 1e-12) << "chunk " << chunk << " i " << i;
  }
}

TEST(HapticsFilter, LowPassTapsAreTheSymmetricKernel) {
  const std::vector<double> half24 = {0.0056875, 0.0077454, 0.0133738, 0.0224909, 0.0345099, 0.0483903,
                                      0.062759,  0.0760844, 0.0868799, 0.0939066, 0.0963444};
  const std::vector<double> half48 = {0.00692093, 0.00899305, 0.0149085, 0.0242095, 0.036061, 0.0493345,
                                      0.0627252,  0.0748913,  0.084598,  0.0908524, 0.0930114};
  for (auto [rate, half] : {std::pair{24000, half24}, std::pair{48000, half48}}) {
    const auto y = Filtered(LowPassFir(rate), Impulse(24));
    for (size_t i = 0; i <= 10; ++i) EXPECT_DOUBLE_EQ(y[i], half[i]) << rate << " tap " << i;
    for (size_t i = 11; i < 20; ++i) EXPECT_DOUBLE_EQ(y[i], half[20 - i]) << rate << " tap " << i;
    for (size_t i = 20; i < 24; ++i) EXPECT_EQ(y[i], 0.0) << rate << " past the taps " << i;
  }
}

TEST(HapticsFilter, DisplacementRowsAtBothEndsOfTheTable) {
  const struct {
    int32_t f0, rate;
    double n, d1, d2, d3;
  } cases[] = {
      {166, 24000, 7.99579e-09, -1.56199, 0.131628, 0.43308},
      {100, 24000, 7.99579e-09, -1.56199, 0.131628, 0.43308},  // below the table: row 0
      {186, 24000, 7.99482e-09, -1.56151, 0.131838, 0.43308},
      {300, 24000, 7.99482e-09, -1.56151, 0.131838, 0.43308},  // above: row 20
      {166, 48000, 1.5594e-09, -1.88078, 0.76374, 0.117566},
      {186, 48000, 1.55936e-09, -1.88066, 0.763754, 0.117566},
  };
  for (const auto& c : cases) {
    const auto x = Impulse(64);
    const auto ref = DirectForm({c.n, 3 * c.n, 3 * c.n, c.n}, {1, c.d1, c.d2, c.d3}, x);
    const auto y = Filtered(DisplacementFilter(c.f0, c.rate), x);
    for (size_t i = 0; i < x.size(); ++i) ASSERT_NEAR(y[i], ref[i], 1e-12 * std::fabs(ref[i]) + 1e-30) << c.f0 << "/" << c.rate << " i " << i;
  }
}

TEST(HapticsLraModel, StiffnessFollowsF0) {
  const LraModel m = LraModel::Make(176, 24000);
  EXPECT_DOUBLE_EQ(m.k, 1535.0);
  EXPECT_DOUBLE_EQ(m.w0, std::sqrt(1535.0 / 0.00125));
  EXPECT_LT(m.f_low, 176.0f);
  EXPECT_GT(m.f_high, 176.0f);
  EXPECT_DOUBLE_EQ(m.DriveFactor(176.0), 0.00055);  // between the two modes
  // At low f0 the lower mode has no real solution: no NaN may leak into the comparisons.
  const LraModel low = LraModel::Make(30, 48000);
  EXPECT_FALSE(std::isnan(low.f_low));
  EXPECT_FALSE(std::isnan(low.f_high));
  EXPECT_TRUE(std::isfinite(low.DriveFactor(50.0)));
}

TEST(HapticsFastSignal, KickLastsOneAndAHalfPeriods) {
  const struct {
    int32_t f0, rate;
    size_t n;
  } cases[] = {{176, 24000, 205}, {170, 48000, 424}, {31, 48000, 2323}};
  for (const auto& c : cases) {
    const FastSignal s = FastSignal::Make(c.f0, c.rate);
    EXPECT_EQ(s.kick_len, c.n) << c.f0;
    EXPECT_EQ(s.samples.size(), 2 * c.n + 1) << c.f0;
  }
}

TEST(HapticsPeakSearch, LastInteriorMagnitudePeak) {
  const struct {
    std::vector<double> x;
    size_t peak;
  } cases[] = {{{}, 0},
               {{1, 2}, 0},
               {{0, 1, 0}, 1},
               {{0, 3, 0, -2, 0}, 3},
               {{1, 2, 3}, 0},
               {{0, 2, 2, 0}, 0},
               {{0, 5, 0, 1, 0, 0}, 3}};
  for (const auto& c : cases) EXPECT_EQ(FindPeakIndex(c.x), c.peak);
}

TEST(HapticsTransient, GainByBand) {
  const struct {
    int32_t m;
    double g;
  } cases[] = {{100, 1.0}, {80, 1.0}, {50, 1.0}, {95, 0.95}, {60, 1.2}};
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(TransientGain(c.m), c.g) << c.m;
}

TEST(HapticsTransient, LengthsAndClasses) {
  EXPECT_EQ(TransientWaveform(8, 100, 24000).size(), 275u);
  EXPECT_EQ(TransientWaveform(6, 80, 24000).size(), 393u);
  EXPECT_EQ(TransientWaveform(0, 10, 48000).size(), 1614u);
  EXPECT_EQ(TransientWaveform(25, 100, 48000).size(), 478u);  // 20 and up count as 10
  EXPECT_TRUE(TransientWaveform(15, 100, 24000).empty());
  EXPECT_TRUE(TransientWaveform(-1, 100, 24000).empty());
}

// Reference resampler in double precision, reading w[min(p + 1, L - 1)].
int Reference(const std::vector<int8_t>& w, int f0, size_t a) {
  const double x = static_cast<double>(f0) * a / 176.0;
  size_t p = static_cast<size_t>(x);
  if (p >= w.size() - 1) return w.back();
  const double frac = x - p;
  return static_cast<int>((1 - frac) * w[p] + frac * w[p + 1]);
}

TEST(HapticsTransient, ResampleToTheActuator) {
  std::vector<int8_t> w(275);
  for (size_t i = 0; i < w.size(); ++i) w[i] = static_cast<int8_t>((i * 37) % 200 - 100);
  std::vector<int8_t> out(kResampleLen);
  const struct {
    int32_t f0;
    size_t len;
  } cases[] = {{176, 275}, {160, 302}, {50, 968}, {300, 161}};
  for (const auto& c : cases) {
    ASSERT_EQ(ResampleTransient(w, c.f0, out), c.len) << c.f0;
    for (size_t a = 0; a < c.len; ++a) ASSERT_NEAR(out[a], Reference(w, c.f0, a), 1) << c.f0 << " at " << a;
  }
  // At f0 = 50 the last output samples all fall on the last input sample.
  for (size_t a = 965; a < 968; ++a) EXPECT_EQ(out[a], w.back()) << a;
  EXPECT_EQ(ResampleTransient(w, 0, out), 0u);
  EXPECT_EQ(ResampleTransient({}, 176, out), 0u);
}

TEST(HapticsTransient, ResampledLengthIsBoundedByTheBuffer) {
  brax_test::LogCapture logs;
  const auto wave = TransientWaveform(3, 100, 48000);  // 1056 samples
  ASSERT_EQ(wave.size(), 1056u);
  std::vector<int8_t> out(kResampleLen);
  EXPECT_EQ(ResampleTransient(wave, 30, out), kResampleLen);  // 1056 * 176 / 30 = 6195 otherwise
  EXPECT_EQ(logs.Count("resampled transient of 6195 samples cut to 4096\n"), 1);
}

Voice MakeVoice(int32_t f0, int32_t rate) {
  Voice v;
  v.f0 = f0;
  v.rate = rate;
  v.samples_per_ms = rate / 1000;
  v.model = LraModel::Make(f0, rate);
  v.displacement = DisplacementFilter(f0, rate);
  v.fir = LowPassFir(rate);
  v.equaliser = EqualiserFilter(v.model);
  v.fast = FastSignal::Make(f0, rate);
  return v;
}

ConvertedEvent ContinuousEvent(int32_t t0, int32_t t1, int32_t t2, int32_t t3, int32_t freq = 170) {
  ConvertedEvent e{};
  e.kind = kKindContinuous;
  e.transient_class = 1;
  e.points[0] = {t0, 0, freq};
  e.points[1] = {t1, 100, freq};
  e.points[2] = {t2, 100, freq};
  e.points[3] = {t3, 0, freq};
  return e;
}

struct Rendered {
  size_t total = 0;
  size_t chunks = 0;
  int peak = 0;
};

Rendered RenderAll(ContinuousRenderer& r, size_t chunk) {
  Rendered out;
  std::vector<int8_t> buf(chunk);
  while (size_t n = r.Next(buf.data(), chunk)) {
    EXPECT_LE(n, chunk);
    out.total += n;
    ++out.chunks;
    for (size_t i = 0; i < n; ++i) out.peak = std::max(out.peak, std::abs(int{buf[i]}));
    if (out.chunks > 10000) break;
  }
  return out;
}

TEST(HapticsContinuous, TimesRunningBackwardsRenderNothing) {
  brax_test::LogCapture logs;
  const Voice v = MakeVoice(170, 24000);
  std::vector<double> calc(3 * kCalcLen);
  ContinuousRenderer r(v, calc.data());
  EXPECT_FALSE(r.Start(ContinuousEvent(10, 5, 20, 30)));
  EXPECT_EQ(logs.Count("generate_disp_envelope_wav Invalid time param"), 1);
  int8_t buf[16];
  EXPECT_EQ(r.Next(buf, sizeof buf), 0u);
}

// Without a sustain there is nothing to cut at a crest: the event is its attack and its
// release, sample for sample.
TEST(HapticsContinuous, NoSustainIsAttackPlusRelease) {
  for (int32_t rate : {24000, 48000}) {
    brax_test::LogCapture logs;
    const Voice v = MakeVoice(170, rate);
    std::vector<double> calc(3 * kCalcLen);
    ContinuousRenderer r(v, calc.data());
    ASSERT_TRUE(r.Start(ContinuousEvent(0, 20, 20, 40)));
    const Rendered out = RenderAll(r, 512);
    EXPECT_EQ(out.total, static_cast<size_t>(40 * rate / 1000)) << rate;
    EXPECT_GT(out.peak, 0) << rate;
    EXPECT_EQ(logs.Count("disp equalize fast stop conditions failed"), 1);
  }
}

// With a sustain the drive is cut at its last crest, then released and stopped with the
// kick's tail: never longer than the drawn envelope plus the tail (and the late-end shift of
// three quarters of a period), never shorter than the attack and release.
TEST(HapticsContinuous, SustainEndsAtACrestFollowedByTheStop) {
  const struct {
    int32_t f0, rate, freq;
    size_t chunk;
  } cases[] = {{170, 24000, 170, 512}, {170, 48000, 170, 256}, {176, 24000, 0, 1024}, {150, 24000, 600, 512}};
  for (const auto& c : cases) {
    brax_test::LogCapture logs;
    const Voice v = MakeVoice(c.f0, c.rate);
    std::vector<double> calc(3 * kCalcLen);
    ContinuousRenderer r(v, calc.data());
    ASSERT_TRUE(r.Start(ContinuousEvent(0, 20, 60, 80, c.freq)));
    const Rendered out = RenderAll(r, c.chunk);
    const size_t spms = c.rate / 1000;
    const size_t period = c.rate / 50;  // the longest drive period (50 Hz)
    EXPECT_GE(out.total, 40 * spms) << c.f0 << "/" << c.rate;
    EXPECT_LE(out.total, 80 * spms + v.fast.kick_len + period) << c.f0 << "/" << c.rate;
    EXPECT_GT(out.peak, 0);
    EXPECT_EQ(logs.Count("disp equalize find peak index failed"), 0) << c.f0 << "/" << c.rate << "/" << c.freq;
    EXPECT_EQ(logs.Count("disp equalize fast stop conditions failed"), 0);
  }
}

// The renderer keeps its memory in the three work arrays whatever the event's length.
TEST(HapticsContinuous, LongEventStreamsInChunks) {
  const Voice v = MakeVoice(170, 48000);
  std::vector<double> calc(3 * kCalcLen);
  ContinuousRenderer r(v, calc.data());
  ASSERT_TRUE(r.Start(ContinuousEvent(0, 100, 900, 1000)));
  const Rendered out = RenderAll(r, 1024);
  EXPECT_GE(out.total, 200u * 48);
  EXPECT_GT(out.chunks, 40u);
  EXPECT_LE(out.peak, 127);
}

// The drive factor as the actuator model defines it: the safe displacement between the two
// modes, the magnitude of the model's response elsewhere.
double DriveFactorRef(const LraModel& m, double f) {
  if (f >= m.f_low && f <= m.f_high) return 0.00055;
  const double w = 6.2831852 * f;
  const double kp = m.k - 0.00125 * w * w;
  const double d = 8.27 * ((0.0635557437 * w) * (0.0635557437 * w) + kp * kp);
  const double re = 0.266 * kp / d;
  const double im = -0.0169058278242 * w / d;
  return 8.0 * std::sqrt(re * re + im * im);
}

// A voice whose filters let the drive through unchanged: equaliser 1/1, a one-tap FIR, and a
// displacement model that predicts no motion (so the displacement check never scales). What
// comes out is the drive times g, capped, clipped and quantised: every sample can be worked
// out from the drive's own formulas.
Voice TransparentVoice(int32_t f0, int32_t rate, double g) {
  Voice v = MakeVoice(f0, rate);
  v.model.g = g;
  v.equaliser = Filter({1.0}, {1.0});
  v.fir = Filter({1.0}, {});
  v.displacement = Filter({0.0}, {});
  return v;
}

// An output sample from a drive value already multiplied by g and by the cap's scale.
int Quantised(double x) {
  if (x > 8.0) x = 7.999999;
  if (x < -8.0) x = -7.999999;
  return static_cast<int>(x * 0.125 * 127.0);
}

// The drive of a flat continuous event (no attack, full intensity) at drive frequency f:
// sample i is cos(-1.5707963 + i * 2 pi f / R) * D(f), sample 0 silenced by the attack
// shaping (1 + (0 - 1) / 1 * e^0 = 0).
std::vector<double> FlatDrive(const LraModel& m, double f, int32_t rate, size_t n) {
  std::vector<double> drive(n);
  double phase = -1.5707963;
  for (size_t i = 0; i < n; ++i) {
    drive[i] = std::cos(phase) * 1.0 * DriveFactorRef(m, f);
    phase += 6.2831852 * f / rate;
  }
  drive[0] *= 0.0;
  return drive;
}

std::vector<int8_t> RenderSamples(ContinuousRenderer& r, size_t chunk) {
  std::vector<int8_t> out;
  std::vector<int8_t> buf(chunk);
  while (size_t n = r.Next(buf.data(), chunk)) out.insert(out.end(), buf.begin(), buf.begin() + n);
  return out;
}

// Point frequencies: 0 is the actuator's own f0, others are held to 50..500 Hz, and from
// 450 Hz the intensity is capped at 0.4 of full.
TEST(HapticsContinuous, DriveFrequencyEdgesAndTheIntensityCap) {
  const struct {
    int32_t point_hz;
    double driven_hz;
    double cap;
  } cases[] = {{0, 170, 1.0}, {600, 500, 0.4}, {30, 50, 1.0}, {449, 449, 1.0}, {450, 450, 0.4}, {500, 500, 0.4}};
  for (const auto& c : cases) {
    const int32_t rate = 24000;
    const LraModel m = LraModel::Make(170, rate);
    // A peak drive of 4: well inside the clipping level, and no start kick.
    const double g = 4.0 / DriveFactorRef(m, c.driven_hz);
    const Voice v = TransparentVoice(170, rate, g);
    std::vector<double> calc(3 * kCalcLen);
    ContinuousRenderer r(v, calc.data());
    ASSERT_TRUE(r.Start(ContinuousEvent(0, 0, 100, 120, c.point_hz)));
    std::vector<int8_t> out(512);
    ASSERT_EQ(r.Next(out.data(), out.size()), 512u);
    const std::vector<double> drive = FlatDrive(m, c.driven_hz, rate, out.size());
    int peak = 0;
    for (size_t i = 0; i < out.size(); ++i) {
      ASSERT_EQ(out[i], Quantised(drive[i] * g * c.cap)) << c.point_hz << " Hz, sample " << i;
      peak = std::max(peak, std::abs(int{out[i]}));
    }
    // Worked by hand: 4 * 0.125 * 127 = 63.5 at full intensity, 0.4 of that capped.
    EXPECT_EQ(peak, c.cap == 1.0 ? 63 : 25) << c.point_hz;
  }
}

// Drive beyond +-8 is clipped to +-7.999999 (+-126 out). A first chunk whose loud samples
// have an RMS above 9 starts with the kick (the first N + 1 samples are the fast start/stop
// signal); one whose loud samples stay below it is only clipped.
TEST(HapticsContinuous, ClippingAndTheStartKick) {
  const struct {
    double peak_drive;
    bool kick;
  } cases[] = {{8.5, false}, {20.0, true}};
  for (const auto& c : cases) {
    const int32_t rate = 24000;
    const LraModel m = LraModel::Make(170, rate);
    const double g = c.peak_drive / DriveFactorRef(m, 170);
    const Voice v = TransparentVoice(170, rate, g);
    std::vector<double> calc(3 * kCalcLen);
    ContinuousRenderer r(v, calc.data());
    ASSERT_TRUE(r.Start(ContinuousEvent(0, 0, 100, 120, 0)));
    std::vector<int8_t> out(512);
    ASSERT_EQ(r.Next(out.data(), out.size()), 512u);
    const std::vector<double> drive = FlatDrive(m, 170, rate, out.size());
    const size_t kicked = c.kick ? v.fast.kick_len + 1 : 0;
    ASSERT_EQ(v.fast.kick_len, 212u);  // 1.5 periods of 170 Hz at 24000 Hz, rounded up
    size_t clipped = 0;
    for (size_t i = 0; i < out.size(); ++i) {
      const double x = i < kicked ? v.fast.samples[i] * g : drive[i] * g;
      ASSERT_EQ(out[i], Quantised(x)) << c.peak_drive << ", sample " << i;
      clipped += std::abs(int{out[i]}) == 126 && std::fabs(x) > 8.0;
    }
    EXPECT_GT(clipped, 0u) << c.peak_drive;
    EXPECT_EQ(*std::max_element(out.begin(), out.end()), 126);
    EXPECT_EQ(*std::min_element(out.begin(), out.end()), -126);
  }
}

// The fast stop: the drive is cut at its last crest (no release here, t2 = t3) and followed
// by the kick's tail (its last N samples), scaled to meet the drive where it stopped and held
// to the safe displacement.
TEST(HapticsContinuous, FastStopTailMeetsTheDriveAtItsLastCrest) {
  const int32_t rate = 24000;
  const LraModel m = LraModel::Make(170, rate);
  const double g = 4.0 / DriveFactorRef(m, 170);
  const Voice v = TransparentVoice(170, rate, g);
  std::vector<double> calc(3 * kCalcLen);
  ContinuousRenderer r(v, calc.data());
  ASSERT_TRUE(r.Start(ContinuousEvent(0, 0, 50, 50, 0)));
  const std::vector<int8_t> out = RenderSamples(r, 512);
  const size_t n = v.fast.kick_len;
  ASSERT_GT(out.size(), n + 2);
  const size_t cut = out.size() - n - 1;  // the last sample of the drive
  const std::vector<double> drive = FlatDrive(m, 170, rate, cut + 2);
  // The cut is a crest of the drive, within a period of the drawn end (50 ms).
  EXPECT_GT(std::fabs(drive[cut]), std::fabs(drive[cut - 1]));
  EXPECT_GT(std::fabs(drive[cut]), std::fabs(drive[cut + 1]));
  EXPECT_GE(cut + 1, 50u * 24 - 24000 / 170);
  EXPECT_LE(cut + 1, 50u * 24 + 24000 / 170);
  for (size_t i = 0; i <= cut; ++i) ASSERT_EQ(out[i], Quantised(drive[i] * g)) << "drive sample " << i;

  const auto& fast = v.fast.samples;
  double tail_max = 0;
  for (size_t i = n + 1; i < fast.size(); ++i) tail_max = std::max(tail_max, std::fabs(fast[i]));
  double scale = drive[cut] / fast[n];
  if (tail_max * std::fabs(scale) > 0.00055) scale = std::copysign(0.00055 / tail_max, scale);
  for (size_t j = 0; j < n; ++j)
    ASSERT_EQ(out[cut + 1 + j], Quantised(fast[n + 1 + j] * scale * g)) << "tail sample " << j;
}

}  // namespace
}  // namespace brax
