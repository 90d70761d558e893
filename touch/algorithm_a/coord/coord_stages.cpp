// Coordinate stages of the app lists whose modules are still to come (pairing and the
// low-temperature stage live in coord_wrappers.cpp, the gesture stages in coord_gesture.cpp).
#include "coord.h"
#include "coord_pair.h"
#include "module_wrappers.h"

// Optimise the point coordinates, then leave each tracked point's result where pairing
// reports a held point from.
void CoordOptimizeEncapsulation() {
  CoordOptimizeWrapper();
  CoordOptHistoryUpdate();
}
