// The report-point timer, the choice of the controller (IC) and report rates, and the vsync
// state machine.
#include "report/report_timer.h"

#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

#include "report/hal_report.h"
#include "report/point_interpolation.h"
#include "send/send_to_driver.h"

namespace {

constexpr const char *kCmdFn = "hal_report_pointer_timer_common_data";
constexpr int32_t kVsyncReportRateMode1 = 68;
constexpr int32_t kVsyncReportRateMode2 = 135;

struct Settings {
  int64_t vsyncOffsetNs = 4000000;
  int32_t vsyncReportMode = 0;
  int32_t dynamicFpsReport = 0;
  int32_t lowFpsLimit = 70;
  int32_t rateNormal = 120;
  int32_t icRateNormal = 120;
  int32_t rateGame = 240;
  int32_t icRateGame = 240;
  int32_t rateGameSuper = 480;
  int32_t icRateGameSuper = 240;
  int32_t rateVsync = 120;  // read, not used
  int32_t icRateVsync = 60;
  int32_t useReportTimer = 0;
  int32_t cameraRateMode = 0;
};

struct Modes {
  bool game = false;
  bool powerSave = false;
  bool superReport = false;
  int32_t displayFps = 0;
  bool cameraActive = false;
};

struct TimerState {
  // Guarded by timerLock: the engine, the ticks, the rates and the POSIX timer's arming.
  std::mutex timerLock;
  uint16_t icRate = 0;
  uint16_t reportRate = 0;
  int32_t ticksPerFrame = 1;
  int32_t tickCount = 0;
  int32_t mark = 0;  // report rate armed, 0 stopped, -1 stopped after running
  bool armedSuspended = false;
  uint64_t frameTimeNs = 0;

  std::atomic<bool> suspended{false};
  std::atomic<bool> started{false};     // points go through the timer
  std::atomic<bool> prevRelease{true};  // the previous offer ended a touch
  std::atomic<int64_t> lastTimerReportNs{0};

  // The thread and its POSIX timer.
  pthread_t thread{};
  bool threadRunning = false;
  std::atomic<bool> stop{false};
  std::atomic<bool> timerReady{false};
  std::atomic<bool> threadFailed{false};
  timer_t timer{};

  report_point_callback_fn report = nullptr;
  const PointInterpolationInterface *engine = nullptr;
};

struct VsyncMachine {
  std::mutex lock;  // guards every field
  bool enabled = false;
  bool wanted = false;
  std::atomic<bool> requested{false};  // also read by the rate setting, without the lock
  bool touching = false;
  uint32_t lockBits = 0;
  int32_t changedFrames = 0;
  uint32_t lastSignature = 0;
  int32_t mode = 0;
  int64_t nextVsyncNs = 0;
  int64_t lastHandledNs = 0;
  bool ratesApplied = false;
  bool near60 = false;
  bool firstVsync = false;
  int32_t frameCounter = 0;
  int32_t state = VSYNC_STATE_NORMAL;
};

struct Replay {
  std::mutex lock;  // guards record
  ReportReplayRecord *record = nullptr;
};

Settings g_cfg;
Modes g_modes;
std::mutex g_modesLock;  // guards g_modes and the rate choice
TimerState g_t;
VsyncMachine g_v;
Replay g_replay;
std::atomic<void (*)(int32_t)> g_vsyncCallback{nullptr};

enum VsyncEvent { kEventFrame = 0, kEventVsync = 1, kEventModeChange = 2 };
enum VsyncCount { kCountNone, kCountMiss, kCountUpdate, kCountReport };

uint8_t hostFlag() {
  HalHostCallbacks *host = get_hal_module_callback();
  return host != nullptr ? host->replay_flag : 0;
}

void trace(const char *text) {
  thp_atrace_name(1, text);
  thp_atrace_end(1);
}

// ---- replay record ---------------------------------------------------------------

void recordEvent(uint32_t kind, uint32_t a, uint32_t b) {
  if (hostFlag() != 0) return;  // the record is being replayed, not written
  std::lock_guard<std::mutex> guard(g_replay.lock);
  ReportReplayRecord *r = g_replay.record;
  if (r == nullptr) return;
  if (r->used + REPORT_REPLAY_EVENT_WORDS > REPORT_REPLAY_MAX_EVENTS * REPORT_REPLAY_EVENT_WORDS) {
    HAL_LOG_AS(2, "record_dump_data", "hal_report_timer dump buffer full, data miss!");
    return;
  }
  r->words[r->used] = kind;
  r->words[r->used + 1] = a;
  r->words[r->used + 2] = b;
  r->used += REPORT_REPLAY_EVENT_WORDS;
}

void recordTimeEvent(uint32_t kind, uint64_t time) {
  recordEvent(kind, static_cast<uint32_t>(time), static_cast<uint32_t>(time >> 32));
}

void createReplayRecord() {
  if (!g_cfg.useReportTimer) return;
  std::lock_guard<std::mutex> guard(g_replay.lock);
  if (g_replay.record == nullptr) g_replay.record = new ReportReplayRecord{};
}

void freeReplayRecord() {
  std::lock_guard<std::mutex> guard(g_replay.lock);
  delete g_replay.record;
  g_replay.record = nullptr;
}

// ---- the POSIX timer -------------------------------------------------------------

// Called with timerLock held.
void armTimer(int64_t firstNs, int64_t periodNs) {
  if (!g_t.timerReady.load()) return;
  itimerspec when;
  memset(&when, 0, sizeof when);
  when.it_value.tv_sec = firstNs / 1000000000;
  when.it_value.tv_nsec = firstNs % 1000000000;
  when.it_interval.tv_sec = periodNs / 1000000000;
  when.it_interval.tv_nsec = periodNs % 1000000000;
  timer_settime(g_t.timer, 0, &when, nullptr);
}

void disarmTimer() { armTimer(0, 0); }

int64_t clockNs(clockid_t clock) {
  timespec ts;
  clock_gettime(clock, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// ---- rates -----------------------------------------------------------------------

int32_t roundedRatio(int32_t num, int32_t den) { return den > 0 ? (num + den / 2) / den : 1; }

void setReportRate(int32_t icRate, int32_t reportRate) {
  char text[96];
  snprintf(text, sizeof text, "IC report rate change to %d, thp report rate change to %d", icRate, reportRate);
  trace(text);
  if (!g_t.suspended.load()) {
    uint32_t values[4] = {static_cast<uint32_t>(icRate), 0, 0, 0};
    hal_send_to_driver(HAL_SEND_REPORT_RATE, values, 4);
  }
  // The machine holds its lock while it sets the vsync rates: the flag is read without it.
  const bool requested = g_v.requested.load();
  {
    std::lock_guard<std::mutex> guard(g_t.timerLock);
    g_t.icRate = static_cast<uint16_t>(icRate);
    g_t.reportRate = static_cast<uint16_t>(reportRate);
    if (g_t.engine != nullptr) g_t.engine->rate_change(g_t.icRate, g_t.reportRate, requested ? 1u : 0u);
  }
  HAL_LOG_AS(HAL_LOG_VERBOSE, "set_report_rate",
             "IC report rate set to %d, thp report rate set to %d, report timer enable is %d", icRate, reportRate,
             g_cfg.useReportTimer);
  if (g_cfg.useReportTimer) {
    recordEvent(REPORT_EVENT_RATE, static_cast<uint32_t>(icRate), static_cast<uint32_t>(reportRate));
  }
}

void chooseRates() {
  std::lock_guard<std::mutex> guard(g_modesLock);
  int32_t ic = g_cfg.icRateNormal;
  int32_t report = g_cfg.rateNormal;
  const Modes &m = g_modes;
  if (m.game) {
    bool fast = m.displayFps > g_cfg.lowFpsLimit;
    bool superPair;
    bool gamePair;
    if (g_cfg.dynamicFpsReport) {
      superPair = !m.powerSave && m.superReport && fast;
      gamePair = m.powerSave ? fast : !superPair;
    } else {
      superPair = m.superReport;
      gamePair = !superPair;
    }
    if (superPair) {
      ic = g_cfg.icRateGameSuper;
      report = g_cfg.rateGameSuper;
    } else if (gamePair) {
      ic = g_cfg.icRateGame;
      report = g_cfg.rateGame;
    }
  }
  if (g_cfg.cameraRateMode && m.cameraActive) {
    ic = g_cfg.icRateNormal;
    report = g_cfg.icRateNormal;
  }
  setReportRate(ic, report);
  if (!g_v.requested.load()) {
    std::lock_guard<std::mutex> timerGuard(g_t.timerLock);
    g_t.ticksPerFrame = roundedRatio(report, ic);
  }
}

// ---- vsync state machine (called with g_v.lock held) -------------------------------

bool inVsyncStates(int32_t state) { return state >= VSYNC_STATE_WAIT_VSYNC && state <= VSYNC_STATE_UPDATE; }

void enterVsyncState(int32_t next) {
  if (next >= VSYNC_STATE_FIRST && !g_v.ratesApplied) {
    setReportRate(g_cfg.icRateVsync, g_v.mode == 2 ? kVsyncReportRateMode2 : kVsyncReportRateMode1);
    g_v.ratesApplied = true;
  }
  g_v.state = next;
  thp_atrace_int64(1, "vsync_state", next);
}

void enterNormal(int32_t next) {
  int32_t previous = g_v.state;
  g_v.state = next;
  thp_atrace_int64(1, "vsync_state", next);
  if (g_v.ratesApplied) {
    setReportRate(g_cfg.icRateNormal, g_cfg.rateNormal);
    g_v.ratesApplied = false;
  }
  auto callback = g_vsyncCallback.load();
  if (inVsyncStates(previous) && callback != nullptr) callback(0);
  g_v.changedFrames = 0;
}

void countVsync(VsyncCount count) {
  if (count == kCountMiss || count == kCountUpdate) {
    trace(count == kCountMiss ? "Frame Miss" : "Frame update");
    if (g_v.state == VSYNC_STATE_REPORT) {
      enterVsyncState(VSYNC_STATE_UPDATE);
    } else if (g_v.state == VSYNC_STATE_UPDATE) {
      ++g_v.frameCounter;
    }
  } else if (count == kCountReport) {
    trace("Frame report");
    if (g_v.state == VSYNC_STATE_UPDATE) enterVsyncState(VSYNC_STATE_REPORT);
  }
}

void onVsync() {
  if (g_v.state == VSYNC_STATE_WAIT_VSYNC) {
    g_v.firstVsync = true;
    enterVsyncState(VSYNC_STATE_FIRST);
    return;
  }
  if (g_v.nextVsyncNs == 0) return;
  VsyncCount count = kCountNone;
  int64_t ahead = g_v.nextVsyncNs - clockNs(CLOCK_MONOTONIC);
  if (ahead < g_cfg.vsyncOffsetNs) {
    HAL_LOG_AS(2, "state_process", "vsync missed by binder delay too long");
    count = kCountMiss;
  } else if (g_v.state != VSYNC_STATE_FIRST) {
    count = g_v.lastHandledNs < g_t.lastTimerReportNs.load() ? kCountUpdate : kCountReport;
  } else if (g_v.near60) {
    enterVsyncState(VSYNC_STATE_REPORT);
  }
  countVsync(count);
  g_v.lastHandledNs = g_v.nextVsyncNs;
}

void runMachine(int32_t event) {
  if (!g_v.enabled) return;
  switch (g_v.state) {
    case VSYNC_STATE_NORMAL:
      if (g_v.changedFrames > 1 && g_v.touching && g_v.requested && g_v.lockBits == 0 &&
          g_vsyncCallback.load() != nullptr) {
        trace("vsync_statemachine exit NORMAL enter VSYNC_WAIT_VSYNC");
        thp_atrace_int64(1, "vsync_state", VSYNC_STATE_WAIT_VSYNC);
        g_v.state = VSYNC_STATE_WAIT_VSYNC;
        g_v.nextVsyncNs = 0;
        g_v.lastHandledNs = 0;
        g_v.frameCounter = 1;
        g_v.firstVsync = false;
        g_vsyncCallback.load()(2);
      } else if (g_v.touching && g_v.lockBits != 0) {
        char text[64];
        snprintf(text, sizeof text, "vsync_statemachine (%x) enter NORMAL_LOCKED", g_v.lockBits);
        trace(text);
        enterNormal(VSYNC_STATE_NORMAL_LOCKED);
      }
      return;
    case VSYNC_STATE_NORMAL_LOCKED:
      if (!g_v.touching) {
        trace("vsync_statemachine exit NORMAL_LOCKED enter NORMAL");
        enterNormal(VSYNC_STATE_NORMAL);
      }
      return;
    default:
      break;
  }
  if (g_v.lockBits != 0) {
    enterNormal(VSYNC_STATE_NORMAL_LOCKED);
    return;
  }
  if (!g_v.touching || !g_v.requested || (g_v.state >= VSYNC_STATE_FIRST && g_v.mode == 0)) {
    char text[64];
    snprintf(text, sizeof text, "vsync_statemachine (%d:%d:%d) enter NORMAL", g_v.touching, g_v.requested.load(), g_v.mode);
    trace(text);
    enterNormal(VSYNC_STATE_NORMAL);
    return;
  }
  if (event == kEventVsync) {
    onVsync();
  } else if (event == kEventFrame && g_v.state == VSYNC_STATE_FIRST && g_v.near60 && g_v.firstVsync) {
    enterVsyncState(VSYNC_STATE_REPORT);
  }
}

void machine(int32_t event) {
  std::lock_guard<std::mutex> guard(g_v.lock);
  runMachine(event);
}

// ---- the timer thread and its ticks ---------------------------------------------------

void tick(uint64_t timeNs) {
  AlgTouchPoint points[HAL_INTERP_IDS];
  int32_t count = 0;
  report_point_callback_fn report;
  {
    std::lock_guard<std::mutex> guard(g_t.timerLock);
    recordTimeEvent(REPORT_EVENT_TICK, timeNs);
    if (++g_t.tickCount >= g_t.ticksPerFrame) {
      if (!(g_t.mark == -1 && g_t.armedSuspended == g_t.suspended.load())) disarmTimer();
      g_t.mark = g_t.mark != 0 ? -1 : 0;
    }
    if (g_t.engine != nullptr) g_t.engine->interpolate(points, &count);
    if (g_t.suspended.load()) count = 0;
    report = g_t.report;
  }
  if (report != nullptr) report(points, count);
}

void *timerThread(void *) {
  sigevent sev;
  memset(&sev, 0, sizeof sev);
  sev.sigev_notify = SIGEV_THREAD_ID;
  sev.sigev_signo = REPORT_TIMER_SIGNAL;
  sev._sigev_un._tid = gettid();
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, nullptr);
  if (timer_create(CLOCK_MONOTONIC, &sev, &g_t.timer) != 0) {
    HAL_LOG_AS(HAL_LOG_ERROR, "report_point_timer_thread", "report point timer create error: %s", strerror(errno));
    g_t.threadFailed.store(true);
    return nullptr;
  }
  g_t.timerReady.store(true);
  HAL_LOG_AS(HAL_LOG_INFO, "report_point_timer_thread", "report point timer start!");
  sigset_t wanted;
  sigemptyset(&wanted);
  sigaddset(&wanted, REPORT_TIMER_SIGNAL);
  while (true) {
    int sig = 0;
    if (sigwait(&wanted, &sig) != 0) continue;
    if (g_t.stop.load()) break;
    tick(static_cast<uint64_t>(clockNs(CLOCK_REALTIME)));
    g_t.lastTimerReportNs.store(clockNs(CLOCK_MONOTONIC));
  }
  HAL_LOG_AS(HAL_LOG_INFO, "report_point_timer_thread", "report point timer stop!");
  return nullptr;
}

// ---- offers ------------------------------------------------------------------------

// Plays the replay record instead of the live points while the host replays a dump. The
// walk runs over a copy, so no replay lock is held while the timer lock is taken.
bool replayOffer(const AlgTouchPoint *points, int32_t count) {
  ReportReplayRecord copy;
  {
    std::lock_guard<std::mutex> guard(g_replay.lock);
    if (g_replay.record == nullptr || g_replay.record->used == 0) return true;
    copy = *g_replay.record;
  }
  bool taken = true;
  const uint32_t used = copy.used <= REPORT_REPLAY_WORDS ? copy.used : REPORT_REPLAY_WORDS;
  for (uint32_t i = 0; i + REPORT_REPLAY_EVENT_WORDS <= used; i += REPORT_REPLAY_EVENT_WORDS) {
    const uint32_t a = copy.words[i + 1];
    const uint32_t b = copy.words[i + 2];
    const uint64_t time = (static_cast<uint64_t>(b) << 32) | a;
    switch (copy.words[i]) {
      case REPORT_EVENT_TICK:
        HAL_LOG_AS(HAL_LOG_INFO, "add_report_point_to_timer_buf", "dump replay report time %ld",
                   static_cast<long>(time));
        tick(time);
        break;
      case REPORT_EVENT_RATE: {
        HAL_LOG_AS(HAL_LOG_INFO, "add_report_point_to_timer_buf", "dump replay change rate %d %d", a, b);
        trace("dump replay change rate");
        std::lock_guard<std::mutex> timerGuard(g_t.timerLock);
        g_t.icRate = static_cast<uint16_t>(a);
        g_t.reportRate = static_cast<uint16_t>(b);
        if (g_t.engine != nullptr) g_t.engine->rate_change(g_t.icRate, g_t.reportRate, 0);
        break;
      }
      case REPORT_EVENT_POINTS: {
        HAL_LOG_AS(HAL_LOG_INFO, "add_report_point_to_timer_buf", "dump replay update point at %ld",
                   static_cast<long>(time));
        std::lock_guard<std::mutex> timerGuard(g_t.timerLock);
        if (g_t.engine != nullptr && g_t.engine->record_points(points, count, time) != 0) taken = false;
        break;
      }
      case REPORT_EVENT_SUSPEND: {
        HAL_LOG_AS(HAL_LOG_INFO, "add_report_point_to_timer_buf", "dump replay is suspend");
        std::lock_guard<std::mutex> timerGuard(g_t.timerLock);
        if (g_t.engine != nullptr) g_t.engine->record_points(nullptr, 0, 0);
        break;
      }
      case REPORT_EVENT_MAIN_THREAD:
        HAL_LOG_AS(HAL_LOG_INFO, "add_report_point_to_timer_buf", "dump replay Main thread report");
        taken = false;
        break;
      default:
        HAL_LOG_AS(HAL_LOG_INFO, "add_report_point_to_timer_buf", "replay dump report error event %d", copy.words[i]);
        return taken;
    }
  }
  return taken;
}

bool timerOffer(const AlgTouchPoint *points, int32_t count, uint32_t signature) {
  // Without its timer the thread could never report what it took.
  if (!g_cfg.useReportTimer || !g_t.timerReady.load()) return false;
  if (hostFlag() != 0) return replayOffer(points, count);

  const bool release = signature == 0 || count < 1;
  // Timer or direct reporting is chosen between touches only, never in the middle of one.
  if (g_t.prevRelease.load()) {
    bool vsyncRequested;
    {
      std::lock_guard<std::mutex> guard(g_v.lock);
      vsyncRequested = g_v.enabled && g_v.requested;
    }
    uint16_t ic;
    uint16_t report;
    {
      std::lock_guard<std::mutex> guard(g_t.timerLock);
      ic = g_t.icRate;
      report = g_t.reportRate;
    }
    if (ic != report || vsyncRequested) {
      HAL_LOG_AS(HAL_LOG_VERBOSE, "add_report_point_to_timer_buf", "start report_point_timer");
      g_t.started.store(true);
    } else {
      HAL_LOG_AS(HAL_LOG_VERBOSE, "add_report_point_to_timer_buf", "stop report_point_timer");
      if (g_t.started.exchange(false)) {
        std::lock_guard<std::mutex> guard(g_t.timerLock);
        disarmTimer();
        g_t.mark = 0;
      }
    }
  }
  g_t.prevRelease.store(release);
  if (!g_t.started.load()) {
    recordEvent(REPORT_EVENT_MAIN_THREAD, 1, 0);
    return false;
  }
  {
    std::lock_guard<std::mutex> guard(g_t.timerLock);
    recordTimeEvent(REPORT_EVENT_POINTS, g_t.frameTimeNs);
    if (g_t.engine != nullptr && g_t.engine->record_points(points, count, g_t.frameTimeNs) != 0) return false;
    g_t.tickCount = 0;
    const int32_t wanted = (count > 0 && signature != 0) ? g_t.reportRate : 0;
    const bool suspended = g_t.suspended.load();
    if (suspended != g_t.armedSuspended || g_t.mark != wanted) {
      int64_t period = 0;
      if (wanted != 0 && !suspended) period = static_cast<int64_t>(1e9f / static_cast<float>(wanted));
      int64_t first = (period == 0 || g_t.mark == 0 || g_t.mark == -1) ? 1 : period;
      armTimer(first, period);
      g_t.mark = suspended ? 0 : wanted;
      g_t.armedSuspended = suspended;
    }
  }
  {
    std::lock_guard<std::mutex> guard(g_v.lock);
    if (g_v.enabled) {
      g_v.touching = signature != 0;
      if (count != 1) {
        g_v.lockBits |= 2u;
      } else {
        g_v.lockBits &= ~2u;
      }
      g_v.changedFrames = (signature != 0 && signature != g_v.lastSignature) ? g_v.changedFrames + 1 : 0;
      g_v.lastSignature = signature;
      runMachine(kEventFrame);
    }
  }
  return true;
}

// ---- hooks -------------------------------------------------------------------------

int32_t timerInit(const TouchPanelInfo *panel, report_point_callback_fn report) {
  g_t.suspended.store(false);
  {
    std::lock_guard<std::mutex> guard(g_modesLock);
    g_modes = Modes{};
  }
  if (!g_cfg.useReportTimer) return 0;
  g_t.report = report;
  g_t.engine = get_default_point_interpolation_interface();
  g_t.engine->init(panel != nullptr ? panel->scale : 0);
  g_t.stop.store(false);
  g_t.timerReady.store(false);
  g_t.threadFailed.store(false);
  uint64_t handle = create_thread("touch-report-point", timerThread, nullptr, 1);
  if (handle == 0) {
    HAL_LOG_AS(HAL_LOG_ERROR, "report_point_timer_init", "create report point thread failed!");
  } else {
    g_t.thread = static_cast<pthread_t>(handle);
    g_t.threadRunning = true;
    // Arming needs the thread's timer: wait (bounded) until it exists.
    for (int i = 0; i < 1000 && !g_t.timerReady.load() && !g_t.threadFailed.load(); ++i) hal_sleep_ms(1);
  }
  {
    std::lock_guard<std::mutex> guard(g_v.lock);
    g_v.wanted = false;
    g_v.requested = false;
    g_v.touching = false;
    g_v.lockBits = 0;
    g_v.changedFrames = 0;
    g_v.lastSignature = 0;
    g_v.ratesApplied = false;
    g_v.state = VSYNC_STATE_NORMAL;
    g_v.enabled = g_cfg.vsyncReportMode && g_cfg.useReportTimer &&
                  hal_property_get_bool("ro.vendor.touch.touchscheduler.enable", false);
    HAL_LOG_AS(HAL_LOG_VERBOSE, "report_point_timer_init", "vsync_report_enable:%d", g_v.enabled);
  }
  g_t.prevRelease.store(true);
  g_t.started.store(false);
  g_t.mark = 0;
  chooseRates();
  return 0;
}

int32_t timerExit(void) {
  if (g_t.threadRunning) {
    g_t.stop.store(true);
    {
      std::lock_guard<std::mutex> guard(g_t.timerLock);
      disarmTimer();
    }
    pthread_kill(g_t.thread, REPORT_TIMER_SIGNAL);
    pthread_join(g_t.thread, nullptr);
    g_t.threadRunning = false;
  }
  if (g_t.timerReady.exchange(false)) timer_delete(g_t.timer);
  if (g_t.engine != nullptr) g_t.engine->exit();
  g_t.engine = nullptr;
  g_t.report = nullptr;
  freeReplayRecord();
  return 0;
}

void setModeAndChoose(bool Modes::*field, bool value) {
  {
    std::lock_guard<std::mutex> guard(g_modesLock);
    g_modes.*field = value;
  }
  chooseRates();
}

bool gameMode() {
  std::lock_guard<std::mutex> guard(g_modesLock);
  return g_modes.game;
}

// The vsync request follows the framework's wish, except in game mode.
void requestFromWish(bool wanted) {
  const bool game = gameMode();
  std::lock_guard<std::mutex> guard(g_v.lock);
  g_v.wanted = wanted;
  g_v.requested = wanted && !game;
}

bool vsyncWanted() {
  std::lock_guard<std::mutex> guard(g_v.lock);
  return g_v.wanted;
}

void setLockBit(uint32_t bit, bool on) {
  std::lock_guard<std::mutex> guard(g_v.lock);
  if (!g_v.enabled) return;
  if (on) {
    g_v.lockBits |= bit;
  } else {
    g_v.lockBits &= ~bit;
  }
  runMachine(kEventModeChange);
}

// The modes that switch the replay record on (value) or off.
void replayRecordSwitch(bool on) {
  if (on) {
    createReplayRecord();
  } else {
    freeReplayRecord();
  }
}

bool vsyncEnabled() {
  std::lock_guard<std::mutex> guard(g_v.lock);
  return g_v.enabled;
}

int32_t setModeValue(uint16_t mode, uint32_t value, const common_data *data) {
  switch (mode) {
    case 9:
      // Mode 9 carries a mode number as its value: the vsync request switched on or off.
      if (value == COMMON_DATA_MODE_VSYNC_REQUEST || value == COMMON_DATA_MODE_VSYNC_TIME) {
        {
          std::lock_guard<std::mutex> guard(g_v.lock);
          g_v.requested = value == COMMON_DATA_MODE_VSYNC_REQUEST;
        }
        chooseRates();
        machine(kEventModeChange);
      }
      break;
    case COMMON_DATA_MODE_VSYNC_REQUEST:  // 1085: the framework's vsync wish
      if (vsyncEnabled()) {
        requestFromWish(value != 0);
        chooseRates();
        machine(kEventModeChange);
      }
      break;
    case 1096:
      // A function address inside a command block would let any sender of common data run
      // code in this process: refused. The host registers through its own entry point.
      HAL_LOG_AS(HAL_LOG_ERROR, kCmdFn, "vsync callback in common data refused, value %u count %u", value,
                 data->count);
      break;
    case COMMON_DATA_MODE_GAME:
      {
        std::lock_guard<std::mutex> guard(g_modesLock);
        g_modes.game = value != 0;
      }
      if (vsyncEnabled()) {
        requestFromWish(vsyncWanted());
        machine(kEventModeChange);
      }
      chooseRates();
      break;
    case 21:
      HAL_LOG_AS(HAL_LOG_INFO, kCmdFn, "performance mode: %d", value);
      break;
    case COMMON_DATA_MODE_PHONE:  // 25: input method and camera
      HAL_LOG_AS(HAL_LOG_INFO, kCmdFn, "In_Input_Method mode: %d", value);
      if (value == 0 || value == 1) setLockBit(1u, value == 1);
      if (g_cfg.cameraRateMode && (value == 256 || value == 257)) setModeAndChoose(&Modes::cameraActive, value == 257);
      break;
    case 29:
      HAL_LOG_AS(HAL_LOG_INFO, kCmdFn, "power save mode: %d", value);
      setModeAndChoose(&Modes::powerSave, value != 0);
      break;
    case 202:
      HAL_LOG_AS(HAL_LOG_INFO, kCmdFn, "super report mode: %d", value);
      setModeAndChoose(&Modes::superReport, value != 0);
      break;
    case COMMON_DATA_MODE_CHARGE_STATE:  // 1010
      HAL_LOG_AS(HAL_LOG_INFO, kCmdFn, "CHARGING mode: %d", value);
      if (value == 0 || value == 1) setLockBit(4u, value == 1);
      break;
    case 1012:
      if (g_cfg.dynamicFpsReport) {
        {
          std::lock_guard<std::mutex> guard(g_modesLock);
          g_modes.displayFps = static_cast<int32_t>(value);
        }
        chooseRates();
        HAL_LOG_AS(HAL_LOG_INFO, kCmdFn, "display fps change!, fps: %d", value);
      }
      break;
    case COMMON_DATA_MODE_TEST_MODE:      // 1074
    case COMMON_DATA_MODE_TRIGGER_COUNT:  // 1082
      replayRecordSwitch(static_cast<int32_t>(value) > 0);
      break;
    case COMMON_DATA_MODE_RAW_CAPTURE:  // 1076
    case COMMON_DATA_MODE_BREAKLINE:    // 1079
      replayRecordSwitch(value != 0);
      break;
    case COMMON_DATA_MODE_USER_TYPE:  // 1093
      replayRecordSwitch(value != 0 && value != 2);
      break;
    default:
      break;
  }
  return 0;
}

int32_t timerCommonData(common_data *data, int32_t * /*pass*/) {
  if (data == nullptr) return -1;
  const uint32_t value = data->values[0];
  switch (data->cmd) {
    case COMMON_DATA_CMD_SET_MODE_VALUE:
      return setModeValue(data->mode, value, data);
    case COMMON_DATA_CMD_GET_CUR_VALUE:
      if (data->mode == COMMON_DATA_MODE_VSYNC_REQUEST) {
        int32_t requested;
        {
          std::lock_guard<std::mutex> guard(g_v.lock);
          requested = g_v.enabled && g_v.requested.load() ? 1 : 0;
        }
        char text[16];
        int n = snprintf(text, sizeof text, "%d\n", requested);
        memset(data->values, 0, sizeof data->values);
        memcpy(data->values, text, static_cast<size_t>(n));
        data->count = static_cast<uint16_t>(n);
        return requested;
      }
      break;
    case COMMON_DATA_CMD_RESET_MODE:
      {
        std::lock_guard<std::mutex> guard(g_v.lock);
        if (g_v.enabled) {
          g_v.requested = g_v.wanted;
          runMachine(kEventModeChange);
        }
      }
      {
        std::lock_guard<std::mutex> guard(g_modesLock);
        g_modes.game = false;
      }
      chooseRates();
      break;
    case COMMON_DATA_CMD_SET_LONG_VALUE:
      if (data->mode == COMMON_DATA_MODE_VSYNC_TIME) {
        std::lock_guard<std::mutex> guard(g_v.lock);
        if (g_v.enabled) {
          g_v.mode = static_cast<int32_t>(data->values[2]);
          g_v.nextVsyncNs = static_cast<int64_t>(data->values[0]) * 1000000000 +
                            static_cast<int64_t>(data->values[1]) * 1000;
          runMachine(kEventVsync);
        }
      }
      break;
    default:
      break;
  }
  return 0;
}

int32_t timerReadConfig(void * /*context*/, void *tree, void *accessor) {
  const auto *cfg = static_cast<const HalConfigAccessor *>(accessor);
  if (cfg == nullptr) return 0;
  Settings s;
  struct Item {
    const char *path;
    int32_t *field;
  };
  int32_t offset = static_cast<int32_t>(s.vsyncOffsetNs);
  const Item items[] = {
      {"vsync_report.vsync_offset", &offset},
      {"vsync_report.vsync_reprot_mode", &s.vsyncReportMode},
      {"report_rate.dynamic_fps_report", &s.dynamicFpsReport},
      {"report_rate.low_fps_limit", &s.lowFpsLimit},
      {"report_rate.rate_normal", &s.rateNormal},
      {"report_rate.ic_rate_normal", &s.icRateNormal},
      {"report_rate.rate_game", &s.rateGame},
      {"report_rate.ic_rate_game", &s.icRateGame},
      {"report_rate.rate_game_super", &s.rateGameSuper},
      {"report_rate.ic_rate_game_super", &s.icRateGameSuper},
      {"report_rate.rate_vsync", &s.rateVsync},
      {"report_rate.ic_rate_vsync", &s.icRateVsync},
      {"report_rate.use_report_timer", &s.useReportTimer},
      {"report_rate.camera_rate_mode", &s.cameraRateMode},
  };
  for (const Item &item : items) *item.field = cfg->get_int_config(tree, item.path, *item.field);
  s.vsyncOffsetNs = offset;
  g_cfg = s;
  return 0;
}

void timerSuspend(uint32_t flag) {
  const bool suspended = (flag & 1u) != 0;
  g_t.suspended.store(suspended);
  if (!suspended) chooseRates();
  if (!g_cfg.useReportTimer || !suspended) return;
  {
    std::lock_guard<std::mutex> guard(g_v.lock);
    if (g_v.enabled) {
      g_v.touching = false;
      runMachine(kEventFrame);
    }
  }
  std::lock_guard<std::mutex> guard(g_t.timerLock);
  if (g_t.mark != 0) {
    disarmTimer();
    g_t.mark = 0;
  }
  recordEvent(REPORT_EVENT_SUSPEND, 0, 0);
  if (g_t.engine != nullptr) g_t.engine->record_points(nullptr, 0, 0);
}

void timerDisplayRateChange(uint32_t rate) {
  std::lock_guard<std::mutex> guard(g_v.lock);
  if (!g_v.enabled) return;
  {
    std::lock_guard<std::mutex> timerGuard(g_t.timerLock);
    if (g_t.engine != nullptr) g_t.engine->enable(static_cast<int32_t>(rate));
    g_t.ticksPerFrame = roundedRatio(g_t.reportRate, static_cast<int32_t>(rate));
  }
  g_v.near60 = rate >= 56 && rate <= 74;
}

int32_t timerDumpGet(uint32_t kind, void *destination, uint32_t *size) {
  if (kind != REPORT_DUMP_KIND_TIMER || size == nullptr) return -1;
  std::lock_guard<std::mutex> guard(g_replay.lock);
  ReportReplayRecord *r = g_replay.record;
  uint32_t bytes = r != nullptr ? r->used * 4u : 0u;
  if (bytes > *size || (bytes > 0 && destination == nullptr)) return -1;
  if (bytes > 0) memcpy(destination, r->words, bytes);
  *size = bytes;
  if (r != nullptr) r->used = 0;
  return 0;
}

int32_t timerDumpSet(const void *source, uint32_t size, uint32_t kind) {
  if (kind != REPORT_DUMP_KIND_TIMER || (size > 0 && source == nullptr)) return -1;
  createReplayRecord();
  std::lock_guard<std::mutex> guard(g_replay.lock);
  ReportReplayRecord *r = g_replay.record;
  if (r == nullptr) return -1;
  uint32_t words = size / 4;
  const uint32_t capacity = REPORT_REPLAY_MAX_EVENTS * REPORT_REPLAY_EVENT_WORDS;
  if (words > capacity) {
    HAL_LOG_AS(HAL_LOG_ERROR, "hal_report_timer_dump_set", "dump of %u words, keep the first %u", words, capacity);
    words = capacity;
  }
  memcpy(r->words, source, words * 4u);
  r->used = words;
  return 0;
}

void timerDriverEvent(const uint8_t *record) {
  if (record == nullptr) return;
  uint16_t kind;
  uint16_t cls;
  uint16_t value;
  memcpy(&kind, record, 2);
  memcpy(&cls, record + 2, 2);
  memcpy(&value, record + 4, 2);
  std::lock_guard<std::mutex> guard(g_v.lock);
  if (kind == 1 && cls == 3) {
    if (value == 301 || value == 302) g_v.lockBits |= 8u;
    if (value == 300) g_v.lockBits &= ~8u;
  } else if (kind == 1 && cls == 2) {
    if (value == 201) g_v.lockBits |= 16u;
    if (value == 200) g_v.lockBits &= ~16u;
  }
  runMachine(kEventModeChange);
}

const ReportPointTimer kTimer = {
    timerInit,   timerExit,              timerOffer,   timerCommonData, timerReadConfig,
    timerSuspend, timerDisplayRateChange, timerDumpGet, timerDumpSet,    timerDriverEvent,
};

}  // namespace

const ReportPointTimer *get_report_point_timer(void) { return &kTimer; }

ReportTimerStatus report_timer_status(void) {
  ReportTimerStatus s{};
  {
    std::lock_guard<std::mutex> guard(g_t.timerLock);
    s.ic_rate = g_t.icRate;
    s.report_rate = g_t.reportRate;
    s.ticks_per_frame = g_t.ticksPerFrame;
  }
  std::lock_guard<std::mutex> guard(g_v.lock);
  s.vsync_state = g_v.state;
  s.vsync_enabled = g_v.enabled;
  s.vsync_requested = g_v.requested;
  s.configured = g_cfg.useReportTimer != 0;
  return s;
}

void report_timer_set_frame_time(uint64_t arrival_ns) {
  std::lock_guard<std::mutex> guard(g_t.timerLock);
  g_t.frameTimeNs = arrival_ns;
}

void report_timer_set_vsync_callback(void (*callback)(int32_t state)) { g_vsyncCallback.store(callback); }
