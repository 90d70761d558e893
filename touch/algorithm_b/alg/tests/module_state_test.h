#pragma once
// The module as a host finds it after loading and initialising it: no host table, the
// default log level, the records initialised, and the state that lives across frames and
// initialisations (filter counters, water and floating history, edge records) cleared.
// Every test of the unit binary starts from here (module_reset_test.cpp); fixtures that
// run several cases in one test call it again between them.
#include <cstring>

#include "luma_core.h"
#include "luma_edge.h"
#include "luma_env.h"
#include "luma_noise.h"
#include "luma_peak_filter.h"
#include "luma_util.h"

namespace luma_test {

inline void ResetModuleState() {
  register_alg_module(nullptr);
  g_log_level = LMX_LOG_INFO;
  f_log_level = LMX_LOG_INFO;
  a_log_level = LMX_LOG_INFO;
  alg_module_init();
  std::memset(s_stEdgePalmSta, 0, sizeof(s_stEdgePalmSta));
  std::memset(g_ForceAlpha, 0, sizeof(g_ForceAlpha));
  std::memset(g_assScRxNormalFifo, 0, sizeof(g_assScRxNormalFifo));
  std::memset(g_assScRxWaterFifo, 0, sizeof(g_assScRxWaterFifo));
  std::memset(s_aucColStripeDropCnt, 0, sizeof(s_aucColStripeDropCnt));
  std::memset(g_stSeriousFloatingMergeInfo, 0, sizeof(g_stSeriousFloatingMergeInfo));
  s_ucCdmaDecodeState = 0;
  s_ucNfNoiseDropCnt = s_ucScFilterDropCnt = s_ucNfGhostCnt = 0;
  s_ucMergeNegLevel = s_ucMergeSelfWeakHold = 0;
  s_ucMinPeakGap = 100;
  s_usNfInvalidDropCnt = 0;
  s_ucSensAbnormalState = 0;
  g_ucScNotMatchMcFrmCnt = 0;
  g_ucMcWaterCnt = 0;
  g_ucFwAdcOverLoadFlag = 0;
  g_usLikeNFNoiseFrame = 0;
  g_ucLastOutputPtCnt = 0;
}

}  // namespace luma_test
