// End to end: the real plug-in loaded with dlopen through the touch host, configured from
// a configuration file built byte by byte, initialised, driven and stopped.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "decoded_frame_bytes_test.h"
#include "ferrant_script_hook_test.h"
#include "ferx_syslog_capture_test.h"
#include "platform/paths.h"
#include "platform/temp_root.h"
#include "touch_host/host.h"
#include "tsa_module_test_util.h"

namespace {

using fxtest::Bytes;

const std::string kPlugin = std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_alg_ferrant.so";
const std::string kScriptedPlugin = std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_alg_ferrant_scripted.so";

class FerrantEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = std::make_unique<platform::testing::TempRoot>();
    configPath_ = root_->dir() + "/flash.bin";
  }
  void WriteConfig(const Bytes& file) {
    std::ofstream out(configPath_, std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  }
  // A host with the plug-in loaded and FILE read as its configuration.
  std::unique_ptr<touch_host::TouchHost> LoadWith(const Bytes& file, const std::string& plugin = kPlugin) {
    WriteConfig(file);
    touch_host::HostOptions options;
    options.log_sink = [](const touch_host::LogLine&) {};
    auto host = std::make_unique<touch_host::TouchHost>(options);
    std::string error;
    EXPECT_TRUE(host->load_alg(plugin, &error)) << error;
    EXPECT_EQ(host->alg_name(), "ferrant-alg");
    EXPECT_EQ(host->alg_version(), "ferx-alg-24.10.14.002");
    EXPECT_EQ(host->alg_style(), touch_host::AlgCallStyle::kFerrant);
    EXPECT_EQ(host->read_configuration_file(configPath_), touch_host::HostStatus::kOk);
    return host;
  }
  static bool Logged(const touch_host::HostRecord& r, const std::string& needle) {
    for (const auto& l : r.logs)
      if (l.text.find(needle) != std::string::npos) return true;
    return false;
  }
  std::unique_ptr<platform::testing::TempRoot> root_;
  std::string configPath_;
};

TEST_F(FerrantEndToEnd, InitStartsFrameReportingWithTwoTimersExitStopsIt) {
  auto owner = LoadWith(fxtest::BuildConfigFile(fxtest::GoodConfigBlob(), fxtest::BuildIcInfoBlock({})));
  touch_host::TouchHost& host = *owner;
  int32_t result = -1;
  ASSERT_EQ(host.init(&result), touch_host::HostStatus::kOk);
  EXPECT_EQ(result, 0);
  touch_host::HostRecord r = host.snapshot();
  ASSERT_EQ(r.controller_writes.size(), 1u);
  EXPECT_EQ(r.controller_writes[0].reg, 0x10174u);
  EXPECT_EQ(r.controller_writes[0].flag, 1u);
  EXPECT_EQ(r.controller_writes[0].packet, (std::vector<uint8_t>{0x00, 0x00, 0x06, 0x90, 0x01, 0x01, 0x98, 0x00}));
  EXPECT_EQ(r.timers_registered.size(), 2u);
  EXPECT_TRUE(Logged(r, "[ferx]: read flash.bin success, len:4609"));
  EXPECT_TRUE(Logged(r, "/dev/fxt_tools does not exist, skip") ||
              Logged(r, "/vendor/lib64/libferx_tsd.so does not exist, skip"));

  // One frame through both per-frame operations: the host hears back that it was processed.
  DecodedFrame frame{};
  frame.valid_mark = DECODED_FRAME_VALID_MARK;
  frame.frame_count = 5;
  ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
  r = host.snapshot();
  ASSERT_EQ(r.frames_processed.size(), 1u);
  EXPECT_EQ(r.frames_processed[0], &frame);

  // A common-data command that queues a controller request: sent after the next frame.
  common_data block{};
  block.cmd = COMMON_DATA_CMD_RESET_MODE;
  ASSERT_EQ(host.send_common_data(block), touch_host::HostStatus::kOk);
  ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
  r = host.snapshot();
  ASSERT_GE(r.controller_writes.size(), 2u);
  EXPECT_EQ(r.controller_writes.back().packet, (std::vector<uint8_t>{0x00, 0x00, 0x05, 0x9D, 0x01, 0xA3, 0x00}));

  const size_t before = r.controller_writes.size();
  ASSERT_EQ(host.exit(), touch_host::HostStatus::kOk);
  r = host.snapshot();
  ASSERT_EQ(r.controller_writes.size(), before + 1);
  EXPECT_EQ(r.controller_writes.back().packet, (std::vector<uint8_t>{0x00, 0x00, 0x05, 0x90, 0x00, 0x95, 0x00}));
}

TEST_F(FerrantEndToEnd, BadInformationBlockFailsInitWithoutTimersOrWrites) {
  Bytes block = fxtest::BuildIcInfoBlock({});
  block[block.size() - 1] ^= 0x55;  // checksum
  auto owner = LoadWith(fxtest::BuildConfigFile(fxtest::GoodConfigBlob(), block));
  touch_host::TouchHost& host = *owner;
  int32_t result = 0;
  EXPECT_EQ(host.init(&result), touch_host::HostStatus::kFailed);
  EXPECT_EQ(result, -22);
  const touch_host::HostRecord r = host.snapshot();
  EXPECT_TRUE(r.controller_writes.empty());
  EXPECT_TRUE(r.timers_registered.empty());
  EXPECT_TRUE(Logged(r, "ic info is invalid: checksum error!"));
}

TEST_F(FerrantEndToEnd, DebugDaemonIsBoundWhenItsLibraryAndNodeExist) {
  {
    std::ifstream in(FERRANT_TSD_STANDIN, std::ios::binary);
    root_->writeFile("/vendor/lib64/libferx_tsd.so",
                     std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
  }
  root_->writeFile("/dev/fxt_tools", "");
  auto owner = LoadWith(fxtest::BuildConfigFile(fxtest::GoodConfigBlob(), fxtest::BuildIcInfoBlock({})));
  touch_host::TouchHost& host = *owner;
  ASSERT_EQ(host.init(), touch_host::HostStatus::kOk);
  void* daemon = dlopen(plat_path("/vendor/lib64/libferx_tsd.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(daemon, nullptr);
  auto started = reinterpret_cast<int (*)()>(dlsym(daemon, "tsd_standin_start_calls"));
  auto lockedOk = reinterpret_cast<int (*)()>(dlsym(daemon, "tsd_standin_locked_ok"));
  auto stopped = reinterpret_cast<int (*)()>(dlsym(daemon, "tsd_standin_stop_calls"));
  EXPECT_EQ(started(), 1);
  EXPECT_EQ(lockedOk(), 1);  // it was handed a working command mutex
  ASSERT_EQ(host.exit(), touch_host::HostStatus::kOk);
  EXPECT_EQ(stopped(), 1);
  dlclose(daemon);
}

// ---- The road of one module life: configuration, init, resume, reference handshake,
// finger frames with a scripted coordinate result, and the replay dump ----------------------

// The panel of the information block (16 drive x 30 sense lines).
constexpr uint32_t kDrv = 16;
constexpr uint32_t kSen = 30;
constexpr uint32_t kNodes = kDrv * kSen;

Bytes ControllerPacket(uint8_t cmd, uint8_t p) {
  const uint16_t sum = static_cast<uint16_t>(0x05 + cmd + p);
  return {0x00, 0x00, 0x05, cmd, p, static_cast<uint8_t>(sum), static_cast<uint8_t>(sum >> 8)};
}

// Walks a replay item stream ({u32 type, u32 length, payload}); false when an item runs
// past the end. Types in order go to TYPES.
bool WalkItems(const Bytes& stream, std::vector<uint32_t>* types) {
  size_t at = 0;
  while (at < stream.size()) {
    if (stream.size() - at < 8) return false;
    uint32_t type = 0, length = 0;
    for (int k = 0; k < 4; ++k) {
      type |= static_cast<uint32_t>(stream[at + k]) << (8 * k);
      length |= static_cast<uint32_t>(stream[at + 4 + k]) << (8 * k);
    }
    if (length > stream.size() - at - 8) return false;
    types->push_back(type);
    at += 8 + length;
  }
  return true;
}

TEST_F(FerrantEndToEnd, RoadFromConfigurationToPointsAndReplayDump) {
  fxtest::SysLogCapture syslog;  // the plug-in logs through the same liblog
  const Bytes blob = fxtest::PanelConfigBlob();
  auto owner = LoadWith(fxtest::BuildConfigFile(blob, fxtest::BuildIcInfoBlock({})), kScriptedPlugin);
  touch_host::TouchHost& host = *owner;
  auto script = reinterpret_cast<FerxScriptCoordinatesFn>(host.alg_symbol(FERX_SCRIPT_COORDINATES_SYMBOL));
  ASSERT_NE(script, nullptr);

  int32_t result = -1;
  ASSERT_EQ(host.init(&result), touch_host::HostStatus::kOk);
  ASSERT_EQ(result, 0);
  touch_host::HostRecord r = host.snapshot();
  ASSERT_EQ(r.controller_writes.size(), 1u);
  EXPECT_EQ(r.controller_writes[0].packet, (Bytes{0x00, 0x00, 0x06, 0x90, 0x01, 0x01, 0x98, 0x00}));
  EXPECT_EQ(r.timers_registered.size(), 2u);
  EXPECT_EQ(fxtest::SysLogCapture::Count("PrintConfigDbgInfo: ferx-ini-"), 1u) << "the blob was applied";

  ASSERT_EQ(host.update_suspend_status(false), touch_host::HostStatus::kOk);  // resume
  host.clear_record();
  fxtest::SysLogCapture::Clear();
  fxtest::FingerFrames buffers(kDrv, kSen, 4);
  uint16_t index = 2;

  // A finger frame before any reference: not run (code 3), the reference is asked for.
  DecodedFrame frame = buffers.Next(0x00, index++);
  ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
  r = host.snapshot();
  EXPECT_EQ(fxtest::SysLogCapture::Count("TsaUpdateFrameData: FRAME NOT RUN: 3"), 1u);
  // Start-up and the screen-on re-initialisation each set the start frequency (index 0);
  // then the reference is asked for.
  ASSERT_EQ(r.controller_writes.size(), 3u);
  EXPECT_EQ(r.controller_writes[0].packet, ControllerPacket(0x9C, 0));
  EXPECT_EQ(r.controller_writes[1].packet, ControllerPacket(0x9C, 0));
  EXPECT_EQ(r.controller_writes[2].packet, ControllerPacket(0xD1, 1));
  EXPECT_TRUE(r.reports.empty()) << "no points before the reference";

  // The reference frame: taken (code 2), the request is withdrawn.
  frame = buffers.Next(0x01, index++);
  ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
  r = host.snapshot();
  EXPECT_EQ(fxtest::SysLogCapture::Count("TsaUpdateFrameData: FRAME NOT RUN: 2"), 1u);
  ASSERT_EQ(r.controller_writes.size(), 4u);
  EXPECT_EQ(r.controller_writes[3].packet, ControllerPacket(0xD1, 0));

  // Finger frames: the FINGER list runs to its last stage, the touch report, whose points
  // reach host slot 0 as down, move, up; then an empty report.
  struct Step {
    std::vector<FerxScriptedPoint> script;
    int32_t x, y, action;  // the one point expected; action -1: no point
  } steps[] = {
      {{{3, 700, 900, 300}}, 700, 900, ALG_TOUCH_ACTION_DOWN},
      {{{3, 712, 905, 310}}, 712, 905, ALG_TOUCH_ACTION_MOVE},
      {{}, 712, 905, ALG_TOUCH_ACTION_UP},
      {{}, 0, 0, -1},
  };
  host.clear_record();
  fxtest::SysLogCapture::Clear();
  for (const Step& step : steps) {
    script(step.script.data(), static_cast<uint8_t>(step.script.size()));
    frame = buffers.Next(0x00, index++);
    ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
  }
  r = host.snapshot();
  EXPECT_EQ(fxtest::SysLogCapture::Count("FRAME NOT RUN"), 0u) << "every finger frame ran its list";
  for (const auto& w : r.controller_writes) {
    ASSERT_GE(w.packet.size(), 4u);
    EXPECT_NE(w.packet[3], 0xD1) << "no further reference request";
  }
  ASSERT_EQ(r.reports.size(), std::size(steps));
  for (size_t i = 0; i < std::size(steps); ++i) {
    const auto& points = r.reports[i].points;
    if (steps[i].action < 0) {
      EXPECT_TRUE(points.empty()) << i;
      continue;
    }
    ASSERT_EQ(points.size(), 1u) << i;
    EXPECT_EQ(points[0].x, steps[i].x) << i;
    EXPECT_EQ(points[0].y, steps[i].y) << i;
    EXPECT_EQ(points[0].id, 3) << i;
    EXPECT_EQ(points[0].action, steps[i].action) << i;
  }

  // Dump-save: the start call gives the panel size and takes the replay head; every later
  // call carries the frame number and the diff map, then the head in 10240-byte chunks.
  const AlgModule* alg = host.alg();
  ASSERT_NE(alg->dump_save.ferrant, nullptr);
  std::vector<uint32_t> out(16384);  // 64 KiB, more than one dump call writes
  uint32_t length = 0;
  ASSERT_EQ(alg->dump_save.ferrant(0, out.data(), &length, 1), 1);
  const auto* bytes = reinterpret_cast<const uint8_t*>(out.data());
  ASSERT_EQ(length, 2u);
  EXPECT_EQ(bytes[0], kDrv);
  EXPECT_EQ(bytes[1], kSen);
  constexpr uint32_t kChunk = 10240;
  constexpr uint32_t kLead = 4 + 2 * kNodes;
  Bytes head;
  std::vector<uint32_t> chunks;
  for (int call = 0; call < 64; ++call) {
    ASSERT_EQ(alg->dump_save.ferrant(0, out.data(), &length, 0), 1);
    ASSERT_GE(length, kLead);
    EXPECT_EQ(bytes[0] | (bytes[1] << 8), index - 1) << "the last frame's number";
    const uint32_t chunk = length - kLead;
    chunks.push_back(chunk);
    head.insert(head.end(), bytes + kLead, bytes + length);
    if (chunk < kChunk) break;
  }
  ASSERT_GE(chunks.size(), 2u) << "the head is larger than one chunk";
  for (size_t i = 0; i + 1 < chunks.size(); ++i) EXPECT_EQ(chunks[i], kChunk) << i;
  // The pieces join into one item stream that opens group 1 and carries the blob whole.
  std::vector<uint32_t> types;
  ASSERT_TRUE(WalkItems(head, &types));
  ASSERT_GE(head.size(), 10u);
  EXPECT_EQ(Bytes(head.begin(), head.begin() + 10), (Bytes{0, 0, 0, 1, 2, 0, 0, 0, 1, 0}));
  EXPECT_NE(std::search(head.begin(), head.end(), blob.begin(), blob.end()), head.end());
  // After the head, the next call hands out the frame body instead of another chunk.
  ASSERT_EQ(alg->dump_save.ferrant(0, out.data(), &length, 0), 1);
  ASSERT_GE(length, kLead);
  std::vector<uint32_t> bodyTypes;
  EXPECT_TRUE(WalkItems(Bytes(bytes + kLead, bytes + length), &bodyTypes));

  ASSERT_EQ(host.exit(), touch_host::HostStatus::kOk);
}

// The production plug-in carries no scripting entry.
TEST_F(FerrantEndToEnd, ProductionPluginHasNoScriptingEntry) {
  auto owner = LoadWith(fxtest::BuildConfigFile(fxtest::GoodConfigBlob(), fxtest::BuildIcInfoBlock({})));
  EXPECT_EQ(owner->alg_symbol(FERX_SCRIPT_COORDINATES_SYMBOL), nullptr);
}

// A host that unloads the plug-in and loads it again must meet a fresh module: its records,
// counters and once-only log flags start over. Nothing in the plug-in may pin it in memory
// past the last dlclose.
TEST_F(FerrantEndToEnd, PluginLeavesTheProcessWithItsHost) {
  for (const std::string& plugin : {kPlugin, kScriptedPlugin}) {
    SCOPED_TRACE(plugin);
    {
      auto owner = LoadWith(fxtest::BuildConfigFile(fxtest::GoodConfigBlob(), fxtest::BuildIcInfoBlock({})), plugin);
      int32_t result = -1;
      ASSERT_EQ(owner->init(&result), touch_host::HostStatus::kOk);
      ASSERT_EQ(result, 0);
      void* probe = dlopen(plugin.c_str(), RTLD_NOW | RTLD_NOLOAD);
      ASSERT_NE(probe, nullptr) << "loaded while its host lives";
      dlclose(probe);  // the probe's own reference
    }
    void* left = dlopen(plugin.c_str(), RTLD_NOW | RTLD_NOLOAD);
    EXPECT_EQ(left, nullptr) << "still mapped after its host is gone";
    if (left != nullptr) dlclose(left);
  }
}

}  // namespace

// A decoded frame is outside input: one whose rows and columns are not the module's panel
// is refused before its buffers are read at the panel's size, whatever else it says. Its
// buffers here are as long as its own geometry (one value for a frame that names no panel),
// so a read past them is a sanitizer fault.
TEST_F(FerrantEndToEnd, FrameOfAnotherPanelIsRefusedNotReadPast) {
  fxtest::SysLogCapture syslog;
  auto owner = LoadWith(fxtest::BuildConfigFile(fxtest::PanelConfigBlob(), fxtest::BuildIcInfoBlock({})));
  touch_host::TouchHost& host = *owner;
  int32_t result = -1;
  ASSERT_EQ(host.init(&result), touch_host::HostStatus::kOk);
  ASSERT_EQ(result, 0);
  ASSERT_EQ(host.update_suspend_status(false), touch_host::HostStatus::kOk);
  struct Case {
    uint8_t rows, columns;
    bool refused;
  } cases[] = {
      {15, 27, true},  {kDrv, 27, true}, {15, kSen, true}, {kSen, kDrv, true},
      {0, kSen, true}, {kDrv, kSen, false},
      {0, 0, true},  // names no panel, so says nothing of its buffers
  };
  uint16_t index = 2;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.rows) + "x" + std::to_string(c.columns));
    const size_t nodes = std::max<size_t>(1, static_cast<size_t>(c.rows) * c.columns);
    const size_t lines = std::max<size_t>(1, static_cast<size_t>(c.rows) + c.columns);
    std::vector<int16_t> mutual(nodes, 1000), self(lines, 100), im(4 * 32, 0);
    DecodedFrame frame = fxtest::FrameBytes()
                             .U8(fxtest::kFrameFlagsAt, 0x01)  // a reference frame: taken when accepted
                             .U8(fxtest::kFrameStateCodeAt, 4)
                             .U8(fxtest::kFrameTypeAt, DECODED_FRAME_TYPE_NORMAL)
                             .U16(fxtest::kFrameIcCountAt, index)
                             .U8(108, c.columns)
                             .U8(109, c.rows)
                             .Ptr(fxtest::kFrameMutualAt, mutual.data())
                             .Ptr(fxtest::kFrameSelfAt, self.data())
                             .Ptr(fxtest::kFrameImAt, im.data())
                             .Frame();
    ++index;
    fxtest::SysLogCapture::Clear();
    ASSERT_EQ(host.process_frame(&frame), touch_host::HostStatus::kOk);
    const std::string refusal = "frame of " + std::to_string(c.rows) + "x" + std::to_string(c.columns) +
                                " refused: the panel is " + std::to_string(kDrv) + "x" + std::to_string(kSen);
    EXPECT_EQ(fxtest::SysLogCapture::Count(refusal), c.refused ? 1u : 0u);
    EXPECT_EQ(fxtest::SysLogCapture::Count("FRAME NOT RUN: 2"), c.refused ? 0u : 1u) << "the reference is taken";
  }
  ASSERT_EQ(host.exit(), touch_host::HostStatus::kOk);
}
