// The three entry points, the process-wide state and the worker that renders an effect
// frame by frame in a semaphore handshake with the caller.

#include <pthread.h>
#include <semaphore.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
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

void WaitSem(sem_t* sem) {
  while (sem_wait(sem) != 0 && errno == EINTR) {
  }
}

// The process-wide core. Created once and never destroyed: the detached worker may be
// blocked on its semaphores when the process exits.
class Core {
 public:
  int32_t Init(const brax_haptics_config& cfg);
  int32_t Process(const brax_haptic_event* events, uint32_t data_len);
  int32_t GetFrame(void* buffer, uint32_t* len);
  bool started() const { return started_.load(); }

 private:
  static void* WorkerMain(void* self);
  void Worker();
  void RunEffect(Setup& s);
  bool ServeSilence(Setup& s, int64_t samples);
  bool ServeTransient(Setup& s, const ConvertedEvent& ev, const OverlapEntry& overlap);
  bool ServeContinuous(Setup& s, const ConvertedEvent& ev, const OverlapEntry& overlap);
  bool ServeFrame(Setup& s, const int8_t* samples, size_t n);
  bool AwaitRequest();
  bool TakeRequest();
  void Answer(uint32_t len);
  void FinishEffect();
  void Abandon();

  std::mutex init_lock_;  // serialises brax_haptics_init
  std::atomic<bool> started_{false};
  sem_t process_sem_{};
  sem_t data_sem_{};
  sem_t frame_sem_{};
  std::mutex state_lock_;  // held by the worker for a whole effect, by process to install one
  std::atomic<uint8_t> idle_{1};
  std::unique_ptr<Setup> setup_;
  uint32_t event_count_ = 0;
  void* out_buffer_ = nullptr;  // handed over by each frame request
  uint32_t frame_len_ = 0;      // answered with each frame
  // Frame requests not yet answered. data_sem_ is also posted to wake the worker when an
  // effect is abandoned; only a counted request is answered, so no answer is ever left
  // for a reader who is not waiting (it would end the next effect early, and the worker
  // would write into a buffer its reader has given up).
  std::atomic<uint32_t> requests_{0};
};

int32_t Core::Init(const brax_haptics_config& cfg) {
  std::lock_guard<std::mutex> init(init_lock_);
  if (!ValidConfig(cfg)) return BRAX_EINVAL;
  std::unique_ptr<Setup> setup = MakeSetup(cfg);
  if (!setup) return BRAX_ENOMEM;

  if (started_.load()) {
    // Re-configuration: leave any effect, then swap the configuration under the state lock.
    Abandon();
    std::lock_guard<std::mutex> state(state_lock_);
    setup_ = std::move(setup);
    event_count_ = 0;
    return BRAX_OK;
  }
  if (sem_init(&process_sem_, 0, 0) != 0) {
    BRAX_LOGE("semaphore process init failed %d\n", -errno);
    return -errno;
  }
  if (sem_init(&data_sem_, 0, 0) != 0) {
    BRAX_LOGE("semphore data init failed %d\n", -errno);
    return -errno;
  }
  // The caller waits on this one for every frame.
  if (sem_init(&frame_sem_, 0, 0) != 0) {
    BRAX_LOGE("semaphore frame init failed %d\n", -errno);
    return -errno;
  }
  setup_ = std::move(setup);
  pthread_t worker;
  const int rc = pthread_create(&worker, nullptr, &Core::WorkerMain, this);
  if (rc != 0) {
    BRAX_LOGE("create process failed %d\n", -rc);
    return -rc;
  }
  pthread_detach(worker);
  started_.store(true);
  return BRAX_OK;
}

void Core::Abandon() {
  uint8_t running = 0;
  if (idle_.compare_exchange_strong(running, 1)) sem_post(&data_sem_);
}

int32_t Core::Process(const brax_haptic_event* events, uint32_t data_len) {
  if (data_len > BRAX_HE_MAX_DATA_LEN || (events == nullptr && data_len >= sizeof(brax_haptic_event))) {
    BRAX_LOGE("Invalid he event data\n");
    return BRAX_EINVAL;
  }
  Abandon();
  std::lock_guard<std::mutex> state(state_lock_);
  Setup& s = *setup_;
  ConvertEvents(events, data_len, s.voice.rate, *s.events);
  ComputeOverlaps(events, data_len, s.voice.rate, *s.overlaps);
  event_count_ = EventCount(data_len);
  // Wake-ups of the abandon must not count as requests for this effect; requests still
  // waiting for an answer keep theirs.
  while (sem_trywait(&data_sem_) == 0) {
  }
  for (uint32_t n = requests_.load(); n > 0; --n) sem_post(&data_sem_);
  // Running before the worker sees it, so that its first frame is not taken for abandoned.
  idle_.store(0);
  sem_post(&process_sem_);
  return BRAX_OK;
}

int32_t Core::GetFrame(void* buffer, uint32_t* len) {
  out_buffer_ = buffer;
  requests_.fetch_add(1);
  sem_post(&data_sem_);
  WaitSem(&frame_sem_);
  *len = frame_len_;
  return BRAX_OK;
}

void* Core::WorkerMain(void* self) {
  static_cast<Core*>(self)->Worker();
  return nullptr;
}

void Core::Worker() {
  for (;;) {
    WaitSem(&process_sem_);
    std::lock_guard<std::mutex> state(state_lock_);
    RunEffect(*setup_);
    FinishEffect();
  }
}

bool Core::TakeRequest() {
  uint32_t n = requests_.load();
  while (n > 0) {
    if (requests_.compare_exchange_weak(n, n - 1)) return true;
  }
  return false;
}

bool Core::AwaitRequest() {
  for (;;) {
    WaitSem(&data_sem_);
    if (TakeRequest()) return true;
    if (idle_.load() != 0) return false;  // woken by an abandon, nobody asked
  }
}

void Core::Answer(uint32_t len) {
  frame_len_ = len;
  sem_post(&frame_sem_);
}

// An effect that played to its end answers the next request with a frame of length 0. An
// abandoned one answers only a reader already waiting, who learns that its effect ended.
void Core::FinishEffect() {
  if (idle_.load() == 0) {
    if (AwaitRequest()) {
      Answer(0);
      uint8_t running = 0;
      idle_.compare_exchange_strong(running, 1);
      return;
    }
  }
  if (TakeRequest()) Answer(0);
}

void Core::RunEffect(Setup& s) {
  const int64_t spms = s.voice.samples_per_ms;
  for (uint32_t i = 0; i < event_count_ && idle_.load() == 0; ++i) {
    const ConvertedEvent& ev = (*s.events)[i];
    if (ev.kind != kKindTransient && ev.kind != kKindContinuous) {
      BRAX_LOGE("Invalid HE event\n");
      return;
    }
    if (ev.gap_ms >= 1 && !ServeSilence(s, ev.gap_ms * spms)) return;
    if (idle_.load() != 0) return;
    const OverlapEntry& o = (*s.overlaps)[i];
    const bool served = ev.kind == kKindTransient ? ServeTransient(s, ev, o) : ServeContinuous(s, ev, o);
    if (!served) return;
  }
}

bool Core::ServeFrame(Setup& s, const int8_t* samples, size_t n) {
  if (!AwaitRequest()) return false;
  if (idle_.load() != 0) {
    Answer(0);  // the effect was abandoned while its reader waited
    return false;
  }
  const size_t frame_bytes = static_cast<size_t>(s.frame_size) * s.bit_width;
  uint8_t* out = static_cast<uint8_t*>(out_buffer_);
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
  Answer(static_cast<uint32_t>(n));
  return true;
}

bool Core::ServeSilence(Setup& s, int64_t samples) {
  while (samples > 0) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(s.frame_size, samples));
    if (!ServeFrame(s, nullptr, n)) return false;
    samples -= static_cast<int64_t>(n);
  }
  return true;
}

bool Core::ServeTransient(Setup& s, const ConvertedEvent& ev, const OverlapEntry& overlap) {
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
  for (size_t off = 0; off < len; off += static_cast<size_t>(s.frame_size)) {
    const size_t n = std::min(len - off, static_cast<size_t>(s.frame_size));
    if (!ServeFrame(s, samples + off, n)) return false;
  }
  return true;
}

bool Core::ServeContinuous(Setup& s, const ConvertedEvent& ev, const OverlapEntry& overlap) {
  ContinuousRenderer& r = *s.renderer;
  if (!r.Start(ev)) return true;  // nothing of its own; the effect goes on
  // The part that overlaps the previous event is not played. It is passed over without
  // rendering where the renderer allows it; what must still be rendered (around the end of
  // the sustain, the stopping kick) is short, and an abandoned effect stops it at once.
  int64_t skip = overlap.flag ? std::max<int64_t>(0, int64_t{overlap.overlap_ms} * s.voice.samples_per_ms) : 0;
  int8_t* chunk = s.samples.get();
  for (;;) {
    if (skip > 0) skip -= r.Skip(skip);
    const size_t n = r.Next(chunk, static_cast<size_t>(s.frame_size));
    if (n == 0) return true;
    if (skip >= static_cast<int64_t>(n)) {
      skip -= static_cast<int64_t>(n);
      if (idle_.load() != 0) return false;
      continue;
    }
    const auto first = static_cast<size_t>(skip);
    skip = 0;
    if (!ServeFrame(s, chunk + first, n - first)) return false;
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
