#pragma once
// Game mode and the fingerprint-area judgement of algorithm A's coordinate module.
#include <cstdint>

#include "tsa_frame_links.h"

inline constexpr uint32_t kLeaveLvAdjNum = 5;
extern const uint8_t gpubLeaveLvAdjTable[kLeaveLvAdjNum];

// The leave-level adjustment the game-mode word's low three bits select (0 past the table).
uint8_t LeaveLevelAdjust(uint16_t uwWord);
// Copies the panel configuration's leave and touch thresholds back into the levels in force.
void RecoverNormalCfg();

// Fingerprint area: derived from the fingerprint configuration at initialisation; the
// judgement finds the one touch on it and raises the common record's fingerprint-touch flag
// while that touch is a still press.
extern uint8_t gboIsFpAreaPoint;
extern uint8_t gubFpIntLastSent;
void FpJudgeInit();
void JudgeFpTouchSta(uint8_t ubSlot);
void GetFpTouchIndex();
uint8_t IsFpTouchArea(uint8_t ubSlot, uint16_t uwMargin);
// Queues the controller command that switches the fingerprint interrupt to UBVALUE, unless
// that value was the last one sent. A full request queue leaves the value unsent, so the
// next call with it tries again.
void CmdSetFpInt(uint8_t ubValue);
void SmoothCoeffBufInit();
void IdleJudgeInit();
extern uint16_t gpuwSmoothCoeffBuf[3];
