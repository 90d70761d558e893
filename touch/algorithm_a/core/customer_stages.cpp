// Customer hook stage of the app lists (body comes with the customer hook layer).
#include "core_stages.h"

void LargeRegionCustom() {}  // customer handling of large regions
