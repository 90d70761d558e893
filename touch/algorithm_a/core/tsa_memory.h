#pragma once
// The module's static arena (bump allocation with a guard word after every block, laid
// out once at power-on: panel buffers at the bottom, module buffers and the shared
// temporary buffer on top) and the base fill/copy/extreme/difference routines.
#include <cstdint>

inline constexpr uint32_t kMemGuardWord = 0xA5A5A5A5u;
inline constexpr uint32_t kMemCmdHistoryBytes = 120;
inline constexpr uint32_t kMemFrameHeadBakBytes = 300;
inline constexpr uint32_t kMemThpCmdBakBytes = 204;
inline constexpr uint32_t kMemTouchDataBytes = 248;
// Largest cross-line and frequency counts the arena is sized for.
inline constexpr uint32_t kMemMaxCrossNum = 4;
inline constexpr uint32_t kMemMaxFreqNum = 10;

// Bytes a request of n bytes takes: n + 4 (guard) rounded up to a multiple of 8.
constexpr uint32_t MemBlockBytes(uint32_t uiRequest) { return (uiRequest + 4u + 7u) & ~7u; }

// Arena bytes the bottom and top layouts need for a panel of D drive and S sense lines,
// C cross lines, F frequencies and a temporary buffer of uiTemp bytes.
constexpr uint32_t MemBottomBytes(uint32_t D, uint32_t S, uint32_t C, uint32_t F) {
  const uint32_t N = D * S;
  const uint32_t uiMaxDS = D > S ? D : S;
  const uint32_t uiDiff = D * 28u + 100u > N * 2u ? D * 28u + 100u : N * 2u;
  return MemBlockBytes(S * C * 2u) + MemBlockBytes((D + S) * 2u) + MemBlockBytes(N * 2u) +
         MemBlockBytes(uiDiff) + MemBlockBytes(S * 20u) + MemBlockBytes(F * 2u * uiMaxDS);
}
constexpr uint32_t MemTopBytes(uint32_t D, uint32_t S, uint32_t C, uint32_t uiTemp) {
  const uint32_t N = D * S;
  const uint32_t uiMaxDS = D > S ? D : S;
  return MemBlockBytes(kMemCmdHistoryBytes) + MemBlockBytes(S * 6u + N * 2u) +
         MemBlockBytes(S * 4u + 8u) + 3u * MemBlockBytes(S * 2u * C) +
         2u * MemBlockBytes((D + S) * 2u) + 5u * MemBlockBytes(N * 2u) +
         MemBlockBytes(2u * uiMaxDS) + MemBlockBytes((D + S) * 8u) +
         3u * MemBlockBytes((D + S) * 2u) + MemBlockBytes(uiTemp) + MemBlockBytes(N * 2u + 4u) +
         MemBlockBytes(N * 2u) + MemBlockBytes(kMemFrameHeadBakBytes) +
         MemBlockBytes(kMemThpCmdBakBytes);
}
// The temporary buffer's starting size (before any module raises it).
constexpr uint32_t MemTempBaseBytes(uint32_t D, uint32_t S) { return 2u * (D + S) + 11648u; }

// Arena size: the worst panel of at most 2912 nodes (any drive/sense split of 8-bit
// counts) with the largest cross and frequency counts.
constexpr uint32_t MemArenaWorstCase() {
  uint32_t uiWorst = 0;
  for (uint32_t D = 1; D <= 255; ++D) {
    uint32_t S = 2912u / D;
    if (S > 255) S = 255;
    if (S == 0) break;
    const uint32_t uiBytes = MemBottomBytes(D, S, kMemMaxCrossNum, kMemMaxFreqNum) +
                             MemTopBytes(D, S, kMemMaxCrossNum, MemTempBaseBytes(D, S));
    if (uiBytes > uiWorst) uiWorst = uiBytes;
  }
  return uiWorst;
}
inline constexpr uint32_t kMemHeapBytes = MemArenaWorstCase();
static_assert(kMemHeapBytes % 8 == 0);

extern uint8_t gpubMemHeap[kMemHeapBytes];

// Bottom layout buffers.
extern uint16_t* gpuwCrossRawData;
extern uint16_t* gpuwSelfRawData;
extern uint16_t* gpuwMutualRawData;
extern int16_t* gpswMutualDiffData;
extern uint16_t* gpuwRealImData;
// Top layout buffers kept outside the common record.
extern uint8_t* gpubCmdBak;
extern uint8_t* gpubFrameHeadInfoBak;
extern uint8_t* gpubThpCmdBak;
extern uint8_t gpubTouchData[kMemTouchDataBytes];

// Returns the block address, or null (after logging) when the arena is exhausted.
uint8_t* MemHeapMalloc(uint32_t uiSize);
uint8_t* MemHeapGetCurAddr();
uint32_t MemHeapGetRemain();
void ResetMemMalloc();
// 0 when the panel (panel alignment configuration), cross and frequency counts and a
// temporary buffer of uiTempBytes fit the arena; otherwise logs why and returns 1.
uint8_t MemLayoutCheck(uint8_t ubFreqNum, uint32_t uiTempBytes);
// Resets the arena and lays out the bottom buffers; 0 on success.
uint8_t MemPowerOnMallocBottom(uint8_t ubFreqNum);
// Lays out the top buffers into gstCommon; 0 on success.
uint8_t MemPowerOnMallocTop();

// Base routines.
void* FrMemcpy(void* pvDst, const void* pvSrc, uint32_t uiBytes);
void* FrMemset(void* pvDst, uint8_t ubValue, uint32_t uiBytes);
int16_t* FrMemsetS16(int16_t* pswDst, int16_t swValue, uint32_t uiCount);
uint16_t* FrMemsetU16(uint16_t* puwDst, uint16_t uwValue, uint32_t uiCount);
int32_t* FrMemsetS32(int32_t* psiDst, int32_t siValue, uint32_t uiCount);
uint32_t* FrMemsetU32(uint32_t* puiDst, uint32_t uiValue, uint32_t uiCount);
// Half-precision fill: uwHalf is the IEEE binary16 bit pattern.
uint16_t* FrMemsetF16(uint16_t* puwDst, uint32_t uiCount, uint16_t uwHalf);
float* FrMemsetF32(float* pfDst, uint32_t uiCount, float fValue);
inline constexpr uint32_t kFrStatusNullArg = 0x80000002u;
uint32_t FrMaxMinValS16(const int16_t* pswSrc, int16_t* pswMax, int16_t* pswMin, int32_t siCount);
uint32_t FrSubS16(const int16_t* pswA, const int16_t* pswB, int16_t* pswOut, int32_t siCount);
void* AndroidMemset(void* pvDst, uint8_t ubValue, uint32_t uiBytes);
int16_t* AndroidMemsetS16(int16_t* pswDst, int16_t swValue, uint32_t uiCount);
uint16_t* AndroidMemsetU16(uint16_t* puwDst, uint16_t uwValue, uint32_t uiCount);
void* AndroidMemcpy(void* pvDst, const void* pvSrc, uint32_t uiBytes);
uint32_t AndroidSubS16(const int16_t* pswA, const int16_t* pswB, int16_t* pswOut, int32_t siCount);
