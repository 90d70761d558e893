#pragma once
// Region detection of algorithm A: region acquisition, the region search stage, the track
// slots and the rectangle helpers they share. All of it runs on the frame thread; state is
// module global (region_records.h) and never allocated per frame.
#include <cstdint>

#include "coord_records.h"
#include "mathlib.h"
#include "region_records.h"

#pragma pack(push, 1)
// Counters of the pairing core that the region search reads: the rectangle and distance
// limit of two close fingers, the valley-suppression frames and the three-touch core
// state. The pairing record has no room left for them beside its pinch tracker, so they
// are a record of their own; region initialisation clears it.
struct PairCoreCounters {
  RegionRect stTwoFingerRect;  // 0: rectangle around two close fingers
  uint16_t uwTwoFingerDist;    // 4: distance limit of the valley suppression (quarter nodes)
  uint16_t uwValleyFrames;     // 6: frames the valley suppression has run
  uint8_t ubValleyLimit;       // 8: limit of those frames
  uint8_t ubCoreState;         // 9: 1 while the core holds three tracked touches
  uint8_t ubCoreFrames;        // 10: frames of that state
  uint8_t ubRes11;             // 11
};
static_assert(sizeof(PairCoreCounters) == 12);

#pragma pack(pop)

extern PairCoreCounters gstPairCoreCounters;
inline PairCoreCounters* PairCore() { return &gstPairCoreCounters; }

// ---- Grid access -----------------------------------------------------------------------

// One view of a row-major s16 map. Every neighbour read of region detection goes through
// At(), which answers the given outside value for a node beyond the grid instead of
// reading past the map.
struct RegionGrid {
  int16_t* pswMap;
  uint8_t ubRows;
  uint8_t ubCols;

  bool In(int32_t r, int32_t c) const { return r >= 0 && c >= 0 && r < ubRows && c < ubCols; }
  int16_t At(int32_t r, int32_t c, int16_t swOutside = 0) const {
    return (pswMap != nullptr && In(r, c)) ? pswMap[r * ubCols + c] : swOutside;
  }
  void Set(int32_t r, int32_t c, int16_t v) const {
    if (pswMap != nullptr && In(r, c)) pswMap[r * ubCols + c] = v;
  }
  uint32_t Nodes() const { return static_cast<uint32_t>(ubRows) * ubCols; }
};

// ---- Rectangle helpers ------------------------------------------------------------------

inline bool RectValidOn(RegionRect r, uint8_t ubRows, uint8_t ubCols) {
  return r.ubRowStart <= r.ubRowEnd && r.ubRowEnd < ubRows && r.ubColStart <= r.ubColEnd && r.ubColEnd < ubCols;
}
// A inside B (inclusive).
inline bool RectInside(RegionRect a, RegionRect b) {
  return a.ubRowStart >= b.ubRowStart && a.ubRowEnd <= b.ubRowEnd && a.ubColStart >= b.ubColStart &&
         a.ubColEnd <= b.ubColEnd;
}
// R grown by N nodes on each side, held to the grid.
RegionRect RegionRectGrow(RegionRect r, uint8_t n, uint8_t ubRows, uint8_t ubCols);
// R with every side on the grid (a rectangle of search results never leaves it; this keeps a
// stale or foreign rectangle from steering a read outside).
RegionRect RegionRectClip(RegionRect r, uint8_t ubRows, uint8_t ubCols);

// Compacts COUNT regions: dropped ones (peak 0) leave, kept ones move down in order with
// their rectangle, peak position and waterproof value; the label map follows (a moved
// region's nodes get its new index, a dropped region's nodes inside its rectangle become
// 255); the peaks behind the kept ones are cleared. Returns the new count.
uint8_t RearrangeRegion(uint8_t ubCount, uint16_t* puwPeak, RegionRect* pstRect, uint16_t* puwPeakPos,
                        uint16_t* puwWaterValue, uint8_t* pubLabel, uint8_t ubRows, uint8_t ubCols);

// ---- Track slots and scans --------------------------------------------------------------

// Clears a steady slot's nodes from the slot label map: its rectangle, and in a ring of two
// nodes around it the bytes that hold the slot or a value of 11 or more.
void ClearSlotLabelRing(uint8_t ubSlot, uint8_t ubRows, uint8_t ubCols);
// Releases slot S (label ring first, then the slot's fields; id 255).
void ReleaseTrackSlot(uint8_t ubSlot, uint8_t ubRows, uint8_t ubCols);
// Slot tracking: carries the touches of the pairing's slots 0-9 (their last rectangles)
// into the track slots; steady slots are followed through UpdateTrackSlotRegion.
void RegionTrackSlots(RegionAcquireInput& in);
// Follows steady slot S into its new rectangle N (Q is the pairing rectangle it follows):
// blobs touching the slot's nodes join it or end the update with a state code in the
// pairing's SlotState[S]; the slot takes the bounding box of its relabelled nodes.
void UpdateTrackSlotRegion(RegionAcquireInput& in, RegionRect N, RegionRect Q, uint8_t s);
// The per-frame upkeep after slot tracking; counts the steady slots.
void RegionSlotUpkeep(uint8_t ubRows, uint8_t ubCols);
// Strong (>= 50) nodes beside R: bit r of *ROWS for a strong node of row r outside R's
// column band grown by one, bit c of *COLS likewise along the columns.
void CalcOutsideStrongMasks(uint8_t ubCols, uint8_t ubRows, const int16_t* pswDiff, RegionRect stRect,
                            uint64_t* pullRowMask, uint64_t* pullColMask);
// Maxima along the four sides of E over the span of S; a side of E equal to P's gives 0.
void CalcRectSideMax(const int16_t* pswDiff, uint8_t ubCols, uint8_t ubRows, RegionRect stE, int16_t* pswOut,
                     RegionRect stP, RegionRect stS);
// 1 when the row (column) segment a..b holds a dip clearly below its mean.
uint8_t JudgeRowDip(const int16_t* pswDiff, uint8_t ubCols, uint8_t ubRows, uint8_t a, uint8_t b, uint8_t ubRow);
uint8_t JudgeColumnDip(const int16_t* pswDiff, uint8_t ubCol, uint8_t a, uint8_t b, uint8_t ubCols, uint8_t ubRows);

// Largest side maximum of the grown slot rectangle E over the span of S (sides equal to P's
// count 0; at least 0), or 1000 when a side crosses a node that another slot owns.
// PSWOUT (may be null) receives the four side maxima.
int16_t CalcRectBorderMax(const int16_t* pswDiff, uint8_t ubCols, uint8_t ubRows, RegionRect stE, int16_t* pswOut,
                          RegionRect stP, RegionRect stS, uint8_t ubOwnSlot);
// A with each side pushed out toward B to the outermost line holding a node at the node
// level (half of it on lines other regions occupy, in a floating frame); a live region in
// the way keeps the side.
RegionRect ExtendRectToLevel(const RegionAcquireInput& in, RegionRect stA, RegionRect stB);
// Gives slot S the new rectangle (and both copies, seed state 0) and moves the first live
// region that had the slot's old rectangle along with it.
void ReplaceSlotRect(RegionAcquireInput& in, uint8_t ubSlot, RegionRect stNew);
// 1 when RECT shares a node with a live region other than OWN (regions whose bit is set in
// IGNORE do not count).
int32_t JudgeRectOverlapOthers(const RegionAcquireInput& in, uint8_t ubOwn, RegionRect stRect, uint16_t uwIgnore = 0);
// Labelled-to-unlabelled steps around the node's eight neighbours in the slot label map,
// -1 when exactly one neighbour is labelled.
int32_t CalcLabelRingCross(uint8_t ubCols, uint8_t ubRows, uint8_t ubRow, uint8_t ubCol);

// ---- Two-region split -------------------------------------------------------------------

// 1024 x cos / sin of whole degrees 0..179, truncated toward zero.
extern const int16_t* const RegionCosTable;
extern const int16_t* const RegionSinTable;
// Two-peak state read by the split.
extern int16_t RegionTwoPeakAngle;      // orientation of this frame, degrees 0..179
extern int16_t RegionTwoPeakLastAngle;  // first judged orientation since the reset; 400 = none
extern uint8_t RegionTwoPeakSpan;       // non-zero entries of the rotated profile
// Rectangle spanned by (X, Y) and the point displaced by (DX, DY), in 1/64 node, held to
// the grid; a one-node-wide result leans toward a clearly stronger side, a 3 by 3 result
// loses its weak corners.
void CalcShiftedRect(uint8_t ubCols, uint8_t ubRows, const int16_t* pswDiff, int16_t swX, uint16_t uwY, int32_t siDx,
                     int32_t siDy, RegionRect* pstOut);
// Replaces the frame's regions by two placed on either side of R's weighted centre along
// the judged orientation; *COUNT becomes 2.
void RegionSplitByAngle(uint8_t* pubCount, RegionAcquireInput& in, uint8_t* pubLabel, RegionRect stR);

// ---- Diagonal finger pair ---------------------------------------------------------------

// Nodes above 100 in the bounding rectangle of the frame's regions (two-peak state).
extern uint16_t RegionTwoPeakStrongCount;
// For a rectangle exactly four columns wide: true when the nodes around two opposite
// corners (top-left / bottom-right up to 90 degrees, the mirrored pair up to 180) look like
// two touches along the diagonal. *CORNERBLOCK tells whether a strong 2 by 2 block fills a
// flagged corner; it is left alone when the test does not apply (other widths, angles
// above 180). X = F1 and F4, Y = F2 and F3 select the corners.
bool JudgeDiagonalPair(uint8_t ubCols, uint8_t ubRows, const int16_t* pswDiff, uint16_t uwPeak, RegionRect stRect,
                       uint16_t uwAngle, bool f1, bool f2, bool f3, uint8_t f4, bool* pboCornerBlock);

// ---- Two-peak judgement ----------------------------------------------------------------

// State of the two-peak judgement kept across frames (the angle, last angle, span and
// strong count above belong to it as well).
struct RegionTwoPeakStateRec {
  uint8_t ubVerdict;        // 0 none, 1 two peaks this frame, 2 this and the previous frame
  uint8_t ubHoldCnt;        // 10 after a valley of depth 1-400; counts flat frames to 30
  uint8_t ubStrongEntries;  // profile entries of 6 or more
  RegionRect stFirstRect;   // the bounding rectangle of the first judged frame
  uint8_t ubPeakNum;        // strict local maxima of the bounding rectangle
  uint16_t uwCentreDist;    // squared centre distance to the first judged rectangle
  uint16_t uwTwoPeakFrames; // frames with the two-peak state set, 0-20
  uint16_t uwOver200;
  uint16_t uwOver50;
  uint16_t uwPrevSum;       // strong sum of the last frame with the two-peak state set
  uint8_t ubJudged;         // the confirmation ran to its end this frame
  uint8_t ubPrevJudged;
};
extern RegionTwoPeakStateRec gstRegionTwoPeak;
extern RegionRect RegionTwoPeakPrevRect;  // bounding rectangle of the first judged frame; 255s = none
extern uint16_t guwNotMuchOutCnt;
// Judges whether the compact touch area B (the trimmed bounding rectangle of the frame's
// regions) holds two fingers found as one region, and splits a lone region when it does.
void RegionTwoPeakJudge(RegionAcquireInput& in, RegionRect B, bool boLarge, bool boEdge);
// The corner-template test of the two-peak judgement on B for the angle A (0-180).
bool TwoPeakCornerTemplate(const RegionAcquireInput& in, RegionRect B, int16_t swAngle, int16_t swDepth);
// The dip scan of the two-peak judgement along the long sides of B.
bool TwoPeakDipScan(const RegionAcquireInput& in, RegionRect B, int16_t swDepth);

// ---- Acquisition ------------------------------------------------------------------------

// Touch mode of the frame (2 normal, 1 weak touch with strong nodes, 0 weak touch).
extern uint8_t gubTouchMode;
extern uint8_t gubGloveSat;
extern uint32_t gunGloveRect;
extern uint8_t gubEnterHoverCnt;

// Region search statics that carry from frame to frame.
struct RegionSearchState {
  uint8_t ubThrDropCnt;   // frames in a row with a strong tracked touch (0-100)
  uint8_t ubThrDropHold;  // frames left with the threshold lowered (0-25)
};
extern RegionSearchState gstRegionSearchState;

// The byte offset in the work buffer where acquisition keeps the unmodified diff map.
inline constexpr uint32_t kRegionSavedDiffAt = 5824;

void RegionCommonInit();
void RegionAcquireInit(uint8_t* pubWorkBuf);
void RegionAcquire(RegionAcquireInput* pstIn);
// Builds the input record from the module records, runs RegionAcquire, writes back.
void RegionAcquireWrapper();
// The stage's touch-mode choice from the frame's diff extremes.
uint8_t RegionTouchModeNext(uint8_t ubMode, int16_t swMax, int16_t swMin, bool boForceNormal);
// The hover-entry count of one frame.
void RegionHoverCount();
// RegionSearchProc flags: bit 0 skips the diff conditioning (valley, special areas, drop).
void RegionSearchProc(RegionAcquireInput* pstIn, uint8_t ubFlags);

// Second search: regions seeded at unlabelled local maxima of the rows flagged in
// gullDiffOverFlag, grown from a 30-entry node stack; adds to *COUNT (at most 12) and *SCORE.
extern uint16_t RegionGrowStack[30];
extern uint8_t RegionGrowStackCount;
void RegionGrowFromStack(const int16_t* pswDiff, const uint8_t* pubLabel, const RegionSearchParam* pstParam,
                         RegionSearchRecord* pstRec);
void LocalPeakRegionSearch(const int16_t* pswDiff, uint8_t* pubCount, uint16_t* puwScore, RegionSearchParam* pstParam,
                           RegionSearchRecord* pstRec);
extern uint8_t gboStaticElecSearch;
// Pre-search smoothing: inner nodes of the rows flagged in gullDiffOverFlag at or above the
// touch threshold whose four neighbours (in SAVED) sum to at most 4 x the threshold become
// the mean of the five.
void RegionSmoothFlaggedRows(const RegionAcquireInput& in, const int16_t* pswSaved);

// ---- Filters ----------------------------------------------------------------------------

extern uint8_t gubPocketErrorTouchMode;     // pocket-mode time ticks left
extern uint8_t gubPocketTouchLevelIncFlag;  // 1 while the pocket condition has been seen
RegionRect ExpandRect(RegionRect r, uint8_t ubRows, uint8_t ubCols);
// 1 when A and B are more than GAP nodes apart along the rows or along the columns.
uint8_t RectNoConnectJudge(RegionRect a, RegionRect b, uint8_t ubGap);
void PocketErrorTouchProc();
void NfDeleteBarRegion();
void DeleteSingleRegion();
void DeleteCameraSingleRegion();
void DeleteIncludeRect();
uint8_t MergeSingleRect();

// ---- Landscape grip ---------------------------------------------------------------------

// Grip state that edge rejection reads: the orientation level (0 portrait, 1 and 2 the two
// landscape orientations) and the two grip hold counters, A (level 2, regions along row 0)
// and B (level 1, regions along the exempt row). Edge rejection sets the level.
struct EdgeGripState {
  uint8_t ubLevel;
  uint8_t ubHoldA;
  uint8_t ubHoldB;
};
extern EdgeGripState gstEdgeGrip;
// Holds A or B at 20 frames while two or more regions lie along the long edge of the
// orientation with an area of 25 nodes or more spanning more than 9 columns.
void LandscapeHandleJudge();

// ---- Glove and dynamic level ------------------------------------------------------------

struct SensitiveCmd {
  uint16_t uwCurTouch;
  uint16_t uwCurSecond;
  uint16_t uwCmdTouch;   // commanded touch level (0 = none)
  uint16_t uwCmdSecond;  // commanded second level
};
extern SensitiveCmd gstSensitiveCmd;
extern uint8_t gstDynamicLevel;
uint16_t ConfigTouchLevel();
void GloveTouchDetect();
void DynamicLevelInit();
// The self peak counts of the shadow stage alone, and the bounding rectangle it keeps.
void RegionSearchTrx();
extern uint32_t guiRegionBoundRect;
// Regions that lie still and weak inside a steady slot's grown rectangle: bit i of the
// blocker mask (they never block a side growth) and the slot's seed state 1. Stillness is
// judged on the frame's own diff (NOW) against the previous frame's.
void RegionMarkBlockers(const RegionAcquireInput& in, const int16_t* pswNow);
// Clean-up absorption: a region with no later region within two nodes takes the unlabelled
// nodes of its rectangle at or above the merge level.
void RegionAbsorbNodes(const RegionAcquireInput& in);
// Clean-up side growth: in passes until nothing moves, each side of a region (not one a slot
// holds) steps out by one node when the line beyond it holds no other region's node and
// some of its nodes at or above the merge level fall off from the region's labelled nodes
// just inside; those nodes take the region's label. A side never grows into another
// region's rectangle (regions in the blocker mask aside).
void RegionGrowSides(RegionAcquireInput& in);
// Split of merged regions (fewer than 11 present): a region at least 5 by 3 whose grown
// rectangle holds the last rectangles of two present pairing slots, or of one clearly
// smaller slot, and that lies still against the previous frame (NOW is this frame's own
// diff), is split into those rectangles; the second part takes the first free index after
// the region. The caller compacts afterwards.
void RegionSplitMerged(RegionAcquireInput& in, const int16_t* pswNow);
