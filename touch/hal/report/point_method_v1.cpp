// Point method version 1: multi-touch protocol B events on the kernel's touch input device
// and pen events on its stylus device.
#include <dirent.h>
#include <fcntl.h>
#include <linux/input.h>
#include <string.h>
#include <time.h>

#include <string>
#include <vector>

#include "platform/devio.h"
#include "platform/paths.h"
#include "report/hal_report.h"
#include "report/point_method.h"

namespace {

constexpr const char *kInputDir = "/dev/input";

struct FingerState {
  int32_t fd;
  uint32_t mask;  // slots down
  int32_t nextTrackingId;
  int32_t trackingIds[HAL_REPORT_MAX_SLOTS];
  uint8_t hostFlag;
  uint8_t allReleased;
  uint8_t syncPending;
};

struct StylusState {
  int32_t fd;
  int32_t lastAction;
  uint8_t syncPending;
};

FingerState *g_finger = nullptr;
StylusState *g_stylus = nullptr;

// The events of one call, written in one write.
class EventBatch {
 public:
  void add(uint16_t type, uint16_t code, int32_t value) {
    input_event e;
    memset(&e, 0, sizeof e);  // a zero time: the kernel stamps it
    e.type = type;
    e.code = code;
    e.value = value;
    events_.push_back(e);
  }
  bool empty() const { return events_.empty(); }
  bool writeTo(int fd) const {
    if (fd < 0 || events_.empty()) return false;
    size_t bytes = events_.size() * sizeof(input_event);
    return plat_write(fd, events_.data(), bytes) == static_cast<ssize_t>(bytes);
  }

 private:
  std::vector<input_event> events_;
};

bool writeSyn(int fd) {
  EventBatch b;
  b.add(EV_SYN, SYN_REPORT, 0);
  return b.writeTo(fd);
}

// ---- device search ----------------------------------------------------------------

bool testBit(const uint8_t *bits, unsigned bit) { return (bits[bit / 8] >> (bit % 8)) & 1; }

struct Capabilities {
  uint8_t ev[(EV_MAX + 8) / 8] = {};
  uint8_t abs[(ABS_MAX + 8) / 8] = {};
  uint8_t key[(KEY_MAX + 8) / 8] = {};
};

bool axisMaxIs(int fd, unsigned axis, int32_t expected) {
  input_absinfo info;
  memset(&info, 0, sizeof info);
  if (plat_ioctl(fd, EVIOCGABS(axis), &info) < 0) return false;
  return info.maximum == expected;
}

bool isFingerDevice(int fd, const Capabilities &c, int32_t maxX, int32_t maxY) {
  return testBit(c.ev, EV_ABS) && testBit(c.abs, ABS_MT_POSITION_X) && testBit(c.abs, ABS_MT_POSITION_Y) &&
         testBit(c.key, BTN_TOOL_FINGER) && axisMaxIs(fd, ABS_MT_POSITION_X, maxX) &&
         axisMaxIs(fd, ABS_MT_POSITION_Y, maxY);
}

bool isStylusDevice(int fd, const Capabilities &c, int32_t maxX, int32_t maxY) {
  return testBit(c.abs, ABS_X) && testBit(c.abs, ABS_Y) && testBit(c.abs, ABS_PRESSURE) &&
         testBit(c.key, BTN_TOOL_PEN) && axisMaxIs(fd, ABS_X, maxX) && axisMaxIs(fd, ABS_Y, maxY);
}

void keepDevice(int fd) {
  int clock = CLOCK_MONOTONIC;
  plat_ioctl(fd, EVIOCSCLOCKID, &clock);
  char name[80] = {};
  plat_ioctl(fd, EVIOCGNAME(sizeof name - 1), name);
  HAL_LOG_AS(HAL_LOG_INFO, "find_abs_property", "find touch name:%s", name);
}

// One scan of /dev/input; fills the wanted descriptors that are still missing.
void scanInputDevices(int32_t maxX, int32_t maxY, int32_t *fingerFd, int32_t *stylusFd) {
  DIR *dir = plat_opendir(kInputDir);
  if (dir == nullptr) return;
  while (struct dirent *entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::string path = std::string(kInputDir) + "/" + entry->d_name;
    int fd = plat_open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    Capabilities c;
    plat_ioctl(fd, EVIOCGBIT(0, sizeof c.ev), c.ev);
    plat_ioctl(fd, EVIOCGBIT(EV_ABS, sizeof c.abs), c.abs);
    plat_ioctl(fd, EVIOCGBIT(EV_KEY, sizeof c.key), c.key);
    bool kept = false;
    if (fingerFd != nullptr && *fingerFd < 0 && isFingerDevice(fd, c, maxX, maxY)) {
      keepDevice(fd);
      *fingerFd = fd;
      kept = true;
    } else if (stylusFd != nullptr && *stylusFd < 0 && isStylusDevice(fd, c, maxX, maxY)) {
      keepDevice(fd);
      *stylusFd = fd;
      kept = true;
    }
    if (!kept) plat_close(fd);
  }
  closedir(dir);
}

// Waits for the wanted devices; false when they did not appear in time.
bool findTouchDevices(const TouchPanelInfo *panel) {
  if (g_finger == nullptr && g_stylus == nullptr) {
    HAL_LOG_AS(HAL_LOG_ERROR, "find_touch_device", "all event fd is NULL!");
    return true;
  }
  const int32_t m = panel->scale;
  const int32_t maxX = panel->extent_x * m - 1;
  const int32_t maxY = panel->extent_y * m - 1;
  for (uint32_t attempt = 1;; ++attempt) {
    scanInputDevices(maxX, maxY, g_finger != nullptr ? &g_finger->fd : nullptr,
                     g_stylus != nullptr ? &g_stylus->fd : nullptr);
    bool missing = (g_finger != nullptr && g_finger->fd < 0) || (g_stylus != nullptr && g_stylus->fd < 0);
    if (!missing) return true;
    HAL_LOG_AS(HAL_LOG_ERROR, "find_touch_device", "can't get touch device, retry cnt = %d", attempt);
    // A device that never appears must not hold the module's initialisation forever.
    if (attempt >= HAL_REPORT_FIND_ATTEMPTS) return false;
    hal_sleep_ms(1000);
  }
}

// ---- fingers ---------------------------------------------------------------------

void fingerReport(const AlgTouchPoint *p) {
  FingerState *f = g_finger;
  if (f == nullptr || p == nullptr) return;
  if (p->id < 0 || p->id >= HAL_REPORT_MAX_SLOTS) {
    HAL_LOG_AS(HAL_LOG_ERROR, "hal_finger_event_report", "slot id %d out of range 0..%d, drop it", p->id,
               HAL_REPORT_MAX_SLOTS - 1);
    return;
  }
  if (f->fd < 0) return;
  const int id = p->id;
  const uint32_t bit = 1u << id;
  EventBatch b;
  b.add(EV_ABS, ABS_MT_SLOT, id);
  if (p->action == ALG_TOUCH_ACTION_UP) {
    b.add(EV_ABS, ABS_MT_TRACKING_ID, -1);
    f->trackingIds[id] = -1;
    bool wasDown = f->mask != 0;
    f->mask &= ~bit;
    if (wasDown && f->mask == 0) {
      b.add(EV_KEY, BTN_TOUCH, 0);
      b.add(EV_KEY, BTN_TOOL_FINGER, 0);
      f->allReleased = 1;
      HAL_LOG_AS(HAL_LOG_INFO, "hal_finger_event_report", "release all");
    }
    HAL_LOG_AS(HAL_LOG_VERBOSE, "hal_finger_event_report", "Touch Up id:%d", id);
  } else {
    if (f->mask == 0 || f->hostFlag) {
      b.add(EV_ABS, ABS_MT_TOOL_TYPE, MT_TOOL_FINGER);
      b.add(EV_KEY, BTN_TOUCH, 1);
      b.add(EV_KEY, BTN_TOOL_FINGER, 1);
    }
    if (!(f->mask & bit) || f->hostFlag) {
      if (id == ALG_TOUCH_ID_FINGERPRINT && f->mask == 0) {
        HAL_LOG_AS(HAL_LOG_INFO, "hal_finger_event_report", "resume fod press, don't set tracking id!");
      } else {
        if (f->trackingIds[id] < 0) {
          if (f->nextTrackingId < 0) f->nextTrackingId = HAL_REPORT_TRACKING_ID_START;
          f->trackingIds[id] = f->nextTrackingId;
          // Past the largest value the counter turns negative and restarts at 100.
          f->nextTrackingId = f->nextTrackingId == INT32_MAX ? -1 : f->nextTrackingId + 1;
        }
        b.add(EV_ABS, ABS_MT_TRACKING_ID, f->trackingIds[id]);
      }
    }
    b.add(EV_ABS, ABS_MT_PRESSURE, 1);
    b.add(EV_ABS, ABS_MT_POSITION_X, p->x);
    b.add(EV_ABS, ABS_MT_POSITION_Y, p->y);
    f->mask |= bit;
    f->allReleased = 0;
    HAL_LOG_AS(HAL_LOG_VERBOSE, "hal_finger_event_report", "Touch Down id:%d, tracking id:%d, (%d, %d)", id,
               f->trackingIds[id], p->x, p->y);
  }
  if (!b.writeTo(f->fd)) HAL_LOG_AS(HAL_LOG_ERROR, "hal_finger_event_report", "up error");
  f->syncPending = 1;
}

void resetFinger(FingerState *f, uint8_t hostFlag) {
  f->fd = -1;
  f->mask = 0;
  f->nextTrackingId = HAL_REPORT_TRACKING_ID_START;
  for (int32_t &t : f->trackingIds) t = -1;
  f->hostFlag = hostFlag;
  f->allReleased = 0;
  f->syncPending = 0;
}

bool fingerReleaseAll(bool force) {
  FingerState *f = g_finger;
  if (f == nullptr || !(force || !f->allReleased)) return false;
  HAL_LOG_AS(HAL_LOG_INFO, "hal_finger_release_all", "release all");
  for (int id = 0; id < HAL_REPORT_MAX_SLOTS; ++id) {
    AlgTouchPoint up = hal_report_up_point(id, ALG_TOUCH_TOOL_FINGER);
    fingerReport(&up);
  }
  f->allReleased = 1;
  writeSyn(f->fd);
  f->syncPending = 0;
  return true;
}

uint32_t fingerSync(void) {
  FingerState *f = g_finger;
  if (f == nullptr) return 0;
  if (f->fd >= 0 && f->syncPending) {
    if (!writeSyn(f->fd)) HAL_LOG_AS(HAL_LOG_INFO, "hal_finger_report_sync", "touch_report_up error");
    f->syncPending = 0;
  }
  return f->mask;
}

// ---- stylus ----------------------------------------------------------------------

}  // namespace

const char *hal_stylus_action_text(int32_t action) {
  switch (action) {
    case ALG_TOUCH_ACTION_DOWN: return "stylus down";
    case ALG_TOUCH_ACTION_MOVE: return "stylus move";
    case ALG_TOUCH_ACTION_UP: return "stylus up";
    case ALG_TOUCH_ACTION_HOVER: return "stylus hover";
    default: return "stylus unknow action";
  }
}

namespace {

// force: write the up even when the stylus is already up.
void stylusEvent(const AlgTouchPoint *p, bool force) {
  StylusState *s = g_stylus;
  if (s == nullptr || p == nullptr) return;
  EventBatch b;
  if (p->action == ALG_TOUCH_ACTION_UP) {
    if (s->lastAction != ALG_TOUCH_ACTION_UP || force) {
      b.add(EV_KEY, BTN_TOUCH, 0);
      for (uint16_t axis : {ABS_PRESSURE, ABS_X, ABS_Y, ABS_TILT_X, ABS_TILT_Y, ABS_DISTANCE}) b.add(EV_ABS, axis, 0);
      for (uint16_t key : {BTN_TOOL_PEN, BTN_STYLUS, BTN_STYLUS2}) b.add(EV_KEY, key, 0);
    }
  } else {
    b.add(EV_KEY, BTN_TOUCH, p->pressure != 0);
    b.add(EV_ABS, ABS_PRESSURE, p->pressure);
    b.add(EV_ABS, ABS_X, p->x);
    b.add(EV_ABS, ABS_Y, p->y);
    b.add(EV_ABS, ABS_TILT_X, p->tilt_x);
    b.add(EV_ABS, ABS_TILT_Y, p->tilt_y);
    b.add(EV_ABS, ABS_DISTANCE, p->distance);
    b.add(EV_KEY, BTN_TOOL_PEN, p->pressure != 0 || p->distance != 0);
  }
  // An up while already up has nothing to write; that is not a failed write.
  if (!b.empty()) {
    if (b.writeTo(s->fd)) {
      s->syncPending = 1;
    } else if (s->fd >= 0) {
      HAL_LOG_AS(HAL_LOG_ERROR, "hal_stylus_event_report", "move error");
    }
  }
  if (p->action != s->lastAction) {
    HAL_LOG_AS(HAL_LOG_INFO, "hal_stylus_event_report", "%s", hal_stylus_action_text(p->action));
    s->lastAction = p->action;
  }
}

void stylusReport(const AlgTouchPoint *p) { stylusEvent(p, false); }

uint32_t stylusSync(void) {
  StylusState *s = g_stylus;
  if (s == nullptr) return 0;
  if (s->syncPending && s->fd >= 0) {
    if (!writeSyn(s->fd)) HAL_LOG_AS(HAL_LOG_ERROR, "hal_stylus_report_sync", "move error");
    s->syncPending = 0;
  }
  return s->lastAction != ALG_TOUCH_ACTION_UP;
}

bool stylusRelease(bool force) {
  StylusState *s = g_stylus;
  if (s == nullptr || !(s->lastAction != ALG_TOUCH_ACTION_UP || force)) return false;
  AlgTouchPoint up = hal_report_up_point(0, ALG_TOUCH_TOOL_STYLUS);
  stylusEvent(&up, force);
  s->syncPending = 1;
  stylusSync();
  return true;
}

// ---- life cycle --------------------------------------------------------------------

void v1Exit(void) {
  if (g_finger != nullptr) {
    if (g_finger->fd >= 0) plat_close(g_finger->fd);
    free_memory(g_finger);
    g_finger = nullptr;
  }
  if (g_stylus != nullptr) {
    if (g_stylus->fd >= 0) plat_close(g_stylus->fd);
    free_memory(g_stylus);
    g_stylus = nullptr;
  }
}

int32_t v1Init(const TouchPanelInfo *panel, int32_t /*fd*/, uint8_t /*touchId*/, uint8_t hostFlag, bool finger,
               bool stylus) {
  v1Exit();
  if (panel == nullptr) return 1;
  if (finger) {
    g_finger = static_cast<FingerState *>(alloc_memory(sizeof(FingerState), 5));
    if (g_finger == nullptr) {
      HAL_LOG_AS(HAL_LOG_ERROR, "hal_report_init", "malloc finger_report_point_info failed!!");
      return 1;
    }
    resetFinger(g_finger, hostFlag & 1u);
    fingerReleaseAll(true);
  }
  if (stylus) {
    g_stylus = static_cast<StylusState *>(alloc_memory(sizeof(StylusState), 5));
    if (g_stylus == nullptr) {
      HAL_LOG_AS(HAL_LOG_ERROR, "hal_report_init", "malloc stylus_report_point_info failed!!");
      v1Exit();
      return 1;
    }
    g_stylus->fd = -1;
    g_stylus->lastAction = ALG_TOUCH_ACTION_UP;
    g_stylus->syncPending = 0;
  }
  if (!findTouchDevices(panel)) {
    v1Exit();
    return 1;
  }
  int version = 0;
  if (g_finger != nullptr && plat_ioctl(g_finger->fd, EVIOCGVERSION, &version) == 0) {
    HAL_LOG_AS(HAL_LOG_INFO, "hal_report_init", "finger input version:%d", version);
  }
  if (g_stylus != nullptr && plat_ioctl(g_stylus->fd, EVIOCGVERSION, &version) == 0) {
    HAL_LOG_AS(HAL_LOG_INFO, "hal_report_init", "stylus input version:%d", version);
  }
  return 0;
}

const ReportPointMethod kMethodV1 = {
    v1Init, v1Exit, fingerReport, fingerReleaseAll, fingerSync, stylusReport, stylusRelease, stylusSync,
};

}  // namespace

const ReportPointMethod *get_report_point_method_v1(void) { return &kMethodV1; }
