// The force-feedback input device, the LED node, the output type and the driver directory,
// against a simulated force-feedback evdev device and node files under a temporary root.
#include "VibratorDevices.h"

#include <errno.h>
#include <linux/input.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include <platform_vistrel_test.h>

#include "platform/force_feedback_device.h"
#include "StreamEffect.h"
#include "VibratorState.h"
#include "platform/properties.h"
#include "platform/properties_test_api.h"
#include "platform/simdev.h"
#include "platform/temp_root.h"

namespace vib = aidl::android::hardware::vibrator;
using platform::sim::ForceFeedbackDevice;

namespace {

class DevicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat_properties_reset();
    vib::resetServiceState();
    effectCache().clear();  // the process's cache: no bytes of another test's files
    vib::setCardStateRetryDelay([this] { ++mDelays; });
    platform_vistrel_test::clear();
    ASSERT_EQ(plat_mkdir_p("/dev/input", 0755), 0);
  }
  void TearDown() override {
    for (const std::string& path : mRegistered) platform::sim::unregisterDevice(path);
    vib::setCardStateRetryDelay([] {});
  }

  std::shared_ptr<platform::sim::ForceFeedbackDevice> addDevice(const std::string& node, const std::string& name,
                                              std::initializer_list<unsigned> codes) {
    auto dev = std::make_shared<platform::sim::ForceFeedbackDevice>(name, codes);
    std::string path = "/dev/input/" + node;
    EXPECT_EQ(platform::sim::registerDevice(path, dev), 0);
    mRegistered.push_back(path);
    return dev;
  }

  static input_event event(uint16_t type, uint16_t code, int32_t value) {
    input_event ev{};
    ev.type = type;
    ev.code = code;
    ev.value = value;
    return ev;
  }
  static void expectEvent(const input_event& got, const input_event& want) {
    EXPECT_EQ(got.type, want.type);
    EXPECT_EQ(got.code, want.code);
    EXPECT_EQ(got.value, want.value);
  }

  platform::testing::TempRoot mRoot;
  std::vector<std::string> mRegistered;
  int mDelays = 0;
};

TEST_F(DevicesTest, DiscoveryKeepsTheFirstDeviceWithConstantOrPeriodicEffects) {
  struct Case {
    const char* what;
    std::initializer_list<unsigned> codes;
    bool found;
    bool gain;
    bool custom;
  } cases[] = {
      {"rumble only", {FF_RUMBLE}, false, false, false},
      {"constant", {FF_CONSTANT}, true, false, false},
      {"constant with gain", {FF_CONSTANT, FF_GAIN}, true, true, false},
      {"periodic custom", {FF_PERIODIC, FF_CUSTOM, FF_GAIN}, true, true, true},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string node = "event" + std::to_string(n++);
    addDevice(node, "haptic", c.codes);
    vib::InputFFDevice ff;
    EXPECT_EQ(ff.fd >= 0, c.found) << c.what;
    EXPECT_EQ(ff.supportsGain, c.gain) << c.what;
    EXPECT_EQ(ff.supportsEffects, c.custom) << c.what;
    platform::sim::unregisterDevice("/dev/input/" + node);
    plat_unlink(("/dev/input/" + node).c_str());  // the placeholder, if it stays
  }
}

TEST_F(DevicesTest, DiscoverySkipsRumbleDevicesAndReadsTheExternalControlProperty) {
  addDevice("event0", "rumbler", {FF_RUMBLE});
  auto haptic = addDevice("event1", "haptic", {FF_CONSTANT, FF_GAIN});
  ASSERT_EQ(property_set("ro.odm.mm.vibrator.audio_haptic_support", "true"), 0);
  vib::InputFFDevice ff;
  ASSERT_GE(ff.fd, 0);
  EXPECT_TRUE(ff.supportsExternalControl);
  ASSERT_EQ(ff.play(-1, 100, nullptr), 0);
  EXPECT_EQ(haptic->uploads().size(), 1u);
}

TEST_F(DevicesTest, ConstantEffectIsUploadedPlayedAndReplaced) {
  auto dev = addDevice("event0", "haptic", {FF_CONSTANT, FF_GAIN});
  vib::InputFFDevice ff;
  ASSERT_EQ(ff.play(-1, 100, nullptr), 0);
  ASSERT_EQ(ff.play(-1, 250, nullptr), 0);

  auto uploads = dev->uploads();
  ASSERT_EQ(uploads.size(), 2u);
  EXPECT_EQ(uploads[0].effect.type, FF_CONSTANT);
  EXPECT_EQ(uploads[0].effect.id, -1);  // a new upload each time
  EXPECT_EQ(uploads[0].effect.replay.length, 100);
  EXPECT_EQ(uploads[0].effect.u.constant.level, 0x7fff);
  EXPECT_EQ(uploads[1].effect.replay.length, 250);
  EXPECT_EQ(dev->removals(), std::vector<int>{uploads[0].assignedId});
  auto written = dev->writtenEvents();
  ASSERT_EQ(written.size(), 2u);
  expectEvent(written[0], event(EV_FF, static_cast<uint16_t>(uploads[0].assignedId), 1));
  expectEvent(written[1], event(EV_FF, static_cast<uint16_t>(uploads[1].assignedId), 1));

  // a timeout beyond the 16-bit replay length cannot be played as asked: refused, neither
  // wrapped nor cut short, and nothing is uploaded
  EXPECT_EQ(ff.play(-1, 65536, nullptr), -1);
  EXPECT_EQ(ff.play(-1, 70000, nullptr), -1);
  EXPECT_EQ(dev->uploads().size(), 2u);

  // timeout 0 stops: the effect is removed and nothing new is uploaded
  ASSERT_EQ(ff.off(), 0);
  EXPECT_EQ(dev->liveEffects(), 0u);
  EXPECT_EQ(ff.currentEffectId, -1);
  EXPECT_EQ(dev->uploads().size(), 2u);
  ASSERT_EQ(ff.off(), 0);  // nothing uploaded: no removal
  EXPECT_EQ(dev->removals().size(), 2u);
}

TEST_F(DevicesTest, GainEventsAndTheMagnitudeOfTheNextUpload) {
  auto dev = addDevice("event0", "haptic", {FF_CONSTANT, FF_GAIN});
  vib::InputFFDevice ff;
  struct Case {
    uint8_t amplitude;
    int32_t gain;
  } cases[] = {{0, 16383}, {255, 32766}, {128, 16383 + 128 * 16383 / 255}, {1, 16447}};
  for (const Case& c : cases) {
    dev->clearWritten();
    ASSERT_EQ(ff.setAmplitude(c.amplitude), 0);
    auto written = dev->writtenEvents();
    ASSERT_EQ(written.size(), 1u);
    expectEvent(written[0], event(EV_FF, FF_GAIN, c.gain));
    ASSERT_EQ(ff.play(-1, 50, nullptr), 0);
    EXPECT_EQ(dev->uploads().back().effect.u.constant.level, c.gain);
  }
  dev->failWrites(EIO);
  EXPECT_EQ(ff.setAmplitude(10), -1);
  EXPECT_EQ(ff.currentMagnitude, cases[3].gain);  // unchanged by the failure
}

TEST_F(DevicesTest, PrebakedEffectCarriesItsIdAndTheDriverLength) {
  auto dev = addDevice("event0", "haptic", {FF_PERIODIC, FF_CUSTOM});
  dev->setWaveformLength(5, 1, 250);
  dev->setWaveformLength(6, -1, 40);  // a negative part counts as 0
  vib::InputFFDevice ff;
  long length = -1;
  ASSERT_EQ(ff.play(5, -1, &length), 0);
  EXPECT_EQ(length, 1250);
  ASSERT_EQ(ff.play(6, -1, &length), 0);
  EXPECT_EQ(length, 40);
  auto up = dev->uploads().front();
  EXPECT_EQ(up.effect.type, FF_PERIODIC);
  EXPECT_EQ(up.effect.u.periodic.waveform, FF_CUSTOM);
  EXPECT_EQ(up.effect.u.periodic.custom_len, 6u);
  ASSERT_EQ(up.customWords.size(), 6u);
  EXPECT_EQ(up.customWords[0], 5);
}

TEST_F(DevicesTest, PlayEffectMagnitudeFollowsStrengthOutputAndMode) {
  ASSERT_EQ(property_set("ro.odm.mm.vibrator.device_type", "audigraph"), 0);
  mRoot.writeFile("/sys/kernel/snd_card/card_state", "1");
  struct Case {
    const char* what;
    vib::DynamicEffectType type;
    bool aiHaptic;
    int mode;
    int usage;
    uint8_t strength;
    int16_t magnitude;
  } cases[] = {
      {"medium on ff", vib::FF_DEVICE, false, 1, 0, 1, static_cast<int16_t>(0.5 * 0x4000 + 0x3fff)},
      {"light on ff", vib::FF_DEVICE, false, 1, 0, 0, 0x3fff},
      {"strong on ff", vib::FF_DEVICE, false, 1, 0, 2, 0x7fff},
      {"medium on audio graph", vib::AUDIGRAPH_DEVICE, false, 1, 0, 1, static_cast<int16_t>(0.5 * 0x6000 + 8191)},
      {"ai haptic warn mode", vib::FF_DEVICE, true, 1, 0, 0, 0x7fff},
      {"ai haptic touch usage", vib::FF_DEVICE, true, 1, vib::kUsageTouch, 0, 0x3fff},
      {"ai haptic interaction mode", vib::FF_DEVICE, true, 0, 0, 0, 0x3fff},
  };
  auto dev = addDevice("event0", "haptic", {FF_PERIODIC, FF_CUSTOM});
  vib::InputFFDevice ff;
  for (const Case& c : cases) {
    vib::serviceState().deviceType = c.type;
    vib::serviceState().mSupportAIHaptic = c.aiHaptic;
    effect_stream stream;
    stream.id = 9;
    stream.transport = 0;
    long length = 0;
    ASSERT_EQ(ff.playEffect(&stream, c.strength, &length, c.usage, c.mode), 0) << c.what;
    EXPECT_EQ(dev->uploads().back().effect.u.periodic.magnitude, c.magnitude) << c.what;
  }
}

TEST_F(DevicesTest, StreamOutputsUploadTheEffectBytesBlock) {
  vib::serviceState().deviceType = vib::PCM_DEVICE;
  mRoot.writeFile("/odm/firmware/3_tick_P_RTP.bin", std::string(2400, '\x11'));
  effect_stream stream;
  stream.id = 3;
  stream.transport = 0;
  stream.path = "/odm/firmware/3_tick_P_RTP.bin";
  auto dev = addDevice("event0", "haptic", {FF_PERIODIC, FF_CUSTOM});
  vib::InputFFDevice ff;
  ff.setStreamLookup([&](uint32_t id) { return id == 3 ? &stream : nullptr; });
  long length = 0;
  ASSERT_EQ(ff.play(3, -1, &length), 0);
  EXPECT_EQ(length, 100);  // 2400 bytes at 24000 Hz
  auto up = dev->uploads().back();
  EXPECT_EQ(up.effect.u.periodic.custom_len, 24u);
  ASSERT_EQ(up.customBlock.size(), 24u);
  int32_t words[3];
  memcpy(words, up.customBlock.data(), sizeof words);
  EXPECT_EQ(words[0], 3);
  EXPECT_EQ(words[1], 2400);
  EXPECT_EQ(words[2], 24000);
  uint64_t pointer;
  memcpy(&pointer, up.customBlock.data() + 16, sizeof pointer);
  EXPECT_NE(pointer, 0u);
}

TEST_F(DevicesTest, FailedUploadIsReportedToTelemetry) {
  auto dev = addDevice("event0", "haptic", {FF_PERIODIC, FF_CUSTOM, FF_CONSTANT});
  vib::InputFFDevice ff;
  dev->failUploads(EIO);
  long length = 0;
  EXPECT_EQ(ff.play(7, -1, &length), -1);
  EXPECT_EQ(ff.play(-1, 300, nullptr), -1);
  EXPECT_EQ(ff.currentEffectId, -1);
  auto sent = platform_vistrel_test::sentEvents();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].id, 906201003);
  EXPECT_EQ(sent[0].intField("vibEffectID"), 7);
  EXPECT_EQ(sent[0].stringField("vibType"), "short vibration");
  EXPECT_EQ(sent[0].intField("vibDuration"), 0);
  EXPECT_EQ(sent[0].stringField("keyword"), "ioctl EVIOCSFF failed");
  EXPECT_EQ(sent[1].intField("vibEffectID"), -1);
  EXPECT_EQ(sent[1].stringField("vibType"), "Long vibration");
  EXPECT_EQ(sent[1].intField("vibDuration"), 300);
}

TEST_F(DevicesTest, EffectThatCannotStartIsRemovedAndReportedAsAFailure) {
  for (int removeError : {0, EIO}) {
    auto dev = addDevice(removeError == 0 ? "event0" : "event1", "haptic", {FF_CONSTANT});
    vib::InputFFDevice ff;
    dev->failWrites(EIO);
    dev->failRemovals(removeError);
    EXPECT_EQ(ff.play(-1, 100, nullptr), -1) << "remove error " << removeError;
    EXPECT_EQ(ff.currentEffectId, -1);
    if (removeError == 0) {
      EXPECT_EQ(dev->liveEffects(), 0u);
    }
    platform::sim::unregisterDevice(removeError == 0 ? "/dev/input/event0" : "/dev/input/event1");
    plat_unlink(removeError == 0 ? "/dev/input/event0" : "/dev/input/event1");
  }
}

TEST_F(DevicesTest, InterruptedUploadIsRetried) {
  auto dev = addDevice("event0", "haptic", {FF_CONSTANT});
  vib::InputFFDevice ff;
  dev->interruptUploads(2);
  EXPECT_EQ(ff.play(-1, 100, nullptr), 0);
  EXPECT_EQ(dev->uploads().size(), 1u);
}

TEST_F(DevicesTest, WithoutADeviceEverythingSucceedsSilently) {
  vib::InputFFDevice ff;
  EXPECT_EQ(ff.fd, -1);
  long length = 55;
  EXPECT_EQ(ff.play(4, -1, &length), 0);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(ff.play(-1, 100, nullptr), 0);
  EXPECT_EQ(ff.off(), 0);
  EXPECT_EQ(ff.setAmplitude(100), 0);
}

TEST_F(DevicesTest, CalibrationOfTheLraDeviceSavesOsc) {
  ASSERT_EQ(plat_mkdir_p("/sys/bus/i2c/drivers/lra/0-005a", 0755), 0);
  ASSERT_EQ(property_set("ro.odm.mm.vibrator.sys_path", "/sys/bus/i2c/drivers/lra/0-005a"), 0);
  mRoot.writeFile("/mnt/vendor/persist/haptics/vib_cal_z", "12\n");
  mRoot.writeFile("/mnt/vendor/persist/haptics/vib_cal_f0", "1705\n");
  mRoot.writeFile("/mnt/vendor/persist/haptics/vib_cal_osc", "2043\n");
  addDevice("event0", "lra8697_haptic", {FF_CONSTANT});
  { vib::InputFFDevice ff; }
  EXPECT_EQ(mRoot.readFile("/sys/bus/i2c/drivers/lra/0-005a/osc_save"), "2043\n");

  mRoot.writeFile("/mnt/vendor/persist/haptics/vib_cal_osc", "-4\n");
  ASSERT_EQ(plat_unlink("/sys/bus/i2c/drivers/lra/0-005a/osc_save"), 0);
  { vib::InputFFDevice ff; }
  EXPECT_EQ(mRoot.readFile("/sys/bus/i2c/drivers/lra/0-005a/osc_save"), "");
}

TEST_F(DevicesTest, LoadSysPathPrefersThePrimaryAndFallsBackForListedModels) {
  char buf[vib::kSysPathMax];
  EXPECT_EQ(vib::load_sys_path(buf, sizeof buf), -1);
  ASSERT_EQ(plat_mkdir_p("/sys/bus/i2c/drivers/si/1-0043", 0755), 0);
  ASSERT_EQ(property_set("ro.odm.mm.vibrator.sys_path", "/sys/bus/i2c/drivers/lra/0-005a"), 0);
  ASSERT_EQ(property_set("ro.odm.mm.vibrator.si_sys_path", "/sys/bus/i2c/drivers/si/1-0043"), 0);
  ASSERT_EQ(property_set("ro.odm.mm.vibrator.si_sys_path_devices", "alder,birch"), 0);
  ASSERT_EQ(property_set("ro.product.device", "birch"), 0);
  ASSERT_EQ(vib::load_sys_path(buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "/sys/bus/i2c/drivers/si/1-0043");
  EXPECT_FALSE(vib::usesSecondarySysPath("bir"));
  EXPECT_FALSE(vib::usesSecondarySysPath(""));
  ASSERT_EQ(plat_mkdir_p("/sys/bus/i2c/drivers/lra/0-005a", 0755), 0);
  ASSERT_EQ(vib::load_sys_path(buf, sizeof buf), 0);
  EXPECT_STREQ(buf, "/sys/bus/i2c/drivers/lra/0-005a");
  char tiny[8];
  EXPECT_EQ(vib::load_sys_path(tiny, sizeof tiny), -1);  // cut short: not the directory
}

TEST_F(DevicesTest, DeviceTypeFromThePropertyAndTheSoundCard) {
  struct Case {
    const char* what;
    const char* property;
    const char* cardState;  // nullptr: no node
    vib::DynamicEffectType type;
    int delays;
  } cases[] = {
      {"unset", nullptr, nullptr, vib::FF_DEVICE, 0},
      {"led", "led", nullptr, vib::PCM_DEVICE, 0},
      {"audigraph, card up", "audigraph", "1", vib::AUDIGRAPH_DEVICE, 0},
      {"audigraph, card never up", "audigraph", "0", vib::FF_DEVICE, 99},
      {"audigraph, no card node", "audigraph", nullptr, vib::FF_DEVICE, 99},
      {"audigraph, empty node", "audigraph", "", vib::FF_DEVICE, 99},
      {"other", "pcm", nullptr, vib::FF_DEVICE, 0},
  };
  for (const Case& c : cases) {
    plat_properties_reset();
    vib::resetDeviceType();
    plat_unlink("/sys/kernel/snd_card/card_state");
    if (c.property != nullptr) {
      ASSERT_EQ(property_set("ro.odm.mm.vibrator.device_type", c.property), 0);
    }
    if (c.cardState != nullptr) mRoot.writeFile("/sys/kernel/snd_card/card_state", c.cardState);
    mDelays = 0;
    EXPECT_EQ(vib::getDeviceType(), c.type) << c.what;
    EXPECT_EQ(mDelays, c.delays) << c.what;
    mDelays = 0;
    EXPECT_EQ(vib::getDeviceType(), c.type) << c.what;  // cached
    EXPECT_EQ(mDelays, 0) << c.what;
  }
}

TEST_F(DevicesTest, LedNodeIsDetectedAndDriven) {
  {
    vib::LedVibratorDevice led;
    EXPECT_FALSE(led.detected);
  }
  for (const char* node : {"activate", "state", "duration"})
    mRoot.writeFile(std::string("/sys/class/leds/vibrator/") + node, "");
  vib::LedVibratorDevice led;
  ASSERT_TRUE(led.detected);
  ASSERT_EQ(led.on(250), 0);
  EXPECT_EQ(mRoot.readFile("/sys/class/leds/vibrator/state"), std::string("1\0", 2));
  EXPECT_EQ(mRoot.readFile("/sys/class/leds/vibrator/duration"), std::string("250\n\0", 5));
  EXPECT_EQ(mRoot.readFile("/sys/class/leds/vibrator/activate"), std::string("1\0", 2));
  ASSERT_EQ(led.off(), 0);
  EXPECT_EQ(mRoot.readFile("/sys/class/leds/vibrator/activate"), std::string("0\0", 2));

  ASSERT_EQ(plat_unlink("/sys/class/leds/vibrator/duration"), 0);
  EXPECT_EQ(led.on(100), -ENOENT);  // stops at the first failure
  EXPECT_EQ(mRoot.readFile("/sys/class/leds/vibrator/activate"), std::string("0\0", 2));
}

}  // namespace
