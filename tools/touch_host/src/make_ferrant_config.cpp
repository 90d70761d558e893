// Writes an algorithm A configuration file, built by algorithm A's own test-side encoders:
// by default the one that ships as tools/touch_host/configs/ferrant_16x30.bin (panel of 16
// drive x 30 sense lines, screen 1080 x 2400, touch thresholds 100 and 120, time control and
// a hopping table of four frequencies); --panel and --screen make one for a recorded panel
// of another size.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "self_ofs_cancel.h"
#include "touch_host/ferrant_road.h"

namespace {

// The module's limits: its self lines hold at most this many drive and sense values, and its
// maps as many nodes as both allow.
constexpr int kMaxDrive = kSelfMaxDrv;
constexpr int kMaxSense = kSelfMaxSen;

void usage(FILE *out) {
  std::fprintf(out,
               "usage: make_ferrant_config [--panel DRIVExSENSE] [--screen XxY] [--threshold N]\n"
               "                           [--second-threshold N] OUTPUT\n"
               "\n"
               "  --panel DxS             drive (rows) x sense (columns) lines, drive 1 to %d, sense 1\n"
               "                          to %d (the module's limits; default 16x30)\n"
               "  --screen XxY            the screen the points are reported in, x along the sense\n"
               "                          lines, y along the drive lines, each 1 to 65535 (default\n"
               "                          1080x2400)\n"
               "  --threshold N           touch threshold in counts of the diff map (default 100)\n"
               "  --second-threshold N    second touch level (default 120)\n",
               kMaxDrive, kMaxSense);
}

bool parse_number(const std::string &text, long lo, long hi, long *out) {
  char *end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || *end != '\0' || value < lo || value > hi) return false;
  *out = value;
  return true;
}

bool parse_pair(const std::string &text, long hi_a, long hi_b, long *a, long *b) {
  const size_t x = text.find('x');
  return x != std::string::npos && parse_number(text.substr(0, x), 1, hi_a, a) &&
         parse_number(text.substr(x + 1), 1, hi_b, b);
}

}  // namespace

int main(int argc, char **argv) {
  namespace road = touch_host::testsupport::ferrant_road;
  road::AlgConfig config;
  config.touch_threshold = 100;
  config.second_threshold = 120;
  std::string output;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      usage(stdout);
      return 0;
    }
    const bool option = arg.rfind("--", 0) == 0;
    if (option && i + 1 >= argc) {
      std::fprintf(stderr, "make_ferrant_config: missing value for %s\n", arg.c_str());
      return 2;
    }
    long a = 0;
    long b = 0;
    if (arg == "--panel") {
      if (!parse_pair(argv[++i], kMaxDrive, kMaxSense, &a, &b)) {
        std::fprintf(stderr, "make_ferrant_config: bad panel '%s': want DRIVExSENSE, drive 1 to %d, sense 1 to %d\n",
                     argv[i], kMaxDrive, kMaxSense);
        return 2;
      }
      config.panel = {static_cast<int>(a), static_cast<int>(b)};
    } else if (arg == "--screen") {
      if (!parse_pair(argv[++i], 65535, 65535, &a, &b)) {
        std::fprintf(stderr, "make_ferrant_config: bad screen '%s': want XxY, each 1 to 65535\n", argv[i]);
        return 2;
      }
      config.screen_x = static_cast<uint16_t>(a);
      config.screen_y = static_cast<uint16_t>(b);
    } else if (arg == "--threshold" || arg == "--second-threshold") {
      if (!parse_number(argv[++i], 0, 65535, &a)) {
        std::fprintf(stderr, "make_ferrant_config: bad threshold '%s'\n", argv[i]);
        return 2;
      }
      (arg == "--threshold" ? config.touch_threshold : config.second_threshold) = static_cast<uint16_t>(a);
    } else if (option || !output.empty()) {
      std::fprintf(stderr, "make_ferrant_config: unexpected argument '%s'\n", arg.c_str());
      usage(stderr);
      return 2;
    } else {
      output = arg;
    }
  }
  if (output.empty()) {
    usage(stderr);
    return 2;
  }
  const auto bytes = road::alg_config_file(config);
  std::ofstream out(output, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "make_ferrant_config: cannot write %s\n", output.c_str());
    return 1;
  }
  return 0;
}
