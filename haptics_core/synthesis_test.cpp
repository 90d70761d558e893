#include "synthesis.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace brax
