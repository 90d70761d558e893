// The HAL module as the touch host sees it: the real plug-in loaded with dlopen through the
// touch_host library, against the simulated driver, frames built by the controller encoders
// and a recording touchscreen. The host reads the module's configuration inside its slot-3
// callback (HalModule slot 9), as the real host does.
#include <dirent.h>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <set>
#include <string>

#include "platform/paths.h"
#include "platform/properties.h"
#include "platform/properties_test_api.h"
#include "tamrel_touch/frame_encoders.h"
#include "vendor_test/alloc_counter.h"
#include "touch_host/host.h"
#include "touch_host/input_events.h"
#include "touch_host/sim_touch_rig.h"

namespace {

using touch_host::testsupport::Ev;
using touch_host::testsupport::finger;
using touch_host::testsupport::plain;
using touch_host::testsupport::syn_reports;

using namespace std::chrono_literals;
namespace encode = tamrel_touch::encode;
using touch_host::testsupport::hal_config_text;
using touch_host::testsupport::HalPanelConfig;
using touch_host::testsupport::RigOptions;
using touch_host::testsupport::SimTouchRig;

// A small panel keeps every family's frame within one driver slot.
constexpr int kColumns = 4;
constexpr int kRows = 3;
constexpr int kMutual = 12;
constexpr int kSelf = 7;
constexpr int kExtra = 8;

HalPanelConfig small_panel(int frame_data_type, std::string more = "") {
  HalPanelConfig c;
  c.frame_data_type = frame_data_type;
  c.columns = kColumns;
  c.rows = kRows;
  c.nodes = kMutual;
  c.self_nodes = kSelf;
  c.extra_nodes = kExtra;
  c.big_little_convert = true;  // second-generation Luma frames come out in host order
  c.more = std::move(more);
  return c;
}

// Frame k carries node i = 100 k + i, so every value names its frame and its node.
std::vector<int16_t> matrix_of(uint16_t k, int n, int offset = 0) {
  std::vector<int16_t> v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) v[static_cast<size_t>(i)] = static_cast<int16_t>(100 * k + i + offset);
  return v;
}

encode::LumaLayoutFrame luma_layout(uint16_t k, bool two_self_lines) {
  encode::LumaLayoutFrame f;
  f.frame_index = static_cast<uint16_t>(0x1000 + k);
  f.state = {0, 0, 0, 0, 4, 0x02};
  f.columns = kColumns;
  f.rows = kRows;
  f.report_rate_hz = 240;
  f.mutual = matrix_of(k, kMutual);
  f.self1 = matrix_of(k, kSelf, 50);
  if (two_self_lines) f.self2 = matrix_of(k, kSelf, 70);
  f.text = "frame " + std::to_string(k);
  f.extra1 = matrix_of(k, kExtra, 90);
  f.extra2 = matrix_of(k, kSelf, 60);
  return f;
}

encode::FerrantV1Frame ferrant_v1(uint16_t k) {
  encode::FerrantV1Frame f;
  f.first_byte = 0x5A;
  f.head_index = static_cast<uint16_t>(0x2000 + k);
  f.report_rate_hz = 240;
  f.status = 0x0002;
  f.kind = 4;
  f.mutual = matrix_of(k, kMutual);
  f.self = matrix_of(k, kSelf, 50);
  f.extra = matrix_of(k, kExtra, 90);
  f.tail_index = f.head_index;
  return f;
}

encode::FerrantV2Frame ferrant_v2(uint16_t k) {
  encode::FerrantV2Frame f;
  f.head_index = static_cast<uint16_t>(0x3000 + k);
  f.tail_index = f.head_index;
  f.packets = {encode::ferrant_status_packet(k, 0, 0, 240, 0x02, 0),
               encode::ferrant_mutual_packet(10, 1000, 1, 0, 0, matrix_of(k, kMutual), {}, {}),
               encode::ferrant_self_packet(matrix_of(k, kSelf, 50), {})};
  return f;
}

encode::Zet50210Frame zet50210(uint16_t k) {
  encode::Zet50210Frame f;
  f.header[0] = 0xA5;  // the controller's frame marker: the record's valid mark
  f.header[1] = 0x5F;
  f.header[2] = static_cast<uint8_t>(k);
  f.header[3] = 0x40;
  f.frame_type = 1;
  f.mutual = matrix_of(k, kMutual);
  return f;
}

// One controller family: the configured frame data type, the controller frame for frame k
// (with a damaged check when `corrupt`), and the frame index the record must carry.
struct Family {
  const char *name;
  int frame_data_type;
  std::function<encode::Bytes(uint16_t k, bool corrupt)> frame;
  std::function<uint16_t(uint16_t k)> index;
};

encode::Bytes flipped(encode::Bytes bytes, size_t at) {
  bytes.at(at) ^= 0x01;
  return bytes;
}

const Family kFamilies[] = {
    {"kv", 0,
     [](uint16_t k, bool bad) {
       const encode::Bytes b = encode::encode_kv(luma_layout(k, false), kMutual, kSelf);
       return bad ? flipped(b, 64) : b;
     },
     [](uint16_t) { return uint16_t{0}; }},  // the kv header carries no frame index
    {"ferrant_v1", 1,
     [](uint16_t k, bool bad) {
       const encode::Bytes b = encode::encode_ferrant_v1(ferrant_v1(k));
       return bad ? flipped(b, 178) : b;
     },
     [](uint16_t k) { return static_cast<uint16_t>(0x2000 + k); }},
    {"pellon_v1", 2,
     [](uint16_t k, bool bad) {
       const encode::Bytes b = encode::encode_pellon_v1(luma_layout(k, false));
       return bad ? flipped(b, 64) : b;
     },
     [](uint16_t k) { return static_cast<uint16_t>(0x1000 + k); }},
    {"luma_v1", 4,
     [](uint16_t k, bool bad) {
       const encode::Bytes b = encode::encode_luma_v1(luma_layout(k, true));
       return bad ? flipped(b, 64) : b;
     },
     [](uint16_t k) { return static_cast<uint16_t>(0x1000 + k); }},
    {"ferrant_v2", 5,
     [](uint16_t k, bool bad) {
       const encode::Bytes b = encode::encode_ferrant_v2(ferrant_v2(k));
       return bad ? flipped(b, 40) : b;
     },
     [](uint16_t k) { return static_cast<uint16_t>(0x3000 + k); }},
    {"luma_v2", 6,
     [](uint16_t k, bool bad) {
       const encode::Bytes b = encode::encode_luma_v2(luma_layout(k, true), encode::LumaCheck::kCrc);
       return bad ? flipped(b, 64) : b;
     },
     [](uint16_t k) { return static_cast<uint16_t>(0x1000 + k); }},
    {"pellon_v2", 7,
     [](uint16_t k, bool bad) {
       const encode::Bytes b = encode::encode_pellon_v2(luma_layout(k, false));
       return bad ? flipped(b, 64) : b;
     },
     [](uint16_t k) { return static_cast<uint16_t>(0x1000 + k); }},
    {"zet50210", 8,
     [](uint16_t k, bool bad) {
       encode::Zet50210Frame f = zet50210(k);
       f.corrupt_check = bad;
       return encode::encode_zet50210(f);
     },
     [](uint16_t k) { return static_cast<uint16_t>(0x4000 + k); }},
};

// A packed record field by value (gtest binds references, which a packed field cannot take).
template <typename T>
T V(T value) {
  return value;
}

encode::Bytes slot_for(const encode::Bytes &frame, uint16_t k, size_t slot_size) {
  encode::SlotHeader header;
  header.time_ns = 1000000 + k;
  header.frame_count = k;
  return encode::make_slot(header, frame, slot_size);
}

std::set<std::string> thread_names() {
  std::set<std::string> names;
  DIR *dir = opendir("/proc/self/task");
  if (dir == nullptr) return names;
  while (dirent *e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    std::ifstream comm(std::string("/proc/self/task/") + e->d_name + "/comm");
    std::string name;
    std::getline(comm, name);
    names.insert(name);
  }
  closedir(dir);
  return names;
}

class HalThroughHost : public ::testing::Test {
 protected:
  void start(const std::string &hal_config, const std::function<void(SimTouchRig &)> &before_init = {}) {
    RigOptions options;
    options.hal_config = hal_config;
    rig_ = std::make_unique<SimTouchRig>(options);
    if (before_init) before_init(*rig_);
    touch_host::HostOptions host_options;
    host_options.log_sink = [](const touch_host::LogLine &line) {
      if (getenv("HAL_E2E_LOG") != nullptr) fprintf(stderr, "%s\n", line.text.c_str());
    };
    host_ = std::make_unique<touch_host::TouchHost>(host_options);
    std::string error;
    ASSERT_TRUE(host_->load_hal(std::string(VENDOR_PLUGIN_DIR) + "/libtapsense_hal.so", &error)) << error;
    ASSERT_EQ(host_->init(), touch_host::HostStatus::kOk);
  }
  void TearDown() override {
    host_.reset();
    rig_.reset();
  }
  void push(const encode::Bytes &frame, uint16_t k) {
    ASSERT_TRUE(rig_->pushFrame(slot_for(frame, k, rig_->slotSize())));
  }
  // The next frame through HalModule slot 18; null when there is none.
  DecodedFrame *next(DecodedFrame **ring_record = nullptr) {
    DecodedFrame *frame = nullptr;
    DecodedFrame *copy = nullptr;
    if (host_->hal()->get_frame(&frame, &copy) != 0) return nullptr;
    if (ring_record != nullptr) *ring_record = frame;
    return copy;
  }
  size_t logged(const std::string &needle) const {
    size_t n = 0;
    for (const touch_host::LogLine &line : host_->snapshot().logs) n += line.text.find(needle) != std::string::npos;
    return n;
  }

  std::unique_ptr<SimTouchRig> rig_;
  std::unique_ptr<touch_host::TouchHost> host_;
};

TEST_F(HalThroughHost, InitReadsTheConfigurationInsideTheHostCallback) {
  start(hal_config_text(small_panel(0)));
  EXPECT_EQ(host_->hal()->initialised, 1);
  EXPECT_EQ(rig_->driver().openFiles(), 1u);
  EXPECT_EQ(rig_->driver().boundTouchIds(), std::vector<int>{0});
  // The frame ring, then the raw-copy ring.
  EXPECT_EQ(rig_->driver().bufferSelections(), (std::vector<uint32_t>{1, 2}));
  const std::vector<touch_host::HalConfigRecord> configs = host_->snapshot().hal_configs;
  ASSERT_EQ(configs.size(), 1u);
  EXPECT_EQ(configs[0].config_file, "tp_cfg.ini");
  EXPECT_EQ(configs[0].extent_x, 1080 * 8);
  EXPECT_EQ(configs[0].extent_y, 2400 * 8);
  EXPECT_EQ(configs[0].vendor_fd, -1);  // no "tp_cfg_vendor.ini"
  EXPECT_TRUE(configs[0].read_config_called);
  EXPECT_EQ(configs[0].read_config_result, 0);
  // The module's own configuration hooks saw the file: the panel geometry is the file's.
  auto param = reinterpret_cast<get_hal_module_param_fn>(host_->hal_symbol(HAL_MODULE_PARAM_ENTRY));
  ASSERT_NE(param, nullptr);
  EXPECT_EQ(param()->geometry.node_count, kMutual);
  EXPECT_EQ(param()->geometry.snode_count, kSelf);
  EXPECT_EQ(param()->geometry.columns, kColumns);
  // A matching touchscreen was found at once: no retries of the device search.
  EXPECT_EQ(logged("can't get touch device"), 0u);
}

class HalFamilies : public HalThroughHost, public ::testing::WithParamInterface<Family> {};

// Frames of the family in order, a damaged one dropped between them.
TEST_P(HalFamilies, FramesComeOutInOrderAndADamagedCheckIsDropped) {
  const Family &family = GetParam();
  start(hal_config_text(small_panel(family.frame_data_type)));
  push(family.frame(1, false), 1);
  push(family.frame(2, true), 2);
  push(family.frame(3, false), 3);
  push(family.frame(4, false), 4);
  for (uint16_t k : {1, 3, 4}) {
    SCOPED_TRACE(std::string(family.name) + " frame " + std::to_string(k));
    DecodedFrame *ring = nullptr;
    DecodedFrame *copy = next(&ring);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(V(copy->valid_mark), DECODED_FRAME_VALID_MARK);
    EXPECT_EQ(V(copy->frame_count), k);
    EXPECT_EQ(V(copy->frame_index), family.index(k));
    ASSERT_NE(V(copy->mutual), nullptr);
    EXPECT_EQ(std::vector<int16_t>(V(copy->mutual), V(copy->mutual) + kMutual), matrix_of(k, kMutual));
    // The copy owns its buffers: nothing points into the ring record's.
    EXPECT_NE(V(copy->mutual), V(ring->mutual));
    if (V(copy->self1) != nullptr && family.frame_data_type != 8) {
      EXPECT_EQ(std::vector<int16_t>(V(copy->self1), V(copy->self1) + kSelf), matrix_of(k, kSelf, 50));
      EXPECT_NE(V(copy->self1), V(ring->self1));
    }
    if (family.frame_data_type == 6) {
      // Second-generation Luma's extra array arrives whole: its length is kept in bytes.
      EXPECT_EQ(V(copy->extra1_len), kExtra * 2);
      ASSERT_NE(V(copy->extra1), nullptr);
      EXPECT_NE(V(copy->extra1), V(ring->extra1));
      EXPECT_EQ(std::vector<int16_t>(V(copy->extra1), V(copy->extra1) + kExtra), matrix_of(k, kExtra, 90));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryFamily, HalFamilies, ::testing::ValuesIn(kFamilies),
                         [](const ::testing::TestParamInfo<Family> &info) { return info.param.name; });

TEST_F(HalThroughHost, SeventeenUnreadFramesDropTheOldest) {
  start(hal_config_text(small_panel(0)));
  const Family &kv = kFamilies[0];
  for (uint16_t k = 1; k <= 17; ++k) push(kv.frame(k, false), k);
  // The driver counts a frame taken when the module asks for it, before the module has
  // decoded it: until the seventeenth is in the ring, frame 1 is still the oldest there.
  ASSERT_TRUE(host_->wait_for_log("frame data buf full, skip old index 0", 5s));
  for (uint16_t k = 2; k <= 17; ++k) {
    DecodedFrame *copy = next();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(V(copy->frame_count), k);
    EXPECT_EQ(V(copy->mutual)[0], 100 * k);
  }
  EXPECT_EQ(logged("frame data buf full, skip old index 0"), 1u);
}

// The host's get frame (HalModule slot 18) hands out a deep copy of each frame without a
// heap allocation: all 17 records and their buffers are prepared at init.
TEST_F(HalThroughHost, GetFrameAllocatesNothing) {
  ASSERT_TRUE(vendor_test::allocationCountingWorks());
  start(hal_config_text(small_panel(0)));
  const Family &kv = kFamilies[0];
  // A first frame warms the path up.
  push(kv.frame(1, false), 1);
  ASSERT_NE(next(), nullptr);
  // The ring filled while the host does not ask (the simulated driver's own bookkeeping
  // is not the module's, so it runs before counting).
  for (uint16_t k = 2; k <= 17; ++k) push(kv.frame(k, false), k);
  // Only the host's thread counts: the module's frame thread may still be decoding the last
  // of these, and when it falls behind it logs the backlog through the host's recorder.
  vendor_test::startCountingAllocationsOnThisThread();
  uint16_t taken = 0;
  for (uint16_t k = 2; k <= 17; ++k) {
    DecodedFrame *copy = next();
    if (copy == nullptr || V(copy->frame_count) != k || V(copy->mutual)[0] != 100 * k) break;
    ++taken;
  }
  const uint64_t allocations = vendor_test::stopCountingAllocations();
  EXPECT_EQ(taken, 16);
  EXPECT_EQ(allocations, 0u);
}

// ---- points out ------------------------------------------------------------------------


TEST_F(HalThroughHost, TwoPointsGiveTheMultiTouchSequence) {
  start(hal_config_text(small_panel(0)));
  rig_->newEvents();  // the release of every slot at init
  const std::vector<AlgTouchPoint> down = {finger(0, 100, 200, ALG_TOUCH_ACTION_DOWN),
                                           finger(1, 300, 400, ALG_TOUCH_ACTION_DOWN)};
  ASSERT_EQ(host_->hal()->report_points(down.data(), 2), 0);
  const std::vector<Ev> expected_down = {
      {EV_ABS, ABS_MT_SLOT, 0},          {EV_ABS, ABS_MT_TOOL_TYPE, MT_TOOL_FINGER},
      {EV_KEY, BTN_TOUCH, 1},            {EV_KEY, BTN_TOOL_FINGER, 1},
      {EV_ABS, ABS_MT_TRACKING_ID, 100}, {EV_ABS, ABS_MT_PRESSURE, 1},
      {EV_ABS, ABS_MT_POSITION_X, 100},  {EV_ABS, ABS_MT_POSITION_Y, 200},
      {EV_ABS, ABS_MT_SLOT, 1},          {EV_ABS, ABS_MT_TRACKING_ID, 101},
      {EV_ABS, ABS_MT_PRESSURE, 1},      {EV_ABS, ABS_MT_POSITION_X, 300},
      {EV_ABS, ABS_MT_POSITION_Y, 400},  {EV_SYN, SYN_REPORT, 0},
  };
  EXPECT_EQ(plain(rig_->newEvents()), expected_down);

  const std::vector<AlgTouchPoint> up = {finger(0, 100, 200, ALG_TOUCH_ACTION_UP),
                                         finger(1, 300, 400, ALG_TOUCH_ACTION_UP)};
  ASSERT_EQ(host_->hal()->report_points(up.data(), 2), 0);
  const std::vector<Ev> expected_up = {
      {EV_ABS, ABS_MT_SLOT, 0}, {EV_ABS, ABS_MT_TRACKING_ID, -1}, {EV_ABS, ABS_MT_SLOT, 1},
      {EV_ABS, ABS_MT_TRACKING_ID, -1}, {EV_KEY, BTN_TOUCH, 0}, {EV_KEY, BTN_TOOL_FINGER, 0},
      {EV_SYN, SYN_REPORT, 0},
  };
  EXPECT_EQ(plain(rig_->newEvents()), expected_up);
  // The touching state reached host slot 2: slots 0 and 1 down, then none.
  EXPECT_EQ(host_->snapshot().touch_states, (std::vector<uint32_t>{3, 0}));
}

TEST_F(HalThroughHost, ReportTimerAtTwiceTheControllerRateReportsTwicePerFrame) {
  start(hal_config_text(
      small_panel(0, "report_rate\n    use_report_timer = 1\n    ic_rate_normal = 120\n    rate_normal = 240\n")));
  const Family &kv = kFamilies[0];
  rig_->newEvents();
  for (uint16_t k = 1; k <= 3; ++k) {
    SCOPED_TRACE("frame " + std::to_string(k));
    // One frame through the host's get frame (which paces the timer), then its points.
    push(kv.frame(k, false), k);
    ASSERT_EQ(host_->run_frame(), touch_host::HostStatus::kOk);
    const AlgTouchPoint p = finger(0, 1000 + 100 * k, 500, k == 1 ? ALG_TOUCH_ACTION_DOWN : ALG_TOUCH_ACTION_MOVE);
    ASSERT_EQ(host_->hal()->report_points(&p, 1), 0);
    // Two ticks at 240 Hz take about 4 ms, longer on a loaded machine: wait for both, then
    // give a third time to show up; it never comes.
    std::vector<Ev> reported;
    for (int i = 0; i < 400 && syn_reports(reported) < 2; ++i) {
      if (i > 0) std::this_thread::sleep_for(5ms);
      const std::vector<Ev> more = plain(rig_->newEvents());
      reported.insert(reported.end(), more.begin(), more.end());
    }
    std::this_thread::sleep_for(40ms);
    const std::vector<Ev> late = plain(rig_->newEvents());
    reported.insert(reported.end(), late.begin(), late.end());
    EXPECT_EQ(syn_reports(reported), 2u);
  }
}

TEST_F(HalThroughHost, ModuleParameterWritesTheFingerStatusNode) {
  start(hal_config_text(small_panel(0)));
  const std::string node = "/sys/class/touch/touch_dev/touch_finger_status";
  // Send to driver, type 9, through HalModule slot 12: any non-zero value is "1".
  uint32_t value = 5;
  EXPECT_EQ(host_->hal()->send_to_driver(9, &value, 1), 1);
  EXPECT_EQ(rig_->root().readFile(node), "1");
  // Slot 2 sends its value the same way.
  EXPECT_EQ(host_->hal()->set_module_param(0), 0);
  EXPECT_EQ(rig_->root().readFile(node), "0");
}

TEST_F(HalThroughHost, DriverCommandsReachTheHost) {
  start(hal_config_text(small_panel(0)));
  common_data block{};
  block.mode = COMMON_DATA_MODE_VSYNC_REQUEST;
  block.count = 1;
  block.values[0] = 3;
  rig_->driver().pushCommand(block);
  ASSERT_TRUE(rig_->driver().waitCommandsTaken(2s));
  for (int i = 0; i < 200 && host_->snapshot().driver_common_data.empty(); ++i) std::this_thread::sleep_for(5ms);
  const auto blocks = host_->snapshot().driver_common_data;
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].values[0], 3u);
}

// The frame watchdog reports a stalled controller through the real send-to-driver
// interface: to the abnormal_event node when the driver offers it, else as a common-data
// record. Either way the driver gets the six bytes (u32 0x00020000, u16 1) and nothing more.
TEST_F(HalThroughHost, FrameWatchdogRecordReachesTheDriverWithAndWithoutTheNode) {
  const std::string node = "/sys/class/touch/touch_dev/abnormal_event";
  for (const bool with_node : {true, false}) {
    SCOPED_TRACE(with_node ? "abnormal_event node" : "no abnormal_event node");
    start(hal_config_text(small_panel(0, "idle_time\n    idle_normal = 40\n")), [&](SimTouchRig &) {
      if (!with_node) {
        ASSERT_EQ(plat_unlink(node.c_str()), 0);
      }
    });
    // A suspend and resume take the configured idle time as the period: 44 ms.
    ASSERT_EQ(host_->update_suspend_status(true), touch_host::HostStatus::kOk);
    ASSERT_EQ(host_->update_suspend_status(false), touch_host::HostStatus::kOk);
    const size_t records_before = rig_->driver().writtenCommonData().size();
    push(kFamilies[0].frame(1, false), 1);  // state code 4: the controller scans on
    for (int i = 0; i < 400 && logged("frame dog time out") == 0; ++i) std::this_thread::sleep_for(5ms);
    ASSERT_EQ(logged("frame dog time out"), 1u);

    const std::string expected("\x00\x00\x02\x00\x01\x00", 6);
    std::vector<common_data> records = rig_->driver().writtenCommonData();
    records.erase(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(records_before));
    if (with_node) {
      EXPECT_EQ(rig_->root().readFile(node), expected);
      for (const common_data &r : records) EXPECT_NE(r.count, 6) << "mode " << r.mode;
    } else {
      std::vector<common_data> abnormal;
      for (const common_data &r : records)
        if (r.mode == 0 && r.count == 6) abnormal.push_back(r);
      ASSERT_EQ(abnormal.size(), 1u);
      const auto *bytes = reinterpret_cast<const char *>(abnormal[0].values);
      EXPECT_EQ(std::string(bytes, 6), expected);
      // Past the record the values are zero, not whatever lay beside the sender's array.
      EXPECT_EQ(std::vector<char>(bytes + 6, bytes + 6 * sizeof(uint32_t)), std::vector<char>(18, 0));
    }
    host_.reset();
    rig_.reset();
  }
}

// Vsync-aligned reporting, end to end: the HAL asks the host for vsync through the
// registered callback, the host's vsync source feeds it the display's vsync times, and the
// first of them switches the controller to the vsync rate; lifting the finger ends it.
TEST_F(HalThroughHost, VsyncAlignedReportingRunsOnTheHostsVsyncSource) {
  plat_properties_reset();
  ASSERT_EQ(property_set("ro.vendor.touch.touchscheduler.enable", "true"), 0);
  start(hal_config_text(small_panel(0,
                                    "vsync_report\n    vsync_reprot_mode = 1\n"
                                    "report_rate\n    use_report_timer = 1\n    ic_rate_normal = 120\n"
                                    "    rate_normal = 120\n    ic_rate_vsync = 60\n")));
  // The controller rate last sent to the driver (mode 1011), 0 before any.
  auto last_ic_rate = [&] {
    uint32_t rate = 0;
    for (const common_data &r : rig_->driver().writtenCommonData())
      if (r.mode == 1011) rate = r.values[0];
    return rate;
  };
  common_data wish{};
  wish.cmd = COMMON_DATA_CMD_SET_MODE_VALUE;
  wish.mode = COMMON_DATA_MODE_VSYNC_REQUEST;
  wish.count = 1;
  wish.values[0] = 1;
  ASSERT_EQ(host_->send_common_data(wish), touch_host::HostStatus::kOk);
  EXPECT_EQ(last_ic_rate(), 120u);
  EXPECT_TRUE(host_->snapshot().vsync_states.empty());

  // A moving finger: after two changed frames the HAL follows vsync.
  for (int k = 0; k < 3; ++k) {
    const AlgTouchPoint p = finger(0, 1000 + 40 * k, 500, k == 0 ? ALG_TOUCH_ACTION_DOWN : ALG_TOUCH_ACTION_MOVE);
    ASSERT_EQ(host_->hal()->report_points(&p, 1), 0);
  }
  EXPECT_EQ(host_->snapshot().vsync_states, std::vector<int32_t>{HAL_VSYNC_STATE_FOLLOW});
  // The host counts a vsync once the HAL has returned from it, which is after the HAL's
  // rate change already reached the driver: wait for both.
  for (int i = 0; i < 400 && (last_ic_rate() != 60u || host_->snapshot().vsyncs_sent == 0); ++i)
    std::this_thread::sleep_for(5ms);
  EXPECT_EQ(last_ic_rate(), 60u);  // the host's first vsync reached the state machine
  EXPECT_GE(host_->snapshot().vsyncs_sent, 1u);

  const AlgTouchPoint up = finger(0, 1080, 500, ALG_TOUCH_ACTION_UP);
  ASSERT_EQ(host_->hal()->report_points(&up, 1), 0);
  EXPECT_EQ(host_->snapshot().vsync_states,
            (std::vector<int32_t>{HAL_VSYNC_STATE_FOLLOW, HAL_VSYNC_STATE_STOP}));
  EXPECT_EQ(last_ic_rate(), 120u);
  // The source stops: at most a vsync already on its way arrives after the stop.
  const size_t sent = host_->snapshot().vsyncs_sent;
  std::this_thread::sleep_for(80ms);
  EXPECT_LE(host_->snapshot().vsyncs_sent, sent + 1);
  host_.reset();
  plat_properties_reset();
}

TEST_F(HalThroughHost, ExitStopsAndJoinsTheThreads) {
  start(hal_config_text(small_panel(0)));
  // The threads name themselves once they run.
  const char *const workers[] = {"touch-frame-fi", "touch-cmd-fi", "touch-cmd-fo"};
  auto all_running = [&] {
    const std::set<std::string> names = thread_names();
    for (const char *w : workers)
      if (names.count(w) == 0) return false;
    return true;
  };
  for (int i = 0; i < 400 && !all_running(); ++i) std::this_thread::sleep_for(5ms);
  EXPECT_TRUE(all_running());
  ASSERT_EQ(host_->exit(), touch_host::HostStatus::kOk);
  const std::set<std::string> after = thread_names();
  for (const char *w : workers) EXPECT_EQ(after.count(w), 0u) << w;
  EXPECT_EQ(rig_->driver().openFiles(), 0u);
  EXPECT_EQ(host_->hal()->get_frame(nullptr, nullptr), 255);
}

}  // namespace
