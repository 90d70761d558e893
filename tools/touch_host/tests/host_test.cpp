// End-to-end tests of the touch host: the real test plug-ins (testmodules/) are loaded
// with dlopen and driven through the host's loop.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "test_module_stats.h"
#include "touch_host/host.h"

namespace touch_host {
namespace {

std::string plugin(const char *name) { return std::string(VENDOR_PLUGIN_DIR) + "/" + name + ".so"; }

// Expected point of the test algorithm for frame index i (its documented rule).
struct ExpectedPoint {
  int32_t action;
  int32_t x;
  int32_t y;
};
ExpectedPoint touched_at(int i, int32_t action) { return {action, 100 + 10 * i, 200 + 20 * i}; }

TestAlgStats alg_stats(const TouchHost &host) {
  TestAlgStats stats{};
  auto fn = reinterpret_cast<touch_test_alg_stats_fn>(host.alg_symbol("touch_test_alg_stats"));
  EXPECT_NE(fn, nullptr);
  if (fn != nullptr) fn(&stats);
  return stats;
}

TestHalStats hal_stats(const TouchHost &host) {
  TestHalStats stats{};
  auto fn = reinterpret_cast<touch_test_hal_stats_fn>(host.hal_symbol("touch_test_hal_stats"));
  EXPECT_NE(fn, nullptr);
  if (fn != nullptr) fn(&stats);
  return stats;
}

HostOptions quiet_options() {
  HostOptions options;
  options.log_sink = [](const LogLine &) {};
  return options;
}

// Waits until the host has recorded a driver request of `type` (sent by a timer handler).
bool wait_for_request(const TouchHost &host, uint32_t type) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    for (const auto &request : host.snapshot().driver_requests) {
      if (request.type == type) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

common_data block_of(uint8_t cmd, uint16_t mode, uint32_t value) {
  common_data block;
  std::memset(&block, 0, sizeof(block));
  block.cmd = cmd;
  block.mode = mode;
  block.count = 1;
  block.values[0] = value;
  return block;
}

struct StyleCase {
  const char *module;
  AlgCallStyle style;
};

void PrintTo(const StyleCase &c, std::ostream *os) { *os << c.module; }

class EndToEnd : public ::testing::TestWithParam<StyleCase> {};

TEST_P(EndToEnd, FramesFromTheHalReachTheAlgorithmAndPointsReachTheHal) {
  TouchHost host(quiet_options());
  std::string error;
  ASSERT_TRUE(host.load_hal(plugin("libtouch_test_hal"), &error)) << error;
  ASSERT_TRUE(host.load_alg(plugin(GetParam().module), &error)) << error;
  EXPECT_EQ(host.alg_style(), GetParam().style);
  EXPECT_EQ(host.hal_name(), "test-hal");
  EXPECT_EQ(host.hal_version(), "test-hal-1.0");
  for (uint32_t i = 0; i < HAL_FUNCTION_INTERFACE_COUNT; ++i) EXPECT_NE(host.hal_interface(i), nullptr) << i;
  EXPECT_EQ(host.hal_interface(HAL_FUNCTION_INTERFACE_COUNT), nullptr);

  ASSERT_EQ(host.init(), HostStatus::kOk);
  EXPECT_EQ(hal_stats(host).init_calls, 1u);
  EXPECT_EQ(alg_stats(host).init_calls, 1u);

  // The script has five frames; asking for more stops at its end.
  EXPECT_EQ(host.run_frames(8), 5u);
  HostRecord record = host.snapshot();

  const std::vector<ExpectedPoint> expected = {
      touched_at(0, ALG_TOUCH_ACTION_DOWN), touched_at(1, ALG_TOUCH_ACTION_MOVE),
      touched_at(2, ALG_TOUCH_ACTION_MOVE), touched_at(3, ALG_TOUCH_ACTION_MOVE),
      touched_at(3, ALG_TOUCH_ACTION_UP)};
  ASSERT_EQ(record.reports.size(), expected.size());
  const TestHalStats hal = hal_stats(host);
  ASSERT_EQ(hal.points_reported, expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(record.reports[i].points.size(), 1u);
    const AlgTouchPoint p = record.reports[i].points[0];
    EXPECT_EQ(record.reports[i].frame_serial, i + 1);
    EXPECT_EQ(int32_t{p.id}, 0);
    EXPECT_EQ(int32_t{p.action}, expected[i].action);
    EXPECT_EQ(int32_t{p.x}, expected[i].x);
    EXPECT_EQ(int32_t{p.y}, expected[i].y);
    // The same points went on to the HAL's report slot.
    EXPECT_EQ(std::memcmp(&hal.points[i], &p, sizeof(p)), 0);
  }
  EXPECT_EQ(record.touch_states, (std::vector<uint32_t>{1, 0}));

  // The algorithm worked on the HAL's deep copy, one frame each.
  ASSERT_EQ(record.frames_processed.size(), 5u);
  const DecodedFrame *copy = record.frames_processed[0];
  ASSERT_NE(copy, nullptr);
  ASSERT_EQ(record.debug_infos.size(), 5u);
  const uint64_t expected_debug = GetParam().style == AlgCallStyle::kFerrant
                                      ? reinterpret_cast<uintptr_t>(static_cast<int16_t *>(copy->mutual))
                                      : reinterpret_cast<uintptr_t>(copy);
  EXPECT_EQ(record.debug_infos[0], expected_debug);

  // The driver's block (HAL host slot 1, at frame 2) reached the algorithm.
  ASSERT_EQ(record.driver_common_data.size(), 1u);
  EXPECT_EQ(int{record.driver_common_data[0].mode}, COMMON_DATA_MODE_TEMPERATURE);
  TestAlgStats alg = alg_stats(host);
  EXPECT_EQ(int{alg.last_common_data.mode}, COMMON_DATA_MODE_TEMPERATURE);
  EXPECT_EQ(uint32_t{alg.last_common_data.values[0]}, uint32_t{TEST_HAL_DRIVER_BLOCK_VALUE});

  // The timer registered at init fired on the host's own timer thread, and its handler's
  // request reached the HAL as one 32-bit value, whatever unit the module counted in.
  ASSERT_EQ(record.timers_registered.size(), 1u);
  ASSERT_TRUE(host.wait_for_timer_fires(1, std::chrono::seconds(5)));
  ASSERT_TRUE(wait_for_request(host, ALG_DRIVER_REQUEST_IDLE_BASELINE));
  record = host.snapshot();
  EXPECT_EQ(record.timer_fires[0].timer, record.timers_registered[0]);
  EXPECT_EQ(record.timer_fires[0].thread, host.timer_thread_id());
  EXPECT_NE(record.timer_fires[0].thread, std::this_thread::get_id());
  bool found = false;
  for (const auto &request : record.driver_requests) {
    if (request.type == ALG_DRIVER_REQUEST_IDLE_BASELINE) {
      EXPECT_EQ(request.values, (std::vector<uint32_t>{1}));
      found = true;
    }
  }
  EXPECT_TRUE(found);
  EXPECT_GE(alg_stats(host).timer_expiries, 1u);

  // Commands and suspend changes reach both modules.
  uint32_t echo = 0;
  int32_t pass = 0;
  ASSERT_EQ(host.send_common_data(block_of(COMMON_DATA_CMD_SET_MODE_VALUE, COMMON_DATA_MODE_CHARGE_STATE, 5),
                                  &echo, &pass),
            HostStatus::kOk);
  EXPECT_EQ(pass, 1);
  alg = alg_stats(host);
  EXPECT_EQ(int{alg.last_common_data.mode}, COMMON_DATA_MODE_CHARGE_STATE);
  if (GetParam().style == AlgCallStyle::kLuma) {
    EXPECT_EQ(echo, 6u);  // the Luma-style module echoes value + 1
  }
  EXPECT_EQ(hal_stats(host).last_common_data_mode, uint32_t{COMMON_DATA_MODE_CHARGE_STATE});
  ASSERT_EQ(host.update_suspend_status(true), HostStatus::kOk);
  EXPECT_EQ(alg_stats(host).suspended, 1u);
  EXPECT_EQ(hal_stats(host).suspended, 1u);

  if (GetParam().style == AlgCallStyle::kFerrant) {
    // Ferrant's start-reporting packet, recorded and forwarded as send-to-driver type 7.
    ASSERT_EQ(record.controller_writes.size(), 1u);
    EXPECT_EQ(record.controller_writes[0].reg, ALG_CONTROLLER_WRITE_REGISTER);
    EXPECT_EQ(record.controller_writes[0].packet, (std::vector<uint8_t>{0x00, 0x00, 0x05, 0x90, 0x01, 0x96, 0x00}));
    EXPECT_EQ(record.controller_writes[0].flag, 1u);
  }

  ASSERT_EQ(host.exit(), HostStatus::kOk);
  EXPECT_EQ(alg_stats(host).exit_calls, 1u);
  EXPECT_EQ(hal_stats(host).exit_calls, 1u);
}

INSTANTIATE_TEST_SUITE_P(BothStyles, EndToEnd,
                         ::testing::Values(StyleCase{"libtouch_test_alg", AlgCallStyle::kLuma},
                                           StyleCase{"libtouch_test_alg_ferrant", AlgCallStyle::kFerrant}),
                         [](const auto &info) {
                           return std::string(info.param.style == AlgCallStyle::kLuma ? "Luma" : "Ferrant");
                         });

// A frame built byte by byte at the documented positions, fed without a HAL: a panel of 2
// drive x 2 sense lines with its mutual values and both self lines, as a decoder hands it.
struct RawFrame {
  alignas(8) std::array<uint8_t, DECODED_FRAME_SIZE> bytes{};
  std::array<int16_t, 4> mutual{};
  std::array<int16_t, 4> self1{}, self2{};

  RawFrame(uint16_t index, int16_t signal) {
    const uint16_t mark = DECODED_FRAME_VALID_MARK;
    std::memcpy(&bytes[60], &mark, 2);
    std::memcpy(&bytes[62], &index, 2);
    bytes[108] = 2;  // columns
    bytes[109] = 2;  // rows
    mutual[0] = signal;
    for (auto [at, data] : {std::pair{124, mutual.data()}, std::pair{132, self1.data()}, std::pair{140, self2.data()}})
      std::memcpy(&bytes[static_cast<size_t>(at)], &data, 8);
  }
  DecodedFrame *frame() { return reinterpret_cast<DecodedFrame *>(bytes.data()); }
};

TEST(DirectFrames, AlgorithmRunsWithoutAHal) {
  TouchHost host(quiet_options());
  std::string error;
  ASSERT_TRUE(host.load_alg(plugin("libtouch_test_alg"), &error)) << error;
  ASSERT_EQ(host.init(), HostStatus::kOk);
  EXPECT_EQ(host.run_frame(), HostStatus::kNotLoaded);

  RawFrame frames[] = {{7, 100}, {8, 100}, {9, 0}};
  for (auto &f : frames) ASSERT_EQ(host.process_frame(f.frame()), HostStatus::kOk);
  EXPECT_EQ(host.process_frame(nullptr), HostStatus::kFailed);

  const HostRecord record = host.snapshot();
  const std::vector<ExpectedPoint> expected = {touched_at(7, ALG_TOUCH_ACTION_DOWN),
                                               touched_at(8, ALG_TOUCH_ACTION_MOVE),
                                               touched_at(8, ALG_TOUCH_ACTION_UP)};
  ASSERT_EQ(record.reports.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const AlgTouchPoint p = record.reports[i].points.at(0);
    EXPECT_EQ(int32_t{p.action}, expected[i].action) << i;
    EXPECT_EQ(int32_t{p.x}, expected[i].x) << i;
    EXPECT_EQ(int32_t{p.y}, expected[i].y) << i;
  }
  EXPECT_EQ(record.frames_processed.size(), 3u);
  EXPECT_EQ(record.frames_processed[0], frames[0].frame());

  // A frame without the valid mark is turned away by the module, not by the host.
  RawFrame invalid(10, 100);
  invalid.bytes[60] = 0;
  ASSERT_EQ(host.process_frame(invalid.frame()), HostStatus::kOk);
  EXPECT_EQ(alg_stats(host).invalid_frames, 1u);
}

// The control hook brackets the algorithm's own work in a frame: it opens and closes every
// per-frame call, and every callback the module makes in between runs on the host's side.
TEST(DirectFrames, ControlHookBracketsTheAlgorithmsOwnWork) {
  HostOptions options = quiet_options();
  std::vector<bool> changes;
  bool reported_inside_algorithm = false;
  size_t reports = 0;
  options.on_alg_control = [&](bool in) { changes.push_back(in); };
  options.on_report = [&](const PointReport &) {
    ++reports;
    reported_inside_algorithm = reported_inside_algorithm || changes.empty() || changes.back();
  };
  TouchHost host(options);
  std::string error;
  ASSERT_TRUE(host.load_alg(plugin("libtouch_test_alg"), &error)) << error;
  ASSERT_EQ(host.init(), HostStatus::kOk);
  EXPECT_TRUE(changes.empty()) << "init is not a per-frame call";
  RawFrame frame(7, 100);
  ASSERT_EQ(host.process_frame(frame.frame()), HostStatus::kOk);
  EXPECT_EQ(reports, 1u);
  EXPECT_FALSE(reported_inside_algorithm) << "the report callback runs on the host's side";
  ASSERT_GE(changes.size(), 4u) << "the frame's callbacks were bracketed";
  EXPECT_EQ(changes.size() % 2, 0u);
  for (size_t i = 0; i < changes.size(); ++i) EXPECT_EQ(changes[i], i % 2 == 0) << "change " << i;
}

TEST(Configuration, AlgorithmReadsTheOpenDescriptor) {
  char path[] = "/tmp/touch_host_configXXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  const char text[] = "config-bytes";
  ASSERT_EQ(write(fd, text, sizeof(text) - 1), static_cast<ssize_t>(sizeof(text) - 1));
  close(fd);

  TouchHost host(quiet_options());
  std::string error;
  ASSERT_TRUE(host.load_alg(plugin("libtouch_test_alg"), &error)) << error;
  EXPECT_EQ(host.read_configuration_file(path), HostStatus::kOk);
  const TestAlgStats stats = alg_stats(host);
  ASSERT_EQ(stats.config_length, sizeof(text) - 1);
  EXPECT_EQ(std::memcmp(stats.config, text, sizeof(text) - 1), 0);
  EXPECT_EQ(host.read_configuration_file(std::string(path) + ".missing"), HostStatus::kFailed);
  unlink(path);
}

struct LoadErrorCase {
  const char *name;
  bool as_hal;
  std::string path;
  const char *message;
};

TEST(LoadErrors, RefusedCleanly) {
  const std::vector<LoadErrorCase> cases = {
      {"missing library", false, plugin("libtouch_test_does_not_exist"), "cannot load algorithm module"},
      {"missing HAL library", true, plugin("libtouch_test_does_not_exist"), "cannot load HAL module"},
      {"no algorithm entry", false, plugin("libtouch_test_noentry"), "does not export register_alg_module"},
      {"no HAL entry", true, plugin("libtouch_test_noentry"), "does not export register_hal_module"},
      {"algorithm registration NULL", false, plugin("libtouch_test_alg_null"), "register_alg_module of"},
      {"HAL registration NULL", true, plugin("libtouch_test_hal_null"), "register_hal_module of"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    TouchHost host(quiet_options());
    std::string error;
    const bool loaded = c.as_hal ? host.load_hal(c.path, &error) : host.load_alg(c.path, &error);
    EXPECT_FALSE(loaded);
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_EQ(host.alg(), nullptr);
    EXPECT_EQ(host.hal(), nullptr);
    EXPECT_EQ(host.init(), HostStatus::kNotLoaded);
    EXPECT_EQ(host.run_frame(), HostStatus::kNotLoaded);
  }
}

TEST(LoadErrors, OneActiveHostAtATime) {
  TouchHost first(quiet_options());
  std::string error;
  ASSERT_TRUE(first.load_alg(plugin("libtouch_test_alg"), &error)) << error;
  TouchHost second(quiet_options());
  EXPECT_FALSE(second.load_hal(plugin("libtouch_test_hal"), &error));
  EXPECT_NE(error.find("another touch host"), std::string::npos);
}

// Counts and lengths from a module are checked before use; each refusal is logged once.
TEST(Bounds, BadCountsFromAModuleAreRefusedAndLoggedOnce) {
  std::vector<LogLine> lines;
  HostOptions options;
  options.log_sink = [&](const LogLine &line) { lines.push_back(line); };
  TouchHost host(options);
  std::string error;
  ASSERT_TRUE(host.load_hal(plugin("libtouch_test_hal"), &error)) << error;
  ASSERT_TRUE(host.load_alg(plugin("libtouch_test_alg"), &error)) << error;
  auto table_fn = reinterpret_cast<touch_test_alg_host_fn>(host.alg_symbol("touch_test_alg_host"));
  ASSERT_NE(table_fn, nullptr);
  AlgHostCallbacks *table = table_fn();
  ASSERT_NE(table, nullptr);

  AlgTouchPoint points[13] = {};
  uint32_t words[COMMON_DATA_VALUE_COUNT + 1] = {};
  uint8_t packet[8] = {};
  struct Case {
    const char *name;
    std::function<void()> call;
    const char *log_text;
  };
  const std::vector<Case> cases = {
      {"13 points", [&] { table->report_points(points, 13); }, "point report refused"},
      {"points missing", [&] { table->report_points(nullptr, 2); }, "point report refused"},
      {"length not whole values", [&] { EXPECT_EQ(table->driver_request.luma(2, words, 6), -22); },
       "driver request refused"},
      {"257 values", [&] { EXPECT_EQ(table->driver_request.luma(2, words, 257 * 4), -22); },
       "driver request refused"},
      {"packet too long", [&] { EXPECT_EQ(table->controller_write(0x10174, packet, 1025, 1), -22); },
       "controller write refused"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    c.call();
  }
  const HostRecord record = host.snapshot();
  EXPECT_TRUE(record.reports.empty());
  EXPECT_TRUE(record.driver_requests.empty());
  EXPECT_TRUE(record.controller_writes.empty());
  EXPECT_EQ(hal_stats(host).report_calls, 0u);
  for (const char *text : {"point report refused", "driver request refused", "controller write refused"}) {
    size_t n = 0;
    for (const auto &line : lines) n += line.text.find(text) != std::string::npos ? 1 : 0;
    EXPECT_EQ(n, 1u) << text;
  }
  // The recorded lines are what a test can wait on.
  EXPECT_TRUE(host.wait_for_log("controller write refused", std::chrono::milliseconds(0)));
  EXPECT_FALSE(host.wait_for_log("no module logs this", std::chrono::milliseconds(10)));

  common_data block = block_of(COMMON_DATA_CMD_SET_LONG_VALUE, COMMON_DATA_MODE_EDGE_ZONES, 0);
  block.count = COMMON_DATA_VALUE_COUNT + 1;
  EXPECT_EQ(host.send_common_data(block), HostStatus::kFailed);
  EXPECT_EQ(alg_stats(host).common_data_count, 0u);
}

TEST(Cli, PrintsModulesAndReports) {
  const std::string command = std::string(TOUCH_HOST_CLI) + " --hal " + plugin("libtouch_test_hal") + " --alg " +
                              plugin("libtouch_test_alg_ferrant") + " --frames 3 2>/dev/null";
  FILE *pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[256];
  while (fgets(buffer, sizeof(buffer), pipe) != nullptr) output += buffer;
  EXPECT_EQ(pclose(pipe), 0);
  EXPECT_NE(output.find("HAL module: test-hal, version test-hal-1.0"), std::string::npos) << output;
  EXPECT_NE(output.find("algorithm module: ferrant-test-alg, version ferrant-test-alg-1.0 (ferrant"),
            std::string::npos)
      << output;
  EXPECT_NE(output.find("id 0 down at (100, 200)"), std::string::npos) << output;
  EXPECT_NE(output.find("id 0 move at (120, 240)"), std::string::npos) << output;
  EXPECT_NE(output.find("frames run: 3"), std::string::npos) << output;

  FILE *bad = popen((std::string(TOUCH_HOST_CLI) + " --alg x.so 2>/dev/null").c_str(), "r");
  ASSERT_NE(bad, nullptr);
  EXPECT_NE(pclose(bad), 0);
}

// Asked for more frames than the test HAL scripts, the CLI says why it stopped; the test
// algorithm's 5 ms timer asks for an idle baseline while the host lingers, and the CLI
// names the request.
TEST(Cli, SaysWhyARunStopsAndNamesDriverRequests) {
  const std::string command = std::string(TOUCH_HOST_CLI) + " --hal " + plugin("libtouch_test_hal") + " --alg " +
                              plugin("libtouch_test_alg") + " --frames " +
                              std::to_string(TEST_HAL_DEFAULT_FRAMES + 3) + " --linger-ms 200 2>/dev/null";
  FILE *pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[256];
  while (fgets(buffer, sizeof(buffer), pipe) != nullptr) output += buffer;
  EXPECT_EQ(pclose(pipe), 0);
  const std::string stopped = "stopped after " + std::to_string(TEST_HAL_DEFAULT_FRAMES) + " of " +
                              std::to_string(TEST_HAL_DEFAULT_FRAMES + 3) + " frames: the HAL module has no further frame";
  EXPECT_NE(output.find(stopped), std::string::npos) << output;
  EXPECT_NE(output.find("driver request type 2 (idle baseline) with 1 value(s), first 1"), std::string::npos) << output;
}

}  // namespace
}  // namespace touch_host
