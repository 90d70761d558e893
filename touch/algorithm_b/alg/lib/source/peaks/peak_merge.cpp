// Peak merge. One finger can give two or more neighbouring peaks (a broad or flat contact,
// or a contact split by the negative signal of an ungrounded hand). Peaks are grouped when
// they are adjacent, or when a pair test finds that the ridge between them does not fall
// deep enough for two fingers; each group is then replaced by one peak at its diff-weighted
// centre. The pair test is tuned by the strength of the pair, by the touches of the
// previous frame the peaks continue, and by how strongly negative the frame is.
//
// Design of the parts of the pair test that are this module's own:
// - Compensation (charger disconnected, negative level 1 to 3). An ungrounded hand pulls
//   every line that crosses one of its touches negative, in proportion to that touch's
//   strength, and can so cut a valley into a single contact. Before the valleys are
//   measured, every node (t, c) of the pair's box is raised by (row maximum of row t +
//   column maximum of column c) times the level's scale (1: a sixth, 2: a quarter, 3: a
//   half). The maxima are taken only over lines at least 3 lines away from the box, so
//   the pair's own contact never feeds them; a maximum below 50 counts as 0. The box's
//   values are saved first and written back once the pair is decided.
// - Narrow ridge. Looked at for boxes 3 to 5 lines long along the pair's main axis (the
//   axis with the larger distance, Tx on a tie). Each line of the box across that axis
//   is measured by how many of its nodes lie above the ridge floor. The ridge is narrow
//   when every line holds at least one such node (the ridge is unbroken) and none is
//   filled from side to side (it is thinner than the box is wide). A narrow unbroken
//   ridge is what one finger dragged or pressed flat leaves between two maxima.
// - Path walk. The walk only ever steps towards the other peak: along Rx, along Tx, or
//   diagonally, so it stays inside the box and needs at most the larger distance in
//   steps. Of candidates with the same value the first in that order is taken.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "luma_env.h"
#include "luma_noise.h"
#include "luma_peak_filter.h"
#include "luma_peaks.h"

using namespace luma_peak;

extern "C" {
uint8_t g_stPeakMergeInfo[8];
uint8_t g_aucBasicflag[2];
uint8_t g_ucBasicPeakNum;
uint8_t g_aucBasicPeak[2 * LUMA_MAX_PEAKS];
uint16_t *pBasicPeakDiff;
uint8_t ucPeakMatchID[LUMA_MAX_PEAKS];
uint8_t m_ucTxTwoPeakIsBigDis;
uint8_t m_ucRxTwoPeakIsBigDis;
uint8_t m_ucAllPeakIsBigDis;
int32_t siSumCalc;
int32_t siSumMerge;
uint8_t s_aucPeakMergeGroup[LUMA_MAX_PEAKS];
uint8_t s_ucMergeNegLevel;
uint8_t s_ucMergeSelfWeakHold;
uint8_t s_ucMinPeakGap = 100;
}

namespace {

constexpr uint8_t kNoMatch = 0xFF;
constexpr uint8_t kWindow = 7;
constexpr int kBoxMax = 10;
constexpr uint8_t kTypeAdjacent = 1;
constexpr uint8_t kTypePairTest = 2;

int16_t Diff(int tx, int rx) {
  if (tx < 0 || rx < 0 || tx > 255 || rx > 255) return 0;
  return AppMcGetDiff(static_cast<uint8_t>(tx), static_cast<uint8_t>(rx));
}

uint8_t &MergeType() { return g_stPeakMergeInfo[2]; }
// The peak count after the merge is kept in the peak record's auxiliary byte; the pair
// test of the next frame reads it as the previous merged count.
uint8_t &MergedCount() { return g_stPeakData.ucPeakSearchAux; }
uint8_t SpreadClass() { return g_stPeakMergeInfo[5]; }
uint8_t LastPoints() { return g_stTouchData.ucLastPointNum; }
bool FloatingTrace() { return (g_stTraceInfo.usTraceFlag & LUMA_TRACE_FLOAT_MASK) == 0x1000; }
bool HoldRunning() { return ClassHold(1) != 0 || ClassHold(2) != 0; }

// A ungrounded-hand frame whose merged-peak line class still holds: the ridge between two
// fragments of one contact may sink lower than usual.
bool DeepFloatingFrame() {
  return HoldRunning() && g_stPeakData.ucLastOutPeakNum == 2 && g_stSysParam.ucChargeState == 0 &&
         g_stPeakData.ssMcMinDiff <= -131;
}

struct Box {
  int tx0, tx1, rx0, rx1;
  int Rows() const { return tx1 - tx0 + 1; }
  int Cols() const { return rx1 - rx0 + 1; }
};

struct Strength {
  uint16_t a;
  uint16_t b;
};

Strength StrengthRow(int avg, Strength previous) {
  if (avg > 800) return {11, 500};
  if (avg > 600) return {8, 250};
  if (avg > 450) return {6, 200};
  if (avg > 320) return {5, 120};
  if (avg > 200) return {4, 60};
  if (avg > 120) return {3, 10};
  if (avg > 60) return {2, 0};
  return previous;
}

// Saves the box's nodes and raises them by the compensation of the negative level; the
// destructor writes the saved values back.
class CompensatedBox {
 public:
  explicit CompensatedBox(const Box &box) : box_(box) {
    for (int t = box.tx0; t <= box.tx1; ++t) {
      for (int c = box.rx0; c <= box.rx1; ++c) saved_[t - box.tx0][c - box.rx0] = Diff(t, c);
    }
    const int divisor = Divisor();
    if (g_stSysParam.ucChargeState != 0 || divisor == 0) return;
    int row_max[kBoxMax] = {}, col_max[kBoxMax] = {};
    for (int t = box.tx0; t <= box.tx1; ++t) {
      int m = 0;
      for (int c = 0; c < RxNum(); ++c) {
        if (c <= box.rx0 - 3 || c >= box.rx1 + 3) m = std::max<int>(m, Diff(t, c));
      }
      row_max[t - box.tx0] = m < 50 ? 0 : m;
    }
    for (int c = box.rx0; c <= box.rx1; ++c) {
      int m = 0;
      for (int t = 0; t < TxNum(); ++t) {
        if (t <= box.tx0 - 3 || t >= box.tx1 + 3) m = std::max<int>(m, Diff(t, c));
      }
      col_max[c - box.rx0] = m < 50 ? 0 : m;
    }
    for (int t = box.tx0; t <= box.tx1; ++t) {
      for (int c = box.rx0; c <= box.rx1; ++c) {
        int16_t *node = AppMcGetDiffAddr(static_cast<uint8_t>(t), static_cast<uint8_t>(c));
        if (node == nullptr) continue;
        const int raised = *node + (row_max[t - box.tx0] + col_max[c - box.rx0]) / divisor;
        *node = static_cast<int16_t>(std::clamp(raised, -32768, 32767));
      }
    }
  }
  ~CompensatedBox() {
    for (int t = box_.tx0; t <= box_.tx1; ++t) {
      for (int c = box_.rx0; c <= box_.rx1; ++c) {
        int16_t *node = AppMcGetDiffAddr(static_cast<uint8_t>(t), static_cast<uint8_t>(c));
        if (node != nullptr) *node = saved_[t - box_.tx0][c - box_.rx0];
      }
    }
  }
  CompensatedBox(const CompensatedBox &) = delete;
  CompensatedBox &operator=(const CompensatedBox &) = delete;

 private:
  static int Divisor() {
    switch (s_ucMergeNegLevel) {
      case 1: return 6;
      case 2: return 4;
      case 3: return 2;
      default: return 0;
    }
  }
  Box box_;
  int16_t saved_[kBoxMax][kBoxMax] = {};
};

// The smallest, over the lines strictly inside the box along one axis, of the sum of the
// positive diffs of the line across the box; 32767 when no line lies inside.
int32_t Valley(const Box &box, bool along_tx) {
  int32_t least = 32767;
  const int from = along_tx ? box.tx0 : box.rx0, to = along_tx ? box.tx1 : box.rx1;
  for (int line = from + 1; line < to; ++line) {
    int32_t sum = 0;
    if (along_tx) {
      for (int c = box.rx0; c <= box.rx1; ++c) sum += std::max<int>(Diff(line, c), 0);
    } else {
      for (int t = box.tx0; t <= box.tx1; ++t) sum += std::max<int>(Diff(t, line), 0);
    }
    least = std::min(least, sum);
  }
  return least;
}

int32_t RaiseHalf(int32_t v) { return v + (v >> 1); }

// The pair test: 2 when the pair is to be merged, 0 otherwise.
uint8_t PairTest(LumaPeakPair &p, Strength strength, uint8_t count) {
  const LumaPeakData &pd = g_stPeakData;
  const int dtx = p.ucDeltaTx, drx = p.ucDeltaRx;
  const int steps = p.usPathSteps;
  Box box{std::min(p.ucTxA, p.ucTxB), std::max(p.ucTxA, p.ucTxB), std::min(p.ucRxA, p.ucRxB),
          std::max(p.ucRxA, p.ucRxB)};
  const Box pair_box = box;
  p.ucEdgeLine = 0;
  if (p.ucSameTx != 0) {
    if (p.ucTxA == 0 || p.ucTxA == TxNum() - 1) p.ucEdgeLine = 1;
    box.tx0 = std::max(box.tx0 - 1, 0);
    box.tx1 = std::min(box.tx1 + 1, TxNum() - 1);
  }
  if (p.ucSameRx != 0) {
    if (p.ucRxA == 0 || p.ucRxA == RxNum() - 1) p.ucEdgeLine = 1;
    box.rx0 = std::max(box.rx0 - 1, 0);
    box.rx1 = std::min(box.rx1 + 1, RxNum() - 1);
  }
  const int16_t floor = static_cast<int16_t>(std::max(120, std::min(p.ssDiffA, p.ssDiffB) / 4));
  const CompensatedBox compensated(box);

  const bool narrow =
      AppMergeRidgeIsNarrow(&p, static_cast<uint8_t>(box.tx0), static_cast<uint8_t>(box.tx1),
                            static_cast<uint8_t>(box.rx0), static_cast<uint8_t>(box.rx1), floor) != 0;
  const int32_t vr = box.Rows() >= 3 && p.ucSameTx == 0 ? Valley(box, true) : 32767;
  const int32_t vc = box.Cols() >= 3 && p.ucSameRx == 0 ? Valley(box, false) : 32767;

  int32_t a = strength.a;
  const bool both_first = p.ucTxA == 0 && p.ucTxB == 0;
  const bool both_last = p.ucTxA == TxNum() - 1 && p.ucTxB == TxNum() - 1;
  if (both_first || both_last) a = RaiseHalf(a);
  static constexpr int32_t kFactor[4] = {33, 39, 42, 45};
  int32_t f = kFactor[std::min<uint8_t>(s_ucMergeNegLevel, 3)];
  const bool water = AppIsWaterExist() != 0 && g_ucTypingMode == 0;
  const bool overload = g_ucFwAdcOverLoadFlag != 0 && g_usLikeNFNoiseFrame == 0 && dtx <= 2 && drx <= 2;
  const bool near_field = g_usLikeNFNoiseFrame != 0 && pd.ucPeakByte1228 == 2 && g_ucLastOutputPtCnt == 2;
  if (water || overload || near_field) {
    f = 100;
    if (overload || (dtx < 3 && drx < 3)) a /= 2;
  }
  const int32_t by_rows = box.Cols() != 0 ? vr / box.Cols() : 0;
  const int32_t by_cols = box.Rows() != 0 ? vc / box.Rows() : 0;
  int32_t calc = std::min(by_cols, by_rows) * f;
  const int32_t merge = a * (AppPeakNearDiffAvg(p.ucIdA, &p) + AppPeakNearDiffAvg(p.ucIdB, &p));

  const uint8_t ma = ucPeakMatchID[p.ucIdA], mb = ucPeakMatchID[p.ucIdB];
  const bool same_id = ma == mb && ma != kNoMatch;
  const int16_t min_ave = AppMinAveDiffInRangeP2P(static_cast<uint8_t>(pair_box.tx0), static_cast<uint8_t>(pair_box.tx1),
                                                  static_cast<uint8_t>(pair_box.rx0), static_cast<uint8_t>(pair_box.rx1));
  const int min_diff = pd.ssMcMinDiff;
  uint8_t type = 0;
  if (LastPoints() != 0 && ma != kNoMatch && mb != kNoMatch) {
    if (ma != mb) {
      if (min_ave < -99 || drx <= 2 * dtx) calc -= calc >> 1;
    } else {
      calc = RaiseHalf(calc);
      if ((narrow && pd.ucLastOutPeakNum == 1) || (pd.ucLastOutPeakNum == 2 && SpreadClass() != 0)) {
        calc = RaiseHalf(calc);
      } else if (AppIsGameMode() != 0 && steps <= 5) {
        calc = RaiseHalf(calc);
        if (pd.usMcOverCnt <= 24 && pd.ucLastOutPeakNum == 1 && min_diff >= -299) {
          type = kTypePairTest;
        } else {
          const int32_t q = min_diff > -300 ? calc / 4 : 0;
          if (pd.ucLastOutPeakNum == 1) calc = RaiseHalf(calc + q);
          else if (min_diff >= -299) calc += q;
        }
      }
      if (pd.ucScPosPeakMulValidFrm == 1 && pd.ucScPosPeakMul == 1 && steps <= 9) calc = RaiseHalf(calc);
      if (steps <= 9 && s_ucMergeNegLevel != 0) type = kTypePairTest;
    }
  }
  siSumCalc = calc;
  siSumMerge = merge;

  // 1. A ridge high enough against the peaks.
  if (calc > merge && (calc > 3000 || (calc >= 2001 && min_diff < -100) || same_id)) type = kTypePairTest;
  // 2. One touch last frame, in a negative frame, with no real valley between.
  if (type == 0 && same_id && s_ucMergeNegLevel != 0 && AppFindMinDiffInRangeP2P(&p) >= -49) type = kTypePairTest;
  // 3. One touch last frame: held apart while the self lines are strong.
  if (same_id) {
    if (!(min_ave < -199 || count < 4)) {
      if (pd.assScRxMax[1] > 800 || pd.assScRxMax[0] >= 1001) {
        s_ucMergeSelfWeakHold = 250;
      } else if (s_ucMergeSelfWeakHold == 0) {
        type = kTypePairTest;
      } else if (--s_ucMergeSelfWeakHold == 0) {
        type = kTypePairTest;
      }
      if (FloatingTrace()) type = kTypePairTest;
    }
    if (steps <= 3 && ((SpreadClass() == 2 && dtx <= 2 && drx <= 3) || (SpreadClass() == 1 && dtx <= 3 && drx < 3)))
      type = kTypePairTest;
  }
  // 4. New peaks on a panel whose self lines see one touch.
  if (ma == kNoMatch && mb == kNoMatch && pd.ucScRxPosPeakNum <= 1 && pd.ucScTxPosPeakNum <= 1 &&
      MergedCount() <= 1 && steps <= 5 && calc + calc / 4 > merge)
    type = kTypePairTest;
  // 5. A very strong self signal under one touch.
  if (min_diff >= -299 && pd.assScRxMax[1] >= 2001 && type == 0 && same_id && steps < kWindow && calc > merge / 2 &&
      pd.ucLastOutPeakNum < 2)
    type = kTypePairTest;
  // 6. One touch output last frame and no self valley between the two.
  if (g_ucLastOutputPtCnt == 1 && type == 0 && dtx <= 3 && drx <= 1) {
    if (box.Rows() < 2) {
      type = kTypePairTest;
    } else {
      int m = 32767;
      for (int t = box.tx0 + 1; t < box.tx1; ++t) m = std::min<int>(m, ScTx1(t));
      if (m >= 601 && (ScTx1(box.tx0) + ScTx1(box.tx1)) / 2 < m) type = kTypePairTest;
    }
  }
  // 7. An ungrounded hand whose fragments lie along one line.
  if (DeepFloatingFrame()) {
    if (calc > merge) type = kTypePairTest;
    if (same_id && drx < 5 &&
        ((pd.ucScRxPosPeakNum == 1 && ClassHold(2) != 0 && dtx <= 4) ||
         (pd.ucScTxPosPeakNum == 1 && ClassHold(1) != 0 && dtx < 5)))
      type = kTypePairTest;
  }
  return type;
}

}  // namespace

extern "C" {

uint8_t AppPeakIDMatch(uint8_t peak) {
  if (LastPoints() == 0 || peak >= g_stPeakData.ucMcPosPeakNum || peak >= LUMA_MAX_PEAKS ||
      g_stFwConfig.ucMaxPointNum == 0)
    return kNoMatch;
  const int tx = PeakTx(peak), rx = PeakRx(peak);
  uint8_t best = kNoMatch, best_score = 255;
  const uint8_t ranges = std::min<uint8_t>(g_stFwConfig.ucMaxPointNum, LUMA_MAX_POINTS);
  for (uint8_t k = 0; k < ranges; ++k) {
    const uint8_t *r = structForecastPointRange[k];
    if (r[0] == 255 || tx < r[5] || tx > r[3] || rx < r[6] || rx > r[4]) continue;
    const int dt = std::abs(tx - r[1]), dr = std::abs(rx - r[2]);
    const uint8_t score = dt > 7 || dr > 7 ? 255 : static_cast<uint8_t>(16 * std::max(dt, dr) + std::min(dt, dr));
    if (score < best_score) {
      best_score = score;
      best = k;
      if (score == 0) break;
    }
  }
  return best;
}

void AppInitPeakMerge(void) {
  g_stPeakMergeInfo[1] = kWindow;
  g_ucBasicPeakNum = 0;
  g_aucBasicflag[0] = 0;
  g_aucBasicflag[1] = 0;
  const uint8_t n = std::min<uint8_t>(g_stFwConfig.ucMaxPeakNum, LUMA_MAX_PEAKS);
  std::memset(s_aucPeakMergeGroup, 0, n);
  std::memset(g_aucBasicPeak, 0, 2 * n);
}

void AppMergeToNewID(uint8_t a, uint8_t b, uint8_t count) {
  const uint8_t type = MergeType();
  if (type == 0 || a >= LUMA_MAX_PEAKS || b >= LUMA_MAX_PEAKS) return;
  if (type <= 2 && g_aucBasicflag[type - 1] < 255) ++g_aucBasicflag[type - 1];
  const uint8_t ga = s_aucPeakMergeGroup[a], gb = s_aucPeakMergeGroup[b];
  if (gb == 0) {
    s_aucPeakMergeGroup[b] = ga;
    return;
  }
  const uint8_t joined = std::min(ga, gb);
  count = std::min<uint8_t>(count, LUMA_MAX_PEAKS);
  for (uint8_t k = 0; k < count; ++k) {
    if (s_aucPeakMergeGroup[k] == ga || s_aucPeakMergeGroup[k] == gb) s_aucPeakMergeGroup[k] = joined;
  }
}

uint16_t AppCalConnectedPathPeakOtoC(const LumaPeakPair *pair) {
  const bool a_first = pair->ucRxA <= pair->ucRxB;
  int t = a_first ? pair->ucTxA : pair->ucTxB, c = a_first ? pair->ucRxA : pair->ucRxB;
  const int tt = a_first ? pair->ucTxB : pair->ucTxA, tc = a_first ? pair->ucRxB : pair->ucRxA;
  const int floor = DeepFloatingFrame() ? 35 : 50;
  for (uint16_t steps = 1; steps <= 15; ++steps) {
    const int st = tt > t ? 1 : (tt < t ? -1 : 0);
    const bool along_rx = c < tc;
    int best_t = -1, best_c = -1, best = -32769;
    auto consider = [&](int nt, int nc) {
      const int v = Diff(nt, nc);
      if (v > best) {
        best = v;
        best_t = nt;
        best_c = nc;
      }
    };
    if (along_rx) consider(t, c + 1);
    if (st != 0) consider(t + st, c);
    if (along_rx && st != 0) consider(t + st, c + 1);
    if (best_t < 0 || best < floor) return 16;
    t = best_t;
    c = best_c;
    if (t == tt && c == tc) return steps;
  }
  return 15;
}

int16_t AppFindMinDiffInRangeP2P(const LumaPeakPair *pair) {
  if (LastPoints() != 2) return -1000;
  const int dtx = pair->ucDeltaTx, drx = pair->ucDeltaRx;
  const int t0 = std::min(pair->ucTxA, pair->ucTxB), t1 = std::max(pair->ucTxA, pair->ucTxB);
  const int r0 = std::min(pair->ucRxA, pair->ucRxB), r1 = std::max(pair->ucRxA, pair->ucRxB);
  int least = 32767;
  if (dtx < 3 && dtx + 2 <= drx) {
    for (int t = t0; t <= t1; ++t) {
      for (int c = r0 + 1; c < r1; ++c) least = std::min<int>(least, Diff(t, c));
    }
    return static_cast<int16_t>(least);
  }
  if (drx < 3 && drx + 2 <= dtx) {
    for (int t = t0 + 1; t < t1; ++t) {
      for (int c = r0; c <= r1; ++c) least = std::min<int>(least, Diff(t, c));
    }
    return static_cast<int16_t>(least);
  }
  return -1000;
}

int16_t AppMinAveDiffInRangeP2P(uint8_t tx0, uint8_t tx1, uint8_t rx0, uint8_t rx1) {
  const int dt = tx1 - tx0, dr = rx1 - rx0;
  if (dr > 4 || dt > 4 || s_ucMergeNegLevel == 0 || LastPoints() < 3 || g_stPeakData.ssMcMaxDiff > 700) return -1000;
  int least = 32767;
  if (dt < dr && dr >= 3 && m_ucTxTwoPeakIsBigDis == 1 && m_ucRxTwoPeakIsBigDis == 0) {
    for (int c = rx0 + 1; c < rx1; ++c) {
      int32_t sum = 0;
      for (int t = tx0; t <= tx1; ++t) sum += Diff(t, c);
      least = std::min<int>(least, sum / (dt + 1));
    }
    return static_cast<int16_t>(least);
  }
  if (dt >= 3 && dt > dr && m_ucTxTwoPeakIsBigDis == 0 && m_ucRxTwoPeakIsBigDis == 1) {
    for (int t = tx0 + 1; t < tx1; ++t) {
      int32_t sum = 0;
      for (int c = rx0; c <= rx1; ++c) sum += Diff(t, c);
      least = std::min<int>(least, sum / (dr + 1));
    }
    return static_cast<int16_t>(least);
  }
  return -1000;
}

uint8_t AppMergeRidgeIsNarrow(const LumaPeakPair *pair, uint8_t tx0, uint8_t tx1, uint8_t rx0, uint8_t rx1,
                              int16_t floor) {
  if (tx1 < tx0 || rx1 < rx0) return 0;
  const bool main_tx = pair->ucDeltaTx >= pair->ucDeltaRx;
  const int length = main_tx ? tx1 - tx0 + 1 : rx1 - rx0 + 1;
  const int width = main_tx ? rx1 - rx0 + 1 : tx1 - tx0 + 1;
  if (length < 3 || length > 5) return 0;
  for (int i = 0; i < length; ++i) {
    int extent = 0;
    for (int j = 0; j < width; ++j) {
      const int v = main_tx ? Diff(tx0 + i, rx0 + j) : Diff(tx0 + j, rx0 + i);
      extent += v > floor;
    }
    if (extent == 0 || extent >= width) return 0;
  }
  return 1;
}

void AppMcPeakPairMerge(uint8_t flags) {
  AppInitPeakMerge();
  const uint8_t n = PeakNum();
  if (n < 2) return;
  Strength previous{2, 0};
  for (uint8_t i = 0; i < n; ++i) {
    if (i == 0 || s_aucPeakMergeGroup[i] == 0) s_aucPeakMergeGroup[i] = static_cast<uint8_t>(i + 1);
    if (flags == 0) continue;
    for (uint8_t j = static_cast<uint8_t>(i + 1); j < n; ++j) {
      LumaPeakPair p{};
      p.ucTxA = PeakTx(i);
      p.ucRxA = PeakRx(i);
      p.ucTxB = PeakTx(j);
      p.ucRxB = PeakRx(j);
      const int dtx = std::abs(p.ucTxA - p.ucTxB), drx = std::abs(p.ucRxA - p.ucRxB);
      if (dtx >= kWindow || drx >= kWindow) continue;
      p.ucDeltaTx = static_cast<uint8_t>(dtx);
      p.ucDeltaRx = static_cast<uint8_t>(drx);
      p.ucIdA = i;
      p.ucIdB = j;
      p.ucSameTx = dtx == 0;
      p.ucSameRx = drx == 0;
      p.ssDiffA = AppMcPeakGetDiff(i);
      p.ssDiffB = AppMcPeakGetDiff(j);
      p.ssAvgDiff = static_cast<int16_t>((p.ssDiffA + p.ssDiffB) / 2);
      p.usPathSteps = AppCalConnectedPathPeakOtoC(&p);
      previous = StrengthRow(p.ssAvgDiff, previous);
      p.ausStrength[0] = previous.a;
      p.ausStrength[1] = previous.b;
      MergeType() = 0;
      const uint8_t ma = ucPeakMatchID[i], mb = ucPeakMatchID[j];
      if ((flags & LUMA_MERGE_ADJACENT) != 0 && dtx <= 1 && drx <= 1) {
        // Two touches of the previous frame stay apart when all peaks lie close together.
        const bool kept_apart = m_ucAllPeakIsBigDis == 1 && LastPoints() >= 2 && ma != kNoMatch && mb != kNoMatch &&
                                ma != mb;
        if (!kept_apart) MergeType() = kTypeAdjacent;
      } else if ((flags & LUMA_MERGE_PAIR_TEST) != 0 && (dtx > 1 || drx > 1)) {
        MergeType() = PairTest(p, previous, n);
        if (MergeType() == kTypePairTest && ma == mb) MergeType() = kTypeAdjacent;
      }
      AppMergeToNewID(i, j, n);
    }
  }
}

void AppDoPeakMerge(void) {
  LumaPeakData &pd = g_stPeakData;
  const uint8_t n = PeakNum();
  uint8_t groups = 0;
  for (uint8_t k = 0; k < n; ++k) groups = std::max(groups, s_aucPeakMergeGroup[k]);
  if (groups == 0) {
    g_ucBasicPeakNum = 0;
    pd.ucMcPosPeakNum = 0;
    return;
  }
  uint8_t pos[2 * LUMA_MAX_PEAKS], range[5 * LUMA_MAX_PEAKS];
  int16_t diff[LUMA_MAX_PEAKS];
  std::memcpy(pos, pd.aucMcPeakPos, sizeof(pos));
  std::memcpy(range, pd.aucMcPeakRange, sizeof(range));
  for (uint8_t k = 0; k < n; ++k) diff[k] = AppMcPeakGetDiff(k);
  uint16_t largest[LUMA_MAX_PEAKS] = {};
  uint8_t merged = 0;
  for (uint8_t g = 1; g <= groups && merged < LUMA_MAX_PEAKS; ++g) {
    int32_t s = 0, x = 0, y = 0;
    int p = 0;
    bool any = false;
    uint8_t *out = &pd.aucMcPeakRange[5 * merged];
    uint8_t used = 0, t_lo = 255, t_hi = 0, r_lo = 255, r_hi = 0;
    for (uint8_t k = 0; k < n; ++k) {
      if (s_aucPeakMergeGroup[k] != g) continue;
      any = true;
      s += diff[k];
      x += diff[k] * pos[2 * k];
      y += diff[k] * pos[2 * k + 1];
      p = std::max<int>(p, diff[k]);
      const uint8_t *r = &range[5 * k];
      used = static_cast<uint8_t>(std::min(used + r[0], 255));
      t_lo = std::min(t_lo, r[1]);
      t_hi = std::max(t_hi, r[2]);
      r_lo = std::min(r_lo, r[3]);
      r_hi = std::max(r_hi, r[4]);
    }
    if (!any) continue;
    const uint8_t tx = s != 0 ? static_cast<uint8_t>((s / 2 + x) / s) : 0;
    const uint8_t rx = s != 0 ? static_cast<uint8_t>((s / 2 + y) / s) : 0;
    g_aucBasicPeak[2 * merged] = tx;
    g_aucBasicPeak[2 * merged + 1] = rx;
    out[0] = used;
    out[1] = t_lo;
    out[2] = t_hi;
    out[3] = r_lo;
    out[4] = r_hi;
    if (p == pd.ssMcMaxDiff) {
      pd.ucMcMaxTx = tx;
      pd.ucMcMaxRx = rx;
    }
    largest[merged] = static_cast<uint16_t>(p);
    if (pBasicPeakDiff != nullptr) pBasicPeakDiff[merged] = static_cast<uint16_t>(p);
    ++merged;
  }
  g_ucBasicPeakNum = merged;
  if (merged != 0 && merged < n) {
    // The merged peak becomes the node the later stages centre on.
    for (int k = merged - 1; k >= 0; --k) {
      int16_t *node = AppMcGetDiffAddr(g_aucBasicPeak[2 * k], g_aucBasicPeak[2 * k + 1]);
      if (node != nullptr) *node = static_cast<int16_t>(largest[k]);
      AppMcSetPeakValidity(static_cast<uint8_t>(k), 1);
    }
  }
  pd.ucMcPosPeakNum = merged;
  std::memcpy(pd.aucMcPeakPos, g_aucBasicPeak, 2 * merged);
}

void AppMcPeakMergeProcess(void) {
  LumaPeakData &pd = g_stPeakData;
  const int32_t most = pd.ssMcMaxDiff, least = pd.ssMcMinDiff;
  if (FloatingTrace()) s_ucMergeNegLevel = 3;
  else if (most < -2 * least) s_ucMergeNegLevel = 3;
  else if (most < -4 * least) s_ucMergeNegLevel = 2;
  else if (most < -6 * least) s_ucMergeNegLevel = 1;
  else s_ucMergeNegLevel = 0;

  std::memset(ucPeakMatchID, kNoMatch, sizeof(ucPeakMatchID));
  const uint8_t n = PeakNum();
  for (uint8_t k = 0; k < n; ++k) ucPeakMatchID[k] = AppPeakIDMatch(k);
  if (n < 2) {
    g_stPeakMergeInfo[5] = 0;
    s_ucMinPeakGap = 100;
    MergedCount() = pd.ucMcPosPeakNum;
    return;
  }

  int tx_lo = 255, tx_hi = 0, rx_lo = 255, rx_hi = 0;
  int in_rx_lo = 255, in_rx_hi = -1, in_tx_lo = 255, in_tx_hi = -1;
  for (uint8_t k = 0; k < n; ++k) {
    const int tx = PeakTx(k), rx = PeakRx(k);
    tx_lo = std::min(tx_lo, tx);
    tx_hi = std::max(tx_hi, tx);
    rx_lo = std::min(rx_lo, rx);
    rx_hi = std::max(rx_hi, rx);
    if (tx != 0 && tx < TxNum() - 1) {
      in_rx_lo = std::min(in_rx_lo, rx);
      in_rx_hi = std::max(in_rx_hi, rx);
    }
    if (rx != 0 && rx < RxNum() - 1) {
      in_tx_lo = std::min(in_tx_lo, tx);
      in_tx_hi = std::max(in_tx_hi, tx);
    }
  }
  const int span_tx = tx_hi - tx_lo + 1, span_rx = rx_hi - rx_lo + 1;
  g_stPeakMergeInfo[5] = span_rx > 10 && span_tx < 8 ? 1 : (span_tx > 10 && span_rx < 8 ? 2 : 0);

  m_ucTxTwoPeakIsBigDis = 0;
  m_ucRxTwoPeakIsBigDis = 0;
  m_ucAllPeakIsBigDis = 0;
  const int drx = in_rx_hi < 0 ? 254 : in_rx_hi - in_rx_lo;
  const int dtx = in_tx_hi < 0 ? 254 : in_tx_hi - in_tx_lo;
  if (drx >= 8 && drx < RxNum() && dtx < 5) m_ucRxTwoPeakIsBigDis = 1;
  else if (dtx >= 8 && dtx < TxNum() && drx < 5) m_ucTxTwoPeakIsBigDis = 1;
  else if (dtx <= 2 && drx <= 2) m_ucAllPeakIsBigDis = 1;

  uint16_t basic_diff[LUMA_MAX_PEAKS] = {};
  pBasicPeakDiff = basic_diff;
  AppMcPeakPairMerge(LUMA_MERGE_ADJACENT | LUMA_MERGE_PAIR_TEST);
  // A frame merged only by the pair test while the previous frame's peaks lay close
  // together: the pair-test merges are withdrawn.
  if (g_aucBasicflag[0] == 0 && g_aucBasicflag[1] != 0 && s_ucMinPeakGap < 9 &&
      (g_stTraceInfo.usTraceFlag & LUMA_TRACE_WATER) == 0)
    AppMcPeakPairMerge(0);
  AppDoPeakMerge();
  pBasicPeakDiff = nullptr;

  const uint8_t merged = pd.ucMcPosPeakNum;
  int gap_tx = 100, gap_rx = 100;
  for (uint8_t i = 0; i < merged; ++i) {
    for (uint8_t j = static_cast<uint8_t>(i + 1); j < merged; ++j) {
      gap_tx = std::min(gap_tx, std::abs(PeakTx(i) - PeakTx(j)));
      gap_rx = std::min(gap_rx, std::abs(PeakRx(i) - PeakRx(j)));
    }
  }
  s_ucMinPeakGap = merged >= 2 ? static_cast<uint8_t>(std::max(gap_tx, gap_rx)) : 0;
  MergedCount() = merged;
}

}  // extern "C"
