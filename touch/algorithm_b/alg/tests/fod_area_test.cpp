// The fingerprint-area stage, driven through the real point chain of a frame (IDs, position
// mapping, the stage itself and the result output) over a mutual matrix the test fills.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host_recorder_test.h"
#include "luma_env.h"
#include "luma_fod.h"
#include "luma_front.h"
#include "luma_peaks.h"
#include "luma_search.h"

namespace {

struct Pos {
  uint32_t x;
  uint32_t y;
};

// Panel units; the sensor's centre area.
constexpr Pos kOnSensor{9000, 38000};

class FodArea : public ::testing::Test {
 protected:
  void SetUp() override {
    Recorder::fod.clear();
    Recorder::logs.clear();
    host_.fingerprint_area = Recorder::Fod;
    host_.log = Recorder::Log;
    register_alg_module(&host_);
    alg_module_init();
    AppPwrFilterInit();
    g_stSysParam.ucGameMode = 1;  // no single-tap precision moving the points
    g_stSysParam.ucFodEnable = 2;
    g_stFrmData.usFrmFlag |= LUMA_FRM_VALID;
    std::memset(g_stFrmData.assMcDiff, 0, sizeof(g_stFrmData.assMcDiff));
    g_stFrmData.pssMcDiff = g_stFrmData.assMcDiff;
    g_ucFodPointID = 255;
    g_ucFodReportID = 255;
    g_ucFodFingerSta = 0;
    ucFingerDownCnt = 0;
    s_ucFodCheckEnable = 1;
    AppClearTouchDownInFodSlideFlag();
    g_fod_resume_pressed = 0;
    g_fod_resume_pressed_back = 0;
    resume_fod_id = 255;
    g_bReportFingDownFlg = 0;
  }
  void TearDown() override {
    g_stSysParam.ucGameMode = 0;
    g_stSysParam.ucFodEnable = 0;
    g_fod_resume_pressed = 0;
    AppPwrFilterInit();
    register_alg_module(nullptr);
  }

  // The nodes over the sensor all read `diff`.
  static void Cover(int16_t diff) {
    for (uint8_t tx = 6; tx <= 10; ++tx) {
      for (uint8_t rx = 31; rx <= 35; ++rx) *AppMcGetDiffAddr(tx, rx) = diff;
    }
  }

  // One frame of the point chain with these points; returns how many points were output.
  static uint8_t Frame(const std::vector<Pos> &points) {
    LumaTouchData &t = g_stTouchData;
    for (size_t k = 0; k < points.size(); ++k) {
      LumaPoint &p = t.astPoint[k];
      std::memset(&p, 0xFF, sizeof(p));
      p.x = points[k].x;
      p.y = points[k].y;
      p.weight = 40;
      p.area = 6;
      p.ucTx = 8;
      p.ucRx = 33;
    }
    t.ucPointNum = static_cast<uint8_t>(points.size());
    AppPointFilter(2);
    AppPointIDProcess();
    AppPointFilter(3);
    AppPosMapping();
    AppPointFilter(4);
    AppCheckFodArea();
    const uint8_t n = AppTouchResultOutput();
    AppBackLastState();
    return n;
  }

  // A finger moving from one place to another in small steps, one frame per step.
  static std::vector<Pos> Path(Pos from, Pos to, int steps) {
    std::vector<Pos> path;
    for (int k = 0; k <= steps; ++k) {
      const auto along = [&](uint32_t a, uint32_t b) {
        return static_cast<uint32_t>(static_cast<int64_t>(a) + (static_cast<int64_t>(b) - a) * k / steps);
      };
      path.push_back({along(from.x, to.x), along(from.y, to.y)});
    }
    return path;
  }

  AlgHostCallbacks host_{};
};

TEST_F(FodArea, FingerOnTheSensorIsDownOnceAndUpOnceAfterTheLift) {
  Cover(200);
  Frame({kOnSensor});
  EXPECT_EQ(Recorder::fod, std::vector<uint8_t>{1});
  EXPECT_TRUE(Recorder::Logged("finger down"));
  EXPECT_EQ(g_ucFodID, 38);
  EXPECT_EQ(g_ucFodEvent, 0);
  EXPECT_EQ(g_ucFodCoordinate[0] << 8 | g_ucFodCoordinate[1], 9000);
  EXPECT_EQ(g_ucFodCoordinate[2] << 8 | g_ucFodCoordinate[3], 38000);
  for (int k = 0; k < 3; ++k) Frame({kOnSensor});
  EXPECT_EQ(Recorder::fod, std::vector<uint8_t>{1});  // resting, nothing more
  EXPECT_EQ(ucFingerDownCnt, 4);
  Cover(0);
  Frame({});
  EXPECT_EQ(Recorder::fod, (std::vector<uint8_t>{1, 0}));
  EXPECT_TRUE(Recorder::Logged("finger up"));
  EXPECT_EQ(g_ucFodID, 38);
  EXPECT_EQ(g_bReportFingDownFlg, 0);
  Frame({});
  EXPECT_EQ(Recorder::fod, (std::vector<uint8_t>{1, 0}));
  EXPECT_EQ(g_ucFodID, 0);
}

TEST_F(FodArea, OnlyAFingerThatLandsNearTheSensorAndCoversItIsTaken) {
  struct Case {
    const char *name;
    std::vector<Pos> path;  // one frame per position
    int16_t cover;
    bool reporting;
    std::vector<uint8_t> fod;
  };
  const std::vector<Case> cases = {
      {"slides in from elsewhere", Path({2000, 20000}, kOnSensor, 60), 200, true, {}},
      {"lands in the wide but not the narrow area", {{7800, 38000}, {7800, 38000}}, 200, true, {}},
      {"coverage 34 is too little", {kOnSensor, kOnSensor}, 31, true, {}},
      {"coverage 35 is enough", {kOnSensor, kOnSensor}, 32, true, {1}},
      {"reporting switched off", {kOnSensor, kOnSensor}, 200, false, {}},
  };
  for (const Case &c : cases) {
    SetUp();
    g_stSysParam.ucFodEnable = c.reporting ? 2 : 0;
    Cover(c.cover);
    for (const Pos &p : c.path) Frame({p});
    EXPECT_EQ(Recorder::fod, c.fod) << c.name;
    Frame({});
    TearDown();
  }
}

TEST_F(FodArea, TrackedFingerIsKeptInTheWideAreaAndReleasedWhenItLeaves) {
  Cover(200);
  for (const Pos &p : Path(kOnSensor, {7800, 38000}, 8)) Frame({p});
  EXPECT_EQ(Recorder::fod, std::vector<uint8_t>{1});
  EXPECT_EQ(g_ucFodEvent, 0);
  // Out of the wide area: up once, and it is not taken again on the way back.
  for (const Pos &p : Path({7800, 38000}, {6000, 38000}, 12)) Frame({p});
  EXPECT_EQ(Recorder::fod, (std::vector<uint8_t>{1, 0}));
  for (const Pos &p : Path({6000, 38000}, kOnSensor, 20)) Frame({p});
  EXPECT_EQ(Recorder::fod, (std::vector<uint8_t>{1, 0}));
  // All lifted: a new landing is taken again.
  Frame({});
  Frame({kOnSensor});
  EXPECT_EQ(Recorder::fod, (std::vector<uint8_t>{1, 0, 1}));
}

TEST_F(FodArea, WhileTheHostWaitsAfterAResumeNoDownIsSentAndTheBoundLiftIsUp) {
  Cover(200);
  g_fod_resume_pressed = 1;
  Frame({kOnSensor});
  Frame({kOnSensor});
  EXPECT_TRUE(Recorder::fod.empty());
  EXPECT_EQ(g_bForceChangeIDFlg, 1);
  EXPECT_EQ(resume_fod_id, 0);
  g_ucAlgFodUpFlg = 0;
  Frame({});
  EXPECT_EQ(Recorder::fod, std::vector<uint8_t>{0});
  EXPECT_TRUE(Recorder::Logged("Resume Up3"));
  EXPECT_EQ(g_ucAlgFodUpFlg, 1);
}

TEST_F(FodArea, ResumeWithNoFingerOnTheSensorGivesUpAtOnce) {
  g_fod_resume_pressed = 1;
  Frame({{2000, 20000}});
  EXPECT_EQ(Recorder::fod, std::vector<uint8_t>{0});
  EXPECT_TRUE(Recorder::Logged("Resume Up0"));
  EXPECT_EQ(resume_fod_id, 255);
}

// A peak above 8000 made the per-node cap divide by zero; a strong finger must instead give
// the same coverage as one just below that level, and be taken.
TEST_F(FodArea, CoverageOfAStrongFingerNeedsNoDivisionByZero) {
  Cover(30000);
  const uint8_t at_8000 = AppCheckPeakPercent(8000);
  EXPECT_GE(at_8000, 35);
  for (int32_t peak : {8001, 9000, 26250}) {
    EXPECT_NEAR(AppCheckPeakPercent(peak), at_8000, 1) << peak;
    EXPECT_EQ(g_ucFodArea, AppCheckPeakPercent(peak));
  }
  EXPECT_EQ(AppCheckPeakPercent(0), 0);
  // Through the frame: the peak node's diff 30000 asks for a peak of 26250.
  Frame({kOnSensor});
  EXPECT_EQ(Recorder::fod, std::vector<uint8_t>{1});
}

}  // namespace
