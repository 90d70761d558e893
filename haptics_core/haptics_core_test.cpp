// Drives the real libbraxhaptics.so through dlopen, as the vibrator service does.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <future>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "brax_haptics.h"
#include "he_events.h"
#include "synthesis.h"
#include "transient_waveforms.h"
#include "test_log_capture.h"
#include "vendor_test/alloc_counter.h"

namespace {

struct Lib {
  decltype(&brax_haptics_init) init = nullptr;
  decltype(&brax_haptics_process) process = nullptr;
  decltype(&brax_haptics_get_frame) get_frame = nullptr;
};

// The core's worker lives as long as the process: the library is loaded once and kept.
const Lib& Core() {
  static const Lib lib = [] {
    Lib l;
    void* h = dlopen(VENDOR_PLUGIN_DIR "/libbraxhaptics.so", RTLD_NOW);
    if (h == nullptr) return l;
    l.init = reinterpret_cast<decltype(l.init)>(dlsym(h, "brax_haptics_init"));
    l.process = reinterpret_cast<decltype(l.process)>(dlsym(h, "brax_haptics_process"));
    l.get_frame = reinterpret_cast<decltype(l.get_frame)>(dlsym(h, "brax_haptics_get_frame"));
    return l;
  }();
  return lib;
}

// Lengths of the recorded transients used here (samples, strong band).
constexpr int kClass6Strong24k = 408;
constexpr int kClass6Strong48k = 816;
constexpr int kClass8Strong24k = 275;
constexpr int kClass3Strong48k = 1056;

brax_haptic_event Transient(int32_t start, int32_t intensity, int32_t frequency) {
  brax_haptic_event e;
  std::memset(&e, 0, sizeof e);
  e.type = BRAX_HE_TRANSIENT;
  e.start_time = start;
  e.intensity = intensity;
  e.frequency = frequency;
  return e;
}

brax_haptic_event Continuous(int32_t start, const int32_t (&times)[4]) {
  brax_haptic_event e;
  std::memset(&e, 0, sizeof e);
  e.type = BRAX_HE_CONTINUOUS;
  e.start_time = start;
  e.intensity = 100;
  e.frequency = 50;
  e.duration = times[3];
  const int32_t level[4] = {0, 100, 100, 0};
  for (int j = 0; j < 4; ++j) e.points[j] = {times[j], level[j], 0};
  return e;
}

struct Frame {
  uint32_t len;
  std::vector<uint8_t> bytes;
  bool silent() const {
    for (uint8_t b : bytes) {
      if (b != 0) return false;
    }
    return true;
  }
};

// The core is initialised once per process and its worker lives as long as the process:
// every case runs in a fresh process of its own (a re-executed child), so no case sees the
// core as another left it, whatever the order or the number of repetitions.
class HapticsCore : public ::testing::Test {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ASSERT_NE(Core().init, nullptr) << dlerror();
    ASSERT_NE(Core().process, nullptr);
    ASSERT_NE(Core().get_frame, nullptr);
  }

  // Runs body in the child; the case passes when the child ends without a failure.
  template <typename Body>
  static void InFreshProcess(Body body) {
    EXPECT_EXIT(
        {
          body();
          std::_Exit(::testing::Test::HasFailure() ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
  }

  void Configure(int32_t frame_size, int32_t rate, int32_t width, int32_t f0) {
    const brax_haptics_config cfg = {frame_size, rate, width, f0};
    ASSERT_EQ(Core().init(&cfg), 0);
    frame_bytes_ = static_cast<size_t>(frame_size) * width;
    width_ = static_cast<size_t>(width);
  }

  int32_t Play(const std::vector<brax_haptic_event>& events) {
    return Core().process(events.data(), static_cast<uint32_t>(events.size() * sizeof(brax_haptic_event)));
  }

  // Pulls frames up to the one of length 0 (not returned). Each frame keeps the bytes its
  // length covers.
  std::vector<Frame> Drain(size_t max_frames = 100000) {
    std::vector<Frame> frames;
    std::vector<uint8_t> buf(2048, 0xA5);
    for (size_t i = 0; i < max_frames; ++i) {
      uint32_t len = 12345;
      EXPECT_EQ(Core().get_frame(buf.data(), &len), 0);
      if (len == 0) return frames;
      EXPECT_LE(len * width(), frame_bytes_);
      frames.push_back({len, std::vector<uint8_t>(buf.begin(), buf.begin() + len * width())});
    }
    ADD_FAILURE() << "no frame of length 0 after " << max_frames << " frames";
    return frames;
  }

  static size_t Total(const std::vector<Frame>& frames) {
    size_t n = 0;
    for (const auto& f : frames) n += f.len;
    return n;
  }

  size_t width() const { return width_; }

  size_t frame_bytes_ = 0;
  size_t width_ = 1;
};

TEST_F(HapticsCore, RefusesWorkBeforeInit) {
  InFreshProcess([&] {
    brax_haptic_event e = Transient(0, 100, 50);
    EXPECT_EQ(Core().process(&e, sizeof e), -1);
    uint8_t buf[512];
    uint32_t len = 99;
    EXPECT_EQ(Core().get_frame(buf, &len), -1);
    EXPECT_EQ(len, 0u);
  });
}

TEST_F(HapticsCore, RejectsBadConfigurations) {
  InFreshProcess([&] {
    brax_test::LogCapture logs;
    const struct {
      brax_haptics_config cfg;
      const char* message;
    } cases[] = {
        {{500, 24000, 1, 170}, "Invalid frame size value\n"}, {{2048, 24000, 1, 170}, "Invalid frame size value\n"},
        {{0, 24000, 1, 170}, "Invalid frame size value\n"},   {{512, 44100, 1, 170}, "Invalid sample rate\n"},
        {{512, 16000, 1, 170}, "Invalid sample rate\n"},      {{512, 24000, 3, 170}, "Invalid bit width\n"},
        {{512, 24000, 0, 170}, "Invalid bit width\n"},        {{512, 24000, 1, 0}, "Invalid f0 value 0\n"},
        {{512, 24000, 1, -170}, "Invalid f0 value -170\n"},   {{512, 48000, 2, 29}, "Invalid f0 value 29\n"},
        {{512, 48000, 2, 501}, "Invalid f0 value 501\n"},
    };
    for (const auto& c : cases) {
      const int before = logs.Count(c.message);
      EXPECT_EQ(Core().init(&c.cfg), -1) << c.message;
      EXPECT_EQ(logs.Count(c.message), before + 1) << c.message;
    }
    EXPECT_EQ(Core().init(nullptr), -1);
    // Nothing was set up by the refusals.
    brax_haptic_event e = Transient(0, 100, 50);
    EXPECT_EQ(Core().process(&e, sizeof e), -1);
    Configure(512, 24000, 1, 170);
    EXPECT_EQ(logs.Count("Invalid config\n"), 1);
  });
}

TEST_F(HapticsCore, RejectsBadEffectsAndPointers) {
  InFreshProcess([&] {
    brax_test::LogCapture logs;
    Configure(512, 24000, 1, 176);
    std::vector<brax_haptic_event> events;
    for (int i = 0; i < BRAX_HE_MAX_EVENTS; ++i) events.push_back(Transient(i * 30, 100, 50));
    events.push_back(Transient(0, 0, 0));
    EXPECT_EQ(Core().process(events.data(), 1089), -1);
    EXPECT_EQ(Core().process(events.data(), 17 * 68), -1);
    EXPECT_EQ(Core().process(nullptr, 68), -1);
    EXPECT_EQ(logs.Count("Invalid he event data\n"), 3);
    uint8_t buf[512];
    uint32_t len = 7;
    EXPECT_EQ(Core().get_frame(nullptr, &len), -1);
    EXPECT_EQ(len, 0u);
    EXPECT_EQ(Core().get_frame(buf, nullptr), -1);

    // 1088 bytes are 16 events: every one of them plays.
    ASSERT_EQ(Core().process(events.data(), 1088), 0);
    const auto frames = Drain();
    size_t sound = 0;
    for (const auto& f : frames) sound += f.silent() ? 0 : f.len;
    EXPECT_EQ(sound, 16u * kClass6Strong24k);
  });
}

TEST_F(HapticsCore, EmptyEffectEndsAtOnce) {
  InFreshProcess([&] {
    Configure(512, 24000, 1, 170);
    brax_haptic_event e = Transient(0, 100, 50);
    ASSERT_EQ(Core().process(&e, 0), 0);
    uint8_t buf[512];
    uint32_t len = 1;
    EXPECT_EQ(Core().get_frame(buf, &len), 0);
    EXPECT_EQ(len, 0u);
    // A trailing partial event (fewer than 68 bytes) is not an event either.
    ASSERT_EQ(Core().process(&e, 67), 0);
    EXPECT_EQ(Core().get_frame(buf, &len), 0);
    EXPECT_EQ(len, 0u);
  });
}

TEST_F(HapticsCore, LeadingGapIsServedAsSilence) {
  InFreshProcess([&] {
    Configure(512, 24000, 1, 176);
    ASSERT_EQ(Play({Transient(100, 100, 50)}), 0);
    const auto frames = Drain();
    ASSERT_EQ(frames.size(), 6u);
    const uint32_t silence[] = {512, 512, 512, 512, 352};
    for (size_t i = 0; i < 5; ++i) {
      EXPECT_EQ(frames[i].len, silence[i]) << i;
      EXPECT_TRUE(frames[i].silent()) << i;
    }
    EXPECT_EQ(frames[5].len, static_cast<uint32_t>(kClass6Strong24k));  // played at its stored length
    EXPECT_FALSE(frames[5].silent());
  });
}

TEST_F(HapticsCore, TransientIsStretchedToALowerF0) {
  InFreshProcess([&] {
    Configure(256, 24000, 1, 160);
    ASSERT_EQ(Play({Transient(0, 100, 80)}), 0);  // class 8, strong
    const auto frames = Drain();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].len, 256u);
    EXPECT_EQ(Total(frames), static_cast<size_t>(kClass8Strong24k * 176 / 160));  // 302
    EXPECT_FALSE(frames[0].silent());
  });
}

// 1056 * 176 / 30 = 6195 samples would not fit the 4096-sample resampling buffer.
TEST_F(HapticsCore, LowF0TransientIsBoundedByItsBuffer) {
  InFreshProcess([&] {
    brax_test::LogCapture logs;
    Configure(1024, 48000, 1, 30);
    ASSERT_EQ(Play({Transient(0, 100, 0)}), 0);  // class 3, strong
    const auto frames = Drain();
    EXPECT_EQ(Total(frames), 4096u);
    EXPECT_GT(kClass3Strong48k * 176 / 30, 4096);
    EXPECT_EQ(logs.Count("resampled transient of 6195 samples cut to 4096\n"), 1);
  });
}

// With no sustain the event is its 20 ms attack and 20 ms release: 960 samples at 24 kHz.
TEST_F(HapticsCore, ContinuousEventRendersItsEnvelope) {
  InFreshProcess([&] {
    Configure(512, 24000, 1, 170);
    ASSERT_EQ(Play({Continuous(0, {0, 20, 20, 40})}), 0);
    const auto frames = Drain();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].len, 512u);
    EXPECT_EQ(frames[1].len, 448u);
    EXPECT_FALSE(frames[0].silent());
  });
}

// The same effect at 16 bits carries the same drive, scaled by 256.
TEST_F(HapticsCore, SixteenBitOutputMatchesEightBit) {
  InFreshProcess([&] {
    const std::vector<brax_haptic_event> effect = {Transient(0, 100, 50), Continuous(30, {0, 10, 10, 30})};
    Configure(1024, 24000, 1, 170);
    ASSERT_EQ(Play(effect), 0);
    const auto narrow = Drain();
    Configure(1024, 24000, 2, 170);
    ASSERT_EQ(Play(effect), 0);
    const auto wide = Drain();
    ASSERT_EQ(narrow.size(), wide.size());
    for (size_t f = 0; f < narrow.size(); ++f) {
      ASSERT_EQ(narrow[f].len, wide[f].len) << f;
      for (size_t i = 0; i < narrow[f].len; ++i) {
        int16_t v;
        std::memcpy(&v, &wide[f].bytes[2 * i], 2);
        ASSERT_EQ(v, static_cast<int8_t>(narrow[f].bytes[i]) * 256) << f << ":" << i;
      }
    }
  });
}

// Sixteen 18 ms transients 20 ms apart, the last one 10 ms after the 15th: 14 gaps of
// 2 ms, and the 16th overlaps the 15th by 8 ms, which it gives up.
TEST_F(HapticsCore, SixteenthEventOverlapIsHonoured) {
  InFreshProcess([&] {
    Configure(512, 24000, 1, 176);
    std::vector<brax_haptic_event> events;
    for (int i = 0; i < 15; ++i) events.push_back(Transient(i * 20, 100, 50));
    events.push_back(Transient(14 * 20 + 10, 100, 50));
    ASSERT_EQ(Play(events), 0);
    const auto frames = Drain();
    const int duration_ms = kClass6Strong24k / 24 + 1;  // 18
    ASSERT_EQ(duration_ms, 18);
    size_t silent_frames = 0, silence = 0, sound = 0;
    for (const auto& f : frames) {
      if (f.silent()) {
        ++silent_frames;
        silence += f.len;
      } else {
        sound += f.len;
      }
    }
    EXPECT_EQ(silent_frames, 14u);
    EXPECT_EQ(silence, 14u * (20 - duration_ms) * 24);
    EXPECT_EQ(sound, 16u * kClass6Strong24k - 8 * 24);
  });
}

// A new effect abandons the running one, as the service installs it: from the reading
// thread, in the middle of a long effect. The new effect plays whole, at once, with nothing
// of the old one before it.
TEST_F(HapticsCore, NewEffectAbandonsTheRunningOne) {
  InFreshProcess([&] {
    Configure(512, 24000, 1, 176);
    ASSERT_EQ(Play({Continuous(0, {0, 100, 9900, 10000})}), 0);
    std::vector<uint8_t> buf(512);
    uint32_t len = 0;
    for (int i = 0; i < 5; ++i) {
      ASSERT_EQ(Core().get_frame(buf.data(), &len), 0);
      ASSERT_EQ(len, 512u);
    }
    const brax_haptic_event next = Transient(0, 100, 50);
    ASSERT_EQ(Core().process(&next, sizeof next), 0);
    const auto frames = Drain();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].len, static_cast<uint32_t>(kClass6Strong24k));
  });
}

// A reader that stops before the frame of length 0 and installs the next effect gets that
// effect whole: no answer left over from the abandoned one ends it early, and no frame is
// written into a buffer its reader has given up.
TEST_F(HapticsCore, NextEffectAfterAnUnfinishedReadPlaysWhole) {
  InFreshProcess([&] {
    Configure(512, 24000, 1, 176);
    for (int round = 0; round < 3; ++round) {
      ASSERT_EQ(Play({Transient(0, 100, 50)}), 0);
      {
        std::vector<uint8_t> buf(512);
        uint32_t len = 0;
        ASSERT_EQ(Core().get_frame(buf.data(), &len), 0);
        ASSERT_EQ(len, static_cast<uint32_t>(kClass6Strong24k)) << round;
      }  // the frame of length 0 is never asked for
      ASSERT_EQ(Play({Transient(0, 100, 50), Transient(100, 100, 50)}), 0);
      const auto frames = Drain();
      size_t sound = 0;
      for (const auto& f : frames) sound += f.silent() ? 0 : f.len;
      EXPECT_EQ(sound, 2u * kClass6Strong24k) << round;
    }
  });
}

// An event that starts as the previous one starts, after a previous event that claims to
// last 2^31 ms, is passed over as far as it overlaps: the effect ends with the first event
// instead of rendering and discarding its 2 * 10^9 ms sustain while the reader waits.
TEST_F(HapticsCore, LongOverlapIsPassedOverWithoutRendering) {
  InFreshProcess([&] {
    Configure(512, 24000, 1, 170);
    brax_haptic_event first = Continuous(0, {0, 10, 10, 20});
    first.duration = INT32_MAX;
    const brax_haptic_event second = Continuous(0, {0, 10, 2000000000, 2000000010});
    ASSERT_EQ(Play({first}), 0);
    const size_t alone = Total(Drain());
    ASSERT_GT(alone, 0u);

    ASSERT_EQ(Play({first, second}), 0);
    auto drained = std::async(std::launch::async, [this] { return Total(Drain()); });
    if (drained.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
      ADD_FAILURE() << "the reader is still waiting for a frame";
      std::_Exit(1);  // the worker cannot be stopped: leave the process
    }
    // Of the second event only what lies past its stated times can play: the end of a
    // sustain stretched to a crest and the stopping kick, never its long sustain.
    const size_t total = drained.get();
    EXPECT_GE(total, alone);
    EXPECT_LT(total, alone + 1024);

    // A partial overlap of a long event: only what overlaps is passed over, the rest plays
    // (bounded here by the reader, who then installs the next effect).
    brax_haptic_event lead = Continuous(0, {0, 10, 10, 20});
    lead.duration = 1000000;
    ASSERT_EQ(Play({lead, second}), 0);
    std::vector<uint8_t> buf(512);
    uint32_t len = 0;
    size_t frames = 0;
    for (; frames < 50; ++frames) {
      ASSERT_EQ(Core().get_frame(buf.data(), &len), 0);
      ASSERT_NE(len, 0u);
    }
    const brax_haptic_event next = Transient(0, 100, 50);
    ASSERT_EQ(Core().process(&next, sizeof next), 0);
    EXPECT_EQ(Total(Drain()), static_cast<size_t>(kClass6Strong24k * 176 / 170));
  });
}

// The frame path allocates nothing: pulling every frame of an effect, on the caller's side
// and in the worker that renders them. (Installing the effect logs its conversion, and the
// log allocates.)
TEST_F(HapticsCore, FramePathAllocatesNothing) {
  InFreshProcess([&] {
    ASSERT_TRUE(vendor_test::allocationCountingWorks());
    for (int32_t rate : {24000, 48000}) {
      Configure(1024, rate, 2, 170);
      const std::vector<brax_haptic_event> effect = {Transient(10, 100, 50), Continuous(40, {0, 20, 180, 200}),
                                                     Transient(230, 60, 80), Continuous(240, {0, 5, 15, 20})};
      uint8_t frame[2048];
      size_t samples = 0;
      ASSERT_EQ(Play(effect), 0);  // warm-up: tables built on first use
      Drain();
      ASSERT_EQ(Play(effect), 0);
      vendor_test::AllocationCount allocations;
      uint32_t len = 0;
      do {
        ASSERT_EQ(Core().get_frame(frame, &len), 0);
        samples += len;
      } while (len != 0);
      EXPECT_EQ(allocations.count(), 0u) << rate;
      EXPECT_GT(samples, static_cast<size_t>(rate / 1000 * 200)) << rate;
    }
  });
}

// A transient's frames are its recorded waveform at the actuator's own f0 (176 Hz, no
// resampling), scaled by the gain of its mapped intensity and held to the int8 range, and
// then cut into frames: worked out here from the recorded table and the mapping, for
// several classes, intensities, rates and frame sizes.
TEST_F(HapticsCore, TransientFramesAreTheRecordedWaveformTimesItsGain) {
  InFreshProcess([&] {
    const struct {
      int32_t frame, rate, intensity, frequency;
    } cases[] = {
        {512, 24000, 100, 50}, {256, 24000, 60, 80}, {1024, 48000, 30, 10}, {512, 48000, 85, 95},
    };
    for (const auto& c : cases) {
      Configure(c.frame, c.rate, 1, 176);
      ASSERT_EQ(Play({Transient(0, c.intensity, c.frequency)}), 0);
      const auto frames = Drain();
      const int32_t mapped = brax::MapIntensity(c.intensity);
      const std::span<const int8_t> wave =
          brax::TransientWaveform(brax::TransientClass(c.frequency), mapped, c.rate);
      ASSERT_FALSE(wave.empty()) << c.intensity << "/" << c.frequency;
      const double gain = brax::TransientGain(mapped);
      std::vector<int8_t> want;
      for (int8_t v : wave) want.push_back(static_cast<int8_t>(std::clamp(static_cast<int>(gain * v), -128, 127)));
      std::vector<int8_t> got;
      for (const Frame& f : frames) {
        EXPECT_LE(f.len, static_cast<uint32_t>(c.frame));
        for (uint8_t b : f.bytes) got.push_back(static_cast<int8_t>(b));
      }
      EXPECT_EQ(got, want) << c.rate << "/" << c.frame << "/" << c.intensity << "/" << c.frequency;
      EXPECT_EQ(frames.size(), (want.size() + c.frame - 1) / c.frame);
    }
  });
}

// Many configure/play/drain rounds in one process: the single worker serves them all.
TEST_F(HapticsCore, RepeatedSessions) {
  InFreshProcess([&] {
    const int32_t sizes[] = {256, 512, 1024};
    for (int round = 0; round < 36; ++round) {
      const int32_t frame = sizes[round % 3];
      const int32_t rate = (round / 3) % 2 ? 48000 : 24000;
      const int32_t bits = (round / 6) % 2 ? 2 : 1;
      const int32_t f0 = 150 + round;
      Configure(frame, rate, bits, f0);
      for (int effect = 0; effect < 2; ++effect) {
        ASSERT_EQ(Play({Transient(10, 100, 50), Continuous(40, {0, 5, 15, 20})}), 0);
        const auto frames = Drain();
        ASSERT_GE(frames.size(), 3u);
        const size_t spms = rate / 1000;
        const size_t stored = rate == 48000 ? kClass6Strong48k : kClass6Strong24k;
        size_t i = 0, silence = 0, sound = 0;
        for (; i < frames.size() && frames[i].silent(); ++i) silence += frames[i].len;
        EXPECT_EQ(silence, 10 * spms) << "round " << round;
        const size_t transient = stored * 176 / f0;
        for (; i < frames.size() && sound < transient; ++i) sound += frames[i].len;
        EXPECT_EQ(sound, transient) << "round " << round;
        EXPECT_LT(i, frames.size()) << "round " << round << ": the continuous event rendered nothing";
      }
    }
  });
}

}  // namespace
