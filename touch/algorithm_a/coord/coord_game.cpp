// Game mode: the host's game-mode word picks the corner sizes of the edge zones, the touch
// and leave thresholds in force and the frame timing; the normal thresholds come back from
// the panel configuration.
#include "coord_game.h"

#include <algorithm>

#include "coord.h"
#include "framework.h"
#include "signal_proc.h"
#include "tsa_config.h"
#include "tsa_frame_links.h"

GameModeState gstGameMode;

// Added to the game leave threshold by the word's low three bits; the word can name entries
// 5 to 7, which add nothing.
const uint8_t gpubLeaveLvAdjTable[kLeaveLvAdjNum] = {25, 11, 8, 5, 0};

namespace {

constexpr uint8_t kEdgeCfgCornerBit = 0x01;
constexpr uint8_t kGameCfgFrameCountBit = 0x01;
constexpr uint8_t kGameCfgKeepTimingBit = 0x04;
constexpr uint8_t kGameCfgKeepThrBit = 0x10;
constexpr uint8_t kTimeCtrlGameBit = 0x20;
// The running copy of the time configuration's byte 7 is the frame count game mode changes.
constexpr uint32_t kTimeCtrlFrameCountCfgByte = 7;

void SetThresholds(uint16_t uwTouch, uint16_t uwLeave) {
  // The panel-head copy and the working pair both hold the levels in force.
  gstCommon.swTouchThreshold = static_cast<int16_t>(uwLeave);
  gstCommon.uwSecondThreshold = uwTouch;
  gstCommon.uwMaskThreshold = uwLeave;
  gstCommon.uwThreshold2 = uwTouch;
}

uint8_t& TimeCtrlFrameCount() {
  return reinterpret_cast<uint8_t*>(&gstTimeCtrlEx.stCfg)[kTimeCtrlFrameCountCfgByte];
}

}  // namespace

uint8_t LeaveLevelAdjust(uint16_t uwWord) {
  const uint32_t uiIndex = uwWord & 7u;
  return uiIndex < kLeaveLvAdjNum ? gpubLeaveLvAdjTable[uiIndex] : 0;
}

void GetGameModeInfo(uint8_t ubKind, uint16_t uwWord) {
  if (ubKind != 1) uwWord = 0;
  gstGameMode.auwWord[0] = uwWord;

  const uint8_t* e = gstEdgeResCfg.aubData;
  if ((e[0] & kEdgeCfgCornerBit) != 0) {
    uint16_t uwY = 0;
    uint16_t uwX = 0;
    if ((uwWord & 0xC0u) != 0) {
      const uint32_t uiLevel = uwWord >> 14;
      if (uiLevel != 0) {
        uwY = e[13 + 2 * (uiLevel - 1)];
        uwX = e[14 + 2 * (uiLevel - 1)];
      }
    } else {
      uwY = LinkGetU16(e, 9);
      uwX = LinkGetU16(e, 11);
    }
    gstGameMode.auwWord[1] = static_cast<uint16_t>(uwY * 16u);
    gstGameMode.auwWord[2] = static_cast<uint16_t>(uwX * 16u);
  }

  const uint8_t* g = gstGameModeCfg.aubData;
  const bool boGame = gstCommon.ubGameModeFlag != 0;
  if ((g[0] & kGameCfgKeepThrBit) == 0) {
    if (boGame) {
      const uint16_t uwTouch = LinkGetU16(g, 3);
      const uint16_t uwLeave = LinkGetU16(g, 5);
      if (uwTouch != 0 && uwLeave != 0 && uwTouch >= uwLeave) {
        const uint16_t uwNewLeave = static_cast<uint16_t>(uwLeave + LeaveLevelAdjust(uwWord));
        SetThresholds(std::max(uwTouch, uwNewLeave), uwNewLeave);
      }
    } else {
      RecoverNormalCfg();
    }
  }

  if ((g[0] & kGameCfgKeepTimingBit) == 0) {
    if (boGame) {
      if ((g[0] & kGameCfgFrameCountBit) != 0) {
        TimeCtrlFrameCount() = g[1];
      } else {
        gubNormTimeCtrl |= kTimeCtrlGameBit;
      }
    } else {
      TimeCtrlFrameCount() = reinterpret_cast<const uint8_t*>(&gstTimeCtrlCfg)[kTimeCtrlFrameCountCfgByte];
      gubNormTimeCtrl &= static_cast<uint8_t>(~kTimeCtrlGameBit);
    }
  }
}

void RecoverNormalCfg() {
  const uint8_t* p = gstTouchPannelCfg.aubHead;
  SetThresholds(LinkGetU16(p, 6), LinkGetU16(p, 4));
}
