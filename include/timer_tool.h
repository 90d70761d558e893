#pragma once
// timer_tool: a 56-byte timer object. Whoever owns it (an interface of the HAL module, or
// an algorithm module through the host's register-timer callback) keeps the storage; the
// party that registers it fills the id, the running flag and the five operations. The
// algorithm modules call only start (byte 16) and stop (byte 24).
#include <stdint.h>

#include "vendor_layout.h"

#ifdef __cplusplus
extern "C" {
#endif

struct timer_tool;

// Called on the registering party's timer thread when the timer expires. The result is
// not used by the caller (one algorithm module returns its driver request's result).
typedef int32_t (*timer_tool_handler)(struct timer_tool *timer);

// All operations return 0 on success and 255 on failure. Negative times count as 0.
typedef int32_t (*timer_tool_start_fn)(struct timer_tool *timer, int32_t ms);     // one-shot; no-op while running
typedef int32_t (*timer_tool_stop_fn)(struct timer_tool *timer);                  // disarm when running
typedef int32_t (*timer_tool_delete_fn)(struct timer_tool *timer);                // clear and free the entry
typedef int32_t (*timer_tool_restart_fn)(struct timer_tool *timer, int32_t ms);   // re-arm, also when running
typedef int32_t (*timer_tool_periodic_fn)(struct timer_tool *timer, int32_t ms);  // periodic; 0 fires once

#pragma pack(push, 1)
typedef struct timer_tool {
  uint64_t timer_id;  // the registering party's handle for the timer
  uint8_t running;
  uint8_t reserved[7];
  timer_tool_start_fn start;
  timer_tool_stop_fn stop;
  timer_tool_delete_fn delete_timer;
  timer_tool_restart_fn restart;
  timer_tool_periodic_fn set_periodic;
} timer_tool;
#pragma pack(pop)

VENDOR_ASSERT_SIZE(timer_tool, 56);
VENDOR_ASSERT_OFFSET(timer_tool, timer_id, 0);
VENDOR_ASSERT_OFFSET(timer_tool, running, 8);
VENDOR_ASSERT_OFFSET(timer_tool, start, 16);
VENDOR_ASSERT_OFFSET(timer_tool, stop, 24);
VENDOR_ASSERT_OFFSET(timer_tool, delete_timer, 32);
VENDOR_ASSERT_OFFSET(timer_tool, restart, 40);
VENDOR_ASSERT_OFFSET(timer_tool, set_periodic, 48);

#ifdef __cplusplus
}
#endif
