// The debug readout of every frame: rows of 16-bit values, each tagged with a marker in its
// first column, that a host tool reads; frame headers and matrices printed to the host log;
// frames written into the cached log file; and the binary frame dump with its text form.
#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "luma_debug.h"
#include "luma_env.h"
#include "luma_filter.h"
#include "luma_front.h"
#include "luma_noise.h"
#include "luma_util.h"

extern "C" {
LumaDebugFrameData g_stDebugFrameData;
}

namespace {

constexpr size_t kLineLimit = 655;
constexpr size_t kStaging = 4000;
constexpr size_t kHeaderText = 5248;

uint8_t Rx() { return g_stFwConfig.ucRxNum; }
uint8_t Tx() { return g_stFwConfig.ucTxNum; }
uint16_t *Row(int r) { return &g_stDebugFrameData.ausRows[r * Rx()]; }
uint16_t Flag(uint32_t v) { return static_cast<uint16_t>(v); }

bool HostLog() { return alg_module_callback != nullptr && alg_module_callback->log != nullptr; }

// Values as "%6d" through host slot 6, per_line to a line (all on one when 0); a line
// also ends when its text reaches the limit.
void LogValues(const int16_t *values, uint32_t count, int32_t per_line) {
  if (!HostLog()) return;
  char line[kLineLimit + 8];
  size_t used = 0;
  int32_t on_line = 0;
  for (uint32_t i = 0; i < count; ++i) {
    used += static_cast<size_t>(std::snprintf(line + used, sizeof(line) - used, "%6d", values[i]));
    ++on_line;
    if ((per_line > 0 && on_line == per_line) || used >= kLineLimit || i + 1 == count) {
      alg_module_callback->log(0, "%s", line);
      used = 0;
      on_line = 0;
    }
  }
}

void PutU16(uint8_t *&p, uint16_t v) {
  std::memcpy(p, &v, 2);
  p += 2;
}

void PutBlock(uint8_t *&p, const void *data, size_t bytes) {
  std::memcpy(p, data, bytes);
  p += bytes;
}

// The matrix size field of a dump is 16 bits.
size_t MatrixBytes() { return static_cast<size_t>((Tx() * Rx() * 2) & 0xFFFE); }

// Appends to the text with the overall limit; false once the limit is reached.
struct Text {
  char *out;
  size_t used = 0;
  bool full = false;
  void Add(const char *format, ...) __attribute__((format(printf, 2, 3))) {
    if (full) return;
    char staging[kStaging];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(staging, sizeof(staging), format, args);
    va_end(args);
    if (n < 0) return;
    const size_t length = std::min<size_t>(static_cast<size_t>(n), sizeof(staging) - 1);
    if (used + length >= LUMA_CSV_LIMIT) {
      full = true;
      return;
    }
    std::memcpy(out + used, staging, length);
    used += length;
    out[used] = '\0';
  }
  void Line(const uint8_t *&p, int count) {
    for (int i = 0; i < count; ++i) {
      int16_t v;
      std::memcpy(&v, p, 2);
      p += 2;
      Add("%7d", v);
    }
    Add("\n");
  }
};

}  // namespace

extern "C" {

uint16_t g_usFrameDropPos;
uint16_t g_usDbgCurFrmthumInRx;
uint16_t g_usDbgCurFrmMcPosAreaChNumLast;
uint16_t g_usDbgCurFrmMcPosPeakNumLast;

void LumaDebugTakeHeader(const DecodedFrame *frame) {
  if (frame == nullptr) return;
  LumaDebugFrameData &d = g_stDebugFrameData;
  d.sllFrameTimeNs = static_cast<int64_t>(frame->frame_time_ns);
  d.sllFrameCount = static_cast<int64_t>(frame->frame_count);
  d.ucNoiseMode = frame->state_byte83;
  d.ucScanMode = frame->state_code;
  d.usScanFreq = frame->scan_freq;
  d.usFrameNum = frame->ic_frame_count;
  d.usIcDropFrameNo = frame->dropped_frames;
  std::memcpy(d.ausNoise, frame->noise_values, sizeof(frame->noise_values));
  std::memcpy(&d.ausNoise[6], frame->tail.sat.noise_block, sizeof(frame->tail.sat.noise_block));
  d.usIcMsTime = frame->ic_time_ms;
  d.ucScanFreqIdx = frame->scan_freq_index;
  d.ucFrameDataType = frame->frame_type;
}

void LumaDebugTakeCopy(uint8_t copy, const int16_t *matrix, const int16_t *slot0, const int16_t *slot1) {
  if (copy > LUMA_DEBUG_COPY_SRC_DIFF) return;
  LumaDebugFrameData &d = g_stDebugFrameData;
  const size_t nodes = std::min<size_t>(g_stFrmInfo.usNodeNum, LUMA_MAX_NODES);
  if (matrix != nullptr) std::copy(matrix, matrix + nodes, d.assMc[copy]);
  if (slot0 != nullptr) std::copy(slot0, slot0 + LUMA_SC_LINE_LEN, d.assSc[copy][0]);
  if (slot1 != nullptr) std::copy(slot1, slot1 + LUMA_SC_LINE_LEN, d.assSc[copy][1]);
}

void AppFastReadPeakNum(uint8_t stage) {
  if (stage < 23) Row(0)[stage] = static_cast<uint16_t>(10 * stage + g_stPeakData.ucMcPosPeakNum);
}

void AppFastReadPointNum(uint8_t stage) {
  if (stage + 23 >= Rx()) return;
  const uint8_t count = stage == 7 ? g_ucEventNum : g_stTouchData.ucPointNum;
  Row(0)[stage + 23] = static_cast<uint16_t>(10 * stage + count);
}

void AppHostReadDebufInfo(void) {
  const uint8_t rx = Rx();
  if (rx < 37) return;  // the rows are laid out for 37 columns or more
  const uint16_t valid = AppFrameIsValid();
  const uint16_t trace = g_stTraceInfo.usTraceFlag;
  uint16_t *r1 = Row(1);
  std::fill(r1, r1 + rx, 0);
  r1[0] = 12001;
  r1[1] = r1[4] = g_stTdParam.usScThr;
  r1[2] = g_stTouchData.ucPointNum;
  r1[3] = g_stPeakData.ucOutPeakNum;
  r1[5] = g_stTdParam.usMcThr;
  r1[6] = static_cast<uint16_t>(g_stTdParam.ssMcNegThr);
  r1[7] = static_cast<uint16_t>(g_stPeakData.ssMcMaxDiff);
  r1[8] = static_cast<uint16_t>(g_stPeakData.ssMcMinDiff);
  r1[9] = g_usAlgVersion;
  r1[10] = g_ucFirmVersion;
  r1[11] = Flag(g_stSysParam.ucChargeState + 4000);
  r1[12] = g_usRefreshCnt;
  r1[13] = g_usLikeNFNoiseFrame;
  r1[14] = Flag(1000 + 10 * g_stMcNoiseRepo.ucFlag + 100 * g_stMcNoiseRepo.ucState);
  r1[15] = 1111;
  r1[16] = Flag(g_stPeakData.ucMcPosPeakNum + 100);
  r1[17] = Flag(g_stPeakData.ucMcNegPeakNum + 100);
  r1[18] = g_stTdParam.usJitterLimit;
  r1[19] = Flag(g_ucNFColByPassFlag + 1000);
  r1[20] = Flag(2000 + 10 * g_ucFwScAdcOverLoadFlag + 100 * g_ucFwAdcOverLoadFlag);
  r1[21] = 2222;
  r1[22] = Flag(g_usMcAdcOverCnt + 3000);
  r1[23] = Flag(g_usScAdcOverCnt + 3000);
  r1[24] = Flag(g_ucLastOutputPtCnt + 1000);
  r1[25] = Flag(g_stPowerInfo[0] + 5000);
  r1[26] = Flag(g_stSysParam.ucDispDirection + 6000);
  r1[27] = Flag(g_ucUpdataBaseCnt + 7000);
  r1[28] = g_ucRefreshBaseFlag;
  r1[29] = 1234;
  r1[30] = static_cast<uint16_t>(g_ssRefreshSetPos);
  r1[31] = 0;
  r1[32] = Flag(g_usMcScPeakNotMatchNum + 8000);
  r1[33] = Flag(((trace >> 10) & 1) * 100 + ((trace >> 8) & 1) + ((trace >> 6) & 1) * 1000 + 10 * valid);
  r1[34] = g_ucBaseType;
  r1[35] = g_usMaxOriMcAvg;
  r1[36] = static_cast<uint16_t>((0x145A & ~1u) | valid);

  uint16_t *r2 = Row(2);
  std::fill(r2, r2 + rx, 0);
  r2[0] = 12002;
  static constexpr uint8_t kNoiseColumns[21] = {1,  2,  3,  4,  5,  6,  8,  9,  10, 11, 12,
                                                13, 15, 16, 17, 19, 20, 21, 23, 24, 25};
  for (int k = 0; k < 21; ++k) r2[kNoiseColumns[k]] = g_stDebugFrameData.ausNoise[k];
  r2[7] = 8888;
  r2[14] = 9999;
  r2[18] = 888;
  r2[22] = 999;
  r2[26] = 999;
  r2[27] = static_cast<uint16_t>(g_stMcNoise.ssCurSmooth);
  r2[28] = static_cast<uint16_t>(g_stMcNoise.ssCurSecond);
  r2[29] = 777;
  std::memcpy(&r2[30], g_stMcNoise.assSmooth, 8);
  r2[34] = static_cast<uint16_t>(g_stMcNoise.assSmooth[4]);
  r2[35] = static_cast<uint16_t>(g_stMcNoise.assSmooth[5]);
  r2[36] = 888;

  uint16_t *r3 = Row(3);
  std::fill(r3, r3 + rx, 0);
  r3[0] = 12003;
  std::copy(g_usBaseDbgInfo, g_usBaseDbgInfo + 8, r3 + 1);
  r3[9] = g_usBaseDbgInfo[8];
  r3[10] = g_usBaseDbgInfo[9];
  r3[13] = 555;
  r3[14] = g_usAlgDropFrmNum;
  r3[15] = g_usIcMsTimeGap;
  std::memcpy(&r3[16], g_ssScFloatingCheckDebug, 8);
  std::memcpy(&r3[20], &g_ssScFloatingCheckDebug[4], 4);
  r3[23] = 666;
  r3[24] = Flag(g_ucTypingMode + 100);
  r3[25] = Flag(g_ucDropFrmReportFlg + 200);
  r3[27] = Flag(g_stSysParam.ucPocketPalmFlag + 1000);
  r3[28] = g_usRainWaterCnt;
  r3[29] = 3333;
  r3[36] = 4444;

  uint16_t *r4 = Row(4);
  std::fill(r4, r4 + rx, 0);
  r4[0] = 12004;
  r4[1] = g_stSysParam.ucChargeState;
  r4[2] = g_stSysParam.ucGameMode;
  r4[3] = g_stSysParam.ucHiSampleRate;
  r4[4] = 111;
  r4[5] = g_stSysParam.ucDispDirection;
  r4[6] = g_stSysParam.ucGameEdgeLevel;
  static constexpr uint8_t kEdgeOrder[8] = {1, 0, 3, 2, 4, 5, 6, 7};
  for (int k = 0; k < 8; ++k) r4[7 + k] = static_cast<uint16_t>(g_stHostEdgePara[kEdgeOrder[k]]);
  r4[15] = 222;
  for (int k = 0; k < 3; ++k) r4[16 + k] = g_usLikeNFNoiseFlg[k];
  r4[19] = static_cast<uint16_t>(g_stPeakData.usMcOverCnt);
  r4[20] = 3333;
  r4[21] = (trace & LUMA_TRACE_WATER) != 0 ? 101 : 100;
  r4[22] = Flag(g_ucUnlockWaterState + 200);
  r4[23] = g_ucWaterOnStsCnt;
  r4[24] = Flag(g_ucCurFrmWaterFlag + 300);
  r4[25] = Flag(g_ucCurFrmFloatingWaterFlag + 400);
  r4[26] = Flag(1000 + AppIsWaterExist());
  r4[27] = Flag(1000 + AppExistWaterHistory());
  r4[28] = Flag(1000 + AppIsWaterDetectingSta());
  r4[29] = Flag(1000 + AppCurrentFrmIsWaterSta());
  r4[30] = Flag(1000 + AppCurrentFrmIsFloatingWater());
  r4[31] = g_stSysParam.ucTemperature;
  r4[32] = Flag(100 + ((trace >> 7) & 1));
  r4[33] = g_usFrameDropPos;
  r4[34] = g_usDbgCurFrmthumInRx;
  r4[35] = g_usDbgCurFrmMcPosAreaChNumLast;
  r4[36] = g_usDbgCurFrmMcPosPeakNumLast;

  const int print_rows[6][2] = {{5, 2}, {6, 3}, {7, 4}, {8, 10}, {9, 12}, {10, 13}};
  for (const auto &pr : print_rows) {
    if ((pr[1] + 1) * rx <= static_cast<int>(sizeof(g_usAlgPrintfBuf) / 2)) {
      std::copy(&g_usAlgPrintfBuf[pr[1] * rx], &g_usAlgPrintfBuf[(pr[1] + 1) * rx], Row(pr[0]));
    }
  }
  uint16_t *r14 = Row(14);
  std::fill(r14, r14 + rx, 0);
  r14[11] = g_stPowerInfo[11];
  r14[15] = 2222;
  r14[16] = Flag(g_PocketPlamCnt + 7000);
  for (int k = 0; k < 15; ++k) r14[17 + k] = static_cast<uint16_t>(g_usDbgPocketPlamBuf[k]);
  if (valid != 0) g_ssRefreshSetPos = 0;
}

void convertNanosecondsToTime(struct tm *out, int64_t nanoseconds) {
  if (out == nullptr) return;
  const time_t seconds = static_cast<time_t>(nanoseconds / 1000000000);
  localtime_r(&seconds, out);
}

void print_buffer_s16(const int16_t *buffer, uint32_t count, int32_t line_length) {
  if (!HostLog()) return;
  if (buffer == nullptr || count == 0) {
    alg_module_callback->log(0, "buffer/node_num(%d) is null", static_cast<int>(count));
    return;
  }
  LogValues(buffer, count, line_length);
}

static int FormatHeader(char *text, size_t size, bool file_variant) {
  const LumaDebugFrameData &d = g_stDebugFrameData;
  return std::snprintf(
      text, size,
      "Frame:%d framedata_type=%d,time_ns=%" PRId64 ", frame_cnt:%" PRId64
      ",ic_drop_frame_no=%d,ic_ms_time=%d,scan_freq=%d,tp_noise_m=%d,tp_noise0=%d,tp_noise1=%d,tp_noise2=%d,"
      "tp_noise3=%d,tp_noise4=%d,tp_noise5=%d,scan_mode=%d,ucHoldEn=%d,ucHoldType=%d,%s=%d,%s=%d",
      d.usFrameNum, d.ucFrameDataType, d.sllFrameTimeNs, d.sllFrameCount, d.usIcDropFrameNo, d.usIcMsTime,
      d.usScanFreq, d.ucNoiseMode, d.ausNoise[0], d.ausNoise[1], d.ausNoise[2], d.ausNoise[3], d.ausNoise[4],
      d.ausNoise[5], d.ucScanMode, g_stSysParam.ucHostPara0, g_stSysParam.ucHostPara1,
      file_variant ? "usFreqIdx" : "FreqIdx", g_stMcNoise.ucFreqIdx, file_variant ? "usFreq" : "Freq",
      d.usScanFreq);
}

void alg_dbg_show_header(void) {
  if (!HostLog()) return;
  char text[kHeaderText];
  FormatHeader(text, sizeof(text), false);
  alg_module_callback->log(0, "%s", text);
}

void alg_dbg_show_mc_buffer_temp(const int16_t *matrix, const int16_t *line_a, const int16_t *line_b) {
  const uint32_t nodes = std::min<uint32_t>(g_stFrmInfo.usNodeNum, LUMA_MAX_NODES);
  const uint32_t line = std::min<uint32_t>(Tx() + Rx(), LUMA_SC_LINE_LEN);
  if (matrix != nullptr) print_buffer_s16(matrix, nodes, Rx());
  if (line_a != nullptr) print_buffer_s16(line_a, line, Rx());
  if (line_b != nullptr) print_buffer_s16(line_b, line, Rx());
  lmx_log_printf(LMX_LOG_VERBOSE, "lumacor:thp", "%s:%u, '%s' leave.", "AlgDebugProc", __LINE__, __func__);
}

void AppLmxSaveFile(void) {
  char text[kHeaderText];
  const int n = FormatHeader(text, sizeof(text), true);
  if (n > 0) tofile_cache(1, text, static_cast<uint32_t>(std::min<int>(n, sizeof(text) - 1)));
  const LumaDebugFrameData &d = g_stDebugFrameData;
  tofile_cache(-128, d.assMc[2], static_cast<uint32_t>(Tx() * Rx() * 2));
  const uint32_t line = static_cast<uint32_t>(std::min(Tx() + Rx(), LUMA_SC_LINE_LEN) * 2);
  tofile_cache(-128, d.assSc[2][1], line);
  tofile_cache(-128, d.assSc[2][0], line);
}

void AppDebugPrintLog(void) {
  if (g_stSysParam.ucHostPara0 != 128) return;
  alg_dbg_show_header();
  const uint8_t select = g_stSysParam.ucHostPara1;
  const LumaDebugFrameData &d = g_stDebugFrameData;
  auto show = [&](int copy) { alg_dbg_show_mc_buffer_temp(d.assMc[copy], d.assSc[copy][1], d.assSc[copy][0]); };
  int chosen = -1;
  for (int bit = 3; bit <= 6; ++bit) {
    if ((select >> bit) & 1) {
      chosen = bit - 3;
      break;
    }
  }
  if (chosen >= 0) {
    show(chosen);
  } else if ((select >> 7) & 1) {
    for (int copy = 0; copy < 3; ++copy) show(copy);
  }
  if ((select & 1) != 0) {
    for (int r = 0; r < LUMA_DEBUG_ROWS_DUMPED; ++r) {
      LogValues(reinterpret_cast<const int16_t *>(Row(r)), Rx(), 0);
    }
  }
}

uint32_t AppDumpSaveProcess(void *buffer, uint32_t mode) {
  if (buffer == nullptr) return 0;
  const LumaDebugFrameData &d = g_stDebugFrameData;
  auto *p = static_cast<uint8_t *>(buffer);
  uint8_t *const start = p;
  PutU16(p, d.usFrameNum);
  PutBlock(p, &d.sllFrameTimeNs, 8);
  PutBlock(p, &d.sllFrameCount, 8);
  PutU16(p, d.usIcDropFrameNo);
  *p++ = d.ucScanMode;
  PutU16(p, d.usIcMsTime);
  *p++ = d.ucScanFreqIdx;
  PutU16(p, d.usScanFreq);
  PutBlock(p, &g_stRptSave, sizeof(g_stRptSave));
  const size_t line = static_cast<size_t>(std::min(Tx() + Rx(), LUMA_SC_LINE_LEN) * 2);
  const size_t rx_line = static_cast<size_t>(std::min<int>(Rx(), LUMA_SC_LINE_LEN) * 2);
  const size_t matrix = std::min<size_t>(MatrixBytes(), sizeof(g_stFrmData.assMcDiff));
  if ((mode & LUMA_DUMP_MODE_SET_A) != 0) {
    PutBlock(p, g_stFrmData.assMcBackDiff, matrix);
    PutBlock(p, g_stFrmData.assScBackDiff[1], line);
    PutBlock(p, g_stFrmData.assScBackDiff[0], rx_line);
  }
  if ((mode & LUMA_DUMP_MODE_SET_B) != 0) {
    PutBlock(p, g_stFrmData.pssMcDiff != nullptr ? g_stFrmData.pssMcDiff : g_stFrmData.assMcDiff, matrix);
    PutBlock(p, g_stFrmData.assScDiff[1], line);
    PutBlock(p, g_stFrmData.assScDiff[0], rx_line);
  }
  PutBlock(p, d.ausRows, std::min<size_t>(LUMA_DEBUG_ROWS_DUMPED * Rx() * 2, sizeof(d.ausRows)));
  return static_cast<uint32_t>(p - start);
}

uint32_t AppDumpCsvProcess(char *text, const void *dump, uint8_t mode) {
  if (text == nullptr || dump == nullptr) return 0;
  const auto *p = static_cast<const uint8_t *>(dump);
  uint16_t frame, drop, ms, freq;
  int64_t ns, count;
  uint8_t scan_mode, freq_index;
  std::memcpy(&frame, p, 2);
  std::memcpy(&ns, p + 2, 8);
  std::memcpy(&count, p + 10, 8);
  std::memcpy(&drop, p + 18, 2);
  scan_mode = p[20];
  std::memcpy(&ms, p + 21, 2);
  freq_index = p[23];
  std::memcpy(&freq, p + 24, 2);
  LumaRptSave save;
  std::memcpy(&save, p + 26, sizeof(save));
  p += LUMA_DUMP_HEADER_SIZE;

  Text out{text};
  text[0] = '\0';
  struct tm when {};
  convertNanosecondsToTime(&when, ns);
  out.Add("Frame:%d Timer:%04d-%02d-%02d %02d:%02d:%02d:%" PRId64 " ", frame, when.tm_year + 1900, when.tm_mon + 1,
          when.tm_mday, when.tm_hour, when.tm_min, when.tm_sec, ns / 1000000);
  out.Add("frame_cnt:%" PRId64 " ", count);
  out.Add("ic_drop_frame_no:%d ", drop);
  out.Add("scan_mode:%d ", scan_mode);
  out.Add("ic_ms_time:%d ", ms);
  out.Add("scan_freq_index:%d ", freq_index);
  out.Add("scan_freq:%d ", freq);
  out.Add("PointNum:%d ", save.ucEventNum);
  for (const LumaRptSaveEntry &e : save.astPoint) {
    if (save.ucEventNum == 0) break;
    if (e.id <= 9) out.Add("%d %d %d %d ", e.id, e.event, e.x, e.y);
  }
  out.Add("\n");
  const int tx = Tx();
  const int rx = Rx();
  const int sc_rx = std::min<int>(rx, LUMA_SC_LINE_LEN);
  const int sc_tx = std::min<int>(tx, LUMA_SC_LINE_LEN - sc_rx);
  for (uint8_t bit : {uint8_t{LUMA_DUMP_MODE_SET_A}, uint8_t{LUMA_DUMP_MODE_SET_B}}) {
    if ((mode & bit) == 0) continue;
    const uint8_t *block = p;
    for (int r = 0; r < tx; ++r) out.Line(p, rx);
    p = block + std::min<size_t>(MatrixBytes(), sizeof(g_stFrmData.assMcDiff));
    out.Line(p, sc_rx);
    out.Line(p, sc_tx);
    out.Line(p, sc_rx);
  }
  for (int r = 0; r < LUMA_DEBUG_ROWS_DUMPED; ++r) out.Line(p, rx);
  return static_cast<uint32_t>(out.used);
}

void AppAlgDebugModeSupport(void) {}

}  // extern "C"
