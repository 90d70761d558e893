// Contact rules: while a restrained touch stays on the panel, each frame decides whether it
// stays held, is let through at its down position, or is let through where it is. A touch
// is released when it has moved further from its down position than its contact is wide:
// a palm lying on the edge rolls, a finger slides.
#include "edge_internal.h"
#include "luma_peaks.h"

using namespace edge;

namespace {

// Far beyond any movement on the panel; additions to it cannot wrap.
constexpr uint32_t kUnlimited = 0x00FFFFFF;

uint8_t Tx() { return g_stFrmInfo.aucCfgCopy[4]; }
uint8_t Rx() { return g_stFrmInfo.aucCfgCopy[5]; }

int16_t DownDiff(const LumaEdgePalmSta &r) {
  if (r.stDown.ucTx >= Tx() || r.stDown.ucRx >= Rx()) return 0;
  return AppMcGetDiff(r.stDown.ucTx, r.stDown.ucRx);
}

bool AcrossEnd(const LumaEdgePalmSta &r) { return r.ucEdgeSide == 3 || r.ucEdgeSide == 4; }

uint8_t Moving(LumaEdgePalmSta &r, uint8_t result) {
  r.ucMoving = result;
  return result;
}

// The palm and movement checks that open every rule; true when they decided.
bool PalmOrMoving(uint8_t index, uint8_t id, uint8_t strict, uint8_t *result) {
  LumaEdgePalmSta &r = Rec(id);
  if (IsEdgePalm(id) != 0) {
    r.ucRestrainKind = strict != 0 ? 8 : 4;
    *result = LUMA_EDGE_ACT_HOLD;
    return true;
  }
  if (IsPointMoving(index, id, 0, strict) != 0) {
    r.ucRestrainKind = 0;
    *result = strict != 0 ? LUMA_EDGE_ACT_AT_DOWN : LUMA_EDGE_ACT_AT_DOWN_5;
    return true;
  }
  return false;
}

}  // namespace

extern "C" {

int16_t AppMcGetRxMax(uint8_t column) {
  if (column >= Rx() || Tx() == 0) return 0;
  int16_t best = INT16_MIN;
  for (uint8_t row = 0; row < Tx(); ++row) best = std::max(best, AppMcGetDiff(row, column));
  return best;
}

void AppGrapGetMoveThreshold(LumaEdgePalmSta *record, uint32_t *tp, uint32_t *tl) {
  if (g_stGrabSta.ucGripKindCnt != 0) {
    *tp = std::max<uint32_t>(*tp, 2400);
    *tl = std::max<uint32_t>(*tl, 2400);
  }
  if (g_stGrabSta.ucGripFlagCnt != 0) {
    const uint32_t least = g_ucLastEdgePointCnt < 2 ? 1920 : 2400;
    *tp = std::max(*tp, least);
    *tl = std::max(*tl, least);
  }
  if (g_stGrabSta.ucHoldOff != 0) {
    const bool faint = DownDiff(*record) < 100 && AppMcGetRxMax(record->stDown.ucRx) < 201;
    if (!faint) *tl = std::max<uint32_t>(*tl, 4800);
  }
}

uint8_t AppGrabMoveChk(LumaEdgePalmSta *record, uint32_t tp, uint32_t tl, uint32_t p, uint32_t l) {
  LumaEdgePalmSta &r = *record;
  const uint32_t n = r.ucMaxWidth;
  const uint32_t c = g_ucCenterTouchCnt < EdgeTime(LUMA_ET_CENTER) ? 800 : 0;
  const bool early = r.ucFramesSinceDown <= EdgeTime(LUMA_ET_EARLY);
  if (r.stGrip.ucGripKind != 0) {
    if (!(g_ucLastEdgePointCnt < 2 && n >= 6 && r.ucCornerSide == 0)) {
      tl += n * 320;
      tp += (n / 3) * 320 + 640;
    }
    r.ucMoving = (l > (n < 8 ? tl + c : 7200) || p > (n > 7 ? 7200 : tp + c)) ? 1 : 0;
    return 1;
  }
  if (r.stGrip.ucGripFlag1 != 0 && early) {
    if (n < 7) {
      tl += n * 160;
      tp += (n / 4) * 320 + 640;
    } else {
      tl = tp = 7200;
    }
    r.ucMoving = (l > tl || p > tp) ? 1 : 0;
    return 1;
  }
  if (!(DownDiff(r) >= 301 && early) && (n < 9 || r.ucMaxArea < 20 || r.ucCornerSide == 0)) {
    r.ucMoving = 0;
    return 0;
  }
  r.ucMoving = (l > tl + n * 160 || p > tp + (n / 4) * 320 + 640) ? 1 : 0;
  return 1;
}

uint8_t AppBackGestureMoveChk(uint8_t id, uint8_t flag) {
  const LumaEdgePalmSta &r = Rec(id);
  if (r.stFinal.ucPeakNearby != 0 || r.ucMaxWidth >= 7) return 0;
  const int row = r.stDown.ucTx;
  const int column = r.stDown.ucRx;
  const int16_t d = DownDiff(r);
  const uint8_t result = (r.stGrip.ucGripKind != 0 && d <= 99 && r.stGrip.usSampleCnt < 11 &&
                          g_stGrabSta.ucMovingCenterCnt == 0)
                             ? 1
                             : 0;
  if (Landscape()) return result;
  if (row > 1) {
    if (flag != 0 || row < Tx() - 2 || d >= 300) return result;
  } else if (flag != 0 || d >= 300) {
    return result;
  }
  // A faint, narrow contact at the border that slides is the start of a back gesture.
  auto at = [](int tx, int rx) { return AppMcGetDiff(static_cast<uint8_t>(tx), static_cast<uint8_t>(rx)); };
  int32_t s = d;
  if (column > 0) s += at(row, column - 1);
  if (column < Rx() - 1) s += at(row, column + 1);
  if (column <= Rx() - 3) return s < 330 ? 1 : result;
  if (row > 0) s += at(row - 1, column);
  if (row < Tx() - 1) s += at(row + 1, column);
  return static_cast<int16_t>(s) < 330 ? 1 : result;
}

uint8_t IsPointMoving(uint8_t index, uint8_t id, uint8_t mode, uint8_t flag) {
  LumaEdgePalmSta &r = Rec(id);
  const LumaPoint &cur = Entry(index);
  const int64_t dx = int64_t{MapX(cur.x)} - MapX(r.stDown.x);
  const int64_t dy = int64_t{MapY(cur.y)} - MapY(r.stDown.y);
  const uint32_t along = static_cast<uint32_t>(std::llabs(Portrait() ? dy : dx));
  const uint32_t across = static_cast<uint32_t>(std::llabs(Portrait() ? dx : dy));
  const uint32_t p = AcrossEnd(r) ? along : across;
  const uint32_t l = AcrossEnd(r) ? across : along;
  const uint32_t w = AcrossEnd(r) ? r.ucEndSpan : r.ucSideSpan;
  r.ucMaxWidth = std::max<uint8_t>(r.ucMaxWidth, static_cast<uint8_t>(w));
  const uint32_t n = r.ucMaxWidth;
  const uint8_t k = r.ucRestrainKind;
  uint32_t tp = kUnlimited;
  uint32_t tl = kUnlimited;
  if (mode == 0) {
    tl = std::max<uint32_t>(w * 320, 1280);
    const uint32_t base = std::max<uint32_t>((w / 2) * 320, 960);
    tp = base + 320;
    if (flag == 1) {
      tl = std::max<uint32_t>(tl, 1600);
      if (base < 1280) tp = 1600;
    }
  } else {
    if ((k == 4 || k == 8) && n >= 9) {
      if (r.stGrip.ucGripKind != 0) {
        if (p + l >= 9761) return Moving(r, 1);
      } else {
        const bool flagged = r.stGrip.ucGripFlag1 != 0 && r.ucFramesSinceDown <= EdgeTime(LUMA_ET_EARLY);
        if (p + l > (flagged ? 8800u : 7200u)) return Moving(r, 1);
      }
    } else {
      if (p + l >= 7201) return Moving(r, 1);
      const bool centre_recent = g_ucCenterTouchCnt < EdgeTime(LUMA_ET_CENTER);
      if (flag == 1) {
        tp = tl = 1920;
        if (r.ucMaxArea < 7 && cur.area < 7 && r.ucSideSpan < 5 && r.ucEndSpan < 5 && !centre_recent) {
          tp = tl = 1280;
        } else if (centre_recent && w >= 6) {
          tp = tl = 2400;
        }
      } else if (flag == 0 && k != 4 && k != 8) {
        tp = 1600;
        tl = centre_recent ? 1920 : 1600;
      } else if (flag == 0) {
        tp = 1920;
        tl = centre_recent ? 3200 : 1920;
      }
    }
  }
  AppGrapGetMoveThreshold(&r, &tp, &tl);
  if (AppGrabMoveChk(&r, tp, tl, p, l) != 0) {
    if (r.ucMoving != 0) return Moving(r, 1);
  } else {
    if (l > tl || p > tp) return Moving(r, 1);
    if (mode == 0 && flag == 1 && w < 4 && AppCheckIfHaveTouchInCenterArea(id) == 0 && (l > 2400 || p >= 2401)) {
      return Moving(r, 1);
    }
  }
  // The tail: a slide that may be a back gesture from the edge.
  const bool edge_grip = r.stGrip.ucGripKind == 2 && (r.ucEdgeSide == 1 || r.ucEdgeSide == 2);
  const uint32_t along_limit = edge_grip ? (r.ucFramesSinceDown >= 100 ? 1920u : 1600u) : 1600u;
  if (l > along_limit) return Moving(r, AppBackGestureMoveChk(id, flag));
  if (p >= 1601) return Moving(r, AppBackGestureMoveChk(id, flag));
  return Moving(r, 0);
}

uint8_t IsNeededReleaseRestraint(uint8_t index, uint8_t id) {
  return IsPointMoving(index, id, 1, Rec(id).ucCornerSide != 0 ? 1 : 0);
}

uint8_t ContactEventRestrainRule_EdgePalm(void) { return LUMA_EDGE_ACT_HOLD; }

uint8_t ContactEventRestrainRule_ABS(uint8_t index, uint8_t id, uint8_t strict) {
  uint8_t result;
  if (PalmOrMoving(index, id, strict, &result)) return result;
  return LUMA_EDGE_ACT_HOLD;
}

uint8_t ContactEventRestrainRule_LP(uint8_t index, uint8_t id, uint8_t strict) {
  LumaEdgePalmSta &r = Rec(id);
  uint8_t result;
  if (PalmOrMoving(index, id, strict, &result)) return result;
  if (QuonCornerRestrain(index, id) != 0) {
    r.ucRestrainKind = 8;
    return LUMA_EDGE_ACT_HOLD;
  }
  const LumaGripSta &g = r.stGrip;
  const uint8_t n = std::min<uint8_t>(g.ucHisCnt, LUMA_EDGE_HIS_LEN);
  if (g.ucDecided == 0 || g.ucGripKind != 0 || n < 31) return LUMA_EDGE_ACT_HOLD;
  // Decided as no grip over a long history: where the touch rested on average says whether
  // it is a finger working near the edge.
  uint32_t sx = 0;
  uint32_t sy = 0;
  for (uint8_t i = 0; i < n; ++i) {
    sx += g.ausPosX[i];
    sy += g.ausPosY[i];
  }
  const uint8_t area = AppGetArea(Clip16(sx / n * 16), Clip16(sy / n * 16), id);
  if (area != 0 && area != 4) return LUMA_EDGE_ACT_HOLD;
  r.ucRestrainKind = 0;
  return LUMA_EDGE_ACT_AT_DOWN;
}

uint8_t ContactEventRestrainRule_Feat(uint8_t index, uint8_t id, uint8_t strict) {
  LumaEdgePalmSta &r = Rec(id);
  uint8_t result;
  if (PalmOrMoving(index, id, strict, &result)) return result;
  if (QuonCornerRestrain(index, id) != 0) {
    r.ucRestrainKind = 8;
    return LUMA_EDGE_ACT_HOLD;
  }
  if (r.ucRestrainTime != 0) {
    --r.ucRestrainTime;
    result = LUMA_EDGE_ACT_HOLD;
  } else if (r.stGrip.ucGripFlag1 != 0) {
    result = LUMA_EDGE_ACT_HOLD;
    r.ucRestrainTime = EdgeTime(LUMA_ET_AREA2);
  } else if (r.stGrip.ucGripKind == 0) {
    result = LUMA_EDGE_ACT_NEW;
    r.ucRestrainKind = 0;
  } else {
    result = LUMA_EDGE_ACT_NONE;
  }
  if (r.ucFramesSinceDown >= EdgeTime(LUMA_ET_EARLY)) {
    r.stFinal.ucCenterTouchSeen = 0;
    return result;
  }
  if (r.stFinal.ucCenterTouchSeen != 0 && r.stFinal.ucCornerStopConfirm != 0) {
    AppGrapStausUpdateStop(id);
    r.ucRestrainKind = 8;
    return LUMA_EDGE_ACT_HOLD;
  }
  return result;
}

uint8_t IsPointDepartFromEdge(uint8_t index, uint8_t id) {
  LumaEdgePalmSta &r = Rec(id);
  const uint8_t ratio = AcrossEnd(r) ? r.ucEndRatio : r.ucSideRatio;
  const uint8_t span = AcrossEnd(r) ? r.ucEndSpan : r.ucSideSpan;
  const uint8_t limit = Landscape() ? 1 : 3;
  if (ratio != 0 || span >= limit) return 0;
  const LumaPoint &p = Entry(index);
  if (std::abs(int{p.ucTx} - r.stDown.ucTx) <= 1 && std::abs(int{p.ucRx} - r.stDown.ucRx) <= 1) return 1;
  r.ucMoving = 1;
  return 0;
}

uint8_t AppCheckEdgeFingerAgain(uint8_t id) {
  if (!Portrait()) return 0;
  const LumaEdgePalmSta &r = Rec(id);
  if (r.ucNearMaxRatioMax < 52) return 1;
  if (r.ssMaxDiff < 1 || r.ssMaxPeakValue < 1) return 0;
  return (2 * r.ssMaxPeakValue / 3 > r.ssMaxDiff && r.ucSideRatio > 29) ? 1 : 0;
}

uint8_t EdgePalmOnPointContact(uint8_t index, uint8_t id) {
  LumaEdgePalmSta &r = Rec(id);
  LumaPoint &p = Entry(index);
  r.ucCurArea = AppGetArea(MapX(p.x), MapY(p.y), id);
  if (r.ucFramesSinceDown == 1) {
    r.ulSecondX = p.x;
    r.ulSecondY = p.y;
  }
  if (r.ucFramesSinceDown == 2 && r.ucDownArea >= 17 && (r.ucDownArea & 15) < (r.ucCurArea & 15)) {
    // The touch went down at the rim of a corner and moved inwards at once: judge it again
    // from a position that leans towards where it is now.
    const bool x_towards = AbsDiff(r.ulSecondX, r.stDown.x) > AbsDiff(r.ulSecondX, p.x);
    const bool y_towards = AbsDiff(r.ulSecondY, r.stDown.y) > AbsDiff(r.ulSecondY, p.y);
    if (x_towards && y_towards) {
      const uint32_t keep_x = p.x;
      const uint32_t keep_y = p.y;
      p.x = std::min(r.stDown.x / 4 + r.ulSecondX / 4 + keep_x / 2, PanelW());
      p.y = std::min(r.stDown.y / 4 + r.ulSecondY / 4 + keep_y / 2, PanelH());
      EdgePalmOnPointDown(index, id);
      p.x = keep_x;
      p.y = keep_y;
    }
  }
  uint8_t a = LUMA_EDGE_ACT_HOLD;
  // Set when the touch is free from this frame on: the kind was 0 or a check cleared it.
  bool free_now = false;
  auto rule = [&](uint8_t action) {
    a = action;
    free_now = r.ucRestrainKind == 0;
  };
  // The touch moved away from where it came down: released with ACTION from this frame on.
  auto release = [&](uint8_t action) {
    a = action;
    r.ucRestrainKind = 0;
    free_now = true;
  };
  switch (r.ucRestrainKind) {
    case 0:
      a = LUMA_EDGE_ACT_NONE;
      free_now = true;
      break;
    case 1:
      if (IsEdgePalm(id) != 0) {
        r.ucRestrainKind = 4;
      } else if (IsPointMoving(index, id, 0, 0) != 0) {
        release(LUMA_EDGE_ACT_AT_DOWN_5);
      }
      break;
    case 2: rule(ContactEventRestrainRule_LP(index, id, 0)); break;
    case 3: rule(ContactEventRestrainRule_Feat(index, id, 0)); break;
    case 4:
      if ((r.ucDownArea == 18 || r.ucDownArea == 20) && IsPointMoving(index, id, 0, 1) != 0) {
        release(LUMA_EDGE_ACT_AT_DOWN);
      }
      break;
    case 5:
      if (IsEdgePalm(id) != 0) {
        r.ucRestrainKind = 8;
      } else if (IsPointMoving(index, id, 0, 1) != 0) {
        release(LUMA_EDGE_ACT_AT_DOWN);
      }
      break;
    case 6:
      rule(Portrait() ? ContactEventRestrainRule_Feat(index, id, 1) : ContactEventRestrainRule_LP(index, id, 1));
      break;
    case 7: rule(ContactEventRestrainRule_Feat(index, id, 1)); break;
    case 8: break;
    default: a = LUMA_EDGE_ACT_NONE; break;
  }
  if (free_now) {
    r.ulFreeX = p.x;
    r.ulFreeY = p.y;
  } else {
    // Whatever the rule said, a touch that has moved far from where it went down is free.
    AppRecEdgeInProcessMaxDiff(id);
    if (IsPointMoving(index, id, 1, r.ucCornerSide != 0 ? 1 : 0) != 0) {
      a = LUMA_EDGE_ACT_AT_DOWN;
      r.ucRestrainKind = 0;
    }
  }
  const LumaGripSta &g = r.stGrip;
  if (g.ucGripFlag2 != 0 && r.ucRestrainKind != 0) {
    if (r.ucRestrainTime != 0) return a;
    r.ucRestrainKind = 0;
    return LUMA_EDGE_ACT_NEW;
  }
  if (g.ucGripKind == 0 || r.ucRestrainKind == 0) return a;
  if (r.ucRestrainKind == 4 || r.ucRestrainKind == 8) return LUMA_EDGE_ACT_HOLD;
  r.ucRestrainKind = (r.ucCurArea & 16) != 0 ? 7 : 3;
  return LUMA_EDGE_ACT_HOLD;
}

}  // extern "C"
