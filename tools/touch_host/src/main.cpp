// touch_host: loads a HAL module and an algorithm module, runs frames through them and
// prints what was loaded and every point report. See usage() for the options.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "touch_host/frames_file.h"
#include "touch_host/host.h"

namespace {

void usage(FILE *out) {
  std::fprintf(out,
               "usage: touch_host --alg PATH [--hal PATH] [--config FILE] [--frames N]\n"
               "                  [--frames-file FILE [--panel ROWSxCOLUMNS]] [--touch-id N] [--linger-ms N]\n"
               "\n"
               "  --alg PATH          the algorithm module (a plug-in exporting register_alg_module)\n"
               "  --hal PATH          the HAL module (exporting register_hal_module); frames then come\n"
               "                      from its get-frame. Needed unless --frames-file is given.\n"
               "  --config FILE       the algorithm module's configuration, handed to it as an open\n"
               "                      descriptor before init. It must be a non-empty regular file in\n"
               "                      the module's own format; a module that cannot use it fails its\n"
               "                      init. For algorithm A (libtapsense_alg_ferrant) the file is\n"
               "                      4609 bytes: byte 0 unused, bytes 1-4096 the configuration blob\n"
               "                      (a 64-byte header whose bytes 62-63 are the sum of bytes 0-61,\n"
               "                      the section count at 61 and the body length + 4 at 59-60, then\n"
               "                      the sections and a 32-bit sum of the body's 16-bit words), bytes\n"
               "                      4097-4608 the controller information block (drive and sense\n"
               "                      line counts at its bytes 28 and 29). A valid one ships as\n"
               "                      tools/touch_host/configs/ferrant_16x30.bin.\n"
               "  --frames N          frames to take from the HAL (default 10)\n"
               "  --frames-file FILE  recorded frames, one per line: the panel's raw mutual values as\n"
               "                      comma-separated integers, drive line by drive line (rows), each\n"
               "                      from sense line 0 (columns); then, optionally, the raw values\n"
               "                      of self set 1 and then of self set 2, rows + columns values\n"
               "                      each, the drive lines first, then the sense lines. '#' lines\n"
               "                      and empty lines are skipped; a line with any other count of\n"
               "                      values is refused. A touch lowers the mutual values under it\n"
               "                      and raises the self values of its lines (both algorithms take\n"
               "                      raw minus base as a self line's signal). Self set 1 is the\n"
               "                      self scan guarded against water: it sees fingers, not water;\n"
               "                      both algorithms read it. Self set 2 is the normal self scan,\n"
               "                      which sees water too; only algorithm B reads it. A set the\n"
               "                      line leaves out reaches the module as 0; a device always\n"
               "                      sends both, and algorithm B's water-proof pass drops fingers\n"
               "                      that no self line supports.\n"
               "                      Each line reaches the algorithm module as the HAL decodes a\n"
               "                      normal continuous-scan frame of the panel, after a\n"
               "                      screen-on. Points are printed as 'frame N', N the frame's place\n"
               "                      in the file from 0.\n"
               "                      Algorithm A (libtapsense_alg_ferrant): needs --config, whose\n"
               "                      panel the file must have (make_ferrant_config --panel writes\n"
               "                      one for any panel). The first frames must be untouched: the\n"
               "                      first one is answered with its reference request (the same\n"
               "                      frame sent again as the controller's reference), and points\n"
               "                      come once the module has its power-on reference, about ten\n"
               "                      frames later.\n"
               "                      Algorithm B (libtapsense_alg): runs only its built-in 17x38\n"
               "                      panel and takes no --config; its first frame becomes its base,\n"
               "                      so it must be untouched too.\n"
               "  --panel RxC         the panel of --frames-file (rows x columns); it must be the\n"
               "                      module's own where the module runs one panel (above); other\n"
               "                      modules need it\n"
               "  --touch-id N        the panel's touch id for the HAL (0 to 99, default 0)\n"
               "  --linger-ms N       time left for the modules' timers before exit (at most 60000)\n"
               "  --help              this text\n"
               "\n"
               "Points print on standard output as 'id N ACTION at (X, Y)', in the algorithm's units:\n"
               "  Algorithm A: on the screen of its configuration (its panel section's X and Y\n"
               "    resolution: 1080 x 2400 in ferrant_16x30.bin, make_ferrant_config --screen), x along\n"
               "    the sense lines (columns), y along the drive lines (rows), unless its coordinate\n"
               "    section exchanges them. Without margins in that section the centre of node n of N\n"
               "    lines is at (n + 0.5) / N of the resolution.\n"
               "  Algorithm B: in 1/100 pixel of its 1220 x 2712 panel, x along the 17 drive lines\n"
               "    (rows), y along the 38 sense lines (columns).\n"
               "The modules' log lines (those handed to the host, '[touch_host] ...', and the system\n"
               "log's) go to standard error with touch_host's own complaints: 2>FILE keeps them apart\n"
               "from the points.\n");
}

const char *action_name(int32_t action) {
  switch (action) {
    case ALG_TOUCH_ACTION_DOWN: return "down";
    case ALG_TOUCH_ACTION_MOVE: return "move";
    case ALG_TOUCH_ACTION_UP: return "up";
    case ALG_TOUCH_ACTION_HOVER: return "hover";
    default: return "?";
  }
}

const char *stop_reason(touch_host::HostStatus status) {
  switch (status) {
    case touch_host::HostStatus::kEndOfFrames: return "the HAL module has no further frame";
    case touch_host::HostStatus::kNotLoaded: return "no HAL module is loaded";
    default: return "the frame could not be processed";
  }
}

bool parse_count(const char *text, unsigned long *out) {
  char *end = nullptr;
  errno = 0;
  const unsigned long value = std::strtoul(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || text[0] == '-') return false;
  *out = value;
  return true;
}

int fail(const std::string &message) {
  std::fprintf(stderr, "touch_host: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char **argv) {
  std::string hal_path;
  std::string alg_path;
  std::string config_path;
  std::string frames_path;
  std::string panel_text;
  unsigned long frames = 10;
  unsigned long touch_id = 0;
  unsigned long linger_ms = 0;  // time for the modules' timers before exit
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--help" || arg == "-h") {
      usage(stdout);
      return 0;
    }
    if (!has_value) {
      std::fprintf(stderr, "touch_host: %s '%s'\n", arg.rfind("--", 0) == 0 ? "missing value for" : "unknown argument",
                   arg.c_str());
      usage(stderr);
      return 2;
    }
    if (arg == "--hal") {
      hal_path = argv[++i];
    } else if (arg == "--alg") {
      alg_path = argv[++i];
    } else if (arg == "--config") {
      config_path = argv[++i];
    } else if (arg == "--frames-file") {
      frames_path = argv[++i];
    } else if (arg == "--panel") {
      panel_text = argv[++i];
    } else if (arg == "--frames") {
      if (!parse_count(argv[++i], &frames)) {
        std::fprintf(stderr, "touch_host: bad frame count '%s'\n", argv[i]);
        return 2;
      }
    } else if (arg == "--touch-id") {
      if (!parse_count(argv[++i], &touch_id) || touch_id > HAL_TOUCH_ID_MAX) {
        std::fprintf(stderr, "touch_host: bad touch id '%s'\n", argv[i]);
        return 2;
      }
    } else if (arg == "--linger-ms") {
      if (!parse_count(argv[++i], &linger_ms) || linger_ms > 60000) {
        std::fprintf(stderr, "touch_host: bad linger time '%s'\n", argv[i]);
        return 2;
      }
    } else {
      std::fprintf(stderr, "touch_host: unknown option '%s'\n", arg.c_str());
      usage(stderr);
      return 2;
    }
  }
  if (alg_path.empty() || (hal_path.empty() && frames_path.empty())) {
    std::fprintf(stderr, "touch_host: --alg and either --hal or --frames-file are needed\n");
    usage(stderr);
    return 2;
  }
  touch_host::PanelSize panel;
  if (!panel_text.empty() && !touch_host::parse_panel_size(panel_text, &panel)) {
    std::fprintf(stderr, "touch_host: bad panel '%s': want ROWSxCOLUMNS, each 1 to 255\n", panel_text.c_str());
    return 2;
  }

  touch_host::HostOptions options;
  options.touch_id = static_cast<uint32_t>(touch_id);
  // A recorded frame's points are numbered by the frame's place in the file (from 0); the
  // HAL's by the host's frame count.
  std::atomic<long> recorded_frame{-1};
  options.on_report = [&recorded_frame](const touch_host::PointReport &report) {
    const long line = recorded_frame.load();
    const unsigned long long number =
        line >= 0 ? static_cast<unsigned long long>(line) : static_cast<unsigned long long>(report.frame_serial);
    std::printf("frame %llu: %zu point(s)\n", number, report.points.size());
    for (const AlgTouchPoint &p : report.points) {
      std::printf("  id %d %s at (%d, %d)\n", int{p.id}, action_name(p.action), int{p.x}, int{p.y});
    }
  };
  std::atomic<bool> reference_wanted{false};
  options.on_controller_write = [&reference_wanted](const touch_host::ControllerWrite &write) {
    if (touch_host::asks_for_reference(write.packet)) reference_wanted = true;
  };
  touch_host::TouchHost host(options);

  std::string error;
  if ((!hal_path.empty() && !host.load_hal(hal_path, &error)) || !host.load_alg(alg_path, &error)) return fail(error);
  if (!hal_path.empty())
    std::printf("HAL module: %s, version %s\n", host.hal_name().c_str(), host.hal_version().c_str());
  std::printf("algorithm module: %s, version %s (%s call style)\n", host.alg_name().c_str(),
              host.alg_version().c_str(),
              host.alg_style() == touch_host::AlgCallStyle::kFerrant ? "ferrant" : "luma");

  if (!config_path.empty() && host.read_configuration_file(config_path, &error) != touch_host::HostStatus::kOk)
    return fail("configuration " + config_path + " refused: " + error);

  int32_t alg_result = 0;
  if (host.init(&alg_result) != touch_host::HostStatus::kOk) {
    if (!config_path.empty() && alg_result != 0) {
      return fail("the algorithm module refused configuration " + config_path + " (init result " +
                  std::to_string(alg_result) + "): it must hold the module's configuration, see --help");
    }
    // Algorithm A (ferrant call style) starts only with its configuration; other modules of
    // its style may need none, so this is said once its init has failed.
    if (config_path.empty() && alg_result != 0 && host.alg_style() == touch_host::AlgCallStyle::kFerrant) {
      return fail("init failed (algorithm result " + std::to_string(alg_result) +
                  "): this module (ferrant call style, as algorithm A) needs its configuration: give --config FILE. "
                  "tools/touch_host/configs/ferrant_16x30.bin in the source tree is one for a 16x30 panel; "
                  "make_ferrant_config --panel DRIVExSENSE --screen XxY FILE (beside touch_host in the build's "
                  "bin/) writes one for another panel");
    }
    return fail("init failed (algorithm result " + std::to_string(alg_result) + ")");
  }
  // The recorded frames are read once init has accepted the configuration their panel may
  // come from. A module that runs one panel takes frames of that panel only.
  std::vector<std::vector<int16_t>> recorded;
  if (!frames_path.empty()) {
    touch_host::PanelSize runs;
    std::string runs_from;
    std::string hint;
    if (host.alg_style() == touch_host::AlgCallStyle::kFerrant) {
      std::vector<uint8_t> config;
      if (!config_path.empty() && touch_host::read_config_file(config_path, &config, &error) &&
          touch_host::ferrant_config_panel(config, &runs)) {
        runs_from = "its configuration " + config_path;
        hint = "write one for this panel with make_ferrant_config --panel";
      }
    } else if (touch_host::builtin_panel(host.alg_version(), &runs)) {
      runs_from = "it is built for";
      hint = "it takes no configuration file";
    }
    if (runs.nodes() != 0) {
      if (panel.nodes() != 0 && (panel.rows != runs.rows || panel.columns != runs.columns)) {
        return fail("the panel " + std::to_string(panel.rows) + "x" + std::to_string(panel.columns) + " of " +
                    frames_path + " is not the one the algorithm module runs: " + runs_from + " " +
                    std::to_string(runs.rows) + "x" + std::to_string(runs.columns) + " (" + hint + ")");
      }
      panel = runs;
    } else if (panel.nodes() == 0) {
      return fail("the panel of " + frames_path + " is unknown: give --panel ROWSxCOLUMNS");
    }
    std::ifstream in(frames_path);
    if (!in) return fail("cannot read frames file " + frames_path + ": " + std::strerror(errno));
    const bool empty = in.peek() == std::ifstream::traits_type::eof();
    if (!touch_host::read_frames(in, panel, &recorded, &error)) return fail(frames_path + ": " + error);
    // A file without frames runs nothing: that is a wrong file, not a good run.
    if (recorded.empty()) {
      return fail(frames_path + (empty ? " is empty: no frame to run"
                                       : " holds no frame, only comments and empty lines: no frame to run"));
    }
    std::printf("frames file: %zu frame(s) of %dx%d\n", recorded.size(), panel.rows, panel.columns);
  }

  size_t ran = 0;
  size_t references = 0;
  size_t wanted = static_cast<size_t>(frames);
  touch_host::HostStatus status = touch_host::HostStatus::kOk;
  if (!frames_path.empty()) {
    wanted = recorded.size();
    // On a device the display is on before frames flow: the screen-on comes first.
    status = host.update_suspend_status(false);
    // Algorithm A counts controller frames from 1 at start-up: the first one is 2.
    uint16_t index = 2;
    for (size_t k = 0; status == touch_host::HostStatus::kOk && k < recorded.size(); ++k) {
      recorded_frame = static_cast<long>(k);
      touch_host::RecordedFrame frame(recorded[k], panel, index++);
      if ((status = host.process_frame(frame.frame())) != touch_host::HostStatus::kOk) break;
      ++ran;
      // The controller answers a reference request with its next scan as the reference.
      if (reference_wanted.exchange(false)) {
        touch_host::RecordedFrame reference(recorded[k], panel, index++, true);
        if ((status = host.process_frame(reference.frame())) != touch_host::HostStatus::kOk) break;
        ++references;
      }
    }
    recorded_frame = -1;
  } else {
    while (ran < wanted && (status = host.run_frame()) == touch_host::HostStatus::kOk) ++ran;
  }
  if (linger_ms != 0) std::this_thread::sleep_for(std::chrono::milliseconds(linger_ms));
  host.exit();
  const touch_host::HostRecord record = host.snapshot();
  std::printf("frames run: %zu, reports: %zu, timer expiries: %zu\n", ran, record.reports.size(),
              record.timer_fires.size());
  if (references != 0) std::printf("reference frames sent on request: %zu\n", references);
  if (ran < wanted) std::printf("stopped after %zu of %zu frames: %s\n", ran, wanted, stop_reason(status));
  for (const touch_host::DriverRequest &request : record.driver_requests) {
    std::printf("%s\n", touch_host::describe(request).c_str());
  }
  return 0;
}
