#pragma once
// The common frame record gstCommon: panel geometry, threshold copies, the frame-buffer
// pointers and the per-frame flags through which the stages of algorithm A talk to each
// other. Owned here; every stage reads it. Packed, 737 bytes; fields are named by their
// use and sit at the byte positions the other modules address them by.
#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)

// The frame maps: self reference/diff/raw vectors and the mutual reference/raw/diff maps.
struct CommonMapData {
  uint16_t* puwSelfRefData;   // self reference, drive + sense entries
  int16_t* pswSelfDiffData;   // self difference
  uint16_t* puwSelfRawData;   // self raw data
  uint16_t* puwRefData;       // mutual reference map
  uint16_t* puwRawData;       // mutual raw map (the frame parser stores here)
  int16_t* pswDiffData;       // mutual difference map
};
static_assert(sizeof(CommonMapData) == 48);

struct CommonRecord {
  uint8_t ubChargerFlag;            // 0
  uint8_t ubGameModeFlag;           // 1
  uint8_t ubPowerOnRefReady;        // 2
  uint8_t ubGestureByte;            // 3
  uint8_t ubFirstFrameAfterHop;     // 4
  uint8_t ubTouchPresent;           // 5
  uint8_t ubLargeAreaFlag;          // 6
  uint8_t ubLargeAreaCompanion;     // 7
  uint8_t ubWaterFlag;              // 8
  uint8_t ubIdleAutoWake;           // 9
  uint8_t ubIdleFlag;               // 10
  uint8_t ubDisconnectCorrect;      // 11
  uint8_t ubRefState;               // 12
  uint8_t ubNormalizeCheckEn;       // 13
  uint8_t ubTick100ms;              // 14
  uint8_t ubBeautyByte;             // 15
  uint8_t ubRes16;                  // 16
  uint8_t ubResultByte;             // 17
  uint8_t ubNormFlagA;              // 18
  uint8_t ubNormFlagB;              // 19
  uint8_t ubCoordTransByte;         // 20
  uint8_t ubSelfEnable;             // 21
  uint8_t ubLowTempState;           // 22
  uint8_t ubCoordOption;            // 23
  uint8_t ubLargePocket;            // 24
  uint8_t ubLargeAreaInput;         // 25
  uint8_t ubLowTempPowerOn;         // 26
  uint8_t ubWaterDetectEn;          // 27
  uint8_t ubDisconnectState;        // 28
  uint8_t ubDisconnectResult;       // 29
  uint8_t ubOptimiseByte;           // 30
  uint8_t aubRes31[2];              // 31
  uint8_t ubFloatingByte;           // 33
  uint8_t ubRecordByte;             // 34
  uint8_t ubRegionAcqByte;          // 35
  uint8_t ubRefUpdateFlag;          // 36
  uint8_t ubIdleStateByte;          // 37
  uint8_t ubActiveToIdleByte;       // 38
  uint8_t aubRes39[3];              // 39
  uint8_t ubSelfOfsHold;            // 42
  uint8_t ubLargeAreaResult;        // 43
  uint8_t ubDiffModified;           // 44
  uint8_t ubChargerKind;            // 45
  uint8_t ubSelfOfsResult;          // 46
  uint8_t ubLowTempOutput;          // 47
  uint8_t ubWaterMode;              // 48
  uint8_t ubWaterResult;            // 49
  uint8_t ubRefOutput;              // 50
  uint8_t ubHoverInput;             // 51
  uint8_t ubFullHover;              // 52
  uint8_t aubRes53[9];              // 53
  uint8_t ubSenNum;                 // 62 sense lines = row length of every mutual map
  uint8_t ubDrvNum;                 // 63 drive lines = rows of every mutual map
  uint8_t ubSenLast;                // 64
  uint8_t ubDrvLast;                // 65
  uint32_t uiPanelValue1;           // 66 low byte: maximum point count
  uint16_t uwPanelWord0;            // 70 start of the 16-byte panel head copy
  uint16_t uwPanelWord1;            // 72
  int16_t swTouchThreshold;         // 74
  uint16_t uwSecondThreshold;       // 76
  uint8_t aubPanelHeadRest[8];      // 78
  uint16_t uwPanelValue2;           // 86
  int16_t swPanelValue3;            // 88
  uint32_t uiPanelValue4;           // 90
  uint8_t ubPanelValue5;            // 94
  uint32_t uiGuardWord;             // 95
  uint8_t* pubScanBuf;              // 99  arena top block 1
  uint16_t* puwHopSenseBuf;         // 107 block 2
  uint16_t* puwCrossRawData;        // 115
  uint16_t* puwCrossRef;            // 123 block 3
  int16_t* pswCrossDiff;            // 131 block 4
  uint16_t* puwCrossBak;            // 139 block 5
  CommonMapData stData;             // 147
  uint16_t* puwKArray;              // 195 block 10
  uint16_t* puwBArray;              // 203 block 9
  uint16_t* puwNodeWorkMap;         // 211 block 11
  uint16_t* puwRawForDiff;          // 219 block 12
  uint8_t* pubCoordBuf1;            // 227 block 13
  uint16_t* puwImNoiseData;         // 235
  uint8_t* pubCoordBuf2;            // 243 block 14
  uint8_t* pubSelfCancelWork;       // 251 block 15
  uint16_t* puwSelfFilterState;     // 259 block 16
  uint8_t aubRes267[8];             // 267
  uint8_t* pubLineBuf;              // 275 block 17
  uint8_t aubRes283[8];             // 283
  uint8_t* pubTempArena;            // 291 block 18: shared temporary buffer
  uint8_t* pubRegionNodeBuf;        // 299 block 19
  uint16_t* puwRefScratch;          // 307 block 20
  void* apvBeautyPtr[2];            // 315
  uint8_t* pubTouchData;            // 331
  uint8_t aubRes339[96];            // 339
  uint16_t uwSenCoordRange;         // 435
  uint16_t uwDrvCoordRange;         // 437
  uint8_t aubRes439[4];             // 439
  uint16_t uwNodeNum;               // 443
  uint16_t uwThreshold2;            // 445
  uint16_t uwMaskThreshold;         // 447
  uint8_t ubLineNum;                // 449
  uint8_t ubTouchCount;             // 450
  uint8_t ubRegionByte;             // 451
  uint8_t ubRefUpdateType;          // 452
  int16_t swDiffMax;                // 453
  int16_t swDiffMin;                // 455
  int16_t swSelfRowMax;             // 457
  int16_t swSelfColMax;             // 459
  uint8_t ubMaxRow;                 // 461
  uint8_t ubMinRow;                 // 462
  uint8_t ubMaxCol;                 // 463
  uint8_t ubMinCol;                 // 464
  uint8_t aubWorkRect[4];           // 465 first drive, last drive, first sense, last sense
  void* pvPairRecord;               // 469
  void* pvPairRecord2;              // 477
  uint16_t* puwNewWeight;           // 485
  uint16_t uwScanPeriod;            // 493
  uint8_t aubRes495[62];            // 495
  uint8_t ubTempFlags;              // 557
  uint16_t uwDisconnectScale;       // 558
  uint8_t aubPairInputs[2];         // 560
  uint8_t ubFastMove;               // 562
  uint8_t ubRegionLevel;            // 563
  uint16_t uwDataReadyCnt;          // 564
  uint8_t ubLcdHighNoiseHandleCnt;  // 566
  uint8_t ubPointCount;             // 567
  uint8_t ubPairByte;               // 568
  uint8_t aubPairState[4];          // 569
  uint16_t uwFrameCounter;          // 573 frames run by the stage runner, saturating
  uint8_t ubIdleRefStep;            // 575
  uint8_t ubNoTouchCnt;             // 576
  uint8_t aubEdge[8];               // 577
  uint8_t aubEdge2[4];              // 585
  uint8_t aubRes589[6];             // 589
  uint16_t uwLastFrameIndex;        // 595
  uint8_t ubMissingFrame;           // 597
  uint8_t ubRes598;                 // 598
  uint8_t ubRemovedCount;           // 599
  uint8_t aubRes600[48];            // 600
  uint16_t uwAbsPeak;               // 648
  uint16_t uwNoiseTypeMask;         // 650
  uint8_t ubNoiseType;              // 652
  uint8_t ubDurationA;              // 653
  uint8_t ubDurationB;              // 654
  uint8_t ubNfNoiseResult;          // 655
  uint8_t ubWhiteNoiseResult;       // 656
  uint8_t ubRes657;                 // 657
  uint8_t aubNoiseFlags[4];         // 658
  uint8_t aubRes662[4];             // 662
  uint16_t uwImCurLevel;            // 666
  uint16_t uwImSmoothLevel;         // 668
  uint8_t aubRes670[2];             // 670
  int8_t scLcdNoiseState;           // 672
  uint8_t ubShakeByte;              // 673
  uint8_t aubClr674[3];             // 674
  uint8_t ubNoiseHoldCnt;           // 677
  uint8_t ubFrameSkipped;           // 678
  uint8_t ubLcdDenoiseResult;       // 679
  uint8_t ubClr680;                 // 680
  uint32_t uiClr681;                // 681
  uint16_t* puwNoisePeaks;          // 685
  uint8_t aubRes693[10];            // 693
  uint8_t ubFpStatus;               // 703
  uint8_t ubCrossBatch;             // 704
  uint8_t ubFpCovered;              // 705
  uint8_t ubFpHalfCovered;          // 706
  uint8_t ubRes707;                 // 707
  uint8_t ubIdleOption;             // 708
  uint8_t ubTimerHold;              // 709
  uint8_t aubFpRect[4];             // 710
  uint16_t auwFpAreaWords[5];       // 714
  uint8_t aubRes724[2];             // 724
  uint8_t ubIdleByte;               // 726
  uint8_t aubRes727[2];             // 727
  uint8_t ubFpAreaThreshold;        // 729
  uint16_t uwGestureWord;           // 730
  uint8_t ubFpNodeCount;            // 732
  uint8_t ubFpByte;                 // 733
  uint8_t aubRes734[2];             // 734
  uint8_t ubLastByte;               // 736
};

#pragma pack(pop)

static_assert(sizeof(CommonRecord) == 737);
#define FERRANT_COMMON_AT(field, pos) static_assert(offsetof(CommonRecord, field) == (pos), #field)
FERRANT_COMMON_AT(ubChargerFlag, 0);
FERRANT_COMMON_AT(ubGameModeFlag, 1);
FERRANT_COMMON_AT(ubPowerOnRefReady, 2);
FERRANT_COMMON_AT(ubTouchPresent, 5);
FERRANT_COMMON_AT(ubWaterFlag, 8);
FERRANT_COMMON_AT(ubIdleAutoWake, 9);
FERRANT_COMMON_AT(ubIdleFlag, 10);
FERRANT_COMMON_AT(ubNormalizeCheckEn, 13);
FERRANT_COMMON_AT(ubTick100ms, 14);
FERRANT_COMMON_AT(ubNormFlagA, 18);
FERRANT_COMMON_AT(ubNormFlagB, 19);
FERRANT_COMMON_AT(ubSelfEnable, 21);
FERRANT_COMMON_AT(ubLowTempState, 22);
FERRANT_COMMON_AT(ubLargePocket, 24);
FERRANT_COMMON_AT(ubLowTempPowerOn, 26);
FERRANT_COMMON_AT(ubWaterDetectEn, 27);
FERRANT_COMMON_AT(ubOptimiseByte, 30);
FERRANT_COMMON_AT(ubFloatingByte, 33);
FERRANT_COMMON_AT(ubRefUpdateFlag, 36);
FERRANT_COMMON_AT(ubSelfOfsHold, 42);
FERRANT_COMMON_AT(ubDiffModified, 44);
FERRANT_COMMON_AT(ubChargerKind, 45);
FERRANT_COMMON_AT(ubWaterMode, 48);
FERRANT_COMMON_AT(ubWaterResult, 49);
FERRANT_COMMON_AT(ubFullHover, 52);
FERRANT_COMMON_AT(ubSenNum, 62);
FERRANT_COMMON_AT(ubDrvNum, 63);
FERRANT_COMMON_AT(ubSenLast, 64);
FERRANT_COMMON_AT(ubDrvLast, 65);
FERRANT_COMMON_AT(uiPanelValue1, 66);
FERRANT_COMMON_AT(uwPanelWord0, 70);
FERRANT_COMMON_AT(uwPanelWord1, 72);
FERRANT_COMMON_AT(swTouchThreshold, 74);
FERRANT_COMMON_AT(uwSecondThreshold, 76);
FERRANT_COMMON_AT(aubPanelHeadRest, 78);
FERRANT_COMMON_AT(uwPanelValue2, 86);
FERRANT_COMMON_AT(swPanelValue3, 88);
FERRANT_COMMON_AT(uiPanelValue4, 90);
FERRANT_COMMON_AT(ubPanelValue5, 94);
FERRANT_COMMON_AT(uiGuardWord, 95);
FERRANT_COMMON_AT(pubScanBuf, 99);
FERRANT_COMMON_AT(puwHopSenseBuf, 107);
FERRANT_COMMON_AT(puwCrossRawData, 115);
FERRANT_COMMON_AT(puwCrossRef, 123);
FERRANT_COMMON_AT(pswCrossDiff, 131);
FERRANT_COMMON_AT(puwCrossBak, 139);
FERRANT_COMMON_AT(stData.puwSelfRefData, 147);
FERRANT_COMMON_AT(stData.pswSelfDiffData, 155);
FERRANT_COMMON_AT(stData.puwSelfRawData, 163);
FERRANT_COMMON_AT(stData.puwRefData, 171);
FERRANT_COMMON_AT(stData.puwRawData, 179);
FERRANT_COMMON_AT(stData.pswDiffData, 187);
FERRANT_COMMON_AT(puwKArray, 195);
FERRANT_COMMON_AT(puwBArray, 203);
FERRANT_COMMON_AT(puwNodeWorkMap, 211);
FERRANT_COMMON_AT(puwRawForDiff, 219);
FERRANT_COMMON_AT(pubCoordBuf1, 227);
FERRANT_COMMON_AT(puwImNoiseData, 235);
FERRANT_COMMON_AT(pubCoordBuf2, 243);
FERRANT_COMMON_AT(pubSelfCancelWork, 251);
FERRANT_COMMON_AT(puwSelfFilterState, 259);
FERRANT_COMMON_AT(pubLineBuf, 275);
FERRANT_COMMON_AT(pubTempArena, 291);
FERRANT_COMMON_AT(pubRegionNodeBuf, 299);
FERRANT_COMMON_AT(puwRefScratch, 307);
FERRANT_COMMON_AT(apvBeautyPtr, 315);
FERRANT_COMMON_AT(pubTouchData, 331);
FERRANT_COMMON_AT(uwSenCoordRange, 435);
FERRANT_COMMON_AT(uwDrvCoordRange, 437);
FERRANT_COMMON_AT(uwNodeNum, 443);
FERRANT_COMMON_AT(uwThreshold2, 445);
FERRANT_COMMON_AT(uwMaskThreshold, 447);
FERRANT_COMMON_AT(ubLineNum, 449);
FERRANT_COMMON_AT(ubTouchCount, 450);
FERRANT_COMMON_AT(ubRegionByte, 451);
FERRANT_COMMON_AT(ubRefUpdateType, 452);
FERRANT_COMMON_AT(swDiffMax, 453);
FERRANT_COMMON_AT(swDiffMin, 455);
FERRANT_COMMON_AT(swSelfRowMax, 457);
FERRANT_COMMON_AT(swSelfColMax, 459);
FERRANT_COMMON_AT(ubMaxRow, 461);
FERRANT_COMMON_AT(ubMinRow, 462);
FERRANT_COMMON_AT(ubMaxCol, 463);
FERRANT_COMMON_AT(ubMinCol, 464);
FERRANT_COMMON_AT(aubWorkRect, 465);
FERRANT_COMMON_AT(pvPairRecord, 469);
FERRANT_COMMON_AT(pvPairRecord2, 477);
FERRANT_COMMON_AT(puwNewWeight, 485);
FERRANT_COMMON_AT(uwScanPeriod, 493);
FERRANT_COMMON_AT(ubTempFlags, 557);
FERRANT_COMMON_AT(uwDisconnectScale, 558);
FERRANT_COMMON_AT(aubPairInputs, 560);
FERRANT_COMMON_AT(ubFastMove, 562);
FERRANT_COMMON_AT(ubRegionLevel, 563);
FERRANT_COMMON_AT(uwDataReadyCnt, 564);
FERRANT_COMMON_AT(ubLcdHighNoiseHandleCnt, 566);
FERRANT_COMMON_AT(ubPointCount, 567);
FERRANT_COMMON_AT(ubPairByte, 568);
FERRANT_COMMON_AT(aubPairState, 569);
FERRANT_COMMON_AT(uwFrameCounter, 573);
FERRANT_COMMON_AT(ubIdleRefStep, 575);
FERRANT_COMMON_AT(ubNoTouchCnt, 576);
FERRANT_COMMON_AT(aubEdge, 577);
FERRANT_COMMON_AT(aubEdge2, 585);
FERRANT_COMMON_AT(uwLastFrameIndex, 595);
FERRANT_COMMON_AT(ubMissingFrame, 597);
FERRANT_COMMON_AT(ubRemovedCount, 599);
FERRANT_COMMON_AT(uwAbsPeak, 648);
FERRANT_COMMON_AT(uwNoiseTypeMask, 650);
FERRANT_COMMON_AT(ubNoiseType, 652);
FERRANT_COMMON_AT(ubDurationA, 653);
FERRANT_COMMON_AT(ubDurationB, 654);
FERRANT_COMMON_AT(ubNfNoiseResult, 655);
FERRANT_COMMON_AT(ubWhiteNoiseResult, 656);
FERRANT_COMMON_AT(aubNoiseFlags, 658);
FERRANT_COMMON_AT(uwImCurLevel, 666);
FERRANT_COMMON_AT(uwImSmoothLevel, 668);
FERRANT_COMMON_AT(scLcdNoiseState, 672);
FERRANT_COMMON_AT(ubShakeByte, 673);
FERRANT_COMMON_AT(aubClr674, 674);
FERRANT_COMMON_AT(ubNoiseHoldCnt, 677);
FERRANT_COMMON_AT(ubFrameSkipped, 678);
FERRANT_COMMON_AT(ubLcdDenoiseResult, 679);
FERRANT_COMMON_AT(ubClr680, 680);
FERRANT_COMMON_AT(uiClr681, 681);
FERRANT_COMMON_AT(puwNoisePeaks, 685);
FERRANT_COMMON_AT(ubFpStatus, 703);
FERRANT_COMMON_AT(ubCrossBatch, 704);
FERRANT_COMMON_AT(ubFpCovered, 705);
FERRANT_COMMON_AT(ubFpHalfCovered, 706);
FERRANT_COMMON_AT(ubIdleOption, 708);
FERRANT_COMMON_AT(ubTimerHold, 709);
FERRANT_COMMON_AT(aubFpRect, 710);
FERRANT_COMMON_AT(auwFpAreaWords, 714);
FERRANT_COMMON_AT(ubIdleByte, 726);
FERRANT_COMMON_AT(ubFpAreaThreshold, 729);
FERRANT_COMMON_AT(uwGestureWord, 730);
FERRANT_COMMON_AT(ubFpNodeCount, 732);
FERRANT_COMMON_AT(ubFpByte, 733);
FERRANT_COMMON_AT(ubLastByte, 736);
#undef FERRANT_COMMON_AT

extern CommonRecord gstCommon;

// Largest mutual map the module accepts, and the buffers sized by it.
inline constexpr uint32_t kFerrantMaxNodes = 2912;
inline constexpr uint32_t kDiffLastLastBytes = 5824;        // one s16 map of 2912 nodes
inline constexpr uint32_t kDlCacheBytes = 4u * 1024u * 1024u;  // network work buffer
inline constexpr uint32_t kShakeRxListLen = 56;
inline constexpr uint32_t kCommonGuardWord = 0xA5A5A5A5u;

extern int16_t* gpswDiffLastLast;  // diff map of the frame before the previous one
extern uint8_t* gpubDlCache;       // network work buffer shared by the three networks
extern uint8_t gpubShakeRxList[kShakeRxListLen];

// Fills gstCommon from the panel alignment and panel configurations and hands out the
// two work buffers (allocated on the first call only, zero-filled on every call).
// Returns the network work buffer (null when it could not be allocated).
uint8_t* GlobalCommonInit();
// Releases the two work buffers; called once when the module is unloaded or exits.
void GlobalCommonRelease();
// Area of the work rectangle (bytes 465-468), in 32 bits.
uint32_t GetRectArea();

// Game-mode smoothing tables: the first-coordinate filter strength is picked by bits 8-10
// of the game-mode word, the normal filter strength by bits 3-5. Both tables have five
// entries; a selector of 5 to 7 picks the last (strongest) entry.
extern const uint16_t gpuwFstFilterTable[5];
extern const uint8_t gpubNorFilterTable[5];
uint16_t GameModeFstFilter(uint16_t uwGameWord);
uint8_t GameModeNorFilter(uint16_t uwGameWord);
