// A replay or test tool that loads the production plug-in and drives it only through its
// exported Tsa entries: no host, no register_alg_module, no init operation. Each road runs
// in a freshly started process (a death-test child re-executing this binary), so nothing a
// previous road or an earlier load bound can make it pass.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tsa_module_test_util.h"
#include "tsa_replay_test_util.h"

namespace {

using Bytes = std::vector<uint8_t>;
using replay_test::ItemEncoder;

const std::string kPlugin = std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_alg_ferrant.so";

constexpr uint16_t kConfiguredIdleTime = 777;

struct Tool {
  uint32_t (*TsaInit)(uint8_t*, uint32_t);
  uint32_t (*TsaGetInitInfo)(uint32_t, uint8_t*, uint32_t*);
  uint16_t (*GetNormalActToIdleTime)(void);
};

// Child side: a failed check prints what failed and ends the child with that check's code.
[[noreturn]] void Fail(int code, const std::string& what) {
  std::fprintf(stderr, "tool road check %d failed: %s\n", code, what.c_str());
  std::fflush(stderr);
  std::_Exit(code);
}

Tool LoadTool() {
  void* lib = dlopen(kPlugin.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) Fail(90, dlerror());
  Tool t{};
  auto sym = [&](const char* name) {
    void* p = dlsym(lib, name);
    if (p == nullptr) Fail(91, name);
    return p;
  };
  t.TsaInit = reinterpret_cast<decltype(t.TsaInit)>(sym("TsaInit"));
  t.TsaGetInitInfo = reinterpret_cast<decltype(t.TsaGetInitInfo)>(sym("TsaGetInitInfo"));
  t.GetNormalActToIdleTime = reinterpret_cast<decltype(t.GetNormalActToIdleTime)>(sym("GetNormalActToIdleTime"));
  return t;
}

uint32_t InitInfoU16(const Tool& t, uint32_t type) {
  uint8_t out[2] = {};
  uint32_t length = sizeof(out);
  if (t.TsaGetInitInfo(type, out, &length) != 0 || length != 2) Fail(92, "init info read back");
  return static_cast<uint32_t>(out[0] | (out[1] << 8));
}

// What a recording's init stream carries: firmware text, panel size, the configuration (the
// panel section says 1080 x 2400, the time control the idle time above), and its own
// resolution, which must not win over the configuration in force.
Bytes InitStream(const Bytes& blob) {
  return ItemEncoder()
      .Item(REPLAY_INIT_VERSION_FW, {'7', '7', '8', '6', 0})
      .ItemU16(REPLAY_INIT_DRV_NUM, 6)
      .ItemU16(REPLAY_INIT_SEN_NUM, 5)
      .Item(REPLAY_INIT_CONFIG, blob)
      .ItemU16(REPLAY_INIT_X_RESOLUTION, 7)
      .ItemU16(REPLAY_INIT_Y_RESOLUTION, 9)
      .bytes();
}

void ConfigurationIsAppliedRoad() {
  const Tool t = LoadTool();
  Bytes stream = InitStream(fxtest::PanelConfigBlob(4, kConfiguredIdleTime));
  if (t.TsaInit(stream.data(), static_cast<uint32_t>(stream.size())) != 0) Fail(1, "TsaInit refused a good stream");
  if (t.GetNormalActToIdleTime() != kConfiguredIdleTime) {
    Fail(2, "configured idle time not in force: " + std::to_string(t.GetNormalActToIdleTime()));
  }
  const uint32_t x = InitInfoU16(t, REPLAY_INIT_X_RESOLUTION);
  const uint32_t y = InitInfoU16(t, REPLAY_INIT_Y_RESOLUTION);
  if (x != 1080 || y != 2400) Fail(3, "resolution " + std::to_string(x) + " x " + std::to_string(y));
  std::exit(0);
}

void UnusableConfigurationIsRefusedRoad() {
  const Tool t = LoadTool();
  Bytes blob = fxtest::PanelConfigBlob(4, kConfiguredIdleTime);
  blob.back() ^= 0xFF;  // body sum no longer matches: the framework refuses the blob
  Bytes stream = InitStream(blob);
  const uint32_t result = t.TsaInit(stream.data(), static_cast<uint32_t>(stream.size()));
  if (result != 4) Fail(4, "TsaInit returned " + std::to_string(result) + " for a configuration not applied");
  std::exit(0);
}

class ToolApi : public ::testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(ToolApi, TsaInitAloneAppliesTheConfigurationAndItsResolution) {
  EXPECT_EXIT(ConfigurationIsAppliedRoad(), ::testing::ExitedWithCode(0), "");
}

TEST_F(ToolApi, TsaInitAloneRefusesAConfigurationItCannotApply) {
  EXPECT_EXIT(UnusableConfigurationIsRefusedRoad(), ::testing::ExitedWithCode(0), "");
}

// Every entry a tool or a customer layer may look up by name is reachable in the loaded
// plug-in: the Tsa interface and its state accessors, the re-initialisers and checks no
// path of the module calls, the networks' weight-block doors, the customer hooks and the
// wrappers offered beside the stages.
TEST(PluginExports, EveryNamedEntryIsFoundByName) {
  static const char* const kEntries[] = {
      // Module API and state accessors.
      "TsaInit", "TsaProcessingFrame", "TsaProcessingCmd", "TsaCtrlState", "GetCmdTsaCmdData", "TsaGetRequest",
      "TsaGetInitInfo", "SetReceiveRefFlag", "GetCurNoiseIndex", "GetSuspendSta", "SetFpStaBak",
      "GetNormalActToIdleTime", "GetTsaFrameProcFunc", "GetTsaFrameDataBakFunc",
      // Initialisation and checks with no caller inside the module.
      "SoftwareReInit1", "SoftwareReInit2", "FirmwareConfigCheckValid", "IdlePreJudge", "DenoiseMutualDiff",
      "GetTopTwoRx", "SetHaveTouchFlag", "NoiseDiffReduce",
      // The networks' weight blocks, installed and removed by the host.
      "NetWaterSetWeights", "NetWaterRemoveWeights", "DenoiseNetSetWeights", "DenoiseNetRemoveWeights",
      "NetFloatSetWeights", "NetFloatRemoveWeights",
      // Customer hooks.
      "CustomGlobalVarInit", "SampleImFreqSet", "DefaultStateInit", "DynamicLevelCustom", "JitaiModeRecongniseInit",
      "JitaiModeStateClear", "GetRefAndBarrayErrSta", "PowerSavingCustomer", "CustomHopTestHandle",
      "CustomLastTouchReleaseHandle", "StaticJitterAndDiffMax", "StaticMutualDiffPeakNoise",
      "StaticMutualDiffSensitivity", "EdgeResPreJudgeCustom",
      // Coordinate helpers and the small edge hooks.
      "LibSqrtU16Rounding", "CoordTailorAndZoom", "EdgeDelayOutTimerCustom", "EdgeResJudgeCustom",
      "EdgeUpperCornerJudgeCustom", "EdgeRectSuperBigCustom", "EdgeFlagJudgeCustom", "EdgePointRectJudgeCustom",
      "EdgeDeadAreaJugdeCustom", "EdgeResFlagJudgeCustom", "SameTimeTouchProcEnable", "SetSlideThXYCustom",
      "SetEdgeSlideThCustom", "SetEdgeResXYTouchBak", "EdgeRectStateCustom", "SetCornerPressTimer",
      "SetSameTimeTouchFlag", "SetClickAreaLaregTouch", "EdgeRectWeightAnalysis", "EdgeSameTimeTouchCntCustom",
      // Wrappers offered beside the stages.
      "RegionFloatCombineWrapper", "QuickRefUpdateWrapper", "QuickRefUpInitWrapper", "FirstCoordSmoothWrapper",
      "EdgeCoordSmoothSetWrapper",
  };
  void* lib = dlopen(kPlugin.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  for (const char* name : kEntries) EXPECT_NE(dlsym(lib, name), nullptr) << name;
  dlclose(lib);
}

}  // namespace
