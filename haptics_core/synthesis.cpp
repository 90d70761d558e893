#include "synthesis.h"

#include <algorithm>
#include <cmath>
#include <bit>
#include <limits>

#include "log.h"
#include "transient_waveforms.h"

namespace brax {
namespace {

constexpr double kMass = 0.00125;
constexpr double kDamping = 0.0635557437;
constexpr double kStiffnessAt176 = 1535.0;
constexpr double kSqrt3Over2 = 0.8660254037844386;
constexpr double kEqualiserScale = 0.03216444981862153;
constexpr double kStartPhase = -1.5707963;
constexpr double kClipDrive = 7.999999;
constexpr double kMinDriveHz = 50.0;
constexpr double kMaxDriveHz = 500.0;

// The displacement model's rows: numerator n * [1 3 3 1], denominator [1 d1 d2 d3], one
// row per hertz of f0 from 166 to 186. A device ships all 21 measured rows with its
// tuning data; the first and last are known here and the rows between are taken on the
// straight line between them, which matches how smoothly the measured rows move.
struct DisplacementRow {
  double n, d1, d2, d3;
};
constexpr DisplacementRow kRowFirst24k = {7.99579e-09, -1.56199, 0.131628, 0.43308};
constexpr DisplacementRow kRowLast24k = {7.99482e-09, -1.56151, 0.131838, 0.43308};
constexpr DisplacementRow kRowFirst48k = {1.5594e-09, -1.88078, 0.76374, 0.117566};
constexpr DisplacementRow kRowLast48k = {1.55936e-09, -1.88066, 0.763754, 0.117566};
constexpr int32_t kFirstRowF0 = 166;
constexpr int32_t kLastRow = 20;

// Half of the symmetric 20-tap low-pass kernels (taps 0..10; taps 11..19 mirror 9..1).
constexpr double kFirHalf24k[11] = {0.0056875, 0.0077454, 0.0133738, 0.0224909,
                                    0.0345099, 0.0483903, 0.062759,  0.0760844,
                                    0.0868799, 0.0939066, 0.0963444};
constexpr double kFirHalf48k[11] = {0.00692093, 0.00899305, 0.0149085, 0.0242095,
                                    0.036061,   0.0493345,  0.0627252, 0.0748913,
                                    0.084598,   0.0908524,  0.0930114};

// The largest share of full intensity allowed at a drive frequency: the actuator is
// spared above 450 Hz.
double IntensityCap(double freq) {
  // Whole hertz, rounded half away from zero, from 450 to 500: [449.5, 500.5) (the drive
  // frequencies are positive and finite).
  return ((freq >= 449.5) & (freq < 500.5)) ? 0.4 : 1.0;
}

// cos of the drive's phase, inline and without branches so that it runs several samples at
// a time: the phase is brought to within pi/4 of a multiple q of pi/2 (pi/2 in three parts,
// so the reduction loses nothing while q fits 20 bits: |x| below kDriveCosLimit, an event of
// over 500 s at the highest drive frequency) and the sine or cosine polynomial of that
// quadrant is taken. It stays within a couple of units in the last place of the library's
// cos, far below the 1/127 of an output step.
constexpr double kDriveCosLimit = 1.6e6;

inline double DriveCosNear(double x) {
  constexpr double kTwoOverPi = 6.36619772367581382433e-01;
  constexpr double kPio2a = 1.57079632673412561417e+00;  // the first 33 bits of pi/2
  constexpr double kPio2b = 6.07710050630396597660e-11;  // the next 33
  constexpr double kPio2c = 2.02226624871116645580e-21;  // and the rest
  // Rounded to the nearest integer by the float format itself, which leaves q in the low
  // bits of the sum: no call, no conversion.
  constexpr double kRound = 6755399441055744.0;  // 1.5 * 2^52
  const double shifted = x * kTwoOverPi + kRound;
  const double kq = shifted - kRound;
  const auto q = std::bit_cast<uint64_t>(shifted);
  const double r = ((x - kq * kPio2a) - kq * kPio2b) - kq * kPio2c;
  const double z = r * r;
  const double c = 1.0 - 0.5 * z +
                   z * z *
                       (4.16666666666666019037e-02 +
                        z * (-1.38888888888741095749e-03 +
                             z * (2.48015872894767294178e-05 +
                                  z * (-2.75573143513906633035e-07 +
                                       z * (2.08757232129817482790e-09 + z * -1.13596475577881948265e-11)))));
  const double s = r + r * z *
                           (-1.66666666666666324348e-01 +
                            z * (8.33333333332248946124e-03 +
                                 z * (-1.98412698298579493134e-04 +
                                      z * (2.75573137070700676789e-06 +
                                           z * (-2.50507602534068634195e-08 + z * 1.58969099521155010221e-10)))));
  // Quadrants 0..3 give c, -s, -c, s: odd ones take the sine, 1 and 2 change the sign.
  const uint64_t odd = 0 - (q & 1);
  const uint64_t v = (std::bit_cast<uint64_t>(s) & odd) | (std::bit_cast<uint64_t>(c) & ~odd);
  return std::bit_cast<double>(v ^ (((q + 1) & 2) << 62));
}

inline double DriveCos(double x) { return std::fabs(x) < kDriveCosLimit ? DriveCosNear(x) : std::cos(x); }

// Written without branches, for runs of samples.
inline double CapScale(double freq, double amp) {
  const double cap = IntensityCap(freq);
  const double scaled = cap / amp;
  return amp > cap ? scaled : 1.0;
}

}  // namespace

namespace {
// The magnitude of the model's response at drive frequency f.
inline double ResponseOf(const LraModel& m, double f) {
  const double w = kTwoPi * f;
  const double kp = m.k - kMass * w * w;
  const double d = 8.27 * ((kDamping * w) * (kDamping * w) + kp * kp);
  // |re + i im| with re = 0.266 kp / d and im = -0.0169058278242 w / d, d > 0: one
  // division instead of two, since this runs for every sample of a sweep.
  const double re = 0.266 * kp;
  const double im = 0.0169058278242 * w;
  return 8.0 * std::sqrt(re * re + im * im) / d;
}
}  // namespace

LraModel LraModel::Make(int32_t f0, double rate) {
  LraModel m;
  const double T = 1.0 / rate;
  m.k = kStiffnessAt176 * f0 * f0 / 30976.0;
  m.w0 = std::sqrt(m.k / kMass);
  m.zeta = kDamping / (2.0 * std::sqrt(m.k * kMass));
  m.wd = m.w0 * std::sqrt(1.0 - m.zeta * m.zeta);
  m.a1 = -2.0 * std::exp(-m.zeta * m.w0 * T) * std::cos(m.wd * T);
  m.a2 = std::exp(-2.0 * m.zeta * m.w0 * T);
  m.b1 = -2.0 * std::exp(-1.5 * m.w0 * T) * std::cos(3.0 * kSqrt3Over2 * m.w0 * T);
  m.b2 = std::exp(-3.0 * m.w0 * T);
  m.g = (m.k / kEqualiserScale) * (1.0 + m.b1 + m.b2) / (1.0 + m.a1 + m.a2);
  // The two modes of the actuator in its housing. Below about 97 Hz the lower mode has no
  // real solution; a negative square root is taken as 0 rather than left as NaN.
  const double p = 0.0025 * m.k - 0.00403933255726009;
  const double q = std::sqrt(std::max(0.0, p * p - 6.25e-6 * (m.k * m.k - 218880.38762517628)));
  m.f_low = static_cast<float>(std::sqrt(std::max(0.0, (p - q) / 3.125e-6)) / 2.0 / 3.1415926);
  m.f_high = static_cast<float>(std::sqrt(std::max(0.0, (p + q) / 3.125e-6)) / 2.0 / 3.1415926);
  return m;
}

double LraModel::DriveFactor(double f) const {
  if (f >= f_low && f <= f_high) return kMaxDisplacement;
  return ResponseFactor(f);
}

double LraModel::ResponseFactor(double f) const { return ResponseOf(*this, f); }

Filter::Filter(std::vector<double> b, std::vector<double> a) : b_(std::move(b)), a_(std::move(a)) {
  if (a_.empty()) a_.push_back(1.0);
  const size_t len = std::max(b_.size(), a_.size());
  b_.resize(len, 0.0);
  a_.resize(len, 0.0);
  if (std::fabs(a_[0] - 1.0) > 1e-12 && a_[0] != 0.0) {
    const double a0 = a_[0];
    for (auto& v : b_) v /= a0;
    for (auto& v : a_) v /= a0;
  }
  a_[0] = 1.0;
  z_.assign(len - 1, 0.0);
}

void Filter::Reset() { std::fill(z_.begin(), z_.end(), 0.0); }

namespace {

// The transposed direct form of a recursive filter of a fixed order, so that the compiler
// can keep the state in registers and unroll the taps. The feedback of each output into the
// next is the one sequential path of the filter, so it is kept to a multiply and a subtract:
// out[i] = (b0 x[i] + (z1 + b1 x[i-1])) - a1 out[i-1], where the general form adds the last
// two terms first (the same terms; the sum may differ in its last bit).
template <size_t kOrder>
void RunRecursive(const double* b, const double* a, double* zs, const double* x, double* y, size_t n) {
  static_assert(kOrder >= 2);
  if (n == 0) return;
  double z[kOrder];
  for (size_t k = 0; k < kOrder; ++k) z[k] = zs[k];
  // z[0] is carried without its feedback term (zp); the other partial sums as they stand.
  auto advance = [&](double in, double out) {
    const double zp = z[1] + b[1] * in;
    for (size_t k = 1; k + 1 < kOrder; ++k) z[k] = z[k + 1] + b[k + 1] * in - a[k + 1] * out;
    z[kOrder - 1] = b[kOrder] * in - a[kOrder] * out;
    return zp;
  };
  double out = b[0] * x[0] + z[0];
  y[0] = out;
  double zp = advance(x[0], out);
  for (size_t i = 1; i < n; ++i) {
    const double in = x[i];
    out = (b[0] * in + zp) - a[1] * out;
    y[i] = out;
    zp = advance(in, out);
  }
  zs[0] = zp - a[1] * out;
  for (size_t k = 1; k < kOrder; ++k) zs[k] = z[k];
}

// The 20-tap low-pass in direct form over a history of its last 19 inputs (kept in the
// state instead of the transposed form's partial sums). Unrolled, the transposed form gives
// each output as b0 x[i] + ((..((b19 x[i-19] + b18 x[i-18]) + b17 x[i-17]) ..) + b1 x[i-1]):
// the same products added in the same order here, one tap at a time across a block, which
// the compiler vectorises over the outputs.
void RunFir19(const double* b, double* history, const double* x, double* y, size_t n) {
  constexpr size_t kOrder = 19;
  constexpr size_t kBlock = 256;
  double xx[kOrder + kBlock];
  for (size_t k = 0; k < kOrder; ++k) xx[k] = history[kOrder - 1 - k];  // x[-19] .. x[-1]
  for (size_t done = 0; done < n;) {
    const size_t m = std::min(kBlock, n - done);
    for (size_t i = 0; i < m; ++i) xx[kOrder + i] = x[done + i];
    double* out = y + done;
    // Eight outputs at a time in registers; the rest one by one, the same sums either way.
    constexpr size_t kLanes = 8;
    size_t i = 0;
    for (; i + kLanes <= m; i += kLanes) {
      double acc[kLanes];
      for (size_t l = 0; l < kLanes; ++l) acc[l] = b[kOrder] * xx[i + l];
      for (size_t j = kOrder - 1; j >= 1; --j) {
        const double bj = b[j];
        const double* src = xx + kOrder - j + i;
        for (size_t l = 0; l < kLanes; ++l) acc[l] = acc[l] + bj * src[l];
      }
      for (size_t l = 0; l < kLanes; ++l) out[i + l] = b[0] * xx[kOrder + i + l] + acc[l];
    }
    for (; i < m; ++i) {
      double acc = b[kOrder] * xx[i];
      for (size_t j = kOrder - 1; j >= 1; --j) acc = acc + b[j] * xx[kOrder - j + i];
      out[i] = b[0] * xx[kOrder + i] + acc;
    }
    // The last 19 inputs lead the next block.
    for (size_t k = 0; k < kOrder; ++k) xx[k] = xx[m + k];
    done += m;
  }
  for (size_t k = 0; k < kOrder; ++k) history[kOrder - 1 - k] = xx[k];
}

}  // namespace

void Filter::Run(const double* x, double* y, size_t n) {
  const size_t order = z_.size();
  const bool fir = std::all_of(a_.begin() + 1, a_.end(), [](double v) { return v == 0.0; });
  // The three filters of the renderer: the equaliser, the displacement model, the low-pass.
  if (order == 2 && !fir) return RunRecursive<2>(b_.data(), a_.data(), z_.data(), x, y, n);
  if (order == 3 && !fir) return RunRecursive<3>(b_.data(), a_.data(), z_.data(), x, y, n);
  if (order == 19 && fir) return RunFir19(b_.data(), z_.data(), x, y, n);
  for (size_t i = 0; i < n; ++i) {
    const double in = x[i];
    const double out = b_[0] * in + (order ? z_[0] : 0.0);
    for (size_t k = 0; k + 1 < order; ++k) z_[k] = z_[k + 1] + b_[k + 1] * in - a_[k + 1] * out;
    if (order) z_[order - 1] = b_[order] * in - a_[order] * out;
    y[i] = out;
  }
}

Filter DisplacementFilter(int32_t f0, int32_t rate) {
  const bool high = rate == 48000;
  const DisplacementRow& first = high ? kRowFirst48k : kRowFirst24k;
  const DisplacementRow& last = high ? kRowLast48k : kRowLast24k;
  const double t = std::clamp(f0 - kFirstRowF0, 0, kLastRow) / static_cast<double>(kLastRow);
  auto mix = [t](double a, double b) { return a + (b - a) * t; };
  const double n = mix(first.n, last.n);
  return Filter({n, 3 * n, 3 * n, n}, {1.0, mix(first.d1, last.d1), mix(first.d2, last.d2), mix(first.d3, last.d3)});
}

Filter LowPassFir(int32_t rate) {
  const double* half = rate == 48000 ? kFirHalf48k : kFirHalf24k;
  std::vector<double> taps(half, half + 11);
  for (int i = 9; i >= 1; --i) taps.push_back(half[i]);
  return Filter(std::move(taps), {});
}

Filter EqualiserFilter(const LraModel& m) { return Filter({1.0, m.a1, m.a2}, {1.0, m.b1, m.b2}); }

FastSignal FastSignal::Make(int32_t f0, int32_t rate) {
  FastSignal s;
  const double T = 1.0 / rate;
  const double span = 1.5 / f0;
  size_t n = 0;
  while (n * T < span) ++n;
  std::vector<double> x(2 * n + 1, 0.0);
  for (size_t i = 0; i < n; ++i) x[i] = 8.0 * std::sin(2.0 * M_PI * f0 * i * T);
  s.samples.assign(x.size(), 0.0);
  Filter model = DisplacementFilter(f0, rate);
  model.Run(x.data(), s.samples.data(), x.size());
  s.kick_len = n;
  return s;
}

size_t FindPeakIndex(std::span<const double> x) {
  if (x.size() < 3) return 0;
  for (size_t i = x.size() - 2; i >= 1; --i) {
    const double m = std::fabs(x[i]);
    if (m > std::fabs(x[i - 1]) && m > std::fabs(x[i + 1])) return i;
  }
  return 0;
}

double TransientGain(int32_t m) {
  if (m >= 90) return m / 100.0;
  if (m >= 70) return 1.25 * m / 100.0;
  return 2.0 * m / 100.0;
}

size_t ResampleTransient(std::span<const int8_t> wave, int32_t f0, std::span<int8_t> out) {
  const int64_t v = f0;
  const auto len = static_cast<int64_t>(wave.size());
  if (v < 1 || len < 1) return 0;
  int64_t out_len = len * kRecordedF0 / v;
  if (out_len > static_cast<int64_t>(out.size())) {
    BRAX_LOGE("resampled transient of %lld samples cut to %zu\n", static_cast<long long>(out_len), out.size());
    out_len = static_cast<int64_t>(out.size());
  }
  for (int64_t a = 0; a < out_len; ++a) {
    const float x = static_cast<float>(v) * static_cast<float>(a) / static_cast<float>(kRecordedF0);
    auto p = static_cast<int64_t>(x);
    float frac = x - static_cast<float>(p);
    // At low f0 several output samples fall on the last input sample; none may read past it.
    if (p >= len - 1) {
      p = len - 1;
      frac = 0.0f;
    }
    const int64_t next = std::min(p + 1, len - 1);
    const float value = (1.0f - frac) * wave[p] + frac * wave[next];
    out[a] = static_cast<int8_t>(static_cast<int>(value));
  }
  return static_cast<size_t>(out_len);
}

ContinuousRenderer::ContinuousRenderer(const Voice& voice, double* calc)
    : voice_(voice), calc_(calc), displacement_(voice.displacement), fir_(voice.fir), equaliser_(voice.equaliser) {}

bool ContinuousRenderer::Start(const ConvertedEvent& event) {
  stage_ = Stage::kDone;
  for (int j = 0; j < BRAX_HE_CURVE_POINTS; ++j) {
    t_[j] = event.points[j].time_ms;
    amp_[j] = std::clamp(event.points[j].intensity, 0, 100);
    const int32_t f = event.points[j].frequency_hz;
    freq_[j] = f == 0 ? voice_.f0 : std::clamp<double>(f, kMinDriveHz, kMaxDriveHz);
  }
  // The envelope starts and ends at rest.
  amp_[0] = 0;
  amp_[3] = 0;
  const int64_t spms = voice_.samples_per_ms;
  attack_ = (int64_t{event.points[1].time_ms} - event.points[0].time_ms) * spms;
  sustain_ = (int64_t{event.points[2].time_ms} - event.points[1].time_ms) * spms;
  release_ = (int64_t{event.points[3].time_ms} - event.points[2].time_ms) * spms;
  if (attack_ < 0 || sustain_ < 0 || release_ < 0) {
    BRAX_LOGE("%s Invalid time param", "generate_disp_envelope_wav");
    return false;
  }
  displacement_.Reset();
  fir_.Reset();
  equaliser_.Reset();
  sustain_end_ = attack_ + sustain_;
  s_ = 0;
  first_chunk_ = true;
  phase_ = kStartPhase;
  last_drive_ = 0;
  stage_ = Stage::kDrive;
  return true;
}

void ContinuousRenderer::DriveAt(int64_t s, double* freq, double* amp) const {
  if (s < attack_) {
    const double u = static_cast<double>(s) / static_cast<double>(attack_);
    *freq = freq_[0] + (freq_[1] - freq_[0]) * u;
    *amp = amp_[1] / 100.0;
    return;
  }
  const double u = sustain_ > 0 ? static_cast<double>(s - attack_) / static_cast<double>(sustain_) : 1.0;
  *freq = freq_[1] + (freq_[2] - freq_[1]) * u;
  *amp = (amp_[1] + (amp_[2] - amp_[1]) * u) / 100.0;
}

void ContinuousRenderer::EnterRelease(double amp, double freq, bool with_tail) {
  stage_ = Stage::kRelease;
  release_pos_ = 0;
  release_amp_ = amp;
  release_freq_ = freq;
  with_tail_ = with_tail;
}

// The sustain ended inside this chunk: cut the drive at its last peak so that the release
// and the stopping kick start from a crest, not from a random point of the wave.
void ContinuousRenderer::FinishSustain(double* drive, double* phase_log, size_t chunk_sustain_start, size_t* n) {
  const size_t count = chunk_sustain_start <= *n ? *n - chunk_sustain_start : 0;
  if (count < 3) {
    BRAX_LOGE("disp equalize fast stop conditions failed");
    EnterRelease(amp_[2] / 100.0, freq_[2], false);
    return;
  }
  const size_t peak = FindPeakIndex({drive + chunk_sustain_start, count});
  if (peak == 0) {
    BRAX_LOGE("disp equalize find peak index failed");
    EnterRelease(amp_[2] / 100.0, freq_[2], false);
    return;
  }
  const size_t keep = chunk_sustain_start + peak + 1;
  const int64_t cut_sample = s_ - static_cast<int64_t>(*n - keep) - 1;
  double f = 0, a = 0;
  DriveAt(cut_sample, &f, &a);
  phase_ = phase_log[keep - 1];
  last_drive_ = drive[keep - 1];
  *n = keep;
  EnterRelease(a, f, true);
}

namespace {
// Sum of f(a), f(a + 1), ... f(a + k - 1) for f rising by `slope` per sample from f_a.
double SumLinear(double f_a, double slope, int64_t k) {
  const auto n = static_cast<double>(k);
  return n * f_a + slope * n * (n - 1.0) / 2.0;
}
}  // namespace

int64_t ContinuousRenderer::Skip(int64_t count) {
  if (count <= 0) return 0;
  const double rate = voice_.rate;
  if (stage_ == Stage::kDrive) {
    // Leave a whole work array before the sustain's end to rendering.
    int64_t k = std::min(count, sustain_end_ - static_cast<int64_t>(kCalcLen) - s_);
    if (k <= 0) return 0;
    const int64_t done = k;
    while (k > 0) {
      double f = 0, a = 0;
      DriveAt(s_, &f, &a);
      int64_t n = k;
      double slope = 0;
      if (s_ < attack_) {
        n = std::min(k, attack_ - s_);
        slope = (freq_[1] - freq_[0]) / static_cast<double>(attack_);
      } else if (sustain_ > 0) {
        slope = (freq_[2] - freq_[1]) / static_cast<double>(sustain_);
      }
      phase_ += kTwoPi * SumLinear(f, slope, n) / rate;
      s_ += n;
      k -= n;
    }
    return done;
  }
  if (stage_ == Stage::kRelease) {
    const int64_t k = std::min(count, release_ - release_pos_);
    if (k <= 0) return 0;
    const double slope = (freq_[3] - release_freq_) / static_cast<double>(release_);
    const double f_a = release_freq_ + slope * static_cast<double>(release_pos_);
    phase_ += kTwoPi * SumLinear(f_a, slope, k) / rate;
    release_pos_ += k;
    // The stopping kick meets the drive where it stopped: the last skipped sample.
    const double u = static_cast<double>(release_pos_ - 1) / static_cast<double>(release_);
    const double f = release_freq_ + (freq_[3] - release_freq_) * u;
    const double a = release_amp_ * (1.0 - u);
    last_drive_ = DriveCos(phase_ - kTwoPi * f / rate) * a * voice_.model.DriveFactor(f);
    return k;
  }
  return 0;
}

namespace {

// A stretch of drive samples in one stage of the envelope, along which the drive frequency
// and intensity move on a straight line: sample i of the stretch sits at
// u = (pos0 + i) / len of that line (u = 1 throughout when the line has no length).
struct Sweep {
  double pos0 = 0, len = 0;
  bool flat = false;
  double f_from = 0, f_to = 0;
  double a_from = 0, a_to = 0;  // intensities (0..100); a release falls from a_from instead
  bool release = false;
};

// The sweep's straight lines, with every division done once per stretch: the position
// along the line, the frequency, the intensity (0..1) and the phase's step per sample.
template <bool kFlat, bool kRelease>
struct SweepLine {
  explicit SweepLine(const Sweep& w, double rate)
      : w(w),
        inv_len(kFlat ? 0.0 : 1.0 / w.len),
        a0(kRelease ? w.a_from : w.a_from / 100.0),
        da(kRelease ? -w.a_from : (w.a_to - w.a_from) / 100.0),
        step(kTwoPi / rate) {}
  double U(int32_t i) const {
    if constexpr (kFlat) return 1.0;
    return (w.pos0 + static_cast<double>(i)) * inv_len;
  }
  double Freq(double u) const { return w.f_from + (w.f_to - w.f_from) * u; }
  double Amp(double u) const {
    if constexpr (kRelease) return w.a_from * (1.0 - u);
    return a0 + da * u;
  }
  const Sweep& w;
  double inv_len, a0, da, step;
};

// The drive of `count` samples of a sweep from `phase` (cos of the phase times the intensity
// times the actuator's drive factor), the phase after each sample and the intensity cap's
// scale; returns the phase after the last. Only the phase's running sum is sequential: the
// rest runs over whole arrays, without branches, so that it is computed several samples at
// a time.
template <bool kFlat, bool kRelease>
double DriveSweepOf(const LraModel& m, double rate, const Sweep& w, double phase, int32_t count,
                    double* __restrict drive, double* __restrict phase_log, double* __restrict cap_scale) {
  const SweepLine<kFlat, kRelease> line(w, rate);
  if (kFlat || w.f_from == w.f_to) {
    // A steady frequency: one step, worked out as a sweep's would be without the line.
    const double f = kFlat ? w.f_to : w.f_from;
    const double inc = kTwoPi * f / rate;
    for (int32_t i = 0; i < count; ++i) {
      cap_scale[i] = f;
      phase_log[i] = inc;
    }
  } else {
    for (int32_t i = 0; i < count; ++i) {
      const double f = line.Freq(line.U(i));
      cap_scale[i] = f;
      phase_log[i] = f * line.step;
    }
  }
  const double first = phase;
  for (int32_t i = 0; i < count; ++i) {
    drive[i] = phase;
    phase += phase_log[i];
    phase_log[i] = phase;
  }
  // The drive frequency is positive: the phases run from the first to the last.
  const bool near = std::fabs(first) < kDriveCosLimit && std::fabs(drive[count - 1]) < kDriveCosLimit;
  if (near) {
    for (int32_t i = 0; i < count; ++i) drive[i] = DriveCosNear(drive[i]);
  } else {
    for (int32_t i = 0; i < count; ++i) drive[i] = std::cos(drive[i]);
  }
  const double f_low = m.f_low, f_high = m.f_high;
  for (int32_t i = 0; i < count; ++i) {
    const double f = cap_scale[i];
    const double response = ResponseOf(m, f);
    const double factor = ((f >= f_low) & (f <= f_high)) ? kMaxDisplacement : response;
    drive[i] = drive[i] * line.Amp(line.U(i)) * factor;
  }
  // Frequency and intensity move on straight lines, so their ends bound them: a stretch
  // below the capped band at no more than full intensity is never scaled.
  const double f_max = std::max(w.f_from, w.f_to);
  const double a_max = std::max(line.Amp(0.0), line.Amp(1.0));
  if (f_max < 449.5 && a_max <= 1.0) {
    std::fill_n(cap_scale, count, 1.0);
  } else {
    for (int32_t i = 0; i < count; ++i) cap_scale[i] = CapScale(cap_scale[i], line.Amp(line.U(i)));
  }
  return phase;
}

double DriveSweep(const LraModel& m, double rate, const Sweep& w, double phase, int32_t count, double* drive,
                  double* phase_log, double* cap_scale) {
  if (w.release) return DriveSweepOf<false, true>(m, rate, w, phase, count, drive, phase_log, cap_scale);
  if (w.flat) return DriveSweepOf<true, false>(m, rate, w, phase, count, drive, phase_log, cap_scale);
  return DriveSweepOf<false, false>(m, rate, w, phase, count, drive, phase_log, cap_scale);
}

}  // namespace

size_t ContinuousRenderer::Generate(double* drive, double* phase_log, double* cap_scale, size_t max_len) {
  const double rate = voice_.rate;
  const auto chunk_end = s_ + static_cast<int64_t>(max_len);
  if (stage_ == Stage::kDrive && sustain_end_ > chunk_end) {
    // A sustain that would end just after this chunk leaves the next chunk too little of it
    // to find a crest in: end it later, so that the next chunk holds three quarters of the
    // longer period (or the whole chunk, when the period is longer than that).
    const double period = std::max(1.0 / freq_[1], 1.0 / freq_[2]);
    const int64_t needed = std::min(static_cast<int64_t>(std::ceil(0.75 * period * rate)), static_cast<int64_t>(max_len));
    const int64_t ahead = sustain_end_ - chunk_end;
    if (ahead < needed) {
      sustain_ += needed - ahead;
      sustain_end_ += needed - ahead;
    }
  }
  size_t n = 0;
  size_t sustain_start = std::numeric_limits<size_t>::max();
  while (n < max_len && stage_ != Stage::kDone) {
    if (stage_ == Stage::kDrive) {
      if (s_ >= sustain_end_) {
        FinishSustain(drive, phase_log, sustain_start, &n);
        continue;
      }
      // A stretch of the attack or of the sustain, up to its end or the chunk's.
      const bool attack = s_ < attack_;
      if (!attack && sustain_start > n) sustain_start = n;
      const int64_t stop = std::min(attack ? attack_ : sustain_end_, s_ + static_cast<int64_t>(max_len - n));
      const auto count = static_cast<int32_t>(stop - s_);
      Sweep w;
      if (attack) {
        w = {static_cast<double>(s_), static_cast<double>(attack_), false, freq_[0], freq_[1], amp_[1], amp_[1], false};
      } else {
        w = {static_cast<double>(s_ - attack_), static_cast<double>(sustain_), sustain_ <= 0, freq_[1], freq_[2],
             amp_[1], amp_[2], false};
      }
      phase_ = DriveSweep(voice_.model, rate, w, phase_, count, drive + n, phase_log + n, cap_scale + n);
      // The attack swells in from rest, up to and including its last sample.
      for (int64_t k = s_; k <= std::min(attack_, stop - 1); ++k) {
        const double span = static_cast<double>(attack_ + 1);
        const double i = static_cast<double>(k);
        drive[n + static_cast<size_t>(k - s_)] *= 1.0 + ((i - span) / span) * std::exp(-i / span);
      }
      n += static_cast<size_t>(count);
      s_ = stop;
      last_drive_ = drive[n - 1];
      if (s_ == sustain_end_) FinishSustain(drive, phase_log, sustain_start, &n);
    } else if (stage_ == Stage::kRelease) {
      if (release_pos_ >= release_) {
        stage_ = Stage::kDone;
        const auto& fast = voice_.fast.samples;
        const size_t kick = voice_.fast.kick_len;
        if (with_tail_ && kick > 0 && std::fabs(fast[kick]) > 1e-15) {
          double tail_max = 0;
          for (size_t i = kick + 1; i < fast.size(); ++i) tail_max = std::max(tail_max, std::fabs(fast[i]));
          // Meet the drive where it stopped, but never ask for more than the actuator's
          // safe displacement.
          tail_scale_ = last_drive_ / fast[kick];
          if (tail_max * std::fabs(tail_scale_) > kMaxDisplacement) {
            tail_scale_ = std::copysign(kMaxDisplacement / tail_max, tail_scale_);
          }
          tail_pos_ = 0;
          stage_ = Stage::kTail;
        }
        continue;
      }
      const auto count = static_cast<int32_t>(std::min<int64_t>(release_ - release_pos_, static_cast<int64_t>(max_len - n)));
      const Sweep w = {static_cast<double>(release_pos_), static_cast<double>(release_), false, release_freq_, freq_[3],
                       release_amp_, 0.0, true};
      phase_ = DriveSweep(voice_.model, rate, w, phase_, count, drive + n, phase_log + n, cap_scale + n);
      n += static_cast<size_t>(count);
      release_pos_ += count;
      last_drive_ = drive[n - 1];
    } else {  // tail
      const size_t kick = voice_.fast.kick_len;
      if (tail_pos_ >= kick) {
        stage_ = Stage::kDone;
        continue;
      }
      drive[n] = voice_.fast.samples[kick + 1 + tail_pos_] * tail_scale_;
      cap_scale[n] = 1.0;
      ++tail_pos_;
      ++n;
    }
  }
  return n;
}

size_t ContinuousRenderer::Next(int8_t* out, size_t max_len) {
  if (stage_ == Stage::kDone) return 0;
  max_len = std::min(max_len, kCalcLen);
  double* drive = calc_;
  double* work = calc_ + kCalcLen;
  double* aux = calc_ + 2 * kCalcLen;
  const size_t n = Generate(drive, work, aux, max_len);
  if (n == 0) return 0;

  const double g = voice_.model.g;
  auto equalise = [&] {
    equaliser_.Run(drive, work, n);
    for (size_t i = 0; i < n; ++i) work[i] *= g;
  };
  equalise();
  if (first_chunk_) {
    first_chunk_ = false;
    // A start this strong would leave the actuator lagging: kick it into motion instead.
    size_t loud = 0;
    double sum_sq = 0;
    for (size_t i = 0; i < n; ++i) {
      if (std::fabs(work[i]) > kMaxDrive) {
        ++loud;
        sum_sq += work[i] * work[i];
      }
    }
    if (loud > 0 && std::sqrt(sum_sq / static_cast<double>(loud)) > 9.0) {
      const size_t kick = std::min(voice_.fast.kick_len + 1, n);
      std::copy_n(voice_.fast.samples.begin(), kick, drive);
      equaliser_.Reset();
      equalise();
    }
  }
  for (size_t i = 0; i < n; ++i) {
    double v = work[i] * aux[i];
    if (v > kMaxDrive) v = kClipDrive;
    if (v < -kMaxDrive) v = -kClipDrive;
    work[i] = v;
  }
  fir_.Run(work, drive, n);
  displacement_.Run(drive, aux, n);
  double peak = 0;
  for (size_t i = 0; i < n; ++i) peak = std::max(peak, std::fabs(aux[i]));
  const double scale = peak > kMaxDisplacement ? kMaxDisplacement / peak : 1.0;
  for (size_t i = 0; i < n; ++i) {
    const int v = static_cast<int>(drive[i] * scale * 0.125 * 127.0);
    out[i] = static_cast<int8_t>(std::clamp(v, -128, 127));
  }
  return n;
}

}  // namespace brax
