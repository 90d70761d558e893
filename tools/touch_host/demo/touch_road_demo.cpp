// touch_road_demo: the touch road on a simulated phone. A temporary root gets the touch
// driver, its nodes, the HAL's configuration file and a recording touchscreen; the touch host
// loads the real HAL module and a touch algorithm; the driver pushes controller frames with a
// finger swiping across the panel, the HAL decodes them, the algorithm finds and tracks the
// finger, and the HAL writes the points it reports as multi-touch input events, printed here
// and checked against the finger on the touchscreen's declared axes (a run whose events lie
// elsewhere fails).
//   touch_road_demo --hal PATH --alg PATH [--road ferrant|luma] [--frames N]
// ferrant: second-generation Ferrant frames of a 16 x 30 panel for algorithm A; luma:
// second-generation Luma frames of a 17 x 38 panel for algorithm B.
#include <linux/input.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tamrel_touch/frame_encoders.h"
#include "touch_host/ferrant_road.h"
#include "touch_host/host.h"
#include "touch_host/input_events.h"
#include "touch_host/luma_road.h"
#include "touch_host/sim_touch_rig.h"

namespace {

namespace ferrant = touch_host::testsupport::ferrant_road;
namespace luma = touch_host::testsupport::luma_road;
using touch_host::testsupport::MultiTouchReader;
using touch_host::testsupport::SimTouchRig;

const char *action_name(int32_t action) {
  switch (action) {
    case ALG_TOUCH_ACTION_DOWN: return "down";
    case ALG_TOUCH_ACTION_MOVE: return "move";
    case ALG_TOUCH_ACTION_UP: return "up";
    default: return "?";
  }
}

// One input event, short: the code's name without its prefix, and the value.
std::string event_text(const input_event &e) {
  if (e.type == EV_SYN) return e.code == SYN_REPORT ? "SYN" : "SYN_?";
  std::string name;
  if (e.type == EV_KEY) {
    name = e.code == BTN_TOUCH ? "BTN_TOUCH" : e.code == BTN_TOOL_FINGER ? "BTN_TOOL_FINGER" : "KEY_?";
  } else {
    switch (e.code) {
      case ABS_MT_SLOT: name = "SLOT"; break;
      case ABS_MT_TOOL_TYPE: name = "TOOL_TYPE"; break;
      case ABS_MT_TRACKING_ID: name = "TRACKING_ID"; break;
      case ABS_MT_PRESSURE: name = "PRESSURE"; break;
      case ABS_MT_POSITION_X: name = "X"; break;
      case ABS_MT_POSITION_Y: name = "Y"; break;
      default: name = "ABS_?"; break;
    }
  }
  return name + " " + std::to_string(e.value);
}

// The rest of the HAL's settings, as a device's configuration file carries them (the HAL
// logs every setting it has to default as an error): the HAL's own defaults for a panel of
// scale SCALE, continuing the hw section that hal_config_text ends with.
std::string hal_settings(int scale) {
  const std::string s = std::to_string(scale);
  return "    scan_freq_num = 3\n"
         "    kb_raw_normalize = 0\n"
         "interface_for_vendor\n    set_ic_cmd = 0\n    get_ic_cmd = 0\n"
         "threshold1\n    game_idle_thd = 0\n"
         "input_device\n    support_finger = 1\n    support_stylus = 0\n    report_version = 1\n"
         "super_resolution\n    normal_super_resolution = " + s + "\n    game_super_resolution_default = " + s +
         "\n    game_super_resolution_0 = " + s + "\n    game_super_resolution_1 = " + s + "\n" +
         "vsync_report\n    vsync_offset = 4000000\n    vsync_reprot_mode = 0\n"
         "report_rate\n    dynamic_fps_report = 0\n    low_fps_limit = 70\n    rate_normal = 120\n"
         "    ic_rate_normal = 120\n    rate_game = 240\n    ic_rate_game = 240\n    rate_game_super = 480\n"
         "    ic_rate_game_super = 240\n    rate_vsync = 120\n    ic_rate_vsync = 60\n    use_report_timer = 0\n"
         "    camera_rate_mode = 0\n"
         "save_tic_dump\n    save_tic_dump = 0\n"
         "stylus\n    stylus_en = 0\n"
         "idle_time\n    idle_normal = 1000\n    idle_glove = 2000\n    idle_game = 30000\n"
         "    doze_time_game_performance = 0\n"
         "dump_mode\n    dump_frameinfo_size = 64\n    dump_statrtinfo_size = 16\n"
         "save_log_mode\n    default_user_type = 2\n"
         "hot_area\n    hot_area_enable = 0\n    param_num = 13\n"
         "    widget_map_level = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}\n"
         "    widget_telescopic_level = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}\n"
         "    widget_joystick_level = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}\n"
         "    widget_skill_level = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}\n"
         "    widget_edge_level = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}\n"
         "    widget_tool_level = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}\n";
}

int usage(FILE *out = stderr) {
  std::fprintf(out,
               "usage: touch_road_demo --hal PATH --alg PATH [--road ferrant|luma] [--frames N]\n"
               "Runs a simulated swipe across the panel as controller frames through the HAL module and\n"
               "a touch algorithm to input events on a simulated phone. ferrant (default): algorithm A on\n"
               "Ferrant frames; luma: algorithm B on Luma frames. N is the swipe's frames, 2 to 30\n"
               "(default 12).\n");
  return out == stderr ? 2 : 0;
}

// A road: its rig, how its frames are made, and how the finger is placed for swipe frame i.
struct Road {
  bool ferrant = true;
  std::unique_ptr<SimTouchRig> rig;
  touch_host::TouchHost *host = nullptr;
  MultiTouchReader reader;
  uint16_t k = 0;
  size_t events_total = 0;
  std::vector<std::string> driver_requests;  // what the algorithm asked of the controller

  // Where the input events must land. The touchscreen's declared axes (their lengths, the
  // maximum + 1) and the panel's lines along each: x along the drive lines, y along the
  // sense lines, so a finger at node (row, column) stands at (row + 0.5) / lines_x of the x
  // axis and (column + 0.5) / lines_y of the y axis.
  int32_t axis_x = 1;
  int32_t axis_y = 1;
  int lines_x = 1;
  int lines_y = 1;
  // The finger's places on the panel in nodes, the latest last (none before it touches).
  std::vector<std::pair<double, double>> finger_path;
  size_t positions_checked = 0;
  size_t positions_off = 0;

  // Checks every position event of a frame against the finger at (row, column) (row < 0:
  // lifted or not down yet): each must lie within half a node, on its axis, of the finger's
  // path over the last two frames (the algorithms trail a moving finger: algorithm A
  // spreads a point's first movement over a few frames), or of its last place once it has
  // lifted (a held point stays there). Returns a line for each event that lies elsewhere.
  std::vector<std::string> check_positions(const std::vector<input_event> &events, double row, double column) {
    if (row >= 0) finger_path.emplace_back(row, column);
    std::vector<std::string> off;
    for (const input_event &e : events) {
      if (e.type != EV_ABS || (e.code != ABS_MT_POSITION_X && e.code != ABS_MT_POSITION_Y)) continue;
      ++positions_checked;
      const bool x = e.code == ABS_MT_POSITION_X;
      const char *name = x ? "X" : "Y";
      if (finger_path.empty()) {
        ++positions_off;
        off.push_back(std::string(name) + " " + std::to_string(e.value) + " with no finger on the panel");
        continue;
      }
      const int lines = x ? lines_x : lines_y;
      double lo = 1, hi = 0;
      const size_t from = finger_path.size() > 3 ? finger_path.size() - 3 : 0;
      for (size_t i = from; i < finger_path.size(); ++i) {
        const double share = ((x ? finger_path[i].first : finger_path[i].second) + 0.5) / lines;
        lo = std::min(lo, share - 0.5 / lines);
        hi = std::max(hi, share + 0.5 / lines);
      }
      const double share = static_cast<double>(e.value) / (x ? axis_x : axis_y);
      if (share >= lo && share <= hi) continue;
      ++positions_off;
      char line[160];
      std::snprintf(line, sizeof line, "%s %d is %.1f %% across its axis; the finger, within half a node, %.1f to %.1f %%",
                    name, e.value, 100 * share, 100 * lo, 100 * hi);
      off.emplace_back(line);
    }
    return off;
  }

  // A frame with the finger at (row, column) in nodes (no finger when row < 0); prints what
  // came out of it. False when the road broke.
  bool frame(double row, double column, uint8_t flags, const char *what, bool quiet = false) {
    ++k;
    tamrel_touch::encode::Bytes slot;
    if (ferrant) {
      std::vector<ferrant::Finger> fingers;
      if (row >= 0) fingers.push_back({row, column});
      slot = ferrant::frame_slot_of(k, rig->slotSize(), flags, ferrant::raw_with_fingers(fingers));
    } else {
      std::vector<luma::Tip> tips;
      if (row >= 0) tips.push_back({static_cast<int>(row), static_cast<int>(column)});
      slot = luma::frame_slot(k, rig->slotSize(), luma::raw_with_tips(tips, k));
    }
    host->clear_record();
    if (!rig->pushFrame(slot)) {
      std::fprintf(stderr, "stopped at frame %d: the simulated driver did not take the frame\n", k);
      return false;
    }
    const touch_host::HostStatus status = host->run_frame();
    if (status != touch_host::HostStatus::kOk) {
      std::fprintf(stderr, "stopped at frame %d: %s\n", k,
                   status == touch_host::HostStatus::kEndOfFrames ? "the HAL handed out no frame (decode refused it)"
                                                                  : "the frame did not reach the algorithm");
      return false;
    }
    const std::vector<input_event> events = rig->newEvents();
    reader.read(events);
    const std::vector<std::string> off = check_positions(events, row, column);
    events_total += events.size();
    const touch_host::HostRecord record = host->snapshot();
    for (const touch_host::DriverRequest &request : record.driver_requests)
      driver_requests.push_back(touch_host::describe(request));
    if (quiet && events.empty()) return true;
    std::printf("frame %2d %s", k, what);
    if (row >= 0) std::printf(" finger at node (%g, %g)", row, column);
    for (const touch_host::PointReport &report : record.reports)
      for (const AlgTouchPoint &p : report.points)
        std::printf(" -> point id %d %s (%d, %d)", p.id, action_name(p.action), p.x, p.y);
    std::printf("\n");
    if (!events.empty()) {
      std::string line;
      for (const input_event &e : events) line += (line.empty() ? "" : ", ") + event_text(e);
      std::printf("         input events: %s\n", line.c_str());
    }
    for (const std::string &complaint : off) std::printf("  !! not where the finger is: %s\n", complaint.c_str());
    return true;
  }
};

}  // namespace

int main(int argc, char **argv) {
  std::string hal_path, alg_path, road_name = "ferrant";
  int frames = 12;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") return usage(stdout);
    if (arg != "--hal" && arg != "--alg" && arg != "--frames" && arg != "--road") {
      std::fprintf(stderr, "touch_road_demo: unknown option '%s'\n", arg.c_str());
      return usage();
    }
    if (i + 1 >= argc) return usage();
    const std::string value = argv[++i];
    if (arg == "--hal") {
      hal_path = value;
    } else if (arg == "--alg") {
      alg_path = value;
    } else if (arg == "--road") {
      road_name = value;
    } else {
      char *end = nullptr;
      frames = static_cast<int>(std::strtol(value.c_str(), &end, 10));
      if (end == value.c_str() || *end != '\0') return usage();
    }
  }
  if (hal_path.empty() || alg_path.empty() || frames < 2 || frames > 30) return usage();
  if (road_name != "ferrant" && road_name != "luma") return usage();

  Road road;
  road.ferrant = road_name == "ferrant";
  touch_host::testsupport::RigOptions options = road.ferrant ? ferrant::rig_options() : luma::rig_options();
  options.hal_config += hal_settings(options.scale);
  road.rig = std::make_unique<SimTouchRig>(options);
  SimTouchRig &rig = *road.rig;
  road.axis_x = options.extent_x * options.scale;
  road.axis_y = options.extent_y * options.scale;
  road.lines_x = road.ferrant ? ferrant::kDrive : luma::kTx;
  road.lines_y = road.ferrant ? ferrant::kSense : luma::kRx;
  std::printf("simulated root %s: /dev/tamrel-touch, /dev/input/event1 (recording, axes 0..%d x 0..%d)\n",
              rig.root().dir().c_str(), options.extent_x * options.scale - 1, options.extent_y * options.scale - 1);

  touch_host::HostOptions host_options;
  host_options.log_sink = [](const touch_host::LogLine &line) {
    // Every line the modules hand the host goes to the log (stderr) with the system log's
    // own lines; the host's own complaints are shown here as well.
    std::fprintf(stderr, "[touch_host] %s L%d: %s\n", touch_host::to_string(line.source), line.level, line.text.c_str());
    if (line.source == touch_host::LogSource::kHost && line.level <= 1) std::printf("  [host] %s\n", line.text.c_str());
  };
  touch_host::TouchHost host(host_options);
  road.host = &host;
  std::string error;
  if (!host.load_hal(hal_path, &error) || !host.load_alg(alg_path, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::printf("loaded %s (%s) and %s (%s)\n", host.hal_name().c_str(), host.hal_version().c_str(),
              host.alg_name().c_str(), host.alg_version().c_str());
  if (road.ferrant) {
    // Algorithm A's configuration is the device's vendor configuration file, beside the HAL's;
    // it describes the touchscreen the HAL reports on.
    const fxtest::Bytes file = ferrant::alg_config_file(ferrant::device_alg_config(options));
    rig.root().writeFile("/odm/firmware/tp_cfg_vendor.ini",
                         std::string_view(reinterpret_cast<const char *>(file.data()), file.size()));
    if (host.read_configuration_file(rig.root().dir() + "/odm/firmware/tp_cfg_vendor.ini") !=
        touch_host::HostStatus::kOk) {
      std::fprintf(stderr, "the algorithm refused its configuration file\n");
      return 1;
    }
  } else {
    // The HAL hands the vendor configuration file beside its own to the algorithm; algorithm B
    // keeps its settings in code and reads nothing from it, so the device's file is empty.
    rig.root().writeFile("/odm/firmware/tp_cfg_vendor.ini", "");
  }
  int32_t alg_result = 0;
  if (host.init(&alg_result) != touch_host::HostStatus::kOk) {
    std::fprintf(stderr, "init failed (algorithm result %d)\n", alg_result);
    return 1;
  }
  host.update_suspend_status(false);  // the screen is on
  rig.newEvents();  // the HAL releases every slot at init

  // Getting ready: algorithm A asks the controller for its reference on the first frame, takes
  // it from the second and builds its power-on reference from the quiet frames after; algorithm
  // B takes its base from the first untouched frame.
  if (road.ferrant) {
    std::printf("Ferrant v2 frames of a 16 x 30 panel -> HAL -> algorithm A: points in 1/%d pixel of a %u x %u\n"
                "screen, x along the 16 drive lines, y along the 30 sense lines (the touchscreen's axes: its\n"
                "configuration exchanges the algorithm's own, whose x runs along the sense lines)\n",
                options.scale, static_cast<unsigned>(options.extent_x), static_cast<unsigned>(options.extent_y));
    if (!road.frame(-1, 0, 0, "no reference yet: algorithm A asks the controller for one") ||
        !road.frame(-1, 0, ferrant::kReferenceFrame, "the controller's reference frame"))
      return 1;
    std::printf("quiet frames follow until algorithm A's power-on reference is built and it reports\n");
    bool reporting = false;
    for (int i = 0; i < 12 && !reporting; ++i) {
      if (!road.frame(-1, 0, 0, "quiet: the first report, and the HAL's first report releases every slot", true))
        return 1;
      reporting = !host.snapshot().reports.empty();
    }
  } else {
    std::printf("Luma v2 frames of a 17 x 38 panel -> HAL -> algorithm B: points in 1/100 pixel of a\n"
                "1220 x 2712 panel, x along the 17 drive lines, y along the 38 sense lines\n");
    if (!road.frame(-1, 0, 0, "untouched: algorithm B takes its base")) return 1;
  }

  // The swipe: a finger lands and slides across the panel, from sense line 3 to 26 on
  // algorithm A's panel and from 4 to 34 on algorithm B's (its fingertips sit on nodes).
  std::printf("the swipe: a finger lands, slides across the panel for %d frames and lifts\n", frames);
  for (int i = 0; i < frames; ++i) {
    const bool ok = road.ferrant ? road.frame(7, 3 + 23.0 * i / (frames - 1), 0, "swipe")
                                 : road.frame(8, 4 + 30 * i / (frames - 1), 0, "swipe");
    if (!ok) return 1;
  }
  // The lift: algorithm A may hold a lifted point for its configured frames before the up.
  for (int i = 0; i < 6 && road.reader.touching(); ++i)
    if (!road.frame(-1, 0, 0, "lifted")) return 1;
  host.exit();
  std::printf("%d frames, %zu input events on the touchscreen; the touchscreen is %s\n", road.k, road.events_total,
              road.reader.touching() ? "still touched" : "released");
  for (const std::string &request : road.driver_requests) std::printf("%s\n", request.c_str());
  std::printf("input events where the finger is: %zu of %zu positions within half a node of its last two frames' path\n"
              "(x along the %d drive lines, y along the %d sense lines)\n",
              road.positions_checked - road.positions_off, road.positions_checked, road.lines_x, road.lines_y);
  const bool placed = road.positions_checked > 0 && road.positions_off == 0;
  return road.reader.touching() || !placed ? 1 : 0;
}
