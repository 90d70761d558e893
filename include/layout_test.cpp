// Sizes and offsets of the shared records are checked at compile time in the headers
// themselves; this program makes sure every public header compiles on its own, in C++.
#include <gtest/gtest.h>

#include "vendor_export.h"

TEST(PublicHeaders, Compile) { SUCCEED(); }
