#include "tsa_replay.h"

#include <bit>
#include <cstring>

#include "tsa_pack.h"
#include "tsa_os.h"

// Records are filled with memcpy straight from little-endian item payloads.
static_assert(std::endian::native == std::endian::little);

// Aligned so that the u16 arrays inside (all at even offsets) can be handed out as u16*.
alignas(4) AfeCaps gstAfeCaps;
alignas(4) TsaTargetInfo gstTsaTargetInfo;

namespace {

#define MODULE_VERSION_INIT "VC0.00.01.33"
#define CFG_VERSION_INIT "V00.01.33"

struct TsaVersionStore {
  char acVersionTsa[REPLAY_TEXT_BYTES] = MODULE_VERSION_INIT;
  char acCfgVersion[REPLAY_TEXT_BYTES] = CFG_VERSION_INIT;
  char acVersionSys[REPLAY_TEXT_BYTES];
  char acVersionTsc[REPLAY_TEXT_BYTES];
  char acVersionHal[REPLAY_TEXT_BYTES];
  char acVersionFw[REPLAY_TEXT_BYTES];
  char acProjectId[REPLAY_TEXT_BYTES];
  uint8_t aubDevUid[REPLAY_DEV_UID_BYTES];
  uint8_t aubConfig[REPLAY_CONFIG_BYTES];
  uint32_t uiConfigLength;
  // Areas of ids 1000, 1008, 1009, 1010: nothing in the module writes them; packed as stored.
  uint8_t aubArea1000[REPLAY_TEXT_BYTES];
  uint8_t aubArea1008[REPLAY_TEXT_BYTES];
  uint8_t aubArea1009[REPLAY_TEXT_BYTES];
  uint8_t aubArea1010[REPLAY_TEXT_BYTES];
};

TsaVersionStore gstTsaVersion;
ReplayItemDesc gstReplayItemList[REPLAY_ITEM_LIST_MAX];
uint16_t guwReplayItemNum;
ReplayInitHooks gstReplayInitHooks;

void ResetVersionStore() { gstTsaVersion = TsaVersionStore{}; }

uint8_t* AfeBytes() { return reinterpret_cast<uint8_t*>(&gstAfeCaps); }

// ---- Front-end capability items ---------------------------------------------------------
enum AfeItemKind : uint8_t { kAfeU8, kAfeU16, kAfeList };

struct AfeItem {
  uint32_t uiType;
  uint16_t uwOffset;
  uint8_t ubKind;
  uint16_t uwCountOffset;  // lists: where their count lives
  uint8_t ubCountBytes;    // lists: 1 (u8 count) or 2 (u16 count)
  const char* pcName;      // lists: name in the "nothing to give" line
};

#define AFE_SCALAR(type, field, kind) {type, offsetof(AfeCaps, field), kind, 0, 0, nullptr}
#define AFE_LIST(type, field, count, name) \
  {type, offsetof(AfeCaps, field), kAfeList, offsetof(AfeCaps, count), sizeof(AfeCaps::count), name}

// Group 2 of the replay head, in the order it is packed.
const AfeItem kAfeItems[] = {
    AFE_SCALAR(0x010007D0u, uwDrvNum, kAfeU16),
    AFE_SCALAR(0x010007D1u, uwSenNum, kAfeU16),
    AFE_SCALAR(0x000007D2u, ubButtonNum, kAfeU8),
    AFE_SCALAR(0x000007D3u, ubForceNum, kAfeU8),
    AFE_SCALAR(0x010007D4u, uwPitchSize, kAfeU16),
    AFE_SCALAR(0x000007D5u, ubSensorArch, kAfeU8),
    AFE_SCALAR(0x000007D6u, ubSensorPattern, kAfeU8),
    AFE_SCALAR(0x010007D7u, uwXResolution, kAfeU16),
    AFE_SCALAR(0x010007D8u, uwYResolution, kAfeU16),
    AFE_SCALAR(0x000007D9u, ubXReversal, kAfeU8),
    AFE_SCALAR(0x000007DAu, ubYReversal, kAfeU8),
    AFE_SCALAR(0x000007DBu, ubXYSwap, kAfeU8),
    AFE_SCALAR(0x000007DCu, ubScanRateNum, kAfeU8),
    AFE_LIST(0x010007DDu, uwScanRate, ubScanRateNum, "AFECAPS_SCAN_RATE"),
    AFE_SCALAR(0x000007DEu, ubMutualFreqNum, kAfeU8),
    AFE_LIST(0x010007DFu, uwMutualFreq, ubMutualFreqNum, "AFECAPS_MUTUAL_FREQ"),
    AFE_SCALAR(0x000007E0u, ubSelfTxFreqNum, kAfeU8),
    AFE_LIST(0x010007E1u, uwSelfTxFreq, ubSelfTxFreqNum, "AFECAPS_SELF_TX_FREQ"),
    AFE_SCALAR(0x000007E2u, ubSelfRxFreqNum, kAfeU8),
    AFE_LIST(0x010007E3u, uwSelfRxFreq, ubSelfRxFreqNum, "AFECAPS_SELF_RX_FREQ"),
    AFE_SCALAR(0x000007E4u, ubStylusFreqNum, kAfeU8),
    AFE_LIST(0x010007E5u, uwStylusFreq, ubStylusFreqNum, "AFECAPS_STYLUS_FREQ"),
    AFE_SCALAR(0x010007E6u, uwNoiseDuration, kAfeU16),
    AFE_SCALAR(0x010007E7u, uwNoiseFreqStart, kAfeU16),
    AFE_SCALAR(0x010007E8u, uwNoiseFreqNum, kAfeU16),
    AFE_LIST(0x010007E9u, uwNoiseFreq, uwNoiseFreqNum, "AFECAPS_NOISE_FREQ"),
    AFE_SCALAR(0x090007EAu, uwNoiseDetFeature, kAfeU16),
    AFE_SCALAR(0x090007EBu, uwFreqHopFeature, kAfeU16),
    AFE_SCALAR(0x090007ECu, uwCalibFeature, kAfeU16),
    AFE_SCALAR(0x090007EDu, uwGestureFeature, kAfeU16),
    AFE_SCALAR(0x090007EEu, uwStylusFeature, kAfeU16),
    AFE_SCALAR(0x090007EFu, uwDataType, kAfeU16),
};
constexpr uint32_t kAfeItemNum = sizeof(kAfeItems) / sizeof(kAfeItems[0]);

const AfeItem* FindAfeItem(uint32_t type) {
  for (const AfeItem& item : kAfeItems) {
    if (item.uiType == type) return &item;
  }
  return nullptr;
}

uint32_t AfeListCount(const AfeItem& item) {
  uint16_t count = 0;
  std::memcpy(&count, AfeBytes() + item.uwCountOffset, item.ubCountBytes);
  return count;
}

uint32_t AfeItemBytes(const AfeItem& item) {
  if (item.ubKind == kAfeU8) return 1;
  if (item.ubKind == kAfeU16) return 2;
  const uint32_t count = AfeListCount(item);
  return 2 * (count < REPLAY_AFE_LIST_MAX ? count : REPLAY_AFE_LIST_MAX);
}

// x/y resolution and the reversal/swap bits follow the panel and coordinate configuration
// once the framework has registered them.
void LoadPanelCoordInfo() {
  if (gstReplayInitHooks.pubPannelCfg != nullptr) {
    gstAfeCaps.uwXResolution = ReplayGetU16(gstReplayInitHooks.pubPannelCfg);
    gstAfeCaps.uwYResolution = ReplayGetU16(gstReplayInitHooks.pubPannelCfg + 2);
  }
  if (gstReplayInitHooks.pubCoordTranCfg != nullptr) {
    const uint8_t bits = gstReplayInitHooks.pubCoordTranCfg[0];
    gstAfeCaps.ubXReversal = (bits >> 1) & 1;
    gstAfeCaps.ubYReversal = (bits >> 2) & 1;
    gstAfeCaps.ubXYSwap = bits & 1;
  }
}

// Resolution and orientation describe the panel configuration in force; a recording's own
// values are never taken over it.
bool FromPanelConfig(uint32_t type) {
  return type == REPLAY_INIT_X_RESOLUTION || type == REPLAY_INIT_Y_RESOLUTION || type == REPLAY_INIT_X_REVERSAL ||
         type == REPLAY_INIT_Y_REVERSAL || type == REPLAY_INIT_XY_SWAP;
}

uint32_t UnpackAfeItem(const AfeItem& item, const uint8_t* payload, uint32_t length) {
  if (FromPanelConfig(item.uiType)) {
    if (gstReplayInitHooks.pubPannelCfg == nullptr || gstReplayInitHooks.pubCoordTranCfg == nullptr) {
      FerxLogPrint("ReplayUnpackInitInfo", FERX_LOG_ERR, "afe item 0x%x ignored: no panel configuration bound",
                   item.uiType);
    }
    LoadPanelCoordInfo();
    return 0;
  }
  if (item.ubKind == kAfeList) {
    const uint32_t count = AfeListCount(item);
    if (item.uiType == REPLAY_INIT_NOISE_FREQ) return count == 0 ? 0 : 3;
    if (count > REPLAY_AFE_LIST_MAX) return 3;
    if (count == 0) return 0;
    if (payload == nullptr || length < 2 * count) {
      FerxLogPrint("ReplayUnpackInitInfo", FERX_LOG_ERR, "afe list 0x%x: %u bytes for %u values", item.uiType,
                length, count);
      return 1;
    }
    std::memcpy(AfeBytes() + item.uwOffset, payload, 2 * count);
    return 0;
  }
  const uint32_t width = AfeItemBytes(item);
  if (payload == nullptr || length < width) {
    FerxLogPrint("ReplayUnpackInitInfo", FERX_LOG_ERR, "afe item 0x%x: %u bytes, needs %u", item.uiType, length,
              width);
    return 1;
  }
  std::memcpy(AfeBytes() + item.uwOffset, payload, width);
  if (item.uiType == REPLAY_INIT_DRV_NUM) {
    FerxLogPrint("ReplayUnpackInitInfo", FERX_LOG_INFO, "afe init : gstAfeCaps.uwDrvNum  = %d", gstAfeCaps.uwDrvNum);
  } else if (item.uiType == REPLAY_INIT_SEN_NUM) {
    FerxLogPrint("ReplayUnpackInitInfo", FERX_LOG_INFO, "afe init : gstAfeCaps.uwSenNum  = %d", gstAfeCaps.uwSenNum);
  }
  return 0;
}

uint32_t GetAfeItem(const AfeItem& item, uint8_t* out, uint32_t* length) {
  if (item.ubKind == kAfeList) {
    const uint32_t count = AfeListCount(item);
    if (count == 0 || count > REPLAY_AFE_LIST_MAX) {
      FerxLogPrint("GetInitInfo", FERX_LOG_ERR, "TSA_ERR_OUT_INVALID, %s", item.pcName);
      return 2;
    }
  }
  const uint32_t width = AfeItemBytes(item);
  if (*length < width) return 3;
  std::memcpy(out, AfeBytes() + item.uwOffset, width);
  *length = width;
  return 0;
}

// ---- Text items --------------------------------------------------------------------------
char* TextArea(uint32_t type) {
  switch (type) {
    case REPLAY_INIT_VERSION_TSA: return gstTsaVersion.acVersionTsa;
    case REPLAY_INIT_VERSION_SYS: return gstTsaVersion.acVersionSys;
    case REPLAY_INIT_VERSION_TSC: return gstTsaVersion.acVersionTsc;
    case REPLAY_INIT_VERSION_HAL: return gstTsaVersion.acVersionHal;
    case REPLAY_INIT_VERSION_FW: return gstTsaVersion.acVersionFw;
    case REPLAY_INIT_PROJECT_ID: return gstTsaVersion.acProjectId;
    case REPLAY_INIT_CONFIG_VERSION: return gstTsaVersion.acCfgVersion;
    default: return nullptr;
  }
}

// Bytes of TEXT up to its NUL within LIMIT, or LIMIT when there is none.
uint32_t TextLength(const char* text, uint32_t limit) {
  const void* nul = std::memchr(text, '\0', limit);
  return nul == nullptr ? limit : static_cast<uint32_t>(static_cast<const char*>(nul) - text);
}

// The project id reports a missing NUL with 3 whatever the length; the other texts with 1
// when the item itself ends first.
uint32_t UnpackText(uint32_t type, const uint8_t* payload, uint32_t length) {
  const bool projectId = type == REPLAY_INIT_PROJECT_ID;
  uint32_t result = 0;
  if (payload == nullptr) {
    result = 1;
  } else if (length == 0) {
    result = projectId ? 3 : 1;
  } else {
    const uint32_t limit = length < REPLAY_TEXT_BYTES ? length : REPLAY_TEXT_BYTES;
    const uint32_t n = TextLength(reinterpret_cast<const char*>(payload), limit);
    if (n < limit) {
      std::memcpy(TextArea(type), payload, n + 1);
    } else {
      result = (projectId || length >= REPLAY_TEXT_BYTES) ? 3 : 1;
    }
  }
  if (type == REPLAY_INIT_VERSION_FW) {
    FerxLogPrint("ReplayUnpackInitInfo", FERX_LOG_INFO, "VERSION_FW_VER : verison = %.64s", gstTsaVersion.acVersionFw);
  }
  return result;
}

uint32_t GetText(const char* text, uint8_t* out, uint32_t* length) {
  const uint32_t n = TextLength(text, REPLAY_TEXT_BYTES);
  if (n == REPLAY_TEXT_BYTES) return 2;
  if (*length < n + 1) return 3;
  std::memcpy(out, text, n + 1);
  *length = n + 1;
  return 0;
}

uint32_t UnpackDevUid(const uint8_t* payload, uint32_t length) {
  if (payload == nullptr || length > REPLAY_DEV_UID_BYTES) return 1;
  // A short UID takes only the bytes it has; the rest of the area is cleared.
  std::memset(gstTsaVersion.aubDevUid, 0, sizeof(gstTsaVersion.aubDevUid));
  std::memcpy(gstTsaVersion.aubDevUid, payload, length);
  return 0;
}

// ---- Replay head -------------------------------------------------------------------------
void AddDesc(uint32_t type, uint32_t length, const void* data) {
  if (guwReplayItemNum < REPLAY_ITEM_LIST_MAX) {
    gstReplayItemList[guwReplayItemNum++] = ReplayItemDesc{type, length, data};
  }
}

// Packs the descriptors gathered since START with TAG; 0 when the group did not fit.
uint32_t PackGroup(uint16_t tag, uint16_t start, uint8_t* out, uint32_t capacity, uint32_t offset) {
  return ThpReplayPack(tag, guwReplayItemNum - start, gstReplayItemList + start, out, capacity, offset);
}

uint32_t BuildReplayHead(uint8_t* out, uint32_t* length) {
  const uint32_t capacity = *length;
  guwReplayItemNum = 0;
  AddDesc(REPLAY_INIT_AREA_1000, REPLAY_TEXT_BYTES, gstTsaVersion.aubArea1000);
  AddDesc(REPLAY_INIT_VERSION_TSA, REPLAY_TEXT_BYTES, gstTsaVersion.acVersionTsa);
  AddDesc(REPLAY_INIT_VERSION_SYS, REPLAY_TEXT_BYTES, gstTsaVersion.acVersionSys);
  AddDesc(REPLAY_INIT_VERSION_TSC, REPLAY_TEXT_BYTES, gstTsaVersion.acVersionTsc);
  AddDesc(REPLAY_INIT_VERSION_HAL, REPLAY_TEXT_BYTES, gstTsaVersion.acVersionHal);
  AddDesc(REPLAY_INIT_VERSION_FW, REPLAY_TEXT_BYTES, gstTsaVersion.acVersionFw);
  AddDesc(REPLAY_INIT_PROJECT_ID, REPLAY_TEXT_BYTES, gstTsaVersion.acProjectId);
  AddDesc(REPLAY_INIT_AREA_1008, REPLAY_TEXT_BYTES, gstTsaVersion.aubArea1008);
  AddDesc(REPLAY_INIT_AREA_1009, REPLAY_TEXT_BYTES, gstTsaVersion.aubArea1009);
  AddDesc(REPLAY_INIT_AREA_1010, REPLAY_TEXT_BYTES, gstTsaVersion.aubArea1010);
  uint32_t offset = PackGroup(REPLAY_TAG_VERSIONS, 0, out, capacity, 0);
  if (offset == 0) return 3;
  FerxLogPrint("GetReplayHead", FERX_LOG_INFO, "GetReplayHead: gstAfeCaps.uwDrvNum = %d, gstAfeCaps.uwSenNum =%d",
            gstAfeCaps.uwDrvNum, gstAfeCaps.uwSenNum);

  gstAfeCaps.uwDataType = REPLAY_HEAD_DATA_TYPE;
  const uint16_t afeStart = guwReplayItemNum;
  for (const AfeItem& item : kAfeItems) AddDesc(item.uiType, AfeItemBytes(item), AfeBytes() + item.uwOffset);
  offset = PackGroup(REPLAY_TAG_AFE_CAPS, afeStart, out, capacity, offset);
  if (offset == 0) return 3;

  const uint16_t cfgStart = guwReplayItemNum;
  AddDesc(REPLAY_INIT_CONFIG_COPY, gstTsaVersion.uiConfigLength, gstTsaVersion.aubConfig);
  AddDesc(REPLAY_INIT_CONFIG, gstTsaVersion.uiConfigLength, gstTsaVersion.aubConfig);
  AddDesc(REPLAY_INIT_CONFIG_VERSION, REPLAY_TEXT_BYTES, gstTsaVersion.acCfgVersion);
  offset = PackGroup(REPLAY_TAG_CONFIG, cfgStart, out, capacity, offset);
  if (offset == 0) return 3;
  *length = offset;
  return 0;
}

static_assert(kAfeItemNum + 13 <= REPLAY_ITEM_LIST_MAX);

// ---- Target items ------------------------------------------------------------------------
enum TargetMode : uint8_t { kTargetScalar, kTargetPerPoint, kTargetCleared };

struct TargetItem {
  uint32_t uiType;
  uint16_t uwOffset;
  uint8_t ubWidth;
  uint8_t ubMode;
};

#define TARGET(type, field, width, mode) {type, offsetof(TsaTargetInfo, field), width, mode}

const TargetItem kTargetItems[] = {
    TARGET(0x00002AF8u, ubValue11000, 1, kTargetScalar),
    TARGET(0x00002AF9u, ubValue11001, 1, kTargetScalar),
    TARGET(0x0B002AFAu, ullValue11002, 8, kTargetCleared),
    TARGET(0x0A002AFBu, uiValue11003[0], 4, kTargetScalar),
    TARGET(0x0A002AFCu, uiValue11003[1], 4, kTargetScalar),
    TARGET(0x0A002AFDu, uiValue11003[2], 4, kTargetScalar),
    TARGET(0x0A002AFEu, uiValue11003[3], 4, kTargetScalar),
    TARGET(0x0A002AFFu, uiValue11003[4], 4, kTargetScalar),
    TARGET(0x0A002B00u, uiValue11003[5], 4, kTargetScalar),
    TARGET(0x01002B01u, uwFrameNumber, 2, kTargetScalar),
    TARGET(0x00002B02u, ubTouchNum, 1, kTargetScalar),
    TARGET(0x00000004u, ubPointIndex, 1, kTargetScalar),
    TARGET(0x00002B03u, ubTrackId, 1, kTargetPerPoint),
    TARGET(0x00002B04u, ubType, 1, kTargetPerPoint),
    TARGET(0x01002B05u, uwXPos, 2, kTargetPerPoint),
    TARGET(0x01002B06u, uwYPos, 2, kTargetPerPoint),
    TARGET(0x01002B07u, uwPressure, 2, kTargetPerPoint),
    TARGET(0x01002B08u, uwDistance, 2, kTargetPerPoint),
    TARGET(0x01002B09u, uwTouchMajor, 2, kTargetPerPoint),
    TARGET(0x01002B0Au, uwTouchMinor, 2, kTargetPerPoint),
    TARGET(0x01002B0Bu, uwOrientation, 2, kTargetPerPoint),
    TARGET(0x00002B0Cu, ubValue11020, 1, kTargetScalar),
    TARGET(0x00002B0Du, ubValue11021, 1, kTargetScalar),
    TARGET(0x00002B0Eu, ubLargeTouch, 1, kTargetScalar),
    TARGET(0x03002B0Fu, ullValue11023, 8, kTargetCleared),
    TARGET(0x01002B10u, uwTargetType, 2, kTargetScalar),
    TARGET(0x00002B11u, ubTemplateStage, 1, kTargetScalar),
    TARGET(0x01002B12u, uwValue11026, 2, kTargetScalar),
};

void LogUnknownType(const char* tag, uint32_t type) {
  FerxLogPrint(tag, FERX_LOG_ERR, "Unknow init type: %d, spec: %x", REPLAY_TYPE_ID(type), REPLAY_TYPE_KIND(type));
}

}  // namespace

extern "C" {

void SetReplayInitHooks(const ReplayInitHooks* hooks) {
  gstReplayInitHooks = hooks != nullptr ? *hooks : ReplayInitHooks{};
}

uint32_t ThpReplayPack(uint16_t tag, uint32_t count, const ReplayItemDesc* items, uint8_t* out, uint32_t capacity,
                       uint32_t offset) {
  if (out == nullptr || (count != 0 && items == nullptr)) return 0;
  uint64_t at = offset;
  // Each field is written only when it ends at or below the capacity; the first that does
  // not makes the whole pack fail (later fields could only land further out).
  auto put = [&](const void* data, uint32_t n) {
    if (at + n > capacity) return false;
    if (data != nullptr) {
      std::memcpy(out + at, data, n);
    } else {
      std::memset(out + at, 0, n);
    }
    at += n;
    return true;
  };
  auto putU32 = [&](uint32_t v) {
    uint8_t bytes[4];
    ReplayPutU32(bytes, v);
    return put(bytes, 4);
  };
  auto putMarker = [&](uint32_t type) {
    uint8_t bytes[2];
    ReplayPutU16(bytes, tag);
    return putU32(type) && putU32(2) && put(bytes, 2);
  };
  if (tag != 0 && !putMarker(REPLAY_GROUP_OPEN)) return 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (!putU32(items[i].uiType) || !putU32(items[i].uiLength) || !put(items[i].pvData, items[i].uiLength)) {
      return 0;
    }
  }
  if (tag != 0 && !putMarker(REPLAY_GROUP_CLOSE)) return 0;
  return static_cast<uint32_t>(at);
}

int32_t ThpReplayUnpack(uint8_t* stream, uint32_t length, ReplayItemCallback callback) {
  if (length == 0) return REPLAY_UNPACK_OK;
  if (callback == nullptr) return REPLAY_UNPACK_NO_CALLBACK;
  if (stream == nullptr) {
    FerxLogPrint("ThpReplayUnpack", FERX_LOG_ERR, "null stream of %u bytes refused", length);
    return REPLAY_UNPACK_MALFORMED;
  }
  uint32_t offset = 0;
  while (offset < length) {
    const uint32_t left = length - offset;
    if (left < REPLAY_ITEM_HEAD_BYTES) {
      FerxLogPrint("ThpReplayUnpack", FERX_LOG_ERR, "item head cut at offset %u: %u bytes left", offset, left);
      return REPLAY_UNPACK_MALFORMED;
    }
    const uint32_t type = ReplayGetU32(stream + offset);
    const uint32_t itemLength = ReplayGetU32(stream + offset + 4);
    if (itemLength > left - REPLAY_ITEM_HEAD_BYTES) {
      FerxLogPrint("ThpReplayUnpack", FERX_LOG_ERR, "item 0x%x at offset %u: length %u, only %u bytes left", type,
                offset, itemLength, left - REPLAY_ITEM_HEAD_BYTES);
      return REPLAY_UNPACK_MALFORMED;
    }
    if (callback(type, stream + offset + REPLAY_ITEM_HEAD_BYTES, itemLength) != 0) {
      return REPLAY_UNPACK_CALLBACK_FAILED;
    }
    offset += REPLAY_ITEM_HEAD_BYTES + itemLength;
  }
  return REPLAY_UNPACK_OK;
}

uint32_t ReplayUnpackInitInfo(uint32_t type, uint8_t* payload, uint32_t length) {
  if (const AfeItem* item = FindAfeItem(type)) return UnpackAfeItem(*item, payload, length);
  switch (type) {
    case REPLAY_INIT_VERSION_SYS:
    case REPLAY_INIT_VERSION_TSC:
    case REPLAY_INIT_VERSION_HAL:
    case REPLAY_INIT_VERSION_FW:
    case REPLAY_INIT_PROJECT_ID:
      return UnpackText(type, payload, length);
    case REPLAY_INIT_DEV_UID:
      return UnpackDevUid(payload, length);
    case REPLAY_INIT_CONFIG: {
      // The tables, resolution and watch list are rebuilt whether or not the blob was
      // taken, so they always describe the configuration in force.
      uint32_t result = SetTsaConfig(payload, length);
      // A blob that is stored but not in force must not read as taken: the caller would run
      // on the previous (or no) configuration without knowing.
      if (gstReplayInitHooks.pfnAppInit == nullptr) {
        FerxLogPrint("ReplayUnpackInitInfo", FERX_LOG_ERR, "configuration stored, not applied: module not bound");
        result = 1;
      } else if (const uint8_t ubInit = gstReplayInitHooks.pfnAppInit(0); ubInit != 0) {
        FerxLogPrint("ReplayUnpackInitInfo", FERX_LOG_ERR, "configuration not applied: start-up result %u", ubInit);
        result = 1;
      }
      LoadPanelCoordInfo();
      InitWatchData();
      return result;
    }
    case REPLAY_INIT_IGNORED_1002:
    case REPLAY_GROUP_OPEN:
    case REPLAY_GROUP_CLOSE:
      return 0;
    default:
      LogUnknownType("ReplayUnpackInitInfo", type);
      return 0;
  }
}

uint32_t ReplayUnpackTargetInfo(uint32_t type, uint8_t* payload, uint32_t length) {
  for (const TargetItem& item : kTargetItems) {
    if (item.uiType != type) continue;
    uint8_t* field = reinterpret_cast<uint8_t*>(&gstTsaTargetInfo) + item.uwOffset;
    if (item.ubMode == kTargetCleared) {
      std::memset(field, 0, item.ubWidth);
      return 0;
    }
    if (payload == nullptr || length < item.ubWidth) {
      FerxLogPrint("ReplayUnpackTargetInfo", FERX_LOG_ERR, "target item 0x%x: %u bytes, needs %u", type, length,
                item.ubWidth);
      return 0;
    }
    if (item.ubMode == kTargetPerPoint) {
      const uint8_t index = gstTsaTargetInfo.ubPointIndex;
      if (index >= gstTsaTargetInfo.ubTouchNum || index >= REPLAY_TARGET_POINTS) return 0;
      field += index * item.ubWidth;
    }
    std::memcpy(field, payload, item.ubWidth);
    return 0;
  }
  LogUnknownType("ReplayUnpackTargetInfo", type);
  return 0;
}

uint32_t GetInitInfo(uint32_t type, uint8_t* out, uint32_t* length) {
  if (out == nullptr || length == nullptr) {
    FerxLogPrint("GetInitInfo", FERX_LOG_ERR, "input NULL");
    return 1;
  }
  if (type == REPLAY_INIT_REPLAY_HEAD) return BuildReplayHead(out, length);
  if (const AfeItem* item = FindAfeItem(type)) return GetAfeItem(*item, out, length);
  if (const char* text = TextArea(type)) return GetText(text, out, length);
  switch (type) {
    case REPLAY_INIT_CONFIG:
    case REPLAY_INIT_CONFIG_COPY:
      return GetConfig(out, length);
    case REPLAY_INIT_AREA_1000:
    case REPLAY_INIT_IGNORED_1002:
      *length = 0;
      return 0;
    default:
      FerxLogPrint("GetInitInfo", FERX_LOG_ERR, "TSA_ERR_OUT_INVALID, no type");
      return 2;
  }
}

uint32_t SetTsaConfig(const uint8_t* blob, uint32_t length) {
  if (blob == nullptr || length > REPLAY_CONFIG_BYTES) {
    FerxLogPrint("SetTsaConfig", FERX_LOG_ERR, "NULL or Configuration is too large: %u", length);
    return 1;
  }
  std::memcpy(gstTsaVersion.aubConfig, blob, length);
  gstTsaVersion.uiConfigLength = length;
  return 0;
}

uint32_t GetConfig(uint8_t* out, uint32_t* length) {
  if (out == nullptr || length == nullptr) {
    FerxLogPrint("GetConfig", FERX_LOG_ERR, "input NULL");
    return 1;
  }
  if (*length < gstTsaVersion.uiConfigLength) {
    FerxLogPrint("GetConfig", FERX_LOG_ERR, "Config length Error: %u", *length);
    return 3;
  }
  std::memcpy(out, gstTsaVersion.aubConfig, gstTsaVersion.uiConfigLength);
  *length = gstTsaVersion.uiConfigLength;
  return 0;
}

const uint8_t* GetConfigBlob(void) { return gstTsaVersion.aubConfig; }
const uint32_t* GetConfigBlobLength(void) { return &gstTsaVersion.uiConfigLength; }

const char* GetVersionInfo(void) { return gstTsaVersion.acVersionTsa; }
const char* GetVersionTsa(void) { return gstTsaVersion.acVersionTsa; }

uint32_t SetVersionTsa(const char* text) {
  if (text == nullptr) return 1;
  const uint32_t n = TextLength(text, REPLAY_TEXT_BYTES);
  if (n == REPLAY_TEXT_BYTES) return 3;
  std::memcpy(gstTsaVersion.acVersionTsa, text, n + 1);
  return 0;
}

uint32_t SetCfgVersion(uint32_t version) {
  static const char kHex[] = "0123456789ABCDEF";
  // Characters 1-2, 4-5 and 7-8 of "Vxx.xx.xx" take the six low nibbles, high first.
  static const uint8_t kPositions[6] = {1, 2, 4, 5, 7, 8};
  for (uint32_t i = 0; i < 6; ++i) {
    gstTsaVersion.acCfgVersion[kPositions[i]] = kHex[(version >> (20 - 4 * i)) & 0xF];
  }
  return version;
}

const char* GetCfgVersion(void) { return gstTsaVersion.acCfgVersion; }
const char* GetVersionSys(void) { return gstTsaVersion.acVersionSys; }
const char* GetVersionTsc(void) { return gstTsaVersion.acVersionTsc; }
const char* GetVersionHal(void) { return gstTsaVersion.acVersionHal; }
const char* GetVersionFw(void) { return gstTsaVersion.acVersionFw; }
const char* GetVersionProjectId(void) { return gstTsaVersion.acProjectId; }
const uint8_t* GetDevUid(void) { return gstTsaVersion.aubDevUid; }

void PrintConfigDbgInfo(void) {
  const uint8_t* v = gstTsaVersion.aubConfig + 4086;
  FerxLogPrint("PrintConfigDbgInfo", FERX_LOG_INFO, "ferx-ini-%d.%d.%d.%d", v[0], v[1], v[2], v[3]);
}

void ReplayResetForTest(void) {
  ResetVersionStore();
  std::memset(&gstAfeCaps, 0, sizeof(gstAfeCaps));
  std::memset(&gstTsaTargetInfo, 0, sizeof(gstTsaTargetInfo));
  gstReplayInitHooks = ReplayInitHooks{};
  guwReplayItemNum = 0;
}

uint8_t GetAfeDrvNum(void) { return static_cast<uint8_t>(gstAfeCaps.uwDrvNum); }
uint8_t GetAfeSenNum(void) { return static_cast<uint8_t>(gstAfeCaps.uwSenNum); }
uint8_t GetAfeButtonNum(void) { return gstAfeCaps.ubButtonNum; }
uint8_t GetAfeForceNum(void) { return gstAfeCaps.ubForceNum; }
uint16_t GetAfePitchSize(void) { return gstAfeCaps.uwPitchSize; }
uint8_t GetAfeSensorArch(void) { return gstAfeCaps.ubSensorArch; }
uint8_t GetAfeSensorPattern(void) { return gstAfeCaps.ubSensorPattern; }
uint16_t GetAfeXResolution(void) { return gstAfeCaps.uwXResolution; }
uint16_t GetAfeYResolution(void) { return gstAfeCaps.uwYResolution; }
uint8_t GetAfeXReveral(void) { return gstAfeCaps.ubXReversal; }
uint8_t GetAfeYReveral(void) { return gstAfeCaps.ubYReversal; }
uint8_t GetAfeXYSwap(void) { return gstAfeCaps.ubXYSwap; }
uint8_t GetAfeScanRateNum(void) { return gstAfeCaps.ubScanRateNum; }
uint8_t GetAfeMutualFreqNum(void) { return gstAfeCaps.ubMutualFreqNum; }
uint8_t GetAfeSelfTxFreqNum(void) { return gstAfeCaps.ubSelfTxFreqNum; }
uint8_t GetAfeSelfRxFreqNum(void) { return gstAfeCaps.ubSelfRxFreqNum; }
uint8_t GetAfeStylusFreqNum(void) { return gstAfeCaps.ubStylusFreqNum; }

#define AFE_ARRAY(field) reinterpret_cast<uint16_t*>(AfeBytes() + offsetof(AfeCaps, field))
uint16_t* GetAfeScanRate(void) { return AFE_ARRAY(uwScanRate); }
uint16_t* GetAfeMutualFreq(void) { return AFE_ARRAY(uwMutualFreq); }
uint16_t* GetAfeSelfTxFreq(void) { return AFE_ARRAY(uwSelfTxFreq); }
uint16_t* GetAfeSelfRxFreq(void) { return AFE_ARRAY(uwSelfRxFreq); }
uint16_t* GetAfeStylusFreq(void) { return AFE_ARRAY(uwStylusFreq); }
uint16_t* GetAfeNoiseFreq(void) { return AFE_ARRAY(uwNoiseFreq); }

uint16_t GetAfeNoiseDuration(void) { return gstAfeCaps.uwNoiseDuration; }
uint16_t GetAfeNoiseFreqStart(void) { return gstAfeCaps.uwNoiseFreqStart; }
uint16_t GetAfeNoiseFreqNum(void) { return gstAfeCaps.uwNoiseFreqNum; }
uint16_t GetAfeNoiseDetFeature(void) { return gstAfeCaps.uwNoiseDetFeature; }
uint16_t GetAfeFreqHopFeature(void) { return gstAfeCaps.uwFreqHopFeature; }
uint16_t GetAfeCalibFeature(void) { return gstAfeCaps.uwCalibFeature; }
uint16_t GetAfeGestureFeature(void) { return gstAfeCaps.uwGestureFeature; }
uint16_t GetAfeStylusFeature(void) { return gstAfeCaps.uwStylusFeature; }
uint16_t GetAfeDataType(void) { return gstAfeCaps.uwDataType; }
void SetAfeXResolution(uint16_t value) { gstAfeCaps.uwXResolution = value; }
void SetAfeYResolution(uint16_t value) { gstAfeCaps.uwYResolution = value; }

uint16_t GetFrameNumber(void) { return gstTsaTargetInfo.uwFrameNumber; }
uint8_t GetTouchNum(void) { return gstTsaTargetInfo.ubTouchNum; }
uint8_t GetMiscPointIndex(void) { return gstTsaTargetInfo.ubPointIndex; }
uint8_t GetLargeTouch(void) { return gstTsaTargetInfo.ubLargeTouch; }
uint16_t GetTargetType(void) { return gstTsaTargetInfo.uwTargetType; }
uint8_t GetTemplateStage(void) { return gstTsaTargetInfo.ubTemplateStage; }

#define TARGET_ARRAY(type, field) \
  reinterpret_cast<type*>(reinterpret_cast<uint8_t*>(&gstTsaTargetInfo) + offsetof(TsaTargetInfo, field))
uint8_t* GetTrackingId(void) { return TARGET_ARRAY(uint8_t, ubTrackId); }
uint8_t* GetType(void) { return TARGET_ARRAY(uint8_t, ubType); }
uint16_t* GetXPos(void) { return TARGET_ARRAY(uint16_t, uwXPos); }
uint16_t* GetYPos(void) { return TARGET_ARRAY(uint16_t, uwYPos); }
uint16_t* GetPressure(void) { return TARGET_ARRAY(uint16_t, uwPressure); }
uint16_t* GetDistance(void) { return TARGET_ARRAY(uint16_t, uwDistance); }
uint16_t* GetTouchMajor(void) { return TARGET_ARRAY(uint16_t, uwTouchMajor); }
uint16_t* GetTouchMinor(void) { return TARGET_ARRAY(uint16_t, uwTouchMinor); }
uint16_t* GetOrientation(void) { return TARGET_ARRAY(uint16_t, uwOrientation); }

}  // extern "C"
