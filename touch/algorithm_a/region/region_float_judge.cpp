// Floating-finger judgement. A finger on an ungrounded device couples weakly: its diff
// shows a small positive peak in a strong negative ring, it splits into several regions,
// and two fingers can merge into one. Once per frame after region acquisition this stage
// keeps the floating counter (with hysteresis), measures the main region, rebuilds the
// floating-region record table from the frame's regions, judges every candidate, and
// collapses the frame's regions into one when a large conductive plate lies on the panel.
//
// Design where the rules were ours to choose:
// - Candidate records: a record gets the row run r and column run c of the marked lines at
//   index 4 r + c, so each of the at most 4 x 4 runs has a record of its own.
// - A profile valley also counts as usable when its value is at most thresholds byte 12
//   percent of the smaller of its two peaks and that peak reaches thresholds byte 13: two
//   peaks with a valley that deep are two fingers, one peak stays one candidate. Bytes
//   14-19 of the thresholds are loaded but not used.
// - Record byte 7 (exempt from the ring balance test, and opening the ring judgement on
//   grids of more than 30 rows): the record touches a grid border, where a finger's ring
//   is one-sided by nature.
// - Record byte 6: 0 with fewer than two kept regions inside; 2 when two or more occupied
//   pairing slots have their rectangles inside the record (the touches are known as
//   separate); else 1.
// - Record byte 10 names the judgement history entry (last frame's record) that covers at
//   least half of the record, the first in index order, 255 when none; byte 17 marks a
//   record whose class came from the ring judgement of the judged box.
// - Large-copper evidence on the main rectangle C: C at least 5 x 5 nodes; the spread
//   (largest minus smallest node inside C) at most 149; the largest node of each of the
//   four lines just outside C below 101 (a line beyond the grid counts 0); and the balance
//   difference - the larger of |top - bottom| and |left - right| half sums, in percent of
//   the total - below thresholds byte 20. A plate is broad, flat and ends sharply; a
//   finger is neither flat nor large, a palm bleeds into its surroundings.
#include <algorithm>
#include <cstring>

#include "coord_records.h"
#include "region.h"
#include "region_float.h"
#include "region_lib.h"
#include "region_proc.h"

FloatSelfProc gstFloatSelfProc;
FloatJudgeHistory gastFloatJudgeHistory[kFloatRecordMax];
uint16_t gstFloatOutPutCnt[4];
uint8_t gubLargeCopperCnt;
uint8_t gaubFloatPresenceAge[kRegionMax];

namespace {

constexpr uint8_t kNone = 255;

uint16_t RecU16(const FloatRegionRecord& r, uint32_t at) {
  const uint8_t* b = reinterpret_cast<const uint8_t*>(&r);
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
void SetRecU16(FloatRegionRecord& r, uint32_t at, uint16_t v) {
  uint8_t* b = reinterpret_cast<uint8_t*>(&r);
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

bool Empty(const FloatRegionRecord& r) { return RegionRectWord(r.stRect) == 0; }
int32_t Height(RegionRect r) { return r.ubRowEnd - r.ubRowStart + 1; }
int32_t Width(RegionRect r) { return r.ubColEnd - r.ubColStart + 1; }
RegionRect Union(RegionRect a, RegionRect b) {
  return RegionRect{std::min(a.ubRowStart, b.ubRowStart), std::max(a.ubRowEnd, b.ubRowEnd),
                    std::min(a.ubColStart, b.ubColStart), std::max(a.ubColEnd, b.ubColEnd)};
}
bool Overlap(RegionRect a, RegionRect b) { return CalcRectCoverSize(a, b) != 0; }

// Per-call view of the input.
struct Ctx {
  FloatJudgeInput& in;
  RegionGrid g;
  uint8_t n;  // regions considered (count, at most 12)
  // A region whose rectangle does not lie on the grid takes no part in the judgement.
  bool Kept(uint8_t i) const { return in.puwKeep[i] != 0 && RectValidOn(in.pstRect[i], in.ubRows, in.ubCols); }
  RegionRect Rect(uint8_t i) const { return in.pstRect[i]; }
};

// Kept regions lying wholly inside R: count, first, last and the keep extremes.
struct Inside {
  uint8_t ubNum = 0;
  uint8_t ubFirst = kNone;
  uint8_t ubLast = kNone;
  uint16_t uwMax = 0;
  uint16_t uwMin = 65535;
};
Inside RegionsInside(const Ctx& x, RegionRect R) {
  Inside s;
  for (uint8_t i = 0; i < x.n; ++i) {
    if (!x.Kept(i) || !RectInside(x.Rect(i), R)) continue;
    ++s.ubNum;
    if (s.ubFirst == kNone) s.ubFirst = i;
    s.ubLast = i;
    s.uwMax = std::max(s.uwMax, x.in.puwKeep[i]);
    s.uwMin = std::min(s.uwMin, x.in.puwKeep[i]);
  }
  return s;
}

// ---- Step 3: floating counter --------------------------------------------------------------

void CountFloating(Ctx& x) {
  FloatJudgeInput& in = x.in;
  const uint8_t* cfg = gstFloatSelfCfg.aubData;
  uint8_t c = in.ubFloatCnt;
  if (in.ubForced != 0) {
    in.ubFloatFlag = 1;
    in.ubFloatCnt = 250;
    return;
  }
  const RegionRect M = in.stMainRect;
  const bool boMainValid = RectValidOn(M, in.ubRows, in.ubCols);
  if (boMainValid) {
    in.ubMainRowSpan = static_cast<uint8_t>(Height(M));
    in.ubMainColSpan = static_cast<uint8_t>(Width(M));
  }
  const int32_t L = c > 10 ? 750 : (cfg[0] | (cfg[1] << 8));
  const int32_t S = (cfg[2] | (cfg[3] << 8)) + (c >= 11 ? 60 : 0);
  bool boMaxIn = false;
  const uint16_t N = static_cast<uint16_t>(x.g.Nodes());
  if (in.pswDiff != nullptr && N != 0 && boMainValid) {
    LibAndrStatisticS16(in.pswDiff, N);
    const int16_t* p = static_cast<const int16_t*>(LibAndrGetMaxDataAddr());
    if (p != nullptr) {
      const int32_t at = static_cast<int32_t>(p - in.pswDiff);
      const int32_t r = at / in.ubCols, col = at % in.ubCols;
      boMaxIn = r >= M.ubRowStart && r <= M.ubRowEnd && col >= M.ubColStart && col <= M.ubColEnd;
    }
  }
  int32_t e = 0;
  const bool boSelfOk = in.pswSelfStat != nullptr && in.pswSelfStat[1] < L && in.pswSelfStat[3] < L;
  if (in.ubSelfTestEn != 0 && in.swDiffMin <= -36 && boSelfOk) {
    if (!boMaxIn) {
      e = 0;
    } else if ((in.ubMainColSpan > 4 || in.ubMainRowSpan >= 5) && in.ubCount >= 3) {
      e = 1;
    } else {
      e = in.ubTouchNum == 1 ? 1 : 0;
    }
  }
  const bool e2 = in.swHalfThr + in.swDiffMin < -10 && boMaxIn;
  const bool boUp = in.ubHold == 0 && ((in.swDiffMax + in.swDiffMin <= S && e == 1) ||
                                       (in.swDiffMin + in.swDiffMax / 6 < 0 && (e == 1 || e2)));
  if (boUp) {
    if (c > 10) {
      c = 250;
      in.ubFloatFlag = 1;
    } else {
      ++c;
    }
  } else {
    if (c != 0 && in.ubTouchNum == 0) --c;
    if (c >= 12) in.ubFloatFlag = 1;
  }
  in.ubFloatCnt = c;
}

void AdvanceOutputCounters(uint8_t t) {
  const bool cond[4] = {t == 1, t == 2, t < 3, t > 1};
  for (int i = 0; i < 4; ++i) {
    gstFloatOutPutCnt[i] = (cond[i] && gstFloatOutPutCnt[i] < 65535) ? static_cast<uint16_t>(gstFloatOutPutCnt[i] + 1) : 0;
  }
}

// ---- Step 5: candidate table ---------------------------------------------------------------

struct Run {
  uint8_t a, b;
};
uint8_t Runs(const bool* mark, uint8_t n, Run* out) {
  uint8_t k = 0;
  for (uint8_t i = 0; i < n;) {
    if (!mark[i]) {
      ++i;
      continue;
    }
    uint8_t j = i;
    while (j + 1 < n && mark[j + 1]) ++j;
    if (k < 4) out[k++] = Run{i, j};  // a fifth run is ignored
    i = static_cast<uint8_t>(j + 1);
  }
  return k;
}

void BuildCandidates(const Ctx& x) {
  bool rows[256] = {}, cols[256] = {};
  for (uint8_t i = 0; i < x.n; ++i) {
    if (!x.Kept(i)) continue;
    const RegionRect r = RegionRectClip(x.Rect(i), x.in.ubRows, x.in.ubCols);
    for (int32_t k = r.ubRowStart; k <= r.ubRowEnd; ++k) rows[k] = true;
    for (int32_t k = r.ubColStart; k <= r.ubColEnd; ++k) cols[k] = true;
  }
  Run rr[4], cr[4];
  const uint8_t nr = Runs(rows, x.in.ubRows, rr);
  const uint8_t nc = Runs(cols, x.in.ubCols, cr);
  for (uint8_t i = 0; i < nr; ++i)
    for (uint8_t j = 0; j < nc; ++j)
      gastFloatRegionRecord[4 * i + j].stRect = RegionRect{rr[i].a, rr[i].b, cr[j].a, cr[j].b};
}

// ---- Step 6: candidate shaping -------------------------------------------------------------

// The line joins the box: no labelled node, largest diff at least 51.
bool LineFree(const Ctx& x, bool boRow, int32_t line, int32_t from, int32_t to) {
  int32_t m = INT32_MIN;
  for (int32_t i = from; i <= to; ++i) {
    const int32_t r = boRow ? line : i, c = boRow ? i : line;
    if (x.in.pubLabel != nullptr && x.in.pubLabel[r * x.in.ubCols + c] != kRegionLabelNone) return false;
    m = std::max<int32_t>(m, x.g.At(r, c));
  }
  return m >= 51;
}

RegionRect GrowToSignal(const Ctx& x, RegionRect B) {
  const int32_t R = x.in.ubRows, C = x.in.ubCols;
  auto colSpan = [&](RegionRect b) { return std::pair<int32_t, int32_t>{std::max(0, b.ubColStart - 1), std::min(C - 1, b.ubColEnd + 1)}; };
  auto rowSpan = [&](RegionRect b) { return std::pair<int32_t, int32_t>{std::max(0, b.ubRowStart - 1), std::min(R - 1, b.ubRowEnd + 1)}; };
  while (B.ubRowStart > 0 && LineFree(x, true, B.ubRowStart - 1, colSpan(B).first, colSpan(B).second)) --B.ubRowStart;
  while (B.ubRowEnd + 1 < R && LineFree(x, true, B.ubRowEnd + 1, colSpan(B).first, colSpan(B).second)) ++B.ubRowEnd;
  while (B.ubColStart > 0 && LineFree(x, false, B.ubColStart - 1, rowSpan(B).first, rowSpan(B).second)) --B.ubColStart;
  while (B.ubColEnd + 1 < C && LineFree(x, false, B.ubColEnd + 1, rowSpan(B).first, rowSpan(B).second)) ++B.ubColEnd;
  return B;
}

void ShapeCandidates(const Ctx& x, const uint32_t* steady, uint8_t ubSteady) {
  const uint8_t R = x.in.ubRows, C = x.in.ubCols;
  for (FloatRegionRecord& rec : gastFloatRegionRecord) {
    if (Empty(rec)) continue;
    bool boAny = false;
    RegionRect B{255, 0, 255, 0};
    for (uint8_t i = 0; i < x.n; ++i) {
      if (!x.Kept(i) || !RectInside(x.Rect(i), rec.stRect)) continue;
      boAny = true;
      bool boSteady = false;
      for (uint8_t k = 0; k < ubSteady; ++k) boSteady = boSteady || steady[k] == RegionRectWord(x.Rect(i));
      if (!boSteady) B = Union(B, x.Rect(i));
    }
    if (!boAny || B.ubRowStart > B.ubRowEnd) {
      memset(&rec, 0, sizeof(rec));
      continue;
    }
    const RegionRect B4 = RegionRectGrow(B, 4, R, C);
    bool boNear = false;
    for (uint8_t k = 0; k < ubSteady; ++k) boNear = boNear || Overlap(B4, RegionRectFromWord(steady[k]));
    rec.stRect = boNear ? B : GrowToSignal(x, B);
  }
  for (uint8_t i = 0; i + 1 < kFloatRecordMax; ++i) {
    FloatRegionRecord& a = gastFloatRegionRecord[i];
    if (Empty(a)) continue;
    for (uint8_t j = static_cast<uint8_t>(i + 1); j < kFloatRecordMax; ++j) {
      FloatRegionRecord& b = gastFloatRegionRecord[j];
      if (Empty(b) || !Overlap(RegionRectGrow(a.stRect, 1, R, C), b.stRect)) continue;
      a.stRect = Union(a.stRect, b.stRect);
      memset(&b, 0, sizeof(b));
      j = i;  // restart the scan of later records
    }
  }
  uint8_t k = 0;
  for (FloatRegionRecord& rec : gastFloatRegionRecord) {
    if (k >= ubSteady) break;
    if (!Empty(rec)) continue;
    rec.stRect = RegionRectClip(RegionRectFromWord(steady[k++]), R, C);
    rec.aubWork[kFloatRecSteady] = 1;
  }
}

// ---- Step 7: candidate judgement -----------------------------------------------------------

uint8_t FirstEmpty() {
  for (uint8_t i = 0; i < kFloatRecordMax; ++i)
    if (Empty(gastFloatRegionRecord[i])) return i;
  return kNone;
}

// A valley that 7.2 may use to split the candidate.
bool ValleyUsable(const Ctx& x, const ProfileValley& v, uint8_t ubQuiet, int32_t span, const uint8_t* coverage) {
  if (v.ubValleyIdx == kNone) return false;
  if (ubQuiet != 0) return true;
  const FloatJudgeThr& t = gstFloatJudgeThr;
  const int32_t left = v.uwLeftPeak, right = v.uwRightPeak;
  const int32_t smaller = std::min(left, right);
  if (smaller >= t.aubCandidate[1] && v.uwValley * 100 <= smaller * t.aubCandidate[0]) return true;
  if (v.uwValley == 0 && span >= 7) return true;
  const int32_t thr2 = 2 * x.in.uwNodeThr;
  const bool boIgnore = (x.in.ubFloatCnt != 0 && coverage[v.ubValleyIdx] != 1) || thr2 <= v.uwValley ||
                        thr2 + v.uwValley >= smaller;
  return !boIgnore;
}

void SplitCandidates(const Ctx& x) {
  bool done[kFloatRecordMax] = {};
  // Every split takes an empty record, so there are at most as many passes as records.
  for (uint8_t ubPass = 0; ubPass <= kFloatRecordMax; ++ubPass) {
    if (FirstEmpty() == kNone) return;
    uint8_t rowCover[256] = {}, colCover[256] = {};
    for (const FloatRegionRecord& rec : gastFloatRegionRecord) {
      if (Empty(rec)) continue;
      for (int32_t r = rec.stRect.ubRowStart; r <= rec.stRect.ubRowEnd; ++r) ++rowCover[r];
      for (int32_t c = rec.stRect.ubColStart; c <= rec.stRect.ubColEnd; ++c) ++colCover[c];
    }
    bool boSplit = false;
    for (uint8_t i = 0; i < kFloatRecordMax && !boSplit; ++i) {
      FloatRegionRecord& rec = gastFloatRegionRecord[i];
      if (Empty(rec) || done[i]) continue;
      done[i] = true;
      const RegionRect R = rec.stRect;
      if (Height(R) > 12 || Width(R) > 12) {
        rec.ubExclude = 1;
        continue;
      }
      CandidateProfiles cp{};
      cp.uiRect = RegionRectWord(R);
      AnalyseCandidateProfiles(x.in.pswDiff, x.in.ubRows, x.in.ubCols, &cp);
      bool boRow = ValleyUsable(x, cp.stRow, cp.ubRowQuiet, Height(R), rowCover);
      bool boCol = false;
      if (!boRow) boCol = ValleyUsable(x, cp.stCol, cp.ubColQuiet, Width(R), colCover);
      if (!boRow && !boCol) continue;
      const int32_t v = boRow ? cp.stRow.ubValleyIdx : cp.stCol.ubValleyIdx;
      RegionRect lo{255, 0, 255, 0}, hi{255, 0, 255, 0};
      bool boLo = false, boHi = false;
      for (uint8_t k = 0; k < x.n; ++k) {
        if (!x.Kept(k) || !RectInside(x.Rect(k), R)) continue;
        const RegionRect q = x.Rect(k);
        const int32_t s = boRow ? q.ubRowStart + q.ubRowEnd : q.ubColStart + q.ubColEnd;
        if (s >= 2 * v) {
          hi = Union(hi, q);
          boHi = true;
        } else {
          lo = Union(lo, q);
          boLo = true;
        }
      }
      // A half at the one node (0, 0) packs to the free-record word: it could not hold a
      // record, so such a split is not made.
      if (!boLo || !boHi || RegionRectWord(lo) == 0 || RegionRectWord(hi) == 0) continue;
      const uint8_t j = FirstEmpty();
      rec.stRect = lo;
      gastFloatRegionRecord[j] = FloatRegionRecord{};
      gastFloatRegionRecord[j].stRect = hi;
      done[i] = false;
      done[j] = false;
      boSplit = true;
    }
    if (!boSplit) return;
  }
}

void FirstPassFacts(const Ctx& x) {
  uint8_t ubAreas = 0;
  for (uint8_t i = 0; i < kFloatRecordMax; ++i) {
    FloatRegionRecord& rec = gastFloatRegionRecord[i];
    if (Empty(rec)) continue;
    ++ubAreas;
    const RegionRect R = rec.stRect;
    const uint32_t A = static_cast<uint32_t>(Height(R) * Width(R));
    rec.ubSideCode = kNone;
    for (uint8_t k = 0; k < kFloatRecordMax; ++k) {
      const RegionRect h = gastFloatJudgeHistory[k].stRect;
      if (RegionRectWord(h) == 0 || 2 * CalcRectCoverSize(h, R) < A) continue;
      rec.ubSideCode = k;
      break;
    }
    rec.ubStable = 1;
    for (int32_t r = R.ubRowStart; r <= R.ubRowEnd && rec.ubStable != 0; ++r) {
      for (int32_t c = R.ubColStart; c <= R.ubColEnd; ++c) {
        const int32_t second = (x.in.pswSecond != nullptr && x.g.In(r, c)) ? x.in.pswSecond[r * x.in.ubCols + c] : 0;
        const int32_t d = x.g.At(r, c) - second;
        if (d > 25 || d < -25) {
          rec.ubStable = 0;
          break;
        }
      }
    }
    const Inside s = RegionsInside(x, R);
    rec.ubInsideNum = s.ubNum;
    SetRecU16(rec, 18, s.ubNum != 0 ? s.uwMax : 0);
    SetRecU16(rec, 20, s.ubNum != 0 ? s.uwMin : 65535);
    uint8_t ubCover = 0;
    for (uint8_t k = 0; k < x.n; ++k) {
      if (x.Kept(k) && 2 * CalcRectCoverSize(x.Rect(k), R) >= A) ++ubCover;
    }
    rec.ubCoverNum = ubCover;
    if (ubCover == 0 && s.ubNum >= 2 && x.in.ubFloatFlag != 0) x.in.ubSplitState = 1;
    const bool boBorder = R.ubRowStart == 0 || R.ubColStart == 0 || R.ubRowEnd + 1 >= x.in.ubRows ||
                          R.ubColEnd + 1 >= x.in.ubCols;
    rec.ubBalanceExempt = boBorder ? 1 : 0;
  }
  gubFloatAreaCnt = ubAreas;
}

// The judged box: R with each weak edge line beside a much stronger neighbour dropped.
RegionRect JudgedBox(const Ctx& x, RegionRect R) {
  const int32_t L = x.in.uwRefLevel;
  auto rowSum = [&](int32_t r, RegionRect b) {
    int32_t s = 0;
    for (int32_t c = b.ubColStart; c <= b.ubColEnd; ++c) s += std::abs(static_cast<int32_t>(x.g.At(r, c)));
    return s;
  };
  auto colSum = [&](int32_t c, RegionRect b) {
    int32_t s = 0;
    for (int32_t r = b.ubRowStart; r <= b.ubRowEnd; ++r) s += std::abs(static_cast<int32_t>(x.g.At(r, c)));
    return s;
  };
  RegionRect J = R;
  int32_t W = Width(J);
  if (Height(J) > 5) {
    const int32_t e = rowSum(J.ubRowStart, J), n = rowSum(J.ubRowStart + 1, J);
    if (n - e > 15 * W && e < L * W) ++J.ubRowStart;
  }
  if (Height(J) >= 6) {
    const int32_t e = rowSum(J.ubRowEnd, J), n = rowSum(J.ubRowEnd - 1, J);
    if (n - e > 15 * W && e < L * W) --J.ubRowEnd;
  }
  const int32_t H = Height(J);
  if (Width(J) > 5) {
    const int32_t e = colSum(J.ubColStart, J), n = colSum(J.ubColStart + 1, J);
    if (n - e > 15 * H && e < L * H) ++J.ubColStart;
  }
  W = Width(J);
  if (W >= 6) {
    const int32_t e = colSum(J.ubColEnd, J), n = colSum(J.ubColEnd - 1, J);
    if (n - e > 15 * H && e < L * H) --J.ubColEnd;
  }
  return J;
}

uint8_t RingOfBoxes(const Ctx& x, uint8_t k, RegionRect J, RegionRect R) {
  uint8_t c = JudgeFloatRing(x.in.ubCols, x.in.pswDiff, k, RegionRectWord(J));
  if (c == 0 && RegionRectWord(J) != RegionRectWord(R)) c = JudgeFloatRing(x.in.ubCols, x.in.pswDiff, k, RegionRectWord(R));
  return c;
}

uint8_t RowGate(const Ctx& x, uint8_t k, RegionRect J, RegionRect R) {
  if (x.in.ubRows < 30) return 0;
  if (x.in.ubRows == 30 || gastFloatRegionRecord[k].ubBalanceExempt != 0) return RingOfBoxes(x, k, J, R);
  return 0;
}

// Byte 6: how well the pairing slots already separate the regions of the record.
uint8_t PairScore(const Ctx& x, const FloatRegionRecord& rec) {
  if (rec.ubInsideNum < 2) return 0;
  uint8_t n = 0;
  for (uint8_t s = 0; s < kRegionMax && x.in.puwPairValue != nullptr && x.in.pstPairRect != nullptr; ++s) {
    if (x.in.puwPairValue[s] != 0 && RectInside(x.in.pstPairRect[s], rec.stRect)) ++n;
  }
  return n >= 2 ? 2 : 1;
}

bool SlotMatches(const Ctx& x, RegionRect F, uint16_t uwKeep) {
  for (uint8_t s = 0; s < kRegionMax; ++s) {
    if (x.in.puwPairValue[s] == 0 || !RectInside(x.in.pstPairRect[s], F)) continue;
    if (std::abs(static_cast<int32_t>(x.in.puwPairValue[s]) - uwKeep) <= 100) return true;
  }
  return false;
}

uint8_t ClassOf(const Ctx& x, uint8_t k) {
  FloatRegionRecord& rec = gastFloatRegionRecord[k];
  rec.ubExclude = 0;
  rec.aubWork[kFloatRecWork] = 0;
  const RegionRect R = rec.stRect;
  if (x.in.ubFloatCnt == 0 && x.in.ubCount == x.in.ubTouchNum) return 0;
  if (x.in.ubTouchNum <= x.in.ubCount && x.in.puwPairValue != nullptr && x.in.pstPairRect != nullptr) {
    FloatRegionRecord m{};
    if (MatchFloatRegionRecord(x.in.ubRows, x.in.ubCols, RegionRectWord(R), &m) != 0 && m.ubExclude == 0 &&
        m.ubInsideNum == 2 && m.ubShape != 2 && m.ubShape != 3) {
      const Inside s = RegionsInside(x, R);
      if (s.ubNum != 0 && SlotMatches(x, x.Rect(s.ubFirst), x.in.puwKeep[s.ubFirst]) &&
          SlotMatches(x, x.Rect(s.ubLast), x.in.puwKeep[s.ubLast])) {
        rec.ubExclude = 1;
        return 0;
      }
    }
  }
  const RegionRect J = JudgedBox(x, R);
  if (Height(J) < 5 || Height(J) > 10 || Width(J) < 5 || Width(J) > 10) return 0;
  uint8_t c;
  if (rec.ubInsideNum != 2 && rec.ubInsideNum != 3) {
    c = RingOfBoxes(x, k, J, R);
  } else {
    c = JudgeFloatSaddle(x.in, R, k);
    if (c == 255) c = RingOfBoxes(x, k, J, R);
    else if (c == 254) c = RowGate(x, k, J, R);
  }
  if (c != 0) rec.aubWork[kFloatRecWork] = 1;
  return c;
}

void SecondPass(Ctx& x) {
  bool boAny = false;
  for (uint8_t k = 0; k < kFloatRecordMax; ++k) {
    FloatRegionRecord& rec = gastFloatRegionRecord[k];
    if (Empty(rec)) continue;
    rec.ubRes6 = PairScore(x, rec);
    uint8_t ubShape = JudgeFloatBoxShape(&x.in, RegionRectWord(rec.stRect), k);
    const bool boHist = rec.ubStable != 0 && rec.ubSideCode < kFloatRecordMax;
    if (boHist) ubShape = std::max(ubShape, gastFloatJudgeHistory[rec.ubSideCode].ubShape);
    rec.ubShape = ubShape;
    uint8_t c = ClassOf(x, k);
    if (boHist) c = std::max(c, gastFloatJudgeHistory[rec.ubSideCode].ubClass);
    rec.ubClass = c;
    boAny = boAny || c != 0;
  }
  for (uint8_t k = 0; k < kFloatRecordMax; ++k) {
    const FloatRegionRecord& rec = gastFloatRegionRecord[k];
    FloatJudgeHistory& h = gastFloatJudgeHistory[k];
    h.stRect = rec.stRect;
    if (!Empty(rec)) {
      h.ubClass = rec.ubClass;
      h.ubShape = rec.ubShape;
    }
  }
  x.in.ubFloatFinger = boAny ? 1 : 0;
  if (x.in.ubFloatCnt == 0 && boAny) x.in.ubFloatCnt = 1;
}

// ---- Step 9: presence ages and the three-region path ----------------------------------------

void CutAgainstInner(Ctx& x, RegionRect M, bool boCols) {
  const uint8_t lim = boCols ? x.in.ubCols : x.in.ubRows;
  auto s0 = [&](RegionRect& r) -> uint8_t& { return boCols ? r.ubColStart : r.ubRowStart; };
  auto s1 = [&](RegionRect& r) -> uint8_t& { return boCols ? r.ubColEnd : r.ubRowEnd; };
  const uint8_t m0 = boCols ? M.ubColStart : M.ubRowStart;
  const uint8_t m1 = boCols ? M.ubColEnd : M.ubRowEnd;
  const int32_t span = boCols ? Width(M) : Height(M);
  uint8_t k = kNone;
  for (uint8_t i = 0; i < x.n && k == kNone; ++i) {
    RegionRect r = x.Rect(i);
    if (x.Kept(i) && s0(r) != m0 && s1(r) != m1) k = i;
  }
  if (k == kNone) return;
  RegionRect K = x.Rect(k);
  if (!(s0(K) >= 2 && span <= 10 && s1(K) + 3 <= lim)) return;
  int32_t ns = -1, ne = -1;
  for (uint8_t j = 0; j < x.n; ++j) {
    if (j == k || !x.Kept(j) || CalcRectCoverSize(x.Rect(j), K) < 2) continue;
    RegionRect& J = x.in.pstRect[j];
    if (s0(J) == m0) {
      s1(J) = static_cast<uint8_t>(m0 + 2);
      ns = m0 + 3;
    } else if (s1(J) == m1) {
      s0(J) = static_cast<uint8_t>(m1 - 2);
      ne = m1 - 3;
    }
  }
  if (ns >= 0 && ne >= 0 && ns <= ne) {
    s0(x.in.pstRect[k]) = static_cast<uint8_t>(ns);
    s1(x.in.pstRect[k]) = static_cast<uint8_t>(ne);
  }
}

void TrimAgainstInner(Ctx& x, RegionRect M, int32_t h, int32_t w) {
  uint8_t k = kNone;
  for (uint8_t i = 0; i < x.n && k == kNone; ++i) {
    const RegionRect r = x.Rect(i);
    if (!x.Kept(i)) continue;
    if ((r.ubColStart != M.ubColStart && r.ubColEnd != M.ubColEnd) ||
        (r.ubRowStart != M.ubRowStart && r.ubRowEnd != M.ubRowEnd))
      k = i;
  }
  if (k == kNone || h > 2 * w || w > 2 * h || std::max(h, w) > 12 || h == w) return;
  const bool boRows = h > w;
  for (uint8_t j = 0; j < x.n; ++j) {
    if (j == k || !x.Kept(j)) continue;
    const uint32_t ov = CalcRectCoverSize(x.Rect(j), x.Rect(k));
    if (ov < 2) continue;
    RegionRect& K = x.in.pstRect[k];
    RegionRect& J = x.in.pstRect[j];
    uint8_t& ks = boRows ? K.ubRowStart : K.ubColStart;
    uint8_t& ke = boRows ? K.ubRowEnd : K.ubColEnd;
    uint8_t& js = boRows ? J.ubRowStart : J.ubColStart;
    uint8_t& je = boRows ? J.ubRowEnd : J.ubColEnd;
    const int32_t kLen = ke - ks + 1, jLen = je - js + 1;
    if (js < ks) {
      if (kLen >= 3) ++ks;
      if (ov >= 6) je = static_cast<uint8_t>(ke - (jLen >= 4 ? 1 : 0));
    } else if (ke < je) {
      if (kLen >= 3) --ke;
      if (ov >= 6) js = static_cast<uint8_t>(ks + (jLen >= 4 ? 1 : 0));
    }
  }
}

void ThreeRegionPath(Ctx& x) {
  FloatJudgeInput& in = x.in;
  CoordPair& p = gstCoordPair;
  for (uint8_t s = 0; s < kRegionMax; ++s) {
    const bool boOcc = in.puwPairValue != nullptr && in.puwPairValue[s] != 0;
    gaubFloatPresenceAge[s] = boOcc ? static_cast<uint8_t>(gaubFloatPresenceAge[s] + 1) : 0;
  }
  p.ubLargeCopperMark = 0;
  if (in.ubCount == 3) {
    const RegionRect M = in.stMainRect;
    const int32_t h = Height(M), w = Width(M);
    bool boRun = true;
    if (in.ubBlock != 0 || in.ubCollapse != 0 || in.ubTwoPeak != 0) {
      p.ubLargeCopperCnt = 0;
      boRun = false;
    }
    if (boRun && gstFloatOutPutCnt[2] >= 16 && p.ubLargeCopperCnt == 0) boRun = false;
    if (boRun && (!RectValidOn(M, in.ubRows, in.ubCols) || h > 14 || w > 14 || h + w > 22 || gubFloatAreaCnt > 3))
      boRun = false;
    if (boRun && (((M.ubColStart == 0 || M.ubColEnd + 1 == in.ubCols) && w + 1 < h) ||
                  ((M.ubRowStart == 0 || M.ubRowEnd + 1 == in.ubRows) && h + 1 < w)))
      boRun = false;
    if (boRun && !(JudgeFloatBoxShape(&in, RegionRectWord(M), 255) == 4 || p.ubLargeCopperCnt > 15)) boRun = false;
    if (boRun) {
      p.ubLargeCopperMark = 1;
      if (w > 2 * h) CutAgainstInner(x, M, true);
      else if (h > 2 * w) CutAgainstInner(x, M, false);
      TrimAgainstInner(x, M, h, w);
    }
  }
  if (p.ubLargeCopperMark == 1 && p.ubLargeCopperCnt < 255) ++p.ubLargeCopperCnt;
}

// ---- Step 10: large copper -------------------------------------------------------------------

void Collapse(Ctx& x) {
  FloatJudgeInput& in = x.in;
  for (uint8_t i = 0; i < kRegionMax; ++i) in.puwKeep[i] = 0;
  in.ubCount = 1;
  in.pstRect[0] = in.stMainRect;
  in.puwKeep[0] = static_cast<uint16_t>(in.swDiffMax < 0 ? 0 : in.swDiffMax);
  const RegionRect M = RegionRectClip(in.stMainRect, in.ubRows, in.ubCols);
  for (int32_t r = M.ubRowStart; in.pubLabel != nullptr && r <= M.ubRowEnd; ++r) {
    for (int32_t c = M.ubColStart; c <= M.ubColEnd; ++c) {
      uint8_t& l = in.pubLabel[r * in.ubCols + c];
      if (l != kRegionLabelNone) l = 0;
    }
  }
  in.ubCollapse = 1;
}

void LargeCopper(Ctx& x) {
  FloatJudgeInput& in = x.in;
  const RegionRect C = in.stMainRect;
  if (!RectValidOn(C, in.ubRows, in.ubCols)) return;
  const int32_t h = Height(C), w = Width(C);
  if (JudgeLargeCopperEvidence(in, C)) {
    Collapse(x);
    if (in.ubTouchNum == 1 && std::max(h, w) >= 6 && gubLargeCopperCnt < 20) ++gubLargeCopperCnt;
    return;
  }
  const RegionRect P = in.pstPairRect != nullptr ? in.pstPairRect[0] : RegionRect{255, 255, 255, 255};
  const int32_t d = std::abs(Height(P) - h) + std::abs(Width(P) - w);
  if (P.ubRowStart > P.ubRowEnd || P.ubColStart > P.ubColEnd || d >= 5) gubLargeCopperCnt = 0;
  if (gubLargeCopperCnt >= 11 && gubFloatAreaCnt != 2) {
    Collapse(x);
    gubLargeCopperCnt = 1;
  } else {
    gubLargeCopperCnt = gubLargeCopperCnt < 10 ? 0 : static_cast<uint8_t>(gubLargeCopperCnt - 10);
  }
}

}  // namespace

uint16_t FloatRecordKeepMax(const FloatRegionRecord& r) { return RecU16(r, 18); }
uint16_t FloatRecordKeepMin(const FloatRegionRecord& r) { return RecU16(r, 20); }

bool JudgeLargeCopperEvidence(const FloatJudgeInput& in, RegionRect C) {
  if (in.pswDiff == nullptr || !RectValidOn(C, in.ubRows, in.ubCols)) return false;
  if (Height(C) < 5 || Width(C) < 5) return false;
  const RegionGrid g{in.pswDiff, in.ubRows, in.ubCols};
  int32_t lo = INT32_MAX, hi = INT32_MIN;
  int32_t top = 0, bottom = 0, left = 0, right = 0, total = 0;
  const int32_t rs = C.ubRowStart + C.ubRowEnd, cs = C.ubColStart + C.ubColEnd;
  for (int32_t r = C.ubRowStart; r <= C.ubRowEnd; ++r) {
    for (int32_t c = C.ubColStart; c <= C.ubColEnd; ++c) {
      const int32_t v = g.At(r, c);
      lo = std::min(lo, v);
      hi = std::max(hi, v);
      const int32_t p = v > 0 ? v : 0;
      total += p;
      if (2 * r < rs) top += p;
      if (2 * r > rs) bottom += p;
      if (2 * c < cs) left += p;
      if (2 * c > cs) right += p;
    }
  }
  if (hi - lo > 149 || total <= 0) return false;
  auto lineMax = [&](bool boRow, int32_t line, int32_t from, int32_t to) {
    int32_t m = 0;
    for (int32_t i = from; i <= to; ++i) m = std::max<int32_t>(m, boRow ? g.At(line, i) : g.At(i, line));
    return m;
  };
  if (lineMax(true, C.ubRowStart - 1, C.ubColStart, C.ubColEnd) >= 101 ||
      lineMax(true, C.ubRowEnd + 1, C.ubColStart, C.ubColEnd) >= 101 ||
      lineMax(false, C.ubColStart - 1, C.ubRowStart, C.ubRowEnd) >= 101 ||
      lineMax(false, C.ubColEnd + 1, C.ubRowStart, C.ubRowEnd) >= 101)
    return false;
  const int32_t bal = std::max(std::abs(top - bottom), std::abs(left - right)) * 100 / total;
  return bal < gstFloatJudgeThr.aubCandidate[8];
}

void RegionFloatPreJudge(FloatJudgeInput* pstIn) {
  if (pstIn == nullptr) return;
  FloatJudgeInput& in = *pstIn;
  FloatJudgeThrLoad();
  gubFloatAreaCnt = 0;
  in.ubCollapse = 0;
  in.ubElong = 0;
  in.ubFloatFlag = 0;
  in.ubMainRowSpan = 255;
  in.ubMainColSpan = 255;
  const bool boOff = (gstFloatSelfCfg.aubData[18] & 1u) != 0;
  // A grid the region maps cannot hold, or missing region arrays, are judged as no region.
  const bool boGrid = in.pswDiff != nullptr && in.pstRect != nullptr && in.puwKeep != nullptr && in.ubRows != 0 &&
                      in.ubCols != 0 && static_cast<uint32_t>(in.ubRows) * in.ubCols <= kRegionMaxNodes;
  if (in.ubCount == 0 || boOff || !boGrid) {
    in.ubFloatCnt = 0;
    memset(gstFloatOutPutCnt, 0, sizeof(gstFloatOutPutCnt));
    gubLargeCopperCnt = 0;
    gstCoordPair.ubLargeCopperCnt = 0;
    in.ubSplitState = 0;
    in.ubFloatFinger = 0;
    memset(gastFloatJudgeHistory, 0, sizeof(gastFloatJudgeHistory));
    return;
  }
  Ctx x{in, RegionGrid{in.pswDiff, in.ubRows, in.ubCols}, std::min<uint8_t>(in.ubCount, kRegionMax)};
  CountFloating(x);
  AdvanceOutputCounters(in.ubTouchNum);
  if (in.ubHold == 0 && in.ubFloatCnt != 0 && in.ubMainRowSpan != 255) {
    const int32_t R = in.ubMainRowSpan, C = in.ubMainColSpan;
    if (R <= 9 && C >= 10 && C + 3 >= 2 * R) in.ubElong = 1;
    else if (C <= 9 && R >= 10 && R + 3 >= 2 * C) in.ubElong = 2;
  }
  memset(gastFloatRegionRecord, 0, sizeof(gastFloatRegionRecord));
  in.ubSplitState = 0;
  in.ubFloatFinger = 0;
  BuildCandidates(x);
  uint32_t steady[kRegionMax];
  const uint8_t ubSteady = GetSteadyTrackRects(steady, nullptr);
  ShapeCandidates(x, steady, ubSteady);
  SplitCandidates(x);
  FirstPassFacts(x);
  if (in.ubNetEnable != 0) {
    bool boTrigger = gubFloatAreaCnt != 0;
    for (uint8_t s = 0; !boTrigger && in.puwPairValue != nullptr && in.pstPairRect != nullptr && s < kRegionMax; ++s) {
      if (in.puwPairValue[s] == 0) continue;
      const RegionRect g = RegionRectGrow(in.pstPairRect[s], 1, in.ubRows, in.ubCols);
      uint8_t n = 0;
      for (uint8_t i = 0; i < x.n; ++i) n = static_cast<uint8_t>(n + (x.Kept(i) && Overlap(g, x.Rect(i)) ? 1 : 0));
      boTrigger = n >= 2;
    }
    RunFloatNetSequence(in.pswDiff, in.puwKeep, in.pstRect, in.ubRows, in.ubCols, in.pvNetCache, boTrigger ? 1 : 0);
  }
  ThreeRegionPath(x);
  SecondPass(x);
  if (in.ubLargeCopperBlock == 0) LargeCopper(x);
}
