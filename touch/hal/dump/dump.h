#pragma once
// The dump interface: capture modes switched by common data, the "touch-dump" thread that
// appends the host's per-frame capture buffers to files and to a history, the volume-key
// trigger, and the module's dump record.
#include <stddef.h>
#include <stdint.h>

#include "core/hal_core.h"

#ifdef __cplusplus
extern "C" {
#endif

#define HAL_DUMP_CAPTURE_BUFFERS 50
#define HAL_DUMP_HISTORY_MAX 15000
#define HAL_DUMP_BREAKLINE_SAVE 1000
#define HAL_DUMP_KEY_WINDOW_US 3000000LL  // a volume-key sequence must fit in 3 s
#define HAL_DUMP_KEY_PRESSES 3
#define HAL_DUMP_VERSION_LENGTH 17
#define HAL_DUMP_RECORD_BYTES 235

// The module's own dump record: the version text and the panel block.
#pragma pack(push, 1)
typedef struct HalDumpRecord {
  uint32_t version_length;                  // 17
  char version[HAL_DUMP_VERSION_LENGTH];    // "hal-24.09.26.001" and its NUL
  TouchPanelInfo panel;
} HalDumpRecord;
#pragma pack(pop)
VENDOR_ASSERT_SIZE(HalDumpRecord, HAL_DUMP_RECORD_BYTES);
VENDOR_ASSERT_OFFSET(HalDumpRecord, version, 4);
VENDOR_ASSERT_OFFSET(HalDumpRecord, panel, 21);

// HalModule slots 13 and 14. Get: with bit 0 of flags the module record (235 bytes, the
// caller's buffer must hold them) and 1; else interface `index`'s dump-get hook, returning
// 1 while a higher index follows. Send: with bit 0 of flags restores the panel block from a
// record of `length` bytes (refused when its version length does not fit), then hands the
// record to interface `index`'s dump-send hook.
int32_t hal_get_dump_data(uint32_t index, void *out, uint32_t *out_length, uint32_t flags);
int32_t hal_send_dump_data(const void *record, uint32_t length, uint32_t index, uint32_t quiet, uint32_t flags);

// The raw-data interface's per-frame hand-over (only while capture runs).
void send_dump_info(void *alg_output);
VENDOR_EXPORT uint32_t thp_get_all_dump_status(void);
VENDOR_EXPORT void hal_send_dump_mode(int32_t value);
VENDOR_EXPORT int32_t hal_send_dump_status(int32_t value);

// The algorithm output last handed to send_dump_info.
extern HAL_EXPORT_VAR void *alg_info_output;

// Test view.
bool hal_dump_capture_running(void);
uint32_t hal_dump_history_count(void);
bool hal_dump_getevent_running(void);
// Waits until the dump thread has consumed every buffer handed over (false on time-out).
bool hal_dump_wait_idle(uint32_t timeout_ms);

#ifdef __cplusplus
}
#endif
