#pragma once
// Region library: rectangle geometry, the special-area list, track-slot queries, the
// integer square root, the CORDIC arc tangent and region orientation, and the LibAndr
// vector statistics (beside the math library's LibVpu families) with their result record.
#include <cstdint>

#include "region_records.h"

#pragma pack(push, 1)
// Result of the last LibAndr operation: extremes with the address of their first
// occurrence, and the 32-bit sum. Read through the getters right after the call.
struct LibAndrStat {
  uint16_t uwMin;
  const void* pvMinAddr;
  uint16_t uwMax;
  const void* pvMaxAddr;
  uint32_t uiSum;
};
struct SpecialArea {
  uint32_t uiRect;
  uint8_t ubBoost;
  uint8_t aubParam[4];
};
static_assert(sizeof(SpecialArea) == 9);
struct SpecialAreaTable {
  uint8_t ubCount;
  SpecialArea astEntry[kRegionMax];
};
static_assert(sizeof(SpecialAreaTable) == 1 + 12 * 9);
#pragma pack(pop)

extern LibAndrStat gstLibAndrStat;
extern SpecialAreaTable gstSpecialArea;

// Bounding rectangle of COUNT rectangles; {255, 0, 255, 0} for none.
RegionRect CalcAllRect(const RegionRect* pstRects, uint8_t ubCount);
// A becomes the union of A and B (each start the smaller, each end the larger).
void GetTwoRegionCombineSide(RegionRect* pstA, RegionRect stB);
// 1 when PROFILE[START..END] rises to one peak only: once it has fallen by more than THR
// (to the next entry, or to the one after it), a rise of more than THR means a second peak.
// START = END gives 1, START > END 0. With LOW not 0, the inner entries at or below LOW
// must number fewer than 2 as well. Indices are 16-bit so that rows + a column index of a
// wide panel stays addressable.
uint8_t RegionOnlyOneJudge(uint16_t uwStart, uint16_t uwEnd, int16_t swThr, int16_t swLow, const int16_t* pswProfile);
// 1 when some row channel of RECT carries self[r] >= ROWTHR and some column channel
// self[ROWS + c] >= COLTHR (row channels first, then the column channels); else 0.
uint8_t RectSelfConfirm(int16_t swRowThr, int16_t swColThr, const int16_t* pswSelf, uint8_t ubRows, uint32_t uiRect);
// 1 when B lies inside A (inclusive), else 0.
uint8_t RectIsInclude(RegionRect a, RegionRect b);
// Bit 0: the row ranges of A and B overlap; bit 1: their column ranges do.
uint8_t GetRectOverlapAxes(RegionRect a, RegionRect b);
uint16_t GetNotMuchOutCnt();
// First and last index of the COUNT values above THR (255 when none); returns the largest
// value of the whole profile.
uint16_t GetProfileSpanOverThr(const uint16_t* puwProfile, uint8_t ubCount, uint16_t uwThr, uint8_t* pubFirst,
                               uint8_t* pubLast);
// Nodes A and B share (0 when disjoint).
uint32_t CalcRectCoverSize(RegionRect a, RegionRect b);
// Side by side: 50 + shared rows; one above the other: shared columns; else 0.
uint8_t GetRectAdjacentLength(RegionRect a, RegionRect b);
// Appends {rectangle, 5 parameter bytes (boost first)}; a thirteenth entry is ignored.
void AddSpecialRectSet(uint32_t uiRect, const uint8_t* pubParams);
// Releases every track slot whose rectangle word equals RECT; its pairing state becomes 9.
void ReleaseTrackSlotsByRect(uint32_t uiRect, uint8_t ubRows, uint8_t ubCols);
void MarkSteadyTrackSlots(uint8_t* pubFlags, uint32_t* puiRects);
uint8_t GetRegionAcquireFlag();
// 1 when the region of rectangle RECT is weak enough to be joined to slot LABEL through
// NODE: NODE is an inner node at least 25 below the strongest neighbour of that slot, and
// over the labelled nodes of RECT the rise over SECOND stays within the node level or the
// diff sum (taken as s16) is below 400.
uint8_t JudgeValleyRectWeak(const int16_t* pswDiff, const int16_t* pswSecond, uint32_t uiRect, uint16_t uwNode,
                            int8_t scLabel, uint8_t ubRows, uint8_t ubCols);

// Floor of the square root, bit by bit; 0 gives 0.
uint32_t CalcIntegerSqrt(uint32_t v);
// Floor of the length of (x, y).
uint32_t CalcVectorLength(int16_t x, int16_t y);
// 1024 x sin and cos of a whole degree 0..179 (0 outside).
int16_t GetSinQ10(int16_t swDegree);
int16_t GetCosQ10(int16_t swDegree);
// Angle of (x, y) in Q12 radians (pi = 12868); *PX becomes the vector length.
int32_t CordicAtan2(int32_t y, int32_t* px);
// Principal-axis angle, whole degrees 0..179, of the nodes of R at or above 25.
int16_t CalcRegionOrientation(const int16_t* pswMap, RegionRect r, uint8_t ubCols);

// The optional completion callback of the LibAndr family; called by nobody, never called.
typedef void (*LibAndrDone)();
uint32_t LibAndrStatisticU8(const uint8_t* p, uint16_t n, LibAndrDone done = nullptr);
uint32_t LibAndrStatisticU16(const uint16_t* p, uint16_t n, LibAndrDone done = nullptr);
uint32_t LibAndrStatisticS16(const int16_t* p, uint16_t n, LibAndrDone done = nullptr);
uint32_t LibAndrAddConstS16(const int16_t* src, int16_t k, int16_t* dst, uint16_t n, LibAndrDone done = nullptr);
uint32_t LibAndrSubS16(const int16_t* a, const int16_t* b, int16_t* dst, uint16_t n, LibAndrDone done = nullptr);
uint32_t LibAndrGtConstS16(const int16_t* src, int16_t k, uint8_t* mask, uint16_t n, LibAndrDone done = nullptr);
int16_t LibAndrGetMinData();
const void* LibAndrGetMinDataAddr();
int16_t LibAndrGetMaxData();
const void* LibAndrGetMaxDataAddr();
uint32_t LibAndrGetAcc();

// Scales a profile so that its largest magnitude becomes 512 (unchanged when all 0).
void NormalizeShadowProfile(const int16_t* pswIn, int16_t* pswOut, uint8_t ubCount);
// Row shadow (out[0..rows-1]) and column shadow (out[rows..]) of the diff map over the
// rectangle grown by one node, each scaled by NormalizeShadowProfile.
void CalcSumDiffShadowSub(uint32_t uiRect, uint8_t ubRows, uint8_t ubCols, const int16_t* pswDiff, int16_t* pswOut);

// ---- Profiles of the diff map -------------------------------------------------------------

inline constexpr uint8_t kProfileLen = 40;
// Result of CalcRotatedRectProfile when the rectangle yields no usable profile.
inline constexpr uint16_t kProfileNone = 65535;
// Marks 1 at the peaks and 2 at the valleys of a 40-entry profile; the index of the
// smallest value below 100 goes to *MIN (left alone when none), the largest value's index
// to *MAX (from p[0] when it is positive, else *MAX stays until a positive value appears).
void MarkProfilePeakValley(const int16_t* pswP, uint8_t* pubMarks, int16_t swThr, uint8_t* pubMinIdx,
                           uint8_t* pubMaxIdx, uint8_t* pubPeakNum, uint8_t* pubValleyNum);
// Depth of the deepest valley between two neighbouring peaks of the profile (PUWW is the
// second profile, the sums of the strong samples; a valley must be clearly weaker there
// than both peaks). One peak and one valley: the rise from the smallest value to the
// largest. MARKS (40 bytes, all 0 on entry) are left as MarkProfilePeakValley set them.
int16_t CalcProfileValleyDepth(const int16_t* pswP, const uint16_t* puwW, uint8_t* pubMarks, int16_t swThr,
                               uint8_t* pubValleyIdx, uint8_t* pubMaxIdx);
// The pair loop of the valley depth alone, over marks already set (1 peak, 2 valley):
// *DEPTH (in/out) rises to the deepest valley between neighbouring peaks, *VALLEY takes its
// index (left alone when none qualifies).
void CalcPeakValleyDepth(const int16_t* pswP, const uint16_t* puwW, const uint8_t* pubMarks, int16_t* pswDepth,
                         uint8_t* pubValleyIdx);
// Samples the map over RECT turned by ANGLE (whole degrees 0..179) on a grid of 2 x rows
// lines of 2 x columns samples, bilinear in 1/2048 node, and adds the sample columns into
// PSWPROFILE (and the samples above THR into PUWSUMS); the profile is then scaled to a
// largest value of 100. The result is the spread of the strong sample columns over the
// largest strong count (x 10), or kProfileNone when nothing rises above THR, the profile
// has no positive value, or the rectangle is empty or wider than 20 columns.
uint16_t CalcRotatedRectProfile(const int16_t* pswMap, uint8_t ubCols, uint8_t ubRows, uint32_t uiRect,
                                int16_t swAngle, int16_t swThr, uint8_t* pubMaxCount, int16_t* pswProfile,
                                uint16_t* puwSums);
