// Prebaked effect files: the name pattern, the firmware directory choice, the lazy reads
// and the 20-entry cache whose evictions must not free bytes that a track still plays.
#include "StreamEffect.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GeneratorTestRoot.h"
#include "TrackInterface.h"

namespace {

using gentest::kSysPath;

TEST(EffectFileName, PatternGroups) {
  struct Case {
    const char* name;
    bool matches;
    uint32_t id;
    int32_t transport;
    int32_t rate;
    float strength;
  } cases[] = {
      {"12_click_S_RTP.bin", true, 12, 1, 24000, 1.0f},
      {"3_tick_P_0.6_RTP.bin", true, 3, 0, 24000, 0.6f},
      {"7_buzz_48KHz_RTP.bin", true, 7, 1, 48000, 1.0f},  // kilohertz as named
      {"5_pop_24000KHz_S_RTP.bin", true, 5, 1, 24000, 1.0f},
      {"9_tap_rtp.BIN", true, 9, 1, 24000, 1.0f},          // case-insensitive
      {"_anon_RTP.bin", true, 0, 1, 24000, 1.0f},          // empty id group gives 0
      {"readme.txt", false, 0, 0, 0, 0},
      {".", false, 0, 0, 0, 0},
      {"12_click_S_RTP.bin.bak", false, 0, 0, 0, 0},
      {"1234567890123_big_RTP.bin", false, 0, 0, 0, 0},    // id too long for a u32 effect
      {"1_a_1234567890KHz_RTP.bin", false, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    const auto parsed = parseEffectFileName(c.name);
    ASSERT_EQ(parsed.has_value(), c.matches) << c.name;
    if (!c.matches) continue;
    EXPECT_EQ(parsed->id, c.id) << c.name;
    EXPECT_EQ(parsed->transport, c.transport) << c.name;
    EXPECT_EQ(parsed->sampleRate, c.rate) << c.name;
    EXPECT_FLOAT_EQ(parsed->strength, c.strength) << c.name;
  }
}

TEST(EffectFileName, FirmwareDirectoryByF0) {
  const std::pair<int, std::string> cases[] = {
      {1600, "/odm/firmware/vib_168/"}, {1689, "/odm/firmware/vib_168/"}, {1690, "/odm/firmware/"},
      {1719, "/odm/firmware/"},         {1720, "/odm/firmware/vib_172/"}, {1729, "/odm/firmware/vib_172/"},
      {1730, "/odm/firmware/vib_173/"}, {2500, "/odm/firmware/vib_173/"},
  };
  for (const auto& [f0, dir] : cases) EXPECT_EQ(firmwareDirForF0(f0), dir) << f0;
}

class StreamEffect : public ::testing::Test {
 protected:
  void SetUp() override {
    effectCache().clear();
    ASSERT_EQ(plat_mkdir_p("/mnt/vendor/persist/haptics", 0755), 0);
  }
  void TearDown() override { effectCache().clear(); }

  void writeEffect(const std::string& path, size_t n, uint8_t seed) {
    std::string bytes;
    for (size_t i = 0; i < n; ++i) bytes.push_back(static_cast<char>(seed + i * 7));
    env.root.writeFile(path, bytes);
  }

  gentest::Root env;
};

TEST_F(StreamEffect, ScansTheDefaultDirectory) {
  writeEffect("/odm/firmware/12_click_S_RTP.bin", 2400, 1);
  writeEffect("/odm/firmware/3_tick_P_0.6_RTP.bin", 100, 2);
  env.root.writeFile("/odm/firmware/readme.txt", "not an effect");
  const EffectTable table = get_effect_stream();
  ASSERT_EQ(table.size(), 2u);
  effect_stream* click = table.at(12);
  EXPECT_EQ(click->path, "/odm/firmware/12_click_S_RTP.bin");
  EXPECT_EQ(click->transport, 1);
  EXPECT_EQ(table.at(3)->transport, 0);
  EXPECT_EQ(click->playLengthMs(), 100);  // 2400 bytes at 24000 Hz
  // The missing flag was initialised and mirrored to the driver.
  EXPECT_EQ(env.root.readFile("/mnt/vendor/persist/haptics/nv_flag"), "0\n");
  EXPECT_EQ(env.root.readFile(std::string(kSysPath) + "/nv_flag"), "0\n");
  for (auto& [id, s] : table) delete s;
}

TEST_F(StreamEffect, DirectoryFollowsFlagThenF0) {
  writeEffect("/odm/firmware/nv_firmware/1_a_RTP.bin", 10, 1);
  writeEffect("/odm/firmware/vib_172/2_b_RTP.bin", 10, 1);
  writeEffect("/odm/firmware/3_c_RTP.bin", 10, 1);
  env.root.writeFile(std::string(kSysPath) + "/lra_frequency_hz", "1725\n");
  env.setProperty("ro.odm.mm.vibrator.diff_f0", "1");

  env.root.writeFile("/mnt/vendor/persist/haptics/nv_flag", "1\n");
  EffectTable table = get_effect_stream();
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table.count(1), 1u);
  for (auto& [id, s] : table) delete s;

  env.root.writeFile("/mnt/vendor/persist/haptics/nv_flag", "-1\n");
  table = get_effect_stream();
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table.count(2), 1u);
  EXPECT_EQ(env.root.readFile("/mnt/vendor/persist/haptics/nv_flag"), "0\n");
  for (auto& [id, s] : table) delete s;
}

TEST_F(StreamEffect, NoDriverDirectoryGivesNoEffects) {
  writeEffect("/odm/firmware/12_click_S_RTP.bin", 10, 1);
  env.root.writeFile(std::string(kSysPath) + "/f0_value", "");  // keep the dir...
  ASSERT_EQ(plat_unlink((std::string(kSysPath) + "/f0_value").c_str()), 0);
  ASSERT_EQ(plat_rmdir(kSysPath), 0);  // ...then take it away
  EXPECT_TRUE(get_effect_stream().empty());
}

TEST_F(StreamEffect, PlayLengthAtNamedRateAndLargeFiles) {
  struct Case {
    const char* name;
    size_t bytes;
    long ms;
  } cases[] = {
      {"1_a_48KHz_RTP.bin", 4800, 100},          // 48 kHz, not 48 Hz
      {"2_b_RTP.bin", 5000000, 208333},          // 5e9 overflows 32 bits
      {"3_c_RTP.bin", 30, 1},
  };
  for (const auto& c : cases) writeEffect(std::string("/odm/firmware/") + c.name, c.bytes, 3);
  EffectTable table = get_effect_stream();
  ASSERT_EQ(table.size(), 3u);
  for (uint32_t id = 1; id <= 3; ++id) EXPECT_EQ(table.at(id)->playLengthMs(), cases[id - 1].ms) << id;
  // An unreadable file plays for 0 ms.
  effect_stream missing;
  missing.id = 99;
  missing.path = "/odm/firmware/gone_RTP.bin";
  EffectBuffer none;
  EXPECT_EQ(missing.data(&none), 0u);
  EXPECT_EQ(missing.playLengthMs(), 0);
  for (auto& [id, s] : table) delete s;
}

// The 21st effect evicts the least recently used one while a track still plays its bytes;
// the evicted effect is read from its file again.
TEST_F(StreamEffect, EvictionKeepsPlayingBuffersAlive) {
  for (uint32_t id = 0; id < 21; ++id) {
    writeEffect("/odm/firmware/" + std::to_string(id) + "_e_RTP.bin", 600, static_cast<uint8_t>(id));
  }
  EffectTable table = get_effect_stream();
  ASSERT_EQ(table.size(), 21u);

  EffectBuffer bytes;
  ASSERT_EQ(table.at(0)->data(&bytes), 600u);
  static_Track track(bytes, 600, 1.0);
  bytes.reset();  // the track and the cache hold the only references
  for (int i = 0; i < 100; ++i) track.getByte();

  for (uint32_t id = 1; id <= 20; ++id) {
    EffectBuffer b;
    ASSERT_EQ(table.at(id)->data(&b), 600u) << id;
  }
  EXPECT_EQ(effectCache().size(), 20u);
  EXPECT_FALSE(effectCache().get(0).has_value());
  EXPECT_TRUE(effectCache().get(20).has_value());

  // The evicted bytes are still there for the track (ASan would object otherwise).
  for (int i = 100; i < 600; ++i) {
    ASSERT_EQ(track.getByte(), static_cast<int8_t>(static_cast<uint8_t>(0 + i * 7))) << i;
  }
  EXPECT_TRUE(track.empty());

  // Read again: from the file, which now holds other bytes.
  writeEffect("/odm/firmware/0_e_RTP.bin", 600, 50);
  EffectBuffer again;
  ASSERT_EQ(table.at(0)->data(&again), 600u);
  EXPECT_EQ(again[0], static_cast<signed char>(50));
  // ...and evicts effect 1, now the least recently used.
  EXPECT_FALSE(effectCache().get(1).has_value());
  for (auto& [id, s] : table) delete s;
}

// The cache is the service's, not one table's: a second table (a restarted service object)
// whose stream of the same id has never read its file gets the size with the bytes, and a
// stream of another file under the same id does not get the first file's bytes.
TEST_F(StreamEffect, CachedBytesComeWithTheirSizeAndFile) {
  writeEffect("/odm/firmware/4_a_RTP.bin", 480, 1);
  writeEffect("/odm/firmware/vib_172/4_b_RTP.bin", 240, 9);
  effect_stream first;
  first.id = 4;
  first.path = "/odm/firmware/4_a_RTP.bin";
  EffectBuffer bytes;
  ASSERT_EQ(first.data(&bytes), 480u);

  effect_stream sameFile;
  sameFile.id = 4;
  sameFile.path = first.path;
  EffectBuffer cached;
  EXPECT_EQ(sameFile.data(&cached), 480u);
  EXPECT_EQ(sameFile.playLengthMs(), 20);
  EXPECT_EQ(cached.get(), bytes.get());

  effect_stream otherFile;
  otherFile.id = 4;
  otherFile.path = "/odm/firmware/vib_172/4_b_RTP.bin";
  EffectBuffer other;
  ASSERT_EQ(otherFile.data(&other), 240u);
  EXPECT_EQ(other[0], static_cast<signed char>(9));
}

}  // namespace
