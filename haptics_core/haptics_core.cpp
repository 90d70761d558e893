// The three entry points and the process-wide state: an effect is rendered frame by frame
// on the thread that asks for its frames.

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "brax_haptics.h"
#include "he_events.h"
#include "log.h"
#include "synthesis.h"
#include "transient_waveforms.h"

namespace brax {
namespace {

template <typename T>
std::unique_ptr<T[]> Allocate(size_t n, const char* failure) {
  std::unique_ptr<T[]> p(new (std::nothrow) T[n]());
  if (!p) BRAX_LOGE("%s", failure);
  return p;
}

// Everything one configuration owns: replaced as a whole when the core is re-configured.
struct Setup {
  int32_t frame_size = 0;
  int32_t bit_width = 0;
  Voice voice;
  std::unique_ptr<double[]> calc;     // three work arrays of kCalcLen doubles
  std::unique_ptr<ConvertedTable> events;
  std::unique_ptr<OverlapTable> overlaps;
  std::unique_ptr<uint8_t[]> frame;   // frame_size * bit_width bytes
  std::unique_ptr<int8_t[]> samples;  // resampled transient / rendered chunk
  std::unique_ptr<ContinuousRenderer> renderer;
};

// Builds a setup for a configuration already checked; null (with the log of the buffer
// concerned) when memory runs out.
std::unique_ptr<Setup> MakeSetup(const brax_haptics_config& cfg) {
  std::unique_ptr<Setup> s(new (std::nothrow) Setup);
  if (!s) {
    BRAX_LOGE("malloc haptics failed\n");
    return nullptr;
  }
  s->calc = Allocate<double>(3 * kCalcLen, "Malloc calc buf failed\n");
  if (!s->calc) return nullptr;
  s->events.reset(new (std::nothrow) ConvertedTable());
  if (!s->events) {
    BRAX_LOGE("malloc hed event buf failed\n");
    return nullptr;
  }
  s->overlaps.reset(new (std::nothrow) OverlapTable());
  if (!s->overlaps) {
    BRAX_LOGE("malloc overlap buf failed\n");
    return nullptr;
  }
  s->frame = Allocate<uint8_t>(static_cast<size_t>(cfg.frame_size) * cfg.bit_width, "malloc alg_buf failed\n");
  if (!s->frame) return nullptr;
  s->samples = Allocate<int8_t>(kResampleLen, "malloc alg_buf failed\n");
  if (!s->samples) return nullptr;

  s->frame_size = cfg.frame_size;
  s->bit_width = cfg.bit_width;
  Voice& v = s->voice;
  v.f0 = cfg.f0;
  v.rate = cfg.sample_rate;
  v.samples_per_ms = cfg.sample_rate / 1000;
  try {
    v.model = LraModel::Make(cfg.f0, cfg.sample_rate);
    v.displacement = DisplacementFilter(cfg.f0, cfg.sample_rate);
    v.fir = LowPassFir(cfg.sample_rate);
    v.equaliser = EqualiserFilter(v.model);
    try {
      v.fast = FastSignal::Make(cfg.f0, cfg.sample_rate);
    } catch (const std::bad_alloc&) {
      BRAX_LOGE("Malloc fast start/stop buf failed\n");
      BRAX_LOGE("generate disp fast start/stop signal failed %d\n", BRAX_ENOMEM);
      return nullptr;
    }
    s->renderer = std::make_unique<ContinuousRenderer>(v, s->calc.get());
  } catch (const std::bad_alloc&) {
    BRAX_LOGE("malloc haptics failed\n");
    return nullptr;
  }
  return s;
}

bool ValidConfig(const brax_haptics_config& cfg) {
  if (cfg.frame_size != 256 && cfg.frame_size != 512 && cfg.frame_size != 1024) {
    BRAX_LOGE("Invalid frame size value\n");
    return false;
  }
  if (cfg.sample_rate != 24000 && cfg.sample_rate != 48000) {
    BRAX_LOGE("Invalid sample rate\n");
    return false;
  }
  if (cfg.bit_width != 1 && cfg.bit_width != 2) {
    BRAX_LOGE("Invalid bit width\n");
    return false;
  }
  // The model, the kick and the resampling all divide by f0; an actuator outside this
  // band is not one the tables were made for.
  if (cfg.f0 < kMinF0 || cfg.f0 > kMaxF0) {
    BRAX_LOGE("Invalid f0 value %d\n", cfg.f0);
    return false;
  }
  return true;
}

// Where the effect being played stands between two frame requests: the event, the part of
// it being served and how far into that part.
enum class Part { kIdle, kNextEvent, kGap, kTransient, kContinuous };

// The process-wide core. Created once and never destroyed. Frames are rendered on the
// caller's thread as it asks for them: a frame costs its synthesis and nothing more, no
// hand-over to another thread, and an abandoned effect leaves nothing running behind.
class Core {
 public:
  int32_t Init(const brax_haptics_config& cfg);
  int32_t Process(const brax_haptic_event* events, uint32_t data_len);
  int32_t GetFrame(void* buffer, uint32_t* len);
  bool started() const { return started_.load(); }

 private:
  size_t Produce(Setup& s, uint8_t* out);
  bool BeginBody(Setup& s, const ConvertedEvent& ev, const OverlapEntry& overlap);
  size_t Emit(Setup& s, uint8_t* out, const int8_t* samples, size_t n);

  std::mutex init_lock_;  // serialises brax_haptics_init
  std::atomic<bool> started_{false};
  // Held while one frame is rendered, while an effect is installed and while the
  // configuration is swapped: a new effect waits for at most one frame of the old one.
  std::mutex state_lock_;
  std::unique_ptr<Setup> setup_;
  uint32_t event_count_ = 0;
  Part part_ = Part::kIdle;
  uint32_t event_ = 0;       // the event being served
  int64_t gap_left_ = 0;     // samples of its leading silence still to serve
  size_t transient_len_ = 0; // its resampled transient, served from transient_off_
  size_t transient_off_ = 0;
  int64_t skip_ = 0;         // samples of its continuous body that overlap the previous event
};

int32_t Core::Init(const brax_haptics_config& cfg) {
  std::lock_guard<std::mutex> init(init_lock_);
  if (!ValidConfig(cfg)) return BRAX_EINVAL;
  std::unique_ptr<Setup> setup = MakeSetup(cfg);
  if (!setup) return BRAX_ENOMEM;
  // A re-configuration leaves any effect: its state belongs to the old setup.
  std::lock_guard<std::mutex> state(state_lock_);
  setup_ = std::move(setup);
  event_count_ = 0;
  part_ = Part::kIdle;
  started_.store(true);
  return BRAX_OK;
}

int32_t Core::Process(const brax_haptic_event* events, uint32_t data_len) {
  if (data_len > BRAX_HE_MAX_DATA_LEN || (events == nullptr && data_len >= sizeof(brax_haptic_event))) {
    BRAX_LOGE("Invalid he event data\n");
    return BRAX_EINVAL;
  }
  // The effect that plays is abandoned where it stands: nothing more of it is rendered.
  std::lock_guard<std::mutex> state(state_lock_);
  Setup& s = *setup_;
  ConvertEvents(events, data_len, s.voice.rate, *s.events);
  ComputeOverlaps(events, data_len, s.voice.rate, *s.overlaps);
  event_count_ = EventCount(data_len);
  event_ = 0;
  part_ = Part::kNextEvent;
  return BRAX_OK;
}

int32_t Core::GetFrame(void* buffer, uint32_t* len) {
  std::lock_guard<std::mutex> state(state_lock_);
  *len = static_cast<uint32_t>(Produce(*setup_, static_cast<uint8_t*>(buffer)));
  return BRAX_OK;
}

size_t Core::Emit(Setup& s, uint8_t* out, const int8_t* samples, size_t n) {
  const size_t frame_bytes = static_cast<size_t>(s.frame_size) * s.bit_width;
  if (samples == nullptr) {
    std::memset(out, 0, frame_bytes);
  } else if (s.bit_width == 1) {
    std::memcpy(out, samples, n);
  } else {
    // 16-bit output carries the same drive, scaled to the wider range.
    for (size_t i = 0; i < n; ++i) {
      const auto v = static_cast<int16_t>(samples[i] * 256);
      std::memcpy(out + 2 * i, &v, sizeof v);
    }
  }
  return n;
}

// Prepares the body of an event after its gap; false when it has nothing to serve.
bool Core::BeginBody(Setup& s, const ConvertedEvent& ev, const OverlapEntry& overlap) {
  if (ev.kind == kKindTransient) {
    const std::span<const int8_t> wave = TransientWaveform(ev.transient_class, ev.intensity, s.voice.rate);
    int8_t* samples = s.samples.get();
    size_t len = ResampleTransient(wave, s.voice.f0, {samples, kResampleLen});
    // An event that starts before the previous one ended gives up its ring-down tail, so
    // that its click keeps its attack.
    const int64_t overlap_len = int64_t{overlap.overlap_ms} * s.voice.samples_per_ms;
    if (overlap.flag && overlap_len > 0 && overlap_len < static_cast<int64_t>(len)) {
      len -= static_cast<size_t>(overlap_len);
    }
    const double gain = TransientGain(ev.intensity);
    for (size_t i = 0; i < len; ++i) {
      const int v = static_cast<int>(gain * samples[i]);
      samples[i] = static_cast<int8_t>(std::clamp(v, -128, 127));
    }
    transient_len_ = len;
    transient_off_ = 0;
    part_ = Part::kTransient;
    return true;
  }
  if (!s.renderer->Start(ev)) return false;  // nothing of its own; the effect goes on
  // The part that overlaps the previous event is not played. It is passed over without
  // rendering where the renderer allows it; what must still be rendered (around the end of
  // the sustain, the stopping kick) is short.
  skip_ = overlap.flag ? std::max<int64_t>(0, int64_t{overlap.overlap_ms} * s.voice.samples_per_ms) : 0;
  part_ = Part::kContinuous;
  return true;
}

// Renders the next frame of the effect into out; 0 when the effect has ended (and for
// every request after that until the next effect is installed).
size_t Core::Produce(Setup& s, uint8_t* out) {
  const int64_t spms = s.voice.samples_per_ms;
  const auto frame = static_cast<size_t>(s.frame_size);
  for (;;) {
    switch (part_) {
      case Part::kIdle:
        return 0;
      case Part::kNextEvent: {
        if (event_ >= event_count_) {
          part_ = Part::kIdle;
          return 0;
        }
        const ConvertedEvent& ev = (*s.events)[event_];
        if (ev.kind != kKindTransient && ev.kind != kKindContinuous) {
          BRAX_LOGE("Invalid HE event\n");
          part_ = Part::kIdle;
          return 0;
        }
        gap_left_ = ev.gap_ms >= 1 ? ev.gap_ms * spms : 0;
        part_ = Part::kGap;
        break;
      }
      case Part::kGap:
        if (gap_left_ > 0) {
          const size_t n = static_cast<size_t>(std::min<int64_t>(s.frame_size, gap_left_));
          gap_left_ -= static_cast<int64_t>(n);
          return Emit(s, out, nullptr, n);
        }
        if (!BeginBody(s, (*s.events)[event_], (*s.overlaps)[event_])) {
          ++event_;
          part_ = Part::kNextEvent;
        }
        break;
      case Part::kTransient:
        if (transient_off_ < transient_len_) {
          const size_t n = std::min(transient_len_ - transient_off_, frame);
          const size_t off = transient_off_;
          transient_off_ += n;
          return Emit(s, out, s.samples.get() + off, n);
        }
        ++event_;
        part_ = Part::kNextEvent;
        break;
      case Part::kContinuous: {
        ContinuousRenderer& r = *s.renderer;
        int8_t* chunk = s.samples.get();
        if (skip_ > 0) skip_ -= r.Skip(skip_);
        const size_t n = r.Next(chunk, frame);
        if (n == 0) {
          ++event_;
          part_ = Part::kNextEvent;
          break;
        }
        if (skip_ >= static_cast<int64_t>(n)) {
          skip_ -= static_cast<int64_t>(n);
          break;
        }
        const auto first = static_cast<size_t>(skip_);
        skip_ = 0;
        return Emit(s, out, chunk + first, n - first);
      }
    }
  }
}

Core* TheCore() {
  static Core* core = new (std::nothrow) Core;
  return core;
}

}  // namespace
}  // namespace brax

VENDOR_EXPORT int32_t brax_haptics_init(const brax_haptics_config* config) {
  BRAX_LOGD("%s\n", "BRAX Thrumwave core v1.0.9_20220620 24k 0809 for Quon Haptics");
  BRAX_LOGD("support device type:%s\n", "TAG-Quon_M3-0809");
  brax::Core* core = brax::TheCore();
  if (core == nullptr) {
    BRAX_LOGE("malloc haptics failed\n");
    return BRAX_ENOMEM;
  }
  if (config == nullptr) {
    BRAX_LOGE("Invalid config\n");
    return BRAX_EINVAL;
  }
  return core->Init(*config);
}

VENDOR_EXPORT int32_t brax_haptics_process(const brax_haptic_event* events, uint32_t data_len) {
  brax::Core* core = brax::TheCore();
  if (core == nullptr || !core->started()) {
    BRAX_LOGE("haptics core not initialised\n");
    return BRAX_EINVAL;
  }
  return core->Process(events, data_len);
}

VENDOR_EXPORT int32_t brax_haptics_get_frame(void* buffer, uint32_t* len) {
  brax::Core* core = brax::TheCore();
  if (len != nullptr) *len = 0;
  if (buffer == nullptr || len == nullptr || core == nullptr || !core->started()) {
    BRAX_LOGE("Invalid frame request\n");
    return BRAX_EINVAL;
  }
  return core->GetFrame(buffer, len);
}
