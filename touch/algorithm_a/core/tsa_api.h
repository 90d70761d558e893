#pragma once
// Module API of algorithm A: the flat C interface (prefix Tsa) through which a replay or
// test tool initialises the module, collects requests, report data and recorded data; the
// small accessors of the module's control state; the RAM mirror of the controller flash
// and the configuration store; file helpers that go through the platform path layer.
#include <cstdint>

#include "tsa_pack.h"
#include "vendor_export.h"

// Status codes of this interface.
inline constexpr uint32_t kTsaOk = 0;
inline constexpr uint32_t kTsaBadArg = 1;       // disconnect info
inline constexpr uint32_t kTsaNothing = 2;
inline constexpr uint32_t kTsaPackFailed = 3;
inline constexpr uint32_t kTsaFailed = 4;
inline constexpr uint32_t kTsaFileError = 0xFFFFFFFFu;

// Flash mirror: one leading byte, then 20 blocks of 4096 bytes; controller flash address a
// is mirror byte a - 4097.
inline constexpr uint32_t kTamrelFlashBase = 4097;
inline constexpr uint32_t kTamrelFlashBytes = 1u + 20u * 4096u;
inline constexpr uint32_t kTsaConfigMax = 4096;
inline constexpr uint32_t kDisconInfoBytes = 14;
inline constexpr uint32_t kFrameDataPackType = 64;
inline constexpr uint16_t kRawScaleOffset = 6000;
inline constexpr uint16_t kSaturationHopLimit = 1499;
// Mode the module API gives files it writes: owner and group only.
inline constexpr uint32_t kTsaFileMode = 0660;

extern uint8_t gpubTamrelFlash[kTamrelFlashBytes];
extern uint8_t gpubDisconInfo[kDisconInfoBytes];
extern uint8_t gubLowTempPowerOn;
extern uint8_t boTempConfidence;

typedef void (*TsaSysTimeCallback)(void);
typedef void (*TsaTextLogCallback)(const char* text);

extern "C" {

// Frame, command and configuration entries.
VENDOR_EXPORT uint32_t TsaInit(uint8_t* items, uint32_t length);
VENDOR_EXPORT uint32_t TsaProcessingFrameAssist(const uint8_t* data, uint32_t length);
VENDOR_EXPORT uint32_t TsaProcessingData(const uint8_t* data, uint32_t length);
VENDOR_EXPORT uint32_t TsaSetConfigInfo(const uint8_t* data, uint32_t length);
VENDOR_EXPORT uint32_t SetConfigInfo(const uint8_t* data, uint32_t length);
VENDOR_EXPORT void TsaSetDataRecordState(void);

// Output.
VENDOR_EXPORT uint32_t TsaGetReportInfo(uint8_t* buffer, uint32_t* length);
VENDOR_EXPORT uint32_t TsaGetFrameData(uint8_t* buffer, uint32_t* length);
VENDOR_EXPORT uint32_t TsaGetPrePackFrameData(uint8_t* buffer, uint32_t* length);
VENDOR_EXPORT uint32_t TsaGetInitialData(uint8_t* buffer, uint32_t* length);
VENDOR_EXPORT uint32_t TsaGetInitInfo(uint32_t type, uint8_t* out, uint32_t* length);
VENDOR_EXPORT uint8_t TsaGetRequestNum(void);
VENDOR_EXPORT uint32_t TsaGetRequest(void* out);
VENDOR_EXPORT uint32_t TsaGetRequestItem(void* out);
VENDOR_EXPORT uint32_t TsaGetDataNum(void);
VENDOR_EXPORT uint32_t TsaGetDataList(WatchEntry* out);
VENDOR_EXPORT uint32_t TsaGetData(uint32_t index, uint8_t* buffer, uint32_t length);
VENDOR_EXPORT uint32_t TsaGetDisconnectInfo(uint8_t** pointer, uint32_t* length);
VENDOR_EXPORT uint32_t GetDisconnectInfo(uint8_t** pointer, uint32_t* length);

// Callbacks and stubs kept for tools.
VENDOR_EXPORT uint32_t TsaSetTraceDataCallbackFunc(TsaTraceDataCallback callback);
VENDOR_EXPORT uint32_t TsaSetReplayDataCallbackFunc(TsaReplayDataCallback callback);
VENDOR_EXPORT uint32_t TsaSetSysTimeCallbackFunc(TsaSysTimeCallback callback);
VENDOR_EXPORT uint32_t TsaSetTextLogCallbackFunc(TsaTextLogCallback callback);
VENDOR_EXPORT uint32_t TsaSetTextLogLevel(uint32_t a, uint32_t b);
VENDOR_EXPORT uint32_t TsaGetTextLogLevel(void);
VENDOR_EXPORT uint32_t TrueValueInit(const uint8_t* data, uint32_t length);
VENDOR_EXPORT uint32_t TsaGetCapTestData(uint32_t kind, uint8_t* buffer, uint32_t length);

// State accessors.
VENDOR_EXPORT uint8_t TsaGetCheckDozeFlag(void);
VENDOR_EXPORT void SetCheckDozeFlag(uint8_t value);
VENDOR_EXPORT void SetFpStaBak(uint8_t value);
VENDOR_EXPORT uint8_t GetSuspendSta(void);
VENDOR_EXPORT uint8_t TsaGetCurIdleAutoWakeFlag(void);
VENDOR_EXPORT uint8_t TsaGetCurGameModeFlag(void);
VENDOR_EXPORT uint8_t GetForceUpdatePos(void);
VENDOR_EXPORT void SetForceUpdatePos(uint8_t value);
VENDOR_EXPORT uint32_t GetFrameDataPackType(void);
VENDOR_EXPORT uint8_t IsRxShakeDataReady(void);
VENDOR_EXPORT void CheckRxShakeData(void);
VENDOR_EXPORT uint16_t GetNormalActToIdleTime(void);
VENDOR_EXPORT uint16_t GetGameNorActToIdleTime(void);
VENDOR_EXPORT uint16_t GetGameFastActToIdleTime(void);
VENDOR_EXPORT uint16_t GetFastIdleTime(void);

// Other operations.
VENDOR_EXPORT uint32_t TsaUpdateSuspendStatus(uint32_t flags);
VENDOR_EXPORT void RawDataNormalizeProc(void);
VENDOR_EXPORT void JudgeLowTempState(void);
VENDOR_EXPORT void SetLowTempState(void);
// Five pointers: mutual raw, mutual diff, self raw, IM and cross raw data.
VENDOR_EXPORT void FyTpChipSwInit(void** out);
VENDOR_EXPORT void InitAlgoVariable(void);
VENDOR_EXPORT void CustomizeHoppingProc(uint16_t level, uint8_t* flag);
VENDOR_EXPORT void GetHopNoiseCustom(uint8_t kind);
VENDOR_EXPORT void DividNoiseJudge(void);
VENDOR_EXPORT void HopNoisePreAdjust(void);

// Files: exactly COUNT bytes; 0, or 0xFFFFFFFF after logging what failed. WriteToFile
// writes an existing file only and leaves it readable and writable by owner and group.
VENDOR_EXPORT uint32_t ReadFromFile(uint8_t* buffer, uint32_t count, const char* path);
VENDOR_EXPORT uint32_t WriteToFile(const uint8_t* buffer, uint32_t count, const char* path);

// Flash mirror and configuration store.
VENDOR_EXPORT uint32_t GetFlashBAddr(void);
// Copy LENGTH bytes at controller address ADDRESS out of (into) the mirror. Return the
// address; 0 (nothing copied, logged once) when the range is not inside the mirror.
VENDOR_EXPORT uint32_t FyTpFlashRead(uint32_t address, uint8_t* buffer, uint32_t length);
VENDOR_EXPORT uint32_t FyTpFlashWrite(uint32_t address, const uint8_t* buffer, uint16_t length);
// Stores the blob (at most 4096 bytes); returns the store, or null when refused.
VENDOR_EXPORT const uint8_t* FyTpWriteConfig(const uint8_t* data, uint32_t length);
// Copies the stored blob into BUFFER of LENGTH bytes: 0, 1 null buffer, 3 does not fit.
VENDOR_EXPORT uint32_t FyTpReadConfig(uint8_t* buffer, uint32_t length);

}  // extern "C"
