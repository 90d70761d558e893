#include "platform/properties.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <android-base/properties.h>
#include <gtest/gtest.h>

#include "platform/properties_test_api.h"
#include "platform/temp_root.h"

namespace {

using namespace std::chrono_literals;
using platform::testing::TempRoot;

class PlatformProperties : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("VENDOR_PROPERTIES");
    plat_properties_reset();
  }
  void TearDown() override { plat_properties_reset(); }

  static std::string get(const char* key, const char* def = "") {
    char buf[PROP_VALUE_MAX];
    int n = property_get(key, buf, def);
    EXPECT_EQ(n, static_cast<int>(strlen(buf)));
    return buf;
  }

  TempRoot root_;
};

TEST_F(PlatformProperties, SetThenGetAndDefaults) {
  EXPECT_EQ(get("persist.vendor.hostprocess.glovestatus", "dflt"), "dflt");
  ASSERT_EQ(property_set("persist.vendor.hostprocess.glovestatus", "2"), 0);
  EXPECT_EQ(get("persist.vendor.hostprocess.glovestatus", "dflt"), "2");
  ASSERT_EQ(property_set("persist.vendor.hostprocess.glovestatus", "1"), 0);
  EXPECT_EQ(get("persist.vendor.hostprocess.glovestatus", "dflt"), "1");

  // An empty value reads as missing; a NULL default gives the empty string.
  ASSERT_EQ(property_set("vendor.empty", ""), 0);
  EXPECT_EQ(get("vendor.empty", "fallback"), "fallback");
  char buf[PROP_VALUE_MAX] = "junk";
  EXPECT_EQ(property_get("vendor.missing", buf, nullptr), 0);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(property_get(nullptr, buf, "d"), 1);
  EXPECT_STREQ(buf, "d");
}

TEST_F(PlatformProperties, RefusesBadKeysAndValues) {
  const std::string v91(91, 'v'), v92(92, 'v'), v300(300, 'v');
  const std::string long_key = "vendor." + std::string(100, 'k');  // modern keys may be long
  struct Case {
    const char* key;
    const char* value;
    int rc;
  } cases[] = {
      {"vendor.a", v91.c_str(), 0},
      {"vendor.a", v92.c_str(), -EINVAL},
      {"ro.vendor.long", v300.c_str(), 0},
      {long_key.c_str(), "1", 0},
      {"", "1", -EINVAL},
      {"vendor.a b", "1", -EINVAL},
      {"vendor.a\nb", "1", -EINVAL},
      {"vendor.a\x01", "1", -EINVAL},
      {"vendor.a=b", "1", -EINVAL},
      // Names the property service refuses: only letters, digits and "_-@:" between
      // single dots.
      {"vendor/a", "1", -EINVAL},
      {"vendor.a#b", "1", -EINVAL},
      {"vendor..a", "1", -EINVAL},
      {".vendor.a", "1", -EINVAL},
      {"vendor.a.", "1", -EINVAL},
      {"vendor.a*", "1", -EINVAL},
      {"vendor.\xc3\xa9", "1", -EINVAL},
      {"vendor.A_b-c@d:e.9", "1", 0},
      // Values must be UTF-8.
      {"vendor.utf8", "caf\xc3\xa9", 0},
      {"vendor.utf8", "caf\xc3", -EINVAL},
      {"vendor.utf8", "\xff", -EINVAL},
      {"vendor.utf8", "\xc0\x80", -EINVAL},  // an overlong form
      {nullptr, "1", -EINVAL},
      {"vendor.a", nullptr, -EINVAL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key != nullptr ? c.key : "(null)");
    EXPECT_EQ(property_set(c.key, c.value), c.rc);
  }
  EXPECT_EQ(get("vendor.a"), v91);  // the refused 92-byte value did not replace it
}

TEST_F(PlatformProperties, ReadOnlyKeysAreWrittenOnce) {
  ASSERT_EQ(property_set("ro.vendor.touch.touchscheduler.enable", "true"), 0);
  EXPECT_EQ(property_set("ro.vendor.touch.touchscheduler.enable", "false"), -EPERM);
  EXPECT_EQ(get("ro.vendor.touch.touchscheduler.enable"), "true");
  plat_properties_reset();
  EXPECT_EQ(get("ro.vendor.touch.touchscheduler.enable", "unset"), "unset");
  EXPECT_EQ(property_set("ro.vendor.touch.touchscheduler.enable", "false"), 0);
}

TEST_F(PlatformProperties, LongValuesAreCutWithinTheBuffer) {
  std::string value(200, 'x');
  value[90] = 'y';
  ASSERT_EQ(property_set("ro.build.fingerprint", value.c_str()), 0);
  char buf[PROP_VALUE_MAX + 8];
  memset(buf, '#', sizeof buf);
  EXPECT_EQ(property_get("ro.build.fingerprint", buf, ""), PROP_VALUE_MAX - 1);
  EXPECT_EQ(buf[PROP_VALUE_MAX - 2], 'y');
  EXPECT_EQ(buf[PROP_VALUE_MAX - 1], '\0');
  EXPECT_EQ(buf[PROP_VALUE_MAX], '#');  // nothing written past PROP_VALUE_MAX
  // A long default is cut the same way.
  std::string dflt(150, 'd');
  EXPECT_EQ(property_get("vendor.none", buf, dflt.c_str()), PROP_VALUE_MAX - 1);
  EXPECT_EQ(buf[PROP_VALUE_MAX], '#');
}

TEST_F(PlatformProperties, BooleanAndIntegerReadings) {
  struct BoolCase {
    const char* value;
    int expected_with_default_minus1;
  } bools[] = {{"1", 1},   {"y", 1},  {"yes", 1}, {"on", 1},   {"true", 1},  {"0", 0},
               {"n", 0},   {"no", 0}, {"off", 0}, {"false", 0}, {"TRUE", -1}, {" on", -1},
               {"2", -1},  {"", -1}};
  for (const BoolCase& c : bools) {
    SCOPED_TRACE(c.value);
    ASSERT_EQ(property_set("vendor.b", c.value), 0);
    EXPECT_EQ(property_get_bool("vendor.b", -1), c.expected_with_default_minus1);
  }
  EXPECT_EQ(property_get_bool("vendor.b.missing", 1), 1);

  struct IntCase {
    const char* value;
    int64_t as64;  // with default -99
    int32_t as32;  // with default -99
  } ints[] = {
      {"42", 42, 42},
      {"-7", -7, -7},
      {"0x10", 16, 16},
      {"010", 8, 8},
      {"  12", 12, 12},
      {"12abc", 12, 12},
      {"abc", -99, -99},
      {"", -99, -99},
      {"2147483647", 2147483647, 2147483647},
      {"2147483648", 2147483648LL, -99},
      {"-2147483648", -2147483648LL, INT32_MIN},
      {"-2147483649", -2147483649LL, -99},
      {"9223372036854775807", INT64_MAX, -99},
      {"9223372036854775808", -99, -99},
  };
  for (const IntCase& c : ints) {
    SCOPED_TRACE(c.value);
    ASSERT_EQ(property_set("vendor.i", c.value), 0);
    EXPECT_EQ(property_get_int64("vendor.i", -99), c.as64);
    EXPECT_EQ(property_get_int32("vendor.i", -99), c.as32);
  }
  EXPECT_EQ(property_get_int32("vendor.i.missing", 5), 5);
}

TEST_F(PlatformProperties, LibbaseReadersSeeTheSameStore) {
  ASSERT_EQ(property_set("vendor.aihaptic.mode", "3"), 0);
  EXPECT_EQ(android::base::GetProperty("vendor.aihaptic.mode", "none"), "3");
  EXPECT_EQ(android::base::GetIntProperty("vendor.aihaptic.mode", 0), 3);
  plat_properties_reset();
  EXPECT_EQ(android::base::GetProperty("vendor.aihaptic.mode", "none"), "none");
}

TEST_F(PlatformProperties, DefaultsFilesLoadInOrder) {
  root_.writeFile("/vendor/build.prop",
                  "# vendor defaults\n"
                  "ro.odm.mm.vibrator.he2.0=not_support\n"
                  "  vendor.shared = from-vendor  \r\n"
                  "import /odm/other.prop\n"
                  "\n"
                  "bad key=1\n");
  root_.writeFile("/odm/build.prop",
                  "ro.odm.mm.vibrator.he2.0=thrumwave\n"
                  "vendor.odm.only=yes\n");
  std::string extra = root_.dir() + "/extra.prop";
  root_.writeFile("/extra.prop", "vendor.shared=from-env\n");
  ASSERT_EQ(setenv("VENDOR_PROPERTIES", extra.c_str(), 1), 0);
  plat_properties_reset();

  EXPECT_EQ(get("ro.odm.mm.vibrator.he2.0"), "thrumwave");
  EXPECT_EQ(get("vendor.shared"), "from-env");
  EXPECT_EQ(get("vendor.odm.only"), "yes");
  EXPECT_EQ(get("bad key", "absent"), "absent");
  EXPECT_EQ(property_set("ro.odm.mm.vibrator.he2.0", "other"), -EPERM);

  std::vector<std::string> listed;
  property_list(
      [](const char* k, const char* v, void* cookie) {
        static_cast<std::vector<std::string>*>(cookie)->push_back(std::string(k) + "=" + v);
      },
      &listed);
  EXPECT_EQ(listed, (std::vector<std::string>{"ro.odm.mm.vibrator.he2.0=thrumwave",
                                              "vendor.odm.only=yes",
                                              "vendor.shared=from-env"}));
}

TEST_F(PlatformProperties, WaitsTimeOutAndWakeOnSet) {
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(android::base::WaitForPropertyCreation("ro.build.version.release", 60ms));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 60ms);

  // A set from another thread wakes a waiter that would otherwise wait forever.
  std::thread setter([] {
    std::this_thread::sleep_for(30ms);
    property_set("vendor.state", "starting");
    std::this_thread::sleep_for(30ms);
    property_set("ro.build.version.release", "14");
    property_set("vendor.state", "running");
  });
  EXPECT_TRUE(android::base::WaitForPropertyCreation("ro.build.version.release",
                                                     std::chrono::milliseconds::max()));
  EXPECT_TRUE(android::base::WaitForProperty("vendor.state", "running", 5s));
  setter.join();
  EXPECT_FALSE(android::base::WaitForProperty("vendor.state", "stopped", 20ms));
  EXPECT_TRUE(android::base::WaitForProperty("vendor.state", "running", 0ms));
}

}  // namespace
