// Writes the algorithm A configuration file that ships as
// tools/touch_host/configs/ferrant_16x30.bin: the one the touch road tests run with (panel of
// 16 drive x 30 sense lines, screen 1080 x 2400, time control and a hopping table of four
// frequencies), built by algorithm A's own test-side encoders.
//   make_ferrant_config OUTPUT
#include <cstdio>
#include <fstream>

#include "touch_host/ferrant_road.h"

int main(int argc, char **argv) {
  if (argc != 2 || argv[1][0] == '-') {
    std::fprintf(stderr, "usage: make_ferrant_config OUTPUT\n");
    return argc == 2 && std::string(argv[1]) == "--help" ? 0 : 2;
  }
  const auto bytes = touch_host::testsupport::ferrant_road::alg_config_file();
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "make_ferrant_config: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
