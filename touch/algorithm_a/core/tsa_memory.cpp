// Static arena and base memory routines.
#include "tsa_memory.h"

#include <cstring>

#include "framework.h"
#include "tsa_os.h"
#include "tsa_common.h"
#include "tsa_config.h"


alignas(8) uint8_t gpubMemHeap[kMemHeapBytes];
uint16_t* gpuwCrossRawData;
uint16_t* gpuwSelfRawData;
uint16_t* gpuwMutualRawData;
int16_t* gpswMutualDiffData;
uint16_t* gpuwRealImData;
uint8_t* gpubCmdBak;
uint8_t* gpubFrameHeadInfoBak;
uint8_t* gpubThpCmdBak;
uint8_t gpubTouchData[kMemTouchDataBytes];

namespace {

uint8_t* spubCur;  // null: arena not initialised
uint32_t suiRemain;

void ArenaStart() {
  spubCur = gpubMemHeap;
  suiRemain = kMemHeapBytes;
  memset(gpubMemHeap, 0, kMemHeapBytes);
}

template <typename T>
T* Alloc(uint32_t uiBytes) {
  return reinterpret_cast<T*>(MemHeapMalloc(uiBytes));
}

}  // namespace

uint8_t* MemHeapMalloc(uint32_t uiSize) {
  if (spubCur == nullptr) ArenaStart();
  if (uiSize > kMemHeapBytes) {
    FerxLogPrint("MemHeapMalloc", FERX_LOG_ERR, "error, out of memory");
    return nullptr;
  }
  const uint32_t uiBlock = MemBlockBytes(uiSize);
  if (suiRemain < uiBlock) {
    FerxLogPrint("MemHeapMalloc", FERX_LOG_ERR, "error, out of memory");
    return nullptr;
  }
  uint8_t* pubBlock = spubCur;
  spubCur += uiBlock;
  suiRemain -= uiBlock;
  const uint32_t uiGuard = kMemGuardWord;
  memcpy(pubBlock + uiBlock - 4, &uiGuard, 4);
  return pubBlock;
}

uint8_t* MemHeapGetCurAddr() { return spubCur; }
uint32_t MemHeapGetRemain() { return suiRemain; }

void ResetMemMalloc() {
  spubCur = nullptr;
  suiRemain = 0;
}

uint8_t MemLayoutCheck(uint8_t ubFreqNum, uint32_t uiTempBytes) {
  const uint32_t D = gstPannelAlignCfg.ubDrvNum;
  const uint32_t S = gstPannelAlignCfg.ubSenNum;
  const uint32_t C = gstCrsbCfg.ubCrossNum;
  if (D == 0 || S == 0 || D * S > kFerrantMaxNodes) {
    FerxLogPrint("MemLayoutCheck", FERX_LOG_ERR, "panel %u x %u = %u nodes refused: 1 to %u nodes accepted", D, S, D * S,
          kFerrantMaxNodes);
    return 1;
  }
  if (C > kMemMaxCrossNum || ubFreqNum > kMemMaxFreqNum) {
    FerxLogPrint("MemLayoutCheck", FERX_LOG_ERR, "cross lines %u / frequencies %u refused: at most %u / %u", C,
          static_cast<unsigned>(ubFreqNum), kMemMaxCrossNum, kMemMaxFreqNum);
    return 1;
  }
  const uint32_t uiNeed = MemBottomBytes(D, S, C, ubFreqNum) + MemTopBytes(D, S, C, uiTempBytes);
  if (uiNeed > kMemHeapBytes) {
    FerxLogPrint("MemLayoutCheck", FERX_LOG_ERR, "layout needs %u bytes, arena holds %u", uiNeed, kMemHeapBytes);
    return 1;
  }
  return 0;
}

uint8_t MemPowerOnMallocBottom(uint8_t ubFreqNum) {
  ArenaStart();
  const uint32_t D = gstPannelAlignCfg.ubDrvNum;
  const uint32_t S = gstPannelAlignCfg.ubSenNum;
  const uint32_t C = gstCrsbCfg.ubCrossNum;
  const uint32_t N = D * S;
  const uint32_t uiMaxDS = D > S ? D : S;
  gpuwCrossRawData = Alloc<uint16_t>(S * C * 2u);
  gpuwSelfRawData = Alloc<uint16_t>((D + S) * 2u);
  gpuwMutualRawData = Alloc<uint16_t>(N * 2u);
  gpswMutualDiffData = Alloc<int16_t>(D * 28u + 100u > N * 2u ? D * 28u + 100u : N * 2u);
  const uint8_t* pubReserved = MemHeapMalloc(S * 20u);
  gpuwRealImData = Alloc<uint16_t>(ubFreqNum * 2u * uiMaxDS);
  return (gpuwCrossRawData && gpuwSelfRawData && gpuwMutualRawData && gpswMutualDiffData && pubReserved &&
          gpuwRealImData)
             ? 0
             : 1;
}

uint8_t MemPowerOnMallocTop() {
  if (spubCur == nullptr) ArenaStart();
  // The command history gets a block of its own rather than the 120 bytes before the
  // current pointer, which belong to the last bottom block.
  gpubCmdBak = MemHeapMalloc(kMemCmdHistoryBytes);
  gstCommon.uiGuardWord = kCommonGuardWord;

  const uint32_t D = gstCommon.ubDrvNum;
  const uint32_t S = gstCommon.ubSenNum;
  const uint32_t C = gstCrsbCfg.ubCrossNum;
  const uint32_t N = gstCommon.uwNodeNum;
  const uint32_t uiMaxDS = D > S ? D : S;
  bool boOk = gpubCmdBak != nullptr;
  auto take = [&boOk](uint32_t uiBytes) {
    uint8_t* p = MemHeapMalloc(uiBytes);
    boOk = boOk && p != nullptr;
    return p;
  };
  gstCommon.pubScanBuf = take(S * 6u + N * 2u);
  gstCommon.puwHopSenseBuf = reinterpret_cast<uint16_t*>(take(S * 4u + 8u));
  gstCommon.puwCrossRef = reinterpret_cast<uint16_t*>(take(S * 2u * C));
  gstCommon.pswCrossDiff = reinterpret_cast<int16_t*>(take(S * 2u * C));
  gstCommon.puwCrossBak = reinterpret_cast<uint16_t*>(take(S * 2u * C));
  gstCommon.stData.puwSelfRefData = reinterpret_cast<uint16_t*>(take((D + S) * 2u));
  gstCommon.stData.pswSelfDiffData = reinterpret_cast<int16_t*>(take((D + S) * 2u));
  gstCommon.stData.puwRefData = reinterpret_cast<uint16_t*>(take(N * 2u));
  gstCommon.puwBArray = reinterpret_cast<uint16_t*>(take(N * 2u));
  gstCommon.puwKArray = reinterpret_cast<uint16_t*>(take(N * 2u));
  gstCommon.puwNodeWorkMap = reinterpret_cast<uint16_t*>(take(N * 2u));
  gstCommon.puwRawForDiff = reinterpret_cast<uint16_t*>(take(N * 2u));
  gstCommon.pubCoordBuf1 = take(2u * uiMaxDS);
  gstCommon.pubCoordBuf2 = take((D + S) * 8u);
  gstCommon.pubSelfCancelWork = take((D + S) * 2u);
  gstCommon.puwSelfFilterState = reinterpret_cast<uint16_t*>(take((D + S) * 2u));
  gstCommon.pubLineBuf = take((D + S) * 2u);
  gstCommon.pubTempArena = take(guwTempBufferSizes);
  gstCommon.pubRegionNodeBuf = take(N * 2u + 4u);
  memset(gpubTouchData, 0, sizeof(gpubTouchData));
  gstCommon.pubTouchData = gpubTouchData;
  gstCommon.puwRefScratch = reinterpret_cast<uint16_t*>(take(N * 2u));
  // The two backups are optional for the allocator, but the frame parser and the report
  // packer need both, so a layout without them is refused.
  gpubFrameHeadInfoBak = suiRemain >= MemBlockBytes(kMemFrameHeadBakBytes) ? take(kMemFrameHeadBakBytes) : nullptr;
  gpubThpCmdBak = suiRemain >= MemBlockBytes(kMemThpCmdBakBytes) ? take(kMemThpCmdBakBytes) : nullptr;
  return (boOk && gpubFrameHeadInfoBak != nullptr && gpubThpCmdBak != nullptr) ? 0 : 1;
}

void* FrMemcpy(void* pvDst, const void* pvSrc, uint32_t uiBytes) {
  if (pvDst == nullptr || pvSrc == nullptr || uiBytes == 0) return pvDst;
  const uintptr_t d = reinterpret_cast<uintptr_t>(pvDst);
  const uintptr_t s = reinterpret_cast<uintptr_t>(pvSrc);
  if (d < s + uiBytes && s < d + uiBytes) return pvDst;  // overlapping ranges: copy nothing
  memcpy(pvDst, pvSrc, uiBytes);
  return pvDst;
}

void* FrMemset(void* pvDst, uint8_t ubValue, uint32_t uiBytes) {
  if (pvDst != nullptr) memset(pvDst, ubValue, uiBytes);
  return pvDst;
}

namespace {
template <typename T>
T* Fill(T* pDst, T value, uint32_t uiCount) {
  if (pDst == nullptr) return pDst;
  for (uint32_t i = 0; i < uiCount; ++i) pDst[i] = value;
  return pDst;
}
}  // namespace

int16_t* FrMemsetS16(int16_t* pswDst, int16_t swValue, uint32_t uiCount) { return Fill(pswDst, swValue, uiCount); }
uint16_t* FrMemsetU16(uint16_t* puwDst, uint16_t uwValue, uint32_t uiCount) { return Fill(puwDst, uwValue, uiCount); }
int32_t* FrMemsetS32(int32_t* psiDst, int32_t siValue, uint32_t uiCount) { return Fill(psiDst, siValue, uiCount); }
uint32_t* FrMemsetU32(uint32_t* puiDst, uint32_t uiValue, uint32_t uiCount) { return Fill(puiDst, uiValue, uiCount); }
uint16_t* FrMemsetF16(uint16_t* puwDst, uint32_t uiCount, uint16_t uwHalf) { return Fill(puwDst, uwHalf, uiCount); }
float* FrMemsetF32(float* pfDst, uint32_t uiCount, float fValue) { return Fill(pfDst, fValue, uiCount); }

uint32_t FrMaxMinValS16(const int16_t* pswSrc, int16_t* pswMax, int16_t* pswMin, int32_t siCount) {
  if (pswSrc == nullptr || (pswMax == nullptr && pswMin == nullptr)) return kFrStatusNullArg;
  int16_t swMax = pswSrc[0];
  int16_t swMin = pswSrc[0];
  for (int32_t i = 1; i < siCount; ++i) {
    if (pswSrc[i] > swMax) swMax = pswSrc[i];
    if (pswSrc[i] < swMin) swMin = pswSrc[i];
  }
  if (pswMax != nullptr) *pswMax = swMax;
  if (pswMin != nullptr) *pswMin = swMin;
  return 0;
}

uint32_t FrSubS16(const int16_t* pswA, const int16_t* pswB, int16_t* pswOut, int32_t siCount) {
  if (pswA == nullptr || pswB == nullptr || pswOut == nullptr) return kFrStatusNullArg;
  for (int32_t i = 0; i < siCount; ++i) {
    pswOut[i] = static_cast<int16_t>(static_cast<uint16_t>(pswA[i]) - static_cast<uint16_t>(pswB[i]));
  }
  return 0;
}

void* AndroidMemset(void* pvDst, uint8_t ubValue, uint32_t uiBytes) { return FrMemset(pvDst, ubValue, uiBytes); }
int16_t* AndroidMemsetS16(int16_t* pswDst, int16_t swValue, uint32_t uiCount) {
  return FrMemsetS16(pswDst, swValue, uiCount);
}
uint16_t* AndroidMemsetU16(uint16_t* puwDst, uint16_t uwValue, uint32_t uiCount) {
  return FrMemsetU16(puwDst, uwValue, uiCount);
}
void* AndroidMemcpy(void* pvDst, const void* pvSrc, uint32_t uiBytes) { return FrMemcpy(pvDst, pvSrc, uiBytes); }
uint32_t AndroidSubS16(const int16_t* pswA, const int16_t* pswB, int16_t* pswOut, int32_t siCount) {
  return FrSubS16(pswA, pswB, pswOut, siCount);
}
