// touchfeature-service: the touch feature binder service.
#include "TouchFeatureImpl.h"

int main() { return touchfeature::runTouchFeatureService(); }
