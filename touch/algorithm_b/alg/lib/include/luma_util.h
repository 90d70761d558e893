#pragma once
// The utility layer of algorithm B: levelled log, version text, random numbers, a
// millisecond stopwatch, bounded formatting, hex dumps, error texts, argument-checked file
// operations and the cached log file written by a short-lived writer thread.
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "luma_core.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LMX_LOG_ALL 0
#define LMX_LOG_VERBOSE 1
#define LMX_LOG_DEBUG 2
#define LMX_LOG_INFO 3
#define LMX_LOG_WARNING 4
#define LMX_LOG_ERROR 5
#define LMX_LOG_DISABLED 6

#define LMX_ERR_BAD_PARAM (-200)
#define LMX_ERR_IO (-5)

#define LMX_CACHE_SIZE 1048576u
#define LMX_CACHE_HEADER 16u
#define LMX_CACHE_MAX_PAYLOAD 65535u
#define LMX_LOG_DIR "/data/log"
#define LMX_LOG_FILE "lhp_running.dat"
#define LMX_LOG_BACKUP "lhp_running_bak.dat"
#define LMX_LOG_ROLL_SIZE 52428801L

extern LUMA_EXPORT int32_t g_log_level;
extern LUMA_EXPORT int32_t f_log_level;
extern LUMA_EXPORT int32_t a_log_level;
extern LUMA_EXPORT const char *const g_log_level_names[7];
extern LUMA_EXPORT char *g_ver_info;
extern LUMA_EXPORT int32_t lmx_last_error;

LUMA_EXPORT int lmx_log_printf(uint32_t level, const char *tag, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
LUMA_EXPORT char *lmx_version_get(char *buffer, size_t size);
LUMA_EXPORT uint64_t lmx_util_rand64(void);
LUMA_EXPORT uint64_t lmx_util_timestamp(uint32_t flags);
// Formatting is bounded by the destination's size: the text is truncated, never overrun.
LUMA_EXPORT int lmx_util_sprintf(char *destination, size_t size, const char *format, ...)
    __attribute__((format(printf, 3, 4)));
LUMA_EXPORT int lmx_util_vsprintf(char *destination, size_t size, const char *format, va_list args);
LUMA_EXPORT void lmx_util_hexdump(const void *bytes, int32_t length);
LUMA_EXPORT const char *lmx_err_strerror(int32_t code);
LUMA_EXPORT FILE *lmx_file_open(const char *path, const char *mode);
LUMA_EXPORT int lmx_file_close(FILE *file);
LUMA_EXPORT size_t lmx_file_read(void *buffer, size_t size, size_t count, FILE *file);
LUMA_EXPORT size_t lmx_file_write(const void *buffer, size_t size, size_t count, FILE *file);
LUMA_EXPORT long lmx_file_size(FILE *file);
LUMA_EXPORT int lmx_file_exist(const char *path);
LUMA_EXPORT int lmx_file_delete(const char *path);

// One tagged record into the active cache buffer. The length field is 16-bit: a payload
// longer than 65535 bytes cannot be described and is refused.
LUMA_EXPORT void tofile_cache(int8_t type, const void *payload, uint32_t length);
LUMA_EXPORT int tofile_close(void);
LUMA_EXPORT int tofile_flush(const uint8_t *buffer, uint32_t length);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
// Entry and exit lines of a module operation, at verbose level: a scope object logs
// "enter." where it is made and "leave." when the operation returns by any path.
class LumaTraceScope {
 public:
  LumaTraceScope(const char *operation, unsigned line) : operation_(operation), line_(line) {
    lmx_log_printf(LMX_LOG_VERBOSE, "lumacor:thp", "%s:%u, '%s' enter.", "alg_core", line_, operation_);
  }
  ~LumaTraceScope() { lmx_log_printf(LMX_LOG_VERBOSE, "lumacor:thp", "%s:%u, '%s' leave.", "alg_core", line_, operation_); }
  LumaTraceScope(const LumaTraceScope &) = delete;
  LumaTraceScope &operator=(const LumaTraceScope &) = delete;

 private:
  const char *operation_;
  unsigned line_;
};
#define LUMA_TRACE_OPERATION() LumaTraceScope luma_trace_scope_(__func__, __LINE__)
#endif

