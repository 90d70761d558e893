// Module API: tool entries, state accessors, flash mirror and configuration store.
#include "tsa_api.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "framework.h"
#include "platform/paths.h"
#include "region.h"
#include "signal_proc.h"
#include "tsa_common.h"
#include "tsa_config.h"
#include "tsa_custdbg.h"
#include "tsa_frame.h"
#include "tsa_frame_links.h"
#include "tsa_memory.h"
#include "tsa_replay.h"
#include "tsa_report.h"
#include "tsa_startup.h"
#include "tsa_os.h"
#include "tsa_parse.h"


uint8_t gpubTamrelFlash[kTamrelFlashBytes];

namespace {

constexpr uint16_t kNormalActToIdleDefault = 500;
constexpr uint16_t kGameNorActToIdleDefault = 10000;
constexpr uint16_t kGameFastActToIdleDefault = 20000;
constexpr uint16_t kFastIdleDefault = 100;
constexpr uint32_t kHopCfgLevelAt = 22;
constexpr uint8_t kNoiseHoldFrames = 5;
constexpr uint32_t kHopNoiseWordAt = 62;
constexpr uint8_t kBeautyRawScaleBit = 0x20;
constexpr uint8_t kTempFlagsConfident = 3;

uint8_t gboFlashRangeRefused;

// Moves up to COUNT bytes with IO (read or write), going on after short transfers and
// interruptions; returns the bytes moved.
template <typename Byte, typename Io>
uint32_t TransferAll(int fd, Byte* pBuf, uint32_t uiCount, Io io) {
  uint32_t uiDone = 0;
  while (uiDone < uiCount) {
    const ssize_t n = io(fd, pBuf + uiDone, uiCount - uiDone);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    uiDone += static_cast<uint32_t>(n);
  }
  return uiDone;
}

uint16_t OrDefault(uint16_t uwValue, uint16_t uwDefault) { return uwValue != 0 ? uwValue : uwDefault; }

// Mirror index of the range [address, address + length), or -1 when it is not inside the
// mirror (logged once).
int64_t FlashRange(const char* pcTag, uint32_t uiAddress, uint32_t uiLength) {
  const uint64_t ullEnd = static_cast<uint64_t>(uiAddress) + uiLength;
  if (uiAddress < kTamrelFlashBase || ullEnd - kTamrelFlashBase > kTamrelFlashBytes) {
    if (!gboFlashRangeRefused) {
      FerxLogPrint(pcTag, FERX_LOG_ERR, "address 0x%X length %u outside the flash mirror", uiAddress, uiLength);
      gboFlashRangeRefused = 1;
    }
    return -1;
  }
  return static_cast<int64_t>(uiAddress - kTamrelFlashBase);
}

// Mutual saturation count: the high 16 bits of the mutual u32 of the ADC-saturation record,
// read as signed.
int16_t MutualSaturationCount() { return static_cast<int16_t>(gstAdcSatCnt.stMutual.uiValue >> 16); }

}  // namespace

extern "C" {

VENDOR_EXPORT uint32_t TsaInit(uint8_t* items, uint32_t length) {
  TsaEnsureModuleBound();
  if (length == 0) return kTsaOk;
  return ThpReplayUnpack(items, length, ReplayUnpackInitInfo) == REPLAY_UNPACK_OK ? kTsaOk : kTsaFailed;
}

VENDOR_EXPORT uint32_t TsaProcessingFrame(uint8_t* frame, uint32_t length) {
  TsaEnsureModuleBound();
  if (ProcessFramedata(frame, length) == 0) return kTsaOk;
  FerxLogPrint("TsaProcessingFrame", FERX_LOG_ERR, "Framedata process fail...");
  return kTsaFailed;
}

VENDOR_EXPORT uint32_t TsaProcessingFrameAssist(const uint8_t*, uint32_t) { return kTsaOk; }
VENDOR_EXPORT uint32_t TsaProcessingData(const uint8_t*, uint32_t) { return kTsaOk; }

VENDOR_EXPORT uint32_t SetConfigInfo(const uint8_t* data, uint32_t length) {
  // The blob itself came through the configuration store; this re-reads it.
  if (data == nullptr && length == 0) return kTsaOk;
  TsaEnsureModuleBound();
  ThpAppInit(1);
  InitWatchData();
  return kTsaOk;
}

VENDOR_EXPORT uint32_t TsaSetConfigInfo(const uint8_t* data, uint32_t length) { return SetConfigInfo(data, length); }

VENDOR_EXPORT void TsaSetDataRecordState(void) {
  if (gstCommon.ubPowerOnRefReady != 0) gubDataRecordStartCnt = kDataRecordStart;
}

VENDOR_EXPORT uint32_t TsaGetReportInfo(uint8_t* buffer, uint32_t* length) { return GetReportInfo(buffer, length); }

VENDOR_EXPORT uint32_t TsaGetFrameData(uint8_t* buffer, uint32_t* length) {
  if ((ReportFramePrePack(buffer, length) & 0xFFu) != 0) return kTsaPackFailed;
  PrintReplayData(buffer, *length);
  return kTsaOk;
}

VENDOR_EXPORT uint32_t TsaGetPrePackFrameData(uint8_t* buffer, uint32_t* length) {
  return ReportFramePrePack(buffer, length);
}
VENDOR_EXPORT uint32_t TsaGetInitialData(uint8_t* buffer, uint32_t* length) {
  return PackReportInitialData(buffer, length);
}
VENDOR_EXPORT uint32_t TsaGetInitInfo(uint32_t type, uint8_t* out, uint32_t* length) {
  return GetInitInfo(type, out, length);
}

VENDOR_EXPORT uint8_t TsaGetRequestNum(void) { return GetRequestNum(); }
VENDOR_EXPORT uint32_t TsaGetRequest(void* out) { return GetRequest(out); }
VENDOR_EXPORT uint32_t TsaGetRequestItem(void* out) { return GetRequestItem(out); }

VENDOR_EXPORT uint32_t TsaGetDataNum(void) { return GetWatchDataNum(); }
VENDOR_EXPORT uint32_t TsaGetDataList(WatchEntry* out) { return GetWatchDataList(out); }
VENDOR_EXPORT uint32_t TsaGetData(uint32_t index, uint8_t* buffer, uint32_t length) {
  return GetWatchData(index, buffer, length);
}

VENDOR_EXPORT uint32_t GetDisconnectInfo(uint8_t** pointer, uint32_t* length) {
  if (pointer == nullptr || length == nullptr) return kTsaBadArg;
  *pointer = gpubDisconInfo;
  *length = kDisconInfoBytes;
  return kTsaOk;
}
VENDOR_EXPORT uint32_t TsaGetDisconnectInfo(uint8_t** pointer, uint32_t* length) {
  return GetDisconnectInfo(pointer, length);
}

VENDOR_EXPORT uint32_t TsaSetTraceDataCallbackFunc(TsaTraceDataCallback callback) {
  SetTraceDataCallback(callback);
  return kTsaOk;
}
VENDOR_EXPORT uint32_t TsaSetReplayDataCallbackFunc(TsaReplayDataCallback callback) {
  SetReplayDataCallbackFunc(callback);
  return kTsaOk;
}
VENDOR_EXPORT uint32_t TsaSetSysTimeCallbackFunc(TsaSysTimeCallback callback) {
  return callback == nullptr ? kTsaFailed : kTsaOk;
}
VENDOR_EXPORT uint32_t TsaSetTextLogCallbackFunc(TsaTextLogCallback callback) {
  return callback == nullptr ? kTsaFailed : kTsaOk;
}
VENDOR_EXPORT uint32_t TsaSetTextLogLevel(uint32_t a, uint32_t b) { return a == 0 || b == 0 ? kTsaFailed : kTsaOk; }
VENDOR_EXPORT uint32_t TsaGetTextLogLevel(void) { return 0; }
VENDOR_EXPORT uint32_t TrueValueInit(const uint8_t* data, uint32_t length) {
  return data == nullptr || length == 0 ? kTsaFailed : kTsaOk;
}
VENDOR_EXPORT uint32_t TsaGetCapTestData(uint32_t, uint8_t* buffer, uint32_t length) {
  return buffer == nullptr || length == 0 ? kTsaFailed : kTsaOk;
}

VENDOR_EXPORT uint8_t TsaGetCheckDozeFlag(void) { return gboCheckDozeFlag; }
VENDOR_EXPORT void SetCheckDozeFlag(uint8_t value) { gboCheckDozeFlag = value; }
VENDOR_EXPORT void SetFpStaBak(uint8_t value) { gboFpStaBak = value; }
VENDOR_EXPORT uint8_t GetSuspendSta(void) { return gubSuspendSta; }
VENDOR_EXPORT uint8_t TsaGetCurIdleAutoWakeFlag(void) { return gstCommon.ubIdleAutoWake; }
VENDOR_EXPORT uint8_t TsaGetCurGameModeFlag(void) { return gstCommon.ubGameModeFlag; }
VENDOR_EXPORT uint8_t GetForceUpdatePos(void) { return gstTamrelDebugStateInfo[kCustDebugForceUpdatePos]; }
VENDOR_EXPORT void SetForceUpdatePos(uint8_t value) { gstTamrelDebugStateInfo[kCustDebugForceUpdatePos] = value; }
VENDOR_EXPORT uint32_t GetFrameDataPackType(void) { return kFrameDataPackType; }
VENDOR_EXPORT uint8_t IsRxShakeDataReady(void) { return 0; }
VENDOR_EXPORT void CheckRxShakeData(void) {}

VENDOR_EXPORT uint16_t GetNormalActToIdleTime(void) {
  return OrDefault(gstTimeCtrlCfg.uwIdleDozePeriod, kNormalActToIdleDefault);
}
VENDOR_EXPORT uint16_t GetGameNorActToIdleTime(void) {
  return OrDefault(gstTimeCtrlCfg.uwIdlePeriodLimit, kGameNorActToIdleDefault);
}
VENDOR_EXPORT uint16_t GetGameFastActToIdleTime(void) {
  return OrDefault(gstTimeCtrlCfg.uwHighSpeedIdlePeriod, kGameFastActToIdleDefault);
}
VENDOR_EXPORT uint16_t GetFastIdleTime(void) { return OrDefault(gstTimeCtrlCfg.uwHighSpeedDozeValue, kFastIdleDefault); }

VENDOR_EXPORT uint32_t TsaUpdateSuspendStatus(uint32_t flags) {
  if ((flags & 1u) == 0) CmdScreenOnProc();
  return kTsaOk;
}

VENDOR_EXPORT void RawDataNormalizeProc(void) {
  if (gstNormalize.aubData[kNormRawScale] != 1 || (gstResultBeautyCfg.aubData[0] & kBeautyRawScaleBit) == 0) return;
  uint16_t* puwRaw = gstCommon.stData.puwRawData;
  const uint32_t uiNodes = static_cast<uint32_t>(gstCommon.ubDrvNum) * gstCommon.ubSenNum;
  if (puwRaw == nullptr || uiNodes > kFerrantMaxNodes) return;
  for (uint32_t i = 0; i < uiNodes; ++i) {
    puwRaw[i] = static_cast<uint16_t>(static_cast<uint32_t>(puwRaw[i]) * 2u / 5u + kRawScaleOffset);
  }
}

VENDOR_EXPORT void JudgeLowTempState(void) {
  gubLowTempPowerOn = gstCommon.ubLowTempPowerOn;
  if (gstCommon.ubTempFlags == kTempFlagsConfident) boTempConfidence = 1;
}

VENDOR_EXPORT void SetLowTempState(void) {
  if (boTempConfidence != 1) return;
  boTempConfidence = 0;
  gstCommon.ubTempFlags = kTempFlagsConfident;
}

VENDOR_EXPORT void FyTpChipSwInit(void** out) {
  if (out == nullptr) return;
  out[0] = gpuwMutualRawData;
  out[1] = gpswMutualDiffData;
  out[2] = gpuwSelfRawData;
  out[3] = gpuwRealImData;
  out[4] = gpuwCrossRawData;
}

VENDOR_EXPORT void CustomizeHoppingProc(uint16_t level, uint8_t* flag) {
  if (level >= LinkGetU16(gstFreqHopCfg.aubData, kHopCfgLevelAt)) {
    gstCommon.ubNoiseHoldCnt = kNoiseHoldFrames;
    memset(gstCommon.aubNoiseFlags, 1, sizeof(gstCommon.aubNoiseFlags));
  } else if (gstCommon.ubNoiseHoldCnt != 0) {
    --gstCommon.ubNoiseHoldCnt;
  }
  if (flag != nullptr && MutualSaturationCount() > kSaturationHopLimit) *flag = 1;
}

VENDOR_EXPORT void GetHopNoiseCustom(uint8_t kind) {
  if (kind == 1) LinkSetU16(gstFreqHop.aubData, kHopNoiseWordAt, 0xFFFF);
}

// Customer hooks of frequency hopping: nothing in this build.
VENDOR_EXPORT void DividNoiseJudge(void) {}
VENDOR_EXPORT void HopNoisePreAdjust(void) {}

VENDOR_EXPORT uint32_t ReadFromFile(uint8_t* buffer, uint32_t count, const char* path) {
  if (buffer == nullptr) {
    FerxLogPrint("ReadFromFile", FERX_LOG_ERR, "line:%d, buffer error\n", __LINE__);
    return kTsaFileError;
  }
  const int fd = path != nullptr ? ::open(plat_path(path).c_str(), O_RDONLY | O_CLOEXEC) : -1;
  if (fd < 0) {
    FerxLogPrint("ReadFromFile", FERX_LOG_ERR, "line:%d, open %s errno\n", __LINE__, path != nullptr ? path : "(null)");
    return kTsaFileError;
  }
  const uint32_t uiDone = TransferAll(fd, buffer, count, ::read);
  ::close(fd);
  if (uiDone != count) {
    FerxLogPrint("ReadFromFile", FERX_LOG_ERR, "line:%d, read file errno\n", __LINE__);
    return kTsaFileError;
  }
  return kTsaOk;
}

VENDOR_EXPORT uint32_t WriteToFile(const uint8_t* buffer, uint32_t count, const char* path) {
  if (buffer == nullptr) {
    FerxLogPrint("WriteToFile", FERX_LOG_ERR, "line:%d, buffer error\n", __LINE__);
    return kTsaFileError;
  }
  const int fd = path != nullptr ? ::open(plat_path(path).c_str(), O_WRONLY | O_CLOEXEC) : -1;
  if (fd < 0) {
    FerxLogPrint("WriteToFile", FERX_LOG_ERR, "line:%d, open %s errno\n", __LINE__, path != nullptr ? path : "(null)");
    return kTsaFileError;
  }
  const uint32_t uiDone = TransferAll(fd, buffer, count, ::write);
  if (uiDone != count) {
    ::close(fd);
    FerxLogPrint("WriteToFile", FERX_LOG_ERR, "line:%d, write file errno\n", __LINE__);
    return kTsaFileError;
  }
  // Readable and writable by owner and group only: never world-writable.
  const int siChmod = ::fchmod(fd, kTsaFileMode);
  ::close(fd);
  if (siChmod != 0) {
    FerxLogPrint("WriteToFile", FERX_LOG_ERR, "chmod err....");
    return kTsaFileError;
  }
  return kTsaOk;
}

VENDOR_EXPORT uint32_t GetFlashBAddr(void) { return kTamrelFlashBase; }

VENDOR_EXPORT uint32_t FyTpFlashRead(uint32_t address, uint8_t* buffer, uint32_t length) {
  if (length == 0) return address;
  const int64_t at = FlashRange("FyTpFlashRead", address, length);
  if (at < 0 || buffer == nullptr) return 0;
  memcpy(buffer, gpubTamrelFlash + at, length);
  return address;
}

VENDOR_EXPORT uint32_t FyTpFlashWrite(uint32_t address, const uint8_t* buffer, uint16_t length) {
  if (length == 0) return address;
  const int64_t at = FlashRange("FyTpFlashWrite", address, length);
  if (at < 0 || buffer == nullptr) return 0;
  memcpy(gpubTamrelFlash + at, buffer, length);
  return address;
}

VENDOR_EXPORT const uint8_t* FyTpWriteConfig(const uint8_t* data, uint32_t length) {
  // The store is the one SetTsaConfig keeps (it logs a refused blob).
  if (SetTsaConfig(data, length) != 0) return nullptr;
  return GetConfigBlob();
}

VENDOR_EXPORT uint32_t FyTpReadConfig(uint8_t* buffer, uint32_t length) {
  if (buffer == nullptr) {
    FerxLogPrint("GetConfig", FERX_LOG_ERR, "input NULL");
    return kTsaBadArg;
  }
  const uint32_t uiStored = *GetConfigBlobLength();
  if (uiStored > length) {
    FerxLogPrint("FyTpReadConfig", FERX_LOG_ERR, "Config length Error: %u", length);
    return kTsaPackFailed;
  }
  memcpy(buffer, GetConfigBlob(), uiStored);
  return kTsaOk;
}

}  // extern "C"
