#pragma once
// The debug readout: per-frame rows of 16-bit values a host tool reads, frame and matrix
// prints to the host log, frames into the cached log file, and the two frame dumps.
#include <stddef.h>
#include <stdint.h>
#include <time.h>

#include "luma_core.h"

#define LUMA_DEBUG_ROWS_DUMPED 12
#define LUMA_DUMP_HEADER_SIZE 87
#define LUMA_CSV_LIMIT 50000u
#define LUMA_DUMP_MODE_SET_B 1u  // the diff as filtered
#define LUMA_DUMP_MODE_SET_A 2u  // the diff as formed

#pragma pack(push, 1)
// Copies of the frame's data for the readout: copy 0 raw, 1 base, 2 the filtered diff,
// 3 the diff as formed; each with its two self lines (slot 0, then slot 1).
typedef struct LumaDebugFrameData {
  int16_t assMc[4][LUMA_MAX_NODES];              // 0, 1804, 3608, 5412
  int16_t assSc[4][LUMA_SC_SLOTS][LUMA_SC_LINE_LEN];  // 7216 + 504 x copy + 126 x line
  uint8_t reserved9232[9736 - 9232];
  int64_t sllFrameTimeNs;                        // 9736
  int64_t sllFrameCount;                         // 9744
  uint8_t reserved9752[5];
  uint8_t ucNoiseMode;                           // 9757
  uint8_t ucScanMode;                            // 9758
  uint8_t reserved9759;
  uint16_t usScanFreq;                           // 9760
  uint16_t usFrameNum;                           // 9762
  uint16_t usIcDropFrameNo;                      // 9764
  uint16_t ausNoise[21];                         // 9766: readings 0 to 5, then 15 further
  uint16_t usIcMsTime;                           // 9808
  uint8_t reserved9810[2];
  uint8_t ucScanFreqIdx;                         // 9812
  uint8_t reserved9813;
  uint8_t ucFrameDataType;                       // 9814
  uint8_t reserved9815[9];
  uint16_t ausRows[(13432 - 9824) / 2];          // 9824: row r, column c at r x Rx count + c
} LumaDebugFrameData;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(LumaDebugFrameData) == 13432);
static_assert(offsetof(LumaDebugFrameData, assMc[3]) == 5412);
static_assert(offsetof(LumaDebugFrameData, assSc) == 7216);
static_assert(offsetof(LumaDebugFrameData, assSc[2][1]) == 8350);
static_assert(offsetof(LumaDebugFrameData, sllFrameTimeNs) == 9736);
static_assert(offsetof(LumaDebugFrameData, ucNoiseMode) == 9757);
static_assert(offsetof(LumaDebugFrameData, usScanFreq) == 9760);
static_assert(offsetof(LumaDebugFrameData, ausNoise) == 9766);
static_assert(offsetof(LumaDebugFrameData, usIcMsTime) == 9808);
static_assert(offsetof(LumaDebugFrameData, ucScanFreqIdx) == 9812);
static_assert(offsetof(LumaDebugFrameData, ucFrameDataType) == 9814);
static_assert(offsetof(LumaDebugFrameData, ausRows) == 9824);
extern "C" {
#endif

#define LUMA_DEBUG_COPY_RAW 0
#define LUMA_DEBUG_COPY_BASE 1
#define LUMA_DEBUG_COPY_DIFF 2
#define LUMA_DEBUG_COPY_SRC_DIFF 3

extern LUMA_EXPORT LumaDebugFrameData g_stDebugFrameData;

// Filled by the base and diff interface as the frame comes in.
void LumaDebugTakeHeader(const DecodedFrame *frame);
void LumaDebugTakeCopy(uint8_t copy, const int16_t *matrix, const int16_t *slot0, const int16_t *slot1);

LUMA_EXPORT void AppFastReadPeakNum(uint8_t stage);
LUMA_EXPORT void convertNanosecondsToTime(struct tm *out, int64_t nanoseconds);
LUMA_EXPORT void print_buffer_s16(const int16_t *buffer, uint32_t count, int32_t line_length);
LUMA_EXPORT void alg_dbg_show_header(void);
LUMA_EXPORT void alg_dbg_show_mc_buffer_temp(const int16_t *matrix, const int16_t *line_a, const int16_t *line_b);
LUMA_EXPORT void AppLmxSaveFile(void);
LUMA_EXPORT uint32_t AppDumpSaveProcess(void *buffer, uint32_t mode);
LUMA_EXPORT uint32_t AppDumpCsvProcess(char *text, const void *dump, uint8_t mode);
LUMA_EXPORT void AppAlgDebugModeSupport(void);

// Detection-stage words the readout shows.
extern LUMA_EXPORT uint16_t g_usFrameDropPos;
extern LUMA_EXPORT uint16_t g_usDbgCurFrmthumInRx;
extern LUMA_EXPORT uint16_t g_usDbgCurFrmMcPosAreaChNumLast;
extern LUMA_EXPORT uint16_t g_usDbgCurFrmMcPosPeakNumLast;

#ifdef __cplusplus
}
#endif
