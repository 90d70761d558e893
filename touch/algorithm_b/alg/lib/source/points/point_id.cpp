// Touch IDs: each point of this frame continues the ID of the previous frame's position
// nearest to it in total (the assignment solver), new points take the lowest free IDs, and
// every ID's event steps on: down, contact, one up at the lift, then none.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "luma_calc.h"
#include "luma_search.h"

extern "C" {
uint16_t g_usPointidProveFlag;
uint32_t g_ausBakLastPoints_X[LUMA_MAX_POINTS];
uint32_t g_ausBakLastPoints_Y[LUMA_MAX_POINTS];
}

namespace {

constexpr uint8_t kEventDown = 0;
constexpr uint8_t kEventUp = 1;
constexpr uint8_t kEventContact = 2;
constexpr uint8_t kEventNone = 3;
constexpr uint32_t kNoPosition = 32767;
// A predicted position stays this far inside the panel.
constexpr int64_t kPredictMargin = 480;

uint8_t MaxPoints() { return std::min<uint8_t>(g_stFwConfig.ucMaxPointNum, LUMA_MAX_POINTS); }

bool HasPosition(const LumaPointEvent &e) { return e.x != kNoPosition; }

void Forget(uint8_t id) {
  LumaPointEvent &e = g_stTouchData.astEvent[id];
  g_ausBakLastPoints_X[id] = e.x;
  g_ausBakLastPoints_Y[id] = e.y;
  e.x = kNoPosition;
  e.y = kNoPosition;
}

void Take(uint8_t id, LumaPoint &p, bool used[]) {
  LumaPointEvent &e = g_stTouchData.astEvent[id];
  p.id = id;
  used[id] = true;
  g_ausBakLastPoints_X[id] = e.x;
  g_ausBakLastPoints_Y[id] = e.y;
  e.x = p.x;
  e.y = p.y;
}

uint16_t Predict(uint32_t position, uint32_t backup, uint32_t range, bool predict) {
  int64_t v = position;
  if (predict && backup != kNoPosition) {
    v = 2 * int64_t{position} - backup;
    v = std::clamp<int64_t>(v, kPredictMargin, std::max<int64_t>(kPredictMargin, int64_t{range} - kPredictMargin));
  }
  return static_cast<uint16_t>(v / 16);
}

}  // namespace

extern "C" {

LumaPointEvent *AppPointEventInfoInit(LumaPointEvent *records) {
  for (uint8_t id = 0; id < MaxPoints(); ++id) {
    records[id].ucEvent = kEventNone;
    records[id].ucLastEvent = kEventNone;
    records[id].x = kNoPosition;
    records[id].y = kNoPosition;
  }
  return records;
}

void AppUpdatePointEventInfo(LumaPointEvent *records, const uint8_t *present, LumaTouchData *touch) {
  uint8_t appended = std::min<uint8_t>(touch->ucPointNum, LUMA_MAX_POINTS);
  for (uint8_t id = 0; id < MaxPoints(); ++id) {
    LumaPointEvent &e = records[id];
    // The previous event, not the event state: the edge restraint sets the state of a touch
    // it holds back to none for the frame, and the touch must still continue next frame.
    const uint8_t last = e.ucLastEvent;
    const bool going = last == kEventDown || last == kEventContact;
    uint8_t next;
    if (present[id] != 0) {
      next = going ? kEventContact : kEventDown;
    } else if (going) {
      next = kEventUp;
      // The lift is reported once, from a record that names only the ID.
      if (appended < LUMA_MAX_POINTS) {
        std::memset(&touch->astPoint[appended], 0xFF, sizeof(LumaPoint));
        touch->astPoint[appended].id = id;
        ++appended;
      }
    } else {
      next = kEventNone;
    }
    e.ucEvent = next;
    e.ucLastEvent = next;
  }
}

uint8_t AppPointIDProcess(void) {
  LumaTouchData &t = g_stTouchData;
  const uint8_t most = MaxPoints();
  const uint8_t count = std::min(t.ucPointNum, most);
  bool used[LUMA_MAX_POINTS] = {};
  for (uint8_t k = 0; k < count; ++k) t.astPoint[k].id = 255;
  // Entries past this frame's points are left from earlier frames: they must not be read
  // as points of this one.
  std::memset(&t.astPoint[count], 0xFF, sizeof(LumaPoint) * (LUMA_MAX_POINTS - count));
  g_usPointidProveFlag = 0;

  if (count == 0) {
    if (t.ucTrackedIdNum != 0) {
      for (uint8_t id = 0; id < most; ++id) {
        t.astEvent[id].x = t.astEvent[id].y = kNoPosition;
        g_ausBakLastPoints_X[id] = g_ausBakLastPoints_Y[id] = kNoPosition;
      }
    }
    t.ucTrackedIdNum = 0;
  } else if (t.ucTrackedIdNum == 0) {
    for (uint8_t k = 0; k < count; ++k) {
      Take(k, t.astPoint[k], used);
      g_ausBakLastPoints_X[k] = t.astPoint[k].x;
      g_ausBakLastPoints_Y[k] = t.astPoint[k].y;
    }
    for (uint8_t id = count; id < most; ++id) Forget(id);
    t.ucTrackedIdNum = count;
  } else {
    const bool predict = count < t.ucTrackedIdNum && t.ucTrackedIdNum >= 2;
    g_usPointidProveFlag = predict ? 1 : 0;
    uint8_t slot_id[LUMA_KM_N];
    uint16_t old_pos[2 * LUMA_KM_N];
    uint16_t new_pos[2 * LUMA_KM_N];
    uint16_t result[LUMA_KM_N];
    std::fill(std::begin(slot_id), std::end(slot_id), uint8_t{255});
    std::fill(std::begin(old_pos), std::end(old_pos), uint16_t{LUMA_KM_ABSENT});
    std::fill(std::begin(new_pos), std::end(new_pos), uint16_t{LUMA_KM_ABSENT});
    uint8_t slots = 0;
    for (uint8_t id = 0; id < most; ++id) {
      const LumaPointEvent &e = t.astEvent[id];
      if (!HasPosition(e)) continue;
      slot_id[slots] = id;
      old_pos[2 * slots] = Predict(e.x, g_ausBakLastPoints_X[id], g_stFwConfig.aulNotchX[0], predict);
      old_pos[2 * slots + 1] = Predict(e.y, g_ausBakLastPoints_Y[id], g_stFwConfig.aulNotchY[0], predict);
      ++slots;
    }
    const uint8_t real_slots = slots;
    for (uint8_t id = 0; id < most; ++id) {
      if (!HasPosition(t.astEvent[id])) slot_id[slots++] = id;
    }
    for (uint8_t k = 0; k < count; ++k) {
      new_pos[2 * k] = static_cast<uint16_t>(std::min<uint32_t>(t.astPoint[k].x / 16, LUMA_KM_ABSENT - 1));
      new_pos[2 * k + 1] = static_cast<uint16_t>(std::min<uint32_t>(t.astPoint[k].y / 16, LUMA_KM_ABSENT - 1));
    }
    LumaKmIdCtx ctx{real_slots, count, old_pos, new_pos, result};
    DrvCal_KmID(&ctx);
    // Slots without a position all weigh the same to the solver; the new points take the
    // free IDs in list order, lowest first.
    uint8_t point_slot[LUMA_MAX_POINTS];
    std::fill(std::begin(point_slot), std::end(point_slot), uint8_t{255});
    uint8_t free_slots[LUMA_KM_N];
    uint8_t free_count = 0;
    for (uint8_t s = 0; s < slots; ++s) {
      if (result[s] < count) {
        if (s < real_slots) point_slot[result[s]] = s;
        else free_slots[free_count++] = s;
      }
    }
    uint8_t next_free = 0;
    for (uint8_t k = 0; k < count; ++k) {
      if (point_slot[k] == 255 && next_free < free_count) point_slot[k] = free_slots[next_free++];
    }
    for (uint8_t k = 0; k < count; ++k) {
      if (point_slot[k] != 255) Take(slot_id[point_slot[k]], t.astPoint[k], used);
    }
    for (uint8_t id = 0; id < most; ++id) {
      if (!used[id]) Forget(id);
    }
    t.ucTrackedIdNum = count;
  }

  uint8_t present[LUMA_MAX_POINTS];
  for (uint8_t id = 0; id < LUMA_MAX_POINTS; ++id) present[id] = used[id] ? 1 : 0;
  AppUpdatePointEventInfo(t.astEvent, present, &t);
  return 0;
}

}  // extern "C"
