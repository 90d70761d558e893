#pragma once
// The contact model of the accuracy suite (scripts/touch_accuracy/model.py), for the C++ unit
// tables: a fingertip is a round Gaussian; a finger laid down (a thumb) is two Gaussian lobes
// along its length, scaled so that its highest value is its peak. The figures live in
// contact_model.def, which the suite reads too; the formulas are the suite's, and
// touch_accuracy.shared_model checks that both give the same values.
#include <algorithm>
#include <cmath>

namespace touch_host::testsupport::contact_model {

#define CONTACT_FIGURE(name, value, what) inline constexpr double name = value;
#include "touch_host/contact_model.def"
#undef CONTACT_FIGURE

// A fingertip's signal DR, DC nodes from its centre (rows, columns).
inline double Fingertip(double dr, double dc, double peak, double spread) {
  return peak * std::exp(-(dr * dr + dc * dc) / (2 * spread * spread));
}

// Two lobes, unscaled, at ALONG and ACROSS from the finger's centre: DISTANCE apart along its
// length, of spread SPREAD along and SPREAD_ACROSS across; the lobe at -DISTANCE/2 is WEAKER
// times the other.
inline double Lobes(double along, double across, double distance, double spread, double spreadAcross,
                    double weaker) {
  const double a1 = along - distance / 2, a2 = along + distance / 2;
  return std::exp(-(across / spreadAcross) * (across / spreadAcross) / 2) *
         (std::exp(-a1 * a1 / (2 * spread * spread)) + weaker * std::exp(-a2 * a2 / (2 * spread * spread)));
}

// The highest value of Lobes down the finger's length (what scales it to its peak), on the
// suite's grid of 4001 points over -2 DISTANCE - 3 SPREAD to +2 DISTANCE + 3 SPREAD.
inline double LobesTop(double distance, double spread, double weaker) {
  const double half = 2 * distance + 3 * spread;
  double top = 0;
  for (int i = 0; i <= 4000; ++i) {
    top = std::max(top, Lobes(-half + 2 * half * i / 4000.0, 0, distance, spread, 1.0, weaker));
  }
  return top;
}

// A finger laid down, its length at AXIS degrees from a row (0: along a drive row, 90: down a
// column), its signal DR, DC nodes from its centre, its highest value PEAK.
inline double LaidFinger(double dr, double dc, double peak, double axisDegrees, double distance, double spread,
                         double spreadAcross, double weaker) {
  double along = dr, across = dc;
  if (axisDegrees == 0.0) {
    along = dc;
    across = dr;
  } else if (axisDegrees != 90.0) {
    const double a = axisDegrees * 3.14159265358979323846 / 180.0;
    along = dr * std::sin(a) + dc * std::cos(a);
    across = dr * std::cos(a) - dc * std::sin(a);
  }
  return peak / LobesTop(distance, spread, weaker) * Lobes(along, across, distance, spread, spreadAcross, weaker);
}

}  // namespace touch_host::testsupport::contact_model
