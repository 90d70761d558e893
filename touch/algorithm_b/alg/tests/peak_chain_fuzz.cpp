// The detection chain on a diff map of arbitrary content: the peak search, the peak filter
// chain with its frame filters and merge, then the exported peak checks. The input gives
// the mutual diff, both self diff lines, the previous frame's counts and the mode flags,
// and the forecast boxes of the previous frame's touches, so that the values the front end
// would never hand on (extremes, stripes, boxes off the panel) reach the filters too.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "luma_env.h"
#include "luma_front.h"
#include "luma_noise.h"
#include "luma_peak_filter.h"
#include "luma_peaks.h"

namespace {

void Log(int32_t, const char *, ...) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static AlgHostCallbacks host{};
  static bool ready = false;
  if (!ready) {
    host.log = Log;
    register_alg_module(&host);
    alg_module_init();
    ready = true;
  }
  size_t used = 0;
  const auto take = [&](void *dst, size_t n) {
    const size_t k = used < size ? (size - used < n ? size - used : n) : 0;
    if (k != 0) std::memcpy(dst, data + used, k);
    used += k;
  };
  uint8_t flags[8] = {};
  take(flags, sizeof(flags));
  g_stSysParam.ucChargeState = flags[0] & 1;
  g_usLikeNFNoiseFrame = flags[1];
  g_stTouchData.ucLastPointNum = flags[2] % (LUMA_MAX_POINTS + 1);
  g_ucLastOutputPtCnt = flags[3] % (LUMA_MAX_POINTS + 1);
  g_stPeakData.ucLastOutPeakNum = flags[4] % (LUMA_MAX_PEAKS + 1);
  g_stTraceInfo.usTraceFlag = static_cast<uint16_t>(flags[5] << 8 | flags[6]);
  g_stSysParam.ucGameMode = flags[7] & 1;
  const size_t nodes = static_cast<size_t>(g_stFwConfig.ucTxNum) * g_stFwConfig.ucRxNum;
  std::memset(g_stFrmData.assMcDiff, 0, sizeof(g_stFrmData.assMcDiff));
  take(g_stFrmData.assMcDiff, nodes * sizeof(int16_t));
  take(g_stFrmData.assScDiff[0], sizeof(g_stFrmData.assScDiff[0]));
  take(g_stFrmData.assScDiff[1], sizeof(g_stFrmData.assScDiff[1]));
  take(g_ssMc2TxDiffer, sizeof(g_ssMc2TxDiffer));
  take(structForecastPointRange, sizeof(structForecastPointRange));

  g_stFrmData.usFrmFlag |= LUMA_FRM_VALID;
  AppSearchPeakThSet(0);
  AppSearchPeakPoint();
  AppPeakFilter();
  g_stFrmData.usFrmFlag |= LUMA_FRM_VALID;
  IsCoaxialJudgeByAllPeak();
  IsPeakInSameRowCheck();
  AppNfInvalidFilter();
  AppSensitivityAbnormalFilter();
  CheckUpDownNoiseFeature();
  AppFilterSmallPeak();
  AppMcPeakMergeProcess();
  return 0;
}
