// The large-area stage of the app lists.
#include "region.h"

void RegionLargeAreaProcPkg() {}          // judge large-area touches
