// A simulated input device is visible to inotify on the resolved /dev/input the moment it
// is registered and gone when unregistered, and its key capabilities read as evdev's do.
#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/devio.h"
#include "platform/evdev_device.h"
#include "platform/paths.h"
#include "platform/simdev.h"
#include "platform/temp_root.h"

namespace {

// Names of the entries of one batch of inotify events with the given mask bit.
std::vector<std::string> namesOf(int fd, uint32_t mask) {
  std::vector<std::string> names;
  struct pollfd p = {fd, POLLIN, 0};
  if (poll(&p, 1, 1000) <= 0) return names;
  alignas(struct inotify_event) char buf[4096];
  const ssize_t n = read(fd, buf, sizeof buf);
  for (ssize_t off = 0; off < n;) {
    const auto *e = reinterpret_cast<const struct inotify_event *>(buf + off);
    if ((e->mask & mask) != 0 && e->len > 0) names.emplace_back(e->name);
    off += static_cast<ssize_t>(sizeof *e + e->len);
  }
  return names;
}

TEST(InputWatch, RegisteringAVolumeKeyDeviceWakesAWatcherAndItsKeysReadBack) {
  platform::testing::TempRoot root;
  ASSERT_EQ(plat_mkdir_p("/dev/input", 0755), 0);
  const int in = inotify_init1(IN_CLOEXEC);
  ASSERT_GE(in, 0);
  ASSERT_GE(inotify_add_watch(in, plat_path("/dev/input").c_str(), IN_CREATE | IN_DELETE), 0);

  auto keys = std::make_shared<platform::sim::EvdevDevice>("sim-keys");
  keys->setBit(EV_KEY, KEY_VOLUMEUP);
  keys->setBit(EV_KEY, KEY_VOLUMEDOWN);
  ASSERT_EQ(platform::sim::registerDevice("/dev/input/event7", keys), 0);
  EXPECT_EQ(namesOf(in, IN_CREATE), std::vector<std::string>{"event7"});

  const int fd = plat_open("/dev/input/event7", O_RDONLY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  uint8_t bits[KEY_MAX / 8 + 1] = {};
  ASSERT_GE(plat_ioctl(fd, EVIOCGBIT(EV_KEY, sizeof bits), bits), 0);
  EXPECT_TRUE(bits[KEY_VOLUMEUP / 8] & (1u << (KEY_VOLUMEUP % 8)));
  EXPECT_TRUE(bits[KEY_VOLUMEDOWN / 8] & (1u << (KEY_VOLUMEDOWN % 8)));
  EXPECT_FALSE(bits[KEY_POWER / 8] & (1u << (KEY_POWER % 8)));
  // A press injected by the test reads back as the kernel delivers it; none is pending after.
  input_event press{};
  press.type = EV_KEY;
  press.code = KEY_VOLUMEUP;
  press.value = 1;
  keys->injectEvents(&press, 1);
  input_event got{};
  ASSERT_EQ(plat_read(fd, &got, sizeof got), static_cast<ssize_t>(sizeof got));
  EXPECT_EQ(got.code, KEY_VOLUMEUP);
  EXPECT_EQ(got.value, 1);
  EXPECT_LT(plat_read(fd, &got, sizeof got), 0);
  plat_close(fd);

  ASSERT_EQ(platform::sim::unregisterDevice("/dev/input/event7"), 0);
  EXPECT_EQ(namesOf(in, IN_DELETE), std::vector<std::string>{"event7"});
  close(in);
}

}  // namespace
