// Coordinate, edge and gesture stages of the app lists whose modules are still to come
// (pairing and the low-temperature stage live in coord_wrappers.cpp).
#include "coord.h"
#include "coord_pair.h"
#include "module_wrappers.h"

// Optimise the point coordinates, then leave each tracked point's result where pairing
// reports a held point from.
void CoordOptimizeEncapsulation() {
  CoordOptimizeWrapper();
  CoordOptHistoryUpdate();
}
void GesturePreProcess() {}              // prepare gesture recognition
void GestureProcAndNotifyHost() {}       // recognise gestures and tell the host
void GestureEndProcess() {}              // finish the frame's gesture work
