// The stand-in libraries loaded as the vibrator service loads them: dlopen by file name,
// dlsym by symbol name, and every call read back from the shared log.
#include <dlfcn.h>
#include <errno.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wavelibs/audigraph_device.h>
#include <wavelibs/awa_wavelib.h>
#include <wavelibs/brax_vibrator.h>
#include <wavelibs/quon_haptic.h>
#include <wavelibs/soc_info.h>

#include "platform_wavelibs_test.h"

namespace {

namespace control = platform_wavelibs_test;

struct Library {
  explicit Library(const std::string& path) : handle(dlopen(path.c_str(), RTLD_NOW)) {}
  ~Library() {
    if (handle != nullptr) dlclose(handle);
  }
  template <typename F>
  F symbol(const char* name) const {
    return reinterpret_cast<F>(dlsym(handle, name));
  }
  void* handle;
};

std::string plugin(const char* file) { return std::string(VENDOR_PLUGIN_DIR) + "/" + file; }

// An HE event record of 17 integers: type, relative time, intensity, frequency, duration.
std::vector<int32_t> heEvent(int32_t type, int32_t time, int32_t intensity, int32_t frequency,
                             int32_t duration) {
  std::vector<int32_t> e(17, 0);
  e[0] = type;
  e[1] = time;
  e[2] = intensity;
  e[3] = frequency;
  e[4] = duration;
  return e;
}

class WavelibsTest : public ::testing::Test {
 protected:
  void SetUp() override { control::reset(); }
  void TearDown() override { control::reset(); }
};

TEST_F(WavelibsTest, BraxVibratorAnswersUnderItsSymbolNames) {
  Library lib(plugin("libbraxvibrator.so"));
  ASSERT_NE(nullptr, lib.handle) << dlerror();
  auto init = lib.symbol<brax_vibra_init_fn>("brax_vibra_init");
  auto start = lib.symbol<brax_vibra_looper_start_fn>("_Z23brax_vibra_looper_startv");
  auto stop = lib.symbol<brax_vibra_looper_stopPerformHe_fn>("_Z31brax_vibra_looper_stopPerformHev");
  auto post = lib.symbol<brax_vibra_looper_post_fn>("_Z22brax_vibra_looper_postPKiiiiii");
  ASSERT_TRUE(init && start && stop && post);
  EXPECT_EQ(post, lib.symbol<brax_vibra_looper_post_fn>(kBraxVibraLooperPostSymbol));

  int32_t word = 0;
  EXPECT_EQ(0, init(&word));
  start();
  EXPECT_TRUE(stop());
  const int list[] = {2, 0, 0, 0, 65537, 0, 0, 1, 4097, 5, 0, 0, 100, 50, 0};
  EXPECT_EQ(0, post(list, 15, 0, 1, -1, 0));
  EXPECT_EQ(-EINVAL, post(list, -1, 0, 1, -1, 0));
  EXPECT_EQ(-EINVAL, post(nullptr, 3, 0, 1, -1, 0));
  control::setResult("braxvibrator", "brax_vibra_init", -ENODEV);
  control::setResult("braxvibrator", "brax_vibra_looper_stopPerformHe", 0);
  EXPECT_EQ(-ENODEV, init(&word));
  EXPECT_FALSE(stop());

  auto calls = control::calls("braxvibrator");
  ASSERT_EQ(6u, calls.size());
  EXPECT_EQ("brax_vibra_init", calls[0].name);
  EXPECT_EQ(std::vector<int64_t>{0}, calls[0].args);
  EXPECT_EQ("brax_vibra_looper_start", calls[1].name);
  EXPECT_EQ("brax_vibra_looper_post", calls[3].name);
  EXPECT_EQ((std::vector<int64_t>{15, 0, 1, -1, 0}), calls[3].args);
  EXPECT_EQ(std::vector<int32_t>(list, list + 15), calls[3].data);
}

TEST_F(WavelibsTest, AwaRendersEventRecordsInOneGo) {
  Library lib(plugin("vendor.awa.wavelib.so"));
  ASSERT_NE(nullptr, lib.handle) << dlerror();
  auto init = lib.symbol<awa_haptics_init_fn>("awa_haptics_init");
  auto length = lib.symbol<awa_haptics_get_waves_length_fn>("awa_haptics_get_waves_length");
  auto data = lib.symbol<awa_haptics_get_waves_data_fn>("awa_haptics_get_waves_data");
  ASSERT_TRUE(init && length && data);
  EXPECT_EQ(0, init(170));

  std::vector<int32_t> events = heEvent(4097, 0, 80, 150, 30);
  std::vector<int32_t> c = heEvent(4096, 10, 100, 170, 30);
  events.insert(events.end(), c.begin(), c.end());
  // 10 ms transient + 30 ms continuous at 24 kHz
  ASSERT_EQ(240 + 720, length(events.data(), 2));
  std::vector<int8_t> out(960);
  ASSERT_EQ(0, data(events.data(), 2, out.data()));
  // 80 % of 127 = 101, half period at 150 Hz = 80 samples; 100 % at 170 Hz = 70 samples.
  EXPECT_EQ(101, out[0]);
  EXPECT_EQ(101, out[79]);
  EXPECT_EQ(-101, out[80]);
  EXPECT_EQ(127, out[240]);
  EXPECT_EQ(-127, out[240 + 70]);

  std::vector<int32_t> bad = heEvent(7, 0, 80, 150, 30);
  EXPECT_LT(length(bad.data(), 1), 0);
  EXPECT_LT(length(events.data(), -1), 0);
  EXPECT_LT(length(events.data(), kWaveMaxEvents + 1), 0);
  EXPECT_LT(length(nullptr, 1), 0);
  EXPECT_NE(0, data(bad.data(), 1, out.data()));
  control::setResult("awa", "awa_haptics_get_waves_data", 5);
  EXPECT_EQ(5, data(events.data(), 2, out.data()));

  auto calls = control::calls("awa");
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(std::vector<int64_t>{170}, calls[0].args);
  EXPECT_EQ(events, calls[1].data);
}

TEST_F(WavelibsTest, QuonRendersTheTwoArrayForm) {
  Library lib(plugin("libquonhapticv1.so"));
  ASSERT_NE(nullptr, lib.handle) << dlerror();
  auto init = lib.symbol<quon_haptics_init_fn>("quon_haptics_init");
  auto len = lib.symbol<quon_haptics_len_algorithm_fn>("quon_haptics_len_algorithm");
  auto gen = lib.symbol<quon_haptics_gen_algorithm_fn>("quon_haptics_gen_algorithm");
  ASSERT_TRUE(init && len && gen);
  EXPECT_EQ(0, init(168));

  // typeCtrlPara then numericalPara, in one buffer as the service builds it.
  std::vector<int32_t> buffer = {1, 0,                    // transient, continuous
                                 150, 80, 0,              // frequency, intensity, time
                                 10, 30, 100, 170,        // time, duration, intensity, frequency
                                 170, 170, 170, 170,      // frequencies
                                 0, 10, 20, 30,           // times
                                 100, 100, 100, 0};       // intensities
  int32_t count = 2;
  int32_t samples = -1;
  ASSERT_EQ(0, len(buffer.data(), &count, buffer.data() + count, &samples));
  EXPECT_EQ(960, samples);
  std::vector<int8_t> out(960);
  ASSERT_EQ(0, gen(buffer.data(), &count, buffer.data() + count, out.data(), &samples));
  EXPECT_EQ(960, samples);
  EXPECT_EQ(101, out[0]);
  EXPECT_EQ(127, out[240]);
  int32_t small = 500;  // room for the transient only
  ASSERT_EQ(0, gen(buffer.data(), &count, buffer.data() + count, out.data(), &small));
  EXPECT_EQ(240, small);

  int32_t tooMany = kWaveMaxEvents + 1;
  EXPECT_NE(0, len(buffer.data(), &tooMany, buffer.data() + 2, &samples));
  EXPECT_EQ(0, samples);
  std::vector<int32_t> badType = {3, 0, 0, 0};
  int32_t one = 1;
  EXPECT_NE(0, len(badType.data(), &one, badType.data() + 1, &samples));

  auto calls = control::calls("quon");
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(std::vector<int64_t>{168}, calls[0].args);
  EXPECT_EQ(std::vector<int32_t>(buffer.begin() + 2, buffer.end()), calls[1].data);
}

TEST_F(WavelibsTest, AudigraphDeviceRecordsItsOutput) {
  Library lib(plugin("libaudigraphdevice.so"));
  ASSERT_NE(nullptr, lib.handle) << dlerror();
  auto create = lib.symbol<createAudigraphDevice_fn>("createAudigraphDevice");
  ASSERT_NE(nullptr, create);
  std::unique_ptr<AudigraphDevice> device(static_cast<AudigraphDevice*>(create()));
  EXPECT_EQ(0, device->open());
  signed char samples[4] = {1, -2, 3, -4};
  EXPECT_EQ(4, device->write(samples, 4));
  EXPECT_EQ(-1, device->write(nullptr, 4));
  control::setResult("audigraph", "write", 2);
  EXPECT_EQ(2, device->write(samples, 4));
  device->eos();
  device->off();
  EXPECT_EQ(0, device->close());
  device.reset();

  std::vector<std::string> names;
  for (const auto& c : control::calls("audigraph")) names.push_back(c.name);
  EXPECT_EQ((std::vector<std::string>{"createAudigraphDevice", "open", "write", "write", "eos",
                                      "off", "close", "destroy"}),
            names);
  EXPECT_EQ((std::vector<int32_t>{1, -2, 3, -4}), control::calls("audigraph")[2].data);
}

TEST_F(WavelibsTest, SocInfoIsWhatTheTestSets) {
  soc_info_t info{};
  control::setSocInfo(519, "kalama");
  ASSERT_EQ(0, get_soc_info(&info));
  EXPECT_EQ(519, info.soc_id);
  EXPECT_STREQ("kalama", info.soc_name);
  control::setSocInfo(1, std::string(64, 'x'));  // longer than the field: cut, terminated
  ASSERT_EQ(0, get_soc_info(&info));
  EXPECT_EQ(31u, std::string(info.soc_name).size());
  EXPECT_EQ(-EINVAL, get_soc_info(nullptr));
  EXPECT_EQ(2u, control::calls("socinfo").size());
}

TEST_F(WavelibsTest, ACopyUnderASimulatedVendorTreeSharesTheLog) {
  auto dir = std::filesystem::temp_directory_path() / ("wavelibs_odm_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir / "odm/lib64");
  auto copy = dir / "odm/lib64/libbraxvibrator.so";
  std::filesystem::copy_file(plugin("libbraxvibrator.so"), copy,
                             std::filesystem::copy_options::overwrite_existing);
  {
    Library lib(copy.string());
    ASSERT_NE(nullptr, lib.handle) << dlerror();
    auto start = lib.symbol<brax_vibra_looper_start_fn>(kBraxVibraLooperStartSymbol);
    ASSERT_NE(nullptr, start);
    start();
  }
  std::filesystem::remove_all(dir);
  ASSERT_EQ(1u, control::calls("braxvibrator").size());
  EXPECT_EQ("brax_vibra_looper_start", control::calls("braxvibrator")[0].name);
}

}  // namespace
