#pragma once
// The state records of signal conditioning: normalisation, frequency hopping, the k/b
// back-up state of the flash test, the NF-noise state, IM statistics, noise type, noise
// duration, LCD high noise and light mode, and the kept hop result. Each is a packed byte
// image with named fields; other modules reach the same bytes through aubData and the
// byte positions of tsa_frame_links.h, so every field sits where its layout puts it
// (checked below).
#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)

struct NormalizeFields {
  uint8_t ubDoubleBValid;      // 0
  uint8_t ubReStudyIndex;      // 1: B array the next study rewrites (0 area 1, 1 area 2)
  uint8_t ubChoiceMode;        // 2: 0 none, 1 adopt the controller's index, 2 compare
  uint8_t ubModuleBIndex;      // 3
  uint8_t ubErrCheck;          // 4: 0 arms the error test; remaining double-B checks
  uint8_t ubExceedCnt;         // 5: double-B exceed counter of the diff stages
  uint8_t ubSwitchCnt;         // 6
  uint8_t ubBErrSeen;          // 7
  uint8_t ubFwBIndex;          // 8: B index the controller reports with the frame
  uint16_t uwArea2WriteCnt;    // 9
  uint16_t uwMaxWriteCnt;      // 11
  uint16_t uwMaxDiffNode;      // 13: node of the largest B difference, 65535 none
  uint8_t ubKValid;            // 15
  uint8_t ubEnabled;           // 16
  uint8_t ubStudyAllowed;      // 17
  uint8_t ubStudyInProgress;   // 18
  uint8_t ubScanPhase;         // 19
  uint8_t ubScanIndex;         // 20
  uint8_t ubScanRunning;       // 21: study progress byte 3
  uint8_t ubRestudyNeeded;     // 22
  uint8_t ubWaitCnt;           // 23
  uint8_t ubScanFail;          // 24
  uint8_t ubBValid;            // 25
  uint8_t ubStudyBudget;       // 26
  uint8_t ubEdgeLatched;       // 27
  uint8_t ubBErrFlag;          // 28
  uint8_t ubCmdBlocked;        // 29
  uint8_t ubCheckState;        // 30
  uint8_t ubStableCnt;         // 31
  uint16_t uwCfgSum;           // 32
  uint8_t aubRes34[2];         // 34
  uint16_t uwArea1WriteCnt;    // 36
  uint8_t ubLimitCnt;          // 38: study-limit counter
  uint8_t ubRes39;             // 39
  uint16_t uwScanStartFreq;    // 40
  uint16_t uwRecordLen;        // 42
  uint16_t uwSegMul;           // 44
  uint16_t auwSv1Area1[8];     // 46
  uint16_t auwSv2Area1[8];     // 62
  uint16_t auwSv1Area2[8];     // 78
  uint16_t auwSv2Area2[8];     // 94
  uint32_t uiRefSum;           // 110
  uint8_t aubSavedMarks[8];    // 114
  uint8_t aubScanMarks[8];     // 122
  uint8_t aubRes130[8];        // 130
  uint8_t ubEdgeGrip;          // 138
  uint8_t ubRes139;            // 139
};
static_assert(sizeof(NormalizeFields) == 140);
static_assert(offsetof(NormalizeFields, ubFwBIndex) == 8);
static_assert(offsetof(NormalizeFields, uwMaxDiffNode) == 13);
static_assert(offsetof(NormalizeFields, ubEnabled) == 16);
static_assert(offsetof(NormalizeFields, ubStudyInProgress) == 18);
static_assert(offsetof(NormalizeFields, ubScanIndex) == 20);
static_assert(offsetof(NormalizeFields, ubBValid) == 25);
static_assert(offsetof(NormalizeFields, ubBErrFlag) == 28);
static_assert(offsetof(NormalizeFields, ubCmdBlocked) == 29);
static_assert(offsetof(NormalizeFields, ubCheckState) == 30);
static_assert(offsetof(NormalizeFields, uwArea1WriteCnt) == 36);
static_assert(offsetof(NormalizeFields, uwRecordLen) == 42);
static_assert(offsetof(NormalizeFields, auwSv1Area1) == 46);
static_assert(offsetof(NormalizeFields, auwSv2Area2) == 94);
static_assert(offsetof(NormalizeFields, uiRefSum) == 110);
static_assert(offsetof(NormalizeFields, aubScanMarks) == 122);
static_assert(offsetof(NormalizeFields, ubEdgeGrip) == 138);

union NormalizeState {
  uint8_t aubData[sizeof(NormalizeFields)];
  NormalizeFields st;
};

inline constexpr uint8_t kMaxHopFreq = 8;

struct FreqHopFields {
  uint16_t* puwImData;         // 0
  uint16_t uwCurFreq;          // 8
  uint16_t uwWatchCnt;         // 10
  uint16_t uwCurPeak;          // 12: frame statistics
  uint16_t uwCurLevel;         // 14
  uint16_t uwMaxPeak;          // 16
  uint16_t uwMinPeak;          // 18
  uint16_t uwMaxLevel;         // 20
  uint16_t uwMinLevel;         // 22
  uint16_t uwAvgPeak;          // 24
  uint16_t uwAvgLevel;         // 26
  uint16_t auwLevel[kMaxHopFreq];    // 28: A
  uint16_t auwPeak[kMaxHopFreq];     // 44: P
  uint16_t auwMetric[kMaxHopFreq];   // 60: M
  uint8_t aubRes76[16];              // 76
  uint16_t auwHist1[kMaxHopFreq];    // 92
  uint16_t auwHist2[kMaxHopFreq];    // 108
  uint16_t auwAvg[kMaxHopFreq];      // 124
  uint16_t uwHopThr;           // 140: H
  uint16_t uwStayThr;          // 142: S
  uint8_t aubRes144[4];        // 144
  uint8_t ubEnabled;           // 148
  uint8_t ubSuspended;         // 149
  uint8_t ubLock;              // 150
  uint8_t ubInit3;             // 151
  uint8_t ubHopPhase;          // 152
  uint8_t ubSegMul;            // 153
  uint8_t ubRes154;            // 154
  uint8_t ubInit1;             // 155
  uint8_t ubHopped;            // 156
  uint8_t ubStartIndex;        // 157
  uint8_t ubMask;              // 158
  uint8_t ubRes159;            // 159
  uint8_t ubCurIndex;          // 160
  uint8_t ubPrevIndex;         // 161
  uint8_t ubPrevBest;          // 162
  uint8_t ubHopReq;            // 163
  uint8_t ubWatchReq;          // 164
  uint8_t ubLongStay;          // 165
  uint8_t ubLongStayCnt;       // 166
  uint8_t ubSkipCnt;           // 167: consecutive skipped frames
  uint8_t ubArgMaxP;           // 168
  uint8_t ubArgMinP;           // 169
  uint8_t ubArgMaxA;           // 170
  uint8_t ubArgMinA;           // 171
  uint8_t aubPersist[4];       // 172
  uint8_t ubPersistNoise;      // 176
  uint8_t ubReason;            // 177
  uint8_t ubLastReason;        // 178
  uint8_t ubRes179;            // 179
};
static_assert(sizeof(FreqHopFields) == 180);
static_assert(offsetof(FreqHopFields, uwCurFreq) == 8);
static_assert(offsetof(FreqHopFields, auwLevel) == 28);
static_assert(offsetof(FreqHopFields, auwPeak) == 44);
static_assert(offsetof(FreqHopFields, auwHist1) == 92);
static_assert(offsetof(FreqHopFields, uwHopThr) == 140);
static_assert(offsetof(FreqHopFields, ubEnabled) == 148);
static_assert(offsetof(FreqHopFields, ubSuspended) == 149);
static_assert(offsetof(FreqHopFields, ubLock) == 150);
static_assert(offsetof(FreqHopFields, ubCurIndex) == 160);
static_assert(offsetof(FreqHopFields, ubPrevIndex) == 161);
static_assert(offsetof(FreqHopFields, ubPersistNoise) == 176);

union FreqHopState {
  uint8_t aubData[sizeof(FreqHopFields)];
  FreqHopFields st;
};

struct KbBakFields {
  uint8_t ubPendingCheck;      // 0
  uint8_t aubCounter[4];       // 1-4
  uint8_t ubResetRequest;      // 5
  uint8_t ubRestudyCopy;       // 6
  uint8_t ubCheckValid;        // 7
  uint8_t ubUpdatePending;     // 8
  uint8_t ubCopyPending;       // 9
  uint8_t aubArea1Flags[20];   // 10
  uint8_t ubFirstFlag;         // 30
  uint8_t ubRes31;             // 31
  uint32_t uiTestState;        // 32
  uint8_t ubArea2Done;         // 36
  uint8_t aubArea2Flags[20];   // 37
  uint8_t ubRetryCnt;          // 57
  uint8_t aubRes58[2];         // 58
};
static_assert(sizeof(KbBakFields) == 60);
static_assert(offsetof(KbBakFields, aubArea1Flags) == 10);
static_assert(offsetof(KbBakFields, uiTestState) == 32);
static_assert(offsetof(KbBakFields, aubArea2Flags) == 37);

union KbBakState {
  uint8_t aubData[sizeof(KbBakFields)];
  KbBakFields st;
};

struct NfNoiseFields {
  uint8_t ubActive;            // 0
  uint8_t ubCounter;           // 1
  uint8_t ubReleaseCnt;        // 2
  uint8_t ubHold;              // 3
  uint8_t ubMarks;             // 4
  uint8_t ubRes5;              // 5
  uint8_t ubResetFlag;         // 6
  uint8_t ubConfirmPeak;       // 7
  uint8_t ubConfirmLen;        // 8
  uint8_t ubConfirmCnt;        // 9
  uint8_t ubForcedHold;        // 10
  uint8_t ubEntryThr;          // 11
  uint8_t ubEntryThrGame;      // 12
  uint8_t ubCountPeak;         // 13
  uint8_t ubHoldLen;           // 14
  uint8_t ubFreqSet;           // 15
  uint8_t ubOutsideCnt;        // 16
  uint8_t ubLowFreqCnt;        // 17
  uint8_t ubMarksTarget;       // 18
  uint8_t ubForcedEntry;       // 19
  uint8_t ubWhiteCnt;          // 20
  uint8_t ubWhiteActive;       // 21
  uint8_t ubForcedNoise;       // 22
  uint8_t ubDebugCnt;          // 23
};
static_assert(sizeof(NfNoiseFields) == 24);

union NfNoiseProcState {
  uint8_t aubData[sizeof(NfNoiseFields)];
  NfNoiseFields st;
};

struct ImGlobalRec {
  uint16_t auwImMax[kMaxHopFreq];   // 0
  uint16_t auwImMin[kMaxHopFreq];   // 16
  uint16_t uwMaxCombined;           // 32
  uint16_t uwBoundL1;               // 34
  uint16_t uwMaxPeak;               // 36
  uint16_t uwBoundL2;               // 38
  uint16_t uwCurCombined;           // 40
  uint16_t uwSmoothed;              // 42
  uint8_t ubMaxCombinedIndex;       // 44
  uint8_t ubMaxPeakIndex;           // 45
  uint8_t ubFreqNum;                // 46
};
static_assert(sizeof(ImGlobalRec) == 47);

struct NoiseXdataRec {
  uint8_t ubRes0;                   // 0
  uint8_t ubNfMark;                 // 1
  uint8_t ubInit1;                  // 2
  uint8_t aubRes3[2];               // 3
  uint8_t ubEnable;                 // 5
  uint8_t aubRes6[2];               // 6
  uint16_t uwB4, uwB5, uwB6, uwB1, uwB2, uwB3;  // 8
};
static_assert(sizeof(NoiseXdataRec) == 20);

struct DurationXdataRec {
  uint8_t ubEnable;                 // 0
  uint8_t ubEntered;                // 1
  uint8_t aubRes2[2];               // 2
  uint8_t ubActive;                 // 4
  uint8_t ubNibble;                 // 5: nibble kept by the last rescale
  uint16_t uwValue;                 // 6: value kept by the last rescale
  uint8_t ubShift;                  // 8
  uint8_t ubRes9;                   // 9
  uint8_t ubKind;                   // 10: 0 none, 1 NF, 2 white noise
  uint8_t ubCode;                   // 11: 5 enter, 6 leave
};
static_assert(sizeof(DurationXdataRec) == 12);
static_assert(offsetof(DurationXdataRec, ubShift) == 8);
static_assert(offsetof(DurationXdataRec, ubCode) == 11);

struct LcdHighNoiseRec {
  uint8_t aubRes0[60];              // 0
  uint16_t uwHold;                  // 60: non-zero = LCD high-noise hold
  uint8_t aubRes62[2];              // 62
  uint8_t ubState;                  // 64: first state byte
  uint8_t ubHandleReq;              // 65
  uint8_t ubRowCount;               // 66: high-diff rows
  uint8_t ubEntryCnt;               // 67
  uint8_t ubFrameCnt;               // 68: second state byte, compared with 4
  uint8_t ubStartInMask;            // 69
  uint8_t aubRes70[2];              // 70
};
static_assert(sizeof(LcdHighNoiseRec) == 72);

// Rx-shake state: the kept lines of the last search and the two loudest lines.
inline constexpr uint32_t kRxKeptMax = 41;
inline constexpr uint32_t kRxLineLevels = 42;
struct NoiseRxShakeRec {
  uint8_t ubKeptCount;
  uint8_t ubNormalFlag;
  uint8_t ubLowTempFlag;
  uint8_t aubKeptLine[kRxKeptMax];
  uint16_t auwKeptLevel[kRxKeptMax];
  uint8_t ubTopLine1;
  uint8_t ubTopLine2;
  uint16_t uwTopLevel1;
  uint16_t uwTopLevel2;
};
static_assert(sizeof(NoiseRxShakeRec) == 132);

struct LightModeRec {
  uint8_t ubCounter;
  uint8_t ubExitCnt;
  uint8_t ubFlag;
};

// The kept hop result: {word 0, frequency, 0, word 3, check}; the check is the 16-bit
// negation of the sum of the first four.
struct HopResultRec {
  uint16_t auwWord[4];
  uint16_t uwCheck;
};
struct HopResultBakRec {
  uint64_t ullWords;
  uint16_t uwCheck;
};

// Pointers of the output record at the study-value arrays of the area in use, then the
// four results of the normalisation check.
struct NormalizeOutputRec {
  uint16_t* puwSv1;
  uint16_t* puwSv2;
  uint8_t ubBValid;
  uint8_t ubCheckState;
  uint8_t ubEnabled;
  uint8_t ubBErrFlag;
};
static_assert(sizeof(NormalizeOutputRec) == 20);

#pragma pack(pop)
