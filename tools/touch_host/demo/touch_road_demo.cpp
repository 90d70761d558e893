// touch_road_demo: the touch road on a simulated phone. A temporary root gets the touch
// driver, its nodes, the HAL's configuration file and a recording touchscreen; the touch host
// loads the real HAL module and algorithm A; the driver pushes Ferrant frames, which the HAL
// decodes and algorithm A processes, and the points algorithm A reports come out of the HAL
// as input events, printed here.
//   touch_road_demo --hal PATH --alg PATH [--frames N]
// With algorithm A's scripted test build (an exported ferx_test_script_coordinates), one
// finger is scripted to land, slide and lift, since the coordinate stages have no bodies yet.
#include <linux/input.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <string>
#include <vector>

#include "ferrant_script_hook_test.h"
#include "tamrel_touch/frame_encoders.h"
#include "touch_host/host.h"
#include "touch_host/ferrant_road.h"
#include "touch_host/sim_touch_rig.h"

namespace {

namespace road = touch_host::testsupport::ferrant_road;
using touch_host::testsupport::SimTouchRig;

const char *type_name(uint16_t type) {
  switch (type) {
    case EV_SYN: return "EV_SYN";
    case EV_KEY: return "EV_KEY";
    case EV_ABS: return "EV_ABS";
    default: return "EV_?";
  }
}

const char *code_name(uint16_t type, uint16_t code) {
  if (type == EV_SYN) return code == SYN_REPORT ? "SYN_REPORT" : "SYN_?";
  if (type == EV_KEY) return code == BTN_TOUCH ? "BTN_TOUCH" : code == BTN_TOOL_FINGER ? "BTN_TOOL_FINGER" : "KEY_?";
  switch (code) {
    case ABS_MT_SLOT: return "ABS_MT_SLOT";
    case ABS_MT_TOOL_TYPE: return "ABS_MT_TOOL_TYPE";
    case ABS_MT_TRACKING_ID: return "ABS_MT_TRACKING_ID";
    case ABS_MT_PRESSURE: return "ABS_MT_PRESSURE";
    case ABS_MT_POSITION_X: return "ABS_MT_POSITION_X";
    case ABS_MT_POSITION_Y: return "ABS_MT_POSITION_Y";
    default: return "ABS_?";
  }
}

const char *action_name(int32_t action) {
  switch (action) {
    case ALG_TOUCH_ACTION_DOWN: return "down";
    case ALG_TOUCH_ACTION_MOVE: return "move";
    case ALG_TOUCH_ACTION_UP: return "up";
    default: return "?";
  }
}

// What each frame of the run is for, as the road's frames are built.
const char *frame_role(int k, int frames) {
  if (k == 1) return " (no reference yet: algorithm A asks the controller for one; the HAL's first report clears every slot)";
  if (k == 2) return " (the controller's reference frame)";
  if (k == frames) return " (last frame: the scripted finger lifts)";
  return "";
}

// The rest of the HAL's settings, as a device's configuration file carries them (the HAL
// logs every setting it has to default as an error): the values are the HAL's own defaults
// for this panel (scale 8), continuing the hw section that hal_config_text ends with.
const char kHalSettings[] =
    "    scan_freq_num = 3\n"
    "    kb_raw_normalize = 0\n"
    "interface_for_vendor\n    set_ic_cmd = 0\n    get_ic_cmd = 0\n"
    "threshold1\n    game_idle_thd = 0\n"
    "input_device\n    support_finger = 1\n    support_stylus = 0\n    report_version = 1\n"
    "super_resolution\n    normal_super_resolution = 8\n    game_super_resolution_default = 8\n"
    "    game_super_resolution_0 = 8\n    game_super_resolution_1 = 8\n"
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

int usage(FILE *out = stderr) {
  std::fprintf(out,
               "usage: touch_road_demo --hal PATH --alg PATH [--frames N]\n"
               "Runs simulated controller frames through the HAL module and algorithm A (scripted\n"
               "build) to input events on a simulated phone; N is 4 to 1000 (default 7).\n");
  return out == stderr ? 2 : 0;
}

}  // namespace

int main(int argc, char **argv) {
  std::string hal_path, alg_path;
  int frames = 7;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") return usage(stdout);
    if (arg != "--hal" && arg != "--alg" && arg != "--frames") {
      std::fprintf(stderr, "touch_road_demo: unknown option '%s'\n", arg.c_str());
      return usage();
    }
    if (i + 1 >= argc) return usage();
    if (arg == "--hal") {
      hal_path = argv[++i];
    } else if (arg == "--alg") {
      alg_path = argv[++i];
    } else if (arg == "--frames") {
      char *end = nullptr;
      frames = static_cast<int>(std::strtol(argv[++i], &end, 10));
      if (end == argv[i] || *end != '\0') return usage();
    } else {
      return usage();
    }
  }
  if (hal_path.empty() || alg_path.empty() || frames < 4 || frames > 1000) return usage();

  touch_host::testsupport::RigOptions options;
  touch_host::testsupport::HalPanelConfig panel = road::hal_panel();
  panel.more = kHalSettings;
  options.hal_config = touch_host::testsupport::hal_config_text(panel);
  SimTouchRig rig(options);
  std::printf("simulated root %s: /dev/tamrel-touch, /dev/input/event1 (recording)\n", rig.root().dir().c_str());

  // Algorithm A's configuration is the device's vendor configuration file, beside the HAL's.
  const fxtest::Bytes file = road::alg_config_file();
  rig.root().writeFile("/odm/firmware/tp_cfg_vendor.ini",
                       std::string_view(reinterpret_cast<const char *>(file.data()), file.size()));
  const std::string config_path = rig.root().dir() + "/odm/firmware/tp_cfg_vendor.ini";

  touch_host::HostOptions host_options;
  host_options.log_sink = [](const touch_host::LogLine &line) {
    // Every line the modules hand the host goes to the log (stderr) with the system log's
    // own lines; the host's own complaints are shown here as well.
    std::fprintf(stderr, "[touch_host] %s L%d: %s\n", touch_host::to_string(line.source), line.level, line.text.c_str());
    if (line.source == touch_host::LogSource::kHost && line.level <= 1) std::printf("  [host] %s\n", line.text.c_str());
  };
  touch_host::TouchHost host(host_options);
  std::string error;
  if (!host.load_hal(hal_path, &error) || !host.load_alg(alg_path, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::printf("loaded %s (%s) and %s (%s)\n", host.hal_name().c_str(), host.hal_version().c_str(),
              host.alg_name().c_str(), host.alg_version().c_str());
  int32_t alg_result = 0;
  if (host.read_configuration_file(config_path) != touch_host::HostStatus::kOk ||
      host.init(&alg_result) != touch_host::HostStatus::kOk) {
    std::fprintf(stderr, "init failed (algorithm result %d)\n", alg_result);
    return 1;
  }
  host.update_suspend_status(false);  // the screen is on
  auto script = reinterpret_cast<FerxScriptCoordinatesFn>(host.alg_symbol(FERX_SCRIPT_COORDINATES_SYMBOL));
  rig.newEvents();  // the HAL releases every slot at init
  // Say plainly where the points come from: algorithm A's detection and coordinate stages
  // have no bodies yet, so it detects no touch in these frames by itself.
  if (script == nullptr) {
    std::printf("touches: none detected (algorithm A's detection stages are empty) and none scripted (this build of\n"
                "  algorithm A has no coordinate scripting): no points expected\n");
  } else {
    std::printf("touches: none detected (algorithm A's detection stages are empty); one finger is scripted into\n"
                "  algorithm A's coordinate result: down on frame 3, moving, up on frame %d. The points and input\n"
                "  events below are what algorithm A's report stage and the HAL make of that scripted finger.\n",
                frames);
  }

  size_t events_total = 0;
  for (int k = 1; k <= frames; ++k) {
    // Frame 1 asks the controller for its reference and frame 2 brings it; from frame 3 one
    // finger in slot 0 lands, slides, and lifts on the last frame.
    if (script != nullptr) {
      const FerxScriptedPoint finger = {0, static_cast<uint16_t>(600 + 40 * k), static_cast<uint16_t>(900 + 25 * k), 300};
      script(&finger, k > 2 && k < frames ? 1 : 0);
    }
    const size_t reports_before = host.snapshot().reports.size();
    const uint8_t flags = k == 2 ? road::kReferenceFrame : 0;
    if (!rig.pushFrame(road::frame_slot(static_cast<uint16_t>(k), rig.slotSize(), flags))) {
      std::fprintf(stderr, "stopped at frame %d of %d: the simulated driver did not take the frame\n", k, frames);
      return 1;
    }
    const touch_host::HostStatus status = host.run_frame();
    if (status != touch_host::HostStatus::kOk) {
      std::fprintf(stderr, "stopped at frame %d of %d: %s\n", k, frames,
                   status == touch_host::HostStatus::kEndOfFrames ? "the HAL handed out no frame (decode refused it)"
                                                                  : "the frame did not reach algorithm A");
      return 1;
    }
    const touch_host::HostRecord record = host.snapshot();
    std::printf("frame %d: driver -> HAL (Ferrant v2 decode) -> algorithm A%s", k, frame_role(k, frames));
    for (size_t r = reports_before; r < record.reports.size(); ++r) {
      for (const AlgTouchPoint &p : record.reports[r].points)
        std::printf(" -> point slot %d %s (%d, %d)%s", p.id, action_name(p.action), p.x, p.y,
                    script != nullptr ? " [scripted]" : " [detected]");
    }
    std::printf("\n");
    for (const input_event &e : rig.newEvents()) {
      std::printf("    input event %-6s %-18s %d\n", type_name(e.type), code_name(e.type, e.code), e.value);
      ++events_total;
    }
  }
  host.exit();
  std::printf("%d frames, %zu input events on the touchscreen\n", frames, events_total);
  const touch_host::HostRecord record = host.snapshot();
  for (const touch_host::DriverRequest &request : record.driver_requests) {
    std::printf("%s\n", touch_host::describe(request).c_str());
  }
  if (record.driver_requests.empty()) std::printf("no driver requests from algorithm A in this run\n");
  return 0;
}
