// Point method version 2: point records in a page shared with the touch driver, announced
// with the report-page ioctl.
#include <string.h>
#include <sys/mman.h>

#include "platform/devio.h"
#include "report/hal_report.h"
#include "report/point_method.h"

namespace {

struct SharedState {
  int32_t fd;
  uint16_t mask;        // finger slots down
  uint8_t count;        // points in the page
  uint8_t stylusActive; // bit 0
  uint8_t stylusPending;
  int32_t initial;      // 2
  AlgTouchPoint *page;  // HAL_REPORT_MAX_SLOTS records
  bool finger;
  bool stylus;
  int32_t lastAction;   // for the action-change log line
};

SharedState *g_state = nullptr;

void freeAllSlots(SharedState *s) {
  for (int i = 0; i < HAL_REPORT_MAX_SLOTS; ++i) s->page[i].id = -1;
  s->count = 0;
}

void publish(SharedState *s) {
  plat_ioctl(s->fd, tamrel_touch_request(TOUCH_IOC_REPORT_POINTS, 0, TOUCH_IOC_DIR_WRITE),
             static_cast<unsigned long>(s->count));
  freeAllSlots(s);
  s->stylusPending = 0;
}

// The slot already holding id, else the first free one (counted); -1 when all are taken.
int slotFor(SharedState *s, int32_t id) {
  int firstFree = -1;
  for (int i = 0; i < HAL_REPORT_MAX_SLOTS; ++i) {
    if (s->page[i].id == id && id >= 0 && s->page[i].tool != ALG_TOUCH_TOOL_STYLUS) return i;
    if (s->page[i].id == -1 && firstFree < 0) firstFree = i;
  }
  if (firstFree >= 0) ++s->count;
  return firstFree;
}

void fingerReport(const AlgTouchPoint *p) {
  SharedState *s = g_state;
  if (s == nullptr || p == nullptr || !s->finger) return;
  if (p->id < 0 || p->id >= HAL_REPORT_MAX_SLOTS) {
    HAL_LOG_AS(HAL_LOG_ERROR, "hal_finger_event_report", "slot id %d out of range 0..%d, drop it", p->id,
               HAL_REPORT_MAX_SLOTS - 1);
    return;
  }
  const uint16_t bit = static_cast<uint16_t>(1u << p->id);
  if (p->action == ALG_TOUCH_ACTION_UP) {
    bool wasDown = s->mask != 0;
    s->mask &= static_cast<uint16_t>(~bit);
    if (wasDown && s->mask == 0) HAL_LOG_AS(HAL_LOG_INFO, "hal_finger_event_report", "release all");
  } else {
    s->mask |= bit;
  }
  int slot = slotFor(s, p->id);
  if (slot < 0) {
    HAL_LOG_AS(HAL_LOG_ERROR, "hal_finger_event_report", "point slot is out of range. max slot is %d, current slot is %d",
               HAL_REPORT_MAX_SLOTS - 1, p->id);
    return;
  }
  s->page[slot] = *p;
}

bool fingerReleaseAll(bool force) {
  SharedState *s = g_state;
  if (s == nullptr || !s->finger || !(force || s->mask != 0)) return false;
  HAL_LOG_AS(HAL_LOG_INFO, "hal_finger_release_all", "release all");
  for (int id = 0; id < HAL_REPORT_MAX_SLOTS; ++id) {
    AlgTouchPoint up = hal_report_up_point(id, ALG_TOUCH_TOOL_FINGER);
    fingerReport(&up);
  }
  if (s->count > 0) publish(s);
  return true;
}

uint32_t fingerSync(void) {
  SharedState *s = g_state;
  if (s == nullptr) return 0;
  if (s->finger && s->count > 0) publish(s);
  return s->mask;
}

// The stylus record takes a page slot of its own and is counted, so the driver reads it.
void stylusPut(SharedState *s, const AlgTouchPoint &p) {
  int slot = -1;
  for (int i = 0; i < HAL_REPORT_MAX_SLOTS && slot < 0; ++i) {
    if (s->page[i].id != -1 && s->page[i].tool == ALG_TOUCH_TOOL_STYLUS) slot = i;
  }
  if (slot < 0) slot = slotFor(s, -2);
  if (slot < 0) {
    HAL_LOG_AS(HAL_LOG_ERROR, "hal_stylus_event_report", "point slot is out of range. max slot is %d, current slot is %d",
               HAL_REPORT_MAX_SLOTS - 1, p.id);
    return;
  }
  s->page[slot] = p;
  s->page[slot].tool = ALG_TOUCH_TOOL_STYLUS;
  if (s->page[slot].id == -1) s->page[slot].id = 0;  // -1 would mark the slot free
  s->stylusPending = 1;
}

void stylusReport(const AlgTouchPoint *p) {
  SharedState *s = g_state;
  if (s == nullptr || p == nullptr || !s->stylus) return;
  uint8_t active = p->action != ALG_TOUCH_ACTION_UP;
  if (p->action != s->lastAction) {
    HAL_LOG_AS(HAL_LOG_INFO, "hal_stylus_event_report", "%s", hal_stylus_action_text(p->action));
    s->lastAction = p->action;
  }
  s->stylusActive = active;
  stylusPut(s, *p);
}

bool stylusRelease(bool force) {
  SharedState *s = g_state;
  if (s == nullptr || !s->stylus || !(s->stylusActive || force)) return false;
  s->stylusActive = 0;
  AlgTouchPoint up = hal_report_up_point(0, ALG_TOUCH_TOOL_STYLUS);
  stylusPut(s, up);
  HAL_LOG_AS(HAL_LOG_INFO, "hal_stylus_event_report", "%s", hal_stylus_action_text(up.action));
  publish(s);
  return true;
}

uint32_t stylusSync(void) {
  SharedState *s = g_state;
  if (s == nullptr) return 0;
  if (s->stylus && s->stylusPending) publish(s);
  return s->stylusActive & 1u;
}

void v2Exit(void) {
  if (g_state == nullptr) return;
  if (g_state->page != nullptr) plat_munmap(g_state->page, HAL_REPORT_PAGE_SIZE);
  free_memory(g_state);
  g_state = nullptr;
}

int32_t v2Init(const TouchPanelInfo * /*panel*/, int32_t fd, uint8_t /*touchId*/, uint8_t /*hostFlag*/, bool finger,
               bool stylus) {
  v2Exit();
  auto *s = static_cast<SharedState *>(alloc_memory(sizeof(SharedState), 5));
  if (s == nullptr) {
    HAL_LOG_AS(HAL_LOG_ERROR, "hal_report_init", "alloc hal_report_param memory failed!");
    return 1;
  }
  memset(s, 0, sizeof *s);
  s->fd = fd;
  s->initial = 2;
  s->lastAction = ALG_TOUCH_ACTION_UP;
  plat_ioctl(fd, tamrel_touch_request(TOUCH_IOC_SELECT_BUFFER, 0, TOUCH_IOC_DIR_WRITE),
             static_cast<unsigned long>(TOUCH_BUFFER_REPORT_PAGE));
  void *page = plat_mmap(nullptr, HAL_REPORT_PAGE_SIZE, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (page == MAP_FAILED) {
    HAL_LOG_AS(HAL_LOG_INFO, "hal_report_init", "hal_report_piont mmap failed!");
    free_memory(s);
    return 1;
  }
  s->page = static_cast<AlgTouchPoint *>(page);
  s->finger = fd >= 0 && finger;
  s->stylus = fd >= 0 && stylus;
  freeAllSlots(s);
  g_state = s;
  return 0;
}

const ReportPointMethod kMethodV2 = {
    v2Init, v2Exit, fingerReport, fingerReleaseAll, fingerSync, stylusReport, stylusRelease, stylusSync,
};

}  // namespace

const ReportPointMethod *get_report_point_method_v2(void) { return &kMethodV2; }
