#include "platform/evdev_device.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <time.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/devio.h"
#include "platform/paths.h"
#include "platform/temp_root.h"

namespace {

using namespace std::chrono_literals;
using platform::sim::EvdevDevice;
using platform::sim::File;
using platform::testing::TempRoot;

// Independent of the device: the evdev bit test on a byte array as user space does it.
bool testBit(const uint8_t* bits, unsigned bit) { return (bits[bit / 8] >> (bit % 8)) & 1; }

input_event ev(uint16_t type, uint16_t code, int32_t value) {
  input_event e{};
  e.type = type;
  e.code = code;
  e.value = value;
  return e;
}

bool sameEvent(const input_event& a, const input_event& b) {
  return a.type == b.type && a.code == b.code && a.value == b.value;
}

class PlatformEvdev : public ::testing::Test {
 protected:
  void SetUp() override {
    touch_ = std::make_shared<EvdevDevice>("sim-touchscreen");
    touch_->setAbsAxis(ABS_MT_POSITION_X, {0, 0, 1079, 0, 0, 0});
    touch_->setAbsAxis(ABS_MT_POSITION_Y, {0, 0, 2399, 0, 0, 0});
    touch_->setAbsAxis(ABS_MT_SLOT, {0, 0, 9, 0, 0, 0});
    touch_->setBit(EV_KEY, BTN_TOOL_FINGER);
    touch_->setBit(EV_KEY, BTN_TOUCH);
    touch_->setInputProperty(INPUT_PROP_DIRECT);
    touch_->setId({BUS_I2C, 0x1234, 0x5678, 0x0100});
    keys_ = std::make_shared<EvdevDevice>("sim-keys");
    keys_->setBit(EV_KEY, KEY_VOLUMEDOWN);
    keys_->setBit(EV_KEY, KEY_VOLUMEUP);
    ASSERT_EQ(platform::sim::registerDevice("/dev/input/event2", touch_), 0);
    ASSERT_EQ(platform::sim::registerDevice("/dev/input/event3", keys_), 0);
  }
  void TearDown() override {
    platform::sim::unregisterDevice("/dev/input/event2");
    platform::sim::unregisterDevice("/dev/input/event3");
  }

  TempRoot root_;
  std::shared_ptr<EvdevDevice> touch_, keys_;
};

TEST_F(PlatformEvdev, ScanFindsTheDeviceByItsCapabilities) {
  // The same scan a driver client makes: list /dev/input, open each node, ask for bits.
  DIR* d = plat_opendir("/dev/input");
  ASSERT_NE(d, nullptr);
  std::map<std::string, std::string> found;  // node -> role
  while (struct dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    std::string path = std::string("/dev/input/") + e->d_name;
    int fd = plat_open(path.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(fd, 0) << path;
    uint8_t ev_bits[(EV_MAX + 8) / 8] = {};
    uint8_t abs_bits[(ABS_MAX + 8) / 8] = {};
    uint8_t key_bits[(KEY_MAX + 8) / 8] = {};
    ASSERT_GT(plat_ioctl(fd, EVIOCGBIT(0, sizeof ev_bits), ev_bits), 0);
    ASSERT_GT(plat_ioctl(fd, EVIOCGBIT(EV_KEY, sizeof key_bits), key_bits), 0);
    ASSERT_GT(plat_ioctl(fd, EVIOCGBIT(EV_ABS, sizeof abs_bits), abs_bits), 0);
    EXPECT_TRUE(testBit(ev_bits, EV_SYN));
    if (testBit(ev_bits, EV_ABS) && testBit(abs_bits, ABS_MT_POSITION_X) &&
        testBit(abs_bits, ABS_MT_POSITION_Y) && testBit(key_bits, BTN_TOOL_FINGER)) {
      input_absinfo x{}, y{};
      ASSERT_EQ(plat_ioctl(fd, EVIOCGABS(ABS_MT_POSITION_X), &x), 0);
      ASSERT_EQ(plat_ioctl(fd, EVIOCGABS(ABS_MT_POSITION_Y), &y), 0);
      EXPECT_EQ(x.maximum, 1079);
      EXPECT_EQ(y.maximum, 2399);
      found[e->d_name] = "touch";
    } else if (testBit(key_bits, KEY_VOLUMEDOWN) && testBit(key_bits, KEY_VOLUMEUP)) {
      EXPECT_FALSE(testBit(ev_bits, EV_ABS));
      found[e->d_name] = "keys";
    }
    char name[64] = {};
    ASSERT_GT(plat_ioctl(fd, EVIOCGNAME(sizeof name), name), 0);
    EXPECT_EQ(std::string(name), found[e->d_name] == "touch" ? "sim-touchscreen" : "sim-keys");
    plat_close(fd);
  }
  closedir(d);
  EXPECT_EQ(found, (std::map<std::string, std::string>{{"event2", "touch"}, {"event3", "keys"}}));
}

TEST_F(PlatformEvdev, QueriesAnswerLikeTheKernel) {
  int fd = plat_open("/dev/input/event2", O_RDWR);
  int kfd = plat_open("/dev/input/event3", O_RDWR);
  ASSERT_GE(fd, 0);
  ASSERT_GE(kfd, 0);

  char name[5];
  EXPECT_EQ(plat_ioctl(fd, EVIOCGNAME(sizeof name), name), 5);  // cut, without a NUL
  EXPECT_EQ(std::string(name, 5), "sim-t");
  uint8_t big[256] = {};
  EXPECT_EQ(plat_ioctl(fd, EVIOCGBIT(EV_KEY, sizeof big), big), (KEY_MAX + 64) / 64 * 8);
  EXPECT_EQ(plat_ioctl(fd, EVIOCGBIT(EV_KEY, 4), big), 4);
  EXPECT_EQ(plat_ioctl(fd, EVIOCGBIT(EV_REP, sizeof big), big), -1);
  EXPECT_EQ(errno, EINVAL);
  uint8_t props[8] = {};
  ASSERT_GT(plat_ioctl(fd, EVIOCGPROP(sizeof props), props), 0);
  EXPECT_TRUE(testBit(props, INPUT_PROP_DIRECT));

  input_absinfo unset{1, 1, 1, 1, 1, 1};
  ASSERT_EQ(plat_ioctl(fd, EVIOCGABS(ABS_PRESSURE), &unset), 0);
  EXPECT_EQ(unset.maximum, 0);
  EXPECT_EQ(plat_ioctl(kfd, EVIOCGABS(ABS_X), &unset), -1);  // no absolute axes at all
  EXPECT_EQ(errno, EINVAL);

  int version = 0;
  ASSERT_EQ(plat_ioctl(fd, EVIOCGVERSION, &version), 0);
  EXPECT_EQ(version, 0x010001);
  input_id id{};
  ASSERT_EQ(plat_ioctl(fd, EVIOCGID, &id), 0);
  EXPECT_EQ(id.vendor, 0x1234);
  EXPECT_EQ(id.product, 0x5678);

  int clock = CLOCK_MONOTONIC;
  EXPECT_EQ(plat_ioctl(fd, EVIOCSCLOCKID, &clock), 0);
  EXPECT_EQ(touch_->lastClockId(), CLOCK_MONOTONIC);
  clock = 99;
  EXPECT_EQ(plat_ioctl(fd, EVIOCSCLOCKID, &clock), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(plat_ioctl(fd, EVIOCGVERSION, nullptr), -1);
  EXPECT_EQ(errno, EFAULT);

  // Force feedback is not part of a plain input device.
  ff_effect effect{};
  EXPECT_EQ(plat_ioctl(fd, EVIOCSFF, &effect), -1);
  EXPECT_EQ(errno, EINVAL);
  plat_close(fd);
  plat_close(kfd);
}

TEST_F(PlatformEvdev, RecordsWrittenEvents) {
  int fd = plat_open("/dev/input/event2", O_RDWR | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  const input_event down[] = {
      ev(EV_ABS, ABS_MT_SLOT, 0),          ev(EV_ABS, ABS_MT_TRACKING_ID, 100),
      ev(EV_KEY, BTN_TOUCH, 1),            ev(EV_ABS, ABS_MT_POSITION_X, 540),
      ev(EV_ABS, ABS_MT_POSITION_Y, 1200), ev(EV_SYN, SYN_REPORT, 0),
  };
  ASSERT_EQ(plat_write(fd, down, sizeof down), static_cast<ssize_t>(sizeof down));
  EXPECT_EQ(plat_write(fd, down, 10), -1);  // less than one event
  EXPECT_EQ(errno, EINVAL);
  // A trailing piece of an event is not taken.
  EXPECT_EQ(plat_write(fd, down, 2 * sizeof(input_event) + 5),
            static_cast<ssize_t>(2 * sizeof(input_event)));

  std::vector<input_event> got = touch_->writtenEvents();
  ASSERT_EQ(got.size(), 8u);
  for (size_t i = 0; i < 6; ++i) EXPECT_TRUE(sameEvent(got[i], down[i])) << i;
  EXPECT_TRUE(sameEvent(got[6], down[0]));
  EXPECT_TRUE(sameEvent(got[7], down[1]));

  touch_->clearWritten();
  EXPECT_FALSE(touch_->waitForWritten(1, 30ms));
  std::thread writer([&] {
    std::this_thread::sleep_for(30ms);
    plat_write(fd, down, sizeof down);
  });
  EXPECT_TRUE(touch_->waitForWritten(6, 5s));
  writer.join();
  EXPECT_EQ(touch_->writtenCount(), 6u);
  plat_close(fd);
}

TEST_F(PlatformEvdev, InjectedEventsReachEveryReader) {
  int a = plat_open("/dev/input/event3", O_RDONLY | O_NONBLOCK);
  int b = plat_open("/dev/input/event3", O_RDONLY | O_NONBLOCK);
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  int clock = CLOCK_MONOTONIC;
  ASSERT_EQ(plat_ioctl(a, EVIOCSCLOCKID, &clock), 0);
  input_event buf[4];
  EXPECT_EQ(plat_read(a, buf, sizeof buf), -1);
  EXPECT_EQ(errno, EAGAIN);
  EXPECT_EQ(plat_read(a, buf, 10), -1);
  EXPECT_EQ(errno, EINVAL);

  std::thread presser([&] {
    std::this_thread::sleep_for(40ms);
    const input_event press[] = {ev(EV_KEY, KEY_VOLUMEUP, 1), ev(EV_SYN, SYN_REPORT, 0)};
    keys_->injectEvents(press, 2);
  });
  struct pollfd p[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
  ASSERT_GE(plat_poll(p, 2, 5000), 1);
  presser.join();
  int late = plat_open("/dev/input/event3", O_RDONLY | O_NONBLOCK);  // opened afterwards

  for (int fd : {a, b}) {
    ASSERT_EQ(plat_read(fd, buf, sizeof buf), static_cast<ssize_t>(2 * sizeof(input_event)));
    EXPECT_TRUE(sameEvent(buf[0], ev(EV_KEY, KEY_VOLUMEUP, 1)));
    EXPECT_TRUE(sameEvent(buf[1], ev(EV_SYN, SYN_REPORT, 0)));
  }
  // Reader a asked for the monotonic clock; its stamp is close to now on that clock.
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  EXPECT_LE(now.tv_sec - 5, buf[0].input_event_sec);
  EXPECT_EQ(plat_read(late, buf, sizeof buf), -1);
  EXPECT_EQ(errno, EAGAIN);

  // A reader that falls behind finds SYN_DROPPED and the newest event.
  std::vector<input_event> flood;
  for (int i = 0; i <= 1024; ++i) flood.push_back(ev(EV_MSC, MSC_SCAN, i));
  keys_->injectEvents(flood.data(), flood.size());
  ASSERT_EQ(plat_read(late, buf, sizeof buf), static_cast<ssize_t>(2 * sizeof(input_event)));
  EXPECT_TRUE(sameEvent(buf[0], ev(EV_SYN, SYN_DROPPED, 0)));
  EXPECT_TRUE(sameEvent(buf[1], ev(EV_MSC, MSC_SCAN, 1024)));
  plat_close(a);
  plat_close(b);
  plat_close(late);
}

TEST_F(PlatformEvdev, BlockingReadWakesOnEventAndOnRemoval) {
  int fd = plat_open("/dev/input/event3", O_RDONLY);
  ASSERT_GE(fd, 0);
  std::thread presser([&] {
    std::this_thread::sleep_for(30ms);
    const input_event press = ev(EV_KEY, KEY_VOLUMEDOWN, 1);
    keys_->injectEvents(&press, 1);
  });
  input_event got{};
  EXPECT_EQ(plat_read(fd, &got, sizeof got), static_cast<ssize_t>(sizeof got));
  presser.join();
  EXPECT_TRUE(sameEvent(got, ev(EV_KEY, KEY_VOLUMEDOWN, 1)));

  std::thread remover([&] {
    std::this_thread::sleep_for(30ms);
    platform::sim::unregisterDevice("/dev/input/event3");
  });
  EXPECT_EQ(plat_read(fd, &got, sizeof got), -1);
  EXPECT_EQ(errno, ENODEV);
  remover.join();
  EXPECT_EQ(plat_close(fd), 0);
}

// The extension point a force-feedback device builds on.
class FfDevice : public EvdevDevice {
 public:
  FfDevice() : EvdevDevice("sim-ff") { setBit(EV_FF, FF_CONSTANT); }
  std::vector<int> played;
  std::vector<long> removed;

 protected:
  int forceFeedbackIoctl(File&, unsigned long request, void* arg) override {
    if (request == EVIOCRMFF) {  // the effect id travels as the argument itself
      removed.push_back(reinterpret_cast<long>(arg));
      return 0;
    }
    if (request != EVIOCSFF) return -EINVAL;
    static_cast<ff_effect*>(arg)->id = 3;
    return 0;
  }
  void onWrittenEvent(File&, const input_event& e) override {
    if (e.type == EV_FF) played.push_back(e.code);
  }
};

TEST_F(PlatformEvdev, ForceFeedbackExtensionPoint) {
  auto ff = std::make_shared<FfDevice>();
  ASSERT_EQ(platform::sim::registerDevice("/dev/input/event5", ff), 0);
  int fd = plat_open("/dev/input/event5", O_RDWR);
  ASSERT_GE(fd, 0);
  ff_effect effect{};
  effect.id = -1;
  ASSERT_EQ(plat_ioctl(fd, EVIOCSFF, &effect), 0);
  EXPECT_EQ(effect.id, 3);
  const input_event play = ev(EV_FF, 3, 1);
  ASSERT_EQ(plat_write(fd, &play, sizeof play), static_cast<ssize_t>(sizeof play));
  EXPECT_EQ(ff->played, std::vector<int>{3});
  // Removal passes the id by value; id 0 is a null argument and must still arrive.
  EXPECT_EQ(plat_ioctl(fd, EVIOCRMFF, 0UL), 0);
  EXPECT_EQ(plat_ioctl(fd, EVIOCRMFF, 3UL), 0);
  EXPECT_EQ(ff->removed, (std::vector<long>{0, 3}));
  // A pointer request with a null pointer is still refused.
  EXPECT_EQ(plat_ioctl(fd, EVIOCSFF, nullptr), -1);
  EXPECT_EQ(errno, EFAULT);
  plat_close(fd);
  platform::sim::unregisterDevice("/dev/input/event5");
}

}  // namespace
