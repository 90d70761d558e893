// The module as the touch host sees it: registration, the operation slots, typed commands
// from the host, the suspend switch and the two timers that let the controller doze.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "luma_core.h"
#include "luma_debug.h"
#include "luma_util.h"

extern "C" {

AlgHostCallbacks *alg_module_callback = nullptr;
timer_tool doze_timer;
timer_tool idle_baseline_timer;

}  // extern "C"

namespace {

constexpr uint16_t kAlgVersion = 4011;
// The dump slots always carry both the formed and the filtered diff.
constexpr uint8_t kDumpBothSets = LUMA_DUMP_MODE_SET_A | LUMA_DUMP_MODE_SET_B;
constexpr uint32_t kEdgeRecordWords = 8;
// The data words a command block can hold bound the edge records read from it.
constexpr uint32_t kMaxEdgeRecords = COMMON_DATA_VALUE_COUNT / kEdgeRecordWords;

enum EdgeParam { kAbsWidthLR, kAbsWidthTB, kLPWidthLR, kLPWidthTB, kCorWidthTop, kCorHeightTop,
                 kCorWidthBottom, kCorHeightBottom };

AlgModule g_stAlgModule = [] {
  AlgModule m{};
  std::strncpy(m.name, "alg", sizeof(m.name));
  m.init = alg_module_init;
  m.exit = alg_module_exit;
  m.update_suspend_status.luma = alg_update_suspend_status;
  m.receive_common_data.luma = alg_receive_common_data;
  m.update_frame_data = update_frame_data;
  m.update_diff_data.luma = update_diff_data;
  m.read_config_param = alg_read_config_param;
  m.get_version = get_alg_version;
  m.dump_save.luma = alg_dump_save;
  m.dump_csv.luma = alg_dump_csv;
  return m;
}();

int32_t RegisterTimer(timer_tool *timer, timer_tool_handler handler) {
  if (alg_module_callback == nullptr || alg_module_callback->register_timer == nullptr) return -1;
  return alg_module_callback->register_timer(timer, handler);
}

void StartTimer(timer_tool *timer, int32_t ms) {
  if (timer->start != nullptr) timer->start(timer, ms);
}

void StopTimer(timer_tool *timer) {
  if (timer->stop != nullptr) timer->stop(timer);
}

void RestoreJitterLimit() { g_stTdParam.usJitterLimit = g_stFwConfig.usJitterLimit; }

void SetCorner(bool top, int16_t width, int16_t height) {
  g_stHostEdgePara[top ? kCorWidthTop : kCorWidthBottom] = width;
  g_stHostEdgePara[top ? kCorHeightTop : kCorHeightBottom] = height;
}

void ApplyEdgeRecord(uint32_t type, uint32_t pos, int16_t dx, int16_t dy) {
  if (type > 2 || pos > 3) return;
  const uint8_t orientation = g_stSysParam.ucDispDirection;
  const bool portrait = orientation == 0;
  const bool first_pair = pos <= 1;  // positions 0 and 1 against 2 and 3
  if (type == 0) {
    if (portrait) {
      SetCorner(first_pair, dx, dy);
    } else if (orientation == 1) {
      SetCorner(pos == 1 || pos == 3, dy, dx);
    } else if (orientation == 3) {
      // Connector left mirrors connector right: positions 0 and 2 are the top pair and 1
      // and 3 the bottom pair. Position 3 deliberately does not set the top pair here, as
      // one might expect: that would make both landscape orientations read it alike
      // instead of mirrored.
      SetCorner(pos == 0 || pos == 2, dy, dx);
    }
    return;
  }
  const bool lp = type == 1;
  const int width_lr = lp ? kLPWidthLR : kAbsWidthLR;
  const int width_tb = lp ? kLPWidthTB : kAbsWidthTB;
  if (first_pair) {
    g_stHostEdgePara[portrait ? width_tb : width_lr] = dy;
  } else {
    g_stHostEdgePara[portrait ? width_lr : width_tb] = dx;
  }
}

void HostEdgeZones(const common_data *data) {
  const uint32_t records = std::min<uint32_t>(data->count / kEdgeRecordWords, kMaxEdgeRecords);
  for (uint32_t r = 0; r < records; ++r) {
    const uint32_t *w = &data->values[r * kEdgeRecordWords];
    const auto dx = static_cast<int16_t>(static_cast<uint16_t>(std::abs(static_cast<int64_t>(w[2]) - w[4])));
    const auto dy = static_cast<int16_t>(static_cast<uint16_t>(std::abs(static_cast<int64_t>(w[3]) - w[5])));
    AlgHostLog("type%d=%d,pos=%d,start_x=%d,start_y=%d,end_x=%d,end_y=%d,usDistanceX=%d,usDistanceY=%d",
               static_cast<int>(r), static_cast<int>(w[0]), static_cast<int>(w[1]), static_cast<int>(w[2]),
               static_cast<int>(w[3]), static_cast<int>(w[4]), static_cast<int>(w[5]), static_cast<uint16_t>(dx),
               static_cast<uint16_t>(dy));
    ApplyEdgeRecord(w[0], w[1], dx, dy);
  }
  const int16_t *e = g_stHostEdgePara;
  AlgHostLog("AbsWidthLR=%d,AbsWidthTB=%d", e[kAbsWidthLR], e[kAbsWidthTB]);
  AlgHostLog("LPWidthLR=%d,LPWidthTB=%d", e[kLPWidthLR], e[kLPWidthTB]);
  AlgHostLog("CorWidthTop=%d,CorHeightTop=%d", e[kCorWidthTop], e[kCorHeightTop]);
  AlgHostLog("CorWidthBottom=%d,CorHeightBottom=%d", e[kCorWidthBottom], e[kCorHeightBottom]);
}

// Command 0: one parameter selected by the mode. Returns false when the result word stays.
bool ModeCommand(uint16_t mode, uint32_t value, uint32_t *out) {
  const auto byte = static_cast<uint8_t>(value);
  const int v = static_cast<int>(value);
  switch (mode) {
    case 0:
      g_stSysParam.ucGameMode = 1;
      g_ucHostParaUpDateFlg |= 1;
      AlgHostLog("GameMode Enable");
      *out = 1;
      return true;
    case 1: AlgHostLog("DozeTimeSelect=%d", v); break;
    case 4: AlgHostLog("Game Jitter Level=%d", v); break;
    case 5: AlgHostLog("Game Down Jitter =%d", v); break;
    case 6: AlgHostLog("Game Professional Mode =%d", v); break;
    case 7:
      g_stSysParam.ucGameEdgeLevel = byte;
      AlgHostLog("Game Edge Level =%d", v);
      break;
    case 8:
      g_stSysParam.ucDispDirection = byte;
      AlgHostLog("+++++++++++++usb direction = %d+++++++++++++++++++++", v);
      break;
    case 10:
      if (value == 3) {
        g_ucSuspendFodEnBack = 1;
      } else if (value == 1) {
        g_stSysParam.ucFodEnable = 2;
      } else if (value == 0) {
        g_stSysParam.ucFodEnable = 0;
      }
      AlgHostLog("ModeValue=%d,FodEn=%d,SuspendFodEnBack=%d", v, g_stSysParam.ucFodEnable, g_ucSuspendFodEnBack);
      return false;
    case 18:
      AlgHostLog("Log Level=%d", v);
      if (v >= 0 && v <= LMX_LOG_DISABLED) g_log_level = v;
      break;
    case 25:
      g_ucTypingMode = value == 1 ? 1 : 0;
      if (value == 257) {
        g_stSysParam.ucCameraMode = 1;
        AlgHostLog("Enter CameraMode %d", v);
      } else {
        g_stSysParam.ucCameraMode = 0;
        AlgHostLog("Exit CameraMode %d", v);
      }
      g_ucHostParaUpDateFlg |= 1;
      AlgHostLog("Phone Mode=%d", v);
      break;
    case 26:
      if (value == 0) {
        g_stSysParam.ucPocketPalmFlag = 0;
      } else if (value == 1) {
        g_stSysParam.ucPocketPalmFlag = 5;
      }
      AlgHostLog("PocketPlamFlag=%d", v);
      break;
    case 28: break;
    case 203:
      g_stSysParam.ucHiSampleRate = byte;
      AlgHostLog("Game High Idle En=%d", v);
      return false;
    case 206:
      g_stGameModeCfg[2] = byte;
      g_stGameModeCfg[4] = byte;
      g_stGameModeCfg[5] = byte;
      RestoreJitterLimit();
      AlgHostLog("Game Super Jitter En=%d", v);
      break;
    case 1010:
      g_stSysParam.ucChargeState = byte;
      AlgHostLog("Charge State=%d", v);
      break;
    case 1094:
      g_stSysParam.ucTemperature = byte;
      AlgHostLog("Temperature=%d", v);
      break;
    default: return false;
  }
  *out = 0;
  return true;
}

}  // namespace

extern "C" {

void AlgHostLog(const char *format, ...) {
  // Both the table and the slot may be absent: the module is usable before and without a host.
  if (alg_module_callback == nullptr || alg_module_callback->log == nullptr) return;
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  alg_module_callback->log(0, "%s", text);
}

int32_t AlgHostRequest(uint32_t type, uint32_t *payload, uint32_t length) {
  if (alg_module_callback == nullptr || alg_module_callback->driver_request.luma == nullptr) return -1;
  return alg_module_callback->driver_request.luma(type, payload, length);
}

AlgModule *register_alg_module(AlgHostCallbacks *callbacks) {
  // The table first: the entry trace goes through it, and a host that registers again may
  // already have freed the table it gave before.
  alg_module_callback = callbacks;
  LUMA_TRACE_OPERATION();
  return &g_stAlgModule;
}

int32_t alg_module_init(void) {
  LUMA_TRACE_OPERATION();
  AlgHostLog("Luma Thp Start Init");
  g_usAlgVersion = kAlgVersion;
  g_ucBaseState = 0;
  AppDataStructInit(false);
  g_stAlgModule.initialised = 1;
  RegisterTimer(&doze_timer, doze_timer_handler);
  RegisterTimer(&idle_baseline_timer, idle_baseline_timer_handler);
  AlgHostLog("Luma Thp Init Done");
  return 0;
}

int32_t alg_module_exit(void) {
  LUMA_TRACE_OPERATION();
  return 0;
}

int32_t alg_read_config_param(uint64_t, uint64_t, uint64_t, int32_t) {
  LUMA_TRACE_OPERATION();
  return 0;
}

const char *get_alg_version(void) {
  LUMA_TRACE_OPERATION();
  return "Luma-TPSB-3-alg-25.04.01.001";
}

int32_t alg_update_suspend_status(bool suspend) {
  const uint8_t last = g_bLcdOffState;
  if (suspend) {
    if (g_ucSuspendFodEnBack == 1) {
      g_ucSuspendFodEnBack = 0;
      g_stSysParam.ucFodEnable = 2;
    }
    AlgHostLog("Alg Suspend,Last=%d now=%d,FodEn=%d", last, 1, g_stSysParam.ucFodEnable);
    if (g_bReportFingDownFlg == 1) {
      g_bReportFingDownFlg = 0;
      if (alg_module_callback != nullptr && alg_module_callback->fingerprint_area != nullptr) {
        alg_module_callback->fingerprint_area(0);
      }
      AlgHostLog("Suspend fod_status_callback(FALSE)");
    }
    g_fod_resume_pressed_back = 0;
    g_bForceChangeIDFlg = 0;
    g_ucAlgFodUpFlg = 0;
    g_ucFodPointID = 255;
    resume_fod_id = 255;
    g_bFodReportOnePointState = 0;
    g_bScreenSwitchFlg = 0;
    s_ucFodCheckEnable = 1;
  } else {
    AppDataStructInit(true);
    AlgHostLog("Alg Resumme,Last=%d now=%d,FodEn=%d", last, 0, g_stSysParam.ucFodEnable);
    if (last != 0) {
      g_bScreenSwitchFlg = 1;
      AlgHostLog("Alg switch on resume_pressed=%d", static_cast<int>(g_fod_resume_pressed));
    }
  }
  g_bLcdOffState = suspend ? 1 : 0;
  return 0;
}

int32_t alg_receive_common_data(const common_data *data, uint32_t *result) {
  LUMA_TRACE_OPERATION();
  if (data == nullptr) return 0;
  uint32_t out = 0;
  bool write = false;
  const uint32_t value = data->values[0];
  if (data->cmd == 0) {
    write = ModeCommand(data->mode, value, &out);
  } else if (data->cmd == 6) {
    g_stSysParam.ucGameMode = 0;
    g_ucHostParaUpDateFlg |= 1;
    RestoreJitterLimit();
    AlgHostLog("GameMode disable");
    out = 1;
    write = true;
  } else if (data->cmd == 7 && data->mode == 15) {
    HostEdgeZones(data);
    write = true;
  }
  if (write && result != nullptr) *result = out;
  return 0;
}

uint8_t AppIsGameMode(void) { return g_stSysParam.ucGameMode; }
uint8_t AppIsHighSampleRate(void) { return g_stSysParam.ucHiSampleRate; }

void doze_check(void) {
  if (g_stPeakData.ucMcPosPeakNum == 0 && g_stSysParam.ucIcIdleFlag == 0) {
    int32_t doze = 500;
    int32_t idle = 400;
    if (AppIsGameMode() != 0) {
      doze = AppIsHighSampleRate() != 0 ? 20000 : 10000;
      idle = doze - 100;
    }
    StartTimer(&doze_timer, doze);
    StartTimer(&idle_baseline_timer, idle);
  } else {
    StopTimer(&idle_baseline_timer);
    StopTimer(&doze_timer);
  }
}

int32_t doze_timer_handler(timer_tool *) {
  uint32_t payload[3] = {1, 390, 100};
  if (AppIsGameMode() == 0) {
    AlgHostLog("Enter normal idle");
    return AlgHostRequest(ALG_DRIVER_REQUEST_DOZE, payload, 4);
  }
  if (AppIsHighSampleRate() != 0) {
    payload[0] = 0;
    AlgHostLog("Enter game high idle");
  } else {
    payload[0] = payload[1] = payload[2] = 0;
    AlgHostLog("Enter game idle");
  }
  return AlgHostRequest(ALG_DRIVER_REQUEST_DOZE, payload, sizeof(payload));
}

int32_t idle_baseline_timer_handler(timer_tool *) {
  uint32_t word = 1;
  return AlgHostRequest(ALG_DRIVER_REQUEST_IDLE_BASELINE, &word, sizeof(word));
}

bool alg_dump_save(uint8_t kind, void *buffer, uint32_t *length, bool busy) {
  if (busy) return true;
  if (kind != 0 || buffer == nullptr) return false;
  const uint32_t written = AppDumpSaveProcess(buffer, kDumpBothSets);
  if (length != nullptr) *length = written;
  return true;
}

uint32_t alg_dump_csv(void *text_buffer, uint64_t, int32_t kind, void *destination) {
  if (kind != 0 || destination == nullptr) return 0;
  return AppDumpCsvProcess(static_cast<char *>(destination), text_buffer, kDumpBothSets);
}

}  // extern "C"
