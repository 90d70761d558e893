// End to end through the touch host with the real plug-in: frequency hopping on IM noise
// rows (raw-frame entry and frame entry), and k/b normalisation from records written into
// the flash mirror through the module's flash store.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "cfg_blob_builder_test.h"
#include "decoded_frame_bytes_test.h"
#include "ferx_syslog_capture_test.h"
#include "platform/temp_root.h"
#include "raw_frame_bytes_test.h"
#include "touch_host/host.h"
#include "tsa_module_test_util.h"

namespace {

using fxtest::Bytes;

const std::string kPlugin = std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_alg_ferrant.so";

constexpr uint8_t kDrv = 4;
constexpr uint8_t kSen = 6;
constexpr uint32_t kNodes = kDrv * kSen;
const std::vector<uint16_t> kFreqs = {1000, 1500, 2000};

using ProcessingFrameFn = uint32_t (*)(uint8_t*, uint32_t);
using GetRequestNumFn = uint8_t (*)();
using GetRequestFn = uint32_t (*)(void*);
using FlashWriteFn = uint32_t (*)(uint32_t, const uint8_t*, uint16_t);
using GetFrameDataFn = uint32_t (*)(uint8_t*, uint32_t*);
using ScrambleFn = void (*)(const uint8_t*, uint8_t*, uint32_t);

// Hopping configuration: three frequencies with option byte 0x21 and second values 100 +
// index, hop threshold 2 x 10, stay threshold 10, no noise floor, mean-level ceiling 60000.
Bytes HopSection() {
  Bytes c(62, 0);
  c[1] = static_cast<uint8_t>(kFreqs.size());
  for (size_t i = 0; i < kFreqs.size(); ++i) {
    cfgtest::PutU16(c, 2 + 2 * i, kFreqs[i]);
    c[34 + i] = 0x21;
    cfgtest::PutU16(c, 42 + 2 * i, static_cast<uint16_t>(100 + i));
  }
  c[21] = 10;
  cfgtest::PutU16(c, 22, 10);
  cfgtest::PutU16(c, 59, 60000);
  return c;
}

// RAW_LEVEL is the level normalisation brings every node to (the clean reference's base);
// TICK, when non-zero, the tick of idle auto-wake frames; FP_AREA, a fingerprint area.
Bytes Blob(uint8_t rawNormalizeOptions, uint16_t rawLevel = 0, uint8_t tick = 0, bool fpArea = false) {
  Bytes time(32, 0);
  cfgtest::PutU16(time, 3, 5000);
  time[8] = tick;
  Bytes panel(38, 0);
  cfgtest::PutU16(panel, 0, 1080);
  cfgtest::PutU16(panel, 2, 2400);
  cfgtest::PutU16(panel, 4, 100);
  panel[20] = 10;
  Bytes afe = {0x00, 0x04, 0x00, 0x00};  // hopping allowed
  Bytes norm(38, 0);
  norm[0] = rawNormalizeOptions;
  cfgtest::PutU16(norm, 2, rawLevel);
  Bytes trx(20, 0);  // self reference update on: thresholds 300, 200, 250, 220
  cfgtest::PutU16(trx, 0, 300);
  cfgtest::PutU16(trx, 2, 200);
  cfgtest::PutU16(trx, 4, 250);
  cfgtest::PutU16(trx, 6, 220);
  trx[16] = 0x01;
  Bytes fp(22, 0);
  fp[0] = fpArea ? 0x01 : 0x00;
  return cfgtest::BuildBlob({.sections = {cfgtest::Section(8, panel), cfgtest::Section(10, afe),
                                          cfgtest::Section(31, HopSection()), cfgtest::Section(32, time),
                                          cfgtest::Section(41, fp), cfgtest::Section(44, norm),
                                          cfgtest::Section(93, trx)}});
}

// IM rows, one per frequency: frequency 0 swings by 3000 (loud), 1 is flat (quiet), 2 swings
// by 300. Frequency 1 is held back whatever its rows, so a hop goes to 2.
std::vector<uint16_t> LoudFirstIm(uint32_t rowLen) {
  std::vector<uint16_t> im(kFreqs.size() * rowLen, 100);
  for (uint32_t k = 0; k < rowLen; ++k) {
    im[k] = (k % 2) != 0 ? 3000 : 0;
    im[2 * rowLen + k] = (k % 2) != 0 ? 400 : 100;
  }
  return im;
}

// The packet bytes (from byte 6) of the queued 40-byte requests.
std::vector<Bytes> Packets(const std::vector<uint8_t>& ring, uint8_t count) {
  std::vector<Bytes> out;
  for (uint8_t i = 0; i < count; ++i) {
    const uint8_t* r = ring.data() + 40u * i;
    const uint16_t len = static_cast<uint16_t>(r[4] | (r[5] << 8));
    out.emplace_back(r + 6, r + 6 + (len > 34 ? 34 : len));
  }
  return out;
}

Bytes FreqPacket(uint8_t index) {
  const uint16_t sum = static_cast<uint16_t>(0x05 + 0x9C + index);
  return {0x00, 0x00, 0x05, 0x9C, index, static_cast<uint8_t>(sum), static_cast<uint8_t>(sum >> 8)};
}

// Finds the first item of TYPE in an item stream ({u32 type, u32 length, payload}).
bool FindItem(const uint8_t* p, uint32_t n, uint32_t type, std::vector<uint8_t>* payload) {
  uint32_t at = 0;
  while (at + 8 <= n) {
    uint32_t t, len;
    memcpy(&t, p + at, 4);
    memcpy(&len, p + at + 4, 4);
    if (at + 8 + len > n) return false;
    if (t == type) {
      payload->assign(p + at + 8, p + at + 8 + len);
      return true;
    }
    at += 8 + len;
  }
  return false;
}

class SignalEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { root_ = std::make_unique<platform::testing::TempRoot>(); }

  // The plug-in loaded, configured with BLOB on a kDrv x kSen panel, initialised and resumed.
  touch_host::TouchHost& Start(const Bytes& blob, uint8_t drv = kDrv, uint8_t sen = kSen) {
    fxtest::IcInfoDesc ic;
    ic.drv = drv;
    ic.sen = sen;
    const Bytes file = fxtest::BuildConfigFile(blob, fxtest::BuildIcInfoBlock(ic));
    const std::string path = root_->dir() + "/flash.bin";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                 static_cast<std::streamsize>(file.size()));
    touch_host::HostOptions options;
    options.log_sink = [](const touch_host::LogLine&) {};
    host_ = std::make_unique<touch_host::TouchHost>(options);
    std::string error;
    EXPECT_TRUE(host_->load_alg(kPlugin, &error)) << error;
    EXPECT_EQ(host_->read_configuration_file(path), touch_host::HostStatus::kOk);
    int32_t result = -1;
    EXPECT_EQ(host_->init(&result), touch_host::HostStatus::kOk);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(host_->update_suspend_status(false), touch_host::HostStatus::kOk);
    fxtest::gRawFrameScramble = Sym<ScrambleFn>("ferx_encrypt");
    return *host_;
  }
  template <class F>
  F Sym(const char* name) {
    auto f = reinterpret_cast<F>(host_->alg_symbol(name));
    EXPECT_NE(f, nullptr) << name;
    return f;
  }
  // One raw frame of the finger state at frequency index FREQ through the raw-frame entry.
  uint32_t RawFinger(const std::vector<uint16_t>& mutual, const std::vector<uint16_t>& im, uint8_t freq = 0) {
    fxtest::RawFrame f;
    f.state = 2;
    f.index = index_++;
    f.freqIndex = freq;
    f.mutual = mutual;
    f.im = im;
    Bytes b = f.Build();
    return Sym<ProcessingFrameFn>("TsaProcessingFrame")(b.data(), static_cast<uint32_t>(b.size()));
  }
  std::vector<Bytes> TakeRequests() {
    const uint8_t n = Sym<GetRequestNumFn>("TsaGetRequestNum")();
    std::vector<uint8_t> ring(40u * 10u);
    if (n != 0) Sym<GetRequestFn>("TsaGetRequest")(ring.data());
    return Packets(ring, n);
  }

  std::unique_ptr<platform::testing::TempRoot> root_;
  std::unique_ptr<touch_host::TouchHost> host_;
  uint16_t index_ = 2;
};

TEST_F(SignalEndToEnd, LoudCurrentFrequencyOnTheRawFrameEntryQueuesTheQuietestOne) {
  Start(Blob(0));
  TakeRequests();  // the start frequency's switch from start-up
  const std::vector<uint16_t> mutual(kNodes, 1000);
  // Screen-on leaves four frames to the power-on reference; until it is built the later
  // stages, hopping among them, do not run.
  for (int i = 0; i < 4; ++i) ASSERT_EQ(RawFinger(mutual, std::vector<uint16_t>(kFreqs.size() * kSen, 100)), 0u);
  EXPECT_TRUE(TakeRequests().empty());
  ASSERT_EQ(RawFinger(mutual, LoudFirstIm(kSen)), 0u);
  const std::vector<Bytes> requests = TakeRequests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0], FreqPacket(2)) << "frequency 1 is held back: 2 is the quietest of the others";

  // Frames of the old frequency no longer match the module's choice; once the controller
  // reports the new one, its quiet rows keep it.
  std::vector<uint16_t> quiet(kFreqs.size() * kSen, 100);
  ASSERT_EQ(RawFinger(mutual, quiet, 2), 0u);
  EXPECT_TRUE(TakeRequests().empty());
}

TEST_F(SignalEndToEnd, LoudCurrentFrequencyOnTheFrameEntryHopsAndSkipsTheFrame) {
  fxtest::SysLogCapture syslog;
  touch_host::TouchHost& host = Start(Blob(0));
  fxtest::FingerFrames frames(kDrv, kSen, static_cast<uint32_t>(kFreqs.size()));
  uint16_t index = 2;
  DecodedFrame frame = frames.Next(0x01, index++);  // the reference frame
  ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
  // Quiet frames until the power-on reference is built (the fourth after screen-on).
  frames.SetIm(std::vector<uint16_t>(kFreqs.size() * kSen, 100));
  for (int i = 0; i < 4; ++i) {
    frame = frames.Next(0x00, index++);
    ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
  }
  host.clear_record();
  fxtest::SysLogCapture::Clear();

  // Quiet rows: the frame runs and nothing is asked of the controller.
  frames.SetIm(std::vector<uint16_t>(kFreqs.size() * kSen, 100));
  frame = frames.Next(0x00, index++);
  ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
  EXPECT_EQ(fxtest::SysLogCapture::Count("Not Report Point 2"), 0u);

  frames.SetIm(LoudFirstIm(kSen));
  frame = frames.Next(0x00, index++);
  ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
  const touch_host::HostRecord r = host.snapshot();
  bool hop = false;
  for (const auto& w : r.controller_writes) hop = hop || w.packet == FreqPacket(2);
  EXPECT_TRUE(hop) << "the switch to frequency 2 reaches the controller";
  EXPECT_EQ(fxtest::SysLogCapture::Count("Not Report Point 2"), 1u) << "the hop frame is skipped";

  // The next frame of the new frequency is not skipped again.
  frames.SetFreqIndex(2);
  frames.SetIm(std::vector<uint16_t>(kFreqs.size() * kSen, 100));
  frame = frames.Next(0x00, index++);
  ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
  EXPECT_EQ(fxtest::SysLogCapture::Count("Not Report Point 2"), 1u);
}

using GetWatchDataFn = uint32_t (*)(uint32_t, uint8_t*, uint32_t);

// The power-on reference is taken on the fourth frame after screen-on; until then every
// frame stops before the difference. A hop asks for a rebuild three frames later, which
// takes the reference over to the new frequency's level.
TEST_F(SignalEndToEnd, PowerOnReferenceAndTheDelayedRebuildAfterAHop) {
  fxtest::SysLogCapture syslog;
  touch_host::TouchHost& host = Start(Blob(0));
  const auto watch = Sym<GetWatchDataFn>("GetWatchData");
  // Watch entries 1 and 2: the raw map and the reference.
  auto Map = [&](uint32_t entry) {
    std::vector<uint16_t> v(kNodes);
    watch(entry, reinterpret_cast<uint8_t*>(v.data()), kNodes * 2);
    return v;
  };
  fxtest::FingerFrames frames(kDrv, kSen, static_cast<uint32_t>(kFreqs.size()));
  uint16_t index = 2;
  DecodedFrame frame = frames.Next(0x01, index++);
  ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
  frames.SetIm(std::vector<uint16_t>(kFreqs.size() * kSen, 100));
  fxtest::SysLogCapture::Clear();
  for (int i = 1; i <= 4; ++i) {
    frame = frames.Next(0x00, index++);
    ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
    const std::vector<uint16_t> raw = Map(1), ref = Map(2);
    if (i < 4) {
      EXPECT_NE(ref, raw) << "frame " << i << ": no reference yet";
      EXPECT_EQ(fxtest::SysLogCapture::Count("wait for Ref OK"), static_cast<size_t>(i));
    } else {
      EXPECT_EQ(ref, raw) << "the fourth frame builds the reference on its own raw map";
      EXPECT_EQ(fxtest::SysLogCapture::Count("wait for Ref OK"), 3u);
      EXPECT_EQ(frames.Mutual(), std::vector<int16_t>(kNodes, 0)) << "the diff against it is 0";
    }
  }
  const std::vector<uint16_t> oldRef = Map(2);

  // The hop frame itself is skipped; the next frames at the new frequency carry a raw level
  // 200 lower, and the reference follows on the third of them.
  frames.SetIm(LoudFirstIm(kSen));
  frame = frames.Next(0x00, index++);
  ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
  frames.SetFreqIndex(2);
  frames.SetIm(std::vector<uint16_t>(kFreqs.size() * kSen, 100));
  frames.ShiftRaw(-200);
  for (int i = 1; i <= 3; ++i) {
    frame = frames.Next(0x00, index++);
    ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
    if (i < 3) {
      EXPECT_EQ(Map(2), oldRef) << "frame " << i << " after the hop keeps the old reference";
      EXPECT_EQ(frames.Mutual(), std::vector<int16_t>(kNodes, 200)) << "frame " << i;
    } else {
      EXPECT_EQ(Map(2), Map(1)) << "the third frame after the hop rebuilds";
      EXPECT_EQ(frames.Mutual(), std::vector<int16_t>(kNodes, 0)) << "the diff against it is 0";
    }
  }
}

// A finger resting on the panel while the power-on reference is taken stays in it; once
// lifted, the difference shows its mirror image. The residue analysis confirms it on both
// halves of the rows, six times over, and the reference is rebuilt from the raw data.
TEST_F(SignalEndToEnd, ATouchLeftInTheReferenceIsRebuiltAfterItsConfirmations) {
  touch_host::TouchHost& host = Start(Blob(0, 1000));
  const auto watch = Sym<GetWatchDataFn>("GetWatchData");
  auto Map = [&](uint32_t entry) {
    std::vector<uint16_t> v(kNodes);
    watch(entry, reinterpret_cast<uint8_t*>(v.data()), kNodes * 2);
    return v;
  };
  fxtest::FingerFrames frames(kDrv, kSen, static_cast<uint32_t>(kFreqs.size()));
  frames.SetBase(1000, 1000);
  frames.SetIm(std::vector<uint16_t>(kFreqs.size() * kSen, 100));
  std::vector<int16_t> finger(kNodes, 0);
  for (uint32_t r = 2; r < 4; ++r)
    for (uint32_t c = 2; c < 4; ++c) finger[r * kSen + c] = 200;
  frames.SetTouch(finger);
  uint16_t index = 2;
  DecodedFrame frame = frames.Next(0x01, index++);
  ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
  for (int i = 0; i < 4; ++i) {
    frame = frames.Next(0x00, index++);
    ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
  }
  ASSERT_EQ(Map(2)[2 * kSen + 2], 800) << "the finger is in the power-on reference";

  frames.SetTouch({});
  int rebuilt = 0;
  for (int f = 1; f <= 40 && rebuilt == 0; ++f) {
    frame = frames.Next(0x00, index++);
    ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
    if (Map(2) == Map(1)) {
      rebuilt = f;
    } else {
      EXPECT_EQ(frames.Mutual()[3 * kSen + 3], -200) << "frame " << f << ": the residue shows";
    }
  }
  // The first two analyses come three frames apart, counted from the power-on frame (whose
  // own update is the first of them); a pending residue is then analysed every frame, two
  // frames (both halves of the rows) per confirmation.
  EXPECT_EQ(rebuilt, 5 + 5 * 2);
  EXPECT_EQ(frames.Mutual(), std::vector<int16_t>(kNodes, 0)) << "nothing is left after the rebuild";
}

// Idle auto-wake frames carry the configured tick: each quiet one replaces the self
// reference by the filtered self raw data, so a slow self drift never shows as a self
// difference.
TEST_F(SignalEndToEnd, QuietTicksRefreshTheSelfReference) {
  touch_host::TouchHost& host = Start(Blob(0, 0, 1));
  const auto watch = Sym<GetWatchDataFn>("GetWatchData");
  constexpr uint32_t kLines = kDrv + kSen;
  auto Line = [&](uint32_t entry) {
    std::vector<uint16_t> v(kLines);
    watch(entry, reinterpret_cast<uint8_t*>(v.data()), kLines * 2);
    return v;
  };
  fxtest::FingerFrames frames(kDrv, kSen, static_cast<uint32_t>(kFreqs.size()));
  frames.SetIm(std::vector<uint16_t>(kFreqs.size() * kSen, 100));
  uint16_t index = 2;
  DecodedFrame frame = frames.Next(0x01, index++);
  ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
  for (int i = 0; i < 4; ++i) {
    frame = frames.Next(0x00, index++);
    ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
  }
  frames.SetScanMode(2);
  for (int16_t level : {130, 160, 190}) {
    frames.SetSelf(std::vector<int16_t>(kLines, level));
    for (int i = 0; i < 8; ++i) {
      frame = frames.Next(0x00, index++);
      ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
    }
    EXPECT_EQ(Line(5), Line(4)) << "level " << level << ": the self reference follows the self raw data";
    EXPECT_EQ(Line(5)[0], level);
  }
  // A touch on the mutual map is no quiet frame: the self reference holds.
  std::vector<int16_t> finger(kNodes, 0);
  finger[2 * kSen + 3] = 300;
  frames.SetTouch(finger);
  frames.SetSelf(std::vector<int16_t>(kLines, 220));
  for (int i = 0; i < 8; ++i) {
    frame = frames.Next(0x00, index++);
    ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
  }
  EXPECT_EQ(Line(5)[0], 190) << "held while touched";
  frames.SetTouch({});
  for (int i = 0; i < 8; ++i) {
    frame = frames.Next(0x00, index++);
    ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
  }
  EXPECT_EQ(Line(5)[0], 220) << "and follows again once quiet";
}

// Screen-on with a finger on the wake area: the raw map there shows a clear edge, so the
// reference kept from the controller's reference frame comes back instead of one taken
// through the finger. A finger away from the wake area ends up in the new power-on
// reference.
TEST_F(SignalEndToEnd, WakeAreaEdgeRestoresTheKeptReference) {
  for (bool onWakeArea : {true, false}) {
    SCOPED_TRACE(onWakeArea);
    touch_host::TouchHost& host = Start(Blob(0, 0, 0, true));
    const auto watch = Sym<GetWatchDataFn>("GetWatchData");
    auto Map = [&](uint32_t entry) {
      std::vector<uint16_t> v(kNodes);
      watch(entry, reinterpret_cast<uint8_t*>(v.data()), kNodes * 2);
      return v;
    };
    fxtest::FingerFrames frames(kDrv, kSen, static_cast<uint32_t>(kFreqs.size()));
    frames.SetIm(std::vector<uint16_t>(kFreqs.size() * kSen, 100));
    uint16_t index = 2;
    auto Run = [&](uint8_t flags) {
      DecodedFrame frame = frames.Next(flags, index++);
      ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
    };
    Run(0x01);
    for (int i = 0; i < 4; ++i) Run(0x00);
    const std::vector<uint16_t> kept = Map(2);
    ASSERT_EQ(kept, Map(1));

    ASSERT_EQ(host.update_suspend_status(true), touch_host::HostStatus::kOk);
    ASSERT_EQ(host.update_suspend_status(false), touch_host::HostStatus::kOk);
    // The wake area is the fingerprint rectangle, here the panel's first lines and columns
    // (the check looks two lines and columns around it).
    std::vector<int16_t> finger(kNodes, 0);
    if (onWakeArea) {
      for (uint32_t r = 0; r < 2; ++r)
        for (uint32_t c = 0; c < 2; ++c) finger[r * kSen + c] = 300;
    } else {
      for (uint32_t c = 3; c < kSen; ++c) finger[3 * kSen + c] = 300;
    }
    Run(0x01);  // the controller's reference frame: the module keeps it as its backup
    frames.SetTouch(finger);
    Run(0x00);
    if (!onWakeArea) {
      for (int i = 0; i < 3; ++i) Run(0x00);
      EXPECT_EQ(Map(2), Map(1)) << "the new reference holds the finger";
      EXPECT_EQ(frames.Mutual()[3 * kSen + 4], 0);
      continue;
    }
    EXPECT_EQ(Map(2), kept) << "the kept reference is back at once";
    EXPECT_EQ(frames.Mutual()[0 * kSen + 1], 300) << "and the finger shows against it";
    // Lifted: nothing of the finger stays behind.
    frames.SetTouch({});
    Run(0x00);
    EXPECT_EQ(frames.Mutual(), std::vector<int16_t>(kNodes, 0));
  }
}

// The LCD denoise refuses panels its tables do not cover: this 4 x 6 panel is two columns
// too narrow.
TEST_F(SignalEndToEnd, LcdDenoiseRefusesANarrowPanelAtInitialisation) {
  fxtest::SysLogCapture syslog;
  Start(Blob(0));
  EXPECT_EQ(fxtest::SysLogCapture::Count("LCD denoise off: 4 x 6 panel outside 2-52 rows, 8-56 columns"), 1u);
}

// LCD row noise on an 18 x 32 panel: rows shifted by 500 or more along the configured
// column profile come out flat, while a 3 x 3 finger blob on quiet rows survives.
TEST_F(SignalEndToEnd, LcdRowOffsetsAlongTheProfileAreRemovedAndAFingerSurvives) {
  constexpr uint8_t kRows = 18, kCols = 32;
  auto bowl = [](uint32_t c) { return 2 * (static_cast<int32_t>(c) - 16) * (static_cast<int32_t>(c) - 16) - 171; };
  Bytes time(32, 0);
  cfgtest::PutU16(time, 3, 5000);
  Bytes panel(38, 0);
  cfgtest::PutU16(panel, 0, 1080);
  cfgtest::PutU16(panel, 2, 2400);
  cfgtest::PutU16(panel, 4, 100);
  panel[20] = 10;
  Bytes denoise(130, 0);
  denoise[0] = 0x01;  // run the LCD denoise on the diff map
  for (uint32_t c = 0; c < kCols; ++c) cfgtest::PutU16(denoise, 18 + 2 * c, static_cast<uint16_t>(bowl(c)));
  touch_host::TouchHost& host = Start(
      cfgtest::BuildBlob({.sections = {cfgtest::Section(8, panel), cfgtest::Section(32, time), cfgtest::Section(91, denoise)}}),
      kRows, kCols);
  fxtest::FingerFrames frames(kRows, kCols, 1);
  uint16_t index = 2;
  DecodedFrame frame = frames.Next(0x01, index++);
  ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
  for (int i = 0; i < 5; ++i) {
    frame = frames.Next(0x00, index++);
    ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
  }
  ASSERT_EQ(frames.Mutual(), std::vector<int16_t>(kRows * kCols, 0)) << "the power-on reference is in place";

  const struct {
    uint32_t row;
    int32_t offset;
  } noisy[] = {{2, 800}, {9, -500}, {14, 1500}, {16, 499}};
  std::vector<int16_t> touch(kRows * kCols, 0);
  for (const auto& n : noisy)
    for (uint32_t c = 0; c < kCols; ++c) touch[n.row * kCols + c] = static_cast<int16_t>(n.offset + bowl(c));
  for (uint32_t r = 5; r < 8; ++r)
    for (uint32_t c = 10; c < 13; ++c) touch[r * kCols + c] = (r == 6 && c == 11) ? 600 : 350;
  frames.SetTouch(touch);
  frame = frames.Next(0x00, index++);
  ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
  const std::vector<int16_t>& out = frames.Mutual();
  for (const auto& n : noisy) {
    SCOPED_TRACE(n.row);
    int32_t peak = 0;
    for (uint32_t c = 0; c < kCols; ++c) peak = std::max<int32_t>(peak, std::abs(out[n.row * kCols + c]));
    // Below 500 the row fit leaves the row, but as a row free of touch it still loses its
    // offset along the profile in the row offset cancel.
    EXPECT_LE(peak, 4) << "the row offset and its profile are gone";
  }
  EXPECT_EQ(out[6 * kCols + 11], 600);
  EXPECT_EQ(out[5 * kCols + 10], 350);
  EXPECT_EQ(out[7 * kCols + 12], 350);
  EXPECT_EQ(out[4 * kCols + 11], 0);
}

// The raw-data denoise stage with the Gaussian enabled smooths the raw map in place before
// the later stages read it: a one-node dip of 640 spreads with the 4 8 4 / 8 16 8 / 4 8 4
// kernel. Without the configuration section the dip passes as it came.
TEST_F(SignalEndToEnd, RawGaussianSmoothsTheRawMapOfEachFrame) {
  const struct {
    bool gaussian;
    uint16_t centre, edge, diagonal, twoAway;
  } cases[] = {{true, 840, 920, 960, 1000}, {false, 360, 1000, 1000, 1000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.gaussian);
    Bytes time(32, 0);
    cfgtest::PutU16(time, 3, 5000);
    Bytes panel(38, 0);
    cfgtest::PutU16(panel, 0, 1080);
    cfgtest::PutU16(panel, 2, 2400);
    cfgtest::PutU16(panel, 4, 100);
    panel[20] = 10;
    std::vector<Bytes> sections = {cfgtest::Section(8, panel), cfgtest::Section(32, time)};
    if (c.gaussian) sections.push_back(cfgtest::Section(107, {0x01, 0, 0, 0}));
    touch_host::TouchHost& host = Start(cfgtest::BuildBlob({.sections = sections}));
    const auto watch = Sym<GetWatchDataFn>("GetWatchData");
    fxtest::FingerFrames frames(kDrv, kSen, 1);
    frames.SetBase(1000, 1000);
    uint16_t index = 2;
    auto Run = [&](uint8_t flags) {
      DecodedFrame frame = frames.Next(flags, index++);
      ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
    };
    Run(0x01);
    for (int i = 0; i < 4; ++i) Run(0x00);
    std::vector<int16_t> dip(kNodes, 0);
    dip[2 * kSen + 3] = 640;
    frames.SetTouch(dip);
    Run(0x00);
    std::vector<uint16_t> raw(kNodes);
    watch(1, reinterpret_cast<uint8_t*>(raw.data()), kNodes * 2);
    EXPECT_EQ(raw[2 * kSen + 3], c.centre);
    EXPECT_EQ(raw[1 * kSen + 3], c.edge);
    EXPECT_EQ(raw[2 * kSen + 4], c.edge);
    EXPECT_EQ(raw[3 * kSen + 2], c.diagonal);
    EXPECT_EQ(raw[0 * kSen + 3], c.twoAway);
    EXPECT_EQ(raw[2 * kSen + 5], c.twoAway);
  }
}

// Record of one frequency as the controller keeps it: node values, then the trailer tying
// it to the panel and the hopping table, then the word sum.
Bytes KbRecord(const std::vector<uint16_t>& values, uint8_t freqIndex) {
  const uint32_t len = (kNodes * 2 + 23) & ~3u;
  Bytes r(len, 0);
  for (uint32_t i = 0; i < kNodes; ++i) cfgtest::PutU16(r, 2 * i, values[i]);
  const uint32_t t = len - 20;
  cfgtest::PutU16(r, t + 0, 100);  // entry 0's second value
  cfgtest::PutU16(r, t + 2, kFreqs[freqIndex]);
  r[t + 4] = 0x1;  // option 0x21: low nibble, high nibble
  r[t + 5] = 0x2;
  r[t + 6] = kSen;
  r[t + 7] = kDrv;
  uint32_t sum = 0;
  for (uint32_t i = 0; i < (len - 4) / 2; ++i) sum += static_cast<uint32_t>(r[2 * i] | (r[2 * i + 1] << 8));
  for (int k = 0; k < 4; ++k) r[len - 4 + k] = static_cast<uint8_t>(sum >> (8 * k));
  return r;
}

TEST_F(SignalEndToEnd, FlashRecordsNormaliseTheRawMapNodeByNode) {
  Start(Blob(0x05));  // normalisation with k arrays
  const uint32_t len = (kNodes * 2 + 23) & ~3u;
  std::vector<uint16_t> k(kNodes), b(kNodes), raw(kNodes);
  for (uint32_t i = 0; i < kNodes; ++i) {
    k[i] = static_cast<uint16_t>(2048 + 100 * i);  // gains 0.5 to about 1.06
    b[i] = static_cast<uint16_t>(300 + 7 * i);
    raw[i] = static_cast<uint16_t>(1000 + 13 * i);
  }
  auto write = Sym<FlashWriteFn>("FyTpFlashWrite");
  for (uint8_t f = 0; f < kFreqs.size(); ++f) {
    const Bytes kr = KbRecord(k, f);
    const Bytes br = KbRecord(b, f);
    ASSERT_EQ(write(0xB001 + f * len, kr.data(), static_cast<uint16_t>(kr.size())), 0xB001 + f * len);
    ASSERT_EQ(write(0x1001 + f * 0x1000, br.data(), static_cast<uint16_t>(br.size())), 0x1001u + f * 0x1000u);
  }
  // The screen-on re-initialisation checks the mirror and loads frequency 0's arrays.
  auto screenOn = Sym<uint32_t (*)(uint32_t)>("TsaUpdateSuspendStatus");
  ASSERT_EQ(screenOn(0), 0u);
  ASSERT_EQ(RawFinger(raw, std::vector<uint16_t>(kFreqs.size() * kSen, 100)), 0u);

  std::vector<uint8_t> out(64 * 1024);
  uint32_t n = static_cast<uint32_t>(out.size());
  ASSERT_EQ(Sym<GetFrameDataFn>("TsaGetFrameData")(out.data(), &n), 0u);
  std::vector<uint8_t> item;
  ASSERT_TRUE(FindItem(out.data(), n, 0x0100177Au, &item)) << "mutual raw map item";
  ASSERT_EQ(item.size(), kNodes * 2u);
  for (uint32_t i = 0; i < kNodes; ++i) {
    const uint16_t got = static_cast<uint16_t>(item[2 * i] | (item[2 * i + 1] << 8));
    EXPECT_EQ(got, static_cast<uint16_t>(raw[i] * k[i] / 4096 + b[i])) << "node " << i;
  }

  // A B record whose drive count does not match the panel is refused, and with it the
  // normalisation of the frequency: the raw map passes unchanged.
  Bytes bad = KbRecord(b, 0);
  bad[len - 20 + 7] = kDrv + 1;
  uint32_t sum = 0;
  for (uint32_t i = 0; i < (len - 4) / 2; ++i) sum += static_cast<uint32_t>(bad[2 * i] | (bad[2 * i + 1] << 8));
  for (int q = 0; q < 4; ++q) bad[len - 4 + q] = static_cast<uint8_t>(sum >> (8 * q));
  ASSERT_EQ(write(0x1001, bad.data(), static_cast<uint16_t>(bad.size())), 0x1001u);
  ASSERT_EQ(screenOn(0), 0u);
  ASSERT_EQ(RawFinger(raw, std::vector<uint16_t>(kFreqs.size() * kSen, 100)), 0u);
  n = static_cast<uint32_t>(out.size());
  ASSERT_EQ(Sym<GetFrameDataFn>("TsaGetFrameData")(out.data(), &n), 0u);
  ASSERT_TRUE(FindItem(out.data(), n, 0x0100177Au, &item));
  for (uint32_t i = 0; i < kNodes; ++i) {
    const uint16_t got = static_cast<uint16_t>(item[2 * i] | (item[2 * i + 1] << 8));
    EXPECT_EQ(got, raw[i]) << "node " << i << ": no valid B, so neither array is loaded";
  }
}

}  // namespace
