// The recording sink: a PCM that keeps every write, for tests and the demo.
#include <errno.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "backend.h"
#include "platform_tinyalsa_test.h"

namespace platform_tinyalsa {

namespace {

struct Sink {
  std::mutex lock;  // guards everything below
  std::condition_variable recorded;
  bool inUse = false;
  bool paced = false;
  std::vector<std::vector<uint8_t>> periods;
  std::vector<std::string> events;
  pcm_config lastConfig{};
  std::string failOpen;
  int failWrites = 0;
  // The test clock: when set, paced writes wait for it instead of the real one.
  bool testClock = false;
  std::chrono::nanoseconds testNow{0};
  std::condition_variable clockMoved;
  size_t blockedWrites = 0;               // writes waiting for the test clock
  std::chrono::nanoseconds blockedUntil{0};  // and the time the last of them waits for
};

Sink& sink() {
  static Sink* instance = new Sink();  // lives for the process
  return *instance;
}

void note(const std::string& event) {
  std::lock_guard<std::mutex> lock(sink().lock);
  sink().events.push_back(event);
}

class SinkPcm : public PcmBackend {
 public:
  SinkPcm(const PcmParams& params, bool paced) : mParams(params), mPaced(paced) {}
  ~SinkPcm() override { note("close"); }

  int write(const void* data, size_t bytes) override {
    Sink& s = sink();
    {
      std::lock_guard<std::mutex> lock(s.lock);
      if (s.failWrites != 0) return s.failWrites;
      const auto* b = static_cast<const uint8_t*>(data);
      s.periods.emplace_back(b, b + bytes);
    }
    s.recorded.notify_all();
    if (!mStarted) {
      mStarted = true;
      mStart = now();
    }
    mFrames += bytes / mParams.frameBytes;
    if (mPaced) pace();
    return 0;
  }
  int prepare() override {
    note("prepare");
    mStarted = false;
    mFrames = 0;
    return 0;
  }
  int start() override {
    note("start");
    return 0;
  }
  int stop() override {
    note("stop");
    mStarted = false;
    mFrames = 0;
    return 0;
  }
  int drain() override {
    note("drain");
    if (mPaced && mStarted) sleepUntil(mStart + framesToTime(mFrames));
    mStarted = false;
    mFrames = 0;
    return 0;
  }

 private:
  std::chrono::nanoseconds framesToTime(uint64_t frames) const {
    return std::chrono::nanoseconds(frames * 1000000000ull / mParams.rate);
  }
  // A device takes data a buffer ahead of what it has played.
  void pace() {
    uint64_t buffered = uint64_t{mParams.periodSize} * mParams.periodCount;
    if (mFrames > buffered) sleepUntil(mStart + framesToTime(mFrames - buffered));
  }
  // Time on the clock the sink paces by: the real one, or the test's.
  static std::chrono::nanoseconds now() {
    {
      std::lock_guard<std::mutex> lock(sink().lock);
      if (sink().testClock) return sink().testNow;
    }
    return std::chrono::steady_clock::now().time_since_epoch();
  }
  static void sleepUntil(std::chrono::nanoseconds when) {
    Sink& s = sink();
    std::unique_lock<std::mutex> lock(s.lock);
    if (s.testClock) {
      ++s.blockedWrites;
      s.blockedUntil = when;
      s.clockMoved.notify_all();
      s.clockMoved.wait(lock, [&] { return !s.testClock || s.testNow >= when; });
      --s.blockedWrites;
      return;
    }
    lock.unlock();
    std::this_thread::sleep_until(std::chrono::steady_clock::time_point(
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(when)));
  }

  PcmParams mParams;
  bool mPaced;
  bool mStarted = false;
  std::chrono::nanoseconds mStart{0};
  uint64_t mFrames = 0;
};

}  // namespace

bool sinkInUse() {
  std::lock_guard<std::mutex> lock(sink().lock);
  return sink().inUse;
}

std::unique_ptr<PcmBackend> openSink(const PcmParams& params, std::string* error) {
  Sink& s = sink();
  std::lock_guard<std::mutex> lock(s.lock);
  if (!s.failOpen.empty()) {
    *error = s.failOpen;
    s.failOpen.clear();
    return nullptr;
  }
  s.events.push_back("open " + std::to_string(params.card) + " " + std::to_string(params.device));
  s.lastConfig = pcm_config{};
  s.lastConfig.channels = params.channels;
  s.lastConfig.rate = params.rate;
  s.lastConfig.period_size = params.periodSize;
  s.lastConfig.period_count = params.periodCount;
  s.lastConfig.format = static_cast<pcm_format>(params.format);
  s.lastConfig.start_threshold = params.startThreshold;
  s.lastConfig.stop_threshold = params.stopThreshold;
  s.lastConfig.silence_threshold = params.silenceThreshold;
  return std::make_unique<SinkPcm>(params, s.paced);
}

}  // namespace platform_tinyalsa

namespace platform_tinyalsa_test {

using platform_tinyalsa::sink;

void useRecordingSink(bool paced) {
  std::lock_guard<std::mutex> lock(sink().lock);
  sink().inUse = true;
  sink().paced = paced;
  sink().testClock = false;
  sink().clockMoved.notify_all();
}

void clearRecording() {
  std::lock_guard<std::mutex> lock(sink().lock);
  sink().periods.clear();
  sink().events.clear();
  sink().failOpen.clear();
  sink().failWrites = 0;
}

void useAlsa() {
  clearRecording();
  std::lock_guard<std::mutex> lock(sink().lock);
  sink().inUse = false;
  sink().testClock = false;  // no write is left waiting for a clock nobody moves
  sink().clockMoved.notify_all();
}

void useRecordingSinkOnTestClock() {
  std::lock_guard<std::mutex> lock(sink().lock);
  sink().inUse = true;
  sink().paced = true;
  sink().testClock = true;
  sink().testNow = std::chrono::nanoseconds(0);
}

void advanceClock(std::chrono::nanoseconds step) {
  std::lock_guard<std::mutex> lock(sink().lock);
  sink().testNow += step;
  sink().clockMoved.notify_all();
}

bool waitForBlockedWrite(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(sink().lock);
  // A write whose time has come but which has not yet left does not count.
  return sink().clockMoved.wait_for(lock, timeout,
                                    [] { return sink().blockedWrites > 0 && sink().blockedUntil > sink().testNow; });
}

std::vector<std::vector<uint8_t>> periods() {
  std::lock_guard<std::mutex> lock(sink().lock);
  return sink().periods;
}

std::vector<uint8_t> recordedBytes() {
  std::lock_guard<std::mutex> lock(sink().lock);
  std::vector<uint8_t> all;
  for (const auto& p : sink().periods) all.insert(all.end(), p.begin(), p.end());
  return all;
}

bool waitForPeriods(size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(sink().lock);
  return sink().recorded.wait_for(lock, timeout, [&] { return sink().periods.size() >= count; });
}

std::vector<std::string> events() {
  std::lock_guard<std::mutex> lock(sink().lock);
  return sink().events;
}

pcm_config lastConfig() {
  std::lock_guard<std::mutex> lock(sink().lock);
  return sink().lastConfig;
}

void failNextOpen(const std::string& error) {
  std::lock_guard<std::mutex> lock(sink().lock);
  sink().failOpen = error.empty() ? "cannot open device" : error;
}

void failWrites(int error) {
  std::lock_guard<std::mutex> lock(sink().lock);
  sink().failWrites = error;
}

bool writeWav(const std::string& path, uint32_t rate, uint16_t channels, uint16_t bits,
              const std::vector<uint8_t>& bytes) {
  if (rate == 0 || channels == 0 || bits == 0 || bits % 8 != 0 ||
      bytes.size() > 0xffffffffu - 36) {
    return false;
  }
  uint16_t blockAlign = static_cast<uint16_t>(channels * (bits / 8));
  uint32_t dataSize = static_cast<uint32_t>(bytes.size());
  uint8_t header[44];
  auto put16 = [&](size_t at, uint16_t v) {
    header[at] = static_cast<uint8_t>(v);
    header[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  auto put32 = [&](size_t at, uint32_t v) {
    put16(at, static_cast<uint16_t>(v));
    put16(at + 2, static_cast<uint16_t>(v >> 16));
  };
  std::memcpy(header, "RIFF", 4);
  put32(4, 36 + dataSize);
  std::memcpy(header + 8, "WAVEfmt ", 8);
  put32(16, 16);  // size of the format chunk
  put16(20, 1);   // linear PCM
  put16(22, channels);
  put32(24, rate);
  put32(28, rate * blockAlign);
  put16(32, blockAlign);
  put16(34, bits);
  std::memcpy(header + 36, "data", 4);
  put32(40, dataSize);
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
  if (file == nullptr) return false;
  return std::fwrite(header, 1, sizeof(header), file.get()) == sizeof(header) &&
         std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size() &&
         std::fflush(file.get()) == 0;
}

}  // namespace platform_tinyalsa_test
