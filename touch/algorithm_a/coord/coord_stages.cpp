// Coordinate, edge and gesture stages of the app lists (bodies come with those modules).
#include "coord.h"

void CoordPairEncapsulation() {}         // pair the regions with touch ids
void LowTempOptEncapsulation() {}        // low-temperature optimisation of the points
void CoordOptimizeEncapsulation() {}     // optimise the point coordinates
void EdgeResFun() {}                     // edge rejection of the points
void FirstCoordSmoothEncapsulation() {}  // smooth the first coordinates of new points
void JudgeFpTouch() {}                   // judge touches on the fingerprint area
void GesturePreProcess() {}              // prepare gesture recognition
void GestureProcAndNotifyHost() {}       // recognise gestures and tell the host
void GestureEndProcess() {}              // finish the frame's gesture work
