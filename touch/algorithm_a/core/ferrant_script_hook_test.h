#pragma once
// Test-only scripting of algorithm A's coordinate result, for end-to-end tests that drive
// the plug-in through a host.
//
// The production plug-in libtapsense_alg_ferrant.so exports no such entry. The test build
// also makes libtapsense_alg_ferrant_scripted.so (beside it in VENDOR_PLUGIN_DIR): the same
// module archive linked whole, plus ferx_test_script_coordinates. A test loads that library
// instead of the production one (touch_host::TouchHost::load_alg, or dlopen), finds the
// entry with dlsym (TouchHost::alg_symbol), and calls it before each frame:
//
//   auto script = reinterpret_cast<FerxScriptCoordinatesFn>(host.alg_symbol(FERX_SCRIPT_COORDINATES_SYMBOL));
//   const FerxScriptedPoint down[] = {{0, 700, 900, 300}};
//   script(down, 1);            // this frame: slot 0 at (700, 900)
//   host.process_frame(&frame); // update frame data + update diff data -> host slot 0
//   script(nullptr, 0);         // next frame: no touch (the slot reports up)
//
// What it sets stands in for what the coordinate stages and the power-on reference stage
// leave behind: the new-point x, y and weight of each slot (the other slots cleared) and
// the common reference-ready flag. It is set at once and again right before the frame's
// points are packed (over whatever the coordinate stages computed); the report stage and
// the update-diff-data operation then run as in production.
#include <cstdint>

#define FERX_SCRIPT_COORDINATES_SYMBOL "ferx_test_script_coordinates"

struct FerxScriptedPoint {
  uint8_t slot;     // 0..11; larger slots are ignored
  uint16_t x;       // coordinate output units (1/512 node after the transform stages)
  uint16_t y;
  uint16_t weight;  // non-zero: the slot holds a touch
};

typedef void (*FerxScriptCoordinatesFn)(const FerxScriptedPoint* points, uint8_t count);

// The scripted variant also lets an end-to-end test read the frame's region record (the
// module's gstMutualRegion, 128 bytes, layout in region_records.h) and the frame's touch
// mode after a frame.
#define FERX_TEST_REGIONS_SYMBOL "ferx_test_regions"
typedef const void* (*FerxTestRegionsFn)(uint8_t* touchMode);

// The scripted variant also lets an end-to-end test stand in for what the floating-finger
// judgement leaves for region acquisition until its body lands (the floating-region record
// a tracked slot must match), together with the pairing slots that go with it: for each
// touch its pairing slot's last rectangle (rows, columns, inclusive) and peak, the slot's
// position at the rectangle's centre (quarter nodes, also as touch-down and previous
// position) and a floating-region record over the rectangle. The other pairing slots are
// freed. The previous frame's point count comes from the module's own coordinate state copy.
#define FERX_SCRIPT_TRACKING_SYMBOL "ferx_test_script_tracking"
struct FerxScriptedTouch {
  uint8_t slot;  // 0..11
  uint8_t row_start, row_end, col_start, col_end;
  uint16_t peak;
};
typedef void (*FerxScriptTrackingFn)(const FerxScriptedTouch* touches, uint8_t count);

// The scripted variant also lets an end-to-end test read the waterproof module's state after
// a frame (gstWaterState, layout in region_water.h).
#define FERX_TEST_WATER_SYMBOL "ferx_test_water"
typedef const void* (*FerxTestWaterFn)();

// The scripted variant also lets an end-to-end test read and set the common frame record
// (gstCommon, layout in tsa_common.h): the state an exported procedure works on.
#define FERX_TEST_COMMON_SYMBOL "ferx_test_common"
typedef void* (*FerxTestCommonFn)();

// The scripted variant also lets an end-to-end test read the floating-finger state after a
// frame (gstFloatSelfProc, 12 bytes, layout in region_float.h).
#define FERX_TEST_FLOAT_SYMBOL "ferx_test_float"
typedef const void* (*FerxTestFloatFn)();

// The scripted variant also lets an end-to-end test bind the module's clock (microseconds),
// so that the 100-millisecond tick of each frame is the test's choice; null binds the
// system clock again.
#define FERX_TEST_BIND_CLOCK_SYMBOL "ferx_test_bind_clock"
typedef void (*FerxTestBindClockFn)(uint64_t (*clock)());
