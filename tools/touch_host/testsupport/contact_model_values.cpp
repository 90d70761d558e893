// Prints the C++ contact model's values for the contacts named on each input line, one value
// a node, so that touch_accuracy.shared_model can check them against the suite's model:
//   tip ROWS COLS R C PEAK SPREAD
//   laid ROWS COLS R C PEAK AXIS DISTANCE SPREAD ACROSS WEAKER
// The figures of contact_model.def come first, "name value" a line.
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "touch_host/contact_model.h"

namespace cm = touch_host::testsupport::contact_model;

int main() {
#define CONTACT_FIGURE(name, value, what) std::printf("%s %.17g\n", #name, cm::name);
#include "touch_host/contact_model.def"
#undef CONTACT_FIGURE
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string kind;
    int rows = 0, cols = 0;
    double r = 0, c = 0, peak = 0;
    if (!(in >> kind >> rows >> cols >> r >> c >> peak)) return 2;
    double spread = 0, axis = 0, distance = 0, across = 0, weaker = 0;
    if (kind == "tip" ? !(in >> spread) : !(in >> axis >> distance >> spread >> across >> weaker)) return 2;
    for (int y = 0; y < rows; ++y) {
      for (int x = 0; x < cols; ++x) {
        const double v = kind == "tip" ? cm::Fingertip(y - r, x - c, peak, spread)
                                       : cm::LaidFinger(y - r, x - c, peak, axis, distance, spread, across, weaker);
        std::printf("%.17g%c", v, x + 1 < cols ? ' ' : '\n');
      }
    }
  }
  return 0;
}
