#pragma once
// What the test modules saw, read back by the touch host's tests through the modules'
// extra exports (touch_test_alg_stats, touch_test_hal_stats).
#include <stdint.h>

#include "alg_module.h"
#include "common_data.h"
#include "hal_module.h"

#ifdef __cplusplus
extern "C" {
#endif

#define TEST_HAL_MAX_REPORTS 64
#define TEST_ALG_CONFIG_MAX 64

// The test algorithm reports one point per frame while mutual[0] > 0 (touch), computed
// from the frame index i: id 0 at (100 + 10 i, 200 + 20 i); the first touched frame is a
// down, later ones moves; the first untouched frame lifts the last point.
typedef struct TestAlgStats {
  uint32_t init_calls;
  uint32_t exit_calls;
  uint32_t frames_seen;
  uint32_t invalid_frames;
  uint32_t common_data_count;
  uint32_t suspended;
  uint32_t timer_expiries;
  common_data last_common_data;
  uint32_t config_length;
  uint8_t config[TEST_ALG_CONFIG_MAX];
} TestAlgStats;

typedef struct TestHalStats {
  uint32_t init_calls;
  uint32_t init_touch_id;
  uint32_t exit_calls;
  uint32_t frames_handed_out;
  uint32_t report_calls;
  uint32_t points_reported;           // entries in points[]
  AlgTouchPoint points[TEST_HAL_MAX_REPORTS];
  uint32_t send_calls;
  uint32_t last_send_type;
  uint32_t last_send_count;
  uint32_t last_send_values[4];
  uint32_t common_data_count;
  uint32_t last_common_data_mode;
  uint32_t suspended;
} TestHalStats;

typedef void (*touch_test_alg_stats_fn)(TestAlgStats *out);
typedef AlgHostCallbacks *(*touch_test_alg_host_fn)(void);
typedef void (*touch_test_hal_stats_fn)(TestHalStats *out);

// The test HAL's frame script: `frames` frames, touched except the last. Index i carries
// frame_index i, frame_count 1000 + i; at frame 2 the HAL delivers a driver block
// {cmd 0, mode COMMON_DATA_MODE_TEMPERATURE, value 37} through host slot 1.
#define TEST_HAL_DEFAULT_FRAMES 5
#define TEST_HAL_DRIVER_BLOCK_FRAME 2
#define TEST_HAL_DRIVER_BLOCK_VALUE 37

#ifdef __cplusplus
}
#endif
