#include <fcntl.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "config/hal_config.h"
#include "config/test_host.h"
#include "platform/devio.h"
#include "platform/temp_root.h"

namespace {

using hal_test::ParsedConfigCall;
using hal_test::TestHost;
using platform::testing::TempRoot;

const char kPanelFile[] = "hw\n    hal_col_num = 38\nreport_rate\n    rate_normal = 120\n";

struct Seen {
  int32_t col = -1;
  int32_t vendorFd = -2;
  std::string vendorText;
  ParsedConfigCall call{};
};

class HalConfigInterface : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.on_config = [this](const ParsedConfigCall &call) {
      seen_.call = call;
      seen_.col = call.accessor->get_int_config(call.tree, "hw.hal_col_num", -1);
      seen_.vendorFd = call.vendor_fd;
      if (call.vendor_fd >= 0) {
        char text[64] = {};
        ssize_t n = plat_pread(call.vendor_fd, text, sizeof text - 1, 0);
        if (n > 0) seen_.vendorText.assign(text, static_cast<size_t>(n));
      }
    };
  }
  int32_t init(TouchPanelInfo &panel) { return hal_config_interface()->init(&panel, -1, 0, 0); }

  TempRoot root_;
  TestHost host_;
  Seen seen_;
};

TEST_F(HalConfigInterface, HandsTreeVendorFileAndScaledExtentsToTheHost) {
  root_.writeFile("/odm/firmware/panel_a.cfg", kPanelFile);
  root_.writeFile("/vendor/firmware/panel_a_vendor.cfg", "vendor-bytes");
  TouchPanelInfo panel = hal_test::makePanel("panel_a.cfg", 1080, 2400, 8);
  ASSERT_EQ(init(panel), 0);
  EXPECT_EQ(host_.configCalls(), 1);
  EXPECT_EQ(seen_.col, 38);
  EXPECT_GE(seen_.vendorFd, 0);
  EXPECT_EQ(seen_.vendorText, "vendor-bytes");
  EXPECT_EQ(seen_.call.panel, &panel);
  EXPECT_EQ(seen_.call.extent_x, 1080 * 8);
  EXPECT_EQ(seen_.call.extent_y, 2400 * 8);
  EXPECT_EQ(seen_.call.tx, 38);
  EXPECT_EQ(seen_.call.rx, 17);
  EXPECT_EQ(host_.count("use config file is: /odm/firmware/panel_a.cfg"), 1u);
  EXPECT_EQ(host_.count("use vendor config file is: /vendor/firmware/panel_a_vendor.cfg"), 1u);
  // The descriptor is closed again once the host has had it.
  EXPECT_EQ(plat_close(seen_.vendorFd), -1);
}

TEST_F(HalConfigInterface, ABrokenFileFallsBackToTheNextDirectory) {
  root_.writeFile("/odm/firmware/panel_b.cfg", "hw\n   hal_col_num = 1\n");  // three spaces
  root_.writeFile("/vendor/firmware/panel_b.cfg", kPanelFile);
  TouchPanelInfo panel = hal_test::makePanel("panel_b.cfg");
  ASSERT_EQ(init(panel), 0);
  EXPECT_EQ(seen_.col, 38);
  EXPECT_EQ(seen_.vendorFd, -1);  // no companion anywhere
  EXPECT_EQ(host_.count("error indent in line 2"), 1u);
  EXPECT_EQ(host_.count("can't not find vendor config file panel_b_vendor.cfg!"), 1u);
}

TEST_F(HalConfigInterface, MissingAndUnusableNamesAreRefused) {
  TouchPanelInfo missing = hal_test::makePanel("nowhere.cfg");
  EXPECT_EQ(init(missing), HAL_RESULT_FAILED);
  EXPECT_GE(host_.count("can't open config file"), 1u);

  // A name that fills its whole field without a terminator.
  TouchPanelInfo unterminated = hal_test::makePanel("");
  memset(unterminated.config_file, 'a', sizeof unterminated.config_file);
  EXPECT_EQ(init(unterminated), HAL_RESULT_FAILED);

  // A name that would make every path longer than a path may be: refused, not cut.
  std::string longName(120, 'n');
  root_.writeFile("/odm/firmware/" + longName.substr(0, 113), kPanelFile);
  TouchPanelInfo tooLong = hal_test::makePanel(longName.c_str());
  EXPECT_EQ(init(tooLong), HAL_RESULT_FAILED);
  EXPECT_GE(host_.count("too long, skip it"), 1u);
  EXPECT_EQ(host_.configCalls(), 0);
}

TEST(HalConfigVendorName, EveryDotGetsTheVendorMark) {
  TempRoot root;
  TestHost host;
  root.writeFile("/odm/firmware/a.b.cfg", kPanelFile);
  root.writeFile("/odm/firmware/a_vendor.b_vendor.cfg", "v");
  int fd = -1;
  host.on_config = [&fd](const ParsedConfigCall &call) { fd = call.vendor_fd; };
  TouchPanelInfo panel = hal_test::makePanel("a.b.cfg");
  ASSERT_EQ(hal_config_interface()->init(&panel, -1, 0, 0), 0);
  EXPECT_GE(fd, 0);
}

}  // namespace
