// The PCM calls on the recording sink and on ALSA, and the WAV writer.
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>

#include <gtest/gtest.h>

#include "platform_tinyalsa_test.h"

namespace {

using namespace std::chrono_literals;
namespace sink = platform_tinyalsa_test;

// The haptic stream's configuration: card 0 device 41, mono S16 at 24 kHz, 4 x 512 frames.
pcm_config hapticConfig() {
  pcm_config c{};
  c.channels = 1;
  c.rate = 24000;
  c.period_size = 512;
  c.period_count = 4;
  c.format = PCM_FORMAT_S16_LE;
  return c;
}

std::vector<uint8_t> period(uint8_t seed) {
  std::vector<uint8_t> p(1024);
  for (size_t i = 0; i < p.size(); ++i) p[i] = static_cast<uint8_t>(seed + i);
  return p;
}

class SinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sink::useRecordingSink();
    sink::clearRecording();
  }
  void TearDown() override { sink::useAlsa(); }
};

TEST_F(SinkTest, RecordsEveryWriteInOrder) {
  pcm_config config = hapticConfig();
  struct pcm* pcm = pcm_open(0, 41, PCM_OUT, &config);
  ASSERT_TRUE(pcm_is_ready(pcm)) << pcm_get_error(pcm);
  EXPECT_EQ(2048u, pcm_get_buffer_size(pcm));
  EXPECT_EQ(1024u, pcm_frames_to_bytes(pcm, 512));
  for (uint8_t i = 0; i < 3; ++i) ASSERT_EQ(0, pcm_write(pcm, period(i).data(), 1024));
  EXPECT_EQ(0, pcm_ioctl(pcm, SNDRV_PCM_IOCTL_DRAIN));
  EXPECT_EQ(0, pcm_close(pcm));

  auto recorded = sink::periods();
  ASSERT_EQ(3u, recorded.size());
  for (uint8_t i = 0; i < 3; ++i) EXPECT_EQ(period(i), recorded[i]);
  EXPECT_EQ(3u * 1024, sink::recordedBytes().size());
  EXPECT_EQ((std::vector<std::string>{"open 0 41", "drain", "close"}), sink::events());
  pcm_config seen = sink::lastConfig();
  EXPECT_EQ(1u, seen.channels);
  EXPECT_EQ(24000u, seen.rate);
  EXPECT_EQ(512u, seen.period_size);
  EXPECT_EQ(4u, seen.period_count);
  EXPECT_EQ(PCM_FORMAT_S16_LE, seen.format);
}

TEST_F(SinkTest, WritesFromAnotherThreadCanBeAwaited) {
  pcm_config config = hapticConfig();
  struct pcm* pcm = pcm_open(0, 41, PCM_OUT, &config);
  ASSERT_TRUE(pcm_is_ready(pcm));
  std::thread writer([pcm] {
    for (uint8_t i = 0; i < 8; ++i) pcm_write(pcm, period(i).data(), 1024);
  });
  EXPECT_TRUE(sink::waitForPeriods(8, 5s));
  writer.join();
  EXPECT_FALSE(sink::waitForPeriods(9, 20ms));
  pcm_close(pcm);
}

TEST_F(SinkTest, PacedSinkTakesDataAtTheStreamRate) {
  sink::useRecordingSink(true);
  pcm_config config = hapticConfig();
  struct pcm* pcm = pcm_open(0, 41, PCM_OUT, &config);
  ASSERT_TRUE(pcm_is_ready(pcm));
  auto start = std::chrono::steady_clock::now();
  // 10 periods with 4 buffered: the last write waits for 6 periods of 512 / 24000 s.
  for (uint8_t i = 0; i < 10; ++i) ASSERT_EQ(0, pcm_write(pcm, period(i).data(), 1024));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 120ms);
  pcm_close(pcm);
}

TEST_F(SinkTest, RefusalsCarryTheirReason) {
  pcm_config config = hapticConfig();
  struct pcm* pcm = pcm_open(0, 41, PCM_OUT, &config);
  ASSERT_TRUE(pcm_is_ready(pcm));
  EXPECT_LT(pcm_write(pcm, period(0).data(), 1023), 0);  // half a frame
  EXPECT_NE(std::string::npos, std::string(pcm_get_error(pcm)).find("whole frame"));
  sink::failWrites(-EIO);
  EXPECT_EQ(-EIO, pcm_write(pcm, period(0).data(), 1024));
  EXPECT_NE(std::string::npos, std::string(pcm_get_error(pcm)).find("cannot write"));
  sink::failWrites(0);
  EXPECT_EQ(0, pcm_write(pcm, period(0).data(), 1024));
  EXPECT_EQ(-EINVAL, pcm_ioctl(pcm, SNDRV_PCM_IOCTL_HWSYNC));
  pcm_close(pcm);

  sink::failNextOpen("no such card");
  pcm = pcm_open(0, 41, PCM_OUT, &config);
  EXPECT_FALSE(pcm_is_ready(pcm));
  EXPECT_STREQ("no such card", pcm_get_error(pcm));
  EXPECT_LT(pcm_write(pcm, period(0).data(), 1024), 0);
  pcm_close(pcm);
}

TEST_F(SinkTest, ImpossibleConfigurationsAreRefused) {
  struct Case {
    const char* name;
    void (*change)(pcm_config&);
  };
  const Case cases[] = {
      {"no channels", [](pcm_config& c) { c.channels = 0; }},
      {"rate 0", [](pcm_config& c) { c.rate = 0; }},
      {"no period", [](pcm_config& c) { c.period_size = 0; }},
      {"no periods", [](pcm_config& c) { c.period_count = 0; }},
      {"huge period", [](pcm_config& c) { c.period_size = 0x80000000u; }},
      {"bad format", [](pcm_config& c) { c.format = PCM_FORMAT_MAX; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pcm_config config = hapticConfig();
    c.change(config);
    struct pcm* pcm = pcm_open(0, 41, PCM_OUT, &config);
    EXPECT_FALSE(pcm_is_ready(pcm));
    EXPECT_NE(std::string::npos, std::string(pcm_get_error(pcm)).find("invalid pcm_config"));
    pcm_close(pcm);
  }
  struct pcm* none = pcm_open(0, 41, PCM_OUT, nullptr);
  EXPECT_FALSE(pcm_is_ready(none));
  pcm_close(none);
  EXPECT_TRUE(sink::events().empty());  // none of them reached the sink
}

TEST(AlsaTest, DeviceNameComesFromTheEnvironment) {
  pcm_config config = hapticConfig();
  ASSERT_EQ(0, setenv("VENDOR_PCM_DEVICE", "hw:97,3", 1));
  struct pcm* missing = pcm_open(0, 41, PCM_OUT, &config);
  EXPECT_FALSE(pcm_is_ready(missing));
  EXPECT_NE(std::string::npos, std::string(pcm_get_error(missing)).find("'hw:97,3'"))
      << pcm_get_error(missing);
  pcm_close(missing);

  // ALSA's null device takes the stream for real.
  ASSERT_EQ(0, setenv("VENDOR_PCM_DEVICE", "null", 1));
  struct pcm* null = pcm_open(0, 41, PCM_OUT, &config);
  ASSERT_TRUE(pcm_is_ready(null)) << pcm_get_error(null);
  for (uint8_t i = 0; i < 6; ++i) EXPECT_EQ(0, pcm_write(null, period(i).data(), 1024));
  EXPECT_EQ(0, pcm_ioctl(null, SNDRV_PCM_IOCTL_DRAIN));
  pcm_close(null);
  unsetenv("VENDOR_PCM_DEVICE");
}

TEST(AlsaTest, DefaultDeviceIsCardAndDevice) {
  unsetenv("VENDOR_PCM_DEVICE");
  pcm_config config = hapticConfig();
  struct pcm* pcm = pcm_open(0, 41, PCM_OUT, &config);
  if (pcm_is_ready(pcm)) {
    pcm_close(pcm);
    GTEST_SKIP() << "this machine has a PCM at card 0 device 41";
  }
  EXPECT_NE(std::string::npos, std::string(pcm_get_error(pcm)).find("'hw:0,41'"))
      << pcm_get_error(pcm);
  pcm_close(pcm);
}

TEST(WavTest, HeaderDescribesTheSamples) {
  char path[] = "/tmp/platform_tinyalsa_wavXXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  std::vector<uint8_t> samples = {0x00, 0x80, 0xff, 0x7f, 0x01, 0x00};
  ASSERT_TRUE(sink::writeWav(path, 24000, 1, 16, samples));
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::remove(path);
  const uint8_t expected[44] = {
      'R', 'I', 'F', 'F', 42, 0, 0, 0,         // 36 + 6 data bytes
      'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',  //
      16, 0, 0, 0, 1, 0, 1, 0,                 // fmt size, PCM, mono
      0xc0, 0x5d, 0, 0,                        // 24000 Hz
      0x80, 0xbb, 0, 0,                        // 48000 bytes per second
      2, 0, 16, 0,                             // block align, bits
      'd', 'a', 't', 'a', 6, 0, 0, 0};
  ASSERT_EQ(50u, file.size());
  EXPECT_EQ(std::vector<uint8_t>(expected, expected + 44), std::vector<uint8_t>(file.begin(), file.begin() + 44));
  EXPECT_EQ(samples, std::vector<uint8_t>(file.begin() + 44, file.end()));
  EXPECT_FALSE(sink::writeWav(path, 24000, 1, 12, samples));
  EXPECT_FALSE(sink::writeWav("/nonexistent-dir/x.wav", 24000, 1, 16, samples));
}

}  // namespace
