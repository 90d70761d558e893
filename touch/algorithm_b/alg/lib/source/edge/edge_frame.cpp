// The edge restraint frame: once per frame, after the touch IDs are known and before they
// are output, each touch near an edge or a corner is held back, let through at its down
// position, or let through where it is; a held touch that lifts is dropped or reported
// once as a new down. The decisions are made in the area, corner and contact files; this
// file runs them in order and carries out the actions on the touch list.
#include <cstring>

#include "edge_internal.h"

namespace edge {

void ResetGrip(uint8_t id) {
  LumaGripSta &g = Rec(id).stGrip;
  g.ucId = id;
  std::memset(g.aaucRatio[0], 0xFF, LUMA_EDGE_HIS_LEN);
  g.ucGripFlag1 = 0;
  g.ucGripFlag2 = 0;
  g.ucMaxCnt = 0;
  g.ucDecidedPre = 0;
  g.ucDecided = 0;
  g.usMaxSpreadX = 0;
  g.usMaxSpreadY = 0;
  g.ssMaxPeakDiff = 0;
  g.usSampleCnt = 0;
  g.ucAreaCode = 0;
  g.ucHisCnt = 0;
  g.ucStop = 0;
  g.ucGripKind = 0;
  // The unsteadiness counted for the last touch of this ID says nothing about the next one.
  g.ucUnstableCnt = 0;
}

}  // namespace edge

using namespace edge;

namespace {

constexpr uint8_t kNormalTime[10] = {20, 20, 20, 20, 48, 24, 30, 30, 6, 15};
constexpr int kCentreMargin = 2720;

// What a touch that starts now must not inherit from the last touch of its ID; the
// frames-since-down byte and the restraint kind are left to the caller.
void StartRecord(uint8_t id) {
  LumaEdgePalmSta &r = Rec(id);
  ResetGrip(id);
  r.ucHold = 0;
  r.ucReported = 0;
  r.ucMaxWidth = 0;
  std::memset(&r.stFinal, 0, sizeof(r.stFinal));
  r.ssMaxCornerDiff = 0;
  r.ssMaxInnerDiagDiff = 0;
  r.ucMaxArea = 0;
  r.ucMoving = 0;
  r.ucInnerCorner = 0;
}

bool InCentre(const LumaPoint &p) {
  const int64_t x = p.x;
  const int64_t y = p.y;
  const int64_t max_x = g_usMaxPosX;
  const int64_t max_y = g_usMaxPosY;
  return x > kCentreMargin && x < max_x - kCentreMargin && y >= kCentreMargin + 1 &&
         (y <= static_cast<int64_t>(PanelH() / 2) || y < max_y - kCentreMargin);
}

uint16_t *DebugRow(uint8_t row) { return &g_usAlgPrintfBuf[row * g_stFrmInfo.aucCfgCopy[5]]; }

uint8_t DebugRowLen() { return std::min<uint8_t>(g_stFrmInfo.aucCfgCopy[5], 16); }

void WriteDebugRow(uint8_t id, uint8_t action, const LumaPoint &p) {
  const LumaEdgePalmSta &r = Rec(id);
  const uint16_t v[16] = {static_cast<uint16_t>(id + 100), r.ucFramesSinceDown, r.ucDownArea,
                          static_cast<uint16_t>(r.stDown.x >> 4), static_cast<uint16_t>(r.stDown.y >> 4),
                          static_cast<uint16_t>(MapX(r.stDown.x) >> 4), static_cast<uint16_t>(MapY(r.stDown.y) >> 4),
                          r.ucCurArea, r.ucRestrainKind, static_cast<uint16_t>(action + 200),
                          static_cast<uint16_t>(MapX(p.x) >> 4), static_cast<uint16_t>(MapY(p.y) >> 4),
                          static_cast<uint16_t>(r.stGrip.ucGripKind + 300),
                          static_cast<uint16_t>(r.stGrip.ucGripFlag1 + 300),
                          static_cast<uint16_t>(r.stGrip.ucGripFlag2 + 300), r.stGrip.ucMaxCnt};
  std::memcpy(DebugRow(static_cast<uint8_t>(id + 3)), v, DebugRowLen() * sizeof(uint16_t));
}

void ClearDebugRows() {
  const uint8_t rx = g_stFrmInfo.aucCfgCopy[5];
  std::memset(DebugRow(3), 0, 3u * rx * sizeof(uint16_t));
}

// Replaces a list entry by the stored down entry of record id, under the given ID byte.
void PutDownEntry(LumaPoint &p, uint8_t id, uint8_t id_byte) {
  p = Rec(id).stDown;
  p.id = id_byte;
}

}  // namespace

extern "C" {

uint8_t AppEdgeTimeParaUpdate(void) {
  const uint8_t game = AppIsGameMode();
  for (int k = 0; k < 10; ++k) g_stEdgeTime[k] = static_cast<uint8_t>(game != 0 ? 2 * kNormalTime[k] : kNormalTime[k]);
  return game;
}

void AppEdgePalmInit(void) {
  for (uint8_t k = 0; k < LUMA_MAX_POINTS; ++k) {
    ResetGrip(k);
    Rec(k).ucHold = 0;
    Rec(k).ucRestrainKind = 0;
  }
  const bool land = Landscape();
  const int16_t para[8] = {2, static_cast<int16_t>(land ? 2 : 0), static_cast<int16_t>(land ? 30 : 40),
                           static_cast<int16_t>(land ? 30 : 0), 0, 0, 150, 300};
  std::memcpy(g_stHostEdgePara, para, sizeof(para));
  g_stGrabSta.usSinceGrip = 10000;
  AppEdgeTimeParaUpdate();
}

void AppEdgeRatioInit(uint8_t id) { ResetGrip(id % LUMA_MAX_POINTS); }

void AppGrapStausUpdateStop(uint8_t id) {
  ResetGrip(id % LUMA_MAX_POINTS);
  Rec(id).stGrip.ucStop = 1;
}

void EdgePalmInitID(uint8_t id) { StartRecord(id % LUMA_MAX_POINTS); }

void EdgeStsInit(EdgeAreaPara *state, uint8_t index, uint8_t id) {
  LumaEdgePalmSta &r = Rec(id);
  const LumaPoint &p = Entry(index);
  state->usX = MapX(p.x);
  state->usY = MapY(p.y);
  r.ulFreeX = state->usX;
  r.ulFreeY = state->usY;
  r.ucDownArea = 0;
  r.ucCornerSide = 0;
  r.ucEdgeSide = 0;
  r.ssMaxDiff = 0;
  r.ssMaxPeakValue = 0;
  r.ucEdgeInProcess = 0;
  r.ucMoving = 0;
}

void AppCollectTouchInfo(void) {
  g_ucLastEdgePointCnt = g_ucEdgePointCnt;
  g_ucEdgePointCnt = 0;
  g_stGrabSta.ucGripKindCnt = 0;
  g_stGrabSta.ucGripFlagCnt = 0;
  // Only the touches on the panel grip: a record keeps its grip results after its touch has
  // gone (until the ID goes down again), and a hand that has left holds nothing any more. A
  // touch going down now starts a fresh record, whatever the last touch of its ID was.
  for (uint8_t k = 0; k < LUMA_MAX_POINTS; ++k) {
    const LumaEdgePalmSta &r = Rec(k);
    if (AppCheckIdEqu(k) == 0 || Event(k).ucEvent == LUMA_EV_DOWN) continue;
    if (r.stGrip.ucGripKind != 0) ++g_stGrabSta.ucGripKindCnt;
    if (r.stGrip.ucGripFlag1 != 0) ++g_stGrabSta.ucGripFlagCnt;
    if (r.stGrip.ucGripKind >= 101) g_stGrabSta.usSinceGrip = 0;
  }
  if (g_stGrabSta.ucGripKindCnt != 0 || g_stGrabSta.ucGripFlagCnt != 0) {
    g_stGrabSta.ucHoldOff = 70;
  } else if (g_stGrabSta.ucHoldOff > 0) {
    --g_stGrabSta.ucHoldOff;
  }
  if (g_stGrabSta.usSinceGrip < 10000) ++g_stGrabSta.usSinceGrip;
  bool centre = false;
  for (uint8_t i = 0; i < PointCount(); ++i) {
    if (IdOf(Entry(i)) < LUMA_MAX_POINTS && InCentre(Entry(i))) centre = true;
  }
  g_ucCenterTouchCnt = centre ? 1 : Inc255(g_ucCenterTouchCnt);
  g_ucTouchUpCnt = Inc255(g_ucTouchUpCnt);
  AppRunCenterDownCnt();
}

uint8_t AppCheckIdEqu(uint8_t id) {
  for (uint8_t i = 0; i < PointCount(); ++i) {
    if (IdOf(Entry(i)) == id) return 1;
  }
  return 0;
}

void AppClearCenterDownCnt(void) {
  for (uint8_t k = 0; k < LUMA_MAX_POINTS; ++k) {
    if (AppCheckIdEqu(k) == 0) Rec(k).ucCenterDownCnt = 0;
  }
}

void AppRunCenterDownCnt(void) {
  for (LumaEdgePalmSta &r : s_stEdgePalmSta) r.ucCenterDownCnt = Inc255(r.ucCenterDownCnt);
}

void AppGrapStausUpdate(LumaGripSta *grip, uint8_t state) {
  switch (grip->ucAreaCode) {
    case 16:
    case 32:
    case 48:
    case 64: AppGrapStausUpdateCorner(grip, state); break;
    case 1:
    case 2: AppGrapStausUpdateEdge(grip, state); break;
    default: break;
  }
}

void EdgePalmHoldPoint(uint8_t index, uint8_t id) {
  if (g_stTouchData.ucPointNum == 0) return;
  --g_stTouchData.ucPointNum;
  Entry(index).id = 0xFF;
  Event(id).ucEvent = LUMA_EV_IDLE;
  Rec(id).ucHold = 1;
  ++g_EdgePalmHoldCnt;
}

void EdgePalmReport(uint8_t, uint8_t id) { Event(id).ucEvent = LUMA_EV_DOWN; }

void EdgePalmStopReport(uint8_t, uint8_t id) {
  if (g_stTouchData.ucPointNum == 0) return;
  --g_stTouchData.ucPointNum;
  Event(id).ucEvent = LUMA_EV_UP;
}

void EdgePalmAlphaFilter(uint8_t index, uint8_t id) {
  LumaPoint &p = Entry(index);
  const LumaEdgePalmSta &r = Rec(id);
  const uint32_t cur_x = p.x;
  const uint32_t cur_y = p.y;
  const uint32_t cur_mx = MapX(cur_x);
  const uint32_t cur_my = MapY(cur_y);
  const uint32_t down_mx = MapX(r.stDown.x);
  const uint32_t down_my = MapY(r.stDown.y);
  PutDownEntry(p, id, p.id);
  Event(id).ucEvent = LUMA_EV_DOWN;
  g_ForceAlpha[id] = 8;
  // A finger that slid along a side edge is let through half-way between where it went
  // down and where it is, so that the released point does not jump back.
  const uint32_t dx = AbsDiff(cur_mx, down_mx);
  const uint32_t dy = AbsDiff(cur_my, down_my);
  const bool along_side = dx * 100 / (dy + 1) <= 24;
  const bool mid_height = down_my >= 4800 && static_cast<int64_t>(down_my) <= int64_t{g_usMaxPosY} - 4800;
  const bool at_side = down_mx < 480 || static_cast<int64_t>(down_mx) > int64_t{g_usMaxPosX} - 480;
  if (mid_height && Portrait() && r.ucCornerSide == 0 && along_side && at_side) {
    p.x = (cur_x + r.stDown.x) >> 1;
    p.y = (cur_y + r.stDown.y) >> 1;
  }
}

void EdgePalmInsertPoint(uint8_t id) {
  const uint8_t k = id % LUMA_MAX_POINTS;
  const uint8_t most = std::min<uint8_t>(g_stFwConfig.ucMaxPointNum, LUMA_MAX_POINTS);
  uint8_t n = LUMA_MAX_POINTS;
  for (int c = most - 2; c >= 0; --c) {
    const auto cand = static_cast<uint8_t>(c);
    if (cand != k && Event(cand).ucEvent == LUMA_EV_IDLE && Rec(cand).ucHold == 0) {
      n = cand;
      break;
    }
  }
  if (n == LUMA_MAX_POINTS) n = (k == 9 && most > 0) ? static_cast<uint8_t>(most - 1) : k;
  bool placed = false;
  for (uint8_t i = 0; i < most; ++i) {
    LumaPoint &p = g_stTouchData.astPoint[i];
    if (!placed && p.id == k) {
      PutDownEntry(p, k, n);
      Rec(n).ucReported = 1;
      Event(n).ucEvent = LUMA_EV_DOWN;
      Event(n).ucLastEvent = LUMA_EV_DOWN;
      ++g_stTouchData.ucPointNum;
      placed = true;
    } else if (p.id == n) {
      p.id = 0xFF;
    }
  }
}

void RemovePointUpPacket(uint8_t id) {
  const uint8_t count = g_stTouchData.ucPointNum;
  if (count < LUMA_MAX_POINTS) {
    for (uint8_t i = count; i < LUMA_MAX_POINTS; ++i) {
      if (g_stTouchData.astPoint[i].id == id) g_stTouchData.astPoint[i].id = 0xFF;
    }
  }
  Event(id).ucEvent = LUMA_EV_IDLE;
}

void ReArrangePointArray(void) {
  LumaPoint copy[LUMA_MAX_POINTS];
  std::memcpy(copy, g_stTouchData.astPoint, sizeof(copy));
  std::memset(g_stTouchData.astPoint, 0xFF, sizeof(copy));
  const uint8_t count = PointCount();
  uint8_t head = 0;
  uint8_t ups = 0;
  for (const LumaPoint &p : copy) {
    const uint8_t id = IdOf(p);
    if (id >= LUMA_MAX_POINTS) continue;
    const uint8_t s = Event(id).ucEvent;
    if ((s == LUMA_EV_DOWN || s == LUMA_EV_CONTACT) && head < LUMA_MAX_POINTS) {
      g_stTouchData.astPoint[head++] = p;
    } else if (s == LUMA_EV_UP && count + ups < LUMA_MAX_POINTS) {
      g_stTouchData.astPoint[count + ups++] = p;
    }
  }
}

void ActionOnPointDownOrContact(const uint8_t *actions) {
  const uint8_t count = PointCount();
  for (uint8_t i = 0; i < count; ++i) {
    const uint8_t id = IdOf(Entry(i));
    if (id >= LUMA_MAX_POINTS) continue;
    switch (actions[i]) {
      case LUMA_EDGE_ACT_HOLD: EdgePalmHoldPoint(i, id); break;
      case LUMA_EDGE_ACT_AT_DOWN:
      case LUMA_EDGE_ACT_AT_DOWN_5:
        EdgePalmAlphaFilter(i, id);
        Rec(id).ucReported = 1;
        break;
      case LUMA_EDGE_ACT_NEW:
        EdgePalmReport(i, id);
        Rec(id).ucReported = 1;
        break;
      default: break;
    }
  }
}

void ActionOnPointUp(const uint8_t *actions) {
  for (uint8_t k = 0; k < LUMA_MAX_POINTS; ++k) {
    if (actions[k] == LUMA_EDGE_ACT_INSERT) EdgePalmInsertPoint(k);
  }
  for (uint8_t k = 0; k < LUMA_MAX_POINTS; ++k) {
    if (actions[k] != LUMA_EDGE_ACT_DROP_UP || Event(k).ucEvent != LUMA_EV_UP) continue;
    if (g_stTouchData.ucPointNum < LUMA_MAX_POINTS) {
      for (uint8_t i = g_stTouchData.ucPointNum; i < LUMA_MAX_POINTS; ++i) {
        if (g_stTouchData.astPoint[i].id == k) g_stTouchData.astPoint[i].id = 0xFF;
      }
    }
    Event(k).ucEvent = LUMA_EV_IDLE;
  }
  ReArrangePointArray();
}

void AppEdgePalmFilter(void) {
  g_EdgePalmHoldCnt = 0;
  if ((g_ucHostParaUpDateFlg & 1) != 0) {
    g_ucHostParaUpDateFlg = static_cast<uint8_t>(g_ucHostParaUpDateFlg & ~1u);
    AppEdgeTimeParaUpdate();
  }
  ClearDebugRows();
  if (Orientation() == LUMA_DISP_UNDEFINED) {
    AppEdgePalmInit();
    return;
  }
  AppCollectTouchInfo();
  // The countdown after a finger moved in the middle of the panel, read by the corner grip
  // decision and the back-gesture check; kept here, once per frame, on this frame's states.
  AppTouchPointMovingStatus();

  uint8_t actions[LUMA_EDGE_ACTIONS] = {};
  const uint8_t count = PointCount();
  for (uint8_t i = 0; i < count; ++i) {
    const LumaPoint &p = Entry(i);
    const uint8_t id = IdOf(p);
    if (id >= LUMA_MAX_POINTS) continue;
    LumaEdgePalmSta &r = Rec(id);
    const uint8_t state = Event(id).ucEvent;
    CalRatioAndWidth(&p);
    uint8_t action = LUMA_EDGE_ACT_NONE;
    if (state == LUMA_EV_DOWN) {
      StartRecord(id);
      r.ucFramesSinceDown = 0;
      r.ucRestrainKind = 0;
      AppCalEdgeRatio(&p, id);
      AppGrapStausUpdate(&r.stGrip, LUMA_EV_DOWN);
      action = EdgePalmOnPointDown(i, id);
    } else {
      AppCalEdgeRatio(&p, id);
      AppGrapStausUpdate(&r.stGrip, state);
      if (state == LUMA_EV_CONTACT) action = EdgePalmOnPointContact(i, id);
    }
    actions[i] = action;
    if (r.ucCurArea != 0) ++g_ucEdgePointCnt;
    r.ucFramesSinceDown = Inc255(r.ucFramesSinceDown);
    if (id < 3) WriteDebugRow(id, action, p);
  }
  ActionOnPointDownOrContact(actions);

  uint8_t up_actions[LUMA_MAX_POINTS] = {};
  for (uint8_t k = 0; k < LUMA_MAX_POINTS; ++k) {
    if (Event(k).ucEvent != LUMA_EV_UP) continue;
    AppGrapStausUpdate(&Rec(k).stGrip, LUMA_EV_UP);
    up_actions[k] = EdgePalmOnPointUp(k);
  }
  ActionOnPointUp(up_actions);
}

}  // extern "C"
