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
#include <fstream>
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
  options.hal_config = touch_host::testsupport::hal_config_text(road::hal_panel());
  SimTouchRig rig(options);
  std::printf("simulated root %s: /dev/tamrel-touch, /dev/input/event1 (recording)\n", rig.root().dir().c_str());

  const fxtest::Bytes file = road::alg_config_file();
  const std::string config_path = rig.root().dir() + "/flash.bin";
  std::ofstream(config_path, std::ios::binary)
      .write(reinterpret_cast<const char *>(file.data()), static_cast<std::streamsize>(file.size()));

  touch_host::HostOptions host_options;
  host_options.log_sink = [](const touch_host::LogLine &line) {
    // The host's own complaints only; the modules' lines go to the log as usual.
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
  if (script == nullptr) std::printf("(no coordinate scripting in this build of algorithm A: no points expected)\n");

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
    if (!rig.pushFrame(road::frame_slot(static_cast<uint16_t>(k), rig.slotSize(), flags)) ||
        host.run_frame() != touch_host::HostStatus::kOk) {
      std::fprintf(stderr, "frame %d did not reach the algorithm\n", k);
      return 1;
    }
    const touch_host::HostRecord record = host.snapshot();
    std::printf("frame %d: driver -> HAL (Ferrant v2 decode) -> algorithm A", k);
    for (size_t r = reports_before; r < record.reports.size(); ++r) {
      for (const AlgTouchPoint &p : record.reports[r].points)
        std::printf(" -> point slot %d %s (%d, %d)", p.id, action_name(p.action), p.x, p.y);
    }
    std::printf("\n");
    for (const input_event &e : rig.newEvents()) {
      std::printf("    input event %-6s %-18s %d\n", type_name(e.type), code_name(e.type, e.code), e.value);
      ++events_total;
    }
  }
  host.exit();
  std::printf("%d frames, %zu input events on the touchscreen\n", frames, events_total);
  return 0;
}
