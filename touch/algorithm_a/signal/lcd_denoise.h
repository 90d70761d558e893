#pragma once
// LCD denoise of the mutual diff map: the panel sizes it accepts.
#include <array>
#include <cstdint>

// The denoise samples every (cols / 4 - 1)-th column and sizes its tables for at most
// 52 rows and 56 columns: narrower, wider or taller panels would read outside them.
inline constexpr uint8_t kLcdDenoiseMinRows = 2;
inline constexpr uint8_t kLcdDenoiseMaxRows = 52;
inline constexpr uint8_t kLcdDenoiseMinCols = 8;
inline constexpr uint8_t kLcdDenoiseMaxCols = 56;

// 1 when the panel of the last initialisation lies within those sizes; the denoise runs
// only then.
extern uint8_t gboLcdDenoiseUsable;
bool LcdDenoiseSizeAccepted(uint8_t ubRows, uint8_t ubCols);
void AppLcdDenoiseInitialWrapper(uint8_t ubFirst);

// ---------------------------------------------------------------------------------------
// The denoise core: whole drive rows shifted by an offset shaped like the configured
// column profile are fitted and the fit taken off; the denoise network can take the
// fit's place.

// Q10 reciprocals: R[0] = 0, R[n] = 1024 / n rounded. Means over n nodes are
// sum x R[n] >> 10, so no division runs per row.
inline constexpr uint8_t kQ10RecipCount = 75;
extern const std::array<int16_t, kQ10RecipCount> gaswQ10Recip;

inline constexpr uint16_t kLcdDenoiseScratchBytes = 10464;
inline constexpr uint16_t kLcdDenoiseNodeMaskAt = 5824;  // scratch: node masks after the differences
inline constexpr uint8_t kLcdFree = 255;                  // mask value of a node, row or column free of touch

#pragma pack(push, 1)
// The caller's record for one denoise call (byte offsets fixed; the debug tools read it).
struct LcdDenoiseInput {
  uint8_t ubTouchNum;           // 0 touch count of the last report
  uint8_t ubRes1;               // 1
  uint8_t ubDiffMode;           // 2 2 = no row fit
  uint8_t ubWholeRow;           // 3 row statistics ignore the touch masks
  uint8_t ubRefitSelA;          // 4
  uint8_t ubCols;               // 5
  uint8_t ubRows;               // 6
  uint8_t ubRefRun;             // 7 non-zero: a reference run
  uint8_t ubFreqNum;            // 8
  uint16_t uwNodes;             // 9
  uint16_t uwMaskThreshold;     // 11
  uint16_t uwTouchedThreshold;  // 13
  const int16_t* pswProfile;    // 15 56 values
  const uint16_t* puwRef;       // 23
  const uint16_t* puwRaw;       // 31
  uint8_t aubRes39[16];         // 39
  const uint32_t* puiRects;     // 55 12 packed {row start, row end, col start, col end}
  const uint16_t* puwRectNodes; // 63 12 node counts, 0 = empty slot
  const int16_t* pswNodeMap;    // 71
  uint8_t ubRefState;           // 79
  uint8_t ubLargeTouch;         // 80
  uint8_t ubRes81;              // 81
  uint8_t ubRefitSelB;          // 82
  uint8_t ubSuspendEnable;      // 83
  uint8_t* pubNetBuffer;        // 84 null: no network
  uint8_t ubNetEnable;          // 92
  uint8_t ubBodyOption;         // 93
  uint8_t* pubShakeList;        // 94 column numbers, 255 ends
  uint64_t* pullRowNodeMask;    // 102
  uint16_t* puwRestoredEnds;    // 110
  uint16_t* puwDenoisedEnds;    // 118
  uint16_t* puwRowLevelOut;     // 126
  uint8_t ubFreeRowZero;        // 134
  uint8_t ubRes135;             // 135
  int16_t* pswDiff;             // 136 processed in place
  uint8_t* pubScratch;          // 144 at least kLcdDenoiseScratchBytes
  uint64_t ullTouchedRows;      // 152
  uint64_t ullNoisyRows;        // 160
  uint8_t ubNoiseLevelOut;      // 168
};
#pragma pack(pop)
static_assert(sizeof(void*) != 8 || sizeof(LcdDenoiseInput) == 169);

extern LcdDenoiseInput* gpstDiffDenoise;
extern uint8_t gubNoiseLevel;
extern uint8_t gubNeedDlSito;
extern uint8_t gubShakeNum;
extern uint8_t gubLastLastOutNum;
extern uint8_t gubRowFreeCount[52];
extern uint16_t guwRowNoiseLevel[52];
extern int16_t gswDiffBackup[2912];
extern int16_t gswColumnProfile[56];
extern uint16_t guwShakeFirstColumn[52];
extern uint16_t guwShakeLastColumn[52];
extern uint8_t* gpubMutualTouchTX;
extern uint8_t gubSuspendNum;
extern uint8_t gubShakecalcAveNum;
extern uint8_t gubLastSuspend;
extern uint8_t gubLastSuspendNew;
extern uint8_t gboLargeTouchStaBak;  // large-touch state the next run starts from
extern uint8_t gubStep;
extern uint8_t gubFitPointNum;
extern uint8_t gubNeedSitoNum;
extern uint8_t gubShakeSpikeCount[104];  // per row and listed shaking line: row + rows x line
extern int8_t gscShakeLineMean[104];
extern uint8_t gastRowFitRecord[52 * 8];
extern int16_t gswColumnWorkA[56];
extern int16_t gswColumnWorkB[56];
extern int16_t gswColumnWorkC[56];
extern int16_t gswRowWork[52];
extern int16_t gswRowMinimum[52];
extern uint8_t gubRowRefitCount[52];
extern uint16_t guwRowMedian[52];
extern uint8_t* gpubMutualTouchRX;

// Cleans a map other than the frame's diff map (a reference deviation) with the denoise
// core: the common denoise configuration's profile, the shaking-Rx list and the temporary
// arena as scratch. The core's pointer to the frame's record is put back afterwards, as
// the per-frame diff denoise relies on it. Nothing happens while the denoise is unusable.
struct LcdDenoiseMapArgs {
  uint8_t ubRows;
  uint8_t ubCols;
  uint16_t uwMaskThreshold;
  uint16_t uwTouchedThreshold;
  const uint16_t* puwRef;
  const uint16_t* puwRaw;
  uint8_t* pubNetBuffer;  // null: no network
  uint8_t ubNetEnable;
};
void LcdDenoiseMap(int16_t* pswMap, const LcdDenoiseMapArgs& stArgs);

void DenoiseSetTempSizeInit();
void AppLcdDenoiseInitial(LcdDenoiseInput* pstIn, uint8_t ubFirst);
uint64_t AppLcdDenoiseFilter(LcdDenoiseInput* pstIn);
uint64_t LcdDenoiseCore();
uint8_t ConfigTouchLevel();
uint8_t ConfigTouchNumDeshake();
void CaculateDiff(const uint16_t* puwMap, uint16_t* puwOut, uint8_t ubMaskMode, uint8_t ubResetMasks);
void AppLcdDenoiseFilterWrapper();
// Least-squares fit of a row to a x P + b x Q over the selected nodes (SEL[c] non-zero;
// null: every node); every node loses OFFSET + the fit.
void LcdFitTwoBasis(int16_t* pswRow, uint32_t uiCount, const uint8_t* pubSel, int32_t slOffset, const int16_t* pswP,
                    const int16_t* pswQ);
