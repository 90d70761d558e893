// Per-slot region update: the last step of following one steady track slot. Strong
// unlabelled nodes touching the slot's nodes are grouped into blobs; a blob that shows the
// finger sliding away, a second touch coming up or too many blobs for a small rectangle
// ends the update and drops the slot; noise blobs are dropped; the rest join the slot,
// which then takes the bounding box of its relabelled nodes.
#include <algorithm>
#include <bitset>
#include <cstdlib>
#include <cstring>

#include "region_float.h"
#include "region_proc.h"

namespace {

constexpr uint8_t kContact = 10;
constexpr uint8_t kMaxComponents = 5;
constexpr int kStats = 10;

struct Ctx {
  RegionAcquireInput& in;
  RegionGrid d;  // this frame
  RegionGrid p;  // the previous frame
  uint8_t* lab;
  uint8_t s;
  RegionRect N, W1, W2;
  uint8_t R, C;

  uint8_t L(int32_t r, int32_t c) const { return d.In(r, c) ? lab[r * C + c] : kRegionLabelNone; }
  void Set(int32_t r, int32_t c, uint8_t v) const {
    if (d.In(r, c)) lab[r * C + c] = v;
  }
  int32_t D(int32_t r, int32_t c) const { return d.At(r, c); }
  int32_t P(int32_t r, int32_t c) const { return p.At(r, c); }
  bool InN(int32_t r, int32_t c) const {
    return r >= N.ubRowStart && r <= N.ubRowEnd && c >= N.ubColStart && c <= N.ubColEnd;
  }
  bool StrictlyInN(int32_t r, int32_t c) const {
    return r > N.ubRowStart && r < N.ubRowEnd && c > N.ubColStart && c < N.ubColEnd;
  }
  bool OnGridBorder(int32_t r, int32_t c) const { return r == 0 || c == 0 || r == R - 1 || c == C - 1; }
  // Any 8-neighbour on the grid satisfying PRED(label).
  template <class Pred>
  bool Neighbour(int32_t r, int32_t c, Pred pred) const {
    for (int32_t dr = -1; dr <= 1; ++dr)
      for (int32_t dc = -1; dc <= 1; ++dc)
        if ((dr != 0 || dc != 0) && d.In(r + dr, c + dc) && pred(L(r + dr, c + dc))) return true;
    return false;
  }
  bool InOtherSlotRect(int32_t r, int32_t c, bool boSteadyOnly) const {
    for (uint8_t k = 0; k < kRegionMax; ++k) {
      const RegionTrackSlot& o = gstRegionAcquireState.astSlot[k];
      if (k == s || (boSteadyOnly && o.ubFrameCnt < 6)) continue;
      const RegionRect q = o.stRect;
      if (RegionRectWord(q) == 0 && !boSteadyOnly) continue;
      if (r >= q.ubRowStart && r <= q.ubRowEnd && c >= q.ubColStart && c <= q.ubColEnd) return true;
    }
    return false;
  }
  template <class F>
  void Each(RegionRect w, F f) const {
    for (int32_t r = w.ubRowStart; r <= w.ubRowEnd; ++r)
      for (int32_t c = w.ubColStart; c <= w.ubColEnd; ++c) f(r, c);
  }
};

void EndWith(RegionTrackSlot& slot, CoordPair* pair, uint8_t s, uint8_t code) {
  if (pair != nullptr) pair->aubSlotState[s] = code;
  slot.ubActive = 0;
}

// Direction figure of a node off the grid border: the squared cosine (percent) between
// the diff gradient and the direction to the slot's touch position.
int32_t DirectionFigure(const Ctx& x, const RegionTrackSlot& slot, int32_t r, int32_t c) {
  if (x.OnGridBorder(r, c)) return 100;
  const int64_t ex = static_cast<int64_t>(slot.uwTouchX) - 2 - 4 * c;
  const int64_t ey = static_cast<int64_t>(slot.uwTouchY) - 2 - 4 * r;
  if (ex == 0 && ey == 0) return 100;
  const int16_t sx = static_cast<int16_t>((x.D(r - 1, c + 1) - x.D(r - 1, c - 1)) + 2 * (x.D(r, c + 1) - x.D(r, c - 1)) +
                                          (x.D(r + 1, c + 1) - x.D(r + 1, c - 1)));
  const int16_t sy = static_cast<int16_t>((x.D(r + 1, c + 1) - x.D(r - 1, c + 1)) + 2 * (x.D(r + 1, c) - x.D(r - 1, c)) +
                                          (x.D(r + 1, c - 1) - x.D(r - 1, c - 1)));
  if (static_cast<uint16_t>(sx) < 4 && static_cast<uint16_t>(sy) < 4) return 100;
  const int64_t tx = sx >> 2;
  const int64_t ty = sy >> 2;
  const int64_t dot = tx * ex + ty * ey;
  const int64_t div = (tx * tx + ty * ty) * (ex * ex + ey * ey);
  return div == 0 ? 0 : static_cast<int32_t>(dot * dot * 100 / div);
}

// The slide test of one component: the touch sliding out across a side or a corner of N.
bool Slides(const Ctx& x, uint8_t ubLabel) {
  const RegionRect& N = x.N;
  const RegionRect& W = x.W1;
  const int32_t T1 = x.in.uwTouchThreshold;
  bool top = false, bottom = false, left = false, right = false;
  x.Each(W, [&](int32_t r, int32_t c) {
    if (x.InN(r, c) || x.L(r, c) != ubLabel) return;
    top = top || r == W.ubRowStart;
    bottom = bottom || r == W.ubRowEnd;
    left = left || c == W.ubColStart;
    right = right || c == W.ubColEnd;
  });
  // A node beyond the grid never reads as quiet: a side on the grid border shows no slide.
  auto quietBeyond = [&](int32_t r, int32_t c) { return x.d.At(r, c, INT16_MAX) < 30; };
  auto rising = [&](int32_t r, int32_t c, int32_t dr, int32_t dc) {
    return x.D(r, c) > T1 && quietBeyond(r + dr, c + dc) && x.D(r, c) - x.P(r, c) > 100;
  };
  auto falling = [&](int32_t r, int32_t c, int32_t dr, int32_t dc) {
    return x.P(r, c) - x.D(r, c) > 80 && quietBeyond(r + dr, c + dc);
  };
  // Column side: LINE outside N with outward step DC, OPP N's opposite column.
  auto colSide = [&](int32_t line, int32_t dc, int32_t opp) {
    int32_t a = 0, b = 0;
    for (int32_t r = W.ubRowStart; r <= W.ubRowEnd; ++r) {
      a += rising(r, line, 0, dc) ? 1 : 0;
      b += x.P(r, opp) - x.D(r, opp) > 80 ? 1 : 0;
    }
    return a >= 2 && b >= 2;
  };
  auto rowSide = [&](int32_t line, int32_t dr, int32_t opp) {
    int32_t a = 0, b = 0;
    for (int32_t c = W.ubColStart; c <= W.ubColEnd; ++c) {
      a += rising(line, c, dr, 0) ? 1 : 0;
      b += x.P(opp, c) - x.D(opp, c) > 80 ? 1 : 0;
    }
    return a >= 2 && b >= 2;
  };
  const int32_t outRight = N.ubColEnd + 1 < x.C ? N.ubColEnd + 1 : N.ubColEnd;
  const int32_t outLeft = N.ubColStart > 0 ? N.ubColStart - 1 : N.ubColStart;
  const int32_t outBottom = N.ubRowEnd + 1 < x.R ? N.ubRowEnd + 1 : N.ubRowEnd;
  const int32_t outTop = N.ubRowStart > 0 ? N.ubRowStart - 1 : N.ubRowStart;
  if (right && !left && colSide(outRight, 1, N.ubColStart)) return true;
  if (left && !right && colSide(outLeft, -1, N.ubColEnd)) return true;
  if (top && !bottom && rowSide(outTop, -1, N.ubRowEnd)) return true;
  if (bottom && !top && rowSide(outBottom, 1, N.ubRowStart)) return true;
  const int32_t midRow = (W.ubRowStart + W.ubRowEnd) / 2;
  const int32_t midCol = (W.ubColStart + W.ubColEnd) / 2;
  // Corner with outer column OC (outward DC) and outer row OR (outward DR); the rising
  // half lines run from the middle of W1 toward the corner, the falling ones on N's
  // opposite row and column from W1's far side to its middle.
  auto corner = [&](int32_t oc, int32_t dc, int32_t orow, int32_t dr) {
    int32_t n1 = 0, n2 = 0, n3 = 0, n4 = 0;
    const int32_t r0 = dr > 0 ? midRow : W.ubRowStart, r1 = dr > 0 ? W.ubRowEnd : midRow;
    const int32_t c0 = dc > 0 ? midCol : W.ubColStart, c1 = dc > 0 ? W.ubColEnd : midCol;
    for (int32_t r = r0; r <= r1; ++r) n1 += rising(r, oc, 0, dc) ? 1 : 0;
    for (int32_t c = c0; c <= c1; ++c) n2 += rising(orow, c, dr, 0) ? 1 : 0;
    const int32_t oppRow = dr > 0 ? N.ubRowStart : N.ubRowEnd;
    const int32_t oppCol = dc > 0 ? N.ubColStart : N.ubColEnd;
    const int32_t fc0 = dc > 0 ? W.ubColStart : midCol, fc1 = dc > 0 ? midCol : W.ubColEnd;
    const int32_t fr0 = dr > 0 ? W.ubRowStart : midRow, fr1 = dr > 0 ? midRow : W.ubRowEnd;
    for (int32_t c = fc0; c <= fc1; ++c) n3 += falling(oppRow, c, -dr, 0) ? 1 : 0;
    for (int32_t r = fr0; r <= fr1; ++r) n4 += falling(r, oppCol, 0, -dc) ? 1 : 0;
    return n1 >= 2 && n2 >= 2 && n3 >= 2 && n4 >= 2;
  };
  if (right && bottom && corner(outRight, 1, outBottom, 1)) return true;
  if (top && left && corner(outLeft, -1, outTop, -1)) return true;
  if (right && top && corner(outRight, 1, outTop, -1)) return true;
  if (left && bottom && corner(outLeft, -1, outBottom, 1)) return true;
  return false;
}

// A lone component node on N's border or outside N: this system lets it pass when it
// touches the slot, that is when one of its 8 neighbours carries the slot's own label or
// a marked slot node of its component (label K); a node with neither hangs off the slot's
// area by a corner or an unlabelled gap and fails.
bool LonePatternPasses(const Ctx& x, int32_t r, int32_t c, uint8_t k) {
  return x.Neighbour(r, c, [&](uint8_t v) { return v == x.s || v == k; });
}

// The flank test of a lone node toward N's middle (step of the judgement).
bool FlankKeeps(const Ctx& x, int32_t r, int32_t c) {
  const int32_t midRow = (x.N.ubRowStart + x.N.ubRowEnd) / 2;
  const int32_t midCol = (x.N.ubColStart + x.N.ubColEnd) / 2;
  const int32_t v = x.D(r, c);
  // {vertical step toward the middle, horizontal step toward the middle}.
  int32_t vr, vc;
  if (r >= midRow && c <= midCol) {
    vr = -1, vc = 1;
  } else if (r <= midRow && c <= midCol) {
    vr = 1, vc = 1;
  } else if (r >= midRow && c >= midCol) {
    vr = -1, vc = -1;
  } else {
    vr = 1, vc = -1;
  }
  const int32_t toward = x.D(r + vr, c) + x.D(r, c + vc) + x.D(r + vr, c + vc);
  const bool away = x.D(r - vr, c) < v - 30 && x.D(r - vr, c - vc) < v - 30 && x.D(r, c - vc) < v - 30;
  return toward / 3 > v + 100 && away;
}

}  // namespace

void UpdateTrackSlotRegion(RegionAcquireInput& in, RegionRect N, RegionRect Q, uint8_t s) {
  RegionAcquireState& st = gstRegionAcquireState;
  if (s >= kRegionMax || in.pswDiff == nullptr || !RectValidOn(N, in.ubRowNum, in.ubColNum)) return;
  RegionTrackSlot& slot = st.astSlot[s];
  CoordPair* pair = static_cast<CoordPair*>(in.pvCoordPair);
  const uint8_t R = in.ubRowNum;
  const uint8_t C = in.ubColNum;
  Ctx x{in,
        RegionGrid{in.pswDiff, R, C},
        RegionGrid{in.pswPrevDiff != nullptr ? in.pswPrevDiff : in.pswDiff, R, C},
        st.aubSlotLabel,
        s,
        N,
        RegionRectGrow(N, 1, R, C),
        RegionRectGrow(N, 2, R, C),
        R,
        C};

  // 1. The slot's touch position must agree with the pairing's.
  if (pair != nullptr) {
    if (slot.ubFrameCnt == 7) {
      slot.uwTouchX = pair->auwSlotX[s];
      slot.uwTouchY = pair->auwSlotY[s];
    } else if (slot.ubFrameCnt >= 8 &&
               (std::abs(slot.uwTouchX - pair->auwSlotX[s]) >= 6 || std::abs(slot.uwTouchY - pair->auwSlotY[s]) >= 6)) {
      pair->aubSlotState[s] = 8;
      return;
    }
  }
  const int32_t T1 = in.uwTouchThreshold;
  const int32_t T2 = in.uwSecondThreshold;

  // 2. Contact nodes.
  bool boContact = false;
  x.Each(x.W1, [&](int32_t r, int32_t c) {
    if (x.L(r, c) == kRegionLabelNone && x.D(r, c) >= st.uwMergeLevel &&
        x.Neighbour(r, c, [](uint8_t v) { return v < kContact; })) {
      x.Set(r, c, kContact);
      boContact = true;
    }
  });

  if (!boContact) {
    // 9. Taking the rectangle.
    x.Each(x.W1, [&](int32_t r, int32_t c) {
      const uint8_t v = x.L(r, c);
      if (v == kRegionLabelNone) return;
      if (v >= s + 20) {
        x.Set(r, c, kRegionLabelNone);
      } else if (x.InN(r, c) || !x.InOtherSlotRect(r, c, false)) {
        x.Set(r, c, s);
      }
    });
    x.Each(N, [&](int32_t r, int32_t c) {
      if (x.L(r, c) == kRegionLabelNone && x.D(r, c) >= st.uwMergeLevel) x.Set(r, c, s);
    });
    slot.ubActive = 1;
    slot.stRect = N;
    FloatRegionRecord rec{};
    if (MatchFloatRegionRecord(R, C, RegionRectWord(Q), &rec) != 0 && rec.ubClass != 0 && in.ubFloatFlag != 0) {
      slot.ubSlotState = std::max(slot.ubSlotState, rec.ubClass);
    }
    return;
  }

  // 3. Components, at most five. A sixth ends the update; the working labels written so
  // far are taken back (contact and component labels to 255, marked slot nodes back to the
  // slot), so that nothing in the slot map reads as another slot's id afterwards.
  static std::bitset<kRegionMaxNodes> marked;
  marked.reset();
  uint8_t k = 0;
  bool boTooMany = false;
  x.Each(x.W1, [&](int32_t r0, int32_t c0) {
    if (boTooMany || x.L(r0, c0) != kContact) return;
    if (k == kMaxComponents) {
      boTooMany = true;
      return;
    }
    ++k;
    const uint8_t ubL = static_cast<uint8_t>(kContact + k);
    x.Set(r0, c0, ubL);
    RegionRect B{static_cast<uint8_t>(r0), static_cast<uint8_t>(r0), static_cast<uint8_t>(c0), static_cast<uint8_t>(c0)};
    RegionRect V = B;
    for (;;) {
      V = RegionRectGrow(B, 1, R, C);
      V = RegionRect{std::max(V.ubRowStart, x.W1.ubRowStart), std::min(V.ubRowEnd, x.W1.ubRowEnd),
                     std::max(V.ubColStart, x.W1.ubColStart), std::min(V.ubColEnd, x.W1.ubColEnd)};
      bool boTook = false;
      x.Each(V, [&](int32_t r, int32_t c) {
        const bool boInB = r >= B.ubRowStart && r <= B.ubRowEnd && c >= B.ubColStart && c <= B.ubColEnd;
        if (boInB || x.L(r, c) != kContact) return;
        if (x.Neighbour(r, c, [&](uint8_t v) { return v == ubL; })) {
          x.Set(r, c, ubL);
          boTook = true;
        }
      });
      if (!boTook) break;
      B = V;
    }
    x.Each(V, [&](int32_t r, int32_t c) {
      if (x.L(r, c) == s && x.Neighbour(r, c, [&](uint8_t v) { return v == ubL; })) {
        x.Set(r, c, k);
        marked.set(static_cast<size_t>(r) * C + c);
      }
    });
  });
  if (boTooMany) {
    x.Each(x.W2, [&](int32_t r, int32_t c) {
      const uint8_t v = x.L(r, c);
      if (marked.test(static_cast<size_t>(r) * C + c)) {
        x.Set(r, c, s);
      } else if (v >= kContact && v <= kContact + kMaxComponents) {
        x.Set(r, c, kRegionLabelNone);
      }
    });
    return;
  }

  // 5. Outer nodes.
  x.Each(x.W2, [&](int32_t r, int32_t c) {
    if (x.L(r, c) != kRegionLabelNone || x.D(r, c) < st.uwNodeLevel || x.InOtherSlotRect(r, c, true)) return;
    if (x.Neighbour(r, c, [](uint8_t v) { return v < kContact; })) return;
    uint8_t ubMax = 0;
    x.Neighbour(r, c, [&](uint8_t v) {
      if (v >= 11 && v <= 19 && v > ubMax) ubMax = v;
      return false;
    });
    if (ubMax != 0) x.Set(r, c, static_cast<uint8_t>(20 + ubMax - kContact));
  });

  // 6. Statistics.
  int16_t M[kStats] = {}, Dmax[kStats] = {}, Dsum[kStats] = {}, O[kStats] = {}, Osum[kStats] = {};
  uint16_t pos[kStats] = {}, Cf[kStats] = {};
  x.Each(x.W2, [&](int32_t r, int32_t c) {
    const uint8_t v = x.L(r, c);
    if (v < kContact || v == kRegionLabelNone) return;
    const int32_t val = x.D(r, c);
    const int32_t dd = val - x.P(r, c);
    if (v < 20) {
      if (x.InOtherSlotRect(r, c, true)) return;
      const int ki = v - kContact;
      int32_t f = DirectionFigure(x, slot, r, c);
      if (x.StrictlyInN(r, c) && CalcLabelRingCross(C, R, static_cast<uint8_t>(r), static_cast<uint8_t>(c)) == 1) {
        int32_t n = 0;
        x.Neighbour(r, c, [&](uint8_t w) {
          n += w == ki ? 1 : 0;
          return false;
        });
        if (n >= 4) f = 100;
      }
      if (val > M[ki]) {
        M[ki] = static_cast<int16_t>(val);
        pos[ki] = static_cast<uint16_t>(r * C + c);
      }
      Cf[ki] = static_cast<uint16_t>(std::max<int32_t>(Cf[ki], f));
      Dmax[ki] = static_cast<int16_t>(std::max<int32_t>(Dmax[ki], dd));
      Dsum[ki] = static_cast<int16_t>(Dsum[ki] + dd);
    } else if (v < 30) {
      const int j = v - 20;
      O[j] = static_cast<int16_t>(std::max<int32_t>(O[j], val));
      Osum[j] = static_cast<int16_t>(Osum[j] + dd);
    }
  });

  // 7. Judgement.
  const bool boSmall = N.ubRowEnd - N.ubRowStart + 1 < 5 && N.ubColEnd - N.ubColStart + 1 < 5;
  bool boPassed = false;
  for (int ki = 1; ki < kStats; ++ki) {
    if (M[ki] == 0) continue;
    const uint8_t ubL = static_cast<uint8_t>(kContact + ki);
    if (boSmall) {
      const bool boMayPass = M[ki] < T2 || O[ki] != 0;
      if (!boMayPass || boPassed) {
        EndWith(slot, pair, s, 12);
        return;
      }
      boPassed = true;
    }
    if (O[ki] > 0 && O[ki] < M[ki] && Dmax[ki] < 50 && T1 <= M[ki] && M[ki] < T2) {
      EndWith(slot, pair, s, 2);
      return;
    }
    if (Slides(x, ubL)) {
      EndWith(slot, pair, s, 3);
      return;
    }
    const bool boFlat = O[ki] < T1 && O[ki] + 25 < M[ki] && Cf[ki] > 60 && Dmax[ki] < T2;
    bool p = boFlat && Osum[ki] < Dsum[ki];
    if (O[ki] != 0 || M[ki] >= T1) {
      bool boAll = true;
      x.Each(x.W1, [&](int32_t r, int32_t c) {
        if (!boAll || x.L(r, c) != ubL || x.OnGridBorder(r, c)) return;
        const int32_t cross = CalcLabelRingCross(C, R, static_cast<uint8_t>(r), static_cast<uint8_t>(c));
        const bool boBase = std::abs(x.D(r, c) - x.P(r, c)) <= T2 &&
                            !x.Neighbour(r, c, [&](uint8_t w) { return w == 20 + ki; }) && (cross == 0 || cross == 1);
        if (!boBase) {
          boAll = false;
        } else if (!x.StrictlyInN(r, c) && !x.Neighbour(r, c, [&](uint8_t w) { return w == ubL; })) {
          boAll = LonePatternPasses(x, r, c, static_cast<uint8_t>(ki));
        }
      });
      if (!boAll) p = false;
    }
    bool q = false;
    if (M[ki] < static_cast<int16_t>(O[ki] + T2) && Dmax[ki] < 50) {
      q = static_cast<int16_t>(std::abs(Osum[ki]) + 25) < static_cast<int16_t>(std::abs(Dsum[ki])) && M[ki] < T2;
    }
    if (O[ki] != 0) {
      if (!p && !q) M[ki] = 0;
      continue;
    }
    bool boLoneKeeps = false;
    int32_t n = 0, lr = 0, lc = 0;
    x.Each(x.W1, [&](int32_t r, int32_t c) {
      if (x.L(r, c) == ubL) {
        ++n;
        lr = r;
        lc = c;
      }
    });
    if (n == 1 && !x.StrictlyInN(lr, lc) && !x.OnGridBorder(lr, lc)) {
      const int32_t dv = x.D(lr, lc) - x.P(lr, lc);
      if (dv < T2) {
        if (std::abs(dv) < 25 && T1 <= x.D(lr, lc) && x.D(lr, lc) < T2) {
          boLoneKeeps = true;
        } else {
          boLoneKeeps = FlankKeeps(x, lr, lc);
        }
      }
    }
    if (p || q || boLoneKeeps) continue;
    if (M[ki] >= T1 && Dmax[ki] >= T2) {
      bool boOwnPeak = false;
      x.Each(x.W1, [&](int32_t r, int32_t c) {
        if (boOwnPeak || x.InN(r, c) || x.D(r, c) != M[ki]) return;
        bool boHigher = true;
        for (int32_t dr = -1; dr <= 1; ++dr)
          for (int32_t dc = -1; dc <= 1; ++dc)
            if ((dr != 0 || dc != 0) && x.d.In(r + dr, c + dc) && x.D(r + dr, c + dc) >= M[ki]) boHigher = false;
        boOwnPeak = boHigher;
      });
      if (!boOwnPeak) {
        EndWith(slot, pair, s, 4);
        return;
      }
    }
    M[ki] = 0;
  }

  // 8. Dropping.
  x.Each(x.W2, [&](int32_t r, int32_t c) {
    const uint8_t v = x.L(r, c);
    if (v >= 10 && v <= 19 && M[v - 10] == 0) x.Set(r, c, kRegionLabelNone);
    if (v >= 20 && v <= 29 && M[v - 20] == 0) x.Set(r, c, kRegionLabelNone);
  });

  // 10. Relabelling.
  uint64_t ullRows = 0, ullCols = 0;
  CalcOutsideStrongMasks(C, R, in.pswDiff, N, &ullRows, &ullCols);
  const bool F = in.ubFloatFlag != 0 && (ullRows | ullCols) != 0;
  bool boAny = false;
  RegionRect B{255, 0, 255, 0};
  x.Each(x.W2, [&](int32_t r, int32_t c) {
    const uint8_t former = x.L(r, c);
    if (former == kRegionLabelNone) return;
    if (former >= 21) x.Set(r, c, kRegionLabelNone);
    if (former >= s + 20) return;
    if (!x.InN(r, c) && x.InOtherSlotRect(r, c, true)) return;
    if (x.D(r, c) > 49 || F || slot.ubSlotState > 2 || slot.uwLifetime > 99) {
      x.Set(r, c, s);
      boAny = true;
      B = RegionRect{std::min<uint8_t>(B.ubRowStart, static_cast<uint8_t>(r)), std::max<uint8_t>(B.ubRowEnd, static_cast<uint8_t>(r)),
                     std::min<uint8_t>(B.ubColStart, static_cast<uint8_t>(c)), std::max<uint8_t>(B.ubColEnd, static_cast<uint8_t>(c))};
    } else {
      x.Set(r, c, kRegionLabelNone);
    }
  });

  // 11. The new rectangle. With no node left for the slot it keeps N.
  if (!boAny) B = N;
  const RegionRect Cp = slot.stRectCopy1;
  if (B.ubRowStart + 1 < Cp.ubRowStart || Cp.ubRowEnd + 1 < B.ubRowEnd || B.ubColStart + 1 < Cp.ubColStart ||
      Cp.ubColEnd + 1 < B.ubColEnd) {
    if (pair != nullptr) pair->aubSlotState[s] = 5;
    return;
  }
  slot.stRect = B;
  slot.ubActive = 1;
}
