// Taking a frame in: host parameters, raw data, validity, the base and the diff data.
#include <algorithm>
#include <cstring>

#include "luma_core.h"
#include "luma_util.h"
#include "luma_debug.h"
#include "luma_noise.h"

namespace {

uint16_t s_usLastIcDropFrames;
uint8_t s_ucBaseRequested;

uint8_t TxNum() { return g_stFrmInfo.aucCfgCopy[4]; }
uint8_t RxNum() { return g_stFrmInfo.aucCfgCopy[5]; }

// Matrix copies are bounded by the matrix areas whatever the geometry says.
uint16_t NodeNum() { return std::min<uint16_t>(g_stFrmInfo.usNodeNum, LUMA_MAX_NODES); }

// Host self lines come drive values first; the module keeps sense values first.
void TakeSelfLine(int16_t *slot, const int16_t *host) {
  if (host == nullptr) return;
  const uint8_t t = TxNum();
  const uint8_t r = RxNum();
  if (t + r > LUMA_SC_LINE_LEN) return;
  std::copy(host + t, host + t + r, slot);
  std::copy(host, host + t, slot + r);
}

void SetValid(bool valid) {
  if (valid) {
    g_stFrmData.usFrmFlag |= LUMA_FRM_VALID;
  } else {
    g_stFrmData.usFrmFlag = static_cast<uint16_t>(g_stFrmData.usFrmFlag & ~LUMA_FRM_VALID);
  }
}

// The controller's two debug lines (one word per sense line) behind the pointer at byte
// 211: the one at 10 bytes per sense line to print row 24, the one at 4 bytes per sense
// line to row 26. Row 26 of a 38-line panel starts at word 988 and so runs past the
// 1024-word print buffer: it is written only as far as the buffer goes. Neither line is
// read past the host's byte count.
void TakeDebugLines(const DecodedFrame *frame) {
  if (frame->extra1 == nullptr || frame->extra1_len <= 0) return;
  const int rx = g_stFwConfig.ucRxNum;
  const int available = frame->extra1_len / 2;
  constexpr int kBufferWords = static_cast<int>(sizeof(g_usAlgPrintfBuf) / sizeof(g_usAlgPrintfBuf[0]));
  const struct {
    int from;  // first word in the host's array
    int row;
  } lines[] = {{5 * rx, 24}, {2 * rx, 26}};
  for (const auto &l : lines) {
    const int to = l.row * rx;
    const int n = std::min({rx, available - l.from, kBufferWords - to});
    for (int i = 0; i < n; ++i) g_usAlgPrintfBuf[to + i] = static_cast<uint16_t>(frame->extra1[l.from + i]);
  }
}

}  // namespace

extern "C" {

uint8_t AppFrameIsValid(void) { return (g_stFrmData.usFrmFlag & LUMA_FRM_VALID) != 0 ? 1 : 0; }

void AppInvalidFramesInc(void) {
  if (s_ucInvalidFrames < 250) ++s_ucInvalidFrames;
}

void AppUpdataPara(DecodedFrame *frame) {
  const uint8_t *para = frame->reserved_block;
  if (para != nullptr) {
    g_ucFirmVersion = para[2];
    g_ucBaseType = para[4];
    g_ucTicDropFrameFlg = para[5];
  }
  g_usIcFrameCnt = frame->ic_frame_count;
  uint16_t flags = g_stFrmData.usFrmFlag;
  flags = static_cast<uint16_t>(flags & ~(LUMA_FRM_HOST_BIT12 | 0xE000u));
  if ((frame->tail_byte1 & 1u) != 0) flags |= LUMA_FRM_HOST_BIT12;
  g_stFrmData.usFrmFlag = flags;
  std::memcpy(g_stMcNoise.aucHead, &frame->scan_freq, 2);
  std::memcpy(g_stMcNoise.assReported, frame->noise_values, sizeof(g_stMcNoise.assReported));
  if (frame->scan_freq_index != 0) g_stMcNoise.ucFreqIdx = static_cast<uint8_t>(frame->scan_freq_index - 1);
  std::memcpy(g_stMcNoise.assSecond, &frame->tail.sat.noise_block[0], sizeof(g_stMcNoise.assSecond));
  std::memcpy(g_stAdcOverSta, &frame->tail.sat.mutual_adc_sat, 16);
  g_stSysParam.ucIcIdleFlag = frame->state_code == 2 ? 1 : 0;
  g_fod_resume_pressed = frame->driver_word;
  g_ullFrameTimeNs = frame->frame_time_ns;
  g_ullFrameCount = frame->frame_count;
  if (frame->extra2_count != 0 && frame->extra2 != nullptr) {
    // The host's count says how many values stand behind the pointer: never read past it.
    const int line = std::min({TxNum() + RxNum(), static_cast<int>(frame->extra2_count), LUMA_SC_LINE_LEN});
    std::copy(frame->extra2, frame->extra2 + line, g_stFrmData.assScExtra[1]);
  }
  LumaDebugTakeHeader(frame);
  g_usIcMsTimeGap = static_cast<uint16_t>(frame->ic_time_ms - g_usIcMsTimeLast);
  g_usIcMsTimeLast = frame->ic_time_ms;
  TakeDebugLines(frame);
  if (para != nullptr) {
    g_stSysParam.ucHostPara0 = para[0];
    g_stSysParam.ucHostPara1 = para[1];
  }
}

void hta_update_base(void) {
  const uint16_t n = NodeNum();
  std::copy(g_stFrmData.assMcRaw, g_stFrmData.assMcRaw + n, g_stFrmData.assMcBase);
  for (int s = 0; s < 2; ++s) std::copy_n(g_stFrmData.assScRaw[s], LUMA_SC_LINE_LEN, g_stFrmData.assScBase[s]);
  LumaDebugTakeCopy(LUMA_DEBUG_COPY_BASE, g_stFrmData.assMcBase, g_stFrmData.assScBase[0], g_stFrmData.assScBase[1]);
  AlgHostLog("UpdataBaseCnt:%d", g_ucUpdataBaseCnt);
  if (g_ucUpdataBaseCnt == 0) {
    AlgHostLog("Baseline Refresh %d:", g_ucBaseType);
    alg_dbg_show_mc_buffer_temp(g_stFrmData.assMcBase, g_stFrmData.assScRaw[1], g_stFrmData.assScBase[1]);
  }
  g_ucBaseState = 2;
}

void hta_get_base(void) {
  if (g_ucBaseState == 0 || (g_ucBaseState == 1 && s_ucBaseRequested == 0)) {
    AlgHostLog("BASE Empty to Getting!!!!");
    g_ucBaseState = 1;
    s_ucBaseRequested = 1;
    hta_update_base();
  }
}

void hta_get_diff(void) {
  LumaDebugTakeCopy(LUMA_DEBUG_COPY_RAW, g_stFrmData.assMcRaw, g_stFrmData.assScRaw[0], g_stFrmData.assScRaw[1]);
  const uint16_t n = NodeNum();
  // A touch lowers the mutual raw value and raises the self raw value: both diffs grow.
  // A mutual raw value above its base wraps (one count above gives 65535); callers rely on it.
  for (uint16_t i = 0; i < n; ++i) {
    g_stFrmData.assMcDiff[i] =
        static_cast<int16_t>(static_cast<uint16_t>(g_stFrmData.assMcBase[i]) - static_cast<uint16_t>(g_stFrmData.assMcRaw[i]));
  }
  for (int s = 0; s < 2; ++s) {
    for (int k = 0; k < LUMA_SC_LINE_LEN; ++k) {
      g_stFrmData.assScDiff[s][k] = static_cast<int16_t>(static_cast<uint16_t>(g_stFrmData.assScRaw[s][k]) -
                                                         static_cast<uint16_t>(g_stFrmData.assScBase[s][k]));
    }
  }
  LumaDebugTakeCopy(LUMA_DEBUG_COPY_SRC_DIFF, g_stFrmData.assMcDiff, g_stFrmData.assScDiff[0], g_stFrmData.assScDiff[1]);
}

void AppBackUpSrcDiff(void) {
  const uint16_t n = std::min<uint16_t>(static_cast<uint16_t>(g_stFwConfig.ucTxNum * g_stFwConfig.ucRxNum), LUMA_MAX_NODES);
  std::copy(g_stFrmData.assMcDiff, g_stFrmData.assMcDiff + n, g_stFrmData.assMcBackDiff);
  const int len = std::min(RxNum() + TxNum(), LUMA_SC_LINE_LEN);
  for (int s = 0; s < 2; ++s) std::copy_n(g_stFrmData.assScDiff[s], len, g_stFrmData.assScBackDiff[s]);
}

int16_t AppMaxDifferenceWithLastFrame(void) {
  int16_t most = 0;
  for (uint16_t i = 0; i < NodeNum(); ++i) {
    const auto d = static_cast<int16_t>(g_stFrmData.assMcLastDiff[i] - g_stFrmData.assMcDiff[i]);
    const auto a = static_cast<int16_t>(d < 0 ? -d : d);
    most = std::max(most, a);
  }
  return most;
}

void AppGetDiffInterface(DecodedFrame *frame) {
  // The frame's buffers are as long as the rows and columns it says it has; read at this
  // panel's size they would be read past. A frame that names no panel (0 x 0) says nothing
  // of its buffers and is refused as well.
  if (frame->rows != TxNum() || frame->columns != RxNum()) {
    SetValid(false);
    AlgHostLog("frame of %dx%d refused: the panel is %dx%d", frame->rows, frame->columns, TxNum(), RxNum());
    return;
  }
  g_ucDropFrmReportFlg = 0;
  AppFlowCntRunning(0);
  AppUpdataPara(frame);
  const uint16_t n = NodeNum();
  if (frame->mutual != nullptr) std::copy(frame->mutual, frame->mutual + n, g_stFrmData.assMcRaw);
  TakeSelfLine(g_stFrmData.assScRaw[0], frame->self2);
  TakeSelfLine(g_stFrmData.assScRaw[1], frame->self1);

  if (g_fod_resume_pressed == 1 && g_bScreenSwitchFlg != 0 && g_bReportFingDownFlg == 0) {
    g_bScreenSwitchFlg = 0;
    g_bFodReportOnePointState = 1;
    AlgHostLog("fod_resume_pressed");
  }

  if ((frame->valid_mark & 0xFFu) != DECODED_FRAME_VALID_MARK_LOW || g_bLcdOffState != 0) {
    SetValid(false);
    AlgHostLog("Frame Invalid");
  } else {
    SetValid(true);
  }

  if (AppFrameIsValid() != 0 && (frame->frame_type == DECODED_FRAME_TYPE_TAKE_BASE || g_ucBaseState == 0)) {
    hta_update_base();
    SetValid(false);  // the frame that gave the base is not processed
    ++g_ucUpdataBaseCnt;
    AlgHostLog("ic_baseline_freeback");
    uint32_t word = 1;
    AlgHostRequest(ALG_DRIVER_REQUEST_BASE_TAKEN, &word, sizeof(word));
  } else {
    g_ucUpdataBaseCnt = 0;
  }

  if (g_ucTypingMode == 0) {
    const auto rise = static_cast<uint16_t>(frame->dropped_frames - s_usLastIcDropFrames);
    if (frame->dropped_frames > s_usLastIcDropFrames && rise <= 2) {
      s_ucInvalidFrames = static_cast<uint8_t>(std::min(250, s_ucInvalidFrames + rise));
    }
  }
  s_usLastIcDropFrames = frame->dropped_frames;

  if (AppFrameIsValid() == 0) return;

  hta_get_diff();
  AppBackUpSrcDiff();
  AppDiffFrontFilter();
  AppMainFreNoiseProc();

  if (frame->mutual != nullptr) std::copy(g_stFrmData.assMcDiff, g_stFrmData.assMcDiff + n, frame->mutual);
  // The host's self buffers hold one line of sense plus drive values, not a whole slot.
  const int line = RxNum() + TxNum();
  if (line <= LUMA_SC_LINE_LEN) {
    if (frame->self2 != nullptr) std::copy_n(g_stFrmData.assScDiff[0], line, frame->self2);
    if (frame->self1 != nullptr) std::copy_n(g_stFrmData.assScDiff[1], line, frame->self1);
  }
  LumaDebugTakeCopy(LUMA_DEBUG_COPY_DIFF, g_stFrmData.assMcDiff, g_stFrmData.assScDiff[0], g_stFrmData.assScDiff[1]);
}

int32_t update_frame_data(DecodedFrame *frame) {
  LUMA_TRACE_OPERATION();
  if (frame != nullptr && alg_module_callback != nullptr && alg_module_callback->frame_processed != nullptr) {
    AppGetDiffInterface(frame);
    alg_module_callback->frame_processed(frame);
  }
  return AppFrameIsValid() != 0 ? 0 : -1;
}

}  // extern "C"
