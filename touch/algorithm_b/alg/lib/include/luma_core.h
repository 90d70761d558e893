#pragma once
// The routines of algorithm B's core that the module interface, the per-frame flow and
// the stages call across files. Everything non-static is exported by name from the plug-in.
#include <stdarg.h>
#include <stdbool.h>
#include <stdint.h>

#include "alg_module.h"
#include "luma_records.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LUMA_EXPORT __attribute__((visibility("default")))

// ---- Module interface ----------------------------------------------------------------
extern LUMA_EXPORT AlgHostCallbacks *alg_module_callback;
extern LUMA_EXPORT timer_tool doze_timer;
extern LUMA_EXPORT timer_tool idle_baseline_timer;

LUMA_EXPORT AlgModule *register_alg_module(AlgHostCallbacks *callbacks);
LUMA_EXPORT int32_t alg_module_init(void);
LUMA_EXPORT int32_t alg_module_exit(void);
LUMA_EXPORT int32_t alg_update_suspend_status(bool suspend);
LUMA_EXPORT int32_t alg_receive_common_data(const common_data *data, uint32_t *result);
LUMA_EXPORT int32_t alg_read_config_param(uint64_t, uint64_t, uint64_t, int32_t);
LUMA_EXPORT const char *get_alg_version(void);
LUMA_EXPORT bool alg_dump_save(uint8_t kind, void *buffer, uint32_t *length, bool busy);
LUMA_EXPORT uint32_t alg_dump_csv(void *text_buffer, uint64_t unused, int32_t kind, void *destination);
LUMA_EXPORT void doze_check(void);
LUMA_EXPORT int32_t doze_timer_handler(timer_tool *timer);
LUMA_EXPORT int32_t idle_baseline_timer_handler(timer_tool *timer);

// Host slot 6 with level 0, when the host gave one; a message is formatted here, bounded.
LUMA_EXPORT void AlgHostLog(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Host slot 4; -1 when the host has no such slot.
LUMA_EXPORT int32_t AlgHostRequest(uint32_t type, uint32_t *payload, uint32_t length);

// ---- Initialisation -------------------------------------------------------------------
LUMA_EXPORT void AppDataStructInit(bool resume);
LUMA_EXPORT void AppSystemParamInit(void);
LUMA_EXPORT void AppFrameInfoInit(void);
LUMA_EXPORT void AppFrameDataInit(void);
LUMA_EXPORT void AppTdParamInit(void);
LUMA_EXPORT void AppTraceInfoInit(void);
LUMA_EXPORT void AppPeakDataInit(void);
LUMA_EXPORT void AppTouchDataInit(void);
LUMA_EXPORT void AppGlobalVarInit(void);
// Kept for hosts that call them; this panel needs no further panel or front-end set-up.
LUMA_EXPORT void AppPanelParamInit(void);
LUMA_EXPORT void AppAfeModeInit(void);

// ---- Base and diff --------------------------------------------------------------------
LUMA_EXPORT int32_t update_frame_data(DecodedFrame *frame);
LUMA_EXPORT void AppGetDiffInterface(DecodedFrame *frame);
LUMA_EXPORT void AppUpdataPara(DecodedFrame *frame);
LUMA_EXPORT void hta_update_base(void);
LUMA_EXPORT void hta_get_base(void);
LUMA_EXPORT void hta_get_diff(void);
LUMA_EXPORT void AppBackUpSrcDiff(void);
LUMA_EXPORT int16_t AppMaxDifferenceWithLastFrame(void);
LUMA_EXPORT uint8_t AppFrameIsValid(void);

// ---- Base trace and refresh ---------------------------------------------------------
extern LUMA_EXPORT uint8_t g_bTracePosScPeak;
extern LUMA_EXPORT uint8_t g_ucRefreshBaseFlag;
extern LUMA_EXPORT uint8_t g_ucScBaseTraseEn;
extern LUMA_EXPORT uint8_t g_ucScBaseRefreshEn;
LUMA_EXPORT void AppBaseTrace(uint8_t mode);
LUMA_EXPORT void AppScBaseTrace(void);
LUMA_EXPORT void AppMcBaseTrace(void);
LUMA_EXPORT void AppScBaseRefresh(void);
// The base minus the backed-up diff through the matrix subtraction; its descriptor.
LUMA_EXPORT struct LumaMatOp *AppMcBaseRefresh(void);
LUMA_EXPORT void AppBaseRefresh(void);
LUMA_EXPORT void AppScCollectBase(void);

// ---- Per-frame flow and report packing ------------------------------------------------
LUMA_EXPORT uint8_t update_diff_data(DecodedFrame *frame);
LUMA_EXPORT uint8_t FlowReportWork(void);
LUMA_EXPORT void AppPointReportInit(void);
LUMA_EXPORT void ReportPoint(void);
LUMA_EXPORT void UpdatePointReportPack(void);
LUMA_EXPORT void AppBackLastState(void);
LUMA_EXPORT void AppFrmInvalid(void);
LUMA_EXPORT void AppFlowCntRunning(uint8_t k);
LUMA_EXPORT void AppInvalidFramesInc(void);
LUMA_EXPORT uint8_t AppIsGameMode(void);
LUMA_EXPORT uint8_t AppIsHighSampleRate(void);

// Stages whose inner working is still to come; the flow calls them in their places so
// that the order of the frame is fixed now. Each leaves the records as it found them.
LUMA_EXPORT void AppSearchPeakThSet(uint8_t mode);
LUMA_EXPORT uint8_t AppSearchPeakPoint(void);
LUMA_EXPORT void McUpDownFiFoRestore(void);
LUMA_EXPORT void AppBaseCompensate(void);
LUMA_EXPORT void AppPeakFilter(void);
LUMA_EXPORT void AppMcFloatingEnvironmentCheck(void);
LUMA_EXPORT void AppCalculateCoordinate(void);
LUMA_EXPORT void AppMcPeakRangeSearch99(uint16_t peak, uint8_t tx_from, uint8_t tx_to, uint8_t rx_from, uint8_t rx_to);
LUMA_EXPORT void AppNewCalCoordinate(uint8_t peak, uint8_t entry, uint8_t htx, uint8_t hrx);
LUMA_EXPORT uint8_t AppMcPeakDistance(uint8_t peak, uint8_t tx, uint8_t rx);
// The centroid of a peak: weight sum, nodes taken and their positions (tx, rx pairs).
extern LUMA_EXPORT int32_t g_ssDiffSum;
extern LUMA_EXPORT uint8_t g_ucCalCnt;
extern LUMA_EXPORT uint8_t g_ucRecordSensor[2 * 81];
// One node of weight `diff` into the centroid sums; nothing for a weight below 1 or a node
// off the panel.
LUMA_EXPORT void AppDiffSumProc(int16_t diff, uint8_t tx, uint8_t rx);
LUMA_EXPORT void AppPosRevertXY(uint32_t *a, uint32_t *b);
// The notch mapping of a centroid coordinate: this panel has none, the value stands.
LUMA_EXPORT uint32_t AppNotchCalculateCoordinate(uint32_t v);

LUMA_EXPORT void AppDoubleModeProc(void);
LUMA_EXPORT void AppPointFilter(uint8_t stage);
LUMA_EXPORT uint8_t AppPointIDProcess(void);
LUMA_EXPORT void AppPosMapping(void);
LUMA_EXPORT void AppPosPreMapping(void);
LUMA_EXPORT uint16_t XMappingNotch(uint16_t x);
LUMA_EXPORT uint16_t YMappingNotch(uint16_t y);
// The same stretch for internal coordinates (1024 per line pitch); no stage calls it.
LUMA_EXPORT uint16_t XMapping(uint16_t x);
LUMA_EXPORT uint16_t YMapping(uint16_t y);
LUMA_EXPORT void AppCheckFodArea(void);
LUMA_EXPORT uint8_t AppTouchResultOutput(void);
LUMA_EXPORT void AppFastReadPointNum(uint8_t n);
LUMA_EXPORT void AppDebugPrintLog(void);
LUMA_EXPORT void AppHostReadDebufInfo(void);
LUMA_EXPORT void AppDiffFrontFilter(void);
LUMA_EXPORT void AppTimeMaClear(void);

#ifdef __cplusplus
}
#endif
