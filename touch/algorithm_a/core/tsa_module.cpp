#include "tsa_module.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "framework.h"
#include "tsa_common.h"
#include "tsa_config.h"
#include "tsa_debug.h"
#include "tsa_module_links.h"
#include "tsa_os.h"
#include "tsa_pack.h"
#include "tsa_startup.h"

extern "C" {
AlgHostCallbacks* alg_host_callbacks;
pthread_mutex_t handle_tsd_cmd_mutex = PTHREAD_MUTEX_INITIALIZER;
timer_tool doze_timer;
timer_tool baseline_timer;
uint16_t guwIdleTime = 500;
uint16_t guwIdleBaseLineTime = 400;
uint8_t high_speed_idle;
uint8_t fod_report_en = 1;
uint8_t gpubCmdData[2];
uint16_t gppuwEdgePramCmd[FERX_EDGE_PARAM_COUNT];
uint16_t update_frame_date_cnt;
uint16_t update_diff_date_cnt;
uint16_t idle_frame_cnt;
uint32_t frame_number;
uint32_t package_data_len;
uint8_t frame_package[FERX_FRAME_PACKAGE_BYTES];
uint8_t report_package[FERX_REPORT_PACKAGE_BYTES];
uint32_t report_package_len;
uint8_t point_num_bak;
uint8_t fp_state_bak;
uint8_t dump_diff_buf[FERX_DUMP_DIFF_BYTES];
uint8_t replay_cache[FERX_REPLAY_CACHE_BYTES];
uint32_t replay_remain;
uint32_t replay_offset;
uint32_t dump_drv_num;
uint32_t dump_sen_num;
uint8_t flash_bin_buf[FERX_FLASH_BIN_BYTES];
uint32_t flash_bin_len;
const uint8_t* g_config_ptr;
IcVersion ic_version;
IcInfo ic_info;
}

namespace {

constexpr uint16_t kIdleTimeNormal = 500;
constexpr uint16_t kIdleTimeLimit = 10000;
constexpr uint16_t kIdleTimeHighSpeed = 20000;
constexpr uint16_t kIdleTimeSelect = 10000;
constexpr uint16_t kBaseLineLead = 100;
constexpr uint16_t kHighSpeedDozeValue = 100;
constexpr uint32_t kHighSpeedDozeMode = 384;
constexpr uint8_t kPointCountNone = 255;
constexpr uint8_t kFingerprintValueOff = 100;

bool gboMutexLive;
AlgTouchPoint gstTouchPoints[ALG_TOUCH_POINT_MAX];
uint64_t gullDebugFrameCell;
bool gboEdgeRefusalLogged;

AlgModule MakeModule() {
  AlgModule m{};
  std::snprintf(m.name, sizeof(m.name), "%s", FERX_ALG_NAME);
  m.initialised = 1;
  m.init = ferx_alg_module_init;
  m.exit = ferx_alg_module_exit;
  m.update_suspend_status.ferrant = ferx_alg_update_suspend_status;
  m.receive_common_data.ferrant = ferx_alg_receive_common_data;
  m.update_frame_data = ferx_alg_update_frame_data;
  m.update_diff_data.ferrant = ferx_alg_update_diff_data;
  m.read_config_param = ferx_alg_read_config_param;
  m.get_version = ferx_alg_get_version;
  m.dump_save.ferrant = ferx_alg_dump_save;
  m.dump_csv.ferrant = ferx_alg_dump_csv;
  return m;
}

}  // namespace

AlgModule gstFerxAlgModule = MakeModule();

namespace {

// ---- Small helpers ----------------------------------------------------------------------

void CmdLock() { pthread_mutex_lock(&handle_tsd_cmd_mutex); }
void CmdUnlock() { pthread_mutex_unlock(&handle_tsd_cmd_mutex); }

void TimerStart(timer_tool& timer, uint16_t ms) {
  if (timer.start != nullptr) timer.start(&timer, ms);
}
void TimerStop(timer_tool& timer) {
  if (timer.stop != nullptr) timer.stop(&timer);
}
void TimersStart() {
  TimerStart(doze_timer, guwIdleTime);
  TimerStart(baseline_timer, guwIdleBaseLineTime);
}
void TimersStop() {
  TimerStop(doze_timer);
  TimerStop(baseline_timer);
}

uint16_t CountUp2000(uint16_t value) { return value + 1u > FERX_FRAME_COUNTER_MAX ? 0 : static_cast<uint16_t>(value + 1u); }

// The baseline timer runs 100 ms ahead of the doze timer; a configured period below that
// starts it at once instead of wrapping to a period of about 65 seconds.
uint16_t BaseLineFor(uint16_t period) { return period > kBaseLineLead ? static_cast<uint16_t>(period - kBaseLineLead) : 0; }

// Idle periods from a configured value, or the defaults when it is 0.
void SetIdlePeriods(uint16_t configured, uint16_t fallback) {
  guwIdleTime = configured != 0 ? configured : fallback;
  guwIdleBaseLineTime = BaseLineFor(guwIdleTime);
}

// One module command slot: {u32 id, u16 count, u8 p1, u8 p2, u64 argument}.
struct ModuleCmd {
  uint32_t id = 0;
  uint16_t count = 0;
  uint8_t p1 = 0;
  uint8_t p2 = 0;
  uint64_t Word() const {
    return id | (static_cast<uint64_t>(count) << 32) | (static_cast<uint64_t>(p1) << 48) |
           (static_cast<uint64_t>(p2) << 56);
  }
  void Bytes(uint8_t out[FERX_MCMD_SLOT_BYTES]) const {
    std::memset(out, 0, FERX_MCMD_SLOT_BYTES);
    ReplayPutU32(out, id);
    ReplayPutU16(out + 4, count);
    out[6] = p1;
    out[7] = p2;
  }
};

// Modes whose value goes on to the control state as it is, with the line logged first.
struct ValueCommand {
  uint16_t mode;
  const char* log;
  uint32_t id;
};
const ValueCommand kValueCommands[] = {
    {COMMON_DATA_MODE_POCKET_PALM, "AlgReceiveCmd pocket large: %d\n", FERX_MCMD_POCKET},
    {COMMON_DATA_MODE_CHARGE_STATE, "AlgReceiveCmd charge mode: %d\n", FERX_MCMD_CHARGE},
    {COMMON_DATA_MODE_TEMPERATURE, "AlgReceiveCmd temperature: %d\n", FERX_MCMD_TEMPERATURE},
};

void QueueScanRate(uint8_t rate) {
  const uint8_t sum = static_cast<uint8_t>(0x05 + FERX_CMD_SCAN_RATE + rate);
  const uint8_t packet[7] = {0x00, 0x00, 0x05, FERX_CMD_SCAN_RATE, rate, sum, 0x00};
  (void)TsaRequestPushPacket(TSA_REQUEST_TYPE_CMD, packet, sizeof(packet));
}

// Edge parameters: groups of eight words {type, entry, four values, two ignored}, as many
// as the block's count covers. Only groups whose six used words lie inside both the count
// and the block are read; entries outside the four of a block are ignored.
void ApplyEdgeParameters(const common_data& data) {
  const uint32_t words = data.count < COMMON_DATA_VALUE_COUNT ? data.count : COMMON_DATA_VALUE_COUNT;
  bool refused = false;
  for (uint32_t at = 0; at < words; at += FERX_EDGE_GROUP_WORDS) {
    if (at + 6 > words) {
      refused = true;
      break;
    }
    const uint32_t* group = data.values + at;
    const uint32_t type = group[0];
    const uint32_t entry = group[1];
    if (entry >= FERX_EDGE_BLOCK_ENTRIES || type > 2) {
      refused = true;
      continue;
    }
    auto write = [&](uint32_t base) {
      for (uint32_t k = 0; k < 4; ++k) gppuwEdgePramCmd[base + 4 * entry + k] = static_cast<uint16_t>(group[2 + k]);
    };
    if (type == 2) write(0);
    if (type == 1) write(16);
    if (type == 0) {
      write(32);
      write(48);
    }
  }
  if (refused && !gboEdgeRefusalLogged) {
    log_print(FERX_LOG_ERR, "edge parameters: group outside the block or the table ignored (count %u)\n", data.count);
    gboEdgeRefusalLogged = true;
  }
}

// Transposes the a x b values of DATA in place (element k := old (k mod a) * b + k div a).
void Transpose(int32_t a, uint32_t b, uint16_t* data) {
  if (data == nullptr || a <= 0 || b == 0) return;
  const size_t cells = static_cast<size_t>(a) * b;
  auto* tmp = static_cast<uint16_t*>(std::malloc(cells * sizeof(uint16_t)));
  if (tmp == nullptr) return;
  auto* bytes = reinterpret_cast<uint8_t*>(data);
  for (size_t k = 0; k < cells; ++k) {
    const size_t from = (k % static_cast<size_t>(a)) * b + k / static_cast<size_t>(a);
    std::memcpy(&tmp[k], bytes + 2 * from, 2);
  }
  std::memcpy(bytes, tmp, cells * sizeof(uint16_t));
  std::free(tmp);
}

}  // namespace

// ---- Registration and lifecycle -------------------------------------------------------

extern "C" AlgModule* register_alg_module(AlgHostCallbacks* callbacks) {
  alg_host_callbacks = callbacks;
  return &gstFerxAlgModule;
}

extern "C" int32_t ferx_alg_module_init(void) {
  log_print(FERX_LOG_INFO, "%s IN\n", "ferx_alg_module_init");
  ferx_get_ic_version(&ic_version);
  int32_t result = ferx_get_ic_info(&ic_info);
  if (result != 0) return result;
  print_ic_info(&ic_info);
  result = ferx_tsa_init();
  if (result != 0) return result;
  if (!gboMutexLive) {
    pthread_mutex_init(&handle_tsd_cmd_mutex, nullptr);
    gboMutexLive = true;
  }
  AlgHostCallbacks* host = alg_host_callbacks;
  if (host != nullptr && host->register_timer != nullptr) {
    host->register_timer(&doze_timer, ferx_doze_timer_handler);
    host->register_timer(&baseline_timer, ferx_baseline_timer_handler);
  }
  (void)ferx_tsd_init();
  (void)start_report_framedata();
  return 0;
}

extern "C" int32_t ferx_alg_module_exit(void) {
  log_print(FERX_LOG_INFO, "%s IN\n", "ferx_tsd_exit");
  ferx_tsd_exit();
  if (gboMutexLive) {
    pthread_mutex_destroy(&handle_tsd_cmd_mutex);
    // Back to the static state, so a late operation or a later init finds a usable lock.
    handle_tsd_cmd_mutex = PTHREAD_MUTEX_INITIALIZER;
    gboMutexLive = false;
  }
  (void)stop_report_framedata();
  GlobalCommonRelease();
  return 0;
}

extern "C" const char* ferx_alg_get_version(void) { return FERX_ALG_VERSION; }

extern "C" int32_t ferx_alg_read_config_param(uint64_t, uint64_t, uint64_t, int32_t fd) {
  log_print(FERX_LOG_INFO, "%s IN\n", "ferx_alg_read_config_param");
  if (fd < 1) {
    log_print(FERX_LOG_ERR, "vendor_config_file_fd is %d\n", fd);
    return 0;
  }
  // A short file must not leave an older file's bytes behind its end.
  std::memset(flash_bin_buf, 0, sizeof(flash_bin_buf));
  const ssize_t n = read(fd, flash_bin_buf, sizeof(flash_bin_buf));
  if (n < 0) {
    log_print(FERX_LOG_ERR, "read flash.bin faild, %s\n", std::strerror(errno));
    flash_bin_len = 0;
    return 0;
  }
  flash_bin_len = static_cast<uint32_t>(n);
  log_print(FERX_LOG_INFO, "read flash.bin success, len:%d\n", static_cast<int>(n));
  g_config_ptr = flash_bin_buf + FERX_CONFIG_OFFSET;
  return 0;
}

// ---- Commands ---------------------------------------------------------------------------

extern "C" int32_t ferx_alg_update_suspend_status(uint32_t status) {
  log_print(FERX_LOG_INFO, "%s IN\n", "ferx_alg_update_suspend_status");
  CmdLock();
  ModuleCmd cmd;
  if ((status & 1u) != 0) {
    cmd = {FERX_MCMD_SCREEN, 1, 0, 0};
  } else if (gstTsaModuleLinks.pfnGetSuspendSta() == 0) {
    SetReceiveRefFlag(0);
    SetFpStaBak(0);
    cmd = {FERX_MCMD_SCREEN, 1, 1, 0};
  }
  gstTsaModuleLinks.pfnCtrlState(cmd.Word(), 0);
  CmdUnlock();
  return 0;
}

extern "C" int32_t ferx_alg_receive_common_data(common_data* data) {
  log_print(FERX_LOG_INFO, "%s IN\n", "ferx_alg_receive_common_data");
  if (data == nullptr) return 0;
  const uint32_t value = data->values[0];
  const TimeCtrlCfg& time = gstTimeCtrlCfg;
  bool push = false;
  ModuleCmd cmd;
  switch (data->cmd) {
    case COMMON_DATA_CMD_SET_MODE_VALUE:
      switch (data->mode) {
        case COMMON_DATA_MODE_GAME:
          if (value == 1) {
            QueueScanRate(0x00);
            cmd = {FERX_MCMD_SCAN_RATE, 1, 1, 0};
            push = true;
          }
          break;
        case COMMON_DATA_MODE_IDLE_TIME_SELECT:
          if (value == 1) SetIdlePeriods(kIdleTimeSelect, kIdleTimeSelect);
          break;
        case COMMON_DATA_MODE_GAME_EDGE_LEVEL:
          gpubCmdData[1] = (value >= 1 && value <= 3) ? static_cast<uint8_t>((value - 1) * 64 + 0x52) : 0x12;
          cmd = {FERX_MCMD_GAME_EDGE, 2, gpubCmdData[0], gpubCmdData[1]};
          push = true;
          break;
        case COMMON_DATA_MODE_DISPLAY_ORIENTATION:
          gpubCmdData[0] = value == 1 ? 0x53 : (value == 3 ? 0xD3 : 0x13);
          cmd = {FERX_MCMD_GAME_EDGE, 2, gpubCmdData[0], gpubCmdData[1]};
          push = true;
          break;
        case COMMON_DATA_MODE_FINGERPRINT_ENABLE:
          fod_report_en = (value == 0 || value == kFingerprintValueOff) ? 0 : 1;
          break;
        case COMMON_DATA_MODE_GAME_HIGH_IDLE:
          if (value == 1) {
            SetIdlePeriods(time.uwHighSpeedIdlePeriod, kIdleTimeHighSpeed);
            high_speed_idle = 1;
          } else {
            const uint16_t limit = time.uwIdlePeriodLimit != 0 ? time.uwIdlePeriodLimit : kIdleTimeLimit;
            if (guwIdleTime > limit) {
              SetIdlePeriods(limit, limit);
              high_speed_idle = 0;
            }
          }
          break;
        default:
          // Plain values handed on as one-parameter module commands.
          for (const ValueCommand& v : kValueCommands) {
            if (v.mode != data->mode) continue;
            log_print(FERX_LOG_INFO, v.log, static_cast<int>(value));
            cmd = {v.id, 1, static_cast<uint8_t>(value), 0};
            push = true;
          }
          break;
      }
      break;
    case COMMON_DATA_CMD_RESET_MODE:
      SetIdlePeriods(time.uwIdleDozePeriod, kIdleTimeNormal);
      high_speed_idle = 0;
      QueueScanRate(0x01);
      cmd = {FERX_MCMD_SCAN_RATE, 1, 0, 0};
      push = true;
      break;
    case COMMON_DATA_CMD_SET_LONG_VALUE:
      if (data->mode == COMMON_DATA_MODE_EDGE_ZONES) {
        ApplyEdgeParameters(*data);
        cmd = {FERX_MCMD_EDGE_PARAM, 1, 1, 0};
        push = true;
      }
      break;
    default:
      break;
  }
  CmdLock();
  if (push) {
    uint8_t slot[FERX_MCMD_SLOT_BYTES];
    cmd.Bytes(slot);
    gstTsaModuleLinks.pfnReceiveModuleCmdData(slot);
  }
  CmdUnlock();
  return 0;
}

// ---- Per frame --------------------------------------------------------------------------

extern "C" int32_t ferx_alg_update_frame_data(DecodedFrame* frame) {
  package_data_len = FERX_FRAME_PACKAGE_BYTES;
  update_frame_date_cnt = CountUp2000(update_frame_date_cnt);
  if (gstCommon.ubIdleAutoWake == 0 && idle_frame_cnt < UINT16_MAX) ++idle_frame_cnt;
  if (idle_frame_cnt > FERX_IDLE_FRAMES_MAX && gstCommon.ubGameModeFlag == 0) {
    TimersStop();
    idle_frame_cnt = 0;
  }
  if (frame != nullptr) frame_number = static_cast<uint32_t>(frame->frame_count);
  clean_rep_data_cache();

  CmdLock();
  gstTsaModuleLinks.pfnProcessModuleCmdData();
  (void)gstTsaModuleLinks.pfnUpdateFrameData(frame);
  if (gboCheckDozeFlag != 0) {
    TimersStart();
  } else {
    TimersStop();
    idle_frame_cnt = 0;
  }
  CmdUnlock();

  (void)TsaRequestDrain();
  AlgHostCallbacks* host = alg_host_callbacks;
  if (host != nullptr && host->frame_processed != nullptr) host->frame_processed(frame);
  return 0;
}

extern "C" int32_t ferx_alg_update_diff_data(uint64_t, DecodedFrame* frame) {
  std::memset(gstTouchPoints, 0, sizeof(gstTouchPoints));
  uint8_t fpChanged = 0;
  uint8_t fpState = 0;
  uint8_t largeChanged = 0;
  uint8_t largeState = 0;
  update_diff_date_cnt = CountUp2000(update_diff_date_cnt);
  const uint8_t count = static_cast<uint8_t>(
      gstTsaModuleLinks.pfnUpdateDiffData(0, 0, gstTouchPoints, &fpState, &fpChanged, &largeState, &largeChanged));

  report_package_len = FERX_REPORT_PACKAGE_BYTES;
  if (GetReportInfo(report_package, &report_package_len) != REPORT_PACK_OK &&
      report_package_len > FERX_REPORT_PACKAGE_BYTES) {
    report_package_len = 0;
  }
  if (tsd_frame_event_notify != nullptr) {
    tsd_frame_event_notify(frame_package, package_data_len, report_package, report_package_len);
  }
  (void)TsaRequestDrain();

  if (count != point_num_bak) {
    FerxLogPrint("ferx_alg_update_diff_data", FERX_LOG_ERR, "point number: %d, CurNoiseIndex: %d", count,
                 GetCurNoiseIndex());
    point_num_bak = count;
  }
  fp_state_bak = gstCommon.ubFpStatus;

  AlgHostCallbacks* host = alg_host_callbacks;
  if (count == kPointCountNone || host == nullptr) return 0;
  // The host's point array holds 12 entries whatever count the report stage returned.
  const uint8_t reported = count < ALG_TOUCH_POINT_MAX ? count : ALG_TOUCH_POINT_MAX;
  if (host->report_points != nullptr) host->report_points(gstTouchPoints, reported);
  if (largeChanged != 0 && host->state_change != nullptr) host->state_change(largeState);
  if (fpChanged != 0 && host->fingerprint_area != nullptr) {
    if (fpState == 0) {
      host->fingerprint_area(0);
    } else if (fod_report_en != 0 && gstTsaModuleLinks.pfnGetSuspendSta() != 0) {
      host->fingerprint_area(1);
    }
  }
  if (host->debug_frame_info != nullptr && frame != nullptr) {
    std::memcpy(&gullDebugFrameCell, reinterpret_cast<const uint8_t*>(frame) + offsetof(DecodedFrame, mutual),
                sizeof(gullDebugFrameCell));
    host->debug_frame_info(&gullDebugFrameCell);
  }
  return 0;
}

// ---- Timers -----------------------------------------------------------------------------

namespace {
int32_t DriverRequest(uint32_t type, uint32_t* values, uint32_t count) {
  AlgHostCallbacks* host = alg_host_callbacks;
  if (host == nullptr || host->driver_request.ferrant == nullptr) return 0;
  return host->driver_request.ferrant(type, values, count);
}
}  // namespace

extern "C" int32_t ferx_doze_timer_handler(timer_tool*) {
  if (high_speed_idle == 0) {
    uint32_t values[1] = {1};
    const int32_t result = DriverRequest(ALG_DRIVER_REQUEST_DOZE, values, 1);
    idle_frame_cnt = 0;
    return result;
  }
  const uint16_t t = gstTimeCtrlCfg.uwHighSpeedDozeValue != 0 ? gstTimeCtrlCfg.uwHighSpeedDozeValue : kHighSpeedDozeValue;
  uint32_t values[3] = {0, kHighSpeedDozeMode, t};
  return DriverRequest(ALG_DRIVER_REQUEST_DOZE, values, 3);
}

extern "C" int32_t ferx_baseline_timer_handler(timer_tool*) {
  uint32_t values[1] = {1};
  return DriverRequest(ALG_DRIVER_REQUEST_IDLE_BASELINE, values, 1);
}

extern "C" void check_doze(uint8_t on) {
  if ((on & 1u) != 0) {
    TimersStart();
  } else {
    TimersStop();
  }
}

extern "C" void ferx_rotate_abcd2cbad(int32_t a, uint32_t b, uint16_t* data) { Transpose(a, b, data); }

// ---- Dumps ------------------------------------------------------------------------------

extern "C" int32_t ferx_alg_dump_save(uint8_t index, uint32_t* out, uint32_t* out_length, uint8_t flags) {
  const uint32_t d = ic_info.drv_num;
  const uint32_t s = ic_info.sen_num;
  if (out == nullptr || out_length == nullptr) return 0;
  auto* bytes = reinterpret_cast<uint8_t*>(out);
  if ((flags & 1u) != 0) {
    bytes[0] = static_cast<uint8_t>(d);
    bytes[1] = static_cast<uint8_t>(s);
    *out_length = 2;
    uint32_t head = sizeof(replay_cache);
    if (store_replay_head(replay_cache, &head) != 0) head = 0;
    replay_remain = head;
    replay_offset = 0;
    return 1;
  }
  if (index != 0) return 0;
  const uint32_t cells = d * s;
  if (cells > FERX_DUMP_DIFF_CELLS) {
    log_print(FERX_LOG_ERR, "dump: %u x %u nodes exceed the dump buffer\n", d, s);
    return 0;
  }
  const uint32_t len = 2 * cells;
  if (GetWatchDataNum() >= 1) (void)GetWatchData(0, dump_diff_buf, len);
  Transpose(static_cast<int32_t>(d), s, reinterpret_cast<uint16_t*>(dump_diff_buf));
  ReplayPutU32(bytes, frame_number);
  std::memcpy(bytes + 4, dump_diff_buf, len);
  uint32_t total = len + 4;
  if (replay_remain < 1) {
    uint32_t body = sizeof(replay_cache);
    (void)store_replay_body(replay_cache, &body);
    std::memcpy(bytes + total, replay_cache, body);
    total += body;
    replay_remain = 0;
    replay_offset = 0;
  } else {
    const uint32_t chunk = replay_remain < FERX_REPLAY_CHUNK_BYTES ? replay_remain : FERX_REPLAY_CHUNK_BYTES;
    std::memcpy(bytes + total, replay_cache + replay_offset, chunk);
    total += chunk;
    replay_offset += chunk;
    replay_remain -= chunk;
  }
  *out_length = total;
  return 1;
}

extern "C" int32_t ferx_alg_dump_csv(const uint8_t* in, uint32_t in_length, int32_t index, char* text,
                                     uint8_t flags) {
  if ((flags & 1u) != 0) {
    if (in == nullptr || in_length < 2) return 0;
    dump_drv_num = in[0];
    dump_sen_num = in[1];
    return 0;
  }
  if (index != 0 || text == nullptr || in == nullptr) return 0;
  const uint32_t cells = dump_drv_num * dump_sen_num;
  const uint64_t matrixEnd = 4ull + 2ull * cells;
  if (cells > FERX_DUMP_DIFF_CELLS || in_length < matrixEnd) {
    log_print(FERX_LOG_ERR, "dump csv: %u input bytes cannot hold %u cells\n", in_length, cells);
    return 0;
  }
  size_t used = 0;
  auto put = [&](const char* fmt, int v) {
    const int n = std::snprintf(text + used, FERX_DUMP_TEXT_BYTES - used, fmt, v);
    if (n > 0) used += static_cast<size_t>(n);
  };
  put("\nmutualDiff[%d]\n", static_cast<int>(ReplayGetU32(in)));
  for (uint32_t k = 0; k < cells; ++k) {
    put("%d,", static_cast<int16_t>(ReplayGetU16(in + 4 + 2 * k)));
    if ((k + 1) % dump_drv_num == 0) text[used++] = '\n';
  }
  std::memset(text + used, 0xAA, 8);
  used += 8;
  // The raw rest is cut where it would pass the text capacity (8 bytes kept for the end mark).
  size_t rest = in_length - static_cast<size_t>(matrixEnd);
  if (rest > FERX_DUMP_TEXT_BYTES - 8 - used) rest = FERX_DUMP_TEXT_BYTES - 8 - used;
  std::memcpy(text + used, in + matrixEnd, rest);
  used += rest;
  std::memset(text + used, 0xBB, 8);
  used += 8;
  return static_cast<int32_t>(used);
}

// ---- Test control -----------------------------------------------------------------------

extern "C" void TsaModuleResetForTest(void) {
  alg_host_callbacks = nullptr;
  if (gboMutexLive) pthread_mutex_destroy(&handle_tsd_cmd_mutex);
  handle_tsd_cmd_mutex = PTHREAD_MUTEX_INITIALIZER;
  gboMutexLive = false;
  doze_timer = timer_tool{};
  baseline_timer = timer_tool{};
  guwIdleTime = 500;
  guwIdleBaseLineTime = 400;
  high_speed_idle = 0;
  fod_report_en = 1;
  std::memset(gpubCmdData, 0, sizeof(gpubCmdData));
  std::memset(gppuwEdgePramCmd, 0, sizeof(gppuwEdgePramCmd));
  update_frame_date_cnt = update_diff_date_cnt = idle_frame_cnt = 0;
  frame_number = package_data_len = report_package_len = 0;
  point_num_bak = fp_state_bak = 0;
  replay_remain = replay_offset = dump_drv_num = dump_sen_num = 0;
  std::memset(flash_bin_buf, 0, sizeof(flash_bin_buf));
  flash_bin_len = 0;
  g_config_ptr = nullptr;
  ic_version = IcVersion{};
  ic_info = IcInfo{};
  gboEdgeRefusalLogged = false;
  gstTsaModuleLinks = kTsaModuleDefaultLinks;
}
