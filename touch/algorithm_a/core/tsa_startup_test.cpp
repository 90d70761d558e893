#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework.h"
#include "region.h"
#include "tsa_config.h"
#include "tsa_debug.h"
#include "tsa_module.h"
#include "tsa_module_test_util.h"
#include "tsa_pack.h"
#include "tsa_replay.h"
#include "tsa_startup.h"

namespace {

using fxtest::Bytes;
using fxtest::LogCapture;
using fxtest::V;

class StartupPackages : public ::testing::Test {
 protected:
  void SetUp() override {
    TsaModuleResetForTest();
    TsaDebugResetForTest();
    ReplayResetForTest();
    LogCapture::Clear();
    host_.log = LogCapture::Log;
    register_alg_module(&host_);
    MutexUnlock();
  }
  void TearDown() override {
    TsaStartupUnbindForTest();
    ReplayResetForTest();
    TsaModuleResetForTest();
  }
  // The configuration file as the host handed it, and its information block accepted.
  void LoadFile(const fxtest::IcInfoDesc& desc, bool withConfig = true) {
    const Bytes file = fxtest::BuildConfigFile(fxtest::GoodConfigBlob(), fxtest::BuildIcInfoBlock(desc));
    std::memcpy(flash_bin_buf, file.data(), file.size());
    flash_bin_len = static_cast<uint32_t>(file.size());
    if (withConfig) g_config_ptr = flash_bin_buf + 1;
    ferx_get_ic_version(&ic_version);
    ASSERT_EQ(ferx_get_ic_info(&ic_info), 0);
  }
  AlgHostCallbacks host_{};
};

TEST_F(StartupPackages, ControllerDescriptionReachesTheAlgorithm) {
  fxtest::IcInfoDesc desc;
  desc.lists[1] = {100, 200, 300, 400, 500, 600, 700, 800};
  LoadFile(desc);
  ASSERT_EQ(ferx_tsa_init(), 0);
  // Versions.
  EXPECT_STREQ(GetVersionSys(), "0.0.0");
  EXPECT_STREQ(GetVersionTsc(), "0.0.0");
  EXPECT_STREQ(GetVersionHal(), "00.00");  // version bytes of ic_version are 0
  EXPECT_STREQ(GetVersionFw(), "7731");
  EXPECT_TRUE(LogCapture::Has("tsa ver:VC0.00.01.33"));
  EXPECT_TRUE(LogCapture::Has("Vendor: ferrant"));
  EXPECT_TRUE(LogCapture::Has("Config ID: 0xA1B2C3"));
  EXPECT_TRUE(LogCapture::Has("CHIP UID:00000000000000000000000000000000"));
  // Front-end capabilities, as the information block gave them.
  EXPECT_EQ(GetAfeDrvNum(), 16);
  EXPECT_EQ(GetAfeSenNum(), 30);
  EXPECT_EQ(GetAfeButtonNum(), 2);
  EXPECT_EQ(GetAfeScanRateNum(), 2);
  EXPECT_EQ(GetAfeMutualFreqNum(), 8);
  EXPECT_EQ(V(GetAfeMutualFreq()[7]), 800);
  EXPECT_EQ(GetAfeSelfTxFreqNum(), 1);
  EXPECT_EQ(GetAfeSelfRxFreqNum(), 2);
  EXPECT_EQ(GetAfeStylusFreqNum(), 0);
  EXPECT_EQ(GetAfeFreqHopFeature(), 0x0102);
  EXPECT_EQ(GetAfeCalibFeature(), 0x0304);
  EXPECT_EQ(GetAfeStylusFeature(), 0x0708);
  EXPECT_EQ(GetAfeNoiseDetFeature(), 0);
  EXPECT_EQ(GetAfeSensorArch(), 1);
  EXPECT_EQ(GetAfeSensorPattern(), 4);
  EXPECT_EQ(GetAfePitchSize(), 4000);
  EXPECT_EQ(GetAfeDataType(), 64);
  // Resolution and orientation then follow the panel configuration in force (none here).
  EXPECT_EQ(GetAfeXResolution(), 0);
  EXPECT_EQ(GetAfeXYSwap(), 0);
  // Configuration: stored, applied, and the panel laid out from the capabilities.
  EXPECT_TRUE(LogCapture::Has("tsa config package len 4124"));
  EXPECT_EQ(FirmwareConfigHasApplied(), 1);
  EXPECT_EQ(V(gstTimeCtrlCfg.uwPeriodState2), 5000);
  EXPECT_EQ(V(gstPannelAlignCfg.ubDrvNum), 16);
  EXPECT_EQ(V(gstPannelAlignCfg.ubSenNum), 30);
}

TEST_F(StartupPackages, WithoutConfigurationFailsAfterTheFirstTwoPackages) {
  LoadFile({}, /*withConfig=*/false);
  // Resolution and orientation come from the panel configuration in force.
  std::memset(&gstTouchPannelCfg, 0, sizeof(gstTouchPannelCfg));
  gstTouchPannelCfg.aubHead[0] = 0xD0;  // 720
  gstTouchPannelCfg.aubHead[1] = 0x02;
  gstTouchPannelCfg.aubHead[2] = 0x40;  // 1600
  gstTouchPannelCfg.aubHead[3] = 0x06;
  gstCoordTranCfg.aubData[0] = 0x05;    // swap and y reversal
  EXPECT_EQ(ferx_tsa_init(), STARTUP_ERR_CONFIG);
  EXPECT_TRUE(LogCapture::Has("failed set tsa config"));
  EXPECT_STREQ(GetVersionFw(), "7731");  // delivered before
  EXPECT_EQ(GetAfeSenNum(), 30);
  EXPECT_EQ(GetAfeXResolution(), 720);
  EXPECT_EQ(GetAfeYResolution(), 1600);
  EXPECT_EQ(GetAfeXYSwap(), 1);
  EXPECT_EQ(GetAfeYReveral(), 1);
  EXPECT_EQ(GetAfeXReveral(), 0);
}

TEST_F(StartupPackages, AnOverlongListCountDeliversOnlyTheRecordsEightSlots) {
  fxtest::IcInfoDesc desc;
  desc.lists[1] = {1, 2, 3, 4, 5, 6, 7, 8, 9};  // count 9: unpacking ends there
  LoadFile(desc);
  EXPECT_EQ(V(ic_info.mutual_freq.num), 9);
  ASSERT_EQ(ferx_tsa_init(), 0);
  EXPECT_EQ(GetAfeMutualFreqNum(), 8);
  EXPECT_EQ(GetAfeScanRateNum(), 2);
}

TEST_F(StartupPackages, EmptyListsGiveEmptyItems) {
  fxtest::IcInfoDesc desc;
  for (auto& list : desc.lists) list.clear();
  LoadFile(desc);
  ASSERT_EQ(ferx_tsa_init(), 0);
  EXPECT_EQ(GetAfeMutualFreqNum(), 0);
  EXPECT_EQ(GetAfeScanRateNum(), 0);
}

TEST_F(StartupPackages, ReplayWriterAndRequestRingAreBound) {
  LoadFile({});
  ASSERT_EQ(ferx_tsa_init(), 0);
  uint8_t item[12] = {1, 2, 3};
  PrintReplayData(item, sizeof(item));  // the report packers' replay-data writer
  EXPECT_EQ(log_to_file.count, 12u);
  const uint8_t ubQueued = V(tsa_request_num);  // the start frequency's switch command
  SampleStart(0);  // the framework's sample-start request
  EXPECT_EQ(V(tsa_request_num), ubQueued + 1);
}

}  // namespace
