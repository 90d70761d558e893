#pragma once
// The haptics rendering core libbraxhaptics: three C entry points that the vibrator
// service binds with dlsym. The service configures the core once, installs an effect
// (up to 16 HE events) and then pulls rendered frames until one of length 0 arrives.
// Owner: haptics_core/. Callers: mm-vibrator (BraxTrack).

#include <stddef.h>
#include <stdint.h>

#include "vendor_export.h"

#ifdef __cplusplus
#define BRAX_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define BRAX_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

// Argument of brax_haptics_init: four int32 in this order.
typedef struct brax_haptics_config {
  int32_t frame_size;   // samples per frame: 256, 512 or 1024
  int32_t sample_rate;  // Hz: 24000 or 48000
  int32_t bit_width;    // bytes per sample: 1 (int8) or 2 (int16, native byte order)
  int32_t f0;           // resonant frequency of the actuator in Hz
} brax_haptics_config;

BRAX_STATIC_ASSERT(sizeof(brax_haptics_config) == 16, "brax_haptics_config is four int32");
BRAX_STATIC_ASSERT(offsetof(brax_haptics_config, frame_size) == 0, "frame_size offset");
BRAX_STATIC_ASSERT(offsetof(brax_haptics_config, sample_rate) == 4, "sample_rate offset");
BRAX_STATIC_ASSERT(offsetof(brax_haptics_config, bit_width) == 8, "bit_width offset");
BRAX_STATIC_ASSERT(offsetof(brax_haptics_config, f0) == 12, "f0 offset");

// Event types of brax_haptic_event.type.
#define BRAX_HE_CONTINUOUS 4096
#define BRAX_HE_TRANSIENT 4097
#define BRAX_HE_MAX_EVENTS 16
#define BRAX_HE_CURVE_POINTS 4

// One point of a continuous event's curve.
typedef struct brax_curve_point {
  int32_t time;       // ms from the event's start
  int32_t intensity;  // percent of the event's intensity
  int32_t frequency;  // offset added to the event's frequency
} brax_curve_point;

// One HE event: 17 int32 = 68 bytes. An effect is an array of up to 16 of them.
typedef struct brax_haptic_event {
  int32_t type;        // BRAX_HE_CONTINUOUS or BRAX_HE_TRANSIENT
  int32_t start_time;  // ms from the start of the effect
  int32_t intensity;   // 0 to 100
  int32_t frequency;   // transient: 0 to 100 (class); continuous: base relative frequency
  int32_t duration;    // ms (continuous events)
  brax_curve_point points[BRAX_HE_CURVE_POINTS];
} brax_haptic_event;

BRAX_STATIC_ASSERT(sizeof(brax_curve_point) == 12, "curve point is three int32");
BRAX_STATIC_ASSERT(sizeof(brax_haptic_event) == 68, "brax_haptic_event is 17 int32");
BRAX_STATIC_ASSERT(offsetof(brax_haptic_event, type) == 0, "type is word 0");
BRAX_STATIC_ASSERT(offsetof(brax_haptic_event, start_time) == 4, "start_time is word 1");
BRAX_STATIC_ASSERT(offsetof(brax_haptic_event, intensity) == 8, "intensity is word 2");
BRAX_STATIC_ASSERT(offsetof(brax_haptic_event, frequency) == 12, "frequency is word 3");
BRAX_STATIC_ASSERT(offsetof(brax_haptic_event, duration) == 16, "duration is word 4");
BRAX_STATIC_ASSERT(offsetof(brax_haptic_event, points) == 20, "curve point 0 is words 5 to 7");
BRAX_STATIC_ASSERT(offsetof(brax_haptic_event, points) + 3 * sizeof(brax_curve_point) == 56,
                   "curve point 3 is words 14 to 16");

// Largest effect brax_haptics_process accepts, in bytes.
#define BRAX_HE_MAX_DATA_LEN (BRAX_HE_MAX_EVENTS * 68)

// Return codes.
#define BRAX_OK 0
#define BRAX_EINVAL (-1)
#define BRAX_ENOMEM (-2)

// Configures the core and starts its worker. 0, -1 for a bad configuration or a null
// pointer, -2 when memory runs out, or the negative errno of a failed semaphore, lock or
// thread creation. A later call re-configures the running core (abandoning any effect).
VENDOR_EXPORT int32_t brax_haptics_init(const brax_haptics_config* config);

// Installs an effect of data_len / 68 events, abandoning the effect that plays (its
// remaining frames are never rendered; a reader waiting for one gets length 0), so the
// caller need not fetch an effect to its end before the next. 0, or -1 when data_len exceeds 1088,
// events is null with data_len > 0, or the core is not configured.
VENDOR_EXPORT int32_t brax_haptics_process(const brax_haptic_event* events, uint32_t data_len);

// Fills buffer (frame_size * bit_width bytes) with the next frame and stores its length
// in samples in *len; length 0 ends the effect. 0, or -1 (with *len = 0 where len is
// valid) for a null pointer or an unconfigured core.
VENDOR_EXPORT int32_t brax_haptics_get_frame(void* buffer, uint32_t* len);
