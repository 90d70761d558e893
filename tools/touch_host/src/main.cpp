// touch_host: loads a HAL module and an algorithm module, runs frames through them and
// prints what was loaded and every point report.
//   touch_host --hal PATH --alg PATH [--frames N] [--config FILE] [--touch-id N] [--linger-ms N]
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "touch_host/host.h"

namespace {

void usage() {
  std::fprintf(stderr,
               "usage: touch_host --hal PATH --alg PATH [--frames N] [--config FILE] [--touch-id N] [--linger-ms N]\n");
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

}  // namespace

int main(int argc, char **argv) {
  std::string hal_path;
  std::string alg_path;
  std::string config_path;
  unsigned long frames = 10;
  unsigned long touch_id = 0;
  unsigned long linger_ms = 0;  // time for the modules' timers before exit
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--hal" && has_value) {
      hal_path = argv[++i];
    } else if (arg == "--alg" && has_value) {
      alg_path = argv[++i];
    } else if (arg == "--config" && has_value) {
      config_path = argv[++i];
    } else if (arg == "--frames" && has_value) {
      if (!parse_count(argv[++i], &frames)) {
        std::fprintf(stderr, "touch_host: bad frame count '%s'\n", argv[i]);
        return 2;
      }
    } else if (arg == "--touch-id" && has_value) {
      if (!parse_count(argv[++i], &touch_id) || touch_id > HAL_TOUCH_ID_MAX) {
        std::fprintf(stderr, "touch_host: bad touch id '%s'\n", argv[i]);
        return 2;
      }
    } else if (arg == "--linger-ms" && has_value) {
      if (!parse_count(argv[++i], &linger_ms) || linger_ms > 60000) {
        std::fprintf(stderr, "touch_host: bad linger time '%s'\n", argv[i]);
        return 2;
      }
    } else if (arg == "--help" || arg == "-h") {
      usage();
      return 0;
    } else {
      usage();
      return 2;
    }
  }
  if (hal_path.empty() || alg_path.empty()) {
    usage();
    return 2;
  }

  touch_host::HostOptions options;
  options.touch_id = static_cast<uint32_t>(touch_id);
  options.on_report = [](const touch_host::PointReport &report) {
    std::printf("frame %llu: %zu point(s)\n", static_cast<unsigned long long>(report.frame_serial),
                report.points.size());
    for (const AlgTouchPoint &p : report.points) {
      std::printf("  id %d %s at (%d, %d)\n", int{p.id}, action_name(p.action), int{p.x}, int{p.y});
    }
  };
  touch_host::TouchHost host(options);

  std::string error;
  if (!host.load_hal(hal_path, &error) || !host.load_alg(alg_path, &error)) {
    std::fprintf(stderr, "touch_host: %s\n", error.c_str());
    return 1;
  }
  std::printf("HAL module: %s, version %s\n", host.hal_name().c_str(), host.hal_version().c_str());
  std::printf("algorithm module: %s, version %s (%s call style)\n", host.alg_name().c_str(),
              host.alg_version().c_str(),
              host.alg_style() == touch_host::AlgCallStyle::kFerrant ? "ferrant" : "luma");

  if (!config_path.empty() && host.read_configuration_file(config_path) != touch_host::HostStatus::kOk) {
    std::fprintf(stderr, "touch_host: cannot read configuration %s\n", config_path.c_str());
    return 1;
  }
  int32_t alg_result = 0;
  if (host.init(&alg_result) != touch_host::HostStatus::kOk) {
    std::fprintf(stderr, "touch_host: init failed (algorithm result %d)\n", alg_result);
    return 1;
  }
  size_t ran = 0;
  touch_host::HostStatus status = touch_host::HostStatus::kOk;
  while (ran < frames && (status = host.run_frame()) == touch_host::HostStatus::kOk) ++ran;
  if (linger_ms != 0) std::this_thread::sleep_for(std::chrono::milliseconds(linger_ms));
  host.exit();
  const touch_host::HostRecord record = host.snapshot();
  std::printf("frames run: %zu, reports: %zu, timer expiries: %zu\n", ran, record.reports.size(),
              record.timer_fires.size());
  if (ran < frames) std::printf("stopped after %zu of %zu frames: %s\n", ran, static_cast<size_t>(frames), stop_reason(status));
  for (const touch_host::DriverRequest &request : record.driver_requests) {
    std::printf("%s\n", touch_host::describe(request).c_str());
  }
  return 0;
}
